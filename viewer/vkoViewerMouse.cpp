// The pointer interpreter's binding tables, their rebinding by the host, the
// view actions (rotate, zoom, pan, zoom box, pivot, light, wheel) and the
// cursor chosen by the pointer position.
#include <algorithm>
#include <cmath>

#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "render/VWindow.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {
constexpr int kLeft = VWindow::kLeft, kRight = VWindow::kRight, kMiddle = VWindow::kMiddle;
constexpr int kShift = VWindow::kShift, kCtrl = VWindow::kControl;

// Zoom factor of a signed amount: t + 1 growing, 1 / (1 - t) shrinking, so
// equal and opposite amounts cancel.
float zoomFactor(float t) { return t >= 0.0f ? t + 1.0f : 1.0f / (1.0f - t); }

struct FunctionCode {
    int code;
    int cursor;
    vkoViewer::MouseAction press, drag, release;
};
}  // namespace

std::vector<vkoViewer::MouseBinding> vkoViewer::BuiltinMouseTable() {
    using V = vkoViewer;
    auto entry = [](int button, int modifiers, int cursor, MouseAction press, MouseAction drag, MouseAction release,
                    MouseAction doubleClick, MouseAction click) {
        MouseBinding b;
        b.button = button;
        b.modifiers = modifiers;
        b.cursor = cursor;
        b.press = press;
        b.drag = drag;
        b.release = release;
        b.doubleClick = doubleClick;
        b.click = click;
        return b;
    };
    return {
        entry(kLeft, 0, 7, &V::BeginMove, &V::RotateDrag, &V::EndMove, nullptr, &V::SetPivotAtPointer),
        entry(kMiddle, 0, 8, &V::BeginMove, &V::ZoomDrag, &V::EndMove, nullptr, nullptr),
        entry(kRight, 0, 5, &V::BeginMove, &V::PanDrag, &V::EndMove, nullptr, nullptr),
        entry(kLeft, kShift, 2, &V::ZoomBoxBegin, &V::ZoomBoxUpdate, &V::ZoomBoxEnd, nullptr, nullptr),
        entry(kMiddle, kShift, 13, nullptr, nullptr, &V::ZoomInAtPoint, nullptr, nullptr),
        entry(kRight, kShift, 13, nullptr, nullptr, &V::ZoomOutAtPoint, nullptr, nullptr),
        entry(kLeft, kCtrl, 10, &V::BeginMove, &V::RotateZDrag, &V::EndMove, nullptr, nullptr),
        entry(kMiddle, kCtrl, 4, nullptr, &V::MoveLightDrag, nullptr, nullptr, nullptr),
        entry(kRight, kCtrl, 13, nullptr, nullptr, &V::SetPivotAtPointer, nullptr, nullptr),
        entry(kLeft, kShift | kCtrl, 1, &V::DragBegin, &V::DragObject, &V::DragEnd, nullptr, nullptr),
        entry(kMiddle, kShift | kCtrl, 13, nullptr, nullptr, nullptr, nullptr, nullptr),
        entry(kRight, kShift | kCtrl, 13, nullptr, nullptr, nullptr, &V::PickPointAction, nullptr),
    };
}

std::vector<vkoViewer::WheelBinding> vkoViewer::BuiltinWheelTable() {
    return {{0, &vkoViewer::WheelZoom},
            {kShift, &vkoViewer::WheelRotateX},
            {kShift | kCtrl, &vkoViewer::WheelRotateY},
            {kCtrl, &vkoViewer::WheelRotateZ}};
}

std::vector<vkoViewer::MouseBinding> vkoViewer::PolygonMouseTable(bool inside) {
    MouseBinding add, remove;
    add.button = kLeft;
    remove.button = kRight;
    add.modifiers = remove.modifiers = inside ? kCtrl : 0;
    add.release = inside ? &vkoViewer::AddPolygonPointInside : &vkoViewer::AddPolygonPoint;
    add.doubleClick = inside ? &vkoViewer::ClosePolygonInside : &vkoViewer::ClosePolygon;
    remove.release = &vkoViewer::RemovePolygonPointAction;
    return {add, remove};
}

vkoViewer::MouseBinding* vkoViewer::FindMouseBinding(int button, int modifiers) {
    for (MouseBinding& b : mouseTable)
        if (b.button == button && b.modifiers == modifiers) return &b;
    return nullptr;
}

bool vkoViewer::SetMouseFunction(int button, int modifiers, int code) {
    using V = vkoViewer;
    static const FunctionCode kCodes[] = {
        {0, 7, &V::BeginMove, &V::RotateDrag, &V::EndMove},
        {1, 8, &V::BeginMove, &V::ZoomDrag, &V::EndMove},
        {2, 8, &V::BeginMove, &V::FastZoomDrag, &V::EndMove},
        {3, 5, &V::BeginMove, &V::PanDrag, &V::EndMove},
        {4, 2, &V::ZoomBoxBegin, &V::ZoomBoxUpdate, &V::ZoomBoxEnd},
        {5, 13, &V::ZoomInAtPoint, nullptr, nullptr},
        {6, 13, &V::ZoomOutAtPoint, nullptr, nullptr},
        {7, 10, &V::BeginMove, &V::RotateZDrag, &V::EndMove},
        {8, 4, nullptr, &V::MoveLightDrag, nullptr},
        {9, 13, &V::SetPivotAtPointer, nullptr, nullptr},
        {10, 10, &V::BeginMove, &V::RotateZDrag, &V::EndMove},
        {11, 11, &V::BeginMove, &V::RotateXDrag, &V::EndMove},
        {12, 12, &V::BeginMove, &V::RotateYDrag, &V::EndMove},
        {13, 1, &V::DragBegin, &V::DragObject, &V::DragEnd},
        {14, 1, &V::PickPointAction, nullptr, nullptr},
        {15, 1, &V::AddPolygonPoint, nullptr, nullptr},
        {16, 1, &V::ZoomBoxBegin, &V::ZoomBoxUpdate, &V::RectangleEnd},
        {18, 1, &V::HoverPickAction, nullptr, nullptr},
        {20, 1, &V::SurfacePick, nullptr, nullptr},
        {21, 1, &V::AddPolygonPointInside, nullptr, nullptr},
        {22, 1, &V::ZoomBoxBegin, &V::ZoomBoxUpdate, &V::RectangleEndInside},
        {23, 1, &V::SurfacePickInside, nullptr, nullptr},
        {25, 0, nullptr, nullptr, nullptr},
    };
    const FunctionCode* f = nullptr;
    for (const FunctionCode& c : kCodes)
        if (c.code == code) f = &c;
    if (!f) return false;
    MouseBinding* b = FindMouseBinding(button, modifiers);
    if (!b) return false;
    b->cursor = f->cursor;
    b->press = f->press;
    b->drag = f->drag;
    b->release = f->release;
    if (button == kLeft && modifiers == 0 && glWindow) static_cast<VWindow*>(glWindow)->setCursorIndex(f->cursor);
    return true;
}

bool vkoViewer::SetWheelFunction(int modifiers, int code) {
    MouseAction action;
    switch (code) {
    case 1: action = &vkoViewer::WheelZoom; break;
    case 2: action = &vkoViewer::WheelZoomReversed; break;
    case 7: action = &vkoViewer::WheelRotateZ; break;
    case 25: action = nullptr; break;
    default: return false;
    }
    // During a polygon selection the wheel is off; the change applies to
    // the table that comes back afterwards.
    std::vector<WheelBinding>& table = polygonSelecting ? savedWheelTable : wheelTable;
    for (WheelBinding& b : table)
        if (b.modifiers == modifiers) {
            b.action = action;
            return true;
        }
    return false;
}

bool vkoViewer::SetPickCallback(int button, int modifiers, PickCallback callback) {
    std::vector<MouseBinding>& table = polygonSelecting ? savedMouseTable : mouseTable;
    for (MouseBinding& b : table)
        if (b.button == button && b.modifiers == modifiers) {
            b.pickCallback = callback;
            return true;
        }
    return false;
}

// ------------------------------------------------------------------ cursor

void vkoViewer::ChooseCursorAt(VWindow* w) {
    const int c = w->cursorIndex;
    if (c == 7 || c == 10 || c == 11 || c == 12) {
        // Free rotation in the middle, about y near the sides, about x near
        // the bottom and top, about z in the corners between.
        const double x = w->pointerX - w->activeLeft, y = w->pointerY - w->activeBottom;
        const double width = w->activeWidth, height = w->activeHeight;
        const double cx = x - width / 2.0, cy = y - height / 2.0, r = w->activeSize / 2.0;
        int code;
        if (cx * cx + cy * cy < r * r)
            code = 0;
        else if (x < 0.05 * width || x > 0.95 * width)
            code = 12;
        else if (y < 0.05 * height || y > 0.95 * height)
            code = 11;
        else
            code = 10;
        static const int kCursorOfCode[13] = {7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 11, 12};
        MouseBinding* left = FindMouseBinding(kLeft, 0);
        if (left && left->cursor != kCursorOfCode[code]) SetMouseFunction(kLeft, 0, code);
        if (left && w->cursorIndex != left->cursor) w->setCursorIndex(left->cursor);
        return;
    }
    if (interpreterPickMode != 0 && interpreterPickMode != 3) return;
    if (!renderer || renderer->hits().empty())
        w->setCursorIndex(6);
    else
        w->setCursorIndex(draggingEnabled ? 3 : 1);
}

// ------------------------------------------------------------ view actions

void vkoViewer::ViewChangedNotification() {
    if (!viewChangedPending) return;
    if (viewChangedCallback) viewChangedCallback(this);
    viewChangedPending = false;
}

void vkoViewer::BeginMove(VWindow*) {
    interacting = true;
    TransformView(5, 0, 0, 0, 0, false);
    SetViewMoving(true);
}

void vkoViewer::EndMove(VWindow* w) {
    const bool previous = SuspendDrawing(true);
    SetViewMoving(false);
    interacting = false;
    if (w && w->activeViewport) w->activeViewport->needsRedraw = 1;
    SuspendDrawing(previous);
    Redraw();
}

void vkoViewer::RotateDrag(VWindow* w) {
    const float s = float(w->activeSize);
    TransformView(0, -float(w->pointerY - w->previousY) * 360.0f / s, float(w->pointerX - w->previousX) * 360.0f / s,
                  0, 0, true);
}

void vkoViewer::RotateXDrag(VWindow* w) {
    TransformView(0, -float(w->pointerY - w->previousY) * 360.0f / float(w->activeSize), 0, 0, 0, true);
}

void vkoViewer::RotateYDrag(VWindow* w) {
    TransformView(0, 0, float(w->pointerX - w->previousX) * 360.0f / float(w->activeSize), 0, 0, true);
}

void vkoViewer::RotateZDrag(VWindow* w) {
    TransformView(0, 0, 0, -float(w->pointerY - w->previousY) * 360.0f / float(w->activeSize), 0, true);
}

void vkoViewer::ZoomDrag(VWindow* w) {
    const float t = -float(w->pointerY - w->previousY) / float(w->activeSize) * 2.2f;
    TransformView(3, 0, 0, 0, zoomFactor(t), true);
}

void vkoViewer::FastZoomDrag(VWindow* w) {
    const float t = float(w->pointerY - w->previousY) / float(w->activeSize) * 7.0f;
    TransformView(3, 0, 0, 0, zoomFactor(t), true);
}

void vkoViewer::PanDrag(VWindow* w) {
    const float s = float(w->activeSize);
    TransformView(1, float(w->pointerX - w->previousX) / s, float(w->pointerY - w->previousY) / s, 0, 0, true);
}

void vkoViewer::ZoomAtPoint(VWindow* w, float factor) {
    const float s = float(w->activeSize);
    TransformView(5, 0, 0, 0, 0, false);
    TransformView(4, (float(w->pointerX - w->activeLeft) - float(w->activeWidth) / 2.0f) / s,
                  (float(w->pointerY - w->activeBottom) - float(w->activeHeight) / 2.0f) / s, 0, factor, true);
}

void vkoViewer::ZoomInAtPoint(VWindow* w) { ZoomAtPoint(w, 1.414214f); }
void vkoViewer::ZoomOutAtPoint(VWindow* w) { ZoomAtPoint(w, 1.0f / 1.414214f); }

void vkoViewer::SetPivotAtPointer(VWindow* w) {
    float point[3];
    if (!SurfacePointNear(w->pointerX - 10, w->pointerY + 10, w->pointerX + 10, w->pointerY - 10, point)) return;
    TransformView(5, 0, 0, 0, 0, false);
    TransformView(2, point[0], point[1], point[2], 0, true);
}

void vkoViewer::MoveLightDrag(VWindow* w) {
    const float s = float(w->activeSize);
    AdjustLight(-float(w->pointerX - w->previousX) * 180.0f / s, float(w->pointerY - w->previousY) * 180.0f / s);
}

bool vkoViewer::SurfacePointNear(int x0, int y0, int x1, int y1, float point[3]) {
    vkoViewport* v = ViewportAt((x0 + x1) / 2, (y0 + y1) / 2);
    if (!v || !renderer) return false;
    MakeWindowCurrent();
    v->setup(renderer);
    int x = 0, y = 0;
    float depth = 1.0f;
    if (!renderer->findDepthNear(x0, y0, x1, y1, &x, &y, &depth)) return false;
    const double window[3] = {double(x), double(y), double(depth)};
    return renderer->unprojectToFloat(window, point);
}

void vkoViewer::ClampToActive(VWindow* w, int& x, int& y) const {
    x = std::clamp(w->pointerX, w->activeLeft, w->activeLeft + std::max(0, w->activeWidth - 1));
    y = std::clamp(w->pointerY, w->activeBottom, w->activeBottom + std::max(0, w->activeHeight - 1));
}

void vkoViewer::ZoomBoxBegin(VWindow* w) {
    interacting = true;
    // The push marks the viewport although nothing on it changes; a pick at
    // the end of the box may still count on the picture in the window.
    const bool current = FrameIsCurrent();
    TransformView(5, 0, 0, 0, 0, false);
    boxPushedViewport = current ? currentViewport : nullptr;
    boxPushedMarks = currentViewport ? currentViewport->needsRedraw.settings() : 0;
    if (renderer) renderer->rubberBand(1, w->pointerX, w->pointerY);
}

void vkoViewer::ZoomBoxUpdate(VWindow* w) {
    int x, y;
    ClampToActive(w, x, y);
    if (!renderer) return;
    MakeWindowCurrent();
    renderer->rubberBand(3, x, y);
}

void vkoViewer::ZoomBoxEnd(VWindow* w) {
    boxPushedViewport = nullptr;
    if (renderer) renderer->rubberBand(2, 0, 0);
    interacting = false;
    int x, y;
    ClampToActive(w, x, y);
    const int bw = std::abs(x - w->pressX), bh = std::abs(y - w->pressY);
    if (bw == 0 || bh == 0) {
        if (currentViewport) currentViewport->needsRedraw = 1;
        Redraw();
        return;
    }
    const float s = float(w->activeSize);
    const float factor =
        std::min(std::min(float(w->activeWidth) / float(bw + 1), 50.0f), float(w->activeHeight) / float(bh + 1));
    const float cx = float(x + w->pressX - w->activeWidth - 2 * w->activeLeft) / s;
    const float cy = float(y + w->pressY - w->activeHeight - 2 * w->activeBottom) / s;
    float point[3];
    if (SurfacePointNear(w->pressX, w->pressY, x, y, point)) {
        TransformView(2, point[0], point[1], point[2], 0, false);
        TransformView(1, cx / 2.0f, cy / 2.0f, 0, 0, false);
    }
    TransformView(3, cx, cy, 0, factor, true);
}

void vkoViewer::WheelZoom(VWindow* w) {
    BeginMove(w);
    TransformView(3, 0, 0, 0, zoomFactor(-w->wheelSteps * 0.025f), false);
    EndMove(w);
}

void vkoViewer::WheelZoomReversed(VWindow* w) {
    BeginMove(w);
    TransformView(3, 0, 0, 0, zoomFactor(w->wheelSteps * 0.025f), false);
    EndMove(w);
}

void vkoViewer::WheelRotate(VWindow* w, int axis) {
    BeginMove(w);
    float angles[3] = {0, 0, 0};
    angles[axis] = -w->wheelSteps * 5.0f;
    TransformView(0, angles[0], angles[1], angles[2], 0, false);
    EndMove(w);
}

void vkoViewer::WheelRotateX(VWindow* w) { WheelRotate(w, 0); }
void vkoViewer::WheelRotateY(VWindow* w) { WheelRotate(w, 1); }
void vkoViewer::WheelRotateZ(VWindow* w) { WheelRotate(w, 2); }
