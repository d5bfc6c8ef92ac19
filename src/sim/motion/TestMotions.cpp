#include "sim/motion/TestMotions.h"

#include <algorithm>
#include <cmath>

namespace hx::sim {
namespace {

double Seconds(SimTime t) { return std::chrono::duration<double>(t).count(); }

}  // namespace

TrapezoidMotion::TrapezoidMotion(const TrapezoidSettings& settings, ShaperSettings shaper, double pulsesPerRev)
    : m_settings(settings), m_profile(settings), m_shaperSettings(std::move(shaper)), m_pulsesPerRev(pulsesPerRev) {}

MotionCommand TrapezoidMotion::At(SimTime sinceStart, const MotorFeedback& start) {
    const double t = Seconds(sinceStart);
    const double period = m_profile.MoveTime() + m_settings.dwellS;
    const int run = period > 0 ? static_cast<int>(t / period) : 0;
    if (run != m_run && run < m_settings.runs) {
        m_run = run;
        if (m_shaperSettings) m_impulses = ShaperImpulses(m_shaperSettings());
        m_longestDelay = 0;
        for (const Impulse& i : m_impulses) m_longestDelay = std::max(m_longestDelay, i.delayS);
    }
    // The shaped command: the profile as the impulses repeat it, delayed and
    // weighted; before its start the profile rests where it begins.
    double position = 0, speed = 0;
    for (const Impulse& i : m_impulses) {
        const double at = t - i.delayS;
        if (at < 0) continue;
        const ProfilePoint p = m_profile.At(at);
        position += i.weight * p.positionRev;
        speed += i.weight * p.speedRps;
    }
    MotionCommand c;
    c.mode = RunMode::Position;
    c.position = start.positionPulses + position * m_pulsesPerRev;
    c.velocity = speed;
    return c;
}

bool TrapezoidMotion::Finished(SimTime sinceStart) const {
    return Seconds(sinceStart) >= m_profile.TotalTime() + m_longestDelay;
}

StopMotion::StopMotion(double speedRps, double decelerationRps2, double pulsesPerRev)
    : m_speed(speedRps),
      m_deceleration(std::max(1.0, decelerationRps2)),
      m_pulsesPerRev(pulsesPerRev),
      m_stopTime(std::fabs(speedRps) / std::max(1.0, decelerationRps2)) {}

MotionCommand StopMotion::At(SimTime sinceStart, const MotorFeedback& start) {
    const double t = std::min(Seconds(sinceStart), m_stopTime);
    const double sign = m_speed < 0 ? -1.0 : 1.0;
    MotionCommand c;
    c.mode = RunMode::Position;
    c.velocity = m_speed - sign * m_deceleration * t;
    c.position = start.positionPulses + (m_speed * t - sign * m_deceleration * t * t / 2) * m_pulsesPerRev;
    return c;
}

bool StopMotion::Finished(SimTime sinceStart) const { return Seconds(sinceStart) > m_stopTime; }

}  // namespace hx::sim
