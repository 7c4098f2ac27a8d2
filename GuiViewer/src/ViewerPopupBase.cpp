#include "GuiViewer/src/ViewerPopupBase.h"

#include <QAction>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QPixmap>
#include <QWidgetAction>

#include <cstdio>

#include "GuiViewer/src/ViewUtilities.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/ConfigStoreBase.h"
#include "GuiViewer/src/host/ExpectImpl.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/host/QorStrings.h"
#include "GuiViewer/src/host/RemoteEngineInterface.h"
#include "platform/MessageSink.h"
#include "render/VWindow.h"
#include "scene/vkoGraphicObj.h"
#include "viewer/vkoViewer.h"

namespace {

ViewerPopupBase* registered = nullptr;
bool popupActive = true;

const char kSourcePath[] = "GuiViewer\\src/ViewerPopupBase";
const char kViewerPopupContext[] = "Viewer Popup";

// The method name of a SLOT() text ("1name(args)").
QByteArray MethodName(const char* slot) {
    QByteArray s(slot);
    if (!s.isEmpty() && s[0] >= '0' && s[0] <= '9') s.remove(0, 1);
    const int paren = s.indexOf('(');
    return (paren >= 0 ? s.left(paren) : s).trimmed();
}

}  // namespace

// The builder a menu source fills: one menu path of the popup, with the
// selection and extra context of the objects it is for.
class ViewerPopupBase::Builder : public qor::MenuBuilder {
public:
    Builder(ViewerPopupBase* popup, qor::MenuSource* source, QString contextName, QStringList path,
            std::vector<qor::PDLPath> selection, std::vector<qor::PDLPath> extraContext)
        : popup_(popup),
          source_(source),
          contextName_(std::move(contextName)),
          path_(std::move(path)),
          selection_(std::move(selection)),
          extra_(std::move(extraContext)) {}

    void fill() { source_->fill(*this, contextName_, selection_, extra_); }

    void addItem(const std::u16string& text, const QIcon& icon, const std::u16string& secondText,
                 const qor::refcnt_ptr<qor::PathContextAction>& action) override {
        popup_->addPopupItem(text, icon, secondText, action, path_, selection_, extra_);
    }
    void addSubMenu(const QString& contextName, const QString& name, const QIcon& icon,
                    const std::vector<qor::PDLPath>& selection) override {
        QStringList sub = path_;
        sub << name;
        popup_->obtainPopupMenu(menuKey(sub), icon);
        Builder(popup_, source_, contextName, sub, selection, extra_).fill();
    }
    void addSeparator() override { popup_->addSeparator(path_); }
    bool itemCheckState(const std::u16string& text) override {
        return popup_->isPopupItemChecked(qor::MakeQString(text), path_);
    }
    void setItemCheckState(const std::u16string& text, bool on) override {
        popup_->setPopupItemChecked(qor::MakeQString(text), on, path_);
    }

private:
    ViewerPopupBase* popup_;
    qor::MenuSource* source_;
    QString contextName_;
    QStringList path_;
    std::vector<qor::PDLPath> selection_, extra_;
};

ViewerPopupBase::ViewerPopupBase(ViewerWindow* w) : QWidget(nullptr), window(w) {
    if (registered) std::fprintf(stderr, "ERROR: ViewerPopupBase already initialized\n");
    registered = this;
    if (window)
        if (vkoViewer* engine = window->getViewer())
            engine->SetPickCallback(VWindow::kRight, 0, &ViewerPopupBase::rightClickCallback);
    connect(ViewUtilities::getSignals(), &ViewUtilitiesSignals::objectVisibilityChanged, this,
            &ViewerPopupBase::objectVisibilityChanged);
    if (window) connect(window, &ViewerWindow::rightClick, this, &ViewerPopupBase::showBackgroundViewerMenu);
}

ViewerPopupBase::~ViewerPopupBase() {
    clearMenus();
    // Right clicks on the scene find no popup from now on.
    if (registered == this) registered = nullptr;
}

ViewerPopupBase* ViewerPopupBase::registeredPopup() { return registered; }
void ViewerPopupBase::setPopupActive(bool on) { popupActive = on; }
bool ViewerPopupBase::isPopupActive() { return popupActive; }

QString ViewerPopupBase::menuKey(const QStringList& menuPath) {
    return menuPath.isEmpty() ? QString("TopLevel") : menuPath.join(':');
}

QString ViewerPopupBase::itemKey(const QStringList& menuPath, const QString& text) {
    QStringList all = menuPath;
    all << text;
    return all.join(':');
}

QMenu* ViewerPopupBase::menuForKey(const QString& key) const {
    auto it = popupMenus.find(key);
    return it == popupMenus.end() ? nullptr : it->second.data();
}

QAction* ViewerPopupBase::actionForKey(const QString& key) const {
    auto it = m_popupItems.find(key);
    if (it == m_popupItems.end()) return nullptr;
    auto a = itemActions.find(it->second);
    return a == itemActions.end() ? nullptr : a->second.data();
}

QMenu* ViewerPopupBase::obtainPopupMenu(const QString& key, const QIcon& icon) {
    if (auto it = popupMenus.find(key); it != popupMenus.end()) return it->second.data();
    if (key == "TopLevel") {
        auto* menu = new QMenu(this);
        popupMenus[key] = menu;
        return menu;
    }
    QStringList parts = key.split(':');
    const QString name = parts.takeLast();
    QMenu* parent = obtainPopupMenu(menuKey(parts), QIcon());
    auto* menu = new QMenu(name, this);
    menu->setIcon(icon);
    if (parent) parent->addMenu(menu);
    popupMenus[key] = menu;
    return menu;
}

QAction* ViewerPopupBase::insertItem(QMenu* menu, const QIcon& icon, const QString& text) {
    if (!menu) return nullptr;
    QAction* action = menu->addAction(icon, text);
    const int id = nextItemId++;
    action->setData(id);
    itemActions[id] = action;
    return action;
}

void ViewerPopupBase::addPopupItem(const char* text, const char* slot, const char* disableSignal,
                                   const QStringList& menuPath, const QString& iconFile, bool checkable,
                                   int parameter) {
    const QString itemText = QString::fromUtf8(text ? text : "");
    QAction* action = insertItem(obtainPopupMenu(menuKey(menuPath), QIcon()), QIcon(), itemText);
    if (!action) return;
    if (slot) {
        if (parameter >= 0) {
            const QByteArray method = MethodName(slot);
            connect(action, &QAction::triggered, this, [this, method, parameter] {
                QMetaObject::invokeMethod(this, method.constData(), Q_ARG(int, parameter));
            });
        } else {
            connect(action, SIGNAL(triggered()), this, slot);
        }
    }
    if (!iconFile.isEmpty()) action->setIcon(QIcon(QPixmap(iconFile)));

    const QString key = itemKey(menuPath, itemText);
    if (m_popupItems.find(key) == m_popupItems.end()) {
        m_popupItems[key] = action->data().toInt();
        if (disableSignal) {
            // Once per signal: the menus are built again at every right click.
            connect(this, disableSignal, this, SLOT(disablePopupItem(const QString&, bool)), Qt::UniqueConnection);
            signalledItems.emplace(itemText, menuPath);
        }
        if (checkable) action->setCheckable(true);
    } else {
        platform::ShowMessage(platform::MessageIcon::Error, "Error",
                              "ViewerPopupBase::addPopupItem -\nThis popup item already exists.\n'" +
                                  key.toStdString() + "'\n");
    }
}

void ViewerPopupBase::addPopupItem(const std::u16string& text, const QIcon& icon, const std::u16string&,
                                   const qor::refcnt_ptr<qor::PathContextAction>& action,
                                   const QStringList& menuPath, const std::vector<qor::PDLPath>& selection,
                                   const std::vector<qor::PDLPath>& extraContext) {
    const QString itemText = qor::MakeQString(text);
    QAction* item = insertItem(obtainPopupMenu(menuKey(menuPath), QIcon()), icon, itemText);
    if (!item) return;
    const int id = item->data().toInt();
    if (action) {
        if (auto* toggle = dynamic_cast<qor::ToggleablePathContextAction*>(action.get())) {
            item->setCheckable(true);
            item->setChecked(toggle->isChecked(selection));
        }
        if (!action->isEnabled(selection)) item->setEnabled(false);
    }
    if (!m_idActionMap.insert(std::make_pair(id, ActionInfo{action, selection, extraContext})).second)
        qor::ExpectImpl::expectFail(
            "m_idActionMap.insert( make_pair( id, ActionInfo( p_action, p_selection, p_extraContext ) ) ).second",
            kSourcePath, 689);
    connect(item, &QAction::triggered, this, [this, id] { runAction(id); });

    const QString key = itemKey(menuPath, itemText);
    if (m_popupItems.find(key) != m_popupItems.end()) {
        if (qor::ExpectImpl::expectFail("it == m_popupItems.end()", kSourcePath, 694)) m_popupItems[key] = id;
    } else {
        m_popupItems[key] = id;
    }
}

void ViewerPopupBase::runAction(int id) {
    auto it = m_idActionMap.find(id);
    if (it == m_idActionMap.end()) {
        qor::ExpectImpl::expectFail("it != m_idActionMap.end()", kSourcePath, 705);
        // Nothing to run even when told to go on: the id names no action.
        return;
    }
    // A copy: the action may rebuild the menus (and so this map) as it runs.
    ActionInfo info = it->second;
    if (info.p_action) info.p_action->run(info.p_selection, this);
}

void ViewerPopupBase::setMenuSource(qor::MenuSource* source) {
    if (m_menuSource) qor::ExpectImpl::expectFail("! m_menuSource", kSourcePath, 627);
    m_menuSource = source;
}

bool ViewerPopupBase::addMenuLabel(const QString& text, const QStringList& menuPath, const QIcon& icon) {
    QMenu* menu = obtainPopupMenu(menuKey(menuPath), QIcon());
    if (!menu) return false;
    auto* box = new QWidget(menu);
    box->setObjectName("menu label");
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(4, 2, 4, 2);
    const QPixmap pixmap = icon.isNull() ? QPixmap() : icon.pixmap(16, 16);
    if (!pixmap.isNull()) {
        auto* iconLabel = new QLabel(box);
        iconLabel->setObjectName("icon");
        iconLabel->setPixmap(pixmap);
        layout->addWidget(iconLabel);
    }
    auto* textLabel = new QLabel(box);
    textLabel->setObjectName("text");
    textLabel->setTextFormat(Qt::RichText);
    textLabel->setAlignment(Qt::AlignCenter);
    textLabel->setText("<b>" + text + "</b>");
    textLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(textLabel, 1);
    auto* item = new QWidgetAction(menu);
    item->setDefaultWidget(box);
    menu->addAction(item);
    return true;
}

bool ViewerPopupBase::addSeparator(const QStringList& menuPath) {
    if (QMenu* menu = obtainPopupMenu(menuKey(menuPath), QIcon())) menu->addSeparator();
    return true;
}

void ViewerPopupBase::maybeCreateMenu(const QStringList& menuPath, const QIcon& icon) {
    obtainPopupMenu(menuKey(menuPath), icon);
}

void ViewerPopupBase::disablePopupItem(const QString& text, bool disable, const QStringList& menuPath) {
    if (QAction* action = actionForKey(itemKey(menuPath, text))) action->setEnabled(!disable);
}

void ViewerPopupBase::disablePopupItem(const QString& text, bool disable) {
    auto [from, to] = signalledItems.equal_range(text);
    for (auto it = from; it != to; ++it) disablePopupItem(text, disable, it->second);
}

void ViewerPopupBase::setPopupItemChecked(const QString& text, bool on, const QStringList& menuPath) {
    if (QAction* action = actionForKey(itemKey(menuPath, text))) {
        action->setCheckable(true);
        action->setChecked(on);
    }
}

bool ViewerPopupBase::isPopupItemChecked(const QString& text, const QStringList& menuPath) {
    QAction* action = actionForKey(itemKey(menuPath, text));
    return action && action->isChecked();
}

void ViewerPopupBase::rightClickCallback(int objectId, const float* point, const int[2]) {
    if (!registered || !popupActive) return;
    registered->setRightClickedObject(point, objectId);
}

void ViewerPopupBase::setRightClickedObject(const float* point, int objectId) {
    if (!window || !popupActive) return;
    rightClickPoint = point ? std::vector<float>(point, point + 3) : std::vector<float>();
    clearMenus();
    if (objectId <= 0) {
        addBackgroundItems();
    } else if (vkoViewer* engine = window->getViewer()) {
        if (vkoGraphicObj* object = engine->FindGraphicById(objectId)) {
            const QString name = QString::fromStdString(object->objectname);
            PickHandler* handler = PickHandler::registeredHandler();
            const QString path =
                handler ? handler->getPathFromViewerName(name) : PickHandler::pathFromViewerName(name);
            rightClicked = PickData::fromViewerName(name, path);
            addObjectItems();
        }
    }
    showTopLevelMenu();
}

void ViewerPopupBase::showBackgroundViewerMenu() {
    if (!window || !popupActive) return;
    rightClickPoint.clear();
    clearMenus();
    addBackgroundItems();
    showTopLevelMenu();
}

void ViewerPopupBase::showTopLevelMenu() {
    if (QMenu* menu = obtainPopupMenu("TopLevel", QIcon())) menu->popup(QCursor::pos());
}

void ViewerPopupBase::clearMenus() {
    for (auto& [key, menu] : popupMenus) {
        if (!menu) continue;
        // An action of these menus may be what runs now: let them go once
        // control is back in the event loop.
        menu->hide();
        menu->deleteLater();
    }
    popupMenus.clear();
    m_popupItems.clear();
    m_idActionMap.clear();
    itemActions.clear();
    signalledItems.clear();
}

void ViewerPopupBase::addBackgroundItems() {
    if (!m_menuSource) {
        addAdditionalBackgroundMenuItems();
        return;
    }
    Builder(this, m_menuSource, kViewerPopupContext, QStringList(), {}, {}).fill();
}

void ViewerPopupBase::addObjectItems() {
    if (!m_menuSource) {
        addMenuLabel(getMenuLabel(rightClicked), QStringList(), QIcon());
        addSeparator(QStringList());
        const QString iconDir = ConfigStoreBase::baseInstance()->getIconPath();
        addPopupItem("Edit", SLOT(editObject()), nullptr, QStringList(), iconDir + "edit.xpm", false, -1);
        addPopupItem("Hide", SLOT(hideObject()), nullptr, QStringList(), iconDir + "hide.xpm", false, -1);
        addAdditionalMenuItems(rightClicked, rightClickPoint);
        return;
    }
    const std::vector<qor::PDLPath> objects = getObjectsForMenu(rightClicked);
    const std::vector<qor::PDLPath> extra = getExtraContextForMenu(rightClicked);
    if (objects.empty()) {
        addBackgroundItems();
        return;
    }
    ConfigStoreBase* store = ConfigStoreBase::baseInstance();
    auto typeIcon = [store](const qor::PDLPath& p) {
        return store->getIcon(store->getIconForType(p.getLastType(), false));
    };
    const qor::PDLPath& first = objects.front();
    addMenuLabel(first.getLastName(), QStringList(), typeIcon(first));
    Builder(this, m_menuSource, kViewerPopupContext, QStringList(), {first}, extra).fill();
    if (objects.size() < 2) return;
    addMenuLabel(qor::QUserMsg("Alternatives"), QStringList(), QIcon());
    QMenu* top = obtainPopupMenu("TopLevel", QIcon());
    for (size_t i = 1; i < objects.size(); ++i) {
        const qor::PDLPath& p = objects[i];
        const QString key = p.getFullPath();
        if (popupMenus.count(key)) continue;  // the same object twice: one sub-menu
        auto* sub = new QMenu(p.getLastName(), this);
        sub->setIcon(typeIcon(p));
        top->addMenu(sub);
        popupMenus[key] = sub;
        addMenuLabel(p.getLastName(), QStringList{key}, typeIcon(p));
        Builder(this, m_menuSource, kViewerPopupContext, QStringList{key}, {p}, extra).fill();
    }
}

void ViewerPopupBase::editObject() { emit editObject(getEditableObjectPath(rightClicked.path)); }

void ViewerPopupBase::hideObject() {
    const QString path = getEditableObjectPath(rightClicked.path);
    ViewUtilities::setObjectVisibility(path, false);
    hidingObject(path);
}

void ViewerPopupBase::objectVisibilityChanged(const QString& path, bool visible) {
    if (!visible) hidingObject(path);
}

void ViewerPopupBase::editThisObject(const QString& path) { emit editObject(path); }

bool ViewerPopupBase::toggleBooleanParam(const QString& objectPath, const QString& parameter) {
    RemoteEngineInterface* engine = RemoteEngineInterface::derivedInstance();
    if (!engine || !engine->hasParameter(objectPath, parameter)) return false;
    const bool value = QStringUtils::isTrue(engine->getParameter(objectPath, parameter));
    engine->sendCommand(QStringUtils::constructObjPDL(
        objectPath, parameter + "=" + QStringUtils::stringFromBool(!value) + "\n"));
    return !value;
}

void ViewerPopupBase::addAdditionalMenuItems(const PickData&, const std::vector<float>&) {}
void ViewerPopupBase::addAdditionalBackgroundMenuItems() {}
void ViewerPopupBase::hidingObject(const QString&) {}
QString ViewerPopupBase::getMenuLabel(const PickData& object) { return object.name; }

std::vector<qor::PDLPath> ViewerPopupBase::getObjectsForMenu(const PickData& object) {
    return {qor::PDLPath(object.path)};
}

std::vector<qor::PDLPath> ViewerPopupBase::getExtraContextForMenu(const PickData&) { return {}; }
QString ViewerPopupBase::getEditableObjectPath(const QString& path) { return path; }
