#pragma once
// A machine described as a load on one coupling (its ratio, resonance and
// damping), measured on the simulated drive's motor as MeasureMotor.h does:
// for the callers that describe machines that way.

#include "MeasureMotor.h"

namespace synth {

struct Machine {
    double ratio = 2.0;       // load over rotor
    double resonanceHz = 0;   // 0: rigid
    double damping = 0.03;
};
using Measured = measure::Measured;

inline Measured Measure(const Machine& m, const hx::tuning::ServoLoop& during, unsigned seed = 1) {
    std::vector<hx::sim::Resonance> coupling;
    if (m.resonanceHz > 0) coupling.push_back({m.resonanceHz, m.damping});
    return measure::Measure(measure::Machine(m.ratio, coupling), during, seed);
}

}  // namespace synth
