// Managed viewports: the eight layouts, splits, insets, maximizing, viewport
// lookups and the switches that act on the current viewport.
#include <cstring>

#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

struct SlotRect {
    float left, bottom, width, height;
    int edges;  // sides that keep half a gap: 1 right, 2 left, 4 bottom, 8 top
};

constexpr int kMinimumViewports[9] = {0, 1, 2, 2, 3, 3, 3, 3, 4};
constexpr int kSlotCount[9] = {0, 1, 2, 2, 3, 3, 3, 3, 4};

// Rectangle of a layout slot (1-based) for the given splits.
SlotRect slotRect(int layout, int slot, float sx, float sy) {
    switch (layout) {
        case 1: return {0, 0, 1, 1, 0};
        case 2: return slot == 1 ? SlotRect{0, sy, 1, 1 - sy, 4} : SlotRect{0, 0, 1, sy, 8};
        case 3: return slot == 1 ? SlotRect{0, 0, sx, 1, 1} : SlotRect{sx, 0, 1 - sx, 1, 2};
        case 4:
            if (slot == 1) return {0, sy, sx, 1 - sy, 5};
            if (slot == 2) return {sx, 0, 1 - sx, 1, 2};
            return {0, 0, sx, sy, 9};
        case 5:
            if (slot == 1) return {0, sy, sx, 1 - sy, 5};
            if (slot == 2) return {sx, sy, 1 - sx, 1 - sy, 6};
            return {0, 0, 1, sy, 8};
        case 6:
            if (slot == 1) return {0, 0, sx, 1, 1};
            if (slot == 2) return {sx, sy, 1 - sx, 1 - sy, 6};
            return {sx, 0, 1 - sx, sy, 10};
        case 7:
            if (slot == 1) return {0, sy, 1, 1 - sy, 4};
            if (slot == 2) return {sx, 0, 1 - sx, sy, 10};
            return {0, 0, sx, sy, 9};
        case 8:
            if (slot == 1) return {0, sy, sx, 1 - sy, 5};
            if (slot == 2) return {sx, sy, 1 - sx, 1 - sy, 6};
            if (slot == 3) return {sx, 0, 1 - sx, sy, 10};
            return {0, 0, sx, sy, 9};
        default: return {0, 0, 1, 1, 0};
    }
}

// Which slots a split moves, per layout.
bool xSplitMoves(int layout) { return layout >= 3; }
bool ySplitMoves(int layout) { return layout == 2 || layout >= 4; }

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

}  // namespace

vkoViewport* vkoViewer::SlotViewport(int slot) const {
    if (slot < 1 || slot > 4) return nullptr;
    return FindViewportByNumber(viewportOrder[slot - 1]);
}

void vkoViewer::PlaceViewport(vkoViewport* viewport, int edges, float l, float b, float w, float h) {
    if (!viewport) return;
    if (edges != 0 && viewportGap != 0 && windowWidth > 0) {
        const float half = viewportGap / 2.0f;
        const float W = static_cast<float>(windowWidth);
        if (edges & 3) w = (w * W - half) / W;
        if (edges & 2) l = (l * W + half) / W;
        if ((edges & 12) && windowHeight > 0) {
            const float H = static_cast<float>(windowHeight);
            h = (h * H - half) / H;
            if (edges & 4) b = (b * H + half) / H;
        }
    }
    if (captionHeight != 0 && windowHeight > 0) h = (h * windowHeight - captionHeight) / windowHeight;
    viewport->setRectangle(l, b, clamp01(w), clamp01(h));
}

void vkoViewer::PlaceSlots(float sx, float sy) {
    for (int slot = 1; slot <= kSlotCount[viewportLayout]; ++slot) {
        SlotRect r = slotRect(viewportLayout, slot, sx, sy);
        PlaceViewport(SlotViewport(slot), r.edges, r.left, r.bottom, r.width, r.height);
    }
}

void vkoViewer::ApplyLayout(int layout) {
    if (viewports.empty() || stereoMode != 0) return;
    if (layout < 1 || layout > 8 || kMinimumViewports[layout] > numViewports) layout = 1;
    viewportMaximized = false;
    viewportLayout = layout;
    HideAllViewports();
    SetCurrentViewport(SlotViewport(1));
    for (int slot = 1; slot <= kSlotCount[layout]; ++slot) {
        SlotRect r = slotRect(layout, slot, 0.5f, 0.5f);
        vkoViewport* v = SlotViewport(slot);
        PlaceViewport(v, r.edges, r.left, r.bottom, r.width, r.height);
        if (v) {
            v->isVisibleFlag = 1;
            v->needsRedraw = 1;
        }
    }
    bool previous = SuspendDrawing(true);
    SetXSplit(xSplit);
    SuspendDrawing(previous);
    SetYSplit(ySplit);
}

void vkoViewer::SetXSplit(float value) {
    if (value < 0 || value > 1) return;
    xSplit = value;
    if (xSplitMoves(viewportLayout) && !viewportMaximized) PlaceSlots(xSplit, ySplit);
    RefreshAll();
}

void vkoViewer::SetYSplit(float value) {
    if (value < 0 || value > 1) return;
    ySplit = value;
    if (ySplitMoves(viewportLayout) && !viewportMaximized) PlaceSlots(xSplit, ySplit);
    RefreshAll();
}

void vkoViewer::SetMaximized(bool on) {
    if (!currentViewport || stereoMode != 0 || on == viewportMaximized) return;
    if (on) {
        viewportMaximized = true;
        HideAllViewports();
        PlaceViewport(currentViewport, 0, 0, 0, 1, 1);
        currentViewport->isVisibleFlag = 1;
        currentViewport->needsRedraw = 1;
        MarkAllViewports(true);
        Redraw();
    } else {
        viewportMaximized = false;
        ApplyLayout(viewportLayout);
    }
}

void vkoViewer::ToggleMaximized() { SetMaximized(!viewportMaximized); }

void vkoViewer::SetViewportInsets(int caption, int gap) {
    captionHeight = caption;
    viewportGap = gap;
    bool previous = SuspendDrawing(true);
    vkoViewport* current = currentViewport;
    bool maximized = viewportMaximized;
    ApplyLayout(viewportLayout);
    SetCurrentViewport(current);
    if (maximized) SetMaximized(true);
    SuspendDrawing(previous);
    Redraw();
}

bool vkoViewer::SetCurrentViewportByNumber(int n) {
    vkoViewport* v = FindViewportByNumber(n);
    if (!v) return false;
    SetCurrentViewport(v);
    return true;
}

vkoViewport* vkoViewer::FindViewportByNumber(int n) const {
    if (n < 1 || n > numViewports || n > static_cast<int>(viewports.size())) return nullptr;
    return viewports[n - 1];
}

vkoViewport* vkoViewer::FindViewportByName(const char* name) const {
    if (!name) return nullptr;
    for (vkoViewport* v : viewports)
        if (v->viewportname == name) return v;
    return nullptr;
}

bool vkoViewer::SetCurrentViewportByName(const char* name) {
    vkoViewport* v = FindViewportByName(name);
    if (!v) return false;
    SetCurrentViewport(v);
    return true;
}

int vkoViewer::ViewportNumber(const char* name) const {
    const vkoViewport* target = name ? FindViewportByName(name) : currentViewport;
    for (size_t i = 0; i < viewports.size(); ++i)
        if (viewports[i] == target && target) return static_cast<int>(i) + 1;
    return 0;
}

vkoViewport* vkoViewer::ViewportAt(int x, int y) const {
    for (vkoViewport* v : viewports) {
        if (!v->isVisibleFlag) continue;
        int x0, y0, x1, y1;
        v->pixelBounds(x0, y0, x1, y1);
        if (x >= x0 && x <= x1 && y >= y0 && y <= y1) return v;
    }
    return nullptr;
}

vkoViewport* vkoViewer::SelectViewportAt(int x, int y) {
    if (vkoViewport* v = ViewportAt(x, y)) SetCurrentViewport(v);
    return currentViewport;
}

void vkoViewer::HideAllViewports() {
    for (vkoViewport* v : viewports) {
        v->isVisibleFlag = 0;
        v->needsRedraw = 1;
    }
}

// ------------------------------------------------ switches of the current viewport

void vkoViewer::SetViewportAxis(bool on) {
    if (!currentViewport) return;
    currentViewport->isAxisVisibleFlag = on;
    currentViewport->needsRedraw = 1;
    Redraw();
}

void vkoViewer::ToggleViewportAxis() {
    if (currentViewport) SetViewportAxis(!currentViewport->isAxisVisibleFlag);
}

void vkoViewer::SetViewportRuler(bool on) {
    if (!currentViewport) return;
    currentViewport->isRulerVisibleFlag = on;
    currentViewport->needsRedraw = 1;
    Redraw();
}

void vkoViewer::ToggleViewportRuler() {
    if (currentViewport) SetViewportRuler(!currentViewport->isRulerVisibleFlag);
}

void vkoViewer::SetViewportBorder(bool on) {
    if (!currentViewport) return;
    currentViewport->isBorderVisibleFlag = on;
    currentViewport->needsRedraw = 1;
    Redraw();
}

void vkoViewer::ToggleViewportBorder() {
    if (currentViewport) SetViewportBorder(!currentViewport->isBorderVisibleFlag);
}

void vkoViewer::SetViewportAutofit(bool on) {
    if (!currentViewport) return;
    currentViewport->autofit = on;
    currentViewport->needsRedraw = 1;
    Redraw();
}

void vkoViewer::SetViewportAxisType(int type) {
    if (!currentViewport || type < 0 || type > 2) return;
    currentViewport->axisType = type;
    currentViewport->needsRedraw = 1;
}

void vkoViewer::SetViewportRotation(bool on) {
    if (!currentViewport) return;
    currentViewport->isRotationEnabled = on;
}

void vkoViewer::ToggleViewportProjection() {
    if (!currentViewport) return;
    currentViewport->isOrthographic = !currentViewport->isOrthographic;
    currentViewport->needsRedraw = 1;
    Redraw();
}

void vkoViewer::SetViewportLight(float angleXToZ, float angleZToY) {
    if (!currentViewport) return;
    currentViewport->setLightAngles(angleXToZ, angleZToY);
    Redraw();
}

void vkoViewer::AdjustLight(float da, float db) {
    if (!currentViewport) return;
    currentViewport->adjustLightAngles(da, db);
    Redraw();
}

void vkoViewer::ResetLight(bool defaults) {
    if (!currentViewport) return;
    currentViewport->resetLightAngles(defaults);
    Redraw();
}

void vkoViewer::SetViewportRulerScale(float scale, const char* units) {
    if (!currentViewport) return;
    currentViewport->rulerScale = scale;
    currentViewport->setRulerUnits(units);
}

void vkoViewer::ClearViewportLasso() {
    if (currentViewport) currentViewport->clearLasso();
}

bool vkoViewer::ViewportAxisShown() const { return currentViewport && currentViewport->isAxisVisibleFlag; }
bool vkoViewer::ViewportRulerShown() const { return currentViewport && currentViewport->isRulerVisibleFlag; }
bool vkoViewer::ViewportBorderShown() const { return currentViewport && currentViewport->isBorderVisibleFlag; }
bool vkoViewer::ViewportAutofit() const { return currentViewport && currentViewport->autofit; }
bool vkoViewer::ViewportOrthographic() const { return currentViewport && currentViewport->isOrthographic; }
bool vkoViewer::ViewportRotationEnabled() const { return currentViewport && currentViewport->isRotationEnabled; }
