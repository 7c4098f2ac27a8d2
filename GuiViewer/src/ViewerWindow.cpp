#include "GuiViewer/src/ViewerWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QToolBar>

#include "GuiViewer/src/ViewUtilities.h"
#include "GuiViewer/src/ViewerHelpDialog.h"
#include "GuiViewer/src/ViewerQtWidget.h"
#include "GuiViewer/src/host/AppWindowBase.h"
#include "GuiViewer/src/host/ConfigStoreBase.h"
#include "GuiViewer/src/host/RemoteEngineInterface.h"
#include "render/GLWindow.h"
#include "scene/Transform.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

ViewerWindow* g_window = nullptr;

const char kManager[] = "/VIEWPORT MANAGER";

// The coordinate frames in combo order: display name, command-language
// name, axis letters.
struct Frame {
    const char* display;
    const char* name;
    const char* letters;
};
const Frame kFrames[] = {
    {"Cartesian (X-Y-Z)", "Cartesian", "XYZ"},
    {"Blade-to-Blade (Theta-M')", "2D Blade-to-blade", "TMS"},
    {"Meridional (A-R)", "2D Meridional", "ATR"},
    {"3D Turbo (Theta-M'-Span)", "3D Turbo", "TMS"},
};

bool FrameQuery() {
    AppWindowBase* main = AppWindowBase::baseInstance();
    return main && main->frameQuery();
}

RemoteEngineInterface* Remote() { return RemoteEngineInterface::derivedInstance(); }

void Send(const QString& text) {
    if (RemoteEngineInterface* r = Remote()) r->sendCommand(text);
}

void SendAction(const QString& text) {
    if (RemoteEngineInterface* r = Remote()) r->sendViewerAction(text);
}

QMap<QString, QString> Parameters(const QString& path) {
    RemoteEngineInterface* r = Remote();
    return r ? r->getParameters(path, true) : QMap<QString, QString>();
}

QString Parameter(const QString& path, const QString& name) {
    RemoteEngineInterface* r = Remote();
    return r ? r->getParameter(path, name) : QString();
}

// An action with its texts: text (tool tips), menu text, object name.
QAction* MakeAction(QObject* parent, const QString& text, const QString& menuText, const QString& objectName,
                    const QIcon& icon, bool toggle) {
    auto* a = new QAction(icon, menuText, parent);
    a->setIconText(text);
    a->setToolTip(text);
    a->setObjectName(objectName);
    a->setCheckable(toggle);
    return a;
}

}  // namespace

ViewerWindow::ViewerWindow(int readSocket, int writeSocket, QWidget* parent, const char* name,
                           Qt::WindowFlags flags, Application app)
    : WorkspaceWindow(parent, name, flags), application(app) {
    g_window = this;
    pickType = PickObjects;
    for (const Frame& f : kFrames) frameNames.insert(f.display, f.name);

    ConfigStoreBase* icons = ConfigStoreBase::baseInstance();
    auto pix = [icons](const char* file) { return QIcon(icons->getPixmap(file)); };

    // The actions of the table.
    selectAction = MakeAction(this, "New Selection", "&Select", "New Selection",
                              QIcon(QPixmap(icons->getIconPath() + "vh_select.xpm")), true);
    rotateAction = MakeAction(this, "Rotate", "&Rotate", "Rotate", pix("vh_rotate.xpm"), true);
    panAction = MakeAction(this, "Pan", "&Pan", "Pan", pix("vh_pan.xpm"), true);
    zoomAction = MakeAction(this, "Zoom", "&Zoom", "Zoom", pix("vh_zoom.xpm"), true);
    zoomBoxAction = MakeAction(this, "Zoom Box", "Zoom &Box", "Zoom Box", pix("vh_zoombox.xpm"), true);
    fitAction = MakeAction(this, "Fit View", "&Fit View", "Fit View", pix("vh_fit.xpm"), false);
    highlightAction =
        MakeAction(this, "Highlighting", "&Highlighting", "Toggle highlight mode", pix("highlight.xpm"), true);
    snapAction = MakeAction(this, "Snap to node picking", "&Snap To Node Picking", "Toggle snap to node picking",
                            pix("snapToNode.xpm"), true);
    labelAction = MakeAction(this, "Label and Marker Visibility", "&Label and Marker Visibility",
                             "Show / hide region labels or boundary markers", pix("label.xpm"), false);
    syncAction = MakeAction(this, "Synchronise Active Views", "Synchronise Active Views", "Synchronise Active Views",
                            pix("viewsync.xpm"), true);
    perspectiveAction = MakeAction(this, "Perspective", "P&erspective", "Perspective View", pix("persp.xpm"), true);
    orthographicAction = MakeAction(this, "Orthographic", "&Orthographic", QString(), pix("ortho.xpm"), true);
    auto same = [&](const QString& text, const char* icon) { return MakeAction(this, text, text, text, pix(icon), false); };
    isoYAction = same("Isometric View (Y up)", "xyz.xpm");
    isoXAction = same("Isometric View (X up)", "yxz.xpm");
    isoZAction = same("Isometric View (Z up)", "xzy.xpm");
    viewXPlusAction = same("View Towards +X", "x_plus.xpm");
    viewXMinusAction = same("View Towards -X", "x_minus.xpm");
    viewYPlusAction = same("View Towards +Y", "y_plus.xpm");
    viewYPlusAction->setObjectName("View Towards +y");
    viewYMinusAction = same("View Towards -Y", "y_minus.xpm");
    viewZPlusAction = same("View Towards +Z", "z_plus.xpm");
    viewZMinusAction = same("View Towards -Z", "z_minus.xpm");
    helpAction = MakeAction(this, "Show Help Dialog", "Show Help Dialog", "Show Viewer Help Dialog",
                            pix("viewerhelp.xpm"), false);

    modeGroup = new QActionGroup(this);
    modeGroup->setExclusive(true);
    for (QAction* a : {selectAction, rotateAction, panAction, zoomAction, zoomBoxAction}) modeGroup->addAction(a);

    connect(selectAction, &QAction::triggered, this, &ViewerWindow::setPickingMode);
    connect(rotateAction, &QAction::triggered, this, &ViewerWindow::setViewingMode);
    connect(panAction, &QAction::triggered, this, &ViewerWindow::setPanMode);
    connect(zoomAction, &QAction::triggered, this, &ViewerWindow::setZoomMode);
    connect(zoomBoxAction, &QAction::triggered, this, &ViewerWindow::setZoomBoxMode);
    connect(fitAction, &QAction::triggered, this, &ViewerWindow::centerView);
    connect(highlightAction, &QAction::toggled, this, &ViewerWindow::setHighlight);
    connect(snapAction, &QAction::toggled, this, &ViewerWindow::setSnapToNode);
    connect(labelAction, &QAction::triggered, this, &ViewerWindow::editLabelControl);
    connect(syncAction, &QAction::toggled, this, &ViewerWindow::setViewSync);
    connect(perspectiveAction, &QAction::triggered, this, qOverload<>(&ViewerWindow::setPerspective));
    connect(orthographicAction, &QAction::triggered, this, &ViewerWindow::setOrthographic);
    connect(isoYAction, &QAction::triggered, this, &ViewerWindow::setIsoYView);
    connect(isoXAction, &QAction::triggered, this, &ViewerWindow::setIsoXView);
    connect(isoZAction, &QAction::triggered, this, &ViewerWindow::setIsoZView);
    connect(viewXPlusAction, &QAction::triggered, this, &ViewerWindow::setXPlusView);
    connect(viewXMinusAction, &QAction::triggered, this, &ViewerWindow::setXMinusView);
    connect(viewYPlusAction, &QAction::triggered, this, &ViewerWindow::setYPlusView);
    connect(viewYMinusAction, &QAction::triggered, this, &ViewerWindow::setYMinusView);
    connect(viewZPlusAction, &QAction::triggered, this, &ViewerWindow::setZPlusView);
    connect(viewZMinusAction, &QAction::triggered, this, &ViewerWindow::setZMinusView);
    connect(helpAction, &QAction::triggered, this, &ViewerWindow::showViewerHelp);

    // Selection tools.
    selectionToolBar = new QToolBar(tr("Selection Tools"), this);
    selectionToolBar->setObjectName("Selection Tools");
    addToolBar(selectionToolBar);
    selectionToolBar->addAction(selectAction);
    refreshSelectionModes();

    // Viewing tools.
    QToolBar* viewing = new QToolBar(tr("Viewing Tools"), this);
    viewing->setObjectName("Viewing Tools");
    addToolBar(viewing);
    for (QAction* a : {rotateAction, panAction, zoomAction, zoomBoxAction, fitAction}) viewing->addAction(a);
    viewing->addSeparator();
    highlightAction->setChecked(highlightOn);
    viewing->addAction(highlightAction);
    viewing->addSeparator();
    if (application == ExtendedApplication) {
        snapAction->setChecked(snapToNode);
        viewing->addAction(snapAction);
        viewing->addAction(labelAction);
    }
    layoutCombo = new QComboBox(viewing);
    layoutCombo->setObjectName("Viewport Layout");
    layoutCombo->setFocusPolicy(Qt::NoFocus);
    layoutCombo->setFixedWidth(45);
    for (int i = 0; i < 8; ++i) {
        layoutCombo->addItem(QIcon(icons->getPixmap(QString("layout%1.xpm").arg(i + 1))), QString());
        layoutCombo->setItemData(i, layoutNames()[i], Qt::ToolTipRole);
    }
    connect(layoutCombo, qOverload<int>(&QComboBox::activated), this, &ViewerWindow::setLayout);
    viewing->addWidget(layoutCombo);
    syncAction->setChecked(false);
    syncAction->setVisible(false);
    viewing->addAction(syncAction);
    transformCombo = new QComboBox(viewing);
    transformCombo->setObjectName("Coordinate Frame");
    transformCombo->setFocusPolicy(Qt::NoFocus);
    transformCombo->setMaximumWidth(130);
    for (const Frame& f : kFrames) transformCombo->addItem(f.display);
    connect(transformCombo, &QComboBox::textActivated, this, &ViewerWindow::setTransform);
    transformComboAction = viewing->addWidget(transformCombo);
    viewing->addSeparator();

    // Projection and standard views: menu and keys only.
    viewsGroup = new QActionGroup(this);
    viewsGroup->setObjectName("V&iews");
    viewsGroup->setExclusive(false);
    for (QAction* a : {isoYAction, isoXAction, isoZAction, viewXPlusAction, viewXMinusAction, viewYPlusAction,
                       viewYMinusAction, viewZPlusAction, viewZMinusAction})
        viewsGroup->addAction(a);

    QToolBar* other = new QToolBar(tr("Other Tools"), this);
    other->setObjectName("Other Tools");
    addToolBar(other);
    other->addAction(helpAction);

    QWidget* box = new QWidget(this);
    auto* boxLayout = new QHBoxLayout(box);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    viewerWidget = new ViewerQtWidget(readSocket, writeSocket, box);
    boxLayout->addWidget(viewerWidget);
    setCentralWidget(box);

    if (vkoViewer* v = getViewer()) {
        AppWindowBase* main = AppWindowBase::baseInstance();
        v->SetLogoState(qEnvironmentVariableIsSet("KRV_NO_KRVLOGO") ? LOGO_NONE
                        : (main && main->logoFlag())                ? LOGO_VH
                                                                    : LOGO_KRV);
        v->viewportClickedCallback = &ViewerWindow::viewportClicked;
        v->viewChangedCallback = &ViewerWindow::viewChanged;
        if (v->glWindow) v->glWindow->installEventFilter(this);
    }
    cameraFlushTimer = new QTimer(this);
    cameraFlushTimer->setSingleShot(true);
    cameraFlushTimer->setInterval(50);
    connect(cameraFlushTimer, &QTimer::timeout, this, &ViewerWindow::flushSkippedCamera);

    connect(viewerWidget, &ViewerQtWidget::viewportActivated, this, &ViewerWindow::setViewport);
    connect(viewerWidget, &ViewerQtWidget::viewportMaximized, this, &ViewerWindow::setMaximizedViewport);
    connect(viewerWidget, &ViewerQtWidget::customViewSelected, this, &ViewerWindow::setViewportToCustomView);
    connect(viewerWidget, &ViewerQtWidget::rightClick, this, &ViewerWindow::rightClick);

    ViewUtilities::registerViewerWindow(this);
    setWorkspaceTitle("Viewer Window");
}

ViewerWindow::~ViewerWindow() {
    // The engine lives on until the widget tree goes; its callbacks and the
    // view utilities must not reach this window any more.
    if (vkoViewer* v = getViewer()) {
        if (v->viewportClickedCallback == &ViewerWindow::viewportClicked) v->viewportClickedCallback = nullptr;
        if (v->viewChangedCallback == &ViewerWindow::viewChanged) v->viewChangedCallback = nullptr;
    }
    if (g_window == this) g_window = nullptr;
    if (ViewUtilities::s_viewer == this) ViewUtilities::registerViewerWindow(nullptr);
}

ViewerWindow* ViewerWindow::instance() { return g_window; }

const QStringList& ViewerWindow::defaultViewNames() {
    static const QStringList names{"View 1", "View 2", "View 3", "View 4"};
    return names;
}

const QStringList& ViewerWindow::layoutNames() {
    static const QStringList names{"No Split",
                                   "Horizontal Split",
                                   "Vertical Split",
                                   "Horizontal And Right Split",
                                   "Vertical And Bottom Split",
                                   "Horizontal And Left Split",
                                   "Vertical And Top Split",
                                   "Horizontal And Vertical Split"};
    return names;
}

int ViewerWindow::layoutIndex(const QString& layoutName) { return std::max(0, int(layoutNames().indexOf(layoutName))); }

vkoViewer* ViewerWindow::getViewer() const { return viewerWidget ? viewerWidget->getViewer() : nullptr; }

void ViewerWindow::checkViewerSocket() {
    if (viewerWidget) viewerWidget->checkViewerSocket();
}

void ViewerWindow::stopSocketTimer() {
    if (viewerWidget) viewerWidget->stopSocketTimer();
}

QString ViewerWindow::getCurrentViewport() const { return QString::number(currentViewport); }

void ViewerWindow::createViewerMenu(QMenu* menu, Application app) {
    if (!menu) return;
    menu->addAction(selectAction);
    menu->addAction(rotateAction);
    menu->addSeparator();
    menu->addAction(highlightAction);
    menu->addSeparator();
    if (app == ExtendedApplication) {
        menu->addAction(snapAction);
        menu->addAction(labelAction);
        menu->addSeparator();
    }
    menu->addAction(perspectiveAction);
    menu->addAction(orthographicAction);
    menu->addSeparator();
    QMenu* views = menu->addMenu(tr("V&iews"));
    views->setObjectName("Views");
    for (QAction* a : {viewXPlusAction, viewXMinusAction, viewYPlusAction, viewYMinusAction, viewZPlusAction,
                       viewZMinusAction, isoXAction, isoYAction, isoZAction})
        views->addAction(a);
    menu->addAction(fitAction);
    menu->addSeparator();
}

// ---- viewports and layouts

void ViewerWindow::activateViewport(int n) {
    if (n == currentViewport) return;
    currentViewport = n;
    updateViewportPDL();
    if (getViewer()) viewerWidget->setActiveViewport(n);
    emit viewportChanged(ViewUtilities::getViewForViewportNum(n));
}

void ViewerWindow::setViewport(int n) { activateViewport(n); }

void ViewerWindow::setViewportToCustomView(int n, const QString& p_viewName) {
    activateViewport(n);
    ViewUtilities::setView("/VIEW:" + p_viewName);
}

void ViewerWindow::sendLayout(int i) {
    if (i < 0 || i >= layoutNames().size()) i = 0;
    Send("VIEWPORT MANAGER:\nViewport Layout = " + layoutNames()[i] + "\nMaximized Viewport = -1\nEND\n");
}

void ViewerWindow::setLayout(int i) {
    viewerWidget->setViewportLayout(i);
    activateViewport(1);
    viewerWidget->setMaximizedViewport(-1);
    sendLayout(i);
}

void ViewerWindow::setMaximizedViewport(int n) {
    if (n < 1) n = -1;
    viewerWidget->setMaximizedViewport(n);
    Send("VIEWPORT MANAGER:\nMaximized Viewport = " + QString::number(n) + "\nEND\n");
}

void ViewerWindow::setViewportLabel(const QString& viewName, const QString& label) {
    const int n = std::max(0, int(defaultViewNames().indexOf(viewName))) + 1;
    viewerWidget->setViewportLabel(n, label);
}

void ViewerWindow::setViewSync(bool on) {
    if (vkoViewer* v = getViewer()) v->SetViewSync(on);
}

// ---- projection, frames and standard views

void ViewerWindow::setProjection(int p) {
    Send(ViewUtilities::getViewForCurrentViewport() + "\n  Projection = " + (p ? "Perspective" : "Orthographic") +
         "\nEND\n");
}

void ViewerWindow::setPerspective() {
    perspectiveAction->setChecked(true);
    orthographicAction->setChecked(false);
    setProjection(1);
}

void ViewerWindow::setOrthographic() {
    perspectiveAction->setChecked(false);
    orthographicAction->setChecked(true);
    setProjection(0);
}

void ViewerWindow::setPerspective(bool on) {
    perspectiveAction->setChecked(on);
    orthographicAction->setChecked(!on);
    setProjection(on ? 1 : 0);
}

void ViewerWindow::togglePerspective() { setPerspective(orthographicAction->isChecked()); }

void ViewerWindow::setTransform(const QString& displayName) {
    Send(ViewUtilities::getViewForCurrentViewport() + "\nCoord Transform = " + frameNames.value(displayName) +
         "\nEND\n" + ">centerview " + getCurrentViewport());
}

void ViewerWindow::setStandardView(const QString& name) {
    SendAction(">setcamera viewport=" + getCurrentViewport() + ", camera=" + name + "\n");
}

void ViewerWindow::setXPlusView() { setStandardView("+X"); }
void ViewerWindow::setXMinusView() { setStandardView("-X"); }
void ViewerWindow::setYPlusView() { setStandardView("+Y"); }
void ViewerWindow::setYMinusView() { setStandardView("-Y"); }
void ViewerWindow::setZPlusView() { setStandardView("+Z"); }
void ViewerWindow::setZMinusView() { setStandardView("-Z"); }
void ViewerWindow::setIsoXView() { setStandardView("Isometric X"); }
void ViewerWindow::setIsoYView() { setStandardView("Isometric Y"); }
void ViewerWindow::setIsoZView() { setStandardView("Isometric Z"); }

void ViewerWindow::centerView() { SendAction(">centerview " + getCurrentViewport()); }

void ViewerWindow::updateViewportWidgets(const QString& frameName) {
    QString letters = "XYZ";
    for (const Frame& f : kFrames)
        if (frameName == f.name) letters = f.letters;
    const bool flat = frameName == "2D Meridional" || frameName == "2D Blade-to-blade";
    perspectiveAction->setEnabled(!flat);
    orthographicAction->setEnabled(!flat);
    viewsGroup->setEnabled(!flat);
    viewerWidget->setMaximizedViewport(maximizedViewport);

    ConfigStoreBase* icons = ConfigStoreBase::baseInstance();
    auto direction = [&](QAction* a, QChar letter, bool plus) {
        const QString text = QString("View Towards ") + (plus ? "+" : "-") + letter;
        a->setText(text);
        a->setIconText(text);
        a->setToolTip(text);
        a->setIcon(icons->getPixmap(QString(letter.toLower()) + (plus ? "_plus.xpm" : "_minus.xpm")));
    };
    direction(viewXPlusAction, letters[0], true);
    direction(viewXMinusAction, letters[0], false);
    direction(viewYPlusAction, letters[1], true);
    direction(viewYMinusAction, letters[1], false);
    direction(viewZPlusAction, letters[2], true);
    direction(viewZMinusAction, letters[2], false);
    const QString l = letters.toLower();
    auto iso = [&](QAction* a, QChar up, const QString& icon) {
        const QString text = QString("Isometric View (") + up + " up)";
        a->setText(text);
        a->setIconText(text);
        a->setToolTip(text);
        a->setIcon(icons->getPixmap(icon + ".xpm"));
    };
    iso(isoXAction, letters[0], QString(l[1]) + l[0] + l[2]);
    iso(isoYAction, letters[1], QString(l[0]) + l[1] + l[2]);
    iso(isoZAction, letters[2], QString(l[0]) + l[2] + l[1]);
}

void ViewerWindow::updateViewportWidgets() {
    if (maximizedViewport > 0 && maximizedViewport != currentViewport) activateViewport(maximizedViewport);
    viewerWidget->setMaximizedViewport(maximizedViewport);
}

// ---- reading the engine process's state back

void ViewerWindow::updatePDL() {
    const QMap<QString, QString> params = Parameters(kManager);
    const QString layoutName = params.value("Viewport Layout");
    const int index = layoutIndex(layoutName);
    layoutCombo->setCurrentIndex(index);
    viewerWidget->setViewportLayout(index);

    setSelectionHighlight(highlightOn);

    bool number = false;
    const int maximized = params.value("Maximized Viewport").toInt(&number);
    maximizedViewport = number && maximized >= 1 && maximized <= 4 ? maximized : -1;

    if (index == 0) {
        activateViewport(1);
        syncAction->setChecked(false);
        syncAction->setVisible(false);
    } else {
        bool allCartesian = true;
        for (const QString& v : ViewUtilities::getActiveViewNames())
            if (Parameter("/VIEW:" + v, "Coord Transform") != "Cartesian") allCartesian = false;
        if (!allCartesian) {
            syncAction->setChecked(false);
            syncAction->setVisible(false);
        } else {
            syncAction->setVisible(true);
        }
    }

    if (maximizedViewport > 0 && maximizedViewport != currentViewport) activateViewport(maximizedViewport);
    viewerWidget->setMaximizedViewport(maximizedViewport);
    updateViewportPDL();

    for (int n = 1; n <= 4; ++n) viewerWidget->setViewportLabel(n, Parameter(kManager, QString("Viewport %1 View").arg(n)));
    RemoteEngineInterface* r = Remote();
    const QStringList names = r ? r->getObjectNames("VIEW") : QStringList();
    if (!names.isEmpty()) viewerWidget->setViewNames(names);
}

void ViewerWindow::updateViewportPDL() {
    const QMap<QString, QString> params = Parameters("/" + ViewUtilities::getViewForCurrentViewport());
    const QString projection = params.value("Projection");
    if (projection == "Perspective") {
        perspectiveAction->setChecked(true);
        orthographicAction->setChecked(false);
    } else if (projection == "Orthographic") {
        perspectiveAction->setChecked(false);
        orthographicAction->setChecked(true);
    }
    const bool frames = FrameQuery();
    transformComboAction->setVisible(application != StandardApplication && frames);
    const QString frame = params.value("Coord Transform");
    for (int i = 0; i < transformCombo->count(); ++i)
        if (frameNames.value(transformCombo->itemText(i)) == frame) {
            transformCombo->setCurrentIndex(i);
            transformCombo->setToolTip(transformCombo->itemText(i));
            break;
        }
    if (frames) updateViewportWidgets(frameNames.value(transformCombo->currentText()));
}

// ---- cameras and the engine callbacks

QString ViewerWindow::getCameraState(int viewport, bool sendToViewer) {
    vkoViewer* v = getViewer();
    vkoViewport* port = v ? v->FindViewportByNumber(viewport) : nullptr;
    const Transform* t = port ? port->view : nullptr;
    if (!t) return {};
    const float* q = t->rotation.value();
    auto g = [](double x) { return QString::asprintf("%g", x); };
    return "  CAMERA:\n    Option = Pivot Point and Quaternion\n    Pivot Point = " + g(t->pivot[0]) + ", " +
           g(t->pivot[1]) + ", " + g(t->pivot[2]) + "\n    Scale = " + g(t->scale) + "\n    Pan = " + g(t->pan[0]) +
           ", " + g(t->pan[1]) + "\n    Rotation Quaternion = " + g(q[0]) + ", " + g(q[1]) + ", " + g(q[2]) + ", " +
           g(q[3]) + "\n    Send To Viewer = " + (sendToViewer ? "True" : "False") + "\n  END\n";
}

void ViewerWindow::updateCameraFromViewer() {
    QStringList targets;
    if (syncAction->isChecked()) {
        targets = ViewUtilities::getActiveViewNames();
    } else {
        const QString view = ViewUtilities::getViewNameForCurrentViewport();
        if (!view.isEmpty()) targets << view;
    }
    const QString state = getCameraState(currentViewport, false);
    // Without an engine there is no camera to report.
    RemoteEngineInterface* r = Remote();
    if (state.isEmpty() || !r) return;
    for (const QString& v : targets)
        r->sendObjectDefinition("/VIEW:" + v, "VIEW:" + v + "\n  Camera Mode = User Specified" + "\n" + state + "\nEND\n");
}

void ViewerWindow::viewportClicked(vkoViewer* viewer) {
    ViewerWindow* w = g_window;
    if (!w || !viewer || viewer != w->getViewer()) return;
    const std::string name = viewer->currentViewport ? viewer->currentViewport->viewportname : std::string();
    const int n = name == "Viewport2" ? 2 : name == "Viewport3" ? 3 : name == "Viewport4" ? 4 : 1;
    w->activateViewport(n);
    w->setFocus();
}

void ViewerWindow::viewChanged(vkoViewer* viewer) {
    ViewerWindow* w = g_window;
    if (!w || !viewer || viewer != w->getViewer()) return;
    RemoteEngineInterface* r = Remote();
    if (!r) return;
    if (r->isActive()) {
        w->cameraReportSkipped = true;
        return;
    }
    w->cameraReportSkipped = false;
    w->updateCameraFromViewer();
}

bool ViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    // Only the user's own gestures: a camera the engine process set itself
    // while busy must not be sent back as a user-specified one.
    const QEvent::Type t = event->type();
    if ((t == QEvent::MouseButtonRelease || t == QEvent::Wheel || t == QEvent::KeyRelease) && cameraReportSkipped) {
        cameraFlushTries = 0;
        cameraFlushTimer->start();
    }
    return WorkspaceWindow::eventFilter(watched, event);
}

void ViewerWindow::flushSkippedCamera() {
    if (!cameraReportSkipped) return;
    RemoteEngineInterface* r = Remote();
    if (!r) return;
    if (r->isActive()) {
        // Give up after about ten seconds of an engine process that stays busy.
        if (++cameraFlushTries < 200) cameraFlushTimer->start();
        return;
    }
    cameraReportSkipped = false;
    updateCameraFromViewer();
}

// ---- small slots

void ViewerWindow::disableHighlight(bool off) { highlightAction->setEnabled(!off); }

void ViewerWindow::editLabelControl() { emit editLabelControlSignal(); }

void ViewerWindow::showViewerHelp() {
    if (!helpDialog) helpDialog = new ViewerHelpDialog(this, "Viewer Help");
    helpDialog->show();
}

// ---- keyboard

void ViewerWindow::keyPressEvent(QKeyEvent* event) {
    vkoViewer* v = getViewer();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    float a = 0, b = 0, c = 0, lightA = 0, lightB = 0;
    switch (event->key()) {
    case Qt::Key_Down: (ctrl ? c : a) = 15, lightB = -5; break;
    case Qt::Key_Up: (ctrl ? c : a) = -15, lightB = 5; break;
    case Qt::Key_Left: b = -15, lightA = 5; break;
    case Qt::Key_Right: b = 15, lightA = -5; break;
    default: return;  // other keys are not passed on
    }
    if (!v) return;
    if (shift) {
        v->AdjustLight(lightA, lightB);
    } else {
        v->TransformView(5, 0, 0, 0, 0, false);
        v->TransformView(0, a, b, c, 0, true);
    }
}

void ViewerWindow::keyReleaseEvent(QKeyEvent* event) {
    if (cameraReportSkipped) {
        cameraFlushTries = 0;
        cameraFlushTimer->start();
    }
    vkoViewer* v = getViewer();
    if (qEnvironmentVariableIsSet("QOR_VIEWER_KEYS")) {
        if (v && v->glWindow) v->glWindow->keyPressed(event);
    } else {
        const bool exactlyShift = event->modifiers() == Qt::ShiftModifier;
        static const int kLayoutOfKey[4] = {0, 1, 3, 7};
        switch (event->key()) {
        case Qt::Key_Space:
            if (rotateAction->isChecked())
                setPickingMode();
            else
                setViewingMode();
            break;
        case Qt::Key_N: togglePerspective(); break;
        case Qt::Key_1:
        case Qt::Key_2:
        case Qt::Key_3:
        case Qt::Key_4: {
            const int layout = kLayoutOfKey[event->key() - Qt::Key_1];
            viewerWidget->setViewportLayout(layout);
            activateViewport(1);
            viewerWidget->setMaximizedViewport(-1);
            sendLayout(layout);
            break;
        }
        case Qt::Key_X: exactlyShift ? setXMinusView() : setXPlusView(); break;
        case Qt::Key_Y: exactlyShift ? setYMinusView() : setYPlusView(); break;
        case Qt::Key_Z: exactlyShift ? setZMinusView() : setZPlusView(); break;
        case Qt::Key_C: centerView(); break;
        case Qt::Key_R: setIsoYView(); break;
        case Qt::Key_U:
            if (v) v->TransformView(exactlyShift ? 7 : 6, 0, 0, 0, 0, true);
            break;
        case Qt::Key_S:
            if (v)
                v->outlineMode = v->outlineMode == OUTLINE_NEVER    ? OUTLINE_MOVING
                                 : v->outlineMode == OUTLINE_MOVING ? OUTLINE_AUTO
                                                                    : OUTLINE_NEVER;
            break;
        default: break;
        }
    }
    WorkspaceWindow::keyReleaseEvent(event);
}
