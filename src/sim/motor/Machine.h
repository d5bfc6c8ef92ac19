#pragma once
// The machine the simulated motor drives: how much inertia it adds to the
// rotor, its friction, and the modes in which parts of it swing against the
// rest. This is the truth a tuning tool tries to find; the drive knows only
// what its parameters say (Pr1.13 is its belief about the inertia ratio,
// not this).
//
// The mechanics seen from the motor shaft: the whole load moves with the
// rotor at low frequency (inertia Jm·(1 + inertiaRatio)); each mode is a
// share of the load that swings on its own compliance at the mode's
// frequency and is no longer felt above it. Taking the modes in rising
// frequency, each removes its share from the inertia the motor feels, so
// the motor's speed per torque is
//     Y(s) = 1/(J·s + b) + Σ r_i·s / (s² + 2ζ_i·ω_i·s + ω_i²),
//     r_i = 1/J_after_i − 1/J_before_i,
// J the whole inertia and b the viscous friction: a resonance at each
// mode's frequency with an anti-resonance below it, and above all modes the
// rotor plus the load's rigid remainder. Coulomb friction acts on the
// machine's mean motion.

#include <optional>
#include <string>
#include <vector>

namespace hx::sim {

struct Resonance {
    double hz = 300;
    double damping = 0.02;  // ζ
    // The share of the load's inertia that swings in this mode (0..1); 0:
    // an even part of what the low swing and the other modes leave.
    double share = 0;
};

struct MachineSpec {
    // All of the load's inertia over the rotor's, at low frequency. 0: the
    // default, 2 for the load, plus 10/3 for the swinging machine when it
    // has one (5.33 in all).
    double inertiaRatio = 0;
    double coulombNm = 0.02;         // N m
    double viscousNmsPerRad = 2e-4;  // N m s/rad
    std::vector<Resonance> resonances{Resonance{}};  // at most kMaxResonances
    // The machine's own low swing (a long arm, a gantry): 0 Hz none.
    double lowHz = 25;
    double lowDamping = 0.04;
    double lowShare = 0.625;  // of the load's inertia
};

inline constexpr int kMaxResonances = 3;
inline constexpr double kDefaultLoadRatio = 2.0;
inline constexpr double kDefaultSwingRatio = 10.0 / 3.0;

// One mode as the mechanics use it.
struct Mode {
    double hz = 0, damping = 0, share = 0;
    double residue = 0;  // r, 1/(kg m^2)
};

// The ratio the description means (its default filled in).
double InertiaRatioOf(const MachineSpec& machine);
// The modes in rising frequency with their residues for a rotor of
// motorInertia; modes that move no inertia are left out.
std::vector<Mode> ModesOf(const MachineSpec& machine, double motorInertia);

// A plausible machine drawn from a seed: inertia ratio 0.5..20 (evenly on a
// log scale), one to three resonances at 150..1500 Hz with damping
// 0.02..0.1, Coulomb friction 0.005..0.05 N m and viscous friction
// 5e-5..5e-4 N m s/rad; no low swing. The same seed gives the same machine.
// lowSwing: the same machine with a low swing of its own as well, at
// 10..40 Hz (evenly on a log scale), damping 0.02..0.08, carrying 0.3..0.8
// of the load (the resonances share what it leaves).
MachineSpec DrawMachine(unsigned seed, bool lowSwing = false);

// A machine as the command line describes it: KEY=VALUE pairs separated by
// commas, keys inertia-ratio, resonance (HZ[/DAMPING[/SHARE]], repeatable),
// machine-hz, coulomb-friction, viscous-friction, or machine-seed=N alone.
// Starts from `base` (the default machine). Throws std::invalid_argument
// with a message for the user.
MachineSpec ParseMachine(const std::string& text, const MachineSpec& base = {});
// "HZ[/DAMPING[/SHARE]]"; throws std::invalid_argument.
Resonance ParseResonance(const std::string& text);
// Throws std::invalid_argument when the description is out of its ranges (ratio
// 0..100, resonances 20..5000 Hz, damping 0.001..1, shares adding up to
// more than 1, friction negative).
void CheckMachine(const MachineSpec& machine);

}  // namespace hx::sim
