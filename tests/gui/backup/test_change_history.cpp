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
#include "core/params/DriveDefinitions.h"
#include "core/protocol/Registers.h"
#include "gui/backup/ChangeHistory.h"

using hx::gui::CChangeHistory;
using hx::test::ParameterWindowFixture;
using hx::test::WaitUntil;

namespace {

struct HistoryBench : ParameterWindowFixture {
    HistoryBench() : ParameterWindowFixture(hx::test::DriveAt(150)) {
        const std::string data = folder.File("data");
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
        // A setting whose range holds two values the drive takes.
        for (const auto& d : hx::LoadDefinitions(folder.DatabasePath(), g_driveModel)) {
            const auto tilde = d.scope.find('~');
            if (d.dataType != "SHORT" || !hx::IsSettingRegister(d.address) || tilde == std::string::npos) continue;
            const int low = std::stoi(d.scope.substr(0, tilde)), high = std::stoi(d.scope.substr(tilde + 1));
            if (high <= low || low < 0) continue;
            address = d.address;
            found = true;
            before = low;
            after = low + 1;
            break;
        }
        sim().SetRam(address, static_cast<uint16_t>(before));
    }
    ~HistoryBench() { ::unsetenv("XDG_DATA_HOME"); }
    bool change(int value) {
        return hx::WriteThroughGate(hx::DriveHandle::FromGlobals(), hx::ChangeOrigin::Edit,
                                    {{address, static_cast<uint16_t>(value)}})
            .ok();
    }
    bool found = false;
    uint16_t address = 0;
    int before = 0, after = 0;
};

}  // namespace

TEST(ChangeHistory, UndoAndRestoreBringTheDriveBack) {
    HistoryBench b;
    ASSERT_TRUE(b.found);
    ASSERT_TRUE(b.change(b.after));
    ASSERT_EQ(b.sim().Ram(b.address), b.after);

    CChangeHistory w;
    w.show();
    QSignalSpy finished(&w, &CChangeHistory::workFinished);
    ASSERT_EQ(w.rows().size(), 1u);
    EXPECT_EQ(w.rows()[0].reg, b.address);
    EXPECT_EQ(w.table()->item(0, 4)->text(), QString::number(b.before));
    EXPECT_EQ(w.table()->item(0, 5)->text(), QString::number(b.after));
    EXPECT_EQ(w.table()->item(0, 6)->text(), "已确认");
    EXPECT_FALSE(w.undoButton()->isEnabled()) << "nothing chosen yet";

    w.table()->selectRow(0);
    ASSERT_TRUE(w.undoButton()->isEnabled());
    w.undoButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 1; }, 10000));
    EXPECT_TRUE(finished[0][0].toBool()) << b.messages.lastText().toStdString();
    EXPECT_EQ(b.sim().Ram(b.address), b.before);
    EXPECT_EQ(b.messages.lastText(), "已撤销：驱动器读回原值。");
    ASSERT_EQ(w.rows().size(), 2u);
    EXPECT_EQ(w.rows()[0].origin, "undo");
    EXPECT_EQ(w.table()->item(0, 1)->text(), "撤销");

    // The filter narrows to the parameter; another one shows nothing.
    w.filterEdit()->setText(QString::number(b.address));
    EXPECT_EQ(w.rows().size(), 2u);
    w.filterEdit()->setText("no such parameter");
    EXPECT_TRUE(w.rows().empty());
    w.filterEdit()->clear();

    // The wrong value again, and the session's backup written back.
    ASSERT_TRUE(b.change(b.after));
    w.Refresh();
    ASSERT_EQ(w.backupBox()->count(), 1);
    b.messages.answers.push_back(true);
    w.restoreButton()->click();
    ASSERT_TRUE(WaitUntil([&] { return finished.count() == 2; }, 10000));
    EXPECT_TRUE(finished[1][0].toBool()) << b.messages.lastText().toStdString();
    EXPECT_EQ(b.sim().Ram(b.address), b.before);
    EXPECT_EQ(b.messages.lastText(), "已恢复 1 个参数，驱动器读回一致。");
    EXPECT_EQ(w.rows()[0].origin, "restore");
}
