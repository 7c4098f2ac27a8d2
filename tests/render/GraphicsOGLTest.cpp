// The OpenGL renderer drawing small scenes off-screen through the viewport
// draw sequence, compared with golden images; picking and read-back on the
// same scenes.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "GoldenScenes.h"
#include "TestSupport.h"
#include "render/GraphicsOGL.h"
#include "render/OffscreenGL.h"
#include "render/StrokeFont.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

constexpr int kW = 160, kH = 120;

class OglScene : public ::testing::Test {
protected:
    void SetUp() override {
        gl = SharedContext();
        if (!gl) GTEST_SKIP() << "no OpenGL context (compatibility profile) available";
        kit = std::make_unique<goldenscenes::Kit>();
        ASSERT_TRUE(kit->valid());
        viewer = kit->viewer;
        viewport = kit->viewport;
        makeRenderer();
    }

    void TearDown() override {
        // Lists belong to the context: the renderer goes first.
        r.reset();
        kit.reset();
    }

    // One context for the whole run, kept to the end of the process: the GL
    // driver stays loaded, so what it keeps is attributed to it by name.
    static OffscreenGL* SharedContext() {
        static OffscreenGL* shared = [] {
            auto* g = new OffscreenGL;
            if (g->create(320, 240)) return g;
            delete g;
            return static_cast<OffscreenGL*>(nullptr);
        }();
        if (shared) shared->makeCurrent();
        return shared;
    }

    void makeRenderer() {
        r.reset();
        r = std::make_unique<GraphicsOGL>(viewer);
        r->targetFramebuffer = gl->framebufferId();
        kit->prepare(*r);
    }

    vkoGraphicObj* addObject(const char* name) { return kit->addObject(name); }
    static void finishMesh(vkoGraphicObj* o) { goldenscenes::Kit::finishMesh(o); }
    static void rainbow(GraphicData& d) { goldenscenes::Kit::rainbow(d); }
    vkoGraphicObj* addSphere(const char* name, float radius, float cx, float cy, float cz) {
        return kit->addSphere(name, radius, cx, cy, cz);
    }
    vkoGraphicObj* addQuads(const char* name, const std::vector<std::array<float, 4>>& rects, float y) {
        return kit->addQuads(name, rects, y);
    }

    void fit() {
        viewport->needsRedraw = 1;
        viewport->fitView(r.get());
    }

    // Window position of a world point under the viewport's camera.
    void toWindow(const float p[3], float w[3]) {
        viewport->setup(r.get());
        ASSERT_TRUE(r->projectFloat(p, w));
    }

    void draw() {
        viewport->needsRedraw = 1;
        ASSERT_TRUE(viewport->draw(r.get(), false));
        r->finishFrame();
        glFinish();
    }

    std::vector<unsigned char> pixels(int w = kW, int h = kH) {
        std::vector<unsigned char> px(size_t(w) * h * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, px.data());
        return px;
    }

    void expectGolden(const std::string& name, int w = kW, int h = kH) {
        std::vector<unsigned char> px = pixels(w, h);
        std::string why;
        const std::string golden = testsupport::SourcePath("tests/render/golden/" + name + ".png");
        const std::string out = testsupport::ScratchDir("ogl_golden") + "/" + name;
        EXPECT_TRUE(testsupport::CompareWithGolden(px.data(), w, h, golden, out, 40, 0.01, &why)) << name << ": " << why;
    }

    const unsigned char* at(const std::vector<unsigned char>& px, int x, int y, int w = kW) {
        return px.data() + 3 * (size_t(y) * w + x);
    }

    OffscreenGL* gl = nullptr;
    std::unique_ptr<goldenscenes::Kit> kit;
    vkoViewer* viewer = nullptr;
    vkoViewport* viewport = nullptr;
    std::unique_ptr<GraphicsOGL> r;
};

// ---- golden scenes -------------------------------------------------------------------

TEST_F(OglScene, LitSmoothMeshWithColourMap) {
    kit->litSmoothSphere();
    fit();
    draw();
    expectGolden("lit_smooth_sphere");
}

TEST_F(OglScene, FlatFacesWithPerFaceColours) {
    vkoGraphicObj* o = kit->flatFaceColours();
    fit();
    draw();
    expectGolden("flat_face_colours");
    // One polygon per face draws the same picture.
    setenv("VIEWER_FACE_LIST", "1", 1);
    makeRenderer();
    unsetenv("VIEWER_FACE_LIST");
    EXPECT_EQ(r->faceBatch, 1);
    o->markAllDirty();
    draw();
    expectGolden("flat_face_colours");
}

TEST_F(OglScene, LinesWithWidthsAndSegmentColours) {
    kit->linesWithWidths();
    fit();
    draw();
    expectGolden("lines_widths");
}

TEST_F(OglScene, TwoColourBackgroundsOfEachKind) {
    const float c1[3] = {0.1f, 0.1f, 0.5f}, c2[3] = {0.9f, 0.9f, 0.2f};
    for (int kind = 1; kind <= 3; ++kind) {
        r->setBackground(kind, c1, c2);
        draw();
        expectGolden("background_kind" + std::to_string(kind));
    }
    // Kind 1 shades from the bottom edge: bottom row colour 2, top row colour 1.
    r->setBackground(1, c1, c2);
    draw();
    std::vector<unsigned char> px = pixels();
    EXPECT_NEAR(at(px, 80, 2)[0], 0.9 * 255, 8);
    EXPECT_NEAR(at(px, 80, kH - 3)[0], 0.1 * 255, 8);
}

TEST_F(OglScene, AxisTriadsOfTheThreeTypes) {
    // Three 80 x 80 viewports side by side: large letters, which may reach
    // out of their viewport as in the corner of a real one.
    r->windowWidth = 240;
    r->windowHeight = 110;
    r->setViewport(0, 0, 1, 1);
    ASSERT_TRUE(r->beginFrame(0, true));
    for (int type = 0; type < 3; ++type) {
        r->setViewport(type / 3.0f, 0, 1 / 3.0f, 80 / 110.0f);
        r->loadIdentity();
        r->rotate(1, 0, 0, 20);
        r->rotate(0, 1, 0, -30);
        r->drawAxis(type);
    }
    r->endFrame();
    r->finishFrame();
    glFinish();
    expectGolden("axis_triads", 240, 110);
}

TEST_F(OglScene, RulerWithUnits) {
    viewport->isRulerVisibleFlag = 1;
    viewport->rulerScale = 2.0f;
    viewport->rulerUnits = "mm";
    draw();
    expectGolden("ruler_units");
}

// At scale 1 in a square viewport the ruler is 0.6 world units long: a
// bar of 0.6 / 2 of the viewport width.
TEST_F(OglScene, RulerLengthRoundsDownToOneDigit) {
    r->windowWidth = r->windowHeight = 120;
    viewer->WindowResized(120, 120);
    viewport->setRectangle(0, 0, 1, 1);
    viewport->isRulerVisibleFlag = 1;
    draw();
    std::vector<unsigned char> px = pixels(120, 120);
    const int barRow = 25 + 5;
    int first = -1, last = -1;
    for (int x = 2; x < 118; ++x)  // inside the border
        if (at(px, x, barRow, 120)[0] > 128) {
            if (first < 0) first = x;
            last = x;
        }
    ASSERT_GE(first, 0);
    EXPECT_NEAR(last - first + 1, 0.6 / 2 * 120, 2);
}

TEST_F(OglScene, TextsInBothFontsWithColourMarkup) {
    kit->textsInBothFonts();
    fit();
    draw();
    expectGolden("texts_fonts_markup");
}

TEST_F(OglScene, PlanarTexture) {
    kit->planarTexture();
    fit();
    draw();
    expectGolden("planar_texture");
}

TEST_F(OglScene, TransparentFacesBlendOverOpaqueOnes) {
    kit->transparency();
    fit();
    draw();
    expectGolden("transparency");
    // Where both overlap the colour is a mix of red and blue.
    std::vector<unsigned char> px = pixels();
    int mixed = 0;
    for (size_t i = 0; i < px.size(); i += 3)
        if (px[i] > 90 && px[i] < 170 && px[i + 2] > 90 && px[i + 2] < 170) ++mixed;
    EXPECT_GT(mixed, 200);
}

TEST_F(OglScene, ClipPlaneCutsTheObject) {
    kit->clipPlane();
    fit();
    draw();
    expectGolden("clip_plane");
    std::vector<unsigned char> px = pixels();
    int upper = 0, lower = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (at(px, x, y)[0] + at(px, x, y)[1] + at(px, x, y)[2] > 60) (y > kH / 2 + 3 ? upper : lower)++;
    EXPECT_GT(lower, 500);
    EXPECT_LT(upper, lower / 10);
}

TEST_F(OglScene, OverlayLabelImageAndLines) {
    kit->overlayItems();
    draw();
    expectGolden("overlay_items");
    std::vector<unsigned char> px = pixels();
    // The image's top right corner sits at 95 % of the window, 16 pixels square.
    const int right = int(0.95f * 0.999f * kW + 0.5f), top = int(0.95f * kH + 0.5f);
    int covered = 0;
    for (int y = top - 16; y < top; ++y)
        for (int x = right - 16; x < right; ++x)
            if (at(px, x, y)[2] == 200) ++covered;
    EXPECT_GT(covered, 200);
}

// ---- viewport rectangle ---------------------------------------------------------------------

TEST_F(OglScene, ViewportWithinTwoPixelsOfTheEdgeSnapsToIt) {
    struct Case {
        float width;
        int pixels;
    } cases[] = {{0.995f, 160}, {0.99f, 158}, {0.5f, 80}};
    for (const Case& c : cases) {
        r->setViewport(0, 0, c.width, 1);
        GLint vp[4];
        glGetIntegerv(GL_VIEWPORT, vp);
        EXPECT_EQ(vp[2], c.pixels) << c.width;
    }
}

TEST_F(OglScene, SmallViewportUsesTheSmallLetterTriad) {
    r->windowWidth = 50;
    r->windowHeight = 50;
    r->setViewport(0, 0, 1, 1);
    ASSERT_TRUE(r->beginFrame(0, true));
    r->loadIdentity();
    r->drawAxis(0);
    r->endFrame();
    glFinish();
    std::vector<unsigned char> small = pixels(50, 50);
    // Against the same triad drawn with the large letters by hand.
    ASSERT_TRUE(r->beginFrame(0, true));
    r->loadIdentity();
    r->setLighting(true, false);
    glCallList(GraphicsOGL::kAxisListBase);
    r->setLighting(false, false);
    glFinish();
    std::vector<unsigned char> large = pixels(50, 50);
    ASSERT_TRUE(r->beginFrame(0, true));
    r->loadIdentity();
    r->setLighting(true, false);
    glCallList(GraphicsOGL::kAxisListBase + 1);
    r->setLighting(false, false);
    glFinish();
    std::vector<unsigned char> expectedSmall = pixels(50, 50);
    EXPECT_EQ(small, expectedSmall);
    EXPECT_NE(small, large);
}

// ---- picking -----------------------------------------------------------------------------------

TEST_F(OglScene, SelectionReportsFaceHitsNearestFirstAndDropsSingleNames) {
    vkoGraphicObj* front = addQuads("a_front", {{-1, -1, 0, 0}, {0, -1, 1, 0}}, -0.5f);
    vkoGraphicObj* back = addQuads("b_back", {{-1, -1, 1, 1}}, 0.5f);
    vkoGraphicObj* whole = addQuads("c_whole", {{-1, -1, 1, 1}}, 1.5f);
    whole->pickable = false;  // named by its object only
    fit();
    draw();
    // A pixel over the first face of the front object (lower left).
    float p[3] = {-0.5f, -0.5f, -0.5f}, w[3];
    toWindow(p, w);
    for (vkoGraphicObj* o : {front, back, whole}) o->markAllDirty();
    r->pickRect[0] = int(w[0]) - 2, r->pickRect[1] = int(w[1]) - 2;
    r->pickRect[2] = int(w[0]) + 2, r->pickRect[3] = int(w[1]) + 2;
    r->pickMethod = 0;
    viewport->selectionPass = 1;
    viewport->needsRedraw = 1;
    ASSERT_TRUE(viewport->draw(r.get(), false));
    viewport->selectionPass = 0;
    r->selectionMode = false;
    const std::vector<PickRecord>& hits = r->hits();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].objectId, front->objectid);
    EXPECT_EQ(hits[0].element, 0);
    EXPECT_EQ(hits[1].objectId, back->objectid);
    EXPECT_EQ(hits[1].element, 0);
    EXPECT_LT(hits[0].depth, hits[1].depth);
    EXPECT_EQ(hits[0].count, 1);
}

// 1100 stacked faces under the pick point: only the first 1024 hits count.
TEST_F(OglScene, SelectionKeepsAtMostTheFirst1024Hits) {
    vkoGraphicObj* stack = addObject("stack");
    std::vector<float> v;
    std::vector<int> f;
    for (int i = 0; i < 1100; ++i) {
        const float y = -1.0f + 2.0f * i / 1100.0f;
        v.insert(v.end(), {-1, y, -1, 1, y, -1, 1, y, 1, -1, y, 1});
        f.insert(f.end(), {4, 4 * i, 4 * i + 1, 4 * i + 2, 4 * i + 3});
    }
    stack->appendMesh(4400, v.data(), 0, nullptr, 1100, int(f.size()), f.data());
    finishMesh(stack);
    stack->faces = true;
    stack->lines = false;
    fit();
    const float centre[3] = {0, 0, 0};
    float w[3];
    toWindow(centre, w);
    r->pickRect[0] = r->pickRect[2] = int(w[0]);
    r->pickRect[1] = r->pickRect[3] = int(w[1]);
    r->pickMethod = 0;
    stack->markAllDirty();
    viewport->selectionPass = 1;
    viewport->needsRedraw = 1;
    ASSERT_TRUE(viewport->draw(r.get(), false));
    viewport->selectionPass = 0;
    r->selectionMode = false;
    ASSERT_EQ(r->hits().size(), 1024u);
    for (size_t i = 1; i < r->hits().size(); ++i) EXPECT_LE(r->hits()[i - 1].depth, r->hits()[i].depth);
    // The hits are the first 1024 faces drawn.
    int maxFace = 0;
    for (const PickRecord& h : r->hits()) maxFace = std::max(maxFace, h.element);
    EXPECT_EQ(maxFace, 1023);
}

TEST_F(OglScene, ColourPickFindsFacesUnderARectangleAndInsideOnly) {
    // Two faces side by side; the rectangle covers all of the left one and
    // part of the right one.
    vkoGraphicObj* o = addQuads("faces", {{-1, -1, 0, 1}, {0.1f, -1, 1.1f, 1}}, 0);
    o->setSolidColour(1, 1, 1);
    fit();
    draw();
    float a[3] = {-1.2f, 0, -1.2f}, b[3] = {0.5f, 0, 1.2f}, wa[3], wb[3];
    toWindow(a, wa);
    toWindow(b, wb);
    r->pickConverter = [&](const GraphicsOGL::PickIdSet& ids, std::vector<PickRecord>& out) {
        GraphicsOGL::RecordsFromPickIds(*viewport, *r, r->pickMethod, ids, out);
    };
    for (bool onlyInside : {false, true}) {
        r->pickMethod = 1;
        o->markAllDirty();
        viewport->colourPickPass = 1;
        viewport->needsRedraw = 1;
        ASSERT_TRUE(viewport->draw(r.get(), false));
        viewport->colourPickPass = 0;
        r->pickRectangle(int(wa[0]), int(wa[1]), int(wb[0]), int(wb[1]), onlyInside);
        r->colourPickMode = false;
        std::vector<int> faces;
        for (const PickRecord& p : r->hits()) {
            EXPECT_EQ(p.objectId, o->objectid);
            EXPECT_EQ(p.count, -1);
            EXPECT_FLOAT_EQ(p.depth, 1.0f);
            faces.push_back(p.element);
        }
        std::sort(faces.begin(), faces.end());
        if (onlyInside)
            EXPECT_EQ(faces, std::vector<int>({0}));
        else
            EXPECT_EQ(faces, std::vector<int>({0, 1}));
    }
    // Method 4: the whole object.
    r->pickMethod = 4;
    viewer->pickMode = 4;
    o->markAllDirty();
    viewport->colourPickPass = 1;
    viewport->needsRedraw = 1;
    ASSERT_TRUE(viewport->draw(r.get(), false));
    viewport->colourPickPass = 0;
    r->pickRectangle(0, 0, kW - 1, kH - 1, false);
    viewer->pickMode = 5;
    ASSERT_EQ(r->hits().size(), 1u);
    EXPECT_EQ(r->hits()[0].objectId, o->objectid);
    EXPECT_EQ(r->hits()[0].element, -1);
    // An empty rectangle (clamped away) picks nothing.
    r->pickRectangle(-50, -50, -10, -10, false);
    EXPECT_TRUE(r->hits().empty());
}

// A colour-pick draw kept to a region leaves out faces and edges that
// cannot reach it, faces that cover no pixel centre, and the second copy of
// shared edges.  None of that may change a pixel of the region: compare it
// with the whole draw of the same mesh without those savings.
TEST_F(OglScene, ColourPickOfARegionMatchesTheWholeDraw) {
    // A jittered grid finer than the pixels in its lower half, with a bad
    // face in the middle of the list and a few quads and a pentagon.
    vkoGraphicObj* o = addObject("fine");
    const int n = 41;
    std::vector<float> v;
    unsigned seed = 7;
    auto jitter = [&] {
        seed = seed * 1103515245u + 12345u;
        return (float((seed >> 8) & 1023) / 1023.0f - 0.5f) * 0.004f;
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float t = float(j) / (n - 1);
            // Rows bunch up towards the bottom: triangles there are far
            // below a pixel, at the top a few pixels across.
            v.insert(v.end(), {-1.0f + 2.0f * i / (n - 1) + jitter(), 0.0f, -1.0f + 2.0f * t * t + jitter()});
        }
    std::vector<int> f;
    int faces = 0;
    size_t damaged = 0;
    for (int j = 0; j + 1 < n; ++j)
        for (int i = 0; i + 1 < n; ++i) {
            const int a = j * n + i, b = a + 1, c = a + n + 1, d = a + n;
            if (j == 30 && i == 20) damaged = f.size() + 3;
            if (j % 12 == 10 && i % 7 == 0) {
                f.insert(f.end(), {4, a, b, c, d});
                ++faces;
            } else {
                f.insert(f.end(), {3, a, b, c, 3, a, c, d});
                faces += 2;
            }
        }
    const int base = int(v.size() / 3);
    v.insert(v.end(), {0.2f, -0.1f, 0.3f, 0.5f, -0.1f, 0.35f, 0.55f, -0.1f, 0.6f, 0.35f, -0.1f, 0.75f, 0.15f, -0.1f, 0.55f});
    f.insert(f.end(), {5, base, base + 1, base + 2, base + 3, base + 4});
    ++faces;
    ASSERT_TRUE(o->appendMesh(int(v.size() / 3), v.data(), 0, nullptr, faces, int(f.size()), f.data()));
    finishMesh(o);
    ASSERT_EQ(o->data->numFaces, faces);
    // A damaged index (no loader lets one through): that face is not drawn.
    o->data->faceEntries[damaged] = 999999;
    o->faces = true;
    o->lines = false;
    o->smoothFaces = false;
    fit();

    auto pickImage = [&](bool clip) {
        r->pickMethod = 1;
        viewer->pickMode = 1;
        r->frameClipOn = clip;
        r->frameClip[0] = 37, r->frameClip[1] = 5, r->frameClip[2] = 101, r->frameClip[3] = 83;
        o->markAllDirty();
        viewport->colourPickPass = 1;
        viewport->needsRedraw = 1;
        EXPECT_TRUE(viewport->draw(r.get(), false));
        viewport->colourPickPass = 0;
        r->colourPickMode = false;
        r->frameClipOn = false;
        viewer->pickMode = 5;
        glFinish();
        std::vector<unsigned char> px(size_t(101 - 37 + 1) * size_t(83 - 5 + 1) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(37, 5, 101 - 37 + 1, 83 - 5 + 1, GL_RGB, GL_UNSIGNED_BYTE, px.data());
        return px;
    };
    const std::vector<unsigned char> region = pickImage(true);
    // The reference: the whole window, and no adjacency, so every edge is
    // drawn from both of its faces.
    o->data->vertexFaceStart.clear();
    o->data->vertexFaces.clear();
    const std::vector<unsigned char> whole = pickImage(false);
    size_t differing = 0, identified = 0, black = 0;
    for (size_t i = 0; i < region.size(); i += 3) {
        if (!std::equal(region.begin() + std::ptrdiff_t(i), region.begin() + std::ptrdiff_t(i + 3), whole.begin() + std::ptrdiff_t(i)))
            ++differing;
        (region[i] | region[i + 1] | region[i + 2]) ? ++identified : ++black;
    }
    EXPECT_EQ(differing, 0u);
    // Both kinds of pixel are in the region: faces and edges or background.
    EXPECT_GT(identified, 100u);
    EXPECT_GT(black, 100u);
}

TEST_F(OglScene, DepthPicksFindTheSurfaceAndNotTheBackground) {
    addQuads("wall", {{-1, -1, 1, 1}}, 0);
    fit();
    draw();
    float p[3] = {0.25f, 0, 0.25f}, w[3];
    toWindow(p, w);
    r->pickRect[0] = r->pickRect[2] = int(w[0] + 0.5f);
    r->pickRect[1] = r->pickRect[3] = int(w[1] + 0.5f);
    float out[3];
    ASSERT_TRUE(r->pickDepthPoint(out));
    EXPECT_NEAR(out[1], 0.0f, 0.02f);
    EXPECT_NEAR(out[0], 0.25f, 0.05f);
    // Over the background.
    r->pickRect[0] = r->pickRect[2] = 1;
    r->pickRect[1] = r->pickRect[3] = 1;
    EXPECT_FALSE(r->pickDepthPoint(out));
    // Searching outward from a corner of the window reaches the wall.
    int x = -1, y = -1;
    float depth = 0;
    float corner[3] = {-1, 0, -1}, wc[3];
    toWindow(corner, wc);
    ASSERT_TRUE(r->findDepthNear(int(wc[0]) - 20, int(wc[1]) - 20, int(wc[0]) + 10, int(wc[1]) + 10, &x, &y, &depth));
    EXPECT_GT(depth, 0.0015f);
    EXPECT_LT(depth, 0.9985f);
    EXPECT_FALSE(r->findDepthNear(0, 0, 4, 4, &x, &y, &depth));
}

// ---- read-back --------------------------------------------------------------------------------

TEST_F(OglScene, GrabImageReadsTheDrawnFrameTopRowFirst) {
    const float c1[3] = {0, 0, 0}, c2[3] = {1, 1, 1};
    r->setBackground(1, c1, c2);  // white bottom, black top
    draw();
    int w = 0, h = 0;
    std::vector<unsigned char> img = r->grabImage(&w, &h);
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);
    ASSERT_EQ(img.size(), size_t(kW) * kH * 3);
    // Inside the border: top left black, bottom left white.
    EXPECT_LT(img[(size_t(2) * kW + 2) * 3], 10);
    EXPECT_GT(img[(size_t(kH - 3) * kW + 2) * 3], 245);
}

TEST_F(OglScene, CoverageOfAWindowFillingQuad) {
    addQuads("fill", {{-10, -10, 10, 10}}, 0);
    draw();
    // The normalised view of a 160 x 120 window is 2 x 4/3 by 2.
    EXPECT_NEAR(r->coverage(1.0f), 2.0 * (4.0 / 3.0) * 2.0, 0.05);
}

}  // namespace
