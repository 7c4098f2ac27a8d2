// Image output requested the way the engine requests it (SET_PARAMETRS with
// OUTFILE, PRINTER, PRINT_SCREEN and AUTOPRINT over a socket pair) into a
// viewer with a window, read back with our own readers and with ImageMagick's
// identify; tiled output against one large frame, the cube capture, refused
// sizes, failed writes, and the off-screen dispatch seen through a stand-in
// raster backend.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "output/ImageCodecs.h"
#include "output/RasterImage.h"
#include "platform/MessageSink.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/OutputRenderers.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"
#include "SendFan.h"

namespace fs = std::filesystem;

namespace {

using Cmd = LinkStream::Cmd;
using Tok = LinkStream::Tok;

std::vector<unsigned char> Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "FORMAT width height" as ImageMagick sees the file, or "" when it cannot.
std::string Identify(const std::string& path) {
    const std::string command = "identify -format '%m %w %h' '" + path + "' 2>/dev/null";
    FILE* p = popen(command.c_str(), "r");
    if (!p) return "";
    char line[256] = {0};
    const bool got = std::fgets(line, sizeof line, p) != nullptr;
    pclose(p);
    return got ? line : "";
}

struct Decoded {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;  // bottom row first
    const unsigned char* at(int x, int yFromBottom) const { return &rgba[(size_t(yFromBottom) * width + x) * 4]; }
};

bool Decode(const std::string& path, Decoded& out) {
    const std::vector<unsigned char> bytes = Slurp(path);
    return !bytes.empty() && readImage(bytes.data(), bytes.size(), nullptr, 0.0f, out.width, out.height, out.rgba);
}

// A coloured disc of n fan triangles in the x-z plane, which faces the
// default camera, with colour values running round it.
void SendDisc(LinkStream& out, int n) {
    // Blue, green, red, yellow along the values.
    const float map[] = {0, 0, 0, 1, 0.33f, 0, 1, 0, 0.66f, 1, 0, 0, 1, 1, 1, 0};
    SendColouredFan(out, n, map, 4);
}

// The engine's side of a socket pair into a viewer.
struct EngineLink {
    int sv[2] = {-1, -1};
    LinkStream engine;
    bool Open(vkoViewer* viewer) {
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0) return false;
        engine.writeHandle = sv[0];
        engine.writeIsSocket = true;
        viewer->link.readHandle = sv[1];
        viewer->link.readIsSocket = true;
        return true;
    }
    void Close(vkoViewer* viewer) {
        engine.writeHandle = -1;
        if (viewer) viewer->link.readHandle = -1;
        for (int fd : sv)
            if (fd >= 0) close(fd);
    }
};

class OutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        viewer = CreateViewer(nullptr, false, true, "prog");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        ASSERT_NE(viewer->glWindow, nullptr);
        box->resize(160, 120);
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        QTest::qWait(50);
        ASSERT_TRUE(SizeWindow(160, 120));
        if (!viewer->glWindow->contextReady()) GTEST_SKIP() << "no OpenGL context";
        ASSERT_TRUE(link.Open(viewer));
        viewer->SetLogoState(LOGO_NONE);
        dir = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        previousDir = fs::current_path();
        fs::current_path(dir);  // the cube capture writes into the working directory

        link.engine.SendStringCommand(Cmd::NEW_GRAPHIC, "disc");
        SendDisc(link.engine, 48);
        link.engine.BeginParameters();
        link.engine.WriteStringToken(Tok::BACKGROUND_COLOR, "0.2 0.3 0.4", false);
        link.engine.WriteIntToken(Tok::DRAW_FACES, 1, false);
        link.engine.EndParameters();
        Poll();
        ASSERT_NE(viewer->FindGraphic("disc"), nullptr);
    }
    void TearDown() override {
        if (!previousDir.empty()) fs::current_path(previousDir);
        outputrenderers::Reset();
        unsetenv("KRV_VIEWER_PRINT_TILE_SIZE");
        link.Close(viewer);
    }

    // Sizes the box so that the drawing area is width x height.
    bool SizeWindow(int width, int height) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (viewer->windowWidth == width && viewer->windowHeight == height) return true;
            const int dw = width - viewer->glWindow->width(), dh = height - viewer->glWindow->height();
            box->resize(box->width() + dw, box->height() + dh);
            QTest::qWait(60);
        }
        return viewer->windowWidth == width && viewer->windowHeight == height;
    }
    void Poll() { viewer->CheckForCommand(-1); }
    // One output request the way the engine sends it.
    void Request(const char* printer, const std::string& name, bool fromScreen) {
        link.engine.BeginParameters();
        link.engine.WriteStringToken(Tok::OUTFILE, name.c_str(), false);
        link.engine.WriteStringToken(Tok::PRINTER, printer, false);
        link.engine.WriteIntToken(Tok::PRINT_SCREEN, fromScreen ? 1 : 0, false);
        link.engine.WriteToken(Tok::AUTOPRINT);
        link.engine.EndParameters();
        Poll();
    }
    // The window's pixels as a frame shows them now (top row first).
    std::vector<unsigned char> Frame(int& w, int& h) {
        viewer->RefreshAll(false, false);
        EXPECT_TRUE(viewer->Redraw());
        return viewer->renderer->grabImage(&w, &h);
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    EngineLink link;
    std::string dir;
    fs::path previousDir;
    platform::MessageRecorder messages;
};

TEST_F(OutputTest, EveryRasterTypeFromTheLink) {
    struct Case {
        const char* printer;
        bool fromScreen;  // off-screen falls back to the window until a raster renderer exists
        const char* file;
        const char* identify;
    } cases[] = {
        {"PNG", true, "shot.png", "PNG 160 120"},
        {"JPG", false, "shot.jpg", "JPEG 160 120"},
        {"BMP", true, "shot.bmp", "BMP3 160 120"},
        {"PPM", false, "shot.ppm", "PPM 160 120"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printer);
        Request(c.printer, "shot", c.fromScreen);
        ASSERT_TRUE(fs::exists(c.file));
        EXPECT_EQ(Identify(c.file), c.identify);
        Decoded d;
        ASSERT_TRUE(Decode(c.file, d));
        ASSERT_EQ(d.width, 160);
        ASSERT_EQ(d.height, 120);
        // Background in the corner, the disc in the middle: the file is the frame.
        const unsigned char* corner = d.at(12, 105);
        EXPECT_NEAR(corner[0], 51, 6);
        EXPECT_NEAR(corner[1], 77, 6);
        EXPECT_NEAR(corner[2], 102, 6);
        const unsigned char* centre = d.at(80, 60);
        EXPECT_GT(std::abs(centre[0] - 51) + std::abs(centre[1] - 77) + std::abs(centre[2] - 102), 60);
        EXPECT_EQ(std::string(viewer->outputMessage), std::string("\nImage printed to file: ") + c.file + "\n");
    }
    EXPECT_FALSE(viewer->autoPrintPending);
    EXPECT_FALSE(viewer->drawingSuspended);
}

TEST_F(OutputTest, SceneOutputReadsBackAndTheScreenRendererComesBack) {
    Graphics* onScreen = viewer->renderer;
    Request("KVF", "scene", false);
    ASSERT_TRUE(fs::exists("scene.kvf"));
    vkoViewer* copy = CreateViewer(nullptr, true, true, "prog -n");
    std::unique_ptr<krvViewer> copyBox(copy->Widget());
    ASSERT_TRUE(ViewerLoadDataFile(copy, "scene.kvf", -1, 0));
    vkoGraphicObj* disc = copy->FindGraphic("disc");
    ASSERT_NE(disc, nullptr);
    EXPECT_EQ(disc->data->numFaces, 48);

    // Each output installs a renderer of its own for one operation (the pages
    // and worlds themselves are checked in the PostScript and VRML tests).
    Request("VRML", "page", false);
    EXPECT_TRUE(fs::exists("page.wrl"));
    EXPECT_EQ(viewer->renderer, onScreen);
    Request("EPS", "page", false);
    EXPECT_TRUE(fs::exists("page.eps"));
    EXPECT_EQ(viewer->renderer, onScreen);
}

// A write that fails keeps the earlier picture; a directory in the way stays.
TEST_F(OutputTest, FailedWritesKeepWhatWasThere) {
    Request("PNG", "keep", true);
    const std::vector<unsigned char> good = Slurp("keep.png");
    ASSERT_FALSE(good.empty());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool wrote = viewer->writeOutput(true, true, -1, -1);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(Slurp("keep.png"), good);

    fs::create_directory("taken.bmp");
    EXPECT_FALSE((viewer->output.setOutputType(OUTPUT_BMP), viewer->output.setOutputFileName("taken"),
                  viewer->writeOutput(true, true, -1, -1)));
    EXPECT_TRUE(fs::is_directory("taken.bmp"));
    viewer->output.setOutputFileName("no/such/dir/x");
    EXPECT_FALSE(viewer->writeOutput(true, true, -1, -1));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2) << "no leftovers";
}

// 3 x 3 tiles of a 120 x 90 window are the picture a 360 x 270 window shows
// of the same view.
TEST_F(OutputTest, TiledOutputMatchesOneLargeFrame) {
    ASSERT_TRUE(SizeWindow(120, 90));
    vkoViewport* v = viewer->currentViewport;
    int w = 0, h = 0;
    Frame(w, h);  // the first frame fits the view to the disc
    const Transform before = *v->view;
    setenv("KRV_VIEWER_PRINT_TILE_SIZE", "3", 1);
    Request("PNG", "tiled", true);
    unsetenv("KRV_VIEWER_PRINT_TILE_SIZE");
    ASSERT_TRUE(fs::exists("tiled.png"));
    EXPECT_EQ(Identify("tiled.png"), "PNG 360 270");
    EXPECT_FALSE(viewer->output.outputAntialias);
    EXPECT_EQ(viewer->output.outputScalePercent, 100);
    // The scene is back as it was.
    EXPECT_FLOAT_EQ(v->view->scale, before.scale);
    EXPECT_FLOAT_EQ(v->view->pan[0], before.pan[0]);
    EXPECT_FLOAT_EQ(v->view->pan[1], before.pan[1]);
    EXPECT_TRUE(v->isAxisVisibleFlag);
    EXPECT_TRUE(v->isRulerVisibleFlag);

    Decoded tiled;
    ASSERT_TRUE(Decode("tiled.png", tiled));
    ASSERT_TRUE(SizeWindow(360, 270));
    v->isAxisVisibleFlag = v->isRulerVisibleFlag = 0;  // tiles are drawn without them
    std::vector<unsigned char> large = Frame(w, h);
    ASSERT_EQ(w, 360);
    ASSERT_EQ(h, 270);
    // Compare (rows bottom first for the helper); seams may differ by a pixel.
    std::vector<unsigned char> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) rgb[(size_t(y) * w + x) * 3 + k] = tiled.at(x, y)[k];
    std::vector<unsigned char> largeBottomUp(large.size());
    for (int y = 0; y < h; ++y)
        std::copy_n(&large[size_t(h - 1 - y) * w * 3], size_t(w) * 3, &largeBottomUp[size_t(y) * w * 3]);
    // The large frame has the current-viewport frame round its edge; the
    // tiled picture has none (and none round its tiles).
    int bad = 0;
    for (int y = 2; y < h - 2; ++y)
        for (int x = 2; x < w - 2; ++x) {
            const size_t i = (size_t(y) * w + x) * 3;
            int worst = 0;
            for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(int(rgb[i + k]) - int(largeBottomUp[i + k])));
            if (worst > 24) ++bad;
        }
    EXPECT_LT(bad, w * h / 200) << "pixels that differ";
    if (bad >= w * h / 200) {  // beside tiled.png, for a look
        RasterImage picture;
        picture.width = w;
        picture.height = h;
        picture.pixels = large;
        writeRasterFile(RASTER_PNG, picture, dir + "/large.png", false);
    }
}

TEST_F(OutputTest, TiledOutputRefusesSizesNoMachineHolds) {
    setenv("KRV_VIEWER_PRINT_TILE_SIZE", "100000", 1);
    Request("PNG", "huge", true);
    EXPECT_FALSE(fs::exists("huge.png"));
    EXPECT_TRUE(messages.contains("ERROR Output size 16000000 x 12000000 pixels is too large\n"));
    // One tile is an ordinary output.
    setenv("KRV_VIEWER_PRINT_TILE_SIZE", "1", 1);
    Request("PNG", "single", true);
    EXPECT_EQ(Identify("single.png"), "PNG 160 120");
}

TEST_F(OutputTest, CubeCaptureNeedsASquareWindow) {
    ASSERT_TRUE(SizeWindow(500, 400));
    EXPECT_FALSE(viewer->captureCubeFaces());
    EXPECT_FALSE(fs::exists("cubicpano.bmp"));

    ASSERT_TRUE(SizeWindow(96, 96));
    int w = 0, h = 0;
    Frame(w, h);
    vkoViewport* v = viewer->currentViewport;
    const Transform before = *v->view;
    ASSERT_TRUE(viewer->captureCubeFaces());
    EXPECT_FALSE(viewer->capturingCube);
    EXPECT_EQ(Identify("cubicpano.bmp"), "BMP3 96 576");
    Decoded cube;
    ASSERT_TRUE(Decode("cubicpano.bmp", cube));
    // The six faces look at the disc from different sides: it covers a
    // different part of each.
    const size_t facePixels = size_t(96) * 96;
    std::vector<int> discPixels(6, 0);
    for (int f = 0; f < 6; ++f)
        for (size_t i = 0; i < facePixels; ++i) {
            const unsigned char* p = &cube.rgba[(f * facePixels + i) * 4];
            if (std::abs(p[0] - 51) + std::abs(p[1] - 77) + std::abs(p[2] - 102) > 30) ++discPixels[f];
        }
    const auto [fewest, most] = std::minmax_element(discPixels.begin(), discPixels.end());
    EXPECT_GT(*most, 500);
    EXPECT_GT(*most - *fewest, 200);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(v->view->rotation.value()[i], before.rotation.value()[i], 1e-5) << i;
    EXPECT_TRUE(v->isAxisVisibleFlag);
}

// ---------------------------------------------------------------- off-screen dispatch

// A raster backend stand-in: records what it was asked for and gives a
// picture whose rows tell their order.
struct FakeRaster : Graphics {
    FakeRaster() : Graphics(nullptr, nullptr) {}
    bool beginFrame(int index, bool clear) override {
        ++frames;
        return Graphics::beginFrame(index, clear);
    }
    int frames = 0;
};
outputrenderers::RasterRequest g_request;
int g_frames = -1;
Graphics* CreateFake(const outputrenderers::RasterRequest& r) {
    g_request = r;
    auto* fake = new FakeRaster;
    fake->copyStateFrom(*r.current);
    fake->windowWidth = r.width;
    fake->windowHeight = r.height;
    return fake;
}
bool ReadFake(Graphics* raster, std::vector<unsigned char>& rgb) {
    g_frames = static_cast<FakeRaster*>(raster)->frames;
    rgb.assign(size_t(g_request.width) * g_request.height * 3, 0);
    for (int y = 0; y < g_request.height; ++y)  // bottom row first: red rises to the top
        for (int x = 0; x < g_request.width; ++x)
            rgb[(size_t(y) * g_request.width + x) * 3] = uint8_t(y * 255 / (g_request.height - 1));
    return true;
}

class OffscreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        viewer->drawingSuspended = false;
        ASSERT_TRUE(link.Open(viewer));
        dir = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override {
        outputrenderers::Reset();
        link.Close(viewer);
    }
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    EngineLink link;
    std::string dir;
    platform::MessageRecorder messages;
};

// Without a window there are no pixels to grab: nothing is written from
// the screen.  Off-screen the software renderer draws without one.
TEST_F(OffscreenTest, NoWindowNoPixels) {
    for (bool fromScreen : {true}) {
        link.engine.BeginParameters();
        link.engine.WriteStringToken(Tok::OUTFILE, (dir + "/none").c_str(), false);
        link.engine.WriteIntToken(Tok::PRINT_SCREEN, fromScreen, false);
        link.engine.WriteToken(Tok::AUTOPRINT);
        link.engine.EndParameters();
        viewer->CheckForCommand(-1);
        EXPECT_FALSE(viewer->autoPrintPending);
        EXPECT_FALSE(fs::exists(dir + "/none.png")) << fromScreen;
        EXPECT_FALSE(viewer->writeOutput(true, fromScreen, -1, -1));
    }
    EXPECT_TRUE(viewer->writeOutput(true, false, -1, -1));
    EXPECT_TRUE(fs::exists(dir + "/none.png"));
}

TEST_F(OffscreenTest, RasterSizesLineWidthsAndRowOrder) {
    outputrenderers::Current().createRaster = &CreateFake;
    outputrenderers::Current().readRaster = &ReadFake;
    struct Case {
        const char* what;
        const char* rasterSize;  // PRINT_RASTER_SIZE or null
        int scale;               // SCALE_FACTOR or 0
        bool antialias;
        int requested, lineWidth;  // renderer size (square unless a raster size says so) and line width
        const char* identify;
    } cases[] = {
        {"unknown window: 700 x 700, antialiased", nullptr, 0, true, 1400, 2, "PNG 700 700"},
        {"9 x 500 is ignored", "9 500", 0, false, 700, 1, "PNG 700 700"},
        {"10 x 500 is taken, the scale no longer applies", "10 500", 0, false, -1, 1, "PNG 10 500"},
        {"scale 300: wider lines in stand-alone mode", nullptr, 300, false, 2100, 2, "PNG 2100 2100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        link.engine.BeginParameters();
        link.engine.WriteStringToken(Tok::OUTFILE, (dir + "/out").c_str(), false);
        link.engine.WriteIntToken(Tok::PRINT_SCREEN, 0, false);
        link.engine.WriteIntToken(Tok::PRINT_ANTIALIAS, c.antialias, false);
        if (c.scale) link.engine.WriteIntToken(Tok::SCALE_FACTOR, c.scale, false);
        if (c.rasterSize) link.engine.WriteStringToken(Tok::PRINT_RASTER_SIZE, c.rasterSize, false);
        link.engine.WriteToken(Tok::AUTOPRINT);
        link.engine.EndParameters();
        g_frames = -1;
        viewer->CheckForCommand(-1);
        if (c.requested > 0) {
            EXPECT_EQ(g_request.width, c.requested);
            EXPECT_EQ(g_request.height, c.requested);
        } else {
            EXPECT_EQ(g_request.width, 10);
            EXPECT_EQ(g_request.height, 500);
        }
        EXPECT_EQ(g_request.lineWidth, c.lineWidth);
        EXPECT_EQ(g_frames, 1) << "one frame of the one viewport drawn into the output renderer";
        EXPECT_EQ(Identify(dir + "/out.png"), c.identify);
        Decoded d;
        ASSERT_TRUE(Decode(dir + "/out.png", d));
        EXPECT_GT(d.at(0, d.height - 1)[0], 240) << "the renderer's top row is the top of the file";
        EXPECT_LT(d.at(0, 0)[0], 15);
        EXPECT_EQ(viewer->renderer, viewer->baseRenderer);
        fs::remove(dir + "/out.png");
        viewer->output.setScalePercent(100);
    }
    // A size no machine holds is refused before anything is asked for.
    g_request = {};
    link.engine.BeginParameters();
    link.engine.WriteIntToken(Tok::SCALE_FACTOR, 1000000, false);
    link.engine.WriteToken(Tok::AUTOPRINT);
    link.engine.EndParameters();
    viewer->CheckForCommand(-1);
    EXPECT_EQ(g_request.width, 0);
    EXPECT_TRUE(messages.contains("ERROR Output size 7000000 x 7000000 pixels is too large\n"));
    EXPECT_FALSE(fs::exists(dir + "/out.png"));
}

// Every output key ends with the description of the next output.
TEST_F(OffscreenTest, KeysEndWithTheDescription) {
    viewer->RaiseOutputScale();
    EXPECT_STREQ(viewer->outputMessage,
                 "\nOutput file: name is viewerOutput.png, type is PNG, mode is COLOUR, 200%% (1400 x 1400 pixels), "
                 "antialiased\n");
    viewer->ToggleOutputAntialias();
    viewer->CycleOutputColourMode();
    viewer->CycleOutputType();
    viewer->CycleOutputType();
    viewer->RaiseOutputQuality();
    EXPECT_STREQ(viewer->outputMessage,
                 "\nOutput file: name is viewerOutput.jpg, type is JPG, mode is BW, quality 95, 200%% (1400 x 1400 "
                 "pixels)\n");
    viewer->outputMessage[0] = 0;
    viewer->ToggleReverseVideo();
    EXPECT_TRUE(viewer->output.reverseColours);
    EXPECT_FLOAT_EQ(viewer->backGroundColor[0], 1.0f);
    EXPECT_NE(viewer->outputMessage[0], 0);
}

}  // namespace
