// The selection popup: what it reports for plain, Ctrl and right presses,
// and filling it without reports.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "GuiViewer/src/SelectionList.h"
#include "GuiViewer/src/SelectionPopup.h"
#include "TestSupport.h"

namespace {

class SelectionPopupTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveDisplay()) GTEST_SKIP() << "no X display";
        host.resize(300, 300);
        popup = new SelectionPopup(&host, "popup");
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        list = popup->selectionList();
        spy = std::make_unique<QSignalSpy>(popup, &SelectionPopup::selectionChanged);
    }
    // Presses row (by shown name) with this button and these modifiers.
    void Press(const QString& name, Qt::MouseButton button, Qt::KeyboardModifiers mods = {}) {
        const auto rows = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(rows.size(), 1) << name.toStdString();
        const QPoint at = list->visualItemRect(rows[0]).center();
        QTest::mouseClick(list->viewport(), button, mods, at);
    }
    // The reports so far as "text|multi" and forgets them.
    QStringList Reports() {
        QStringList out;
        for (const QList<QVariant>& r : *spy) out << r[0].toString() + "|" + (r[1].toBool() ? "1" : "0");
        spy->clear();
        return out;
    }

    QWidget host;
    SelectionPopup* popup = nullptr;
    SelectionList* list = nullptr;
    std::unique_ptr<QSignalSpy> spy;
    const QStringList paths{"/DOMAIN:rotor", "/DOMAIN:stator", "/BOUNDARY:inlet"};
};

TEST_F(SelectionPopupTest, SitsAboveTheParentsBottomEdgeWithRowsInListOrder) {
    EXPECT_EQ(popup->geometry().topLeft(), QPoint(4, host.height() - 104));
    EXPECT_EQ(popup->height(), 100);
    popup->setList(paths, {"/DOMAIN:stator", "/BOUNDARY:inlet"});
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "rotor");
    EXPECT_EQ(list->topLevelItem(2)->text(0), "inlet");
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
    EXPECT_EQ(popup->getValue(), "stator, inlet");
}

TEST_F(SelectionPopupTest, CtrlPressReportsOnlyTheChangedRow) {
    popup->setList(paths, {"/DOMAIN:rotor"});
    Press("inlet", Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Reports(), QStringList{"inlet|1"});
    Press("rotor", Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Reports(), QStringList{"rotor|1"});
    Press("inlet", Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Reports(), QStringList{"inlet|1"});
    EXPECT_EQ(popup->getValue(), "");
    // A plain press reports the whole choice.
    Press("stator", Qt::LeftButton);
    EXPECT_EQ(Reports(), QStringList{"stator|0"});
}

TEST_F(SelectionPopupTest, OtherButtonsReportNothingAndChangeNothing) {
    popup->setList(paths, {"/DOMAIN:rotor"});
    for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
        Press("stator", b);
        Press("inlet", b, Qt::ControlModifier);
    }
    EXPECT_EQ(Reports(), QStringList{});
    EXPECT_EQ(popup->getValue(), "rotor");
}

TEST_F(SelectionPopupTest, FillingReportsNothingAndAnEmptyListKeepsTheRows) {
    popup->setList(paths, {"/DOMAIN:rotor"});
    Press("stator", Qt::LeftButton, Qt::ControlModifier);
    Reports();
    // Refilling a list with selected rows, and an empty list.
    popup->setList({"/DOMAIN:hub", "/DOMAIN:shroud"}, {"/DOMAIN:shroud"});
    popup->setList({}, {"/DOMAIN:hub"});
    EXPECT_EQ(Reports(), QStringList{});
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(popup->getValue(), "shroud");
    // The rows still show the reference the next Ctrl press is compared with.
    Press("hub", Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(Reports(), QStringList{"hub|1"});
}

TEST_F(SelectionPopupTest, SingleSelectionReplacesTheChoice) {
    popup->allowMultiSelect(false);
    popup->setList(paths, {});
    Press("rotor", Qt::LeftButton);
    Press("inlet", Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(popup->getValue(), "inlet");
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_EQ(popup->getValue(), "stator");
}

}  // namespace
