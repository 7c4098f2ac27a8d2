#pragma once
// The host-workspace window that shows the 3D viewer: a ViewerQtWidget in
// its centre, the selection, viewing and other tool bars, the viewer's part
// of a host menu, and the viewer keyboard.  Changes made here go to the
// engine process as command-language text; updatePDL and updateViewportPDL
// read the engine process's viewport manager and views back into the
// widgets.  The second half (ViewerWindowModes.cpp) decides what the mouse
// does (interaction modes, selection tools) and shows selections and
// highlights by switching the visibility of the engine's graphic objects.
#include <QMap>
#include <QString>
#include <QStringList>

#include <set>
#include <utility>
#include <vector>

#include "GuiViewer/src/host/WorkspaceWindow.h"

class QAction;
class QActionGroup;
class QComboBox;
class QKeyEvent;
class QMenu;
class QToolBar;
class QToolButton;
class ViewerHelpDialog;
class ViewerQtWidget;
class vkoViewer;
struct PickRecord;

class ViewerWindow : public WorkspaceWindow {
    Q_OBJECT
public:
    // Host application kind: the extended kind adds snap-to-node picking,
    // the label control and coordinate frames other than Cartesian.
    enum Application { StandardApplication = 0, ExtendedApplication = 1 };
    // 1 viewing; any other value picking.
    enum Mode { ViewingMode = 1, PickingMode = 2 };
    enum PickType { PickFaces = 0, PickObjects = 1 };
    enum SelectionMode { SingleSelect = 0, BoxSelect = 1, PolygonSelect = 2, FloodFillSelect = 3 };

    // Throws a text when the viewer engine cannot be created (ViewerQtWidget).
    ViewerWindow(int readSocket, int writeSocket, QWidget* parent, const char* name, Qt::WindowFlags flags,
                 Application application);
    ~ViewerWindow() override;

    // The latest window of the process (used by the engine callbacks and the
    // pick handler); none before one exists and after it is destroyed.
    static ViewerWindow* instance();

    // Process-wide texts: the default view names ("View 1" .. "View 4",
    // index = viewport number - 1), the layout names by layout index, and a
    // layout name's index (0 for an unknown name).
    static const QStringList& defaultViewNames();
    static const QStringList& layoutNames();
    static int layoutIndex(const QString& layoutName);
    // Splits an engine object name "domain:TYPE:name:instance:frame" into its
    // domain and command-language path "/TYPE:name"; false when it has too
    // few colons.
    static bool splitViewerName(const QString& name, QString& domain, QString& path);

    vkoViewer* getViewer() const;
    ViewerQtWidget* getViewerWidget() const { return viewerWidget; }
    void stopSocketTimer();
    // The current viewport number as decimal text.
    QString getCurrentViewport() const;
    int getCurrentViewportNumber() const { return currentViewport; }
    int getMaximizedViewport() const { return maximizedViewport; }

    // Adds the viewer's actions to a host menu.
    void createViewerMenu(QMenu* menu, Application application);

    // The camera block of a viewport's view transform ("  CAMERA:" ..
    // "  END"); empty without an engine, that viewport or its transform.
    QString getCameraState(int viewport, bool sendToViewer);
    // Sends the current viewport's camera to its view (or, with view
    // synchronisation on, to every active view).
    void updateCameraFromViewer();
    // Reads the viewport manager and the current view into the widgets.
    void updatePDL();
    void updateViewportPDL();
    void setPerspective(bool on);
    void togglePerspective();
    // view name "View 1" .. "View 4" selects the caption 1 .. 4, anything
    // else caption 1.
    void setViewportLabel(const QString& viewName, const QString& label);
    void disableHighlight(bool off);

    // ---- interaction modes and selection tools
    void setMode(Mode mode);
    void toggleMode();
    // Binds a mouse function by name to a button state (button in the low
    // three bits: 1 left, 2 right, 4 middle; modifiers 0x100 Shift, 0x200
    // Ctrl, 0x400 Alt, 0x800 Meta).  Throws a QString "ViewerQtWidget::
    // setMouseMapping - Invalid Mapping function, <name>" for an unknown
    // name; the mode is accepted and not used.
    void setMouseMapping(int buttonState, const QString& name, Mode mode = ViewingMode);
    void setPickSelectionMode(SelectionMode mode);
    SelectionMode getPickSelectionMode() const { return selectionMode; }
    // The stored values are used by the next setPickingMode.
    void setPickType(PickType type);
    PickType getPickType() const { return pickType; }
    void setPickWithinSelection(bool on);
    bool getPickWithinSelection() const { return pickWithinSelection; }
    void setPickCreaseAngle(float degrees);
    float getPickCreaseAngle() const { return pickCreaseAngle; }
    void enableSelectionTools(bool on);
    bool selectionToolsEnabled() const;

    // ---- highlight and visibility
    bool getHighlight() const { return highlightOn; }
    void setForceHighlight(bool on);
    bool isForceHighlightOn() const { return forceHighlight; }
    bool isSnapToNode() const { return snapToNode; }
    void highlightObject(const QString& name, bool show);
    // Selects one object by name and type (its highlight in every domain).
    void selectObject(const std::pair<QString, QString>& nameAndType);
    // The selection becomes this set of command-language paths.
    void updateBBoxSelection(const std::set<QString>& paths);
    void updateTemporaryVisibleItems(const std::set<QString>& names);
    void setObjectEnabled(const QString& path, bool on);
    void enableAllObjects();
    bool isPickRecordVisible(const PickRecord& record) const;
    // Engine object names of a command-language object (domain
    // "__ALL DOMAINS__" for every domain; instance -1 and an empty or
    // "Cartesian" frame only).
    std::vector<QString> getMatchingViewerNames(const QString& path, const QString& domain, int instance,
                                                const QString& frame) const;
    std::vector<QString> getMatchingViewerNamesByType(const QString& parentPath, const QString& type,
                                                      const QString& domain, int instance,
                                                      const QString& frame) const;
    void clearHighlightedMeshFaces(const QString& name);
    void appendHighlightedMeshFaces(const QString& name, float red, float green, float blue, int polygonOffset,
                                    int count, const PickRecord* records);

    // Read-only views for the host and the tests.
    const std::set<QString>& getHighlightSet() const { return highlightSet; }
    const std::set<QString>& getSelectedNames() const { return selectedNames; }
    const std::set<QString>& getTemporaryVisible() const { return temporaryVisible; }
    const QString& getZoomFunctionName() const { return zoomFunctionName; }
    Application getApplication() const { return application; }

public slots:
    void setViewport(int n);
    void setMaximizedViewport(int n);
    void setViewportToCustomView(int n, const QString& p_viewName);
    void checkViewerSocket();
    void setHighlight(bool on);
    void setSnapToNode(bool on);
    void setViewSync(bool on);

private slots:
    void setViewingMode();
    void setPickingMode();
    void unsetPickingMode();
    void setPanMode();
    void setZoomMode();
    void setZoomBoxMode();
    void setProjection(int p);
    void setPerspective();
    void setOrthographic();
    void editLabelControl();
    void setXPlusView();
    void setXMinusView();
    void setYPlusView();
    void setYMinusView();
    void setZPlusView();
    void setZMinusView();
    void setIsoXView();
    void setIsoYView();
    void setIsoZView();
    void centerView();
    void setLayout(int i);
    void setTransform(const QString& displayName);
    void updateViewportWidgets(const QString& frameName);
    void showViewerHelp();
    void useSingleSelect();
    void useBoxSelect();
    void usePolygonSelect();
    void useFloodFillSelect();

signals:
    void editLabelControlSignal();
    void viewportChanged(const QString& view);
    void rightClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // The end of a mouse or wheel gesture in the drawing window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A view change reported while the engine process was busy is not sent;
    // once the user's gesture has ended, the camera is sent as soon as the
    // engine process is idle, so that it ends with the camera the user sees.
    void flushSkippedCamera();
    bool cameraReportSkipped = false;
    int cameraFlushTries = 0;
    class QTimer* cameraFlushTimer = nullptr;
    // Viewport activation shared by the slots, the keys, updatePDL and the
    // viewport-click handler.
    void activateViewport(int n);
    void updateViewportWidgets();
    void setStandardView(const QString& name);
    // The layout text for layout index i, without touching the combo.
    void sendLayout(int i);
    void refreshSelectionModes();
    void setSelectionHighlight(bool show);
    void setHighlightVisibility(const QString& name, bool show);
    void setVisibility(const QString& name, bool visible);
    bool showingAllowed() const { return highlightOn || forceHighlight; }
    static void viewportClicked(vkoViewer* viewer);
    static void viewChanged(vkoViewer* viewer);

    ViewerQtWidget* viewerWidget = nullptr;
    std::set<QString> highlightSet;
    bool highlightOn = false;
    PickType pickType = PickObjects;
    bool forceHighlight = false;
    bool snapToNode = true;
    QAction* rotateAction = nullptr;
    QAction* selectAction = nullptr;
    QAction* highlightAction = nullptr;
    QAction* snapAction = nullptr;
    QAction* perspectiveAction = nullptr;
    QAction* orthographicAction = nullptr;
    QAction* labelAction = nullptr;
    QActionGroup* viewsGroup = nullptr;
    QAction* zoomAction = nullptr;
    QAction* viewXPlusAction = nullptr;
    QAction* viewXMinusAction = nullptr;
    QAction* viewYPlusAction = nullptr;
    QAction* viewYMinusAction = nullptr;
    QAction* viewZPlusAction = nullptr;
    QAction* viewZMinusAction = nullptr;
    QAction* isoXAction = nullptr;
    QAction* isoYAction = nullptr;
    QAction* isoZAction = nullptr;
    QAction* fitAction = nullptr;
    QAction* syncAction = nullptr;
    QComboBox* transformCombo = nullptr;
    QComboBox* layoutCombo = nullptr;
    int currentViewport = 1;
    int maximizedViewport = -1;
    std::set<QString> selectedNames;
    std::set<QString> temporaryVisible;
    ViewerHelpDialog* helpDialog = nullptr;
    Application application = StandardApplication;
    QToolBar* selectionToolBar = nullptr;
    QActionGroup* selectionGroup = nullptr;
    SelectionMode selectionMode = SingleSelect;
    bool pickWithinSelection = false;
    float pickCreaseAngle = 0.0f;
    QMap<QString, QString> frameNames;
    QString zoomFunctionName = "Zoom";
    // Actions without a member of their own above.
    QAction* panAction = nullptr;
    QAction* zoomBoxAction = nullptr;
    QAction* helpAction = nullptr;
    QActionGroup* modeGroup = nullptr;
    QAction* transformComboAction = nullptr;  // shows and hides transformCombo in its tool bar
    QToolButton* selectionButton = nullptr;  // the selection-mode drop-down
    QAction* selectionButtonAction = nullptr;
    QAction* floodFillAction = nullptr;
};
