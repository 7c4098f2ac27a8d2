// Frame drawing on a recording renderer: what Redraw draws, when it tells the
// engine that an update is done, and the frame-rate meter.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "render/Graphics.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

class CountingGraphics : public Graphics {
public:
    CountingGraphics() {
        windowWidth = 800;
        windowHeight = 600;
    }
    std::vector<int> frames;  // viewport index per beginFrame
    int finished = 0;
    bool usable = true;
    bool beginFrame(int index, bool clear) override {
        Graphics::beginFrame(index, clear);
        frames.push_back(index);
        return true;
    }
    void finishFrame() override { ++finished; }
    bool isUsable(int) override { return usable; }
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        viewer->WindowResized(800, 600);
        // Draw through a renderer that records, as a windowed viewer would.
        viewer->renderer = &r;
        viewer->drawingSuspended = false;
        for (vkoViewport* v : viewer->viewports) v->needsRedraw = 0;
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        viewer->link.writeHandle = sv[0];
        viewer->link.writeIsSocket = true;
        engine.readHandle = sv[1];
        engine.readIsSocket = true;
    }
    void TearDown() override {
        viewer->renderer = viewer->baseRenderer;
        viewer->link.writeHandle = -1;
        close(sv[0]);
        close(sv[1]);
    }
    bool updateDoneWaiting() {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(sv[1], &set);
        timeval tv{0, 0};
        if (select(sv[1] + 1, &set, nullptr, nullptr, &tv) <= 0) return false;
        return engine.ReadCommand() == LinkStream::Cmd::UPDATE_DONE;
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    CountingGraphics r;
    int sv[2] = {-1, -1};
    LinkStream engine;
};

TEST_F(FrameTest, SuspendedDrawingKeepsUpdateDoneArmed) {
    viewer->respondAfterUpdate = true;
    viewer->drawingSuspended = true;
    viewer->currentViewport->needsRedraw = 1;
    EXPECT_TRUE(viewer->Redraw());
    EXPECT_TRUE(r.frames.empty());
    EXPECT_TRUE(viewer->respondAfterUpdate);
    EXPECT_FALSE(updateDoneWaiting());
    viewer->drawingSuspended = false;
    EXPECT_TRUE(viewer->Redraw());
    EXPECT_FALSE(viewer->respondAfterUpdate);
    EXPECT_TRUE(updateDoneWaiting());
}

TEST_F(FrameTest, UnmarkedFrameDrawsNothingButSendsPendingUpdateDone) {
    viewer->respondAfterUpdate = true;
    EXPECT_TRUE(viewer->Redraw());
    EXPECT_TRUE(r.frames.empty());
    EXPECT_EQ(r.finished, 0);
    EXPECT_TRUE(updateDoneWaiting());
}

TEST_F(FrameTest, DoubleBufferedFourViewportsDrawAChangedViewportTwice) {
    viewer->ApplyLayout(8);
    for (vkoViewport* v : viewer->viewports) v->needsRedraw = 0;
    r.frames.clear();
    r.finished = 0;
    viewer->viewports[2]->needsRedraw = 1;
    EXPECT_TRUE(viewer->Redraw());
    EXPECT_EQ(r.frames, (std::vector<int>{2, 2}));
    EXPECT_EQ(r.finished, 2);

    // While interacting (or in layout 1) one pass is enough.
    r.frames.clear();
    viewer->interacting = true;
    viewer->viewports[1]->needsRedraw = 1;
    viewer->Redraw();
    EXPECT_EQ(r.frames, (std::vector<int>{1}));
    viewer->interacting = false;

    // Single-buffered: one pass.
    r.frames.clear();
    r.doubleBuffered = false;
    viewer->viewports[3]->needsRedraw = 1;
    viewer->Redraw();
    EXPECT_EQ(r.frames, (std::vector<int>{3}));
}

TEST_F(FrameTest, UnusableRendererKeepsTheMarks) {
    r.usable = false;
    viewer->currentViewport->needsRedraw = 1;
    EXPECT_FALSE(viewer->Redraw());
    EXPECT_EQ(viewer->currentViewport->needsRedraw, 1);
}

TEST_F(FrameTest, FrameRateArithmetic) {
    for (int i = 0; i < 6; ++i) viewer->RecordFrameTime(100);
    viewer->RecordFrameTime(100);
    EXPECT_FLOAT_EQ(viewer->frameRate, 10.0f);
    // A zero time is stored once; further zeros take no sample.
    for (int i = 0; i < 6; ++i) viewer->RecordFrameTime(0);
    EXPECT_FLOAT_EQ(viewer->frameRate, 1000.0f * 6 / 500);
    for (int t : {50, 50, 50, 50, 50, 250}) viewer->RecordFrameTime(t);
    EXPECT_FLOAT_EQ(viewer->frameRate, 1000.0f * 6 / 500);
    // The read-out follows the switch.
    viewer->showFrameRate = true;
    viewer->RecordFrameTime(50);
    EXPECT_TRUE(viewer->frameRateGraphic->visibility);
    viewer->showFrameRate = false;
    viewer->RecordFrameTime(50);
    EXPECT_FALSE(viewer->frameRateGraphic->visibility);
}

TEST_F(FrameTest, NewViewIsFittedToItsObjectsOnce) {
    viewer->NewGraphic("box");
    vkoGraphicObj* o = viewer->currentGraphic;
    const float v[] = {0, 0, 0, 10, 0, 0, 10, 10, 0, 0, 10, 10};
    const int faces[] = {4, 0, 1, 2, 3};
    o->appendMesh(4, v, 0, nullptr, 1, 5, faces);
    o->data->computeBounds();
    vkoViewport* vp = viewer->currentViewport;
    vp->needsRedraw = 1;
    viewer->Redraw();
    EXPECT_EQ(vp->isCentered, 1);
    EXPECT_FLOAT_EQ(vp->view->pivot[0], 5.0f);
    // Once centred, the user's view is kept.
    vp->view->pivot[0] = 1.0f;
    vp->needsRedraw = 1;
    viewer->Redraw();
    EXPECT_FLOAT_EQ(vp->view->pivot[0], 1.0f);
}

TEST_F(FrameTest, ProjectedAreaNeedsAnOrthographicView) {
    viewer->currentViewport->isOrthographic = 0;
    EXPECT_FLOAT_EQ(viewer->ComputeProjectedArea(), 0.0f);
    EXPECT_TRUE(r.frames.empty());
}

TEST_F(FrameTest, ConstrainedDragDirectionIsNormalised) {
    const float dir[3] = {0, 0, 2};
    viewer->SetDragConstraint(true, dir);
    EXPECT_TRUE(viewer->dragConstrained);
    EXPECT_FLOAT_EQ(viewer->dragDirection[2], 1.0f);
    EXPECT_FLOAT_EQ(viewer->dragDirection[0], 0.0f);
}

}  // namespace
