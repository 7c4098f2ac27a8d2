// The software renderer: objects (faces, lines, points, the generated
// primitive), texts, labels, images, the axis triad, the ruler, the border
// and the two-colour background, drawn through the engine with the colour
// rules of the on-screen renderer.  Everything is drawn immediately: every
// face is its own polygon and every segment its own line.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geometry/GlyphShapes.h"
#include "output/GraphicsAEA.h"
#include "render/AxisLetters.h"
#include "render/ViewLayout.h"
#include "render/StrokeFont.h"
#include "scene/GraphicData.h"

namespace {

// Face n and its first vertex entry, walking the entry list.
struct FaceWalker {
    const int* entries;
    int numEntries;
    int at = 0;
    bool valid() const { return entries && at < numEntries && entries[at] >= 0 && at + entries[at] < numEntries; }
    int size() const { return entries[at]; }
    const int* vertices() const { return entries + at + 1; }
    void next() { at += entries[at] + 1; }
};

bool isBackdrop(const TextureRecord* t) {
    return t && (t->kind == TEXTURE_BACKDROP_ROTATING || t->kind == TEXTURE_BACKDROP_FIXED);
}

// Smooth vertex normals of a generated mesh: the mean of the face normals
// around each vertex (Newell normals of the faces).
std::vector<float> meshVertexNormals(const MeshRecord& m) {
    std::vector<float> n(size_t(3 * m.numVertices), 0.0f);
    FaceWalker w{m.faceEntries.data(), int(m.faceEntries.size())};
    for (int f = 0; f < m.numFaces && w.valid(); ++f, w.next()) {
        double fn[3] = {0, 0, 0};
        const int k = w.size();
        for (int i = 0; i < k; ++i) {
            const float* a = &m.vertexCoords[size_t(3 * w.vertices()[i])];
            const float* b = &m.vertexCoords[size_t(3 * w.vertices()[(i + 1) % k])];
            fn[0] += (double(a[1]) - b[1]) * (double(a[2]) + b[2]);
            fn[1] += (double(a[2]) - b[2]) * (double(a[0]) + b[0]);
            fn[2] += (double(a[0]) - b[0]) * (double(a[1]) + b[1]);
        }
        const double len = std::sqrt(fn[0] * fn[0] + fn[1] * fn[1] + fn[2] * fn[2]);
        if (!(len > 0.0)) continue;
        for (int i = 0; i < k; ++i)
            for (int c = 0; c < 3; ++c) n[size_t(3 * w.vertices()[i] + c)] += float(fn[c] / len);
    }
    for (int v = 0; v < m.numVertices; ++v) {
        float* p = &n[size_t(3 * v)];
        const float len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        if (len > 0.0f)
            for (int c = 0; c < 3; ++c) p[c] /= len;
    }
    return n;
}

}  // namespace

// Glyphs as engine primitives: polygons of a polygon font filled, the
// segments of a segment font as lines.
class GraphicsAEA::GlyphFill : public StrokeFont::GlyphSink {
public:
    void drawGlyph(Graphics& g, const StrokeFont& font, int, int code) override {
        auto& aea = static_cast<GraphicsAEA&>(g);
        font.glyphStrokes(code, xy_, counts_);
        size_t at = 0;
        for (int k : counts_) {
            if (font.hasPolygons() && k >= 3) {
                aea.eBegin(aegl::POLYGON);
                for (int j = 0; j < k; ++j) aea.eVertex(xy_[at + 2 * j], xy_[at + 2 * j + 1], 0.0f);
                aea.eEnd();
            } else {
                for (int j = 0; j + 1 < k; j += font.hasPolygons() ? 1 : 2) {
                    aea.eBegin(aegl::LINES);
                    aea.eVertex(xy_[at + 2 * j], xy_[at + 2 * j + 1], 0.0f);
                    aea.eVertex(xy_[at + 2 * j + 2], xy_[at + 2 * j + 3], 0.0f);
                    aea.eEnd();
                }
            }
            at += size_t(2 * k);
        }
    }

private:
    std::vector<float> xy_;
    std::vector<int> counts_;
};

// ---- textures ---------------------------------------------------------------------------

void GraphicsAEA::applyTexture(const TextureRecord* t, bool faces) {
    if (!t || !faces) return;
    eEnable(aegl::TEXTURE_2D);
    if (isBackdrop(t)) {
        // Backdrops: their own projection, drawn behind everything.
        ePushMatrix();
        disableClipPlane(0);
        const double w = std::max(1, viewport_[2]), h = std::max(1, viewport_[3]), a = w / h;
        eMatrixMode(aegl::TEXTURE);
        eLoadIdentity();
        eMatrixMode(aegl::PROJECTION);
        eLoadIdentity();
        if (t->kind == TEXTURE_BACKDROP_ROTATING) {
            const double x = (w > h ? a : 1.0) * 4.0, y = (w > h ? 1.0 : 1.0 / a) * 4.0;
            eFrustum(-x * 0.1, x * 0.1, -y * 0.1, y * 0.1, 0.1, 100000.0);
            eMatrixMode(aegl::MODELVIEW);
            // The rotation only.
            double m[16];
            matrices_.getMatrix(MatrixStack::ModelView, m);
            for (int c = 0; c < 3; ++c) {
                const double l = std::sqrt(m[4 * c] * m[4 * c] + m[4 * c + 1] * m[4 * c + 1] + m[4 * c + 2] * m[4 * c + 2]);
                if (l > 0) m[4 * c] /= l, m[4 * c + 1] /= l, m[4 * c + 2] /= l;
            }
            m[12] = m[13] = m[14] = 0;
            eLoadIdentity();
            eMultMatrix(m);
            eRotate(-90.0, 1, 0, 0);
        } else {
            eOrtho(-1, 1, -1, 1, -1000, 1000);
            eMatrixMode(aegl::MODELVIEW);
            eLoadIdentity();
            const double ia = t->height > 0 ? double(t->width) / t->height : 1.0;
            eScale(std::max(1.0, ia / a), std::max(1.0, a / ia), 1.0);
        }
        eDisable(aegl::DEPTH_TEST);
    }
    if (t->width <= 0 || t->height <= 0 || t->pixels.size() < size_t(t->width) * size_t(t->height) * 4u) return;
    eEnable(aegl::NORMALIZE);
    eTexParameter(aegl::TEXTURE_MIN_FILTER, aegl::LINEAR);
    eTexParameter(aegl::TEXTURE_MAG_FILTER, aegl::LINEAR);
    eTexEnv(t->mode == 1 ? aegl::DECAL : aegl::MODULATE);
    if (t->kind == TEXTURE_SPHERE_MAP) {
        eTexGenMode(aegl::S, aegl::SPHERE_MAP);
        eTexGenMode(aegl::T, aegl::SPHERE_MAP);
        eEnable(aegl::TEXTURE_GEN_S);
        eEnable(aegl::TEXTURE_GEN_T);
    } else if (!t->isBackdrop()) {
        double d[3] = {t->direction[0], t->direction[1], t->direction[2]};
        double dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        if (dl == 0.0) d[2] = dl = 1.0;
        for (double& c : d) c /= dl;
        double up[3] = {0, 1, 0};
        if (std::fabs(d[1]) > 0.9) up[1] = 0, up[2] = 1;
        double s[3] = {up[1] * d[2] - up[2] * d[1], up[2] * d[0] - up[0] * d[2], up[0] * d[1] - up[1] * d[0]};
        const double sl = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
        for (double& c : s) c /= sl;
        double tt[3] = {d[1] * s[2] - d[2] * s[1], d[2] * s[0] - d[0] * s[2], d[0] * s[1] - d[1] * s[0]};
        const double tl = std::sqrt(tt[0] * tt[0] + tt[1] * tt[1] + tt[2] * tt[2]);
        for (double& c : tt) c /= tl;
        const double sPlane[4] = {s[0], s[1], s[2], 0}, tPlane[4] = {tt[0], tt[1], tt[2], 0};
        eTexGenMode(aegl::S, aegl::OBJECT_LINEAR);
        eTexGenMode(aegl::T, aegl::OBJECT_LINEAR);
        eTexGenPlane(aegl::S, aegl::OBJECT_PLANE, sPlane);
        eTexGenPlane(aegl::T, aegl::OBJECT_PLANE, tPlane);
        eEnable(aegl::TEXTURE_GEN_S);
        eEnable(aegl::TEXTURE_GEN_T);
        const double size = t->size != 0.0f ? t->size : 1.0;
        const double aspect = double(t->width) / double(t->height);
        eMatrixMode(aegl::TEXTURE);
        eLoadIdentity();
        eTranslate(0.5, 0.5, 0.0);
        eScale(1.0 / size, aspect / size, 1.0);
        eRotate(t->angle, 0, 0, 1);
        eTranslate(-t->origin[0], -t->origin[1], 0.0);
        eMatrixMode(aegl::MODELVIEW);
    } else {
        eDisable(aegl::TEXTURE_GEN_S);
        eDisable(aegl::TEXTURE_GEN_T);
    }
    const unsigned wrap = t->repeat ? aegl::REPEAT : aegl::CLAMP;
    eTexParameter(aegl::TEXTURE_WRAP_S, wrap);
    eTexParameter(aegl::TEXTURE_WRAP_T, wrap);
    eTexImage2D(0, 4, t->width, t->height, aegl::RGBA, aegl::UNSIGNED_BYTE, t->pixels.data());
}

void GraphicsAEA::undoTexture(const TextureRecord* t, bool faces) {
    if (!t || !faces) return;
    eDisable(aegl::TEXTURE_GEN_S);
    eDisable(aegl::TEXTURE_GEN_T);
    eDisable(aegl::TEXTURE_2D);
    if (isBackdrop(t)) {
        ePopMatrix();
        eMatrixMode(aegl::MODELVIEW);
        eEnable(aegl::DEPTH_TEST);
        reenableClipPlane(0);
    }
}

// ---- faces ------------------------------------------------------------------------------

void GraphicsAEA::emitFacesEngine(const FaceSet& f, bool primitive) {
    if (f.numFaces <= 0 || !f.faceEntries || !f.vertices) return;
    if (transparent && f.transparency >= 1.0f) return;
    const float faceAlpha = transparent ? 1.0f - f.transparency : 1.0f;
    const bool facesKind = primitive || currentKind == LIST_FACES || currentKind == LIST_REDUCED_FACES;
    const TextureRecord* tex = textureInUse && facesKind ? texture : nullptr;
    const bool backdrop = isBackdrop(tex);
    if (transparent) {
        eBlendFunc(aegl::SRC_ALPHA, aegl::ONE_MINUS_SRC_ALPHA);
        eEnable(aegl::BLEND);
    }
    eEnable(aegl::POLYGON_OFFSET_FILL);
    ePolygonOffset(float(polygonOffset), 0.5f);
    applyTexture(tex, tex != nullptr);
    if (!primitive) {
        // Faces without colour values hide what lies behind them.
        const bool reverse = reverseVideo;
        reverseVideo = false;
        setColour(backgroundColour1, faceAlpha);
        reverseVideo = reverse;
    }
    alpha = faceAlpha;

    const bool hasFaceValues = f.faceColours != nullptr;
    const bool smooth = f.smooth && f.faceNormals && f.vertexFaceStart && f.vertexFaces;
    const bool perVertexColour = f.faceColour < 0.0f && !hasFaceValues && f.vertexColour < 0.0f && f.vertexColours;
    const int backdropH = backdrop ? std::max(1, int(std::sqrt(double(f.numFaces) / 2.0) + 0.5)) : 1;
    const int backdropL = backdrop && tex->kind == TEXTURE_BACKDROP_ROTATING ? 2 * backdropH : backdropH;
    const unsigned mode = polygonMode == 1 ? aegl::LINE_LOOP : polygonMode == 2 ? aegl::POINTS : aegl::POLYGON;
    const float savedPoint = pointSize_;
    if (polygonMode == 2) ePointSize(4.0f);

    FaceWalker w{f.faceEntries, f.numFaceEntries};
    for (int face = 0; face < f.numFaces && w.valid(); ++face, w.next()) {
        if (abortFlag) break;
        const int n = w.size();
        bool bad = n < 3;
        for (int i = 0; i < n && !bad; ++i) bad = w.vertices()[i] < 0 || w.vertices()[i] >= f.numVertices;
        if (bad) continue;
        if (f.faceColour >= 0.0f) {
            setColourValue(f.faceColour);
        } else if (hasFaceValues && f.faceColours[face] >= 0.0f) {
            setColourValue(f.faceColours[face]);
        } else if (f.vertexColour >= 0.0f) {
            setColourValue(f.vertexColour);
        } else if (f.vertexColours && !smooth) {
            double sum = 0;
            int k = 0;
            for (int i = 0; i < n; ++i) {
                const float v = f.vertexColours[w.vertices()[i]];
                if (v >= 0.0f) sum += v, ++k;
            }
            if (k > 0) setColourValue(float(sum / k));
        }
        if (!smooth && f.faceNormals) eNormal(f.faceNormals[3 * face], f.faceNormals[3 * face + 1], f.faceNormals[3 * face + 2]);
        eBegin(mode);
        for (int i = 0; i < n; ++i) {
            const int v = w.vertices()[i];
            if (smooth) {
                float nn[3];
                smoothNormal(v, face, f.faceNormals, f.vertexFaceStart, f.vertexFaces, creaseThreshold, nn);
                eNormal(nn[0], nn[1], nn[2]);
                if (perVertexColour) setColourValue(f.vertexColours[v]);
            }
            if (backdrop)
                eTexCoord(float(v % (backdropL + 1)) / float(backdropL), float(v / (backdropL + 1)) / float(backdropH));
            eVertex(f.vertices[3 * v], f.vertices[3 * v + 1], f.vertices[3 * v + 2]);
        }
        eEnd();
    }
    if (polygonMode == 2) ePointSize(savedPoint);
    undoTexture(tex, tex != nullptr);
    eDisable(aegl::POLYGON_OFFSET_FILL);
    eDisable(aegl::BLEND);
    eBlendFunc(aegl::ONE, aegl::ZERO);
    alpha = 1.0f;
}

bool GraphicsAEA::emitFaces(const FaceSet& faces) {
    emitFacesEngine(faces, false);
    return true;
}

bool GraphicsAEA::emitPrimitiveFaces(const FaceSet& faces) {
    // An instance without a colour takes the first background colour.
    if (currentElementValue >= 0.0f) {
        setColourValue(currentElementValue);
    } else {
        const bool reverse = reverseVideo;
        reverseVideo = false;
        setColour(backgroundColour1, alpha);
        reverseVideo = reverse;
    }
    emitFacesEngine(faces, true);
    return true;
}

// ---- lines and points -------------------------------------------------------------------

void GraphicsAEA::emitLinesEngine(const LineSet& l) {
    if (l.numSegments <= 0 || !l.segments || !l.vertices) return;
    const float previous = lineWidth_;
    if (l.width >= 0.0f) eLineWidth(std::max(1.0f, l.width));
    const float white[3] = {1, 1, 1};
    setColour(white, 1.0f);
    if (l.segmentColour >= 0.0f) setColourValue(l.segmentColour);
    else if (!l.segmentColours && l.vertexColour >= 0.0f) setColourValue(l.vertexColour);
    auto valueOf = [&](int v) { return l.vertexColours ? l.vertexColours[v] : l.vertexColour; };
    for (int s = 0; s < l.numSegments; ++s) {
        if (abortFlag) break;
        const int a = l.segments[2 * s], b = l.segments[2 * s + 1];
        if (a < 0 || b < 0 || a >= l.numVertices || b >= l.numVertices) continue;
        const bool perEnd = l.smooth && l.vertexColours;
        if (!perEnd && l.segmentColour < 0.0f) {
            if (l.segmentColours && l.segmentColours[s] >= 0.0f) {
                setColourValue(l.segmentColours[s]);
            } else if (l.vertexColour < 0.0f && l.vertexColours) {
                const float va = valueOf(a), vb = valueOf(b);
                if (va >= 0.0f && vb >= 0.0f) setColourValue(0.5f * (va + vb));
                else if (va >= 0.0f || vb >= 0.0f) setColourValue(std::max(va, vb));
            }
        }
        eBegin(aegl::LINES);
        if (perEnd) setColourValue(valueOf(a));
        eVertex(l.vertices[3 * a], l.vertices[3 * a + 1], l.vertices[3 * a + 2]);
        if (perEnd) setColourValue(valueOf(b));
        eVertex(l.vertices[3 * b], l.vertices[3 * b + 1], l.vertices[3 * b + 2]);
        eEnd();
    }
    eLineWidth(previous);
}

bool GraphicsAEA::emitLines(const LineSet& lines) {
    emitLinesEngine(lines);
    return true;
}

bool GraphicsAEA::emitPrimitiveLines(const LineSet& lines) {
    if (currentElementValue >= 0.0f) setColourValue(currentElementValue);
    emitLinesEngine(lines);
    return true;
}

bool GraphicsAEA::emitPoints(const PointSet& p) {
    if (p.count <= 0 || !p.vertices || p.size < 1.0f) return true;
    ePointSize(p.size);
    const float white[3] = {1, 1, 1};
    setColour(white, 1.0f);
    if (p.colour >= 0.0f) setColourValue(p.colour);
    for (int i = 0; i < p.count; ++i) {
        if (abortFlag) break;
        if (p.colour < 0.0f && p.colourValues) setColourValue(p.colourValues[i]);
        eBegin(aegl::POINTS);
        eVertex(p.vertices[3 * i], p.vertices[3 * i + 1], p.vertices[3 * i + 2]);
        eEnd();
    }
    ePointSize(1.0f);
    return true;
}

void GraphicsAEA::drawSegmentValue(const float p[3], const float q[3], float colourValue) {
    setColourValue(colourValue);
    drawLine3D(p, q);
}

void GraphicsAEA::drawLine3D(const float p[3], const float q[3]) {
    eBegin(aegl::LINES);
    eVertex(p[0], p[1], p[2]);
    eVertex(q[0], q[1], q[2]);
    eEnd();
}

void GraphicsAEA::drawPickVertex(int, const float[3], float) {}

// ---- texts --------------------------------------------------------------------------------

void GraphicsAEA::drawTexts(const TextsRecord& texts, bool screen, const float* origin) {
    GlyphFill sink;
    const int n = std::min<int>(texts.numTexts, int(texts.strings.size()));
    const int font = texts.font == 0 ? 0 : std::min(1, fontCount - 1);
    for (int i = 0; i < n; ++i) {
        if (!origin && size_t(3 * i + 2) >= texts.positions.size()) break;
        const float height = i < int(texts.heights.size()) ? texts.heights[size_t(i)] : 0.05f;
        const float wrap = screen && i < int(texts.widths.size()) ? texts.widths[size_t(i)] : 0.0f;
        const float angle = i < int(texts.angles.size()) ? texts.angles[size_t(i)] : 0.0f;
        const int alignment = i < int(texts.alignments.size()) ? texts.alignments[size_t(i)] : 0;
        const float* at = origin ? origin : &texts.positions[size_t(3 * i)];
        if (!screen && origin) {
            // A 3D text stays upright and unscaled at its anchor's screen position.
            float win[3], where[3];
            if (size_t(3 * i + 2) >= texts.positions.size() || !projectFloat(&texts.positions[size_t(3 * i)], win))
                continue;
            ePushMatrix();
            eLoadIdentity();
            if (unprojectFloat(win, where)) {
                eTranslate(where[0], where[1], where[2]);
                StrokeFont::drawText(*this, texts.strings[size_t(i)].c_str(), at, alignment, height, 0.0f, angle,
                                     font, texts.colour, false, &sink);
            }
            ePopMatrix();
            continue;
        }
        StrokeFont::drawText(*this, texts.strings[size_t(i)].c_str(), at, alignment, height, wrap, angle, font,
                             texts.colour, screen, &sink);
    }
}

bool GraphicsAEA::emitText3D(int, const TextsRecord& texts) {
    const bool lit = lighting_;
    eDisable(aegl::LIGHTING);
    const float origin[3] = {0, 0, 0};
    drawTexts(texts, false, origin);
    if (lit) eEnable(aegl::LIGHTING);
    return true;
}

bool GraphicsAEA::emitText2D(int, const TextsRecord& texts) {
    drawTexts(texts, true, nullptr);
    return true;
}

// ---- 2D items -------------------------------------------------------------------------------

void GraphicsAEA::beginOverlayCall(int objectId, int overlayKind) {
    Graphics::beginOverlayCall(objectId, overlayKind);
    ePushMatrix();
    eDisable(aegl::DEPTH_TEST);
    // Lines and texts live in the viewport's -1..1 square; labels and
    // images set their own placement.
    if (overlayKind == OVERLAY_LINES || overlayKind == OVERLAY_TEXTS) {
        eMatrixMode(aegl::PROJECTION);
        eLoadIdentity();
        eOrtho(-1, 1, -1, 1, -1000, 1000);
        eMatrixMode(aegl::MODELVIEW);
    }
}

void GraphicsAEA::endOverlayCall() {
    ePopMatrix();
    eMatrixMode(aegl::MODELVIEW);
    flushDeferred();
    eEnable(aegl::DEPTH_TEST);
    Graphics::endOverlayCall();
}

bool GraphicsAEA::emitOverlayLines(const OverlayLineSet& l) {
    if (!l.points || !l.segments || l.count <= 0) return false;
    const float previous = lineWidth_;
    eLineWidth(1.0f);
    for (int i = 0; i < l.count; ++i) {
        if (l.colourValues) setColourValue(l.colourValues[i]);
        const int a = l.segments[2 * i], b = l.segments[2 * i + 1];
        if (a < 0 || b < 0 || a >= 2 * l.count || b >= 2 * l.count) continue;
        drawLine3D(l.points + 3 * a, l.points + 3 * b);
    }
    eLineWidth(previous);
    return true;
}

void GraphicsAEA::overlayOrtho(double hx, double hy) {
    eMatrixMode(aegl::PROJECTION);
    eLoadIdentity();
    eOrtho(-hx, hx, -hy, hy, -1000, 1000);
    eMatrixMode(aegl::MODELVIEW);
    eLoadIdentity();
}

void GraphicsAEA::overlayProjection(double& hx, double& hy) const {
    const double w = std::max(1, viewport_[2]), h = std::max(1, viewport_[3]);
    hx = 0.999;
    hy = 0.999;
    if (w > h) hx = w / h - 0.001;
    else hy = h / w - 0.001;
}

bool GraphicsAEA::emitLabel(const LabelRecord& label) {
    float ext[4] = {0, 0, 0, 0};
    bool any = false;
    for (int i = 0; i < label.numPoints && size_t(2 * i + 1) < label.points.size(); ++i) {
        const float x = label.points[size_t(2 * i)], y = label.points[size_t(2 * i + 1)];
        if (!any) ext[0] = ext[2] = x, ext[1] = ext[3] = y, any = true;
        ext[0] = std::min(ext[0], x), ext[1] = std::min(ext[1], y);
        ext[2] = std::max(ext[2], x), ext[3] = std::max(ext[3], y);
    }
    double hx, hy;
    overlayProjection(hx, hy);
    double scaleFactor = label.size;
    if (scaleFactor == 0.0) scaleFactor = 1.0;
    const double ax = (2.0 * label.position[0] - 1.0) * hx, ay = (2.0 * label.position[1] - 1.0) * hy;
    const double ew = ext[2] - ext[0], eh = ext[3] - ext[1];
    const double fit = std::max(ew, eh) > 0 ? 1.0 / std::max(ew, eh) : 1.0;
    const double k = 2.0 * scaleFactor * fit * std::min(hx, hy);
    ePushMatrix();
    overlayOrtho(hx + 0.001, hy + 0.001);
    eTranslate(ax, ay, 0);
    eScale(k, k, 1);

    auto point = [&](int i) {
        if (i < 0 || i >= label.numPoints || size_t(2 * i + 1) >= label.points.size()) return;
        eVertex(label.points[size_t(2 * i)], label.points[size_t(2 * i + 1)], 0.0f);
    };
    FaceWalker w{label.faceEntries.data(), int(label.faceEntries.size())};
    for (int f = 0; f < label.numFaces && w.valid(); ++f, w.next()) {
        if (!label.faceValues.empty() && size_t(f) < label.faceValues.size()) setColourValue(label.faceValues[size_t(f)]);
        else if (label.faceColour >= 0.0f) setColourValue(label.faceColour);
        eBegin(aegl::POLYGON);
        for (int i = 0; i < w.size(); ++i) point(w.vertices()[i]);
        eEnd();
    }
    for (int s = 0; s < label.numSegs && size_t(2 * s + 1) < label.segs.size(); ++s) {
        if (size_t(s) < label.segValues.size()) setColourValue(label.segValues[size_t(s)]);
        eBegin(aegl::LINES);
        point(label.segs[size_t(2 * s)]);
        point(label.segs[size_t(2 * s + 1)]);
        eEnd();
    }
    if (label.frameBox && any) {
        const float white[3] = {1, 1, 1};
        setColour(white, 1.0f);
        eBegin(aegl::LINE_LOOP);
        eVertex(ext[0], ext[1]);
        eVertex(ext[2], ext[1]);
        eVertex(ext[2], ext[3]);
        eVertex(ext[0], ext[3]);
        eEnd();
    }
    GlyphFill sink;
    StrokeFont::drawLabelTexts(*this, label, &sink);
    ePopMatrix();
    eMatrixMode(aegl::MODELVIEW);
    return true;
}

bool GraphicsAEA::emitImage(const ImageRecord& image) {
    if (!image.present() || image.pixels.size() < size_t(image.width) * size_t(image.height) * 4u) return false;
    const std::vector<unsigned char> px = imagePixels(image);
    double hx, hy;
    overlayProjection(hx, hy);
    const double w = std::max(1, viewport_[2]), h = std::max(1, viewport_[3]);
    double scaleFactor = image.scale;
    if (scaleFactor == 0.0) scaleFactor = 1.0;
    const double ax = (2.0 * image.position[0] - 1.0) * hx, ay = (2.0 * image.position[1] - 1.0) * hy;
    const int horizontal = (image.alignment >> 2) & 3, vertical = image.alignment & 3;
    const double fit = std::min({1.0, w / image.width, h / image.height});
    double zoom = scaleFactor * fit;
    if (zoom > 0) zoom = std::pow(2.0, std::floor(std::log2(zoom) + 1e-9));
    const double pw = image.width * zoom, ph = image.height * zoom;
    double dx = 0, dy = 0;
    if (horizontal == 2) dx = -pw;
    else if (horizontal == 3) dx = -pw / 2;
    if (vertical == 2) dy = -ph;
    else if (vertical == 3) dy = -ph / 2;
    ePushMatrix();
    overlayOrtho(hx + 0.001, hy + 0.001);
    eTranslate(ax, ay, 0);
    rasterMove_[0] = float(dx);
    rasterMove_[1] = float(dy);
    ePixelZoom(float(zoom), float(zoom));
    const bool blend = blend_;
    eEnable(aegl::BLEND);
    drawPixels(image.width, image.height, aegl::RGBA, aegl::UNSIGNED_BYTE, px.data());
    if (!blend) eDisable(aegl::BLEND);
    ePixelZoom(1.0f, 1.0f);
    rasterMove_[0] = rasterMove_[1] = 0.0f;
    ePopMatrix();
    eMatrixMode(aegl::MODELVIEW);
    return true;
}

// ---- frame furniture -------------------------------------------------------------------------

void GraphicsAEA::renderBorder(bool) {
    if (selectionMode || colourPickMode) return;
    float white[3] = {1, 1, 1};
    setColour(white, 1.0f);
    ePushMatrix();
    overlayOrtho(1.0, 1.0);
    const bool lit = lighting_;
    eDisable(aegl::LIGHTING);
    eDisable(aegl::DEPTH_TEST);
    eBegin(aegl::LINE_LOOP);
    eVertex(-0.999f, -0.999f);
    eVertex(-0.999f, 0.999f);
    eVertex(0.999f, 0.999f);
    eVertex(0.999f, -0.999f);
    eEnd();
    flushDeferred();
    eEnable(aegl::DEPTH_TEST);
    if (lit) eEnable(aegl::LIGHTING);
    ePopMatrix();
    eMatrixMode(aegl::MODELVIEW);
}

void GraphicsAEA::paintBackground() {
    if (selectionMode || colourPickMode || backgroundKind == 0) return;
    const float* c1 = backgroundColour1;
    const float* c2 = backgroundColour2;
    const float* bottomLeft = c2;
    const float* topLeft = backgroundKind == 2 ? c2 : c1;
    const float* topRight = backgroundKind > 2 ? c2 : c1;
    const float* bottomRight = backgroundKind == 1 ? c2 : c1;
    ePushMatrix();
    overlayOrtho(1.0, 1.0);
    const bool lit = lighting_, cull = cullFace_;
    eDisable(aegl::LIGHTING);
    eDisable(aegl::CULL_FACE);
    eDisable(aegl::DEPTH_TEST);
    auto corner = [&](const float* c, float x, float y) {
        setColour(c, 1.0f);
        eVertex(x, y);
    };
    eBegin(aegl::POLYGON);
    corner(bottomLeft, -1, -1);
    corner(topLeft, -1, 1);
    corner(topRight, 1, 1);
    eEnd();
    eBegin(aegl::POLYGON);
    corner(topRight, 1, 1);
    corner(bottomRight, 1, -1);
    corner(bottomLeft, -1, -1);
    eEnd();
    flushDeferred();
    eEnable(aegl::DEPTH_TEST);
    if (lit) eEnable(aegl::LIGHTING);
    if (cull) eEnable(aegl::CULL_FACE);
    ePopMatrix();
    eMatrixMode(aegl::MODELVIEW);
}

void GraphicsAEA::drawAxis(int axisType) {
    if (selectionMode || colourPickMode || axisType < 0 || axisType > 2) return;
    setLighting(true, false);
    setCulling(CULL_NO);
    const bool small = viewport_[2] < 60 || viewport_[3] < 60;
    MeshRecord arrow, sphere;
    GlyphShapes::Arrow(12, 0.1f, 0.25f, 0.25f, arrow);
    GlyphShapes::Sphere(12, sphere);
    const std::vector<float> arrowNormals = meshVertexNormals(arrow), sphereNormals = meshVertexNormals(sphere);
    auto drawMesh = [&](const MeshRecord& m, const std::vector<float>& normals) {
        FaceWalker w{m.faceEntries.data(), int(m.faceEntries.size())};
        for (int f = 0; f < m.numFaces && w.valid(); ++f, w.next()) {
            eBegin(aegl::POLYGON);
            for (int i = 0; i < w.size(); ++i) {
                const int v = w.vertices()[i];
                if (v < 0 || v >= m.numVertices) continue;
                eNormal(normals[size_t(3 * v)], normals[size_t(3 * v + 1)], normals[size_t(3 * v + 2)]);
                eVertex(m.vertexCoords[size_t(3 * v)], m.vertexCoords[size_t(3 * v + 1)], m.vertexCoords[size_t(3 * v + 2)]);
            }
            eEnd();
        }
    };
    const AxisLetters::Size& letterSize = AxisLetters::kSizes[small ? 1 : 0];
    ePushMatrix();
    eMatrixMode(aegl::PROJECTION);
    eLoadIdentity();
    eOrtho(-1, 1, -1, 1, -1000, 1000);
    eTranslate(0, 0, 998);
    eMatrixMode(aegl::MODELVIEW);
    eScale(0.7, 0.7, 0.7);
    for (int axis = 0; axis < 3; ++axis) {
        const AxisLetters::Arrow& ax = AxisLetters::kArrows[axis];
        setColour(ax.colour, 1.0f);
        // The letter: its bitmap in the plain axis colour, lower left corner
        // two pixels right of and above the letter point.
        float rgb[3] = {ax.colour[0], ax.colour[1], ax.colour[2]};
        convertColour(rgb);
        const int letter = AxisLetters::kAxisLetters[axisType][axis];
        const std::vector<unsigned char> bits = AxisLetters::Bitmap(letter, small ? 1 : 0);
        const int lw = letterSize.width, lh = letterSize.height, rowBytes = (lw + 7) / 8;
        std::vector<unsigned char> rgba(size_t(lw * lh * 4), 0);
        for (int y = 0; y < lh; ++y)
            for (int x = 0; x < lw; ++x) {
                if (!(bits[size_t(y * rowBytes + x / 8)] & (0x80 >> (x % 8)))) continue;
                unsigned char* p = &rgba[size_t(4 * (y * lw + x))];
                for (int c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>(std::lround(rgb[c] * 255.0f));
                p[3] = 255;
            }
        ePushMatrix();
        eTranslate(ax.letterAt[0], ax.letterAt[1], ax.letterAt[2]);
        rasterMove_[0] = rasterMove_[1] = 2.0f;
        drawPixels(lw, lh, aegl::RGBA, aegl::UNSIGNED_BYTE, rgba.data());
        rasterMove_[0] = rasterMove_[1] = 0.0f;
        ePopMatrix();
        ePushMatrix();
        if (ax.angle != 0) eRotate(ax.angle, ax.rx, ax.ry, ax.rz);
        drawMesh(arrow, arrowNormals);
        ePopMatrix();
    }
    const float cyan[3] = {0, 1, 1};
    setColour(cyan, 1.0f);
    ePushMatrix();
    eTranslate(0.5, 0.5, 0.5);
    eScale(0.2, 0.2, 0.2);
    drawMesh(sphere, sphereNormals);
    ePopMatrix();
    ePopMatrix();
    eMatrixMode(aegl::MODELVIEW);
    setLighting(false, false);
}

void GraphicsAEA::drawRuler(float viewScale) {
    if (selectionMode || colourPickMode || windowWidth <= 0 || windowHeight <= 0) return;
    RulerLayout ruler;
    if (!ruler.compute(windowWidth, windowHeight, viewportWidth, viewportHeight, viewScale)) return;
    const int n = ruler.subdivisions;
    const float e = float(ruler.halfExtent), step = float(ruler.step), y0 = float(ruler.y0), y1 = float(ruler.y1);

    setLighting(false, false);
    setCulling(CULL_NO);
    eDisable(aegl::DEPTH_TEST);
    eDisable(aegl::TEXTURE_2D);
    ePushMatrix();
    overlayOrtho(1.0, 1.0);
    float white[3] = {1, 1, 1};
    convertColour(white, true);
    eColour(white[0], white[1], white[2], 1.0f);
    currentColourValue = -1.0f;
    for (int i = 0; i < n; i += 2) {
        const float xa = -e + i * step, xb = xa + step;
        eBegin(aegl::POLYGON);
        eVertex(xa, y0);
        eVertex(xb, y0);
        eVertex(xb, y1);
        eVertex(xa, y1);
        eEnd();
    }
    const float previous = lineWidth_;
    eLineWidth(1.0f);
    eBegin(aegl::LINE_LOOP);
    eVertex(-e, y0);
    eVertex(e, y0);
    eVertex(e, y1);
    eVertex(-e, y1);
    eEnd();
    for (int i = 1; i < n; ++i) {
        eBegin(aegl::LINES);
        eVertex(-e + i * step, y0);
        eVertex(-e + i * step, y1);
        eEnd();
    }
    GlyphFill sink;
    ruler.drawLabels(*this, &sink, -white[0] - 1.0f);
    eLineWidth(previous);
    ePopMatrix();
    eMatrixMode(aegl::MODELVIEW);
    flushDeferred();
    eEnable(aegl::DEPTH_TEST);
}
