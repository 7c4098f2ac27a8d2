#pragma once
// guiviewer's main window on an engine process: shown, with tetrahedra sent
// to the viewer and drawn.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <memory>
#include <vector>

#include "GuiTestSupport.h"
#include "GuiViewer/app/HostMainWindow.h"

namespace guitest {

class HostMainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override { StartHost({"tet"}); }
    void TearDown() override {
        host.reset();  // the viewer goes before its connection
        engine.reset();
    }
    // One tetrahedron per domain, all in the same place; BeforeShow adds a
    // test's parts to the window before it is shown.
    void StartHost(const std::vector<const char*>& domains) {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        engine = std::make_unique<EngineProcess>();
        host = std::make_unique<HostMainWindow>(engine.get());
        viewer = host->viewer();
        ASSERT_NE(viewer, nullptr);
        BeforeShow();
        host->resize(900, 700);
        host->show();
        for (const char* d : domains) ASSERT_TRUE(engine->addMesh(d, Tetrahedron()));
        ASSERT_TRUE(Sync());
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->windowWidth > 100 && viewer->windowHeight > 100; }, 10000));
    }
    virtual void BeforeShow() {}
    // Every command sent so far has been executed by the viewer, and the
    // main window has read the engine process's state back.
    bool Sync() {
        auto f = engine->requestCamera("");
        const bool ok = Await(f) && f.get().ok;
        QCoreApplication::processEvents();
        return ok;
    }
    // The set-up ended without a failure or a skip.
    bool Ready() const { return !IsSkipped() && !HasFatalFailure(); }

    std::unique_ptr<EngineProcess> engine;
    std::unique_ptr<HostMainWindow> host;
    vkoViewer* viewer = nullptr;
};

}  // namespace guitest
