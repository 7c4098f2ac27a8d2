// Managed layouts: slot rectangles for splits, gaps and caption insets,
// maximizing, and viewport lookups by number, name and window position.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

struct Rect {
    float l, b, w, h;
};

struct LayoutCase {
    int layout;
    float sx, sy;
    int gap, caption, width, height;
    std::vector<int> order;          // viewport numbers of the slots
    std::vector<Rect> rects;         // per slot
};

class LayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        viewer = CreateViewer(nullptr, true, true, "prog -n");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
    }
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
};

TEST_F(LayoutTest, SlotRectangles) {
    const LayoutCase cases[] = {
        {1, 0.5f, 0.5f, 0, 0, 800, 600, {1}, {{0, 0, 1, 1}}},
        {2, 0.5f, 0.3f, 0, 0, 800, 600, {1, 2}, {{0, 0.3f, 1, 0.7f}, {0, 0, 1, 0.3f}}},
        {3, 0.25f, 0.5f, 0, 0, 800, 600, {1, 2}, {{0, 0, 0.25f, 1}, {0.25f, 0, 0.75f, 1}}},
        {4, 0.3f, 0.5f, 0, 0, 800, 600, {1, 2, 3}, {{0, 0.5f, 0.3f, 0.5f}, {0.3f, 0, 0.7f, 1}, {0, 0, 0.3f, 0.5f}}},
        {5, 0.5f, 0.4f, 0, 0, 800, 600, {1, 2, 3}, {{0, 0.4f, 0.5f, 0.6f}, {0.5f, 0.4f, 0.5f, 0.6f}, {0, 0, 1, 0.4f}}},
        {6, 0.4f, 0.5f, 0, 0, 800, 600, {1, 2, 3}, {{0, 0, 0.4f, 1}, {0.4f, 0.5f, 0.6f, 0.5f}, {0.4f, 0, 0.6f, 0.5f}}},
        {7, 0.5f, 0.5f, 0, 0, 800, 600, {1, 2, 3}, {{0, 0.5f, 1, 0.5f}, {0.5f, 0, 0.5f, 0.5f}, {0, 0, 0.5f, 0.5f}}},
        {8, 0.5f, 0.5f, 0, 0, 800, 600, {1, 2, 3, 4},
         {{0, 0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f, 0.5f}, {0.5f, 0, 0.5f, 0.5f}, {0, 0, 0.5f, 0.5f}}},
        // A 10-pixel gap in a 1000-pixel-wide window.
        {3, 0.5f, 0.5f, 10, 0, 1000, 500, {1, 2}, {{0, 0, 0.495f, 1}, {0.505f, 0, 0.495f, 1}}},
        // A 20-pixel caption strip in a 400-pixel-high window.
        {1, 0.5f, 0.5f, 0, 20, 400, 400, {1}, {{0, 0, 1, 0.95f}}},
        // Gap and caption together in the four-way layout.
        {8, 0.5f, 0.5f, 10, 20, 1000, 1000, {1, 2, 3, 4},
         {{0, 0.505f, 0.495f, 0.475f}, {0.505f, 0.505f, 0.495f, 0.475f}, {0.505f, 0, 0.495f, 0.475f},
          {0, 0, 0.495f, 0.475f}}},
    };
    for (const auto& c : cases) {
        viewer->WindowResized(c.width, c.height);
        viewer->xSplit = c.sx;
        viewer->ySplit = c.sy;
        viewer->captionHeight = c.caption;
        viewer->viewportGap = c.gap;
        viewer->ApplyLayout(c.layout);
        ASSERT_EQ(viewer->viewportLayout, c.layout);
        int shown = 0;
        for (vkoViewport* v : viewer->viewports) shown += v->isVisibleFlag;
        EXPECT_EQ(shown, static_cast<int>(c.rects.size())) << "layout " << c.layout;
        for (size_t s = 0; s < c.rects.size(); ++s) {
            vkoViewport* v = viewer->FindViewportByNumber(c.order[s]);
            SCOPED_TRACE("layout " + std::to_string(c.layout) + " slot " + std::to_string(s + 1));
            EXPECT_TRUE(v->isVisibleFlag);
            EXPECT_NEAR(v->left, c.rects[s].l, 1e-6);
            EXPECT_NEAR(v->bottom, c.rects[s].b, 1e-6);
            EXPECT_NEAR(v->width, c.rects[s].w, 1e-6);
            EXPECT_NEAR(v->height, c.rects[s].h, 1e-6);
        }
        EXPECT_EQ(viewer->currentViewport, viewer->FindViewportByNumber(c.order[0]));
    }
}

TEST_F(LayoutTest, OrderSplitsAndFallbacks) {
    viewer->viewportOrder[0] = 3;
    viewer->viewportOrder[1] = 1;
    viewer->ApplyLayout(3);
    EXPECT_EQ(viewer->currentViewport, viewer->FindViewportByNumber(3));
    EXPECT_FLOAT_EQ(viewer->FindViewportByNumber(1)->left, 0.5f);

    viewer->SetXSplit(1.5f);  // ignored
    EXPECT_FLOAT_EQ(viewer->xSplit, 0.5f);
    viewer->SetXSplit(0.2f);
    EXPECT_FLOAT_EQ(viewer->FindViewportByNumber(3)->width, 0.2f);
    viewer->SetYSplit(0.9f);  // stored even though layout 3 does not use it
    EXPECT_FLOAT_EQ(viewer->ySplit, 0.9f);
    EXPECT_FLOAT_EQ(viewer->FindViewportByNumber(3)->height, 1.0f);

    viewer->ApplyLayout(0);
    EXPECT_EQ(viewer->viewportLayout, 1);
    viewer->ApplyLayout(9);
    EXPECT_EQ(viewer->viewportLayout, 1);
    viewer->numViewports = 3;  // a layout that needs more viewports than exist
    viewer->ApplyLayout(8);
    EXPECT_EQ(viewer->viewportLayout, 1);
    viewer->numViewports = 4;
}

TEST_F(LayoutTest, MaximizeAndRestore) {
    viewer->WindowResized(800, 600);
    viewer->ApplyLayout(8);
    viewer->SetCurrentViewportByNumber(3);
    viewer->SetMaximized(true);
    EXPECT_TRUE(viewer->viewportMaximized);
    vkoViewport* v3 = viewer->FindViewportByNumber(3);
    EXPECT_FLOAT_EQ(v3->width, 1.0f);
    EXPECT_FLOAT_EQ(v3->height, 1.0f);
    EXPECT_FALSE(viewer->FindViewportByNumber(1)->isVisibleFlag);
    viewer->SetMaximized(true);  // no second effect
    EXPECT_TRUE(v3->isVisibleFlag);
    viewer->SetMaximized(false);
    EXPECT_FALSE(viewer->viewportMaximized);
    for (vkoViewport* v : viewer->viewports) EXPECT_TRUE(v->isVisibleFlag);
    EXPECT_FLOAT_EQ(v3->width, 0.5f);
}

TEST_F(LayoutTest, Lookups) {
    viewer->WindowResized(800, 600);
    viewer->ApplyLayout(3);
    EXPECT_EQ(viewer->FindViewportByNumber(0), nullptr);
    EXPECT_EQ(viewer->FindViewportByNumber(5), nullptr);
    EXPECT_EQ(viewer->FindViewportByName("Viewport2"), viewer->viewports[1]);
    EXPECT_EQ(viewer->FindViewportByName(nullptr), nullptr);
    EXPECT_EQ(viewer->ViewportNumber("Viewport2"), 2);
    EXPECT_EQ(viewer->ViewportNumber("nope"), 0);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 1);
    // Slot 1 covers pixels 0..399, slot 2 400..799: the boundary belongs to each
    // pixel's own viewport; a point outside every shown viewport gives none.
    EXPECT_EQ(viewer->ViewportAt(399, 10), viewer->viewports[0]);
    EXPECT_EQ(viewer->ViewportAt(400, 10), viewer->viewports[1]);
    EXPECT_EQ(viewer->ViewportAt(900, 10), nullptr);
    EXPECT_EQ(viewer->SelectViewportAt(500, 300), viewer->viewports[1]);
    EXPECT_EQ(viewer->currentViewport, viewer->viewports[1]);
}

TEST_F(LayoutTest, OverlappingBoundaryGoesToFirstInList) {
    viewer->WindowResized(800, 600);
    viewer->ApplyLayout(3);
    // Make both viewports share column 400.
    viewer->viewports[0]->setRectangle(0, 0, 0.50125f, 1);
    EXPECT_EQ(viewer->ViewportAt(400, 10), viewer->viewports[0]);
}

}  // namespace
