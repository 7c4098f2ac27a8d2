// The viewer's context menus: menus and sub-menus built from text paths,
// duplicate items, the built-in object items and the menu-source menus, all
// opened by real right clicks where the scene decides which menu it is; and
// hide and show from guiviewer's menu reaching the viewer.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QWidgetAction>

#include "GuiViewer/app/HostMenuSource.h"
#include "GuiViewer/src/ViewerPopupBase.h"
#include "GuiViewer/src/host/ExpectImpl.h"
#include "GuiViewer/src/host/QStringUtils.h"
#include "ViewerWindowFixture.h"
#include "platform/MessageSink.h"

namespace {

using qor::PDLPath;

// Lets the test add items where derived classes add them, and records the hooks.
class TestPopup : public ViewerPopupBase {
public:
    using ViewerPopupBase::addMenuLabel;
    using ViewerPopupBase::addPopupItem;
    using ViewerPopupBase::ViewerPopupBase;

    std::function<void()> background;
    std::vector<PickData> objectHooks;
    std::vector<QString> hidden;
    std::vector<PDLPath> objectsForMenu;  // empty: the default (the record's path)
    bool noObjects = false;

protected:
    void addAdditionalBackgroundMenuItems() override {
        if (background) background();
    }
    void addAdditionalMenuItems(const PickData& o, const std::vector<float>&) override { objectHooks.push_back(o); }
    void hidingObject(const QString& path) override { hidden.push_back(path); }
    std::vector<PDLPath> getObjectsForMenu(const PickData& o) override {
        if (noObjects) return {};
        return objectsForMenu.empty() ? ViewerPopupBase::getObjectsForMenu(o) : objectsForMenu;
    }
};

// Texts of a menu's entries: items and sub-menus by text, labels as "[text]",
// separators as "-".
QStringList Entries(QMenu* menu) {
    QStringList out;
    if (!menu) return out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << "-";
        } else if (auto* w = qobject_cast<QWidgetAction*>(a)) {
            auto* text = w->defaultWidget()->findChild<QLabel*>("text");
            out << "[" + (text ? text->text().remove("<b>").remove("</b>") : QString()) + "]";
        } else {
            out << a->text();
        }
    }
    return out;
}

// A menu source whose actions record what they run on.
struct Recorded {
    std::vector<std::vector<PDLPath>> runs;
    std::vector<std::pair<QString, std::vector<PDLPath>>> fills;
};

class RecordingAction : public qor::ToggleablePathContextAction {
public:
    RecordingAction(Recorded* r, bool enabled, bool checked) : r_(r), enabled_(enabled), checked_(checked) {}
    bool isEnabled(const std::vector<PDLPath>&) const override { return enabled_; }
    bool isChecked(const std::vector<PDLPath>&) const override { return checked_; }
    void run(const std::vector<PDLPath>& selection, QWidget*) override { r_->runs.push_back(selection); }

private:
    Recorded* r_;
    bool enabled_, checked_;
};

class PlainAction : public qor::PathContextAction {
public:
    explicit PlainAction(Recorded* r) : r_(r) {}
    void run(const std::vector<PDLPath>& selection, QWidget*) override { r_->runs.push_back(selection); }

private:
    Recorded* r_;
};

class RecordingSource : public qor::MenuSource {
public:
    Recorded rec;
    void fill(qor::MenuBuilder& b, const QString& context, const std::vector<PDLPath>& selection,
              const std::vector<PDLPath>&) override {
        rec.fills.emplace_back(context, selection);
        if (context == "More") {
            b.addItem(u"Deeper", QIcon(), u"", qor::refcnt_ptr<qor::PathContextAction>(new PlainAction(&rec)));
            return;
        }
        b.addItem(u"Run", QIcon(), u"", qor::refcnt_ptr<qor::PathContextAction>(new PlainAction(&rec)));
        b.addItem(u"Off", QIcon(), u"",
                  qor::refcnt_ptr<qor::PathContextAction>(new RecordingAction(&rec, false, false)));
        b.addItem(u"Checked", QIcon(), u"",
                  qor::refcnt_ptr<qor::PathContextAction>(new RecordingAction(&rec, true, true)));
        b.addSeparator();
        b.addSubMenu("More", "More", QIcon(), selection);
    }
};

class PopupTest : public guitest::ViewerWindowFixture {
protected:
    void SetUp() override {
        ViewerWindowFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        popup = std::make_unique<TestPopup>(window.get());
    }
    void TearDown() override {
        ViewerPopupBase::setPopupActive(true);
        popup.reset();
        ViewerWindowFixture::TearDown();
    }
    // A real right click; true when a menu came up.
    bool rightClick(QPoint at) {
        click(Qt::RightButton, at);
        QMenu* top = popup->topLevelMenu();
        return top && QTest::qWaitFor([&] { return top->isVisible(); }, 3000);
    }
    std::unique_ptr<TestPopup> popup;
};

TEST_F(PopupTest, TextPathsMakeSubMenusOnDemand) {
    platform::MessageRecorder messages;
    popup->background = [&] {
        popup->addPopupItem("One", nullptr, nullptr, {"A", "B"}, "", false, -1);
        popup->addPopupItem("Two", nullptr, nullptr, {"A", "B"}, "", true, -1);
        popup->addPopupItem("Top", nullptr, nullptr, {}, "", false, -1);
        popup->addSeparator({"A"});
        popup->addPopupItem("Two", nullptr, nullptr, {"A", "B"}, "", false, -1);  // same key again
    };
    ASSERT_TRUE(rightClick(corner())) << "a click on nothing opens the background menu";

    EXPECT_EQ(Entries(popup->topLevelMenu()), (QStringList{"A", "Top"}));
    EXPECT_EQ(Entries(popup->menuForKey("A")), (QStringList{"B", "-"}));
    EXPECT_EQ(Entries(popup->menuForKey("A:B")), (QStringList{"One", "Two", "Two"}))
        << "the duplicate is shown all the same";
    EXPECT_TRUE(popup->menuForKey("A")->actions().contains(popup->menuForKey("A:B")->menuAction()));
    ASSERT_EQ(messages.entries().size(), 1u);
    EXPECT_EQ(messages.entries()[0].caption, "Error");
    EXPECT_EQ(messages.entries()[0].text, "ViewerPopupBase::addPopupItem -\nThis popup item already exists.\n'A:B:Two'\n");

    // Items by path and text.
    popup->setPopupItemChecked("Two", true, {"A", "B"});
    EXPECT_TRUE(popup->isPopupItemChecked("Two", {"A", "B"}));
    EXPECT_FALSE(popup->isPopupItemChecked("Two", {"A"})) << "another path, another item";
    popup->disablePopupItem("One", true, {"A", "B"});
    EXPECT_FALSE(popup->actionForKey("A:B:One")->isEnabled());
    popup->disablePopupItem("One", false, {"A", "B"});
    EXPECT_TRUE(popup->actionForKey("A:B:One")->isEnabled());
    popup->disablePopupItem("Nowhere", true, {});  // unknown: nothing
    EXPECT_TRUE(popup->actionForKey("Top")->isEnabled());

    // The next right click starts over.
    popup->background = [&] { popup->addPopupItem("Other", nullptr, nullptr, {"C"}, "", false, -1); };
    popup->topLevelMenu()->hide();
    ASSERT_TRUE(rightClick(corner()));
    EXPECT_EQ(Entries(popup->topLevelMenu()), QStringList{"C"});
    EXPECT_EQ(popup->menuForKey("A"), nullptr);
    EXPECT_EQ(popup->actionForKey("Top"), nullptr);
}

TEST_F(PopupTest, ObjectMenuWithoutSourceEditsAndHides) {
    ASSERT_TRUE(rightClick(centre()));
    EXPECT_EQ(Entries(popup->topLevelMenu()), (QStringList{"[wing]", "-", "Edit", "Hide"}));
    ASSERT_EQ(popup->objectHooks.size(), 1u);
    EXPECT_EQ(popup->objectHooks[0].path, "/DOMAIN:wing");
    EXPECT_EQ(popup->rightClickedObject().viewerName, kWing);
    EXPECT_EQ(popup->rightClickedPoint().size(), 3u);

    QStringList edited;
    QObject::connect(popup.get(), qOverload<const QString&>(&ViewerPopupBase::editObject),
                     [&](const QString& p) { edited << p; });
    popup->actionForKey("Edit")->trigger();
    EXPECT_EQ(edited, QStringList{"/DOMAIN:wing"});

    popup->actionForKey("Hide")->trigger();
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(shown(kWing)) << "the hide reached the viewer";
    ASSERT_FALSE(popup->hidden.empty());
    EXPECT_EQ(popup->hidden.back(), "/DOMAIN:wing");

    // popupActive off: right clicks show nothing.
    popup->topLevelMenu()->hide();
    ViewerPopupBase::setPopupActive(false);
    click(Qt::RightButton, corner());
    QTest::qWait(50);
    EXPECT_TRUE(popup->topLevelMenu() == nullptr || !popup->topLevelMenu()->isVisible());
}

TEST_F(PopupTest, MenuSourceFillsObjectAndBackgroundMenus) {
    RecordingSource source;
    popup->setMenuSource(&source);
    const PDLPath wing("/DOMAIN:wing"), fin("/DOMAIN:fin"), tail("/DOMAIN:tail");

    ASSERT_TRUE(rightClick(centre()));
    EXPECT_EQ(Entries(popup->topLevelMenu()), (QStringList{"[wing]", "Run", "Off", "Checked", "-", "More"}));
    EXPECT_FALSE(popup->actionForKey("Off")->isEnabled());
    EXPECT_TRUE(popup->actionForKey("Checked")->isChecked());
    EXPECT_EQ(Entries(popup->menuForKey("More")), QStringList{"Deeper"});
    ASSERT_EQ(source.rec.fills.size(), 2u);
    EXPECT_EQ(source.rec.fills[0].first, "Viewer Popup");
    EXPECT_EQ(source.rec.fills[0].second, std::vector<PDLPath>{wing});
    popup->actionForKey("More:Deeper")->trigger();
    ASSERT_EQ(source.rec.runs.size(), 1u);
    EXPECT_EQ(source.rec.runs[0], std::vector<PDLPath>{wing});

    // Three objects for one click: the first's items, then the alternatives.
    popup->topLevelMenu()->hide();
    popup->objectsForMenu = {wing, fin, tail};
    ASSERT_TRUE(rightClick(centre()));
    QStringList top = Entries(popup->topLevelMenu());
    EXPECT_EQ(top.mid(0, 7), (QStringList{"[wing]", "Run", "Off", "Checked", "-", "More", "[Alternatives]"}));
    EXPECT_EQ(top.mid(7), (QStringList{"fin", "tail"}));
    EXPECT_EQ(Entries(popup->menuForKey("/DOMAIN:fin")), (QStringList{"[fin]", "Run", "Off", "Checked", "-", "More"}));
    EXPECT_EQ(Entries(popup->menuForKey("/DOMAIN:tail:More")), QStringList{"Deeper"});
    popup->actionForKey("/DOMAIN:tail:Run")->trigger();
    EXPECT_EQ(source.rec.runs.back(), std::vector<PDLPath>{tail});

    // No objects for the click: the background menu, with an empty selection.
    popup->topLevelMenu()->hide();
    popup->noObjects = true;
    source.rec.fills.clear();
    ASSERT_TRUE(rightClick(centre()));
    ASSERT_FALSE(source.rec.fills.empty());
    EXPECT_TRUE(source.rec.fills[0].second.empty());
    EXPECT_EQ(Entries(popup->topLevelMenu()).first(), "Run");

    // A caption's right click comes through the window.
    popup->topLevelMenu()->hide();
    source.rec.fills.clear();
    emit window->rightClick();
    ASSERT_FALSE(source.rec.fills.empty());
    EXPECT_TRUE(popup->rightClickedPoint().empty());

    // Setting a second source is reported; the new one is used.
    const int before = qor::ExpectImpl::failureCount();
    RecordingSource other;
    popup->setMenuSource(&other);
    EXPECT_EQ(qor::ExpectImpl::failureCount(), before + 1);
}

TEST_F(PopupTest, GuiviewerMenuHidesAndShowsObjects) {
    ASSERT_TRUE(engine->addMesh("fin", guitest::Tetrahedron()));
    ASSERT_TRUE(Sync());
    HostMenuSource source;
    popup->setMenuSource(&source);
    const char* fin = "fin:DOMAIN:fin:0:Cartesian";

    ASSERT_TRUE(rightClick(centre()));
    const QString picked = popup->rightClickedObject().viewerName;
    ASSERT_TRUE(picked == kWing || picked == fin) << picked.toStdString();
    QAction* hide = popup->actionForKey("Hide");
    ASSERT_NE(hide, nullptr);
    hide->trigger();
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(shown(picked.toUtf8().constData()));

    // The background menu lists the hidden object under Show.
    popup->topLevelMenu()->hide();
    ASSERT_TRUE(rightClick(corner()));
    const QString name = QStringUtils::getNameFromPath(popup->rightClickedObject().path);
    EXPECT_EQ(Entries(popup->menuForKey("Show")), QStringList{name});
    popup->actionForKey("Show:" + name)->trigger();
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(shown(picked.toUtf8().constData()));

    // Hide both, then Show all.
    for (const char* p : {"/DOMAIN:wing", "/DOMAIN:fin"}) ViewUtilities::setObjectVisibility(p, false);
    ASSERT_TRUE(Sync());
    EXPECT_FALSE(shown(kWing));
    popup->topLevelMenu()->hide();
    ASSERT_TRUE(rightClick(corner()));
    EXPECT_EQ(Entries(popup->menuForKey("Show")), (QStringList{"fin", "wing"}));
    popup->actionForKey("Show all")->trigger();
    ASSERT_TRUE(Sync());
    EXPECT_TRUE(shown(kWing));
    EXPECT_TRUE(shown(fin));
}

// A derived popup with a slot that takes an item parameter and a signal
// that disables items.
class SignalPopup : public ViewerPopupBase {
    Q_OBJECT
public:
    using ViewerPopupBase::addPopupItem;
    using ViewerPopupBase::ViewerPopupBase;
    std::vector<int> chosen;
    void disableAll(const QString& text, bool off) { emit disableItems(text, off); }
public slots:
    void choose(int n) { chosen.push_back(n); }
signals:
    void disableItems(const QString& text, bool off);
};

TEST(PopupItems, ParametersAndDisableSignalsReachTheItems) {
    SignalPopup popup(nullptr);
    for (int n : {3, 7})
        popup.addPopupItem(n == 3 ? "Three" : "Seven", SLOT(choose(int)), SIGNAL(disableItems(const QString&, bool)),
                           {"Pick", "Number"}, "", false, n);
    popup.addPopupItem("Three", nullptr, SIGNAL(disableItems(const QString&, bool)), {"Other"}, "", false, -1);
    popup.actionForKey("Pick:Number:Seven")->trigger();
    popup.actionForKey("Pick:Number:Three")->trigger();
    EXPECT_EQ(popup.chosen, (std::vector<int>{7, 3}));

    popup.disableAll("Three", true);
    EXPECT_FALSE(popup.actionForKey("Pick:Number:Three")->isEnabled());
    EXPECT_FALSE(popup.actionForKey("Other:Three")->isEnabled()) << "every item of that text with the signal";
    EXPECT_TRUE(popup.actionForKey("Pick:Number:Seven")->isEnabled());
    popup.disableAll("Three", false);
    EXPECT_TRUE(popup.actionForKey("Other:Three")->isEnabled());
}

TEST(PopupRegistration, SecondPopupIsReportedAndTakesOver) {
    testing::internal::CaptureStderr();
    TestPopup first(nullptr);
    TestPopup second(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: ViewerPopupBase already initialized\n");
    EXPECT_EQ(ViewerPopupBase::registeredPopup(), &second);
}

}  // namespace

#include "PopupTest.moc"
