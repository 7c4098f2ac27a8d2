// The PostScript file layer: the run-length and ASCII85 stages, the raster
// page writer and the vector page records, every file read back by
// Ghostscript.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>

#include "GhostscriptHelpers.h"
#include "ImageTestHelpers.h"
#include "TestSupport.h"
#include "output/PostScriptEncoder.h"
#include "output/PostScriptFile.h"
#include "output/PostScriptPage.h"
#include "output/RasterPostScript.h"

using pstest::decodeAscii85;
using pstest::decodeRunLength;
using pstest::readText;

namespace {

// Lowers the file size limit while alive, as a full disk would stop writes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit lower = previous_;
        lower.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

// The text the two stages make of `bytes`.
std::string encode(const std::vector<unsigned char>& bytes, const std::string& dir) {
    const std::string path = dir + "/encoded.txt";
    PostScriptFile f;
    EXPECT_TRUE(f.open(path));
    PostScriptEncoder e(f);
    EXPECT_TRUE(e.ready());
    e.put(bytes.data(), bytes.size());
    e.finish();
    EXPECT_TRUE(f.commit());
    return readText(path);
}

std::vector<unsigned char> packetsOf(const std::string& text) {
    std::vector<unsigned char> packets;
    EXPECT_TRUE(decodeAscii85(text, packets)) << text;
    return packets;
}

TEST(PostScriptEncoder, RunOf300EqualBytesIsThreeRunPackets) {
    const std::string dir = testsupport::ScratchDir("ps_encoder_run");
    const auto packets = packetsOf(encode(std::vector<unsigned char>(300, 7), dir));
    EXPECT_EQ(packets, (std::vector<unsigned char>{129, 7, 129, 7, 213, 7, 128}));
}

TEST(PostScriptEncoder, ZeroGroupIsZAndEndMarkAloneIsTwoCharacters) {
    const std::string dir = testsupport::ScratchDir("ps_encoder_z");
    // A literal packet 1 2 3 0 0 (the third 0 ends it) and the last 0 alone
    // give the packets 4 1 2 3 | 0 0 0 0 | 128: a zero group, then the end
    // mark as a final group of one byte.
    const std::string text = encode({1, 2, 3, 0, 0, 0}, dir);
    ASSERT_EQ(text.size(), 5u + 1u + 2u + 3u) << text;
    EXPECT_EQ(text[5], 'z');
    EXPECT_EQ(text.substr(8), "\n~>");
    EXPECT_EQ(packetsOf(text), (std::vector<unsigned char>{4, 1, 2, 3, 0, 0, 0, 0, 128}));
}

TEST(PostScriptEncoder, LiteralPacketKeepsTwoEqualBytesBeforeARun) {
    const std::string dir = testsupport::ScratchDir("ps_encoder_literal");
    EXPECT_EQ(packetsOf(encode({5, 6, 6, 6, 6, 6, 9}, dir)),
              (std::vector<unsigned char>{2, 5, 6, 6, 254, 6, 0, 9, 128}));
    // Two equal bytes alone start no run.
    EXPECT_EQ(packetsOf(encode({5, 6, 6, 6, 6, 9}, dir)),
              (std::vector<unsigned char>{2, 5, 6, 6, 2, 6, 6, 9, 128}));
}

TEST(PostScriptEncoder, RoundTripsAndKeepsLinesShort) {
    const std::string dir = testsupport::ScratchDir("ps_encoder_roundtrip");
    std::mt19937 rng(11);
    std::vector<std::vector<unsigned char>> inputs = {{}, {0}, {255, 255}, std::vector<unsigned char>(128, 0),
                                                      std::vector<unsigned char>(129, 3)};
    // Noise, runs of every length around the packet limit, and pairs.
    std::vector<unsigned char> mixed;
    for (int i = 0; i < 3000; ++i) mixed.push_back(uint8_t(rng() % 256));
    for (int n = 1; n < 260; n += 7) mixed.insert(mixed.end(), size_t(n), uint8_t(n));
    for (int i = 0; i < 500; ++i) mixed.insert(mixed.end(), size_t(1 + rng() % 3), uint8_t(rng() % 3));
    inputs.push_back(mixed);
    for (const auto& in : inputs) {
        const std::string text = encode(in, dir);
        std::vector<unsigned char> back;
        ASSERT_TRUE(decodeRunLength(packetsOf(text), back));
        EXPECT_EQ(back, in) << "input of " << in.size() << " bytes";
        size_t start = 0;
        for (size_t nl = text.find('\n'); nl != std::string::npos; nl = text.find('\n', start)) {
            EXPECT_LE(nl - start, 84u);
            start = nl + 1;
        }
    }
    // A long run costs two bytes per 128.
    EXPECT_LT(encode(std::vector<unsigned char>(128 * 100, 1), dir).size(), 270u);
}

// ---------------------------------------------------------------- raster pages

struct RasterCase {
    const char* name;
    bool postScript;
    bool landscape;
    bool flip;
    int resolution = 72;
    int margin = 12;  // margin * 72 / resolution must be whole points
};

class RasterPostScriptPage : public ::testing::TestWithParam<RasterCase> {};

// The picture comes back from Ghostscript pixel for pixel at the page's own
// resolution, placed at its margins (turned for PostScript in landscape).
TEST_P(RasterPostScriptPage, GhostscriptDrawsThePictureInPlace) {
    const RasterCase& rc = GetParam();
    const std::string dir = testsupport::ScratchDir(std::string("ps_raster_") + rc.name);
    const std::string path = dir + (rc.postScript ? "/page.ps" : "/page.eps");
    RasterImage img = imagetest::makePicture(90, 60);
    const int res = rc.resolution, margin = rc.margin;
    // A page about twice the picture's size; it turns in landscape.
    const int pageW = rc.landscape ? 200 : 180, pageH = rc.landscape ? 180 : 200;
    ASSERT_TRUE(writeRasterPostScript(rc.postScript, img, path, rc.landscape, margin, margin, pageW, pageH, res,
                                      rc.flip));
    std::string log;
    ASSERT_TRUE(pstest::ghostscriptRuns(path, &log)) << log;

    int w = 0, h = 0;
    std::vector<unsigned char> page;
    ASSERT_TRUE(pstest::ghostscriptRender(path, res, !rc.postScript, w, h, page, &log)) << log;
    // The picture as it should appear, top row first.
    auto expected = [&](int x, int y) {
        const int row = rc.flip ? img.height - 1 - y : y;
        return &img.pixels[(size_t(row) * img.width + x) * 3];
    };
    int bad = 0;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            int px, py;  // where (x, y) of the picture lands on the rendered page
            if (!rc.postScript) {
                px = x, py = y;  // EPS rendered to its bounding box
            } else if (!rc.landscape) {
                px = margin + x, py = h - margin - img.height + y;
            } else {
                // Turned a quarter to the left: picture x runs up the page.
                px = pageH - margin - img.height + y, py = h - margin - 1 - x;
            }
            ASSERT_TRUE(px >= 0 && py >= 0 && px < w && py < h) << px << "," << py << " in " << w << "x" << h;
            const unsigned char* got = &page[(size_t(py) * w + px) * 3];
            const unsigned char* want = expected(x, y);
            if (std::memcmp(got, want, 3) != 0) ++bad;
        }
    EXPECT_EQ(bad, 0) << rc.name;
    if (!rc.postScript) {
        EXPECT_EQ(w, img.width);
        EXPECT_EQ(h, img.height);
    } else {
        // Outside the picture the page stays white.
        EXPECT_EQ(page[(size_t(h - 1) * w + 1) * 3], 255);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, RasterPostScriptPage,
                         ::testing::Values(RasterCase{"ps", true, false, false}, RasterCase{"ps_flip", true, false, true},
                                           RasterCase{"ps_landscape", true, true, false},
                                           RasterCase{"eps", false, false, true},
                                           RasterCase{"eps_landscape", false, true, false},
                                           // 72/110 points per pixel is no whole hundredth
                                           RasterCase{"ps_110dpi", true, false, false, 110, 55}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RasterPostScript, EpsHeaderAndLandscapeBox) {
    const std::string dir = testsupport::ScratchDir("ps_raster_header");
    RasterImage img = imagetest::makePicture(400, 300);
    ASSERT_TRUE(writeRasterPostScript(false, img, dir + "/a.eps", true, 150, 150, 3300, 2550, 300, true));
    const std::string text = readText(dir + "/a.eps");
    EXPECT_EQ(text.rfind("%!PS-Adobe-2.0 EPSF-3.0\n\n%%BoundingBox: 36 36 132 108\n36 36 translate\n"
                         "0.24 0.24 scale\n400 300 8\n",
                         0),
              0u)
        << text.substr(0, 200);
    EXPECT_EQ(text.find("rotate"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 13), "\n~>\nshowpage\n");
}

TEST(RasterPostScript, FailedWriteKeepsTheEarlierFile) {
    const std::string dir = testsupport::ScratchDir("ps_raster_fail");
    RasterImage img = imagetest::makePicture(30, 20);
    EXPECT_FALSE(writeRasterPostScript(true, img, dir + "/missing/a.ps", false, 0, 0, 30, 20, 72, false));
    EXPECT_FALSE(writeRasterPostScript(true, img, "", false, 0, 0, 30, 20, 72, false));
    RasterImage shortImage = img;
    shortImage.pixels.resize(10);
    EXPECT_FALSE(writeRasterPostScript(true, shortImage, dir + "/a.ps", false, 0, 0, 30, 20, 72, false));
    EXPECT_FALSE(std::filesystem::exists(dir + "/a.ps"));

    ASSERT_TRUE(writeRasterPostScript(true, img, dir + "/a.ps", false, 0, 0, 30, 20, 72, false));
    const std::string good = readText(dir + "/a.ps");
    // A full disk: with the file size limited, a noisy picture cannot be
    // written whole; the earlier page stays and no temporary file is left.
    {
        FileSizeLimit limit(4096);
        RasterImage noise = imagetest::makePicture(200, 200);
        std::mt19937 rng(3);
        for (auto& b : noise.pixels) b = uint8_t(rng());
        EXPECT_FALSE(writeRasterPostScript(true, noise, dir + "/a.ps", false, 0, 0, 200, 200, 72, false));
    }
    EXPECT_EQ(readText(dir + "/a.ps"), good);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
}


// ---------------------------------------------------------------- vector pages

std::string writePage(const std::string& path, const PostScriptPageSetup& setup, const float background[3],
                      const std::function<void(PostScriptPage&)>& draw = {}) {
    PostScriptPage page(setup);
    EXPECT_TRUE(page.open(path, background));
    if (draw) draw(page);
    EXPECT_TRUE(page.finish());
    return readText(path);
}

TEST(PostScriptPage, PrologAndBackgroundRule) {
    const std::string dir = testsupport::ScratchDir("ps_page_prolog");
    const float white[3] = {1, 1, 1}, nearWhite[3] = {1, 1, 0.999f};
    PostScriptPageSetup letter;
    const std::string plain = writePage(dir + "/white.ps", letter, white);
    EXPECT_EQ(plain,
              "%!PS-Adobe-3.0\n1 setlinecap\n1 setlinejoin\n0.12 setlinewidth\n"
              "/vc {setrgbcolor 3 copy pop moveto 0 360 arc closepath fill} def\n"
              "/v {3 copy pop moveto 0 360 arc closepath fill} def\n"
              "/tc {setrgbcolor moveto lineto lineto closepath fill} def\n"
              "/t {moveto lineto lineto closepath fill} def\n"
              "/lc {setrgbcolor moveto lineto stroke} def\n"
              "/l {moveto lineto stroke} def\n"
              "/r {grestore gsave} def\n"
              "/c {moveto lineto lineto lineto closepath clip newpath} def\n"
              "35.50 35.50 translate\ngsave % saves the viewport clipping path\ngrestore\nshowpage\n");
    const std::string tinted = writePage(dir + "/tinted.ps", letter, nearWhite);
    EXPECT_NE(tinted.find("1.000 1.000 0.999 setrgbcolor\n36.00 755.76 moveto\n575.76 755.76 lineto\n"
                          "575.76 36.00 lineto\n36.00 36.00 lineto\nclosepath\nfill\n35.50 35.50 translate\n"),
              std::string::npos)
        << tinted;

    // Landscape: PostScript turns the page, EPS exchanges its box instead.
    PostScriptPageSetup turned = letter;
    turned.landscape = true;
    const std::string ps = writePage(dir + "/landscape.ps", turned, white);
    EXPECT_NE(ps.find("0.12 setlinewidth\n612 0 translate\n90 rotate\n/vc"), std::string::npos) << ps;
    turned.eps = true;
    const std::string eps = writePage(dir + "/landscape.eps", turned, white);
    EXPECT_EQ(eps.rfind("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 36 36 756 576\n", 0), 0u) << eps;
    EXPECT_EQ(eps.find("rotate"), std::string::npos);
    PostScriptPage geometry(turned);
    EXPECT_EQ(geometry.width(), 3000);
    EXPECT_EQ(geometry.height(), 2250);
    letter.eps = true;
    EXPECT_EQ(writePage(dir + "/portrait.eps", letter, white).rfind("%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 36 36 576 756\n", 0), 0u);
    for (const auto* name : {"/white.ps", "/tinted.ps", "/landscape.ps", "/landscape.eps", "/portrait.eps"}) {
        std::string log;
        EXPECT_TRUE(pstest::ghostscriptRuns(dir + name, &log)) << name << log;
    }
}

TEST(PostScriptPage, ColourIsWrittenOnlyWhenItChanges) {
    const std::string dir = testsupport::ScratchDir("ps_page_colour");
    const float white[3] = {1, 1, 1};
    const float a[2] = {10, 10}, b[2] = {20, 10}, c[2] = {10, 20};
    const std::string text = writePage(dir + "/c.ps", PostScriptPageSetup{}, white, [&](PostScriptPage& p) {
        const float red1[3] = {0.500f, 0.2f, 0.2f}, red2[3] = {0.503f, 0.2f, 0.2f}, red3[3] = {0.52f, 0.2f, 0.2f};
        p.triangle(a, b, c, red1);
        p.triangle(a, b, c, red2);  // the same hundredths
        p.triangle(a, b, c, red3);
        p.line(2, a, b, red3);      // a new width, the same colour
        p.clipRegion(0, 0, 100, 100);
        p.point(3, a, red3);        // the clip region forgot the colour
        p.triangle(a, b, c, red3);
        const float l[2] = {-5, 10}, m[2] = {-1, 50}, n[2] = {-3, 90};
        p.triangle(l, m, n, red1);  // left of the clip region
    });
    const size_t start = text.find("gsave %");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(text.substr(text.find('\n', start) + 1),
              "2.90 2.90 5.30 2.90 2.90 5.30 0.50 0.20 0.20 tc\n"
              "2.90 2.90 5.30 2.90 2.90 5.30 t\n"
              "2.90 2.90 5.30 2.90 2.90 5.30 0.52 0.20 0.20 tc\n"
              "0.24 setlinewidth\n2.90 2.90 5.30 2.90 l\n"
              "r 0.50 0.50 24.50 0.50 24.50 24.50 0.50 24.50 c\n0.24 setlinewidth\n"
              "2.90 2.90 0.93 0.52 0.20 0.20 vc\n"
              "2.90 2.90 5.30 2.90 2.90 5.30 t\n"
              "grestore\nshowpage\n");
}

// What Ghostscript paints of a page with every kind of record, at the page's
// own 300 dots per inch.
TEST(PostScriptPage, GhostscriptPaintsEveryRecord) {
    const std::string dir = testsupport::ScratchDir("ps_page_render");
    PostScriptPageSetup small;
    small.paperWidth = small.paperHeight = 2000;  // 2 inches: a 300 x 300 pixel drawing
    small.eps = true;
    const float grey[3] = {0.2f, 0.3f, 0.4f};
    // An image of 4 x 4 pixels, zoomed 10 times: red, with a green key
    // colour in its top right quarter.
    std::vector<unsigned char> rgba(4 * 4 * 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            unsigned char* p = &rgba[(size_t(y) * 4 + x) * 4];
            const bool key = x >= 2 && y >= 2;
            p[0] = key ? 0 : 255, p[1] = key ? 255 : 0, p[2] = 0, p[3] = 255;
        }
    const int key[3] = {0, 255, 0};
    writePage(dir + "/all.eps", small, grey, [&](PostScriptPage& p) {
        const float white[3] = {1, 1, 1}, blue[3] = {0, 0, 1}, yellow[3] = {1, 1, 0};
        const float a[2] = {0, 0}, b[2] = {150, 0}, c[2] = {0, 150};
        p.triangle(a, b, c, white);
        const float l0[2] = {200, 20}, l1[2] = {200, 280};
        p.line(20, l0, l1, blue);
        const float q[2] = {250, 250};
        p.point(10, q, yellow);  // radius 10*700/300 points: about 97 pixels across
        p.clipRegion(100, 200, 40, 40);
        EXPECT_TRUE(p.image(3, 42, 100, 200, 10.0f, 4, 4, rgba.data(), key));
        // Without a key colour, pixels of alpha 0 are left out: here the
        // bottom half of the same image.
        std::vector<unsigned char> clear = rgba;
        for (size_t i = 0; i < 8; ++i) clear[i * 4 + 3] = 0;
        p.clipRegion(0, 0, 300, 300);
        EXPECT_TRUE(p.image(3, 43, 220, 150, 5.0f, 4, 4, clear.data(), nullptr));
        // A triangle over the whole drawing, clipped to a 20-pixel box.
        p.clipRegion(20, 200, 20, 20);
        const float big0[2] = {-100, -100}, big1[2] = {400, -100}, big2[2] = {-100, 400};
        p.triangle(big0, big1, big2, blue);
    });
    std::string log;
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    ASSERT_TRUE(pstest::ghostscriptRender(dir + "/all.eps", 300, true, w, h, rgb, &log)) << log;
    ASSERT_EQ(w, 300);
    ASSERT_EQ(h, 300);
    // Window pixel (x, y from the bottom) of the drawing.
    using V = std::vector<int>;
    // Ghostscript rounds 0.3 * 255 down: one step of tolerance.
    auto at = [&](int x, int y) {
        const unsigned char* p = &rgb[(size_t(h - 1 - y) * w + x) * 3];
        return V{p[0], p[1], p[2]};
    };
    auto near = [](const V& a, const V& b) {
        for (int k = 0; k < 3; ++k)
            if (std::abs(a[k] - b[k]) > 1) return false;
        return true;
    };
    EXPECT_PRED2(near, at(30, 30), (V{255, 255, 255}));  // triangle
    EXPECT_PRED2(near, at(140, 140), (V{51, 77, 102}));  // background beside it
    EXPECT_PRED2(near, at(200, 100), (V{0, 0, 255}));    // line, 20 * 0.12 points = 10 pixels wide
    EXPECT_PRED2(near, at(190, 100), (V{51, 77, 102}));
    EXPECT_PRED2(near, at(250, 250), (V{255, 255, 0}));  // point
    EXPECT_PRED2(near, at(250 + 40, 250), (V{255, 255, 0}));
    EXPECT_PRED2(near, at(105, 205), (V{255, 0, 0}));    // image
    EXPECT_PRED2(near, at(135, 235), (V{51, 77, 102}));  // its key colour is not painted
    EXPECT_PRED2(near, at(223, 163), (V{255, 0, 0}));    // the second image's top half,
    EXPECT_PRED2(near, at(235, 163), (V{0, 255, 0}));    // green painted without a key colour,
    EXPECT_PRED2(near, at(223, 153), (V{51, 77, 102}));  // its clear bottom half not
    EXPECT_PRED2(near, at(30, 210), (V{0, 0, 255}));     // clipped triangle inside its box
    EXPECT_PRED2(near, at(50, 210), (V{51, 77, 102}));   // and not outside
    EXPECT_PRED2(near, at(30, 190), (V{51, 77, 102}));
}

}  // namespace
