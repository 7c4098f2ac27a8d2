// The software renderer: construction, the renderer-interface operations
// that set state (viewport, scissor, frames, projection, lighting, culling,
// clip planes, matrices, projection of points) and the adaptive subdivision
// of shaded triangles for the vector subclasses.  The engine is in
// GraphicsAEAEngine.cpp, object and overlay drawing in GraphicsAEADraw.cpp.
#include "output/GraphicsAEA.h"

#include <algorithm>
#include <cmath>

#include "render/ViewLayout.h"

namespace {
constexpr double kMinSubdivisionArea = 0.125;  // square pixels
}  // namespace

const char* const GraphicsAEA::kExtraOperationNames[GraphicsAEA::kNumExtraOperations] = {
    "clearBuffers", "drawPixels", "setPixelRegion", "fillFlatTriangle",
    "drawShadedTriangle", "drawWideLine", "drawWidePoint",
};

GraphicsAEA::GraphicsAEA(Graphics* from, int width, int height, int multiplier, bool reverse, int colourMode)
    : Graphics(from ? from->owner : nullptr, from ? from->window : nullptr), sink_(*this), sorter_(sink_) {
    if (from) copyStateFrom(*from);
    noLists = true;
    doubleBuffered = false;
    selectionMode = false;
    colourPickMode = false;
    imageWidth = std::max(0, width);
    imageHeight = std::max(0, height);
    // The image is the window of this renderer.
    windowWidth = imageWidth;
    windowHeight = imageHeight;
    lineWidthMultiplier = std::max(1, multiplier);
    reverseVideo = reverse;
    outputColourMode = colourMode;
    if (reverse) {
        for (int c = 0; c < 3; ++c) backgroundColour1[c] = backgroundColour2[c] = 1.0f;
        backgroundKind = 0;
    }
    // Engine defaults: light 0 white, the material of the on-screen
    // renderer, colour material on ambient and diffuse, two-sided lighting.
    lightOn_[0] = true;
    const float white[4] = {1, 1, 1, 1};
    eLight(aegl::LIGHT0, aegl::DIFFUSE, white);
    eLight(aegl::LIGHT0, aegl::SPECULAR, white);
    eClearColour(backgroundColour1[0], backgroundColour1[1], backgroundColour1[2], 0.0f);
    eViewport(0, 0, imageWidth, imageHeight);
    eScissor(0, 0, imageWidth, imageHeight);
    pixelRegion_[2] = imageWidth;
    pixelRegion_[3] = imageHeight;
    Graphics::setViewport(viewportLeft, viewportBottom, viewportWidth, viewportHeight);
    sorter_.printTolerance = printTolerance;
    usable = imageWidth > 0 && imageHeight > 0;
}

GraphicsAEA::~GraphicsAEA() = default;

// ---- colours ----------------------------------------------------------------------

void GraphicsAEA::setColour(const float rgb[3], float a) {
    float c[3] = {rgb[0], rgb[1], rgb[2]};
    convertColour(c);
    eColour(c[0], c[1], c[2], a);
    currentColourValue = -1.0f;
}

void GraphicsAEA::setColourValue(float value) { Graphics::setColourValue(value); }

// ---- viewport, scissor, frames ----------------------------------------------------------

void GraphicsAEA::setViewport(float left, float bottom, float width, float height) {
    Graphics::setViewport(left, bottom, width, height);
    if (imageWidth <= 0 || imageHeight <= 0) return;
    int r[4];
    pixelRectangle(left, bottom, width, height, r);
    eViewport(r[0], r[1], r[2], r[3]);
}

void GraphicsAEA::setScissor(float left, float bottom, float width, float height) {
    if (imageWidth <= 0 || imageHeight <= 0) return;
    int r[4];
    pixelRectangle(left, bottom, width, height, r);
    eScissor(r[0], r[1], r[2], r[3]);
    eEnable(aegl::SCISSOR_TEST);
}

bool GraphicsAEA::beginFrame(int index, bool clear) {
    Graphics::beginFrame(index, clear);
    setScissor(viewportLeft, viewportBottom, viewportWidth, viewportHeight);
    eClearColour(backgroundColour1[0], backgroundColour1[1], backgroundColour1[2], 0.0f);
    if (clear) clearBuffers(aegl::COLOR_BUFFER_BIT | aegl::DEPTH_BUFFER_BIT);
    return usable;
}

void GraphicsAEA::finishFrame() {
    eDisable(aegl::SCISSOR_TEST);
    flushDeferred();
}

void GraphicsAEA::flushDeferred() {
    sorter_.vectorOutput = vectorOutput;
    sorter_.printTolerance = printTolerance;
    sorter_.toleranceFactor = toleranceFactor > 0.0f ? toleranceFactor : 1.0f;
    sorter_.flushDeferred(imageWidth, imageHeight);
}

void GraphicsAEA::flushPass(int flag) {
    if (flag) flushDeferred();
    Graphics::flushPass(flag);
}

void GraphicsAEA::endObjectPass(int flag) {
    if (flag) flushDeferred();
    Graphics::endObjectPass(flag);
}

// ---- projection, lighting, culling ---------------------------------------------------------

void GraphicsAEA::setProjection(bool orthographic) {
    double window_[4];
    ViewWindow(viewport_[2], viewport_[3], window_);
    const double x0 = window_[0], x1 = window_[1], y0 = window_[2], y1 = window_[3];
    eMatrixMode(aegl::PROJECTION);
    eLoadIdentity();
    const double ex = eyeOffset[0], ey = eyeOffset[1], ez = eyeOffset[2];
    if (orthographic) {
        eOrtho(x0 - ex, x1 - ex, y0 - ey, y1 - ey, -1000, 1000);
    } else {
        const double nearPlane = 0.1, farPlane = 100000.0;
        double d = std::fabs(ez);
        if (d < 1e-6) d = 1.0;
        const double k = nearPlane / d;
        eFrustum((x0 - ex) * k, (x1 - ex) * k, (y0 - ey) * k, (y1 - ey) * k, nearPlane, farPlane);
    }
    eTranslate(-ex, -ey, ez);
    eMatrixMode(aegl::MODELVIEW);
}

void GraphicsAEA::setLighting(bool lit, bool specularOn) {
    if (textureInUse) {
        // Environment textures follow the light, as on the screen.
        eMatrixMode(aegl::TEXTURE);
        eLoadIdentity();
        eRotate(lightAngleXToZ - 63.434948, 0, 1, 0);
        eRotate(lightAngleZToY - 114.09484, 1, 0, 0);
        eMatrixMode(aegl::MODELVIEW);
    }
    const float on[4] = {1, 1, 1, 1}, off[4] = {0, 0, 0, 1};
    eMaterial(aegl::FRONT_AND_BACK, aegl::SPECULAR, specularOn ? on : off);
    if (!lit) {
        eFrontFace(aegl::CCW);
        eDisable(aegl::COLOR_MATERIAL);
        eDisable(aegl::LIGHTING);
        eDisable(aegl::NORMALIZE);
        if (lightingSet_) lightPositionDirty = true;
        lightingSet_ = false;
        return;
    }
    if (lightPositionDirty) {
        // The light is fixed to the camera: its position is given in eye space.
        float position[4];
        lightPosition(position);
        eLight(aegl::LIGHT0, aegl::POSITION, position);
        lightPositionDirty = false;
    }
    eEnable(aegl::COLOR_MATERIAL);
    eEnable(aegl::LIGHTING);
    eEnable(aegl::NORMALIZE);
    eFrontFace(mirrored ? aegl::CW : aegl::CCW);
    lightingSet_ = true;
}

void GraphicsAEA::setCulling(CullingMode mode) {
    Graphics::setCulling(mode);
    cullingMode = mode;
    if (mode == CULL_BACK) {
        eCullFace(aegl::BACK);
        eEnable(aegl::CULL_FACE);
    } else if (mode == CULL_FRONT) {
        eCullFace(aegl::FRONT);
        eEnable(aegl::CULL_FACE);
    } else {
        eDisable(aegl::CULL_FACE);
    }
}

// ---- clip planes ---------------------------------------------------------------------------

void GraphicsAEA::enableClipPlane(int plane, const float p1[3], const float p2[3], const float p3[3], float offset) {
    if (plane < 0 || plane >= kNumClipPlanes) return;
    double eq[4];
    if (!planeFromPoints(p1, p2, p3, eq)) {
        eDisable(aegl::CLIP_PLANE0 + unsigned(plane));
        return;
    }
    eq[3] += offset;
    // The plane in window coordinates: object plane times the inverse of
    // (viewport x projection x model-view).  The sign is kept for every
    // point in front of the eye, so the inside stays the inside.
    double full[16], viewportMap[16], pm[16], inverse[16];
    MatrixStack::multiply(matrices_.matrix(MatrixStack::Projection), matrices_.matrix(MatrixStack::ModelView), pm);
    MatrixStack::identity(viewportMap);
    viewportMap[0] = viewport_[2] * 0.5;
    viewportMap[12] = viewport_[0] + viewport_[2] * 0.5;
    viewportMap[5] = viewport_[3] * 0.5;
    viewportMap[13] = viewport_[1] + viewport_[3] * 0.5;
    viewportMap[10] = 0.5;
    viewportMap[14] = 0.5;
    MatrixStack::multiply(viewportMap, pm, full);
    if (!MatrixStack::invert(full, inverse)) {
        eDisable(aegl::CLIP_PLANE0 + unsigned(plane));
        return;
    }
    double win[4];
    for (int c = 0; c < 4; ++c)
        win[c] = eq[0] * inverse[4 * c] + eq[1] * inverse[4 * c + 1] + eq[2] * inverse[4 * c + 2] +
                 eq[3] * inverse[4 * c + 3];
    const double scale = std::fabs(win[0]) + std::fabs(win[1]) + std::fabs(win[2]);
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        eDisable(aegl::CLIP_PLANE0 + unsigned(plane));
        return;
    }
    for (double& c : win) c /= scale;
    eClipPlaneWindow(plane, win);
    eEnable(aegl::CLIP_PLANE0 + unsigned(plane));
}

void GraphicsAEA::disableClipPlane(int plane) {
    if (plane >= 0 && plane < kNumClipPlanes) eDisable(aegl::CLIP_PLANE0 + unsigned(plane));
}

void GraphicsAEA::reenableClipPlane(int plane) {
    if (plane >= 0 && plane < kNumClipPlanes) eEnable(aegl::CLIP_PLANE0 + unsigned(plane));
}

// ---- projection of points -----------------------------------------------------------------------

bool GraphicsAEA::project(const double point[3], double window_[3]) {
    return MatrixStack::project(point[0], point[1], point[2], matrices_.matrix(MatrixStack::ModelView),
                                matrices_.matrix(MatrixStack::Projection), viewport_, &window_[0], &window_[1],
                                &window_[2]);
}

bool GraphicsAEA::unproject(const double window_[3], double point[3]) {
    return MatrixStack::unproject(window_[0], window_[1], window_[2], matrices_.matrix(MatrixStack::ModelView),
                                  matrices_.matrix(MatrixStack::Projection), viewport_, &point[0], &point[1],
                                  &point[2]);
}

bool GraphicsAEA::projectToFloat(const double point[3], float window_[3]) {
    double w[3] = {0, 0, 0};
    const bool ok = project(point, w);
    for (int i = 0; i < 3; ++i) window_[i] = float(w[i]);
    return ok;
}

bool GraphicsAEA::projectFloat(const float point[3], float window_[3]) { return Graphics::projectFloat(point, window_); }
bool GraphicsAEA::unprojectFloat(const float window_[3], float point[3]) {
    return Graphics::unprojectFloat(window_, point);
}
bool GraphicsAEA::unprojectToFloat(const double window_[3], float point[3]) {
    return Graphics::unprojectToFloat(window_, point);
}

// ---- matrices -------------------------------------------------------------------------------------

void GraphicsAEA::pushMatrix() { ePushMatrix(); }
void GraphicsAEA::popMatrix() { ePopMatrix(); }
void GraphicsAEA::loadIdentity() { eLoadIdentity(); }
void GraphicsAEA::scale(float x, float y, float z) { eScale(x, y, z); }
void GraphicsAEA::translate(float x, float y, float z) { eTranslate(x, y, z); }
void GraphicsAEA::rotate(float x, float y, float z, float angleDegrees) { eRotate(angleDegrees, x, y, z); }
void GraphicsAEA::multMatrix(const float* matrix) {
    if (!matrix) return;
    double m[16];
    for (int i = 0; i < 16; ++i) m[i] = matrix[i];
    eMultMatrix(m);
}

// ---- the seven operations: base behaviour ----------------------------------------------------------

void GraphicsAEA::clearBuffers(unsigned) {}
void GraphicsAEA::drawPixels(int, int, unsigned, unsigned, const unsigned char*) {}

void GraphicsAEA::setPixelRegion(int x, int y, int width, int height) {
    pixelRegion_[0] = x;
    pixelRegion_[1] = y;
    pixelRegion_[2] = width;
    pixelRegion_[3] = height;
}

void GraphicsAEA::fillFlatTriangle(const WinVertex&, const WinVertex&, const WinVertex&, const float[4]) {}

void GraphicsAEA::drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c) {
    const WinVertex* v[3] = {&a, &b, &c};
    const double area = 0.5 * ((double(b.x) - a.x) * (double(c.y) - a.y) - (double(c.x) - a.x) * (double(b.y) - a.y));
    if (area == 0.0 || !std::isfinite(area)) return;
    const double cx = (double(a.x) + b.x + c.x) / 3.0;
    // Colour at the centroid: along each median (vertex to the midpoint of
    // the opposite edge) at the centroid's x, the three averaged.
    float centre[4] = {0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const WinVertex& p = *v[i];
        const WinVertex& q = *v[(i + 1) % 3];
        const WinVertex& r = *v[(i + 2) % 3];
        const double mx = 0.5 * (double(q.x) + r.x);
        float mid[4];
        for (int k = 0; k < 4; ++k) mid[k] = 0.5f * (q.colour[k] + r.colour[k]);
        const double dx = mx - p.x;
        const double f = dx == 0.0 ? 1.0 : (cx - p.x) / dx;
        for (int k = 0; k < 4; ++k) centre[k] += float(p.colour[k] + (mid[k] - p.colour[k]) * f) / 3.0f;
    }
    auto distance = [](const float* x, const float* y) {
        const float d0 = x[0] - y[0], d1 = x[1] - y[1], d2 = x[2] - y[2];
        return d0 * d0 + d1 * d1 + d2 * d2;
    };
    // Below an eighth of a pixel nothing more can be seen: with both
    // tolerances 0 the subdivision would otherwise go on until the
    // coordinates collapse, in exponentially many pieces.
    bool flat = std::fabs(area) <= std::max(double(areaTolerance), kMinSubdivisionArea);
    if (!flat) {
        flat = true;
        for (int i = 0; i < 3 && flat; ++i) flat = distance(v[i]->colour, centre) <= colourTolerance;
    }
    if (flat) {
        fillFlatTriangle(a, b, c, centre);
        return;
    }
    // Split the edge whose end colours differ most (the earlier on a tie).
    int edge = 0;
    float most = -1.0f;
    for (int i = 0; i < 3; ++i) {
        const float d = distance(v[i]->colour, v[(i + 1) % 3]->colour);
        if (d > most) {
            most = d;
            edge = i;
        }
    }
    const WinVertex& e0 = *v[edge];
    const WinVertex& e1 = *v[(edge + 1) % 3];
    const WinVertex& other = *v[(edge + 2) % 3];
    const WinVertex mid = DepthSorter::interpolate(e0, e1, 0.5);
    drawShadedTriangle(e0, mid, other);
    drawShadedTriangle(mid, e1, other);
}
