#pragma once
// The drive's own test motions as motion sources for the motor: the velocity
// trapezoid started by 70 <- 1, shaped by the anti-vibration sets, and the
// ramp down to standstill that 70 <- 0 asks for.

#include <array>
#include <functional>
#include <vector>

#include "sim/motion/AntiVibration.h"
#include "sim/motion/Trapezoid.h"
#include "sim/motor/MotionSource.h"

namespace hx::sim {

class TrapezoidMotion final : public MotionSource {
public:
    // The anti-vibration settings as the drive holds them now: read at the
    // start of each run, so a setting changed during a run of many moves
    // shapes the next move (the command rests between moves, so the switch
    // makes no jump once the dwell is longer than the shaper's delays).
    using ShaperSettings = std::function<std::array<int, 13>()>;

    TrapezoidMotion(const TrapezoidSettings& settings, ShaperSettings shaper, double pulsesPerRev);

    MotionCommand At(SimTime sinceStart, const MotorFeedback& start) override;
    bool Finished(SimTime sinceStart) const override;
    double AccelerationRps2() const { return m_settings.accelerationRps2; }

private:
    TrapezoidSettings m_settings;
    Trapezoid m_profile;
    ShaperSettings m_shaperSettings;
    double m_pulsesPerRev;
    std::vector<Impulse> m_impulses{{0.0, 1.0}};
    double m_longestDelay = 0;
    int m_run = -1;  // run whose start last picked up the shaper
};

// From a commanded position and speed down to standstill at a deceleration.
class StopMotion final : public MotionSource {
public:
    StopMotion(double speedRps, double decelerationRps2, double pulsesPerRev);
    MotionCommand At(SimTime sinceStart, const MotorFeedback& start) override;
    bool Finished(SimTime sinceStart) const override;

private:
    double m_speed, m_deceleration, m_pulsesPerRev, m_stopTime;
};

}  // namespace hx::sim
