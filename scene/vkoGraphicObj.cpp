#include "scene/vkoGraphicObj.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "render/Graphics.h"
#include "viewer/vkoViewer.h"

namespace {

std::atomic<int> gNextObjectId{0};

// Protocol values arrive as text through atof; a huge or NaN value must not
// reach a float-to-int conversion (undefined behaviour).
int ToInt(float value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0f) return INT_MAX;
    if (value <= -2147483648.0f) return INT_MIN;
    return int(value);
}

template <typename T>
bool Store(T& field, T value) {
    if (field == value) return false;
    field = value;
    return true;
}

// Parses exactly `count` whitespace-separated numbers.
bool ParseFloats(const char* text, float* out, int count) {
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        errno = 0;
        const float v = std::strtof(p, &end);
        if (end == p) return false;
        out[i] = v;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    return *p == '\0';
}

bool ParseInt(const char* text, int& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
    if (*end != '\0') return false;
    out = int(v);
    return true;
}

void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& out, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0) out.append(buffer, size_t(std::min<int>(n, int(sizeof buffer) - 1)));
}

}  // namespace

// ---------------------------------------------------------------- identity

vkoGraphicObj::vkoGraphicObj(vkoViewer* owner_, const char* name) : owner(owner_), objectid(gNextObjectId++) {
    setName(name);
}

vkoGraphicObj::~vkoGraphicObj() { releaseData(); }

void vkoGraphicObj::setName(const char* name) {
    if (name) objectname = name;
}

int vkoGraphicObj::NextObjectId() { return gNextObjectId.load(); }

// ---------------------------------------------------------------- properties

void vkoGraphicObj::setProperty(int id, float value) {
    const bool on = value != 0.0f;
    auto dirtyFaces = [this] {
        listDirty[LIST_FACES] = listDirty[LIST_REDUCED_FACES] = true;
        listDirty[int(NUM_LIST_KINDS) + int(PRIM_LIST_FACES)] = true;
    };
    switch (id) {
    case PROP_VISIBILITY: visibility = on; break;
    case PROP_FACES: faces = on; break;
    case PROP_LINES: lines = on; break;
    case PROP_VERTICES: vertices = on; break;
    case PROP_LIGHTING: lighting = on; break;
    case PROP_SPECULAR: specular = on; break;
    case PROP_CULLING_MODE: cullingMode = ToInt(value); break;
    case PROP_SMOOTH_LINES:
        if (Store(smoothLines, on)) listDirty[LIST_LINES] = listDirty[int(NUM_LIST_KINDS) + int(PRIM_LIST_LINES)] = true;
        break;
    case PROP_SMOOTH_FACES:
        if (Store(smoothFaces, on)) dirtyFaces();
        break;
    case PROP_OVERLAY: overlay = on; break;
    case PROP_LINE_WIDTH:
        if (Store(lineWidth, ToInt(value))) listDirty[LIST_LINES] = true;
        break;
    case PROP_TRANSPARENT: transparent = on; break;
    case PROP_TRANSPARENCY_LEVEL: {
        const float level = std::isnan(value) ? 0.0f : value > 1.0f ? 1.0f : value < 0.0f ? 0.0f : value;
        if (Store(transparencyLevel, level)) dirtyFaces();
        break;
    }
    case PROP_CUTTING_PLANE_VISIBLE: cuttingPlaneVisible = on; break;
    case PROP_CUTTING_PLANE_D: cuttingPlaneD = value; break;
    case PROP_MIRROR_PLANE_VISIBLE: mirrorPlaneVisible = on; break;
    case PROP_MIRROR_PLANE_PLANE_VISIBLE: mirrorPlanePlaneVisible = on; break;
    case PROP_SINGLE_LIST: singleList = on; break;
    case PROP_CREASE_ANGLE:
        if (Store(creaseAngle, value)) dirtyFaces();
        break;
    case PROP_POLYGON_MODE: polygonMode = ToInt(value); break;
    case PROP_DRAW_TEXTURE: drawTexture = on; break;
    case PROP_VISIBILITY2: visibility2 = on; break;
    case PROP_POINT_SIZE:
        if (Store(pointSize, value)) listDirty[LIST_VERTICES] = true;
        break;
    case PROP_LOD_ALWAYS: lodAlways = on; break;
    case PROP_POLYGON_OFFSET:
        if (Store(polygonOffset, ToInt(value))) dirtyFaces();
        break;
    case PROP_DRAW_MODE: drawMode = ToInt(value); break;
    case PROP_PICKABLE:
        if (Store(pickable, on)) markAllDirty();
        break;
    default: break;
    }
}

void vkoGraphicObj::toggleProperty(int id) {
    switch (id) {
    case PROP_CULLING_MODE:
    case PROP_LINE_WIDTH:
    case PROP_TRANSPARENCY_LEVEL:
    case PROP_CUTTING_PLANE_D:
    case PROP_CREASE_ANGLE:
    case PROP_POLYGON_MODE:
    case PROP_LOD_ALWAYS:
    case PROP_POLYGON_OFFSET:
    case PROP_DRAW_MODE: return;
    case PROP_POINT_SIZE: setProperty(id, -pointSize); return;
    default: break;
    }
    bool unknown = false;
    const float current = getProperty(id, unknown);
    if (!unknown) setProperty(id, current != 0.0f ? 0.0f : 1.0f);
}

float vkoGraphicObj::getProperty(int id, bool& unknown) const {
    unknown = false;
    switch (id) {
    case PROP_VISIBILITY: return visibility;
    case PROP_FACES: return faces;
    case PROP_LINES: return lines;
    case PROP_VERTICES: return vertices;
    case PROP_LIGHTING: return lighting;
    case PROP_SPECULAR: return specular;
    case PROP_CULLING_MODE: return float(cullingMode);
    case PROP_SMOOTH_LINES: return smoothLines;
    case PROP_SMOOTH_FACES: return smoothFaces;
    case PROP_OVERLAY: return overlay;
    case PROP_LINE_WIDTH: return float(lineWidth);
    case PROP_TRANSPARENT: return transparent;
    case PROP_TRANSPARENCY_LEVEL: return transparencyLevel;
    case PROP_CUTTING_PLANE_VISIBLE: return cuttingPlaneVisible;
    case PROP_CUTTING_PLANE_D: return cuttingPlaneD;
    case PROP_MIRROR_PLANE_VISIBLE: return mirrorPlaneVisible;
    case PROP_MIRROR_PLANE_PLANE_VISIBLE: return mirrorPlanePlaneVisible;
    case PROP_SINGLE_LIST: return singleList;
    case PROP_CREASE_ANGLE: return creaseAngle;
    case PROP_POLYGON_MODE: return float(polygonMode);
    case PROP_DRAW_TEXTURE: return drawTexture;
    case PROP_VISIBILITY2: return visibility2;
    case PROP_POINT_SIZE: return pointSize;
    case PROP_LOD_ALWAYS: return lodAlways;
    case PROP_POLYGON_OFFSET: return float(polygonOffset);
    case PROP_DRAW_MODE: return float(drawMode);
    case PROP_PICKABLE: return pickable;
    default: unknown = true; return 0.0f;
    }
}

// ---------------------------------------------------------------- placement

void vkoGraphicObj::setPlacementAngle(float degrees) {
    offsetAngle = degrees;
    markAllDirty();
}

void vkoGraphicObj::setPlacementAxis(const float axis[6]) {
    std::memcpy(offsetRotAxis, axis, sizeof offsetRotAxis);
    markAllDirty();
}

void vkoGraphicObj::setPlacementTranslation(const float translation[3]) {
    std::memcpy(offsetTrans, translation, sizeof offsetTrans);
    markAllDirty();
}

void vkoGraphicObj::setPlacementScale(const float scale[3]) {
    std::memcpy(offsetScale, scale, sizeof offsetScale);
    markAllDirty();
}

void vkoGraphicObj::setInstances(int count) { numInstances = count < 1 ? 1 : count; }

void vkoGraphicObj::setInstanceAngle(float degrees) {
    replicationRotAngle = (degrees >= 0.0f && degrees < 360.0f) ? degrees : 0.0f;  // NaN gives 0 as well
}

void vkoGraphicObj::setInstanceAxis(const float axis[6]) {
    std::memcpy(replicationRotAxis, axis, sizeof replicationRotAxis);
}

void vkoGraphicObj::setInstanceTranslation(const float translation[3]) {
    std::memcpy(replicationTrans, translation, sizeof replicationTrans);
}

void vkoGraphicObj::setClipPlane(const float points[9]) {
    std::memcpy(cuttingPlanePt1, points, sizeof cuttingPlanePt1);
    std::memcpy(cuttingPlanePt2, points + 3, sizeof cuttingPlanePt2);
    std::memcpy(cuttingPlanePt3, points + 6, sizeof cuttingPlanePt3);
}

void vkoGraphicObj::getClipPlane(float points[9]) const {
    std::memcpy(points, cuttingPlanePt1, sizeof cuttingPlanePt1);
    std::memcpy(points + 3, cuttingPlanePt2, sizeof cuttingPlanePt2);
    std::memcpy(points + 6, cuttingPlanePt3, sizeof cuttingPlanePt3);
}

void vkoGraphicObj::setMirrorPlane(const float points[9]) {
    std::memcpy(mirrorPlanePt1, points, sizeof mirrorPlanePt1);
    std::memcpy(mirrorPlanePt2, points + 3, sizeof mirrorPlanePt2);
    std::memcpy(mirrorPlanePt3, points + 6, sizeof mirrorPlanePt3);
}

// ---------------------------------------------------------------- data

GraphicData& vkoGraphicObj::ensureData() {
    if (!data) data = std::make_unique<GraphicData>(owner, owner ? &owner->link : nullptr);
    return *data;
}

void vkoGraphicObj::markAllDirty() {
    for (bool& d : overlayDirty) d = true;
    for (bool& d : listDirty) d = true;
    textViewportDirty = kAllViewportTexts;
}

void vkoGraphicObj::deleteRendererLists() {
    Graphics* renderer = owner ? owner->renderer : nullptr;
    if (!renderer) return;
    const int textCount = data && data->texts ? data->texts->numTexts : 0;
    renderer->deleteLists(objectid, textCount);
    renderer->deleteOverlayLists(objectid, textCount);
    renderer->deletePrimitiveLists(objectid);
}

void vkoGraphicObj::releaseData() {
    dataLoaded = false;
    if (data) {
        if (owner) deleteRendererLists();
        data.reset();
    }
    markAllDirty();
}

bool vkoGraphicObj::loadData() { return loadData(owner ? &owner->link : nullptr); }

bool vkoGraphicObj::loadData(LinkStream* input) {
    releaseData();
    data = std::make_unique<GraphicData>(owner, input);
    if (!input || !data->LoadData(singleList)) return false;
    dataLoaded = true;
    if (owner) owner->QueueLod(objectid);
    if (data->hasBackdrop()) {
        cullingMode = CULL_FRONT;
        if (data->texture->kind == TEXTURE_BACKDROP_ROTATING) {
            viewTransformMask = 2;
            if (const char* rotate = std::getenv("KRV_BACKGROUND_ROTATE")) {
                float v[4];
                if (std::sscanf(rotate, "%g %g %g %g", &v[0], &v[1], &v[2], &v[3]) == 4) {
                    offsetRotAxis[3] = v[0];
                    offsetRotAxis[4] = v[1];
                    offsetRotAxis[5] = v[2];
                    offsetAngle = v[3];
                }
            }
        } else {
            viewTransformMask = 0;
        }
    }
    faces = true;
    return true;
}

void vkoGraphicObj::makeText(const float position[3], const char* text, float height) {
    releaseData();
    GraphicData& d = ensureData();
    d.colourMap = std::make_unique<ColourMapRecord>();
    d.colourMap->setSingle(1.0f, 1.0f, 1.0f);
    auto t = std::make_unique<TextsRecord>();
    t->numTexts = 1;
    t->strings.push_back(text ? text : "");
    t->positions.assign(position, position + 3);
    t->heights.push_back(height);
    t->widths.push_back(0.0f);
    t->angles.push_back(0.0f);
    t->alignments.push_back(0);
    t->font = 0;
    t->colour = 0.0f;
    t->kind = 0;
    d.texts = std::move(t);
}

bool vkoGraphicObj::loadImage(const unsigned char* bytes, int size, const float position[3], float scale,
                              int alignment) {
    releaseData();
    GraphicData& d = ensureData();
    if (!bytes || size <= 0 || !d.LoadImage(bytes, size)) {
        d.image.reset();
        return false;
    }
    d.image->colourConversion = 1;
    std::memcpy(d.image->position, position, sizeof d.image->position);
    d.image->scale = scale;
    d.image->alignment = alignment;
    return true;
}

void vkoGraphicObj::setSolidColour(float red, float green, float blue) {
    GraphicData& d = ensureData();
    // The worker reads the per-vertex values being dropped here: stop it and
    // reduce again with the new colours.
    const bool requeue = d.cancelReduction();
    if (!d.reduced.vertexColours.empty()) {
        d.reduced.vertexColours.clear();
        listDirty[LIST_REDUCED_FACES] = true;
    }
    if (!d.colourMap) d.colourMap = std::make_unique<ColourMapRecord>();
    d.colourMap->setSingle(red, green, blue);
    d.vertexColours.clear();
    d.lineColours.clear();
    d.faceColours.clear();
    d.vertexColour = d.lineColour = d.faceColour = 0.0f;
    listDirty[LIST_FACES] = listDirty[LIST_LINES] = listDirty[LIST_VERTICES] = true;
    if (requeue && owner) owner->QueueLod(objectid);
}

bool vkoGraphicObj::reductionFinished() {
    if (!data || !data->acceptReducedMesh()) return false;
    listDirty[LIST_REDUCED_FACES] = true;
    return true;
}

bool vkoGraphicObj::appendMesh(int addVertices, const float* coords, int addLineSegs, const int* segs, int addFaces,
                               int addFaceEntries, const int* entries) {
    // Check everything before changing anything.
    if (addVertices < 0 || addLineSegs < 0 || addFaces < 0 || addFaceEntries < 0) return false;
    if ((addVertices > 0 && !coords) || (addLineSegs > 0 && !segs) || (addFaceEntries > 0 && !entries))
        return false;
    for (long long i = 0; i < 2LL * addLineSegs; ++i)
        if (segs[i] < 0 || segs[i] >= addVertices) return false;
    long long pos = 0;
    for (int f = 0; f < addFaces; ++f) {
        if (pos >= addFaceEntries) return false;
        const int n = entries[pos];
        if (n < 0 || pos + 1 + n > addFaceEntries) return false;
        for (int k = 1; k <= n; ++k)
            if (entries[pos + k] < 0 || entries[pos + k] >= addVertices) return false;
        pos += n + 1;
    }
    if (pos != addFaceEntries) return false;

    const bool created = !data;
    GraphicData& d = ensureData();
    if (created) {
        d.colourMap = std::make_unique<ColourMapRecord>();
        d.colourMap->setSingle(1.0f, 0.0f, 0.0f);
        d.vertexColour = d.lineColour = d.faceColour = 0.0f;
    }
    d.stopLodWorker();

    const long long base = d.numVertices;
    if (base + addVertices > INT_MAX || (long long)d.numLineSegs + addLineSegs > INT_MAX ||
        (long long)d.numFaces + addFaces > INT_MAX || (long long)d.numFaceEntries + addFaceEntries > INT_MAX)
        return false;
    d.vertexCoords.insert(d.vertexCoords.end(), coords, coords + 3 * size_t(addVertices));
    // Per-item colours stay exactly sized; new items take the first map entry.
    if (!d.vertexColours.empty()) d.vertexColours.resize(d.vertexColours.size() + size_t(addVertices), 0.0f);
    d.numVertices += addVertices;
    for (long long i = 0; i < 2LL * addLineSegs; ++i) d.lineSegs.push_back(int(segs[i] + base));
    if (!d.lineColours.empty()) d.lineColours.resize(d.lineColours.size() + size_t(addLineSegs), 0.0f);
    d.numLineSegs += addLineSegs;
    pos = 0;
    for (int f = 0; f < addFaces; ++f) {
        const int n = entries[pos];
        d.faceEntries.push_back(n);
        for (int k = 1; k <= n; ++k) d.faceEntries.push_back(int(entries[pos + k] + base));
        pos += n + 1;
    }
    if (!d.faceColours.empty()) d.faceColours.resize(d.faceColours.size() + size_t(addFaces), 0.0f);
    d.numFaces += addFaces;
    d.numFaceEntries += addFaceEntries;

    d.computeBounds();
    d.computeFaceNormals();
    d.buildAdjacency();
    listDirty[LIST_FACES] = listDirty[LIST_LINES] = listDirty[LIST_VERTICES] = true;
    return true;
}

void vkoGraphicObj::countItems(bool excludeFaces, long long& faceCount, long long& segmentCount) const {
    faceCount = 0;
    segmentCount = 0;
    if (!data) return;
    const GraphicData& d = *data;
    const long long copies = numInstances > 1 ? numInstances : 1;
    long long glyphs = 0;
    if (d.primitive.present())
        for (float s : d.primitive.scales)
            if (s != 0.0f) ++glyphs;
    if (faces && !excludeFaces)
        faceCount = copies * (d.numFaces + glyphs * d.primitive.shape.numFaces);
    if (lines) segmentCount = copies * (d.numLineSegs + glyphs * d.primitive.shape.numLineSegs);
    if (overlay) segmentCount += d.numOverlays;
}

// ---------------------------------------------------------------- text forms

std::string vkoGraphicObj::dumpText(int indent) const {
    std::string s;
    auto key = [&](const char* k) { Append(s, "%*c%s: ", indent, ' ', k); };
    auto b = [&](const char* k, bool v) { key(k); Append(s, "%d\n", int(v)); };
    auto i = [&](const char* k, int v) { key(k); Append(s, "%d\n", v); };
    auto f = [&](const char* k, float v) { key(k); Append(s, "%g\n", double(v)); };
    auto f3 = [&](const char* k, const float* v) {
        key(k);
        Append(s, "%g %g %g\n", double(v[0]), double(v[1]), double(v[2]));
    };
    auto f6 = [&](const char* k, const float* v) {
        key(k);
        Append(s, "(%g %g %g) (%g %g %g)\n", double(v[0]), double(v[1]), double(v[2]), double(v[3]), double(v[4]),
               double(v[5]));
    };
    i("objectid", objectid);
    key("objectname");
    s += objectname;
    s += '\n';
    b("visibility", visibility);
    b("visibility2", visibility2);
    b("lighting", lighting);
    b("specular", specular);
    b("drawTexture", drawTexture);
    key("polygonMode");
    Append(s, "%d(%.5s)\n", polygonMode, PolygonModeName(polygonMode));
    b("overlay", overlay);
    b("lines", lines);
    b("vertices", vertices);
    b("faces", faces);
    b("smoothFaces", smoothFaces);
    b("smoothLines", smoothLines);
    i("lineWidth", lineWidth);
    f("creaseAngle", creaseAngle);
    b("transparent", transparent);
    f("transparencyLevel", transparencyLevel);
    b("cuttingPlaneVisible", cuttingPlaneVisible);
    f3("cuttingPlanePt1", cuttingPlanePt1);
    f3("cuttingPlanePt2", cuttingPlanePt2);
    f3("cuttingPlanePt3", cuttingPlanePt3);
    f("cuttingPlaneD", cuttingPlaneD);
    f6("offsetRotAxis", offsetRotAxis);
    f("offsetAngle", offsetAngle);
    f3("offsetTrans", offsetTrans);
    f3("offsetScale", offsetScale);
    b("mirrorPlaneVisible", mirrorPlaneVisible);
    b("mirrorPlanePlaneVisible", mirrorPlanePlaneVisible);
    f3("mirrorPlanePt1", mirrorPlanePt1);
    f3("mirrorPlanePt2", mirrorPlanePt2);
    f3("mirrorPlanePt3", mirrorPlanePt3);
    f("pointSize", pointSize);
    i("polygonOffset", polygonOffset);
    key("drawMode");
    Append(s, "%d(%.10s)\n", drawMode, DrawModeName(drawMode));
    i("numInstances", numInstances);
    f3("replicationTrans", replicationTrans);
    f6("replicationRotAxis", replicationRotAxis);
    f("replicationRotAngle", replicationRotAngle);
    key("cullingMode");
    Append(s, "%d(%.5s)\n", cullingMode, CullingModeName(cullingMode));

    if (!data) {
        Append(s, "%*cHas no Data\n", indent, ' ');
        return s;
    }
    const GraphicData& d = *data;
    const int texts2d = d.texts && d.texts->kind == 0 ? d.texts->numTexts : 0;
    const int texts3d = d.texts && d.texts->kind != 0 ? d.texts->numTexts : 0;
    if (d.label) Append(s, "%*cHas 2d Label\n", indent, ' ');
    if (d.numOverlays > 0) Append(s, "%*cHas (%d) 2d Lines\n", indent, ' ', d.numOverlays);
    if (texts2d > 0) Append(s, "%*cHas (%d) 2d Text\n", indent, ' ', texts2d);
    if (d.hasImage()) Append(s, "%*cHas 2d Image\n", indent, ' ');
    if (d.texture) Append(s, "%*cHas Texture\n", indent, ' ');
    if (texts3d > 0) Append(s, "%*cHas (%d) 3d Text\n", indent, ' ', texts3d);
    if (d.numVertices > 0) Append(s, "%*cHas (%d) 3d Vertices\n", indent, ' ', d.numVertices);
    if (d.numLineSegs > 0) Append(s, "%*cHas (%d) 3d Lines\n", indent, ' ', d.numLineSegs);
    if (d.numFaces > 0) Append(s, "%*cHas (%d) 3d Faces\n", indent, ' ', d.numFaces);
    if (d.primitive.present()) {
        Append(s, "%*cHas Obj Lines\n", indent, ' ');
        if (d.primitive.shape.numLineSegs > 0)
            Append(s, "%*cHas (%d) Obj Lines\n", indent, ' ', d.primitive.shape.numLineSegs);
        if (d.primitive.shape.numFaces > 0)
            Append(s, "%*cHas (%d) Obj Faces\n", indent, ' ', d.primitive.shape.numFaces);
    }
    return s;
}

void vkoGraphicObj::dump(FILE* file, int indent) const {
    if (!file) return;
    const std::string s = dumpText(indent);
    std::fwrite(s.data(), 1, s.size(), file);
}

std::string vkoGraphicObj::saveText(bool withCounts) const {
    std::string s;
    auto b = [&](const char* k, bool v) { Append(s, "\t%s = %s\n", k, v ? "On" : "Off"); };
    auto i = [&](const char* k, int v) { Append(s, "\t%s = %d\n", k, v); };
    auto fn = [&](const char* k, const float* v, int n) {
        Append(s, "\t%s =", k);
        for (int j = 0; j < n; ++j) Append(s, " %g", double(v[j]));
        s += '\n';
    };
    auto f = [&](const char* k, float v) { fn(k, &v, 1); };
    b("visibility", visibility);
    b("visibility2", visibility2);
    b("lighting", lighting);
    b("specular", specular);
    b("drawTexture", drawTexture);
    i("polygonMode", polygonMode);
    b("overlay", overlay);
    b("lines", lines);
    b("vertices", vertices);
    b("faces", faces);
    b("smoothFaces", smoothFaces);
    b("smoothLines", smoothLines);
    i("lineWidth", lineWidth);
    f("creaseAngle", creaseAngle);
    b("transparent", transparent);
    f("transparencyLevel", transparencyLevel);
    b("cuttingPlaneVisible", cuttingPlaneVisible);
    fn("cuttingPlanePt1", cuttingPlanePt1, 3);
    fn("cuttingPlanePt2", cuttingPlanePt2, 3);
    fn("cuttingPlanePt3", cuttingPlanePt3, 3);
    f("cuttingPlaneD", cuttingPlaneD);
    fn("offsetRotAxis", offsetRotAxis, 6);
    f("offsetAngle", offsetAngle);
    fn("offsetTrans", offsetTrans, 3);
    fn("offsetScale", offsetScale, 3);
    b("mirrorPlaneVisible", mirrorPlaneVisible);
    b("mirrorPlanePlaneVisible", mirrorPlanePlaneVisible);
    fn("mirrorPlanePt1", mirrorPlanePt1, 3);
    fn("mirrorPlanePt2", mirrorPlanePt2, 3);
    fn("mirrorPlanePt3", mirrorPlanePt3, 3);
    f("pointSize", pointSize);
    i("numInstances", numInstances);
    fn("replicationTrans", replicationTrans, 3);
    fn("replicationRotAxis", replicationRotAxis, 6);
    f("replicationRotAngle", replicationRotAngle);
    i("polygonOffset", polygonOffset);
    i("drawMode", drawMode);
    i("cullingMode", cullingMode);
    if (withCounts && data) {
        i("numVertices", data->numVertices);
        i("numLineSegs", data->numLineSegs);
        i("numFaces", data->numFaces);
        i("numFaceEntries", data->numFaceEntries);
        i("numOverlays", data->numOverlays);
    }
    return s;
}

bool vkoGraphicObj::save(int fd, bool withCounts) const {
    const std::string s = saveText(withCounts);
    size_t done = 0;
    while (done < s.size()) {
        const ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool vkoGraphicObj::restore(const char* key, const char* value) {
    if (!key || !value) return false;
    struct BoolKey { const char* name; int id; };
    static const BoolKey bools[] = {
        {"visibility", PROP_VISIBILITY}, {"visibility2", PROP_VISIBILITY2}, {"lighting", PROP_LIGHTING},
        {"specular", PROP_SPECULAR}, {"drawTexture", PROP_DRAW_TEXTURE}, {"overlay", PROP_OVERLAY},
        {"lines", PROP_LINES}, {"vertices", PROP_VERTICES}, {"faces", PROP_FACES},
        {"smoothFaces", PROP_SMOOTH_FACES}, {"smoothLines", PROP_SMOOTH_LINES}, {"transparent", PROP_TRANSPARENT},
        {"cuttingPlaneVisible", PROP_CUTTING_PLANE_VISIBLE}, {"mirrorPlaneVisible", PROP_MIRROR_PLANE_VISIBLE},
        {"mirrorPlanePlaneVisible", PROP_MIRROR_PLANE_PLANE_VISIBLE}};
    for (const BoolKey& k : bools)
        if (std::strcmp(key, k.name) == 0) {
            setProperty(k.id, std::strcmp(value, "On") == 0 ? 1.0f : 0.0f);
            return true;
        }
    // Numbers that go through setProperty so the rebuild-flag rules apply.
    struct NumberKey { const char* name; int id; bool isInt; };
    static const NumberKey numbers[] = {
        {"polygonMode", PROP_POLYGON_MODE, true}, {"lineWidth", PROP_LINE_WIDTH, true},
        {"creaseAngle", PROP_CREASE_ANGLE, false}, {"transparencyLevel", PROP_TRANSPARENCY_LEVEL, false},
        {"cuttingPlaneD", PROP_CUTTING_PLANE_D, false}, {"pointSize", PROP_POINT_SIZE, false},
        {"polygonOffset", PROP_POLYGON_OFFSET, true}, {"drawMode", PROP_DRAW_MODE, true},
        {"cullingMode", PROP_CULLING_MODE, true}, {"pickable", PROP_PICKABLE, false}};
    for (const NumberKey& k : numbers)
        if (std::strcmp(key, k.name) == 0) {
            if (k.isInt) {
                int v;
                if (!ParseInt(value, v)) return false;
                setProperty(k.id, float(v));
            } else {
                float v;
                if (!ParseFloats(value, &v, 1)) return false;
                setProperty(k.id, v);
            }
            return true;
        }
    struct ArrayKey { const char* name; float* target; int count; };
    const ArrayKey arrays[] = {
        {"cuttingPlanePt1", cuttingPlanePt1, 3}, {"cuttingPlanePt2", cuttingPlanePt2, 3},
        {"cuttingPlanePt3", cuttingPlanePt3, 3}, {"offsetRotAxis", offsetRotAxis, 6},
        {"offsetAngle", &offsetAngle, 1}, {"offsetTrans", offsetTrans, 3}, {"offsetScale", offsetScale, 3},
        {"mirrorPlanePt1", mirrorPlanePt1, 3}, {"mirrorPlanePt2", mirrorPlanePt2, 3},
        {"mirrorPlanePt3", mirrorPlanePt3, 3}, {"replicationTrans", replicationTrans, 3},
        {"replicationRotAxis", replicationRotAxis, 6}, {"replicationRotAngle", &replicationRotAngle, 1}};
    for (const ArrayKey& k : arrays)
        if (std::strcmp(key, k.name) == 0) {
            float v[6];
            if (!ParseFloats(value, v, k.count)) return false;
            std::memcpy(k.target, v, sizeof(float) * size_t(k.count));
            return true;
        }
    if (std::strcmp(key, "numInstances") == 0) return ParseInt(value, numInstances);
    // Counts written with the data: informative only.
    static const char* const counts[] = {"numVertices", "numLineSegs", "numFaces", "numFaceEntries", "numOverlays"};
    for (const char* k : counts)
        if (std::strcmp(key, k) == 0) {
            int ignored;
            return ParseInt(value, ignored);
        }
    return false;
}
