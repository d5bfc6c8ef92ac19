// The editable parameter list and the category list box, as real widgets.
// (The parameter manager's tests edit through the list as a user does; here
// what the list decides on its own.)
#include <gtest/gtest.h>

#include <QHeaderView>

#include "gui/GuiTestUtil.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"

using namespace hx::gui;
using namespace hx::test;

namespace {

struct ListFixture {
    ListFixture() {
        list.resize(900, 300);
        list.appendRow({"7", "Pr0.04", "1", "0~10", "1", "--", "控制模式"});
        list.appendRow({"2", "Pr0.02", "500", "-10~10", "500", "ms", "延时"});
        list.appendRow({"110", "Pr9.02", "0", "--", "0", "--", "密码"});
        list.appendRow({"31", "Pr1.07", "100000", "-2147483647~2147483647", "100000", "pulse", "上限"});
        list.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&list));
    }
    QPoint cell(int row, int column) { return CellCenter(&list, row, column); }
    void click(int row, int column) { ClickCell(&list, row, column); }
    void type(int row, int column, const char* text) { TypeInCell(&list, row, column, text); }

    MessageRecorder messages;
    CListCtrlEx list;
};

}  // namespace

TEST(ListCtrl, TwoClicksOnOneCellEditTheValueCellAndUnconfirmedRowsShow) {
    ListFixture f;
    EXPECT_EQ(f.list.horizontalHeader()->sectionSize(0), 0) << "the address column has no width on screen";
    EXPECT_EQ(f.list.rowAddress(3), 31);
    EXPECT_EQ(f.list.rowOfAddress(110), 2);
    EXPECT_EQ(f.list.rowOfAddress(12345), -1);
    QSignalSpy accepted(&f.list, &CListCtrlEx::cellAccepted);

    // Clicks on different cells move the selection and the highlight, never edit.
    f.click(0, 1);
    EXPECT_EQ(f.list.rowBackground(0), CListCtrlEx::HighlightColor());
    EXPECT_FALSE(f.list.rowBackground(1).isValid());
    f.click(1, 3);
    EXPECT_FALSE(f.list.editing());
    EXPECT_EQ(f.list.selectedRow(), 1);
    EXPECT_EQ(f.list.selectedColumn(), 3);

    // The second click on the same cell edits; the editor sits over column 2
    // of the row even when the range column was clicked, and stays there.
    f.type(0, 3, "8");
    const QRect valueCell = f.list.visualRect(f.list.model()->index(0, 2));
    EXPECT_EQ(f.list.editor()->geometry(), valueCell);
    EXPECT_EQ(f.list.currentAddress(), 7);
    f.list.editor()->move(0, 0);
    EXPECT_EQ(f.list.editor()->geometry(), valueCell);
    // Enter accepts: the cell takes the typed text and the owner hears (row, 3).
    QTest::keyClick(f.list.editor(), Qt::Key_Return);
    EXPECT_FALSE(f.list.editing());
    ASSERT_EQ(accepted.count(), 1);
    EXPECT_EQ(accepted[0][0].toInt(), 0);
    EXPECT_EQ(accepted[0][1].toInt(), 3);
    EXPECT_EQ(f.list.cellText(0, 2), "8");
    EXPECT_TRUE(f.messages.records.empty());

    // Escape cancels: nothing changes, nothing is sent.
    f.type(1, 2, "5");
    QTest::keyClick(f.list.editor(), Qt::Key_Escape);
    EXPECT_FALSE(f.list.editing());
    EXPECT_EQ(f.list.cellText(1, 2), "500");
    // Losing the focus accepts, as the typed value would otherwise be lost.
    f.type(1, 2, "-5");
    f.list.editor()->clearFocus();
    EXPECT_FALSE(f.list.editing());
    EXPECT_EQ(accepted.count(), 2);
    EXPECT_EQ(f.list.cellText(1, 2), "-5");

    // An owner that is busy refuses the edit before it starts.
    f.list.setEditGuard([] { return false; });
    f.click(2, 2);
    f.click(2, 2);
    EXPECT_FALSE(f.list.editing());

    // An unconfirmed row has its own look unless chosen.
    f.list.setRowConfirmed(1, false);
    EXPECT_FALSE(f.list.item(1, 2)->toolTip().isEmpty());
    f.click(1, 1);
    EXPECT_EQ(f.list.rowBackground(1), CListCtrlEx::HighlightColor()) << "the chosen row shows as chosen";
    f.click(0, 1);
    EXPECT_EQ(f.list.rowBackground(1), CListCtrlEx::UnconfirmedColor());
    f.list.setRowConfirmed(1, true);
    EXPECT_FALSE(f.list.rowBackground(1).isValid());
}

TEST(ListCtrl, TypedValuesAreCheckedAgainstTheRangeAndTheMenusOfferHelpAndGroups) {
    ListFixture f;
    QSignalSpy accepted(&f.list, &CListCtrlEx::cellAccepted);
    // Letters alone pass the character test but hold no number: never written as 0.
    for (const char* number : {"-5", "+12", "1A", "3.5", ""}) EXPECT_TRUE(CListCtrlEx::IsNumberText(number)) << number;
    for (const char* other : {"5-", "1.2.3", "1G", "1 2", "abc", "-F", ".5", "+"})
        EXPECT_FALSE(CListCtrlEx::IsNumberText(other)) << other;

    // Refused: the range in the message, or without it when the text is no
    // number; a range without "~" ("--") allows only 0.
    struct Refusal { int row; const char* text; const char* message; };
    for (Refusal r : {Refusal{0, "12", "输入数值超出参数取值范围!0~10"}, Refusal{1, "5-", "输入数值超出参数取值范围!"},
                      Refusal{2, "abc", "输入数值超出参数取值范围!"}, Refusal{2, "1", "输入数值超出参数取值范围!--"}}) {
        f.messages.clear();
        EXPECT_FALSE(f.list.ValidateEdit(r.row, r.text, false)) << r.text;
        ASSERT_EQ(f.messages.records.size(), 1u) << r.text;
        EXPECT_EQ(f.messages.lastText(), r.message) << r.text;
    }
    EXPECT_EQ(f.list.cellText(0, 2), "1");
    EXPECT_EQ(accepted.count(), 0);

    // Taken: -5 against -10~10, "1A" (read as 1), 0 against "--".
    f.messages.clear();
    EXPECT_TRUE(f.list.ValidateEdit(1, "-5", false));
    EXPECT_EQ(f.list.cellText(1, 2), "-5");
    EXPECT_TRUE(f.list.ValidateEdit(0, "1A", false));
    EXPECT_TRUE(f.list.ValidateEdit(2, "0", false));
    EXPECT_EQ(accepted.count(), 3);
    // Empty text and a cancelled edit change nothing and say nothing.
    EXPECT_FALSE(f.list.ValidateEdit(3, "", false));
    EXPECT_FALSE(f.list.ValidateEdit(3, "7", true));
    EXPECT_TRUE(f.messages.records.empty());
    EXPECT_EQ(f.list.cellText(3, 2), "100000");

    // Typed through the editor, a refused value leaves the cell as it was.
    f.type(0, 2, "12");
    QTest::keyClick(f.list.editor(), Qt::Key_Enter);
    EXPECT_EQ(f.messages.lastText(), "输入数值超出参数取值范围!0~10");
    EXPECT_EQ(f.list.cellText(0, 2), "1A");
    EXPECT_EQ(accepted.count(), 3);

    // The context menus offer help, every group and the category commands.
    const QStringList groups{"g1", "g2", "g3", "g4", "g5", "第六组"};
    f.list.setGroupNames(groups);
    QSignalSpy help(&f.list, &CListCtrlEx::helpRequested);
    QSignalSpy add(&f.list, &CListCtrlEx::addToGroup);
    QSignalSpy remove(&f.list, &CListCtrlEx::removeFromGroup);

    QMenu* menu = OpenContextMenu(f.list.viewport(), f.cell(3, 1));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(f.list.highlightedRow(), 3) << "the row under the pointer becomes the highlighted row";
    QStringList expected{"查看参数"};
    for (const QString& g : groups) expected << "添加到" + g;
    for (const QString& g : groups) expected << "移出" + g;
    EXPECT_EQ(MenuTexts(menu), expected);
    ASSERT_TRUE(ChooseMenuItem(menu, "查看参数"));
    ASSERT_EQ(help.count(), 1);
    EXPECT_EQ(help[0][0].toString(), "Pr1.07");

    // Beyond the fifth group the signals carry the group's index all the same.
    ASSERT_TRUE(ChooseMenuItem(OpenContextMenu(f.list.viewport(), f.cell(3, 1)), "添加到第六组"));
    ASSERT_EQ(add.count(), 1);
    EXPECT_EQ(add[0][0].toInt(), 5);
    EXPECT_EQ(add[0][1].toUInt(), 31u);
    EXPECT_EQ(add[0][2].toString(), "Pr1.07");
    ASSERT_TRUE(ChooseMenuItem(OpenContextMenu(f.list.viewport(), f.cell(0, 4)), "移出g2"));
    ASSERT_EQ(remove.count(), 1);
    EXPECT_EQ(remove[0][0].toInt(), 1);
    EXPECT_EQ(remove[0][1].toUInt(), 7u);

    // The category list's menu.
    CListBoxEx box;
    box.addItems({"全部参数", "组一"});
    box.resize(150, 200);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QSignalSpy addGroup(&box, &CListBoxEx::addGroupRequested);
    QSignalSpy deleteGroup(&box, &CListBoxEx::deleteGroupRequested);
    menu = OpenContextMenu(box.viewport(), {20, 20});
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(MenuTexts(menu), (QStringList{"添加自定义设定", "删除选中设定"}));
    ASSERT_TRUE(ChooseMenuItem(menu, "添加自定义设定"));
    EXPECT_EQ(addGroup.count(), 1);
    ASSERT_TRUE(ChooseMenuItem(OpenContextMenu(box.viewport(), {20, 20}), "删除选中设定"));
    EXPECT_EQ(deleteGroup.count(), 1);
    EXPECT_EQ(addGroup.count(), 1);
}
