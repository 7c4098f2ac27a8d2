#pragma once
// A shown viewer window on the host's engine process with one mesh, and
// mouse input on its drawing window as the user gives it.
#include <QCoreApplication>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <memory>

#include "GuiTestSupport.h"
#include "GuiViewer/src/ViewUtilities.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "render/GLWindow.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"

namespace guitest {

class ViewerWindowFixture : public ::testing::Test {
protected:
    static constexpr const char* kWing = "wing:DOMAIN:wing:0:Cartesian";

    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        engine = std::make_unique<EngineProcess>();
        ASSERT_GE(engine->viewerReadSocket(), 0);
        window = std::make_unique<ViewerWindow>(engine->viewerReadSocket(), engine->viewerWriteSocket(), nullptr,
                                                "Viewer Window", Qt::WindowFlags(),
                                                ViewerWindow::StandardApplication);
        ViewUtilities::registerViewerWindow(window.get());
        viewer = window->getViewer();
        ASSERT_NE(viewer, nullptr);
        window->resize(520, 440);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->windowWidth > 0; }, 10000));
        ASSERT_TRUE(engine->addMesh("wing", Tetrahedron()));
        ASSERT_TRUE(Sync());
        gl = viewer->glWindow;
        ASSERT_NE(gl, nullptr);
        ASSERT_NE(viewer->FindGraphic(kWing), nullptr);
        // The drawing window ignores the click that activates it.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::qWait(GLWindow::kActivationClickMs + 50);
    }
    void TearDown() override {
        if (ViewUtilities::getViewerWindow() == window.get()) ViewUtilities::registerViewerWindow(nullptr);
        window.reset();  // the viewer goes before its connection
        engine.reset();
    }
    bool Sync() {
        auto f = engine->requestCamera("");
        return Await(f) && f.get().ok;
    }
    int wingId() const { return viewer->FindGraphic(kWing)->objectid; }

    // The centre of the drawing window hits the mesh; the bottom left
    // corner (below the caption strip at the top) does not.
    QPoint centre() const { return QPoint(gl->width() / 2, gl->height() / 2); }
    QPoint corner() const { return QPoint(6, gl->height() - 6); }
    // The object is in viewport 1's object list (the view shows it).
    bool shown(const char* name) const {
        const vkoGraphicObj* o = viewer->FindGraphic(name);
        const vkoViewport* v = viewer->FindViewportByNumber(1);
        return o && v && std::find(v->objects.begin(), v->objects.end(), o) != v->objects.end();
    }

    void click(Qt::MouseButton button, QPoint at, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(gl, button, mods, at);
        QCoreApplication::processEvents();
    }
    void hover(QPoint at) {
        QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(gl->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QCoreApplication::sendEvent(gl, &e);
    }
    // Press, move in steps with the button held, release.
    void drag(Qt::MouseButton button, QPoint from, QPoint to, Qt::KeyboardModifiers mods) {
        QTest::mousePress(gl, button, mods, from);
        for (int i = 1; i <= 4; ++i) {
            const QPoint p = from + (to - from) * i / 4;
            QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(gl->mapToGlobal(p)), Qt::NoButton, button, mods);
            QCoreApplication::sendEvent(gl, &e);
        }
        QTest::mouseRelease(gl, button, mods, to);
        QCoreApplication::processEvents();
    }

    std::unique_ptr<EngineProcess> engine;
    std::unique_ptr<ViewerWindow> window;
    vkoViewer* viewer = nullptr;
    GLWindow* gl = nullptr;
};

}  // namespace guitest
