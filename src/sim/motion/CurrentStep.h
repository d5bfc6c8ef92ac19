#pragma once
// The drive's current-loop test and its auto-tuning, on the motor winding's
// resistance and inductance: a step of the test current through the same PI
// loop the motor runs on (CurrentPi, with the gains in registers 15 (Kp) and
// 16 (Ki)), and the gains a drive that measured its winding would choose.
//
// Register units (core/protocol/ServoParameters.h): Kp in 0.005 V/A, Ki in
// 100 V/(A s). Kc (17) is the share of the back EMF the loop compensates, in
// 1/1024; the test drives current along the magnet's axis with the rotor at
// rest, so there is no back EMF and Kc does not change the step.

#include <cstdint>
#include <vector>

namespace hx::sim {

struct Winding {
    double resistance = 1.5;    // ohm, phase
    double inductance = 0.008;  // henry
    double busVoltage = 48.0;   // volt: the loop's voltage reaches bus / sqrt 3, as on the motor
};

struct CurrentGains {
    int16_t kp = 1000, ki = 200, kc = 256;
};

// The measured current (mA) every samplePeriodUs after a step to
// testCurrentMa at time 0, points samples; the loop itself runs on the
// control tick.
std::vector<int16_t> RunCurrentStep(const Winding& winding, const CurrentGains& gains, int testCurrentMa, int points,
                                    int samplePeriodUs);

// Gains that cancel the winding's pole and close the loop at 2000 rad/s: a
// first-order step without overshoot, rising in about 1.1 ms. Kc is kept.
CurrentGains AutoTuneGains(const Winding& winding, int16_t kc);

}  // namespace hx::sim
