// The Bode plot's model: the curves made from a response, the log axis and
// its ticks, the gestures and their stack, the cursors, decimation, CSV.
#include <gtest/gtest.h>

#include "core/plot/BodeModel.h"
#include "core/tuning/BodeData.h"

using namespace hx::plot;

namespace {

TextSize Measure(const std::string& s) { return {static_cast<int>(s.size()) * 7, 13}; }

// An integrator with a delay: magnitude and phase known at every frequency.
hx::tuning::FrequencyResponse Integrator() {
    hx::tuning::FrequencyResponse r;
    r.hz = hx::tuning::LogFrequencies(10, 1000, 201);
    for (double f : r.hz) {
        const hx::tuning::Complex s(0, 2 * hx::tuning::kPi * f);
        r.value.push_back(2 * hx::tuning::kPi * 100.0 / s * std::exp(-s * 5e-4));
    }
    return r;
}

BodeModel Laid(const std::vector<BodeCurve>& curves, int w = 800, int h = 600) {
    BodeModel m;
    m.SetCurves(curves);
    m.SetRect(0, 0, w, h);
    m.ComputeLayout(Measure);
    return m;
}

}  // namespace

TEST(BodeModel, CurvesAndMarksComeFromTheResponse) {
    const hx::tuning::BodeData data = hx::tuning::BodeOfLoop(Integrator(), "L");
    const std::vector<BodeCurve> curves = hx::tuning::BodeCurves(data, {});
    ASSERT_EQ(curves.size(), 1u);
    // At 100 Hz: 0 dB and -90 - 18 degrees; at 10 Hz: 20 dB.
    EXPECT_NEAR(*CurveValueAt(curves[0], BodePane::Magnitude, 100), 0, 1e-6);
    EXPECT_NEAR(*CurveValueAt(curves[0], BodePane::Phase, 100), -108, 1e-3);
    EXPECT_NEAR(*CurveValueAt(curves[0], BodePane::Magnitude, 10), 20, 1e-6);
    EXPECT_FALSE(CurveValueAt(curves[0], BodePane::Magnitude, 5));
    const BodeMarks marks = hx::tuning::BodeMarksOf(data);
    EXPECT_NEAR(*marks.crossoverHz, 100, 0.01);
    EXPECT_NEAR(*marks.phaseMarginDeg, 72, 0.01);
    // The phase reaches -180 where 360 f 0.5 ms = 90: 500 Hz, 14 dB down.
    EXPECT_NEAR(*marks.phaseCrossoverHz, 500, 0.5);
    EXPECT_NEAR(*marks.gainMarginDb, 13.98, 0.01);
}

TEST(BodeModel, LogAxisTicksAndFit) {
    const BodeModel m = Laid(hx::tuning::BodeCurves(hx::tuning::BodeOfLoop(Integrator(), "L"), {}));
    EXPECT_EQ(m.View(), (BodeView{10, 1000, -20, 20, -270, -90}));
    // Decades equally spaced, 100 Hz in the middle.
    const PixelRect& p = m.LastLayout().panes[0];
    EXPECT_EQ(m.PixelX(10), p.left);
    EXPECT_EQ(m.PixelX(1000), p.right);
    EXPECT_NEAR(m.PixelX(100), (p.left + p.right) / 2, 1);
    EXPECT_NEAR(m.HzAt(m.PixelX(316.2)), 316.2, 3);
    std::vector<std::string> labels;
    for (const Tick& t : m.LastLayout().xTicks) labels.push_back(t.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"10", "20", "50", "100", "200", "500", "1 k"}));
    EXPECT_EQ(m.LastLayout().xMinor.size(), 12u);
    // The panes stack magnitude, phase, coherence.
    EXPECT_LT(m.LastLayout().panes[0].bottom, m.LastLayout().panes[1].top);
    EXPECT_LT(m.LastLayout().panes[1].bottom, m.LastLayout().panes[2].top);
    EXPECT_EQ(m.PixelY(BodePane::Phase, -90), m.LastLayout().panes[1].top);
    EXPECT_EQ(m.LastLayout().yTicks[1].step, 45);
}

TEST(BodeModel, GesturesStackAndFit) {
    BodeModel m = Laid(hx::tuning::BodeCurves(hx::tuning::BodeOfLoop(Integrator(), "L"), {}));
    const BodeView full = m.View();
    const int x = m.PixelX(200);
    ASSERT_TRUE(m.ZoomFrequencyAround(x, 0.5));
    m.ComputeLayout(Measure);
    EXPECT_NEAR(m.HzAt(x), 200, 2);  // the frequency under the mouse stays
    EXPECT_NEAR(m.View().fMax / m.View().fMin, 10, 1e-6);
    ASSERT_TRUE(m.PanBy(0.5, 0.1, BodePane::Magnitude));
    EXPECT_NEAR(m.View().dbMax - m.View().dbMin, 40, 1e-9);
    EXPECT_NEAR(m.View().dbMin, -16, 1e-9);
    m.ComputeLayout(Measure);
    const PixelRect p1 = m.LastLayout().panes[1];
    ASSERT_TRUE(m.ZoomToRect({p1.left + 10, p1.top + 10, p1.left + 110, p1.top + 60}));
    EXPECT_EQ(m.Level(), 3);
    EXPECT_LT(m.View().degMax, full.degMax);
    EXPECT_EQ(m.View().dbMin, -16);  // only the phase pane's range changed
    EXPECT_FALSE(m.ZoomToRect({p1.left, p1.top, p1.left + 3, p1.top + 50}));
    ASSERT_TRUE(m.ZoomOut());
    EXPECT_EQ(m.Level(), 2);
    ASSERT_TRUE(m.FitAll());
    EXPECT_EQ(m.View(), full);
    EXPECT_FALSE(m.FitAll());
    for (int i = 0; i < 30; ++i) m.PanBy(0.01, 0);
    EXPECT_EQ(m.Level(), BodeModel::kLevels - 1);
    m.FitAll();
    EXPECT_EQ(m.View(), full);
}

TEST(BodeModel, CursorsDecimationAndCsv) {
    BodeCurve dense;
    dense.name = "P";
    for (int i = 0; i < 20000; ++i) {
        dense.hz.push_back(10 + i * 0.05);
        dense.db.push_back(i % 2 ? 10 : -10);
        dense.deg.push_back(-90);
    }
    BodeModel m = Laid({dense}, 500, 400);
    const std::vector<PixelPoint> v = m.Vertices(m.Curves()[0], BodePane::Magnitude);
    EXPECT_LE(v.size(), 4u * static_cast<std::size_t>(m.LastLayout().panes[0].width() + 3));
    int top = 1 << 30, bottom = -1;
    for (const PixelPoint& p : v) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
    EXPECT_EQ(top, m.PixelY(BodePane::Magnitude, 10));
    EXPECT_EQ(bottom, m.PixelY(BodePane::Magnitude, -10));

    m.SetCursorsEnabled(true);
    m.SetCursorHz(0, 100);
    m.SetCursorHz(1, 1000);
    EXPECT_EQ(m.CursorNear(m.PixelX(100) + 3), 0);
    EXPECT_FALSE(m.CursorNear(m.PixelX(300)));
    const BodeReadout r = m.CursorReadout();
    ASSERT_EQ(r.lines.size(), 2u);
    EXPECT_EQ(r.lines[0], "A: 100 Hz   B: 1 k Hz");

    BodeCurve a{"L", {10, 20}, {1.5, -2.25}, {-90, -100.5}, {0.99, 0.5}};
    BodeCurve b{"T", {20, 40}, {0, -3}, {-10, -20}, {}};
    EXPECT_EQ(BodeCsv({a, b}),
              "frequency_hz,L dB,L deg,L coherence,T dB,T deg\n"
              "10.000,1.500,-90.00,0.9900,,\n"
              "20.000,-2.250,-100.50,0.5000,0.000,-10.00\n"
              "40.000,,,,-3.000,-20.00\n");
}
