#pragma once
// The drive's anti-vibration command shaping and the axis it shapes for: a
// motor driving its load through a compliant coupling, which rings at its
// resonance when the command jerks.
//
// Each of the four sets (amplitude, phase A, phase B) splits the command
// into two impulses half a ringing period apart, so the second cancels the
// ringing the first excites: phase A is that half period in 0.2 ms, phase B
// the damping the set assumes (in 1/1024), amplitude how much of the command
// goes through the set (percent). A set whose half period is near the
// load's resonance lowers the ringing; one far from it only delays the
// command. The Z-axis phase concerns the encoder's index pulse, which this
// axis does not have.

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace hx::sim {

struct Impulse {
    double delayS = 0;
    double weight = 1;
};

// The thirteen settings in the drive's order (77, 78, 86, 79, 80, 87, 81, 82,
// 88, 64, 66, 68, 89): the cascade of the four sets as weighted delays.
std::vector<Impulse> ShaperImpulses(const std::array<int, 13>& settings);

inline constexpr double kShaperDelayUnitS = 0.0002;

// Motor and load with the drive's position loop; all in revolutions.
struct AxisParameters {
    double motorInertia = 1e-4;   // kg m^2
    double loadInertia = 1e-4;
    double stiffness = 3.16;      // N m / rad: about 40 Hz with these inertias
    double damping = 0.002;       // N m s / rad, lightly damped
    double positionGain = 600;    // 1/s: speed command per position error
    double speedGain = 0.06;      // N m s / rad
    double pulsesPerRev = 10000;
};

double ResonanceHz(const AxisParameters& axis);

// One sample of the signals a capture records.
struct AxisSample {
    double positionRefRev = 0, positionRev = 0;   // command (shaped), motor
    double speedRefRps = 0, speedRps = 0;
    double torqueNm = 0;
};

// Simulates the axis following a command from time 0 (where it rests at the
// command's start) and returns a sample every periodS for count samples,
// the first at startS. command(t) gives the unshaped position and speed.
struct CommandPoint {
    double positionRev = 0, speedRps = 0;
};
std::vector<AxisSample> SimulateAxis(const AxisParameters& axis, const std::vector<Impulse>& shaper,
                                     const std::function<CommandPoint(double)>& command, double startS,
                                     double periodS, int count);

}  // namespace hx::sim
