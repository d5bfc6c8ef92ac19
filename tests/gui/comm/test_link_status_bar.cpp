// The main window's status bar follows the link: port and settings, station,
// whether the drive answers (at once when it stops) and the counters, while
// the drive commands stay enabled so the user can retry.

#include <gtest/gtest.h>

#include <QTimer>

#include "gui/comm/FrameOnDrive.h"
#include "core/params/CParameter.h"
#include "gui/app/CommandIds.h"
#include "gui/widgets/SimulatedMotion.h"
#include "gui/alarms/Alarm.h"
#include "gui/app/VelmoraView.h"
#include "gui/comm/LinkStatusBar.h"
#include "sim/DriveServer.h"

using hx::gui::CConnectCom;
using hx::gui::CMainFrame;
using hx::gui::LinkStatusBar;
using hx::test::WaitUntil;

namespace {

struct Frame : hx::test::FrameOnDrive {
    Frame() : FrameOnDrive({.station = 63}) {
        frame->resize(900, 500);
        bar = frame->findChild<LinkStatusBar*>();
    }
    // Connects through the connection window, as a user does.
    bool Connect() {
        return Press(static_cast<CConnectCom*>(frame->view()->openConnection()), &CConnectCom::connectButton) &&
               frame->IsConnected();
    }
    // Drives the bar's clock by hand: its own timer would read on the wall clock.
    void StepClock() {
        for (QTimer* t : bar->findChildren<QTimer*>()) t->stop();
    }
    // One refresh at the given time; true when it started an alarm read,
    // which has then been shown.
    bool RefreshAndRead(hx::AlarmWatch::Clock::time_point now) {
        const uint64_t before = bar->alarmWatch().ReadsStarted();
        QSignalSpy read(bar, &LinkStatusBar::alarmRead);
        bar->refresh(now);
        if (bar->alarmWatch().ReadsStarted() == before) return false;
        return WaitUntil([&] { return !read.isEmpty(); }, 2000);
    }
    // Reads of the current-alarm register the drive has seen.
    size_t AlarmReads() {
        size_t n = 0;
        for (const auto& r : drive.Drive().Requests())
            if (r.function == 3 && r.address <= hx::reg::kCurrentAlarm && r.address + r.count > hx::reg::kCurrentAlarm)
                ++n;
        return n;
    }

    LinkStatusBar* bar = nullptr;
};

}  // namespace

TEST(LinkStatusBar, FollowsTheLinkAndSaysAtOnceWhenTheDriveStopsAnswering) {
    Frame f;
    ASSERT_NE(f.bar, nullptr);
    EXPECT_EQ(f.bar->stateText(), "未连接");
    ASSERT_TRUE(f.Connect());
    f.bar->refresh();
    EXPECT_EQ(f.bar->stateText(), "已连接");
    EXPECT_TRUE(f.bar->portText().startsWith("COM1 (" + QString::fromStdString(f.drive.DevicePath())))
        << f.bar->portText().toStdString();
    EXPECT_TRUE(f.bar->portText().contains("38400 8N2")) << f.bar->portText().toStdString();
    EXPECT_EQ(f.bar->stationText(), "站号 63");
    EXPECT_TRUE(f.bar->countersText().startsWith("请求 ")) << f.bar->countersText().toStdString();
    EXPECT_FALSE(f.bar->silent());
    // Connecting registered the whole model's types, without any window listing.
    bool anyUnsigned = false;
    for (uint16_t a = 0; a < 150; ++a) anyUnsigned |= theParameterTable.IsUShort(a);
    EXPECT_TRUE(anyUnsigned) << g_driveModel;

    // The drive goes quiet: the next request shows it, the commands stay.
    // (The bar's own read at connect is over first: the counters count the
    // test's request alone.)
    ASSERT_TRUE(WaitUntil([&] { return f.bar->alarmWatch().ReadsStarted() >= 1 && !f.bar->alarmWatch().ReadRunning(); }));
    f.drive.Server().LoseReplies(1.0);
    theComm.SetReceiveTimeOut(20);
    EXPECT_EQ(theComm.ReadAddressValue(63, 5), -1);
    f.bar->refresh();
    EXPECT_TRUE(f.bar->silent());
    EXPECT_TRUE(f.bar->stateText().startsWith("驱动器无应答")) << f.bar->stateText().toStdString();
    EXPECT_TRUE(f.bar->countersText().contains("无应答 3")) << f.bar->countersText().toStdString();
    EXPECT_TRUE(f.bar->countersText().contains("重发 2")) << f.bar->countersText().toStdString();
    EXPECT_TRUE(f.frame->action(hx::gui::cmd::ParameterManager)->isEnabled());

    // And back, with a time-out a loaded machine's reply fits in.
    f.drive.Server().ClearFaults();
    theComm.SetReceiveTimeOut(300);
    EXPECT_NE(theComm.ReadAddressValue(63, 5), -1);
    EXPECT_TRUE(WaitUntil([&] { return !f.bar->silent() && f.bar->stateText() == "已连接"; }, 2000));

    // The simulated drive's motion controller, paused, says so until a click
    // lets it go on.
    hx::gui::SimulatedMotion::Attach(&f.drive.Drive());
    struct Detach {
        ~Detach() { hx::gui::SimulatedMotion::Attach(nullptr); }
    } detach;
    EXPECT_TRUE(f.bar->simulatedMotionButton()->isHidden());
    hx::gui::SimulatedMotion::SetPaused(true);
    f.bar->refresh();  // shown in its colours
    EXPECT_TRUE(!f.bar->simulatedMotionButton()->isHidden() && f.bar->simulatedMotionButton()->styleSheet().contains("#ffd27f"));
    f.bar->simulatedMotionButton()->click();
    EXPECT_FALSE(f.drive.Drive().ExternalMotionPaused());
    EXPECT_TRUE(f.bar->simulatedMotionButton()->isHidden());

    // Offline use says so.
    theComm.CloseCom();
    theComm.SetCurrentUseMode(0);
    f.bar->refresh();
    EXPECT_EQ(f.bar->stateText(), "脱机使用");
}

TEST(LinkStatusBar, ShowsTheCurrentAlarmReadOnlyWhileTheLinkIsIdle) {
    const uint16_t language = g_language;
    g_language = 4;  // Chinese alarm names
    Frame f;
    f.StepClock();
    ASSERT_TRUE(f.Connect());
    using namespace std::chrono_literals;
    const auto t0 = hx::AlarmWatch::Clock::now();

    // On connect: read at once, no alarm, nothing shown.
    ASSERT_TRUE(f.RefreshAndRead(t0));
    EXPECT_FALSE(f.bar->alarmShown());
    EXPECT_EQ(f.bar->alarmText(), "");

    // An alarm comes: shown at the next read, 2 s on, not before.
    ASSERT_TRUE(f.drive.Drive().RaiseAlarm(7));
    EXPECT_FALSE(f.RefreshAndRead(t0 + 1900ms));
    EXPECT_FALSE(f.bar->alarmShown());
    ASSERT_TRUE(f.RefreshAndRead(t0 + 2000ms));
    EXPECT_TRUE(f.bar->alarmShown());
    EXPECT_EQ(f.bar->alarmText(), "报警 Err0007 开环堵转");
    EXPECT_TRUE(f.bar->alarmButton()->styleSheet().contains("#c00000"));

    // Long link work (a transfer, a capture, a run) holds the link: no read
    // while it runs, however long; one as soon as it has ended.
    f.drive.Drive().ClearRequests();
    std::atomic<bool> release{false};
    hx::Job work;
    ASSERT_TRUE(work.run<int>(
        [&](std::stop_token) {
            int reads = 0;
            while (!release.load()) reads += theComm.ReadAddressValue(63, 5) != -1;
            return reads;
        },
        {}));
    EXPECT_FALSE(f.RefreshAndRead(t0 + 10s));
    EXPECT_FALSE(f.RefreshAndRead(t0 + 20s));
    // The drive is cleared meanwhile; the bar does not know yet.
    EXPECT_NE(theComm.WriteAddressValue(63, hx::reg::kFaultClear, hx::reg::kClearCurrentFaultValue), -1);
    EXPECT_EQ(f.drive.Drive().CurrentAlarm(), 0);
    EXPECT_EQ(f.AlarmReads(), 0u);
    EXPECT_TRUE(f.bar->alarmShown());
    release = true;
    work.join();
    ASSERT_TRUE(f.RefreshAndRead(t0 + 20s + 1ms));
    EXPECT_EQ(f.AlarmReads(), 1u);
    EXPECT_FALSE(f.bar->alarmShown());

    // A click on the alarm opens the alarm window.
    ASSERT_TRUE(f.drive.Drive().RaiseAlarm(7));
    ASSERT_TRUE(f.RefreshAndRead(t0 + 25s));
    ASSERT_TRUE(f.bar->alarmShown());
    f.frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.frame.get()));
    f.frame->view()->closeLinkWindows();  // the connection window, if still open
    ASSERT_TRUE(g_activeModule.empty()) << g_activeModule;
    QTest::mouseClick(f.bar->alarmButton(), Qt::LeftButton);
    EXPECT_NE(f.frame->findChild<hx::gui::CAlarm*>(), nullptr);

    // The link down: nothing shown, nothing read.
    theComm.CloseCom();
    f.frame->SetConnected(false);
    EXPECT_FALSE(f.RefreshAndRead(t0 + 30s));
    EXPECT_FALSE(f.bar->alarmShown());
    g_language = language;
}

// The device behind the port goes (the far end of the pseudo-terminal
// closes) and comes back under the same name: the bar says the port is lost
// and, once the device is there again, offers the connection window.
TEST(LinkStatusBar, ALostPortOffersReconnectingOnceTheDeviceIsBack) {
    hx::test::TempProgramFolder folder;
    const std::string link = folder.File("ttyHALVEX");
    auto drive = std::make_unique<hx::sim::InProcessDrive>(hx::sim::DriveOptions{.station = 63}, link);
    hx::PortResolver::SetOverride("COM2", link);
    theComm.CloseCom();
    g_activeModule.clear();
    auto frame = std::make_unique<CMainFrame>(theComm);
    auto* bar = frame->findChild<LinkStatusBar*>();
    for (QTimer* t : bar->findChildren<QTimer*>()) t->stop();
    theComm.ConfigCom("COM2", "38400", "8", "NONE", "2");
    ASSERT_NE(theComm.OpenCom(), 0) << theComm.LastErrorText();
    theComm.SetCurrentUseMode(1);
    frame->SetConnected(true);
    ASSERT_NE(theComm.ReadAddressValue(63, 5), -1);
    bar->refresh();
    EXPECT_EQ(bar->stateText(), "已连接");
    EXPECT_TRUE(bar->reconnectButton()->isHidden());

    drive.reset();
    EXPECT_EQ(theComm.ReadAddressValue(63, 5), -1);
    bar->refresh();
    EXPECT_EQ(bar->stateText(), "端口已断开");
    EXPECT_TRUE(bar->silent());
    // The device is not back yet: nothing to reconnect to.
    EXPECT_TRUE(bar->reconnectButton()->isHidden());

    drive = std::make_unique<hx::sim::InProcessDrive>(hx::sim::DriveOptions{.station = 63}, link);
    bar->refresh();
    EXPECT_EQ(bar->stateText(), "端口已断开");
    ASSERT_FALSE(bar->reconnectButton()->isHidden());
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    QTest::mouseClick(bar->reconnectButton(), Qt::LeftButton);
    EXPECT_NE(frame->findChild<CConnectCom*>(), nullptr);

    frame.reset();
    theComm.CloseCom();
    hx::PortResolver::ClearOverride("COM2");
}
