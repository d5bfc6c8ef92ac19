#pragma once
// The tuning's measurements taken as the sequence takes them (the probe
// move, the command moves and the torque excitation of its plan, captured
// as the drive's 16-bit words, then estimated), on the simulated drive's own
// motor and machine stepped tick by tick without the wire: the data with
// known answers the tuning's tests run on. The simulator's truth
// (sim/LoopTruth.h) says what they should find.

#include <bit>
#include <cmath>
#include <vector>

#include "core/tuning/Excitation.h"
#include "core/tuning/Identify.h"
#include "core/tuning/TuneSequence.h"
#include "sim/LoopTruth.h"
#include "sim/motion/Trapezoid.h"
#include "sim/motor/MotorModel.h"

namespace measure {

using hx::sim::MachineSpec;
using hx::sim::MotorModel;

// A machine of a whole load `ratio` times the rotor, with coupling
// resonances ({Hz, damping}: the load beyond a low swing on its spring) and
// a low swing of `lowShare` of the load at lowHz (0: none).
inline MachineSpec Machine(double ratio, std::vector<hx::sim::Resonance> resonances, double lowHz = 0,
                           double lowShare = 0.5, double coulombNm = 0.01) {
    return {.inertiaRatio = ratio, .coulombNm = coulombNm, .resonances = std::move(resonances), .lowHz = lowHz,
            .lowShare = lowShare};
}

// The motor on its machine with the loop's words as the drive decodes them.
inline MotorModel Motor(const MachineSpec& machine, const hx::tuning::ServoLoop& loop, unsigned seed = 1) {
    MotorModel m({}, machine, seed);
    m.SetServo(hx::tuning::ServoSettings(hx::tuning::ToWords(loop)));
    return m;
}

// A drive that offers every source, four channels and 8000 points.
inline hx::SamplingLimits FullDrive() { return {0xFFFF, 4, 8000}; }

struct Measured {
    hx::tuning::ExcitationPlan plan;
    hx::tuning::RigidBody probe;
    std::vector<std::vector<float>> probeSpeed, probeCurrent;  // its records
    hx::tuning::PlantMeasurement measurement;  // the lines with the friction's share taken out
    hx::tuning::FrequencyResponse asMeasured;   // the same lines with it left in
    double maxTravelRev = 0;  // the furthest the motor went from where it stood
};

// `plan.records` captures one after the other under `command(t)`, after
// settleS and with gapS between them (the wire's reading time).
template <typename Command>
hx::tuning::MoveCapture Capture(MotorModel& motor, const hx::tuning::CapturePlan& plan, Command command,
                                double& furthestRev, double settleS = 0.3, double gapS = 0.05) {
    hx::tuning::MoveCapture out;
    double t = 0;
    auto run = [&](long ticks) {
        for (long k = 0; k < ticks; ++k, t += MotorModel::kTick) {
            motor.Step(command(t));
            furthestRev = std::max(furthestRev, std::abs(motor.Feedback().positionPulses) / 10000);
        }
    };
    const long every = std::max(1L, std::lround(plan.intervalUs * 1e-6 / MotorModel::kTick));
    run(std::lround(settleS / MotorModel::kTick));
    for (int r = 0; r < plan.records; ++r) {
        std::array<std::vector<float>, 4> record;
        for (int p = 0; p < plan.points; ++p) {
            const auto words = motor.Signals();
            for (int c = 0, channel = 0; c < 4; ++c)
                if (plan.codes[c]) record[channel++].push_back(words[std::countr_zero(plan.codes[c])]);
            run(every);
        }
        out.records.push_back(std::move(record));
        run(std::lround(gapS / MotorModel::kTick));
    }
    out.ok = true;
    return out;
}

inline auto Following(const hx::runtest::VelocityFields& f) {
    const hx::sim::Trapezoid profile({static_cast<int>(f.runs), 1, f.dwell / 1000.0, f.backAndForth != 0,
                                      std::abs(f.speed) / 100.0, std::max(1.0, double(f.acceleration)),
                                      f.distance / 100.0});
    return [profile](double t) {
        const hx::sim::ProfilePoint p = profile.At(t);
        return hx::sim::MotionCommand{hx::sim::RunMode::Position, p.positionRev * 10000, p.speedRps, 0};
    };
}

inline Measured Measure(const MachineSpec& machine, const hx::tuning::ServoLoop& during, unsigned seed = 1,
                        const hx::tuning::MotionLimits& limits = {}) {
    using namespace hx::tuning;
    Measured out;
    MotorModel motor = Motor(machine, during, seed);
    const MoveStep probe = PlanProbe(limits, FullDrive());
    const MoveCapture p = Capture(motor, probe.capture, Following(probe.move), out.maxTravelRev, 0, 0);
    out.probeSpeed = ChannelOf(p, probe.capture, kSpeedFeedbackSource);
    out.probeCurrent = ChannelOf(p, probe.capture, ProbeCurrentSource(probe.capture));
    out.probe = EstimateRigidBody(out.probeSpeed, out.probeCurrent, probe.capture.intervalUs);
    out.plan = PlanExcitation(limits, FullDrive(), out.probe);
    for (const MoveStep& m : out.plan.moves) {
        const MoveCapture c = Capture(motor, m.capture, Following(m.move), out.maxTravelRev);
        out.measurement.openLoop = Merge(out.measurement.openLoop, OpenLoopOf(m, c, out.probe.coulombMa));
        out.asMeasured = Merge(out.asMeasured, OpenLoopOf(m, c));
    }
    if (out.plan.torque.planned) {
        // The drive's own excitation, as its spectrum runs it.
        motor.SetExcitation(out.plan.torque.excitationMa / 1000.0, 5);
        const TorqueStep& t = out.plan.torque;
        const MoveCapture c = Capture(motor, t.capture, [](double) { return hx::sim::MotionCommand{}; },
                                      out.maxTravelRev, 0.1, 0.02);
        out.measurement.plant = PlantOf(t, ChannelOf(c, t.capture, kTorqueCurrentSource),
                                        ChannelOf(c, t.capture, kSpeedFeedbackSource));
    }
    out.measurement.during = during;
    out.measurement.openLoop = WithoutStrayLines(out.measurement.openLoop);
    out.asMeasured = WithoutStrayLines(out.asMeasured);
    return out;
}

// Identified as the sequence identifies (IdentifyMachine).
inline hx::tuning::Identification Identified(Measured& m) {
    return hx::tuning::IdentifyMachine(m.measurement, m.asMeasured, m.probe);
}

}  // namespace measure
