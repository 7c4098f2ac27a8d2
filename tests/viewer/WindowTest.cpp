// The assembled viewer in a real window under X: what a user sees after a
// frame (background, objects in the right viewport, the logo corner), and
// the window's input decoding.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

#include <memory>
#include <vector>

#include "TestSupport.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace {

struct Pixel {
    int r, g, b;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        viewer = CreateViewer(nullptr, false, true, "prog");
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        ASSERT_NE(viewer->glWindow, nullptr);
        box->resize(400, 300);
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        QTest::qWait(50);
        if (!viewer->glWindow->contextReady()) GTEST_SKIP() << "no OpenGL context";
        const float grey[3] = {0.2f, 0.3f, 0.4f};
        viewer->SetBackground(BG_SOLID, grey, grey);
    }

    // A red square in the x-y plane, seen from the front.
    vkoGraphicObj* addSquare(const char* name, const std::vector<std::string>* viewports = nullptr) {
        viewer->NewGraphic(name, viewports);
        vkoGraphicObj* o = viewer->currentGraphic;
        const float v[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
        const int faces[] = {4, 0, 1, 2, 3};
        o->appendMesh(4, v, 0, nullptr, 1, 5, faces);
        o->data->computeBounds();
        o->data->computeFaceNormals();
        o->data->buildAdjacency();
        o->faces = true;
        return o;
    }

    void frontView(vkoViewport* v) {
        v->view->reset();
        v->view->ModifyValues(0, 90, 0, 0, 0);  // undo the default tilt: look down -z
        v->isAxisVisibleFlag = 0;
        v->isRulerVisibleFlag = 0;
        v->isCentered = 1;
        v->view->scale = v->view->defscale = 0.5f;
    }

    std::vector<unsigned char> frame(int& w, int& h) {
        viewer->RefreshAll(false, false);
        EXPECT_TRUE(viewer->Redraw());
        return viewer->renderer->grabImage(&w, &h);
    }
    static Pixel at(const std::vector<unsigned char>& img, int w, int h, int x, int yFromBottom) {
        // grabImage gives rows top-down.
        const unsigned char* p = &img[(size_t(h - 1 - yFromBottom) * w + x) * 3];
        return {p[0], p[1], p[2]};
    }

    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
};

TEST_F(WindowTest, BackgroundAndObjectInLayoutOne) {
    addSquare("square");
    frontView(viewer->currentViewport);
    int w = 0, h = 0;
    auto img = frame(w, h);
    ASSERT_EQ(w, viewer->windowWidth);
    ASSERT_EQ(h, viewer->windowHeight);
    ASSERT_FALSE(img.empty());
    Pixel corner = at(img, w, h, 2, h - 3);
    EXPECT_NEAR(corner.r, 51, 3);
    EXPECT_NEAR(corner.g, 77, 3);
    EXPECT_NEAR(corner.b, 102, 3);
    Pixel centre = at(img, w, h, w / 2, h / 2);
    EXPECT_GT(centre.r, 200) << "the red square fills the centre";
    EXPECT_LT(centre.g, 40);
}

TEST_F(WindowTest, ObjectAppearsOnlyInItsViewportInLayoutEight) {
    std::vector<std::string> only3 = {"Viewport3"};
    viewer->ApplyLayout(8);
    addSquare("square", &only3);
    viewer->viewports[0]->removeObject("square");
    for (vkoViewport* v : viewer->viewports) frontView(v);
    int w = 0, h = 0;
    auto img = frame(w, h);
    ASSERT_FALSE(img.empty());
    // Slot 3 of layout 8 is the bottom right quarter.
    Pixel inSlot3 = at(img, w, h, 3 * w / 4, h / 4);
    Pixel inSlot1 = at(img, w, h, w / 4, 3 * h / 4);
    EXPECT_GT(inSlot3.r, 200);
    EXPECT_LT(inSlot1.r, 80);
}

TEST_F(WindowTest, LogoInTheCorner) {
    if (!viewer->logoGraphic) GTEST_SKIP() << "logo switched off";
    frontView(viewer->currentViewport);
    int w = 0, h = 0;
    auto img = frame(w, h);
    ASSERT_FALSE(img.empty());
    // Some pixel of the bottom right corner differs from the background.
    int differing = 0;
    for (int y = 2; y < 40; ++y)
        for (int x = w - 130; x < w - 2; ++x) {
            Pixel p = at(img, w, h, x, y);
            if (std::abs(p.r - 51) + std::abs(p.g - 77) + std::abs(p.b - 102) > 30) ++differing;
        }
    EXPECT_GT(differing, 100);
}

TEST_F(WindowTest, PaintDoesNotRebuildUnchangedLists) {
    vkoGraphicObj* o = addSquare("square");
    frontView(viewer->currentViewport);
    int w = 0, h = 0;
    frame(w, h);
    EXPECT_FALSE(o->listDirty[LIST_FACES]);
    viewer->glWindow->update();
    QTest::qWait(50);
    EXPECT_FALSE(o->listDirty[LIST_FACES]);
}

TEST_F(WindowTest, MouseAndKeyDecoding) {
    GLWindow* win = viewer->glWindow;
    const int h = win->height();
    QMouseEvent top(QEvent::MouseMove, QPointF(10, 0), QPointF(10, 0), Qt::NoButton, Qt::LeftButton,
                    Qt::ShiftModifier | Qt::ControlModifier);
    win->decodeMouse(&top);
    EXPECT_EQ(win->pointerX, 10);
    EXPECT_EQ(win->pointerY, h - 1);
    EXPECT_EQ(win->modifiers, VWindow::kShift | VWindow::kControl);
    EXPECT_EQ(win->button, VWindow::kLeft);

    QKeyEvent ctrlAltA(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier | Qt::AltModifier, "a");
    win->decodeKey(&ctrlAltA);
    EXPECT_EQ(win->key, 1);
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    win->decodeKey(&plain);
    EXPECT_EQ(win->key, 0x1030) << "the old toolkit's number";
}

TEST_F(WindowTest, SixDofMotionsMakeOneUndoEntryPerMovement) {
    platform::SixDofMotion m;
    m.rotation[0] = 100;
    vkoViewport* v = viewer->currentViewport;
    GLWindow* win = viewer->glWindow;
    win->applySixDofMotion(m, 1000);
    win->applySixDofMotion(m, 1150);
    EXPECT_EQ((v->undoEnd - v->undoStart + vkoViewport::kUndoSlots) % vkoViewport::kUndoSlots, 1);
    win->applySixDofMotion(m, 1400);
    EXPECT_EQ((v->undoEnd - v->undoStart + vkoViewport::kUndoSlots) % vkoViewport::kUndoSlots, 2);
}

}  // namespace
