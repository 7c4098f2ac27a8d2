// PostScript and EPS output requested the way the engine requests it
// (SET_PARAMETRS with OUTFILE, PRINTER, PRINT_SCREEN, PRINT_PS_PAPER_SIZE and
// AUTOPRINT over a socket pair), every file read back by Ghostscript and its
// page compared with the picture the viewer shows.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QImage>
#include <QTest>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "GhostscriptHelpers.h"
#include "TestSupport.h"
#include "platform/MessageSink.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"
#include "SendFan.h"

namespace fs = std::filesystem;

namespace {

using Cmd = LinkStream::Cmd;
using Tok = LinkStream::Tok;

// A fan of n triangles round the origin in the x-z plane (facing the
// default camera), coloured by value round it.
void SendFan(LinkStream& out, int n) {
    // Blue through green to red.
    const float map[12] = {0, 0, 0, 1, 0.5f, 0, 1, 0, 1, 1, 0, 0};
    SendColouredFan(out, n, map, 3);
}

class PostScriptOutput : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        viewer = CreateViewer(nullptr, false, true, "prog");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        ASSERT_NE(viewer->glWindow, nullptr);
        box->resize(300, 240);
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        ASSERT_TRUE(SizeWindow(160, 120));
        if (!viewer->glWindow->contextReady()) GTEST_SKIP() << "no OpenGL context";
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        engine.writeHandle = sv[0];
        engine.writeIsSocket = true;
        viewer->link.readHandle = sv[1];
        viewer->link.readIsSocket = true;
        viewer->SetLogoState(LOGO_NONE);
        dir = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());

        engine.SendStringCommand(Cmd::NEW_GRAPHIC, "fan");
        SendFan(engine, 48);
        engine.BeginParameters();
        engine.WriteStringToken(Tok::BACKGROUND_COLOR, "0.2 0.3 0.4", false);
        engine.WriteIntToken(Tok::DRAW_FACES, 1, false);
        engine.EndParameters();
        Poll();
        ASSERT_NE(viewer->FindGraphic("fan"), nullptr);
    }
    void TearDown() override {
        engine.writeHandle = -1;
        if (viewer) viewer->link.readHandle = -1;
        for (int fd : sv)
            if (fd >= 0) close(fd);
    }

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
    void Request(const char* printer, const std::string& path, bool fromScreen, const char* paper = "LETTER") {
        engine.BeginParameters();
        engine.WriteStringToken(Tok::OUTFILE, path.c_str(), false);
        engine.WriteStringToken(Tok::PRINTER, printer, false);
        engine.WriteIntToken(Tok::PRINT_SCREEN, fromScreen ? 1 : 0, false);
        engine.WriteStringToken(Tok::PRINT_PS_PAPER_SIZE, paper, false);
        engine.WriteToken(Tok::AUTOPRINT);
        engine.EndParameters();
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
    int sv[2] = {-1, -1};
    LinkStream engine;
    std::string dir;
    platform::MessageRecorder messages;
};

// From the screen: the window's pixels on a page whose resolution makes the
// picture fill it inside half-inch margins.  The 160 x 120 window is wider
// than tall, so the page is in landscape: 16 dots per inch on letter paper.
TEST_F(PostScriptOutput, FromScreenPageIsTheWindowPicture) {
    int w = 0, h = 0;
    Frame(w, h);  // the first frame fits the view
    const std::vector<unsigned char> frame = Frame(w, h);
    ASSERT_EQ(w, 160);
    ASSERT_EQ(h, 120);
    for (const char* printer : {"EPS", "PS"}) {
        SCOPED_TRACE(printer);
        const std::string name = dir + "/screen";
        Request(printer, name, true);
        const std::string path = name + (std::string(printer) == "EPS" ? ".eps" : ".ps");
        ASSERT_TRUE(fs::exists(path));
        EXPECT_EQ(std::string(viewer->outputMessage), std::string("\nImage printed to file: ") + path + "\n");
        std::string log;
        ASSERT_TRUE(pstest::ghostscriptRuns(path, &log)) << log;
        if (std::string(printer) != "EPS") continue;
        int pw = 0, ph = 0;
        std::vector<unsigned char> page;
        ASSERT_TRUE(pstest::ghostscriptRender(path, 16, true, pw, ph, page, &log)) << log;
        ASSERT_EQ(pw, 160);
        ASSERT_EQ(ph, 120);
        EXPECT_LE(pstest::differingFraction(page, frame, pw, ph, 2, dir + "/screen.diff.png"), 0.0);
    }
}

// Off-screen, the same view three ways on a 2 x 2 inch paper (a 300 x 300
// pixel drawing inside the half-inch margins): vector EPS for opaque faces,
// a raster page once the faces are translucent, each rendered by
// Ghostscript at 300 dots per inch against the raster output of the view at
// 300 x 300 pixels.
TEST_F(PostScriptOutput, OffscreenPagesMatchTheRasterOutput) {
    engine.BeginParameters();
    engine.WriteIntToken(Tok::PRINT_ANTIALIAS, 0, false);
    engine.WriteStringToken(Tok::PRINT_RASTER_SIZE, "300 300", false);
    engine.EndParameters();
    Poll();
    auto decode = [](const std::string& png, int& w, int& h, std::vector<unsigned char>& rgb) {
        QImage image(QString::fromStdString(png));
        if (image.isNull()) return false;
        image = image.convertToFormat(QImage::Format_RGB888);
        w = image.width(), h = image.height();
        rgb.resize(size_t(w) * h * 3);
        for (int y = 0; y < h; ++y) std::memcpy(&rgb[size_t(y) * w * 3], image.constScanLine(y), size_t(w) * 3);
        return true;
    };
    struct Step {
        const char* name;
        bool translucent;
        int channelTolerance;
        double maxDiffering;
        const char* firstLine;
    } steps[] = {
        // Flat subdivision and hundredths of colour: a few levels; edges differ.
        {"vector", false, 12, 0.03, "%!PS-Adobe-3.0 EPSF-3.0"},
        // The raster renderer's own picture on a page.
        {"raster", true, 2, 0.001, "%!PS-Adobe-2.0 EPSF-3.0"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.translucent) {
            engine.BeginParameters();
            engine.WriteStringToken(Tok::TRANSPARENCY, "0.5", false);
            engine.EndParameters();
            Poll();
            ASSERT_TRUE(viewer->viewports[0]->hasTransparentFaces());
        }
        const std::string base = dir + "/" + step.name;
        Request("PNG", base, false);
        int rw = 0, rh = 0;
        std::vector<unsigned char> raster;
        ASSERT_TRUE(decode(base + ".png", rw, rh, raster));
        ASSERT_EQ(rw, 300);
        ASSERT_EQ(rh, 300);

        std::snprintf(viewer->outputMessage, sizeof viewer->outputMessage, "before");
        Request("EPS", base, false, "2 2");
        const std::string eps = base + ".eps";
        ASSERT_TRUE(fs::exists(eps));
        EXPECT_EQ(std::string(viewer->outputMessage), "\nImage printed to file: " + eps + "\n");
        EXPECT_EQ(pstest::readText(eps).rfind(step.firstLine, 0), 0u);
        std::string log;
        ASSERT_TRUE(pstest::ghostscriptRuns(eps, &log)) << log;
        int pw = 0, ph = 0;
        std::vector<unsigned char> page;
        ASSERT_TRUE(pstest::ghostscriptRender(eps, 300, true, pw, ph, page, &log)) << log;
        ASSERT_EQ(pw, 300);
        ASSERT_EQ(ph, 300);
        EXPECT_LE(pstest::differingFraction(page, raster, pw, ph, step.channelTolerance, base + ".diff.png"),
                  step.maxDiffering);
        Request("PS", base, false, "2 2");
        ASSERT_TRUE(pstest::ghostscriptRuns(base + ".ps", &log)) << log;
    }
}

// A page that cannot be written whole leaves the earlier one and reports
// nothing; a name in a missing directory writes nothing.
TEST_F(PostScriptOutput, FailedPagesKeepTheEarlierFile) {
    const std::string name = dir + "/keep";
    Request("EPS", name, false, "2 2");
    const std::string good = pstest::readText(name + ".eps");
    ASSERT_FALSE(good.empty());
    std::snprintf(viewer->outputMessage, sizeof viewer->outputMessage, "before");
    viewer->output.setPaperSize("20 20");  // a far larger file than the limit lets through
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 2000;
    setrlimit(RLIMIT_FSIZE, &limited);
    const bool vector = viewer->writeOutput(true, false, -1, -1);
    const bool screen = viewer->writeOutput(true, true, -1, -1);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(vector);
    EXPECT_FALSE(screen);
    EXPECT_EQ(pstest::readText(name + ".eps"), good);
    EXPECT_STREQ(viewer->outputMessage, "before");
    viewer->output.setOutputFileName((dir + "/no/such/dir/x").c_str());
    EXPECT_FALSE(viewer->writeOutput(true, false, -1, -1));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no leftovers";
}

}  // namespace
