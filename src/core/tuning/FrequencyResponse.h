#pragma once
// A frequency response as the tuning passes it around: complex values at
// rising frequencies, with the coherence of the measurement behind each
// (1 for a response computed from a model), and the figures read from it:
// magnitude in dB, phase unwrapped into one continuous curve, and the
// stability margins of a loop.
//
// Everything here is plain data in, plain data out; no drive, no window.

#include <complex>
#include <cstddef>
#include <optional>
#include <vector>

namespace hx::tuning {

using Complex = std::complex<double>;

struct FrequencyResponse {
    std::vector<double> hz;          // rising, > 0
    std::vector<Complex> value;      // one per frequency
    std::vector<double> coherence;   // one per frequency, 0..1; empty: a model (all 1)
    int averages = 0;                // segments averaged into each value (0 for a model)

    std::size_t size() const { return hz.size(); }
    bool empty() const { return hz.empty(); }
    double CoherenceAt(std::size_t i) const { return coherence.empty() ? 1.0 : coherence[i]; }
};

inline constexpr double kPi = 3.14159265358979323846;

// 20 log10 |v|; -400 dB for 0.
double MagnitudeDb(Complex v);
std::vector<double> MagnitudesDb(const FrequencyResponse& r);

// The phase in degrees as one continuous curve: each point on the branch
// nearest the point before it, the first in (-180, 180]. A loop whose first
// point sits at -180 (two integrators) may start at +180: shift by a turn
// where a caller needs a fixed range (LoopPhaseDeg does that for loops).
std::vector<double> UnwrappedPhaseDeg(const FrequencyResponse& r);
// An open loop's phase, unwrapped and shifted by whole turns so that its
// first point lies in (-270, 90]: an integrating loop reads -90 .. -180 at
// its low end, as a Bode plot shows it.
std::vector<double> LoopPhaseDeg(const FrequencyResponse& r);

// The value at frequency hz, interpolated on a logarithmic frequency scale
// (log magnitude and phase linearly between neighbours); nullopt outside
// the response's range.
std::optional<Complex> ValueAt(const FrequencyResponse& r, double hz);
// The coherence at hz, interpolated the same way; 0 outside the range.
double CoherenceAt(const FrequencyResponse& r, double hz);

// a x b point by point (same frequencies required; coherences multiplied).
FrequencyResponse Multiply(const FrequencyResponse& a, const FrequencyResponse& b);
// Every value of r times the model m evaluated at its frequency.
template <typename Model>
FrequencyResponse Apply(FrequencyResponse r, const Model& m) {
    for (std::size_t i = 0; i < r.size(); ++i) r.value[i] *= m(r.hz[i]);
    return r;
}
// The points of r with a coherence of at least minCoherence.
FrequencyResponse Coherent(const FrequencyResponse& r, double minCoherence);
// Only the points between lowHz and highHz (both included).
FrequencyResponse Band(const FrequencyResponse& r, double lowHz, double highHz);

// The points of both in one response, by rising frequency; where the two
// have points closer than a thousandth of their frequency, the more
// coherent one stays.
FrequencyResponse Merge(const FrequencyResponse& a, const FrequencyResponse& b);

// The median of v (the mean of the middle two for an even count); 0 when empty.
double Median(std::vector<double> v);

// r's points each replaced by a straight line over log frequency through
// its neighbours' log magnitude and phase (within +-octaves, widened up to
// +-maxOctaves until minPoints lie within), the line drawn robustly: the
// median of the slopes between every two points, through the median
// intercept (Theil-Sen). The moves' lines each err by their own distortion
// (a dB, ten degrees and more on a few, with a coherence near 1 all the
// same); a mean drags the curve toward the worst of them where the lines
// are sparse, the medians ignore them. A line of fewer than three
// neighbours stays as it is. No line is drawn across a break (a mode's
// frequency: the curve bends there), and a line within breakShare of one
// stays as it is.
FrequencyResponse RobustLineFit(const FrequencyResponse& r, double octaves, double maxOctaves, int minPoints,
                                const std::vector<double>& breaksHz = {}, double breakShare = 0);

// Without the lines that disagree with their neighbours (within a share
// of frequency each side, and the nearest each side within twice that) by more
// than a factor in magnitude or an angle in phase: a move's spectrum has
// zeros, and a line there is noise however coherent a few records make it
// look. A line with fewer than two neighbours stays.
FrequencyResponse WithoutStrayLines(const FrequencyResponse& r, double share = 0.15, double factor = 1.6,
                                    double degrees = 30);

// n frequencies spaced evenly on a log scale from lowHz to highHz.
std::vector<double> LogFrequencies(double lowHz, double highHz, int n);

// --- Stability margins of an open loop L (the loop is broken at one point;
// the closed loop is L / (1 + L)).
//
// Gain crossover: where |L| passes 1 (0 dB). Phase margin: at each gain
// crossover, how far the phase (unwrapped from the low end, LoopPhaseDeg)
// is from -180 degrees, or from +180 where a mode's lead has turned it
// that way; the smallest counts, negative when the lag is already past.
// Phase crossover: where L passes the negative real axis (its phase through
// -180 degrees, taken from the complex values so no unwrapping can mislead
// it); only those above the first gain crossover count, because below it
// the loop's integrators hold the phase near -180 with a gain far above 1,
// and none between two points whose phases lie nearly half a turn apart
// (a mode between them turned it one way or the other: the points cannot
// say which).
// Gain margin: how far |L| lies below 1 at the phase crossovers, the
// smallest; negative when a resonance lifts |L| above 1 there.
// Points whose coherence is below minCoherence are left out.
struct LoopMargins {
    std::optional<double> crossoverHz;        // the last gain crossover: the loop's bandwidth
    std::optional<double> phaseMarginDeg;     // smallest over the gain crossovers
    std::optional<double> phaseMarginHz;      // where it is
    std::optional<double> gainMarginDb;       // nullopt: no phase crossover in the band
    std::optional<double> phaseCrossoverHz;   // where the gain margin is
    std::vector<double> gainCrossoversHz;     // all of them, rising
    double peakSensitivityDb = 0;             // max |1 / (1 + L)| over the band: a resonance the margins miss
    // The loop's gain at the top of the band in dB: a gain margin reported
    // as "none in the band" is trustworthy only when this lies well below 0.
    double topGainDb = 0;
    double bandTopHz = 0;
    bool Meets(double minPhaseMarginDeg, double minGainMarginDb) const;
};
LoopMargins ComputeMargins(const FrequencyResponse& openLoop, double minCoherence = 0);

}  // namespace hx::tuning
