#include "viewer/vkoViewer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/MessageSink.h"
#include "platform/Sockets.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "render/GraphicsOGL.h"
#include "render/StrokeFont.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/LogoImage.h"
#include "viewer/krvViewer.h"

vkoViewer::vkoViewer(krvViewer* box, bool isStandAlone, bool withoutWindow)
    : widget(box), drawingSuspended(true), standAlone(isStandAlone), noWindow(withoutWindow) {
    Assemble();
}

vkoViewer::~vkoViewer() { Teardown(); }

// Construction order matters: the renderer needs the fonts, new viewports
// take the logo and the eye distance, the layout needs the viewports, the
// frame-rate object goes into the current viewport.
void vkoViewer::Assemble() {
    output = OutputSettings();
    for (int i = 0; i < 4; ++i) viewportOrder[i] = i + 1;

    CreateRenderers();

    if (const char* v = std::getenv("VIEWER_AUTO_SPARSE")) autoSparseFps = static_cast<float>(std::atof(v));
    ApplyPrintTolerance();

    ReadStartCameras();

    for (int& t : frameTimes) t = -1;

    if (std::getenv("KRV_NO_KRVLOGO")) {
        logoState = LOGO_NONE;
    } else {
        CreateLogo();
        logoState = LOGO_KRV;
    }

    for (int i = 1; i <= 4; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "Viewport%d", i);
        CreateViewport(name);
    }
    ApplyLayout(1);
    SetCurrentViewport(ViewportByNumber(1));

    NewGraphic("\tFRAMERATE", nullptr);
    frameRateGraphic = currentGraphic;
    frameRateGraphic->setProperty(0, 0.0f);

    SetStereoMode(0);
    if (const char* v = std::getenv("VIEWER_EYE_POINT")) {
        float distance = 0, separation = 0;
        int mode = 0;
        if (std::sscanf(v, "%g %g %d", &distance, &separation, &mode) >= 2) {
            eyeDistance = distance;
            eyeSeparation = separation / 2.0f;
            SetStereoMode(mode);
        }
    }

    const float black[3] = {0, 0, 0}, white[3] = {1, 1, 1};
    SetBackground(BG_SOLID, black, white);

    if (glWindow && !noWindow) drawingSuspended = false;
}

void vkoViewer::CreateViewport(const char* name) {
    auto* viewport = new vkoViewport(this, name);
    viewports.push_back(viewport);
    numViewports = static_cast<int>(viewports.size());
    viewport->setEyeOffset(0.0f, 0.0f, eyeDistance);
    SetCurrentViewport(viewport);
    SetDefaultView(viewport);
    if (logoGraphic) viewport->addObject(logoGraphic->objectname.c_str());
}

void vkoViewer::Teardown() {
    drawingSuspended = true;
    lodQueue.clear();
    // Objects go in id order, each through the same path as a protocol delete.
    while (vkoGraphicObj* object = FirstGraphic()) {
        currentGraphic = object;
        DeleteCurGraphic();
    }
    FreeSavedCameras();
    currentViewport = nullptr;
    for (vkoViewport* v : viewports) delete v;
    viewports.clear();
    numViewports = 0;
    DestroyRenderers();
    if (linkOwned) {
        platform::CloseHandle(link.readHandle);
        platform::CloseHandle(link.writeHandle);
        link.readHandle = link.writeHandle = -1;
    }
    platform::StopSocketLibrary();
    delete[] tileBuffer;
    tileBuffer = nullptr;
}

// ---------------------------------------------------------------- registry

bool vkoViewer::NewGraphic(const char* name, const std::vector<std::string>* viewportNames) {
    const std::string key = name ? name : "";
    vkoGraphicObj* object = FindGraphic(key.c_str());
    if (!object) {
        object = new vkoGraphicObj(this, name);
        objectIdsByName[key] = object->objectid;
        objectsById[object->objectid] = object;
    }
    currentGraphic = object;
    AddGraphicToViewports(key.c_str(), viewportNames);
    return true;
}

bool vkoViewer::SelectGraphic(const char* name) {
    currentGraphic = FindGraphic(name);
    return currentGraphic != nullptr;
}

vkoGraphicObj* vkoViewer::FindGraphic(const char* name) const {
    if (!name) return nullptr;
    auto it = objectIdsByName.find(name);
    return it == objectIdsByName.end() ? nullptr : FindGraphicById(it->second);
}

vkoGraphicObj* vkoViewer::FindGraphicById(int id) const {
    auto it = objectsById.find(id);
    return it == objectsById.end() ? nullptr : it->second;
}

vkoGraphicObj* vkoViewer::FirstGraphic() const { return objectsById.empty() ? nullptr : objectsById.begin()->second; }

void vkoViewer::DeleteCurGraphic() {
    vkoGraphicObj* object = currentGraphic;
    if (!object) return;
    bool previous = SuspendDrawing(true);
    for (vkoViewport* v : viewports) v->removeObject(object->objectname.c_str());
    SuspendDrawing(previous);
    MarkAllViewports();
    Redraw();
    objectIdsByName.erase(object->objectname);
    objectsById.erase(object->objectid);
    // The reducer queue must not keep an id that no longer names an object.
    lodQueue.erase(std::remove(lodQueue.begin(), lodQueue.end(), object->objectid), lodQueue.end());
    if (frameRateGraphic == object) frameRateGraphic = nullptr;
    if (logoGraphic == object) logoGraphic = nullptr;
    delete object;
    currentGraphic = FirstGraphic();
}

bool vkoViewer::IsGraphicShown(const vkoGraphicObj* object) const {
    if (!object || !object->isVisible()) return false;
    for (const vkoViewport* v : viewports)
        if (v->hasObject(object)) return true;
    return false;
}

namespace {
template <typename Fn>
void forListedViewports(vkoViewer& viewer, const std::vector<std::string>* names, Fn fn) {
    if (!names) {
        if (viewer.currentViewport) fn(viewer.currentViewport);
        return;
    }
    for (const std::string& n : *names)
        for (vkoViewport* v : viewer.viewports)
            if (v->viewportname == n) fn(v);
}
}  // namespace

void vkoViewer::AddGraphicToViewports(const char* name, const std::vector<std::string>* viewportNames) {
    if (!name) return;
    forListedViewports(*this, viewportNames, [name](vkoViewport* v) { v->addObject(name); });
}

void vkoViewer::RemoveGraphicFromViewports(const char* name, const std::vector<std::string>* viewportNames) {
    if (!name) return;
    forListedViewports(*this, viewportNames, [name](vkoViewport* v) { v->removeObject(name); });
}

void vkoViewer::CountDrawnItems(long long& faceCount, long long& segmentCount) const {
    faceCount = 0;
    segmentCount = 0;
    for (const auto& [id, object] : objectsById) {
        long long f = 0, s = 0;
        object->countItems(false, f, s);
        faceCount += f;
        segmentCount += s;
    }
}

// ---------------------------------------------------------------- settings

bool vkoViewer::SuspendDrawing(bool on) {
    bool previous = drawingSuspended;
    drawingSuspended = on;
    return previous;
}

void vkoViewer::SetLogoState(int state) {
    if (!logoGraphic) return;
    logoState = state;
    logoGraphic->setProperty(0, 0.0f);
    if (state != LOGO_NONE) {
        logoState = LOGO_KRV;
        logoGraphic->setProperty(0, 1.0f);
    }
    MarkAllViewports();
    Redraw();
}

void vkoViewer::ToggleFrameRate() { showFrameRate = !showFrameRate; }

void vkoViewer::SetStereoMode(int mode) {
    if (mode == stereoMode) return;
    stereoMode = 0;
    ApplyLayout((mode == 3 || mode == 4) ? 3 : 1);
    stereoMode = mode;
}

void vkoViewer::QueueLod(int objectId) {
    // Right after the first queued id, so the object being looked at next
    // is not pushed behind a long queue.
    if (lodQueue.empty())
        lodQueue.push_back(objectId);
    else
        lodQueue.insert(lodQueue.begin() + 1, objectId);
    StartLodTimer();
}

void vkoViewer::SetCurrentViewport(vkoViewport* viewport) {
    if (!viewport || viewport == currentViewport) return;
    currentViewport = viewport;
    if (viewportChangedCallback) viewportChangedCallback(viewport);
    if (standAlone) currentGraphic = viewport->objects.empty() ? nullptr : viewport->objects.back();
}

void vkoViewer::MarkAllViewports(bool includeTexts) {
    for (vkoViewport* v : viewports) v->needsRedraw = 1;
    if (includeTexts)
        for (auto& [id, object] : objectsById) object->textViewportDirty = vkoGraphicObj::kAllViewportTexts;
}

void vkoViewer::SetBackground(int type, const float colour[3], const float colour2[3]) {
    for (int i = 0; i < 3; ++i) {
        backGroundColor[i] = colour[i];
        backGroundColor2[i] = colour2[i];
    }
    if (type >= BG_SOLID && type <= BG_DIAGONAL) backGroundType = type;
    if (renderer) renderer->setBackground(type, colour, colour2);
    RefreshAll(true, false);
}

void vkoViewer::ReverseVideo() {
    output.reverseColours = !output.reverseColours;
    float c1[3], c2[3];
    for (int i = 0; i < 3; ++i) {
        c1[i] = 1.0f - backGroundColor[i];
        c2[i] = 1.0f - backGroundColor2[i];
    }
    SetBackground(backGroundType, c1, c2);
}

void vkoViewer::WindowResized(int width, int height) {
    if (width <= 0 || height <= 0) return;
    bool previous = SuspendDrawing(true);
    windowWidth = width;
    windowHeight = height;
    ApplyLayout(viewportLayout);
    SuspendDrawing(previous);
    if (renderer) {
        renderer->windowWidth = width;
        renderer->windowHeight = height;
    }
    MarkAllViewports(true);
    Redraw();
}

void vkoViewer::ServiceLodQueue() {
    // One worker at a time.  With a window the timer polls the running one;
    // without one nothing else would come back, so the service waits.
    for (;;) {
        if (lodObject != -1) {
            vkoGraphicObj* object = FindGraphicById(lodObject);
            if (object && object->data && object->data->isReducing()) {
                if (glWindow) {
                    glWindow->startLodTimer();
                    return;
                }
                object->data->waitForReduction();
            }
            lodObject = -1;
            if (object && object->reductionFinished()) ShowReducedMesh(object);
        }
        while (!lodQueue.empty() && lodObject == -1) {
            const int id = lodQueue.front();
            lodQueue.erase(lodQueue.begin());
            vkoGraphicObj* object = FindGraphicById(id);
            if (object && object->data && object->data->startReduction(lodError)) lodObject = id;
        }
        if (lodObject == -1) return;
        if (glWindow) {
            glWindow->startLodTimer();
            return;
        }
    }
}

void vkoViewer::ShowReducedMesh(vkoGraphicObj* object) {
    // Redraw where the reduced faces are on screen now: objects that always
    // draw them and viewports in sparse frames.
    bool any = false;
    for (vkoViewport* v : viewports)
        if (v->hasObject(object) && (object->lodAlways || v->sparse)) {
            v->needsRedraw = 1;
            any = true;
        }
    if (any) Redraw();
}

void vkoViewer::StartLodTimer() {
    if (glWindow)
        glWindow->startLodTimer();
    else
        ServiceLodQueue();
}

void vkoViewer::CreateRenderers() {
    static const char* const kFontNames[2] = {"serif", "sanserif"};
    for (int i = 0; i < 2; ++i) {
        fonts[i] = new StrokeFont();
        fonts[i]->load(kFontNames[i]);
    }
    fontCount = 2;
    baseRenderer = new Graphics(this, nullptr);
    baseRenderer->fontCount = fontCount;
    baseRenderer->fonts = fonts;
    renderer = baseRenderer;
    if (noWindow || !widget) return;

    glWindow = new GLWindow(this, widget, standAlone);
    widget->boxLayout()->addWidget(glWindow);
    auto* ogl = new GraphicsOGL(this, glWindow);
    ogl->copyStateFrom(*baseRenderer);
    ogl->fontCount = fontCount;
    ogl->fonts = fonts;
    GLWindow* window = glWindow;
    ogl->swapBuffers = [window] { window->frameFinished(); };
    glWindow->setRenderer(ogl);
    renderer = ogl;
}

void vkoViewer::DestroyRenderers() {
    // The renderer's lists live in the window's context.
    if (glWindow) glWindow->makeDrawingCurrent();
    if (renderer != baseRenderer) delete renderer;
    renderer = nullptr;
    delete baseRenderer;
    baseRenderer = nullptr;
    if (glWindow) {
        glWindow->doneCurrent();
        glWindow->setRenderer(nullptr);
    }
    for (StrokeFont*& f : fonts) {
        delete f;
        f = nullptr;
    }
    fontCount = 0;
}

void vkoViewer::ApplyPrintTolerance() {
    if (const char* v = std::getenv("DRAV_PRINT_TOLERANCE")) SetPrintTolerance(static_cast<float>(std::atof(v)));
    if (renderer) renderer->standAlone = standAlone;
}

void vkoViewer::SetPrintTolerance(float value) {
    if (value < 0.0f || !renderer) return;
    renderer->printTolerance = (value / 0.0001f) * 0.002f;
}

void vkoViewer::ReadStartCameras() { ReadCameraFile("SavedCameras"); }

void vkoViewer::FreeSavedCameras() { SavedCamera::FreeAll(this); }

void vkoViewer::CreateLogo() {
    NewGraphic("\tWATERMARK", nullptr);
    logoGraphic = currentGraphic;
    // Bottom right corner of each viewport, a little inside the edges.
    const float position[3] = {0.99f, 0.01f, 0.0f};
    const int alignBottomRight = 2 << 2;
    logoGraphic->loadImage(kLogoPng, kLogoPngSize, position, 1.0f, alignBottomRight);
}

void vkoViewer::SetDefaultView(vkoViewport* viewport) {
    // Looking down the body diagonal: x to the lower left, y to the right, z up.
    viewport->view->ModifyValues(Transform::ChangeRotate, 135.0f, -35.26439f, -30.0f, 0.0f);
    viewport->needsRedraw = 1;
    Redraw();
}
