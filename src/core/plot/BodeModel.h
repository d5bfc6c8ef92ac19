#pragma once
// The Bode plot without a window: magnitude (dB) and phase (degrees) of
// several responses over a logarithmic frequency axis, a strip of their
// coherence below, and the marks a loop's reader looks for (the crossover,
// the phase and gain margins, the notches). Like the scope's model it owns
// every range, tick, pixel and gesture rule, so a test can check them
// without a screen: a stack of views for zooming back out, wheel zoom
// around the mouse, panning, fit, two cursors with a readout, and the
// points reduced to what a pixel column can show.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/plot/Axis.h"
#include "core/plot/ScopeModel.h"  // PixelRect, PixelPoint, TextMeasure

namespace hx::plot {

struct BodeCurve {
    std::string name;
    std::vector<double> hz;         // rising, > 0
    std::vector<double> db, deg;    // as many
    std::vector<double> coherence;  // empty: not measured (no strip)
    Colorref colour = 0xFFFFFF;
    bool dashed = false;            // a prediction rather than a measurement
    bool visible = true;
};

struct BodeMarks {
    int curve = -1;  // the loop the marks belong to (an index into the curves)
    std::optional<double> crossoverHz;
    std::optional<double> phaseMarginDeg;   // at phaseMarginHz
    std::optional<double> phaseMarginHz;
    std::optional<double> gainMarginDb;     // at phaseCrossoverHz
    std::optional<double> phaseCrossoverHz;
    std::vector<double> notchHz;
    bool operator==(const BodeMarks&) const = default;
};

enum class BodePane { Magnitude = 0, Phase = 1, Coherence = 2 };

struct BodeView {
    double fMin = 1, fMax = 1000;
    double dbMin = -60, dbMax = 40;
    double degMin = -360, degMax = 0;
    bool operator==(const BodeView&) const = default;
};

struct BodeLayout {
    PixelRect control;
    std::array<PixelRect, 3> panes;    // magnitude, phase, coherence
    std::vector<Tick> xTicks;          // frequency labels (decades, 2 and 5)
    std::vector<int> xMinor;           // the other multiples of each decade
    std::array<TickSet, 3> yTicks;
    bool operator==(const BodeLayout&) const = default;
};

struct BodeReadout {
    std::vector<std::string> lines;  // "A: 125 Hz   B: 250 Hz"; then one line per curve and cursor
};

class BodeModel {
public:
    static constexpr int kLevels = 15;
    static constexpr double kWheelFactor = 0.8;
    static constexpr Colorref kBackground = 0x000000, kGrid = 0x004000, kMajorGrid = 0x008000, kFrame = 0xD9D9D9;
    static constexpr Colorref kMarginColour = 0x00FFFF, kNotchColour = 0xFF80FF, kCursorColour = 0xFFFFFF;

    void SetCurves(std::vector<BodeCurve> curves);  // fits the view to them
    const std::vector<BodeCurve>& Curves() const { return m_curves; }
    void SetCurveVisible(std::size_t i, bool visible);
    void SetMarks(BodeMarks marks) { m_marks = std::move(marks); }
    const BodeMarks& Marks() const { return m_marks; }
    void SetRect(int left, int top, int right, int bottom);

    // The view that shows every visible curve (frequency range of the data,
    // magnitude and phase ranges rounded out to 10 dB and 45 degrees).
    BodeView FitView() const;
    const BodeView& View() const { return m_levels[m_level]; }
    int Level() const { return m_level; }

    const BodeLayout& ComputeLayout(const TextMeasure& measure);
    const BodeLayout& LastLayout() const { return m_layout; }

    // Mapping, from the last layout.
    int PixelX(double hz) const;
    double HzAt(int x) const;
    int PixelY(BodePane pane, double value) const;
    double ValueAt(BodePane pane, int y) const;
    std::optional<BodePane> PaneAt(int x, int y) const;
    // A curve's vertices in a pane: at most first, lowest, highest and last
    // per pixel column; points beyond the view are clipped by the caller.
    std::vector<PixelPoint> Vertices(const BodeCurve& curve, BodePane pane) const;

    // Gestures; each is one level of the stack (false when nothing changed).
    bool ZoomFrequencyAround(int x, double factor);
    bool ZoomValuesAround(BodePane pane, int y, double factor);
    // Shares of the view: +0.1 moves a tenth to the right / up.
    bool PanBy(double frequencyShare, double valueShare, BodePane pane = BodePane::Magnitude);
    // A rectangle dragged in a pane: the frequency span and that pane's values.
    bool ZoomToRect(PixelRect r);
    bool ZoomOut();
    bool FitAll();

    // Cursors, by frequency, so they stay put across zooms.
    void SetCursorsEnabled(bool on);
    bool CursorsEnabled() const { return m_cursorsOn; }
    double CursorHz(int which) const { return m_cursor[which]; }
    void SetCursorHz(int which, double hz) { m_cursor[which] = hz; }
    std::optional<int> CursorNear(int x, int tolerance = 5) const;
    BodeReadout CursorReadout() const;

private:
    void push(const BodeView& next);
    double logSpan() const;

    std::vector<BodeCurve> m_curves;
    BodeMarks m_marks;
    std::array<BodeView, kLevels> m_levels{};
    int m_level = 0;
    PixelRect m_control;
    BodeLayout m_layout;
    bool m_cursorsOn = false;
    std::array<double, 2> m_cursor{10, 100};
};

// A curve's value at hz (magnitude dB, phase degrees or coherence),
// interpolated on the log frequency axis; nullopt outside its range.
std::optional<double> CurveValueAt(const BodeCurve& curve, BodePane pane, double hz);

// "1.5 k", "200", "2 k": a frequency label.
std::string FormatHz(double hz);

// Every curve as CSV: one row per frequency of the union of the curves'
// frequencies, "frequency_hz" then "<name> dB", "<name> deg" and, where
// measured, "<name> coherence" for each curve; a curve without a point at a
// row's frequency leaves its cells empty. Numbers in plain notation, '.'
// as the decimal point, lines ended by "\n".
std::string BodeCsv(const std::vector<BodeCurve>& curves);

}  // namespace hx::plot
