#pragma once
// A stand-alone viewer in a real window under X, driven by Qt key, mouse
// and wheel events, in a scratch working directory (the recording and
// scene files of the keys land there).  The exit hook records the status.
#include <gtest/gtest.h>

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "platform/MessageSink.h"
#include "render/GLWindow.h"
#include "scene/GraphicData.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"
#include "viewer/ViewerExports.h"
#include "viewer/krvViewer.h"
#include "viewer/vkoViewer.h"

namespace inputtest {

inline int exitStatus = -1;

class InputWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = testsupport::ScratchDir(std::string("input-") + info->test_suite_name() + "-" + info->name());
        previousDir = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir));
        exitStatus = -1;
        previousHook = vkoViewer::SetExitHook([](int status) { exitStatus = status; });
        open("prog");
    }
    void TearDown() override {
        box.reset();
        viewer = nullptr;
        vkoViewer::SetExitHook(previousHook);
        if (!previousDir.isEmpty()) QDir::setCurrent(previousDir);
    }

    // (Re)creates the viewer with these arguments in a 400 x 300 window and
    // presses the background once, so that keys have a viewport to act on.
    void open(const char* args) {
        box.reset();
        viewer = CreateViewer(nullptr, false, true, args);
        ASSERT_NE(viewer, nullptr);
        box.reset(viewer->Widget());
        box->resize(400, 300);
        box->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
        QTest::qWait(150);  // past the activation click guard
        if (!viewer->glWindow->contextReady()) GTEST_SKIP() << "no OpenGL context";
        win = viewer->glWindow;
        v = viewer->currentViewport;
        if (viewer->logoGraphic) viewer->logoGraphic->setProperty(0, 0.0f);
        click(QPoint(3, 3), Qt::LeftButton);
    }

    // A unit square in the x-y plane.
    vkoGraphicObj* addSquare(const char* name) {
        viewer->NewGraphic(name);
        vkoGraphicObj* o = viewer->currentGraphic;
        const float verts[] = {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0};
        const int faces[] = {4, 0, 1, 2, 3};
        o->appendMesh(4, verts, 0, nullptr, 1, 5, faces);
        o->data->computeBounds();
        o->data->computeFaceNormals();
        o->data->buildAdjacency();
        o->faces = true;
        viewer->RefreshAll(true);
        return o;
    }

    // Qt position of a window pixel counted from the bottom left.
    QPointF qt(QPoint gl) const { return QPointF(gl.x(), win->height() - 1 - gl.y()); }
    void mouse(QEvent::Type type, QPoint gl, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QMouseEvent e(type, qt(gl), win->mapToGlobal(qt(gl)), button, buttons, mods);
        QCoreApplication::sendEvent(win, &e);
    }
    void click(QPoint gl, Qt::MouseButton b, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, gl, b, b, mods);
        mouse(QEvent::MouseButtonRelease, gl, b, Qt::NoButton, mods);
    }
    void drag(QPoint from, QPoint to, Qt::MouseButton b, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, from, b, b, mods);
        for (int i = 1; i <= 4; ++i) mouse(QEvent::MouseMove, from + (to - from) * i / 4, Qt::NoButton, b, mods);
        mouse(QEvent::MouseButtonRelease, to, b, Qt::NoButton, mods);
    }
    void wheel(QPoint gl, int delta, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWheelEvent e(qt(gl), win->mapToGlobal(qt(gl)), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                      Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(win, &e);
    }
    void key(char c, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(win, c, mods); }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(win, k, mods); }

    int undoDepth() const { return (v->undoEnd - v->undoStart + vkoViewport::kUndoSlots) % vkoViewport::kUndoSlots; }

    std::string dir;
    QString previousDir;
    vkoViewer::ExitHook previousHook = nullptr;
    std::unique_ptr<krvViewer> box;
    vkoViewer* viewer = nullptr;
    GLWindow* win = nullptr;
    vkoViewport* v = nullptr;
    platform::MessageRecorder messages;
};

}  // namespace inputtest
