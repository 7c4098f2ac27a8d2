// The software raster renderer draws the golden scenes of the OpenGL
// renderer (tests/render/golden) without any OpenGL and must agree with
// the same pictures within a stated tolerance: a channel may differ by up to
// kChannelTolerance, and at most kBadFraction of the pixels may differ by
// more (edges land on neighbouring pixels, lighting is per vertex in both,
// but the rasterisers round differently).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "GoldenScenes.h"
#include "TestSupport.h"
#include "output/GraphicsAEARaster.h"

namespace {

using goldenscenes::kH;
using goldenscenes::kW;

constexpr int kChannelTolerance = 48;
constexpr double kBadFraction = 0.03;

class RasterScene : public ::testing::Test {
protected:
    void SetUp() override {
        kit = std::make_unique<goldenscenes::Kit>();
        ASSERT_TRUE(kit->valid());
        scratch = testsupport::ScratchDir(std::string("raster_agreement_") +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
        makeRenderer(kW, kH);
    }
    void TearDown() override {
        r.reset();
        kit.reset();
    }

    void makeRenderer(int w, int h) {
        r = std::make_unique<GraphicsAEARaster>(kit->viewer->baseRenderer, w, h, 1.0f, 1, false, 0);
        kit->prepare(*r);
        r->windowWidth = w;
        r->windowHeight = h;
        ASSERT_TRUE(r->usable);
    }

    void draw() {
        kit->viewport->needsRedraw = 1;
        ASSERT_TRUE(kit->viewport->draw(r.get(), false));
        r->finishFrame();
    }

    // The frame of the current viewport is white here (the screen shows it
    // yellow on a dark background): checked, then painted as on the screen.
    void expectGolden(const std::string& name, int w = kW, int h = kH, bool framed = true) {
        std::vector<unsigned char> px = r->readPixels();
        ASSERT_EQ(px.size(), size_t(w) * h * 3);
        if (framed) {
            int white = 0, frame = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    if (x != 0 && y != 0 && x != w - 1 && y != h - 1) continue;
                    unsigned char* p = &px[3 * (size_t(y) * w + x)];
                    white += p[0] == 255 && p[1] == 255 && p[2] == 255;
                    ++frame;
                    p[2] = 0;
                }
            EXPECT_EQ(white, frame) << name << ": the border is white";
        }
        std::string why;
        const std::string golden = testsupport::SourcePath("tests/render/golden/" + name + ".png");
        const std::string out = scratch + "/" + name;
        EXPECT_TRUE(testsupport::CompareWithGolden(px.data(), w, h, golden, out, kChannelTolerance, kBadFraction, &why))
            << name << ": " << why;
    }

    std::unique_ptr<goldenscenes::Kit> kit;
    std::unique_ptr<GraphicsAEARaster> r;
    std::string scratch;
};

TEST_F(RasterScene, AgreesOnTheGoldenScenes) {
    struct Case {
        const char* golden;
        vkoGraphicObj* (goldenscenes::Kit::*build)();
        bool fit;
    };
    const Case cases[] = {
        {"lit_smooth_sphere", &goldenscenes::Kit::litSmoothSphere, true},
        {"flat_face_colours", &goldenscenes::Kit::flatFaceColours, true},
        {"lines_widths", &goldenscenes::Kit::linesWithWidths, true},
        {"texts_fonts_markup", &goldenscenes::Kit::textsInBothFonts, true},
        {"planar_texture", &goldenscenes::Kit::planarTexture, true},
        {"transparency", &goldenscenes::Kit::transparency, true},
        {"clip_plane", &goldenscenes::Kit::clipPlane, true},
        {"overlay_items", &goldenscenes::Kit::overlayItems, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.golden);
        kit = std::make_unique<goldenscenes::Kit>();
        makeRenderer(kW, kH);
        (kit.get()->*c.build)();
        if (c.fit) kit->fit(*r);
        draw();
        expectGolden(c.golden);
    }
}

TEST_F(RasterScene, AgreesOnBothKindsOfBackground) {
    const float c1[3] = {0.1f, 0.1f, 0.5f}, c2[3] = {0.9f, 0.9f, 0.2f};
    for (int kind = 1; kind <= 3; ++kind) {
        SCOPED_TRACE(kind);
        r->setBackground(kind, c1, c2);
        draw();
        expectGolden("background_kind" + std::to_string(kind));
    }
    // The solid kind: the first colour everywhere.
    r->setBackground(0, c1, c2);
    draw();
    const std::vector<unsigned char> px = r->readPixels();
    EXPECT_EQ(px[3 * (60 * kW + 80)], int(256 * 0.1f));
}

TEST_F(RasterScene, AgreesOnTheAxisTriads) {
    makeRenderer(240, 110);
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
    expectGolden("axis_triads", 240, 110, false);
}

}  // namespace
