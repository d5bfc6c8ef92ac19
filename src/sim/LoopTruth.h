#pragma once
// The truth about a simulated drive's machine and speed loop, for tests and
// for users who want to check what a tuning tool found: computed from the
// machine and the parameters the drive holds now, never sent on the wire.
//
// Exact, not estimated: the plant is stepped by the same matrices the
// motor runs on, and every block of the loop (speed detection, PI, torque
// filter, notches, the current loop on the winding) says its own response
// on the control tick, so a swept measurement of the simulated loop agrees
// with it up to the motor's noise and its non-linear parts (Coulomb
// friction, the current and voltage limits, the encoder's counts).
//
// Usage, e.g. in a tuning test:
//     hx::sim::VirtualDrive drive(options);
//     ...the tool writes Pr1.05, Pr1.13 and a notch over the wire...
//     const hx::sim::LoopTruth t = hx::sim::TruthOf(drive);
//     EXPECT_NEAR(tool.inertiaRatio, t.inertiaRatio, 0.1 * t.inertiaRatio);
//     EXPECT_GT(t.phaseMarginDeg, 40);
//     const auto at = hx::sim::ResponseAt(drive.Motor().Model(), 300);  // one frequency

#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "core/protocol/ServoParameters.h"
#include "sim/motor/Machine.h"

namespace hx::sim {

class MotorModel;
class MotorPart;
class VirtualDrive;

using Complex = std::complex<double>;

// The loop at one frequency. Speeds in rad/s, currents in A.
struct LoopPoint {
    double hz = 0;
    // The machine alone: the rotor's speed per torque current, Kt·Y(jω),
    // continuous time (what a spectrum of speed over current approaches).
    Complex plantPerCurrent;
    // What the speed controller drives: the speed feedback per torque
    // reference, through the current loop, the tick and the speed detection.
    Complex plantPerTorqueReference;
    // The speed loop opened at its error: PI, torque filter, notches, plant.
    Complex openLoop;
    // Speed feedback per speed reference with the loop closed: L/(1 + L).
    Complex closedLoop;
};

struct LoopTruth {
    // The machine.
    double motorInertia = 0;   // kg m^2
    double totalInertia = 0;   // kg m^2, rotor and all of the load
    double inertiaRatio = 0;   // load over rotor: what Pr1.13 should be (as a ratio, not %)
    double coulombNm = 0;      // N m
    double viscousNmsPerRad = 0;
    std::vector<Mode> modes;   // as configured, in rising frequency
    // Where |Y| peaks and dips between 1 Hz and the tick's Nyquist frequency.
    std::vector<double> resonancesHz, antiResonancesHz;
    // The loop, for the parameters the drive holds now.
    hx::servo::Settings settings;
    double speedProportionalGain = 0;  // A per rad/s
    // The speed loop's first gain crossover (|L| falls through 1).
    double crossoverHz = 0;
    // The smallest phase margin over all gain crossovers (180° + the phase,
    // followed continuously from 1 Hz), and where.
    double phaseMarginDeg = 0, phaseMarginHz = 0;
    // The smallest gain margin over all phase crossovers (∠L = −180°), and
    // where; none when the phase never crosses.
    std::optional<double> gainMarginDb, gainMarginHz;
    // The closed speed loop's slowest pole, |z| on the tick: below 1 it is
    // stable, whatever the margins say.
    double closedLoopRadius = 0;
    bool stable = false;
    // On a log grid (TruthOf's points).
    std::vector<LoopPoint> response;
};

// One frequency, exactly.
LoopPoint ResponseAt(const MotorModel& motor, double hz);
// All of it; `points` frequencies from 1 Hz to 5 kHz on a log scale in
// `response` (the margins are found on a finer grid of their own).
LoopTruth TruthOf(const MotorModel& motor, int points = 200);
// For the parameters the drive's RAM holds now, under its lock.
LoopTruth TruthOf(VirtualDrive& drive, int points = 200);

// The truth of the drives of a line as JSON ("halvex-drive-sim truth",
// version 1; the man page describes it).
struct StationTruth {
    int station = 0;
    std::string driveModel;
    LoopTruth truth;
};
std::string TruthJson(const std::vector<StationTruth>& drives);
// Writes it whole or not at all; false with the reason in `error`.
bool WriteTruthFile(const std::string& path, const std::vector<VirtualDrive*>& drives, std::string& error);

}  // namespace hx::sim
