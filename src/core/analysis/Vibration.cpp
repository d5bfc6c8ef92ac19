#include "core/analysis/Vibration.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>


namespace hx::analysis {
namespace {

constexpr double kPi = std::numbers::pi;

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

// The noise's standard deviation from third differences, in which a ringing
// of a few dozen samples a period hardly shows (white noise's third
// difference has 20 times its variance); the median keeps a few steps or
// spikes out. The drive's words are whole numbers, so half a count is the
// least there is.
double NoiseSigma(const float* x, int n) {
    std::vector<double> d;
    for (int i = 0; i + 3 < n; ++i)
        d.push_back(static_cast<double>(x[i + 3]) - 3.0 * x[i + 2] + 3.0 * x[i + 1] - x[i]);
    const double centre = Median(d);
    for (double& v : d) v = std::abs(v - centre);
    return std::max(0.5, 1.4826 * Median(d) / std::sqrt(20.0));
}

// Turning points that stand more than h above (or below) what follows
// them: a zigzag with hysteresis, so noise smaller than h makes none.
std::vector<int> TurningPoints(const float* x, int n, double h) {
    std::vector<int> out;
    int hi = 0, lo = 0, dir = 0;
    for (int i = 1; i < n; ++i) {
        if (dir == 0) {
            if (x[i] > x[hi]) hi = i;
            if (x[i] < x[lo]) lo = i;
            if (x[hi] - x[i] > h && hi < i) {
                out.push_back(hi);
                dir = -1;
                lo = i;
            } else if (x[i] - x[lo] > h && lo < i) {
                out.push_back(lo);
                dir = 1;
                hi = i;
            }
        } else if (dir < 0) {
            if (x[i] < x[lo]) lo = i;
            else if (x[i] - x[lo] > h) {
                out.push_back(lo);
                dir = 1;
                hi = i;
            }
        } else {
            if (x[i] > x[hi]) hi = i;
            else if (x[hi] - x[i] > h) {
                out.push_back(hi);
                dir = -1;
                lo = i;
            }
        }
    }
    // The first sample is where the move left the signal, still on its way:
    // no turning point of its own.
    if (!out.empty() && out.front() == 0) out.erase(out.begin());
    return out;
}

// A turning point's time between samples, from the parabola through it and
// its neighbours.
double RefinedTime(const float* x, int n, int i) {
    if (i <= 0 || i + 1 >= n) return i;
    const double a = x[i - 1], b = x[i], c = x[i + 1];
    const double d = a - 2 * b + c;
    if (d == 0) return i;
    return i + std::clamp(0.5 * (a - c) / d, -0.5, 0.5);
}

// Slope of the least-squares line through (i, y[i]).
double Slope(const std::vector<double>& y) {
    const double n = static_cast<double>(y.size());
    if (y.size() < 2) return 0;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        sx += static_cast<double>(i);
        sy += y[i];
        sxx += static_cast<double>(i) * static_cast<double>(i);
        sxy += static_cast<double>(i) * y[i];
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

}  // namespace

ResidualVibration AnalyseResidualVibration(const std::vector<float>& samples, int moveEnd, double intervalUs,
                                           int segmentEnd) {
    ResidualVibration r;
    r.moveEnd = moveEnd;
    const int total = static_cast<int>(samples.size());
    const int last = segmentEnd < 0 ? total : std::min(segmentEnd, total);
    if (moveEnd < 0 || last - moveEnd < 4 || intervalUs <= 0) return r;
    const float* x = samples.data() + moveEnd;
    const int n = last - moveEnd;
    const double dtMs = intervalUs / 1000.0;
    const int window = std::max(1, static_cast<int>(std::lround(kResidualWindowMs / dtMs)));

    const double sigma = NoiseSigma(x, n);
    r.noise = sigma;
    // A swing must stand clear of what noise does over a few hundred samples.
    const double h = 5 * sigma;
    const std::vector<int> turns = TurningPoints(x, n, h);

    std::vector<double> swings;
    for (size_t j = 0; j + 1 < turns.size(); ++j) swings.push_back(std::abs(x[turns[j + 1]] - x[turns[j]]));
    for (size_t j = 0; j < swings.size(); ++j)
        if (turns[j] < window) r.peakToPeak = std::max(r.peakToPeak, swings[j]);

    // Settling: onto the mean of the last tenth, within a tenth of the first
    // peak (or, when nothing turns, of the largest deviation in the window).
    const int tail = std::max(1, n / 10);
    double final = 0;
    for (int i = n - tail; i < n; ++i) final += x[i];
    final /= tail;
    double firstPeak = 0;
    if (!turns.empty()) firstPeak = std::abs(x[turns.front()] - final);
    else
        for (int i = 0; i < std::min(n, window); ++i) firstPeak = std::max(firstPeak, std::abs(x[i] - final));
    // A band inside the noise would never be kept to.
    const double band = std::max(kSettlingShare * firstPeak, h);
    int lastOutside = -1;
    for (int i = 0; i < n; ++i)
        if (std::abs(x[i] - final) > band) lastOutside = i;
    if (lastOutside < n - tail) r.settlingTimeMs = (lastOutside + 1) * dtMs;

    // Ringing: back and forth at least twice, well above the noise.
    if (turns.size() < 3 || r.peakToPeak <= 10 * sigma) return r;
    r.ringing = true;
    // The clear part of the ringing: swings of at least 2h, from the start.
    size_t clear = 0;
    while (clear < swings.size() && swings[clear] >= 2 * h) ++clear;
    clear = std::max<size_t>(clear, 2);
    // The first turning point may still carry the end of the move; leave it
    // out when there is enough ringing without it.
    const size_t from = clear >= 3 ? 1 : 0;
    std::vector<double> times, logSwings;
    for (size_t j = from; j <= clear && j < turns.size(); ++j) times.push_back(RefinedTime(x, n, turns[j]));
    for (size_t j = from; j < clear; ++j) logSwings.push_back(std::log(swings[j]));
    // Turning points of a damped sine lie half a period apart.
    const double halfPeriodMs = Slope(times) * dtMs;
    if (halfPeriodMs > 0) r.frequencyHz = 1000.0 / (2 * halfPeriodMs);
    // Each swing is smaller than the one before by the decay over half a
    // period, exp(-zeta pi / sqrt(1 - zeta^2)).
    const double decrement = logSwings.size() >= 2 ? std::max(0.0, -Slope(logSwings)) : 0.0;
    r.dampingRatio = decrement / std::sqrt(kPi * kPi + decrement * decrement);
    return r;
}

std::optional<MoveSpan> FindMoveEnd(const std::vector<float>& ref, double intervalUs) {
    const int n = static_cast<int>(ref.size());
    int start = 1;
    while (start < n && ref[start] == ref[start - 1]) ++start;
    if (start >= n) return std::nullopt;  // never moved
    const int still = std::max(2, static_cast<int>(std::lround(kResidualWindowMs * 1000.0 / intervalUs)));
    // A slow move may step only every few samples: the end is the first
    // sample after which the reference holds still long enough.
    int runStart = start;
    for (int i = start; i < n; ++i) {
        if (ref[i] != ref[i - 1]) {
            runStart = i;
            continue;
        }
        if (i - runStart + 1 >= still) break;
    }
    int stillUntil = runStart;
    while (stillUntil + 1 < n && ref[stillUntil + 1] == ref[runStart]) ++stillUntil;
    if (stillUntil == runStart && runStart == n - 1) return std::nullopt;  // still moving at the end
    MoveSpan span;
    span.end = runStart;
    span.nextStart = stillUntil + 1 < n ? stillUntil + 1 : -1;
    return span;
}

int MoveEndFromTrapezoid(const Trapezoid& f, const std::array<int32_t, 13>& settings, double intervalUs) {
    // As the drive computes it: 0.01 rev/s, 0.01 rev, rev/s^2 (0 counts as 1).
    const double v = std::abs(static_cast<int16_t>(f.speed)) / 100.0;
    const double d = f.distance / 100.0;
    const double a = std::max<double>(1, f.acceleration);
    double seconds = 0;
    if (v > 0 && d > 0) seconds = v * v / a >= d ? 2 * std::sqrt(d / a) : d / v + v / a;
    for (int s = 0; s < kAntiVibrationSets; ++s)
        if (settings[3 * s] > 0 && settings[3 * s + 1] > 0)
            seconds += std::clamp(settings[3 * s + 1], 0, kPhaseAMax) * kShaperUnitMs / 1000.0;
    return static_cast<int>(std::ceil(seconds * 1e6 / intervalUs - 1e-6));
}

double PredictedResidual(const std::vector<AntiVibrationSet>& sets, double frequencyHz, double zeta) {
    if (frequencyHz <= 0) return 1;
    zeta = std::clamp(zeta, 0.0, 0.99);
    const double wd = 2 * kPi * frequencyHz;
    const double sigma = zeta * wd / std::sqrt(1 - zeta * zeta);
    double residual = 1;
    for (const AntiVibrationSet& set : sets) {
        const double amount = std::clamp(set.amplitude, 0, 100) / 100.0;
        const double delay = std::clamp(set.phaseA, 0, kPhaseAMax) * kShaperUnitMs / 1000.0;
        if (amount <= 0 || delay <= 0) continue;
        const double z = std::clamp(set.phaseB, 0, kPhaseBMax) / 1024.0;
        const double k = std::exp(-z * kPi / std::sqrt(1 - z * z));
        const double second = amount * k / (1 + k);
        // The ringing each impulse starts, seen after the second: the two
        // cancel where they meet in opposite phase with equal size.
        const std::complex<double> sum =
            (1 - second) * std::exp(std::complex<double>(-sigma * delay, 0)) +
            second * std::exp(std::complex<double>(0, wd * delay));
        residual *= std::abs(sum);
    }
    return residual;
}

VibrationProposal ProposeAntiVibration(const ResidualVibration& v) {
    VibrationProposal p;
    if (!v.ringing || v.frequencyHz <= 0) return p;
    const double zeta = v.dampingRatio.value_or(0.0);
    p.idealPhaseA = static_cast<int>(std::lround(500.0 / v.frequencyHz / kShaperUnitMs));
    p.set.amplitude = 100;
    p.set.phaseA = std::clamp(p.idealPhaseA, 1, kPhaseAMax);
    p.set.phaseB = std::clamp(static_cast<int>(std::lround(zeta * 1024)), 0, kPhaseBMax);
    for (int n = 1; n <= kAntiVibrationSets; ++n) {
        p.sets = n;
        p.predictedResidual = PredictedResidual(std::vector<AntiVibrationSet>(static_cast<size_t>(n), p.set),
                                                v.frequencyHz, zeta);
        if (p.predictedResidual <= kTargetResidual) {
            p.kind = n == 1 ? VibrationProposal::Kind::OneSet : VibrationProposal::Kind::CombinedSets;
            return p;
        }
        // A set at its right phase A cancels on its own; only the longest
        // delay, short of half the period, gains from company.
        if (p.idealPhaseA <= kPhaseAMax) break;
    }
    if (p.idealPhaseA <= kPhaseAMax) {
        // Nothing closer exists; the ringing's own set is the best there is.
        p.kind = VibrationProposal::Kind::OneSet;
        p.sets = 1;
    } else {
        p.kind = VibrationProposal::Kind::TooSlow;
        p.sets = 0;
    }
    return p;
}

std::array<int32_t, 13> ApplyProposal(const std::array<int32_t, 13>& settings, const VibrationProposal& p) {
    std::array<int32_t, 13> out = settings;
    if (p.kind != VibrationProposal::Kind::OneSet && p.kind != VibrationProposal::Kind::CombinedSets) return out;
    for (int s = 0; s < std::min(p.sets, kAntiVibrationSets); ++s) {
        out[3 * s] = p.set.amplitude;
        out[3 * s + 1] = p.set.phaseA;
        out[3 * s + 2] = p.set.phaseB;
    }
    return out;
}

}  // namespace hx::analysis
