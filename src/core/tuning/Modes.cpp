#include "core/tuning/Modes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <tuple>

#include "core/tuning/SolveDense.h"

namespace hx::tuning {

namespace {

struct Candidate {
    std::size_t index = 0;
    double prominence = 0;
};

// The fits' systems are in log frequency and units of the centre.
constexpr double kSingularPivot = 1e-14;

// Prominence of the local maxima of y over log frequency x: for each, the
// lower of the two deepest points on the way to a higher point on each
// side, taken from the peak, looking no further than kProminenceReach in
// frequency. A band-wide reach would make a mode of the plateau between the
// band's low end (where friction and the loop's lines pull the curve down)
// and the first anti-resonance's dip: a shoulder, not a peak.
std::vector<Candidate> Peaks(const std::vector<double>& x, const std::vector<double>& y) {
    std::vector<Candidate> out;
    const std::size_t n = y.size();
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (!(y[i] > y[i - 1] && y[i] >= y[i + 1])) continue;
        // A machine mode's peak stands between levels of different inertia
        // (the whole below, the motor's side above) and has the band to
        // itself down there: its prominence looks as far as it must.
        const double reach = std::exp(x[i]) < kMachineModeCeilingHz ? 1e9 : std::log(1 + kProminenceReach);
        double leftMin = y[i], rightMin = y[i];
        for (std::size_t j = i; j-- > 0 && x[i] - x[j] <= reach;) {
            if (y[j] > y[i]) break;
            leftMin = std::min(leftMin, y[j]);
        }
        for (std::size_t j = i + 1; j < n && x[j] - x[i] <= reach; ++j) {
            if (y[j] > y[i]) break;
            rightMin = std::min(rightMin, y[j]);
        }
        out.push_back({i, y[i] - std::max(leftMin, rightMin)});
    }
    return out;
}

// The top of a peak between bins: a parabola (dB over log frequency)
// fitted by least squares to the raw points within kTopDb of the highest
// near i, no further than kTopShare; none when fewer than three (a peak
// narrower than the bins: the complex fit places it better) or the parabola
// opens upwards. Where the magnitude peaks is what a notch must sit on; the
// complex fit's frequency is pulled by the phase the drive's delays add
// across a broad mode.
std::optional<double> TopOf(const std::vector<double>& hz, const std::vector<double>& db, std::size_t i) {
    std::vector<std::size_t> idx;
    for (std::size_t j = 0; j < hz.size(); ++j)
        if (std::abs(std::log(hz[j] / hz[i])) <= std::log(1 + kTopShare) && db[j] >= db[i] - kTopDb) idx.push_back(j);
    if (idx.size() < 3) return std::nullopt;
    // Centred on the peak's log frequency for a well-conditioned fit.
    const double x0 = std::log(hz[i]);
    std::array<std::array<double, 3>, 3> a{};
    std::array<double, 3> b{};
    for (std::size_t j : idx) {
        const double x = std::log(hz[j]) - x0;
        const std::array<double, 3> r{1.0, x, x * x};
        for (int p = 0; p < 3; ++p) {
            for (int q = 0; q < 3; ++q) a[p][q] += r[p] * r[q];
            b[p] += r[p] * db[j];
        }
    }
    const auto solved = SolveDense(a, b, kSingularPivot);
    if (!solved || (*solved)[2] >= 0) return std::nullopt;
    const std::array<double, 3>& c = *solved;
    const double lo = std::log(hz[idx.front()]) - x0, hi = std::log(hz[idx.back()]) - x0;
    return std::exp(x0 + std::clamp(-c[1] / (2 * c[2]), lo, hi));
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
        const auto step = SolveDense(ata, atb, kSingularPivot);
        if (!step) break;
        x = *step;
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
    std::vector<double> x(hz.size());
    for (std::size_t i = 0; i < hz.size(); ++i) x[i] = std::log(hz[i]);
    std::vector<Candidate> cands = Peaks(x, y);
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
            const bool neighbour = j + 1 >= c.index && j <= c.index + 1;  // as the smoothing's window
            if (!neighbour && std::abs(std::log(hz[j] / f0)) > std::log(1 + kSmoothingShare)) continue;
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
        std::vector<double> shaped = raw;
        if (dips)
            for (double& v : shaped) v = -v;
        if (fit) {
            m.hz = fit->first;
            m.dampingRatio = fit->second;
        } else {
            std::tie(m.hz, m.dampingRatio) = PeakByShape(hz, shaped, best);
        }
        // A resonance is where the magnitude peaks (what a notch must sit
        // on): of the plant itself (speed over torque), not of the searched
        // curve, which j w tilts up by a few per cent on a broad mode. A
        // dip is sharp and deep, its few points fit best as a whole.
        if (!dips) {
            std::vector<double> mobility = raw;
            for (std::size_t j = 0; j < hz.size(); ++j) mobility[j] -= 20 * std::log10(2 * kPi * hz[j]);
            m.sectionHz = m.hz;
            m.hz = TopOf(hz, mobility, best).value_or(m.hz);
        }
        // A section this damped has no peak of the prominence seen: the
        // extremum is the curve's wander (the loop's own shaping drawn into
        // the estimate), not a mode.
        if (m.dampingRatio > kMaxModeDamping) continue;
        // Nor is one narrower than any machine rings: a lone line (where a
        // move's spectrum has a zero) that the fit turned into a section. (A
        // half-power width not found says nothing of the kind.)
        if (fit && m.dampingRatio < kMinModeDamping) continue;
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
        // Where the points are sparse (the moves' lines) the window holds
        // a neighbour each side at least, or a lone line would be its own
        // median.
        const std::size_t from = std::min(lo, i >= 1 ? i - 1 : 0);
        const std::size_t to = std::max(hi, std::min(i + 1, p.size() - 1));
        std::vector<double> window(raw.begin() + static_cast<std::ptrdiff_t>(from), raw.begin() + static_cast<std::ptrdiff_t>(to) + 1);
        std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
        smooth[i] = window.size() % 2 ? window[window.size() / 2]
                                      : 0.5 * (window[window.size() / 2] + *std::max_element(window.begin(), window.begin() + window.size() / 2));
    }
    out.hz = p.hz;
    out.complianceDb = smooth;
    // A small part's mode stands out less than the threshold; with its
    // anti-resonance just below, the pair together is clear enough to name
    // (and left unnamed its shape would bias the inertia below it). Weaker
    // extrema count only so, in pairs.
    ModeOptions weak = o;
    weak.minProminenceDb = kPairedProminenceShare * o.minProminenceDb;
    std::vector<Mode> peaks = Extrema(p.hz, smooth, raw, compliance, weight, false, weak);
    std::vector<Mode> dips = Extrema(p.hz, smooth, raw, compliance, weight, true, weak);
    auto paired = [](const Mode& lower, const Mode& upper) {
        return lower.hz < upper.hz && upper.hz <= lower.hz * (1 + kPairReach);
    };
    for (const Mode& r : peaks) {
        const bool ok = r.prominenceDb >= o.minProminenceDb ||
                        std::any_of(dips.begin(), dips.end(), [&](const Mode& a) { return paired(a, r); });
        if (ok) out.resonances.push_back(r);
    }
    for (const Mode& a : dips) {
        const bool ok = a.prominenceDb >= o.minProminenceDb ||
                        std::any_of(peaks.begin(), peaks.end(), [&](const Mode& r) { return paired(a, r); });
        if (ok) out.antiResonances.push_back(a);
    }
    // A clear anti-resonance always has its resonance above it; where that
    // one stands out little (a light load's mode rises little above the
    // rigid level), the highest rise just above the dip is it: left out,
    // its shape would tilt every bin below by a tenth. A heavy load puts it
    // further up (by the root of the load's share over the motor's side):
    // without a rise within the pairs' reach, the first one up to
    // kFarPairReach above.
    ModeOptions faint = o;
    faint.minProminenceDb = kFaintProminenceDb;
    const std::vector<Mode> rises = Extrema(p.hz, smooth, raw, compliance, weight, false, faint);
    auto far = [](const Mode& lower, const Mode& upper) {
        return lower.hz < upper.hz && upper.hz <= lower.hz * (1 + kFarPairReach);
    };
    const std::vector<Mode> named = out.resonances;
    for (const Mode& a : out.antiResonances) {
        if (std::any_of(named.begin(), named.end(), [&](const Mode& r) { return paired(a, r); })) continue;
        const Mode* best = nullptr;
        for (const Mode& r : rises)
            if (paired(a, r) && (!best || r.prominenceDb > best->prominenceDb)) best = &r;
        if (!best && std::any_of(named.begin(), named.end(), [&](const Mode& r) { return far(a, r); })) continue;
        for (const Mode& r : rises)
            if (!best && far(a, r)) best = &r;
        if (best) out.resonances.push_back(*best);
    }
    std::sort(out.resonances.begin(), out.resonances.end(), [](const Mode& x, const Mode& y) { return x.hz < y.hz; });

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
    const double wr = 2 * kPi * (pair.resonance.sectionHz > 0 ? pair.resonance.sectionHz : pair.resonance.hz);
    const Complex den = s * s / (wr * wr) + 2 * pair.resonance.dampingRatio * s / wr + 1.0;
    const double wa = 2 * kPi * pair.antiResonance->hz;
    const Complex num = s * s / (wa * wa) + 2 * pair.antiResonance->dampingRatio * s / wa + 1.0;
    const double highGain = (wr * wr) / (wa * wa);
    const Complex shape = num / den;
    return pair.machineMode ? shape / highGain : shape;
}

}  // namespace hx::tuning
