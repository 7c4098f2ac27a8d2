// Vector PostScript from the software renderer: small scenes drawn through
// the engine into GraphicsAEAPS and into GraphicsAEARaster; Ghostscript's
// rendering of the file must match the raster picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "GhostscriptHelpers.h"
#include "TestSupport.h"
#include "output/GraphicsAEAPS.h"
#include "output/GraphicsAEARaster.h"

namespace {

constexpr int kSide = 300;  // a 2-inch paper with half-inch margins: 300 x 300 pixels
const float kBackground[3] = {0.85f, 0.88f, 0.95f};

using Scene = std::function<void(GraphicsAEA&)>;

void flatTriangle(GraphicsAEA& g, const float* a, const float* b, const float* c, const float rgb[3]) {
    g.eBegin(aegl::POLYGON);
    g.eColour(rgb[0], rgb[1], rgb[2]);
    g.eVertex(a[0], a[1], a[2]);
    g.eVertex(b[0], b[1], b[2]);
    g.eVertex(c[0], c[1], c[2]);
    g.eEnd();
}

void orthographic(GraphicsAEA& g) {
    g.eMatrixMode(aegl::PROJECTION);
    g.eLoadIdentity();
    g.eOrtho(-1, 1, -1, 1, -2, 2);
    g.eMatrixMode(aegl::MODELVIEW);
    g.eLoadIdentity();
}

// A lit, smoothly coloured bump seen from above at an angle, with black
// mesh lines along its rows.
void litMeshWithLines(GraphicsAEA& g) {
    g.eMatrixMode(aegl::PROJECTION);
    g.eLoadIdentity();
    g.eFrustum(-0.6, 0.6, -0.6, 0.6, 1, 10);
    g.eMatrixMode(aegl::MODELVIEW);
    g.eLoadIdentity();
    const float light[4] = {0.3f, 0.4f, 1.0f, 0.0f};
    g.eLight(aegl::LIGHT0, aegl::POSITION, light);
    g.eTranslate(0, 0, -3);
    g.eRotate(-50, 1, 0, 0);
    g.eRotate(20, 0, 0, 1);
    const float noSpecular[4] = {0, 0, 0, 1};
    g.eMaterial(aegl::FRONT_AND_BACK, aegl::SPECULAR, noSpecular);
    g.eEnable(aegl::LIGHTING);
    g.eEnable(aegl::COLOR_MATERIAL);
    g.eEnable(aegl::NORMALIZE);
    const int n = 12;
    auto height = [](float x, float y) { return 0.5f * std::exp(-2.5f * (x * x + y * y)); };
    auto vertex = [&](int i, int j) {
        const float x = -1 + 2.0f * i / n, y = -1 + 2.0f * j / n, z = height(x, y), e = 1e-3f;
        const float dx = (height(x + e, y) - height(x - e, y)) / (2 * e);
        const float dy = (height(x, y + e) - height(x, y - e)) / (2 * e);
        g.eNormal(-dx, -dy, 1);
        g.eColour(0.2f + 1.5f * z, 0.4f, 1.0f - 1.5f * z);
        g.eVertex(x, y, z);
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            g.eBegin(aegl::POLYGON);
            vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1);
            g.eEnd();
            g.eBegin(aegl::POLYGON);
            vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1);
            g.eEnd();
        }
    g.eDisable(aegl::LIGHTING);
    g.eLineWidth(2);
    for (int j = 0; j <= n; j += 3) {
        g.eBegin(aegl::LINE_STRIP);
        for (int i = 0; i <= n; ++i) {
            const float x = -1 + 2.0f * i / n, y = -1 + 2.0f * j / n;
            g.eColour(0, 0, 0);
            g.eVertex(x, y, height(x, y));
        }
        g.eEnd();
    }
}

// Two opaque triangles that pass through each other: each is in front on
// one side of their crossing.
void crossingTriangles(GraphicsAEA& g) {
    orthographic(g);
    const float red[3] = {0.9f, 0.1f, 0.1f}, blue[3] = {0.1f, 0.2f, 0.9f};
    const float a0[3] = {-0.9f, -0.8f, -0.5f}, a1[3] = {0.9f, -0.2f, 0.5f}, a2[3] = {-0.9f, 0.8f, -0.5f};
    const float b0[3] = {0.9f, -0.8f, -0.5f}, b1[3] = {0.9f, 0.8f, -0.5f}, b2[3] = {-0.9f, 0.2f, 0.5f};
    flatTriangle(g, a0, a1, a2, red);
    flatTriangle(g, b0, b1, b2, blue);
}

// Coloured triangles far away, then an opaque face over the whole view in
// front of them (the camera looks down -z: larger z is nearer).
void coveredByAFace(GraphicsAEA& g) {
    orthographic(g);
    for (int k = 0; k < 40; ++k) {
        const float x = -0.9f + 0.04f * k, rgb[3] = {k / 40.0f, 0.5f, 0.2f};
        const float a[3] = {x, -0.5f, -1.0f}, b[3] = {x + 0.1f, -0.5f, -1.0f}, c[3] = {x, 0.5f, -1.0f};
        flatTriangle(g, a, b, c, rgb);
    }
    const float grey[3] = {0.4f, 0.45f, 0.5f};
    g.eBegin(aegl::POLYGON);
    g.eColour(grey[0], grey[1], grey[2]);
    g.eVertex(-1.5f, -1.5f, 1.0f);
    g.eVertex(1.5f, -1.5f, 1.0f);
    g.eVertex(1.5f, 1.5f, 1.0f);
    g.eVertex(-1.5f, 1.5f, 1.0f);
    g.eEnd();
}

// The raster picture of a scene, top row first.
std::vector<unsigned char> rasterOf(const Scene& scene) {
    GraphicsAEARaster raster(nullptr, kSide, kSide, 1.0f, 1, false, 0);
    EXPECT_TRUE(raster.isUsable(0));
    raster.eClearColour(kBackground[0], kBackground[1], kBackground[2], 0);
    raster.clearBuffers(aegl::COLOR_BUFFER_BIT | aegl::DEPTH_BUFFER_BIT);
    scene(raster);
    raster.finishFrame();
    const std::vector<unsigned char> bottomUp = raster.readPixels();
    std::vector<unsigned char> topDown(bottomUp.size());
    const size_t row = size_t(kSide) * 3;
    for (int y = 0; y < kSide && bottomUp.size() >= row * kSide; ++y)
        std::copy_n(&bottomUp[size_t(kSide - 1 - y) * row], row, &topDown[size_t(y) * row]);
    return topDown;
}

// Writes the scene as EPS; true when the renderer reports the file written.
bool epsOf(const Scene& scene, const std::string& path) {
    GraphicsAEAPS ps(nullptr, 2000, 2000, 0.5f, 0.5f, path, false, false, 0.99f, 1, false, 0);
    std::copy_n(kBackground, 3, ps.backgroundColour1);
    if (!ps.isUsable(0)) return false;
    scene(ps);
    ps.finishFrame();
    return ps.written();
}

struct SceneCase {
    const char* name;
    Scene scene;
    double maxDiffering;  // fraction of pixels off by more than the channel tolerance
};

class PostScriptAgainstRaster : public ::testing::TestWithParam<SceneCase> {};

// Flat subdivision at print resolution and colours in hundredths keep the
// pictures within a few levels; only pixels on edges may differ more (and
// the page's last column and top row, which its background box leaves out:
// 0.7 % of the pixels).
TEST_P(PostScriptAgainstRaster, GhostscriptDrawsWhatTheRasterRendererDraws) {
    const SceneCase& sc = GetParam();
    const std::string dir = testsupport::ScratchDir(std::string("aeaps_") + sc.name);
    const std::string path = dir + "/scene.eps";
    ASSERT_TRUE(epsOf(sc.scene, path));
    std::string log;
    ASSERT_TRUE(pstest::ghostscriptRuns(path, &log)) << log;
    int w = 0, h = 0;
    std::vector<unsigned char> page;
    ASSERT_TRUE(pstest::ghostscriptRender(path, 300, true, w, h, page, &log)) << log;
    ASSERT_EQ(w, kSide);
    ASSERT_EQ(h, kSide);
    const std::vector<unsigned char> raster = rasterOf(sc.scene);
    const double differing = pstest::differingFraction(page, raster, w, h, 12, dir + "/scene.diff.png");
    EXPECT_LE(differing, sc.maxDiffering) << "see " << dir;
}

INSTANTIATE_TEST_SUITE_P(Scenes, PostScriptAgainstRaster,
                         ::testing::Values(SceneCase{"lit_mesh_lines", litMeshWithLines, 0.03},
                                           SceneCase{"crossing", crossingTriangles, 0.02},
                                           SceneCase{"covered", coveredByAFace, 0.01}),
                         [](const auto& info) { return std::string(info.param.name); });

// Drawing records after the prolog (triangles, lines, points).
int drawingRecords(const std::string& text) {
    int n = 0;
    const size_t start = text.find("gsave %");
    for (size_t p = text.find('\n', start); p != std::string::npos; p = text.find('\n', p + 1)) {
        const size_t end = text.find('\n', p + 1);
        const std::string line = text.substr(p + 1, end == std::string::npos ? std::string::npos : end - p - 1);
        for (const char* suffix : {" t", " tc", " l", " lc", " v", " vc"})
            if (line.size() > 3 && line.compare(line.size() - std::strlen(suffix), std::strlen(suffix), suffix) == 0)
                ++n;
    }
    return n;
}

TEST(GraphicsAEAPS, NothingBehindAFullScreenFaceIsWritten) {
    const std::string dir = testsupport::ScratchDir("aeaps_covered_records");
    ASSERT_TRUE(epsOf(coveredByAFace, dir + "/c.eps"));
    const std::string text = pstest::readText(dir + "/c.eps");
    // The face's two triangles; none of the 40 behind it.
    EXPECT_EQ(drawingRecords(text), 2) << text;
}

TEST(GraphicsAEAPS, CrossingTrianglesAreSplitAlongEachOther) {
    const std::string dir = testsupport::ScratchDir("aeaps_crossing_records");
    ASSERT_TRUE(epsOf(crossingTriangles, dir + "/x.eps"));
    EXPECT_GT(drawingRecords(pstest::readText(dir + "/x.eps")), 2);
}

TEST(GraphicsAEAPS, PageGeometryAndTolerances) {
    struct Case {
        int paperWidth, paperHeight;
        bool eps, landscape;
        float tolerance;
        int width, height;
        float area, factor;
    } cases[] = {
        {8500, 11000, false, false, 0.99f, 2250, 3000, 36.0f, 0.99f},
        {8500, 11000, false, true, 0.99f, 3000, 2250, 36.0f, 0.99f},
        {8268, 11693, true, true, 0.5f, 3207, 2180, 23409.0f, 0.5f},
        {8500, 11000, true, false, 2.0f, 2250, 3000, 9.0f, 1.0f},     // tolerance limited to 1
        {8500, 11000, true, false, -1.0f, 2250, 3000, 91809.0f, 0.1f}, // to 0; the factor keeps 0.1
        {100000000, 1000, true, false, 0.99f, 29999700, 1, 36.0f, 0.99f},  // hostile paper sizes stay finite
    };
    for (const Case& c : cases) {
        GraphicsAEAPS ps(nullptr, c.paperWidth, c.paperHeight, 0.5f, 0.5f, "unused.eps", !c.eps, c.landscape,
                         c.tolerance, 1, false, 0);
        EXPECT_EQ(ps.imageWidth, c.width) << c.paperWidth;
        EXPECT_EQ(ps.imageHeight, c.height) << c.paperHeight;
        EXPECT_NEAR(ps.areaTolerance, c.area, c.area * 1e-4);
        EXPECT_FLOAT_EQ(ps.colourTolerance, 0.0001f);
        EXPECT_FLOAT_EQ(ps.toleranceFactor, c.factor);
        EXPECT_TRUE(ps.vectorOutput);
        EXPECT_FALSE(ps.fragmentMode);
    }
}

TEST(GraphicsAEAPS, UnwritableFileMakesTheRendererUnusable) {
    const std::string dir = testsupport::ScratchDir("aeaps_unwritable");
    GraphicsAEAPS missing(nullptr, 2000, 2000, 0.5f, 0.5f, dir + "/no/such/dir/a.eps", false, false, 0.99f, 1, false,
                          0);
    EXPECT_FALSE(missing.isUsable(0));
    missing.finishFrame();
    EXPECT_FALSE(missing.written());
    GraphicsAEAPS unnamed(nullptr, 2000, 2000, 0.5f, 0.5f, "", false, false, 0.99f, 1, false, 0);
    EXPECT_FALSE(unnamed.isUsable(0));
    // A renderer destroyed before its frame ended leaves no file.
    {
        GraphicsAEAPS unfinished(nullptr, 2000, 2000, 0.5f, 0.5f, dir + "/u.eps", false, false, 0.99f, 1, false, 0);
        EXPECT_TRUE(unfinished.isUsable(0));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

}  // namespace
