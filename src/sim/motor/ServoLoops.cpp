#include "sim/motor/ServoLoops.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hx::sim {
namespace {
constexpr double kTwoPi = 2 * std::numbers::pi;
}

Complex UnitDelay(double hz, double tick) { return std::polar(1.0, -kTwoPi * hz * tick); }

void FirstOrder::SetTimeConstant(double tau, double tick) { a = tau > 0 ? 1 - std::exp(-tick / tau) : 1.0; }

Complex FirstOrder::Response(double hz, double tick) const { return a / (1.0 - (1 - a) * UnitDelay(hz, tick)); }

Complex Biquad::Response(double hz, double tick) const {
    const Complex z1 = UnitDelay(hz, tick), z2 = z1 * z1;
    return (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
}

Biquad NotchBiquad(const hx::servo::Notch& n, double tick) {
    Biquad q;
    if (!n.on) return q;
    const double w0 = kTwoPi * n.frequencyHz;
    const double k = w0 / std::tan(w0 * tick / 2);
    const double kk = k * k, ww = w0 * w0;
    const double den = kk + 2 * n.zeta * w0 * k + ww;
    q.b0 = (kk + 2 * n.depth * n.zeta * w0 * k + ww) / den;
    q.b1 = (2 * ww - 2 * kk) / den;
    q.b2 = (kk - 2 * n.depth * n.zeta * w0 * k + ww) / den;
    q.a1 = q.b1;
    q.a2 = (kk - 2 * n.zeta * w0 * k + ww) / den;
    return q;
}

Complex SpeedPi::Response(double hz, double tick) const { return kvp + ki / (1.0 - UnitDelay(hz, tick)); }

void MovingAverage::SetLength(int ticks) {
    ticks = std::max(1, ticks);
    if (ticks == m_n) return;
    const double last = m_ring[static_cast<size_t>((m_at + m_n - 1) % m_n)];
    m_n = ticks;
    Reset(last);
}

void MovingAverage::Reset(double x) {
    m_ring.assign(static_cast<size_t>(m_n), x);
    m_sum = x * m_n;
    m_at = 0;
}

double MovingAverage::Step(double x) {
    if (m_n == 1) return m_ring[0] = x;
    m_sum += x - m_ring[static_cast<size_t>(m_at)];
    m_ring[static_cast<size_t>(m_at)] = x;
    if (++m_at == m_n) {
        // Once round the ring the sum starts afresh, so rounding never piles up.
        m_at = 0;
        m_sum = 0;
        for (double v : m_ring) m_sum += v;
    }
    return m_sum / m_n;
}

}  // namespace hx::sim
