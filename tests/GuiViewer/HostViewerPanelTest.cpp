// guiviewer's viewer area end to end: what the user does on the captions
// and the layout selector goes through the engine process and the link to
// the viewer, and the captions follow the engine process's state.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "GuiViewer/app/HostViewerPanel.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/ViewportSplitter.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"

namespace {

using guitest::Await;

class HostViewerPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        engine = std::make_unique<EngineProcess>();
        panel = std::make_unique<HostViewerPanel>(engine.get(), nullptr);
        viewer = panel->viewerWidget()->getViewer();
        ASSERT_NE(viewer, nullptr);
        panel->resize(640, 520);
        panel->show();
        ASSERT_TRUE(engine->addMesh("tet", guitest::Tetrahedron()));
        ASSERT_TRUE(Sync());
    }
    void TearDown() override {
        panel.reset();
        engine.reset();
    }
    bool Sync() {
        auto f = engine->requestCamera("");
        return Await(f) && f.get().ok;
    }
    ViewportCaption* caption(int n) { return panel->viewerWidget()->getSplitter()->caption(n); }
    bool Shown(int n) { return caption(n)->isVisibleTo(panel.get()); }

    std::unique_ptr<EngineProcess> engine;
    std::unique_ptr<HostViewerPanel> panel;
    vkoViewer* viewer = nullptr;
};

TEST_F(HostViewerPanelTest, LayoutsAndMaximizingThroughTheCaptions) {
    QComboBox* layouts = panel->layoutSelector();
    layouts->setCurrentIndex(7);
    emit layouts->activated(7);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(viewer->viewportLayout, 8);
    for (int n = 1; n <= 4; ++n) EXPECT_TRUE(Shown(n)) << n;

    const QPoint free(caption(3)->width() / 2, 10);
    QTest::mouseDClick(caption(3), Qt::LeftButton, {}, free);
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Maximized Viewport"), "3");
    EXPECT_TRUE(caption(3)->isMaximized());
    EXPECT_TRUE(caption(3)->isActive());
    EXPECT_TRUE(Shown(3));
    EXPECT_FALSE(Shown(1));

    // The restore button of the maximized caption brings the layout back.
    QTest::mouseClick(caption(3)->findChild<QToolButton*>("Maximize/Restore Button"), Qt::LeftButton);
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);
    for (int n = 1; n <= 4; ++n) EXPECT_TRUE(Shown(n)) << n;
    EXPECT_TRUE(caption(3)->isActive());
}

TEST_F(HostViewerPanelTest, ViewDropDownSwitchesTheView) {
    panel->chooseLayout(1);
    ASSERT_TRUE(engine->sendCommand("> setViewportView cmd=copy, view=/VIEW:Side, viewport=2"));
    ASSERT_TRUE(engine->sendCommand(">hide /DOMAIN:tet, view=/VIEW:Side"));
    ASSERT_TRUE(Sync());
    EXPECT_EQ(caption(2)->text(), "Side");
    // Viewport 1 from its drop-down to the view "Side".
    QMenu* menu = caption(1)->findChild<QToolButton*>("Viewport Arrow")->menu();
    emit menu->aboutToShow();
    QAction* side = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == "Side") side = a;
    ASSERT_NE(side, nullptr);
    side->trigger();
    ASSERT_TRUE(Sync());
    EXPECT_EQ(caption(1)->text(), "Side");
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 1 View"), "Side");
    for (vkoGraphicObj* o : viewer->FindViewportByNumber(1)->objects)
        EXPECT_NE(o->objectname.rfind("tet:", 0), 0u) << o->objectname;  // nothing of the hidden domain
}

}  // namespace
