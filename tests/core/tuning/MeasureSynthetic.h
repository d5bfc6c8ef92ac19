#pragma once
// The tuning's measurements taken on a synthetic drive as the sequence will
// take them on a real one: the probe move, the command moves and the torque
// excitation of the plan, captured in 16-bit words, estimated and identified.

#include <random>

#include "SyntheticDrive.h"
#include "core/tuning/Excitation.h"
#include "core/tuning/Identify.h"
#include "core/tuning/TuneSequence.h"
#include "core/tuning/ResponseEstimate.h"

namespace synth {

// A drive that offers every source, four channels and 8000 points.
inline hx::SamplingLimits FullDrive() { return {0xFFFF, 4, 8000}; }

struct Measured {
    hx::tuning::ExcitationPlan plan;
    hx::tuning::RigidBody probe;
    hx::tuning::PlantMeasurement measurement;
    double maxTravelRev = 0;  // the furthest the motor went from where it stood
};

inline Measured Measure(const Machine& machine, const hx::tuning::ServoLoop& during, unsigned seed = 1,
                        const hx::tuning::MotionLimits& limits = {}) {
    Measured out;
    Drive drive(machine, during, seed);
    double furthest = 0;
    auto track = [&](Drive& d) { furthest = std::max(furthest, std::abs(d.MotorRev())); };

    // Probe.
    hx::tuning::MoveStep probe = hx::tuning::PlanProbe(limits, FullDrive());
    {
        const Trapezoid t(probe.move);
        const auto caps = Record(drive, probe.capture, [&](Drive& d, double s) {
            const auto [p, v] = t.At(s);
            d.Step(p, v, 0);
            track(d);
        }, 0.0, 0.0);
        out.probe = hx::tuning::EstimateRigidBody(Channel(caps, probe.capture, hx::tuning::kSpeedFeedbackSource),
                                                  Channel(caps, probe.capture, hx::tuning::kTorqueCurrentSource),
                                                  probe.capture.intervalUs);
    }
    out.plan = hx::tuning::PlanExcitation(limits, FullDrive(), out.probe);
    // Command moves: the speed loop's open loop from each kind of move, the
    // commanded speed as instrument, at the lines the repeating moves excite.
    for (const hx::tuning::MoveStep& m : out.plan.moves) {
        const Trapezoid t(m.move);
        auto caps = Record(drive, m.capture, [&](Drive& d, double s) {
            const auto [p, v] = t.At(s);
            d.Step(p, v, 0);
            track(d);
        });
        hx::tuning::MoveCapture records;
        for (Capture& c : caps) records.records.push_back(std::move(c.channels));
        out.measurement.openLoop = hx::tuning::Merge(out.measurement.openLoop, hx::tuning::OpenLoopOf(m, records, out.probe.coulombMa));
    }
    // Torque excitation: the plant over the high band.
    if (out.plan.torque.planned) {
        const hx::tuning::TorqueStep& t = out.plan.torque;
        std::mt19937 rng(seed + 100);
        double inject = 0;
        int hold = 0;
        const double amps = t.excitationMa / 1000.0;
        const auto caps = Record(drive, t.capture, [&](Drive& d, double) {
            if (hold-- <= 0) {
                inject = (rng() & 1) ? amps : -amps;
                hold = 4;
            }
            d.Step(0, 0, inject);
            track(d);
        }, 0.1, 0.02);
        out.measurement.plant = hx::tuning::PlantOf(t, Channel(caps, t.capture, hx::tuning::kTorqueCurrentSource),
                                                    Channel(caps, t.capture, hx::tuning::kSpeedFeedbackSource));
    }
    out.measurement.during = during;
    out.maxTravelRev = furthest;
    return out;
}

}  // namespace synth
