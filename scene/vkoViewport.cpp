#include "scene/vkoViewport.h"

#include <algorithm>
#include <cstring>

#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
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

// --------------------------------------------------------------- camera

void vkoViewport::createTransforms() {
    view = new Transform(owner, "main");
    view->reset();
    for (Transform*& slot : undoRing) slot = new Transform(owner, "");
}

vkoViewport::~vkoViewport() {
    delete view;
    for (Transform* slot : undoRing) delete slot;
}

bool vkoViewport::worldBounds(float out[6]) const {
    bool any = false;
    for (const vkoGraphicObj* o : objects) {
        if (!o->visibility) continue;
        float b[6];
        if (!o->worldBounds(b, true)) continue;
        if (!any) {
            std::copy(b, b + 6, out);
            any = true;
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            out[2 * i] = std::min(out[2 * i], b[2 * i]);
            out[2 * i + 1] = std::max(out[2 * i + 1], b[2 * i + 1]);
        }
    }
    return any;
}

void vkoViewport::nudgeClipPlane(float step, bool forward) {
    if (step == 0.0f) step = 0.01f / view->scale;
    cuttingPlaneD += forward ? step : -step;
    needsRedraw = 1;
}

void vkoViewport::setup(Graphics* renderer) {
    if (!renderer) return;
    renderer->setViewport(left, bottom, width, height);
    std::copy(eyeOffset, eyeOffset + 3, renderer->eyeOffset);
    renderer->setProjection(isOrthographic != 0);
    view->apply(renderer, Transform::MaskAll);
}

bool vkoViewport::fitView(Graphics* renderer) {
    float b[6];
    if (!worldBounds(b)) return false;
    setup(renderer);
    view->fitToBounds(renderer, isOrthographic != 0, b);
    needsRedraw = 1;
    return true;
}

void vkoViewport::resetView() {
    view->reset();
    needsRedraw = 1;
}

bool vkoViewport::changeView(int type, float a, float b, float c, float d) {
    switch (type) {
        case 0:
            if (!isRotationEnabled && (a != 0.0f || b != 0.0f)) return false;
            [[fallthrough]];
        case 1:
        case 2:
        case 3:
        case 4: view->ModifyValues(type, a, b, c, d); break;
        case 5: Transform::UndoPush(undoRing, undoStart, undoCursor, undoEnd, *view); break;
        case 6:
            if (!Transform::Undo(undoRing, undoStart, undoCursor, undoEnd, *view)) return false;
            break;
        case 7:
            if (!Transform::Redo(undoRing, undoStart, undoCursor, undoEnd, *view)) return false;
            break;
        default:
            // Unknown types go through ModifyValues, which reports them.
            view->ModifyValues(type, a, b, c, d);
            return false;
    }
    needsRedraw = 1;
    return true;
}

// -------------------------------------------------------------- queries

bool vkoViewport::hasTransparentFaces() const {
    if (!isVisibleFlag || width == 0.0f || height == 0.0f) return false;
    for (const vkoGraphicObj* o : objects)
        if (o->transparent && o->transparencyLevel != 0.0f && o->transparencyLevel != 1.0f && o->faces) return true;
    return false;
}

bool vkoViewport::hasTexturedFaces() const {
    for (const vkoGraphicObj* o : objects)
        if (o->isVisible() && o->data && o->data->texture && o->drawTexture && o->faces) return true;
    return false;
}

bool vkoViewport::hasImage() const {
    for (const vkoGraphicObj* o : objects)
        if (o->isVisible() && o->data && o->data->hasImage()) return true;
    return false;
}

// ----------------------------------------------------------------- draw

namespace {
bool isInternal(const vkoGraphicObj* o) { return !o->objectname.empty() && o->objectname[0] == '\t'; }
bool hasBackdrop(const vkoGraphicObj* o) { return o->data && o->data->hasBackdrop(); }
}  // namespace

int vkoViewport::index() const {
    if (!owner) return 0;
    for (size_t i = 0; i < owner->viewports.size(); ++i)
        if (owner->viewports[i] == this) return static_cast<int>(i);
    return 0;
}

bool vkoViewport::draw(Graphics* r, bool secondary) {
    const bool pickPass = selectionPass || colourPickPass;
    if (!r || !(needsRedraw || isBorderVisibleFlag) || !isVisibleFlag || width == 0.0f || height == 0.0f) return false;
    int ww = 0, wh = 0;
    r->getWindowSize(&ww, &wh);
    if (ww <= 0 || wh <= 0) return false;
    const bool isCurrent = owner && owner->currentViewport == this;

    r->setViewport(left, bottom, width, height);
    r->selectionMode = selectionPass != 0;
    r->colourPickMode = colourPickPass != 0;
    std::copy(eyeOffset, eyeOffset + 3, r->eyeOffset);
    r->rulerScale = rulerScale;
    r->rulerUnits = rulerUnits;
    if (!r->beginFrame(index(), needsRedraw != 0)) return false;

    if (!needsRedraw) {
        if (!secondary && isBorderVisibleFlag) {
            view->apply(r, 0);
            r->renderBorder(isCurrent);
        }
        r->endFrame();
        return true;
    }

    view->apply(r, 0);
    r->paintBackground();
    // Output tiles and cube faces are pieces of one picture: no frame round each.
    const bool outputPiece = owner && (owner->tileBuffer || owner->capturingCube);
    if (!secondary && !outputPiece) r->renderBorder(isCurrent);
    r->setProjection(isOrthographic != 0);
    view->apply(r, Transform::MaskAll);
    r->setLightAngles(lightAngleXToZ, lightAngleZToY);

    const bool reverseVideo = owner && owner->output.reverseColours;
    if (!pickPass && !reverseVideo) {
        for (vkoGraphicObj* o : objects)
            if (hasBackdrop(o)) o->draw3D(r, this, 0);
        r->flushPass(1);
    }
    if (!pickPass && isCuttingPlaneVisibleFlag)
        r->enableClipPlane(0, cuttingPlanePt1, cuttingPlanePt2, cuttingPlanePt3, cuttingPlaneD);

    for (vkoGraphicObj* o : objects) o->pickBase = 0;
    // A pick pass draws transparent faces as opaque ones (and the other way
    // round, which no pick draw meets) so that they can be hit.
    if (pickPass)
        for (vkoGraphicObj* o : objects) o->transparent = !o->transparent;

    const int sparseFlag = (!pickPass && sparse) ? DRAW_PASS_SPARSE : 0;
    auto skip = [&](const vkoGraphicObj* o) { return pickPass && isInternal(o); };
    r->beginObjectPass();
    for (vkoGraphicObj* o : objects) {
        if (r->abortFlag) break;
        if (!skip(o)) o->drawPrimitive(r, this, sparseFlag);
    }
    r->endObjectPass(0);
    r->afterObjectPass();
    for (int textPass = 0; textPass < 2; ++textPass)
        for (vkoGraphicObj* o : objects) {
            if (r->abortFlag) break;
            if (hasBackdrop(o) || skip(o)) continue;
            o->draw3D(r, this, sparseFlag | (textPass ? DRAW_PASS_TEXT3D : 0));
        }

    if (!pickPass && hasTransparentFaces()) {
        r->flushPass(0);
        r->beginObjectPass();
        for (vkoGraphicObj* o : objects) {
            if (r->abortFlag) break;
            o->drawPrimitive(r, this, sparseFlag | DRAW_PASS_TRANSPARENT);
        }
        r->endObjectPass(0);
        r->afterObjectPass();
        for (vkoGraphicObj* o : objects) {
            if (r->abortFlag) break;
            if (hasBackdrop(o)) continue;
            if (o->cullingMode == CULL_NO) {
                // Back faces first, then front faces, so that a closed
                // transparent surface blends in depth order.
                o->cullingMode = CULL_FRONT;
                o->draw3D(r, this, sparseFlag | DRAW_PASS_TRANSPARENT);
                o->cullingMode = CULL_BACK;
                o->draw3D(r, this, sparseFlag | DRAW_PASS_TRANSPARENT);
                o->cullingMode = CULL_NO;
            } else {
                o->draw3D(r, this, sparseFlag | DRAW_PASS_TRANSPARENT);
            }
        }
    }
    if (pickPass)
        for (vkoGraphicObj* o : objects) o->transparent = !o->transparent;

    r->flushPass(1);
    r->disableClipPlane(0);
    r->setLighting(false, false);

    if (!secondary && !pickPass) {
        if (isAxisVisibleFlag) {
            const float W = width * ww, H = height * wh;
            const float m = std::min(W, H);
            const float sw = 0.2f * m / ww, sh = 0.2f * m / wh;
            const float sl = left + width - sw - 10.0f / ww;
            r->setViewport(sl, bottom, sw, sh);
            view->apply(r, Transform::MaskRotation);
            r->drawAxis(axisType);
            r->setViewport(left, bottom, width, height);
        }
        if (!objects.empty()) {
            view->apply(r, 0);
            const int vi = index();
            r->beginOverlayPass(0);
            for (vkoGraphicObj* o : objects) o->draw2D(r, false, vi);
            r->endOverlayPass();
            if (hasImage()) {
                r->beginOverlayPass(1);
                for (vkoGraphicObj* o : objects)
                    if (o->isVisible() && o->data && o->data->hasImage()) o->draw2D(r, true, vi);
                r->endOverlayPass();
            }
        }
        if (isOrthographic && isRulerVisibleFlag) {
            view->apply(r, 0);
            r->drawRuler(view->scale);
        }
    }
    if (!colourPickPass && lassoCount > 0) {
        int points[2 * (kMaxLassoPoints + 1)];
        int n = 0;
        for (int i = 0; i < lassoCount; ++i) {
            points[2 * n] = lassoPoints[i][0];
            points[2 * n + 1] = lassoPoints[i][1];
            ++n;
        }
        if (rubberPoint[0] >= 0) {
            points[2 * n] = rubberPoint[0];
            points[2 * n + 1] = rubberPoint[1];
            ++n;
        }
        r->drawPickPolygon(n, points);
    }
    r->endFrame();
    needsRedraw = 0;
    return true;
}
