// World bounds and the three drawing entry points of a graphic object: the
// 3D mesh lists, the generated primitive and the 2D items, put onto any
// renderer through the list protocol (compile when dirty, then call).
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "render/Graphics.h"
#include "render/MatrixStack.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/vkoViewer.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Column-major 4x4 helpers for the bounds transforms.
struct Mat4 {
    double m[16];
    static Mat4 identity() {
        Mat4 r{};
        r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0;
        return r;
    }
    Mat4 operator*(const Mat4& b) const {
        Mat4 r{};
        for (int c = 0; c < 4; ++c)
            for (int rr = 0; rr < 4; ++rr) {
                double s = 0;
                for (int k = 0; k < 4; ++k) s += m[k * 4 + rr] * b.m[c * 4 + k];
                r.m[c * 4 + rr] = s;
            }
        return r;
    }
    void apply(const double p[3], double out[3]) const {
        for (int r = 0; r < 3; ++r) out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
    }
};

Mat4 translation(double x, double y, double z) {
    Mat4 r = Mat4::identity();
    r.m[12] = x;
    r.m[13] = y;
    r.m[14] = z;
    return r;
}

// Rotation by angle (degrees) about the axis from a[0..2] to a[3..5],
// through its first point.  Identity for a zero angle or a degenerate axis.
Mat4 rotationAbout(float angleDegrees, const float a[6]) {
    double dx = a[3] - a[0], dy = a[4] - a[1], dz = a[5] - a[2];
    double len = std::sqrt(dx * dx + dy * dy + dz * dz);
    if (angleDegrees == 0.0f || len == 0.0) return Mat4::identity();
    dx /= len;
    dy /= len;
    dz /= len;
    double t = angleDegrees * kPi / 180.0, c = std::cos(t), s = std::sin(t), k = 1 - c;
    Mat4 r = Mat4::identity();
    r.m[0] = dx * dx * k + c;
    r.m[1] = dy * dx * k + dz * s;
    r.m[2] = dz * dx * k - dy * s;
    r.m[4] = dx * dy * k - dz * s;
    r.m[5] = dy * dy * k + c;
    r.m[6] = dz * dy * k + dx * s;
    r.m[8] = dx * dz * k + dy * s;
    r.m[9] = dy * dz * k - dx * s;
    r.m[10] = dz * dz * k + c;
    return translation(a[0], a[1], a[2]) * r * translation(-a[0], -a[1], -a[2]);
}

void boxOfCorners(const float in[6], const Mat4& t, float out[6]) {
    for (int i = 0; i < 3; ++i) {
        out[2 * i] = FLT_MAX;
        out[2 * i + 1] = -FLT_MAX;
    }
    for (int c = 0; c < 8; ++c) {
        double p[3] = {in[(c & 1) ? 1 : 0], in[(c & 2) ? 3 : 2], in[(c & 4) ? 5 : 4]}, q[3];
        t.apply(p, q);
        for (int i = 0; i < 3; ++i) {
            out[2 * i] = std::min(out[2 * i], static_cast<float>(q[i]));
            out[2 * i + 1] = std::max(out[2 * i + 1], static_cast<float>(q[i]));
        }
    }
}

// Colour-pick draws emit directly: identifier colours must never be baked
// into the lists that ordinary frames call.
bool usesLists(const Graphics* r) { return r->keepsLists() && !r->colourPickMode; }

bool modeAllowsFrame(int drawMode, bool sparseFrame) {
    switch (drawMode) {
        case DRAW_NORMAL: return true;
        case DRAW_SPARSE_OFF: return !sparseFrame;
        case DRAW_SPARSE_ON: return sparseFrame;
        case DRAW_ALWAYS_ON: return true;
        default: return false;  // PRIORITY and unknown modes: never by the object pass
    }
}

// The object's colour map and data bounds for a list build.
void useColourMap(Graphics* r, const GraphicData& d) {
    if (d.colourMap && d.colourMap->numEntries > 0)
        r->setColourMap(d.colourMap->entries.data(), d.colourMap->numEntries);
    else
        r->setColourMap(nullptr, 0);
    if (!d.boundsEmpty()) std::copy(d.bounds, d.bounds + 6, r->dataBounds);
}

}  // namespace

// ------------------------------------------------------------------ bounds

void vkoGraphicObj::nudgeClipPlane(float step, bool forward) {
    if (step == 0.0f) {
        float b[6];
        if (!worldBounds(b, true)) return;
        float extent = std::max({b[1] - b[0], b[3] - b[2], b[5] - b[4]});
        step = 0.01f * extent;
    }
    cuttingPlaneD += forward ? step : -step;
}

bool vkoGraphicObj::worldBounds(float out[6], bool includeInstances) const {
    if (!data || data->boundsEmpty()) return false;
    float box[6];
    std::copy(data->bounds, data->bounds + 6, box);
    if (includeInstances && numInstances > 1) {
        Mat4 step = translation(replicationTrans[0], replicationTrans[1], replicationTrans[2]) *
                    rotationAbout(replicationRotAngle, replicationRotAxis);
        Mat4 acc = Mat4::identity();
        const float base[6] = {box[0], box[1], box[2], box[3], box[4], box[5]};
        for (int copy = 1; copy < numInstances; ++copy) {
            acc = step * acc;
            float moved[6];
            boxOfCorners(base, acc, moved);
            for (int i = 0; i < 3; ++i) {
                box[2 * i] = std::min(box[2 * i], moved[2 * i]);
                box[2 * i + 1] = std::max(box[2 * i + 1], moved[2 * i + 1]);
            }
        }
    }
    for (int i = 0; i < 3; ++i) {
        box[2 * i] *= offsetScale[i];
        box[2 * i + 1] *= offsetScale[i];
        if (box[2 * i] > box[2 * i + 1]) std::swap(box[2 * i], box[2 * i + 1]);
    }
    Mat4 placement = translation(offsetTrans[0], offsetTrans[1], offsetTrans[2]) *
                     rotationAbout(offsetAngle, offsetRotAxis);
    boxOfCorners(box, placement, out);
    return true;
}

// ------------------------------------------------------------- helpers

bool vkoGraphicObj::placementIsIdentity() const {
    return offsetAngle == 0.0f && offsetTrans[0] == 0.0f && offsetTrans[1] == 0.0f && offsetTrans[2] == 0.0f &&
           offsetScale[0] == 1.0f && offsetScale[1] == 1.0f && offsetScale[2] == 1.0f;
}

// Steps shared by the 3D and primitive passes: placement, clip plane and
// polygon mode.  Returns whether a matrix was pushed.
bool vkoGraphicObj::beginPlacement(Graphics* r, vkoViewport* viewport) {
    Transform* view = viewport ? viewport->view : nullptr;
    bool maskDiffers = view && viewTransformMask != view->appliedMask;
    bool pushed = false;
    if (maskDiffers || !placementIsIdentity() || mirrorPlaneVisible) {
        r->pushMatrix();
        pushed = true;
        if (maskDiffers) {
            int viewportMask = view->appliedMask;
            view->apply(r, viewTransformMask);
            // The viewport's own mask stays the reference for the next object.
            view->appliedMask = viewportMask;
        }
        float centre[3];
        float b[6];
        bool scaled = offsetScale[0] != 1.0f || offsetScale[1] != 1.0f || offsetScale[2] != 1.0f;
        bool haveCentre = scaled && worldBounds(b, false);
        if (haveCentre)
            for (int i = 0; i < 3; ++i) centre[i] = 0.5f * (b[2 * i] + b[2 * i + 1]);
        r->applyPlacement(offsetAngle, offsetRotAxis, offsetTrans, haveCentre ? centre : nullptr,
                          haveCentre ? offsetScale : nullptr);
    }
    if (cuttingPlaneVisible) r->enableClipPlane(1, cuttingPlanePt1, cuttingPlanePt2, cuttingPlanePt3, cuttingPlaneD);
    if (polygonMode != POLYGON_FILL) r->polygonMode = polygonMode;
    return pushed;
}

void vkoGraphicObj::endPlacement(Graphics* r, bool pushed) {
    r->polygonMode = POLYGON_FILL;
    r->disableClipPlane(1);
    if (pushed) r->popMatrix();
    r->creaseThreshold = 0.0f;
    r->pickable = true;
}

// Replication step between copies: rotation about the replication axis
// through its first point, then the translation.
void vkoGraphicObj::applyReplicationStep(Graphics* r) const {
    if (replicationRotAngle != 0.0f) {
        const float* a = replicationRotAxis;
        r->translate(a[0], a[1], a[2]);
        r->rotate(a[3] - a[0], a[4] - a[1], a[5] - a[2], replicationRotAngle);
        r->translate(-a[0], -a[1], -a[2]);
    }
    r->translate(replicationTrans[0], replicationTrans[1], replicationTrans[2]);
}

void vkoGraphicObj::preparePick(Graphics* r, bool opaquePass, bool textPass) {
    r->pickable = pickable;
    if (!r->colourPickMode || textPass || !owner || owner->pickMode != 4) return;
    if (opaquePass) {
        pickBase = r->pickCounter;
        int id = r->allocatePickId();
        Graphics::pickIdColour(id, pickColour);
    }
    std::copy(pickColour, pickColour + 3, r->pickColour);
}

FaceSet vkoGraphicObj::faceSet(bool reducedMesh) const {
    FaceSet f;
    const GraphicData& d = *data;
    if (reducedMesh) {
        const MeshRecord& m = d.reduced;
        f.numVertices = m.numVertices;
        f.vertices = m.vertexCoords.data();
        f.vertexColours = m.vertexColours.empty() ? nullptr : m.vertexColours.data();
        f.vertexColour = d.vertexColour;
        f.vertexFaceStart = m.vertexFaceStart.empty() ? nullptr : m.vertexFaceStart.data();
        f.vertexFaces = m.vertexFaces.empty() ? nullptr : m.vertexFaces.data();
        f.numFaces = m.numFaces;
        f.numFaceEntries = m.numFaceEntries;
        f.faceEntries = m.faceEntries.data();
        f.faceNormals = m.faceNormals.data();
        f.faceColour = d.faceColour;
    } else {
        f.numVertices = d.numVertices;
        f.vertices = d.vertexCoords.data();
        f.vertexColours = d.vertexColours.empty() ? nullptr : d.vertexColours.data();
        f.vertexColour = d.vertexColour;
        f.vertexFaceStart = d.vertexFaceStart.empty() ? nullptr : d.vertexFaceStart.data();
        f.vertexFaces = d.vertexFaces.empty() ? nullptr : d.vertexFaces.data();
        f.numFaces = d.numFaces;
        f.numFaceEntries = d.numFaceEntries;
        f.faceEntries = d.faceEntries.data();
        f.faceNormals = d.faceNormals.data();
        f.faceColour = d.faceColour;
        f.faceColours = d.faceColours.empty() ? nullptr : d.faceColours.data();
    }
    f.smooth = smoothFaces;
    f.transparency = transparent ? transparencyLevel : 0.0f;
    return f;
}

LineSet vkoGraphicObj::lineSet() const {
    const GraphicData& d = *data;
    LineSet l;
    l.numVertices = d.numVertices;
    l.vertices = d.vertexCoords.data();
    l.vertexColour = d.vertexColour;
    l.vertexColours = d.vertexColours.empty() ? nullptr : d.vertexColours.data();
    l.numSegments = d.numLineSegs;
    l.segments = d.lineSegs.data();
    l.segmentColour = d.lineColour;
    l.segmentColours = d.lineColours.empty() ? nullptr : d.lineColours.data();
    l.width = static_cast<float>(lineWidth);
    l.smooth = smoothLines;
    return l;
}

PointSet vkoGraphicObj::pointSet() const {
    const GraphicData& d = *data;
    PointSet p;
    p.count = d.numVertices;
    p.vertices = d.vertexCoords.data();
    p.colour = d.vertexColour;
    p.colourValues = d.vertexColours.empty() ? nullptr : d.vertexColours.data();
    p.size = pointSize;
    return p;
}

bool vkoGraphicObj::kindHasData(int kind) const {
    const GraphicData& d = *data;
    switch (kind) {
        case LIST_FACES: return d.numFaces > 0;
        // Only once the worker has been seen to finish writing it.
        case LIST_REDUCED_FACES: return d.reducedReady && d.reduced.numFaces > 0;
        case LIST_LINES: return d.numLineSegs > 0;
        case LIST_VERTICES: return d.numVertices > 0;
        case LIST_TEXTS3D: return d.texts && d.texts->kind == 1 && d.texts->numTexts > 0;
        default: return false;
    }
}

bool vkoGraphicObj::kindEnabled(int kind) const {
    switch (kind) {
        case LIST_FACES:
        case LIST_REDUCED_FACES: return faces;
        case LIST_LINES: return lines;
        case LIST_VERTICES: return vertices;
        case LIST_TEXTS3D: return overlay;
        default: return false;
    }
}

bool vkoGraphicObj::emitKind(Graphics* r, int kind, bool compile) {
    switch (kind) {
        case LIST_FACES:
        case LIST_REDUCED_FACES: {
            FaceSet f = faceSet(kind == LIST_REDUCED_FACES);
            if (compile) {
                r->compileFaces(f);
                return true;
            }
            return r->emitFaces(f);
        }
        case LIST_LINES: {
            LineSet l = lineSet();
            if (compile) {
                r->compileLines(l);
                return true;
            }
            return r->emitLines(l);
        }
        case LIST_VERTICES: {
            PointSet p = pointSet();
            if (compile) {
                r->compilePoints(p);
                return true;
            }
            return r->emitPoints(p);
        }
        case LIST_TEXTS3D:
            if (compile) {
                r->compileText3D(kind, *data->texts);
                return true;
            }
            return r->emitText3D(kind, *data->texts);
        default: return false;
    }
}

// ------------------------------------------------------------------ draw3D

void vkoGraphicObj::draw3D(Graphics* r, vkoViewport* viewport, int passFlags) {
    if (!r || !data || !isVisible()) return;
    const bool sparseFrame = passFlags & DRAW_PASS_SPARSE;
    const bool transparentPass = passFlags & DRAW_PASS_TRANSPARENT;
    const bool textPass = passFlags & DRAW_PASS_TEXT3D;
    const bool facesOnly = passFlags & DRAW_PASS_FACES_ONLY;
    if (!modeAllowsFrame(drawMode, sparseFrame)) return;
    bool anything = false;
    for (int k = 0; k < NUM_LIST_KINDS; ++k) anything = anything || kindHasData(k);
    if (!anything) return;

    preparePick(r, !transparentPass, textPass);
    r->creaseThreshold = static_cast<float>(std::cos(creaseAngle * kPi / 180.0));
    r->polygonOffset = polygonOffset;
    const bool textured = drawTexture && data->texture && !data->texture->pixels.empty();
    const TextureRecord* texture = textured ? data->texture.get() : nullptr;

    auto kindInPass = [&](int k) {
        if (k == LIST_TEXTS3D) return textPass;
        if (textPass) return false;
        if (facesOnly) return k == LIST_FACES || k == LIST_REDUCED_FACES;
        return true;
    };

    // List builds bake the colours in and immediate renderers look them up
    // as they draw: either way the renderer needs this object's map and bounds.
    useColourMap(r, *data);
    if (usesLists(r)) {
        for (int k = 0; k < NUM_LIST_KINDS; ++k) {
            if (!listDirty[k] || !kindInPass(k) || !kindHasData(k) || !kindEnabled(k)) continue;
            r->beginList(objectid, k, textured, texture);
            emitKind(r, k, true);
            r->endList();
            listDirty[k] = false;
        }
    }

    // Nothing of this object belongs to this pass (typically the 3D-text pass
    // of an object without 3D texts): skip the placement and mirror work.
    bool drawable = false;
    for (int k = 0; k < NUM_LIST_KINDS; ++k) drawable = drawable || (kindInPass(k) && kindHasData(k) && kindEnabled(k));
    if (!drawable) {
        r->creaseThreshold = 0.0f;
        r->pickable = true;
        return;
    }

    bool pushed = beginPlacement(r, viewport);
    bool mirrorAccepted = false;
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            if (!mirrorPlaneVisible) break;
            r->pushMatrix();
            mirrorAccepted = r->setMirror(mirrorPlanePt1, mirrorPlanePt2, mirrorPlanePt3);
            if (!mirrorAccepted) {
                r->popMatrix();
                break;
            }
            r->mirrored = true;
            if (mirrorPlanePlaneVisible && viewport) {
                float b[6];
                if (viewport->worldBounds(b)) {
                    float points[9];
                    std::copy(mirrorPlanePt1, mirrorPlanePt1 + 3, points);
                    std::copy(mirrorPlanePt2, mirrorPlanePt2 + 3, points + 3);
                    std::copy(mirrorPlanePt3, mirrorPlanePt3 + 3, points + 6);
                    r->drawMirrorPlane(points, b);
                }
            }
        }
        for (int k = 0; k < NUM_LIST_KINDS; ++k) {
            if (!kindInPass(k) || !kindHasData(k) || !kindEnabled(k)) continue;
            if (usesLists(r) && listDirty[k]) continue;
            const bool faceKind = k == LIST_FACES || k == LIST_REDUCED_FACES;
            const bool kindTransparent = faceKind && transparent && transparencyLevel != 0.0f;
            if (kindTransparent != transparentPass) continue;
            if (k == LIST_FACES && !((!sparseFrame && !lodAlways) || drawMode == DRAW_ALWAYS_ON)) continue;
            if (k == LIST_REDUCED_FACES && !((sparseFrame || lodAlways) && drawMode != DRAW_ALWAYS_ON)) continue;
            const bool lit = faceKind && lighting && faces;
            r->beginCall(objectid, k, kindTransparent, lit, specular, textured && faceKind, texture, cullingMode);
            const int copies = k == LIST_TEXTS3D ? 1 : std::max(1, numInstances);
            if (copies > 1) r->pushMatrix();
            for (int copy = 0; copy < copies; ++copy) {
                if (copy > 0) applyReplicationStep(r);
                r->beginCopy(copy);
                bool drew = emitKind(r, k, false);
                r->endCopy();
                if (!drew) break;
            }
            if (copies > 1) r->popMatrix();
            r->endCall();
        }
        if (pass == 1) {
            r->mirrored = false;
            r->popMatrix();
        }
    }
    endPlacement(r, pushed);
}

// ------------------------------------------------------------ drawPrimitive

void vkoGraphicObj::drawPrimitive(Graphics* r, vkoViewport* viewport, int passFlags) {
    if (!r || !data || !isVisible() || !data->primitive.present()) return;
    const bool sparseFrame = passFlags & DRAW_PASS_SPARSE;
    const bool transparentPass = passFlags & DRAW_PASS_TRANSPARENT;
    if (!modeAllowsFrame(drawMode, sparseFrame)) return;

    preparePick(r, !transparentPass, false);
    r->creaseThreshold = static_cast<float>(std::cos(creaseAngle * kPi / 180.0));
    r->polygonOffset = polygonOffset;
    const bool textured = drawTexture && data->texture && !data->texture->pixels.empty();
    const TextureRecord* texture = textured ? data->texture.get() : nullptr;

    auto enabled = [&](int kind) {
        return kind == PRIM_LIST_FACES ? (faces && !sparseFrame) : lines;
    };
    auto hasData = [&](int kind) {
        const MeshRecord& s = data->primitive.shape;
        // Type 52 has no template: its instances are drawn as pickable points.
        return kind == PRIM_LIST_FACES ? (s.numFaces > 0 || data->primitive.type == 52) : s.numLineSegs > 0;
    };

    if (usesLists(r)) {
        for (int kind = 0; kind < NUM_PRIMITIVE_LIST_KINDS; ++kind) {
            bool& dirty = listDirty[NUM_LIST_KINDS + kind];
            if (!dirty || !enabled(kind) || !hasData(kind)) continue;
            r->beginPrimitiveList(objectid, kind, textured, texture);
            data->EmitPrimitive(r, kind, true, *this);
            r->endPrimitiveList();
            dirty = false;
        }
    }

    bool pushed = beginPlacement(r, viewport);
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            if (!mirrorPlaneVisible) break;
            r->pushMatrix();
            if (!r->setMirror(mirrorPlanePt1, mirrorPlanePt2, mirrorPlanePt3)) {
                r->popMatrix();
                break;
            }
            r->mirrored = true;
        }
        for (int kind = 0; kind < NUM_PRIMITIVE_LIST_KINDS; ++kind) {
            if (!enabled(kind) || !hasData(kind)) continue;
            if (usesLists(r) && listDirty[NUM_LIST_KINDS + kind]) continue;
            const bool faceKind = kind == PRIM_LIST_FACES;
            const bool kindTransparent = faceKind && transparent && transparencyLevel != 0.0f;
            if (kindTransparent != transparentPass) continue;
            const bool lit = faceKind && lighting && faces;
            r->beginPrimitiveCall(objectid, kind, kindTransparent, lit, specular, textured && faceKind, texture,
                                  cullingMode, kindTransparent ? transparencyLevel : 0.0f);
            const int copies = std::max(1, numInstances);
            if (copies > 1) r->pushMatrix();
            for (int copy = 0; copy < copies; ++copy) {
                if (copy > 0) applyReplicationStep(r);
                r->beginPrimitiveCopy(copy);
                bool drew = data->EmitPrimitive(r, kind, false, *this);
                r->endPrimitiveCopy();
                if (!drew) break;
            }
            if (copies > 1) r->popMatrix();
            r->endPrimitiveCall();
        }
        if (pass == 1) {
            r->mirrored = false;
            r->popMatrix();
        }
    }
    endPlacement(r, pushed);
}

// ------------------------------------------------------------------ draw2D

void vkoGraphicObj::draw2D(Graphics* r, bool secondPass, int viewportIndex) {
    if (!r || !data || !isVisible()) return;
    GraphicData& d = *data;
    const unsigned viewportBit = 1u << (viewportIndex & 31);
    const bool haveTexts = d.texts && d.texts->kind == 0 && d.texts->numTexts > 0;
    const bool haveLines = d.numOverlays > 0;
    auto present = [&](int kind) {
        switch (kind) {
            case OVERLAY_LABEL: return d.label != nullptr;
            case OVERLAY_IMAGE: return d.hasImage();
            case OVERLAY_LINES: return haveLines;
            case OVERLAY_TEXTS: return haveTexts;
            default: return false;
        }
    };
    OverlayLineSet overlayLines;
    overlayLines.objectId = objectid;
    overlayLines.points = d.overlayPoints.data();
    overlayLines.count = d.numOverlays;
    overlayLines.segments = d.overlaySegs.data();
    overlayLines.colourValues = d.overlayColours.data();

    auto compile = [&](int kind) {
        r->beginOverlayList(objectid, kind);
        switch (kind) {
            case OVERLAY_LABEL: r->compileLabel(*d.label); break;
            case OVERLAY_IMAGE: r->compileImage(*d.image); break;
            case OVERLAY_LINES: r->compileOverlayLines(overlayLines); break;
            case OVERLAY_TEXTS: r->compileText2D(objectid, *d.texts); break;
        }
        r->endOverlayList();
    };
    useColourMap(r, *data);
    if (usesLists(r)) {
        for (int kind = 0; kind < NUM_OVERLAY_KINDS; ++kind) {
            if (!present(kind)) continue;
            if (kind == OVERLAY_TEXTS) {
                if (!(textViewportDirty & viewportBit)) continue;
                compile(kind);
                textViewportDirty &= ~viewportBit;
            } else if (overlayDirty[kind]) {
                compile(kind);
                overlayDirty[kind] = false;
            }
        }
    }
    // A list backend calls the list it compiled (placing labels and images);
    // a backend without lists draws the item directly.
    const bool lists = usesLists(r);
    for (int kind = 0; kind < NUM_OVERLAY_KINDS; ++kind) {
        if (!present(kind)) continue;
        if ((kind == OVERLAY_IMAGE) != secondPass) continue;
        r->beginOverlayCall(objectid, kind);
        OverlayPlacement placement;
        if (kind == OVERLAY_LABEL) {
            placement.position[0] = d.label->position[0];
            placement.position[1] = d.label->position[1];
            placement.scale = d.label->size;
        } else if (kind == OVERLAY_IMAGE) {
            std::copy(d.image->position, d.image->position + 3, placement.position);
            placement.scale = d.image->scale;
            placement.alignment = d.image->alignment;
            placement.extents[2] = static_cast<float>(d.image->width);
            placement.extents[3] = static_cast<float>(d.image->height);
        }
        if (lists) {
            r->callOverlayItem(kind, placement);
        } else {
            switch (kind) {
                case OVERLAY_LABEL: r->emitLabel(*d.label); break;
                case OVERLAY_IMAGE: r->emitImage(*d.image); break;
                case OVERLAY_LINES: r->emitOverlayLines(overlayLines); break;
                case OVERLAY_TEXTS: r->emitText2D(objectid, *d.texts); break;
            }
        }
        r->endOverlayCall();
    }
}
