#pragma once
// Helpers of the GUI layer tests: a viewer widget host fed by the host's
// engine process, waiting for link round trips, a small mesh.
#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <future>
#include <memory>

#include "GuiViewer/src/ViewerQtWidget.h"
#include "GuiViewer/src/host/EngineProcess.h"
#include "TestSupport.h"
#include "tools/enginemesh/EngineMesh.h"
#include "viewer/vkoViewer.h"

namespace guitest {

// Waits (running the event loop, so that the viewer polls its link) until
// the future is ready; false after timeoutMs.
template <class T>
bool Await(const std::shared_future<T>& f, int timeoutMs = 20000) {
    return QTest::qWaitFor([&] { return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                           timeoutMs);
}

// A tetrahedron around the origin.
inline engine::Mesh Tetrahedron() {
    engine::Mesh m;
    m.xyz = {1, 1, 1, -1, -1, 1, -1, 1, -1, 1, -1, -1};
    m.faceEntries = {3, 0, 1, 2, 3, 0, 3, 1, 3, 0, 2, 3, 3, 1, 3, 2};
    m.numFaces = 4;
    return m;
}

// An engine process and a shown viewer widget on its connection.
class HostFixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        engine = std::make_unique<EngineProcess>();
        ASSERT_GE(engine->viewerReadSocket(), 0);
        widget = std::make_unique<ViewerQtWidget>(engine->viewerReadSocket(), engine->viewerWriteSocket(), nullptr);
        viewer = widget->getViewer();
        ASSERT_NE(viewer, nullptr);
    }
    void TearDown() override {
        widget.reset();  // the viewer goes before its connection
        engine.reset();
    }
    // Shows the widget at this size and waits until the engine has it.
    void ShowAt(int w, int h) {
        widget->resize(w, h);
        widget->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->windowWidth == w && viewer->windowHeight == h; }, 10000))
            << viewer->windowWidth << " x " << viewer->windowHeight;
    }
    // Every command sent so far has been executed by the viewer.
    bool Sync() {
        auto f = engine->requestCamera("");
        return Await(f) && f.get().ok;
    }

    std::unique_ptr<EngineProcess> engine;
    std::unique_ptr<ViewerQtWidget> widget;
    vkoViewer* viewer = nullptr;
};

}  // namespace guitest
