#include "output/GraphicsVRML.h"

#include <algorithm>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "link/RecordFile.h"
#include "render/StrokeFont.h"
#include "scene/GraphicData.h"
#include "viewer/vkoViewer.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr size_t kFlushSize = 1 << 16;

using WritableFace = GraphicsVRML::WritableFace;

// The faces that can be written: at least three vertices, every index in
// range, inside the entry list.  Face numbers stay those of the input so
// per-face values keep their faces.
std::vector<WritableFace> writableFaces(const int* entries, int numEntries, int numFaces, int numVertices) {
    std::vector<WritableFace> out;
    if (!entries) return out;
    int at = 0;
    for (int face = 0; face < numFaces; ++face) {
        if (at >= numEntries || entries[at] < 0 || at + entries[at] >= numEntries) break;
        const int n = entries[at];
        const int* v = entries + at + 1;
        bool ok = n >= 3;
        for (int i = 0; ok && i < n; ++i) ok = v[i] >= 0 && v[i] < numVertices;
        if (ok) out.push_back({face, v, n});
        at += n + 1;
    }
    return out;
}

bool segmentValid(const int* segments, int s, int numVertices) {
    const int a = segments[2 * s], b = segments[2 * s + 1];
    return a >= 0 && b >= 0 && a < numVertices && b < numVertices;
}

// The segments whose ends are both vertices.
std::vector<int> validSegments(const int* segments, int count, int numVertices) {
    std::vector<int> valid;
    for (int s = 0; s < count; ++s)
        if (segmentValid(segments, s, numVertices)) valid.push_back(s);
    return valid;
}

// Height, angle and alignment of text i, with the defaults for missing values.
struct TextStyle {
    float height;
    float angle;
    int alignment;
};

TextStyle textStyle(const TextsRecord& texts, int i) {
    const size_t k = size_t(i);
    return {k < texts.heights.size() ? texts.heights[k] : 0.05f, k < texts.angles.size() ? texts.angles[k] : 0.0f,
            k < texts.alignments.size() ? texts.alignments[k] : 0};
}

// Texture coordinates of the planar projection: the plane axes follow the
// projection direction, one image (corrected for its aspect) per size,
// turned by the angle, the origin at the image centre.
void planarCoordinates(const TextureRecord& t, const float v[3], float st[2]) {
    double s[3], tt[3];
    Graphics::planarTextureAxes(t.direction, s, tt);
    const double s0 = s[0] * v[0] + s[1] * v[1] + s[2] * v[2] - t.origin[0];
    const double t0 = tt[0] * v[0] + tt[1] * v[1] + tt[2] * v[2] - t.origin[1];
    const double a = t.angle * kPi / 180.0, ca = std::cos(a), sa = std::sin(a);
    const double size = t.size != 0.0f ? t.size : 1.0;
    const double aspect = t.height > 0 ? double(t.width) / double(t.height) : 1.0;
    st[0] = float(0.5 + (ca * s0 - sa * t0) / size);
    st[1] = float(0.5 + (sa * s0 + ca * t0) * aspect / size);
}

// Label placement on the output window: the label's larger side spans its
// size of the window's shorter side.
constexpr double kOverlayHalf = 0.999;

}  // namespace

GraphicsVRML::GraphicsVRML(const Graphics& from, const std::string& fileName) : fileName_(fileName) {
    copyStateFrom(from);
    windowWidth = kWindowSize;
    windowHeight = kWindowSize;
    pixelRectangle(viewportLeft, viewportBottom, viewportWidth, viewportHeight, viewportPixels);
    noLists = true;
}

GraphicsVRML::~GraphicsVRML() { closeFile(false); }

// ---- the file ---------------------------------------------------------------

void GraphicsVRML::put(const char* text) {
    if (!frameOpen_) return;
    buffer_ += text;
    flushBuffer(false);
}

void GraphicsVRML::putf(const char* format, ...) {
    if (!frameOpen_) return;
    char small[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        failed_ = true;
        return;
    }
    if (size_t(n) < sizeof small) {
        buffer_.append(small, size_t(n));
    } else {
        std::string big(size_t(n) + 1, '\0');
        va_start(args, format);
        std::vsnprintf(big.data(), big.size(), format, args);
        va_end(args);
        big.resize(size_t(n));
        buffer_ += big;
    }
    flushBuffer(false);
}

void GraphicsVRML::flushBuffer(bool force) {
    if (buffer_.size() < kFlushSize && !force) return;
    if (!failed_ && !(replacing_ && recordfile::WriteAll(replacing_->fd(), buffer_))) failed_ = true;
    buffer_.clear();
}

void GraphicsVRML::closeFile(bool keep) {
    if (!frameOpen_) return;
    frameOpen_ = false;
    bool ok = false;
    if (keep) {
        flushBuffer(true);
        ok = !failed_ && replacing_->Commit();
    }
    if (!ok && replacing_) replacing_->Discard();
    replacing_.reset();
    buffer_.clear();
    defined_.clear();
    written_ = ok;
}

bool GraphicsVRML::define(const std::string& name) { return defined_.insert(name).second; }

std::string GraphicsVRML::name3D(const char* what) const {
    // The reduced mesh has vertices of its own: its nodes must not take the
    // names of the full mesh, which the object's lines and points use.
    const char* reduced = (dimension_ == '3' && currentKind == LIST_REDUCED_FACES) ? "R" : "";
    char text[96];
    std::snprintf(text, sizeof text, "my%cd%d%s%s", dimension_, currentObject, reduced, what);
    return text;
}

std::string GraphicsVRML::switchName(const char* prefix, const char* what) const {
    char text[128];
    std::snprintf(text, sizeof text, "%s%d_%d_%d%s", prefix, currentObject, currentCopy, currentElement, what);
    return text;
}

// ---- frame --------------------------------------------------------------------

bool GraphicsVRML::beginFrame(int index, bool clear) {
    Graphics::beginFrame(index, clear);
    closeFile(false);
    written_ = false;
    if (fileName_.empty()) return false;
    replacing_ = std::make_unique<recordfile::ReplacingFile>();
    if (replacing_->Open(fileName_.c_str()) < 0) {
        replacing_.reset();
        return false;
    }
    frameOpen_ = true;
    failed_ = false;
    buffer_.clear();
    defined_.clear();
    dimension_ = '3';
    currentScale_ = 1.0f;
    copyOpen_ = overlayOpen_ = elementOpen_ = false;
    writeHeader();
    return true;
}

void GraphicsVRML::endFrame() {
    if (!frameOpen_) return;
    closeFile(true);
    if (written_ && standAlone && owner) {
        char line[1200];
        std::snprintf(line, sizeof line, "\nViewport %d printed to file: %s\n", viewportIndex + 1,
                      fileName_.c_str());
        const size_t have = std::strlen(owner->outputMessage);
        std::snprintf(owner->outputMessage + have, sizeof owner->outputMessage - have, "%s", line);
    }
}

void GraphicsVRML::writeHeader() {
    const float ex = eyeOffset[0], ey = eyeOffset[1], ez = eyeOffset[2];
    put("#VRML V2.0 utf8\n");
    put("WorldInfo {\ntitle   \"KRV Viewer\"\ninfo [\n\"KRV VRML output\"\n]\n}\n");
    put("NavigationInfo {\ntype \"EXAMINE\"\nheadlight FALSE\n}\n");
    put("Viewpoint {\n");
    putf("fieldOfView %g\n", 2.0 * std::atan2(1.0, -double(ez)));
    put("jump TRUE\norientation 0 0 1 0\n");
    // (+ 0 turns a negated zero into a plain one)
    putf("position %g %g %g\n", -ex + 0.0f, -ey + 0.0f, -ez + 0.0f);
    put("}\n");
    putf("Background {\nskyColor %g %g %g\n}\n", backgroundColour1[0], backgroundColour1[1], backgroundColour1[2]);
    put("DEF myProximitySensor ProximitySensor {\nsize 6000 6000 6000\n}\n");
    put("DEF myNoRotateScript Script {\n"
        "eventIn SFRotation rotationFunc\n"
        "eventOut SFRotation outRotationValue\n"
        "url [\"javascript:\n"
        "function rotationFunc(value, time) {\n"
        "outRotationValue[0] = -value[0];\n"
        "outRotationValue[1] = -value[1];\n"
        "outRotationValue[2] = -value[2];\n"
        "outRotationValue[3] = -value[3];\n"
        "}\n"
        "\"]\n"
        "}\n"
        "ROUTE myProximitySensor.orientation_changed TO myNoRotateScript.rotationFunc\n");
    put("PROTO myButton [\n"
        "field SFVec3f translation 0 0 0\n"
        "field MFString string \"Button\"\n"
        "field SFFloat size 2.7\n"
        "eventOut SFTime touchTime\n"
        "]\n"
        "{\n"
        "Transform {\n"
        "translation IS translation\n");
    putf("scale %g %g 1\n", 0.0035, 0.0035);
    put("children [\n"
        "DEF myTouchSensor TouchSensor {}\n"
        "DEF myBox Transform {\n"
        "translation .5 .35 -.001\n"
        "scale 1 1 1\n"
        "children [\n"
        "Shape {\n"
        "appearance Appearance {\n"
        "material Material {\n"
        "diffuseColor 0 0 0\n"
        "emissiveColor .3 .3 .3\n"
        "}\n"
        "}\n"
        "geometry Box {\n"
        "size 1 .7 .001\n"
        "}\n"
        "}\n"
        "]\n"
        "}\n"
        "Shape {\n"
        "appearance Appearance {\n"
        "material Material {\n"
        "diffuseColor 0 0 0\n"
        "emissiveColor 1 1 1\n"
        "}\n"
        "}\n"
        "geometry Text {\n"
        "string IS string\n"
        "fontStyle FontStyle {\n"
        "size 1\n"
        "family \"SANS\"\n"
        "style \"BOLD\"\n"
        "}\n"
        "}\n"
        "}\n"
        "]\n"
        "}\n"
        "DEF myTouchScript Script {\n"
        "eventIn SFTime touch\n"
        "eventOut SFTime touchTime IS touchTime\n"
        "field SFFloat size IS size\n"
        "field SFNode bNode USE myBox\n"
        "url [\"javascript:\n"
        "function touch( time ) {\n"
        "touchTime = time;\n"
        "}\n"
        "function initialize() {\n"
        "bNode.scale[0] = size;\n"
        "bNode.translation[0] = size / 2;\n"
        "}\n"
        "\"]\n"
        "}\n"
        "ROUTE myTouchSensor.touchTime TO myTouchScript.touch\n"
        "}\n");
    put("DEF myButtonTransform Transform {\n"
        "ROUTE myNoRotateScript.outRotationValue TO myButtonTransform.set_rotation\n"
        "ROUTE myProximitySensor.position_changed TO myButtonTransform.set_translation\n"
        "translation 0 0 0\n"
        "center 0 0 0\n"
        "rotation 0 0 1 0\n"
        "scale 1 1 1\n"
        "children [\n");
    float light[4];
    lightPosition(light);
    putf("PointLight {\nambientIntensity %g\ncolor %g %g %g\nlocation %g %g %g\n", 0.3, 1.0, 1.0, 1.0, light[0],
         light[1], light[2]);
    // The light stands for a directional one far away; a point light
    // reaches only its radius (100 by default), so without this line lit
    // faces stay black in browsers that honour it.
    putf("radius %g\n}\n", 2.0 * std::sqrt(double(light[0]) * light[0] + double(light[1]) * light[1] +
                                             double(light[2]) * light[2]));
    struct Button {
        const char* name;
        float x;
        const char* label;
        const char* size;
    };
    const Button buttons[3] = {{"myLineButton", -0.05f, "Lines", "2.2"},
                               {"myFaceButton", -0.04f, "Faces", "2.45"},
                               {"myBackdropButton", -0.03f, "Backdrop", "4.0"}};
    for (const Button& b : buttons) {
        putf("DEF %s myButton {\n", b.name);
        putf("translation %g %g %g\n", b.x, -0.049f, 0.05f * ez);
        putf("string [ \"%s\" ]\nsize %s\n}\n", b.label, b.size);
    }
    put("]\n}\n");
    put("DEF myLineScript Script {\n"
        "eventIn SFTime action\n"
        "eventOut SFInt32 lineChoice\n"
        "field SFBool state TRUE\n"
        "url [\"javascript:\n"
        "function action( time ) {\n"
        "state = ! state;\n"
        "lineChoice = state;\n"
        "}\n"
        "\"]\n"
        "}\n"
        "ROUTE myLineButton.touchTime TO myLineScript.action\n");
    put("DEF myFaceScript Script {\n"
        "eventIn SFTime action\n"
        "eventOut SFInt32 faceChoice\n"
        "field SFInt32 state 1\n"
        "url [\"javascript:\n"
        "function action( time ) {\n"
        "state = state + 1;\n"
        "if (state == 4) state = 0;\n"
        "faceChoice = state;\n"
        "}\n"
        "\"]\n"
        "}\n"
        "ROUTE myFaceButton.touchTime TO myFaceScript.action\n");
    put("DEF myBackdropScript Script {\n"
        "eventIn SFTime action\n"
        "eventOut SFInt32 backdropChoice\n"
        "field SFBool state FALSE\n"
        "url [\"javascript:\n"
        "function action( time ) {\n"
        "state = ! state;\n"
        "backdropChoice = state;\n"
        "}\n"
        "\"]\n"
        "}\n"
        "ROUTE myBackdropButton.touchTime TO myBackdropScript.action\n");
    float white[3] = {1.0f, 1.0f, 1.0f};
    convertColour(white);
    putf("DEF myDefaultLineColor Appearance {\nmaterial Material {\ndiffuseColor 0 0 0\nemissiveColor %g %g %g\n}\n}\n",
         white[0], white[1], white[2]);
}

// ---- matrices -------------------------------------------------------------------

void GraphicsVRML::pushMatrix() { stack_.push(); }
void GraphicsVRML::popMatrix() { stack_.pop(); }
void GraphicsVRML::loadIdentity() { stack_.loadIdentity(); }
void GraphicsVRML::scale(float x, float y, float z) { stack_.scale(x, y, z); }
void GraphicsVRML::translate(float x, float y, float z) { stack_.translate(x, y, z); }
void GraphicsVRML::rotate(float x, float y, float z, float angleDegrees) { stack_.rotate(angleDegrees, x, y, z); }
void GraphicsVRML::multMatrix(const float* matrix) {
    if (matrix) stack_.multMatrixFloat(matrix);
}

void GraphicsVRML::applyPlacement(float angle, const float axis[6], const float translation[3],
                                  const float* scaleCentre, const float* scaleFactors) {
    // The world must show the object where the viewer shows it: rotation
    // about the first axis point and scale about the centre, exactly as on
    // the screen (the base composes them on this renderer's own stack).
    Graphics::applyPlacement(angle, axis, translation, scaleCentre, scaleFactors);
}

void GraphicsVRML::writeCurrentTransform() {
    const double* m = stack_.matrix(MatrixStack::ModelView);
    double len[3];
    for (int c = 0; c < 3; ++c)
        len[c] = std::sqrt(m[4 * c] * m[4 * c] + m[4 * c + 1] * m[4 * c + 1] + m[4 * c + 2] * m[4 * c + 2]);
    float ax, ay, az, angle;
    MatrixStack::toAxisAngle(m, &ax, &ay, &az, &angle);
    putf("scale %g %g %g\n", len[0], len[1], len[2]);
    putf("translation %g %g %g\n", m[12], m[13], m[14]);
    putf("rotation %g %g %g %g\n", ax, ay, az, angle);
    currentScale_ = float(len[0]);
}

void GraphicsVRML::openCurrentTransform() {
    put("Transform {\n");
    writeCurrentTransform();
    put("children [\n");
}

// "# n faces" and the open coordIndex list (the caller closes it).
void GraphicsVRML::writeFaceIndices(const std::vector<WritableFace>& faces) {
    putf("# %d faces\n", int(faces.size()));
    put("coordIndex [\n");
    for (size_t i = 0; i < faces.size(); ++i) {
        if (i > 0) put(",\n");
        for (int k = 0; k < faces[i].count; ++k) putf("%d, ", faces[i].vertices[k]);
        put("-1");
    }
}

void GraphicsVRML::writeSegmentIndices(const int* segments, const std::vector<int>& valid) {
    putf("# %d vectors\n", int(valid.size()));
    put("coordIndex [\n");
    for (size_t i = 0; i < valid.size(); ++i) {
        if (i > 0) put(",\n");
        putf("%d, %d, -1", segments[2 * valid[i]], segments[2 * valid[i] + 1]);
    }
    put("\n]\n");
}

// ---- colours ------------------------------------------------------------------

bool GraphicsVRML::valueColour(float value, float rgb[3]) const {
    if (!lookupColour(value, rgb)) return false;
    convertColour(rgb);
    return true;
}

void GraphicsVRML::elementColour(float rgb[3]) const {
    if (colourMap && valueColour(currentElementValue, rgb)) return;
    std::copy(backgroundColour1, backgroundColour1 + 3, rgb);
}

int GraphicsVRML::faceChoice() const {
    if (!lighting) return 3;
    return transparent ? 2 : 1;
}

// ---- copies, elements, overlays ------------------------------------------------

void GraphicsVRML::beginCopy(int copyIndex) {
    Graphics::beginCopy(copyIndex);
    copyOpen_ = false;
    if (!writing()) return;
    copyOpen_ = true;
    const TextureRecord* t = textureInUse ? texture : nullptr;
    if (!(t && t->isBackdrop())) {
        openCurrentTransform();
        return;
    }
    // A backdrop follows the viewer: it moves with the viewer's position,
    // and the fixed kind also undoes the viewer's rotation.
    put("DEF myBackdropTransform Transform {\n");
    put("ROUTE myProximitySensor.position_changed TO myBackdropTransform.set_translation\n");
    double f = 1.0;
    if (t->kind == TEXTURE_BACKDROP_FIXED) {
        put("ROUTE myNoRotateScript.outRotationValue TO myBackdropTransform.set_rotation\n");
        const int lo = std::min(t->width, t->height), hi = std::max(t->width, t->height);
        if (lo > 0) f = double(hi) / double(lo);
    }
    putf("scale %g %g %g\n", 0.13 * f, 0.13 * f, 0.13);
    if (t->kind == TEXTURE_BACKDROP_ROTATING) {
        // Turned upright on a copy: the matrix stays as the object pass left it.
        MatrixStack turned;
        turned.multMatrix(stack_.matrix(MatrixStack::ModelView));
        turned.rotate(-90.0, 1.0, 0.0, 0.0);
        float ax, ay, az, angle;
        MatrixStack::toAxisAngle(turned.matrix(MatrixStack::ModelView), &ax, &ay, &az, &angle);
        putf("rotation %g %g %g %g\n", ax, ay, az, angle);
    }
    put("children [\n");
}

void GraphicsVRML::endCopy() {
    if (copyOpen_) put("]\n}\n");
    copyOpen_ = false;
}

void GraphicsVRML::beginPrimitiveCopy(int copyIndex) { Graphics::beginCopy(copyIndex); }

void GraphicsVRML::setPickElement(int element, float value) {
    Graphics::setPickElement(element, value);
    elementOpen_ = false;
    if (!writing()) return;
    elementOpen_ = true;
    openCurrentTransform();
}

void GraphicsVRML::endPickElement() {
    if (elementOpen_) put("]\n}\n");
    elementOpen_ = false;
}

void GraphicsVRML::beginOverlayPass(int pass) {
    Graphics::beginOverlayPass(pass);
    overlayOpen_ = false;
    if (!writing()) return;
    overlayOpen_ = true;
    putf("DEF myStaticOverlay%dTransform Transform {\n", pass);
    putf("ROUTE myProximitySensor.position_changed TO myStaticOverlay%dTransform.set_translation\n", pass);
    putf("ROUTE myNoRotateScript.outRotationValue TO myStaticOverlay%dTransform.set_rotation\n", pass);
    writeCurrentTransform();
    put("children [\nTransform {\n");
    putf("translation %g %g %g\n", 0.05f * eyeOffset[0], 0.05f * eyeOffset[1], 0.05f * eyeOffset[2]);
    putf("scale %g %g 1\n", 0.05, 0.05);
    put("children [\n");
    currentScale_ = 1.0f;
}

void GraphicsVRML::endOverlayPass() {
    if (overlayOpen_) put("]\n}\n]\n}\n");
    overlayOpen_ = false;
}

// ---- geometry nodes -------------------------------------------------------------

bool GraphicsVRML::textureExported() const {
    const TextureRecord* t = textureInUse ? texture : nullptr;
    return t && (t->kind == TEXTURE_PLANAR || t->isBackdrop()) && t->width > 0 && t->height > 0 &&
           t->pixels.size() >= size_t(t->width) * size_t(t->height) * 4u;
}

void GraphicsVRML::writeTexture(const std::string& name) {
    const TextureRecord& t = *texture;
    putf("DEF %s PixelTexture {\n", name.c_str());
    putf("image %d %d 3", t.width, t.height);
    const size_t n = size_t(t.width) * size_t(t.height);
    for (size_t i = 0; i < n; ++i) {
        if (i % 8 == 0) put("\n");
        const unsigned char* p = &t.pixels[4 * i];
        putf("0x%02x%02x%02x ", p[0], p[1], p[2]);
    }
    put(t.repeat ? "\nrepeatS TRUE\nrepeatT TRUE\n" : "\nrepeatS FALSE\nrepeatT FALSE\n");
    put("}\n");
}

void GraphicsVRML::writeTextureCoordinates(const std::string& name, const FaceSet& f) {
    const TextureRecord& t = *texture;
    putf("DEF %s TextureCoordinate {\n", name.c_str());
    putf("# %d vertices\n", f.numVertices);
    put("point [\n");
    // A backdrop is a grid of n rows and m columns of quads (two triangles
    // each); the rotating kind is twice as wide.
    const int rows = std::max(1, int(std::sqrt(double(f.numFaces) / 2.0) + 0.5));
    const int columns = t.kind == TEXTURE_BACKDROP_ROTATING ? 2 * rows : rows;
    for (int i = 0; i < f.numVertices; ++i) {
        if (i > 0) put(",\n");
        float st[2];
        if (t.kind == TEXTURE_PLANAR) {
            planarCoordinates(t, f.vertices + 3 * i, st);
        } else {
            st[0] = float(i % (columns + 1)) / float(columns);
            st[1] = float(i / (columns + 1)) / float(rows);
        }
        putf("%g %g", st[0], st[1]);
    }
    if (t.kind == TEXTURE_BACKDROP_FIXED)
        for (int i = 0; i < f.numVertices; ++i) put(",\n0 0");
    put("\n]\n}\n");
}

void GraphicsVRML::writeCoordinates(const std::string& name, int count, const float* v, bool mirrorCopy) {
    putf("DEF %s Coordinate {\n", name.c_str());
    putf("# %d vertices\n", count);
    put("point [\n");
    for (int i = 0; i < count; ++i) {
        if (i > 0) put(",\n");
        putf("%g %g %g", v[3 * i], v[3 * i + 1], v[3 * i + 2]);
    }
    if (mirrorCopy)
        for (int i = 0; i < count; ++i) putf(",\n%g %g %g", v[3 * i], v[3 * i + 1], -v[3 * i + 2]);
    put("\n]\n}\n");
}

bool GraphicsVRML::writeVertexColours(const std::string& name, int count, float single, const float* values) {
    if (!colourMap || !(single >= 0.0f || values)) return false;
    if (!define(name)) return true;
    putf("DEF %s Color {\n", name.c_str());
    put("color [\n");
    for (int i = 0; i < count; ++i) {
        if (i > 0) put(",\n");
        float rgb[3] = {1.0f, 1.0f, 1.0f};
        if (!valueColour(single >= 0.0f ? single : values[i], rgb)) convertColour(rgb);
        putf("%g %g %g", rgb[0], rgb[1], rgb[2]);
    }
    put("\n]\n}\n");
    return true;
}

void GraphicsVRML::writeLitShape(const std::string& geometry, const std::string& textureName,
                                 const float* emissive, bool transparentChoice, float transparencyValue) {
    put("Shape {\nappearance Appearance {\nmaterial Material {\n");
    putf("ambientIntensity %g\n", 0.3);
    putf("diffuseColor %g %g %g\n", 1.0, 1.0, 1.0);
    if (emissive) putf("emissiveColor %g %g %g\n", emissive[0], emissive[1], emissive[2]);
    if (specular) {
        putf("shininess %g\n", 0.78125);
        putf("specularColor %g %g %g\n", 1.0, 1.0, 1.0);
    }
    if (transparentChoice) putf("transparency %g\n", transparencyValue);
    put("}\n");
    if (!textureName.empty()) putf("texture USE %s\n", textureName.c_str());
    put("}\n");
    putf("geometry USE %s\n", geometry.c_str());
    put("}\n");
}

bool GraphicsVRML::emitFaces(const FaceSet& f) {
    if (!writing() || f.numVertices <= 0 || !f.vertices || f.numFaces <= 0 || !f.faceEntries) return false;
    const bool textured = textureExported();
    const int kind = textured ? texture->kind : 0;
    const bool backdrop = textured && texture->isBackdrop();
    const std::string textureName = textured ? name3D("Txtre") : std::string();
    const std::string points = name3D("Pts"), colours = name3D("PtsClrs"), faceSet = name3D("IndexedFaceSet");

    if (textured && define(textureName)) writeTexture(textureName);
    if (textured && define(name3D("TxtrePts"))) writeTextureCoordinates(name3D("TxtrePts"), f);
    if (define(points)) writeCoordinates(points, f.numVertices, f.vertices, kind == TEXTURE_BACKDROP_FIXED);
    const bool vertexColourNode = writeVertexColours(colours, f.numVertices, f.vertexColour, f.vertexColours);

    if (define(faceSet)) {
        const std::vector<WritableFace> faces = writableFaces(f.faceEntries, f.numFaceEntries, f.numFaces,
                                                              kind == TEXTURE_BACKDROP_FIXED ? 2 * f.numVertices
                                                                                             : f.numVertices);
        putf("DEF %s IndexedFaceSet {\n", faceSet.c_str());
        if (textured) putf("texCoord USE %s\n", name3D("TxtrePts").c_str());
        put("solid FALSE\n");
        putf("creaseAngle %g\n", std::acos(std::clamp(double(creaseThreshold), -1.0, 1.0)));
        putf("coord USE %s\n", points.c_str());
        writeFaceIndices(faces);
        // The fixed backdrop's mirrored half: its first face again, shifted.
        if (kind == TEXTURE_BACKDROP_FIXED && !faces.empty()) {
            put(",\n");
            for (int k = 0; k < faces[0].count; ++k) putf("%d, ", faces[0].vertices[k] + 4);
            put("-1");
        }
        put("\n]\n");
        if (!textured) {
            const bool perVertex =
                vertexColourNode && f.faceColour < 0.0f && !f.faceColours && f.vertexColour < 0.0f && f.vertexColours;
            const bool anyColour = f.faceColour >= 0.0f || f.faceColours || f.vertexColour >= 0.0f || f.vertexColours;
            if (perVertex) {
                put("colorPerVertex TRUE\n");
                putf("color USE %s\n", colours.c_str());
            } else if (colourMap && anyColour) {
                put("colorPerVertex FALSE\ncolor Color {\ncolor [\n");
                for (size_t i = 0; i < faces.size(); ++i) {
                    if (i > 0) put(",\n");
                    const int face = faces[i].face;
                    float rgb[3] = {1.0f, 1.0f, 1.0f};
                    bool have = false;
                    if (f.faceColour >= 0.0f) have = valueColour(f.faceColour, rgb);
                    else if (f.faceColours && f.faceColours[face] >= 0.0f) have = valueColour(f.faceColours[face], rgb);
                    if (!have) {
                        // The mean of the converted colours of the face's vertices.
                        double sum[3] = {0, 0, 0};
                        int n = 0;
                        for (int k = 0; k < faces[i].count; ++k) {
                            const int v = faces[i].vertices[k];
                            const float value = f.vertexColour >= 0.0f ? f.vertexColour
                                                : f.vertexColours ? f.vertexColours[v]
                                                                  : -1.0f;
                            float c[3];
                            if (!valueColour(value, c)) continue;
                            for (int j = 0; j < 3; ++j) sum[j] += c[j];
                            ++n;
                        }
                        if (n > 0)
                            for (int j = 0; j < 3; ++j) rgb[j] = float(sum[j] / n);
                        else
                            convertColour(rgb);
                    }
                    putf("%g %g %g", rgb[0], rgb[1], rgb[2]);
                }
                put("\n]\n}\n");
            }
        }
        put("}\n");
    }

    if (dimension_ == '3') {
        const std::string name = switchName("my3d", backdrop ? "BackdropSwitch" : "FaceSwitch");
        if (!define(name)) {
            putf("USE %s\n", name.c_str());
            return true;
        }
        putf("DEF %s Switch {\n", name.c_str());
        if (backdrop) {
            putf("ROUTE myBackdropScript.backdropChoice TO %s.whichChoice\n", name.c_str());
            put("whichChoice 0\nchoice [\nShape {}\n");
        } else {
            putf("ROUTE myFaceScript.faceChoice TO %s.whichChoice\n", name.c_str());
            putf("whichChoice %d\n", faceChoice());
            put("choice [\nShape {}\n");
            writeLitShape(faceSet, textureName, nullptr, false, 0.0f);
            writeLitShape(faceSet, textureName, nullptr, true, f.transparency);
        }
    }
    put("Shape {\nappearance Appearance {\n");
    if (textured) putf("texture USE %s\n", textureName.c_str());
    put("}\n");
    putf("geometry USE %s\n", faceSet.c_str());
    put("}\n");
    if (dimension_ == '3') put("]\n}\n");
    return true;
}

bool GraphicsVRML::emitLines(const LineSet& l) {
    if (!writing() || l.numVertices <= 0 || !l.vertices || l.numSegments <= 0 || !l.segments) return false;
    // Lines always belong to the full mesh (the reduced kind has no lines).
    const std::string points = name3D("Pts"), colours = name3D("PtsClrs");
    if (define(points)) writeCoordinates(points, l.numVertices, l.vertices, false);
    const bool vertexColourNode = writeVertexColours(colours, l.numVertices, l.vertexColour, l.vertexColours);

    const std::string name = switchName("my3d", "LineSwitch");
    if (!define(name)) {
        putf("USE %s\n", name.c_str());
        return true;
    }
    putf("DEF %s Switch {\n", name.c_str());
    putf("ROUTE myLineScript.lineChoice TO %s.whichChoice\n", name.c_str());
    put("whichChoice 1\nchoice [\nShape {}\nShape {\n");
    put(l.segmentColour < 0.0f && !l.segmentColours ? "appearance USE myDefaultLineColor\n"
                                                     : "appearance Appearance {}\n");
    char lineSetName[64];
    std::snprintf(lineSetName, sizeof lineSetName, "my3d%dIndexLineSet", currentObject);
    if (define(lineSetName)) {
        const std::vector<int> valid = validSegments(l.segments, l.numSegments, l.numVertices);
        putf("geometry DEF %s IndexedLineSet {\n", lineSetName);
        putf("coord USE %s\n", points.c_str());
        writeSegmentIndices(l.segments, valid);
        const bool anyColour =
            l.segmentColour >= 0.0f || l.segmentColours || l.vertexColour >= 0.0f || l.vertexColours;
        if (vertexColourNode && l.smooth && l.vertexColours) {
            put("colorPerVertex TRUE\n");
            putf("color USE %s\n", colours.c_str());
        } else if (colourMap && anyColour) {
            put("colorPerVertex FALSE\ncolor Color {\ncolor [\n");
            for (size_t i = 0; i < valid.size(); ++i) {
                if (i > 0) put(",\n");
                const int s = valid[i];
                float rgb[3] = {1.0f, 1.0f, 1.0f};
                bool have = false;
                if (l.segmentColour >= 0.0f) have = valueColour(l.segmentColour, rgb);
                else if (l.segmentColours && l.segmentColours[s] >= 0.0f) have = valueColour(l.segmentColours[s], rgb);
                else if (l.vertexColour >= 0.0f) have = valueColour(l.vertexColour, rgb);
                if (!have && l.vertexColours) {
                    float a[3], b[3];
                    const bool ha = valueColour(l.vertexColours[l.segments[2 * s]], a);
                    const bool hb = valueColour(l.vertexColours[l.segments[2 * s + 1]], b);
                    for (int j = 0; j < 3; ++j) rgb[j] = ha && hb ? 0.5f * (a[j] + b[j]) : ha ? a[j] : hb ? b[j] : rgb[j];
                    have = ha || hb;
                }
                if (!have) convertColour(rgb);
                putf("%g %g %g", rgb[0], rgb[1], rgb[2]);
            }
            put("\n]\n}\n");
        }
        put("}\n");
    } else {
        putf("geometry USE %s\n", lineSetName);
    }
    put("}\n]\n}\n");
    return true;
}

void GraphicsVRML::writeSphere(const float point[3], float size, const float* colour, int choice) {
    // choice 0: the default line appearance; 1 lit, 2 lit and translucent,
    // 3 emissive only, each in `colour`.
    const float s = currentScale_ != 0.0f ? currentScale_ : 1.0f;
    put("Transform {\n");
    putf("translation %g %g %g\n", point[0], point[1], point[2]);
    put("children [\nShape {\n");
    if (choice == 0 || !colour) {
        put("appearance USE myDefaultLineColor\n");
    } else {
        put("appearance Appearance {\nmaterial Material {\n");
        if (choice == 3) {
            put("diffuseColor 0 0 0\n");
            putf("emissiveColor %g %g %g\n", colour[0], colour[1], colour[2]);
        } else {
            putf("ambientIntensity %g\n", 0.3);
            putf("diffuseColor %g %g %g\n", colour[0], colour[1], colour[2]);
            if (choice == 2) putf("transparency %g\n", 1.0f - alpha);
        }
        put("}\n}\n");
    }
    put("geometry Sphere {\n");
    putf("radius %g\n", size / (float(kWindowSize) * s));
    put("}\n}\n]\n}\n");
}

bool GraphicsVRML::emitPoints(const PointSet& p) {
    if (!writing() || p.count <= 0 || !p.vertices) return false;
    const std::string name = switchName("my3d", "PointSwitch");
    if (!define(name)) {
        putf("USE %s\n", name.c_str());
        return true;
    }
    putf("DEF %s Switch {\n", name.c_str());
    putf("ROUTE myFaceScript.faceChoice TO %s.whichChoice\n", name.c_str());
    put("whichChoice 1\nchoice [\nShape {}\nGroup {\nchildren [\n");
    const bool coloured = colourMap && (p.colour >= 0.0f || p.colourValues);
    for (int i = 0; i < p.count; ++i) {
        float rgb[3] = {1.0f, 1.0f, 1.0f};
        if (coloured && !valueColour(p.colour >= 0.0f ? p.colour : p.colourValues[i], rgb)) convertColour(rgb);
        writeSphere(p.vertices + 3 * i, p.size, coloured ? rgb : nullptr, coloured ? 3 : 0);
    }
    put("]\n}\n]\n}\n");
    return true;
}

// ---- generated primitives --------------------------------------------------------

bool GraphicsVRML::emitPrimitiveLines(const LineSet& l) {
    if (!writing() || l.numVertices <= 0 || !l.vertices || l.numSegments <= 0 || !l.segments) return false;
    char points[64], lineSet[64];
    std::snprintf(points, sizeof points, "myObj%dPts", currentObject);
    std::snprintf(lineSet, sizeof lineSet, "myObj%dIndexLineSet", currentObject);
    if (define(points)) writeCoordinates(points, l.numVertices, l.vertices, false);
    const std::string name = switchName("myObj", "LineSwitch");
    if (!define(name)) {
        putf("USE %s\n", name.c_str());
        return true;
    }
    float c[3];
    elementColour(c);
    putf("DEF %s Switch {\n", name.c_str());
    putf("ROUTE myLineScript.lineChoice TO %s.whichChoice\n", name.c_str());
    put("whichChoice 1\nchoice [\nShape {}\nShape {\n");
    put("appearance Appearance {\nmaterial Material {\ndiffuseColor 0 0 0\n");
    putf("emissiveColor %g %g %g\n", c[0], c[1], c[2]);
    put("}\n}\n");
    if (define(lineSet)) {
        const std::vector<int> valid = validSegments(l.segments, l.numSegments, l.numVertices);
        putf("geometry DEF %s IndexedLineSet {\n", lineSet);
        putf("coord USE %s\n", points);
        writeSegmentIndices(l.segments, valid);
        put("}\n");
    } else {
        putf("geometry USE %s\n", lineSet);
    }
    put("}\n]\n}\n");
    return true;
}

bool GraphicsVRML::emitPrimitiveFaces(const FaceSet& f) {
    if (!writing() || f.numVertices <= 0 || !f.vertices || f.numFaces <= 0 || !f.faceEntries) return false;
    char points[64], faceSet[64];
    std::snprintf(points, sizeof points, "myObj%dPts", currentObject);
    std::snprintf(faceSet, sizeof faceSet, "myObj%dIndexedFaceSet", currentObject);
    // The instance transform (the glyph's lines get theirs from setPickElement).
    openCurrentTransform();
    if (define(points)) writeCoordinates(points, f.numVertices, f.vertices, false);
    if (define(faceSet)) {
        const std::vector<WritableFace> faces =
            writableFaces(f.faceEntries, f.numFaceEntries, f.numFaces, f.numVertices);
        putf("DEF %s IndexedFaceSet {\n", faceSet);
        put("solid FALSE\n");
        putf("creaseAngle %g\n", std::acos(std::clamp(double(creaseThreshold), -1.0, 1.0)));
        putf("coord USE %s\n", points);
        writeFaceIndices(faces);
        put("\n]\n}\n");
    }
    const std::string name = switchName("myObj", "FaceSwitch");
    if (define(name)) {
        float c[3];
        elementColour(c);
        putf("DEF %s Switch {\n", name.c_str());
        putf("ROUTE myFaceScript.faceChoice TO %s.whichChoice\n", name.c_str());
        putf("whichChoice %d\n", faceChoice());
        put("choice [\nShape {}\n");
        writeLitShape(faceSet, std::string(), c, false, 0.0f);
        writeLitShape(faceSet, std::string(), c, true, f.transparency);
        put("Shape {\nappearance Appearance {\nmaterial Material {\ndiffuseColor 0 0 0\n");
        putf("emissiveColor %g %g %g\n", c[0], c[1], c[2]);
        put("}\n}\n");
        putf("geometry USE %s\n", faceSet);
        put("}\n]\n}\n");
    } else {
        putf("USE %s\n", name.c_str());
    }
    put("]\n}\n");
    return true;
}

void GraphicsVRML::drawPickVertex(int, const float point[3], float size) {
    if (!writing() || !point) return;
    openCurrentTransform();
    const std::string name = switchName("myObj", "PointSwitch");
    if (define(name)) {
        float c[3];
        elementColour(c);
        putf("DEF %s Switch {\n", name.c_str());
        putf("ROUTE myFaceScript.faceChoice TO %s.whichChoice\n", name.c_str());
        putf("whichChoice %d\n", faceChoice());
        put("choice [\nShape {}\n");
        for (int choice = 1; choice <= 3; ++choice) writeSphere(point, size, c, choice);
        put("]\n}\n");
    } else {
        putf("USE %s\n", name.c_str());
    }
    put("]\n}\n");
}

// ---- 2D items and texts ------------------------------------------------------------

void GraphicsVRML::writeText(const char* text, float size, float angle, int alignment, int font, float colour,
                             const float* position2D, float wrap) {
    const float h = 2.0f * size;
    const float s = currentScale_;
    put("Transform {\n");
    if (position2D) putf("translation %g %g 0\n", 2.0f * position2D[0] - 1.0f, 2.0f * position2D[1] - 1.0f);
    putf("scale %g %g %g\n", 1.2f * h, 1.42f * h, h);
    putf("rotation 0 0 1 %g\n", angle * kPi / 180.0);
    put("children [\nTransform {\n");
    putf("translation 0 %g 0\n", -2.84f * h * s);
    put("children [\nShape {\nappearance Appearance {\nmaterial Material {\ndiffuseColor 0 0 0\n");
    float rgb[3] = {1.0f, 1.0f, 1.0f};
    if (!valueColour(colour, rgb)) convertColour(rgb);
    putf("emissiveColor %g %g %g\n", rgb[0], rgb[1], rgb[2]);
    put("}\n}\ngeometry Text {\nfontStyle FontStyle {\n");
    putf("family \"%s\"\n", font == 0 ? "SERIF" : "SANS");
    putf("spacing %f\n", 0.95);
    put("justify ");
    put(alignment == 1 ? "\"MIDDLE\"\n" : alignment == 2 ? "\"END\"\n" : "\"BEGIN\"\n");
    put("}\n");
    put("string [\n\"");
    const int index = font == 0 ? 0 : std::min(1, fontCount - 1);
    const StrokeFont* f = (fonts && index >= 0 && index < fontCount) ? fonts[index] : nullptr;
    if (f && f->isLoaded() && text) {
        const std::vector<StrokeFont::Line> lines = f->layoutLines(text, wrap);
        const size_t length = std::strlen(text);
        std::string out;
        for (size_t li = 0; li < lines.size(); ++li) {
            if (li > 0) out += "\",\n\"";
            for (size_t i = lines[li].begin; i < lines[li].end && i < length;) {
                const char* p = text + i;
                unsigned char tag[3];
                int n = StrokeFont::colourTagLength(p, tag);
                if (!n) n = StrokeFont::colourEndLength(p);
                if (!n) n = StrokeFont::lineBreakLength(p);
                if (n) {
                    i += size_t(n);
                    continue;
                }
                const unsigned char c = static_cast<unsigned char>(*p);
                ++i;
                // The fonts have glyphs for printable ASCII only.
                if (c < 32 || c > 126) continue;
                if (c == '"' || c == '\\') out += '\\';
                out += char(c);
            }
        }
        put(out.c_str());
    }
    put("\"\n]\n");
    put("}\n}\n]\n}\n]\n}\n");
}

bool GraphicsVRML::emitText2D(int, const TextsRecord& texts) {
    if (!writing()) return false;
    const int n = std::min({texts.numTexts, int(texts.strings.size()), int(texts.positions.size() / 3)});
    // Wrap widths are viewport fractions; the font wraps in text units.
    float aspect = 1.0f;
    if (viewportWidth > 0.0f && viewportHeight > 0.0f && viewportWidth > viewportHeight)
        aspect = viewportWidth / viewportHeight;
    for (int i = 0; i < n; ++i) {
        const TextStyle style = textStyle(texts, i);
        const float width = i < int(texts.widths.size()) ? texts.widths[size_t(i)] : 0.0f;
        const float s = 2.0f * style.height;
        const float wrap = s != 0.0f ? 2.0f * width * aspect / std::fabs(s) : 0.0f;
        writeText(texts.strings[size_t(i)].c_str(), style.height, style.angle, style.alignment, texts.font,
                  texts.colour, &texts.positions[size_t(3 * i)], wrap);
    }
    return n > 0;
}

bool GraphicsVRML::emitText3D(int, const TextsRecord& texts) {
    if (!writing()) return false;
    const int n = std::min({texts.numTexts, int(texts.strings.size()), int(texts.positions.size() / 3)});
    const float s = currentScale_ != 0.0f ? currentScale_ : 1.0f;
    for (int i = 0; i < n; ++i) {
        const TextStyle style = textStyle(texts, i);
        const float* p = &texts.positions[size_t(3 * i)];
        put("Transform {\n");
        putf("translation %g %g %g\n", p[0], p[1], p[2]);
        put("children [\nBillboard {\naxisOfRotation 0 0 0\nchildren [\n");
        writeText(texts.strings[size_t(i)].c_str(), style.height / s, style.angle, style.alignment, texts.font,
                  texts.colour, nullptr, 0.0f);
        put("]\n}\n]\n}\n");
    }
    return n > 0;
}

bool GraphicsVRML::emitOverlayLines(const OverlayLineSet& l) {
    if (!writing() || !l.points || !l.segments || l.count <= 0) return false;
    const int numPoints = 2 * l.count;
    put("Shape {\n");
    put(l.colourValues ? "appearance Appearance {}\n" : "appearance USE myDefaultLineColor\n");
    put("geometry IndexedLineSet {\ncoord Coordinate {\n");
    putf("# %d vertices\n", numPoints);
    put("point [\n");
    for (int i = 0; i < numPoints; ++i) {
        if (i > 0) put(",\n");
        putf("%g %g %g", l.points[3 * i], l.points[3 * i + 1], l.points[3 * i + 2]);
    }
    put("\n]\n}\n");
    const std::vector<int> valid = validSegments(l.segments, l.count, numPoints);
    writeSegmentIndices(l.segments, valid);
    if (colourMap && l.colourValues) {
        put("colorPerVertex FALSE\ncolor Color {\ncolor [\n");
        for (size_t i = 0; i < valid.size(); ++i) {
            if (i > 0) put(",\n");
            float rgb[3] = {1.0f, 1.0f, 1.0f};
            if (!valueColour(l.colourValues[valid[i]], rgb)) convertColour(rgb);
            putf("%g %g %g", rgb[0], rgb[1], rgb[2]);
        }
        put("\n]\n}\n");
    }
    put("}\n}\n");
    return true;
}

bool GraphicsVRML::emitLabel(const LabelRecord& label) {
    if (!writing()) return false;
    const int numPoints = std::min(label.numPoints, int(label.points.size() / 2));
    float ext[4] = {0, 0, 0, 0};
    for (int i = 0; i < numPoints; ++i) {
        const float x = label.points[size_t(2 * i)], y = label.points[size_t(2 * i + 1)];
        if (i == 0) ext[0] = ext[2] = x, ext[1] = ext[3] = y;
        ext[0] = std::min(ext[0], x), ext[1] = std::min(ext[1], y);
        ext[2] = std::max(ext[2], x), ext[3] = std::max(ext[3], y);
    }
    const double extent = std::max(ext[2] - ext[0], ext[3] - ext[1]);
    const double fit = extent > 0 ? 1.0 / extent : 1.0;
    const double size = label.size != 0.0f ? label.size : 1.0;
    const double k = 2.0 * size * fit * kOverlayHalf;
    put("Transform {\n");
    putf("translation %g %g 0\n", (2.0 * label.position[0] - 1.0) * kOverlayHalf,
         (2.0 * label.position[1] - 1.0) * kOverlayHalf);
    putf("scale %g %g 1\n", k, k);
    put("children [\n");

    dimension_ = '2';
    std::vector<float> points3(size_t(3 * numPoints), 0.0f);
    for (int i = 0; i < numPoints; ++i) {
        points3[size_t(3 * i)] = label.points[size_t(2 * i)];
        points3[size_t(3 * i + 1)] = label.points[size_t(2 * i + 1)];
    }
    // Lines, then the white frame, as one overlay line set each.
    const int numSegs = std::min(label.numSegs, int(label.segs.size() / 2));
    if (numPoints > 0 && numSegs > 0) {
        std::vector<float> ends;
        std::vector<int> segs;
        std::vector<float> values;
        for (int s = 0; s < numSegs; ++s) {
            if (!segmentValid(label.segs.data(), s, numPoints)) continue;
            for (int e = 0; e < 2; ++e) {
                const int v = label.segs[size_t(2 * s + e)];
                ends.insert(ends.end(), {points3[size_t(3 * v)], points3[size_t(3 * v + 1)], 0.0f});
                segs.push_back(int(segs.size()));
            }
            values.push_back(size_t(s) < label.segValues.size() ? label.segValues[size_t(s)] : -1.0f);
        }
        OverlayLineSet lines;
        lines.points = ends.data();
        lines.count = int(values.size());
        lines.segments = segs.data();
        lines.colourValues = label.segValues.size() >= size_t(numSegs) ? values.data() : nullptr;
        emitOverlayLines(lines);
    }
    if (label.frameBox && numPoints > 0) {
        const float corners[24] = {ext[0], ext[1], 0, ext[2], ext[1], 0, ext[2], ext[1], 0, ext[2], ext[3], 0,
                                   ext[2], ext[3], 0, ext[0], ext[3], 0, ext[0], ext[3], 0, ext[0], ext[1], 0};
        const int segs[8] = {0, 1, 2, 3, 4, 5, 6, 7};
        OverlayLineSet frame;
        frame.points = corners;
        frame.count = 4;
        frame.segments = segs;
        emitOverlayLines(frame);
    }
    if (numPoints > 0 && label.numFaces > 0) {
        FaceSet faces;
        faces.numVertices = numPoints;
        faces.vertices = points3.data();
        faces.numFaces = label.numFaces;
        faces.numFaceEntries = int(label.faceEntries.size());
        faces.faceEntries = label.faceEntries.data();
        faces.faceColour = label.faceColour;
        if (label.faceValues.size() >= size_t(label.numFaces)) faces.faceColours = label.faceValues.data();
        const bool textured = textureInUse;
        textureInUse = false;
        emitFaces(faces);
        textureInUse = textured;
    }
    const int numTexts = std::min({label.numTexts, int(label.textStrings.size()), int(label.textPositions.size() / 2)});
    for (int t = 0; t < numTexts; ++t) {
        const float size = size_t(t) < label.textSizes.size() ? label.textSizes[size_t(t)] : label.textSize;
        const float angle = size_t(t) < label.textAngles.size() ? label.textAngles[size_t(t)] : 0.0f;
        const int alignment = size_t(t) < label.textAlignments.size() ? label.textAlignments[size_t(t)] : 0;
        put("Transform {\n");
        putf("translation %g %g 0\n", label.textPositions[size_t(2 * t)], label.textPositions[size_t(2 * t + 1)]);
        put("children [\n");
        writeText(label.textStrings[size_t(t)].c_str(), size, angle, alignment, label.textFont, label.textColour,
                  nullptr, 0.0f);
        put("]\n}\n");
    }
    dimension_ = '3';
    put("]\n}\n");
    return true;
}

bool GraphicsVRML::emitImage(const ImageRecord& image) {
    if (!writing() || !image.present() || image.pixels.size() < size_t(image.width) * size_t(image.height) * 4u)
        return false;
    // Placed as on a window of the output size: larger images shrink to fit,
    // the zoom is a power of two, the alignment picks the anchored corner.
    const double window = kWindowSize;
    const double fit = std::min({1.0, window / image.width, window / image.height});
    double zoom = (image.scale != 0.0f ? image.scale : 1.0) * fit;
    if (zoom > 0) zoom = std::pow(2.0, std::floor(std::log2(zoom) + 1e-9));
    const double pw = image.width * zoom, ph = image.height * zoom;
    const int horizontal = (image.alignment >> 2) & 3, vertical = image.alignment & 3;
    double dx = 0, dy = 0;
    if (horizontal == 2) dx = -pw;
    else if (horizontal == 3) dx = -pw / 2;
    if (vertical == 2) dy = -ph;
    else if (vertical == 3) dy = -ph / 2;
    const double unit = 2.0 / window;  // overlay units per pixel
    put("Transform {\n");
    putf("translation %g %g 0\n", (2.0 * image.position[0] - 1.0) * kOverlayHalf + dx * unit,
         (2.0 * image.position[1] - 1.0) * kOverlayHalf + dy * unit);
    putf("scale %g %g 1\n", pw * unit, ph * unit);
    put("children [\nShape {\nappearance Appearance {\ntexture PixelTexture {\n");
    putf("image %d %d 4", image.width, image.height);
    const size_t n = size_t(image.width) * size_t(image.height);
    for (size_t i = 0; i < n; ++i) {
        if (i % 4 == 0) put("\n");
        const unsigned char* p = &image.pixels[4 * i];
        unsigned char c[3] = {p[0], p[1], p[2]};
        if (image.colourConversion == 1) {
            float rgb[3] = {c[0] / 255.0f, c[1] / 255.0f, c[2] / 255.0f};
            convertColour(rgb);
            for (int j = 0; j < 3; ++j) c[j] = static_cast<unsigned char>(std::lround(rgb[j] * 255.0f));
        }
        putf("0x%02x%02x%02x%02x ", c[0], c[1], c[2], p[3]);
    }
    put("\nrepeatS FALSE\nrepeatT FALSE\n}\n}\n");
    put("geometry IndexedFaceSet {\ncoord Coordinate {\n# 4 vertices\npoint [\n");
    const int corners[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    for (const auto& c : corners) putf("%d %d 0\n", c[0], c[1]);
    put("]\n}\ncoordIndex [\n0, 1, 2, 3, -1\n]\nsolid FALSE\n");
    put("}\n}\n]\n}\n");
    return true;
}
