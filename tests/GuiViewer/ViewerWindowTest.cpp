// The viewer window on a real engine process: its actions and what they
// send, the keys, viewport activation, the mode tools and the bindings they
// give the engine, box selection, highlighting, and the camera reported
// after a rotation.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <functional>

#include "../viewer/QtWindowInput.h"
#include "GuiTestSupport.h"
#include "GuiViewer/src/ViewerHelpDialog.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/ViewportSplitter.h"
#include "GuiViewer/src/host/AppWindowBase.h"
#include "render/GLWindow.h"
#include "render/Graphics.h"
#include "scene/Transform.h"
#include "scene/vkoGraphicObj.h"
#include "scene/vkoViewport.h"

namespace {

using guitest::Await;

constexpr int kShift = 0x100, kCtrl = 0x200;

class ViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        engine = std::make_unique<EngineProcess>();
        window = std::make_unique<ViewerWindow>(engine->viewerReadSocket(), engine->viewerWriteSocket(), nullptr,
                                                "viewer window", Qt::WindowFlags(), ViewerWindow::ExtendedApplication);
        viewer = window->getViewer();
        ASSERT_NE(viewer, nullptr);
        // As the host does: every change of the engine process's state is
        // read back into the window.
        QObject::connect(engine.get(), &EngineProcess::stateChanged, window.get(), &ViewerWindow::updatePDL);
        QObject::connect(engine.get(), &EngineProcess::textReceived, [this](const QString& t) { sent << t; });
        window->resize(900, 700);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return viewer->windowWidth > 100; }, 10000));
        ASSERT_TRUE(engine->addMesh("tet", guitest::Tetrahedron()));
        ASSERT_TRUE(Sync());
        sent.clear();
    }
    void TearDown() override {
        // Everything sent has arrived before the viewer goes.
        if (window) {
            EXPECT_TRUE(Sync());
        }
        window.reset();
        engine.reset();
    }
    bool Sync() {
        auto f = engine->requestCamera("");
        return Await(f) && f.get().ok;
    }
    // The camera of the current viewport, once the engine process is idle
    // again (it answers before it counts the request as done, and a busy
    // engine process gets no camera reports).
    EngineProcess::Camera Camera() {
        auto f = engine->requestCamera("");
        EXPECT_TRUE(Await(f));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !engine->isActive(); }, 5000));
        return f.get();
    }
    QAction* Action(const QString& toolTip) {
        for (QAction* a : window->findChildren<QAction*>())
            if (a->toolTip() == toolTip) return a;
        return nullptr;
    }
    QToolBar* ToolBarOf(QAction* a) {
        for (QToolBar* t : window->findChildren<QToolBar*>())
            if (t->actions().contains(a)) return t;
        return nullptr;
    }
    // Clicks the action's tool button when it has a visible one, as a user
    // would; triggers it otherwise.
    void Use(QAction* a) {
        QToolBar* bar = ToolBarOf(a);
        QWidget* button = bar ? bar->widgetForAction(a) : nullptr;
        if (button && button->isVisible())
            QTest::mouseClick(button, Qt::LeftButton);
        else
            a->trigger();
    }
    QWidget* Gl() { return viewer->glWindow; }
    QPoint Centre() { return QPoint(Gl()->width() / 2, Gl()->height() / 2 - 10); }
    // Whether the binding of button and modifiers is that of a MouseFunction
    // code: the spare Shift+Ctrl+middle entry is bound to the code as the
    // reference.
    bool BoundTo(int button, int modifiers, int code) {
        const vkoViewer::MouseBinding* b = viewer->FindMouseBinding(button, modifiers);
        if (!b || !viewer->SetMouseFunction(4, kShift | kCtrl, code)) return false;
        const vkoViewer::MouseBinding* r = viewer->FindMouseBinding(4, kShift | kCtrl);
        return b->cursor == r->cursor && b->press == r->press && b->drag == r->drag && b->release == r->release;
    }
    bool Visible(const char* name) {
        vkoGraphicObj* o = viewer->FindGraphic(name);
        return o && o->visibility;
    }

    std::unique_ptr<EngineProcess> engine;
    std::unique_ptr<ViewerWindow> window;
    vkoViewer* viewer = nullptr;
    QStringList sent;
};

// Every action: its texts, object name, kind, tool bar and what it does.
TEST_F(ViewerWindowTest, ActionsTextsAndConnections) {
    bool labelSignal = false;
    QObject::connect(window.get(), &ViewerWindow::editLabelControlSignal, [&] { labelSignal = true; });
    const QString camera = ">setcamera viewport=1, camera=%1\n";
    struct Case {
        const char* text;
        const char* menuText;
        const char* objectName;
        bool toggle;
        const char* toolBar;  // "" none
        QString sends;        // the one text it sends, or empty
        std::function<bool()> effect;
    };
    const std::vector<Case> cases = {
        {"New Selection", "&Select", "New Selection", true, "Selection Tools", {},
         [&] { return BoundTo(1, 0, 13) && BoundTo(1, kCtrl, 18) && viewer->interpreterPickMode == 3; }},
        {"Rotate", "&Rotate", "Rotate", true, "Viewing Tools", {},
         [&] { return BoundTo(1, 0, 0) && BoundTo(1, kCtrl, 7) && viewer->interpreterPickMode == 5; }},
        {"Pan", "&Pan", "Pan", true, "Viewing Tools", {}, [&] { return BoundTo(1, 0, 3) && BoundTo(1, kCtrl, 7); }},
        {"Zoom", "&Zoom", "Zoom", true, "Viewing Tools", {}, [&] { return BoundTo(1, 0, 1); }},
        {"Zoom Box", "Zoom &Box", "Zoom Box", true, "Viewing Tools", {}, [&] { return BoundTo(1, 0, 4); }},
        {"Fit View", "&Fit View", "Fit View", false, "Viewing Tools", ">centerview 1", {}},
        {"Highlighting", "&Highlighting", "Toggle highlight mode", true, "Viewing Tools", {},
         [&] { return window->getHighlight(); }},
        {"Snap to node picking", "&Snap To Node Picking", "Toggle snap to node picking", true, "Viewing Tools", {},
         [&] { return !window->isSnapToNode(); }},
        {"Label and Marker Visibility", "&Label and Marker Visibility",
         "Show / hide region labels or boundary markers", false, "Viewing Tools", {}, [&] { return labelSignal; }},
        {"Synchronise Active Views", "Synchronise Active Views", "Synchronise Active Views", true, "Viewing Tools", {},
         [&] { return viewer->viewSync; }},
        {"Perspective", "P&erspective", "Perspective View", true, "", "VIEW:View 1\n  Projection = Perspective\nEND\n",
         [&] { return Action("Perspective")->isChecked() && !Action("Orthographic")->isChecked(); }},
        {"Orthographic", "&Orthographic", "", true, "", "VIEW:View 1\n  Projection = Orthographic\nEND\n",
         [&] { return !Action("Perspective")->isChecked() && Action("Orthographic")->isChecked(); }},
        {"Isometric View (Y up)", "Isometric View (Y up)", "Isometric View (Y up)", false, "", camera.arg("Isometric Y"), {}},
        {"Isometric View (X up)", "Isometric View (X up)", "Isometric View (X up)", false, "", camera.arg("Isometric X"), {}},
        {"Isometric View (Z up)", "Isometric View (Z up)", "Isometric View (Z up)", false, "", camera.arg("Isometric Z"), {}},
        {"View Towards +X", "View Towards +X", "View Towards +X", false, "", camera.arg("+X"), {}},
        {"View Towards -X", "View Towards -X", "View Towards -X", false, "", camera.arg("-X"), {}},
        {"View Towards +Y", "View Towards +Y", "View Towards +y", false, "", camera.arg("+Y"), {}},
        {"View Towards -Y", "View Towards -Y", "View Towards -Y", false, "", camera.arg("-Y"), {}},
        {"View Towards +Z", "View Towards +Z", "View Towards +Z", false, "", camera.arg("+Z"), {}},
        {"View Towards -Z", "View Towards -Z", "View Towards -Z", false, "", camera.arg("-Z"), {}},
        {"Show Help Dialog", "Show Help Dialog", "Show Viewer Help Dialog", false, "Other Tools", {}, [&] {
             auto* d = window->findChild<ViewerHelpDialog*>("Viewer Help");
             return d && d->isVisible();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QAction* a = Action(c.text);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(), c.menuText);
        EXPECT_EQ(a->objectName(), c.objectName);
        EXPECT_EQ(a->isCheckable(), c.toggle);
        EXPECT_FALSE(a->icon().isNull());
        QToolBar* bar = ToolBarOf(a);
        EXPECT_EQ(bar ? bar->windowTitle() : QString(), c.toolBar);
        sent.clear();
        Use(a);
        EXPECT_EQ(sent, c.sends.isEmpty() ? QStringList() : QStringList{c.sends});
        if (c.effect) {
            EXPECT_TRUE(c.effect());
        }
    }
    // The five mode actions exclude each other; none was on at the start.
    Use(Action("Pan"));
    int on = 0;
    for (const char* m : {"New Selection", "Rotate", "Pan", "Zoom", "Zoom Box"}) on += Action(m)->isChecked();
    EXPECT_EQ(on, 1);
    EXPECT_TRUE(Action("Pan")->isChecked());
}

TEST_F(ViewerWindowTest, ViewerMenuInOrder) {
    QMenu menu;
    window->createViewerMenu(&menu, ViewerWindow::ExtendedApplication);
    QStringList items;
    for (QAction* a : menu.actions())
        items << (a->isSeparator() ? "|" : a->menu() ? a->menu()->objectName() + ":" + a->text() : a->toolTip());
    EXPECT_EQ(items.join(","), "New Selection,Rotate,|,Highlighting,|,Snap to node picking,"
                               "Label and Marker Visibility,|,Perspective,Orthographic,|,Views:V&iews,Fit View,|");
    QStringList views;
    for (QAction* a : menu.findChild<QMenu*>("Views")->actions()) views << a->toolTip();
    EXPECT_EQ(views.join(","), "View Towards +X,View Towards -X,View Towards +Y,View Towards -Y,View Towards +Z,"
                               "View Towards -Z,Isometric View (X up),Isometric View (Y up),Isometric View (Z up)");
    QMenu standard;
    window->createViewerMenu(&standard, ViewerWindow::StandardApplication);
    EXPECT_EQ(standard.actions().size(), menu.actions().size() - 3);
}

TEST_F(ViewerWindowTest, LayoutsMaximizingAndViewportActivation) {
    QSignalSpy changed(window.get(), &ViewerWindow::viewportChanged);
    // The layout combo: the text, then the engine shows four viewports.
    auto* combo = window->findChild<QComboBox*>("Viewport Layout");
    ASSERT_NE(combo, nullptr);
    combo->setCurrentIndex(7);
    emit combo->activated(7);
    EXPECT_EQ(sent, QStringList{"VIEWPORT MANAGER:\nViewport Layout = Horizontal And Vertical Split\n"
                                "Maximized Viewport = -1\nEND\n"});
    ASSERT_TRUE(Sync());
    EXPECT_EQ(viewer->viewportLayout, 8);

    // The current viewport again: nothing is sent or emitted.
    sent.clear();
    window->setViewport(1);
    EXPECT_TRUE(sent.isEmpty());
    EXPECT_EQ(changed.count(), 0);

    // A click into viewport 2 (top right) activates it.
    qtinput::click(Gl(), QPoint(Gl()->width() * 3 / 4, Gl()->height() * 3 / 4), Qt::LeftButton);
    EXPECT_EQ(window->getCurrentViewport(), "2");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toString(), "VIEW:View 2");
    EXPECT_TRUE(window->getViewerWidget()->getSplitter()->caption(2)->isActive());

    // Maximizing 0 sends -1; maximizing 3 through the engine process is read
    // back and activates 3.
    sent.clear();
    window->setMaximizedViewport(0);
    EXPECT_EQ(sent, QStringList{"VIEWPORT MANAGER:\nMaximized Viewport = -1\nEND\n"});
    window->setMaximizedViewport(3);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(window->getMaximizedViewport(), 3);
    EXPECT_EQ(window->getCurrentViewport(), "3");
    EXPECT_TRUE(viewer->viewportMaximized);
    EXPECT_EQ(viewer->ViewportNumber(nullptr), 3);

    // A view chosen from a caption's drop-down: that viewport shows it
    // (with nothing maximized, which would bring its viewport back).
    window->setMaximizedViewport(-1);
    ASSERT_TRUE(engine->sendCommand("> setViewportView cmd=copy, view=/VIEW:Side, viewport=1"));
    window->setViewport(3);
    emit window->getViewerWidget()->customViewSelected(2, "Side");
    EXPECT_EQ(window->getCurrentViewport(), "2");
    EXPECT_EQ(sent.last(), ">setViewportView cmd=set, view=/VIEW:Side, viewport=2");
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 2 View"), "Side");
    EXPECT_EQ(window->getViewerWidget()->getSplitter()->caption(2)->text(), "Side");

    // The synchronise action shows with several Cartesian views only.
    EXPECT_TRUE(Action("Synchronise Active Views")->isVisible());
    window->setViewport(1);
    engine->sendCommand("VIEW:View 4\nCoord Transform = 2D Meridional\nEND\n");
    EXPECT_FALSE(Action("Synchronise Active Views")->isVisible());
}

// Stand-in engine-process state for reading back values the real engine
// process would never store.
class FixedState : public RemoteEngineInterface {
public:
    QMap<QString, QMap<QString, QString>> objects;
    QString getParameter(const QString& p, const QString& n) override { return objects.value(p).value(n); }
    QMap<QString, QString> getParameters(const QString& p, bool) override { return objects.value(p); }
    QStringList getObjectNames(const QString&) override { return {}; }
    bool isActive() const override { return false; }
    bool sendCommand(const QString&) override { return true; }
    bool sendViewerAction(const QString&) override { return true; }
    bool sendObjectDefinition(const QString&, const QString&) override { return true; }
    QString lookupParameter(const QString& p, const QString& n) override { return getParameter(p, n); }
    bool hasParameter(const QString& p, const QString& n) override { return objects.value(p).contains(n); }
};

TEST_F(ViewerWindowTest, MaximizedViewportReadBack) {
    FixedState state;  // takes over from the engine process until it goes
    state.objects["/VIEWPORT MANAGER"]["Viewport Layout"] = "Horizontal And Vertical Split";
    for (const auto& [text, expected] : std::vector<std::pair<QString, int>>{{"5", -1}, {"abc", -1}, {"0", -1}, {"4", 4}}) {
        state.objects["/VIEWPORT MANAGER"]["Maximized Viewport"] = text;
        window->updatePDL();
        EXPECT_EQ(window->getMaximizedViewport(), expected) << text.toStdString();
    }
}

TEST_F(ViewerWindowTest, LayoutAndViewKeys) {
    struct LayoutKey {
        int key;
        const char* layout;
        int engineLayout;
    };
    for (const LayoutKey& k : {LayoutKey{Qt::Key_3, "Horizontal And Right Split", 6},
                               LayoutKey{Qt::Key_4, "Horizontal And Vertical Split", 8},
                               LayoutKey{Qt::Key_2, "Horizontal Split", 3}, LayoutKey{Qt::Key_1, "No Split", 1}}) {
        sent.clear();
        QTest::keyClick(window.get(), Qt::Key(k.key));
        EXPECT_EQ(sent, QStringList{QString("VIEWPORT MANAGER:\nViewport Layout = %1\nMaximized Viewport = -1\nEND\n")
                                        .arg(k.layout)});
        ASSERT_TRUE(Sync());
        EXPECT_EQ(viewer->viewportLayout, k.engineLayout) << k.layout;
    }
    struct ViewKey {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* camera;
    };
    for (const ViewKey& k : {ViewKey{Qt::Key_X, {}, "+X"}, ViewKey{Qt::Key_X, Qt::ShiftModifier, "-X"},
                             ViewKey{Qt::Key_X, Qt::ShiftModifier | Qt::ControlModifier, "+X"},
                             ViewKey{Qt::Key_Y, Qt::ShiftModifier, "-Y"}, ViewKey{Qt::Key_Z, {}, "+Z"},
                             ViewKey{Qt::Key_R, {}, "Isometric Y"}}) {
        sent.clear();
        QTest::keyClick(window.get(), k.key, k.mods);
        EXPECT_EQ(sent, QStringList{QString(">setcamera viewport=1, camera=%1\n").arg(k.camera)});
    }
    sent.clear();
    QTest::keyClick(window.get(), Qt::Key_C);
    EXPECT_EQ(sent, QStringList{">centerview 1"});
}

TEST_F(ViewerWindowTest, EngineKeysWithTheVariableSet) {
    qputenv("QOR_VIEWER_KEYS", "1");
    qtinput::click(Gl(), Centre(), Qt::RightButton);  // the engine takes keys once a viewport was pressed
    const bool axis = viewer->ViewportAxisShown();
    QTest::keyClick(window.get(), Qt::Key_A);
    EXPECT_NE(viewer->ViewportAxisShown(), axis);
    QTest::keyClick(window.get(), Qt::Key_1);
    EXPECT_TRUE(sent.isEmpty());
    qunsetenv("QOR_VIEWER_KEYS");
    QTest::keyClick(window.get(), Qt::Key_A);
    EXPECT_NE(viewer->ViewportAxisShown(), axis);
}

TEST_F(ViewerWindowTest, ArrowUndoAndOtherKeys) {
    const Transform* t = viewer->FindViewportByNumber(1)->view;
    const std::vector<float> start(t->rotation.value(), t->rotation.value() + 4);
    auto rotation = [&] { return std::vector<float>(t->rotation.value(), t->rotation.value() + 4); };
    QTest::keyPress(window.get(), Qt::Key_Down);
    const std::vector<float> rotated = rotation();
    EXPECT_NE(rotated, start);
    QTest::keyPress(window.get(), Qt::Key_Down, Qt::ShiftModifier);  // the light, not the view
    EXPECT_EQ(rotation(), rotated);
    QTest::keyClick(window.get(), Qt::Key_U);
    EXPECT_EQ(rotation(), start);
    QTest::keyClick(window.get(), Qt::Key_U, Qt::ShiftModifier);
    EXPECT_EQ(rotation(), rotated);

    viewer->outlineMode = OUTLINE_AUTO;
    for (int expected : {OUTLINE_NEVER, OUTLINE_MOVING, OUTLINE_AUTO}) {
        QTest::keyClick(window.get(), Qt::Key_S);
        EXPECT_EQ(viewer->outlineMode, expected);
    }
    // Space toggles between viewing and picking; N the projection.
    window->setMode(ViewerWindow::ViewingMode);
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(Action("New Selection")->isChecked());
    QTest::keyClick(window.get(), Qt::Key_Space);
    EXPECT_TRUE(Action("Rotate")->isChecked());
    sent.clear();
    QTest::keyClick(window.get(), Qt::Key_N);
    EXPECT_EQ(sent, QStringList{"VIEW:View 1\n  Projection = Perspective\nEND\n"});
}

TEST_F(ViewerWindowTest, ADragEndsWithTheEngineHoldingTheFinalCamera) {
    Use(Action("Rotate"));
    const QPoint from = Centre();
    qtinput::mouse(Gl(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    qtinput::mouse(Gl(), QEvent::MouseMove, from + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->isActive(); }, 5000));
    // The last move is drawn while the engine process is busy (here with a
    // request the viewer answers at its next poll), so its report is skipped.
    auto busy = engine->requestCamera("");
    ASSERT_TRUE(engine->isActive());
    qtinput::mouse(Gl(), QEvent::MouseMove, from + QPoint(120, 30), Qt::NoButton, Qt::LeftButton);
    Gl()->repaint();
    qtinput::mouse(Gl(), QEvent::MouseButtonRelease, from + QPoint(120, 30), Qt::LeftButton, Qt::NoButton);
    ASSERT_TRUE(Await(busy));
    const EngineProcess::Camera shown = Camera();
    const QString q = QString::asprintf("%g, %g, %g, %g", shown.quaternion[0], shown.quaternion[1],
                                        shown.quaternion[2], shown.quaternion[3]);
    auto held = [&] { return engine->getParameter("/VIEW:View 1/CAMERA", "Rotation Quaternion"); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return held() == q; }, 5000))
        << held().toStdString() << " against " << q.toStdString();
}

TEST_F(ViewerWindowTest, PanAndRotateToolsDragTheView) {
    const EngineProcess::Camera before = Camera();
    Use(Action("Pan"));
    qtinput::drag(Gl(), Centre(), Centre() + QPoint(80, 0), Qt::LeftButton);
    const EngineProcess::Camera panned = Camera();
    EXPECT_GT(panned.pan[0], before.pan[0] + 0.05f);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(panned.quaternion[i], before.quaternion[i]);

    sent.clear();
    Use(Action("Rotate"));
    // At a person's pace: every frame of the drag reports its camera, and a
    // report made while the engine process is still busy is skipped.
    const QPoint from = Centre(), to = Centre() + QPoint(80, 0);
    qtinput::mouse(Gl(), QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    for (int i = 1; i <= 4; ++i) {
        qtinput::mouse(Gl(), QEvent::MouseMove, from + (to - from) * i / 4, Qt::NoButton, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !engine->isActive(); }, 5000));
    }
    qtinput::mouse(Gl(), QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    const EngineProcess::Camera rotated = Camera();
    EXPECT_FLOAT_EQ(rotated.pan[0], panned.pan[0]);
    float change = 0;
    for (int i = 0; i < 4; ++i) change += std::abs(rotated.quaternion[i] - panned.quaternion[i]);
    EXPECT_GT(change, 0.1f);

    // The view change reported the new camera to the current view.
    auto g = [](float x) { return QString::asprintf("%g", x); };
    const QString expected =
        "VIEW:View 1\n  Camera Mode = User Specified\n  CAMERA:\n    Option = Pivot Point and Quaternion\n"
        "    Pivot Point = " + g(rotated.pivot[0]) + ", " + g(rotated.pivot[1]) + ", " + g(rotated.pivot[2]) +
        "\n    Scale = " + g(rotated.scale) + "\n    Pan = " + g(rotated.pan[0]) + ", " + g(rotated.pan[1]) +
        "\n    Rotation Quaternion = " + g(rotated.quaternion[0]) + ", " + g(rotated.quaternion[1]) + ", " +
        g(rotated.quaternion[2]) + ", " + g(rotated.quaternion[3]) + "\n    Send To Viewer = False\n  END\n\nEND\n";
    ASSERT_FALSE(sent.isEmpty());
    EXPECT_EQ(sent.last(), expected) << sent.last().toStdString();
    EXPECT_EQ(engine->getParameter("/VIEW:View 1/CAMERA", "Rotation Quaternion"),
              g(rotated.quaternion[0]) + ", " + g(rotated.quaternion[1]) + ", " + g(rotated.quaternion[2]) + ", " +
                  g(rotated.quaternion[3]))
        << engine->getParameter("/VIEW:View 1/CAMERA", "Rotation Quaternion").toStdString();
}

TEST_F(ViewerWindowTest, MouseMappingByName) {
    EXPECT_THROW(window->setMouseMapping(1, "Spin"), QString);
    try {
        window->setMouseMapping(1, "Spin");
    } catch (const QString& what) {
        EXPECT_EQ(what, "ViewerQtWidget::setMouseMapping - Invalid Mapping function, Spin");
    }
    EXPECT_TRUE(BoundTo(1, 0, 0));  // the built-in left button is unchanged

    // A zoom name also gives the plain wheel to zoom.
    viewer->SetWheelFunction(0, 25);
    window->setMouseMapping(513, "Zoom");
    EXPECT_TRUE(BoundTo(1, kCtrl, 1));
    qtinput::click(Gl(), Centre(), Qt::RightButton);  // the wheel turns the viewport pressed last
    const float scale = Camera().scale;
    qtinput::wheel(Gl(), Centre(), 120);
    EXPECT_NE(Camera().scale, scale);

    // "Camera Zoom" while the zoom tool is on rebinds the left button at once.
    Use(Action("Zoom"));
    EXPECT_TRUE(BoundTo(1, 0, 1));
    window->setMouseMapping(4, "Camera Zoom");
    EXPECT_EQ(window->getZoomFunctionName(), "Camera Zoom");
    EXPECT_TRUE(BoundTo(4, 0, 2));
    EXPECT_TRUE(BoundTo(1, 0, 2));
}

TEST_F(ViewerWindowTest, PickingModeBySelectionModeAndPickType) {
    struct Case {
        ViewerWindow::PickType type;
        ViewerWindow::SelectionMode mode;
        int left, ctrlLeft, pickMode;
        bool inside;
        float flood;
    };
    window->setPickCreaseAngle(30);
    window->setPickWithinSelection(false);
    for (const Case& c : {Case{ViewerWindow::PickObjects, ViewerWindow::SingleSelect, 13, 18, 3, true, 0},
                          Case{ViewerWindow::PickObjects, ViewerWindow::BoxSelect, 16, 18, 4, true, 0},
                          Case{ViewerWindow::PickObjects, ViewerWindow::FloodFillSelect, 20, 18, 4, true, 0},
                          Case{ViewerWindow::PickFaces, ViewerWindow::SingleSelect, 13, 18, 0, false, 0},
                          Case{ViewerWindow::PickFaces, ViewerWindow::BoxSelect, 16, 22, 1, false, 0},
                          Case{ViewerWindow::PickFaces, ViewerWindow::PolygonSelect, 15, 21, 1, false, 0},
                          Case{ViewerWindow::PickFaces, ViewerWindow::FloodFillSelect, 20, 23, 2, true, 30}}) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " mode " << c.mode);
        viewer->SetPickMode(5, false, 75);
        window->setPickType(c.type);
        window->setPickSelectionMode(c.mode);
        EXPECT_TRUE(BoundTo(1, 0, c.left));
        EXPECT_TRUE(BoundTo(1, kCtrl, c.ctrlLeft));
        EXPECT_EQ(viewer->interpreterPickMode, c.pickMode);
        EXPECT_EQ(viewer->pickInsideOnly, c.inside);
        EXPECT_FLOAT_EQ(viewer->floodAngle, c.flood);
        EXPECT_TRUE(Action("New Selection")->isChecked());
    }
    // An unknown selection mode changes nothing.
    window->setPickSelectionMode(ViewerWindow::SelectionMode(7));
    EXPECT_EQ(window->getPickSelectionMode(), ViewerWindow::FloodFillSelect);
}

TEST_F(ViewerWindowTest, BoxSelectionReportsTheObjectsInside) {
    // The drop-down's face shows the current mode; choosing Box Select from
    // it puts the window into box picking.
    auto* face = [&] {
        for (QToolButton* b : window->findChildren<QToolButton*>())
            if (b->menu() && b->defaultAction() && b->defaultAction()->objectName() == "Single Select") return b;
        return static_cast<QToolButton*>(nullptr);
    }();
    ASSERT_NE(face, nullptr);
    QStringList modes;
    for (QAction* a : face->menu()->actions()) modes << a->objectName();
    EXPECT_EQ(modes.join(","), "Single Select,Box Select,Polygon Select");
    face->menu()->actions().at(1)->trigger();
    QTest::qWait(10);  // the previous drop-down goes
    EXPECT_EQ(window->getPickSelectionMode(), ViewerWindow::BoxSelect);
    QToolButton* now = nullptr;
    for (QToolButton* b : window->findChildren<QToolButton*>())
        if (b->menu() && b->defaultAction()) now = b;
    ASSERT_NE(now, nullptr);
    EXPECT_EQ(now->defaultAction()->objectName(), "Box Select");

    const int tetId = viewer->FindGraphic(EngineProcess::viewerNameFor("tet").toStdString().c_str())->objectid;
    auto pickedIds = [&] {
        std::set<int> ids;
        for (const PickRecord& r : viewer->renderer->hits()) ids.insert(r.objectId);
        return ids;
    };
    // A box in an empty corner picks nothing; one round the whole view the
    // tetrahedron.
    qtinput::drag(Gl(), QPoint(5, 5), QPoint(30, 30), Qt::LeftButton);
    EXPECT_TRUE(pickedIds().empty());
    qtinput::drag(Gl(), QPoint(3, 3), QPoint(Gl()->width() - 3, Gl()->height() - 25), Qt::LeftButton);
    EXPECT_EQ(pickedIds(), std::set<int>{tetId});
}

TEST_F(ViewerWindowTest, HighlightingShowsAndHidesTheSelection) {
    const std::string box = EngineProcess::highlightNameFor("tet").toStdString();
    window->selectObject({"tet", "domain"});
    EXPECT_EQ(window->getHighlightSet(),
              (std::set<QString>{":DOMAIN:tet:0:Cartesian_bbox", "tet:DOMAIN:tet:0:Cartesian_bbox"}));
    EXPECT_EQ(window->getSelectedNames(), (std::set<QString>{":DOMAIN:tet", "tet:DOMAIN:tet"}));
    EXPECT_FALSE(Visible(box.c_str()));  // highlighting is off

    Use(Action("Highlighting"));
    EXPECT_TRUE(window->getHighlight());
    EXPECT_TRUE(Visible(box.c_str()));
    Use(Action("Highlighting"));
    EXPECT_FALSE(Visible(box.c_str()));

    // Forced highlighting shows without the toggle; an empty name clears.
    window->setForceHighlight(true);
    window->selectObject({"tet", "DOMAIN"});
    EXPECT_TRUE(Visible(box.c_str()));
    window->selectObject({"", "DOMAIN"});
    EXPECT_FALSE(Visible(box.c_str()));
    EXPECT_TRUE(window->getHighlightSet().empty());
    EXPECT_TRUE(window->getSelectedNames().empty());
}

TEST_F(ViewerWindowTest, BoundingBoxSelectionOfPaths) {
    // The extended application names its objects without a domain.
    for (const char* name : {":DOMAIN:a:0:Cartesian", ":DOMAIN:a:0:Cartesian_bbox"}) {
        ASSERT_TRUE(viewer->NewGraphic(name));
        viewer->SetGraphicProperty(PROP_VISIBILITY, std::string(name).ends_with("bbox") ? 0.0f : 1.0f,
                                   viewer->currentGraphic);
    }
    window->setHighlight(true);
    const std::set<QString> selection{"/DOMAIN:a"};
    window->updateBBoxSelection(selection);
    EXPECT_TRUE(Visible(":DOMAIN:a:0:Cartesian_bbox"));
    EXPECT_FALSE(Visible(":DOMAIN:a:0:Cartesian"));  // face highlighting hides the face object
    // The same set again changes nothing, also after the user showed the face.
    viewer->SetGraphicProperty(PROP_VISIBILITY, 1.0f, viewer->FindGraphic(":DOMAIN:a:0:Cartesian"));
    window->updateBBoxSelection(selection);
    EXPECT_TRUE(Visible(":DOMAIN:a:0:Cartesian_bbox"));
    EXPECT_TRUE(Visible(":DOMAIN:a:0:Cartesian"));
    window->updateBBoxSelection({});
    EXPECT_FALSE(Visible(":DOMAIN:a:0:Cartesian_bbox"));
    EXPECT_TRUE(window->getHighlightSet().empty());
}

TEST_F(ViewerWindowTest, NameMatchingAndEnabling) {
    const QString surface = EngineProcess::viewerNameFor("tet"), box = EngineProcess::highlightNameFor("tet");
    // Both engine objects of the domain's path, and those named with its domain.
    std::vector<QString> inTet{surface};
    if (box.startsWith("tet:")) inTet.push_back(box);
    struct Case {
        const char* path;
        const char* domain;
        int instance;
        const char* frame;
        std::vector<QString> expected;
    };
    for (const Case& c : {Case{"/DOMAIN:tet", "__ALL DOMAINS__", -1, "", {surface, box}},
                          Case{"/DOMAIN:tet", "tet", -1, "Cartesian", inTet},
                          Case{"/DOMAIN:tet", "other", -1, "", {}}, Case{"/DOMAIN:tet", "tet", 0, "", {}},
                          Case{"/DOMAIN:tet", "tet", -1, "3D Turbo", {}}, Case{"/DOMAIN:te", "tet", -1, "", {}}}) {
        SCOPED_TRACE(std::string(c.path) + " " + c.domain + " " + std::to_string(c.instance) + " " + c.frame);
        EXPECT_EQ(window->getMatchingViewerNames(c.path, c.domain, c.instance, c.frame), c.expected);
    }
    EXPECT_EQ(window->getMatchingViewerNamesByType("", "DOMAIN", "__ALL DOMAINS__", -1, ""),
              (std::vector<QString>{surface, box}));
    EXPECT_TRUE(window->getMatchingViewerNamesByType("", "VIEW", "__ALL DOMAINS__", -1, "").empty());

    vkoGraphicObj* tet = viewer->FindGraphic(surface.toStdString().c_str());
    window->setObjectEnabled("/DOMAIN:tet", false);
    EXPECT_FALSE(tet->visibility2);
    EXPECT_TRUE(window->isPickRecordVisible(PickRecord{1.0f, tet->objectid, 1, -1}));
    EXPECT_FALSE(window->isPickRecordVisible(PickRecord{1.0f, 9999, 1, -1}));
    window->enableAllObjects();
    EXPECT_TRUE(tet->visibility2);
}

TEST_F(ViewerWindowTest, FaceHighlightMeshes) {
    vkoGraphicObj* tet = viewer->FindGraphic(EngineProcess::viewerNameFor("tet").toStdString().c_str());
    const PickRecord records[] = {{1.0f, tet->objectid, -1, 0}, {1.0f, tet->objectid, -1, 2},
                                  {1.0f, tet->objectid, -1, 99}, {1.0f, tet->objectid, -1, -1}};
    window->appendHighlightedMeshFaces("picked", 1, 0, 0, 2, 4, records);
    vkoGraphicObj* picked = viewer->FindGraphic("picked");
    ASSERT_NE(picked, nullptr);
    ASSERT_NE(picked->data, nullptr);
    EXPECT_EQ(picked->data->numFaces, 2);  // faces 0 and 2; 99 and the whole-object record are skipped
    EXPECT_EQ(picked->data->numVertices, 6);
    EXPECT_EQ(std::vector<float>(picked->data->vertexCoords.begin(), picked->data->vertexCoords.begin() + 9),
              std::vector<float>(tet->data->vertexCoords.begin(), tet->data->vertexCoords.begin() + 9));
    EXPECT_FALSE(picked->pickable);
    window->clearHighlightedMeshFaces("picked");
    EXPECT_EQ(viewer->FindGraphic("picked"), nullptr);
}

TEST_F(ViewerWindowTest, CoordinateFramesChangeTheViewActions) {
    AppWindowBase host;  // a host that works with coordinate frames
    host.setFrameQuery(true);
    auto* frames = window->findChild<QComboBox*>("Coordinate Frame");
    ASSERT_NE(frames, nullptr);
    EXPECT_EQ(frames->count(), 4);
    emit frames->textActivated("Meridional (A-R)");
    EXPECT_EQ(sent, QStringList{"VIEW:View 1\nCoord Transform = 2D Meridional\nEND\n>centerview 1"});
    window->updateViewportPDL();
    QTest::qWait(10);
    EXPECT_TRUE(frames->isVisibleTo(window.get())) << frames->geometry().x() << " " << frames->parentWidget()->metaObject()->className();
    EXPECT_EQ(frames->currentText(), "Meridional (A-R)");
    EXPECT_FALSE(Action("Perspective")->isEnabled());
    EXPECT_FALSE(Action("View Towards +A")->isEnabled());
    for (const char* t : {"View Towards +A", "View Towards -T", "View Towards +R", "Isometric View (A up)",
                          "Isometric View (T up)", "Isometric View (R up)"})
        EXPECT_NE(Action(t), nullptr) << t;

    engine->sendCommand("VIEW:View 1\nCoord Transform = 3D Turbo\nEND\n");
    window->updateViewportPDL();
    EXPECT_TRUE(Action("Perspective")->isEnabled());
    EXPECT_EQ(Action("Isometric View (T up)")->text(), "Isometric View (T up)");
    EXPECT_NE(Action("View Towards +S"), nullptr);
}

// Pictures of the window for a person to look at: two layouts and a
// highlighted selection.
TEST_F(ViewerWindowTest, Screenshots) {
    const QString dir = QString::fromStdString(testsupport::ScratchDir("viewer_window"));
    auto snap = [&](const char* name) {
        ASSERT_TRUE(Sync());
        QTest::qWait(200);
        EXPECT_TRUE(window->grab().save(dir + "/" + name));
    };
    snap("window_single.png");
    window->setHighlight(true);
    window->selectObject({"tet", "DOMAIN"});
    snap("window_highlight.png");
    QTest::keyClick(window.get(), Qt::Key_4);
    ASSERT_TRUE(Sync());  // the viewer shows the four viewports before the drag into the fourth
    qtinput::drag(Gl(), QPoint(Gl()->width() / 4, Gl()->height() / 4), QPoint(Gl()->width() / 4 + 40, Gl()->height() / 4 + 30),
                  Qt::LeftButton);
    snap("window_four.png");
}

}  // namespace
