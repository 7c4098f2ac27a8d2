// guiviewer's picking in its main window: a pick shows in the status bar,
// selects the object in the tree and names the objects under the pointer;
// the parameter panel's Pick button takes a point from the viewer.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "GuiTestSupport.h"
#include "HostMainWindowFixture.h"
#include "GuiViewer/app/HostMainWindow.h"
#include "GuiViewer/app/HostPickHandler.h"
#include "GuiViewer/app/HostPicking.h"
#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/TreeView.h"
#include "render/GLWindow.h"
#include "render/VWindow.h"

namespace {

using guitest::Await;

class HostPickingTest : public guitest::HostMainWindowFixture {
protected:
    void SetUp() override {
        HostMainWindowFixture::SetUp();
        if (!Ready()) return;
        host->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(host.get()));
        QTest::qWait(GLWindow::kActivationClickMs + 50);
        gl = viewer->glWindow;
        ASSERT_NE(gl, nullptr);
        handler = host->picking()->pickHandler();
        ASSERT_NE(handler, nullptr);
        host->viewerWindow()->setMode(ViewerWindow::PickingMode);
    }
    void click(QPoint at) {
        QTest::mouseClick(gl, Qt::LeftButton, {}, at);
        QCoreApplication::processEvents();
    }
    QPoint centre() const { return QPoint(gl->width() / 2, gl->height() / 2); }
    QPoint corner() const { return QPoint(6, gl->height() - 6); }
    QString info() const { return handler->infoLabel() ? handler->infoLabel()->text() : QString(); }

    GLWindow* gl = nullptr;
    HostPickHandler* handler = nullptr;
};

TEST_F(HostPickingTest, PickShowsInStatusBarAndSelectsInTree) {
    QSignalSpy under(handler, &HostPickHandler::objectsUnderPointer);
    click(centre());
    EXPECT_TRUE(info().startsWith("Picked domain tet (domain tet) at (")) << info().toStdString();
    ASSERT_EQ(under.size(), 1);
    EXPECT_EQ(under[0][0].toStringList(), QStringList{"/DOMAIN:tet"});
    const std::vector<qor::PDLPath> selection = host->treeView()->selection();
    ASSERT_EQ(selection.size(), 1u);
    EXPECT_EQ(selection[0].getFullPath(), "/DOMAIN:tet");

    click(corner());
    EXPECT_EQ(info(), "Nothing picked");
    EXPECT_TRUE(host->treeView()->selection().empty());
    EXPECT_EQ(under.size(), 1) << "a blank pick names nothing";
}

TEST_F(HostPickingTest, PanelTakesAPointFromTheViewer) {
    ParamPanel* panel = host->picking()->paramPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(host->parameterDock()->isVisibleTo(host.get()));
    QTest::mouseClick(panel->pickButton(), Qt::LeftButton);
    EXPECT_TRUE(panel->isPicking());
    EXPECT_TRUE(panel->pickButton()->isChecked());
    QLabel* hint = host->statusBar()->findChild<QLabel*>("Status Label");
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisibleTo(host.get()));

    EXPECT_EQ(viewer->interpreterPickMode, 3) << "the viewer window picks objects";
    click(corner());  // nothing there: picking goes on
    EXPECT_TRUE(panel->isPicking());
    EXPECT_TRUE(panel->pointField()->text().isEmpty());

    click(centre());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel->isPicking(); }, 2000));
    EXPECT_EQ(viewer->interpreterPickMode, 5) << "back to viewing";
    const std::vector<float> p = panel->point();
    ASSERT_EQ(p.size(), 3u) << panel->pointField()->text().toStdString();
    for (float v : p) EXPECT_LT(std::abs(v), 2.0f);
    EXPECT_FALSE(panel->isPicking());
    EXPECT_FALSE(panel->pickButton()->isChecked());
    EXPECT_EQ(host->statusBar()->findChild<QLabel*>("Status Label"), nullptr);
    EXPECT_TRUE(info().startsWith("Point at (")) << info().toStdString();

    // Pick pressed twice: the second press cancels.
    QTest::mouseClick(panel->pickButton(), Qt::LeftButton);
    EXPECT_TRUE(panel->isPicking());
    QTest::mouseClick(panel->pickButton(), Qt::LeftButton);
    EXPECT_FALSE(panel->isPicking());
    EXPECT_EQ(handler->pickingWidget(), nullptr);
}

TEST(ParamPanelPoint, ReadsThreeNumbers) {
    ParamPanel panel;
    const std::pair<const char*, size_t> cases[] = {
        {"1, 2, 3", 3}, {"1 2 3", 3}, {" -1.5e2,0 ,  7 ", 3}, {"1, 2", 0}, {"1, 2, x", 0}, {"1, 2, inf", 0}, {"", 0}};
    for (auto [text, size] : cases) {
        panel.pointField()->setText(text);
        EXPECT_EQ(panel.point().size(), size) << text;
    }
    panel.setPoint({0.5f, -2, 1e-3f});
    EXPECT_EQ(panel.pointField()->text(), "0.5, -2, 0.001");
}

}  // namespace
