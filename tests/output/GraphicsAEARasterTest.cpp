// The raster pixel store: fragment insertion and resolution (the equal-depth
// rule, translucent over opaque, opaque discarding what it covers, depth test
// off), scan conversion with texturing, thin and wide lines, images with
// pixel zoom, the depth-ordering mode, and the memory bounds of the store.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "output/GraphicsAEARaster.h"
#include "platform/MessageSink.h"

namespace {

constexpr int kW = 24, kH = 16;

// A raster renderer whose object coordinates are window pixels; z = 0 is
// depth 0.5, larger z is nearer.
std::unique_ptr<GraphicsAEARaster> makeRaster(int w = kW, int h = kH) {
    auto r = std::make_unique<GraphicsAEARaster>(nullptr, w, h, 1.0f, 1, false, 0);
    r->eMatrixMode(aegl::PROJECTION);
    r->eLoadIdentity();
    r->eOrtho(0, w, 0, h, -1, 1);
    r->eMatrixMode(aegl::MODELVIEW);
    r->eLoadIdentity();
    return r;
}

// An axis-aligned rectangle at object depth z in one colour.
void rect(GraphicsAEA& g, float x0, float y0, float x1, float y1, float z, std::array<float, 4> c) {
    g.eColour(c[0], c[1], c[2], c[3]);
    g.eBegin(aegl::POLYGON);
    g.eVertex(x0, y0, z);
    g.eVertex(x1, y0, z);
    g.eVertex(x1, y1, z);
    g.eVertex(x0, y1, z);
    g.eEnd();
}

std::array<int, 3> pixel(const std::vector<unsigned char>& px, int x, int y, int w = kW) {
    const unsigned char* p = &px[3 * (size_t(y) * w + x)];
    return {p[0], p[1], p[2]};
}

using RGB = std::array<int, 3>;

// ---- the fragment store -------------------------------------------------------------

TEST(RasterStore, TheLaterOfTwoOpaqueSurfacesAtTheSameDepthIsVisible) {
    auto r = makeRaster();
    rect(*r, 0, 0, kW, kH, 0.0f, {1, 0, 0, 1});
    rect(*r, 0, 0, kW, kH, 0.0f, {0, 0, 1, 1});
    EXPECT_EQ(pixel(r->readPixels(), 5, 5), (RGB{0, 0, 255}));
    // Behind the record: hidden.
    rect(*r, 0, 0, kW, kH, -0.5f, {0, 1, 0, 1});
    EXPECT_EQ(pixel(r->readPixels(), 5, 5), (RGB{0, 0, 255}));
}

TEST(RasterStore, TranslucentRedOverWhiteFollowsTheIntegerRule) {
    auto r = makeRaster();
    rect(*r, 0, 0, kW, kH, 0.0f, {1, 1, 1, 1});
    r->eEnable(aegl::BLEND);
    rect(*r, 0, 0, kW, kH, 0.5f, {1, 0, 0, 128 / 255.0f});
    EXPECT_EQ(r->fragmentCount(3, 3), 1);
    EXPECT_EQ(pixel(r->readPixels(), 3, 3), (RGB{255, 127, 127}));
}

TEST(RasterStore, OpaqueFragmentsDiscardWhatTheyCoverAndKeepWhatIsInFront) {
    auto r = makeRaster();
    r->eEnable(aegl::BLEND);
    rect(*r, 0, 0, kW, kH, 0.2f, {1, 0, 0, 0.5f});
    rect(*r, 0, 0, kW, kH, 0.4f, {0, 1, 0, 0.5f});
    ASSERT_EQ(r->fragmentCount(1, 1), 2);
    // Behind both: becomes the record, both stay.
    rect(*r, 0, 0, kW, kH, -0.2f, {0, 0, 1, 1});
    EXPECT_EQ(r->fragmentCount(1, 1), 2);
    EXPECT_EQ(r->record(1, 1)->rgba[2], 255);
    // Between them: the far one goes.
    rect(*r, 0, 0, kW, kH, 0.3f, {1, 1, 1, 1});
    EXPECT_EQ(r->fragmentCount(1, 1), 1);
    // In front of all: none stays.
    rect(*r, 0, 0, kW, kH, 0.6f, {0, 0, 0, 1});
    EXPECT_EQ(r->fragmentCount(1, 1), 0);
    EXPECT_EQ(r->fragmentsInUse(), 0u);
    EXPECT_EQ(pixel(r->readPixels(), 1, 1), (RGB{0, 0, 0}));
}

TEST(RasterStore, WithTheDepthTestOffEveryFragmentLandsInFront) {
    auto r = makeRaster();
    rect(*r, 0, 0, kW, kH, 0.5f, {1, 0, 0, 1});
    r->eDisable(aegl::DEPTH_TEST);
    rect(*r, 0, 0, kW, kH, -0.9f, {0, 1, 0, 1});
    EXPECT_EQ(pixel(r->readPixels(), 2, 2), (RGB{0, 255, 0}));
    // It took the depth of what it covered: a nearer surface still wins.
    r->eEnable(aegl::DEPTH_TEST);
    rect(*r, 0, 0, kW, kH, 0.6f, {0, 0, 1, 1});
    EXPECT_EQ(pixel(r->readPixels(), 2, 2), (RGB{0, 0, 255}));
}

TEST(RasterStore, TransparencyDoesNotDependOnTheOrderOfTheFaces) {
    struct Face {
        float x0, y0, x1, y1, z;
        std::array<float, 4> c;
    };
    const std::vector<Face> faces = {
        {0, 0, 16, 12, 0.1f, {1, 0, 0, 0.5f}},  {4, 2, 20, 14, 0.3f, {0, 1, 0, 0.4f}},
        {8, 0, 24, 10, 0.2f, {0, 0, 1, 0.7f}},  {2, 4, 22, 16, -0.1f, {1, 1, 0, 1.0f}},
        {6, 6, 18, 16, 0.5f, {1, 0, 1, 0.3f}},  {0, 8, 12, 16, 0.35f, {0, 1, 1, 1.0f}},
    };
    std::vector<int> order(faces.size());
    std::iota(order.begin(), order.end(), 0);
    std::vector<unsigned char> first;
    std::mt19937 random(7);
    for (int round = 0; round < 6; ++round) {
        auto r = makeRaster();
        r->eEnable(aegl::BLEND);
        for (int i : order) rect(*r, faces[i].x0, faces[i].y0, faces[i].x1, faces[i].y1, faces[i].z, faces[i].c);
        std::vector<unsigned char> px = r->readPixels();
        if (round == 0) first = px;
        else EXPECT_EQ(px, first) << "order " << round;
        std::shuffle(order.begin(), order.end(), random);
    }
}

TEST(RasterStore, ALostFragmentLosesOnlyThatFragment) {
    auto r = makeRaster();
    r->fragmentLimit = 1;
    r->eEnable(aegl::BLEND);
    rect(*r, 0, 0, 1, 1, 0.1f, {1, 0, 0, 0.5f});  // one pixel: takes the only fragment
    rect(*r, 0, 0, 2, 1, 0.2f, {0, 1, 0, 0.5f});  // lost at (0, 0) and (1, 0)
    rect(*r, 0, 0, 2, 1, 0.3f, {0, 0, 1, 1});     // opaque: needs no fragment
    EXPECT_EQ(pixel(r->readPixels(), 1, 0), (RGB{0, 0, 255}));
    EXPECT_EQ(r->fragmentCount(0, 0), 0);
}

TEST(RasterStore, AStoreThatCannotBeHeldIsRefusedNamingItsSize) {
    // Too many pixels to address, and more bytes than the memory available.
    const unsigned long long perRow = 40000ull * GraphicsAEARaster::kRecordBytes;
    const unsigned long long rows = GraphicsAEARaster::AvailableMemory() / perRow + 1000;
    std::vector<std::array<int, 2>> sizes = {{2000000, 1000000}};
    if (40000ull * rows < 2147483647ull) sizes.push_back({40000, int(rows)});
    for (const auto& size : sizes) {
        platform::MessageRecorder messages;
        GraphicsAEARaster huge(nullptr, size[0], size[1], 1.0f, 1, false, 0);
        EXPECT_FALSE(huge.usable);
        EXPECT_TRUE(huge.readPixels().empty());
        ASSERT_EQ(messages.entries().size(), 1u);
        const std::string named = std::to_string(size[0]) + " x " + std::to_string(size[1]);
        EXPECT_NE(messages.entries()[0].text.find(named), std::string::npos) << messages.entries()[0].text;
    }
    // A size that fits is taken.
    EXPECT_TRUE(GraphicsAEARaster::StoreFits(640, 480, false, nullptr));
    EXPECT_EQ(GraphicsAEARaster::StoreBytes(640, 480, false), 640u * 480u * GraphicsAEARaster::kRecordBytes);
}

// ---- lines, points, images -------------------------------------------------------------

TEST(RasterLines, AThinHorizontalLineCoversTheColumnsOfItsRoundedEnds) {
    auto r = makeRaster();
    r->eColour(1, 1, 1);
    r->eBegin(aegl::LINES);
    r->eVertex(2.4f, 5.0f);
    r->eVertex(7.6f, 5.0f);
    r->eEnd();
    const std::vector<unsigned char> px = r->readPixels();
    for (int x = 0; x < 12; ++x) EXPECT_EQ(pixel(px, x, 5)[0], (x >= 2 && x <= 7) ? 255 : 0) << "column " << x;
}

TEST(RasterLines, WideLinesAndPointsCoverTheirWidth) {
    auto r = makeRaster();
    r->eColour(1, 1, 1);
    r->eLineWidth(4);
    r->eBegin(aegl::LINES);
    r->eVertex(4.0f, 8.0f);
    r->eVertex(20.0f, 8.0f);
    r->eEnd();
    r->ePointSize(3);
    r->eBegin(aegl::POINTS);
    r->eVertex(12.0f, 2.0f);
    r->eEnd();
    const std::vector<unsigned char> px = r->readPixels();
    int lineRows = 0, pointPixels = 0;
    for (int y = 0; y < kH; ++y) lineRows += pixel(px, 12, y)[0] == 255 && y > 4;
    for (int y = 0; y < 5; ++y)
        for (int x = 9; x < 16; ++x) pointPixels += pixel(px, x, y)[0] == 255;
    EXPECT_EQ(lineRows, 4);
    EXPECT_EQ(pointPixels, 9);
}

TEST(RasterImages, DrawPixelsZoomsAndSkipsTransparentTexels) {
    auto r = makeRaster();
    const unsigned char img[2 * 2 * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 0};
    r->eTranslate(3, 4, 0);  // the image origin
    r->ePixelZoom(2, 2);
    r->drawPixels(2, 2, aegl::RGBA, aegl::UNSIGNED_BYTE, img);
    const std::vector<unsigned char> px = r->readPixels();
    EXPECT_EQ(pixel(px, 3, 4), (RGB{255, 0, 0}));
    EXPECT_EQ(pixel(px, 4, 5), (RGB{255, 0, 0}));
    EXPECT_EQ(pixel(px, 5, 4), (RGB{0, 255, 0}));
    EXPECT_EQ(pixel(px, 3, 6), (RGB{0, 0, 255}));
    EXPECT_EQ(pixel(px, 6, 7), (RGB{0, 0, 0}));  // alpha 0: not written
    EXPECT_EQ(pixel(px, 7, 4), (RGB{0, 0, 0}));  // beyond the zoomed image
}

// ---- texturing ---------------------------------------------------------------------------

TEST(RasterTexture, FiltersWrapsAndEnvironmentModes) {
    // 2 x 2 texels: black, white / white, black, with alpha 255 and 0 in a
    // checker so that decal shows both.
    const unsigned char tex[16] = {0, 0, 0, 255, 255, 255, 255, 0, 255, 255, 255, 0, 0, 0, 0, 255};
    struct Case {
        const char* name;
        unsigned filter, wrap, env;
        float s0, s1;       // s across the 16 columns (t likewise over the rows)
        int x, y, expect;   // red of one pixel
    };
    const Case cases[] = {
        // s 0.75: the white texel, times the grey colour
        {"nearest repeat", aegl::NEAREST, aegl::REPEAT, aegl::MODULATE, 0, 2, 6, 2, 128},
        // s 1.25 wraps to the black texel
        {"nearest repeat wraps", aegl::NEAREST, aegl::REPEAT, aegl::MODULATE, 0, 2, 10, 2, 0},
        // s 1.75 clamps to the last (white) texel
        {"nearest clamp", aegl::NEAREST, aegl::CLAMP, aegl::MODULATE, 0, 2, 14, 2, 128},
        // s 0.5, t 0.53: the four texels mixed, half of them white
        {"linear middle", aegl::LINEAR, aegl::CLAMP, aegl::MODULATE, 0, 1, 8, 8, 64},
        // texel alpha 1: the (black) texel replaces the colour
        {"decal", aegl::NEAREST, aegl::CLAMP, aegl::DECAL, 0, 1, 2, 2, 0},
        // texel alpha 0: the colour stays
        {"decal clear", aegl::NEAREST, aegl::CLAMP, aegl::DECAL, 0, 1, 12, 2, 128},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = makeRaster(16, 16);
        r->eEnable(aegl::TEXTURE_2D);
        r->eTexParameter(aegl::TEXTURE_MIN_FILTER, c.filter);
        r->eTexParameter(aegl::TEXTURE_MAG_FILTER, c.filter);
        r->eTexParameter(aegl::TEXTURE_WRAP_S, c.wrap);
        r->eTexParameter(aegl::TEXTURE_WRAP_T, c.wrap);
        r->eTexEnv(c.env);
        r->eTexImage2D(0, 4, 2, 2, aegl::RGBA, aegl::UNSIGNED_BYTE, tex);
        r->eColour(128 / 255.0f, 128 / 255.0f, 128 / 255.0f);
        r->eBegin(aegl::POLYGON);
        r->eTexCoord(c.s0, c.s0);
        r->eVertex(0, 0);
        r->eTexCoord(c.s1, c.s0);
        r->eVertex(16, 0);
        r->eTexCoord(c.s1, c.s1);
        r->eVertex(16, 16);
        r->eTexCoord(c.s0, c.s1);
        r->eVertex(0, 16);
        r->eEnd();
        EXPECT_NEAR(pixel(r->readPixels(), c.x, c.y, 16)[0], c.expect, 2);
    }
}

// ---- depth-ordering mode ---------------------------------------------------------------------

TEST(RasterDepthOrdering, ATranslucentFaceBlendsIntoWhatWasPaintedBefore) {
    setenv("VIEWER_BSP", "1", 1);
    auto r = makeRaster();
    unsetenv("VIEWER_BSP");
    ASSERT_TRUE(r->isDepthOrdering());
    rect(*r, 0, 0, kW, kH, 0.0f, {1, 1, 1, 1});
    r->eEnable(aegl::BLEND);
    rect(*r, 0, 0, kW, kH, 0.5f, {1, 0, 0, 0.5f});
    EXPECT_EQ(r->deferredCount(), 2);
    r->finishFrame();
    EXPECT_EQ(pixel(r->readPixels(), 4, 4), (RGB{255, 128, 128}));
}

}  // namespace
