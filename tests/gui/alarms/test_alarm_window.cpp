// The alarm window against the simulated drive over a pseudo-terminal: the
// polled current alarm, the history with its clear, the fault-detection
// switches, tab changes and a link that does not answer.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTableWidget>

#include "gui/GuiTestUtil.h"
#include "gui/alarms/Alarm.h"
#include "gui/alarms/AlarmPages.h"
#include "sim/DriveServer.h"

using namespace hx::gui;
using namespace hx::test;

namespace {

constexpr uint8_t kStation = 7;

QString cell(QTableWidget* list, int row, int column) {
    auto* item = list->item(row, column);
    return item ? item->text() : QString("<none>");
}

// The simulated drive behind theComm, and an alarm window of its own.
struct AlarmFixture : DriveOnLink {
    // Nobody answers at some stations here, and nobody answers late.
    explicit AlarmFixture(hx::sim::DriveOptions options = {.station = kStation}) : DriveOnLink(options, 200, 100) {
        g_language = 4;
    }
    ~AlarmFixture() { window.reset(); }
    void open() { window = std::make_unique<CAlarm>(hx::test::ProgramDrive(), gate); }
    CCurrentAlarm* current() { return window->currentPage(); }
    CHistoryAlarm* history() { return window->historyPage(); }
    CAlarmSettings* settings() { return window->settingsPage(); }
    bool waitForRow(const QString& text) {
        return WaitUntil([&] { return current()->list()->rowCount() > 0 && cell(current()->list(), 0, 0) == text; }, 3000);
    }
    // The causes the current page shows for its first row.
    QString causesOfFirstRow() {
        current()->list()->setCurrentCell(0, 0);
        current()->showCausesOfSelectedRow();
        return current()->causesText()->toPlainText();
    }

    hx::ChangeGate gate;
    std::unique_ptr<CAlarm> window;
};

}  // namespace

TEST(AlarmWindow, CurrentAlarmPolledShownExplainedAndClearedTheFaultDetectionSwitchesAndADeadLink) {
    AlarmFixture f;
    f.open();
    EXPECT_EQ(QString::fromStdString(g_activeModule), "警报");
    EXPECT_EQ(f.window->tabs()->currentIndex(), 0);
    EXPECT_TRUE(f.current()->polling());
    ASSERT_TRUE(f.waitForRow("没有报警"));
    EXPECT_EQ(f.current()->list()->rowCount(), 1);
    EXPECT_EQ(cell(f.current()->list(), 0, 1), "");

    // A raised alarm shows at the next poll.
    f.sim().RaiseAlarm(7);
    ASSERT_TRUE(f.waitForRow("Err0007"));
    EXPECT_EQ(cell(f.current()->list(), 0, 1), "开环堵转");
    EXPECT_EQ(f.current()->lastCode(), 7);

    // Its causes and remedies, two of them.
    const QString text = f.causesOfFirstRow();
    EXPECT_TRUE(text.startsWith("----------------可能性一------------------\n原因：")) << text.toStdString();
    EXPECT_TRUE(text.contains("----------------可能性二------------------\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("可能性三"));

    // Cleared (that a clear waits for the cause to go is the alarm
    // sequence's test): the causes go with the alarm, the poll goes on, and
    // a row reading "没有报警" explains nothing.
    QSignalSpy cleared(f.current(), &CCurrentAlarm::clearFinished);
    QTest::mouseClick(f.current()->clearButton(), Qt::LeftButton);
    EXPECT_FALSE(f.current()->clearButton()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 3000));
    EXPECT_TRUE(cleared.front().front().toBool());
    EXPECT_TRUE(f.current()->causesText()->toPlainText().isEmpty());
    ASSERT_TRUE(f.waitForRow("没有报警"));
    EXPECT_TRUE(f.current()->polling()) << "the poll goes on after the clear";
    EXPECT_TRUE(f.causesOfFirstRow().isEmpty());
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();

    // The fault-detection switches, read at the tab and written through the change gate.
    f.sim().SetRam(56, 0x0005);
    QSignalSpy read(f.settings(), &CAlarmSettings::maskRead);
    f.window->tabs()->setCurrentIndex(CAlarm::SettingsTab);
    ASSERT_TRUE(WaitUntil([&] { return !read.isEmpty(); }, 3000));
    for (int n = 0; n < 16; ++n) EXPECT_EQ(f.settings()->box(n)->isChecked(), n == 0 || n == 2) << n;

    for (int n = 0; n < 16; ++n) f.settings()->box(n)->setChecked(n == 12);
    EXPECT_TRUE(ClickAndWait(f.settings()->okButton(), f.settings(), &CAlarmSettings::maskWritten));
    EXPECT_EQ(f.sim().Ram(56), 0x1000);
    EXPECT_EQ(f.messages.lastText(), "设置完成!");
    // Through the change gate: on record with the value it replaced.
    ASSERT_NE(f.gate.Journal(), nullptr);
    const auto rows = f.gate.Journal()->History(theComm.PortName(), g_station, 1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].reg, 56);
    EXPECT_EQ(rows[0].oldValue, 0x0005);
    EXPECT_EQ(rows[0].newValue, 0x1000);
    EXPECT_FALSE(f.gate.SessionBackup(hx::DriveHandle::FromGlobals()).empty());
    // A box without a caption of its own carries a title short enough to be
    // shown whole, not "Hal... tor".
    EXPECT_EQ(f.messages.lastCaption(), "Halvex");
    // Closed while polling: the poll stops with the window.
    f.window->tabs()->setCurrentIndex(CAlarm::CurrentTab);
    ASSERT_TRUE(f.current()->polling());
    f.window->close();
    EXPECT_TRUE(g_activeModule.empty());
    EXPECT_FALSE(f.current()->polling());

    // A dead link is shown and the polling goes on.
    f.messages.clear();
    g_productModel.clear();  // the gate asks the drive who it is
    f.window = std::make_unique<CAlarm>(hx::test::ProgramDrive().atStation(40), f.gate);  // nobody answers there
    ASSERT_TRUE(f.waitForRow("无应答"));
    EXPECT_EQ(cell(f.current()->list(), 0, 1), "驱动器没有应答，请检查通信线路");
    EXPECT_EQ(f.current()->lastCode(), -1);
    // The window keeps painting and the poll keeps trying: a drive answers there now.
    f.drive->Server().SetStation(40);
    f.current()->startPolling();
    ASSERT_TRUE(f.waitForRow("没有报警"));

    // History entries that cannot be read say so (another station nobody answers at).
    f.window = std::make_unique<CAlarm>(hx::test::ProgramDrive().atStation(41), f.gate);
    f.window->tabs()->setCurrentIndex(CAlarm::HistoryTab);
    // Each entry is asked three times, each time waiting out a late reply.
    ASSERT_TRUE(ClickAndWait(f.history()->readButton(), f.history(), &CHistoryAlarm::readFinished, 30000));
    ASSERT_EQ(f.history()->list()->rowCount(), 9);
    EXPECT_EQ(cell(f.history()->list(), 8, 1), "读取失败");
    EXPECT_EQ(cell(f.history()->list(), 8, 2), "驱动器没有应答 (寄存器 148)");

    // The mask: a failed read leaves the boxes, a failed write never says done.
    f.settings()->box(3)->setChecked(true);
    QSignalSpy failedRead(f.settings(), &CAlarmSettings::maskRead);
    f.window->tabs()->setCurrentIndex(CAlarm::SettingsTab);
    ASSERT_TRUE(WaitUntil([&] { return !failedRead.isEmpty(); }, 10000));
    EXPECT_FALSE(failedRead.front().front().toBool());
    EXPECT_EQ(f.messages.lastText(), "读取故障检测设置失败：驱动器没有应答!");
    EXPECT_EQ(f.settings()->maskFromBoxes(), 0x0008);
    // Not even read for its backup: nothing is sent.
    EXPECT_FALSE(ClickAndWait(f.settings()->okButton(), f.settings(), &CAlarmSettings::maskWritten));
    EXPECT_FALSE(f.messages.saw("设置完成!"));
    EXPECT_TRUE(f.messages.lastText().startsWith("读取驱动器型号以备份时驱动器没有应答")) << f.messages.lastText().toStdString();
}

TEST(AlarmWindow, HistoryReadClearedAndStoppedByATabChange) {
    AlarmFixture f({.station = kStation, .historyClearDelayMs = 800});
    f.open();
    f.window->tabs()->setCurrentIndex(CAlarm::HistoryTab);
    EXPECT_FALSE(f.current()->polling());
    EXPECT_EQ(f.history()->list()->rowCount(), 0) << "no read before the button";

    ASSERT_TRUE(ClickAndWait(f.history()->readButton(), f.history(), &CHistoryAlarm::readFinished));
    ASSERT_EQ(f.history()->list()->rowCount(), 9);
    for (int r = 0; r < 9; ++r) {
        EXPECT_EQ(cell(f.history()->list(), r, 0), "没有报警");
        EXPECT_EQ(cell(f.history()->list(), r, 2), "");
    }

    f.sim().RaiseAlarm(13);
    f.sim().RaiseAlarm(9);
    ASSERT_TRUE(ClickAndWait(f.history()->readButton(), f.history(), &CHistoryAlarm::readFinished));
    ASSERT_EQ(f.history()->list()->rowCount(), 2);
    EXPECT_EQ((QStringList{cell(f.history()->list(), 0, 0), cell(f.history()->list(), 0, 1), cell(f.history()->list(), 1, 0),
                           cell(f.history()->list(), 1, 1), cell(f.history()->list(), 1, 2)}),
              (QStringList{"0", "Err0009", "1", "Err0013", "码盘断线"}));
    f.history()->list()->setCurrentCell(1, 0);
    f.history()->showCausesOfSelectedRow();
    EXPECT_TRUE(f.history()->causesText()->toPlainText().startsWith("----------------可能性一------------------\n原因:"));

    // Clear: asked first, since it cannot be undone; No keeps the history.
    QSignalSpy cleared(f.history(), &CHistoryAlarm::clearFinished);
    QSignalSpy done(f.history(), &CHistoryAlarm::readFinished);
    f.messages.clear();
    f.messages.answers = {false};
    f.sim().ClearRequests();
    QTest::mouseClick(f.history()->clearButton(), Qt::LeftButton);
    ASSERT_EQ(f.messages.records.size(), 1u);
    EXPECT_TRUE(f.messages.records[0].question);
    EXPECT_EQ(f.messages.lastText(), "清除驱动器中保存的全部历史报警？清除后无法恢复。");
    EXPECT_FALSE(f.history()->clearing());
    QTest::qWait(100);
    for (const auto& r : f.sim().Requests()) EXPECT_NE(r.address, 93) << "nothing sent";
    EXPECT_TRUE(cleared.isEmpty());
    EXPECT_EQ(f.history()->list()->rowCount(), 2);
    // Yes: the drive takes its time, the list is read again, and the causes
    // of the cleared alarms go.
    QTest::mouseClick(f.history()->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 5000));
    EXPECT_TRUE(cleared.front().front().toBool());
    ASSERT_TRUE(WaitUntil([&] { return !done.isEmpty(); }, 5000));
    EXPECT_EQ(f.history()->list()->rowCount(), 9);
    EXPECT_EQ(cell(f.history()->list(), 8, 0), "没有报警");
    EXPECT_TRUE(f.history()->causesText()->toPlainText().isEmpty());

    // The tab left while a clear runs: once the clear succeeds only the
    // current alarm is polled, with no history read beside it.
    f.sim().RaiseAlarm(5);
    f.sim().ClearRequests();
    cleared.clear();
    QTest::mouseClick(f.history()->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(f.history()->clearing());
    f.window->tabs()->setCurrentIndex(CAlarm::CurrentTab);
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 5000));
    EXPECT_TRUE(cleared.front().front().toBool());
    EXPECT_FALSE(f.history()->reading());
    const auto polls = [&] {
        int n = 0;
        for (const auto& r : f.sim().Requests()) n += r.address == 139;
        return n;
    };
    const int pollsAtClear = polls();
    ASSERT_TRUE(WaitUntil([&] { return polls() >= pollsAtClear + 3; }, 5000));
    for (const auto& r : f.sim().Requests())
        EXPECT_FALSE(r.address + r.count > 140 && r.address <= 148) << "history read at " << r.address;
    f.window->tabs()->setCurrentIndex(CAlarm::HistoryTab);

    // A clear that never ends: the message, the list as it was.
    f.sim().RaiseAlarm(2);
    f.sim().SetHistoryClearStuck(true);
    EXPECT_FALSE(ClickAndWait(f.history()->clearButton(), f.history(), &CHistoryAlarm::clearFinished));
    EXPECT_EQ(f.messages.lastText(), "清除历史报警失败!");
    EXPECT_EQ(f.history()->list()->rowCount(), 9);

    // Switching to the settings page while a read runs stops the read.
    QTest::mouseClick(f.history()->readButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return f.history()->list()->rowCount() >= 1; }, 3000));
    f.window->tabs()->setCurrentIndex(CAlarm::SettingsTab);
    EXPECT_FALSE(f.history()->reading());
    const int rows = f.history()->list()->rowCount();
    QTest::qWait(700);
    EXPECT_EQ(f.history()->list()->rowCount(), rows);
    EXPECT_LT(rows, 9);
    EXPECT_FALSE(f.current()->polling());
}
