#include "core/tuning/Modes.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace hx::tuning {

namespace {

struct Candidate {
    std::size_t index = 0;
    double prominence = 0;
};

// Topographic prominence of the local maxima of y: for each, the lower of
// the two deepest points on the way to a higher point (or the end) on each
// side, taken from the peak.
std::vector<Candidate> Peaks(const std::vector<double>& y) {
    std::vector<Candidate> out;
    const std::size_t n = y.size();
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (!(y[i] > y[i - 1] && y[i] >= y[i + 1])) continue;
        double leftMin = y[i], rightMin = y[i];
        for (std::size_t j = i; j-- > 0;) {
            if (y[j] > y[i]) break;
            leftMin = std::min(leftMin, y[j]);
        }
        for (std::size_t j = i + 1; j < n; ++j) {
            if (y[j] > y[i]) break;
            rightMin = std::min(rightMin, y[j]);
        }
        out.push_back({i, y[i] - std::max(leftMin, rightMin)});
    }
    return out;
}

// Solves the small dense system a x = b (n x n, row-major) by Gaussian
// elimination with partial pivoting; false when singular.
template <std::size_t N>
bool Solve(std::array<std::array<double, N>, N> a, std::array<double, N> b, std::array<double, N>& x) {
    for (std::size_t c = 0; c < N; ++c) {
        std::size_t p = c;
        for (std::size_t r = c + 1; r < N; ++r)
            if (std::abs(a[r][c]) > std::abs(a[p][c])) p = r;
        if (std::abs(a[p][c]) < 1e-14) return false;
        std::swap(a[p], a[c]);
        std::swap(b[p], b[c]);
        for (std::size_t r = c + 1; r < N; ++r) {
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k < N; ++k) a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (std::size_t c = N; c-- > 0;) {
        double s = b[c];
        for (std::size_t k = c + 1; k < N; ++k) s -= a[c][k] * x[k];
        x[c] = s / a[c][c];
    }
    return true;
}

// A resonance of h near centreHz: h ~ (b0 + b1 s + b2 s^2) / (s^2 + a1 s + a0)
// with s in units of the centre, fitted by Levy's linearisation refined by
// a few Sanathanan-Koerner steps. Returns (frequency, damping).
std::optional<std::pair<double, double>> FitResonance(const std::vector<double>& hz, const std::vector<Complex>& h,
                                                      const std::vector<double>& weight, double centreHz,
                                                      double share) {
    // Widened where the points are sparse (a coarse estimate's few bins
    // across a broad resonance): seven points at least, within 35 %.
    std::vector<std::size_t> idx;
    for (; share <= 0.35; share *= 1.25) {
        idx.clear();
        for (std::size_t i = 0; i < hz.size(); ++i)
            if (hz[i] >= centreHz / (1 + share) && hz[i] <= centreHz * (1 + share)) idx.push_back(i);
        if (idx.size() >= 7) break;
    }
    if (idx.size() < 6) return std::nullopt;
    std::array<double, 5> x{};  // a0, a1, b0, b1, b2
    std::vector<double> sk(idx.size(), 1.0);
    bool solved = false;
    for (int iteration = 0; iteration < 4; ++iteration) {
        std::array<std::array<double, 5>, 5> ata{};
        std::array<double, 5> atb{};
        for (std::size_t k = 0; k < idx.size(); ++k) {
            const std::size_t i = idx[k];
            const Complex s(0.0, hz[i] / centreHz);
            const Complex c = h[i];
            // c a0 + c s a1 - b0 - s b1 - s^2 b2 = -c s^2
            const std::array<Complex, 5> row{c, c * s, -1.0, -s, -(s * s)};
            const Complex rhs = -c * s * s;
            const double w = weight[i] / (sk[k] * sk[k]);
            for (int part = 0; part < 2; ++part) {
                std::array<double, 5> r;
                for (int j = 0; j < 5; ++j) r[j] = part == 0 ? row[j].real() : row[j].imag();
                const double v = part == 0 ? rhs.real() : rhs.imag();
                for (int a = 0; a < 5; ++a) {
                    for (int b = 0; b < 5; ++b) ata[a][b] += w * r[a] * r[b];
                    atb[a] += w * r[a] * v;
                }
            }
        }
        if (!Solve(ata, atb, x)) break;
        solved = true;
        for (std::size_t k = 0; k < idx.size(); ++k) {
            const Complex s(0.0, hz[idx[k]] / centreHz);
            sk[k] = std::max(std::abs(s * s + x[1] * s + x[0]), 1e-6);
        }
    }
    if (!solved || x[0] <= 0 || x[1] <= 0) return std::nullopt;
    const double wn = std::sqrt(x[0]);
    const double f = wn * centreHz;
    if (f < centreHz / (1 + share) || f > centreHz * (1 + share)) return std::nullopt;
    return std::make_pair(f, x[1] / (2 * wn));
}

// Peak frequency from a parabola through the three points around i (dB
// over log frequency); damping from the half-power width of the curve.
std::pair<double, double> PeakByShape(const std::vector<double>& hz, const std::vector<double>& db, std::size_t i) {
    double f = hz[i];
    if (i > 0 && i + 1 < hz.size()) {
        const double x0 = std::log(hz[i - 1]), x1 = std::log(hz[i]), x2 = std::log(hz[i + 1]);
        const double y0 = db[i - 1], y1 = db[i], y2 = db[i + 1];
        const double d = (x0 - x1) * (x0 - x2) * (x1 - x2);
        const double a = (x2 * (y1 - y0) + x1 * (y0 - y2) + x0 * (y2 - y1)) / d;
        const double b = (x2 * x2 * (y0 - y1) + x1 * x1 * (y2 - y0) + x0 * x0 * (y1 - y2)) / d;
        if (a < 0) f = std::exp(std::clamp(-b / (2 * a), x0, x2));
    }
    const double half = db[i] - 3.0103;
    std::optional<double> lo, hi;
    for (std::size_t j = i; j-- > 0;)
        if (db[j] <= half) {
            const double t = (half - db[j]) / (db[j + 1] - db[j]);
            lo = hz[j] + t * (hz[j + 1] - hz[j]);
            break;
        }
    for (std::size_t j = i + 1; j < hz.size(); ++j)
        if (db[j] <= half) {
            const double t = (db[j - 1] - half) / (db[j - 1] - db[j]);
            hi = hz[j - 1] + t * (hz[j] - hz[j - 1]);
            break;
        }
    double zeta = 0;
    if (lo && hi) zeta = (*hi - *lo) / (2 * f);
    else if (lo) zeta = (f - *lo) / f;
    else if (hi) zeta = (*hi - f) / f;
    return {f, zeta};
}

std::vector<Mode> Extrema(const std::vector<double>& hz, const std::vector<double>& smooth,
                          const std::vector<double>& raw, const std::vector<Complex>& complexCurve,
                          const std::vector<double>& weight, bool dips, const ModeOptions& o) {
    std::vector<double> y = smooth;
    if (dips)
        for (double& v : y) v = -v;
    std::vector<Candidate> cands = Peaks(y);
    std::sort(cands.begin(), cands.end(), [](const Candidate& a, const Candidate& b) { return a.prominence > b.prominence; });
    std::vector<Mode> modes;
    for (const Candidate& c : cands) {
        if (c.prominence < o.minProminenceDb) break;
        const double f0 = hz[c.index];
        const bool near = std::any_of(modes.begin(), modes.end(), [&](const Mode& m) {
            return std::abs(std::log(m.hz / f0)) < std::log(1 + kModeMergeShare);
        });
        if (near) continue;
        // The raw point highest (lowest) near the smoothed extremum.
        std::size_t best = c.index;
        for (std::size_t j = 0; j < hz.size(); ++j) {
            if (std::abs(std::log(hz[j] / f0)) > std::log(1 + kSmoothingShare)) continue;
            if (dips ? raw[j] < raw[best] : raw[j] > raw[best]) best = j;
        }
        Mode m;
        m.prominenceDb = c.prominence;
        m.levelDb = smooth[c.index];
        std::optional<std::pair<double, double>> fit;
        if (!o.magnitudeOnly) {
            std::vector<Complex> curve = complexCurve;
            if (dips)
                for (Complex& v : curve) v = 1.0 / v;
            fit = FitResonance(hz, curve, weight, hz[best], 0.12);
        }
        if (fit) {
            m.hz = fit->first;
            m.dampingRatio = fit->second;
        } else {
            std::vector<double> shaped = raw;
            if (dips)
                for (double& v : shaped) v = -v;
            const auto [f, zeta] = PeakByShape(hz, shaped, best);
            m.hz = f;
            m.dampingRatio = zeta;
        }
        // A section this damped has no peak of the prominence seen: the
        // extremum is the curve's wander (the loop's own shaping drawn into
        // the estimate), not a mode.
        if (m.dampingRatio > kMaxModeDamping) continue;
        modes.push_back(m);
    }
    std::sort(modes.begin(), modes.end(), [](const Mode& a, const Mode& b) { return a.hz < b.hz; });
    return modes;
}

}  // namespace

ModeSearch FindModes(const FrequencyResponse& plant, const ModeOptions& o) {
    ModeSearch out;
    const FrequencyResponse p = Coherent(plant, o.minCoherence);
    if (p.size() < 5) return out;
    std::vector<Complex> compliance(p.size());
    std::vector<double> raw(p.size()), weight(p.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        compliance[i] = p.value[i] * Complex(0.0, 2 * kPi * p.hz[i]);
        raw[i] = MagnitudeDb(compliance[i]);
        weight[i] = p.CoherenceAt(i);
    }
    // Smoothing over a constant share of frequency.
    std::vector<double> smooth(p.size());
    const double half = std::log(1 + kSmoothingShare);
    std::size_t lo = 0, hi = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const double x = std::log(p.hz[i]);
        while (std::log(p.hz[lo]) < x - half) ++lo;
        while (hi + 1 < p.size() && std::log(p.hz[hi + 1]) <= x + half) ++hi;
        // The median of the window: one stray point is no peak.
        std::vector<double> window(raw.begin() + static_cast<std::ptrdiff_t>(lo), raw.begin() + static_cast<std::ptrdiff_t>(hi) + 1);
        std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
        smooth[i] = window.size() % 2 ? window[window.size() / 2]
                                      : 0.5 * (window[window.size() / 2] + *std::max_element(window.begin(), window.begin() + window.size() / 2));
    }
    out.hz = p.hz;
    out.complianceDb = smooth;
    out.resonances = Extrema(p.hz, smooth, raw, compliance, weight, false, o);
    out.antiResonances = Extrema(p.hz, smooth, raw, compliance, weight, true, o);

    double previous = 0;
    for (const Mode& r : out.resonances) {
        ModePair pair;
        pair.resonance = r;
        for (const Mode& a : out.antiResonances)
            if (a.hz < r.hz && a.hz > previous) pair.antiResonance = a;
        pair.machineMode = r.hz < kMachineModeCeilingHz;
        out.pairs.push_back(pair);
        previous = r.hz;
    }
    return out;
}

Complex PairShape(const ModePair& pair, double hz) {
    // Without its anti-resonance a peak says nothing of how the inertia
    // divides: no shape (its neighbourhood is left out where it matters).
    if (!pair.antiResonance) return 1.0;
    const Complex s(0.0, 2 * kPi * hz);
    const double wr = 2 * kPi * pair.resonance.hz;
    const Complex den = s * s / (wr * wr) + 2 * pair.resonance.dampingRatio * s / wr + 1.0;
    const double wa = 2 * kPi * pair.antiResonance->hz;
    const Complex num = s * s / (wa * wa) + 2 * pair.antiResonance->dampingRatio * s / wa + 1.0;
    const double highGain = (wr * wr) / (wa * wa);
    const Complex shape = num / den;
    return pair.machineMode ? shape / highGain : shape;
}

}  // namespace hx::tuning
