// The editable parameter list and the category list box, as real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "GuiTestUtil.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"

using namespace hx::gui;
using hx::test::MessageRecorder;
using hx::test::WaitUntil;

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
    QPoint cell(int row, int column) { return list.visualRect(list.model()->index(row, column)).center(); }
    void click(int row, int column) { QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell(row, column)); }

    MessageRecorder messages;
    CListCtrlEx list;
};

QMenu* openPopup(QWidget* target, const QPoint& pos) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
    QApplication::sendEvent(target, &event);
    QMenu* menu = nullptr;
    WaitUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }, 2000);
    return menu;
}

QStringList texts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) out << a->text();
    return out;
}

void trigger(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) {
            a->trigger();
            break;
        }
    menu->close();
}

}  // namespace

TEST(ListCtrl, ColumnsAndTheHiddenAddress) {
    ListFixture f;
    ASSERT_EQ(f.list.columnCount(), 7);
    const QStringList headings{"参数地址", "参数名称", "参数值", "范 围", "默认值", "单 位", "备 注"};
    for (int c = 0; c < 7; ++c) EXPECT_EQ(f.list.horizontalHeaderItem(c)->text(), headings[c]);
    EXPECT_TRUE(f.list.isColumnHidden(0));
    EXPECT_EQ(f.list.horizontalHeader()->sectionSize(0), 0) << "the address column has no width on screen";
    EXPECT_EQ(f.list.columnWidth(1), 200);
    EXPECT_EQ(f.list.columnWidth(2), 100);
    EXPECT_EQ(f.list.columnWidth(3), 150);
    EXPECT_EQ(f.list.columnWidth(6), 800);
    EXPECT_EQ(f.list.rowAddress(3), 31);
    EXPECT_EQ(f.list.rowOfAddress(110), 2);
    EXPECT_EQ(f.list.rowOfAddress(12345), -1);
}

TEST(ListCtrl, TwoClicksOnOneCellEditTheValueCell) {
    ListFixture f;
    QSignalSpy accepted(&f.list, &CListCtrlEx::cellAccepted);

    // Clicks on different cells move the selection and the highlight, never edit.
    f.click(0, 1);
    EXPECT_TRUE(f.list.cellSelected());
    EXPECT_EQ(f.list.highlightedRow(), 0);
    EXPECT_EQ(f.list.rowBackground(0), CListCtrlEx::HighlightColor());
    EXPECT_FALSE(f.list.rowBackground(1).isValid());
    f.click(1, 3);
    EXPECT_FALSE(f.list.editing());
    EXPECT_EQ(f.list.selectedRow(), 1);
    EXPECT_EQ(f.list.selectedColumn(), 3);
    EXPECT_EQ(f.list.highlightedRow(), 1);
    f.click(0, 3);
    EXPECT_FALSE(f.list.editing());

    // The second click on the same cell edits; the editor sits over column 2
    // of the row even when the range column was clicked.
    f.click(0, 3);
    ASSERT_TRUE(f.list.editing());
    CItemEdit* editor = f.list.editor();
    const QRect valueCell = f.list.visualRect(f.list.model()->index(0, 2));
    EXPECT_EQ(editor->geometry(), valueCell);
    EXPECT_EQ(editor->text(), "1");
    EXPECT_EQ(f.list.currentAddressText(), "7");
    EXPECT_EQ(f.list.currentAddress(), 7);
    // Asked to move, the editor stays over its cell.
    editor->move(0, 0);
    EXPECT_EQ(editor->geometry(), valueCell);

    // Enter accepts: the cell takes the typed text and the owner hears (row, 3).
    editor->selectAll();
    QTest::keyClicks(editor, "8");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(f.list.editing());
    ASSERT_EQ(accepted.count(), 1);
    EXPECT_EQ(accepted[0][0].toInt(), 0);
    EXPECT_EQ(accepted[0][1].toInt(), 3);
    EXPECT_EQ(f.list.cellText(0, 2), "8");
    EXPECT_TRUE(f.messages.records.empty());

    // Escape cancels: nothing changes, nothing is sent.
    f.click(1, 2);
    f.click(1, 2);
    ASSERT_TRUE(f.list.editing());
    f.list.editor()->selectAll();
    QTest::keyClicks(f.list.editor(), "5");
    QTest::keyClick(f.list.editor(), Qt::Key_Escape);
    EXPECT_FALSE(f.list.editing());
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(f.list.cellText(1, 2), "500");

    // Losing the focus accepts, as the typed value would otherwise be lost.
    f.click(1, 2);
    f.click(1, 2);
    ASSERT_TRUE(f.list.editing());
    f.list.editor()->selectAll();
    QTest::keyClicks(f.list.editor(), "-5");
    f.list.editor()->clearFocus();
    EXPECT_FALSE(f.list.editing());
    EXPECT_EQ(accepted.count(), 2);
    EXPECT_EQ(f.list.cellText(1, 2), "-5");

    // An owner that is busy refuses the edit before it starts.
    f.list.setEditGuard([] { return false; });
    f.click(2, 2);
    f.click(2, 2);
    EXPECT_FALSE(f.list.editing());
}

TEST(ListCtrl, TypedValuesAreCheckedAgainstTheRange) {
    ListFixture f;
    QSignalSpy accepted(&f.list, &CListCtrlEx::cellAccepted);

    EXPECT_TRUE(CListCtrlEx::IsNumberText("-5"));
    EXPECT_TRUE(CListCtrlEx::IsNumberText("+12"));
    EXPECT_TRUE(CListCtrlEx::IsNumberText("1A"));
    EXPECT_TRUE(CListCtrlEx::IsNumberText("3.5"));
    EXPECT_TRUE(CListCtrlEx::IsNumberText(""));
    EXPECT_FALSE(CListCtrlEx::IsNumberText("5-"));
    EXPECT_FALSE(CListCtrlEx::IsNumberText("1.2.3"));
    EXPECT_FALSE(CListCtrlEx::IsNumberText("1G"));
    EXPECT_FALSE(CListCtrlEx::IsNumberText("1 2"));
    // Letters alone pass the character test but hold no number: never written as 0.
    EXPECT_FALSE(CListCtrlEx::IsNumberText("abc"));
    EXPECT_FALSE(CListCtrlEx::IsNumberText("-F"));
    EXPECT_FALSE(CListCtrlEx::IsNumberText(".5"));
    EXPECT_FALSE(CListCtrlEx::IsNumberText("+"));

    // 12 against 0~10: refused with the range in the message, value unchanged.
    EXPECT_FALSE(f.list.ValidateEdit(0, "12", false));
    ASSERT_EQ(f.messages.records.size(), 1u);
    EXPECT_EQ(f.messages.lastText(), "输入数值超出参数取值范围!0~10");
    EXPECT_EQ(f.messages.lastCaption(), "输入错误");
    EXPECT_EQ(f.list.cellText(0, 2), "1");

    // Not a number: the same words, without the range.
    f.messages.clear();
    EXPECT_FALSE(f.list.ValidateEdit(1, "5-", false));
    EXPECT_EQ(f.messages.lastText(), "输入数值超出参数取值范围!");
    EXPECT_EQ(f.messages.lastCaption(), "输入错误");
    f.messages.clear();
    EXPECT_FALSE(f.list.ValidateEdit(2, "abc", false));
    EXPECT_EQ(f.messages.lastText(), "输入数值超出参数取值范围!");
    EXPECT_EQ(accepted.count(), 0);

    // -5 against -10~10 is taken; "1A" passes the number test and reads as 1.
    f.messages.clear();
    EXPECT_TRUE(f.list.ValidateEdit(1, "-5", false));
    EXPECT_EQ(f.list.cellText(1, 2), "-5");
    EXPECT_TRUE(f.list.ValidateEdit(0, "1A", false));
    EXPECT_EQ(f.list.cellText(0, 2), "1A");
    EXPECT_TRUE(f.messages.records.empty());
    EXPECT_EQ(accepted.count(), 2);

    // A range without "~" ("--") allows only 0.
    EXPECT_TRUE(f.list.ValidateEdit(2, "0", false));
    EXPECT_FALSE(f.list.ValidateEdit(2, "1", false));
    EXPECT_EQ(f.messages.lastText(), "输入数值超出参数取值范围!--");

    // Empty text and a cancelled edit change nothing and say nothing.
    f.messages.clear();
    EXPECT_FALSE(f.list.ValidateEdit(3, "", false));
    EXPECT_FALSE(f.list.ValidateEdit(3, "7", true));
    EXPECT_TRUE(f.messages.records.empty());
    EXPECT_EQ(f.list.cellText(3, 2), "100000");
    EXPECT_EQ(accepted.count(), 3);

    // Typed through the editor, a refused value leaves the cell as it was.
    f.click(0, 2);
    f.click(0, 2);
    ASSERT_TRUE(f.list.editing());
    f.list.editor()->selectAll();
    QTest::keyClicks(f.list.editor(), "12");
    QTest::keyClick(f.list.editor(), Qt::Key_Enter);
    EXPECT_EQ(f.messages.lastText(), "输入数值超出参数取值范围!0~10");
    EXPECT_EQ(f.list.cellText(0, 2), "1A");
    EXPECT_EQ(accepted.count(), 3);
}

TEST(ListCtrl, UnconfirmedRowsHaveTheirOwnLook) {
    ListFixture f;
    f.list.setRowConfirmed(1, false);
    EXPECT_FALSE(f.list.rowConfirmed(1));
    EXPECT_EQ(f.list.rowBackground(1), CListCtrlEx::UnconfirmedColor());
    EXPECT_FALSE(f.list.item(1, 2)->toolTip().isEmpty());
    f.click(1, 1);
    EXPECT_EQ(f.list.rowBackground(1), CListCtrlEx::HighlightColor()) << "the chosen row shows as chosen";
    f.click(0, 1);
    EXPECT_EQ(f.list.rowBackground(1), CListCtrlEx::UnconfirmedColor());
    f.list.setRowConfirmed(1, true);
    EXPECT_TRUE(f.list.rowConfirmed(1));
    EXPECT_FALSE(f.list.rowBackground(1).isValid());
}

TEST(ListCtrl, ContextMenuOffersHelpAndEveryGroup) {
    ListFixture f;
    const QStringList groups{"g1", "g2", "g3", "g4", "g5", "第六组"};
    f.list.setGroupNames(groups);
    QSignalSpy help(&f.list, &CListCtrlEx::helpRequested);
    QSignalSpy add(&f.list, &CListCtrlEx::addToGroup);
    QSignalSpy remove(&f.list, &CListCtrlEx::removeFromGroup);

    QMenu* menu = openPopup(f.list.viewport(), f.cell(3, 1));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(f.list.highlightedRow(), 3) << "the row under the pointer becomes the highlighted row";
    QStringList expected{"查看参数"};
    for (const QString& g : groups) expected << "添加到" + g;
    for (const QString& g : groups) expected << "移出" + g;
    EXPECT_EQ(texts(menu), expected);
    trigger(menu, "查看参数");
    ASSERT_EQ(help.count(), 1);
    EXPECT_EQ(help[0][0].toString(), "Pr1.07");

    // Beyond the fifth group the signals carry the group's index all the same.
    menu = openPopup(f.list.viewport(), f.cell(3, 1));
    ASSERT_NE(menu, nullptr);
    trigger(menu, "添加到第六组");
    ASSERT_EQ(add.count(), 1);
    EXPECT_EQ(add[0][0].toInt(), 5);
    EXPECT_EQ(add[0][1].toUInt(), 31u);
    EXPECT_EQ(add[0][2].toString(), "Pr1.07");

    menu = openPopup(f.list.viewport(), f.cell(0, 4));
    ASSERT_NE(menu, nullptr);
    trigger(menu, "移出g2");
    ASSERT_EQ(remove.count(), 1);
    EXPECT_EQ(remove[0][0].toInt(), 1);
    EXPECT_EQ(remove[0][1].toUInt(), 7u);
}

TEST(ListBox, ContextMenuForwardsTheChoice) {
    CListBoxEx box;
    box.addItems({"全部参数", "组一"});
    box.resize(150, 200);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QSignalSpy add(&box, &CListBoxEx::addGroupRequested);
    QSignalSpy remove(&box, &CListBoxEx::deleteGroupRequested);

    QMenu* menu = openPopup(box.viewport(), {20, 20});
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), (QStringList{"添加自定义设定", "删除选中设定"}));
    trigger(menu, "添加自定义设定");
    EXPECT_EQ(add.count(), 1);
    menu = openPopup(box.viewport(), {20, 20});
    ASSERT_NE(menu, nullptr);
    trigger(menu, "删除选中设定");
    EXPECT_EQ(remove.count(), 1);
    EXPECT_EQ(add.count(), 1);
}
