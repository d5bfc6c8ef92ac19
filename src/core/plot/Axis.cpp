#include "core/plot/Axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace hx::plot {

double NiceStepAtLeast(double rough) {
    if (!(rough > 0) || !std::isfinite(rough)) return 1;
    const double decade = std::pow(10.0, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        // A hair of tolerance, so that 0.3 / 3 still counts as 0.1.
        if (m * decade >= rough * (1 - 1e-9)) return m * decade;
    }
    return 10 * decade;
}

double NextNiceStep(double step) { return NiceStepAtLeast(step * 1.5); }

namespace {

int DecimalsFor(double step) {
    if (!(step > 0)) return 0;
    const int d = static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return std::clamp(d, 0, 12);
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    // "-0" and "-0.00" read as zero.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

}  // namespace

std::string FormatTickValue(double value, double step) { return Fixed(value, DecimalsFor(step)); }

TickSet ChooseTicks(double lo, double hi, int p0, int p1, const LabelExtent& extent, int gap, int minSpacing) {
    TickSet out;
    const double span = hi - lo;
    const int length = std::abs(p1 - p0);
    if (!(span > 0) || !std::isfinite(span) || length < 2) return out;
    const double pixelsPerUnit = length / span;
    auto pixelOf = [&](double v) {
        const double t = (v - lo) / span;
        return static_cast<int>(std::lround(p0 + t * (p1 - p0)));
    };
    double step = NiceStepAtLeast(std::max(1, minSpacing) / pixelsPerUnit);
    // A step is tried with its own labels: wider labels may need the next one.
    for (int attempt = 0; attempt < 64; ++attempt, step = NextNiceStep(step)) {
        const double first = std::ceil(lo / step - 1e-9);
        const double last = std::floor(hi / step + 1e-9);
        if (last - first > 4096) continue;
        std::vector<Tick> ticks;
        int widest = 0;
        for (double k = first; k <= last; ++k) {
            const double v = k * step;
            Tick t{v, pixelOf(v), FormatTickValue(v, step)};
            widest = std::max(widest, extent(t.label));
            ticks.push_back(std::move(t));
        }
        const double spacing = step * pixelsPerUnit;
        if (spacing + 1e-9 < widest + gap || spacing + 1e-9 < minSpacing) continue;
        out.step = step;
        out.ticks = std::move(ticks);
        // Minor lines: fifths of a 1 or 5 step, quarters of a 2 step, when
        // at least 6 pixels apart; they run from the axis's start to its end.
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        const int parts = std::lround(mantissa) == 2 ? 4 : 5;
        const double minor = step / parts;
        if (minor * pixelsPerUnit >= 6) {
            const double m0 = std::ceil(lo / minor - 1e-9), m1 = std::floor(hi / minor + 1e-9);
            for (double k = m0; k <= m1 && k - m0 < 20000; ++k) {
                if (std::fmod(std::fabs(k), parts) == 0) continue;
                out.minorPixels.push_back(pixelOf(k * minor));
            }
        }
        return out;
    }
    return out;
}

std::string FormatSignificant(double v, int digits) {
    if (!std::isfinite(v)) return v != v ? "-" : (v > 0 ? "inf" : "-inf");
    if (v == 0) return "0";
    const double mag = std::floor(std::log10(std::fabs(v)));
    int decimals = digits - 1 - static_cast<int>(mag);
    // Rounding may carry into the next decade (9.9996 -> 10.00).
    const double rounded = std::fabs(v) * std::pow(10.0, std::max(0, decimals));
    if (decimals > 0 && std::round(rounded) >= std::pow(10.0, digits)) --decimals;
    return Fixed(v, std::clamp(decimals, 0, 15));
}

AxisCaption ParseAxisCaption(const std::string& caption) {
    struct Suffix {
        const char* text;
        AxisUnit unit;
    };
    static const Suffix kSuffixes[] = {{"(us)", AxisUnit::Microseconds}, {"(\xC2\xB5s)", AxisUnit::Microseconds},
                                       {"(ms)", AxisUnit::Milliseconds}, {"(s)", AxisUnit::Seconds},
                                       {"(Hz)", AxisUnit::Hertz}};
    for (const Suffix& s : kSuffixes) {
        const std::string suffix = s.text;
        if (caption.size() > suffix.size() && caption.compare(caption.size() - suffix.size(), suffix.size(), suffix) == 0)
            return {caption.substr(0, caption.size() - suffix.size()), s.unit};
    }
    return {caption, AxisUnit::None};
}

double SecondsPer(AxisUnit unit) {
    switch (unit) {
    case AxisUnit::Microseconds: return 1e-6;
    case AxisUnit::Milliseconds: return 1e-3;
    case AxisUnit::Seconds: return 1;
    default: return 0;
    }
}

DisplayUnit ChooseDisplayUnit(AxisUnit base, double spanInBase) {
    if (base == AxisUnit::Hertz) return {AxisUnit::Hertz, 1, "Hz"};
    const double perBase = SecondsPer(base);
    if (perBase == 0) return {};
    // The unit in which the span reads as a number from 2 to 2000.
    const double spanS = std::fabs(spanInBase) * perBase;
    if (spanS < 2e-3) return {AxisUnit::Microseconds, perBase / 1e-6, "\xC2\xB5s"};
    if (spanS < 2) return {AxisUnit::Milliseconds, perBase / 1e-3, "ms"};
    return {AxisUnit::Seconds, perBase, "s"};
}

namespace {

double Channel(double c) {
    c /= 255;
    return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(Colorref c) {
    return 0.2126 * Channel(c & 0xFF) + 0.7152 * Channel((c >> 8) & 0xFF) + 0.0722 * Channel((c >> 16) & 0xFF);
}

Colorref Scaled(Colorref c, double f) {
    auto part = [f](unsigned v) { return static_cast<Colorref>(std::lround(v * f)); };
    return part(c & 0xFF) | part((c >> 8) & 0xFF) << 8 | part((c >> 16) & 0xFF) << 16;
}

}  // namespace

double ContrastRatio(Colorref a, Colorref b) {
    double la = Luminance(a), lb = Luminance(b);
    if (la < lb) std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

Colorref ReadableOn(Colorref text, Colorref background, double minimum) {
    if (ContrastRatio(text, background) >= minimum) return text;
    // Darker keeps the hue; on a light frame that is the way to contrast.
    for (int step = 1; step <= 20; ++step) {
        const Colorref c = Scaled(text, 1 - step * 0.05);
        if (ContrastRatio(c, background) >= minimum) return c;
    }
    return 0;
}

Colorref Dimmed(Colorref colour, Colorref background) {
    auto mix = [](unsigned a, unsigned b) { return static_cast<Colorref>((a + b) / 2); };
    return mix(colour & 0xFF, background & 0xFF) | mix((colour >> 8) & 0xFF, (background >> 8) & 0xFF) << 8 |
           mix((colour >> 16) & 0xFF, (background >> 16) & 0xFF) << 16;
}

}  // namespace hx::plot
