#include "core/runtest/StepResponse.h"

#include <algorithm>
#include <cmath>

namespace hx::runtest {
namespace {

// Index (fractional, interpolated between samples) where y first reaches level.
std::optional<double> FirstCrossing(const std::vector<double>& y, double level) {
    for (size_t i = 0; i < y.size(); ++i) {
        if (y[i] >= level) {
            if (i == 0) return 0.0;
            const double d = y[i] - y[i - 1];
            const double frac = d > 0 ? (level - y[i - 1]) / d : 0.0;
            return static_cast<double>(i - 1) + frac;
        }
    }
    return std::nullopt;
}

}  // namespace

StepFigures ComputeStepFigures(const std::vector<float>& samples, double command, double samplePeriodUs) {
    StepFigures f;
    if (samples.empty() || command == 0.0 || samplePeriodUs <= 0) return f;
    const double ms = samplePeriodUs / 1000.0;
    // Normalised to the command, so a negative test current reads the same way.
    std::vector<double> y(samples.size());
    for (size_t i = 0; i < samples.size(); ++i) y[i] = samples[i] / command;

    const auto t10 = FirstCrossing(y, 0.1);
    const auto t90 = FirstCrossing(y, 0.9);
    if (t10 && t90) f.riseTimeMs = (*t90 - *t10) * ms;

    const double peak = *std::max_element(y.begin(), y.end());
    f.overshootPct = std::max(0.0, peak - 1.0) * 100.0;

    // Settled from the first sample after the last one outside the band; a
    // curve still outside at its end never settled within the capture.
    size_t lastOutside = y.size();
    for (size_t i = y.size(); i-- > 0;) {
        if (std::fabs(y[i] - 1.0) > 0.05 + 1e-9) {  // the band edge counts as inside
            lastOutside = i;
            break;
        }
    }
    if (lastOutside == y.size())
        f.settlingTimeMs = 0.0;
    else if (lastOutside + 1 < y.size())
        f.settlingTimeMs = static_cast<double>(lastOutside + 1) * ms;

    const size_t tail = std::max<size_t>(1, samples.size() / 10);
    double sum = 0;
    for (size_t i = samples.size() - tail; i < samples.size(); ++i) sum += samples[i];
    const double finalValue = sum / static_cast<double>(tail);
    f.steadyStateError = command - finalValue;
    f.steadyStateErrorPct = (command - finalValue) / command * 100.0;
    return f;
}

FollowingFigures ComputeFollowingFigures(const std::vector<float>* positionError, const std::vector<float>* speed,
                                         const std::vector<float>* speedReference, double commandedSpeed) {
    FollowingFigures f;
    if (positionError && !positionError->empty()) {
        double peak = 0, sq = 0;
        for (float e : *positionError) {
            peak = std::max(peak, std::fabs(static_cast<double>(e)));
            sq += static_cast<double>(e) * e;
        }
        f.peakFollowingError = peak;
        f.rmsFollowingError = std::sqrt(sq / static_cast<double>(positionError->size()));
    }
    // Against the speed the run commands: the speed reference carries the
    // position loop's corrections, and swings with the very ringing the
    // figure is meant to show. Only without a commanded speed is its peak
    // the target.
    double target = std::fabs(commandedSpeed);
    if (target <= 0 && speedReference && !speedReference->empty())
        for (float v : *speedReference) target = std::max(target, std::fabs(static_cast<double>(v)));
    if (speed && !speed->empty() && target > 0) {
        double peak = 0;
        for (float v : *speed) peak = std::max(peak, std::fabs(static_cast<double>(v)));
        f.speedOvershootPct = std::max(0.0, (peak - target) / target * 100.0);
    }
    return f;
}

}  // namespace hx::runtest
