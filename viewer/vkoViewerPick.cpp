// Picking as the pointer interpreter runs it: selection picks around the
// pointer or in a box, colour-identifier picks in a box or a lasso polygon,
// the flood fill of a surface from a picked face, object dragging, the
// polygon selection and the reports to the host.
#include <algorithm>
#include <cmath>
#include <deque>

#include "render/Graphics.h"
#include "render/GraphicsOGL.h"
#include "render/PickRecord.h"
#include "render/VWindow.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/vkoViewer.h"

namespace {
// MouseFunction codes reported with the picked point.
constexpr int kCodeDragPick = 17, kCodeHoverPick = 18, kCodePointPick = 14;
constexpr int kCodeAreaPick = 19, kCodeAreaPickInside = 24;
constexpr double kPi = 3.141592653589793;
}  // namespace

// ---------------------------------------------------------------- pick draws

void vkoViewer::InstallPickConverter() {
    auto* ogl = dynamic_cast<GraphicsOGL*>(renderer);
    if (!ogl) return;
    ogl->pickConverter = [this, ogl](const GraphicsOGL::PickIdSet& ids, std::vector<PickRecord>& out) {
        out.clear();
        if (currentViewport) GraphicsOGL::RecordsFromPickIds(*currentViewport, *ogl, pickMode, ids, out);
    };
}

void vkoViewer::PickSelect(int x0, int y0, int x1, int y1) { PickSelectIn(x0, y0, x1, y1, false); }

bool vkoViewer::FrameIsCurrent() const {
    if (!glWindow || !renderer || drawingSuspended || !currentViewport) return false;
    for (const vkoViewport* v : viewports) {
        if (!v->needsRedraw || !v->isVisibleFlag || v->width == 0.0f || v->height == 0.0f) continue;
        if (v == boxPushedViewport && v->needsRedraw.settings() == boxPushedMarks) continue;
        return false;
    }
    return true;
}

void vkoViewer::PickSelectIn(int x0, int y0, int x1, int y1, bool keepFrame) {
    if (!renderer || !currentViewport) return;
    // An object pick leaves the colour buffer alone (the selection pass
    // draws nothing, the depth pass only writes depth under the pick
    // rectangle), so when the window already shows the scene as it stands
    // the frame that follows a pick would only draw the same picture again.
    // Box picks still redraw: the rubber band has to go.
    keepFrame = keepFrame && interpreterPickMode != 0 && FrameIsCurrent();
    if (interpreterPickMode == 0) {
        // The lists are built again with the face and vertex names.
        ResetRenderer(false);
    } else {
        // Object picks need no names beyond the object's own, which every
        // list call carries: rebuilding a large scene's lists here would
        // cost many frames.
        pickPointValid = false;
        if (!keepFrame) RefreshAll(false, false);
    }
    pickMode = interpreterPickMode;
    renderer->pickRect[0] = std::min(x0, x1);
    renderer->pickRect[1] = std::min(y0, y1);
    renderer->pickRect[2] = std::max(x0, x1);
    renderer->pickRect[3] = std::max(y0, y1);
    currentViewport->needsRedraw = 1;
    Redraw();
    pickMode = 5;
    if (!keepFrame) {
        currentViewport->needsRedraw = 1;
        Redraw();
    }
    currentViewport->selectionPass = 0;
}

void vkoViewer::PickSelectAround(VWindow* w) {
    PickSelectIn(w->pointerX - 2, w->pointerY - 2, w->pointerX + 2, w->pointerY + 2, true);
}

void vkoViewer::PickColour(const int* rectangle, int count, const int* points) {
    if (!renderer || !currentViewport) return;
    // Without this an empty lasso or box would report the previous pick.
    renderer->clearPickHits();
    InstallPickConverter();
    // Unless items showing outside the region are ruled out, only the
    // region's pixels are read: the pick draw is kept to them and, when the
    // window showed the scene as it stands, so is the repair after it.
    const bool onlyInside = rectangle ? rectangle[4] != 0 : pickInsideOnly;
    const bool frameWasCurrent = FrameIsCurrent();
    if (!onlyInside && (rectangle || count > 0)) {
        int box[4];
        if (rectangle) {
            box[0] = std::min(rectangle[0], rectangle[2]), box[2] = std::max(rectangle[0], rectangle[2]);
            box[1] = std::min(rectangle[1], rectangle[3]), box[3] = std::max(rectangle[1], rectangle[3]);
        } else {
            box[0] = box[2] = points[0], box[1] = box[3] = points[1];
            for (int i = 1; i < count; ++i) {
                box[0] = std::min(box[0], points[2 * i]), box[2] = std::max(box[2], points[2 * i]);
                box[1] = std::min(box[1], points[2 * i + 1]), box[3] = std::max(box[3], points[2 * i + 1]);
            }
        }
        // A margin for the rubber band and the lasso's wide line.
        constexpr int kMargin = 3;
        renderer->frameClip[0] = box[0] - kMargin, renderer->frameClip[1] = box[1] - kMargin;
        renderer->frameClip[2] = box[2] + kMargin, renderer->frameClip[3] = box[3] + kMargin;
        renderer->frameClipOn = true;
    }
    RefreshTexts(false);
    pickMode = interpreterPickMode;
    currentViewport->needsRedraw = 1;
    Redraw();
    if (rectangle)
        renderer->pickRectangle(rectangle[0], rectangle[1], rectangle[2], rectangle[3], onlyInside);
    else
        renderer->pickPolygon(count, points, onlyInside);
    RefreshTexts(false);
    pickMode = 5;
    // The pick draw went straight to the back buffer; the lists were not
    // touched, so the next frame only has to cover the identifier colours.
    if (!frameWasCurrent) renderer->frameClipOn = false;
    currentViewport->needsRedraw = 1;
    Redraw();
    renderer->frameClipOn = false;
}

void vkoViewer::PointPickWithCallback(VWindow* w, PickCallback callback) {
    savedPickMode = interpreterPickMode;
    if (interpreterPickMode == 5) interpreterPickMode = 3;
    PickSelectAround(w);
    const int id = renderer && !renderer->hits().empty() ? renderer->hits().front().objectId : -1;
    float point[3] = {dragPoint[0], dragPoint[1], dragPoint[2]};
    const bool valid = pickPointValid;
    interpreterPickMode = savedPickMode;
    const int position[2] = {w->pointerX, w->pointerY};
    if (callback) callback(id, valid ? point : nullptr, position);
}

void vkoViewer::ReportPick(int type) {
    // A copy: the host may draw (and pick) again from inside its handler.
    std::vector<PickRecord> records;
    if (renderer) records = renderer->hits();
    float point[3] = {dragPoint[0], dragPoint[1], dragPoint[2]};
    const bool valid = pickPointValid;
    if (interpreterPickMode != 0 || type != 0) DmeshPickedObject(int(records.size()), records.data());
    switch (type) {
    case 0: DmeshPickedPoint(valid ? point : nullptr, kCodeDragPick); break;
    case 1: DmeshPickedPoint(valid ? point : nullptr, kCodeHoverPick); break;
    case 3: DmeshPickedPoint(valid ? point : nullptr, kCodePointPick); break;
    case 2: DmeshPickedPoint(nullptr, kCodeAreaPick); break;
    case 4: DmeshPickedPoint(nullptr, kCodeAreaPickInside); break;
    default: break;
    }
}

void vkoViewer::SetPickMode(int mode, bool insideOnly, float floodAngleDegrees) {
    // A host that changes the mode from inside a pick report (for example
    // back to viewing when point picking ends) means the mode after the
    // pick: the running pick action puts this one back, not its own copy.
    savedPickMode = mode;
    LeavePolygonSelection();
    pickInsideOnly = insideOnly;
    if (std::isfinite(floodAngleDegrees)) floodAngle = std::clamp(floodAngleDegrees, 0.0f, 180.0f);
    if (mode == interpreterPickMode) return;
    interpreterPickMode = mode;
    if (mode != 1 && mode != 2 && mode != 4) {
        RefreshTexts(false);
        ResetRenderer(true);
    }
}

// ------------------------------------------------------------- pick actions

void vkoViewer::DragBegin(VWindow* w) {
    savedPickMode = interpreterPickMode;
    if (interpreterPickMode == 5) interpreterPickMode = 3;
    PickSelectAround(w);
    ReportPick(0);
    float movement[3];
    DragPickedObject(w->pointerX, w->pointerY, movement, true, false);
    objectMoved = false;
}

void vkoViewer::DragObject(VWindow* w) {
    w->modifiers = 0;
    float movement[3];
    if (DragPickedObject(w->pointerX, w->pointerY, movement, false, false)) objectMoved = true;
}

void vkoViewer::DragEnd(VWindow*) {
    if (objectMoved && renderer && !renderer->hits().empty()) {
        const int id = renderer->hits().front().objectId;
        if (vkoGraphicObj* o = FindGraphicById(id))
            DmeshMovedObject(id, o->offsetTrans[0], o->offsetTrans[1], o->offsetTrans[2]);
    }
    objectMoved = false;
    interpreterPickMode = savedPickMode;
}

void vkoViewer::PickPointAction(VWindow* w) {
    savedPickMode = interpreterPickMode;
    if (interpreterPickMode == 5) interpreterPickMode = 3;
    PickSelectAround(w);
    ReportPick(3);
    interpreterPickMode = savedPickMode;
}

void vkoViewer::HoverPickAction(VWindow* w) {
    if (interpreterPickMode != 0 && interpreterPickMode != 3) return;
    PickSelectAround(w);
    ReportPick(1);
}

void vkoViewer::RectanglePick(VWindow* w, int reportType) {
    struct Forget {
        vkoViewport*& pushed;
        ~Forget() { pushed = nullptr; }
    } forget{boxPushedViewport};
    if (renderer) renderer->rubberBand(2, 0, 0);
    interacting = false;
    int x, y;
    ClampToActive(w, x, y);
    if (x == w->pressX || y == w->pressY) {
        if (currentViewport) currentViewport->needsRedraw = 1;
        Redraw();
        return;
    }
    const int m = interpreterPickMode;
    if (m == 0 || m == 3) {
        PickSelect(w->pressX, w->pressY, x, y);
    } else if (m == 1 || m == 4) {
        // The inside form picks only what lies wholly in the box.
        const int rect[5] = {w->pressX, w->pressY, x, y, (pickInsideOnly || reportType == 4) ? 1 : 0};
        PickColour(rect, 0, nullptr);
    } else {
        return;
    }
    ReportPick(reportType);
}

void vkoViewer::RectangleEnd(VWindow* w) { RectanglePick(w, 2); }
void vkoViewer::RectangleEndInside(VWindow* w) { RectanglePick(w, 4); }

void vkoViewer::SurfacePickWith(VWindow* w, int reportType) {
    savedPickMode = interpreterPickMode;
    // The seed face comes from a selection pick with face names.
    interpreterPickMode = 0;
    PickSelectAround(w);
    interpreterPickMode = 2;
    if (renderer && !renderer->hits().empty() && renderer->hits().front().element >= 0) {
        const PickRecord seed = renderer->hits().front();
        vkoGraphicObj* o = FindGraphicById(seed.objectId);
        if (o && o->data) {
            const std::vector<int> faces = FloodFillFaces(*o->data, seed.element, floodAngle);
            if (!faces.empty()) {
                renderer->pickHits.clear();
                for (int f : faces) renderer->pickHits.push_back(PickRecord{seed.depth, seed.objectId, 1, f});
                ReportPick(reportType);
            }
        }
    }
    interpreterPickMode = savedPickMode;
}

void vkoViewer::SurfacePick(VWindow* w) { SurfacePickWith(w, 2); }
void vkoViewer::SurfacePickInside(VWindow* w) { SurfacePickWith(w, 4); }

// -------------------------------------------------------- polygon selection

void vkoViewer::AddPolygonPointWith(VWindow* w, bool inside) {
    vkoViewport* v = w->activeViewport;
    if (!v) return;
    if (!polygonSelecting && (interpreterPickMode == 1 || interpreterPickMode == 4)) {
        v->clearLasso();
        savedMouseTable = mouseTable;
        savedWheelTable = wheelTable;
        mouseTable = PolygonMouseTable(inside);
        wheelTable.clear();
        polygonSelecting = true;
        polygonViewport = v;
    }
    if (!polygonSelecting || polygonViewport != v) return;
    int x, y;
    ClampToActive(w, x, y);
    v->addLassoPoint(x, y, false);
    Redraw();
}

void vkoViewer::AddPolygonPoint(VWindow* w) { AddPolygonPointWith(w, false); }
void vkoViewer::AddPolygonPointInside(VWindow* w) { AddPolygonPointWith(w, true); }
void vkoViewer::RemovePolygonPointAction(VWindow*) { RemovePolygonPoint(); }

void vkoViewer::RemovePolygonPoint() {
    if (!polygonSelecting || !polygonViewport) return;
    if (polygonViewport->removeLassoPoint())
        LeavePolygonSelection();
    else
        Redraw();
}

void vkoViewer::ClosePolygonWith(VWindow* w, int reportType) {
    if (!polygonSelecting) return;
    vkoViewport* v = polygonViewport;
    if (v && v == w->activeViewport && v->lassoCount > 0) {
        std::vector<int> points;
        for (int i = 0; i < v->lassoCount; ++i) {
            points.push_back(v->lassoPoints[i][0]);
            points.push_back(v->lassoPoints[i][1]);
        }
        const int count = v->lassoCount;
        const bool inside = pickInsideOnly || reportType == 4;
        const bool saved = pickInsideOnly;
        pickInsideOnly = inside;
        PickColour(nullptr, count, points.data());
        pickInsideOnly = saved;
        ReportPick(reportType);
    }
    LeavePolygonSelection();
}

void vkoViewer::ClosePolygon(VWindow* w) { ClosePolygonWith(w, 2); }
void vkoViewer::ClosePolygonInside(VWindow* w) { ClosePolygonWith(w, 4); }

void vkoViewer::LeavePolygonSelection() {
    if (!polygonSelecting) return;
    polygonSelecting = false;
    mouseTable = savedMouseTable;
    wheelTable = savedWheelTable;
    savedMouseTable.clear();
    savedWheelTable.clear();
    if (polygonViewport) polygonViewport->clearLasso();
    polygonViewport = nullptr;
    Redraw();
}

// ------------------------------------------------------------------ flood fill

std::vector<int> vkoViewer::FloodFillFaces(const GraphicData& data, int startFace, float maxAngleDegrees) {
    // The mesh's faces, or the generated primitive's when it has none.
    const bool mesh = data.numFaces > 0;
    const int numFaces = mesh ? data.numFaces : data.primitive.shape.numFaces;
    const int numVertices = mesh ? data.numVertices : data.primitive.shape.numVertices;
    const std::vector<int>& entries = mesh ? data.faceEntries : data.primitive.shape.faceEntries;
    const std::vector<float>& normals = mesh ? data.faceNormals : data.primitive.shape.faceNormals;
    if (startFace < 0 || startFace >= numFaces || normals.size() < size_t(numFaces) * 3u) return {};

    std::vector<int> ownStart, ownFaces;
    const std::vector<int>* vertexFaceStart = mesh ? &data.vertexFaceStart : &data.primitive.shape.vertexFaceStart;
    const std::vector<int>* vertexFaces = mesh ? &data.vertexFaces : &data.primitive.shape.vertexFaces;
    if (vertexFaceStart->size() != size_t(numVertices) || vertexFaces->empty()) {
        GraphicData::BuildAdjacency(numVertices, entries, numFaces, ownStart, ownFaces);
        vertexFaceStart = &ownStart;
        vertexFaces = &ownFaces;
    }

    // Where each face's entries begin; faces past a damaged entry list end
    // the walk.
    std::vector<size_t> faceAt(size_t(numFaces), entries.size());
    for (size_t pos = 0, f = 0; f < size_t(numFaces) && pos < entries.size(); ++f) {
        const int n = entries[pos];
        if (n < 0 || pos + 1 + size_t(n) > entries.size()) break;
        faceAt[f] = pos;
        pos += size_t(n) + 1;
    }
    auto unitNormal = [&](int f, double out[3]) {
        const float* n = normals.data() + 3 * size_t(f);
        const double l = std::sqrt(double(n[0]) * n[0] + double(n[1]) * n[1] + double(n[2]) * n[2]);
        for (int i = 0; i < 3; ++i) out[i] = l > 0.0 ? n[i] / l : 0.0;
    };
    const double minDot = std::cos(double(maxAngleDegrees) * kPi / 180.0);

    std::vector<char> accepted(size_t(numFaces), 0);
    std::deque<int> queue{startFace};
    accepted[size_t(startFace)] = 1;
    while (!queue.empty()) {
        const int f = queue.front();
        queue.pop_front();
        const size_t at = faceAt[size_t(f)];
        if (at >= entries.size()) continue;
        double nf[3];
        unitNormal(f, nf);
        const int n = entries[at];
        for (int k = 1; k <= n; ++k) {
            const int v = entries[at + size_t(k)];
            if (v < 0 || v >= numVertices) continue;
            const size_t start = size_t((*vertexFaceStart)[size_t(v)]);
            if (start >= vertexFaces->size()) continue;
            const int count = (*vertexFaces)[start];
            for (int j = 1; j <= count && start + size_t(j) < vertexFaces->size(); ++j) {
                const int g = (*vertexFaces)[start + size_t(j)];
                if (g < 0 || g >= numFaces || accepted[size_t(g)]) continue;
                double ng[3];
                unitNormal(g, ng);
                if (nf[0] * ng[0] + nf[1] * ng[1] + nf[2] * ng[2] < minDot) continue;
                accepted[size_t(g)] = 1;
                queue.push_back(g);
            }
        }
    }
    std::vector<int> faces;
    for (int f = 0; f < numFaces; ++f)
        if (accepted[size_t(f)]) faces.push_back(f);
    return faces;
}
