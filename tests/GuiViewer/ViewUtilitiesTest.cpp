// The view utilities: the command texts they send for the current viewport,
// their queries over the viewport manager, hiding and showing objects and
// switching views carried out by the engine process on the viewer, and the
// key help dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMetaObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <unistd.h>

#include "GuiTestSupport.h"
#include "GuiViewer/src/ViewUtilities.h"
#include "GuiViewer/src/ViewerHelpDialog.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/ViewportCaption.h"
#include "GuiViewer/src/ViewportSplitter.h"
#include "GuiViewer/src/host/RemoteEngineInterface.h"
#include "scene/Transform.h"
#include "scene/vkoViewport.h"

namespace {

using guitest::Await;

// An engine process that only answers from a table and records what it is
// sent, so that the texts can be compared exactly.
class FakeEngine : public RemoteEngineInterface {
public:
    QMap<QString, QMap<QString, QString>> params;
    QStringList sent;
    bool accept = true;  // what sendCommand answers

    QString getParameter(const QString& path, const QString& name) override { return params[path].value(name); }
    QMap<QString, QString> getParameters(const QString& path, bool) override { return params[path]; }
    QStringList getObjectNames(const QString&) override { return {}; }
    bool isActive() const override { return false; }
    bool sendCommand(const QString& text) override {
        sent << text;
        return accept;
    }
    bool sendViewerAction(const QString& text) override { return sendCommand(text); }
    bool sendObjectDefinition(const QString&, const QString& text) override { return sendCommand(text); }
    QString lookupParameter(const QString& path, const QString& name) override { return getParameter(path, name); }
    bool hasParameter(const QString& path, const QString& name) override { return params[path].contains(name); }
};

// A viewer window on a connection nobody writes to, over the fake engine.
class ViewUtilitiesTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        ASSERT_TRUE(EngineProcess::loopbackPair(engineSide, viewerSide));
        QMap<QString, QString>& manager = fake.params["/VIEWPORT MANAGER"];
        manager["Viewport Layout"] = "Horizontal And Vertical Split";
        manager["Maximized Viewport"] = "-1";
        for (int n = 1; n <= 4; ++n) manager[QString("Viewport %1 View").arg(n)] = QString("V%1").arg(n);
        window = std::make_unique<ViewerWindow>(viewerSide, viewerSide, nullptr, "Viewer Window", Qt::WindowFlags(),
                                                ViewerWindow::StandardApplication);
        ViewUtilities::registerViewerWindow(window.get());
        fake.sent.clear();
    }
    void TearDown() override {
        window.reset();
        ViewUtilities::registerViewerWindow(nullptr);
        if (engineSide >= 0) ::close(engineSide);
        if (viewerSide >= 0) ::close(viewerSide);
    }
    std::string CaptionText(int n) { return window->getViewerWidget()->getSplitter()->caption(n)->text().toStdString(); }
    std::string Sent() const { return fake.sent.join("\n--\n").toStdString(); }

    FakeEngine fake;
    int engineSide = -1, viewerSide = -1;
    std::unique_ptr<ViewerWindow> window;
};

TEST_F(ViewUtilitiesTextTest, CommandTextsNameTheCurrentViewportAndItsView) {
    struct Case {
        const char* what;
        std::function<void()> run;
        // %1 the current viewport, %2 its view name.
        QString text;
        bool labels;  // the current caption then shows "New"
    };
    const Case cases[] = {
        {"set", [] { ViewUtilities::setView("/VIEW:New"); }, ">setViewportView cmd=set, view=/VIEW:New, viewport=%1",
         true},
        {"deep copy", [] { ViewUtilities::generateNewView("/VIEW:New", true); },
         "> setViewportView cmd=copy, view=/VIEW:New, viewport=%1", true},
        {"shallow copy", [] { ViewUtilities::generateNewView("/VIEW:New", false); },
         "> setViewportView cmd=shallow_copy, view=/VIEW:New, viewport=%1", true},
        {"single", [] { ViewUtilities::setSingleView("/VIEW:New"); },
         "# Setting Single View: /VIEW:New\nVIEWPORT MANAGER:\n  Viewport Layout = No Split\n"
         "  Maximized Viewport = -1\nEND\n>setViewportView cmd=set, view=/VIEW:New, viewport=1",
         false},
        {"hide", [] { ViewUtilities::setObjectVisibility("/DOMAIN:a/PART:b", false); },
         "# Sending visibility action from ViewUtilities\n>hide /DOMAIN:a/PART:b, view=/VIEW:%2\n", false},
        {"show", [] { ViewUtilities::setObjectVisibility("/DOMAIN:a", true); },
         "# Sending visibility action from ViewUtilities\n>show /DOMAIN:a, view=/VIEW:%2\n", false},
        {"toggle", [] { ViewUtilities::toggleObjectVisibility("/DOMAIN:a"); }, ">toggle /DOMAIN:a, view=/VIEW:%2\n",
         false},
    };
    for (int viewport : {1, 3}) {
        window->setViewport(viewport);
        ASSERT_EQ(ViewUtilities::getViewNumberForCurrentViewport(), QString::number(viewport));
        const QString view = QString("V%1").arg(viewport);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " in viewport " + std::to_string(viewport));
            window->setViewportLabel(ViewUtilities::getDefaultView(viewport), "before");
            fake.sent.clear();
            c.run();
            EXPECT_EQ(Sent(), QString(c.text).replace("%1", QString::number(viewport)).replace("%2", view).toStdString());
            EXPECT_EQ(CaptionText(viewport), c.labels ? "New" : "before");
        }
    }
}

TEST_F(ViewUtilitiesTextTest, ARefusedViewLeavesTheCaption) {
    window->setViewportLabel("View 1", "V1");
    fake.accept = false;
    ViewUtilities::setView("/VIEW:Missing");
    ViewUtilities::generateNewView("/VIEW:V2", true);
    EXPECT_EQ(fake.sent.size(), 2);
    EXPECT_EQ(CaptionText(1), "V1");
}

TEST_F(ViewUtilitiesTextTest, OnlyShowAndHideAreAnnounced) {
    QSignalSpy spy(ViewUtilities::getSignals(), &ViewUtilitiesSignals::objectVisibilityChanged);
    ViewUtilities::setObjectVisibility("/DOMAIN:a", false);
    ViewUtilities::toggleObjectVisibility("/DOMAIN:a");
    ViewUtilities::setObjectVisibility("/DOMAIN:b", true);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy[0][0].toString(), "/DOMAIN:a");
    EXPECT_FALSE(spy[0][1].toBool());
    EXPECT_EQ(spy[1][0].toString(), "/DOMAIN:b");
    EXPECT_TRUE(spy[1][1].toBool());
    // Nothing changed when the engine process refused the text.
    fake.accept = false;
    ViewUtilities::setObjectVisibility("/DOMAIN:nothing", false);
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(ViewUtilitiesTextTest, ViewOfAViewportWithoutAName) {
    fake.params["/VIEWPORT MANAGER"]["Viewport 1 View"] = "";
    EXPECT_EQ(ViewUtilities::getViewNameForCurrentViewport(), "");
    EXPECT_EQ(ViewUtilities::getViewForCurrentViewport(), "");
    EXPECT_EQ(ViewUtilities::getSetObjectVisibilityPDL("/DOMAIN:a", true),
              "# Sending visibility action from ViewUtilities\n>show /DOMAIN:a, view=/\n");
    EXPECT_FALSE(ViewUtilities::isCurrentViewDefault());
    // The named ones still answer, by number and by text.
    EXPECT_EQ(ViewUtilities::getViewForViewportNum(2), "VIEW:V2");
    EXPECT_EQ(ViewUtilities::getViewForViewport("4"), "VIEW:V4");
    EXPECT_EQ(ViewUtilities::getViewNameForViewport("3"), "V3");
    EXPECT_EQ(ViewUtilities::getViewForViewportNum(5), "");
}

TEST_F(ViewUtilitiesTextTest, DefaultViews) {
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(ViewUtilities::getDefaultView(n), QString("View %1").arg(n));
    EXPECT_EQ(ViewUtilities::getDefaultView(0), "");
    EXPECT_EQ(ViewUtilities::getDefaultView(5), "");
    for (const char* name : {"View 1", "View 2", "View 3", "View 4"}) EXPECT_TRUE(ViewUtilities::isADefaultView(name));
    for (const char* name : {"View 5", "view 1", "View 1 ", "View", ""}) EXPECT_FALSE(ViewUtilities::isADefaultView(name));

    EXPECT_FALSE(ViewUtilities::isCurrentViewDefault());
    fake.params["/VIEWPORT MANAGER"]["Viewport 1 View"] = "View 3";
    EXPECT_TRUE(ViewUtilities::isCurrentViewDefault());
}

TEST_F(ViewUtilitiesTextTest, ViewportsShownAndTheirViews) {
    QMap<QString, QString>& manager = fake.params["/VIEWPORT MANAGER"];
    const std::pair<const char*, int> layouts[] = {
        {"No Split", 1},
        {"Horizontal Split", 2},
        {"Vertical Split", 2},
        {"Horizontal And Right Split", 3},
        {"Vertical And Bottom Split", 3},
        {"Horizontal And Left Split", 3},
        {"Vertical And Top Split", 3},
        {"Horizontal And Vertical Split", 4},
        {"", 3},
        {"no split", 3},
    };
    for (const auto& [layout, shown] : layouts) {
        manager["Viewport Layout"] = layout;
        EXPECT_EQ(ViewUtilities::getNumViewportsShown(), shown) << layout;
        EXPECT_EQ(ViewUtilities::getActiveViewNames().size(), shown) << layout;
    }

    // Three viewports shown, the second without a view; viewport 4 is not
    // shown, so its frame does not count.
    manager["Viewport Layout"] = "Vertical And Bottom Split";
    manager["Viewport 2 View"] = "";
    EXPECT_EQ(ViewUtilities::getActiveViewNames(), (QStringList{"V1", "V3"}));
    fake.params["/VIEW:V1"]["Coord Transform"] = "Cartesian";
    fake.params["/VIEW:V3"]["Coord Transform"] = "Cartesian";
    fake.params["/VIEW:V4"]["Coord Transform"] = "3D Turbo";
    EXPECT_TRUE(ViewUtilities::areAllActiveViewsCartesian());
    fake.params["/VIEW:V3"]["Coord Transform"] = "2D Meridional";
    EXPECT_FALSE(ViewUtilities::areAllActiveViewsCartesian());
    fake.params["/VIEW:V3"].remove("Coord Transform");
    EXPECT_FALSE(ViewUtilities::areAllActiveViewsCartesian());
}

TEST_F(ViewUtilitiesTextTest, VisibleInTheCurrentViewByItsList) {
    fake.params["/VIEW:V1"]["Object Visibility List"] = "/DOMAIN:a, /DOMAIN:b/PART:c";
    EXPECT_TRUE(ViewUtilities::isVisibleInCurrentView("/DOMAIN:a"));
    EXPECT_TRUE(ViewUtilities::isVisibleInCurrentView("/DOMAIN:b/PART:c"));
    EXPECT_FALSE(ViewUtilities::isVisibleInCurrentView("/DOMAIN:b"));
    EXPECT_FALSE(ViewUtilities::isVisibleInCurrentView("/domain:a"));
    // Another viewport's view has its own list.
    window->setViewport(2);
    EXPECT_FALSE(ViewUtilities::isVisibleInCurrentView("/DOMAIN:a"));
}

TEST_F(ViewUtilitiesTextTest, NothingIsSentWithoutAWindow) {
    ViewUtilities::registerViewerWindow(nullptr);
    QSignalSpy spy(ViewUtilities::getSignals(), &ViewUtilitiesSignals::objectVisibilityChanged);
    ViewUtilities::setView("/VIEW:V2");
    ViewUtilities::generateNewView("/VIEW:New", true);
    ViewUtilities::setSingleView("/VIEW:V2");
    ViewUtilities::setObjectVisibility("/DOMAIN:a", false);
    ViewUtilities::toggleObjectVisibility("/DOMAIN:a");
    EXPECT_TRUE(fake.sent.isEmpty()) << fake.sent.join("|").toStdString();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(ViewUtilities::getViewNameForCurrentViewport(), "");
    EXPECT_EQ(ViewUtilities::getNumViewportsShown(), 0);
    EXPECT_TRUE(ViewUtilities::isADefaultView("View 2"));
}

// ---- with the engine process carrying the texts out on the viewer

class ViewUtilitiesEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        engine = std::make_unique<EngineProcess>();
        ASSERT_GE(engine->viewerReadSocket(), 0);
        window = std::make_unique<ViewerWindow>(engine->viewerReadSocket(), engine->viewerWriteSocket(), nullptr,
                                                "Viewer Window", Qt::WindowFlags(), ViewerWindow::StandardApplication);
        viewer = window->getViewer();
        ASSERT_NE(viewer, nullptr);
        ASSERT_EQ(ViewUtilities::getViewerWindow(), window.get());
        QObject::connect(engine.get(), &EngineProcess::stateChanged, window.get(), &ViewerWindow::updatePDL);
        window->resize(700, 520);
        window->show();
        ASSERT_TRUE(engine->addMesh("tet", guitest::Tetrahedron()));
        ASSERT_TRUE(engine->addMesh("other", guitest::Tetrahedron()));
        ASSERT_TRUE(Sync());
    }
    void TearDown() override {
        window.reset();  // the viewer goes before its connection
        engine.reset();
    }
    bool Sync() {
        auto f = engine->requestCamera("");
        return Await(f) && f.get().ok;
    }
    void Layout(int index) {
        ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "setLayout", Q_ARG(int, index)));
        ASSERT_TRUE(Sync());
    }
    // The viewer's own account (its DUMP_STATE file) of the objects viewport n
    // shows.
    QStringList ObjectsOf(int n) {
        const QString path = QString::fromStdString(testsupport::ScratchDir("view_utilities")) + "/state.txt";
        QFile::remove(path);
        auto done = engine->dumpState(path);
        if (!Await(done) || !done.get()) return {"(no dump)"};
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return {"(no dump)"};
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        // "++ VIEWPORT", "\tviewportname = ViewportN", ... "++ OBJECTS", a
        // name a line, "-- OBJECTS", ... "-- VIEWPORT".
        QStringList objects;
        bool inViewport = false, inObjects = false;
        for (const QString& line : lines) {
            if (line == "-- VIEWPORT") {
                inViewport = false;
            } else if (line.trimmed().startsWith("viewportname =")) {
                inViewport = line.trimmed() == QString("viewportname = Viewport%1").arg(n);
            } else if (inViewport && line == "++ OBJECTS") {
                inObjects = true;
            } else if (line == "-- OBJECTS") {
                inObjects = false;
            } else if (inViewport && inObjects) {
                objects << line;
            }
        }
        return objects;
    }
    static QString Surface(const char* domain) { return EngineProcess::viewerNameFor(domain); }
    ViewportCaption* Caption(int n) { return window->getViewerWidget()->getSplitter()->caption(n); }

    std::unique_ptr<EngineProcess> engine;
    std::unique_ptr<ViewerWindow> window;
    vkoViewer* viewer = nullptr;
};

TEST_F(ViewUtilitiesEngineTest, HideShowAndToggleReachTheViewer) {
    ASSERT_EQ(ObjectsOf(1).count(Surface("tet")), 1);
    ViewUtilities::setObjectVisibility("/DOMAIN:tet", false);
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(ObjectsOf(1).contains(Surface("tet")));
    EXPECT_TRUE(ObjectsOf(1).contains(Surface("other")));
    EXPECT_FALSE(ViewUtilities::isVisibleInCurrentView("/DOMAIN:tet"));
    EXPECT_TRUE(ViewUtilities::isVisibleInCurrentView("/DOMAIN:other"));

    ViewUtilities::setObjectVisibility("/DOMAIN:tet", true);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(ObjectsOf(1).count(Surface("tet")), 1);

    ViewUtilities::toggleObjectVisibility("/DOMAIN:other");
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(ObjectsOf(1).contains(Surface("other")));
    ViewUtilities::toggleObjectVisibility("/DOMAIN:other");
    ASSERT_TRUE(Sync());
    EXPECT_EQ(ObjectsOf(1).count(Surface("other")), 1);
}

TEST_F(ViewUtilitiesEngineTest, HidingActsOnTheCurrentViewportsViewOnly) {
    Layout(1);
    window->setViewport(2);
    ViewUtilities::generateNewView("/VIEW:Side", true);
    ASSERT_TRUE(Sync());
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 2 View"), "Side");
    EXPECT_EQ(Caption(2)->text(), "Side");
    ViewUtilities::setObjectVisibility("/DOMAIN:tet", false);
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(ObjectsOf(2).contains(Surface("tet")));
    EXPECT_TRUE(ObjectsOf(1).contains(Surface("tet")));
}

TEST_F(ViewUtilitiesEngineTest, SwitchingAViewportsViewByItsCaption) {
    Layout(1);
    window->setViewport(2);
    ViewUtilities::generateNewView("/VIEW:Side", false);
    ViewUtilities::setObjectVisibility("/DOMAIN:tet", false);
    ASSERT_TRUE(Sync());

    // Viewport 1's drop-down, as the user opens it, lists "Side".
    QMenu* menu = Caption(1)->findChild<QToolButton*>("Viewport Arrow")->menu();
    emit menu->aboutToShow();
    QAction* side = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == "Side") side = a;
    ASSERT_NE(side, nullptr);
    side->trigger();
    ASSERT_TRUE(Sync());
    EXPECT_EQ(window->getCurrentViewport(), "1");
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 1 View"), "Side");
    EXPECT_EQ(Caption(1)->text(), "Side");
    EXPECT_FALSE(ObjectsOf(1).contains(Surface("tet")));
    EXPECT_TRUE(ObjectsOf(1).contains(Surface("other")));
    EXPECT_EQ(ViewUtilities::getViewForCurrentViewport(), "VIEW:Side");
}

TEST_F(ViewUtilitiesEngineTest, SingleViewFromFourViewports) {
    Layout(7);
    window->setViewport(3);
    ViewUtilities::setSingleView("/VIEW:View 2");
    ASSERT_TRUE(Sync());
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport Layout"), "No Split");
    EXPECT_EQ(engine->getParameter("/VIEWPORT MANAGER", "Viewport 1 View"), "View 2");
    EXPECT_EQ(viewer->viewportLayout, 1);
    EXPECT_EQ(ViewUtilities::getNumViewportsShown(), 1);
    EXPECT_EQ(ViewUtilities::getActiveViewNames(), QStringList{"View 2"});
}

// ---- the key help

TEST(ViewerHelpDialogTest, ListsTheViewerKeys) {
    if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
    // The keys of the viewer window's key handler and what they do.
    const std::vector<std::pair<QString, QString>> keys = {
        {"space", "Picking/viewing mode"},
        {"arrow keys", "Rotate about X and Y"},
        {"Ctrl-up/down", "Rotate about Z"},
        {"Shift-arrows", "Move light"},
        {"1, 2, 3, 4", "Set number of viewports"},
        {"c", "Fit view"},
        {"n", "Orthographic/perspective"},
        {"r", "Reset view"},
        {"s", "Level-of-detail (auto/off/on)"},
        {"u", "Undo transformation"},
        {"U", "Redo transformation"},
        {"x, y, z", "View down +X, +Y, +Z"},
        {"X, Y, Z", "View down -X, -Y, -Z"},
    };
    ViewerHelpDialog dialog(nullptr, "Viewer Help");
    EXPECT_EQ(dialog.objectName(), "Viewer Help");
    EXPECT_EQ(dialog.windowTitle(), "Viewer Key Mapping");
    EXPECT_FALSE(dialog.isModal());
    const QString text = dialog.textLabel()->text();
    ASSERT_TRUE(text.startsWith("<table>") && text.endsWith("</table>")) << text.toStdString();
    static const QRegularExpression row("<tr><td><b>(.*?)</b></td><td>(.*?)</td></tr>");
    std::vector<std::pair<QString, QString>> shown;
    for (auto it = row.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        shown.emplace_back(m.captured(1), m.captured(2));
    }
    EXPECT_EQ(shown, keys);
    EXPECT_EQ(text.size(), ViewerHelpDialog::helpText().size());  // nothing between the rows

    QPushButton* close = dialog.findChild<QPushButton*>();
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), "&Close");
    EXPECT_TRUE(close->isDefault());
    dialog.show();
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(ViewUtilitiesEngineTest, TheHelpActionShowsOneDialog) {
    QAction* help = window->findChild<QAction*>("Show Viewer Help Dialog");
    ASSERT_NE(help, nullptr);
    help->trigger();
    auto dialogs = window->findChildren<ViewerHelpDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    ViewerHelpDialog* dialog = dialogs[0];
    EXPECT_EQ(dialog->objectName(), "Viewer Help");
    EXPECT_TRUE(dialog->isVisible());
    dialog->hide();
    help->trigger();
    EXPECT_EQ(window->findChildren<ViewerHelpDialog*>().size(), 1);
    EXPECT_TRUE(dialog->isVisible());
}

// Each row of the key help says what its keys do in the viewer window: do
// they?
TEST_F(ViewUtilitiesEngineTest, EveryHelpRowDoesWhatItSays) {
    vkoViewport* vp = viewer->FindViewportByNumber(1);
    ASSERT_TRUE(vp && vp->view);
    using Q = std::array<float, 4>;
    auto rotation = [&] {
        const float* q = viewer->FindViewportByNumber(viewer->ViewportNumber(nullptr))->view->rotation.value();
        return Q{q[0], q[1], q[2], q[3]};
    };
    auto same = [](const Q& a, const Q& b) {
        for (int i = 0; i < 4; ++i)
            if (std::abs(a[i] - b[i]) > 1e-4f) return false;
        return true;
    };
    auto press = [&](int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(window.get(), Qt::Key(key), mods);
        EXPECT_TRUE(Sync());
    };
    QAction* rotate = window->findChild<QAction*>("Rotate");
    QAction* select = window->findChild<QAction*>("New Selection");
    ASSERT_TRUE(rotate && select);

    const std::map<QString, std::function<bool()>> checks = {
        {"space",
         [&] {
             press(Qt::Key_Space);
             const bool viewing = rotate->isChecked();
             press(Qt::Key_Space);
             return viewing && select->isChecked() && !rotate->isChecked();
         }},
        {"arrow keys",
         [&] {
             const Q q0 = rotation();
             press(Qt::Key_Down);
             const Q q1 = rotation();
             press(Qt::Key_Left);
             return !same(q0, q1) && !same(q1, rotation());
         }},
        {"Ctrl-up/down",
         [&] {
             const Q q0 = rotation();
             press(Qt::Key_Up, Qt::ControlModifier);
             const Q aboutZ = rotation();
             press(Qt::Key_U);
             press(Qt::Key_Up);
             return !same(q0, aboutZ) && !same(aboutZ, rotation());
         }},
        {"Shift-arrows",
         [&] {
             const float a = vp->lightAngleXToZ, b = vp->lightAngleZToY;
             press(Qt::Key_Left, Qt::ShiftModifier);
             const bool first = vp->lightAngleXToZ != a;
             press(Qt::Key_Up, Qt::ShiftModifier);
             return first && vp->lightAngleZToY != b;
         }},
        {"1, 2, 3, 4",
         [&] {
             bool all = true;
             for (int n = 4; n >= 1; --n) {
                 press(Qt::Key_0 + n);
                 all = all && ViewUtilities::getNumViewportsShown() == n;
             }
             return all;
         }},
        {"c",
         [&] {
             const float fitted = vp->view->scale;
             vp->view->scale = fitted * 5;
             press(Qt::Key_C);
             return std::abs(vp->view->scale - fitted * 5) > 1e-3f * fitted;
         }},
        {"n",
         [&] {
             const QString before = engine->getParameter("/VIEW:View 1", "Projection");
             press(Qt::Key_N);
             const QString after = engine->getParameter("/VIEW:View 1", "Projection");
             press(Qt::Key_N);
             return before != after && engine->getParameter("/VIEW:View 1", "Projection") == before;
         }},
        {"r",
         [&] {
             press(Qt::Key_X);
             const Q x = rotation();
             press(Qt::Key_R);
             const Q reset = rotation();
             press(Qt::Key_Z);
             press(Qt::Key_R);
             return !same(x, reset) && same(reset, rotation());
         }},
        {"s",
         [&] {
             const int m = viewer->outlineMode;
             press(Qt::Key_S);
             const bool changed = viewer->outlineMode != m;
             press(Qt::Key_S);
             press(Qt::Key_S);
             return changed && viewer->outlineMode == m;
         }},
        {"u",
         [&] {
             const Q q0 = rotation();
             press(Qt::Key_Right);
             press(Qt::Key_U);
             return same(q0, rotation());
         }},
        {"U",
         [&] {
             press(Qt::Key_Right);
             const Q q1 = rotation();
             press(Qt::Key_U);
             press(Qt::Key_U, Qt::ShiftModifier);
             return same(q1, rotation());
         }},
        {"x, y, z",
         [&] {
             press(Qt::Key_X);
             const Q x = rotation();
             press(Qt::Key_Y);
             const Q y = rotation();
             press(Qt::Key_Z);
             return !same(x, y) && !same(y, rotation()) && !same(x, rotation());
         }},
        {"X, Y, Z",
         [&] {
             bool all = true;
             for (int key : {Qt::Key_X, Qt::Key_Y, Qt::Key_Z}) {
                 press(key);
                 const Q plus = rotation();
                 press(key, Qt::ShiftModifier);
                 all = all && !same(plus, rotation());
             }
             return all;
         }},
    };
    for (const auto& [key, meaning] : ViewerHelpDialog::keyRows()) {
        SCOPED_TRACE(key.toStdString() + ": " + meaning.toStdString());
        auto check = checks.find(key);
        ASSERT_NE(check, checks.end());
        EXPECT_TRUE(check->second());
    }
}

}  // namespace
