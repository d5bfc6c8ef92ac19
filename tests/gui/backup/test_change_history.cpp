// The change-history window against the simulated drive over a
// pseudo-terminal: the journal of the drive, undo of a change and a backup
// restored, each verified on the drive.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <cstdlib>

#include "gui/ParameterWindowFixture.h"
#include "core/backup/ChangeGate.h"
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

    CChangeHistory w(gate);
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

    // The wrong value again, and the session's backup written back.
    ASSERT_TRUE(change(kAfter));
    w.Refresh();
    ASSERT_EQ(w.backupBox()->count(), 1);
    b.messages.answers.push_back(true);
    w.restoreButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 2; }, 10000));
    EXPECT_TRUE(finished[1][0].toBool()) << b.messages.lastText().toStdString();
    EXPECT_EQ(b.sim().Ram(kAddress), kBefore);
    EXPECT_EQ(b.messages.lastText(), "已恢复 1 个参数，驱动器读回一致。");
    EXPECT_EQ(w.rows()[0].origin, "restore");
}
