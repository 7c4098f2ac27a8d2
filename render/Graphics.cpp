#include "render/Graphics.h"

#include <algorithm>
#include <cmath>

#include "platform/MessageSink.h"
#include "scene/GraphicData.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Clamp to 0..1; NaN becomes 0 so a bad colour cannot reach the device.
float clampUnit(float v) {
    if (!(v > 0.0f)) return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

}  // namespace

const char* const Graphics::kOperationNames[Graphics::kNumOperations] = {
    "~Graphics", "setColour", "setColourValue", "getWindowSize", "setProjection", "setBackground", "chooseBuffer",
    "setLighting", "pickRectangle", "pickPolygon", "pickOnSegment", "pickDepthPoint", "isUsable", "finishFrame",
    "setViewport", "getViewport", "setScissor", "beginFrame", "endFrame", "drawAxis", "renderBorder",
    "paintBackground", "drawRuler", "enableClipPlane", "disableClipPlane", "reenableClipPlane", "findDepthNear",
    "projectToFloat", "projectFloat", "project", "unprojectFloat", "unprojectToFloat", "unproject", "rubberBand",
    "grabImage", "drawPoint", "drawLine", "drawSegmentValue", "drawFaceOutline", "drawPickPolygon",
    "drawMirrorPlane", "setColourMap", "coverage", "pushMatrix", "popMatrix", "loadIdentity", "scale", "translate",
    "rotate", "multMatrix", "applyPlacement", "setMirror", "reserved1", "beginOverlayList", "endOverlayList",
    "beginOverlayPass", "endOverlayPass", "beginOverlayCall", "endOverlayCall", "callOverlayItem",
    "deleteOverlayLists", "setCurrentObject", "compileOverlayLines", "emitOverlayLines", "compileText2D",
    "emitText2D", "compileLabel", "emitLabel", "compileImage", "emitImage", "afterObjectPass", "flushPass",
    "beginList", "endList", "compileText3D", "emitText3D", "compilePoints", "emitPoints", "compileLines",
    "emitLines", "compileFaces", "emitFaces", "deleteLists", "callList", "beginCall", "endCall", "beginCopy",
    "endCopy", "beginObjectPass", "endObjectPass", "beginPrimitiveList", "endPrimitiveList",
    "compilePrimitiveLines", "compilePrimitiveFaces", "deletePrimitiveLists", "beginPrimitiveCopy",
    "endPrimitiveCopy", "setPrimitiveColour", "endPrimitiveElement", "callPrimitiveList", "beginPrimitiveCall",
    "endPrimitiveCall", "beginPickCopy", "reserved2", "setPickElement", "endPickElement", "emitPrimitiveLines",
    "emitPrimitiveFaces", "drawPickVertex", "setCulling", "drawLine3D",
};

Graphics::Graphics(vkoViewer* owner_, GLWindow* window_) : owner(owner_), window(window_) {}

Graphics::~Graphics() = default;

// ---- colours -------------------------------------------------------------

void Graphics::setColour(const float[3], float) {}

void Graphics::setColourValue(float value) {
    if (value < 0.0f) return;
    if (value == currentColourValue && alpha == currentValueAlpha) return;
    float rgb[3];
    if (!lookupColour(value, rgb)) return;
    setColour(rgb, alpha);
    // setColour of a backend forgets the cached value; remember it after.
    currentColourValue = value;
    currentValueAlpha = alpha;
}

bool Graphics::lookupColour(float value, float rgb[3]) const {
    if (!(value >= 0.0f) || !colourMap || colourMapEntries <= 0) return false;
    const float* e = colourMap;
    int n = colourMapEntries;
    auto copy = [&](int i) {
        rgb[0] = e[4 * i + 1];
        rgb[1] = e[4 * i + 2];
        rgb[2] = e[4 * i + 3];
    };
    if (value <= e[0]) {
        copy(0);
        return true;
    }
    if (value >= e[4 * (n - 1)]) {
        copy(n - 1);
        return true;
    }
    // e[lo] < value < e[hi]
    int lo = 0, hi = n - 1;
    while (hi - lo > 1) {
        int mid = (lo + hi) / 2;
        float v = e[4 * mid];
        if (v == value) {
            copy(mid);
            return true;
        }
        if (v < value)
            lo = mid;
        else
            hi = mid;
    }
    float v0 = e[4 * lo], v1 = e[4 * hi];
    float t = (v1 > v0) ? (value - v0) / (v1 - v0) : 0.0f;
    for (int c = 0; c < 3; ++c) rgb[c] = e[4 * lo + 1 + c] + t * (e[4 * hi + 1 + c] - e[4 * lo + 1 + c]);
    return true;
}

void Graphics::convertColour(float rgb[3], bool forceReverse) const {
    if (colourPickMode) return;
    if ((reverseVideo || forceReverse) && luminance(backgroundColour2) > 0.998f && rgb[0] > 0.998f &&
        rgb[1] > 0.998f && rgb[2] > 0.998f) {
        rgb[0] = rgb[1] = rgb[2] = 0.0f;
        return;
    }
    float lum = luminance(rgb);
    if (outputColourMode == ColourGrey) {
        rgb[0] = rgb[1] = rgb[2] = lum;
    } else if (outputColourMode == ColourBlackWhite) {
        float v = (lum > 0.002f && luminance(backgroundColour1) <= 0.998f) ? 1.0f : 0.0f;
        rgb[0] = rgb[1] = rgb[2] = v;
    }
}

void Graphics::setColourMap(const float* entries, int numEntries) {
    colourMap = (entries && numEntries > 0) ? entries : nullptr;
    colourMapEntries = colourMap ? numEntries : 0;
    // The same value means a different colour in another map.
    currentColourValue = -1.0f;
    currentValueAlpha = -1.0f;
}

// ---- window, viewport, frame ------------------------------------------------

void Graphics::getWindowSize(int* width, int* height) {
    *width = windowWidth;
    *height = windowHeight;
}

void Graphics::setProjection(bool) {}

void Graphics::setBackground(int kind, const float colour1[3], const float colour2[3]) {
    backgroundKind = kind;
    for (int c = 0; c < 3; ++c) {
        backgroundColour1[c] = clampUnit(colour1[c]);
        backgroundColour2[c] = clampUnit(colour2[c]);
    }
    if (kind == 0)
        for (int c = 0; c < 3; ++c) backgroundColour2[c] = backgroundColour1[c];
}

void Graphics::chooseBuffer(int buffer) { drawBuffer = buffer; }

void Graphics::setLighting(bool, bool) {}

void Graphics::pickRectangle(int, int, int, int, bool) {}
void Graphics::pickPolygon(int, const int*, bool) {}
bool Graphics::pickOnSegment(const float[3], const float[3], float[3]) { return false; }
bool Graphics::pickDepthPoint(float[3]) { return false; }
bool Graphics::isUsable(int) { return true; }
void Graphics::finishFrame() {}

void Graphics::pixelRectangle(float left, float bottom, float width, float height, int rect[4]) const {
    int W = windowWidth, H = windowHeight;
    auto nearest = [](double v) { return static_cast<int>(v + 0.5); };
    rect[0] = nearest(left * double(W));
    rect[1] = nearest(bottom * double(H));
    rect[2] = nearest(width * double(W));
    rect[3] = nearest(height * double(H));
    if (W > 0 && rect[0] + rect[2] + 2 > W) rect[2] = W - rect[0];
    if (H > 0 && rect[1] + rect[3] + 2 > H) rect[3] = H - rect[1];
}

void Graphics::setViewport(float left, float bottom, float width, float height) {
    viewportLeft = left;
    viewportBottom = bottom;
    viewportWidth = width;
    viewportHeight = height;
    if (windowWidth > 0 && windowHeight > 0) pixelRectangle(left, bottom, width, height, viewportPixels);
}

void Graphics::getViewport(float* left, float* bottom, float* width, float* height) {
    *left = viewportLeft;
    *bottom = viewportBottom;
    *width = viewportWidth;
    *height = viewportHeight;
}

void Graphics::setScissor(float, float, float, float) {}

bool Graphics::beginFrame(int index, bool) {
    viewportIndex = index;
    pickCounter = 1;
    return true;
}

void Graphics::endFrame() {}
void Graphics::drawAxis(int) { setCulling(CULL_NO); }
void Graphics::renderBorder(bool) {}
void Graphics::paintBackground() {}
void Graphics::drawRuler(float) {}
void Graphics::enableClipPlane(int, const float[3], const float[3], const float[3], float) {}
void Graphics::disableClipPlane(int) {}
void Graphics::reenableClipPlane(int) {}
bool Graphics::findDepthNear(int, int, int, int, int*, int*, float*) { return false; }

// ---- projection -------------------------------------------------------------

bool Graphics::projectToFloat(const double point[3], float window_[3]) {
    float p[3] = {float(point[0]), float(point[1]), float(point[2])};
    return projectFloat(p, window_);
}

bool Graphics::projectFloat(const float point[3], float window_[3]) {
    double p[3] = {point[0], point[1], point[2]}, w[3] = {0, 0, 0};
    bool ok = project(p, w);
    for (int i = 0; i < 3; ++i) window_[i] = float(w[i]);
    return ok;
}

bool Graphics::project(const double[3], double[3]) { return false; }

bool Graphics::unprojectFloat(const float window_[3], float point[3]) {
    double w[3] = {window_[0], window_[1], window_[2]};
    return unprojectToFloat(w, point);
}

bool Graphics::unprojectToFloat(const double window_[3], float point[3]) {
    double p[3] = {0, 0, 0};
    bool ok = unproject(window_, p);
    for (int i = 0; i < 3; ++i) point[i] = float(p[i]);
    return ok;
}

bool Graphics::unproject(const double[3], double[3]) { return false; }

void Graphics::rubberBand(int, int, int) {}

std::vector<unsigned char> Graphics::grabImage(int* width, int* height) {
    *width = 0;
    *height = 0;
    return {};
}

// ---- immediate drawing ------------------------------------------------------

void Graphics::drawPoint(const float[3], float, float, float, float) {}
void Graphics::drawLine(const float[3], const float[3], float, float, float, float) {}
void Graphics::drawSegmentValue(const float[3], const float[3], float) {}
void Graphics::drawFaceOutline(int, const float*, const int*, int, float, float, float) {}
void Graphics::drawPickPolygon(int, const int*) {}
void Graphics::drawMirrorPlane(const float[9], const float[6]) {}
float Graphics::coverage(float) { return 0.0f; }

// ---- matrices ---------------------------------------------------------------

void Graphics::pushMatrix() {}
void Graphics::popMatrix() {}
void Graphics::loadIdentity() {}
void Graphics::scale(float, float, float) {}
void Graphics::translate(float, float, float) {}
void Graphics::rotate(float, float, float, float) {}
void Graphics::multMatrix(const float*) {}

void Graphics::applyPlacement(float angle, const float axis[6], const float translation[3], const float* scaleCentre,
                              const float* scaleFactors) {
    // Rotation (or scale) about a point.  Matching the point's window
    // position before and after the operation gives the same net effect but
    // fails wherever the point cannot be projected (behind the eye, no
    // window, a renderer without projection); translate, operate, translate
    // back is exact everywhere.
    auto aboutPoint = [this](const float point[3], auto&& op) {
        translate(point[0], point[1], point[2]);
        op();
        translate(-point[0], -point[1], -point[2]);
    };
    if (angle != 0.0f) {
        float dir[3] = {axis[3] - axis[0], axis[4] - axis[1], axis[5] - axis[2]};
        aboutPoint(axis, [&] { rotate(dir[0], dir[1], dir[2], angle); });
    }
    if (scaleCentre && scaleFactors &&
        (scaleFactors[0] != 1.0f || scaleFactors[1] != 1.0f || scaleFactors[2] != 1.0f)) {
        aboutPoint(scaleCentre, [&] { scale(scaleFactors[0], scaleFactors[1], scaleFactors[2]); });
    }
    translate(translation[0], translation[1], translation[2]);
}

bool Graphics::setMirror(const float p1[3], const float p2[3], const float p3[3]) {
    double u[3] = {double(p2[0]) - p1[0], double(p2[1]) - p1[1], double(p2[2]) - p1[2]};
    double v[3] = {double(p3[0]) - p1[0], double(p3[1]) - p1[1], double(p3[2]) - p1[2]};
    double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len == 0.0 || !std::isfinite(len)) return false;
    double theta = std::asin(std::min(1.0, std::sqrt(n[1] * n[1] + n[2] * n[2]) / len)) * 180.0 / kPi;
    if (n[0] > 0.0) theta = -theta;
    translate(p1[0], p1[1], p1[2]);
    rotate(0.0f, float(-n[2]), float(n[1]), float(-theta));
    scale(-1.0f, 1.0f, 1.0f);
    rotate(0.0f, float(-n[2]), float(n[1]), float(theta));
    translate(-p1[0], -p1[1], -p1[2]);
    lightPositionDirty = true;
    return true;
}

void Graphics::reserved1(float, float, float) {}

// ---- 2D items ---------------------------------------------------------------

void Graphics::beginOverlayList(int objectId, int overlayKind) {
    currentObject = objectId;
    currentKind = overlayKind;
}
void Graphics::endOverlayList() {}
void Graphics::beginOverlayPass(int pass) { overlayPass = pass; }
void Graphics::endOverlayPass() {}
void Graphics::beginOverlayCall(int objectId, int overlayKind) {
    currentObject = objectId;
    currentKind = overlayKind;
    setLighting(false, false);
    setCulling(CULL_NO);
}
void Graphics::endOverlayCall() {}
void Graphics::callOverlayItem(int, const OverlayPlacement&) {}
void Graphics::deleteOverlayLists(int objectId, int) { setCurrentObject(objectId); }
void Graphics::setCurrentObject(int objectId) { currentObject = objectId; }
void Graphics::compileOverlayLines(const OverlayLineSet&) {}
bool Graphics::emitOverlayLines(const OverlayLineSet&) { return false; }
void Graphics::compileText2D(int, const TextsRecord&) {}
bool Graphics::emitText2D(int, const TextsRecord&) { return false; }
void Graphics::compileLabel(const LabelRecord&) {}
bool Graphics::emitLabel(const LabelRecord&) { return false; }
void Graphics::compileImage(const ImageRecord&) {}
bool Graphics::emitImage(const ImageRecord&) { return false; }

// ---- object passes and lists ------------------------------------------------

void Graphics::afterObjectPass() {}
void Graphics::flushPass(int) {}

void Graphics::beginList(int objectId, int listKind, bool textured, const TextureRecord* texture_) {
    currentObject = objectId;
    currentKind = listKind;
    texture = texture_;
    textureInUse = textured && texture_ != nullptr;
}
void Graphics::endList() { textureInUse = false; }
void Graphics::compileText3D(int, const TextsRecord&) {}
bool Graphics::emitText3D(int, const TextsRecord&) { return false; }
void Graphics::compilePoints(const PointSet&) {}
bool Graphics::emitPoints(const PointSet&) { return false; }
void Graphics::compileLines(const LineSet&) {}
bool Graphics::emitLines(const LineSet&) { return false; }
void Graphics::compileFaces(const FaceSet&) {}
bool Graphics::emitFaces(const FaceSet&) { return false; }
void Graphics::deleteLists(int objectId, int) { currentObject = objectId; }
void Graphics::callList() {}

void Graphics::beginCall(int objectId, int listKind, bool transparent_, bool lighting_, bool specular_,
                         bool textured, const TextureRecord* texture_, int cullingMode_) {
    currentObject = objectId;
    currentKind = listKind;
    transparent = transparent_;
    lighting = lighting_;
    specular = specular_;
    texture = texture_;
    textureInUse = textured && texture_ != nullptr;
    cullingMode = cullingMode_;
    currentCopy = -1;
    setLighting(lighting_, specular_);
    setCulling(static_cast<CullingMode>(cullingMode_));
}
void Graphics::endCall() { textureInUse = false; }
void Graphics::beginCopy(int copyIndex) {
    currentCopy = copyIndex;
    currentElement = -1;
}
void Graphics::endCopy() {}
void Graphics::beginObjectPass() {}
void Graphics::endObjectPass(int) {}

void Graphics::beginPrimitiveList(int objectId, int primitiveKind, bool textured, const TextureRecord* texture_) {
    beginList(objectId, primitiveKind, textured, texture_);
}
void Graphics::endPrimitiveList() { textureInUse = false; }
void Graphics::compilePrimitiveLines(const LineSet&) {}
void Graphics::compilePrimitiveFaces(const FaceSet&) {}
void Graphics::deletePrimitiveLists(int objectId) { currentObject = objectId; }
void Graphics::beginPrimitiveCopy(int copyIndex) { beginCopy(copyIndex); }
void Graphics::endPrimitiveCopy() {}
void Graphics::setPrimitiveColour(int element, float colourValue) {
    currentElement = element;
    currentElementValue = colourValue;
}
void Graphics::endPrimitiveElement() {}
void Graphics::callPrimitiveList() {}

void Graphics::beginPrimitiveCall(int objectId, int primitiveKind, bool transparent_, bool lighting_, bool specular_,
                                  bool textured, const TextureRecord* texture_, int cullingMode_,
                                  float transparency) {
    beginCall(objectId, primitiveKind, transparent_, lighting_, specular_, textured, texture_, cullingMode_);
    alpha = 1.0f - transparency;
}
void Graphics::endPrimitiveCall() {
    alpha = 1.0f;
    textureInUse = false;
}
void Graphics::beginPickCopy(int copyIndex) { beginCopy(copyIndex); }
void Graphics::reserved2() {}
void Graphics::setPickElement(int element, float value) { setPrimitiveColour(element, value); }
void Graphics::endPickElement() {}
bool Graphics::emitPrimitiveLines(const LineSet&) { return false; }
bool Graphics::emitPrimitiveFaces(const FaceSet&) { return false; }
void Graphics::drawPickVertex(int, const float[3], float) {}
void Graphics::setCulling(CullingMode) {}
void Graphics::drawLine3D(const float[3], const float[3]) {}

// ---- helpers ----------------------------------------------------------------

void Graphics::lightPosition(float out[4]) const {
    double a = lightAngleXToZ * kPi / 180.0;
    double b = (lightAngleZToY - 90.0) * kPi / 180.0;
    out[0] = float(100000.0 * std::cos(a) * std::cos(b));
    out[1] = float(100000.0 * std::sin(b));
    out[2] = float(100000.0 * std::sin(a) * std::cos(b));
    out[3] = 0.0f;
}

void Graphics::setLightAngles(float angleXToZ, float angleZToY) {
    if (angleXToZ != lightAngleXToZ || angleZToY != lightAngleZToY) lightPositionDirty = true;
    lightAngleXToZ = angleXToZ;
    lightAngleZToY = angleZToY;
}

bool Graphics::planeFromPoints(const float p1[3], const float p2[3], const float p3[3], double plane[4]) {
    double u[3] = {double(p2[0]) - p1[0], double(p2[1]) - p1[1], double(p2[2]) - p1[2]};
    double v[3] = {double(p3[0]) - p1[0], double(p3[1]) - p1[1], double(p3[2]) - p1[2]};
    double a = u[1] * v[2] - u[2] * v[1];
    double b = u[2] * v[0] - u[0] * v[2];
    double c = u[0] * v[1] - u[1] * v[0];
    double sum = std::fabs(a) + std::fabs(b) + std::fabs(c);
    if (sum == 0.0 || !std::isfinite(sum)) {
        plane[0] = plane[1] = plane[2] = plane[3] = 0.0;
        return false;
    }
    double d = -(a * p1[0] + b * p1[1] + c * p1[2]);
    plane[0] = a / sum;
    plane[1] = b / sum;
    plane[2] = c / sum;
    plane[3] = d / sum;
    return true;
}

void Graphics::smoothNormal(int vertex, int face, const float* faceNormals, const int* vertexFaceStart,
                            const int* vertexFaces, float creaseThreshold_, float out[3]) {
    const float* nf = faceNormals + 3 * face;
    double n[3] = {nf[0], nf[1], nf[2]};
    const int* list = vertexFaces + vertexFaceStart[vertex];
    int count = list[0];
    for (int i = 1; i <= count; ++i) {
        int g = list[i];
        if (g == face) continue;
        const float* ng = faceNormals + 3 * g;
        if (ng[0] * nf[0] + ng[1] * nf[1] + ng[2] * nf[2] >= creaseThreshold_) {
            n[0] += ng[0];
            n[1] += ng[1];
            n[2] += ng[2];
        }
    }
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (len > 0.0) {
        n[0] /= len;
        n[1] /= len;
        n[2] /= len;
    }
    out[0] = float(n[0]);
    out[1] = float(n[1]);
    out[2] = float(n[2]);
}

void Graphics::planarTextureAxes(const float direction[3], double s[3], double t[3]) {
    double d[3] = {direction[0], direction[1], direction[2]};
    double dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (dl == 0.0) d[2] = dl = 1.0;
    for (double& c : d) c /= dl;
    double up[3] = {0, 1, 0};
    if (std::fabs(d[1]) > 0.9) up[1] = 0, up[2] = 1;
    s[0] = up[1] * d[2] - up[2] * d[1];
    s[1] = up[2] * d[0] - up[0] * d[2];
    s[2] = up[0] * d[1] - up[1] * d[0];
    double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    for (int i = 0; i < 3; ++i) s[i] /= sl;
    t[0] = d[1] * s[2] - d[2] * s[1];
    t[1] = d[2] * s[0] - d[0] * s[2];
    t[2] = d[0] * s[1] - d[1] * s[0];
    double tl = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
    for (int i = 0; i < 3; ++i) t[i] /= tl;
}

void Graphics::pickIdColour(int id, float rgb[3]) {
    rgb[0] = float((id >> 16) & 255) / 255.0f;
    rgb[1] = float((id >> 8) & 255) / 255.0f;
    rgb[2] = float(id & 255) / 255.0f;
}

int Graphics::allocatePickId() {
    if (pickCounter >= kPickIdLimit) {
        platform::ShowMessage(platform::MessageIcon::Error, "Error: Too many lines/faces/vertices to pick\n");
        pickColour[0] = pickColour[1] = pickColour[2] = 0.0f;
        return 0;
    }
    int id = pickCounter++;
    pickIdColour(id, pickColour);
    return id;
}

bool Graphics::addPickHit(const PickRecord& record) {
    if (static_cast<int>(pickHits.size()) >= kMaxPickHits) return false;
    auto at = std::upper_bound(pickHits.begin(), pickHits.end(), record,
                               [](const PickRecord& a, const PickRecord& b) { return a.depth < b.depth; });
    pickHits.insert(at, record);
    return true;
}

void Graphics::copyStateFrom(const Graphics& o) {
    owner = o.owner;
    window = o.window;
    fontCount = o.fontCount;
    fonts = o.fonts;
    std::copy(o.eyeOffset, o.eyeOffset + 3, eyeOffset);
    rulerScale = o.rulerScale;
    rulerUnits = o.rulerUnits;
    printTolerance = o.printTolerance;
    standAlone = o.standAlone;
    windowWidth = o.windowWidth;
    windowHeight = o.windowHeight;
    viewportLeft = o.viewportLeft;
    viewportBottom = o.viewportBottom;
    viewportWidth = o.viewportWidth;
    viewportHeight = o.viewportHeight;
    std::copy(o.viewportPixels, o.viewportPixels + 4, viewportPixels);
    viewportIndex = o.viewportIndex;
    setColourMap(o.colourMap, o.colourMapEntries);
    creaseThreshold = o.creaseThreshold;
    polygonMode = o.polygonMode;
    polygonOffset = o.polygonOffset;
    normalsMode = o.normalsMode;
    lightAngleXToZ = o.lightAngleXToZ;
    lightAngleZToY = o.lightAngleZToY;
    lightPositionDirty = true;
    backgroundKind = o.backgroundKind;
    std::copy(o.backgroundColour1, o.backgroundColour1 + 3, backgroundColour1);
    std::copy(o.backgroundColour2, o.backgroundColour2 + 3, backgroundColour2);
    outputColourMode = o.outputColourMode;
    reverseVideo = o.reverseVideo;
    std::copy(o.dataBounds, o.dataBounds + 6, dataBounds);
}

std::vector<unsigned char> Graphics::imagePixels(const ImageRecord& image) const {
    std::vector<unsigned char> px(image.pixels.begin(),
                                  image.pixels.begin() + std::ptrdiff_t(size_t(image.width) * image.height * 4));
    const unsigned char a = static_cast<unsigned char>(std::clamp(1.0f - image.transparency, 0.0f, 1.0f) * 255.0f);
    for (size_t i = 0; i < px.size(); i += 4) {
        if (image.colourConversion == 1) {
            float rgb[3] = {px[i] / 255.0f, px[i + 1] / 255.0f, px[i + 2] / 255.0f};
            convertColour(rgb);
            for (int c = 0; c < 3; ++c) px[i + size_t(c)] = static_cast<unsigned char>(std::lround(rgb[c] * 255.0f));
        }
        if (image.keyColour[0] >= 0 && px[i] == image.keyColour[0] && px[i + 1] == image.keyColour[1] &&
            px[i + 2] == image.keyColour[2])
            px[i + 3] = 0;
        else
            px[i + 3] = std::min(px[i + 3], a);
    }
    return px;
}
