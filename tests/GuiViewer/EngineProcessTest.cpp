// The host's engine process: the command texts of the GUI become link
// commands, read back through the viewer (its state dump and its cameras).
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <cmath>

#include "GuiTestSupport.h"
#include "scene/Quaternion.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"

namespace {

using guitest::Await;

class EngineProcessTest : public guitest::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(engine->addMesh("tet", guitest::Tetrahedron()));
        ASSERT_TRUE(Sync());
        object = viewer->FindGraphic(EngineProcess::viewerNameFor("tet").toStdString().c_str());
        ASSERT_NE(object, nullptr);
        highlight = viewer->FindGraphic(EngineProcess::highlightNameFor("tet").toStdString().c_str());
        ASSERT_NE(highlight, nullptr);
        EXPECT_TRUE(object->visibility);
        EXPECT_FALSE(highlight->visibility);  // shown only for a selection
    }
    // The viewport shows the object and holds its highlight (the two go
    // together).
    bool Shows(int n) {
        vkoViewport* vp = viewer->FindViewportByNumber(n);
        if (!vp) return false;
        const bool shows = std::find(vp->objects.begin(), vp->objects.end(), object) != vp->objects.end();
        EXPECT_EQ(std::find(vp->objects.begin(), vp->objects.end(), highlight) != vp->objects.end(), shows);
        return shows;
    }
    // The viewer's state dump, as text.
    QString Dump() {
        const QString path = QString::fromStdString(testsupport::ScratchDir("engine_process")) + "/state.txt";
        QFile::remove(path);
        auto done = engine->dumpState(path);
        if (!Await(done) || !done.get()) return {};
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    EngineProcess::Camera Camera() {
        auto f = engine->requestCamera("");
        return Await(f) ? f.get() : EngineProcess::Camera{};
    }
    vkoGraphicObj* object = nullptr;
    vkoGraphicObj* highlight = nullptr;
};

TEST_F(EngineProcessTest, LayoutNamesBecomeViewerLayouts) {
    const int expected[8] = {1, 3, 2, 6, 7, 4, 5, 8};
    for (int i = 7; i >= 0; --i) {
        const QString name = EngineProcess::layoutNames()[i];
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(engine->sendCommand("VIEWPORT MANAGER:\nViewport Layout = " + name +
                                        "\nMaximized Viewport = -1\nEND\n"));
        EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport Layout"), name);
        EXPECT_TRUE(Dump().contains(QString("\tviewportLayout = %1\n").arg(expected[i])));
    }
}

TEST_F(EngineProcessTest, MaximizeAndRestore) {
    ASSERT_TRUE(engine->sendCommand(
        "VIEWPORT MANAGER:\nViewport Layout = Horizontal And Vertical Split\nMaximized Viewport = -1\nEND\n"));
    ASSERT_TRUE(engine->sendCommand("VIEWPORT MANAGER:\nMaximized Viewport = 3\nEND\n"));
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);
    // Another viewport straight from a maximized one.
    ASSERT_TRUE(engine->sendCommand("VIEWPORT MANAGER:\nMaximized Viewport = 2\nEND\n"));
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 2);
    EXPECT_TRUE(viewer->FindViewportByNumber(2)->isVisibleFlag);
    EXPECT_FALSE(viewer->FindViewportByNumber(3)->isVisibleFlag);
    ASSERT_TRUE(engine->sendCommand("VIEWPORT MANAGER:\nMaximized Viewport = -1\nEND\n"));
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 2);  // the viewport the user was in
    EXPECT_TRUE(viewer->FindViewportByNumber(4)->isVisibleFlag);
    // A number the layout does not show is no maximized viewport.
    ASSERT_TRUE(engine->sendCommand("VIEWPORT MANAGER:\nMaximized Viewport = abc\nEND\n"));
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Maximized Viewport"), "-1");
}

TEST_F(EngineProcessTest, BadTextsChangeNothing) {
    QSignalSpy changed(engine.get(), &EngineProcess::stateChanged);
    const char* texts[] = {
        "VIEWPORT MANAGER:\nViewport Layout = Diagonal Split\nEND\n",
        "VIEWPORT MANAGER:\nViewport 2 View = No Such View\nEND\n",
        "VIEWPORT MANAGER:\nViewport Layout = Vertical Split\n",  // no END
        "Viewport Layout = Vertical Split\n",
        "END\n",
        ">frobnicate 1\n",
        ">centerview 7\n",
        ">hide /DOMAIN:nothing, view=/VIEW:View 1\n",
        ">hide /DOMAIN:tet, view=/\n",
        ">setViewportView cmd=set, view=/VIEW:Nowhere, viewport=1",
        "> setViewportView cmd=copy, view=/VIEW:View 2, viewport=1",
    };
    for (const char* t : texts) EXPECT_FALSE(engine->sendCommand(t)) << t;
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport Layout"), "No Split");
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 2 View"), "View 2");
    EXPECT_EQ(engine->getObjectNames("VIEW"), QStringList({"View 1", "View 2", "View 3", "View 4"}));
    ASSERT_TRUE(Sync());
    EXPECT_EQ(viewer->viewportLayout, 1);
    EXPECT_TRUE(Shows(1));
}

TEST_F(EngineProcessTest, VisibilityPerView) {
    EXPECT_TRUE(engine->sendCommand("# Sending visibility action from ViewUtilities\n>hide /DOMAIN:tet, view=/VIEW:View 1\n"));
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(Shows(1));
    EXPECT_TRUE(Shows(2));
    EXPECT_EQ(engine->getParameter("/VIEW:View 1", "Object Visibility List"), "");
    EXPECT_TRUE(engine->sendCommand(">toggle /DOMAIN:tet, view=/VIEW:View 1\n"));
    EXPECT_TRUE(engine->sendCommand(">toggle /DOMAIN:tet, view=/VIEW:View 2\n"));
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(Shows(1));
    EXPECT_FALSE(Shows(2));
    EXPECT_EQ(engine->getParameter("/VIEW:View 1", "Object Visibility List"), "/DOMAIN:tet");
    // Viewport 3 switched to view 2 loses the object too.
    EXPECT_TRUE(engine->sendCommand(">setViewportView cmd=set, view=/VIEW:View 2, viewport=3"));
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(Shows(3));
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 3 View"), "View 2");
}

TEST_F(EngineProcessTest, StandardCamerasLookAlongTheirAxes) {
    struct Case {
        const char* name;
        float into[3];  // model direction that points into the screen
        float up[3];    // model direction that points up the screen
    };
    const float s = 1 / std::sqrt(3.0f);
    const Case cases[] = {
        {"+X", {1, 0, 0}, {0, 0, 1}},  {"-X", {-1, 0, 0}, {0, 0, 1}}, {"+Y", {0, 1, 0}, {0, 0, 1}},
        {"-Y", {0, -1, 0}, {0, 0, 1}}, {"+Z", {0, 0, 1}, {0, 1, 0}},  {"-Z", {0, 0, -1}, {0, 1, 0}},
        {"Isometric X", {-s, -s, -s}, {1, 0, 0}}, {"Isometric Y", {-s, -s, -s}, {0, 1, 0}},
        {"Isometric Z", {-s, -s, -s}, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(engine->sendViewerAction(QString(">setcamera viewport=1, camera=%1\n").arg(c.name)));
        const EngineProcess::Camera cam = Camera();
        ASSERT_TRUE(cam.ok);
        Quaternion q;
        q.set(cam.quaternion[0], cam.quaternion[1], cam.quaternion[2], cam.quaternion[3]);
        float m[16];
        q.toMatrix(m);
        // Eye coordinates of a model direction (column-major matrix).
        auto eye = [&](const float d[3], int row) { return m[row] * d[0] + m[4 + row] * d[1] + m[8 + row] * d[2]; };
        EXPECT_NEAR(eye(c.into, 2), -1, 1e-4);  // the eye looks along -z
        EXPECT_NEAR(eye(c.up, 1), c.name[0] == 'I' ? std::sqrt(2.0f / 3) : 1, 1e-4);
        EXPECT_NEAR(eye(c.up, 0), 0, 1e-4);
        EXPECT_GT(cam.scale, 0);  // fitted to the object afterwards
    }
    // The view keeps the camera the viewer reported.
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->hasParameter("/VIEW:View 1/CAMERA", "Rotation Quaternion"); }));
    EXPECT_EQ(engine->getParameter("/VIEW:View 1", "Camera Mode"), "User Specified");
}

TEST_F(EngineProcessTest, CameraAndProjectionBlocks) {
    EXPECT_TRUE(engine->sendObjectDefinition(
        "/VIEW:View 1", "VIEW:View 1\n  Camera Mode = User Specified\n  CAMERA:\n"
                        "    Option = Pivot Point and Quaternion\n    Pivot Point = 1, 2, 3\n    Scale = 2.5\n"
                        "    Pan = 0.25, -0.5\n    Rotation Quaternion = 0, 0.6, 0, 0.8\n    Send To Viewer = True\n"
                        "  END\nEND\n"));
    EngineProcess::Camera cam = Camera();
    ASSERT_TRUE(cam.ok);
    EXPECT_FLOAT_EQ(cam.scale, 2.5f);
    EXPECT_FLOAT_EQ(cam.pivot[0], 1);
    EXPECT_FLOAT_EQ(cam.pivot[2], 3);
    EXPECT_FLOAT_EQ(cam.pan[1], -0.5f);
    EXPECT_FLOAT_EQ(cam.quaternion[1], 0.6f);
    EXPECT_FLOAT_EQ(cam.quaternion[3], 0.8f);
    // A camera the GUI only reports is kept, not sent back.
    EXPECT_TRUE(engine->sendObjectDefinition(
        "/VIEW:View 1", "VIEW:View 1\n  CAMERA:\n    Scale = 9\n    Send To Viewer = False\n  END\nEND\n"));
    EXPECT_EQ(engine->getParameter("/VIEW:View 1/CAMERA", "Scale"), "9");
    EXPECT_FLOAT_EQ(Camera().scale, 2.5f);

    EXPECT_TRUE(viewer->ViewportOrthographic());
    EXPECT_TRUE(engine->sendCommand("VIEW:View 1\n  Projection = Perspective\nEND\n"));
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(viewer->ViewportOrthographic());
    EXPECT_FLOAT_EQ(Camera().scale, 2.5f);  // a projection change keeps the camera
}

TEST_F(EngineProcessTest, NewViewsAndReadBack) {
    EXPECT_TRUE(engine->sendCommand(">centerview 2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine->hasParameter("/VIEW:View 2/CAMERA", "Scale"); }));
    EXPECT_TRUE(engine->sendCommand("> setViewportView cmd=copy, view=/VIEW:Mine, viewport=2"));
    EXPECT_TRUE(engine->sendCommand("> setViewportView cmd=shallow_copy, view=/VIEW:Flat, viewport=2"));
    EXPECT_EQ(engine->getObjectNames("VIEW"), QStringList({"Flat", "Mine", "View 1", "View 2", "View 3", "View 4"}));
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 2 View"), "Flat");
    EXPECT_TRUE(engine->hasParameter("/VIEW:Mine/CAMERA", "Scale"));
    EXPECT_FALSE(engine->hasParameter("/VIEW:Flat/CAMERA", "Scale"));
    EXPECT_EQ(engine->getParameter("/VIEW:Flat", "Camera Mode"), "Automatic");
    EXPECT_EQ(engine->lookupParameter("/VIEW:Mine/CAMERA", "Projection"), "Orthographic");
    EXPECT_EQ(engine->getParameters("/VIEW:Mine", true).value("Coord Transform"), "Cartesian");
    EXPECT_EQ(engine->getObjectNames("DOMAIN"), QStringList({"tet"}));
    EXPECT_FALSE(engine->addMesh("tet", guitest::Tetrahedron()));
    EXPECT_FALSE(engine->addMesh("a:b", guitest::Tetrahedron()));
    EXPECT_FALSE(engine->addMesh("empty", engine::Mesh{}));
}

}  // namespace
