// The viewer widget host: what construction hands the engine, the
// process-wide guard against re-entrant polls, resizing.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QTimer>

#include "GuiTestSupport.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/ViewportSplitter.h"
#include "link/LinkStream.h"
#include "scene/vkoViewport.h"

namespace {

using guitest::HostFixture;

TEST_F(HostFixture, ConstructionHandsTheEngineItsLink) {
    EXPECT_EQ(viewer->link.readHandle, engine->viewerReadSocket());
    EXPECT_EQ(viewer->link.writeHandle, engine->viewerWriteSocket());
    EXPECT_NE(viewer->link.readHandle, viewer->link.writeHandle);
    EXPECT_TRUE(viewer->link.readIsSocket);
    EXPECT_TRUE(viewer->link.writeIsSocket);
    EXPECT_TRUE(viewer->ViewportAxisShown());
    EXPECT_EQ(viewer->captionHeight, 20);
    EXPECT_EQ(viewer->viewportGap, 4);
    auto* timer = widget->findChild<QTimer*>("viewer socket time handler");
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 100);
    widget->stopSocketTimer();
    EXPECT_FALSE(timer->isActive());
}

TEST_F(HostFixture, ResizeToNothing) {
    ShowAt(500, 300);
    widget->setViewportLayout(7);
    widget->resize(0, 0);
    QTest::qWait(50);
    for (int n = 1; n <= 4; ++n) EXPECT_LE(widget->getSplitter()->caption(n)->width(), 1) << n;
    // The widget still works at a real size again.
    ShowAt(400, 300);
    EXPECT_EQ(widget->getSplitter()->caption(2)->geometry(), QRect(202, 0, 199, 20));
}

// Two widget hosts, each on its own connection.
struct Pair {
    int engineSide = -1, viewerSide = -1;
    std::unique_ptr<ViewerQtWidget> widget;
    LinkStream out;
    ~Pair() {
        widget.reset();
        out.readHandle = out.writeHandle = -1;
        for (int fd : {engineSide, viewerSide})
            if (fd >= 0) close(fd);
    }
};

Pair* g_other = nullptr;
bool g_otherPolledInside = true;
void PollOtherInside() {
    g_other->widget->checkViewerSocket();
    g_otherPolledInside = g_other->widget->getViewer()->FindGraphic("second") != nullptr;
}

TEST(ViewerQtWidgetGuard, APollInsideAPollDoesNothing) {
    if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
    Pair a, b;
    for (Pair* p : {&a, &b}) {
        ASSERT_TRUE(EngineProcess::loopbackPair(p->engineSide, p->viewerSide));
        p->widget = std::make_unique<ViewerQtWidget>(p->viewerSide, p->viewerSide, nullptr);
        p->widget->stopSocketTimer();
        p->out.writeHandle = p->engineSide;
        p->out.writeIsSocket = true;
    }
    ASSERT_TRUE(a.out.SendStringCommand(LinkStream::Cmd::NEW_GRAPHIC, "first"));
    ASSERT_TRUE(b.out.SendStringCommand(LinkStream::Cmd::NEW_GRAPHIC, "second"));
    g_other = &b;
    a.widget->getViewer()->commandCallback = &PollOtherInside;
    EXPECT_FALSE(ViewerQtWidget::isPolling());
    a.widget->checkViewerSocket();
    a.widget->getViewer()->commandCallback = nullptr;
    EXPECT_NE(a.widget->getViewer()->FindGraphic("first"), nullptr);
    EXPECT_FALSE(g_otherPolledInside);
    EXPECT_FALSE(ViewerQtWidget::isPolling());
    // Outside the other poll, the same call reads its command.
    b.widget->checkViewerSocket();
    EXPECT_NE(b.widget->getViewer()->FindGraphic("second"), nullptr);
}

}  // namespace
