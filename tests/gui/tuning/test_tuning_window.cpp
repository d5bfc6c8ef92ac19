// The one-button tuning window offscreen against the simulated drive over a
// pseudo-terminal: the Bode plot shows the margins of the loop measured
// again, the drive stores only when asked, the previous settings go back on
// request, and a Stop leaves the settings the drive had. Runs that end
// without new settings show what they measured.

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <cstdlib>
#include <tuple>

#include "core/tuning/MeasureSynthetic.h"
#include "core/tuning/TuneBench.h"
#include "gui/tuning/FrequencyResponseView.h"
#include "gui/tuning/FrequencyResponseWindow.h"
#include "gui/tuning/MoveTraceView.h"
#include "gui/tuning/TuningWindow.h"
#include "gui/GuiTestUtil.h"

using hx::gui::TuningWindow;
using hx::tuning::TuneResult;
using hx::tuning::TuneRequest;

namespace {

int WritesTo(hx::sim::VirtualDrive& d, uint16_t address) { return std::ranges::count(hx::test::WrittenAddresses(d), address); }

const std::vector<uint16_t> kWatched{24, 25, 26, 42, 30010, 30012, 30100, 30101, 30102};
std::vector<uint16_t> Words(hx::sim::VirtualDrive& d) {
    std::vector<uint16_t> out;
    for (uint16_t a : kWatched) out.push_back(d.Ram(a));
    return out;
}

}  // namespace

TEST(TuningWindow, ShowsTheMarginsStoresOnlyWhenAskedAndPutsTheSettingsBack) {
    tunebench::Bench b(tunebench::Seeded(2));
    ASSERT_TRUE(b.opened);
    const std::vector<uint16_t> before = Words(b.Vd());
    // HALVEX_TUNE_SHOTS=DIR keeps a picture of the finished window (the
    // README's), in English with HALVEX_TUNE_LANG=en.
    const char* shots = std::getenv("HALVEX_TUNE_SHOTS");
    const bool english = std::getenv("HALVEX_TUNE_LANG") && std::string(std::getenv("HALVEX_TUNE_LANG")) == "en";
    const auto catalogue = shots && english ? std::make_unique<hx::test::EnglishCatalogue>() : nullptr;
    // The window's part is what it shows and asks; one capture per move
    // is enough for that (the sequence's own test judges the figures).
    TuneRequest request = b.Request();
    request.captures = 1;
    TuningWindow w(request);
    w.resize(1400, 820);
    w.show();
    QSignalSpy finished(&w, &TuningWindow::tuningFinished);
    QSignalSpy stored(&w, &TuningWindow::storeFinished);
    w.startButton()->click();
    EXPECT_TRUE(w.stopButton()->isEnabled());
    ASSERT_TRUE(finished.wait(120000));
    // The curves' boxes are shown by a queued call once the window has them.
    if (shots) QTest::qWait(300);
    if (shots) w.grab().save(QString::fromUtf8(shots) + (english ? "/tuning-en.png" : "/tuning-zh.png"));
    ASSERT_TRUE(w.result());
    ASSERT_EQ(w.result()->status, TuneResult::Status::Tuned) << w.result()->message;
    // The plot's figures are the loop measured again, each against its bound.
    EXPECT_TRUE(w.bode()->crossoverValue()->text().endsWith(" Hz"));
    EXPECT_GE(*w.result()->marginsAfter.phaseMarginDeg, 45);
    EXPECT_EQ(w.bode()->phaseMarginValue()->text(),
              hx::gui::FrequencyResponseWindow::DegreesText(w.result()->marginsAfter.phaseMarginDeg));
    EXPECT_NE(Words(b.Vd()), before);
    // The ratio shown is the one Pr1.13 got, not the probe's whole one.
    EXPECT_TRUE(w.summaryLabel()->text().contains(
        QCoreApplication::translate("hx::gui::TuningWindow", "惯量比 %1").arg(w.result()->after.pr113 / 100.0, 0, 'f', 2) + '\n'))
        << w.summaryLabel()->text().toStdString();
    EXPECT_TRUE(w.keepNote()->isVisible());
    // The standard move before and after, drawn as the drive recorded it.
    EXPECT_TRUE(w.moveTraces()->isVisible());
    EXPECT_TRUE(w.moveTraces()->ShowsBoth());
    // Nothing stored until the user asks: a store the window started by
    // itself runs on a worker and would have finished within this wait.
    EXPECT_FALSE(stored.wait(2000));
    EXPECT_EQ(WritesTo(b.Vd(), 90), 0);
    ASSERT_TRUE(w.storeButton()->isEnabled());
    w.storeButton()->click();
    ASSERT_TRUE(stored.wait(30000));
    EXPECT_TRUE(stored.front().front().toBool());
    EXPECT_EQ(WritesTo(b.Vd(), 90), 1);
    // The whole set back, on request.
    QSignalSpy back(&w, &TuningWindow::putBackFinished);
    w.putBackButton()->click();
    ASSERT_TRUE(back.wait(30000));
    EXPECT_EQ(Words(b.Vd()), before);
}

TEST(TuningWindow, AStopOrARefusedMoveLeavesTheSettingsAndIsToldInTheWindowsLanguage) {
    // Stopped while the motor moves for the measurement; the first move refused for the motor the simulated
    // motion controller moves: the stage and the guard's own words, in the window's language throughout.
    // A drive with its torque feed-forward on is refused before anything moves.
    const std::tuple<const char*, uint16_t, std::string> cases[] = {{"", 0, "已停止：没有写入任何设置。"},
        {"demo", 0, "整定失败于“标准运动（调整前）”：驱动器拒绝了运动：电机正在运动，请先停止上位机的运动指令"},
        {"", 300, "整定失败于“读取当前设置”：转矩前馈已开启（Pr1.10 = 300）：请将 Pr1.10 设为 0 后再整定"}};
    for (const auto& [motion, feedforward, text] : cases) {
        tunebench::Bench b([&] { hx::sim::DriveOptions o = tunebench::Seeded(2); o.motion = motion; return o; }());
        b.Vd().SetRam(37, feedforward);
        const std::vector<uint16_t> before = Words(b.Vd());
        TuningWindow w(b.Request());
        w.show();
        QSignalSpy finished(&w, &TuningWindow::tuningFinished);
        w.startButton()->click();
        ASSERT_TRUE(hx::test::WaitUntil([&] { return w.stageList()->currentRow() >= 2 || !finished.empty(); }, 120000));
        if (finished.empty()) w.stopButton()->click();
        ASSERT_TRUE(!finished.empty() || finished.wait(60000));
        EXPECT_EQ(w.summaryLabel()->text().toStdString(), text);
        EXPECT_EQ(w.stageList()->item(w.stageList()->count() - 1)->foreground(), w.palette().text()) << "never ran";
        EXPECT_TRUE(w.stageList()->selectedItems().isEmpty()) << "a selection hides the stage it ended at";
        EXPECT_FALSE(w.keepNote()->isVisible()) << "no new settings to keep";
        EXPECT_EQ(Words(b.Vd()), before);
        EXPECT_FALSE(w.storeButton()->isEnabled());
        EXPECT_EQ(WritesTo(b.Vd(), 90), 0);
    }
}

// Runs that end without new settings still show what they measured, and say
// why they ended: shown from results of a coupled machine measured and
// identified (no drive needed for what the window draws).
TEST(TuningWindow, ARunThatSetsNothingShowsWhatItMeasuredAndWhy) {
    using namespace hx::tuning;
    synth::Machine m;
    m.ratio = 3;
    m.resonanceHz = 450;
    m.damping = 0.02;
    const synth::Measured meas = synth::Measure(m, ServoLoop{}, 3);
    TuneResult measured;
    measured.id = Identify(meas.measurement, meas.probe);
    measured.design = DesignGains(measured.id, {ServoLoop{}, Stiffness::Medium, {}});
    ASSERT_EQ(measured.design.status, Design::Status::Ok);
    ASSERT_TRUE(measured.id.inertia.ratio);
    const QString ratio =
        QCoreApplication::translate("hx::gui::TuningWindow", "惯量比 %1").arg(*measured.id.inertia.ratio, 0, 'f', 2);

    // No setting reached the margins; the ratio not identified; the band
    // lowered for a hunting motor; the loop measured again refused, where
    // the probe asked room on top of the usual margins.
    struct Case {
        const char* name;
        std::function<void(TuneResult&)> make;
        QString summaryStart;
        bool showsRatio;
        int curves;
    };
    const std::vector<Case> cases = {
        {"margins unreachable",
         [](TuneResult& r) {
             r.status = TuneResult::Status::MarginsUnreachable;
             r.reached = TuneStage::Design;
             r.design.status = Design::Status::MarginsUnreachable;
         },
         "没有满足裕度的设置：没有写入任何设置。", true, 2},
        {"no ratio",
         [](TuneResult& r) {
             r.status = TuneResult::Status::MarginsUnreachable;
             r.reached = TuneStage::Design;
             r.design.status = Design::Status::NoRatio;
             r.id.inertia.ratio.reset();
         },
         "无法辨识惯量比：没有写入任何设置。", false, 2},
        {"calmed, then refused",
         [](TuneResult& r) {
             r.status = TuneResult::Status::Failed;
             r.failure = TuneFailure::MarginsMissed;
             r.reached = TuneStage::Verify;
             r.written = r.putBack = true;
             r.calmings = 2;
             r.openLoopAfter = r.design.openLoop;
             r.marginsAfter = r.design.margins;
             r.requiredPhaseDeg = *r.marginsAfter.phaseMarginDeg + 1;
         },
         "整定失败于“再次测量频率响应”：再次测量的环路没有满足裕度\n之前的设置已恢复。\n"
         "电机在运动后持续振荡：测量前速度环带宽降低了 2 次。",
         true, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TuneResult r = measured;
        c.make(r);
        TuningWindow w(TuneRequest{});
        w.showResult(r);
        const QString summary = w.summaryLabel()->text();
        EXPECT_TRUE(summary.startsWith(c.summaryStart)) << summary.toStdString();
        // The ratio's line, with its figure, or none (not a dash).
        EXPECT_EQ(summary.contains('\n' + ratio + '\n'), c.showsRatio) << summary.toStdString();
        EXPECT_EQ(summary.contains(QString::fromUtf8("\n惯量比 ")), c.showsRatio) << summary.toStdString();
        // The plot shows the loop before as measured, with its figures.
        ASSERT_EQ(w.bode()->curveBoxes().size(), static_cast<std::size_t>(c.curves));
        EXPECT_EQ(w.bode()->curveBoxes()[1]->text(), "开环（调整前）");
        EXPECT_TRUE(w.bode()->crossoverValue()->text().endsWith(" Hz")) << w.bode()->crossoverValue()->text().toStdString();
        EXPECT_FALSE(w.storeButton()->isEnabled());
        // The stage it ended at stands out, and only that one.
        for (int i = 0; i < w.stageList()->count(); ++i)
            EXPECT_EQ(w.stageList()->item(i)->font().bold(), i == static_cast<int>(r.reached)) << i;
    }
    // The refused loop is drawn as measured, judged as the proof judged it.
    TuneResult r = measured;
    cases[2].make(r);
    TuningWindow w(TuneRequest{});
    w.showResult(r);
    EXPECT_FALSE(w.bode()->view()->Model().Curves()[2].dashed);
    const QString verdict = w.bode()->verdictLabel()->text();
    EXPECT_TRUE(verdict.startsWith("裕度不足：不要使用这组参数。")) << verdict.toStdString();
    EXPECT_EQ(w.bode()->phaseBoundLabel()->text(), QString("相位裕度 (≥ %1°)").arg(r.requiredPhaseDeg, 0, 'g', 3));
}
