// The waveform window capturing from the simulated drive's sampling engine:
// one capture, a stop during it, a cyclic run, channel boxes and colours,
// a failed capture, one after the other in one window.
#include <gtest/gtest.h>

#include <limits>

#include "gui/plot/Cscope.h"
#include "gui/wave/WaveWindowFixture.h"

using hx::gui::CDisplayWaveform;
using namespace hx::test;

TEST(WaveformWindow, OnceStoppedCyclicAndFailedCapturesAndTheChannelsShowAsChosen) {
    WaveWindowFixture f;
    WaveWindow w;
    // One capture, taken when it starts.
    w->recordCheck()->setChecked(true);
    w->pointsList()->setCurrentText("400");
    w->intervalList()->setCurrentText("1000");  // 0.4 s of capture, time to look at it
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    EXPECT_EQ(w->startButton()->text(), kStop);
    ASSERT_TRUE(WaitUntil([&] { return w->sampleBusy(); }, 2000));
    EXPECT_TRUE(w->progressBar()->isVisible()) << "the fetch shows its progress";
    // What the capture reads was taken at its start: changing the controls
    // now changes nothing of it.
    w->channelCheck(3)->setChecked(false);
    ASSERT_TRUE(WaitUntil([&] { return w->capturesPlotted() == 1 && !w->sampleBusy(); }, 8000));
    EXPECT_FALSE(w->progressBar()->isVisible());

    const auto codes = w->channelCodes();
    EXPECT_EQ(codes, (std::array<int32_t, 4>{1, 2, 4, 8}));
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(w->recording().lists[k].size(), 400u) << k;
        EXPECT_EQ(w->scope()->Model().Points(k).size(), 400u) << k;
    }
    EXPECT_EQ(w->recording().recordedPoints, 400);
    EXPECT_EQ(w->scope()->Model().Current().axisLast, 400000);
    EXPECT_EQ(w->scope()->Model().PointsPerChannel(), 400);
    EXPECT_FLOAT_EQ(w->scope()->Model().AxisValuePerPoint(), 1000.0f);
    // One capture: the button keeps its text until pressed, nothing repeats.
    EXPECT_EQ(w->startButton()->text(), kStop);
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    EXPECT_EQ(w->startButton()->text(), kStart);

    // The channel boxes and colours reach the plot.
    QTest::mouseClick(w->channelCheck(2), Qt::LeftButton);
    EXPECT_FALSE(w->scope()->Model().Visible(2));
    QTest::mouseClick(w->channelCheck(2), Qt::LeftButton);
    EXPECT_TRUE(w->scope()->Model().Visible(2));

    w->scope()->SetColourPicker([](const QColor&, const QString&) { return std::optional<QColor>(QColor(1, 2, 3)); });
    w->scope()->PickColour(3);
    EXPECT_EQ(w->channelColour(2), QColor(1, 2, 3));
    EXPECT_TRUE(w->channelList(2)->styleSheet().contains("#010203"));

    // A stop during a cyclic capture still plots it and ends the cycle.
    w->cyclicCheck()->setChecked(true);
    w->periodList()->setCurrentText("500");
    w->intervalList()->setCurrentText("1000");
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return w->sampleBusy(); }, 2000));
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    EXPECT_EQ(w->startButton()->text(), kStart);
    ASSERT_TRUE(WaitUntil([&] { return w->capturesPlotted() == 2; }, 8000));
    EXPECT_FALSE(w->cycleTimer()->isActive());
    QTest::qWait(800);
    EXPECT_EQ(w->capturesPlotted(), 2) << "no further capture follows";

    // Cyclic sampling repeats one period after the plot.
    w->cyclicCheck()->setChecked(true);
    w->periodList()->setCurrentText("500");
    w->pointsList()->setCurrentText("200");
    w->intervalList()->setCurrentText("100");
    // Each cycle starts with the last one's curves on the plot, at the same
    // place and width: nothing blanks or jumps while the new capture comes.
    std::vector<std::size_t> shownAtStart;
    std::vector<int> leftAtStart;
    // And it starts one period after the last plot: the shortest of the gaps
    // (a loaded machine only makes some of them longer).
    QElapsedTimer clock;
    clock.start();
    qint64 plottedAt = -1, shortestGap = std::numeric_limits<qint64>::max();
    QObject::connect(w.w.get(), &CDisplayWaveform::sampleDone, [&] { plottedAt = clock.elapsed(); });
    QObject::connect(w.w.get(), &CDisplayWaveform::sampleStarted, [&] {
        shownAtStart.push_back(w->scope()->Model().Points(0).size());
        leftAtStart.push_back(w->scope()->Model().LastLayout().plot.left);
        if (plottedAt >= 0) shortestGap = std::min(shortestGap, clock.elapsed() - plottedAt);
    });
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return w->capturesPlotted() >= 6; }, 15000));
    ASSERT_GE(shownAtStart.size(), 4u);
    // Qt may fire a timer of this length up to 5 % early.
    EXPECT_GE(shortestGap, 450);
    EXPECT_LE(shortestGap, 1200);
    EXPECT_EQ(shownAtStart[0], 0u) << "a fresh start clears the plot";
    EXPECT_EQ(shownAtStart[1], 200u);
    EXPECT_EQ(shownAtStart[2], 200u);
    EXPECT_EQ(leftAtStart[1], leftAtStart[2]);
    EXPECT_EQ(w->scope()->Model().Points(0).size(), 200u);
    EXPECT_EQ(w->startButton()->text(), kStop);
    w->cyclicCheck()->setChecked(false);  // clearing the box ends the cycle too
    ASSERT_TRUE(WaitUntil([&] { return !w->sampleBusy(); }, 8000));
    const int done = w->capturesPlotted();
    QTest::qWait(700);
    EXPECT_EQ(w->capturesPlotted(), done);

    // A failed capture takes the reading text away.
    QTest::mouseClick(w->startButton(), Qt::LeftButton);  // the button kept "停 止" until pressed
    ASSERT_EQ(w->startButton()->text(), kStart);
    f.messages.clear();
    theComm.CloseCom();  // the adapter was pulled
    QTest::mouseClick(w->startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !w->sampleBusy() && !f.messages.records.empty(); }, 5000));
    // The text is drawn in the wait colour; no curve was plotted to share it.
    const QImage shown = w->scope()->Screen();
    const QRgb wait = hx::gui::ToQColor(hx::plot::ScopeModel::kWaitText).rgb();
    int waitPixels = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) waitPixels += shown.pixel(x, y) == wait;
    EXPECT_EQ(waitPixels, 0);
}
