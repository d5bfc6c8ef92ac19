// The waveform and frequency windows open at once: each plot keeps the
// points per channel of its own capture, whatever the other one fetched
// since, so neither axis nor the number of points drawn follows the other.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "gui/plot/Cscope.h"
#include "gui/wave/DisplayWaveform.h"
#include "gui/wave/FFTAnalyze.h"
#include "gui/wave/WaveWindowFixture.h"

using hx::gui::CDisplayWaveform;
using hx::gui::CFFTAnalyze;
using hx::test::WaitUntil;
using hx::test::WaveWindowFixture;

TEST(PlotsApart, EachPlotKeepsThePointsOfItsOwnCapture) {
    hx::sim::DriveOptions demo;
    demo.motion = "demo";
    WaveWindowFixture f(demo);
    auto spectrum = std::make_unique<CFFTAnalyze>();
    spectrum->resize(1000, 600);
    spectrum->show();
    auto wave = std::make_unique<CDisplayWaveform>();
    wave->resize(1150, 640);
    wave->show();
    ASSERT_TRUE(WaitUntil([&] { return wave->ready(); }, 10000)) << "the drive's limits are read";

    // A spectrum of 1024 bins, then a capture of 400 points of 100 us.
    QTest::mouseClick(spectrum->startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return spectrum->spectraPlotted() == 1 && !spectrum->busy(); }, 20000));
    wave->pointsList()->setCurrentText("400");
    wave->intervalList()->setCurrentText("100");
    QTest::mouseClick(wave->startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return wave->capturesPlotted() == 1 && !wave->sampleBusy(); }, 20000));
    EXPECT_EQ(g_pointsPerChannel, 400) << "the program-wide value still tells the last capture";

    // The spectrum drawn again, in decibels: all its bins on its own axis.
    spectrum->decibelsBox()->setChecked(true);
    const auto& bins = spectrum->scope()->Model();
    EXPECT_EQ(bins.Caption(0), "幅值(dB)");
    EXPECT_EQ(bins.PointsPerChannel(), 1024);
    EXPECT_EQ(bins.AllVertices(0).size(), 1024u);
    EXPECT_FLOAT_EQ(bins.AxisValuePerPoint(), 2000.0f / 1024.0f);

    // A second spectrum; the waveform drawn again keeps its 400 points.
    ASSERT_TRUE(WaitUntil([&] { return spectrum->startButton()->isEnabled(); }, 10000));
    QTest::mouseClick(spectrum->startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return spectrum->spectraPlotted() == 2 && !spectrum->busy(); }, 20000));
    EXPECT_EQ(g_pointsPerChannel, 1024);
    wave->scope()->Redraw();
    const auto& samples = wave->scope()->Model();
    EXPECT_EQ(samples.PointsPerChannel(), 400);
    EXPECT_EQ(samples.AllVertices(0).size(), 400u);
    EXPECT_FLOAT_EQ(samples.AxisValuePerPoint(), 100.0f);
    EXPECT_EQ(samples.Current().axisLast, 40000);

    EXPECT_TRUE(spectrum->close());
    EXPECT_TRUE(wave->close());
}
