// Captions and separators over the engine's viewports: geometry for every
// layout and for a maximized viewport, activation and maximize signals, the
// view drop-down.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "GuiTestSupport.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/ViewportSplitter.h"
#include "platform/MessageSink.h"
#include "scene/vkoViewport.h"

namespace {

using guitest::HostFixture;

class SplitterTest : public HostFixture {
protected:
    ViewportSplitter* splitter() { return widget->getSplitter(); }
    ViewportCaption* caption(int n) { return splitter()->caption(n); }
    // Lays out GUI layout index i in the widget and its viewer alike.
    void Layout(int index, int maximized = -1) {
        viewer->ApplyLayout(EngineProcess::engineLayoutOf(EngineProcess::layoutNames()[index]));
        widget->setViewportLayout(index);
        if (maximized > 0) {
            viewer->SetCurrentViewportByNumber(maximized);
            viewer->SetMaximized(true);
        }
        widget->setMaximizedViewport(maximized);
    }
    // Each shown viewport has its caption exactly on the strip above it.
    void ExpectCaptionsOverViewports(const char* what) {
        SCOPED_TRACE(what);
        const int h = viewer->windowHeight;
        for (int n = 1; n <= 4; ++n) {
            vkoViewport* vp = viewer->FindViewportByNumber(n);
            ASSERT_NE(vp, nullptr);
            ViewportCaption* c = caption(n);
            EXPECT_EQ(c->isVisibleTo(widget.get()), bool(vp->isVisibleFlag)) << "caption " << n;
            if (!vp->isVisibleFlag) continue;
            int x, y, w, vh;
            vp->pixelRectangle(x, y, w, vh);
            const QRect g = c->geometry();
            EXPECT_NEAR(g.x(), x, 1) << "caption " << n;
            EXPECT_NEAR(g.width() - 1, w, 1) << "caption " << n;
            EXPECT_EQ(g.height(), ViewportSplitter::kCaptionHeight);
            // The caption's lower edge (window rows from the top) meets the
            // viewport's top edge (rows from the bottom).
            EXPECT_NEAR(g.y() + g.height(), h - (y + vh), 1) << "caption " << n;
        }
    }
};

TEST_F(SplitterTest, CaptionsOverTheViewportsOfEveryLayout) {
    ShowAt(801, 601);
    struct Case {
        int index;
        bool horizontal, vertical;
    };
    const Case cases[] = {{0, false, false}, {1, false, true}, {2, true, false}, {3, true, true},
                          {4, true, true},   {5, true, true},  {6, true, true},  {7, true, true}};
    for (const Case& c : cases) {
        Layout(c.index);
        const std::string name = EngineProcess::layoutNames()[c.index].toStdString();
        ExpectCaptionsOverViewports(name.c_str());
        EXPECT_EQ(splitter()->horizontalSeparator()->isVisibleTo(widget.get()), c.horizontal) << name;
        EXPECT_EQ(splitter()->verticalSeparator()->isVisibleTo(widget.get()), c.vertical) << name;
    }
    // Side by side in an 801-pixel-wide widget: 399 pixels each, at 0 and 403.
    Layout(1);
    EXPECT_EQ(caption(1)->geometry(), QRect(0, 0, 399, 20));
    EXPECT_EQ(caption(2)->geometry(), QRect(403, 0, 399, 20));
    EXPECT_EQ(splitter()->verticalSeparator()->geometry(), QRect(399, 0, 4, 601));
    // Four quarters: the separators cross in the middle of the gaps.
    Layout(7);
    EXPECT_EQ(splitter()->horizontalSeparator()->geometry(), QRect(0, 299, 801, 4));
    EXPECT_EQ(caption(3)->geometry(), QRect(403, 303, 399, 20));
}

TEST_F(SplitterTest, MaximizedViewportHasTheOnlyCaption) {
    ShowAt(640, 480);
    Layout(7, 3);
    ExpectCaptionsOverViewports("viewport 3 maximized");
    EXPECT_EQ(caption(3)->geometry(), QRect(0, 0, 641, 20));
    for (int n : {1, 2, 4}) EXPECT_FALSE(caption(n)->isVisibleTo(widget.get())) << n;
    EXPECT_FALSE(splitter()->horizontalSeparator()->isVisibleTo(widget.get()));
    EXPECT_FALSE(splitter()->verticalSeparator()->isVisibleTo(widget.get()));
    Layout(7);
    ExpectCaptionsOverViewports("restored");
}

TEST_F(SplitterTest, CaptionSignals) {
    ShowAt(600, 400);
    Layout(7);
    QSignalSpy activated(widget.get(), &ViewerQtWidget::viewportActivated);
    QSignalSpy maximized(widget.get(), &ViewerQtWidget::viewportMaximized);
    QSignalSpy rightClick(widget.get(), &ViewerQtWidget::rightClick);
    // Between the view button and the maximize button.
    const QPoint free(caption(2)->width() / 2, 10);
    QTest::mouseClick(caption(2), Qt::LeftButton, {}, free);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.takeFirst().at(0).toInt(), 2);
    QTest::mouseClick(caption(2), Qt::RightButton, {}, free);
    EXPECT_EQ(rightClick.count(), 1);

    QTest::mouseDClick(caption(4), Qt::LeftButton, {}, free);
    ASSERT_EQ(maximized.count(), 1);
    EXPECT_EQ(maximized.takeFirst().at(0).toInt(), 4);
    auto* maximize = caption(4)->findChild<QToolButton*>("Maximize/Restore Button");
    ASSERT_NE(maximize, nullptr);
    EXPECT_EQ(maximize->toolTip(), "Maximize view");
    QTest::mouseClick(maximize, Qt::LeftButton);
    ASSERT_EQ(maximized.count(), 1);
    EXPECT_EQ(maximized.takeFirst().at(0).toInt(), 4);

    // Maximized, the caption asks for the restore and changes nothing itself.
    widget->setMaximizedViewport(4);
    EXPECT_EQ(maximize->toolTip(), "Restore views");
    QTest::mouseDClick(caption(4), Qt::LeftButton, {}, free);
    ASSERT_EQ(maximized.count(), 1);
    EXPECT_EQ(maximized.takeFirst().at(0).toInt(), -1);
    EXPECT_TRUE(caption(4)->isMaximized());
    EXPECT_FALSE(caption(1)->isVisibleTo(widget.get()));

    // One viewport: no maximize button, and a double click does nothing.
    Layout(0);
    EXPECT_FALSE(caption(1)->findChild<QToolButton*>("Maximize/Restore Button")->isVisibleTo(caption(1)));
    QTest::mouseDClick(caption(1), Qt::LeftButton, {}, free);
    EXPECT_EQ(maximized.count(), 0);
}

TEST_F(SplitterTest, ActiveCaptionColours) {
    ShowAt(600, 400);
    Layout(7);
    widget->setActiveViewport(3);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(caption(n)->isActive(), n == 3);
        EXPECT_EQ(caption(n)->palette().color(QPalette::Window), n == 3 ? QColor(192, 192, 192) : QColor(Qt::white));
        EXPECT_EQ(caption(n)->palette().color(QPalette::WindowText), n == 3 ? QColor(Qt::black) : QColor(160, 160, 160));
    }
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);
    // No viewport 9: the engine keeps viewport 3, the captions follow anyway.
    widget->setActiveViewport(9);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);
    for (int n = 1; n <= 4; ++n) EXPECT_FALSE(caption(n)->isActive());
}

TEST_F(SplitterTest, ViewDropDown) {
    ShowAt(600, 400);
    Layout(7);
    widget->setViewNames({"View 1", "Top", "View 2", "View 3", "Side", "View 4"});
    widget->setViewportLabel(2, "Top");
    widget->setViewportLabel(3, "");
    EXPECT_EQ(caption(3)->text(), "View 3");
    QSignalSpy activated(widget.get(), &ViewerQtWidget::viewportActivated);
    QSignalSpy chosen(widget.get(), &ViewerQtWidget::customViewSelected);

    auto items = [&](int n) {
        QMenu* menu = caption(n)->findChild<QToolButton*>("Viewport Arrow")->menu();
        emit menu->aboutToShow();
        QStringList texts;
        for (QAction* a : menu->actions()) texts << a->text();
        return texts;
    };
    EXPECT_EQ(items(2), QStringList({"View 1", "View 2", "View 3", "View 4", "Side"}));
    EXPECT_EQ(items(3), QStringList({"View 1", "View 2", "View 4", "Top", "Side"}));
    ASSERT_EQ(activated.count(), 2);
    EXPECT_EQ(activated.at(1).at(0).toInt(), 3);

    QMenu* menu = caption(3)->findChild<QToolButton*>("Viewport Arrow")->menu();
    menu->actions().at(3)->trigger();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toInt(), 3);
    EXPECT_EQ(chosen.at(0).at(1).toString(), "Top");

    // A label for a viewport that does not exist is reported, not shown.
    platform::MessageRecorder messages;
    widget->setViewportLabel(5, "Nowhere");
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_NE(messages.texts()[0].find("Expectation failed: n >= 1 && n <= 4"), std::string::npos);
    for (int n = 1; n <= 4; ++n) EXPECT_NE(caption(n)->text(), "Nowhere");
}

}  // namespace
