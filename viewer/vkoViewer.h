#pragma once
// The viewer engine: owns one scene (graphic objects, viewports, cameras,
// renderers, the link) and is driven by the token protocol, the GL window's
// input and files.  A plain class; the krvViewer widget box owns it.
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
class StrokeFont;
struct SavedCamera;
struct PickRecord;
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
    void MakeWindowCurrent();
};
