// The run-test window offscreen against the simulated drive over a
// pseudo-terminal: the opening reads, modes refused while running, the
// resonance sliders and Enter, and closing during a run.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QToolBar>
#include <QTest>
#include <QTranslator>
#include <memory>

#include <gtest/gtest.h>

#include "gui/GuiTestUtil.h"
#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/i18n/StringTable.h"
#include "core/params/CParameter.h"
#include "gui/app/CommandIds.h"
#include "gui/app/MainFrame.h"
#include "gui/app/VelmoraView.h"
#include "gui/runtest/ResonateAdjust.h"
#include "gui/plot/Cscope.h"
#include "gui/runtest/RunTestWindow.h"
#include "gui/runtest/TorqueMode.h"
#include "gui/runtest/VelocityMode.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

using hx::gui::CRunTest;
using hx::runtest::Mode;

namespace {

constexpr uint8_t kStation = 5;
constexpr uint8_t kWriteSingle = 6;

struct RunWindowFixture {
    RunWindowFixture() {
        hx::sim::DriveOptions o;
        o.station = kStation;
        o.databasePath = "-";
        drive = std::make_unique<hx::sim::InProcessDrive>(o);
        auto& vd = drive->Drive();
        vd.Poke(13, 0);
        vd.Poke(15, 1200);
        vd.Poke(16, 300);
        vd.Poke(17, 256);
        vd.Poke(52, 0x803F);  // six sources and the torque current
        vd.Poke(99, 4);
        vd.Poke(136, 2000);
        theComm.CloseCom();
        theComm.ConfigCom(drive->DevicePath(), "38400", "8", "NONE", "2");
        theComm.OpenCom();
        theComm.SetCurrentUseMode(1);
        theComm.SetReceiveTimeOut(200);
        theParameterTable = CParameter();
        g_station = kStation;
        g_firmwareVersion = 200.0f;
        g_activeModule.clear();
    }
    ~RunWindowFixture() {
        window.reset();
        theComm.CloseCom();
        g_activeModule.clear();
    }
    CRunTest* open() {
        window = std::make_unique<CRunTest>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(hx::test::WaitUntil([&] { return window->opened(); }, 8000));
        return window.get();
    }
    hx::sim::VirtualDrive& sim() { return drive->Drive(); }
    std::vector<uint16_t> Written() {
        std::vector<uint16_t> out;
        for (const auto& r : sim().Requests())
            if (r.function == kWriteSingle) out.push_back(r.address);
        return out;
    }

    hx::test::TempProgramFolder folder;
    std::unique_ptr<hx::sim::InProcessDrive> drive;
    std::unique_ptr<CRunTest> window;
    hx::test::MessageRecorder boxes;
};

void PressEnter(QWidget* w) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

}  // namespace

TEST(RunTestWindow, OpensInVelocityModeWithTheTorqueGainsRead) {
    RunWindowFixture f;
    CRunTest* w = f.open();
    EXPECT_EQ(g_activeModule, "试运行");
    EXPECT_EQ(w->mode(), Mode::Velocity);
    EXPECT_TRUE(w->velocityPage()->isVisible());
    EXPECT_FALSE(w->torquePage()->isVisible());
    EXPECT_EQ(w->torquePage()->loads(), 1);
    EXPECT_EQ(w->torquePage()->Fields().kp, 1200);
    EXPECT_EQ(w->torquePage()->Fields().ki, 300);
    EXPECT_EQ(w->torquePage()->Fields().kc, 256);
    EXPECT_EQ(w->torquePage()->Fields().testCurrent, 1000);
    // Seven sources listed after the empty entry; four channels picked in order.
    EXPECT_EQ(w->channelList(0)->count(), 8);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(w->channelList(i)->currentIndex(), i + 1);
        EXPECT_TRUE(w->channelBox(i)->isChecked());
    }
    // Capacity 2000 over four channels.
    EXPECT_EQ(w->pointsList()->count(), 4);
    EXPECT_EQ(w->pointsList()->currentText(), "500");
    EXPECT_EQ(w->startButton()->text(), "开 始");
    EXPECT_FALSE(w->periodList()->isEnabled());
    EXPECT_EQ(w->periodList()->currentText(), "1000");
    // Nothing was written while opening.
    EXPECT_TRUE(f.Written().empty());
}

TEST(RunTestWindow, ModeSwitchIsRefusedWhileRunningAndCloseStopsTheMotor) {
    RunWindowFixture f;
    CRunTest* w = f.open();
    w->velocityPage()->runsEdit()->setText("100");  // about 12 s of moves
    f.sim().ClearRequests();
    w->clickStart();
    EXPECT_EQ(w->startButton()->text(), "停 止");
    EXPECT_FALSE(w->startButton()->isEnabled());
    ASSERT_TRUE(hx::test::WaitUntil([&] { return f.Written().size() >= 15; }));
    EXPECT_EQ(f.sim().Peek(70), 1);
    EXPECT_EQ(f.Written(), (std::vector<uint16_t>{65, 69, 62, 67, 60, 63, 61, 33, 34, 94, 95, 96, 137, 70, 32}));

    f.boxes.clear();
    w->enterResonanceMode();
    EXPECT_EQ(f.boxes.lastText(), "请先停止另一运行模式，然后再切换为当前模式。");
    EXPECT_EQ(f.boxes.lastCaption(), "切换模式");
    EXPECT_EQ(w->mode(), Mode::Velocity);
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->startButton()->isEnabled(); }));

    // Closing while the capture still waits: the motor stops, the wait ends.
    ASSERT_EQ(f.sim().Peek(70), 1) << "the motor still runs";
    QElapsedTimer t;
    t.start();
    w->close();
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_EQ(f.sim().Peek(70), 0);
    EXPECT_TRUE(g_activeModule.empty());
    f.window.reset();
}

TEST(RunTestWindow, StartWithNoChannelWritesNothingAndAStopGoesOut) {
    RunWindowFixture f;
    CRunTest* w = f.open();
    for (int i = 0; i < 4; ++i) w->channelBox(i)->setChecked(false);
    f.sim().ClearRequests();
    w->clickStart();
    EXPECT_EQ(w->startButton()->text(), "开 始");
    EXPECT_TRUE(hx::test::WaitUntil([&] { return w->startButton()->isEnabled(); }, 2000));
    EXPECT_TRUE(f.Written().empty());

    // Invalid speed: the message, nothing written, the button idle again.
    w->channelBox(0)->setChecked(true);
    w->velocityPage()->speedEdit()->setText("-1");
    f.boxes.clear();
    w->clickStart();
    EXPECT_EQ(f.boxes.lastText(), "运行速度超过输入范围(0 ~ 32767),请重新输入!");
    EXPECT_EQ(f.boxes.lastCaption(), "超过范围");
    EXPECT_EQ(w->startButton()->text(), "开 始");
    EXPECT_EQ(w->velocityPage()->speedEdit()->text(), "-1");
    QTest::qWait(100);
    EXPECT_TRUE(f.Written().empty());
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->startButton()->isEnabled(); }, 2000));
    w->enterTorqueMode();
    w->enterVelocityMode();
    EXPECT_EQ(w->velocityPage()->speedEdit()->text(), "200");
}

TEST(RunTestWindow, TorqueKcOutOfRangeAndAutoTuningBox) {
    RunWindowFixture f;
    CRunTest* w = f.open();
    w->enterTorqueMode();
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->torquePage()->loads() == 2; }));
    EXPECT_EQ(w->channelList(0)->currentText(), "力矩电流(mA)");
    EXPECT_FALSE(w->channelList(0)->isEnabled());
    f.sim().ClearRequests();
    w->torquePage()->kcEdit()->setText("2000");
    f.boxes.clear();
    w->clickStart();
    EXPECT_TRUE(f.boxes.records.empty());
    EXPECT_EQ(w->torquePage()->Fields().kc, 256);
    EXPECT_EQ(w->startButton()->text(), "开 始");
    QTest::qWait(100);
    EXPECT_TRUE(f.Written().empty());

    // The box writes at once and locks the gains the drive now tunes.
    w->torquePage()->autoTuneBox()->setEnabled(true);
    w->torquePage()->autoTuneBox()->click();
    EXPECT_FALSE(w->torquePage()->kpEdit()->isEnabled());
    EXPECT_FALSE(w->torquePage()->kiEdit()->isEnabled());
    ASSERT_TRUE(hx::test::WaitUntil([&] { return f.sim().Peek(13) == 1; }));
    EXPECT_EQ(f.Written(), (std::vector<uint16_t>{13}));
}

TEST(RunTestWindow, ResonanceSliderReleaseWritesAndEnterChecks) {
    RunWindowFixture f;
    f.sim().Poke(81, 300);  // out of its slider's range: shown at the end
    CRunTest* w = f.open();
    w->enterResonanceMode();
    auto* page = w->resonancePage();
    ASSERT_TRUE(hx::test::WaitUntil([&] { return page->loads() == 1; }));
    EXPECT_EQ(page->edit(6)->text(), "100");
    f.sim().ClearRequests();

    // Dragging shows the position in the edit; the release writes it.
    QSlider* s = page->slider(0);
    s->setSliderDown(true);
    s->setSliderPosition(37);
    EXPECT_EQ(page->edit(0)->text(), "37");
    EXPECT_TRUE(f.Written().empty());
    s->setSliderDown(false);
    ASSERT_TRUE(hx::test::WaitUntil([&] { return page->writesAnswered() == 1; }));
    EXPECT_EQ(f.Written(), (std::vector<uint16_t>{77}));
    EXPECT_EQ(f.sim().Peek(77), 37);

    // 300 in the Z-axis edit and Enter: the slider goes to its end, then the
    // message, field and slider at 0, nothing written.
    f.sim().ClearRequests();
    f.boxes.clear();
    page->edit(12)->setFocus();
    page->edit(12)->setText("300");
    PressEnter(page->edit(12));
    EXPECT_EQ(f.boxes.lastText(), "Z轴抗振相相输入超入范围(0~255)");
    EXPECT_EQ(f.boxes.lastCaption(), "超过范围");
    EXPECT_EQ(page->Fields().values[12], 0);
    EXPECT_EQ(page->slider(12)->value(), 0);
    EXPECT_EQ(page->edit(12)->text(), "0");
    QTest::qWait(100);
    EXPECT_TRUE(f.Written().empty());
    EXPECT_TRUE(w->isVisible());  // Enter never closes the window

    // A good value and Enter writes that one setting.
    page->edit(4)->setFocus();
    page->edit(4)->setText("120");
    PressEnter(page->edit(4));
    ASSERT_TRUE(hx::test::WaitUntil([&] { return f.sim().Peek(80) == 120; }));
    EXPECT_EQ(page->slider(4)->value(), 120);
    EXPECT_EQ(f.Written(), (std::vector<uint16_t>{80}));

    // Enter in the interval list checks all, writes nothing.
    f.sim().ClearRequests();
    page->intervalList()->setFocus();
    PressEnter(page->intervalList());
    QTest::qWait(100);
    EXPECT_TRUE(f.Written().empty());
}

TEST(RunTestWindow, AVelocityRunIsPlottedWithItsFiguresAndRecapturedCyclically) {
    RunWindowFixture f;
    CRunTest* w = f.open();
    w->cyclicBox()->click();
    EXPECT_TRUE(w->periodList()->isEnabled());
    w->periodList()->setCurrentText("500");
    w->clickStart();
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->capturesShown() >= 1; }, 10000));
    EXPECT_TRUE(w->figuresLabel()->text().contains("峰值跟随误差")) << w->figuresLabel()->text().toStdString();
    // The re-capture writes only the trigger.
    f.sim().ClearRequests();
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->capturesShown() >= 2; }, 10000));
    EXPECT_EQ(f.Written(), (std::vector<uint16_t>{32}));
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->startButton()->isEnabled(); }));
    w->clickStart();  // stop
    EXPECT_EQ(w->startButton()->text(), "开 始");
    ASSERT_TRUE(hx::test::WaitUntil([&] { return f.sim().Peek(70) == 0; }, 10000));
}

// The current-loop test of the simulated drive with the gains it holds, then
// with its auto-tuning: both plotted with their figures, the tuned step
// without the overshoot.
TEST(RunTestWindow, ATorqueTestIsPlottedWithFiguresAndAutoTuningImprovesIt) {
    RunWindowFixture f;
    CRunTest* w = f.open();
    w->enterTorqueMode();
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->torquePage()->loads() == 2; }));
    auto test = [&](int shownBefore) {
        w->clickStart();
        EXPECT_TRUE(hx::test::WaitUntil([&] { return w->capturesShown() > shownBefore; }, 15000));
        ASSERT_TRUE(hx::test::WaitUntil([&] { return w->startButton()->isEnabled(); }, 5000));
        if (w->startButton()->text() != "开 始") w->clickStart();  // the button stays "停 止" until pressed
        ASSERT_TRUE(w->lastStepFigures().has_value());
    };
    test(0);
    const hx::runtest::StepFigures before = *w->lastStepFigures();
    EXPECT_TRUE(w->figuresLabel()->text().contains("超调量")) << w->figuresLabel()->text().toStdString();
    EXPECT_TRUE(w->figuresLabel()->text().contains("上升时间"));
    ASSERT_TRUE(before.overshootPct);
    EXPECT_GT(*before.overshootPct, 10.0);
    EXPECT_TRUE(f.boxes.records.empty()) << f.boxes.lastText().toStdString();

    w->torquePage()->autoTuneBox()->setEnabled(true);
    w->torquePage()->autoTuneBox()->click();
    ASSERT_TRUE(hx::test::WaitUntil([&] { return f.sim().Peek(13) == 1; }));
    test(w->capturesShown());
    const hx::runtest::StepFigures after = *w->lastStepFigures();
    ASSERT_TRUE(after.overshootPct && after.settlingTimeMs && before.settlingTimeMs);
    EXPECT_LT(*after.overshootPct, 5.0);
    EXPECT_LT(*after.settlingTimeMs, *before.settlingTimeMs);
    EXPECT_NE(f.sim().Peek(16), 300) << "the drive chose its own gains";
    // and the page shows them.
    EXPECT_TRUE(hx::test::WaitUntil([&] { return w->torquePage()->kiEdit()->text() == QString::number(f.sim().Peek(16)); }));
    EXPECT_FALSE(w->torquePage()->kiEdit()->isEnabled());
}

TEST(RunTestWindow, TheMainFrameOpensItWhenConnectedAndStopsItBeforeThePortGoes) {
    RunWindowFixture f;
    namespace cmd = hx::gui::cmd;
    hx::gui::CMainFrame frame;
    EXPECT_FALSE(frame.action(cmd::RunTest)->isEnabled());
    frame.SetConnected(true);
    ASSERT_TRUE(frame.action(cmd::RunTest)->isEnabled());
    EXPECT_TRUE(frame.toolBar()->actions().contains(frame.action(cmd::RunTest)));
    frame.action(cmd::RunTest)->trigger();
    EXPECT_EQ(g_activeModule, "试运行");
    CRunTest* w = nullptr;
    for (QMdiSubWindow* sub : frame.view()->area()->subWindowList())
        if (auto* r = qobject_cast<CRunTest*>(sub->widget())) w = r;
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(hx::test::WaitUntil([&] { return w->opened(); }, 8000));
    w->velocityPage()->runsEdit()->setText("100");  // about 12 s of moves
    w->clickStart();
    ASSERT_TRUE(hx::test::WaitUntil([&] { return f.sim().Peek(70) == 1; }));
    // What the debug tool and leaving the program do first: the run stops.
    frame.view()->closeLinkWindows();
    EXPECT_EQ(f.sim().Peek(70), 0);
    EXPECT_TRUE(g_activeModule.empty());
    QTest::qWait(100);  // the view destroys the closed window
    frame.SetConnected(false);
}

// Runs on the simulated machine, in both languages: a hard trapezoid that
// leaves the machine ringing, the same with the 1st anti-vibration set at
// the ringing's half period, and the current-loop test after auto-tuning.
// Saved when HALVEX_SCREENSHOT_DIR names a folder.
TEST(RunTestWindow, Screenshots) {
    RunWindowFixture f;
    const QString dir = qEnvironmentVariable("HALVEX_SCREENSHOT_DIR");
    auto save = [&](CRunTest* w, const char* name) {
        const QImage image = w->grab().toImage();
        EXPECT_FALSE(image.isNull());
        if (!dir.isEmpty()) image.save(dir + "/" + name);
    };
    auto runOnce = [&](CRunTest* w) {
        const int shown = w->capturesShown();
        w->clickStart();
        EXPECT_TRUE(hx::test::WaitUntil([&] { return w->capturesShown() > shown; }, 15000));
        ASSERT_TRUE(hx::test::WaitUntil([&] { return w->startButton()->isEnabled(); }, 5000));
        if (w->startButton()->text() != w->property("idleText").toString()) w->clickStart();
        QTest::qWait(50);
    };
    auto shoot = [&](const char* velocityName, const char* resonanceName, const char* torqueName) {
        CRunTest* w = f.open();
        w->resize(1180, 720);
        w->setProperty("idleText", w->startButton()->text());
        // The torque current in place of the position feedback, whose
        // scale would flatten the position error beside it.
        auto torqueOnThird = [&] {
            QComboBox* third = w->channelList(2);
            for (int i = 0; i < third->count(); ++i)
                if (third->itemText(i).contains("力矩") || third->itemText(i).contains("Torque"))
                    third->setCurrentIndex(i);
        };
        torqueOnThird();
        // 0.2 rev at 2 rev/s with 500 rev/s^2, recorded for 0.5 s.
        auto* v = w->velocityPage();
        v->speedEdit()->setText("200");
        v->distanceEdit()->setText("20");
        v->accelerationEdit()->setText("500");
        v->dwellEdit()->setText("300");
        v->intervalList()->setCurrentText("1000");
        runOnce(w);
        save(w, velocityName);

        w->enterResonanceMode();
        auto* page = w->resonancePage();
        EXPECT_TRUE(hx::test::WaitUntil([&] { return page->loads() >= 1; }));
        torqueOnThird();
        for (auto [i, text] : {std::pair{0, "100"}, {1, "170"}}) {
            page->edit(i)->setFocus();
            page->edit(i)->setText(text);
            PressEnter(page->edit(i));  // the slider follows, the setting is written
        }
        page->intervalList()->setCurrentText("1000");
        runOnce(w);
        EXPECT_EQ(f.sim().Peek(78), 170);
        save(w, resonanceName);
        // Back to a plain drive for the next language.
        f.sim().Poke(77, 0);
        f.sim().Poke(78, 0);

        w->enterTorqueMode();
        EXPECT_TRUE(hx::test::WaitUntil([&] { return w->torquePage()->loads() >= 2; }));
        w->torquePage()->autoTuneBox()->setEnabled(true);
        w->torquePage()->autoTuneBox()->click();
        EXPECT_TRUE(hx::test::WaitUntil([&] { return f.sim().Peek(13) == 1; }));
        runOnce(w);
        EXPECT_TRUE(hx::test::WaitUntil([&] { return w->torquePage()->kiEdit()->text() == "20"; }));
        save(w, torqueName);
        f.sim().Poke(13, 0);
        f.window.reset();
        g_activeModule.clear();
    };
    shoot("runtest_velocity_zh.png", "runtest_resonance_zh.png", "runtest_torque_zh.png");

    // English through the built catalogue.
    QTranslator translator;
    ASSERT_TRUE(translator.load(QString::fromStdString(hx::test::BuildBinFolder()) + "/i18n/halvex_en.qm"));
    QApplication::installTranslator(&translator);
    // As the program does at start-up: core texts through the same catalogue.
    hx::SetTranslator([](const char* context, const char* source) {
        return QCoreApplication::translate(context, source).toStdString();
    });
    shoot("runtest_velocity_en.png", "runtest_resonance_en.png", "runtest_torque_en.png");
    QApplication::removeTranslator(&translator);
    hx::SetTranslator(nullptr);
}
