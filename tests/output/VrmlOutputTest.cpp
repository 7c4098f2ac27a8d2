// VRML output of a whole viewer: one world per visible viewport, the stereo
// modes, and the output started by the link's tokens.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CoinWorld.h"
#include "TestSupport.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

using vrmltest::readText;
using vrmltest::readWithCoin;

class VrmlOutput : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        viewer->WindowResized(800, 600);
        dir = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        // A triangle shown in every viewport, each viewport a quarter.
        viewer->NewGraphic("tri");
        vkoGraphicObj* o = viewer->currentGraphic;
        const float v[] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        const int faces[] = {3, 0, 1, 2};
        o->appendMesh(3, v, 0, nullptr, 1, 4, faces);
        o->data->computeBounds();
        o->data->computeFaceNormals();
        o->data->buildAdjacency();
        o->faces = true;
        for (size_t i = 0; i < viewer->viewports.size(); ++i) {
            vkoViewport* vp = viewer->viewports[i];
            vp->addObject("tri");
            vp->setRectangle(0.5f * float(i % 2), 0.5f * float(i / 2), 0.5f, 0.5f);
            vp->isVisibleFlag = 1;
        }
        viewer->output.setOutputType(OUTPUT_VRML);
    }

    void setVisible(std::vector<int> flags) {
        for (size_t i = 0; i < viewer->viewports.size(); ++i) viewer->viewports[i]->isVisibleFlag = flags[i];
    }

    // The .wrl files of the scratch directory, by name.
    std::vector<std::string> worlds() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    std::string dir;
};

TEST_F(VrmlOutput, OneWorldPerVisibleViewportNumberedByPosition) {
    struct Case {
        std::vector<int> visible;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {{1, 1, 1, 0}, {"a.wrl", "a1.wrl", "a2.wrl"}},
        {{0, 1, 1, 0}, {"a1.wrl", "a2.wrl"}},
        {{0, 0, 0, 1}, {"a3.wrl"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        setVisible(c.visible);
        viewer->output.setOutputFileName((dir + "/a.wrl").c_str());
        EXPECT_TRUE(viewer->writeOutput(true, false, -1, -1));
        EXPECT_EQ(worlds(), c.files);
        for (const std::string& f : c.files) {
            const auto w = readWithCoin(dir + "/" + f);
            EXPECT_TRUE(w.read) << f << w.errors;
            EXPECT_EQ(w.errors, "") << f;
            // The triangle (the viewer's logo image may be there as well).
            EXPECT_EQ(std::count(w.faceIndexCounts.begin(), w.faceIndexCounts.end(), 4), 1) << f;
        }
    }
    // The previous renderer is current again.
    EXPECT_EQ(viewer->renderer, viewer->baseRenderer);
}

TEST_F(VrmlOutput, StereoModesWriteOneOrTwoEyes) {
    struct Case {
        int mode;
        std::vector<std::pair<std::string, std::string>> eyes;  // file, its viewpoint position
    };
    const Case cases[] = {
        {1, {{"a.wrl", "position 0.05 0 5\n"}}},
        {2, {{"a.wrl", "position -0.05 0 5\n"}}},
        {3, {{"a.wrl", "position 0.05 0 5\n"}, {"a1.wrl", "position -0.05 0 5\n"}}},
        {4, {{"a.wrl", "position -0.05 0 5\n"}, {"a1.wrl", "position 0.05 0 5\n"}}},
    };
    setVisible({1, 1, 0, 0});
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        viewer->stereoMode = c.mode;
        viewer->output.setOutputFileName((dir + "/a.wrl").c_str());
        EXPECT_TRUE(viewer->writeOutput(true, false, -1, -1)) << c.mode;
        std::vector<std::string> expected;
        for (const auto& [file, position] : c.eyes) {
            expected.push_back(file);
            EXPECT_NE(readText(dir + "/" + file).find(position), std::string::npos) << c.mode << " " << file;
        }
        EXPECT_EQ(worlds(), expected) << c.mode;
    }
}

TEST_F(VrmlOutput, TokensChooseTheFileAndStartTheOutput) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    LinkStream out;
    out.writeHandle = sv[0];
    out.writeIsSocket = true;
    viewer->link.readHandle = sv[1];
    viewer->link.readIsSocket = true;
    viewer->output.setOutputType(OUTPUT_PNG);
    setVisible({1, 0, 0, 0});
    viewer->standAlone = true;
    viewer->renderer->standAlone = true;
    const std::string name = dir + "/scene.png";
    out.WriteStringToken(LinkStream::Tok::PRINTER, "VRML", false);
    out.WriteStringToken(LinkStream::Tok::OUTFILE, name.c_str(), false);
    out.WriteToken(LinkStream::Tok::AUTOPRINT);
    out.WriteToken(LinkStream::Tok::DONE);
    viewer->SetParameters();
    EXPECT_EQ(viewer->output.outputFileName, dir + "/scene.wrl");
    EXPECT_TRUE(viewer->autoPrintPending);
    viewer->Redraw();
    EXPECT_FALSE(viewer->autoPrintPending);
    EXPECT_EQ(worlds(), std::vector<std::string>{"scene.wrl"});
    EXPECT_NE(std::string(viewer->outputMessage).find("\nViewport 1 printed to file: " + dir + "/scene.wrl\n"),
              std::string::npos);
    out.writeHandle = -1;
    viewer->link.readHandle = -1;
    close(sv[0]);
    close(sv[1]);
}

TEST_F(VrmlOutput, AFailedWorldEndsTheOutputWithoutReplacingAnything) {
    // The second world's name is taken by a directory: it cannot be written.
    std::filesystem::create_directories(dir + "/a1.wrl");
    setVisible({1, 1, 1, 0});
    viewer->output.setOutputFileName((dir + "/a.wrl").c_str());
    viewer->standAlone = true;
    viewer->outputMessage[0] = 0;
    EXPECT_FALSE(viewer->writeOutput(true, false, -1, -1));
    // The first world was complete; the output stopped at the second.
    EXPECT_EQ(worlds(), (std::vector<std::string>{"a.wrl", "a1.wrl"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/a1.wrl"));
    EXPECT_EQ(viewer->renderer, viewer->baseRenderer);
}

}  // namespace
