#pragma once
// How the scope's axes read: tick steps of 1, 2 or 5 times a power of ten,
// spaced so that no two labels touch; figures to a few significant digits;
// time in the unit that fits the span; label colours dark enough to read on
// the frame. No window here: text sizes come from the caller.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hx::plot {

using Colorref = uint32_t;  // 0x00BBGGRR

struct Tick {
    double value = 0;  // in display units
    int pixel = 0;
    std::string label;
    bool operator==(const Tick&) const = default;
};

struct TickSet {
    double step = 0;
    std::vector<Tick> ticks;
    std::vector<int> minorPixels;  // subdivisions between ticks, when they are far enough apart
    bool operator==(const TickSet&) const = default;
};

// The extent of a label along the axis (its width on a horizontal axis, its
// height on a vertical one).
using LabelExtent = std::function<int(const std::string&)>;

// The smallest step of the 1-2-5 series that is at least `rough` (> 0).
double NiceStepAtLeast(double rough);
// The next larger step of the series.
double NextNiceStep(double step);

// A tick value written with as many decimals as its step needs ("2.5", "-40", "0").
std::string FormatTickValue(double value, double step);

// Ticks at multiples of a 1-2-5 step between lo and hi (display units),
// where lo sits at pixel p0 and hi at pixel p1 (p1 < p0 on a vertical axis).
// The step is the smallest whose neighbouring labels stand at least `gap`
// pixels apart and whose ticks are at least `minSpacing` pixels apart.
TickSet ChooseTicks(double lo, double hi, int p0, int p1, const LabelExtent& extent, int gap, int minSpacing);

// v to `digits` significant digits in plain notation ("9.921", "0.01235",
// "36200"); whole numbers at or above 10^digits are written whole.
std::string FormatSignificant(double v, int digits = 4);

// The unit of a horizontal axis's values, read from its caption's suffix.
enum class AxisUnit { None, Microseconds, Milliseconds, Seconds, Hertz };

// The caption "时间(us)" split into its stem "时间" and unit; a caption
// without a known unit keeps its text and gets AxisUnit::None.
struct AxisCaption {
    std::string stem;
    AxisUnit unit = AxisUnit::None;
};
AxisCaption ParseAxisCaption(const std::string& caption);

// The unit to show axis values in: time in µs, ms or s as the span fits;
// `scale` is what a value in the base unit is multiplied by.
struct DisplayUnit {
    AxisUnit unit = AxisUnit::None;
    double scale = 1;
    std::string symbol;  // "µs", "ms", "s", "Hz", or empty
};
DisplayUnit ChooseDisplayUnit(AxisUnit base, double spanInBase);
// Seconds per base unit (1e-6 for µs); 0 for units that are not time.
double SecondsPer(AxisUnit unit);

// WCAG contrast ratio of two colours (1 .. 21).
double ContrastRatio(Colorref a, Colorref b);
// `text` darkened just enough to reach `minimum` contrast on `background`
// (the colour itself when it already does).
Colorref ReadableOn(Colorref text, Colorref background, double minimum = 4.5);
// `colour` mixed halfway toward `background`: a trace drawn behind the live ones.
Colorref Dimmed(Colorref colour, Colorref background);

}  // namespace hx::plot
