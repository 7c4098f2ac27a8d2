#include "scene/vkoViewport.h"

#include <algorithm>
#include <cstring>

#include "scene/vkoGraphicObj.h"
#include "viewer/vkoViewer.h"

namespace {
// Single-precision light angle defaults (bit patterns 427DBD63, 42E4308F).
constexpr float kDefaultLightXToZ = 63.434948f;
constexpr float kDefaultLightZToY = 114.094841f;

float clampAngle(float a) { return std::clamp(a, 0.0f, 180.0f); }
}  // namespace

vkoViewport::vkoViewport(vkoViewer* ownerViewer, const char* name)
    : owner(ownerViewer),
      viewportname(name ? name : ""),
      lightAngleXToZ(kDefaultLightXToZ),
      lightAngleZToY(kDefaultLightZToY) {
    createTransforms();
}

void vkoViewport::setName(const char* text) {
    if (!text) return;
    viewportname = text;
    needsRedraw = 1;
}

void vkoViewport::setRulerUnits(const char* text) {
    if (!text) return;
    rulerUnits = text;
    needsRedraw = 1;
}

void vkoViewport::setRectangle(float l, float b, float w, float h) {
    left = l;
    bottom = b;
    width = w;
    height = h;
    needsRedraw = 1;
}

void vkoViewport::getRectangle(float& l, float& b, float& w, float& h) const {
    l = left;
    b = bottom;
    w = width;
    h = height;
}

void vkoViewport::pixelRectangle(int& x, int& y, int& w, int& h) const {
    int ww = owner ? owner->windowWidth : 0;
    int wh = owner ? owner->windowHeight : 0;
    x = static_cast<int>(left * ww);
    y = static_cast<int>(bottom * wh);
    w = static_cast<int>(width * ww);
    h = static_cast<int>(height * wh);
}

void vkoViewport::pixelBounds(int& x0, int& y0, int& x1, int& y1) const {
    int x, y, w, h;
    pixelRectangle(x, y, w, h);
    x0 = x;
    y0 = y;
    x1 = x + w - 1;
    y1 = y + h - 1;
}

void vkoViewport::toViewport(int& x, int& y) const {
    int px, py, w, h;
    pixelRectangle(px, py, w, h);
    x -= px;
    y -= py;
}

void vkoViewport::fromViewport(int& x, int& y) const {
    int px, py, w, h;
    pixelRectangle(px, py, w, h);
    x += px;
    y += py;
}

int vkoViewport::findObject(const char* name, bool& found) const {
    // Binary search by name, byte order; gives the insertion position.
    int low = 0, high = static_cast<int>(objects.size()) - 1;
    found = false;
    while (low <= high) {
        int mid = (low + high) / 2;
        int c = std::strcmp(name, objects[mid]->objectname.c_str());
        if (c == 0) {
            found = true;
            return mid;
        }
        if (c < 0)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return low;
}

void vkoViewport::addObject(const char* name) {
    if (!name || !owner) return;
    vkoGraphicObj* object = owner->FindGraphic(name);
    if (!object) return;
    bool found;
    int at = findObject(name, found);
    if (found) return;
    objects.insert(objects.begin() + at, object);
    needsRedraw = 1;
}

void vkoViewport::removeObject(const char* name) {
    if (!name) return;
    bool found;
    int at = findObject(name, found);
    if (!found) return;
    objects.erase(objects.begin() + at);
    needsRedraw = 1;
}

bool vkoViewport::hasObject(const vkoGraphicObj* object) const {
    return std::find(objects.begin(), objects.end(), object) != objects.end();
}

int vkoViewport::objectCount(bool excludeInternal) const {
    if (!excludeInternal) return static_cast<int>(objects.size());
    int n = 0;
    for (const vkoGraphicObj* o : objects)
        if (o->objectname.empty() || o->objectname[0] != '\t') ++n;
    return n;
}

void vkoViewport::setClipPlane(const float p[9]) {
    std::memcpy(cuttingPlanePt1, p, sizeof(cuttingPlanePt1));
    std::memcpy(cuttingPlanePt2, p + 3, sizeof(cuttingPlanePt2));
    std::memcpy(cuttingPlanePt3, p + 6, sizeof(cuttingPlanePt3));
    needsRedraw = 1;
}

void vkoViewport::getClipPlane(float p[9]) const {
    std::memcpy(p, cuttingPlanePt1, sizeof(cuttingPlanePt1));
    std::memcpy(p + 3, cuttingPlanePt2, sizeof(cuttingPlanePt2));
    std::memcpy(p + 6, cuttingPlanePt3, sizeof(cuttingPlanePt3));
}

void vkoViewport::setLightAngles(float a, float b) {
    lightAngleXToZ = clampAngle(a);
    lightAngleZToY = clampAngle(b);
    needsRedraw = 1;
}

void vkoViewport::adjustLightAngles(float da, float db) { setLightAngles(lightAngleXToZ + da, lightAngleZToY + db); }

void vkoViewport::resetLightAngles(bool defaults) {
    if (defaults)
        setLightAngles(kDefaultLightXToZ, kDefaultLightZToY);
    else
        setLightAngles(90.0f, 90.0f);
}

void vkoViewport::setEyeOffset(float x, float y, float z) {
    eyeOffset[0] = x;
    eyeOffset[1] = y;
    eyeOffset[2] = z;
    needsRedraw = 1;
}

void vkoViewport::clearLasso() {
    lassoCount = 0;
    rubberPoint[0] = rubberPoint[1] = -1;
    needsRedraw = 1;
}

namespace {
// Parameters of the intersection of segment Q0->Q1 with P0->P1; false when
// the directions are parallel.
bool intersectParams(int qx0, int qy0, int qx1, int qy1, int px0, int py0, int px1, int py1, double& s, double& t) {
    long long dqx = qx1 - qx0, dqy = qy1 - qy0, dpx = px1 - px0, dpy = py1 - py0;
    long long denom = dqx * dpy - dqy * dpx;
    if (denom == 0) return false;
    long long ex = px0 - qx0, ey = py0 - qy0;
    s = double(ex * dpy - ey * dpx) / double(denom);
    t = double(ex * dqy - ey * dqx) / double(denom);
    return true;
}
}  // namespace

bool vkoViewport::edgeCrossesLasso(int qx0, int qy0, int qx1, int qy1, int adjacentEdge) const {
    // Earlier edges are P[i] -> P[i+1] for i < lassoCount - 1.
    for (int i = 0; i + 1 < lassoCount; ++i) {
        double s, t;
        if (!intersectParams(qx0, qy0, qx1, qy1, lassoPoints[i][0], lassoPoints[i][1], lassoPoints[i + 1][0],
                             lassoPoints[i + 1][1], s, t))
            continue;
        bool crosses = (i == adjacentEdge) ? (t >= 0 && t < 1 && s > 0 && s <= 1)
                                           : (t > 0 && t < 1 && s > 0 && s < 1);
        if (crosses) return true;
    }
    return false;
}

bool vkoViewport::addLassoPoint(int x, int y, bool close) {
    if (lassoCount >= kMaxLassoPoints - 1) return false;
    int x0, y0, x1, y1;
    pixelBounds(x0, y0, x1, y1);
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    if (lassoCount > 0) {
        int lx = lassoPoints[lassoCount - 1][0], ly = lassoPoints[lassoCount - 1][1];
        if (lx == x && ly == y) return false;
        // The earlier edge ending at the last point is the one before it.
        if (edgeCrossesLasso(lx, ly, x, y, lassoCount - 2)) return false;
    }
    lassoPoints[lassoCount][0] = x;
    lassoPoints[lassoCount][1] = y;
    ++lassoCount;
    if (close && lassoCount > 2) {
        // Closing edge from the new point back to the first one; the edge
        // ending at the new point is the one just added.
        if (edgeCrossesLasso(x, y, lassoPoints[0][0], lassoPoints[0][1], lassoCount - 2)) {
            --lassoCount;
            return false;
        }
    }
    rubberPoint[0] = rubberPoint[1] = -1;
    needsRedraw = 1;
    return true;
}

bool vkoViewport::removeLassoPoint() {
    if (lassoCount > 0) --lassoCount;
    needsRedraw = 1;
    return lassoCount == 0;
}

void vkoViewport::setRubberPoint(int x, int y) {
    int x0, y0, x1, y1;
    pixelBounds(x0, y0, x1, y1);
    rubberPoint[0] = std::clamp(x, x0, std::max(x0, x1));
    rubberPoint[1] = std::clamp(y, y0, std::max(y0, y1));
    needsRedraw = 1;
}
