// Highlight coordination: whose selection is shown (current container,
// dominant participant), and the tree link following a host tree view.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QLineEdit>
#include <QObject>
#include <QTest>
#include <memory>

#include "GuiTestSupport.h"
#include "HostMainWindowFixture.h"
#include "GuiViewer/app/HostMainWindow.h"
#include "GuiViewer/app/HostPicking.h"
#include "GuiViewer/app/ParamPanel.h"
#include "GuiViewer/app/SelectionCoordinator.h"
#include "GuiViewer/src/SelectionPopup.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "GuiViewer/src/HighlightManager.h"
#include "GuiViewer/src/HighlightWgt.h"
#include "GuiViewer/src/TreeHighlightLink.h"
#include "GuiViewer/src/ViewerWindow.h"
#include "GuiViewer/src/host/TreeView.h"
#include "TestSupport.h"
#include "scene/vkoGraphicObj.h"

namespace {

using Set = std::set<QString>;

// A participant whose selection the test sets.
class Participant : public QObject, public HighlightWgt {
public:
    explicit Participant(QObject* parent, Set s = {}) : QObject(parent), HighlightWgt("participant"), sel(std::move(s)) {}
    Set getSelection() override { return sel; }
    void select(Set s) {
        sel = std::move(s);
        notifyOfSelectionChange();
    }
    Set sel;
};

// The manager lives for the process; every test builds its containers anew
// (destroyed containers and participants leave it) and starts from a shown
// selection it can recognise.
class HighlightManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m->setCurContainer(nullptr);
        m->setHighlightSelection({"start"});
        m->addContainer(&a);
        m->addContainer(&b);
    }
    Set Shown() const { return m->shownSelection(); }

    HighlightManager* m = HighlightManager::instance();
    QObject a, b;
};

TEST_F(HighlightManagerTest, TheCurrentContainersUnionIsShownAndClicksSwitchContainers) {
    QObject aPanel(&a);  // participants may sit deeper in their container
    auto* a1 = new Participant(&aPanel);
    auto* a2 = new Participant(&a);
    auto* b1 = new Participant(&b);
    m->setCurContainer(&a);
    EXPECT_EQ(Shown(), Set{"start"});  // a has nobody yet: nothing shown
    a1->select({"/DOMAIN:x"});
    a2->select({"/DOMAIN:x", "/DOMAIN:y"});
    EXPECT_EQ(Shown(), (Set{"/DOMAIN:x", "/DOMAIN:y"}));
    b1->select({"/DOMAIN:z"});  // not the current container
    EXPECT_EQ(Shown(), (Set{"/DOMAIN:x", "/DOMAIN:y"}));

    QObject bButton(&b), elsewhere;
    m->buttonPressed(&bButton);
    EXPECT_EQ(m->curContainer(), &b);
    EXPECT_EQ(Shown(), Set{"/DOMAIN:z"});
    // A click in the current container, or outside every container, does
    // nothing (b1's selection changed unreported: a re-show would show it).
    b1->sel = {"/DOMAIN:w"};
    m->buttonPressed(&bButton);
    m->buttonPressed(&elsewhere);
    m->buttonPressed(nullptr);
    EXPECT_EQ(m->curContainer(), &b);
    EXPECT_EQ(Shown(), Set{"/DOMAIN:z"});
    m->buttonPressed(&aPanel);
    EXPECT_EQ(Shown(), (Set{"/DOMAIN:x", "/DOMAIN:y"}));

    // A participant that goes leaves its container's union.
    delete a2;
    m->setCurContainer(&a);
    EXPECT_EQ(Shown(), Set{"/DOMAIN:x"});
}

TEST_F(HighlightManagerTest, AParticipantOutsideEveryContainerIsIgnoredUntilOneIsRegistered) {
    QObject panel;
    Participant p(&panel);
    m->setCurContainer(&panel);
    p.select({"/DOMAIN:x"});
    EXPECT_EQ(Shown(), Set{"start"});
    m->addContainer(&panel);
    p.select({"/DOMAIN:y"});
    EXPECT_EQ(Shown(), Set{"/DOMAIN:y"});
}

TEST_F(HighlightManagerTest, TheFirstDominantClaimWinsUntilReleased) {
    auto* a1 = new Participant(&a, {"/DOMAIN:a"});
    a1->select({"/DOMAIN:a"});
    m->setCurContainer(&a);
    QObject outside;
    Participant d(&outside, {"/DOMAIN:d"});
    auto other = std::make_unique<Participant>(&b);
    other->select({"/DOMAIN:o"});  // joins b

    d.makeDominantHighlightWgt(true);
    EXPECT_EQ(Shown(), Set{"/DOMAIN:d"});
    other->makeDominantHighlightWgt(true);  // ignored
    EXPECT_EQ(m->dominantWgt(), &d);
    a1->select({"/DOMAIN:a2"});
    other->select({"/DOMAIN:o2"});
    m->buttonPressed(&b);
    EXPECT_EQ(Shown(), Set{"/DOMAIN:d"});
    d.select({"/DOMAIN:d2"});
    EXPECT_EQ(Shown(), Set{"/DOMAIN:d2"});

    other->makeDominantHighlightWgt(false);  // not the dominant one: nothing
    EXPECT_EQ(m->dominantWgt(), &d);
    d.makeDominantHighlightWgt(false);
    EXPECT_EQ(m->dominantWgt(), nullptr);
    EXPECT_EQ(Shown(), Set{"/DOMAIN:o2"});  // b became current meanwhile

    // A dominant participant that is destroyed releases its claim.
    {
        Participant gone(&outside, {"/DOMAIN:gone"});
        gone.makeDominantHighlightWgt(true);
        EXPECT_EQ(Shown(), Set{"/DOMAIN:gone"});
    }
    EXPECT_EQ(m->dominantWgt(), nullptr);
    EXPECT_EQ(Shown(), Set{"/DOMAIN:o2"});
}

TEST_F(HighlightManagerTest, ADestroyedContainerIsForgotten) {
    auto* c = new QObject;
    m->addContainer(c);
    auto* p = new Participant(c);  // deleted with its container
    m->setCurContainer(c);
    p->select({"/DOMAIN:x"});
    EXPECT_EQ(Shown(), Set{"/DOMAIN:x"});
    delete c;
    EXPECT_EQ(m->curContainer(), nullptr);
    m->buttonPressed(&a);
    EXPECT_EQ(m->curContainer(), &a);
}

class TreeHighlightLinkTest : public HighlightManagerTest {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        HighlightManagerTest::SetUp();
        tree = new TreeView;
        tree->model()->setPaths({"/DOMAIN:rotor", "/DOMAIN:rotor/BOUNDARY:blade", "/DOMAIN:rotor/BOUNDARY:hub",
                                 "/DOMAIN:stator", "/VIEW:View 1"});
        tree->refresh();
        m->setCurContainer(&a);
    }
    void TearDown() override { delete tree; }
    TreeView* tree = nullptr;
};

TEST_F(TreeHighlightLinkTest, FollowsTheTreeSelectionByLeafObjects) {
    qor::TreeHighlightLink link(tree, &a, "tree link");
    tree->select({"/DOMAIN:rotor", "/DOMAIN:stator"});
    const Set leaves{"/BOUNDARY:blade", "/BOUNDARY:hub", "/DOMAIN:stator"};
    EXPECT_EQ(link.getSelection(), leaves);
    EXPECT_EQ(Shown(), leaves);
    tree->select({"/DOMAIN:rotor/BOUNDARY:hub"});
    EXPECT_EQ(Shown(), Set{"/BOUNDARY:hub"});
    tree->select({});
    EXPECT_EQ(Shown(), Set{});
}

TEST_F(TreeHighlightLinkTest, SurvivesTheTreeAndTheTreeSurvivesIt) {
    {
        // A link that goes first stops listening.
        qor::TreeHighlightLink early(tree, &a, "early");
    }
    tree->select({"/DOMAIN:stator"});
    EXPECT_EQ(Shown(), Set{"start"});

    qor::TreeHighlightLink link(tree, &a, "tree link");
    tree->select({"/DOMAIN:stator"});
    EXPECT_EQ(Shown(), Set{"/DOMAIN:stator"});
    delete tree;
    tree = nullptr;
    EXPECT_EQ(link.tree(), nullptr);
    EXPECT_EQ(link.getSelection(), Set{});
    EXPECT_EQ(Shown(), Set{});
}

}  // namespace

// The viewer window shows exactly the highlight objects of the selection the
// manager shows: the engine process's meshes, a tree in one container and a
// participant in another.
class HighlightViewerTest : public HighlightManagerTest {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        HighlightManagerTest::SetUp();
        engine = std::make_unique<EngineProcess>();
        ASSERT_GE(engine->viewerReadSocket(), 0);
        window = std::make_unique<ViewerWindow>(engine->viewerReadSocket(), engine->viewerWriteSocket(), nullptr,
                                                "Viewer Window", Qt::WindowFlags(), ViewerWindow::ExtendedApplication);
        window->resize(400, 300);
        window->show();
        for (const char* d : {"rotor", "stator", "hub"}) ASSERT_TRUE(engine->addMesh(d, guitest::Tetrahedron()));
        auto camera = engine->requestCamera("");
        ASSERT_TRUE(guitest::Await(camera) && camera.get().ok);
        window->setHighlight(true);
        m->setViewer(window.get());
        tree = new TreeView;
        tree->model()->setPaths(engine->objectPaths());
        tree->refresh();
    }
    void TearDown() override {
        delete tree;
        window.reset();
        engine.reset();
    }
    // The domains whose highlight object is visible (all must exist).
    Set Highlighted() {
        Set out;
        for (const char* d : {"rotor", "stator", "hub"}) {
            vkoGraphicObj* o = window->getViewer()->FindGraphic(EngineProcess::highlightNameFor(d).toUtf8().constData());
            EXPECT_NE(o, nullptr) << d;
            if (o && o->visibility) out.insert(d);
        }
        return out;
    }

    std::unique_ptr<EngineProcess> engine;
    std::unique_ptr<ViewerWindow> window;
    TreeView* tree = nullptr;
};

TEST_F(HighlightViewerTest, ShowsTheHighlightsOfTheShownSelection) {
    qor::TreeHighlightLink link(tree, &a, "tree link");
    Participant other(&b);
    other.select({"/DOMAIN:hub"});
    Participant panel(&b);
    panel.select({});
    m->setCurContainer(&a);
    EXPECT_EQ(Highlighted(), Set{});

    tree->select({"/DOMAIN:rotor", "/DOMAIN:stator"});
    EXPECT_EQ(Highlighted(), (Set{"rotor", "stator"}));
    tree->select({"/DOMAIN:stator"});
    EXPECT_EQ(Highlighted(), Set{"stator"});

    m->buttonPressed(&panel);
    EXPECT_EQ(Highlighted(), Set{"hub"});
    panel.sel = {"/DOMAIN:rotor"};
    panel.makeDominantHighlightWgt(true);
    EXPECT_EQ(Highlighted(), Set{"rotor"});
    panel.makeDominantHighlightWgt(false);
    EXPECT_EQ(Highlighted(), (Set{"rotor", "hub"}));

    // Highlighting off hides them; the manager outlives the window.
    window->setHighlight(false);
    EXPECT_EQ(Highlighted(), Set{});
    window.reset();
    other.select({"/DOMAIN:stator"});
    EXPECT_TRUE(m->shownSelection().count("/DOMAIN:stator"));
}

// guiviewer's participants: the object tree, the parameter panel (the
// objects whose point it holds) and the popup of the objects under the
// pointer, with clicks in the docks switching the shown selection.
class GuiviewerSelectionTest : public guitest::HostMainWindowFixture {
protected:
    void SetUp() override {
        // Two meshes in the same place: a pick has both under the pointer.
        StartHost({"rotor", "stator"});
        if (!Ready()) return;
        tree = host->treeView();
        panel = host->picking()->paramPanel();
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    }
    void BeforeShow() override { coordinator = new SelectionCoordinator(host.get()); }
    Set Highlighted() {
        Set out;
        for (const char* d : {"rotor", "stator"}) {
            vkoGraphicObj* o = host->viewer()->FindGraphic(EngineProcess::highlightNameFor(d).toUtf8().constData());
            if (o && o->visibility) out.insert(d);
        }
        return out;
    }
    QStringList TreeSelection() {
        QStringList out;
        for (const qor::PDLPath& p : tree->selection()) out << p.getFullPath();
        out.sort();
        return out;
    }
    void ClickRow(const QString& name, Qt::KeyboardModifiers mods = {}) {
        SelectionList* list = coordinator->popup()->selectionList();
        const auto rows = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->visualItemRect(rows[0]).center());
    }

    SelectionCoordinator* coordinator = nullptr;  // owned by host
    TreeView* tree = nullptr;
    ParamPanel* panel = nullptr;
};

TEST_F(GuiviewerSelectionTest, ClicksInTheDocksSwitchBetweenTreeAndPanel) {
    tree->select({"/DOMAIN:rotor"});
    EXPECT_EQ(Highlighted(), Set{"rotor"});
    panel->setPoint({0, 0, 0});  // the panel now holds a point of the rotor
    EXPECT_EQ(host->parameterDock()->windowTitle(), "Parameters: rotor");
    tree->select({"/DOMAIN:stator"});
    EXPECT_EQ(Highlighted(), Set{"stator"});

    QTest::mouseClick(panel->pointField(), Qt::LeftButton);
    EXPECT_EQ(HighlightManager::instance()->curContainer(), host->parameterDock());
    EXPECT_EQ(Highlighted(), Set{"rotor"});
    tree->select({});  // the tree's dock is not current: nothing changes
    EXPECT_EQ(Highlighted(), Set{"rotor"});
    QTest::mouseClick(tree->treeWidget()->viewport(), Qt::LeftButton, {}, QPoint(5, 300));
    EXPECT_EQ(HighlightManager::instance()->curContainer(), host->treeDock());
    EXPECT_EQ(Highlighted(), Set{});
}

TEST_F(GuiviewerSelectionTest, ThePopupListsWhatAPickFoundAndSelectsInTheTree) {
    SelectionPopup* popup = coordinator->popup();
    ASSERT_NE(popup, nullptr);
    EXPECT_FALSE(popup->isVisible());
    ASSERT_TRUE(host->picking()->click("pick@0.5,0.5"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, 5000));
    SelectionList* list = popup->selectionList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    // The pick selected the nearest one, which the popup shows selected.
    ASSERT_EQ(TreeSelection().size(), 1);
    const QString nearest = QStringUtils::getNameFromPath(TreeSelection()[0]);
    const QString other = nearest == "rotor" ? "stator" : "rotor";
    EXPECT_EQ(popup->getValue(), nearest);

    ClickRow(other, Qt::ControlModifier);  // adds
    EXPECT_EQ(TreeSelection(), (QStringList{"/DOMAIN:rotor", "/DOMAIN:stator"}));
    EXPECT_EQ(Highlighted(), (Set{"rotor", "stator"}));
    ClickRow(nearest, Qt::ControlModifier);  // removes
    EXPECT_EQ(TreeSelection(), QStringList{"/DOMAIN:" + other});
    ClickRow(nearest);  // the whole choice
    EXPECT_EQ(TreeSelection(), QStringList{"/DOMAIN:" + nearest});
    EXPECT_EQ(Highlighted(), Set{nearest});

    coordinator->showObjectsUnderPointer({});
    EXPECT_FALSE(popup->isVisible());
}
