// Graphic objects: properties and rebuild flags, placement, derived mesh
// data (normals, adjacency, colour collapse), colour lookup, data-creating
// entry points and the text forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"

namespace {

void ClearFlags(vkoGraphicObj& o) {
    for (bool& d : o.overlayDirty) d = false;
    for (bool& d : o.listDirty) d = false;
    o.textViewportDirty = 0;
}

std::vector<int> DirtyLists(const vkoGraphicObj& o) {
    std::vector<int> out;
    for (int i = 0; i < vkoGraphicObj::kNumListFlags; ++i)
        if (o.listDirty[i]) out.push_back(i);
    return out;
}

bool AllDirty(const vkoGraphicObj& o) {
    for (bool d : o.overlayDirty)
        if (!d) return false;
    for (bool d : o.listDirty)
        if (!d) return false;
    return o.textViewportDirty == 0xFFFF;
}

}  // namespace

TEST(GraphicObj, NewObjectDefaultsAndIds) {
    const int next = vkoGraphicObj::NextObjectId();
    vkoGraphicObj a(nullptr, "a"), b(nullptr, nullptr);
    EXPECT_EQ(a.objectid, next);
    EXPECT_EQ(b.objectid, next + 1);
    EXPECT_EQ(vkoGraphicObj::NextObjectId(), next + 2);
    EXPECT_TRUE(a.lines);
    EXPECT_FALSE(a.faces);
    EXPECT_TRUE(a.isVisible());
    EXPECT_FALSE(a.hasInstances());
    EXPECT_TRUE(AllDirty(a));
    EXPECT_EQ(b.objectname, "");
    b.setName("x");
    b.setName(nullptr);
    EXPECT_EQ(b.objectname, "x");
    a.setProperty(PROP_VISIBILITY2, 0);
    EXPECT_FALSE(a.isVisible());
}

// Each row: property, a value different from the default, the value read
// back, and the 3D list flags that change marks.
TEST(GraphicObj, SetPropertyStoresAndMarksOnlyOnChange) {
    struct Row {
        int id;
        float value;
        float stored;
        std::vector<int> dirty;
    };
    const std::vector<int> faceLists = {0, 1, 5};
    const Row rows[] = {
        {PROP_VISIBILITY, 0, 0, {}},
        {PROP_FACES, 0.25f, 1, {}},  // any non-zero value is on
        {PROP_CULLING_MODE, 2, 2, {}},
        {PROP_SMOOTH_LINES, 1, 1, {2, 6}},
        {PROP_SMOOTH_FACES, 0, 0, faceLists},
        {PROP_LINE_WIDTH, 3.7f, 3, {2}},
        {PROP_TRANSPARENCY_LEVEL, 1.5f, 1, faceLists},
        {PROP_TRANSPARENCY_LEVEL, -2, 0, {}},  // clamps to the default 0: no change
        {PROP_CUTTING_PLANE_D, 2.5f, 2.5f, {}},
        {PROP_SINGLE_LIST, 0, 0, {}},
        {PROP_CREASE_ANGLE, 30, 30, faceLists},
        {PROP_POLYGON_MODE, 1, 1, {}},
        {PROP_POINT_SIZE, 9, 9, {3}},
        {PROP_LOD_ALWAYS, 1, 1, {}},
        {PROP_POLYGON_OFFSET, 4, 4, faceLists},
        {PROP_DRAW_MODE, 4, 4, {}},
        {PROP_DRAW_MODE, 1e30f, 2147483647.0f, {}},  // out of int range: clamped, not undefined
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.id);
        vkoGraphicObj o(nullptr, "p");
        ClearFlags(o);
        o.setProperty(r.id, r.value);
        bool unknown = true;
        EXPECT_EQ(o.getProperty(r.id, unknown), r.stored);
        EXPECT_FALSE(unknown);
        EXPECT_EQ(DirtyLists(o), r.dirty);
        ClearFlags(o);
        o.setProperty(r.id, r.stored);
        EXPECT_TRUE(DirtyLists(o).empty()) << "same value again must not mark";
    }
}

TEST(GraphicObj, PickableChangeMarksEverything) {
    vkoGraphicObj o(nullptr, "p");
    ClearFlags(o);
    o.setProperty(PROP_PICKABLE, 1);  // unchanged
    EXPECT_FALSE(o.overlayDirty[0]);
    o.setProperty(PROP_PICKABLE, 0);
    EXPECT_FALSE(o.pickable);
    EXPECT_TRUE(AllDirty(o));
}

TEST(GraphicObj, ToggleAndUnknownIds) {
    vkoGraphicObj o(nullptr, "t");
    o.toggleProperty(PROP_POINT_SIZE);
    EXPECT_EQ(o.pointSize, -5.0f);
    o.toggleProperty(PROP_LINES);
    EXPECT_FALSE(o.lines);
    o.toggleProperty(PROP_VISIBILITY2);
    EXPECT_FALSE(o.visibility2);
    o.toggleProperty(PROP_LOD_ALWAYS);  // not toggled although a bool
    EXPECT_FALSE(o.lodAlways);
    o.setProperty(PROP_LINE_WIDTH, 2);
    o.toggleProperty(PROP_LINE_WIDTH);
    EXPECT_EQ(o.lineWidth, 2);
    for (int id : {17, 28, -1, 1000}) {
        bool unknown = false;
        EXPECT_EQ(o.getProperty(id, unknown), 0.0f);
        EXPECT_TRUE(unknown) << id;
        o.setProperty(id, 1);
        o.toggleProperty(id);
    }
}

TEST(GraphicObj, PlacementMarksAllAndReplicationRules) {
    vkoGraphicObj o(nullptr, "r");
    const float t[3] = {1, 2, 3};
    const float axis[6] = {0, 0, 0, 1, 0, 0};
    ClearFlags(o);
    o.setPlacementTranslation(t);
    EXPECT_TRUE(AllDirty(o));
    ClearFlags(o);
    o.setPlacementAxis(axis);
    EXPECT_TRUE(AllDirty(o));
    EXPECT_EQ(o.offsetRotAxis[3], 1.0f);

    o.setInstances(0);
    EXPECT_EQ(o.numInstances, 1);
    o.setInstances(4);
    EXPECT_TRUE(o.hasInstances());
    const float angles[][2] = {{-1, 0}, {0, 0}, {359.5f, 359.5f}, {360, 0}, {NAN, 0}};
    for (auto& a : angles) {
        o.setInstanceAngle(a[0]);
        EXPECT_EQ(o.replicationRotAngle, a[1]);
    }
    const float plane[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    float back[9];
    o.setClipPlane(plane);
    o.getClipPlane(back);
    EXPECT_EQ(std::vector<float>(back, back + 9), std::vector<float>(plane, plane + 9));
}

TEST(GraphicData, FaceNormalsDropDegenerateAndCompact) {
    GraphicData d(nullptr, nullptr);
    // 0..3 unit square in z = 0, 4 duplicates vertex 0
    d.numVertices = 5;
    d.vertexCoords = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0};
    d.faceEntries = {
        3, 0, 1, 4,     // two corners coincide (first and last): dropped
        4, 0, 1, 2, 3,  // kept, normal +z
        3, 4, 0, 2,     // first and second coincide: dropped
        3, 0, 1, 9,     // index out of range: dropped, never read
        3, 2, 0, 4,     // second and last coincide: dropped
        3, 0, 2, 1,     // kept, normal -z
        3, 0, 1, 2,     // kept
    };
    d.numFaces = 7;
    d.numFaceEntries = int(d.faceEntries.size());
    d.faceColours = {10, 11, 15, 12, 16, 13, 14};
    d.computeFaceNormals();
    EXPECT_EQ(d.numFaces, 3);
    EXPECT_EQ(d.faceEntries, (std::vector<int>{4, 0, 1, 2, 3, 3, 0, 2, 1, 3, 0, 1, 2}));
    EXPECT_EQ(d.numFaceEntries, 13);
    EXPECT_EQ(d.faceNormals, (std::vector<float>{0, 0, 1, 0, 0, -1, 0, 0, 1}));
    EXPECT_EQ(d.faceColours, (std::vector<float>{11, 13, 14}));  // kept aligned with their faces
}

TEST(GraphicData, FaceNormalsStopAtEntryListOverrun) {
    GraphicData d(nullptr, nullptr);
    d.numVertices = 3;
    d.vertexCoords = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    d.faceEntries = {3, 0, 1, 2, 7, 0, 1};  // second face claims 7 corners
    d.numFaces = 2;
    d.numFaceEntries = 7;
    d.computeFaceNormals();
    EXPECT_EQ(d.numFaces, 1);
    EXPECT_EQ(d.faceEntries, (std::vector<int>{3, 0, 1, 2}));
}

TEST(GraphicData, VertexFaceAdjacency) {
    GraphicData d(nullptr, nullptr);
    d.numVertices = 4;
    d.faceEntries = {3, 0, 1, 2, 3, 2, 1, 3};
    d.numFaces = 2;
    d.numFaceEntries = 8;
    d.buildAdjacency();
    EXPECT_EQ(d.vertexFaceStart, (std::vector<int>{0, 2, 5, 8}));
    EXPECT_EQ(d.vertexFaces, (std::vector<int>{1, 0, 2, 0, 1, 2, 0, 1, 1, 1}));
}

// Large meshes get their normals and adjacency on two threads: the result
// must be the one the plain steps give, also when faces have to be dropped.
TEST(GraphicData, NormalsAndAdjacencySideBySideMatchThePlainSteps) {
    const int n = 200;  // 2 * 199 * 199 = 79202 triangles
    auto grid = [&](GraphicData& d, bool damaged) {
        d.numVertices = n * n;
        d.vertexCoords.clear();
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) d.vertexCoords.insert(d.vertexCoords.end(), {float(i), float(j), float((i * j) % 7)});
        d.faceEntries.clear();
        d.faceColours.clear();
        int faces = 0;
        for (int j = 0; j + 1 < n; ++j)
            for (int i = 0; i + 1 < n; ++i) {
                const int a = j * n + i;
                d.faceEntries.insert(d.faceEntries.end(), {3, a, a + 1, a + n + 1, 3, a, a + n + 1, a + n});
                d.faceColours.insert(d.faceColours.end(), {float(faces), float(faces + 1)});
                faces += 2;
            }
        if (damaged) {
            d.faceEntries[4 * 1000 + 3] = n * n + 5;  // out of range
            d.faceEntries[4 * 2000 + 2] = d.faceEntries[4 * 2000 + 1];  // no area
        }
        d.numFaces = faces;
        d.numFaceEntries = int(d.faceEntries.size());
    };
    for (bool damaged : {false, true}) {
        SCOPED_TRACE(damaged);
        GraphicData side(nullptr, nullptr), plain(nullptr, nullptr);
        grid(side, damaged);
        grid(plain, damaged);
        EXPECT_EQ(side.computeNormalsAndAdjacency(true), damaged ? 1 : 0);
        plain.computeBounds();
        EXPECT_EQ(plain.computeFaceNormals(), damaged ? 1 : 0);
        plain.buildAdjacency();
        EXPECT_EQ(side.numFaces, plain.numFaces);
        EXPECT_EQ(side.numFaces, 2 * (n - 1) * (n - 1) - (damaged ? 2 : 0));
        EXPECT_TRUE(side.faceEntries == plain.faceEntries);
        EXPECT_TRUE(side.faceNormals == plain.faceNormals);
        EXPECT_TRUE(side.faceColours == plain.faceColours);
        EXPECT_TRUE(side.vertexFaceStart == plain.vertexFaceStart);
        EXPECT_TRUE(side.vertexFaces == plain.vertexFaces);
        EXPECT_TRUE(std::equal(side.bounds, side.bounds + 6, plain.bounds));
        EXPECT_FLOAT_EQ(side.bounds[1], float(n - 1));
    }
}

TEST(GraphicData, ColourCollapse) {
    struct Row {
        std::vector<float> values;
        float single;
        float expectSingle;
        bool keepsArray;
    };
    const Row rows[] = {
        {{3.5f, 3.5f, 3.5f}, -1, 3.5f, false},
        {{1, 2}, -1, -1, true},
        {{1, 2}, 0.5f, 0.5f, false},  // a single value wins over the array
        {{}, 2, 2, false},
    };
    for (const Row& r : rows) {
        GraphicData d(nullptr, nullptr);
        d.vertexColours = d.lineColours = d.faceColours = r.values;
        d.vertexColour = d.lineColour = d.faceColour = r.single;
        d.collapseColours();
        for (auto [arr, single] : {std::pair{&d.vertexColours, d.vertexColour}, std::pair{&d.lineColours, d.lineColour},
                                   std::pair{&d.faceColours, d.faceColour}}) {
            EXPECT_EQ(single, r.expectSingle);
            EXPECT_EQ(!arr->empty(), r.keepsArray);
        }
    }
}

TEST(GraphicData, ColourMapLookup) {
    ColourMapRecord map;
    map.numEntries = 3;
    map.entries = {1, 1, 0, 0, 2, 0, 1, 0, 4, 0, 0, 1};
    struct Row {
        float value;
        bool found;
        float rgb[3];
    };
    const Row rows[] = {
        {0.0f, true, {1, 0, 0}},      // below the first entry
        {9.0f, true, {0, 0, 1}},      // above the last
        {2.0f, true, {0, 1, 0}},      // exact
        {1.5f, true, {0.5f, 0.5f, 0}},
        {3.0f, true, {0, 0.5f, 0.5f}},
        {-0.5f, false, {7, 7, 7}},    // below 0: no colour
        {NAN, false, {7, 7, 7}},
    };
    for (const Row& r : rows) {
        float rgb[3] = {7, 7, 7};
        EXPECT_EQ(map.lookup(r.value, rgb), r.found) << r.value;
        for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(rgb[c], r.rgb[c]) << r.value;
    }
    ColourMapRecord empty;
    float rgb[3];
    EXPECT_FALSE(empty.lookup(1, rgb));
}

TEST(GraphicObj, MakeTextAndSolidColour) {
    vkoGraphicObj o(nullptr, "\tFRAMERATE");
    const float pos[3] = {0.02f, 0.98f, 0};
    o.makeText(pos, " 12.5", 0.1f);
    ASSERT_TRUE(o.data && o.data->texts && o.data->colourMap);
    EXPECT_EQ(o.data->texts->strings, std::vector<std::string>{" 12.5"});
    EXPECT_EQ(o.data->texts->kind, 0);
    float rgb[3];
    ASSERT_TRUE(o.data->lookupColour(0, rgb));
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 3.0f);

    o.data->vertexColours = {1, 2};
    o.data->faceColours = {1};
    ClearFlags(o);
    o.setSolidColour(0, 0.5f, 1);
    EXPECT_TRUE(o.data->vertexColours.empty() && o.data->faceColours.empty());
    EXPECT_EQ(o.data->vertexColour, 0.0f);
    EXPECT_EQ(o.data->faceColour, 0.0f);
    EXPECT_EQ(o.data->colourMap->entries, (std::vector<float>{0, 0, 0.5f, 1}));
    EXPECT_EQ(DirtyLists(o), (std::vector<int>{0, 2, 3}));
}

TEST(GraphicObj, AppendMeshOffsetsIndicesAndRejectsBadInput) {
    vkoGraphicObj o(nullptr, "m");
    const float tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const int face[4] = {3, 0, 1, 2};
    const int seg[2] = {0, 1};
    ASSERT_TRUE(o.appendMesh(3, tri, 1, seg, 1, 4, face));
    ASSERT_TRUE(o.appendMesh(3, tri, 1, seg, 1, 4, face));
    const GraphicData& d = *o.data;
    EXPECT_EQ(d.numVertices, 6);
    EXPECT_EQ(d.lineSegs, (std::vector<int>{0, 1, 3, 4}));
    EXPECT_EQ(d.faceEntries, (std::vector<int>{3, 0, 1, 2, 3, 3, 4, 5}));
    EXPECT_EQ(d.faceNormals.size(), 6u);
    EXPECT_EQ(d.vertexFaceStart.size(), 6u);
    EXPECT_EQ(d.bounds[1], 1.0f);
    float rgb[3];
    ASSERT_TRUE(d.lookupColour(d.faceColour, rgb));  // solid red by default
    EXPECT_EQ(rgb[0], 1.0f);

    const int badFace[4] = {3, 0, 1, 3};
    const int shortFace[3] = {3, 0, 1};
    const int badSeg[2] = {0, -1};
    EXPECT_FALSE(o.appendMesh(3, tri, 0, nullptr, 1, 4, badFace));
    EXPECT_FALSE(o.appendMesh(3, tri, 0, nullptr, 1, 3, shortFace));
    EXPECT_FALSE(o.appendMesh(3, tri, 1, badSeg, 0, 0, nullptr));
    EXPECT_FALSE(o.appendMesh(-1, tri, 0, nullptr, 0, 0, nullptr));
    EXPECT_EQ(d.numVertices, 6);
    EXPECT_EQ(d.numFaces, 2);
}

TEST(GraphicObj, CountItemsFollowsSwitches) {
    vkoGraphicObj o(nullptr, "c");
    const float quad[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    const int face[5] = {4, 0, 1, 2, 3};
    const int segs[4] = {0, 1, 1, 2};
    ASSERT_TRUE(o.appendMesh(4, quad, 2, segs, 1, 5, face));
    o.data->numOverlays = 3;
    long long f = -1, s = -1;
    o.countItems(false, f, s);
    EXPECT_EQ(f, 0);  // faces still off
    EXPECT_EQ(s, 2);
    o.faces = true;
    o.overlay = true;
    o.countItems(false, f, s);
    EXPECT_EQ(f, 1);
    EXPECT_EQ(s, 5);
    o.countItems(true, f, s);
    EXPECT_EQ(f, 0);
}

TEST(GraphicObj, ReleaseDataClearsAndMarks) {
    vkoGraphicObj o(nullptr, "rel");
    o.setSolidColour(1, 1, 1);
    o.dataLoaded = true;
    ClearFlags(o);
    o.releaseData();
    EXPECT_FALSE(o.data);
    EXPECT_FALSE(o.dataLoaded);
    EXPECT_TRUE(AllDirty(o));
}

TEST(GraphicObj, DumpFormats) {
    vkoGraphicObj o(nullptr, "dumped");
    o.setProperty(PROP_POLYGON_MODE, 1);
    o.setProperty(PROP_DRAW_MODE, 1);
    o.setProperty(PROP_CULLING_MODE, 2);
    const std::string noData = o.dumpText(4);
    const std::string id = std::to_string(o.objectid);
    EXPECT_EQ(noData.rfind("    objectid: " + id + "\n    objectname: dumped\n    visibility: 1\n", 0), 0u) << noData;
    for (const char* line : {"    polygonMode: 1(LINE)\n", "    drawMode: 1(SPARSE OFF)\n", "    cullingMode: 2(FRONT)\n",
                             "    offsetRotAxis: (0 0 0) (0 0 1)\n", "    offsetScale: 1 1 1\n",
                             "    creaseAngle: 75\n", "    Has no Data\n"})
        EXPECT_NE(noData.find(line), std::string::npos) << line;
    EXPECT_EQ(o.dumpText(0).rfind(" objectid: ", 0), 0u);  // indent 0 still prints one blank

    const float tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const int face[4] = {3, 0, 1, 2};
    ASSERT_TRUE(o.appendMesh(3, tri, 0, nullptr, 1, 4, face));
    const std::string withData = o.dumpText(2);
    EXPECT_NE(withData.find("  Has (3) 3d Vertices\n  Has (1) 3d Faces\n"), std::string::npos) << withData;
    EXPECT_EQ(withData.find("Has no Data"), std::string::npos);
}

TEST(GraphicObj, SaveRestoreRoundTrip) {
    vkoGraphicObj a(nullptr, "a");
    a.setProperty(PROP_LIGHTING, 1);
    a.setProperty(PROP_SMOOTH_FACES, 0);
    a.setProperty(PROP_CREASE_ANGLE, 42.5f);
    a.setProperty(PROP_POLYGON_OFFSET, 7);
    const float t[3] = {1.5f, -2, 3};
    const float axis[6] = {1, 2, 3, 4, 5, 6};
    a.setPlacementTranslation(t);
    a.setInstanceAxis(axis);
    a.setInstances(3);
    a.setInstanceAngle(45);
    const std::string text = a.saveText(false);
    EXPECT_NE(text.find("\tlighting = On\n"), std::string::npos);
    EXPECT_NE(text.find("\toffsetTrans = 1.5 -2 3\n"), std::string::npos);
    EXPECT_NE(text.find("\tpolygonOffset = 7\n"), std::string::npos);
    EXPECT_EQ(text.find("numVertices"), std::string::npos);

    vkoGraphicObj b(nullptr, "b");
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start + 1, end - start - 1);  // drop the TAB
        const size_t eq = line.find(" =");
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(line.find_first_not_of(' ', eq + 2));
        EXPECT_TRUE(b.restore(key.c_str(), value.c_str())) << line;
        start = end + 1;
    }
    EXPECT_EQ(b.saveText(false), text);

    ClearFlags(b);
    EXPECT_TRUE(b.restore("creaseAngle", "10"));
    EXPECT_EQ(DirtyLists(b), (std::vector<int>{0, 1, 5}));  // through the property rules
    EXPECT_TRUE(b.restore("numInstances", "0"));
    EXPECT_EQ(b.numInstances, 0);  // stored directly
    EXPECT_TRUE(b.restore("pickable", "0"));
    EXPECT_FALSE(b.pickable);
    EXPECT_FALSE(b.restore(nullptr, "1"));
    EXPECT_FALSE(b.restore("lineWidth", nullptr));
    EXPECT_FALSE(b.restore("offsetTrans", "1 2"));
    EXPECT_FALSE(b.restore("offsetTrans", "1 2 3 4"));
    EXPECT_FALSE(b.restore("lineWidth", "wide"));
    EXPECT_FALSE(b.restore("noSuchKey", "1"));

    const float tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    ASSERT_TRUE(a.appendMesh(3, tri, 0, nullptr, 0, 0, nullptr));
    EXPECT_NE(a.saveText(true).find("\tnumVertices = 3\n\tnumLineSegs = 0\n"), std::string::npos);
}
