// Keyboard commands: the key table, its handlers and the help text built
// from their descriptions.  The window delivers keys already turned into
// the viewer's codes (GLWindow::decodeKey).
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "render/VWindow.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

using V = vkoViewer;
using W = VWindow;

constexpr int kShift = VWindow::kShift, kCtrl = VWindow::kControl;

constexpr int ctrl(char letter) { return letter - 'A' + 1; }

// Object properties the keys toggle or set (see vkoGraphicObj).
enum Property {
    kFaces = 1,
    kLines = 2,
    kVertices = 3,
    kLighting = 4,
    kSpecular = 5,
    kSmoothLines = 7,
    kSmoothFaces = 8,
    kOverlay = 9,
    kTransparent = 11,
    kMirrorPlaneVisible = 16,
    kPolygonMode = 20,
    kDrawTexture = 21,
    kLodAlways = 24,
};

void push(V& v) { v.TransformView(5, 0, 0, 0, 0, false); }

void rotateBy(V& v, float a, float b, float c) {
    push(v);
    v.TransformView(0, a, b, c, 0, true);
}

// Looks down an axis: the reset view turned by (a, b, c), then centred.
void viewDown(V& v, bool turn, float a, float b, float c) {
    push(v);
    const bool previous = v.SuspendDrawing(true);
    v.ResetView();
    if (turn) v.TransformView(0, a, b, c, 0, false);
    v.SuspendDrawing(previous);
    v.CenterView();
}

// An output settings key: the change, then the description line.
void changeOutput(V& v, void (*change)(OutputSettings&)) {
    change(v.output);
    v.DescribeOutput();
}

// Modifier combinations of the arrow keys.
bool shiftAlone(const W& w) { return (w.modifiers & (kShift | kCtrl)) == kShift; }
bool ctrlAlone(const W& w) { return (w.modifiers & (kShift | kCtrl)) == kCtrl; }
bool shiftCtrl(const W& w) { return (w.modifiers & (kShift | kCtrl)) == (kShift | kCtrl); }

const V::KeyEntry kKeyTable[] = {
    {ctrl('A'), nullptr, [](V& v, W& w) { v.SetViewportAutofit(!v.ViewportAutofit()); }},
    {ctrl('D'), nullptr, [](V& v, W& w) { v.WriteScene("viewer.kvf"); }},
    {ctrl('E'), nullptr, [](V& v, W& w) { v.TimingRun(&w); }},
    {ctrl('F'), nullptr, [](V& v, W& w) { v.ToggleFrameRate(); }},
    {ctrl('G'), nullptr, [](V& v, W& w) {
         w.polygonModeCounter = (w.polygonModeCounter + 1) % 3;
         v.SetViewportGraphicsProperty(kPolygonMode, float(w.polygonModeCounter));
     }},
    {ctrl('I'), nullptr, [](V& v, W& w) { v.ToggleCubeCapture(); }},
    {ctrl('K'), nullptr, [](V& v, W& w) {
         if (w.modifiers & kShift)
             v.StopRecording(&w);
         else
             v.StartRecording(&w);
     }},
    {ctrl('L'), nullptr, [](V& v, W& w) {
         w.lodToggle = !w.lodToggle;
         v.SetViewportGraphicsProperty(kLodAlways, w.lodToggle ? 1.0f : 0.0f);
     }},
    {ctrl('N'), nullptr, [](V& v, W& w) {
         w.normalsCounter = (w.normalsCounter + 1) % 3;
         if (v.renderer) v.renderer->normalsMode = w.normalsCounter;
         v.RefreshTexts(false);
         v.RefreshAll(true);
     }},
    {ctrl('P'), nullptr, [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kMirrorPlaneVisible); }},
    {ctrl('S'), nullptr, [](V& v, W& w) { v.SetViewSync(!v.viewSync); }},
    {ctrl('T'), nullptr, [](V& v, W& w) { v.ClearViewportLasso(); }},
    // Listed only where it ends the program.
    {27, "exit viewer", [](V& v, W& w) {
         if (v.standAlone)
             w.running = false;
         else
             v.LeavePolygonSelection();
     }},
    {'?', nullptr, [](V& v, W& w) { v.BuildHelpText(); }},
    {'a', "toggle axis visibility", [](V& v, W& w) { v.ToggleViewportAxis(); }},
    {'A', "toggle print antialias", [](V& v, W& w) { changeOutput(v, [](OutputSettings& o) { o.outputAntialias = !o.outputAntialias; }); }},
    {'b', "toggle viewport border visibility", [](V& v, W& w) { v.ToggleViewportBorder(); }},
    {'B', "toggle double buffering", [](V& v, W& w) {
         if (v.renderer) v.renderer->doubleBuffered = !v.renderer->doubleBuffered;
         v.RefreshAll(true);
     }},
    {'c', "center graphic object in window", [](V& v, W& w) { push(v); v.CenterView(); }},
    {'f', "toggle face visibility", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kFaces); }},
    {'F', "toggle face transparency", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kTransparent); }},
    {'g', "toggle ruler visibility", [](V& v, W& w) { v.ToggleViewportRuler(); }},
    {'i', "toggle line visibility", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kLines); }},
    {'k', "set colour mode of image output file", [](V& v, W& w) { changeOutput(v, [](OutputSettings& o) { o.outputColourMode = (o.outputColourMode + 1) % 3; }); }},
    {'l', "toggle lighting", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kLighting); }},
    {'L', "toggle specular visibility", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kSpecular); }},
    {'m', "toggle smooth shading", [](V& v, W& w) {
         v.ToggleViewportGraphicsProperty(kSmoothFaces);
         v.ToggleViewportGraphicsProperty(kSmoothLines);
     }},
    {'M', "toggle texture maps", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kDrawTexture); }},
    {'n', "toggle projection between orthographic and perspective", [](V& v, W& w) { v.ToggleViewportProjection(); }},
    {'o', "toggle overlay visibility", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kOverlay); }},
    {'p', "generate image output file", [](V& v, W& w) { v.Redraw(true); }},
    {'Q', "set lossy raster image quality factor", [](V& v, W& w) { changeOutput(v, [](OutputSettings& o) {
             if (o.outputType == OUTPUT_JPG && !o.setQuality(o.outputQuality + 5)) o.setQuality(50);
         }); }},
    {'r', "reset view", [](V& v, W& w) {
         push(v);
         const bool previous = v.SuspendDrawing(true);
         v.ResetView();
         v.TransformView(0, 135, -35.26439f, -30, 0, false);
         v.SuspendDrawing(previous);
         v.CenterView();
     }},
    {'R', "reverse video", [](V& v, W& w) { v.ReverseVideo(); }},
    {'s', "set normal/sparse/auto-sparse drawing mode", [](V& v, W& w) { v.outlineMode = (v.outlineMode + 1) % 3; }},
    {'S', "set raster image output file scale factor", [](V& v, W& w) { changeOutput(v, [](OutputSettings& o) {
             if (o.outputType == OUTPUT_PS || o.outputType == OUTPUT_EPS) return;
             o.setScalePercent(o.outputScalePercent * 2 > 800 ? 100 : o.outputScalePercent * 2);
         }); }},
    {'t', "set type of image output file", [](V& v, W& w) { changeOutput(v, [](OutputSettings& o) { o.setOutputType((o.outputType + 1) % OutputSettings::kNumTypes); }); }},
    {'u', "undo transformation", [](V& v, W& w) { v.TransformView(6, 0, 0, 0, 0, true); }},
    {'U', "redo transformation", [](V& v, W& w) { v.TransformView(7, 0, 0, 0, 0, true); }},
    {'V', "toggle vertex visibility", [](V& v, W& w) { v.ToggleViewportGraphicsProperty(kVertices); }},
    {'w', "cycle through viewport layouts", [](V& v, W& w) { v.ApplyLayout(v.viewportLayout + 1); }},
    {'W', "toggle current viewport fullscreen", [](V& v, W& w) { v.ToggleMaximized(); }},
    {'x', "set view down +x axis", [](V& v, W& w) { viewDown(v, true, 0, 90, 0); }},
    {'X', "set view down -x axis", [](V& v, W& w) { viewDown(v, true, 0, -90, 0); }},
    {'y', "set view down +y axis", [](V& v, W& w) { viewDown(v, false, 0, 0, 0); }},
    {'Y', "set view down -y axis", [](V& v, W& w) { viewDown(v, true, 0, 180, 0); }},
    {'z', "set view down +z axis", [](V& v, W& w) { viewDown(v, true, -90, 0, 0); }},
    {'Z', "set view down -z axis", [](V& v, W& w) { viewDown(v, true, 90, 0, 0); }},
    {W::kKeyHome, nullptr, [](V& v, W& w) {
         if (w.modifiers & kShift)
             v.ResetLight(false);
         else if (w.modifiers & kCtrl)
             v.ResetLight(true);
     }},
    {W::kKeyLeft, nullptr, [](V& v, W& w) {
         if (shiftAlone(w))
             v.AdjustLight(5, 0);
         else
             rotateBy(v, 0, shiftCtrl(w) ? -1.0f : -15.0f, 0);
     }},
    {W::kKeyRight, nullptr, [](V& v, W& w) {
         if (shiftAlone(w))
             v.AdjustLight(-5, 0);
         else
             rotateBy(v, 0, shiftCtrl(w) ? 1.0f : 15.0f, 0);
     }},
    {W::kKeyUp, nullptr, [](V& v, W& w) {
         if (shiftAlone(w))
             v.AdjustLight(0, 5);
         else if (shiftCtrl(w))
             rotateBy(v, -1, 0, 0);
         else if (ctrlAlone(w))
             rotateBy(v, 0, 0, -15);
         else
             rotateBy(v, -15, 0, 0);
     }},
    {W::kKeyDown, nullptr, [](V& v, W& w) {
         if (shiftAlone(w))
             v.AdjustLight(0, -5);
         else if (shiftCtrl(w))
             rotateBy(v, 1, 0, 0);
         else if (ctrlAlone(w))
             rotateBy(v, 0, 0, 15);
         else
             rotateBy(v, 15, 0, 0);
     }},
    {W::kKeyPageUp, nullptr, [](V& v, W& w) { push(v); v.TransformView(3, 0, 0, 0, 0.9f, true); }},
    {W::kKeyPageDown, nullptr, [](V& v, W& w) { push(v); v.TransformView(3, 0, 0, 0, 1.1f, true); }},
    {127, nullptr, [](V& v, W& w) { v.RemovePolygonPoint(); }},
    {-1, nullptr, nullptr},
};


}  // namespace

const vkoViewer::KeyEntry* vkoViewer::KeyTable() { return kKeyTable; }

const char* vkoViewer::Describe(const KeyEntry& entry) const {
    if (entry.code == 27 && !standAlone) return nullptr;
    return entry.description;
}

void vkoViewer::HandleKey(VWindow* w, int key, int modifiers) {
    if (!w) return;
    RecordEvent(w, 6);
    if (w->heldButton != -1 || !w->activeViewport) return;
    if (polygonSelecting && key != 27 && key != 127) return;
    outputMessage[0] = '\0';
    w->key = key;
    w->modifiers = modifiers;
    for (const KeyEntry* e = kKeyTable; e->code != -1; ++e) {
        if (e->code != key) continue;
        if (e->action) {
            e->action(*this, *w);
            ViewChangedNotification();
        }
        break;
    }
}

bool vkoViewer::KeyPressed(VWindow* w) {
    if (!w) return true;
    HandleKey(w, w->key, w->modifiers);
    if (!w->running) {
        ExitProcess(0);
        return false;
    }
    if (outputMessage[0] == '\0') return true;
    // The text is shown as a format would show it: the output description
    // writes its percent sign as "%%".
    std::string text;
    for (const char* p = outputMessage; *p; ++p) {
        text += *p;
        if (p[0] == '%' && p[1] == '%') ++p;
    }
    platform::ShowMessage(platform::MessageIcon::Warning, text);
    return true;
}

void vkoViewer::BuildHelpText() {
    std::string text = "\n   Hot Key Functions (in effect only when mouse pointer is in viewer window)\n";
    for (const KeyEntry* e = kKeyTable; e->code != -1; ++e) {
        const char* description = Describe(*e);
        if (!description) continue;
        char label[32];
        if (e->code == 27)
            std::snprintf(label, sizeof label, "\n    esc - ");
        else if (e->code >= 32)
            std::snprintf(label, sizeof label, "\n     %c - ", e->code);
        else
            std::snprintf(label, sizeof label, "\nctrl-%c - ", e->code + 64);
        text += label;
        text += description;
    }
    text += "\n";
    std::snprintf(outputMessage, sizeof outputMessage, "%s", text.c_str());
}

void vkoViewer::DescribeOutput() {
    const int type = output.outputType;
    const char* word = type >= 0 && type < OutputSettings::kNumTypes ? OutputSettings::kTypeWords[type] : "UNKNOWN";
    std::snprintf(outputMessage, sizeof outputMessage, "\nOutput file: name is %s, type is %s\n",
                  output.outputFileName.c_str(), word);
}

void vkoViewer::ToggleCubeCapture() { capturingCube = !capturingCube; }
