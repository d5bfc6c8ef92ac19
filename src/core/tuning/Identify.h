#pragma once
// What the machine is, from what the drive let us measure: the plant as the
// speed loop sees it, the load-to-motor inertia ratio, the modes, and the
// friction. The motor's rotor inertia Jm and torque constant Kt are never
// known (the drive does not report them).
//
// The inertia ratio: the speed loop measured against what it asks for.
// Pr1.05 asks for a crossover fv on the assumption that the load's ratio is
// Pr1.13 = Rs; the drive turns that into Kp = 2 pi fv Jm (1 + Rs) / Kt. On a
// rigid load of true ratio R the loop then reads
//     |L(j w)| = (1 + Rs) / (1 + R) x |C(j w) Jm/Kt| / w,
// so the measured open loop divided by the controller the parameters
// describe (SpeedControllerResponse) is
//     G(j w) = L / C = Jm / (Kt) x P = 1 / ((1 + R) j w)   (rigid load),
// the plant in units of the rotor's own inertia. 1 + R = 1 / |j w G| needs
// neither Jm nor Kt, only the loop's parameters during the measurement.
// This is the crossover method (the loop crosses over at
// fv (1 + Rs) / (1 + R) instead of fv) taken over a whole band instead of
// one point: every coherent bin votes, the median wins, so noise, a bin at
// a mode or a stray peak cannot move it.
//
// A machine is rarely rigid: a mode divides the band into parts that see
// different inertia (below a low machine mode the motor moves the swinging
// part as well; above the coupling resonance it moves its own rotor only).
// Each bin is therefore corrected by the identified pairs' shapes first
// (PairShape: a machine mode counts out its swinging part, the coupling
// counts the whole load), and bins near a mode, where the shapes are least
// sure, do not vote. What is left is the inertia that moves with the motor
// in the speed loop's working band: the ratio Pr1.13 should hold.
//
// The plant over a wider band may come from a second measurement (the
// speed over the torque current while the drive's own torque excitation
// runs, P = y / i): it carries Kt / Jtot in the drive's units, not Kt / Jm.
// It is put on G's scale by Jm / Kt. The moves' records measure that
// directly: the torque current over the speed error at their lines is the
// controller the parameters describe times Jm / Kt, a constant wherever
// the current follows the controller (ControllerScale), whatever the
// machine's modes. Without those records (or such lines) it is the ratio
// of the two rigid bodies (the median of |j w G| over the open loop's
// rigid bins over the median of |j w P| over the plant's), first over the
// band both cover to find the modes; without such an overlap the plant
// cannot be used. Inside the
// loop's own band the plant's estimate is drawn toward the controller (the
// loop feeds the torque noise back into the current it is divided by), so
// G is the open loop's below twice its crossover and the plant's above.

#include <optional>
#include <string>
#include <vector>

#include "core/tuning/FrequencyResponse.h"
#include "core/tuning/Modes.h"
#include "core/tuning/ServoLoop.h"

namespace hx::tuning {

// Points below this coherence take no part in identifying anything.
inline constexpr double kIdentifyCoherence = 0.6;
// Bins within this share of a mode do not vote on the ratio.
inline constexpr double kModeExclusionShare = 0.3;

struct PlantMeasurement {
    // The speed loop's open loop, speed feedback over speed error: from a
    // capture of the speed reference, speed feedback (and, as instrument,
    // the commanded speed) during moves through the command.
    FrequencyResponse openLoop;
    // The loop's parameters while openLoop was measured.
    ServoLoop during;
    // Optional: the plant, speed over torque current, over a wider band.
    FrequencyResponse plant;
    // Optional: the torque current over the speed error on the open loop's
    // lines (A per rad/s), whose ratio to the controller is Jm / Kt.
    FrequencyResponse currentOverError;
    // The plant's scale (Jm / Kt) where an earlier measurement of the same
    // machine found it: a property of the machine, not of the loop's
    // settings, so the loop measured again after tuning keeps it rather
    // than read it anew off lines sized for the old loop.
    std::optional<double> plantScale;
};

struct NormalisedPlant {
    // G = (Jm / Kt) x plant, 1/(rad/s) x rad/s ... in short: 1 / ((1 + R) j w) on a rigid load.
    FrequencyResponse g;
    // What the wider-band plant was multiplied by to put it on G's scale
    // (Jm / Kt in the plant's units), and how well the two agreed over the
    // band both cover: the spread of the phase of G / P there, degrees.
    std::optional<double> plantScale;
    double overlapPhaseSpreadDeg = 0;
    int overlapPoints = 0;
    double splitHz = 0;  // below: from the open loop; above: from the plant
    double drawnHz = 0;  // where the loop stops drawing the plant's bins: the split before clear lines raise it
    // The damper the friction adds to the rigid motion at the excitation's
    // small speeds (in 1 / G's units), taken out of the plant's bins; 0: none.
    double damper = 0;
};
// Jm / Kt from the current the controller gives for the speed error:
// the median over the coherent lines where the current follows the
// controller's model closely; nullopt with fewer than three such lines.
std::optional<double> ControllerScale(const PlantMeasurement& m);
// scale: the plant's factor when it is known (Identify finds it from the
// rigid bins once the modes are known); otherwise from the band both cover.
NormalisedPlant Normalise(const PlantMeasurement& m, std::optional<double> scale = std::nullopt);

// |j w r / modes' shapes| at every coherent bin away from the modes whose
// phase shows a rigid body (within maxPhaseDeg of 0): 1 / inertia, in r's units.
std::vector<double> RigidCompliance(const FrequencyResponse& r, const ModeSearch& modes, double maxPhaseDeg);

struct InertiaEstimate {
    std::optional<double> ratio;   // load / rotor; nullopt when no bin could vote
    int votes = 0;                 // bins that voted
    double spread = 0;             // half the range of the middle half of the votes, as a share of 1 + R
    // The crossover the measured loop had and the one Pr1.05 asked for.
    std::optional<double> measuredCrossoverHz;
    double askedCrossoverHz = 0;
};
// g: the normalised plant; askedCrossoverHz (Pr1.05) and openLoop only
// for the report's crossovers.
InertiaEstimate EstimateInertiaRatio(const FrequencyResponse& g, const ModeSearch& modes, double askedCrossoverHz = 0,
                                     const FrequencyResponse* openLoop = nullptr);

// The torque needed to move without accelerating, from a record of a move
// (speed and torque current as the drive samples them: 0.01 rps, mA) by a
// least-squares fit of
//     i = a x (dv/dt) + Fc sign(v) + B v + i0
// over the points where the motor runs (|v| above a share of the peak).
// a is the inertia over the torque constant in the drive's units (mA per
// rev/s^2): what the probe move measures to size the moves that follow.
struct RigidBody {
    std::optional<double> maPerRevPerS2;  // (Jtotal / Kt), drive units
    double coulombMa = 0;                 // Fc
    double viscousMaPerRps = 0;           // B
    double offsetMa = 0;                  // i0: gravity or an offset in the current sensing
    int points = 0;
    double residualMa = 0;                // rms of what the fit leaves
};
RigidBody EstimateRigidBody(const std::vector<std::vector<float>>& speed, const std::vector<std::vector<float>>& current,
                            double intervalUs);

// A low swing as the probe's records show it. A part J2 of the load swinging
// on its own compliance at w0 (its frequency with the motor held: the
// pair's anti-resonance) lags the motor's acceleration a by
// -s^2 / (s^2 + 2 z w0 s + w0^2) of it, so the torque reads
//     i = (J / Kt) a + (J2 / Kt) e + Fc sign(v) + B v + i0,   e = that lag,
// with J the whole inertia: the rigid fit's a alone takes the swing's
// ringing for inertia. w0 and z are searched from fromHz to toHz (z up to
// kSwingMostDamping); the fit that leaves the least wins, beside what the
// rigid fit leaves. On a rigid machine the extra term takes up what the
// rigid fit misses smoothly: the fit then wants the most damping tried.
// A swing measured with a lowered band may ring with 0.15 (seeded swing
// machine 8): the most is twice that.
inline constexpr double kSwingMostDamping = 0.3;
struct ProbeSwing {
    double hz = 0;
    double damping = 0;
    double wholeMaPerRevPerS2 = 0;  // J / Kt
    double swingMaPerRevPerS2 = 0;  // J2 / Kt
    double residualMa = 0;
    double rigidResidualMa = 0;
};
std::optional<ProbeSwing> FitProbeSwing(const std::vector<std::vector<float>>& speed,
                                        const std::vector<std::vector<float>>& current, double intervalUs,
                                        double fromHz, double toHz);

// Everything identified, in one place for the design and the report.
struct Identification {
    NormalisedPlant plant;
    ModeSearch modes;
    InertiaEstimate inertia;
    std::optional<RigidBody> rigid;
    // Jm / Kt came from the controller's current (ControllerScale), not
    // from the plant's bins: the whole ratio then carries the probe's
    // errors only.
    bool scaleFromCurrent = false;
    std::vector<std::string> notes;  // untranslated English, for the log and the CLI
    // Where the design takes the whole machine's ratio for a swing the probe
    // rang with: that swing (its frequency is the dip's) and the ratio the
    // speed loop's band measured (what moves with the motor above it).
    std::optional<ProbeSwing> swing;
    std::optional<double> bandRatio;
};
Identification Identify(const PlantMeasurement& m, const std::optional<RigidBody>& rigid = std::nullopt);

}  // namespace hx::tuning
