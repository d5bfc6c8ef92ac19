// The connection window against the simulated drive over a pseudo-terminal.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "gui/comm/FrameOnDrive.h"
#include "core/params/CParameter.h"
#include "core/runtest/MotionGuard.h"
#include "gui/app/CommandIds.h"
#include "gui/app/EnvironmentSetting.h"
#include "gui/app/VelmoraView.h"
#include "sim/DriveServer.h"

using namespace hx::gui;
using namespace hx::test;

namespace {

// A frame with the simulated drive behind COM1 and its connection window open.
struct ConnectFixture : FrameOnDrive {
    explicit ConnectFixture(hx::sim::DriveOptions options = {}) : FrameOnDrive(options) {
        window = static_cast<CConnectCom*>(frame->view()->openConnection());
    }
    bool press(QPushButton* (CConnectCom::*button)() const) { return Press(window, button); }
    CConnectCom* window = nullptr;
};

}  // namespace

TEST(ConnectCom, ConnectReadsTheDriveAndClosesItselfDisconnectsAndGoesOffline) {
    ConnectFixture f;
    ASSERT_NE(f.window, nullptr);
    EXPECT_EQ((QStringList{f.window->portCombo()->currentText(), f.window->baudCombo()->currentText(),
                           f.window->stationCombo()->currentText()}), (QStringList{"COM1", "38400", "63"}));

    QPointer<CConnectCom> window(f.window);
    QTest::mouseClick(f.window->connectButton(), Qt::LeftButton);
    // The requests run on a worker: the window keeps painting meanwhile.
    EXPECT_TRUE(f.window->busy());
    EXPECT_FALSE(f.window->connectButton()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !f.window->busy(); }, 10000));
    EXPECT_TRUE(f.messages.records.empty()) << f.messages.lastText().toStdString();
    EXPECT_TRUE(f.frame->IsConnected());
    EXPECT_EQ(f.frame->windowTitle(), "Halvex Configurator for KRV4-750W");
    EXPECT_FLOAT_EQ(g_firmwareVersion, 200.0f);
    EXPECT_EQ((std::tuple<int, std::string, int, std::string, std::string, std::string>{
                  g_station, g_driveSoftVersion, g_driveVariantCode, g_productModel, g_driveModel, g_displayModel}),
              (std::tuple<int, std::string, int, std::string, std::string, std::string>{
                  63, "1.5", 1001, "HX-KRV4-0750", "KRV4", "KRV4-750W"}));
    EXPECT_EQ(hx::env::Read(hx::env::kComSetting, "COM", "x"), "COM1");
    EXPECT_EQ(hx::env::Read(hx::env::kDrive, "DriveNo", "x"), "63");
    // Hidden after connecting whatever the drive says.
    EXPECT_EQ(theParameterTable.TestAttribute(90), 0);

    // The window closes itself half a second later and frees the link rule.
    ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }, 3000));
    EXPECT_TRUE(g_activeModule.empty());

    // Opening it again offers the disconnect.
    auto* again = static_cast<CConnectCom*>(f.frame->view()->openConnection());
    EXPECT_EQ(again->connectButton()->text(), "断开");
    EXPECT_FALSE(again->searchButton()->isEnabled());
    QTest::mouseClick(again->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !again->busy(); }, 5000));
    EXPECT_FALSE(f.frame->IsConnected());
    EXPECT_EQ(theComm.GetConnectStatus(), 0);

    // Offline use: the program without a drive.
    window = again;
    QTest::mouseClick(again->offlineButton(), Qt::LeftButton);
    EXPECT_TRUE(f.frame->IsConnected());
    EXPECT_EQ(f.frame->windowTitle(), "Varnel(脱机使用)");
    EXPECT_EQ(g_driveModel, "KRV7");
    EXPECT_EQ(theComm.CurrentUseMode(), 0);
    ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }, 1000));
}

// Closing the port after a time-out waits out the reply that may still come
// (here on the line itself: no note for the next program can be kept). The
// wait is a worker's: the window thread's timers keep their pace.
TEST(ConnectCom, ClosingAfterATimeOutLeavesTheWindowThreadFree) {
    ConnectFixture f;
    hx::env::Write(hx::env::kReadComDelay, "LateHorizon", "500");
    const std::string stateHome = std::getenv("XDG_STATE_HOME");
    ::setenv("XDG_STATE_HOME", "/dev/null", 1);
    ASSERT_TRUE(f.press(&CConnectCom::connectButton));
    ::setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    ASSERT_TRUE(f.frame->IsConnected());
    f.drive.Server().LoseReplies(1.0);
    EXPECT_FALSE(hx::DriveHandle(&theComm, 63).Read(hx::reg::kFirmwareVersion));
    f.drive.Server().ClearFaults();
    ASSERT_TRUE(WaitUntil([&] { return g_activeModule.empty(); }, 3000));
    auto* again = static_cast<CConnectCom*>(f.frame->view()->openConnection());
    ASSERT_NE(again, nullptr);

    QElapsedTimer clock;
    qint64 last = 0, longestGap = 0;
    QTimer ticks;
    ticks.setInterval(10);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - last);
        last = clock.elapsed();
    });
    clock.start();
    ticks.start();
    QTest::mouseClick(again->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !again->busy(); }, 10000));
    ticks.stop();
    longestGap = std::max(longestGap, clock.elapsed() - last);  // the stretch since the last tick
    EXPECT_EQ(theComm.GetConnectStatus(), 0);
    EXPECT_FALSE(f.frame->IsConnected());
    EXPECT_GE(clock.elapsed(), 300) << "the close waited out the late reply";
    EXPECT_LT(longestGap, 100) << "the window thread stood still while the port closed";
}

// A run whose program was killed leaves the drive's watchdog armed and a
// note of the drive's own values: the next connect from the window puts them
// back before anything else and says so.
TEST(ConnectCom, AWatchdogLeftArmedByAKilledRunIsPutBack) {
    ConnectFixture f;
    auto& vd = f.drive.Drive();
    for (auto [a, v] : {std::pair{31007, 5000}, {31008, 2}}) vd.SetRam(a, v);
    ASSERT_TRUE(f.press(&CConnectCom::connectButton));
    {
        hx::runtest::GuardOptions options;
        options.checkStandstill = false;
        hx::runtest::MotionGuard guard(hx::DriveHandle(&theComm, 63), theComm.PortName(), options);
        ASSERT_TRUE(guard.Prepare(hx::runtest::MotionKind::Trapezoid).ready());
        // The program dies here: the guard never puts anything back (what
        // it armed and how it comes back are the guard's own test).
    }
    ASSERT_NE(vd.Peek(31007), 5000) << "the run armed the drive's watchdog";
    f.frame.reset();
    theComm.CloseCom();
    f.messages.clear();
    // The drive's watchdog stopped the motor with its communication alarm:
    // the message says so and offers to clear it.
    vd.SetRam(56, 0xFFFF);
    ASSERT_TRUE(vd.RaiseAlarm(17));
    f.messages.answers = {true};

    f.frame = std::make_unique<CMainFrame>(theComm);
    f.window = static_cast<CConnectCom*>(f.frame->view()->openConnection());
    ASSERT_TRUE(f.press(&CConnectCom::connectButton));
    EXPECT_EQ(vd.Peek(31007), 5000);
    EXPECT_EQ(vd.Peek(31008), 2);
    ASSERT_TRUE(WaitUntil([&] { return f.messages.records.size() == 2; }, 5000));
    const auto& offer = f.messages.records[0];
    EXPECT_TRUE(offer.text.contains("Pr9.17 = 5000 ms")) << offer.text.toStdString();
    EXPECT_TRUE(offer.text.contains("报警 Err0017 正在进行")) << offer.text.toStdString();
    EXPECT_EQ(f.messages.lastText(), "报警已清除。");
    EXPECT_EQ(vd.CurrentAlarm(), 0);
}

TEST(ConnectCom, OlderFirmwareReadsOnlyTheFirstAttributeBlock) {
    ConnectFixture f({.firmwareRegister = 199});
    theParameterTable.LoadAttributes(std::vector<uint8_t>(270, 0xFF).data(), 270);
    ASSERT_TRUE(f.press(&CConnectCom::connectButton));
    ASSERT_TRUE(f.frame->IsConnected());
    EXPECT_FLOAT_EQ(g_firmwareVersion, 199.0f);
    const uint8_t* bits = theParameterTable.Attributes();
    bool anyLow = false;
    for (int i = 0; i < 20; ++i) anyLow |= bits[i] != 0;
    EXPECT_TRUE(anyLow) << "block 1 read";
    for (int i = 20; i < 270; ++i) ASSERT_EQ(bits[i], 0) << "byte " << i << " stays zero";
}

TEST(ConnectCom, StoredPortAndFailures) {
    ConnectFixture f({.station = 9});
    hx::env::Write(hx::env::kComSetting, "COM", "COM12");
    hx::env::Write(hx::env::kDrive, "DriveNo", "5");
    f.window->closeWindow();
    WaitUntil([&] { return g_activeModule.empty(); }, 1000);
    auto* w = f.window = static_cast<CConnectCom*>(f.frame->view()->openConnection());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->portCombo()->currentText(), "COM2") << "only the last character counts";
    EXPECT_EQ(w->stationCombo()->currentText(), "5");

    // No drive at station 5.
    w->portCombo()->setCurrentIndex(0);
    ASSERT_TRUE(f.press(&CConnectCom::connectButton));
    EXPECT_EQ(f.messages.lastText(), "连接驱动器失败，请检查通信线路或设备机号是否异常！");
    EXPECT_FALSE(f.frame->IsConnected());
    EXPECT_EQ(theComm.GetConnectStatus(), 0);
    EXPECT_TRUE(w->searchButton()->isEnabled());

    // A port without a device behind it.
    hx::PortResolver::SetOverride("COM2", "/dev/halvex-no-such-port");
    w->portCombo()->setCurrentIndex(1);
    ASSERT_TRUE(f.press(&CConnectCom::connectButton));
    EXPECT_EQ(f.messages.lastText(), "打开串口失败,可能线路异常或端口被占用!");
    // Searching on it says so too, and leaves the window ready for another try.
    f.messages.clear();
    ASSERT_TRUE(f.press(&CConnectCom::searchButton));
    EXPECT_EQ(f.messages.lastText(), "打开串口失败,可能线路异常或端口被占用!");
    EXPECT_TRUE(w->connectButton()->isEnabled());
    EXPECT_FALSE(w->searching());
    hx::PortResolver::ClearOverride("COM2");
}

TEST(ConnectCom, UnknownProductModelLeavesTheProgramDisconnected) {
    ConnectFixture f({.productModel = "NO'SUCH"});
    ASSERT_TRUE(f.press(&CConnectCom::connectButton));
    EXPECT_TRUE(f.messages.saw("Model not supported for this product!"));
    EXPECT_FALSE(f.frame->IsConnected());
    EXPECT_EQ(theComm.GetConnectStatus(), 0);
    EXPECT_TRUE(g_displayModel.empty());
}

TEST(ConnectCom, SearchFindsTheDriveOrReportsNone) {
    {
        ConnectFixture f({.station = 5});
        // Long enough that a busy test machine does not miss the drive.
        theComm.SetReceiveTimeOut(150);
        QTest::mouseClick(f.window->searchButton(), Qt::LeftButton);
        EXPECT_FALSE(f.window->connectButton()->isEnabled());
        ASSERT_TRUE(WaitUntil([&] { return !f.window->searching(); }, 10000));
        EXPECT_EQ(f.window->stationCombo()->currentText(), "5");
        EXPECT_TRUE(f.window->connectButton()->isEnabled());
        EXPECT_EQ(theComm.GetConnectStatus(), 0);
        EXPECT_EQ(f.window->searchButton()->text(), "停 止") << "the caption stays until pressed";
        QTest::mouseClick(f.window->searchButton(), Qt::LeftButton);
        EXPECT_EQ(f.window->searchButton()->text(), "查找设备");
    }
    {
        // Closing the window mid-search closes the port it opened.
        ConnectFixture f({.station = 40});
        theComm.SetReceiveTimeOut(15);
        QTest::mouseClick(f.window->searchButton(), Qt::LeftButton);
        ASSERT_TRUE(f.window->searching());
        EXPECT_TRUE(WaitUntil([&] { return theComm.GetConnectStatus() != 0; }, 3000));
        f.window->closeWindow();
        EXPECT_EQ(theComm.GetConnectStatus(), 0);
    }
    {
        ConnectFixture f({.station = 5, .dropRate = 1.0});
        theComm.SetReceiveTimeOut(15);
        QTest::mouseClick(f.window->searchButton(), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return f.window->statusLabel()->text().startsWith("完成:"); }, 3000));
        ASSERT_TRUE(WaitUntil([&] { return !f.window->searching(); }, 20000));
        EXPECT_EQ(f.window->statusLabel()->text(), "没有找到相关驱动器!");
        EXPECT_TRUE(f.window->connectButton()->isEnabled());
        EXPECT_EQ(theComm.GetConnectStatus(), 0);
    }
}

TEST(EnvironmentSetting, AcceptsThirtyToOneThousand) {
    TempProgramFolder folder;
    MessageRecorder messages;
    CEnvironmentSetting window(theComm);
    EXPECT_EQ(window.delayEdit()->text(), "10") << "a file without the key";
    EXPECT_FALSE(window.save()) << "the default cannot be saved unchanged";
    EXPECT_EQ(messages.lastText(), "输入延时超出范围!\n允许范围: 30 ~ 1000 ms") << "the refusal says what is taken";

    struct Case { const char* text; bool saved; };
    for (Case c : {Case{"29", false}, Case{"30", true}, Case{"1000", true}, Case{"1001", false}, Case{"abc", false}}) {
        messages.clear();
        window.delayEdit()->setText(c.text);
        QTest::mouseClick(window.saveButton(), Qt::LeftButton);
        ASSERT_EQ(messages.records.size(), 1u) << c.text;
        EXPECT_EQ(messages.lastText() == "保存环境参数成功!", c.saved) << messages.lastText().toStdString();
    }
    EXPECT_EQ(theComm.ReceiveTimeOut(), 1000) << "the last value saved, applied to the running link";
    EXPECT_EQ(hx::env::Read(hx::env::kReadComDelay, "DelayTime", "x"), "1000");
}
