#include "GuiViewer/src/ViewerWindow.h"

#include <QKeyEvent>

#include "GuiViewer/src/ViewerQtWidget.h"

// Stub bodies; the window is being built.
ViewerWindow::ViewerWindow(int readSocket, int writeSocket, QWidget* parent, const char* name, Qt::WindowFlags flags,
                           Application app)
    : WorkspaceWindow(parent, name, flags), application(app) {
    viewerWidget = new ViewerQtWidget(readSocket, writeSocket, this);
    setCentralWidget(viewerWidget);
}
ViewerWindow::~ViewerWindow() = default;
ViewerWindow* ViewerWindow::instance() { return nullptr; }
const QStringList& ViewerWindow::defaultViewNames() { static const QStringList n{"View 1", "View 2", "View 3", "View 4"}; return n; }
const QStringList& ViewerWindow::layoutNames() { static const QStringList n; return n; }
int ViewerWindow::layoutIndex(const QString&) { return 0; }
vkoViewer* ViewerWindow::getViewer() const { return viewerWidget ? viewerWidget->getViewer() : nullptr; }
void ViewerWindow::stopSocketTimer() {}
QString ViewerWindow::getCurrentViewport() const { return QString::number(currentViewport); }
void ViewerWindow::createViewerMenu(QMenu*, Application) {}
QString ViewerWindow::getCameraState(int, bool) { return {}; }
void ViewerWindow::updateCameraFromViewer() {}
void ViewerWindow::updatePDL() {}
void ViewerWindow::updateViewportPDL() {}
void ViewerWindow::setPerspective(bool) {}
void ViewerWindow::togglePerspective() {}
void ViewerWindow::setViewportLabel(const QString&, const QString&) {}
void ViewerWindow::disableHighlight(bool) {}
void ViewerWindow::setMode(Mode) {}
void ViewerWindow::toggleMode() {}
void ViewerWindow::setMouseMapping(int, const QString&, Mode) {}
void ViewerWindow::setPickSelectionMode(SelectionMode) {}
void ViewerWindow::setPickType(PickType t) { pickType = t; }
void ViewerWindow::setPickWithinSelection(bool on) { pickWithinSelection = on; }
void ViewerWindow::setPickCreaseAngle(float d) { pickCreaseAngle = d; }
void ViewerWindow::enableSelectionTools(bool) {}
bool ViewerWindow::selectionToolsEnabled() const { return true; }
void ViewerWindow::setForceHighlight(bool on) { forceHighlight = on; }
void ViewerWindow::highlightObject(const QString&, bool) {}
void ViewerWindow::selectObject(const std::pair<QString, QString>&) {}
void ViewerWindow::updateBBoxSelection(const std::set<QString>&) {}
void ViewerWindow::updateTemporaryVisibleItems(const std::set<QString>&) {}
void ViewerWindow::setObjectEnabled(const QString&, bool) {}
void ViewerWindow::enableAllObjects() {}
bool ViewerWindow::isPickRecordVisible(const PickRecord&) const { return false; }
std::vector<QString> ViewerWindow::getMatchingViewerNames(const QString&, const QString&, int, const QString&) const { return {}; }
std::vector<QString> ViewerWindow::getMatchingViewerNamesByType(const QString&, const QString&, const QString&, int, const QString&) const { return {}; }
void ViewerWindow::clearHighlightedMeshFaces(const QString&) {}
void ViewerWindow::appendHighlightedMeshFaces(const QString&, float, float, float, int, int, const PickRecord*) {}
void ViewerWindow::setViewport(int) {}
void ViewerWindow::setMaximizedViewport(int) {}
void ViewerWindow::setViewportToCustomView(int, const QString&) {}
void ViewerWindow::checkViewerSocket() {}
void ViewerWindow::setHighlight(bool on) { highlightOn = on; }
void ViewerWindow::setSnapToNode(bool on) { snapToNode = on; }
void ViewerWindow::setViewSync(bool) {}
void ViewerWindow::setViewingMode() {}
void ViewerWindow::setPickingMode() {}
void ViewerWindow::unsetPickingMode() {}
void ViewerWindow::setPanMode() {}
void ViewerWindow::setZoomMode() {}
void ViewerWindow::setZoomBoxMode() {}
void ViewerWindow::setPerspective() {}
void ViewerWindow::setOrthographic() {}
void ViewerWindow::editLabelControl() {}
void ViewerWindow::setXPlusView() {}
void ViewerWindow::setXMinusView() {}
void ViewerWindow::setYPlusView() {}
void ViewerWindow::setYMinusView() {}
void ViewerWindow::setZPlusView() {}
void ViewerWindow::setZMinusView() {}
void ViewerWindow::setIsoXView() {}
void ViewerWindow::setIsoYView() {}
void ViewerWindow::setIsoZView() {}
void ViewerWindow::centerView() {}
void ViewerWindow::showViewerHelp() {}
void ViewerWindow::useSingleSelect() {}
void ViewerWindow::useBoxSelect() {}
void ViewerWindow::usePolygonSelect() {}
void ViewerWindow::useFloodFillSelect() {}
void ViewerWindow::updateViewportWidgets() {}
void ViewerWindow::refreshSelectionModes() {}
void ViewerWindow::setProjection(int) {}
void ViewerWindow::setLayout(int) {}
void ViewerWindow::setTransform(const QString&) {}
void ViewerWindow::updateViewportWidgets(const QString&) {}
void ViewerWindow::keyPressEvent(QKeyEvent*) {}
void ViewerWindow::keyReleaseEvent(QKeyEvent* e) { WorkspaceWindow::keyReleaseEvent(e); }
void ViewerWindow::activateViewport(int) {}
void ViewerWindow::setStandardView(const QString&) {}
void ViewerWindow::sendLayout(int) {}
void ViewerWindow::setSelectionHighlight(bool) {}
void ViewerWindow::setHighlightVisibility(const QString&, bool) {}
void ViewerWindow::setVisibility(const QString&, bool) {}
void ViewerWindow::viewportClicked(vkoViewer*) {}
void ViewerWindow::viewChanged(vkoViewer*) {}
