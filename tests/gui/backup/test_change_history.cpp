// The change-history window against the simulated drive over a
// pseudo-terminal: the journal of the drive, undo of a change and a backup
// restored, each verified on the drive.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <cstdlib>

#include "gui/ParameterWindowFixture.h"
#include "gui/backup/ChangeHistory.h"

using hx::gui::CChangeHistory;
using hx::test::ParameterWindowFixture;
using hx::test::WaitUntil;

TEST(ChangeHistory, UndoAndRestoreBringTheDriveBack) {
    ParameterWindowFixture b(hx::test::DriveAt(150));
    const std::string data = b.folder.File("data");
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    struct Unset {
        ~Unset() { ::unsetenv("XDG_DATA_HOME"); }
    } unset;
    hx::ChangeGate gate;
    // Pr0.02 (0~10000) changed from 0 to 1 through the gate, as an edit does.
    constexpr uint16_t kAddress = 2;
    constexpr int kBefore = 0, kAfter = 1;
    b.sim().SetRam(kAddress, kBefore);
    const auto change = [&](int value) {
        return hx::WriteThroughGate(gate, hx::DriveHandle::FromGlobals(), hx::ChangeOrigin::Edit,
                                    {{kAddress, static_cast<uint16_t>(value)}})
            .ok();
    };
    ASSERT_TRUE(change(kAfter));
    ASSERT_EQ(b.sim().Ram(kAddress), kAfter);

    CChangeHistory w(hx::test::ProgramDrive(), gate);
    w.show();
    QSignalSpy finished(&w, &CChangeHistory::workFinished);
    ASSERT_EQ(w.rows().size(), 1u);
    EXPECT_EQ(w.rows()[0].reg, kAddress);
    EXPECT_EQ(w.table()->item(0, 4)->text(), QString::number(kBefore));
    EXPECT_EQ(w.table()->item(0, 5)->text(), QString::number(kAfter));
    EXPECT_EQ(w.table()->item(0, 6)->text(), "已确认");
    EXPECT_FALSE(w.undoButton()->isEnabled()) << "nothing chosen yet";

    w.table()->selectRow(0);
    ASSERT_TRUE(w.undoButton()->isEnabled());
    w.undoButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }, 10000));
    EXPECT_TRUE(finished[0][0].toBool()) << b.messages.lastText().toStdString();
    EXPECT_EQ(b.sim().Ram(kAddress), kBefore);
    EXPECT_EQ(b.messages.lastText(), "已撤销：驱动器读回原值。");
    ASSERT_EQ(w.rows().size(), 2u);
    EXPECT_EQ(w.rows()[0].origin, "undo");
    EXPECT_EQ(w.table()->item(0, 1)->text(), "撤销");

    // The filter narrows to the parameter; another one shows nothing.
    w.filterEdit()->setText(QString::number(kAddress));
    EXPECT_EQ(w.rows().size(), 2u);
    w.filterEdit()->setText("no such parameter");
    EXPECT_TRUE(w.rows().empty());
    w.filterEdit()->clear();

    // The wrong values again (Pr0.02, the low word of the 32-bit Pr0.06),
    // tuning made after them, and the capture set-up a scope left behind:
    // the restore lists the parameters only, each with its name, category,
    // both values and unit, and writes back only those left ticked.
    ASSERT_TRUE(change(kAfter));
    ASSERT_TRUE(hx::WriteThroughGate(gate, hx::DriveHandle::FromGlobals(), hx::ChangeOrigin::Tune, {{77, 100}, {78, 170}}).ok());
    for (auto [a, v] : {std::pair{11, 5000}, {34, 8}}) b.sim().SetRam(a, v);
    w.Refresh();
    ASSERT_EQ(w.backupBox()->count(), 1);
    // "刷新" keeps the columns as wide as their contents and the last one
    // filling the rest.
    const QHeaderView* head = w.table()->horizontalHeader();
    EXPECT_EQ(head->length(), head->viewport()->width());
    EXPECT_GE(head->sectionSize(0), head->fontMetrics().horizontalAdvance(w.table()->item(0, 0)->text()));
    std::vector<QStringList> asked;
    hx::gui::SetMessageHandler([&](const hx::gui::MessageRecord& r) {
        b.messages.records.push_back(r);
        if (r.ticked) {
            asked = r.rows;
            for (std::size_t i = 0; i < r.rows.size(); ++i) (*r.ticked)[i] = !r.rows[i][0].startsWith("Pr2.");
        }
        return true;
    });
    w.restoreButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 2; }, 10000));
    EXPECT_TRUE(finished[1][0].toBool()) << b.messages.lastText().toStdString();
    EXPECT_EQ(asked, (std::vector<QStringList>{{"Pr0.02  停止后进入待机(半流)状态的延时时间", "P0 基本设定", "1", "0", "ms"},
                                               {"Pr0.06  位置超差报警阈值", "P0 基本设定", "5000", "4000", "pulse"},
                                               {"Pr2.03  第一抗振幅值", "P2 振动抑制", "100", "0", "%"},
                                               {"Pr2.04  第一抗振相位A", "P2 振动抑制", "170", "0", "--"}}));
    EXPECT_EQ(b.sim().Ram(kAddress), kBefore);
    EXPECT_EQ(b.sim().Ram(11), 4000);
    EXPECT_EQ(b.sim().Ram(77), 100) << "the tuning stays";
    EXPECT_EQ(b.sim().Ram(78), 170);
    EXPECT_EQ(b.sim().Ram(34), 8) << "no setting of the drive's parameters";
    EXPECT_EQ(b.messages.lastText(), "已恢复 2 个参数，驱动器读回一致。");
    EXPECT_EQ(w.rows()[0].origin, "restore");
}
