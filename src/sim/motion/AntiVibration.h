#pragma once
// The drive's anti-vibration command shaping. A motor driving its load
// through a compliant coupling rings at the coupling's resonance when the
// command jerks; each of the four sets (amplitude, phase A, phase B) splits
// the command into two impulses half a ringing period apart, so that the
// second cancels the ringing the first excites.
//
// Phase A is that half period in 0.2 ms (0..255: sets for ringing down to
// about 10 Hz, the low swing of a machine's arm or gantry that the loops
// cannot hold down), phase B the damping ratio the set assumes in 1/1024,
// amplitude how much of the command goes through the set (percent). A set
// whose half period is near the load's resonance lowers the ringing; one far
// from it only delays the command. The Z-axis phase concerns the encoder's
// index pulse and does not shape the command.

#include <array>
#include <vector>

namespace hx::sim {

struct Impulse {
    double delayS = 0;
    double weight = 1;
};

// The thirteen settings in the drive's order (77, 78, 86, 79, 80, 87, 81, 82,
// 88, 64, 66, 68, 89): the cascade of the four sets as weighted delays. The
// weights add up to 1.
std::vector<Impulse> ShaperImpulses(const std::array<int, 13>& settings);

inline constexpr double kShaperDelayUnitS = 0.0002;

// The phase A that suits a ringing frequency: half its period in the delay unit.
int PhaseForResonance(double hz);

}  // namespace hx::sim
