#pragma once
// What the motor is asked to do, step by step. A motion source stands for
// whatever commands the drive: pulses from a motion controller, the drive's
// own test motions (trapezoid, current step), or nothing (hold still).

#include <memory>
#include <string>

#include "sim/bus/SimClock.h"
#include "sim/motor/Sources.h"

namespace hx::sim {

struct MotionCommand {
    RunMode mode = RunMode::Holding;
    // Position and Holding: where the motor should be, in command pulses
    // (the pulse counter of the command input; whole pulses arrive).
    double position = 0;
    // Position: the speed of the command in rev/s, used as feedforward.
    // Velocity: the speed reference.
    double velocity = 0;
    // Current: the q-axis current reference in A.
    double current = 0;
};

// The motor as a source sees it, to start a motion from where it stands.
struct MotorFeedback {
    double positionPulses = 0;  // encoder position in command pulses
    double speedRps = 0;
    double currentA = 0;
};

class MotionSource {
public:
    virtual ~MotionSource() = default;
    // The command at `sinceStart` (time since the source was given to the
    // motor), called once per control step, in time order. `start` is where
    // the motor stood when the source began.
    virtual MotionCommand At(SimTime sinceStart, const MotorFeedback& start) = 0;
    // A finished source leaves the motor holding where its last command was.
    virtual bool Finished(SimTime /*sinceStart*/) const { return false; }
};

// A continuous back-and-forth move, as a motion controller sending pulses
// would command: a smooth move of `travel` pulses, a dwell, the move back,
// a dwell, forever.
class DemoMotion final : public MotionSource {
public:
    struct Shape {
        double travelPulses = 30000;
        double moveSeconds = 0.2;
        double dwellSeconds = 0.15;
        double pulsesPerRev = 10000;
    };
    DemoMotion() = default;
    explicit DemoMotion(Shape shape) : m_shape(shape) {}
    MotionCommand At(SimTime sinceStart, const MotorFeedback& start) override;

private:
    Shape m_shape;
};

// Builds a motion source by name ("demo"); null for "" or "none" (hold
// still). Throws std::invalid_argument for another name.
std::unique_ptr<MotionSource> MakeMotion(const std::string& name, double pulsesPerRev);

}  // namespace hx::sim
