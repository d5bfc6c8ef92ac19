#pragma once
// A robust anti-vibration choice for the vibration assistant: sets that
// keep the ringing down not only at the frequency measured but over a band
// around it (+-20 % by default), since a machine's ringing moves with its
// load and position, and one measurement is never exact.
//
// One set (two impulses half a period apart) cancels its frequency and
// leaves |cos(pi/2 x f'/f)| elsewhere: 31 % at +-20 %. Two sets in a row
// square that (a tenth) at twice the delay; two sets a little apart in
// delay widen the band further for the same delay. The choice searches
// one and two sets over their delays (phase A) and takes the one with the
// shortest added delay whose worst residual over the band meets the
// target; where none does, the one with the smallest worst residual. A
// ringing too slow for two sets (its half period beyond the longest phase
// A) takes up to four identical sets at the longest delay.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/analysis/Vibration.h"

namespace hx::tuning {

inline constexpr double kRobustSpread = 0.2;

struct RobustShaping {
    std::vector<analysis::AntiVibrationSet> sets;  // from the 1st set on
    double worstResidual = 1;    // the most any frequency in the band keeps
    double nominalResidual = 1;  // at the frequency measured
    double delayMs = 0;          // what the sets add to every move
    bool meetsTarget = false;
};

// frequencyHz and dampingRatio: the ringing measured (analysis::ResidualVibration).
RobustShaping ProposeRobustAntiVibration(double frequencyHz, double dampingRatio, double spread = kRobustSpread,
                                         double target = analysis::kTargetResidual);

// The worst residual of the sets over [f (1 - spread), f (1 + spread)].
double WorstResidual(const std::vector<analysis::AntiVibrationSet>& sets, double frequencyHz, double dampingRatio,
                     double spread);

// The thirteen settings with the sets in place from the 1st; the sets not
// used are switched off (amplitude 0), the Z-axis phase is kept.
std::array<int32_t, 13> ApplySets(const std::array<int32_t, 13>& settings,
                                  const std::vector<analysis::AntiVibrationSet>& sets);

// The vibration assistant's second pass. The first pass writes the plain
// proposal, which cancels the ringing measured; the move runs again. Where
// more than the target share of the first ringing still rings (the
// measurement was off, or the machine rings in a second way the first set
// leaves), the ringing measured again gets the robust choice in the sets
// after the first pass's: a smaller, noisier ringing is measured less
// exactly, and a set that only holds at one frequency misses it.
struct SecondPass {
    std::array<int32_t, 13> settings{};  // the first pass's with these sets in place
    std::vector<analysis::AntiVibrationSet> sets;
    int firstSet = 0;  // the first set written, from 0
    int touched = 0;   // the sets the two passes hold, from the 1st
    double predictedResidual = 1;  // of the ringing measured again, at its frequency
};

// nullopt where no second pass is due: the first proposal was not one set,
// the ringing left is within the target, or no set is left for it.
std::optional<SecondPass> ProposeSecondPass(const analysis::VibrationProposal& first,
                                            const std::array<int32_t, 13>& firstSettings,
                                            const analysis::ResidualVibration& before,
                                            const analysis::ResidualVibration& after);

// The second pass stays only where the run after it rings less than the one before it.
inline bool KeepSecondPass(const analysis::ResidualVibration& after, const analysis::ResidualVibration& again) {
    return again.peakToPeak < after.peakToPeak;
}

}  // namespace hx::tuning
