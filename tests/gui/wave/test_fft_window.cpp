// The frequency-analysis window against the simulated drive. (Each plot
// keeps the points per channel of its own capture: the scope model holds
// them, no window shares them.)
#include <gtest/gtest.h>

#include <QSpinBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QTreeWidget>

#include "gui/plot/Cscope.h"
#include "gui/wave/FFTAnalyze.h"
#include "gui/wave/WaveWindowFixture.h"

using hx::gui::CFFTAnalyze;
using namespace hx::test;

TEST(FrequencyWindow, ShowsTheDrivesSpectrumItsPeaksAndTheirAverage) {
    WaveWindowFixture f({.motion = "demo", .machineHz = 0});  // the load's resonance alone
    auto w = std::make_unique<CFFTAnalyze>(hx::test::ProgramDrive());
    w->resize(1000, 600);
    w->show();
    EXPECT_EQ(QString::fromStdString(g_activeModule), QString::fromUtf8("FFT分析"));
    EXPECT_FALSE(w->settingsGroup()->isVisible());
    EXPECT_EQ(w->scope()->Model().Current().axisLast, 2048);
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    EXPECT_FALSE(w->startButton()->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return w->spectraPlotted() == 1; }, 15000));
    const auto& m = w->scope()->Model();
    EXPECT_EQ(m.Points(0).size(), 1024u);
    EXPECT_EQ(m.PointsPerChannel(), 1024);
    EXPECT_FLOAT_EQ(m.AxisValuePerPoint(), 2000.0f / 1024.0f);
    EXPECT_EQ(m.Type(0), 4096);
    EXPECT_TRUE(m.Visible(0));
    EXPECT_EQ(m.Current().axisLast, 2000);
    // The scale starts at 0 and is that of the band above the motion (the
    // core's scale of these bins; how much the motion fills the lowest bins
    // depends on where in its cycle the request fell).
    const auto& bins = w->magnitudes();
    ASSERT_EQ(bins.size(), 1024u);
    const float band = *std::max_element(bins.begin() + 11, bins.end());
    EXPECT_EQ(m.Current().chMin[0], 0.0f);
    EXPECT_EQ(m.Current().chMax[0],
              static_cast<float>(hx::analysis::ScaleForSpectrum(bins, 4000.0 / 2048, false).maximum));
    EXPECT_GE(m.Current().chMax[0], band);
    EXPECT_LT(m.Current().chMax[0], 2.5f * band);
    // The peaks beside the plot (at most five, each one resonance), highest
    // first; the resonance is named.
    const QTreeWidget* list = w->peakList();
    const int peaks = list->topLevelItemCount();
    ASSERT_GE(peaks, 1);
    ASSERT_LE(peaks, 5);
    ASSERT_EQ(static_cast<int>(w->analysis().peaks.size()), peaks);
    EXPECT_NEAR(list->topLevelItem(0)->text(0).toDouble(), 300, 45);
    EXPECT_EQ(list->topLevelItem(0)->text(1).toInt(), static_cast<int>(std::lround(w->analysis().peaks[0].level)));
    EXPECT_TRUE(w->resonanceLabel()->text().startsWith("可能的共振: ")) << w->resonanceLabel()->text().toStdString();
    // and marked on the plot, numbered in the list's order.
    ASSERT_EQ(static_cast<int>(m.Markers().size()), peaks);
    EXPECT_EQ(m.Markers()[0].x, static_cast<float>(w->analysis().peaks[0].bin));
    EXPECT_EQ(m.Markers()[peaks - 1].y, bins[w->analysis().peaks[peaks - 1].bin]);
    // Decibels from the same bins, no new request: 0 dB is full scale.
    w->decibelsBox()->setChecked(true);
    EXPECT_EQ(w->spectraPlotted(), 1);
    EXPECT_EQ(m.Caption(0), "幅值(dB)");
    EXPECT_NEAR(m.Points(0)[200].y, 20 * std::log10(bins[200] / 32767.0), 0.01);
    EXPECT_LE(m.Current().chMax[0], 0.0f);
    EXPECT_NEAR(list->topLevelItem(0)->text(1).toDouble(), 20 * std::log10(w->analysis().peaks[0].level / 32767.0), 0.1);

    // The button comes back after two seconds at the earliest, and only
    // once the request has ended.
    ASSERT_TRUE(WaitUntil([&] { return w->startButton()->isEnabled(); }, 5000));
    EXPECT_GE(t.elapsed(), CFFTAnalyze::kButtonHoldMs - 50);
    EXPECT_FALSE(w->busy());

    // Two averaged: two requests, the progress over both.
    const int before = f.SpectrumStarts();
    w->averagesBox()->setValue(2);
    int highest = 0;
    QObject::connect(w->progressBar(), &QProgressBar::valueChanged, [&](int v) { highest = std::max(highest, v); });
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return w->spectraPlotted() == 2; }, 30000));
    EXPECT_EQ(f.SpectrumStarts() - before, 2);
    EXPECT_EQ(w->progressBar()->maximum(), 42);
    EXPECT_EQ(highest, 42);
    EXPECT_EQ(m.Caption(0), "幅值(dB)") << "the dB box stays";
    ASSERT_TRUE(WaitUntil([&] { return w->startButton()->isEnabled(); }, 5000));
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(g_activeModule.empty());
}

TEST(FrequencyWindow, ButtonWaitsForASlowRequestAndClosingStopsIt) {
    // The drive's clock stands still: its spectrum is never ready, and the
    // request polls for it far longer than the button's hold.
    WaveWindowFixture f({.clock = std::make_shared<hx::sim::SteppedClock>()});
    auto w = std::make_unique<CFFTAnalyze>(hx::test::ProgramDrive());
    w->show();
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    QTest::qWait(CFFTAnalyze::kButtonHoldMs + 300);
    ASSERT_TRUE(w->busy());
    EXPECT_FALSE(w->startButton()->isEnabled()) << "no second request on the same link";
    w->OnStart();
    EXPECT_TRUE(w->busy());
    EXPECT_EQ(f.SpectrumStarts(), 1);
    // Closing mid-request stops and joins it; nothing writes into the
    // window afterwards.
    QElapsedTimer t;
    t.start();
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->busy());
    EXPECT_LT(t.elapsed(), 2000);
    w.reset();
    QTest::qWait(300);
}
