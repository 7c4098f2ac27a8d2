// The viewer window's interaction modes, mouse bindings, selection tools and
// the display of selections and highlights.
#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QSignalBlocker>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <iterator>

#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/ConfigStoreBase.h"
#include "GuiViewer/src/host/PreferencesIF.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/host/RemoteEngineInterface.h"
#include "render/PickRecord.h"
#include "scene/SceneTypes.h"
#include "scene/vkoGraphicObj.h"
#include "viewer/vkoViewer.h"

namespace {

struct MouseFunctionName {
    const char* name;
    int code;
    bool zoom;
};
const MouseFunctionName kMouseFunctions[] = {
    {"No Function", 25, false},      {"Rotate", 0, false},
    {"Rotate Z", 7, false},          {"Translate", 3, false},
    {"Zoom", 1, true},               {"Object Zoom", 1, true},
    {"Camera Zoom", 2, true},        {"Zoom Box", 4, false},
    {"Zoom In", 5, false},           {"Zoom Out", 6, false},
    {"Move Light", 8, false},        {"Set Pivot Point", 9, false},
    {"Create Object", 14, false},    {"Pick Object", 13, false},
    {"Pick Polygon", 15, false},     {"Pick Rectangle", 16, false},
    {"Flood Fill", 20, false},       {"Pick Next", 18, false},
    {"Pick Object Next", 18, false}, {"Pick Polygon Next", 21, false},
    {"Pick Rectangle Next", 22, false}, {"Flood Fill Next", 23, false},
};

constexpr int kLeft = 1;
constexpr int kCtrlLeft = 0x200 | kLeft;
const char kAllDomains[] = "__ALL DOMAINS__";

bool InstanceAndFrameSupported(int instance, const QString& frame) {
    return instance == -1 && (frame.isEmpty() || frame == "Cartesian");
}

// The highlight or face object name of a command-language path; the
// extended application names its objects without a domain.
QString ObjectNameOf(const QString& path, const char* suffix, bool extended) {
    QString name = path + suffix;
    if (extended && !name.isEmpty()) name[0] = ':';
    return name;
}

}  // namespace

// ---- mouse bindings and modes

void ViewerWindow::setMouseMapping(int buttonState, const QString& name, Mode) {
    const auto* f = std::find_if(std::begin(kMouseFunctions), std::end(kMouseFunctions),
                                 [&](const MouseFunctionName& m) { return name == m.name; });
    if (f == std::end(kMouseFunctions)) throw QString("ViewerQtWidget::setMouseMapping - Invalid Mapping function, ") + name;
    vkoViewer* v = getViewer();
    if (v) v->SetMouseFunction(buttonState & 7, buttonState & 0xF00, f->code);
    if (!f->zoom) return;
    if (v) v->SetWheelFunction(0, f->code);
    if (name != zoomFunctionName) {
        zoomFunctionName = name;
        if (zoomAction->isChecked()) setMouseMapping(kLeft, zoomFunctionName);
    }
}

void ViewerWindow::unsetPickingMode() {
    if (vkoViewer* v = getViewer()) v->SetPickMode(5, false, 0);
}

void ViewerWindow::setViewingMode() {
    unsetPickingMode();
    setMouseMapping(kLeft, "Rotate");
    setMouseMapping(kCtrlLeft, "Rotate Z");
    rotateAction->setChecked(true);
}

void ViewerWindow::setPanMode() {
    unsetPickingMode();
    setMouseMapping(kLeft, "Translate");
    setMouseMapping(kCtrlLeft, "Rotate Z");
}

void ViewerWindow::setZoomMode() {
    unsetPickingMode();
    setMouseMapping(kLeft, zoomFunctionName);
    setMouseMapping(kCtrlLeft, "Rotate Z");
}

void ViewerWindow::setZoomBoxMode() {
    unsetPickingMode();
    setMouseMapping(kLeft, "Zoom Box");
    setMouseMapping(kCtrlLeft, "Rotate Z");
}

void ViewerWindow::setPickingMode() {
    static const char* const kLeftNames[4] = {"Pick Object", "Pick Rectangle", "Pick Polygon", "Flood Fill"};
    static const char* const kNextNames[4] = {"Pick Next", "Pick Rectangle Next", "Pick Polygon Next",
                                              "Flood Fill Next"};
    const int m = selectionMode;
    const QString left = kLeftNames[m];
    setMouseMapping(kLeft, left);
    vkoViewer* v = getViewer();
    if (pickType != PickFaces) {
        setMouseMapping(kCtrlLeft, "Pick Next");
        if (v) v->SetPickMode(left == "Pick Object" ? 3 : 4, true, 0);
    } else {
        setMouseMapping(kCtrlLeft, kNextNames[m]);
        if (v) {
            if (left == "Pick Object")
                v->SetPickMode(0, false, 0);
            else if (left == "Flood Fill")
                v->SetPickMode(2, true, pickCreaseAngle);
            else
                v->SetPickMode(1, pickWithinSelection, 0);
        }
    }
    selectAction->setChecked(true);
}

void ViewerWindow::setMode(Mode mode) {
    if (mode == ViewingMode)
        setViewingMode();
    else
        setPickingMode();
}

void ViewerWindow::toggleMode() {
    if (rotateAction->isChecked())
        setPickingMode();
    else
        setViewingMode();
}

// ---- selection tools

void ViewerWindow::useSingleSelect() { setPickSelectionMode(SingleSelect); }
void ViewerWindow::useBoxSelect() { setPickSelectionMode(BoxSelect); }
void ViewerWindow::usePolygonSelect() { setPickSelectionMode(PolygonSelect); }
void ViewerWindow::useFloodFillSelect() { setPickSelectionMode(FloodFillSelect); }

void ViewerWindow::setPickSelectionMode(SelectionMode mode) {
    // A value outside the four modes would index past the binding names.
    if (mode < SingleSelect || mode > FloodFillSelect) return;
    selectionMode = mode;
    setPickingMode();
    refreshSelectionModes();
}

void ViewerWindow::refreshSelectionModes() {
    // The button owns the mode actions; its tool-bar action owns the button.
    // A rebuild runs from a mode action's own triggered signal, so the old
    // ones go once control is back in the event loop.
    if (selectionButtonAction) {
        selectionToolBar->removeAction(selectionButtonAction);
        selectionButtonAction->deleteLater();
        selectionButtonAction = nullptr;
        selectionButton = nullptr;
        floodFillAction = nullptr;
    }
    if (selectionGroup) selectionGroup->deleteLater();

    selectionButton = new QToolButton(selectionToolBar);
    selectionButton->setPopupMode(QToolButton::MenuButtonPopup);
    selectionButton->setAutoRaise(true);
    const QString dir = ConfigStoreBase::baseInstance()->getIconPath();
    auto make = [&](const char* text, const char* icon, void (ViewerWindow::*slot)()) {
        auto* a = new QAction(QIcon(dir + icon), text, selectionButton);
        a->setIconText(text);
        a->setToolTip(text);
        a->setObjectName(text);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction* single = make("Single Select", "vh_singleSelect.xpm", &ViewerWindow::useSingleSelect);
    QAction* box = make("Box Select", "vh_boxSelect.xpm", &ViewerWindow::useBoxSelect);
    QAction* polygon = make("Polygon Select", "vh_polygonSelect.xpm", &ViewerWindow::usePolygonSelect);
    floodFillAction = make("Flood Fill", "vh_polygonSelect.xpm", &ViewerWindow::useFloodFillSelect);

    selectionGroup = new QActionGroup(this);
    selectionGroup->setObjectName("V&iews");
    selectionGroup->setExclusive(false);
    if (selectionMode == SingleSelect) selectionGroup->addAction(single);
    if (selectionMode == BoxSelect) selectionGroup->addAction(box);
    if (selectionMode == PolygonSelect) selectionGroup->addAction(polygon);
    for (QAction* a : {single, box, polygon}) selectionGroup->addAction(a);

    auto* menu = new QMenu(selectionButton);
    menu->addActions(selectionGroup->actions());
    selectionButton->setMenu(menu);
    // The face shows the current mode.
    selectionButton->setDefaultAction(selectionGroup->actions().first());
    selectionButtonAction = selectionToolBar->addWidget(selectionButton);
}

void ViewerWindow::setPickType(PickType type) { pickType = type; }
void ViewerWindow::setPickWithinSelection(bool on) { pickWithinSelection = on; }
void ViewerWindow::setPickCreaseAngle(float degrees) { pickCreaseAngle = degrees; }

void ViewerWindow::enableSelectionTools(bool on) { selectionToolBar->setEnabled(on); }
bool ViewerWindow::selectionToolsEnabled() const { return selectionToolBar->isEnabled(); }

// ---- highlight and visibility

void ViewerWindow::setVisibility(const QString& name, bool visible) {
    vkoViewer* v = getViewer();
    if (!v || name.isEmpty()) return;
    if (vkoGraphicObj* o = v->FindGraphic(name.toStdString().c_str()))
        v->SetGraphicProperty(PROP_VISIBILITY, visible ? 1.0f : 0.0f, o);
}

void ViewerWindow::setHighlightVisibility(const QString& name, bool show) {
    if (name.isEmpty() || (show && !showingAllowed())) return;
    setVisibility(name, show);
}

void ViewerWindow::setHighlight(bool on) {
    highlightOn = on;
    {
        const QSignalBlocker block(highlightAction);
        highlightAction->setChecked(on);
    }
    setSelectionHighlight(on);
}

void ViewerWindow::setSelectionHighlight(bool show) {
    vkoViewer* v = getViewer();
    if (!v || highlightSet.empty()) return;
    if (!show || showingAllowed())
        for (const QString& name : highlightSet) setVisibility(name, show);
    v->Redraw();
}

void ViewerWindow::setForceHighlight(bool on) { forceHighlight = on; }

void ViewerWindow::setSnapToNode(bool on) {
    snapToNode = on;
    const QSignalBlocker block(snapAction);
    snapAction->setChecked(on);
}

void ViewerWindow::highlightObject(const QString& name, bool show) {
    if (name.isEmpty() || (show && !showingAllowed()) || !highlightSet.count(name)) return;
    setVisibility(name, show);
}

void ViewerWindow::selectObject(const std::pair<QString, QString>& nameAndType) {
    vkoViewer* v = getViewer();
    if (!v) return;
    if (!highlightSet.empty()) {
        for (const QString& name : highlightSet) setVisibility(name, false);
        v->Redraw();
    }
    highlightSet.clear();
    selectedNames.clear();
    const QString& name = nameAndType.first;
    if (!name.isEmpty()) {
        RemoteEngineInterface* r = RemoteEngineInterface::derivedInstance();
        QStringList domains = r ? r->getObjectNames("DOMAIN") : QStringList();
        domains << QString();
        for (const QString& d : domains) {
            const QString base = d + ":" + nameAndType.second.toUpper() + ":" + name;
            selectedNames.insert(base);
            highlightSet.insert(base + ":0:Cartesian_bbox");
        }
    }
    if (!highlightSet.empty() && showingAllowed()) {
        for (const QString& h : highlightSet) setVisibility(h, true);
        v->Redraw();
    }
}

void ViewerWindow::updateBBoxSelection(const std::set<QString>& paths) {
    const bool faceMode = PreferencesIF::instance()->getPrefValue("Viewer Highlight Type", false) == "Face Highlight";
    std::set<QString> added, removed;
    std::set_difference(paths.begin(), paths.end(), selectedNames.begin(), selectedNames.end(),
                        std::inserter(added, added.end()));
    std::set_difference(selectedNames.begin(), selectedNames.end(), paths.begin(), paths.end(),
                        std::inserter(removed, removed.end()));
    selectedNames = paths;
    vkoViewer* v = getViewer();
    if (!v) return;
    const bool extended = application == ExtendedApplication;
    RemoteEngineInterface* r = RemoteEngineInterface::derivedInstance();
    for (const QString& path : removed) {
        const QString highlight = ObjectNameOf(path, ":0:Cartesian_bbox", extended);
        highlightSet.erase(highlight);
        setVisibility(highlight, false);
        if (faceMode) {
            const bool visible = extended && r && QStringUtils::isTrue(r->getParameter(path, "Prim2d Visibility"));
            if (!visible || showingAllowed()) setVisibility(ObjectNameOf(path, ":0:Cartesian", extended), visible);
        }
    }
    for (const QString& path : added) {
        const QString highlight = ObjectNameOf(path, ":0:Cartesian_bbox", extended);
        highlightSet.insert(highlight);
        setHighlightVisibility(highlight, true);
        if (faceMode) setVisibility(ObjectNameOf(path, ":0:Cartesian", extended), false);
    }
    v->Redraw();
}

void ViewerWindow::updateTemporaryVisibleItems(const std::set<QString>& names) {
    std::set<QString> added, removed;
    std::set_difference(names.begin(), names.end(), temporaryVisible.begin(), temporaryVisible.end(),
                        std::inserter(added, added.end()));
    std::set_difference(temporaryVisible.begin(), temporaryVisible.end(), names.begin(), names.end(),
                        std::inserter(removed, removed.end()));
    temporaryVisible = names;
    for (const QString& n : removed) setVisibility(n, false);
    for (const QString& n : added) setVisibility(n, true);
    if (vkoViewer* v = getViewer()) v->Redraw();
}

void ViewerWindow::setObjectEnabled(const QString& path, bool on) {
    vkoViewer* v = getViewer();
    if (!v) return;
    for (const QString& name : getMatchingViewerNames(path, kAllDomains, -1, QString()))
        if (vkoGraphicObj* o = v->FindGraphic(name.toStdString().c_str()))
            v->SetGraphicProperty(PROP_VISIBILITY2, on ? 1.0f : 0.0f, o);
    v->Redraw();
}

void ViewerWindow::enableAllObjects() {
    // Enabling everything means the second visibility switch on for every
    // object (setObjectEnabled turns it on for an enabled object).
    if (vkoViewer* v = getViewer()) v->SetAllGraphicsProperty(PROP_VISIBILITY2, 1.0f);
}

bool ViewerWindow::isPickRecordVisible(const PickRecord& record) const {
    vkoViewer* v = getViewer();
    const vkoGraphicObj* o = v ? v->FindGraphicById(record.objectId) : nullptr;
    return o && o->visibility;
}

namespace {

// The names of the engine objects whose domain and command-language path
// match, in object id order.
template <class PathMatches>
std::vector<QString> MatchingViewerNames(vkoViewer* v, const QString& domain, int instance, const QString& frame,
                                         PathMatches pathMatches) {
    std::vector<QString> out;
    if (!v || !InstanceAndFrameSupported(instance, frame)) return out;
    for (const auto& [id, o] : v->objectsById) {
        const QString name = QString::fromStdString(o->objectname);
        QString d, p;
        if (!ViewerWindow::splitViewerName(name, d, p)) continue;
        if ((domain == kAllDomains || domain == d) && pathMatches(p)) out.push_back(name);
    }
    return out;
}

}  // namespace

bool ViewerWindow::splitViewerName(const QString& name, QString& domain, QString& path) {
    const int p = name.indexOf(':');
    const int l1 = name.lastIndexOf(':');
    const int l2 = l1 > 0 ? name.lastIndexOf(':', l1 - 1) : -1;
    if (p < 0 || l2 <= p) return false;
    domain = name.left(p);
    path = "/" + name.mid(p + 1, l2 - p - 1);
    return true;
}

std::vector<QString> ViewerWindow::getMatchingViewerNames(const QString& path, const QString& domain, int instance,
                                                          const QString& frame) const {
    return MatchingViewerNames(getViewer(), domain, instance, frame, [&](const QString& p) { return p == path; });
}

std::vector<QString> ViewerWindow::getMatchingViewerNamesByType(const QString& parentPath, const QString& type,
                                                                const QString& domain, int instance,
                                                                const QString& frame) const {
    return MatchingViewerNames(getViewer(), domain, instance, frame, [&](const QString& p) {
        QString parent, last, objectType, objectName;
        QStringUtils::splitRelativePathName(p, parent, last);
        QStringUtils::splitObjectTypeAndName(last, objectType, objectName);
        return parent == parentPath && objectType == type;
    });
}

// ---- face highlight meshes

void ViewerWindow::clearHighlightedMeshFaces(const QString& name) {
    vkoViewer* v = getViewer();
    if (!v || name.isEmpty()) return;
    if (!v->SelectGraphic(name.toStdString().c_str())) return;
    v->SetGraphicProperty(PROP_VISIBILITY, 0.0f, v->currentGraphic);
    v->DeleteCurGraphic();
}

void ViewerWindow::appendHighlightedMeshFaces(const QString& name, float red, float green, float blue,
                                              int polygonOffset, int count, const PickRecord* records) {
    vkoViewer* v = getViewer();
    if (!v || name.isEmpty()) return;
    const std::string n = name.toStdString();
    if (!v->SelectGraphic(n.c_str())) {
        if (!v->NewGraphic(n.c_str(), nullptr)) return;
        vkoGraphicObj* o = v->currentGraphic;
        v->SetGraphicProperty(PROP_PICKABLE, 0.0f, o);
        v->SetGraphicProperty(PROP_FACES, 1.0f, o);
        v->SetGraphicProperty(PROP_POLYGON_OFFSET, float(polygonOffset), o);
        o->setSolidColour(red, green, blue);
    }
    const float colour[3] = {red, green, blue};
    v->CopyPickedFaces(colour, count, records);
}
