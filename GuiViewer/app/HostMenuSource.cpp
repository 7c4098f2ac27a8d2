#include "GuiViewer/app/HostMenuSource.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "GuiViewer/src/ViewUtilities.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/ConfigStoreBase.h"
#include "GuiViewer/src/host/EngineInterface.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

const char kShowContext[] = "Show Hidden";

using Selection = std::vector<qor::PDLPath>;
using ActionPtr = qor::refcnt_ptr<qor::PathContextAction>;

class HideAction : public qor::PathContextAction {
public:
    void run(const Selection& selection, QWidget*) override {
        for (const qor::PDLPath& p : selection) ViewUtilities::setObjectVisibility(p.getFullPath(), false);
    }
};

// Shows its own objects, whatever the menu's selection (the background
// menu has none).
class ShowAction : public qor::PathContextAction {
public:
    explicit ShowAction(Selection objects) : objects_(std::move(objects)) {}
    bool isEnabled(const Selection&) const override { return !objects_.empty(); }
    void run(const Selection&, QWidget*) override {
        for (const qor::PDLPath& p : objects_) ViewUtilities::setObjectVisibility(p.getFullPath(), true);
    }

private:
    Selection objects_;
};

// Turns the current viewport about the centre of the objects' engine
// graphics and puts that centre in the middle of the viewport, then sends
// the camera to the view.
class CentreAction : public qor::PathContextAction {
public:
    void run(const Selection& selection, QWidget*) override {
        ViewerWindow* window = ViewUtilities::getViewerWindow();
        vkoViewer* engine = window ? window->getViewer() : nullptr;
        if (!engine || !engine->currentViewport || !engine->currentViewport->view) return;
        float box[6] = {1, -1, 1, -1, 1, -1};
        bool any = false;
        for (const qor::PDLPath& p : selection)
            for (const QString& name : window->getMatchingViewerNames(p.getFullPath(), "__ALL DOMAINS__", -1, ""))
                if (vkoGraphicObj* o = engine->FindGraphic(name.toUtf8().constData())) {
                    float b[6];
                    if (!o->worldBounds(b, true)) continue;
                    for (int k = 0; k < 3; ++k) {
                        box[2 * k] = any ? std::min(box[2 * k], b[2 * k]) : b[2 * k];
                        box[2 * k + 1] = any ? std::max(box[2 * k + 1], b[2 * k + 1]) : b[2 * k + 1];
                    }
                    any = true;
                }
        if (!any) return;
        engine->TransformView(5, 0, 0, 0, 0, false);  // undo point
        Transform* view = engine->currentViewport->view;
        for (int k = 0; k < 3; ++k) view->pivot[k] = 0.5f * (box[2 * k] + box[2 * k + 1]);
        view->pan[0] = view->pan[1] = 0;
        engine->MarkAllViewports();
        engine->Redraw();
        window->updateCameraFromViewer();
    }
};

// A window listing every parameter of the objects.
class PropertiesAction : public qor::PathContextAction {
public:
    void run(const Selection& selection, QWidget* parent) override {
        EngineInterface* engine = EngineInterface::instance();
        if (!engine) return;
        QWidget* owner = ViewUtilities::getViewerWindow();
        for (const qor::PDLPath& p : selection) {
            auto* dialog = new QDialog(owner ? owner : parent);
            dialog->setObjectName("Properties");
            dialog->setAttribute(Qt::WA_DeleteOnClose);
            dialog->setWindowTitle("Properties of " + p.getLastName());
            auto* layout = new QVBoxLayout(dialog);
            auto* list = new QTreeWidget(dialog);
            list->setObjectName("Parameters");
            list->setHeaderLabels({"Parameter", "Value"});
            list->setRootIsDecorated(false);
            const QMap<QString, QString> params = engine->getParameters(p.getFullPath(), true);
            for (auto it = params.begin(); it != params.end(); ++it)
                new QTreeWidgetItem(list, QStringList{it.key(), it.value()});
            list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
            layout->addWidget(list);
            auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
            QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
            layout->addWidget(buttons);
            dialog->resize(420, 300);
            dialog->show();
        }
    }
};

}  // namespace

std::vector<qor::PDLPath> HostMenuSource::sceneObjects() {
    std::vector<qor::PDLPath> out;
    if (EngineInterface* engine = EngineInterface::instance()) {
        QStringList names = engine->getObjectNames("DOMAIN");
        names.sort();
        for (const QString& n : names) out.emplace_back("/DOMAIN:" + n);
    }
    return out;
}

void HostMenuSource::fill(qor::MenuBuilder& b, const QString& context, const Selection& selection,
                          const Selection&) {
    ConfigStoreBase* icons = ConfigStoreBase::baseInstance();
    if (context == kShowContext) {
        for (const qor::PDLPath& p : selection)
            b.addItem(p.getLastName().toStdU16String(), icons->getIcon(icons->getIconForType(p.getLastType(), false)),
                      u"", ActionPtr(new ShowAction({p})));
        return;
    }
    if (selection.empty()) {
        Selection hidden;
        for (const qor::PDLPath& p : sceneObjects())
            if (!ViewUtilities::isVisibleInCurrentView(p.getFullPath())) hidden.push_back(p);
        b.addItem(u"Show all", QIcon(), u"", ActionPtr(new ShowAction(sceneObjects())));
        if (!hidden.empty()) b.addSubMenu(kShowContext, "Show", QIcon(), hidden);
        return;
    }
    b.addItem(u"Hide", icons->getIcon("hide.xpm"), u"", ActionPtr(new HideAction));
    b.addItem(u"Centre on", QIcon(), u"", ActionPtr(new CentreAction));
    b.addSeparator();
    b.addItem(u"Properties", icons->getIcon("edit.xpm"), u"", ActionPtr(new PropertiesAction));
}
