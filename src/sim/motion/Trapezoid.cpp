#include "sim/motion/Trapezoid.h"

#include <algorithm>
#include <cmath>

namespace hx::sim {

TrapezoidSettings TrapezoidSettings::FromRegisters(uint16_t runs, uint16_t direction, uint16_t dwellMs,
                                                   uint16_t backAndForth, uint16_t speed, uint16_t acceleration,
                                                   uint16_t distance) {
    TrapezoidSettings s;
    s.runs = std::max<int>(1, runs);
    s.direction = static_cast<int16_t>(direction) < 0 ? -1 : 1;
    s.dwellS = dwellMs / 1000.0;
    s.backAndForth = backAndForth != 0;
    s.speedRps = static_cast<int16_t>(speed) / 100.0;
    // A drive never accelerates infinitely: 0 counts as its slowest ramp.
    s.accelerationRps2 = std::max<int>(1, acceleration);
    s.distanceRev = distance / 100.0;
    return s;
}

Trapezoid::Trapezoid(const TrapezoidSettings& settings) : m_s(settings) {
    const double v = std::fabs(m_s.speedRps), a = m_s.accelerationRps2, d = m_s.distanceRev;
    if (v <= 0 || d <= 0) return;  // a move of nothing: only the dwells
    // A triangle when the distance is too short to reach the speed.
    if (v * v / a >= d) {
        m_peakSpeed = std::sqrt(d * a);
        m_rampTime = m_peakSpeed / a;
        m_cruiseTime = 0;
    } else {
        m_peakSpeed = v;
        m_rampTime = v / a;
        m_cruiseTime = (d - v * v / a) / v;
    }
    m_moveTime = 2 * m_rampTime + m_cruiseTime;
}

double Trapezoid::TotalTime() const { return m_s.runs * (m_moveTime + m_s.dwellS); }

void Trapezoid::Move(double t, double& p, double& v, double& acc) const {
    const double a = m_s.accelerationRps2;
    if (m_moveTime <= 0 || t <= 0) {
        p = v = acc = 0;
        return;
    }
    if (t >= m_moveTime) {
        p = m_s.distanceRev;
        v = acc = 0;
        return;
    }
    if (t < m_rampTime) {
        p = 0.5 * a * t * t;
        v = a * t;
        acc = a;
    } else if (t < m_rampTime + m_cruiseTime) {
        p = 0.5 * a * m_rampTime * m_rampTime + m_peakSpeed * (t - m_rampTime);
        v = m_peakSpeed;
        acc = 0;
    } else {
        const double r = m_moveTime - t;
        p = m_s.distanceRev - 0.5 * a * r * r;
        v = a * r;
        acc = -a;
    }
}

ProfilePoint Trapezoid::At(double t) const {
    ProfilePoint out;
    const double period = m_moveTime + m_s.dwellS;
    if (period <= 0 || t >= TotalTime()) {
        // Every run done: where the last one left the axis.
        int forward = 0;
        for (int k = 0; k < m_s.runs; ++k) forward += (m_s.backAndForth && k % 2) ? -1 : 1;
        out.positionRev = m_s.direction * forward * (m_moveTime > 0 ? m_s.distanceRev : 0);
        out.finished = true;
        return out;
    }
    const int run = static_cast<int>(t / period);
    int before = 0;  // net forward runs already done
    for (int k = 0; k < run; ++k) before += (m_s.backAndForth && k % 2) ? -1 : 1;
    const int sign = (m_s.backAndForth && run % 2) ? -1 : 1;
    double p, v, a;
    Move(t - run * period, p, v, a);
    const double base = before * (m_moveTime > 0 ? m_s.distanceRev : 0);
    out.positionRev = m_s.direction * (base + sign * p);
    out.speedRps = m_s.direction * sign * v;
    out.accelerationRps2 = m_s.direction * sign * a;
    return out;
}

}  // namespace hx::sim
