#pragma once
// Figures of merit computed from captured buffers, shown under the plot and
// printed by the command-line tool: how well the current loop follows its
// test step, and how closely the motor followed a velocity trapezoid.

#include <optional>
#include <string>
#include <vector>

namespace hx::runtest {

// The current-loop test's step, measured against the commanded test current.
// The capture starts with the step; samplePeriodUs apart.
struct StepFigures {
    std::optional<double> riseTimeMs;      // 10 % to 90 % of the command, first crossings
    std::optional<double> overshootPct;    // peak above the command, % of the command (0 when none)
    std::optional<double> settlingTimeMs;  // from the step until it stays within +-5 % of the command
    std::optional<double> steadyStateError;  // command - mean of the last tenth, same unit as the samples
    std::optional<double> steadyStateErrorPct;
};
StepFigures ComputeStepFigures(const std::vector<float>& samples, double command, double samplePeriodUs);

// A velocity run: following error from the position-error channel, speed
// overshoot from the speed-feedback channel against the commanded speed
// (or the speed reference channel's peak when it was captured).
struct FollowingFigures {
    std::optional<double> peakFollowingError;  // max |error|, pulses
    std::optional<double> rmsFollowingError;   // pulses
    std::optional<double> speedOvershootPct;   // (peak |speed| - commanded) / commanded, % (0 when none)
};
FollowingFigures ComputeFollowingFigures(const std::vector<float>* positionError, const std::vector<float>* speed,
                                         const std::vector<float>* speedReference, double commandedSpeed);

}  // namespace hx::runtest
