// Drawing of glyph instances that were not expanded into the plain mesh:
// the template is compiled once and drawn once per instance under the
// instance transform.
#include <cmath>

#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"

namespace {

constexpr int kPickVertexType = 52;  // instances drawn as pickable points, no template

void normalise(float v[3]) {
    float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0.0f)
        for (int i = 0; i < 3; ++i) v[i] /= l;
}

// Places template vertex (x, y, z) at s (x t + y v + z w) + position, the
// same frame the expansion uses.
void applyInstanceTransform(Graphics* r, const PrimitiveRecord& p, int i) {
    const float* pos = &p.positions[3 * i];
    const float* frame = &p.frames[6 * i];
    r->translate(pos[0], pos[1], pos[2]);
    float w[3] = {frame[0], frame[1], frame[2]};
    if (w[0] != 0.0f || w[1] != 0.0f || w[2] != 0.0f) {
        normalise(w);
        float u[3] = {frame[3], frame[4], frame[5]};
        if (u[0] == 0.0f && u[1] == 0.0f && u[2] == 0.0f) u[1] = 1.0f;
        normalise(u);
        auto dot = [](const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
        if (std::fabs(std::fabs(dot(w, u)) - 1.0f) < 1e-6f) {
            u[0] = 1.0f;
            normalise(u);
            if (std::fabs(std::fabs(dot(w, u)) - 1.0f) < 1e-6f) {
                u[1] = 1.0f;
                normalise(u);
            }
        }
        float d = dot(u, w);
        float v[3] = {u[0] - d * w[0], u[1] - d * w[1], u[2] - d * w[2]};
        normalise(v);
        float t[3] = {v[1] * w[2] - v[2] * w[1], v[2] * w[0] - v[0] * w[2], v[0] * w[1] - v[1] * w[0]};
        const float m[16] = {t[0], t[1], t[2], 0, v[0], v[1], v[2], 0, w[0], w[1], w[2], 0, 0, 0, 0, 1};
        r->multMatrix(m);
    }
    const float s = p.scales[i];
    r->scale(s, s, s);
}

LineSet templateLines(const MeshRecord& shape, float width) {
    LineSet l;
    l.numVertices = shape.numVertices;
    l.vertices = shape.vertexCoords.data();
    l.numSegments = shape.numLineSegs;
    l.segments = shape.lineSegs.data();
    l.width = width;
    return l;
}

FaceSet templateFaces(const MeshRecord& shape, bool smooth, float transparency) {
    FaceSet f;
    f.numVertices = shape.numVertices;
    f.vertices = shape.vertexCoords.data();
    f.vertexFaceStart = shape.vertexFaceStart.empty() ? nullptr : shape.vertexFaceStart.data();
    f.vertexFaces = shape.vertexFaces.empty() ? nullptr : shape.vertexFaces.data();
    f.numFaces = shape.numFaces;
    f.numFaceEntries = shape.numFaceEntries;
    f.faceEntries = shape.faceEntries.data();
    f.faceNormals = shape.faceNormals.data();
    f.smooth = smooth;
    f.transparency = transparency;
    return f;
}

bool instanceArraysConsistent(const PrimitiveRecord& p) {
    const size_t n = static_cast<size_t>(p.numInstances < 0 ? 0 : p.numInstances);
    return p.colours.size() >= n && p.scales.size() >= n && p.positions.size() >= 3 * n && p.frames.size() >= 6 * n;
}

}  // namespace

bool GraphicData::EmitPrimitive(Graphics* r, int kind, bool compile, const vkoGraphicObj& object) const {
    const PrimitiveRecord& p = primitive;
    if (!r || !p.present()) return false;
    const float* map = colourMap ? colourMap->entries.data() : nullptr;
    const int mapEntries = colourMap ? colourMap->numEntries : 0;
    const float transparency = object.transparent ? object.transparencyLevel : 0.0f;

    if (compile) {
        if (kind == PRIM_LIST_LINES) {
            if (p.shape.numLineSegs <= 0) return false;
            r->setColourMap(map, mapEntries);
            r->compilePrimitiveLines(templateLines(p.shape, static_cast<float>(object.lineWidth)));
            return true;
        }
        if (p.shape.numFaces <= 0) return false;
        std::copy(bounds, bounds + 6, r->dataBounds);
        r->setColourMap(map, mapEntries);
        r->compilePrimitiveFaces(templateFaces(p.shape, object.smoothFaces, transparency));
        return true;
    }

    if (!instanceArraysConsistent(p)) return false;
    r->setColourMap(map, mapEntries);
    bool drew = false;
    if (kind == PRIM_LIST_LINES) {
        if (p.shape.numLineSegs <= 0) return false;
        const LineSet lines = templateLines(p.shape, static_cast<float>(object.lineWidth));
        for (int i = 0; i < p.numInstances; ++i) {
            if (p.scales[i] == 0.0f) continue;
            r->pushMatrix();
            applyInstanceTransform(r, p, i);
            r->setPickElement(i, p.colours[i]);
            drew = r->emitPrimitiveLines(lines) || drew;
            r->endPickElement();
            r->popMatrix();
        }
        return drew;
    }
    const bool pointsOnly = p.type == kPickVertexType;
    if (!pointsOnly && p.shape.numFaces <= 0) return false;
    const FaceSet faces = templateFaces(p.shape, object.smoothFaces, transparency);
    static const float origin[3] = {0.0f, 0.0f, 0.0f};
    for (int i = 0; i < p.numInstances; ++i) {
        if (p.scales[i] == 0.0f) continue;
        r->pushMatrix();
        applyInstanceTransform(r, p, i);
        r->setPrimitiveColour(i, p.colours[i]);
        if (pointsOnly) {
            r->setLighting(false, false);
            r->drawPickVertex(i, origin, p.scales[i]);
            drew = true;
        } else {
            drew = r->emitPrimitiveFaces(faces) || drew;
        }
        r->endPrimitiveElement();
        r->popMatrix();
    }
    return drew;
}
