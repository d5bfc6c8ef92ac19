// The frequency-analysis window against the simulated drive.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QPushButton>

#include "gui/plot/Cscope.h"
#include "gui/wave/FFTAnalyze.h"
#include "gui/wave/WaveWindowFixture.h"

using hx::gui::CFFTAnalyze;
using hx::test::WaitUntil;
using hx::test::WaveWindowFixture;

TEST(FrequencyWindow, OpensOnTheClassicAxis) {
    WaveWindowFixture f;
    auto w = std::make_unique<CFFTAnalyze>();
    w->resize(1000, 600);
    w->show();
    EXPECT_EQ(QString::fromStdString(g_activeModule), QString::fromUtf8("FFT分析"));
    EXPECT_FALSE(w->settingsGroup()->isVisible());
    EXPECT_EQ(w->frequencyList()->currentText(), "4KHz");
    EXPECT_EQ(w->pointsList()->currentText(), "2048");
    EXPECT_EQ(w->scope()->Model().Current().axisLast, 2048);
    EXPECT_EQ(w->scope()->Model().XCaption(), "频率(Hz)");

    EXPECT_TRUE(w->close());
    EXPECT_TRUE(g_activeModule.empty());
}

TEST(FrequencyWindow, ShowsTheDrivesSpectrum) {
    hx::sim::DriveOptions demo;
    demo.motion = "demo";
    WaveWindowFixture f(demo);
    auto w = std::make_unique<CFFTAnalyze>();
    w->resize(1000, 600);
    w->show();
    QElapsedTimer t;
    t.start();
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    EXPECT_FALSE(w->startButton()->isEnabled());
    EXPECT_EQ(g_pointsPerChannel, 1024);
    ASSERT_TRUE(WaitUntil([&] { return w->spectraPlotted() == 1; }, 15000));
    const auto& m = w->scope()->Model();
    EXPECT_EQ(m.Points(0).size(), 1024u);
    EXPECT_EQ(m.Type(0), 4096);
    EXPECT_TRUE(m.Visible(0));
    EXPECT_EQ(m.Current().axisLast, 2000);
    EXPECT_EQ(m.Caption(0), "加速度给定(R/S^2)");
    // The curve is not flat: there is a peak somewhere.
    float peak = 0;
    for (const auto& p : m.Points(0)) peak = std::max(peak, p.y);
    EXPECT_GT(peak, 0);

    // The button comes back after two seconds at the earliest, and only
    // once the request has ended.
    ASSERT_TRUE(WaitUntil([&] { return w->startButton()->isEnabled(); }, 5000));
    EXPECT_GE(t.elapsed(), CFFTAnalyze::kButtonHoldMs - 50);
    EXPECT_FALSE(w->busy());
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(g_activeModule.empty());
}

TEST(FrequencyWindow, ButtonWaitsForASlowRequestAndClosingStopsIt) {
    hx::sim::DriveOptions slow;
    slow.delayMs = 120;  // 21 blocks and the polls take well over two seconds
    WaveWindowFixture f(slow);
    auto w = std::make_unique<CFFTAnalyze>();
    w->show();
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    QTest::qWait(CFFTAnalyze::kButtonHoldMs + 300);
    if (w->busy()) {
        EXPECT_FALSE(w->startButton()->isEnabled()) << "no second request on the same link";
        w->OnStart();
        EXPECT_TRUE(w->busy());
    }
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
