#pragma once
// The viewer engine: owns one scene (graphic objects, viewports, cameras,
// renderers, the link) and is driven by the token protocol, the GL window's
// input and files.  A plain class; the krvViewer widget box owns it.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "link/LinkStream.h"
#include "output/OutputSettings.h"

class krvViewer;
class vkoGraphicObj;
class vkoViewport;
class Graphics;
class GLWindow;
class VWindow;
class StrokeFont;
struct SavedCamera;
struct PickRecord;
struct RasterImage;
class GraphicData;
class QWidget;

enum BackgroundType { BG_SOLID = 0, BG_TOP_BOTTOM = 1, BG_LEFT_RIGHT = 2, BG_DIAGONAL = 3 };
enum OutlineMode { OUTLINE_NEVER = 0, OUTLINE_MOVING = 1, OUTLINE_AUTO = 2 };
enum LogoState { LOGO_NONE = 0, LOGO_KRV = 1, LOGO_VH = 2 };

class vkoViewer {
public:
    vkoViewer(krvViewer* widget, bool standAlone, bool noWindow);
    ~vkoViewer();
    vkoViewer(const vkoViewer&) = delete;
    vkoViewer& operator=(const vkoViewer&) = delete;

    // ---- fields (other layers read and set several of them directly)
    vkoViewport* currentViewport = nullptr;
    int viewportLayout = 1;
    OutputSettings output;
    krvViewer* widget = nullptr;
    std::map<std::string, int> objectIdsByName;
    std::map<int, vkoGraphicObj*> objectsById;  // owned
    vkoGraphicObj* currentGraphic = nullptr;
    SavedCamera* savedCameras = nullptr;  // owned singly linked list
    SavedCamera* savedCamerasTail = nullptr;
    int numSavedCameras = 0;
    std::vector<vkoViewport*> viewports;  // owned, creation order
    int viewportOrder[4] = {1, 2, 3, 4};
    int numViewports = 0;
    float xSplit = 0.5f, ySplit = 0.5f;
    int outlineMode = OUTLINE_AUTO;
    LinkStream link;
    bool linkOwned = false;  // the link's sockets were opened by this viewer ("-r")
    bool respondAfterUpdate = false;
    bool autoPrintPending = false;
    bool drawingSuspended = false;
    bool standAlone = false;
    bool noWindow = false;
    bool draggingEnabled = false;
    bool interacting = false;
    bool dragConstrained = false;
    float dragDirection[3] = {0, 0, 0};
    bool dragMovesObject = true;
    int pickMode = 5;
    float dragPoint[3] = {0, 0, 0};
    bool pickPointValid = false;
    float backGroundColor[3] = {0, 0, 0};
    float backGroundColor2[3] = {1, 1, 1};
    int backGroundType = BG_SOLID;
    bool viewSync = false;
    bool showFrameRate = false;
    int frameTimes[6] = {-1, -1, -1, -1, -1, -1};
    vkoGraphicObj* frameRateGraphic = nullptr;
    vkoGraphicObj* logoGraphic = nullptr;
    bool viewMoving = false;
    float lodError = 0.1f;
    bool limitZoom = true;
    int stereoMode = 0;
    float eyeDistance = -5.0f;
    float eyeSeparation = 0.05f;
    int fontCount = 0;
    StrokeFont* fonts[2] = {nullptr, nullptr};  // owned
    void (*viewportChangedCallback)(vkoViewport*) = nullptr;
    void (*viewportClickedCallback)(vkoViewer*) = nullptr;
    void (*viewChangedCallback)(vkoViewer*) = nullptr;
    bool viewChangedPending = false;
    void (*objectMovedCallback)(const char*, int) = nullptr;
    void (*commandCallback)() = nullptr;
    float projectedArea = 0.0f;
    float autoSparseFps = 10.0f;
    char currentCameraName[256] = {0};
    bool printFromScreen = false;
    float frameRate = 999.9f;
    int frameStart = 0;
    bool frameMeterArmed = false;
    double dragStart[2] = {0, 0};
    int dragWindowPoint[2] = {0, 0};
    double dragOffset[3] = {0, 0, 0};
    int draggedObjectId = -99;
    int windowWidth = -1, windowHeight = -1;
    unsigned char* tileBuffer = nullptr;
    int tileSize = 0;
    std::vector<int> lodQueue;
    int lodObject = -1;
    int captionHeight = 0, viewportGap = 0;
    bool viewportMaximized = false;
    int logoState = LOGO_KRV;
    Graphics* baseRenderer = nullptr;  // owned
    Graphics* renderer = nullptr;      // owned when different from baseRenderer
    bool capturingCube = false;
    GLWindow* glWindow = nullptr;  // owned by the widget tree
    char outputMessage[2048] = {0};

    // ---- accessors used by the program and the GUI layer
    krvViewer* Widget() const { return widget; }
    bool NoWindow() const { return noWindow; }

    // ---- scene object registry
    bool NewGraphic(const char* name, const std::vector<std::string>* viewportNames = nullptr);
    bool SelectGraphic(const char* name);
    vkoGraphicObj* FindGraphic(const char* name) const;
    vkoGraphicObj* FindGraphicById(int id) const;
    vkoGraphicObj* FirstGraphic() const;
    void DeleteCurGraphic();
    bool IsGraphicShown(const vkoGraphicObj* object) const;
    void AddGraphicToViewports(const char* name, const std::vector<std::string>* viewportNames = nullptr);
    void RemoveGraphicFromViewports(const char* name, const std::vector<std::string>* viewportNames = nullptr);
    void CountDrawnItems(long long& faces, long long& lineSegments) const;
    void CopyPickedFaces(const float colour[3], int count, const PickRecord* records);

    // ---- settings
    bool SuspendDrawing(bool on);
    void SetLogoState(int state);
    void ToggleFrameRate();
    void SetBackground(int type, const float colour[3], const float colour2[3]);
    void ReverseVideo();
    void SetStereoMode(int mode);
    void WindowResized(int width, int height);
    void QueueLod(int objectId);
    void ServiceLodQueue();
    void SetCurrentViewport(vkoViewport* viewport);

    // ---- viewports and layouts
    vkoViewport* ViewportByNumber(int number) const { return FindViewportByNumber(number); }
    void ApplyLayout(int layout);
    void SetXSplit(float value);
    void SetYSplit(float value);
    void SetMaximized(bool on);
    void ToggleMaximized();
    void SetViewportInsets(int captionHeight, int gap);
    bool SetCurrentViewportByNumber(int n);
    vkoViewport* FindViewportByNumber(int n) const;
    vkoViewport* FindViewportByName(const char* name) const;
    bool SetCurrentViewportByName(const char* name);
    int ViewportNumber(const char* name) const;
    vkoViewport* ViewportAt(int x, int y) const;
    vkoViewport* SelectViewportAt(int x, int y);
    void HideAllViewports();
    // Switches of currentViewport (nothing without one).
    void SetViewportAxis(bool on);
    void ToggleViewportAxis();
    void SetViewportRuler(bool on);
    void ToggleViewportRuler();
    void SetViewportBorder(bool on);
    void ToggleViewportBorder();
    void SetViewportAutofit(bool on);
    void SetViewportAxisType(int type);
    void SetViewportRotation(bool on);
    void ToggleViewportProjection();
    void SetViewportLight(float angleXToZ, float angleZToY);
    void AdjustLight(float da, float db);
    void ResetLight(bool defaults);
    void SetViewportRulerScale(float scale, const char* units);
    void ClearViewportLasso();
    bool ViewportAxisShown() const;
    bool ViewportRulerShown() const;
    bool ViewportBorderShown() const;
    bool ViewportAutofit() const;
    bool ViewportOrthographic() const;
    bool ViewportRotationEnabled() const;
    // View changes of currentViewport and view synchronisation.
    void TransformView(int type, float a, float b, float c, float d, bool redraw);
    void PropagateView(vkoViewport* viewport);
    void SetViewSync(bool on);

    // ---- parameter tokens and forwarding operations
    int SetParameters();
    void SetGraphicProperty(int property, float value, vkoGraphicObj* object = nullptr);
    void SetViewportGraphicsProperty(int property, float value, vkoViewport* viewport = nullptr);
    void SetAllGraphicsProperty(int property, float value);
    void ToggleGraphicProperty(int property, vkoGraphicObj* object = nullptr);
    void ToggleViewportGraphicsProperty(int property, vkoViewport* viewport = nullptr);
    void ToggleAllGraphicsProperty(int property);
    void SetGraphicPlacement(int kind, const float* values, vkoGraphicObj* object = nullptr);
    void SetGraphicReplication(int kind, const float* values, vkoGraphicObj* object = nullptr);
    void SetGraphicMirrorPoints(const float points[9], vkoGraphicObj* object = nullptr);
    void SetViewportGraphicPlacement(int kind, const float* values, vkoViewport* viewport = nullptr);
    void SetViewportGraphicReplication(int kind, const float* values, vkoViewport* viewport = nullptr);
    void SetViewportGraphicMirrorPoints(const float points[9], vkoViewport* viewport = nullptr);
    void LoadCurGraphic();
    void SetPrintTolerance(float value);
    // Saved cameras.
    SavedCamera* FindSavedCamera(const char* name) const;
    SavedCamera* AddSavedCamera(const char* name);
    bool ApplySavedCamera(const char* name, vkoViewport* viewport);

    // ---- frame drawing
    // Draws the marked viewports (or performs a pending output); false when
    // the renderer could not draw.
    bool Redraw(bool output = false);
    void RefreshAll(bool redraw = true, bool overlays = true);
    void RefreshGraphic(vkoGraphicObj* object, bool redraw, bool overlays);
    void RefreshViewport(bool redraw, bool overlays, vkoViewport* viewport = nullptr);
    void RefreshTexts(bool redraw);
    bool CenterView(vkoViewport* viewport = nullptr);
    void ResetView();
    float ComputeProjectedArea();
    void SetDragConstraint(bool on, const float direction[3]);
    bool DragPickedObject(int x, int y, float movement[3], bool start, bool fine);
    void SetViewMoving(bool on);
    void ResetRenderer(bool redraw);
    // One frame time into the meter (milliseconds); updates frameRate and the read-out.
    void RecordFrameTime(int elapsedMs);
    int WindowClockMs() const;
    void MarkAllViewports(bool includeTexts = false);

    // ---- command dispatch (vkoViewerCommands.cpp)
    // Executes every command waiting on the read side of the link and
    // returns when nothing more is waiting (timeout seconds; negative: 0),
    // when the link is not a readable socket, or after an error.
    void CheckForCommand(int timeoutSeconds);
    // Ends the process for SHUTDOWN and for a refused command of a
    // stand-alone viewer.  Tests replace it to observe the status; when the
    // replacement returns, CheckForCommand returns too.
    using ExitHook = void (*)(int status);
    static ExitHook SetExitHook(ExitHook hook);  // nullptr restores std::exit; returns the previous hook
    // Seconds a command may wait for its remaining bytes before the read
    // fails (0: no limit), so a peer that stops mid-command cannot freeze
    // the GUI thread.
    int commandStallSeconds = 60;
    // Polls a window-less stand-alone viewer every 100 ms (a window polls
    // from its own timer).
    void StartHeadlessPolling();
    // State and camera files (vkoViewerFiles.cpp).
    bool WriteStateFile(const char* path);
    bool ReadCameraFile(const char* path);
    // ---- end of command dispatch

    // ---- input from the window (pointer, wheel, keys)
    void MousePressed(VWindow* window);
    void MouseReleased(VWindow* window);
    void MouseDoubleClicked(VWindow* window);
    void MouseMoved(VWindow* window);
    void WheelTurned(VWindow* window);
    // False when the key asks the stand-alone viewer to end.
    bool KeyPressed(VWindow* window);
    // Ends a view movement (mouse drag, 6-DOF motion).
    void EndInteraction();
    // Ends the process through the exit hook (SetExitHook).
    void ExitProcess(int status);

    // ---- state, camera and scene files (vkoViewerFiles.cpp, vkoViewerScene.cpp)
    // Files are written beside their final name and moved over it only when
    // complete; a failed write keeps the previous file.
    // WriteStateFile (declared with the commands above, DUMP_STATE) writes
    // both parts below; a null or empty path means "viewer.state".
    // parts: 1 the objects block, 2 the viewer section.
    bool WriteState(int parts, const char* path);
    bool WriteViewerSection(int fd);
    // Reads a viewer section from fd (drawing suspended meanwhile); false on
    // a malformed colour line or the end of the file.
    bool ReadViewerSection(int fd);
    bool WriteCameraFile(const char* path);
    // ReadCameraFile (declared above; "SavedCameras", READ_VIEWS) adds the
    // named views of a camera file to the saved cameras.
    void WriteTextDump(FILE* stream);
    // A scene from a file or an "http:" / "file:" URL; reports nothing.
    void LoadSceneSource(const char* path);
    // A scene stream from the descriptor's current position; true when it
    // was read to the end of its viewer section.
    bool ReadScene(int fd);
    bool WriteScene(const char* path);
    // Stand-alone start: the replay pair, "viewer.kvf", "test%d.dat" or a
    // named scene.  A dump ends the process through the exit hook.
    bool OpenStartFile(const char* name, bool replay, bool dump);
    // ---- end of state, camera and scene files

    // ---- keyboard commands (vkoViewerKeys.cpp)
    // One entry of the key table: its code, its help line (null: not
    // listed) and its action.
    struct KeyEntry {
        int code;
        const char* description;
        void (*action)(vkoViewer& viewer, VWindow& window);
    };
    // The key table in help order; it ends with the code -1.
    static const KeyEntry* KeyTable();
    // The help line of an entry for this viewer, or null ("exit viewer"
    // only where Esc ends the program).
    const char* Describe(const KeyEntry& entry) const;
    // Runs the command of a key (codes: VWindow) unless a button is held,
    // no viewport was pressed yet or a polygon selection wants only Esc
    // and Delete.  outputMessage holds what the key has to say.
    void HandleKey(VWindow* window, int key, int modifiers);
    void BuildHelpText();
    // The output description line into outputMessage.
    void DescribeOutput();
    void ToggleCubeCapture();
    // ---- end of keyboard commands

    // ---- event recording, replay and timing (vkoViewerEvents.cpp)
    // The scene into "viewerEvent.dmp", then the events into
    // "viewerEvent.key" until StopRecording; nothing while one is open or
    // while a recording is being replayed.
    void StartRecording(VWindow* window);
    void StopRecording(VWindow* window);
    // One event line (1 press, 2 release, 3 double click, 4 move, 5 wheel,
    // 6 key) when a recording is open.
    void RecordEvent(VWindow* window, int event);
    // Spins the view for DRAV_TIMING_SECONDS (30) seconds; the rates go
    // into outputMessage.
    void TimingRun(VWindow* window);
    // Replays a recording (null: "viewerEvent.key") through the window's
    // handlers, one event every intervalMs; false when there is no window,
    // the file cannot be read or a replay is running.
    bool ReplayEvents(const char* path, int intervalMs);
    bool replayingEvents = false;  // an EventReplay is feeding the handlers
    // ---- end of event recording

    // ---- mouse interpreter and picking (vkoViewerInput.cpp, vkoViewerMouse.cpp, vkoViewerPick.cpp)
    // An interpreter action; it reads the pointer and clock of the window.
    using MouseAction = void (vkoViewer::*)(VWindow* window);
    // Host callback of a point pick: object id (-1 none), picked point or
    // null, window position (x, y from the bottom left).
    using PickCallback = void (*)(int objectId, const float* point, const int position[2]);
    struct MouseBinding {
        int button = -1;  // VWindow::kLeft, kRight, kMiddle
        int modifiers = 0;
        int cursor = 13;
        MouseAction press = nullptr, drag = nullptr, release = nullptr, doubleClick = nullptr, click = nullptr;
        PickCallback pickCallback = nullptr;
    };
    struct WheelBinding {
        int modifiers = 0;
        MouseAction action = nullptr;
    };
    static std::vector<MouseBinding> BuiltinMouseTable();
    static std::vector<WheelBinding> BuiltinWheelTable();
    // Polygon-selection tables: plain, or the inside variant (Ctrl held).
    static std::vector<MouseBinding> PolygonMouseTable(bool inside);

    std::vector<MouseBinding> mouseTable = BuiltinMouseTable();
    std::vector<WheelBinding> wheelTable = BuiltinWheelTable();
    std::vector<MouseBinding> savedMouseTable;  // while a polygon selection is active
    std::vector<WheelBinding> savedWheelTable;
    bool polygonSelecting = false;
    vkoViewport* polygonViewport = nullptr;
    int interpreterPickMode = 5;  // the viewer's pickMode takes it only during a pick
    int savedPickMode = 5;
    bool objectMoved = false;
    // The viewport whose view a zoom or pick box pushed while the window
    // showed the scene as it stood, and its mark count after the push.
    vkoViewport* boxPushedViewport = nullptr;
    unsigned boxPushedMarks = 0;
    bool pickInsideOnly = false;
    float floodAngle = 75.0f;  // degrees
    // Clicks and drags: a press becomes a drag once the pointer has moved
    // 20 pixels or 300 ms have passed.
    static constexpr int kClickDistanceSquared = 400;
    static constexpr int kClickMs = 300;

    // Rebinds the cursor, press, drag and release of the entry for button
    // and modifiers by a MouseFunction code; false for an unknown code or
    // combination.
    bool SetMouseFunction(int button, int modifiers, int code);
    // Wheel codes 1 zoom, 2 reversed zoom, 7 rotate about z, 25 none.
    bool SetWheelFunction(int modifiers, int code);
    bool SetPickCallback(int button, int modifiers, PickCallback callback);
    void SetPickMode(int mode, bool insideOnly, float floodAngleDegrees);
    // The binding for a button and modifiers in the active table, or null.
    MouseBinding* FindMouseBinding(int button, int modifiers);
    // Polygon selection, also used by the Esc and Delete keys.
    void LeavePolygonSelection();
    void RemovePolygonPoint();
    // Faces reached from a start face across shared vertices while the
    // normals of neighbours differ by at most maxAngleDegrees; sorted.
    static std::vector<int> FloodFillFaces(const GraphicData& data, int startFace, float maxAngleDegrees);

private:
    // Actions of the binding tables.
    void BeginMove(VWindow* w);
    void EndMove(VWindow* w);
    void RotateDrag(VWindow* w);
    void RotateXDrag(VWindow* w);
    void RotateYDrag(VWindow* w);
    void RotateZDrag(VWindow* w);
    void ZoomDrag(VWindow* w);
    void FastZoomDrag(VWindow* w);
    void PanDrag(VWindow* w);
    void ZoomInAtPoint(VWindow* w);
    void ZoomOutAtPoint(VWindow* w);
    void SetPivotAtPointer(VWindow* w);
    void MoveLightDrag(VWindow* w);
    void ZoomBoxBegin(VWindow* w);
    void ZoomBoxUpdate(VWindow* w);
    void ZoomBoxEnd(VWindow* w);
    void WheelZoom(VWindow* w);
    void WheelZoomReversed(VWindow* w);
    void WheelRotateX(VWindow* w);
    void WheelRotateY(VWindow* w);
    void WheelRotateZ(VWindow* w);
    void DragBegin(VWindow* w);
    void DragObject(VWindow* w);
    void DragEnd(VWindow* w);
    void PickPointAction(VWindow* w);
    void HoverPickAction(VWindow* w);
    void RectangleEnd(VWindow* w);
    void RectangleEndInside(VWindow* w);
    void SurfacePick(VWindow* w);
    void SurfacePickInside(VWindow* w);
    void AddPolygonPoint(VWindow* w);
    void AddPolygonPointInside(VWindow* w);
    void RemovePolygonPointAction(VWindow* w);
    void ClosePolygon(VWindow* w);
    void ClosePolygonInside(VWindow* w);
    // Helpers.
    void ZoomAtPoint(VWindow* w, float factor);
    void WheelRotate(VWindow* w, int axis);
    void ClampToActive(VWindow* w, int& x, int& y) const;
    void ChooseCursorAt(VWindow* w);
    void RectanglePick(VWindow* w, int reportType);
    void SurfacePickWith(VWindow* w, int reportType);
    void AddPolygonPointWith(VWindow* w, bool inside);
    void ClosePolygonWith(VWindow* w, int reportType);
    // Nearest surface point in a window rectangle; false over the background.
    bool SurfacePointNear(int x0, int y0, int x1, int y1, float point[3]);
    void PickSelect(int x0, int y0, int x1, int y1);
    void PickSelectAround(VWindow* w);  // 5 x 5 pixels around the pointer
    void PickSelectIn(int x0, int y0, int x1, int y1, bool keepFrame);
    bool FrameIsCurrent() const;  // the window shows every viewport as it stands
    void PickColour(const int* rectangle, int count, const int* points);
    void PointPickWithCallback(VWindow* w, PickCallback callback);
    void ReportPick(int type);
    void ViewChangedNotification();
    void InstallPickConverter();
    // ---- end of mouse interpreter and picking

public:
    // ---- image output (vkoViewerOutput.cpp)
    // The description line of the next output into outputMessage.
    void describeOutput();
    // The output keys; each ends with the description line.
    void CycleOutputColourMode();
    void CycleOutputType();
    void RaiseOutputQuality();
    void RaiseOutputScale();
    void ToggleOutputAntialias();
    void ToggleReverseVideo();  // ReverseVideo, then the description
    // One output operation (Redraw performs a requested one through it).
    // toFile false prints; fromScreen takes the window's pixels; width and
    // height of -1 mean the window size.  True when the file was written.
    bool writeOutput(bool toFile, bool fromScreen, int width, int height);
    // Six views about the current one into "cubicpano.bmp" (square windows only).
    bool captureCubeFaces();
    // ---- end of image output

private:
    void Assemble();
    void Teardown();
    void CreateRenderers();
    void DestroyRenderers();
    void ApplyPrintTolerance();
    void ReadStartCameras();
    void FreeSavedCameras();
    void CreateLogo();
    void CreateViewport(const char* name);
    void SetDefaultView(vkoViewport* viewport);
    void StartLodTimer();
    vkoViewport* SlotViewport(int slot) const;
    void PlaceViewport(vkoViewport* viewport, int edges, float left, float bottom, float width, float height);
    void PlaceSlots(float sx, float sy);
    void MarkViewportsShowing(const vkoGraphicObj* object);
    int ApplyToken(int token, int value);
    int ReadTokenText(int length, std::string& text);
    int ReadCameraToken(const char* name);
    bool ViewportPass(const float slotRects[2][4], std::vector<vkoViewport*>* marked);
    void AutofitStep(vkoViewport* viewport);
    bool DepthPick();
    void FrameStart();
    void FrameEnd(bool selecting);
    void UpdateFrameRate(bool measuring);
    void MarkOverlaysDirty(vkoGraphicObj* object);
    bool PerformOutput();
    bool TiledOutput();
    bool ScreenOutput(int width, int height, bool landscape);
    bool OffscreenOutput(int width, int height, int requestWidth, int requestHeight, bool landscape);
    bool RasterOutput(long long width, long long height, int lineWidth);
    bool RasterPostScriptOutput(bool landscape, int lineWidth);
    bool WriteVrmlOutput();
    bool PrintOutput();
    bool DrawOutputFrame(Graphics* output);
    bool GrabWindow(RasterImage& image);
    void MarkForOutput();
    void ConfirmOutput();
    void MakeWindowCurrent();
};
