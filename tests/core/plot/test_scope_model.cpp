// The scope's ranges, zoom stack, layout and curve reduction, without a window.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
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

}  // namespace

TEST(ScopeRanges, ValuesOutgrowingARangeWidenItInRoundSteps) {
    ScopeModel m;
    WaveformStart(m);
    EXPECT_EQ(m.Current().chMin[0], -5) << "a span of exactly 10 is kept";
    EXPECT_EQ(m.Current().chMax[0], 5);

    m.PlotPoint(0, 0, 8, 100);  // r = 9.6
    EXPECT_EQ(m.Current().chMin[0], -10);
    EXPECT_EQ(m.Current().chMax[0], 10);
    m.PlotPoint(0, 1, -7, 100);  // 8.4 fits
    EXPECT_EQ(m.Current().chMax[0], 10);
    m.PlotPoint(0, 2, 100, 100);  // r = 120
    EXPECT_EQ(m.Current().chMin[0], -200);
    EXPECT_EQ(m.Current().chMax[0], 200);

    ScopeModel n;
    WaveformStart(n);
    n.PlotPoint(1, 0, 83, 100);  // r = 99.6: tens
    EXPECT_FLOAT_EQ(n.Current().chMax[1], 100);
    n.PlotPoint(2, 0, -25, 100);  // r = 30 gives 40, always above r
    EXPECT_FLOAT_EQ(n.Current().chMax[2], 40);
    n.PlotPoint(2, 1, 84, 100);  // r = 100.8: hundreds
    EXPECT_FLOAT_EQ(n.Current().chMax[2], 200);

    n.SetChannelRange(3, -2, 2);
    EXPECT_EQ(n.Current().chMin[3], -7) << "narrow ranges are widened at level 0";
    EXPECT_EQ(n.Current().chMax[3], 7);
}

TEST(ScopeRanges, SameQuantitiesShareTheLargerRangeAtTheEndOfABatch) {
    ScopeModel m;
    WaveformStart(m);
    // position feedback, position reference, Q-axis current, none
    m.SetChannelTypes({4, 16, 1024, 0}, nullptr);
    const int n = 3;
    for (int i = 0; i < n; ++i) {
        m.PlotPoint(0, i, 50, n);   // needs 60 -> 70
        m.PlotPoint(1, i, 150, n);  // needs 180 -> 200
        m.PlotPoint(2, i, 8, n);    // needs 9.6 -> 10
        const bool batchEnd = m.PlotPoint(3, i, 1, n);
        EXPECT_EQ(batchEnd, i == n - 1);
    }
    EXPECT_EQ(m.Current().chMax[0], 200);
    EXPECT_EQ(m.Current().chMin[0], -200);
    EXPECT_EQ(m.Current().chMax[1], 200);
    EXPECT_EQ(m.Current().chMax[2], 10) << "a source outside every group keeps its own range";
    EXPECT_EQ(m.Current().chMax[3], 200) << "an untyped channel joins every group in turn";
}

TEST(ScopeGrid, DivisionsFollowTheAxisAndChannelOne) {
    ScopeModel m;
    WaveformStart(m);
    EXPECT_EQ(m.HorizontalDivisions(), 5);  // 4000: 5 is the largest of 2..7 dividing it
    EXPECT_EQ(m.VerticalDivisions(), 1);    // v = 1
    m.SetAxisValues(0, 2000);               // 200: 5
    EXPECT_EQ(m.HorizontalDivisions(), 5);
    m.SetAxisValues(0, 420);  // 42: 7
    EXPECT_EQ(m.HorizontalDivisions(), 7);
    m.SetAxisValues(0, 110);  // 11: none, 2
    EXPECT_EQ(m.HorizontalDivisions(), 2);
    m.SetAxisValues(0, 29);  // 2: 1
    EXPECT_EQ(m.HorizontalDivisions(), 1);

    m.SetChannelRange(0, -200, 200);  // 40: 5
    EXPECT_EQ(m.VerticalDivisions(), 5);
    m.SetChannelRange(0, -70, 70);  // 14: 7 gives 2
    EXPECT_EQ(m.VerticalDivisions(), 2);
    m.SetChannelRange(0, -55, 55);  // 11: none, the last count stays
    EXPECT_EQ(m.VerticalDivisions(), 2);
    m.SetChannelRange(0, -300, 300);  // 60: 2
    EXPECT_EQ(m.VerticalDivisions(), 2);

    ScopeModel fresh;
    WaveformStart(fresh);
    fresh.SetChannelRange(0, -55, 55);
    EXPECT_EQ(fresh.VerticalDivisions(), 0) << "no count before the first that divides";
    const GridLines g = fresh.Grid();
    EXPECT_TRUE(g.fineY.empty());
    EXPECT_EQ(g.majorY.size(), 9u);
}

TEST(ScopeLayout, ScalesAndCaptionsMakeRoomAroundThePlot) {
    ScopeModel m;
    WaveformStart(m, 900, 500);
    const Layout& l = m.LastLayout();
    // Scales "-5"/"5" are 2 characters (14 px); the digit is 7 x 14.
    EXPECT_EQ(l.plot.left, 3 * 7 + 14 + 14);
    EXPECT_EQ(l.plot.right, 900 - (5 * 7 + 14 + 14));
    EXPECT_EQ(l.plot.bottom, 500 - (14 + 14 + 14));
    const int h = l.plot.bottom;
    EXPECT_EQ(l.plot.top, h % 10 + 10 + 10 * ((h / 10) % 5));
    EXPECT_FLOAT_EQ(m.XUnitsPerPixel(), 400.0f / l.plot.width());

    const GridLines g = m.Grid();
    EXPECT_EQ(g.fineX.size(), 49u);  // 10 x 5 columns
    EXPECT_EQ(g.majorX.front(), l.plot.left + l.plot.width() / 10);

    EXPECT_EQ(m.AxisLabels().front(), "0");
    EXPECT_EQ(m.AxisLabels().back(), "40000");
    EXPECT_EQ(m.ScaleLabels(0).front(), "5");
    EXPECT_EQ(m.ScaleLabels(0)[5], "0");

    EXPECT_EQ(m.PixelX(0), l.plot.left);
    EXPECT_NEAR(m.PixelX(400), l.plot.right, 1);
    EXPECT_EQ(m.PixelY(0, -5), l.plot.bottom);
    EXPECT_NEAR(m.PixelY(0, 5), l.plot.top, 1);
}

TEST(ScopeZoom, DragsZoomInClicksZoomOutAndTheStackEnds) {
    ScopeModel m;
    WaveformStart(m);
    const PixelRect p = m.LastLayout().plot;
    EXPECT_EQ(m.TickDecimals(), 0);
    EXPECT_EQ(m.FormatTick(2.5), "2");

    // A 5 x 40 drag before any zoom does nothing.
    m.BeginDrag(p.left + 100, p.top + 20);
    m.MoveDrag(p.left + 105, p.top + 60);
    EXPECT_EQ(m.EndDrag(p.left + 105, p.top + 60), ZoomOutcome::None);
    EXPECT_EQ(m.Level(), 0);

    // A start near the left edge snaps to it, an end near the right edge too.
    m.BeginDrag(p.left + 8, p.top + 10);
    m.MoveDrag(p.right - 9, p.bottom - 10);
    EXPECT_EQ(m.DragRect().left, p.left);
    EXPECT_EQ(m.DragRect().right, p.right);
    EXPECT_EQ(m.EndDrag(p.right - 9, p.bottom - 10), ZoomOutcome::ZoomedIn);
    EXPECT_EQ(m.Level(), 1);
    EXPECT_EQ(m.FormatTick(2.25), "2.2");
    EXPECT_FLOAT_EQ(m.Current().xMin, 0);
    EXPECT_NEAR(m.Current().xMax, 400, 0.01);
    EXPECT_LT(m.Current().chMax[0], 5);
    EXPECT_GT(m.Current().chMin[0], -5);
    EXPECT_FLOAT_EQ(m.Current().chMax[1], m.Current().chMax[0]) << "other channels follow channel 1";
    EXPECT_EQ(m.LevelAt(0).chMax[0], 5) << "the level below keeps its ranges";

    // Now the same small drag steps back out.
    m.ComputeLayout(Mono);
    m.BeginDrag(p.left + 100, p.top + 20);
    EXPECT_EQ(m.EndDrag(p.left + 105, p.top + 60), ZoomOutcome::ZoomedOut);
    EXPECT_EQ(m.Level(), 0);
    EXPECT_EQ(m.Current().chMax[0], 5);

    // Fourteen zooms reach level 14; the fifteenth is refused.
    for (int z = 1; z <= 14; ++z) {
        m.ComputeLayout(Mono);
        const PixelRect q = m.LastLayout().plot;
        m.BeginDrag(q.left, q.top);
        ASSERT_EQ(m.EndDrag(q.right, q.bottom), ZoomOutcome::ZoomedIn) << "zoom " << z;
    }
    EXPECT_EQ(m.Level(), 14);
    EXPECT_EQ(m.TickDecimals(), 4);
    m.ComputeLayout(Mono);
    const PixelRect q = m.LastLayout().plot;
    m.BeginDrag(q.left, q.top);
    EXPECT_EQ(m.EndDrag(q.right, q.bottom), ZoomOutcome::AtMaximum);
    EXPECT_EQ(m.Level(), 14);

    m.ClearPoints();
    EXPECT_EQ(m.Level(), 0);
    EXPECT_TRUE(m.ZoomedOnce()) << "the flag is never cleared";
}

TEST(ScopeZoom, RectangleNarrowerThanTenAxisUnitsIsRefused) {
    ScopeModel m;
    WaveformStart(m);
    // 400 points over 40 us: a 10-pixel rectangle spans about 0.5 us, which
    // cuts down to no whole ten of the axis.
    m.SetAxisValues(0, 40);
    const PixelRect p = m.LastLayout().plot;
    m.BeginDrag(p.left + 50, p.top + 50);
    EXPECT_EQ(m.EndDrag(p.left + 60, p.top + 100), ZoomOutcome::AtMaximum);
    EXPECT_EQ(m.Level(), 0);
}

TEST(ScopeCurves, ReductionKeepsEveryColumnsExtremes) {
    ScopeModel m;
    WaveformStart(m, 700, 400);
    const int n = 60000;
    m.SetPointsPerChannel(n);
    m.SetXRange(0, n, 2);
    m.SetAxisValues(0, n * 50.0f);
    m.SetChannelTypes({1, 2, 0, 0}, nullptr);
    for (int k = 0; k < 2; ++k) m.SetChannelVisible(k, true);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> noise(-300, 300);
    for (int i = 0; i < n; ++i) {
        float v = static_cast<float>(std::sin(i / 500.0) * 2000 + noise(rng));
        if (i == 12345) v = 30000;  // a single-sample spike
        m.PlotPoint(0, i, v, n);
        m.PlotPoint(1, i, static_cast<float>(i % 977), n);
    }
    m.ComputeLayout(Mono);
    for (int k = 0; k < 2; ++k) {
        const auto all = m.AllVertices(k);
        const auto reduced = m.CurveVertices(k);
        ASSERT_EQ(all.size(), static_cast<size_t>(n));
        EXPECT_LE(reduced.size(), 4u * (m.LastLayout().plot.width() + 1));
        std::map<int, std::pair<int, int>> full, cut;
        for (const auto& v : all) {
            auto [it, fresh] = full.emplace(v.x, std::make_pair(v.y, v.y));
            it->second.first = std::min(it->second.first, v.y);
            it->second.second = std::max(it->second.second, v.y);
        }
        for (const auto& v : reduced) {
            auto [it, fresh] = cut.emplace(v.x, std::make_pair(v.y, v.y));
            it->second.first = std::min(it->second.first, v.y);
            it->second.second = std::max(it->second.second, v.y);
        }
        EXPECT_EQ(full, cut) << "channel " << k;
        EXPECT_EQ(reduced.front(), all.front());
        EXPECT_EQ(reduced.back(), all.back());
    }
    // The spike is in the picture.
    const int spikeY = m.PixelY(0, 30000);
    bool seen = false;
    for (const auto& v : m.CurveVertices(0)) seen |= v.y == spikeY;
    EXPECT_TRUE(seen);
    // A list longer than the points per channel is drawn up to that many.
    m.SetPointsPerChannel(1000);
    EXPECT_EQ(m.AllVertices(0).size(), 1000u);
    m.SetChannelVisible(1, false);
    EXPECT_TRUE(m.CurveVertices(1).empty());
}

TEST(ScopeCursors, ReadoutAndPositionsSurviveZoom) {
    ScopeModel m;
    WaveformStart(m);
    m.SetChannelTypes({2, 0, 0, 0}, nullptr);
    m.SetChannelVisible(0, true);
    for (int i = 0; i < 400; ++i) m.PlotPoint(0, i, static_cast<float>(i), 400);
    m.ComputeLayout(Mono);
    EXPECT_TRUE(m.CursorReadout().empty());
    m.SetCursorsEnabled(true);
    EXPECT_EQ(m.CursorX(0), 100);
    EXPECT_EQ(m.CursorX(1), 300);
    const auto lines = m.CursorReadout();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "A: 10000 us");
    EXPECT_EQ(lines[1], "B: 30000 us");
    EXPECT_EQ(lines[2], "\xCE\x94t: 20000 us   1/\xCE\x94t: 50 Hz");
    EXPECT_EQ(lines[3], "CH1  A: 100  B: 300  \xCE\x94: 200");

    const int ax = m.CursorPixel(0);
    EXPECT_EQ(m.CursorNear(ax + 4), 0);
    EXPECT_FALSE(m.CursorNear(ax + 6).has_value());
    m.DragCursorTo(0, m.PixelX(50));
    EXPECT_EQ(m.CursorX(0), 50);

    const PixelRect p = m.LastLayout().plot;
    const int before = m.CursorPixel(0) - p.left;
    m.BeginDrag(p.left, p.top);
    ASSERT_EQ(m.EndDrag(p.left + p.width() / 2, p.bottom), ZoomOutcome::ZoomedIn);
    EXPECT_EQ(m.CursorX(0), 50) << "a cursor stays at its point index";
    EXPECT_NEAR(m.CursorPixel(0) - p.left, 2 * before, 2);

    m.SetAxisKind(AxisKind::Frequency);
    EXPECT_EQ(m.CursorReadout()[2], "\xCE\x94" "f: 25000 Hz");
}
