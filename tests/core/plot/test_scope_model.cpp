// The scope's ranges, zoom stack, layout and curve reduction, without a window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/plot/ScopeModel.h"

using namespace hx::plot;

namespace {

// A fixed-pitch font: 7 pixels per character, 14 high.
TextSize Mono(const std::string& s) { return {static_cast<int>(s.size()) * 7, 14}; }

// The waveform window's start-up: 400 points over 40000 us, -5..5 everywhere.
void WaveformStart(ScopeModel& m, int width = 900, int height = 500) {
    m.SetRect(0, 0, width, height);
    m.SetPointsPerChannel(400);
    m.SetXCaption("t");
    m.SetXRange(0, 400, 2);
    m.SetAxisValues(0, 40000);
    for (int k = 0; k < 4; ++k) m.SetChannelRange(k, -5, 5);
    m.ClearPoints();
    m.ComputeLayout(Mono);
}

// A scope as the waveform window starts it.
struct Scope : ::testing::Test {
    void SetUp() override { WaveformStart(m); }
    ScopeModel m;
};

}  // namespace

TEST_F(Scope, ValuesOutgrowingARangeWidenItInRoundSteps) {
    EXPECT_EQ(m.Current().chMax[0], 5) << "a span of exactly 10 is kept";
    // Each value needs 1.2 times itself, rounded up to its decade's step and
    // always above it; a range never narrows.
    struct Step {
        int channel;
        float value, expected;
    };
    int point = 0;
    for (const Step& step : {Step{0, 8, 10}, Step{0, -7, 10}, Step{0, 100, 200}, Step{1, 83, 100}, Step{2, -25, 40},
                             Step{2, 84, 200}}) {
        m.PlotPoint(step.channel, point++, step.value);
        EXPECT_FLOAT_EQ(m.Current().chMax[step.channel], step.expected) << step.value;
        EXPECT_FLOAT_EQ(m.Current().chMin[step.channel], -step.expected) << step.value;
    }
    m.SetChannelRange(3, -2, 2);
    EXPECT_EQ(m.Current().chMin[3], -7) << "narrow ranges are widened at level 0";
    EXPECT_EQ(m.Current().chMax[3], 7);
}

TEST_F(Scope, SameQuantitiesShareTheLargerRangeAtTheEndOfABatch) {
    // position feedback, position reference, Q-axis current, none
    m.SetChannelTypes({4, 16, 1024, 0}, nullptr);
    // needs 60 -> 70, 180 -> 200, 9.6 -> 10; the fourth has no source
    m.ShowSamples({std::vector<float>(3, 50), std::vector<float>(3, 150), std::vector<float>(3, 8),
                   std::vector<float>(3, 1)},
                  3);
    EXPECT_TRUE(m.Points(3).empty()) << "a channel without a source is not fed";
    EXPECT_EQ(m.Current().chMax[0], 200);
    EXPECT_EQ(m.Current().chMin[0], -200);
    EXPECT_EQ(m.Current().chMax[1], 200);
    EXPECT_EQ(m.Current().chMax[2], 10) << "a source outside every group keeps its own range";
    EXPECT_EQ(m.Current().chMax[3], 200) << "an untyped channel joins every group in turn";

    // Position error is a few pulses beside positions of tens of thousands:
    // it keeps its own range, or it would draw as a flat line.
    ScopeModel e;
    WaveformStart(e);
    e.SetChannelTypes({1, 4, 0, 0}, nullptr);
    e.SetChannelVisible(0, true);
    e.PlotPoint(0, 0, 12);  // needs 14.4 -> 20
    e.PlotPoint(1, 0, 30000);
    EXPECT_EQ(e.Current().chMax[0], 20);
    EXPECT_EQ(e.Current().chMax[1], 36100);
}

// Label widths of both languages' fonts: about 7 px a Latin character,
// 14 px a Chinese one (UTF-8 lead bytes of three-byte characters).
TextSize Proportional(const std::string& s) {
    int w = 0;
    for (unsigned char c : s) {
        if (c >= 0xE0) w += 14;
        else if (c < 0x80) w += c == '1' || c == '.' ? 5 : 8;
    }
    return {w, 16};
}

TEST(ScopeAxes, TicksNeverTouchAndStepIn125) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> start(-50000, 50000), span(0.003, 7e6);
    int checked = 0;
    for (int width = 400; width <= 2000; width += 100)
        for (int trial = 0; trial < 40; ++trial) {
            const double lo = start(rng), hi = lo + span(rng);
            const auto extent = [](const std::string& s) { return Proportional(s).width; };
            const TickSet t = ChooseTicks(lo, hi, 100, 100 + width, extent, 16, 56);
            ASSERT_GE(t.ticks.size(), 2u) << lo << ".." << hi << " in " << width;
            const double mantissa = t.step / std::pow(10.0, std::floor(std::log10(t.step) + 1e-9));
            EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 ||
                        std::fabs(mantissa - 5) < 1e-6)
                << t.step;
            for (std::size_t i = 1; i < t.ticks.size(); ++i) {
                const Tick &a = t.ticks[i - 1], &b = t.ticks[i];
                const int rightOfA = a.pixel + (extent(a.label) + 1) / 2, leftOfB = b.pixel - extent(b.label) / 2;
                ASSERT_GE(leftOfB - rightOfA, 8) << a.label << " / " << b.label << " at " << width;
                EXPECT_NE(a.label, b.label);
                ++checked;
            }
            EXPECT_TRUE(t.ticks.front().pixel >= 100 && t.ticks.back().pixel <= 100 + width) << width;
        }
    EXPECT_GT(checked, 1000);

    // A zoomed axis: the labels that used to run together stay apart and short.
    const TickSet z = ChooseTicks(6640.37, 6645.94, 0, 800, [](const std::string& s) { return Proportional(s).width; }, 16, 56);
    EXPECT_EQ(z.step, 0.5);
    EXPECT_EQ(z.ticks.front().label, "6640.5");
    EXPECT_EQ(z.ticks.back().label, "6645.5");
    EXPECT_EQ(FormatTickValue(-0.0001, 0.5), "0.0") << "no negative zero";

    for (auto [value, text] : {std::pair{9.92063, "9.921"}, {0.0123456, "0.01235"}, {36200.0, "36200"}, {-2.5, "-2.500"},
                               {9.99996, "10.00"}, {0.0, "0"}})
        EXPECT_EQ(FormatSignificant(value), text) << value;
    for (auto [unit, span, symbol, scale] :
         {std::tuple{AxisUnit::Microseconds, 1500, "\xC2\xB5s", 1.0}, {AxisUnit::Microseconds, 20000, "ms", 1e-3},
          {AxisUnit::Microseconds, 6553500, "s", 1e-6}, {AxisUnit::Milliseconds, 100, "ms", 1.0}}) {
        EXPECT_EQ(ChooseDisplayUnit(unit, span).symbol, symbol) << span;
        EXPECT_DOUBLE_EQ(ChooseDisplayUnit(unit, span).scale, scale) << span;
    }
    EXPECT_EQ(ParseAxisCaption("\xE6\x97\xB6\xE9\x97\xB4(us)").stem, "\xE6\x97\xB6\xE9\x97\xB4");

    // Yellow scale labels on the light frame are darkened until they read;
    // a colour that already reads stays.
    const Colorref yellow = ReadableOn(0x00FFFF, ScopeModel::kFrame);
    EXPECT_GE(ContrastRatio(yellow, ScopeModel::kFrame), 4.5);
    EXPECT_EQ(yellow & 0xFF, (yellow >> 8) & 0xFF) << "the hue stays";
    EXPECT_EQ(ReadableOn(0x000080, ScopeModel::kFrame), 0x000080u);
}

TEST_F(Scope, CaptionsScalesAndAxisMakeRoomWithoutOverlapping) {
    // The English source names, longest first in the row.
    const std::array<std::string, 4> names{"Speed feedback(0.01rps)", "Position reference(p)",
                                           "Acceleration reference(R/S^2)", "Total current(mA)"};
    m.SetChannelTypes({2, 16, 4096, 2048}, [&](int32_t t) {
        return t == 2 ? names[0] : t == 16 ? names[1] : t == 4096 ? names[2] : names[3];
    });
    for (int k = 0; k < 4; ++k) m.SetChannelVisible(k, true);
    for (int width : {400, 600, 900, 1366}) {
        m.SetRect(0, 0, width, 500);
        const Layout& l = m.ComputeLayout(Proportional);
        ASSERT_EQ(l.captions.size(), 4u) << width;
        for (std::size_t i = 0; i < l.captions.size(); ++i) {
            const PixelRect& a = l.captions[i].rect;
            EXPECT_GE(a.left, 0);
            EXPECT_LE(a.right, width - ScopeModel::kCornerReserve) << "the corner stays free";
            EXPECT_LE(a.bottom, l.plot.top - 8) << "captions stand above the plot and its top label";
            for (std::size_t j = i + 1; j < l.captions.size(); ++j)
                EXPECT_FALSE(a.intersects(l.captions[j].rect)) << width << ": " << i << " and " << j;
        }
        // The x labels stay inside the control.
        const Tick& first = l.xTicks.ticks.front();
        const Tick& last = l.xTicks.ticks.back();
        EXPECT_GE(first.pixel - Proportional(first.label).width / 2, 0);
        EXPECT_LE(last.pixel + Proportional(last.label).width / 2, width);
    }
    m.SetRect(0, 0, 1366, 500);
    EXPECT_FALSE(m.ComputeLayout(Proportional).captions[3].elided) << "room for all in one or two lines";
    m.SetRect(0, 0, 400, 500);
    const Layout& narrow = m.ComputeLayout(Proportional);
    EXPECT_EQ(narrow.captions.back().rect.top, narrow.captions.front().rect.top + 16) << "a second line";
    EXPECT_TRUE(std::any_of(narrow.captions.begin(), narrow.captions.end(), [](const CaptionBox& c) { return c.elided; }));

    // Time in the unit that fits: 400 points of 100 us are 0..40 ms.
    m.SetRect(0, 0, 900, 500);
    m.SetXCaption("\xE6\x97\xB6\xE9\x97\xB4(us)");
    const Layout& l = m.ComputeLayout(Proportional);
    EXPECT_EQ(l.xCaption, "\xE6\x97\xB6\xE9\x97\xB4(ms)");
    EXPECT_EQ(l.xTicks.ticks.front().label + ".." + l.xTicks.ticks.back().label, "0..40");
    EXPECT_EQ(std::pair(l.xTicks.ticks.front().pixel, l.xTicks.ticks.back().pixel), std::pair(l.plot.left, l.plot.right));
    EXPECT_EQ(m.PixelX(0), l.plot.left);
    EXPECT_EQ(m.PixelY(0, -5), l.plot.bottom);
    // The horizontal grid follows the first drawn channel's ticks.
    const GridLines g = m.Grid();
    ASSERT_FALSE(g.majorY.empty());
    for (int y : g.majorY)
        EXPECT_TRUE(std::any_of(l.yTicks[0].ticks.begin(), l.yTicks[0].ticks.end(), [y](const Tick& t) { return t.pixel == y; }));

    // Scale widths only grow while a series runs, so the plot keeps its width
    // when the next capture swings less; a fresh start lets them shrink.
    for (int i = 0; i < 10; ++i) m.PlotPoint(0, i, 30000);
    const int wide = m.ComputeLayout(Proportional).plot.left;
    m.BeginReplace();
    for (int i = 0; i < 10; ++i) m.PlotPoint(0, i, 3);
    m.EndReplace();
    EXPECT_EQ(m.Current().chMax[0], 5) << "found afresh from -5..5";
    EXPECT_EQ(m.ComputeLayout(Proportional).plot.left, wide);
    m.ClearPoints();
    EXPECT_LT(m.ComputeLayout(Proportional).plot.left, wide);
}

TEST_F(Scope, DragsZoomInClicksZoomOutAndTheStackEnds) {
    const PixelRect p = m.LastLayout().plot;

    // (A small drag does nothing before a zoom and steps out after one: the
    // scope window's mouse test.) A start near the left edge snaps to it, an end near the right edge too.
    m.BeginDrag(p.left + 8, p.top + 10);
    m.MoveDrag(p.right - 9, p.bottom - 10);
    EXPECT_EQ(m.DragRect().left, p.left);
    EXPECT_EQ(m.DragRect().right, p.right);
    EXPECT_EQ(m.EndDrag(p.right - 9, p.bottom - 10), ZoomOutcome::ZoomedIn);
    EXPECT_EQ(m.Level(), 1);
    EXPECT_FLOAT_EQ(m.Current().xMin, 0);
    EXPECT_NEAR(m.Current().xMax, 400, 0.01);
    EXPECT_TRUE(m.Current().chMin[0] > -5 && m.Current().chMax[0] < 5) << "the values zoom in too";
    EXPECT_EQ(m.LevelAt(0).chMax[0], 5) << "the level below keeps its ranges";

    // Fourteen levels and no more: the scope window's mouse test. New points
    // start from the whole view.
    m.ClearPoints();
    EXPECT_EQ(m.Level(), 0);
    EXPECT_TRUE(m.ZoomedOnce()) << "the flag is never cleared";

    // 400 points over 40 us: a 10-pixel rectangle spans about 0.5 us, which
    // cuts down to no whole ten of the axis.
    m.SetAxisValues(0, 40);
    m.ComputeLayout(Mono);
    m.BeginDrag(p.left + 50, p.top + 50);
    EXPECT_EQ(m.EndDrag(p.left + 60, p.top + 100), ZoomOutcome::AtMaximum);
    EXPECT_EQ(m.Level(), 0);
}

TEST_F(Scope, EachChannelKeepsItsOwnScaleAndAZoomFromInsideStartsThere) {
    const float half[4] = {5, 100, 2000, 40};
    for (int k = 0; k < 4; ++k) m.SetChannelRange(k, -half[k], half[k]);
    m.ComputeLayout(Mono);
    // The middle half of the plot, twice: 0..400 -> 100..300 -> 150..250,
    // and each channel's range halves around 0, twice.
    const float expectX[2][2] = {{100, 300}, {150, 250}};
    for (int zoom = 0; zoom < 2; ++zoom) {
        const PixelRect p = m.LastLayout().plot;
        m.BeginDrag(p.left + p.width() / 4, p.top + p.height() / 4);
        ASSERT_EQ(m.EndDrag(p.left + 3 * p.width() / 4, p.top + 3 * p.height() / 4), ZoomOutcome::ZoomedIn);
        const ZoomLevel& l = m.Current();
        EXPECT_NEAR(l.xMin, expectX[zoom][0], 1) << zoom;
        EXPECT_NEAR(l.xMax, expectX[zoom][1], 1) << zoom;
        for (int k = 0; k < 4; ++k) {
            const float h = half[k] / (zoom == 0 ? 2 : 4);
            EXPECT_NEAR(l.chMin[k], -h, h * 0.03) << zoom << " channel " << k;
            EXPECT_NEAR(l.chMax[k], h, h * 0.03) << zoom << " channel " << k;
        }
        m.ComputeLayout(Mono);
    }
}

// That the reduced curves draw the same picture as every point, zoomed or
// not, is the scope window's pixel test; here the reduction keeps a few
// vertices per column and its ends.
TEST(ScopeCurves, ReductionKeepsAFewVerticesPerColumnAndTheEnds) {
    ScopeModel m;
    WaveformStart(m, 700, 400);
    const int n = 60000;
    m.SetPointsPerChannel(n);
    m.SetXRange(0, n, 2);
    m.SetAxisValues(0, n * 50.0f);
    m.SetChannelTypes({1, 2, 0, 0}, nullptr);
    for (int k = 0; k < 2; ++k) m.SetChannelVisible(k, true);
    for (int i = 0; i < n; ++i) {
        m.PlotPoint(0, i, static_cast<float>(std::sin(i / 500.0) * 2000 + (i * 7919) % 601 - 300));
        m.PlotPoint(1, i, static_cast<float>(i % 977));
    }
    m.ComputeLayout(Mono);
    for (int k = 0; k < 2; ++k) {
        const auto all = m.AllVertices(k);
        const auto reduced = m.CurveVertices(k);
        ASSERT_EQ(all.size(), static_cast<size_t>(n));
        EXPECT_LE(reduced.size(), 4u * (m.LastLayout().plot.width() + 1));
        EXPECT_EQ(reduced.front(), all.front());
        EXPECT_EQ(reduced.back(), all.back());
    }
    // A list longer than the points per channel is drawn up to that many.
    m.SetPointsPerChannel(1000);
    EXPECT_EQ(m.AllVertices(0).size(), 1000u);
    m.SetChannelVisible(1, false);
    EXPECT_TRUE(m.CurveVertices(1).empty());
}

TEST_F(Scope, WheelKeysAndPansAreLevelsOfTheStack) {
    m.SetXCaption("t(us)");
    m.ComputeLayout(Mono);
    const PixelRect p = m.LastLayout().plot;
    const ZoomLevel full = m.Current();

    // The wheel around the mouse, Shift+wheel on the values and a middle-button
    // drag as one level are the scope window's tests, through its events; here
    // the axis follows a zoom, and the value zoom keeps the row under the mouse.
    const int x = p.left + p.width() / 4;
    ASSERT_TRUE(m.ZoomTimeAround(x, 0.5));
    EXPECT_NEAR(m.Current().axisFirst, m.Current().xMin * 100, 0.1) << "the axis follows";
    EXPECT_EQ(m.Current().chMax[0], full.chMax[0]) << "values untouched";
    ASSERT_TRUE(m.ZoomValuesAround(p.bottom, 0.5));  // -5 stays at the bottom
    EXPECT_EQ(m.Level(), 2);
    EXPECT_NEAR(m.Current().chMin[0], -5, 1e-4);
    EXPECT_NEAR(m.Current().chMax[0], 0, 1e-4);

    // Keys: one level per press; the view stays inside the recording.
    ASSERT_TRUE(m.PanBy(-0.1, 0));
    EXPECT_EQ(m.Level(), 3);
    for (int i = 0; i < 20; ++i) m.PanBy(-0.5, 0);
    EXPECT_EQ(m.Current().xMin, 0);
    EXPECT_FALSE(m.PanBy(-0.1, 0)) << "at the start already";

    // Zooming out never goes beyond the whole recording.
    ASSERT_TRUE(m.FitAll());
    EXPECT_EQ(m.Level(), 0);
    EXPECT_EQ(m.Current(), full);
    EXPECT_FALSE(m.ZoomTimeAround(x, 1.25));
    EXPECT_FALSE(m.FitAll());

    // A full stack forgets its oldest zoom, never the whole view.
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(m.ZoomTimeAround(x, 0.9)) << i;
    EXPECT_EQ(m.Level(), ScopeModel::kLevels - 1);
    EXPECT_EQ(m.LevelAt(0), full);
    const float deepest = m.Current().xMax - m.Current().xMin;
    EXPECT_NEAR(deepest, 400 * std::pow(0.9, 30), 0.01);
    EXPECT_NEAR(m.LevelAt(1).xMax - m.LevelAt(1).xMin, 400 * std::pow(0.9, 17), 0.01);
}

TEST(ScopeStatistics, KnownSignalsBetweenTheCursors) {
    // A 50 Hz sine of amplitude 1000 on 300 offset, 100 us a point, and noise
    // of a tenth of it: ten full periods between the cursors.
    std::vector<PlotPointF> pts;
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> noise(-100, 100);
    for (int i = 0; i < 4000; ++i)
        pts.push_back({static_cast<float>(i), static_cast<float>(300 + 1000 * std::sin(2 * M_PI * 50 * i * 1e-4) + noise(rng))});
    const ChannelStatistics s = ComputeStatistics(pts, pts.size(), 1000, 3000, 1e-4, 0.1);
    EXPECT_EQ(s.count, 2001u);
    EXPECT_NEAR(s.mean, 300, 10);
    EXPECT_NEAR(s.rms, std::sqrt(300.0 * 300 + 1000.0 * 1000 / 2), 15);
    EXPECT_NEAR(s.max, 1400, 100);
    EXPECT_NEAR(s.min, -800, 100);
    EXPECT_NEAR(s.peakToPeak(), 2200, 200);
    ASSERT_TRUE(s.frequency.has_value());
    EXPECT_NEAR(*s.frequency, 50, 0.5);

    // The indexed figures are those of every point, for any pair of cursors,
    // whole blocks or ragged ends, either order.
    StatisticsIndex index;
    index.Build(pts, pts.size());
    std::uniform_int_distribution<int> at(0, 3999);
    for (int trial = 0; trial < 300; ++trial) {
        const int a = at(rng), b = at(rng);
        const ChannelStatistics got = index.Between(a, b, 1e-4, 0.1);
        double lo = 1e9, hi = -1e9, sum = 0, sq = 0;
        for (int i = std::min(a, b); i <= std::max(a, b); ++i) {
            lo = std::min<double>(lo, pts[i].y), hi = std::max<double>(hi, pts[i].y);
            sum += pts[i].y, sq += double(pts[i].y) * pts[i].y;
        }
        const double n = std::abs(a - b) + 1;
        ASSERT_EQ(got.count, static_cast<std::size_t>(n));
        ASSERT_EQ(got.min, lo) << a << ".." << b;
        ASSERT_EQ(got.max, hi) << a << ".." << b;
        ASSERT_NEAR(got.mean, sum / n, 1e-6);
        ASSERT_NEAR(got.rms, std::sqrt(sq / n), 1e-6);
    }

    // Flat or noise-only stretches have no frequency; a frequency axis gives
    // where the largest value stands.
    std::vector<PlotPointF> flat(100, PlotPointF{0, 7});
    for (int i = 0; i < 100; ++i) flat[i].x = static_cast<float>(i);
    EXPECT_FALSE(ComputeStatistics(flat, 100, 0, 99, 1e-4, 0).frequency);
    flat[40].y = 90;
    const ChannelStatistics peak = ComputeStatistics(flat, 100, 0, 99, 0, 2.0);
    ASSERT_TRUE(peak.frequency.has_value());
    EXPECT_EQ(*peak.frequency, 80);
    EXPECT_EQ(ComputeStatistics(flat, 100, 200, 300, 1e-4, 0).count, 0u);

    // One and a half periods of 15 Hz over 100 ms from a crest: one rising
    // crossing, but falling and rising ones half a period apart.
    std::vector<PlotPointF> slow;
    for (int i = 0; i < 1000; ++i) slow.push_back({static_cast<float>(i), static_cast<float>(std::cos(2 * M_PI * 15 * i * 1e-4))});
    const ChannelStatistics ringing = ComputeStatistics(slow, slow.size(), 0, 999, 1e-4, 0);
    ASSERT_TRUE(ringing.frequency.has_value());
    EXPECT_NEAR(*ringing.frequency, 15, 0.5);
}

TEST_F(Scope, ReadoutAndPositionsSurviveZoom) {
    m.SetXCaption("t(us)");
    m.SetChannelTypes({2, 0, 0, 0}, [](int32_t) { return std::string("速度反馈(0.01rps)"); });
    m.SetChannelVisible(0, true);
    for (int i = 0; i < 400; ++i) m.PlotPoint(0, i, static_cast<float>(i));
    m.ComputeLayout(Mono);
    EXPECT_TRUE(m.CursorReadout().lines.empty());
    m.SetCursorsEnabled(true);
    EXPECT_EQ(std::pair(m.CursorX(0), m.CursorX(1)), std::pair(100.0f, 300.0f));
    const Readout r = m.CursorReadout();
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0], "A: 10.00 ms   B: 30.00 ms");
    EXPECT_EQ(r.lines[1], "\xCE\x94t: 20.00 ms   1/\xCE\x94t: 50.00 Hz");
    ASSERT_EQ(r.rows.size(), 1u);
    EXPECT_EQ(r.columns.size(), r.rows[0].cells.size());
    // The signal as its caption names it, A, B, delta, min, max, mean, RMS,
    // p-p, frequency (a ramp has none)
    EXPECT_EQ(r.rows[0].cells, (std::vector<std::string>{"速度反馈(0.01rps)", "100.0", "300.0", "200.0", "100.0", "300.0",
                                                         "200.0", "208.2", "200.0", "-"}));
    // A channel muted from its caption leaves the picture and the readout,
    // its caption stays to be clicked again; another type shows it again.
    // (Clicking the caption, dragging a cursor and a zoom that keeps its
    // index: the scope window's cursor test.)
    m.SetChannelMuted(0, true);
    m.ComputeLayout(Mono);
    EXPECT_TRUE(m.CurveVertices(0).empty());
    EXPECT_TRUE(m.CursorReadout().rows.empty());
    EXPECT_EQ(m.LastLayout().captions.size(), 1u);
    m.SetChannelTypes({8, 0, 0, 0}, nullptr);
    EXPECT_FALSE(m.Muted(0));
    m.SetChannelTypes({2, 0, 0, 0}, [](int32_t) { return std::string("速度反馈(0.01rps)"); });
    m.ComputeLayout(Mono);
    // The cursor's letter stands under a readout that would cover it.
    const PixelRect plot = m.LastLayout().plot;
    EXPECT_EQ(CursorLetterRect(500, plot, {0, 0, 10, 10}, {7, 14}).top, plot.top + 2);
    EXPECT_EQ(CursorLetterRect(500, plot, {450, plot.top, 700, plot.top + 80}, {7, 14}).top, plot.top + 82);

    const int ax = m.CursorPixel(0);
    EXPECT_EQ(m.CursorNear(ax + 4), 0);
    EXPECT_FALSE(m.CursorNear(ax + 6).has_value());
    m.DragCursorTo(0, m.PixelX(50));
    const PixelRect p = m.LastLayout().plot;
    const int before = m.CursorPixel(0) - p.left;
    m.BeginDrag(p.left, p.top);
    ASSERT_EQ(m.EndDrag(p.left + p.width() / 2, p.bottom), ZoomOutcome::ZoomedIn);
    EXPECT_NEAR(m.CursorPixel(0) - p.left, 2 * before, 2);

    m.SetAxisKind(AxisKind::Frequency);
    m.SetXCaption("f(Hz)");
    EXPECT_EQ(m.CursorReadout().lines[1], "\xCE\x94" "f: 25000 Hz");
}

// Peak numbers side by side (neighbouring peaks, one at the plot's edge):
// no label covers another or another marker, and all stay in the plot.
TEST(ScopeMarkers, LabelsNeverOverlap) {
    const PixelRect plot{100, 50, 900, 450};
    const std::vector<PixelPoint> at{{500, 200}, {504, 203}, {508, 190}, {896, 52}, {500, 215}};
    const std::vector<TextSize> sizes(at.size(), TextSize{8, 14});
    const std::vector<PixelRect> labels = PlaceMarkerLabels(at, sizes, plot);
    ASSERT_EQ(labels.size(), at.size());
    for (std::size_t i = 0; i < labels.size(); ++i) {
        EXPECT_TRUE(plot.contains(labels[i].left, labels[i].top) && plot.contains(labels[i].right, labels[i].bottom)) << i;
        for (std::size_t j = 0; j < at.size(); ++j) {
            EXPECT_TRUE(j == i || !labels[i].intersects(labels[j])) << i << " and " << j;
            EXPECT_FALSE(labels[i].intersects({at[j].x - 4, at[j].y - 4, at[j].x + 5, at[j].y + 5})) << i << " on " << j;
        }
    }
}
