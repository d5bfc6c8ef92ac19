// The alarm window against the simulated drive over a pseudo-terminal: the
// polled current alarm, the history with its clear, the fault-detection
// switches, tab changes and a link that does not answer.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTranslator>
#include <algorithm>
#include <chrono>

#include "gui/GuiTestUtil.h"
#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "core/link/PortResolver.h"
#include "gui/alarms/Alarm.h"
#include "gui/alarms/AlarmPages.h"
#include "gui/app/CommandIds.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

using namespace hx::gui;
using hx::test::MessageRecorder;
using hx::test::TempProgramFolder;
using hx::test::WaitUntil;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kStation = 7;

QString cell(QTableWidget* list, int row, int column) {
    auto* item = list->item(row, column);
    return item ? item->text() : QString("<none>");
}

hx::sim::DriveOptions driveOptions() {
    hx::sim::DriveOptions o;
    o.station = kStation;
    return o;
}

// The simulated drive behind theComm, and an alarm window of its own.
struct AlarmFixture {
    explicit AlarmFixture(hx::sim::DriveOptions options = driveOptions()) : drive(options) {
        theComm.CloseCom();
        theComm.ConfigCom(drive.DevicePath(), "38400", "8", "NONE", "2");
        // Nobody answers at some stations here, and nobody answers late.
        theComm.SetLateHorizon(100);
        theComm.OpenCom();
        theComm.SetReceiveTimeOut(50);
        g_station = kStation;
        g_language = 4;
        g_activeModule.clear();
    }
    ~AlarmFixture() {
        window.reset();
        theComm.CloseCom();
        g_station = 1;
        g_language = 4;
    }
    void open() { window = std::make_unique<CAlarm>(); }
    hx::sim::VirtualDrive& vd() { return drive.Drive(); }
    CCurrentAlarm* current() { return window->currentPage(); }
    CHistoryAlarm* history() { return window->historyPage(); }
    CAlarmSettings* settings() { return window->settingsPage(); }
    bool waitForRow(const QString& text, int column = 0, int timeoutMs = 3000) {
        return WaitUntil([&] { return current()->list()->rowCount() > 0 && cell(current()->list(), 0, column) == text; },
                         timeoutMs);
    }

    TempProgramFolder folder;
    MessageRecorder messages;
    hx::sim::InProcessDrive drive;
    std::unique_ptr<CAlarm> window;
};

}  // namespace

TEST(AlarmWindow, TabsCaptionsAndTheOneWindowRule) {
    AlarmFixture f;
    f.open();
    EXPECT_EQ(f.window->windowTitle(), "警报");
    EXPECT_EQ(QString::fromStdString(g_activeModule), "警报");
    ASSERT_EQ(f.window->tabs()->count(), 3);
    EXPECT_EQ(f.window->tabs()->tabText(0), "当前报警");
    EXPECT_EQ(f.window->tabs()->tabText(1), "历史报警");
    EXPECT_EQ(f.window->tabs()->tabText(2), "报警设置");
    EXPECT_EQ(f.window->tabs()->currentIndex(), 0);
    EXPECT_EQ(f.current()->list()->horizontalHeaderItem(0)->text(), "报警编号");
    EXPECT_EQ(f.current()->list()->horizontalHeaderItem(1)->text(), "报警名称");
    EXPECT_EQ(f.current()->list()->columnWidth(0), 100);
    EXPECT_EQ(f.history()->list()->horizontalHeaderItem(0)->text(), "序号");
    EXPECT_EQ(f.history()->list()->columnWidth(0), 70);
    EXPECT_EQ(f.settings()->box(12)->text(), "码盘断线检测");
    EXPECT_EQ(f.settings()->box(15)->text(), "(空)");
    EXPECT_TRUE(f.current()->polling());
    f.window->close();
    EXPECT_TRUE(g_activeModule.empty());
    EXPECT_FALSE(f.current()->polling());
}

TEST(AlarmWindow, CurrentAlarmPolledShownExplainedAndCleared) {
    AlarmFixture f;
    f.open();
    ASSERT_TRUE(f.waitForRow("没有报警"));
    EXPECT_EQ(f.current()->list()->rowCount(), 1);
    EXPECT_EQ(cell(f.current()->list(), 0, 1), "");

    // Polled every 500 ms: the median gap between reads of the current alarm
    // (a poll delayed on a loaded machine makes one gap longer and the next
    // one shorter, the median stays).
    f.vd().ClearRequests();
    const auto pollTimes = [&] {
        std::vector<std::chrono::steady_clock::time_point> at;
        for (const auto& r : f.vd().Requests())
            if (r.address == 139) at.push_back(r.at);
        return at;
    };
    ASSERT_TRUE(WaitUntil([&] { return pollTimes().size() >= 7; }, 12000));
    const auto at = pollTimes();
    std::vector<long> gaps;
    for (std::size_t i = 1; i < at.size(); ++i)
        gaps.push_back(static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(at[i] - at[i - 1]).count()));
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_GE(gaps[gaps.size() / 2], 400);
    EXPECT_LE(gaps[gaps.size() / 2], 750);

    // A raised alarm shows at the next poll.
    f.vd().RaiseAlarm(7);
    ASSERT_TRUE(f.waitForRow("Err0007", 0, 3000));
    EXPECT_EQ(cell(f.current()->list(), 0, 1), "开环堵转");
    EXPECT_EQ(f.current()->lastCode(), 7);

    // Its causes and remedies, two of them.
    f.current()->list()->setCurrentCell(0, 0);
    f.current()->showCausesOfSelectedRow();
    const QString text = f.current()->causesText()->toPlainText();
    EXPECT_TRUE(text.startsWith("----------------可能性一------------------\n原因：")) << text.toStdString();
    EXPECT_TRUE(text.contains("----------------可能性二------------------\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("可能性三"));

    // A row reading "没有报警" explains nothing.
    f.vd().SetAlarmCondition(1, true);
    ASSERT_TRUE(f.waitForRow("Err0001"));
    QSignalSpy cleared(f.current(), &CCurrentAlarm::clearFinished);
    QTest::mouseClick(f.current()->clearButton(), Qt::LeftButton);
    EXPECT_FALSE(f.current()->clearButton()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 3000));
    EXPECT_TRUE(cleared.front().front().toBool());
    EXPECT_EQ(f.vd().CurrentAlarm(), 1) << "the over-current is still there";
    f.vd().SetAlarmCondition(1, false);
    cleared.clear();
    QTest::mouseClick(f.current()->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 3000));
    ASSERT_TRUE(f.waitForRow("没有报警"));
    EXPECT_TRUE(f.current()->polling()) << "the poll goes on after the clear";
    // The causes of the alarm that went away go with it.
    f.current()->list()->setCurrentCell(0, 0);
    f.current()->showCausesOfSelectedRow();
    EXPECT_TRUE(f.current()->causesText()->toPlainText().isEmpty());
    f.vd().RaiseAlarm(7);
    ASSERT_TRUE(f.waitForRow("Err0007"));
    f.current()->list()->setCurrentCell(0, 0);
    f.current()->showCausesOfSelectedRow();
    ASSERT_FALSE(f.current()->causesText()->toPlainText().isEmpty());
    cleared.clear();
    QTest::mouseClick(f.current()->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 3000));
    EXPECT_TRUE(f.current()->causesText()->toPlainText().isEmpty());
    ASSERT_TRUE(f.waitForRow("没有报警"));
    f.current()->list()->setCurrentCell(0, 0);
    f.current()->showCausesOfSelectedRow();
    EXPECT_TRUE(f.current()->causesText()->toPlainText().isEmpty());
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();
}

TEST(AlarmWindow, DeadLinkIsShownAndPollingGoesOn) {
    AlarmFixture f;
    g_station = 40;  // nobody answers there
    f.open();
    ASSERT_TRUE(f.waitForRow("无应答"));
    EXPECT_EQ(cell(f.current()->list(), 0, 1), "驱动器没有应答，请检查通信线路");
    EXPECT_EQ(f.current()->lastCode(), -1);
    // The window keeps painting and the poll keeps trying: the drive answers again.
    g_station = kStation;
    f.current()->startPolling();
    ASSERT_TRUE(f.waitForRow("没有报警"));

    // History entries that cannot be read say so.
    g_station = 40;
    f.window->tabs()->setCurrentIndex(CAlarm::HistoryTab);
    QSignalSpy done(f.history(), &CHistoryAlarm::readFinished);
    QTest::mouseClick(f.history()->readButton(), Qt::LeftButton);
    // Each entry is asked three times, each time waiting out a late reply.
    ASSERT_TRUE(WaitUntil([&] { return !done.isEmpty(); }, 30000));
    ASSERT_EQ(f.history()->list()->rowCount(), 9);
    for (int r = 0; r < 9; ++r) {
        EXPECT_EQ(cell(f.history()->list(), r, 0), QString::number(r + 1));
        EXPECT_EQ(cell(f.history()->list(), r, 1), "读取失败");
        EXPECT_EQ(cell(f.history()->list(), r, 2), QString("驱动器没有应答 (寄存器 %1)").arg(140 + r));
    }

    // The mask: a failed read leaves the boxes, a failed write never says done.
    f.settings()->box(3)->setChecked(true);
    QSignalSpy read(f.settings(), &CAlarmSettings::maskRead);
    f.window->tabs()->setCurrentIndex(CAlarm::SettingsTab);
    ASSERT_TRUE(WaitUntil([&] { return !read.isEmpty(); }, 10000));
    EXPECT_FALSE(read.front().front().toBool());
    EXPECT_EQ(f.messages.lastText(), "读取故障检测设置失败：驱动器没有应答!");
    EXPECT_EQ(f.settings()->maskFromBoxes(), 0x0008);
    QSignalSpy written(f.settings(), &CAlarmSettings::maskWritten);
    QTest::mouseClick(f.settings()->okButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !written.isEmpty(); }, 10000));
    EXPECT_FALSE(f.messages.saw("设置完成!"));
    EXPECT_EQ(f.messages.lastText(), "设置失败：驱动器没有应答!");
}

TEST(AlarmWindow, HistoryReadClearedAndStoppedByATabChange) {
    hx::sim::DriveOptions options = driveOptions();
    options.historyClearDelayMs = 800;
    AlarmFixture f(options);
    f.open();
    f.window->tabs()->setCurrentIndex(CAlarm::HistoryTab);
    EXPECT_FALSE(f.current()->polling());
    EXPECT_EQ(f.history()->list()->rowCount(), 0) << "no read before the button";

    QSignalSpy done(f.history(), &CHistoryAlarm::readFinished);
    QTest::mouseClick(f.history()->readButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !done.isEmpty(); }, 5000));
    ASSERT_EQ(f.history()->list()->rowCount(), 9);
    for (int r = 0; r < 9; ++r) {
        EXPECT_EQ(cell(f.history()->list(), r, 0), "") << "no number for no alarm";
        EXPECT_EQ(cell(f.history()->list(), r, 2), "没有报警") << "said where names stand";
    }

    f.vd().RaiseAlarm(13);
    f.vd().RaiseAlarm(9);
    done.clear();
    QTest::mouseClick(f.history()->readButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !done.isEmpty(); }, 5000));
    ASSERT_EQ(f.history()->list()->rowCount(), 2);
    EXPECT_EQ(cell(f.history()->list(), 0, 0), "1");
    EXPECT_EQ(cell(f.history()->list(), 0, 1), "Err0009");
    EXPECT_EQ(cell(f.history()->list(), 1, 0), "2");
    EXPECT_EQ(cell(f.history()->list(), 1, 1), "Err0013");
    EXPECT_EQ(cell(f.history()->list(), 1, 2), "码盘断线");
    f.history()->list()->setCurrentCell(1, 0);
    f.history()->showCausesOfSelectedRow();
    EXPECT_TRUE(f.history()->causesText()->toPlainText().startsWith("----------------可能性一------------------\n原因:"));

    // Clear: asked first, since it cannot be undone; No keeps the history.
    QSignalSpy cleared(f.history(), &CHistoryAlarm::clearFinished);
    f.messages.clear();
    f.messages.answers = {false};
    f.vd().ClearRequests();
    QTest::mouseClick(f.history()->clearButton(), Qt::LeftButton);
    ASSERT_EQ(f.messages.records.size(), 1u);
    EXPECT_TRUE(f.messages.records[0].question);
    EXPECT_EQ(f.messages.lastText(), "清除驱动器中保存的全部历史报警？清除后无法恢复。");
    EXPECT_EQ(f.messages.lastCaption(), "清除报警");
    EXPECT_FALSE(f.history()->clearing());
    QTest::qWait(100);
    for (const auto& r : f.vd().Requests()) EXPECT_NE(r.address, 93) << "nothing sent";
    EXPECT_TRUE(cleared.isEmpty());
    EXPECT_EQ(f.history()->list()->rowCount(), 2);
    // Yes: the drive takes its time, the list is read again, and the causes
    // of the cleared alarms go.
    done.clear();
    QTest::mouseClick(f.history()->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 5000));
    EXPECT_TRUE(cleared.front().front().toBool());
    ASSERT_TRUE(WaitUntil([&] { return !done.isEmpty(); }, 5000));
    EXPECT_EQ(f.history()->list()->rowCount(), 9);
    EXPECT_EQ(cell(f.history()->list(), 8, 2), "没有报警");
    EXPECT_TRUE(f.history()->causesText()->toPlainText().isEmpty());

    // The tab left while a clear runs: once the clear succeeds only the
    // current alarm is polled, with no history read beside it.
    f.vd().RaiseAlarm(5);
    f.vd().ClearRequests();
    cleared.clear();
    QTest::mouseClick(f.history()->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(f.history()->clearing());
    f.window->tabs()->setCurrentIndex(CAlarm::CurrentTab);
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 5000));
    EXPECT_TRUE(cleared.front().front().toBool());
    EXPECT_FALSE(f.history()->reading());
    const auto polls = [&] {
        int n = 0;
        for (const auto& r : f.vd().Requests()) n += r.address == 139;
        return n;
    };
    const int pollsAtClear = polls();
    ASSERT_TRUE(WaitUntil([&] { return polls() >= pollsAtClear + 3; }, 5000));
    for (const auto& r : f.vd().Requests())
        EXPECT_FALSE(r.address + r.count > 140 && r.address <= 148) << "history read at " << r.address;
    f.window->tabs()->setCurrentIndex(CAlarm::HistoryTab);

    // A clear that never ends: the message, the list as it was.
    f.vd().RaiseAlarm(2);
    f.vd().SetHistoryClearStuck(true);
    cleared.clear();
    QTest::mouseClick(f.history()->clearButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !cleared.isEmpty(); }, 5000));
    EXPECT_FALSE(cleared.front().front().toBool());
    EXPECT_EQ(f.messages.lastText(), "清除历史报警失败!");
    EXPECT_EQ(f.messages.lastCaption(), "清除报警");
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

TEST(AlarmWindow, FaultDetectionSwitches) {
    AlarmFixture f;
    f.vd().SetRam(56, 0x0005);
    f.open();
    QSignalSpy read(f.settings(), &CAlarmSettings::maskRead);
    f.window->tabs()->setCurrentIndex(CAlarm::SettingsTab);
    ASSERT_TRUE(WaitUntil([&] { return !read.isEmpty(); }, 3000));
    for (int n = 0; n < 16; ++n) EXPECT_EQ(f.settings()->box(n)->isChecked(), n == 0 || n == 2) << n;

    for (int n = 0; n < 16; ++n) f.settings()->box(n)->setChecked(n == 12);
    QSignalSpy written(f.settings(), &CAlarmSettings::maskWritten);
    QTest::mouseClick(f.settings()->okButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !written.isEmpty(); }, 3000));
    EXPECT_TRUE(written.front().front().toBool());
    EXPECT_EQ(f.vd().Ram(56), 0x1000);
    EXPECT_EQ(f.messages.lastText(), "设置完成!");
    // A box without a caption of its own carries a title short enough to be
    // shown whole, not "Hal... tor".
    EXPECT_EQ(f.messages.lastCaption(), "Halvex");
    // The drive no longer detects a position following error.
    EXPECT_FALSE(f.vd().RaiseAlarm(9));
}

TEST(AlarmWindow, OpenedFromTheToolbarAtTheTopLeft) {
    AlarmFixture f;
    CMainFrame frame;
    CVelmoraView* view = frame.view();
    // The connection window opens by itself; close it first.
    ASSERT_TRUE(WaitUntil([&] { return view->area()->subWindowList().size() == 1; }, 3000));
    view->area()->subWindowList().front()->close();
    ASSERT_TRUE(WaitUntil([&] { return g_activeModule.empty(); }, 2000));
    EXPECT_FALSE(frame.action(cmd::Alarm)->isEnabled());
    frame.SetConnected(true);
    ASSERT_TRUE(frame.action(cmd::Alarm)->isEnabled());
    frame.action(cmd::Alarm)->trigger();
    EXPECT_EQ(QString::fromStdString(g_activeModule), "警报");
    QMdiSubWindow* sub = nullptr;
    for (auto* s : view->area()->subWindowList())
        if (qobject_cast<CAlarm*>(s->widget())) sub = s;
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->pos(), QPoint(0, 10));
    // A second link window is refused while it is open.
    EXPECT_EQ(view->openConnection(), nullptr);
    EXPECT_EQ(f.messages.lastText(), "警报模块正在使用通信串口，请先关闭！");
    sub->close();
    EXPECT_TRUE(g_activeModule.empty());
}

// Screenshots for the documentation, when HALVEX_SCREENSHOT_DIR names a folder.
TEST(AlarmWindow, Screenshots) {
    const QString dir = qEnvironmentVariable("HALVEX_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "HALVEX_SCREENSHOT_DIR not set";
    for (const bool english : {false, true}) {
        std::optional<hx::test::EnglishCatalogue> catalogue;
        if (english) {
            ASSERT_TRUE(catalogue.emplace().loaded());
            g_language = 9;
        }
        AlarmFixture f;
        g_language = english ? 9 : 4;
        f.vd().RaiseAlarm(13);
        f.vd().RaiseAlarm(9);
        f.open();
        f.window->resize(560, 560);
        f.window->show();
        ASSERT_TRUE(f.waitForRow("Err0009"));
        f.current()->list()->setCurrentCell(0, 0);
        f.current()->showCausesOfSelectedRow();
        const QString lang = english ? "en" : "zh";
        f.window->grab().save(dir + "/alarm_current_" + lang + ".png");
        f.window->tabs()->setCurrentIndex(CAlarm::HistoryTab);
        QSignalSpy done(f.history(), &CHistoryAlarm::readFinished);
        f.history()->readHistory();
        ASSERT_TRUE(WaitUntil([&] { return !done.isEmpty(); }, 5000));
        f.history()->list()->setCurrentCell(1, 0);
        f.history()->showCausesOfSelectedRow();
        f.window->grab().save(dir + "/alarm_history_" + lang + ".png");
        QSignalSpy read(f.settings(), &CAlarmSettings::maskRead);
        f.window->tabs()->setCurrentIndex(CAlarm::SettingsTab);
        ASSERT_TRUE(WaitUntil([&] { return !read.isEmpty(); }, 3000));
        f.window->grab().save(dir + "/alarm_settings_" + lang + ".png");
    }
}
