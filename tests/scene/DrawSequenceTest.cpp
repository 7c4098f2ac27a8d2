// The draw sequence of a viewport and its objects, recorded by a renderer
// that logs the operations it receives.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

class RecordingGraphics : public Graphics {
public:
    RecordingGraphics() {
        windowWidth = 800;
        windowHeight = 600;
    }
    std::vector<std::string> log;
    std::vector<std::array<float, 4>> viewports;

    void add(const std::string& s) { log.push_back(s); }
    template <typename... T>
    static std::string args(T... v) {
        std::ostringstream o;
        ((o << v << ' '), ...);
        std::string s = o.str();
        if (!s.empty()) s.pop_back();
        return s;
    }

    void setViewport(float l, float b, float w, float h) override {
        Graphics::setViewport(l, b, w, h);
        viewports.push_back({l, b, w, h});
        add("setViewport");
    }
    bool beginFrame(int index, bool clear) override {
        Graphics::beginFrame(index, clear);
        add("beginFrame " + args(index, clear));
        return true;
    }
    void endFrame() override { add("endFrame"); }
    void paintBackground() override { add("paintBackground"); }
    void renderBorder(bool current) override { add("renderBorder " + args(current)); }
    void setProjection(bool ortho) override { add("setProjection " + args(ortho)); }
    void setLighting(bool lit, bool specularOn) override { add("setLighting " + args(lit, specularOn)); }
    void drawAxis(int type) override { add("drawAxis " + args(type)); }
    void drawRuler(float) override { add("drawRuler"); }
    void enableClipPlane(int n, const float*, const float*, const float*, float d) override {
        add("enableClipPlane " + args(n, d));
    }
    void disableClipPlane(int n) override { add("disableClipPlane " + args(n)); }
    void flushPass(int f) override { add("flushPass " + args(f)); }
    void beginObjectPass() override { add("beginObjectPass"); }
    void endObjectPass(int f) override { add("endObjectPass " + args(f)); }
    void beginList(int id, int kind, bool tex, const TextureRecord* t) override {
        Graphics::beginList(id, kind, tex, t);
        add("beginList " + args(id, kind));
    }
    void endList() override { add("endList"); }
    void beginCall(int id, int kind, bool transp, bool lit, bool specularOn, bool tex, const TextureRecord* t,
                   int cull) override {
        add("beginCall " + args(id, kind, transp, cull));
    }
    void endCall() override { add("endCall"); }
    void beginCopy(int i) override { add("beginCopy " + args(i)); }
    void endCopy() override { add("endCopy"); }
    bool emitFaces(const FaceSet& f) override {
        add("emitFaces " + args(f.numFaces));
        return true;
    }
    void compileFaces(const FaceSet& f) override { add("compileFaces " + args(f.numFaces)); }
    bool emitLines(const LineSet&) override {
        add("emitLines");
        return true;
    }
    void compileLines(const LineSet&) override { add("compileLines"); }
    bool setMirror(const float*, const float*, const float*) override {
        add("setMirror");
        return true;
    }
    void translate(float x, float y, float z) override { add("translate " + args(x, y, z)); }
    void pushMatrix() override { add("pushMatrix"); }
    void popMatrix() override { add("popMatrix"); }
    void drawPickPolygon(int n, const int*) override { add("drawPickPolygon " + args(n)); }
    void beginOverlayPass(int p) override { add("beginOverlayPass " + args(p)); }

    int count(const std::string& prefix) const {
        return static_cast<int>(std::count_if(log.begin(), log.end(),
                                              [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
    }
    int indexOf(const std::string& entry, int from = 0) const {
        for (size_t i = from; i < log.size(); ++i)
            if (log[i] == entry) return static_cast<int>(i);
        return -1;
    }
};

class DrawSequence : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        viewer->WindowResized(800, 600);
        viewport = viewer->currentViewport;
        // The viewer's own objects (logo, frame rate) stay out of these sequences.
        viewport->objects.clear();
        viewport->isRulerVisibleFlag = 0;
        viewport->isAxisVisibleFlag = 0;
    }

    // A unit square of two triangles, lines along its edges.
    vkoGraphicObj* addSquare(const char* name) {
        viewer->NewGraphic(name);
        vkoGraphicObj* o = viewer->currentGraphic;
        const float v[] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
        const int faces[] = {3, 0, 1, 2, 3, 0, 2, 3};
        const int segs[] = {0, 1, 1, 2};
        o->appendMesh(4, v, 2, segs, 2, 8, faces);
        GraphicData& d = *o->data;
        d.computeBounds();
        d.computeFaceNormals();
        d.buildAdjacency();
        o->faces = true;
        return o;
    }

    void draw() {
        viewport->needsRedraw = 1;
        ASSERT_TRUE(viewport->draw(&r, false));
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    vkoViewport* viewport = nullptr;
    RecordingGraphics r;
};

TEST_F(DrawSequence, EmptyViewportFrame) {
    viewport->isAxisVisibleFlag = 1;
    viewport->isRulerVisibleFlag = 1;
    draw();
    const std::vector<std::string> expected = {
        "setViewport", "beginFrame 0 1", "paintBackground", "renderBorder 1", "setProjection 1",
        "flushPass 1", "beginObjectPass", "endObjectPass 0", "flushPass 1", "disableClipPlane 0",
        "setLighting 0 0", "setViewport", "drawAxis 0", "setViewport", "drawRuler", "endFrame"};
    std::vector<std::string> withoutCamera;  // the camera's own matrix calls are not this sequence's concern
    for (const auto& s : r.log)
        if (s.rfind("translate", 0) != 0) withoutCamera.push_back(s);
    EXPECT_EQ(withoutCamera, expected);
    EXPECT_EQ(viewport->needsRedraw, 0);
    // A clean viewport without a border draws nothing at all.
    r.log.clear();
    EXPECT_FALSE(viewport->draw(&r, false));
    EXPECT_TRUE(r.log.empty());
}

TEST_F(DrawSequence, ZeroWidthViewportIsNeverDrawn) {
    viewport->setRectangle(0, 0, 0, 1);
    EXPECT_FALSE(viewport->draw(&r, false));
    EXPECT_TRUE(r.log.empty());
}

TEST_F(DrawSequence, AxisTriadSubViewport) {
    viewport->isAxisVisibleFlag = 1;
    viewport->setRectangle(0.5f, 0.0f, 0.5f, 1.0f);  // 400 x 600 pixels
    draw();
    // 0.2 * min(400, 600) = 80 pixels square, 10 pixels from the right edge.
    bool found = false;
    for (const auto& v : r.viewports)
        if (std::abs(v[2] - 80.0f / 800) < 1e-6 && std::abs(v[3] - 80.0f / 600) < 1e-6) {
            EXPECT_NEAR(v[0], 0.5f + 0.5f - 80.0f / 800 - 10.0f / 800, 1e-6);
            EXPECT_NEAR(v[1], 0.0f, 1e-6);
            found = true;
        }
    EXPECT_TRUE(found);
    // The viewport's own rectangle is restored after the triad.
    int axis = r.indexOf("drawAxis 0");
    ASSERT_GE(axis, 0);
    EXPECT_EQ(r.log[axis + 1], "setViewport");
    EXPECT_FLOAT_EQ(r.viewports.back()[2], 0.5f);
}

TEST_F(DrawSequence, ListsAreBuiltOnceThenCalled) {
    vkoGraphicObj* o = addSquare("a");
    draw();
    EXPECT_EQ(r.count("compileFaces"), 1);
    EXPECT_EQ(r.count("compileLines"), 1);
    EXPECT_EQ(r.count("emitFaces 2"), 1);
    r.log.clear();
    draw();
    EXPECT_EQ(r.count("compileFaces"), 0);
    EXPECT_EQ(r.count("emitFaces 2"), 1);
    o->setProperty(8, 0.0f);  // smoothing changes the face lists only
    r.log.clear();
    draw();
    EXPECT_EQ(r.count("compileFaces"), 1);
    EXPECT_EQ(r.count("compileLines"), 0);
}

TEST_F(DrawSequence, TransparentObjectsComeAfterOpaqueWithBothCullings) {
    vkoGraphicObj* opaque = addSquare("a_opaque");
    vkoGraphicObj* glass = addSquare("b_glass");
    glass->setProperty(12, 0.5f);
    draw();
    const std::string glassId = std::to_string(glass->objectid), opaqueId = std::to_string(opaque->objectid);
    int opaqueCall = r.indexOf("beginCall " + opaqueId + " 0 0 0");
    int flush0 = r.indexOf("flushPass 0");
    int front = r.indexOf("beginCall " + glassId + " 0 1 2");
    int back = r.indexOf("beginCall " + glassId + " 0 1 1");
    ASSERT_GE(opaqueCall, 0);
    ASSERT_GE(flush0, 0);
    EXPECT_LT(opaqueCall, flush0);
    EXPECT_LT(flush0, front);
    EXPECT_LT(front, back);
    EXPECT_EQ(glass->cullingMode, CULL_NO);
    // The glass faces are not drawn in the opaque pass.
    EXPECT_EQ(r.indexOf("beginCall " + glassId + " 0 0 0"), -1);
}

TEST_F(DrawSequence, ClipPlanesOfViewportAndObject) {
    vkoGraphicObj* o = addSquare("a");
    const float plane[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    viewport->setClipPlane(plane);
    viewport->isCuttingPlaneVisibleFlag = 1;
    viewport->cuttingPlaneD = 0.25f;
    o->setClipPlane(plane);
    o->cuttingPlaneVisible = true;
    draw();
    int v0 = r.indexOf("enableClipPlane 0 0.25");
    int o1 = r.indexOf("enableClipPlane 1 0");
    ASSERT_GE(v0, 0);
    ASSERT_GE(o1, 0);
    EXPECT_LT(v0, o1);
    EXPECT_GE(r.count("disableClipPlane 1"), 1);
    EXPECT_LT(o1, r.indexOf("disableClipPlane 0"));
}

TEST_F(DrawSequence, MirrorCopyDrawsTheListsTwice) {
    vkoGraphicObj* o = addSquare("a");
    const float plane[9] = {0, 0, 0, 0, 1, 0, 0, 0, 1};
    o->setMirrorPlane(plane);
    o->mirrorPlaneVisible = true;
    draw();
    EXPECT_EQ(r.count("setMirror"), 1);
    EXPECT_EQ(r.count("emitFaces 2"), 2);
    EXPECT_EQ(r.count("pushMatrix"), r.count("popMatrix"));
}

TEST_F(DrawSequence, ReplicationCopiesStepByTheTranslation) {
    vkoGraphicObj* o = addSquare("a");
    const float step[3] = {2, 0, 0};
    o->setInstances(3);
    o->setInstanceTranslation(step);
    draw();
    EXPECT_EQ(r.count("beginCopy"), 6);  // faces and lines, three copies each
    EXPECT_EQ(r.count("translate 2 0 0"), 4);
    int c0 = r.indexOf("beginCopy 0");
    int c1 = r.indexOf("beginCopy 1");
    EXPECT_LT(c0, c1);
    EXPECT_EQ(r.log[c1 - 1], "translate 2 0 0");
    // Instances widen the world bounds.
    float b[6];
    ASSERT_TRUE(o->worldBounds(b, true));
    EXPECT_FLOAT_EQ(b[1], 5.0f);
    ASSERT_TRUE(o->worldBounds(b, false));
    EXPECT_FLOAT_EQ(b[1], 1.0f);
}

TEST_F(DrawSequence, SparseFramesUseReducedFacesAndDrawModes) {
    vkoGraphicObj* o = addSquare("a");
    GraphicData& d = *o->data;
    d.reduced.numVertices = 3;
    d.reduced.vertexCoords = {0, 0, 0, 1, 0, 0, 1, 1, 0};
    d.reduced.numFaces = 1;
    d.reduced.numFaceEntries = 4;
    d.reduced.faceEntries = {3, 0, 1, 2};
    d.reduced.faceNormals = {0, 0, 1};
    d.reducedReady = true;
    viewport->sparse = 1;
    draw();
    const std::string id = std::to_string(o->objectid);
    EXPECT_GE(r.indexOf("beginCall " + id + " 1 0 0"), 0);
    EXPECT_EQ(r.indexOf("beginCall " + id + " 0 0 0"), -1);

    struct ModeCase {
        int mode;
        bool sparse, drawn;
    } cases[] = {{DRAW_SPARSE_OFF, true, false}, {DRAW_SPARSE_OFF, false, true}, {DRAW_SPARSE_ON, false, false},
                 {DRAW_SPARSE_ON, true, true},   {DRAW_PRIORITY, false, false}, {DRAW_PRIORITY, true, false}};
    for (const auto& c : cases) {
        o->drawMode = c.mode;
        viewport->sparse = c.sparse;
        r.log.clear();
        draw();
        EXPECT_EQ(r.count("beginCall " + id) > 0, c.drawn) << c.mode << " sparse " << c.sparse;
    }
}

TEST_F(DrawSequence, PickPassLeavesOutDecorations) {
    addSquare("a");
    viewport->isAxisVisibleFlag = 1;
    viewport->isRulerVisibleFlag = 1;
    viewport->colourPickPass = 1;
    draw();
    EXPECT_EQ(r.count("drawAxis"), 0);
    EXPECT_EQ(r.count("drawRuler"), 0);
    EXPECT_EQ(r.count("beginOverlayPass"), 0);
    EXPECT_EQ(r.count("flushPass 1"), 1);  // no backdrop flush
}

TEST_F(DrawSequence, LassoIsDrawnWithItsRubberPoint) {
    ASSERT_TRUE(viewport->addLassoPoint(10, 10, false));
    ASSERT_TRUE(viewport->addLassoPoint(100, 10, false));
    viewport->setRubberPoint(50, 80);
    draw();
    EXPECT_EQ(r.count("drawPickPolygon 3"), 1);
}

TEST_F(DrawSequence, NudgeClipPlaneByOnePercentOfTheExtent) {
    vkoGraphicObj* o = addSquare("a");
    const float scale[3] = {20, 1, 1};
    o->setPlacementScale(scale);
    o->nudgeClipPlane(0.0f, true);
    EXPECT_FLOAT_EQ(o->cuttingPlaneD, 0.2f);
    o->nudgeClipPlane(0.5f, false);
    EXPECT_FLOAT_EQ(o->cuttingPlaneD, -0.3f);
}

TEST(ViewportLasso, RefusesCrossingsOutsidePointsAndTheHundredthPoint) {
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = CreateViewer(nullptr, true, true, "prog -n");
    ASSERT_NE(viewer, nullptr);
    box.reset(viewer->Widget());
    viewer->WindowResized(1000, 1000);
    vkoViewport* v = viewer->currentViewport;
    EXPECT_TRUE(v->addLassoPoint(100, 100, false));
    EXPECT_FALSE(v->addLassoPoint(100, 100, false));   // same as the last point
    EXPECT_FALSE(v->addLassoPoint(2000, 100, false));  // outside the viewport
    EXPECT_TRUE(v->addLassoPoint(300, 100, false));
    EXPECT_TRUE(v->addLassoPoint(300, 300, false));
    EXPECT_TRUE(v->addLassoPoint(200, 300, false));
    EXPECT_FALSE(v->addLassoPoint(200, 50, false));  // crosses the first edge
    // Closing from (400, 200) back to (100, 100) would cross the edge 300,100-300,300.
    EXPECT_FALSE(v->addLassoPoint(400, 200, true));
    EXPECT_EQ(v->lassoCount, 4);
    v->clearLasso();
    for (int i = 0; i < 99; ++i) EXPECT_TRUE(v->addLassoPoint(10 + i, 10 + (i % 2) * 3, false)) << i;
    EXPECT_FALSE(v->addLassoPoint(500, 500, false));
    EXPECT_EQ(v->lassoCount, 99);

    v->setLightAngles(-10, 200);
    EXPECT_FLOAT_EQ(v->lightAngleXToZ, 0.0f);
    EXPECT_FLOAT_EQ(v->lightAngleZToY, 180.0f);
}

}  // namespace
