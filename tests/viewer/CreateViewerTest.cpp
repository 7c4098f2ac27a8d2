// The entry point: argument words, the usage text, the appended-scene
// marker and the window-less viewer it builds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "platform/MessageSink.h"
#include "render/Graphics.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/ViewerStart.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

const char kUsageStart[] = "Usage: viewer [-h] [-n] [-r <port_num>] [-t] [-e] [viewer_state_file]\n\n";

struct SplitCase {
    const char* args;
    std::vector<std::string> words;
};

TEST(CreateViewerArguments, SplitsAtBlanksAndKeepsQuotedSections) {
    const SplitCase cases[] = {
        {"prog -n scene.kvf", {"prog", "-n", "scene.kvf"}},
        {"  prog\t-n  ", {"prog", "-n"}},
        {"prog \"my scene.kvf\"", {"prog", "my scene.kvf"}},
        {"prog a\"b c\"d", {"prog", "ab cd"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        bool tooLong = true;
        EXPECT_EQ(viewerstart::SplitArguments(c.args, tooLong), c.words) << c.args;
        EXPECT_FALSE(tooLong);
    }
    bool tooLong = false;
    std::string longWord = "prog " + std::string(1024, 'x');
    viewerstart::SplitArguments(longWord.c_str(), tooLong);
    EXPECT_TRUE(tooLong);
}

struct ParseCase {
    std::vector<std::string> words;
    bool ok;
    int port;
    bool loadMode, dump, replay, noWindow;
    const char* file;
};

TEST(CreateViewerArguments, WordsSetTheModes) {
    const ParseCase cases[] = {
        {{"prog", "-n", "scene.kvf"}, true, -1, true, false, false, true, "scene.kvf"},
        {{"prog", "-r", "5000"}, true, 5000, false, false, false, false, ""},
        {{"prog", "-t", "data.dat"}, true, -1, true, false, false, false, "data.dat"},
        {{"prog", "-d", "s.kvf"}, true, -1, true, true, false, true, "s.kvf"},
        {{"prog", "-e"}, true, -1, false, false, true, false, ""},
        {{"prog", "-x"}, false, -1, false, false, false, false, ""},
        {{"prog", "-h"}, false, -1, false, false, false, false, ""},
        {{"prog", "-activex", "-x"}, true, -1, false, false, false, false, ""},
        {{"prog", "-dumpidl", "-h", "file"}, true, -1, false, false, false, false, ""},
    };
    for (const auto& c : cases) {
        viewerstart::Arguments a;
        EXPECT_EQ(viewerstart::ParseArguments(c.words, a), c.ok) << c.words[1];
        if (!c.ok) continue;
        EXPECT_EQ(a.port, c.port);
        EXPECT_EQ(a.loadMode, c.loadMode);
        EXPECT_EQ(a.dump, c.dump);
        EXPECT_EQ(a.replay, c.replay);
        EXPECT_EQ(a.noWindow, c.noWindow);
        EXPECT_EQ(a.fileName, c.file);
    }
}

TEST(CreateViewer, UnknownOptionShowsUsageAndGivesNone) {
    for (const char* args : {"prog -x", "prog -h"}) {
        platform::MessageRecorder recorder;
        EXPECT_EQ(CreateViewer(nullptr, true, true, args), nullptr);
        ASSERT_EQ(recorder.entries().size(), 1u) << args;
        EXPECT_EQ(recorder.entries()[0].caption, "Viewer");
        EXPECT_EQ(recorder.entries()[0].icon, platform::MessageIcon::Warning);
        EXPECT_EQ(recorder.entries()[0].text.rfind(kUsageStart, 0), 0u);
        EXPECT_NE(recorder.entries()[0].text.find("  e            - load event file\n"), std::string::npos);
    }
}

TEST(CreateViewer, AppendedSceneMarkerIsFoundAcrossReadBoundaries) {
    std::string dir = testsupport::ScratchDir("appended");
    const std::string marker = viewerstart::AppendedSceneMarkerForTools();
    ASSERT_EQ(marker.size(), 20u);
    for (char c : marker) EXPECT_TRUE(c >= 'A' && c <= 'Z');
    // Place the marker so that it straddles the first 64 KB read.
    std::string path = dir + "/prog";
    {
        std::ofstream out(path, std::ios::binary);
        out << std::string(64 * 1024 - 7, 'x') << marker << "SCENE";
    }
    EXPECT_EQ(viewerstart::FindAppendedScene(path.c_str()), 64 * 1024 - 7 + 20);
    std::string plain = dir + "/plain";
    { std::ofstream out(plain, std::ios::binary); out << std::string(200000, 'A'); }
    EXPECT_EQ(viewerstart::FindAppendedScene(plain.c_str()), -1);
    EXPECT_EQ(viewerstart::FindAppendedScene((dir + "/missing").c_str()), -1);
}

// A window-less viewer owned by its box, deleted with it.
struct Headless {
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    explicit Headless(const char* args = "prog -n") {
        viewer = CreateViewer(nullptr, true, true, args);
        if (viewer) box.reset(viewer->Widget());
    }
};

TEST(CreateViewer, WindowlessViewerIsAssembled) {
    Headless h;
    ASSERT_NE(h.viewer, nullptr);
    vkoViewer& v = *h.viewer;
    EXPECT_EQ(h.box->objectName(), "TORVA KRV Viewer");
    EXPECT_TRUE(v.drawingSuspended);
    EXPECT_EQ(v.baseRenderer->windowWidth, 700);
    EXPECT_EQ(v.baseRenderer->windowHeight, 700);
    ASSERT_EQ(v.numViewports, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(v.viewports[i]->viewportname, "Viewport" + std::to_string(i + 1));
    EXPECT_EQ(v.viewportLayout, 1);
    EXPECT_EQ(v.currentViewport, v.viewports[0]);
    ASSERT_NE(v.frameRateGraphic, nullptr);
    EXPECT_FALSE(v.frameRateGraphic->visibility);
    EXPECT_TRUE(v.viewports[0]->hasObject(v.frameRateGraphic));
    EXPECT_FALSE(v.viewports[1]->hasObject(v.frameRateGraphic));
    if (v.logoGraphic) {
        EXPECT_EQ(v.logoState, LOGO_KRV);
        for (vkoViewport* vp : v.viewports) EXPECT_TRUE(vp->hasObject(v.logoGraphic));
    }
}

TEST(CreateViewer, WithoutLogoVariableThereIsNoLogo) {
    setenv("KRV_NO_KRVLOGO", "1", 1);
    Headless h;
    unsetenv("KRV_NO_KRVLOGO");
    ASSERT_NE(h.viewer, nullptr);
    EXPECT_EQ(h.viewer->logoGraphic, nullptr);
    EXPECT_EQ(h.viewer->logoState, LOGO_NONE);
    h.viewer->SetLogoState(1);  // nothing without a logo object
    EXPECT_EQ(h.viewer->logoState, LOGO_NONE);
}

TEST(ViewerRegistry, NewSelectDeleteAndShown) {
    Headless h;
    ASSERT_NE(h.viewer, nullptr);
    vkoViewer& v = *h.viewer;
    ASSERT_TRUE(v.NewGraphic("a"));
    vkoGraphicObj* a = v.currentGraphic;
    ASSERT_TRUE(v.NewGraphic("b"));
    EXPECT_TRUE(v.NewGraphic("a"));  // existing name: made current, not duplicated
    EXPECT_EQ(v.currentGraphic, a);
    EXPECT_TRUE(v.IsGraphicShown(a));
    EXPECT_TRUE(v.SelectGraphic("b"));
    EXPECT_FALSE(v.SelectGraphic("nope"));
    EXPECT_EQ(v.currentGraphic, nullptr);
    EXPECT_EQ(v.FindGraphic("a"), a);

    std::vector<std::string> second = {"Viewport2", "NoSuchViewport"};
    v.AddGraphicToViewports("a", &second);
    EXPECT_TRUE(v.viewports[1]->hasObject(a));
    v.RemoveGraphicFromViewports("a", nullptr);
    EXPECT_FALSE(v.viewports[0]->hasObject(a));
    EXPECT_TRUE(v.IsGraphicShown(a));
    a->setProperty(22, 0.0f);
    EXPECT_FALSE(v.IsGraphicShown(a));

    // Delete everything: the current object moves to the first remaining one,
    // and the last delete leaves none.
    while (v.FirstGraphic()) {
        v.currentGraphic = v.FirstGraphic();
        v.DeleteCurGraphic();
    }
    EXPECT_EQ(v.currentGraphic, nullptr);
    for (vkoViewport* vp : v.viewports) EXPECT_TRUE(vp->objects.empty());
    v.DeleteCurGraphic();  // nothing current: nothing happens
}

TEST(ViewerSettings, LogoStateAndStereo) {
    Headless h;
    ASSERT_NE(h.viewer, nullptr);
    vkoViewer& v = *h.viewer;
    if (v.logoGraphic) {
        v.SetLogoState(2);
        EXPECT_EQ(v.logoState, LOGO_KRV);
        v.SetLogoState(0);
        EXPECT_EQ(v.logoState, LOGO_NONE);
        EXPECT_FALSE(v.logoGraphic->visibility);
    }
    v.SetStereoMode(3);
    EXPECT_EQ(v.stereoMode, 3);
    EXPECT_EQ(v.viewportLayout, 3);
    v.ApplyLayout(8);  // locked while stereo is on
    EXPECT_EQ(v.viewportLayout, 3);
    v.SetStereoMode(0);
    EXPECT_EQ(v.viewportLayout, 1);
}

TEST(ViewerSettings, EyePointVariable) {
    setenv("VIEWER_EYE_POINT", "-8 0.2", 1);
    Headless h;
    unsetenv("VIEWER_EYE_POINT");
    ASSERT_NE(h.viewer, nullptr);
    EXPECT_FLOAT_EQ(h.viewer->eyeDistance, -8.0f);
    EXPECT_FLOAT_EQ(h.viewer->eyeSeparation, 0.1f);
    EXPECT_EQ(h.viewer->stereoMode, 0);

    setenv("VIEWER_EYE_POINT", "-8 0.2 3", 1);
    Headless s;
    unsetenv("VIEWER_EYE_POINT");
    ASSERT_NE(s.viewer, nullptr);
    EXPECT_EQ(s.viewer->stereoMode, 3);
    EXPECT_EQ(s.viewer->viewportLayout, 3);
}

TEST(ViewerSettings, ReverseVideoInvertsBothBackgroundColours) {
    Headless h;
    ASSERT_NE(h.viewer, nullptr);
    const float c1[3] = {0.2f, 0.4f, 1.0f}, c2[3] = {0.0f, 0.5f, 0.75f};
    h.viewer->SetBackground(BG_DIAGONAL, c1, c2);
    h.viewer->ReverseVideo();
    EXPECT_TRUE(h.viewer->output.reverseColours);
    EXPECT_EQ(h.viewer->backGroundType, BG_DIAGONAL);
    EXPECT_FLOAT_EQ(h.viewer->backGroundColor[0], 0.8f);
    EXPECT_FLOAT_EQ(h.viewer->backGroundColor2[2], 0.25f);
    EXPECT_FLOAT_EQ(h.viewer->renderer->backgroundColour1[1], 0.6f);
    h.viewer->SetBackground(7, c1, c2);  // type outside 0..3 keeps the stored type
    EXPECT_EQ(h.viewer->backGroundType, BG_DIAGONAL);
}

}  // namespace
