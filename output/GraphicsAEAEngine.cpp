// The fixed-function engine of the software renderer: capabilities,
// matrices, lights, materials, texture state and the end of a primitive
// (texture coordinates, window transform, culling, polygon offset, lighting,
// merging, clipping, hand-over to drawing or to the deferred list).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "output/GraphicsAEA.h"

namespace {

void copy4(float* dst, const float* src, bool clamp) {
    for (int i = 0; i < 4; ++i) dst[i] = clamp ? std::clamp(src[i], 0.0f, 1.0f) : src[i];
}

int vertexOutcode(const WinVertex& v, const double box[4]) {
    int code = 0;
    if (v.x < box[0]) code |= 1;
    if (v.x >= box[0] + box[2]) code |= 2;
    if (v.y < box[1]) code |= 4;
    if (v.y >= box[1] + box[3]) code |= 8;
    if (v.z < 0.0f) code |= 16;
    if (v.z >= 1.0f) code |= 32;
    return code;
}

// Clips against one window-space plane (inside where the value is >= 0).
// Points go when their value is below minus their size; separate lines lose
// segments wholly outside and have their outside end moved to the plane;
// polygons are clipped by the Sutherland-Hodgman rule.
template <typename Value>
void clipAgainst(WinPrimitive& p, Value value) {
    std::vector<WinVertex>& v = p.vertices;
    if (p.kind == WIN_POINTS) {
        v.erase(std::remove_if(v.begin(), v.end(), [&](const WinVertex& x) { return value(x) < -p.size; }),
                v.end());
        return;
    }
    if (p.kind == WIN_LINES) {
        std::vector<WinVertex> out;
        out.reserve(v.size());
        for (size_t i = 0; i + 1 < v.size(); i += 2) {
            const double a = value(v[i]), b = value(v[i + 1]);
            if (a <= 0.0 && b <= 0.0) continue;
            WinVertex p0 = v[i], p1 = v[i + 1];
            if (a < 0.0) p0 = DepthSorter::interpolate(v[i], v[i + 1], a / (a - b));
            if (b < 0.0) p1 = DepthSorter::interpolate(v[i], v[i + 1], a / (a - b));
            out.push_back(p0);
            out.push_back(p1);
        }
        v.swap(out);
        return;
    }
    if (p.kind != WIN_POLYGON) return;  // strips and loops: pixels outside are dropped when written
    const size_t n = v.size();
    std::vector<WinVertex> out;
    out.reserve(n + 2);
    for (size_t i = 0; i < n; ++i) {
        const WinVertex& a = v[i];
        const WinVertex& b = v[(i + 1) % n];
        const double da = value(a), db = value(b);
        if (da >= 0.0) out.push_back(a);
        if ((da >= 0.0) != (db >= 0.0)) out.push_back(DepthSorter::interpolate(a, b, da / (da - db)));
    }
    v.swap(out);
}

}  // namespace

// ---- capabilities -----------------------------------------------------------------

bool* GraphicsAEA::capability(unsigned cap) {
    switch (cap) {
        case aegl::CULL_FACE: return &cullFace_;
        case aegl::BLEND: return &blend_;
        case aegl::COLOR_MATERIAL: return &colourMaterial_;
        case aegl::DEPTH_TEST: return &depthTest_;
        case aegl::LIGHTING: return &lighting_;
        case aegl::NORMALIZE: return &normalize_;
        case aegl::SCISSOR_TEST: return &scissorTest_;
        case aegl::TEXTURE_GEN_S: return &texGenS_;
        case aegl::TEXTURE_GEN_T: return &texGenT_;
        case aegl::TEXTURE_2D: return &texture2D_;
        case aegl::POLYGON_OFFSET_FILL: return &polygonOffsetFill_;
        default: break;
    }
    if (cap >= aegl::CLIP_PLANE0 && cap < aegl::CLIP_PLANE0 + kNumClipPlanes) return &clipEnabled_[cap - aegl::CLIP_PLANE0];
    if (cap >= aegl::LIGHT0 && cap < aegl::LIGHT0 + kNumLights) return &lightOn_[cap - aegl::LIGHT0];
    return nullptr;
}

const bool* GraphicsAEA::capability(unsigned cap) const { return const_cast<GraphicsAEA*>(this)->capability(cap); }

void GraphicsAEA::eEnable(unsigned cap) {
    if (bool* b = capability(cap)) *b = true;
    lightsDirty_ = true;
}
void GraphicsAEA::eDisable(unsigned cap) {
    if (bool* b = capability(cap)) *b = false;
    lightsDirty_ = true;
}
bool GraphicsAEA::eIsEnabled(unsigned cap) const {
    const bool* b = capability(cap);
    return b && *b;
}

// ---- current vertex state ---------------------------------------------------------

void GraphicsAEA::eColour(float r, float g, float b, float a) {
    colour_[0] = r;
    colour_[1] = g;
    colour_[2] = b;
    colour_[3] = blend_ ? a : 1.0f;
}
void GraphicsAEA::eNormal(float x, float y, float z) {
    normal_[0] = x;
    normal_[1] = y;
    normal_[2] = z;
}
void GraphicsAEA::eTexCoord(float s, float t) {
    texCoord_[0] = s;
    texCoord_[1] = t;
}

// ---- lights and materials ------------------------------------------------------------

void GraphicsAEA::eLight(unsigned light, unsigned pname, const float* params) {
    if (!params || light < aegl::LIGHT0 || light >= aegl::LIGHT0 + kNumLights) return;
    lightsDirty_ = true;
    Light& l = lights_[light - aegl::LIGHT0];
    switch (pname) {
        case aegl::AMBIENT: copy4(l.ambient, params, false); break;
        case aegl::DIFFUSE: copy4(l.diffuse, params, false); break;
        case aegl::SPECULAR: copy4(l.specular, params, false); break;
        case aegl::POSITION: copy4(l.position, params, false); break;
        case aegl::SPOT_DIRECTION: std::copy(params, params + 3, l.spotDirection); break;
        case aegl::SPOT_CUTOFF: l.spotCutoff = params[0]; break;
        default: break;
    }
}

void GraphicsAEA::eMaterial(unsigned face, unsigned pname, const float* params) {
    if (!params) return;
    lightsDirty_ = true;
    Material* targets[2] = {nullptr, nullptr};
    if (face == aegl::FRONT || face == aegl::FRONT_AND_BACK) targets[0] = &front_;
    if (face == aegl::BACK || face == aegl::FRONT_AND_BACK) targets[1] = &back_;
    for (Material* m : targets) {
        if (!m) continue;
        switch (pname) {
            case aegl::AMBIENT: copy4(m->ambient, params, true); break;
            case aegl::DIFFUSE: copy4(m->diffuse, params, true); break;
            case aegl::AMBIENT_AND_DIFFUSE:
                copy4(m->ambient, params, true);
                copy4(m->diffuse, params, true);
                break;
            case aegl::SPECULAR: copy4(m->specular, params, true); break;
            case aegl::EMISSION: copy4(m->emission, params, true); break;
            case aegl::SHININESS: m->shininess = std::clamp(static_cast<int>(params[0]), 0, 128); break;
            default: break;
        }
    }
}

void GraphicsAEA::eColourMaterial(unsigned face, unsigned mode) {
    colourMaterialFace_ = face;
    colourMaterialMode_ = mode;
    lightsDirty_ = true;
}

void GraphicsAEA::eLightModel(unsigned pname, const float* params) {
    if (!params) return;
    if (pname == aegl::LIGHT_MODEL_TWO_SIDE) twoSide_ = params[0] != 0.0f;
    else if (pname == aegl::LIGHT_MODEL_LOCAL_VIEWER) localViewer_ = params[0] != 0.0f;
    else if (pname == aegl::LIGHT_MODEL_AMBIENT) copy4(modelAmbient_, params, false);
}

// ---- texture state --------------------------------------------------------------------

void GraphicsAEA::eTexParameter(unsigned pname, unsigned value) {
    switch (pname) {
        case aegl::TEXTURE_MIN_FILTER: minFilter_ = value; break;
        case aegl::TEXTURE_MAG_FILTER: magFilter_ = value; break;
        case aegl::TEXTURE_WRAP_S: wrapS_ = value; break;
        case aegl::TEXTURE_WRAP_T: wrapT_ = value; break;
        default: return;
    }
    textureDirty_ = true;
}

void GraphicsAEA::eTexEnv(unsigned mode) {
    if (mode != aegl::MODULATE && mode != aegl::DECAL) return;
    envMode_ = mode;
    textureDirty_ = true;
}

void GraphicsAEA::eTexGenMode(unsigned coord, unsigned mode) {
    if (mode != aegl::EYE_LINEAR && mode != aegl::OBJECT_LINEAR && mode != aegl::SPHERE_MAP) return;
    if (coord == aegl::S) genModeS_ = mode;
    else if (coord == aegl::T) genModeT_ = mode;
}

void GraphicsAEA::eTexGenPlane(unsigned coord, unsigned pname, const double plane[4]) {
    if (!plane) return;
    double* target = nullptr;
    if (pname == aegl::OBJECT_PLANE) target = coord == aegl::S ? objectPlaneS_ : coord == aegl::T ? objectPlaneT_ : nullptr;
    else if (pname == aegl::EYE_PLANE) target = coord == aegl::S ? eyePlaneS_ : coord == aegl::T ? eyePlaneT_ : nullptr;
    if (target) std::copy(plane, plane + 4, target);
}

void GraphicsAEA::eTexImage2D(int level, unsigned, int width, int height, unsigned format, unsigned type,
                              const unsigned char* pixels) {
    if (level != 0) return;
    textureDirty_ = true;
    texImage_.clear();
    texWidth_ = texHeight_ = 0;
    // Only RGBA bytes are understood; anything else leaves no image.
    if (format != aegl::RGBA || type != aegl::UNSIGNED_BYTE || !pixels || width <= 0 || height <= 0) return;
    try {
        texImage_.assign(pixels, pixels + size_t(width) * size_t(height) * 4u);
    } catch (const std::bad_alloc&) {
        texImage_.clear();
        return;
    }
    texWidth_ = width;
    texHeight_ = height;
}

const WinTexture* GraphicsAEA::currentTexture() {
    if (!texture2D_ || texImage_.empty()) return nullptr;
    if (textureDirty_ || snapshots_.empty()) {
        try {
            auto snap = std::make_unique<WinTexture>();
            snap->width = texWidth_;
            snap->height = texHeight_;
            snap->rgba = texImage_;
            snap->minFilter = minFilter_;
            snap->magFilter = magFilter_;
            snap->wrapS = wrapS_;
            snap->wrapT = wrapT_;
            snap->envMode = envMode_;
            snapshots_.push_back(std::move(snap));
        } catch (const std::bad_alloc&) {
            return nullptr;  // this primitive goes untextured
        }
        textureDirty_ = false;
    }
    return snapshots_.back().get();
}

// ---- viewport, scissor, matrices ----------------------------------------------------------

void GraphicsAEA::eViewport(int x, int y, int width, int height) {
    const int W = std::max(1, imageWidth), H = std::max(1, imageHeight);
    viewport_[0] = std::clamp(x, 0, W - 1);
    viewport_[1] = std::clamp(y, 0, H - 1);
    viewport_[2] = std::clamp(width, 0, W);
    viewport_[3] = std::clamp(height, 0, H);
    matrices_.setViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
}

void GraphicsAEA::eScissor(int x, int y, int width, int height) {
    const int W = std::max(1, imageWidth), H = std::max(1, imageHeight);
    scissor_[0] = std::clamp(x, 0, W - 1);
    scissor_[1] = std::clamp(y, 0, H - 1);
    scissor_[2] = std::clamp(width, 0, W);
    scissor_[3] = std::clamp(height, 0, H);
}

void GraphicsAEA::matricesChanged() { derivedValid_ = false; }

void GraphicsAEA::eMatrixMode(unsigned mode) { matrices_.setModeGL(static_cast<int>(mode)); }
void GraphicsAEA::ePushMatrix() { matrices_.push(); }
void GraphicsAEA::ePopMatrix() {
    matrices_.pop();
    matricesChanged();
}
void GraphicsAEA::eLoadIdentity() {
    matrices_.loadIdentity();
    matricesChanged();
}
void GraphicsAEA::eTranslate(double x, double y, double z) {
    matrices_.translate(x, y, z);
    matricesChanged();
}
void GraphicsAEA::eRotate(double angle, double x, double y, double z) {
    matrices_.rotate(angle, x, y, z);
    matricesChanged();
}
void GraphicsAEA::eScale(double x, double y, double z) {
    matrices_.scale(x, y, z);
    matricesChanged();
}
void GraphicsAEA::eMultMatrix(const double m[16]) {
    if (!m) return;
    matrices_.multMatrix(m);
    matricesChanged();
}
void GraphicsAEA::eOrtho(double l, double r, double b, double t, double n, double f) {
    matrices_.ortho(l, r, b, t, n, f);
    matricesChanged();
}
void GraphicsAEA::eFrustum(double l, double r, double b, double t, double n, double f) {
    matrices_.frustum(l, r, b, t, n, f);
    matricesChanged();
}

void GraphicsAEA::updateDerived() {
    if (derivedValid_) return;
    MatrixStack::multiply(matrices_.matrix(MatrixStack::Projection), matrices_.matrix(MatrixStack::ModelView), mvp_);
    inverseValid_ = MatrixStack::invert(matrices_.matrix(MatrixStack::ModelView), inverseModelView_);
    if (!inverseValid_) MatrixStack::identity(inverseModelView_);
    derivedValid_ = true;
}

// ---- small state ----------------------------------------------------------------------------

void GraphicsAEA::ePolygonOffset(float factor, float units) {
    offsetFactor_ = factor;
    offsetUnits_ = units;
}
void GraphicsAEA::ePointSize(float size) {
    if (size > 0.0f) pointSize_ = size;
}
void GraphicsAEA::eLineWidth(float width) {
    if (width > 0.0f) lineWidth_ = width;
}
void GraphicsAEA::eFrontFace(unsigned mode) {
    if (mode == aegl::CW || mode == aegl::CCW) frontFace_ = mode;
}
void GraphicsAEA::eCullFace(unsigned mode) {
    if (mode == aegl::FRONT || mode == aegl::BACK || mode == aegl::FRONT_AND_BACK) cullMode_ = mode;
}
void GraphicsAEA::eBlendFunc(unsigned src, unsigned dst) {
    blendSrc_ = src;
    blendDst_ = dst;
}
void GraphicsAEA::eDepthFunc(unsigned func) { depthFunc_ = func; }
void GraphicsAEA::eClearColour(float r, float g, float b, float a) {
    clearColour_[0] = std::clamp(r, 0.0f, 1.0f);
    clearColour_[1] = std::clamp(g, 0.0f, 1.0f);
    clearColour_[2] = std::clamp(b, 0.0f, 1.0f);
    clearColour_[3] = std::clamp(a, 0.0f, 1.0f);
}
void GraphicsAEA::ePixelZoom(float x, float y) {
    zoom_[0] = x;
    zoom_[1] = y;
}
void GraphicsAEA::eClipPlaneWindow(int plane, const double eq[4]) {
    if (plane < 0 || plane >= kNumClipPlanes || !eq) return;
    std::copy(eq, eq + 4, clipPlanes_[plane]);
}

// ---- queries ----------------------------------------------------------------------------------

void GraphicsAEA::eGetInteger(unsigned pname, int* out) const {
    if (!out) return;
    switch (pname) {
        case aegl::VIEWPORT: std::copy(viewport_, viewport_ + 4, out); return;
        case aegl::SCISSOR_BOX: std::copy(scissor_, scissor_ + 4, out); return;
        case aegl::COLOR_CLEAR_VALUE:
            for (int i = 0; i < 4; ++i) out[i] = std::min(255, static_cast<int>(256.0f * clearColour_[i]));
            return;
        default: break;
    }
    const bool* b = capability(pname);
    if (b) *out = *b ? 1 : 0;
}

void GraphicsAEA::eGetFloat(unsigned pname, float* out) const {
    if (!out) return;
    switch (pname) {
        case aegl::LINE_WIDTH: *out = lineWidth_; return;
        case aegl::POINT_SIZE: *out = pointSize_; return;
        case aegl::ZOOM_X: *out = zoom_[0]; return;
        case aegl::ZOOM_Y: *out = zoom_[1]; return;
        default: break;
    }
    double d[16];
    eGetDouble(pname, d);
    const int n = (pname == aegl::MODELVIEW_MATRIX || pname == aegl::PROJECTION_MATRIX) ? 16 : 4;
    if (pname == aegl::MODELVIEW_MATRIX || pname == aegl::PROJECTION_MATRIX ||
        (pname >= aegl::CLIP_PLANE0 && pname < aegl::CLIP_PLANE0 + kNumClipPlanes))
        for (int i = 0; i < n; ++i) out[i] = static_cast<float>(d[i]);
}

void GraphicsAEA::eGetDouble(unsigned pname, double* out) const {
    if (!out) return;
    if (pname == aegl::MODELVIEW_MATRIX) matrices_.getMatrix(MatrixStack::ModelView, out);
    else if (pname == aegl::PROJECTION_MATRIX) matrices_.getMatrix(MatrixStack::Projection, out);
    else if (pname >= aegl::CLIP_PLANE0 && pname < aegl::CLIP_PLANE0 + kNumClipPlanes)
        std::copy(clipPlanes_[pname - aegl::CLIP_PLANE0], clipPlanes_[pname - aegl::CLIP_PLANE0] + 4, out);
}

// ---- primitives -------------------------------------------------------------------------------

void GraphicsAEA::eBegin(unsigned mode) {
    int kind;
    switch (mode) {
        case aegl::POINTS: kind = WIN_POINTS; break;
        case aegl::LINES: kind = WIN_LINES; break;
        case aegl::LINE_STRIP: kind = WIN_LINE_STRIP; break;
        case aegl::LINE_LOOP: kind = WIN_LINE_LOOP; break;
        case aegl::POLYGON: kind = WIN_POLYGON; break;
        default: return;  // other modes are not part of the engine
    }
    beginMode_ = mode;
    inBegin_ = true;
    current_.kind = kind;
    current_.vertices.clear();
    current_.size = kind == WIN_POINTS ? pointSize_ : lineWidth_;
}

void GraphicsAEA::eVertex(float x, float y, float z) {
    if (!inBegin_) return;
    try {
        WinVertex& v = current_.vertices.emplace_back();
        v.x = x;
        v.y = y;
        v.z = z;
        v.s = texCoord_[0];
        v.t = texCoord_[1];
        v.normal[0] = normal_[0];
        v.normal[1] = normal_[1];
        v.normal[2] = normal_[2];
        v.colour[0] = colour_[0];
        v.colour[1] = colour_[1];
        v.colour[2] = colour_[2];
        v.colour[3] = colour_[3];
    } catch (const std::bad_alloc&) {
        // the vertex is lost
    }
}

void GraphicsAEA::eEnd() {
    if (!inBegin_) return;
    inBegin_ = false;
    if (current_.vertices.empty()) return;
    finishPrimitive(current_);
}

void GraphicsAEA::texGen(WinVertex& v, const double eye[4], const float eyeNormal[3]) {
    const bool genS = texGenS_, genT = texGenT_;
    double st[2] = {v.s, v.t};
    for (int c = 0; c < 2; ++c) {
        if (!(c == 0 ? genS : genT)) continue;
        const unsigned mode = c == 0 ? genModeS_ : genModeT_;
        if (mode == aegl::OBJECT_LINEAR) {
            const double* p = c == 0 ? objectPlaneS_ : objectPlaneT_;
            st[c] = p[0] * v.x + p[1] * v.y + p[2] * v.z + p[3];
        } else if (mode == aegl::EYE_LINEAR) {
            const double* p = c == 0 ? eyePlaneS_ : eyePlaneT_;
            const float plane[4] = {float(p[0]), float(p[1]), float(p[2]), 1.0f};
            float q[4];
            MatrixStack::rowTransform(plane, inverseModelView_, q);
            st[c] = q[0] * v.x + q[1] * v.y + q[2] * v.z + q[3];
        } else {
            double u[3] = {eye[0], eye[1], eye[2]};
            const double ul = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
            if (ul > 0.0)
                for (double& x : u) x /= ul;
            double n[3] = {eyeNormal[0], eyeNormal[1], eyeNormal[2]};
            const double nl = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            if (nl > 0.0)
                for (double& x : n) x /= nl;
            const double nu = n[0] * u[0] + n[1] * u[1] + n[2] * u[2];
            const double r[3] = {u[0] - 2 * nu * n[0], u[1] - 2 * nu * n[1], u[2] - 2 * nu * n[2]};
            double m = 2.0 * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1.0) * (r[2] + 1.0));
            if (m == 0.0) m = 100000.0;
            st[c] = (c == 0 ? r[0] : r[1]) / m + 0.5;
        }
    }
    if (genS || genT) {
        const double in[4] = {st[0], st[1], 0.0, 1.0};
        double out[4];
        MatrixStack::transform(matrices_.matrix(MatrixStack::Texture), in, out);
        st[0] = out[0];
        st[1] = out[1];
    }
    v.s = static_cast<float>(st[0]);
    v.t = static_cast<float>(st[1]);
}

void GraphicsAEA::prepareLights() {
    if (!lightsDirty_) return;
    lightsDirty_ = false;
    litCount_ = 0;
    const float* specularC =
        colourMaterial_ && colourMaterialMode_ == aegl::SPECULAR ? nullptr : front_.specular;
    for (int l = 0; l < kNumLights - 1; ++l) {
        if (!lightOn_[l]) continue;
        const Light& light = lights_[l];
        ActiveLight& a = litLights_[litCount_++];
        a.light = &light;
        a.L[0] = light.position[0];
        a.L[1] = light.position[1];
        a.L[2] = light.position[2];
        if (normalize_) {
            const float len = std::sqrt(a.L[0] * a.L[0] + a.L[1] * a.L[1] + a.L[2] * a.L[2]);
            if (len > 0.0f)
                for (float& x : a.L) x /= len;
        }
        a.H[0] = a.L[0];
        a.H[1] = a.L[1];
        a.H[2] = a.L[2] + 1.0f;
        if (normalize_) {
            const float len = std::sqrt(a.H[0] * a.H[0] + a.H[1] * a.H[1] + a.H[2] * a.H[2]);
            if (len > 0.0f)
                for (float& x : a.H) x /= len;
        }
        // With the specular colour tracking the vertex colour, whether the
        // light shines is decided per vertex.
        a.shinyKnown = specularC != nullptr;
        a.shiny = specularC && (specularC[0] * light.specular[0] != 0.0f || specularC[1] * light.specular[1] != 0.0f ||
                                specularC[2] * light.specular[2] != 0.0f);
    }
}

void GraphicsAEA::lightVertex(WinVertex& v, const float N[3], bool backFacing) const {
    const bool cm = colourMaterial_;
    const unsigned mode = colourMaterialMode_;
    const float* vc = v.colour;
    const Material& m = front_;
    const float* emission = cm && mode == aegl::EMISSION ? vc : m.emission;
    const float* ambient = cm && (mode == aegl::AMBIENT || mode == aegl::AMBIENT_AND_DIFFUSE) ? vc : m.ambient;
    const float* diffuse = cm && (mode == aegl::DIFFUSE || mode == aegl::AMBIENT_AND_DIFFUSE) ? vc : m.diffuse;
    const float* specularC = cm && mode == aegl::SPECULAR ? vc : m.specular;
    float c[3];
    for (int i = 0; i < 3; ++i) c[i] = emission[i] + ambient[i] * modelAmbient_[i];
    const bool flip = twoSide_ && backFacing;
    for (int l = 0; l < litCount_; ++l) {
        const ActiveLight& a = litLights_[l];
        const Light& light = *a.light;
        const float* L = a.L;
        float d = N[0] * L[0] + N[1] * L[1] + N[2] * L[2];
        if (flip) d = -d;
        d = std::max(d, 0.0f);
        for (int i = 0; i < 3; ++i) c[i] += ambient[i] * light.ambient[i] + diffuse[i] * light.diffuse[i] * d;
        const bool shiny = a.shinyKnown ? a.shiny
                                        : specularC[0] * light.specular[0] != 0.0f ||
                                              specularC[1] * light.specular[1] != 0.0f ||
                                              specularC[2] * light.specular[2] != 0.0f;
        if (d != 0.0f && shiny) {
            const float* H = a.H;
            float s = N[0] * H[0] + N[1] * H[1] + N[2] * H[2];
            if (flip) s = -s;
            s = std::max(s, 0.0f);
            s = std::pow(s, static_cast<float>(m.shininess));
            for (int i = 0; i < 3; ++i) c[i] += specularC[i] * light.specular[i] * s;
        }
    }
    for (int i = 0; i < 3; ++i) v.colour[i] = std::min(c[i], 1.0f);
}

void GraphicsAEA::finishPrimitive(WinPrimitive& p) {
    updateDerived();
    std::vector<WinVertex>& vs = p.vertices;
    const bool lit = lighting_ && outputColourMode != ColourBlackWhite;
    const bool texturing = texture2D_;
    const bool sphere = texturing && ((texGenS_ && genModeS_ == aegl::SPHERE_MAP) ||
                                      (texGenT_ && genModeT_ == aegl::SPHERE_MAP));
    const WinTexture* tex = texturing ? currentTexture() : nullptr;
    const double* mv = matrices_.matrix(MatrixStack::ModelView);
    const int* vp = viewport_;

    // Eye-space normals are needed for lighting and sphere maps.
    const bool needNormals = lit || sphere;
    std::vector<float>& normals = eyeNormals_;
    if (needNormals) normals.resize(3 * vs.size());
    for (size_t i = 0; i < vs.size(); ++i) {
        WinVertex& v = vs[i];
        float* n = needNormals ? &normals[3 * i] : nullptr;
        if (n) {
            // The normal as a row vector times the inverse model-view matrix
            // (MatrixStack::rowTransform, written out: it runs for every vertex).
            const double* im = inverseModelView_;
            const float nx = v.normal[0], ny = v.normal[1], nz = v.normal[2], nw = 0.0f;
            float out[3];
            for (int col = 0; col < 3; ++col)
                out[col] = static_cast<float>(nx * im[4 * col] + ny * im[4 * col + 1] + nz * im[4 * col + 2] +
                                              nw * im[4 * col + 3]);
            if (normalize_) {
                const float len = std::sqrt(out[0] * out[0] + out[1] * out[1] + out[2] * out[2]);
                if (len > 0.0f)
                    for (int k = 0; k < 3; ++k) out[k] /= len;
            }
            n[0] = out[0];
            n[1] = out[1];
            n[2] = out[2];
        }
        if (texturing) {
            double eye[4] = {0, 0, 0, 1};
            if (sphere) {
                const double in[4] = {v.x, v.y, v.z, 1.0};
                MatrixStack::transform(mv, in, eye);
            }
            texGen(v, eye, n ? n : v.normal);
            v.texture = tex;
        }
        // Window coordinates.
        const double* m = mvp_;
        const double x = v.x, y = v.y, z = v.z;
        const double cx = m[0] * x + m[4] * y + m[8] * z + m[12];
        const double cy = m[1] * x + m[5] * y + m[9] * z + m[13];
        const double cz = m[2] * x + m[6] * y + m[10] * z + m[14];
        double cw = m[3] * x + m[7] * y + m[11] * z + m[15];
        if (cw == 0.0) cw = 1.0;
        if (cw == 1.0) {
            // Orthographic views: dividing by 1 changes nothing.
            v.x = static_cast<float>(vp[0] + (1.0 + cx) * vp[2] * 0.5);
            v.y = static_cast<float>(vp[1] + (1.0 + cy) * vp[3] * 0.5);
            v.z = static_cast<float>((1.0 + cz) * 0.5);
        } else {
            v.x = static_cast<float>(vp[0] + (1.0 + cx / cw) * vp[2] * 0.5);
            v.y = static_cast<float>(vp[1] + (1.0 + cy / cw) * vp[3] * 0.5);
            v.z = static_cast<float>((1.0 + cz / cw) * 0.5);
        }
    }

    bool backFacing = false;
    if (p.kind == WIN_POLYGON) {
        double nx = 0, ny = 0, nz = 0;
        const size_t n = vs.size();
        for (size_t i = 0; i < n; ++i) {
            const WinVertex& a = vs[i];
            const WinVertex& b = vs[(i + 1) % n];
            nx += (double(b.y) - a.y) * (double(b.z) + a.z);
            ny += (double(b.z) - a.z) * (double(b.x) + a.x);
            nz += (double(b.x) - a.x) * (double(b.y) + a.y);
        }
        if (frontFace_ == aegl::CCW) nz = -nz;
        if (cullFace_) {
            if (cullMode_ == aegl::FRONT_AND_BACK) return;
            if (cullMode_ == aegl::FRONT && nz >= 0.0) return;
            if (cullMode_ == aegl::BACK && nz <= 0.0) return;
        }
        if (polygonOffsetFill_ && std::fabs(nz) > 1e-6) {
            const double dz = std::max(std::fabs(nx / nz), std::fabs(ny / nz)) * offsetFactor_ + 1e-6 * offsetUnits_;
            for (WinVertex& v : vs) v.z = static_cast<float>(v.z + dz);
        }
        backFacing = nz < 0.0;
    }
    if (lit) {
        prepareLights();
        for (size_t i = 0; i < vs.size(); ++i) lightVertex(vs[i], &normals[3 * i], backFacing);
    }

    // Vertices closer than 0.01 pixel in x and y become one (the nearer).
    const bool merges = p.kind == WIN_POLYGON || (p.kind == WIN_LINES && vs.size() == 2);
    if (merges && vs.size() > 1) {
        auto close = [](const WinVertex& a, const WinVertex& b) {
            return std::fabs(a.x - b.x) < 0.01f && std::fabs(a.y - b.y) < 0.01f;
        };
        size_t out = 0;
        for (size_t i = 0; i < vs.size(); ++i) {
            if (out > 0 && close(vs[out - 1], vs[i])) {
                if (vs[i].z < vs[out - 1].z) vs[out - 1] = vs[i];
                continue;
            }
            if (out != i) vs[out] = vs[i];
            ++out;
        }
        vs.resize(out);
        while (vs.size() > 1 && close(vs.front(), vs.back())) {
            if (vs.back().z < vs.front().z) vs.front() = vs.back();
            vs.pop_back();
        }
        if (vs.size() == 1) {
            p.kind = WIN_POINTS;
            p.size = pointSize_;
        } else if (vs.size() == 2) {
            p.kind = WIN_LINES;
            p.size = lineWidth_;
        } else {
            p.kind = WIN_POLYGON;
        }
    }
    if (!clipPrimitive(p)) return;

    if (fragmentMode) {
        const int full[4] = {0, 0, imageWidth, imageHeight};
        sorter_.drawNow(p, scissorTest_ ? scissor_ : full);
    } else {
        try {
            sorter_.defer(WinPrimitive(p));
        } catch (const std::bad_alloc&) {
            // the primitive is lost
        }
    }
}

bool GraphicsAEA::clipPrimitive(WinPrimitive& p) {
    for (int i = 0; i < kNumClipPlanes; ++i) {
        if (!clipEnabled_[i]) continue;
        const double* e = clipPlanes_[i];
        clipAgainst(p, [e](const WinVertex& v) { return e[0] * v.x + e[1] * v.y + e[2] * v.z + e[3]; });
    }
    double box[4];
    const int* b = scissorTest_ ? scissor_ : viewport_;
    for (int i = 0; i < 4; ++i) box[i] = b[i];
    int all = ~0, any = 0;
    for (const WinVertex& v : p.vertices) {
        const int c = vertexOutcode(v, box);
        all &= c;
        any |= c;
    }
    if (p.vertices.empty() || all != 0) return false;
    if (any != 0) {
        const double x0 = box[0], x1 = box[0] + box[2], y0 = box[1], y1 = box[1] + box[3];
        if (any & 1) clipAgainst(p, [x0](const WinVertex& v) { return double(v.x) - x0; });
        if (any & 2) clipAgainst(p, [x1](const WinVertex& v) { return x1 - v.x; });
        if (any & 4) clipAgainst(p, [y0](const WinVertex& v) { return double(v.y) - y0; });
        if (any & 8) clipAgainst(p, [y1](const WinVertex& v) { return y1 - v.y; });
        if (any & 16) clipAgainst(p, [](const WinVertex& v) { return double(v.z); });
        if (any & 32) clipAgainst(p, [](const WinVertex& v) { return 1.0 - v.z; });
    }
    const size_t n = p.vertices.size();
    if (p.kind == WIN_POLYGON) return n >= 3;
    return n >= (p.kind == WIN_POINTS ? 1u : 2u);
}
