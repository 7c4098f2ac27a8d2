// Frame drawing: Redraw with its pick passes, double buffering, stereo,
// autofit, the frame-rate meter and automatic sparse drawing; the refresh
// operations, projected area and object dragging.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "render/GraphicsOGL.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {
// Monotonic milliseconds; the window's clock for the frame meter.
int clockMs() {
    using namespace std::chrono;
    return static_cast<int>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

int vkoViewer::WindowClockMs() const { return clockMs(); }

bool vkoViewer::Redraw(bool output) {
    MakeWindowCurrent();
    if (viewports.empty()) return true;
    if (autoPrintPending || output) {
        bool result = PerformOutput();
        FrameEnd(false);
        return result;
    }
    if (drawingSuspended) return true;
    Graphics* r = renderer;
    if (!r) return true;
    const bool selecting = r->selectionMode;
    if (auto* ogl = dynamic_cast<GraphicsOGL*>(r)) ogl->pickMethod = pickMode;

    if (currentViewport && (pickMode == 1 || pickMode == 2 || pickMode == 4)) {
        if (!r->isUsable(1)) {
            FrameEnd(selecting);
            return false;
        }
        currentViewport->colourPickPass = 1;
        currentViewport->needsRedraw = 1;
        currentViewport->draw(r, false);
        currentViewport->colourPickPass = 0;
        r->colourPickMode = false;
        pickPointValid = false;
        r->finishFrame();
        FrameEnd(selecting);
        return true;
    }
    if (currentViewport && (pickMode == 0 || pickMode == 3)) {
        currentViewport->selectionPass = 1;
        currentViewport->needsRedraw = 1;
        currentViewport->draw(r, false);
        currentViewport->selectionPass = 0;
        r->selectionMode = false;
        pickPointValid = false;
        if (pickMode == 0) {
            for (const PickRecord& hit : r->hits()) {
                if (hit.element == -1 || !FindGraphicById(hit.objectId)) continue;
                if (DepthPick()) break;
            }
        } else {
            DepthPick();
        }
        FrameEnd(selecting);
        return true;
    }

    // Normal frame.
    float slotRects[2][4] = {};
    for (int s = 0; s < 2; ++s)
        if (vkoViewport* v = FindViewportByNumber(viewportOrder[s]))
            v->getRectangle(slotRects[s][0], slotRects[s][1], slotRects[s][2], slotRects[s][3]);
    FrameStart();

    if (r->doubleBuffered) {
        if (!r->isUsable(1)) {
            FrameEnd(selecting);
            UpdateFrameRate(false);
            return false;
        }
        std::vector<vkoViewport*> wasMarked;
        bool drew = ViewportPass(slotRects, &wasMarked);
        if (!drew) {
            FrameEnd(selecting);
            UpdateFrameRate(false);
            return true;
        }
        r->finishFrame();
        if (interacting || viewportLayout == 1) {
            FrameEnd(selecting);
            UpdateFrameRate(true);
            return true;
        }
        // Bring the other buffer up to date: every viewport drawn into this
        // one is drawn again.
        for (vkoViewport* v : wasMarked) v->needsRedraw = 1;
        UpdateFrameRate(false);
    }

    FrameStart();
    bool drawn = false;
    if (r->isUsable(1)) {
        if (ViewportPass(slotRects, nullptr)) r->finishFrame();
        drawn = true;
    }
    FrameEnd(selecting);
    if (drawn) UpdateFrameRate(true);
    return drawn;
}

bool vkoViewer::ViewportPass(const float slotRects[2][4], std::vector<vkoViewport*>* marked) {
    Graphics* r = renderer;
    if (stereoMode == 0) {
        bool any = false;
        for (vkoViewport* v : viewports) {
            AutofitStep(v);
            if (marked && v->needsRedraw) marked->push_back(v);
            any = v->draw(r, false) || any;
        }
        return any;
    }
    vkoViewport* v = FindViewportByNumber(viewportOrder[0]);
    if (!v) return false;
    if (marked && v->needsRedraw) marked->push_back(v);
    bool any = false;
    const float sign = (stereoMode == 1 || stereoMode == 3) ? -1.0f : 1.0f;
    v->setEyeOffset(sign * eyeSeparation, 0.0f, eyeDistance);
    any = v->draw(r, false);
    if (stereoMode == 3 || stereoMode == 4) {
        float own[4];
        v->getRectangle(own[0], own[1], own[2], own[3]);
        v->setRectangle(slotRects[1][0], slotRects[1][1], slotRects[1][2], slotRects[1][3]);
        v->setEyeOffset(-sign * eyeSeparation, 0.0f, eyeDistance);
        any = v->draw(r, false) || any;
        v->setRectangle(own[0], own[1], own[2], own[3]);
        v->needsRedraw = 0;
    }
    v->eyeOffset[0] = 0.0f;
    v->eyeOffset[1] = 0.0f;
    v->eyeOffset[2] = eyeDistance;
    return any;
}

void vkoViewer::AutofitStep(vkoViewport* v) {
    if (!(v->autofit || (!v->isCentered && v->objectCount(true) > 0))) return;
    bool previous = SuspendDrawing(true);
    v->isCentered = CenterView(v) ? 1 : 0;
    SuspendDrawing(previous);
}

bool vkoViewer::DepthPick() {
    vkoViewport* v = currentViewport;
    Graphics* r = renderer;
    const unsigned char axis = v->isAxisVisibleFlag;
    v->isAxisVisibleFlag = 0;
    r->depthOnly = true;
    v->needsRedraw = 1;
    v->draw(r, false);
    v->setup(r);
    float point[3];
    if (r->pickDepthPoint(point)) {
        for (int i = 0; i < 3; ++i) dragPoint[i] = point[i];
        pickPointValid = true;
    }
    r->depthOnly = false;
    v->isAxisVisibleFlag = axis;
    return pickPointValid;
}

void vkoViewer::FrameStart() {
    if (glWindow) frameStart = WindowClockMs();
    if (interacting && viewMoving && outlineMode == OUTLINE_AUTO && currentViewport && frameRate < autoSparseFps) {
        if (!currentViewport->sparse) {
            currentViewport->sparse = 1;
            currentViewport->needsRedraw = 1;
        }
    }
}

void vkoViewer::FrameEnd(bool selecting) {
    if (viewChangedPending) {
        if (viewChangedCallback) viewChangedCallback(this);
        viewChangedPending = false;
    }
    if (!selecting && link.writeHandle >= 0 && respondAfterUpdate) {
        link.WriteCommand(LinkStream::Cmd::UPDATE_DONE);
        respondAfterUpdate = false;
    }
}

void vkoViewer::UpdateFrameRate(bool measuring) {
    if (!glWindow) return;
    const int elapsed = WindowClockMs() - frameStart;
    if (!frameMeterArmed) {
        frameMeterArmed = true;
        return;
    }
    if (!measuring) return;
    RecordFrameTime(elapsed);
}

void vkoViewer::RecordFrameTime(int elapsed) {
    long long sum = 0;
    int count = 0;
    const bool sample = elapsed > 0 || frameTimes[5] > 0;
    if (sample) {
        for (int i = 0; i < 5; ++i) frameTimes[i] = frameTimes[i + 1];
        frameTimes[5] = elapsed;
    }
    for (int t : frameTimes)
        if (t >= 0) {
            sum += t;
            ++count;
        }
    float rate = sum >= 1 ? 1000.0f * count / static_cast<float>(sum) : 999.9f;
    if (rate >= 1000.0f) rate = 999.9f;
    frameRate = rate;
    if (!frameRateGraphic) return;
    if (showFrameRate && sum >= 1) {
        char text[32];
        std::snprintf(text, sizeof(text), "%6.1f", frameRate);
        const float position[3] = {0.02f, 0.98f, 0.1f};
        frameRateGraphic->makeText(position, text);
        frameRateGraphic->setProperty(0, 1.0f);
    } else if (!showFrameRate) {
        frameRateGraphic->setProperty(0, 0.0f);
    }
}

// ------------------------------------------------------------ refreshes

void vkoViewer::RefreshAll(bool redraw, bool overlays) {
    MarkAllViewports(false);
    if (overlays)
        for (auto& [id, object] : objectsById) MarkOverlaysDirty(object);
    if (redraw) Redraw();
}

void vkoViewer::RefreshGraphic(vkoGraphicObj* object, bool redraw, bool overlays) {
    if (!object) return;
    MarkViewportsShowing(object);
    if (overlays) MarkOverlaysDirty(object);
    if (redraw) Redraw();
}

void vkoViewer::RefreshViewport(bool redraw, bool overlays, vkoViewport* viewport) {
    vkoViewport* v = viewport ? viewport : currentViewport;
    if (!v) return;
    v->needsRedraw = 1;
    if (overlays)
        for (vkoGraphicObj* o : v->objects) MarkOverlaysDirty(o);
    if (redraw) Redraw();
}

void vkoViewer::RefreshTexts(bool redraw) {
    frameMeterArmed = false;
    for (auto& [id, object] : objectsById) object->textViewportDirty = vkoGraphicObj::kAllViewportTexts;
    MarkAllViewports(false);
    if (redraw) Redraw();
}

void vkoViewer::MarkOverlaysDirty(vkoGraphicObj* object) {
    for (bool& d : object->overlayDirty) d = true;
    object->textViewportDirty = vkoGraphicObj::kAllViewportTexts;
}

bool vkoViewer::CenterView(vkoViewport* viewport) {
    vkoViewport* v = viewport ? viewport : currentViewport;
    if (!v) return false;
    viewChangedPending = true;
    bool fitted = v->fitView(renderer);
    PropagateView(v);
    Redraw();
    return fitted;
}

void vkoViewer::ResetView() {
    vkoViewport* v = currentViewport;
    if (!v) return;
    viewChangedPending = true;
    if (v->isRotationEnabled)
        v->resetView();
    else
        v->fitView(renderer);
    PropagateView(v);
    Redraw();
}

void vkoViewer::SetViewMoving(bool on) {
    viewMoving = on;
    if (!currentViewport || (on && outlineMode == OUTLINE_AUTO)) return;
    const unsigned char sparse = (on && outlineMode != OUTLINE_NEVER) ? 1 : 0;
    if (currentViewport->sparse != sparse) {
        currentViewport->sparse = sparse;
        currentViewport->needsRedraw = 1;
    }
}

void vkoViewer::ResetRenderer(bool redraw) {
    // Every list is built again from the objects on the next frame.
    for (auto& [id, object] : objectsById) object->markAllDirty();
    pickPointValid = false;
    RefreshAll(redraw, false);
}

void vkoViewer::SetDragConstraint(bool on, const float direction[3]) {
    dragConstrained = on;
    if (!on || !direction) return;
    double l = std::sqrt(double(direction[0]) * direction[0] + double(direction[1]) * direction[1] +
                         double(direction[2]) * direction[2]);
    for (int i = 0; i < 3; ++i) dragDirection[i] = l > 0 ? static_cast<float>(direction[i] / l) : 0.0f;
}

float vkoViewer::ComputeProjectedArea() {
    projectedArea = 0.0f;
    vkoViewport* v = currentViewport;
    if (!v || !v->isOrthographic || !renderer) return 0.0f;
    bool previous = SuspendDrawing(true);
    const int caption = captionHeight;
    const bool maximized = viewportMaximized;
    captionHeight = 0;
    if (!maximized)
        SetMaximized(true);
    else
        PlaceViewport(v, 0, 0, 0, 1, 1);
    v->needsRedraw = 1;
    SuspendDrawing(previous);
    if (renderer->isUsable(0)) {
        v->draw(renderer, true);
        renderer->finishFrame();
        projectedArea = renderer->coverage(v->view->scale);
    }
    previous = SuspendDrawing(true);
    captionHeight = caption;
    if (!maximized)
        SetMaximized(false);
    else
        PlaceViewport(v, 0, 0, 0, 1, 1);
    v->needsRedraw = 1;
    SuspendDrawing(previous);
    Redraw();
    return projectedArea;
}

bool vkoViewer::DragPickedObject(int x, int y, float movement[3], bool start, bool fine) {
    Graphics* r = renderer;
    if (!draggingEnabled || !r || r->hits().empty() || drawingSuspended || !currentViewport) return false;
    currentViewport->setup(r);
    if (start) {
        double p[3] = {dragPoint[0], dragPoint[1], dragPoint[2]}, w[3];
        r->project(p, w);
        dragStart[0] = w[0];
        dragStart[1] = w[1];
        dragOffset[2] = w[2];
        dragWindowPoint[0] = x;
        dragWindowPoint[1] = y;
        draggedObjectId = r->hits().front().objectId;
        dragOffset[0] = x - w[0];
        dragOffset[1] = y - w[1];
        return false;
    }
    if (r->hits().front().objectId != draggedObjectId) return false;
    vkoGraphicObj* object = FindGraphicById(draggedObjectId);
    if (!object) return true;
    double window[3];
    if (fine) {
        window[0] = dragStart[0];
        window[1] = dragStart[1];
        window[2] = dragOffset[2] + (y - dragWindowPoint[1]) / 10000.0;
    } else {
        window[0] = x - dragOffset[0];
        window[1] = y - dragOffset[1];
        window[2] = dragOffset[2];
    }
    double world[3];
    if (!r->unproject(window, world)) return false;
    float move[3];
    for (int i = 0; i < 3; ++i) move[i] = static_cast<float>(world[i] - dragPoint[i]);
    if (dragConstrained) {
        float d = move[0] * dragDirection[0] + move[1] * dragDirection[1] + move[2] * dragDirection[2];
        for (int i = 0; i < 3; ++i) move[i] = d * dragDirection[i];
    }
    for (int i = 0; i < 3; ++i) {
        dragPoint[i] += move[i];
        if (movement) movement[i] = move[i];
    }
    if (dragMovesObject) {
        float t[3] = {object->offsetTrans[0] + move[0], object->offsetTrans[1] + move[1],
                      object->offsetTrans[2] + move[2]};
        object->setPlacementTranslation(t);
        if (objectMovedCallback) objectMovedCallback(object->objectname.c_str(), 3);
    }
    currentViewport->needsRedraw = 1;
    Redraw();
    return true;
}

void vkoViewer::MakeWindowCurrent() {
    if (glWindow) glWindow->makeDrawingCurrent();
}
