#include "core/tuning/FrequencyResponse.h"

#include <algorithm>
#include <cmath>

namespace hx::tuning {

namespace {

double Wrap180(double deg) {
    double w = std::fmod(deg + 180.0, 360.0);
    if (w <= 0) w += 360.0;
    return w - 180.0;  // (-180, 180]
}

double ArgDeg(Complex v) { return std::arg(v) * 180.0 / kPi; }

// Where between two points a quantity a -> b reaches level, as a share 0..1.
double Share(double a, double b, double level) { return a == b ? 0.0 : (level - a) / (b - a); }

double LogInterpolate(double f0, double f1, double t) {
    return std::exp(std::log(f0) + t * (std::log(f1) - std::log(f0)));
}

Complex Blend(Complex a, Complex b, double t) {
    // Log magnitude and phase, so a resonance between two points keeps its shape.
    const double ma = std::max(std::abs(a), 1e-300), mb = std::max(std::abs(b), 1e-300);
    const double pa = std::arg(a);
    double pb = std::arg(b);
    while (pb - pa > kPi) pb -= 2 * kPi;
    while (pb - pa < -kPi) pb += 2 * kPi;
    return std::polar(std::exp(std::log(ma) + t * (std::log(mb) - std::log(ma))), pa + t * (pb - pa));
}

}  // namespace

double MagnitudeDb(Complex v) {
    const double m = std::abs(v);
    return m > 0 ? 20.0 * std::log10(m) : -400.0;
}

std::vector<double> MagnitudesDb(const FrequencyResponse& r) {
    std::vector<double> out(r.size());
    for (std::size_t i = 0; i < r.size(); ++i) out[i] = MagnitudeDb(r.value[i]);
    return out;
}

std::vector<double> UnwrappedPhaseDeg(const FrequencyResponse& r) {
    std::vector<double> out(r.size());
    for (std::size_t i = 0; i < r.size(); ++i) {
        const double p = ArgDeg(r.value[i]);
        out[i] = i == 0 ? p : out[i - 1] + Wrap180(p - out[i - 1]);
    }
    return out;
}

std::vector<double> LoopPhaseDeg(const FrequencyResponse& r) {
    std::vector<double> out = UnwrappedPhaseDeg(r);
    if (out.empty()) return out;
    double shift = 0;
    while (out.front() + shift > 90.0) shift -= 360.0;
    while (out.front() + shift <= -270.0) shift += 360.0;
    for (double& p : out) p += shift;
    return out;
}

std::optional<Complex> ValueAt(const FrequencyResponse& r, double hz) {
    if (r.empty() || hz < r.hz.front() || hz > r.hz.back()) return std::nullopt;
    const auto it = std::lower_bound(r.hz.begin(), r.hz.end(), hz);
    const std::size_t i = static_cast<std::size_t>(it - r.hz.begin());
    if (r.hz[i] == hz || i == 0) return r.value[i];
    const double t = Share(std::log(r.hz[i - 1]), std::log(r.hz[i]), std::log(hz));
    return Blend(r.value[i - 1], r.value[i], t);
}

double CoherenceAt(const FrequencyResponse& r, double hz) {
    if (r.empty() || hz < r.hz.front() || hz > r.hz.back()) return 0;
    const auto it = std::lower_bound(r.hz.begin(), r.hz.end(), hz);
    const std::size_t i = static_cast<std::size_t>(it - r.hz.begin());
    if (r.hz[i] == hz || i == 0) return r.CoherenceAt(i);
    const double t = Share(std::log(r.hz[i - 1]), std::log(r.hz[i]), std::log(hz));
    return r.CoherenceAt(i - 1) + t * (r.CoherenceAt(i) - r.CoherenceAt(i - 1));
}

FrequencyResponse Multiply(const FrequencyResponse& a, const FrequencyResponse& b) {
    FrequencyResponse out = a;
    const std::size_t n = std::min(a.size(), b.size());
    out.hz.resize(n);
    out.value.resize(n);
    out.coherence.clear();
    if (!a.coherence.empty() || !b.coherence.empty()) out.coherence.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        out.value[i] = a.value[i] * b.value[i];
        if (!out.coherence.empty()) out.coherence[i] = a.CoherenceAt(i) * b.CoherenceAt(i);
    }
    out.averages = std::max(a.averages, b.averages);
    return out;
}

FrequencyResponse Coherent(const FrequencyResponse& r, double minCoherence) {
    FrequencyResponse out;
    out.averages = r.averages;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r.CoherenceAt(i) < minCoherence) continue;
        out.hz.push_back(r.hz[i]);
        out.value.push_back(r.value[i]);
        if (!r.coherence.empty()) out.coherence.push_back(r.coherence[i]);
    }
    return out;
}

FrequencyResponse Band(const FrequencyResponse& r, double lowHz, double highHz) {
    FrequencyResponse out;
    out.averages = r.averages;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r.hz[i] < lowHz || r.hz[i] > highHz) continue;
        out.hz.push_back(r.hz[i]);
        out.value.push_back(r.value[i]);
        if (!r.coherence.empty()) out.coherence.push_back(r.coherence[i]);
    }
    return out;
}

FrequencyResponse Merge(const FrequencyResponse& a, const FrequencyResponse& b) {
    FrequencyResponse out;
    out.averages = std::max(a.averages, b.averages);
    std::size_t i = 0, j = 0;
    auto take = [&](const FrequencyResponse& r, std::size_t k) {
        const bool close = !out.empty() && r.hz[k] - out.hz.back() < 1e-3 * r.hz[k];
        if (close) {
            if (r.CoherenceAt(k) <= out.coherence.back()) return;
            out.hz.pop_back();
            out.value.pop_back();
            out.coherence.pop_back();
        }
        out.hz.push_back(r.hz[k]);
        out.value.push_back(r.value[k]);
        out.coherence.push_back(r.CoherenceAt(k));
    };
    while (i < a.size() || j < b.size()) {
        if (j >= b.size() || (i < a.size() && a.hz[i] <= b.hz[j])) take(a, i++);
        else take(b, j++);
    }
    return out;
}

FrequencyResponse WithoutStrayLines(const FrequencyResponse& r, double share, double factor, double degrees) {
    FrequencyResponse out;
    out.averages = r.averages;
    const double reach = std::log(1 + share);
    for (std::size_t i = 0; i < r.size(); ++i) {
        std::vector<double> logMag, angle;
        for (std::size_t j = 0; j < r.size(); ++j) {
            // The lines within reach, and the nearest each side within twice
            // as far (where the lines are sparse).
            const bool adjacent = (j + 1 == i || j == i + 1) && std::abs(std::log(r.hz[j] / r.hz[i])) <= 2 * reach;
            if (j == i || (!adjacent && std::abs(std::log(r.hz[j] / r.hz[i])) > reach) || std::abs(r.value[i]) == 0)
                continue;
            const Complex ratio = r.value[j] / r.value[i];
            logMag.push_back(std::log(std::abs(ratio)));
            angle.push_back(std::arg(ratio));
        }
        bool stray = false;
        if (logMag.size() >= 2) {
            auto median = [](std::vector<double> v) {
                std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
                return v[v.size() / 2];
            };
            stray = std::abs(median(logMag)) > std::log(factor) || std::abs(median(angle)) > degrees * kPi / 180;
        }
        if (stray) continue;
        out.hz.push_back(r.hz[i]);
        out.value.push_back(r.value[i]);
        if (!r.coherence.empty()) out.coherence.push_back(r.coherence[i]);
    }
    return out;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

FrequencyResponse RobustLineFit(const FrequencyResponse& r, double octaves, double maxOctaves, int minPoints,
                                const std::vector<double>& breaksHz, double breakShare) {
    FrequencyResponse out = r;
    const auto across = [&](double a, double b) {
        return std::any_of(breaksHz.begin(), breaksHz.end(), [&](double f) { return (a < f) != (b < f); });
    };
    for (std::size_t i = 0; i < r.size(); ++i) {
        const bool nearBreak = std::any_of(breaksHz.begin(), breaksHz.end(), [&](double f) {
            return std::abs(std::log(r.hz[i] / f)) < std::log(1 + breakShare);
        });
        if (nearBreak) continue;
        std::vector<std::size_t> near;
        for (double reach = octaves; reach <= maxOctaves * 1.0001; reach *= 1.5) {
            near.clear();
            for (std::size_t j = 0; j < r.size(); ++j)
                if (std::abs(std::log2(r.hz[j] / r.hz[i])) <= reach && std::abs(r.value[j]) > 0 &&
                    !across(r.hz[i], r.hz[j]))
                    near.push_back(j);
            if (static_cast<int>(near.size()) >= minPoints) break;
        }
        if (near.size() < 3 || std::abs(r.value[i]) == 0) continue;
        // Log magnitude and phase (each relative to this point's, so no
        // turn can come between) against log frequency from here.
        std::vector<double> x, mag, ph;
        for (std::size_t j : near) {
            x.push_back(std::log(r.hz[j] / r.hz[i]));
            const Complex q = r.value[j] / r.value[i];
            mag.push_back(std::log(std::abs(q)));
            ph.push_back(std::arg(q));
        }
        auto fit = [&](const std::vector<double>& y) {
            std::vector<double> slopes;
            for (std::size_t a = 0; a < x.size(); ++a)
                for (std::size_t b = a + 1; b < x.size(); ++b)
                    if (std::abs(x[b] - x[a]) > 1e-9) slopes.push_back((y[b] - y[a]) / (x[b] - x[a]));
            const double slope = Median(slopes);
            std::vector<double> at;
            for (std::size_t k = 0; k < x.size(); ++k) at.push_back(y[k] - slope * x[k]);
            return Median(at);  // at x = 0: here
        };
        out.value[i] = r.value[i] * std::polar(std::exp(fit(mag)), fit(ph));
    }
    return out;
}

std::vector<double> LogFrequencies(double lowHz, double highHz, int n) {
    std::vector<double> out;
    if (n <= 0 || lowHz <= 0 || highHz < lowHz) return out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out.push_back(n == 1 ? lowHz : LogInterpolate(lowHz, highHz, static_cast<double>(i) / (n - 1)));
    out.back() = highHz;  // the ends exactly, not a rounding away
    out.front() = lowHz;
    return out;
}

bool LoopMargins::Meets(double minPm, double minGm) const {
    if (!crossoverHz || !phaseMarginDeg || *phaseMarginDeg < minPm) return false;
    if (gainMarginDb) return *gainMarginDb >= minGm;
    // No phase crossover measured: the loop must have rolled off far enough
    // by the top of the band that nothing beyond it can reach 0 dB.
    return topGainDb <= -minGm;
}

namespace {
// A phase step between neighbouring points beyond which its direction is unknown.
constexpr double kAmbiguousTurnDeg = 150.0;
}  // namespace

LoopMargins ComputeMargins(const FrequencyResponse& raw, double minCoherence) {
    const FrequencyResponse L = minCoherence > 0 ? Coherent(raw, minCoherence) : raw;
    LoopMargins m;
    if (L.size() < 2) return m;
    m.bandTopHz = L.hz.back();
    m.topGainDb = MagnitudeDb(L.value.back());
    double worstSensitivity = 0;
    for (const Complex& v : L.value) worstSensitivity = std::max(worstSensitivity, 1.0 / std::max(std::abs(1.0 + v), 1e-12));
    m.peakSensitivityDb = 20 * std::log10(worstSensitivity);

    // The phase margin needs the phase as one curve from the low end: a
    // mode's phase lead (+90 at a crossover) is no danger, a lag past -180
    // is; the wrapped value cannot tell the two apart.
    const std::vector<double> phase = LoopPhaseDeg(L);
    for (std::size_t i = 1; i < L.size(); ++i) {
        const double a = std::log(std::max(std::abs(L.value[i - 1]), 1e-300));
        const double b = std::log(std::max(std::abs(L.value[i]), 1e-300));
        if ((a >= 0) == (b >= 0)) continue;
        const double t = Share(a, b, 0.0);
        const double hz = LogInterpolate(L.hz[i - 1], L.hz[i], t);
        m.gainCrossoversHz.push_back(hz);
        const double p = phase[i - 1] + t * (phase[i] - phase[i - 1]);
        // Lag still to go to -180, or lead still to go to +180: the nearer.
        double pm = std::min(p + 180.0, 180.0 - p);
        // More than a turn past: the unwrapping slipped over a gap in the
        // points, and only the wrapped distance is to be trusted.
        if (pm < -180.0) pm = 180.0 - std::abs(Wrap180(p));
        if (!m.phaseMarginDeg || pm < *m.phaseMarginDeg) {
            m.phaseMarginDeg = pm;
            m.phaseMarginHz = hz;
        }
    }
    if (m.gainCrossoversHz.empty()) return m;
    // The loop's bandwidth: where it falls through 0 dB for the last time
    // (a low mode's dip may cross it below as well).
    m.crossoverHz = m.gainCrossoversHz.back();
    const double firstCrossover = m.gainCrossoversHz.front();

    for (std::size_t i = 1; i < L.size(); ++i) {
        if (L.hz[i] <= firstCrossover) continue;
        // The phase runs linearly between the two points (as Blend draws
        // it); a crossing of -180 degrees is an odd multiple of pi on the way.
        const Complex a = L.value[i - 1], b = L.value[i];
        const double pa = std::arg(a);
        const double turn = Wrap180((std::arg(b) - pa) * 180.0 / kPi);
        // Nearly half a turn from one point to the next: a mode between
        // them turned the phase, and which way (an anti-resonance leads, a
        // resonance lags) the two points cannot tell; the short way round
        // is a coin toss that would put a crossover where the loop has none.
        if (std::abs(turn) > kAmbiguousTurnDeg) continue;
        const double pb = pa + turn * kPi / 180.0;
        const double lo = std::min(pa, pb), hi = std::max(pa, pb);
        const double odd = kPi + 2 * kPi * std::ceil((lo - kPi) / (2 * kPi));
        if (odd > hi || pa == pb) continue;
        const double t = (odd - pa) / (pb - pa);
        const double hz = LogInterpolate(L.hz[i - 1], L.hz[i], t);
        if (hz <= firstCrossover) continue;
        const double re = -std::abs(Blend(a, b, t));
        const double gm = -20.0 * std::log10(-re);
        if (!m.gainMarginDb || gm < *m.gainMarginDb) {
            m.gainMarginDb = gm;
            m.phaseCrossoverHz = hz;
        }
    }
    return m;
}

}  // namespace hx::tuning
