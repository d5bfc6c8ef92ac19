#pragma once
// The drive's loops as its firmware runs them on the control tick, from the
// parameters' meaning in core/protocol/ServoParameters.h: each block keeps
// its state from tick to tick and can say its own frequency response on the
// tick (z = e^(jωT)), which is how the loop's truth is computed without
// approximation.

#include <array>
#include <complex>
#include <vector>

#include "core/protocol/ServoParameters.h"

namespace hx::sim {

using Complex = std::complex<double>;

// z^-1 at a frequency on a tick.
Complex UnitDelay(double hz, double tick);

// A first-order low-pass, y += a·(x − y) with a = 1 − e^(−T/τ): the exact
// step response of 1/(1 + τs) at the tick.
struct FirstOrder {
    double a = 1;
    double y = 0;
    void SetTimeConstant(double tau, double tick);
    double Step(double x) { return y += a * (x - y); }
    Complex Response(double hz, double tick) const;
};

// A biquad in transposed direct form II.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double s1 = 0, s2 = 0;
    double Step(double x) {
        const double y = b0 * x + s1;
        s1 = b1 * x - a1 * y + s2;
        s2 = b2 * x - a2 * y;
        return y;
    }
    Complex Response(double hz, double tick) const;
};
// The notch by the bilinear transform prewarped at its frequency; a notch
// that is off passes its input unchanged.
Biquad NotchBiquad(const hx::servo::Notch& notch, double tick);

// The speed loop's PI: out = Kvp·e + I, I += Kvp·(T/Ti)·e.
struct SpeedPi {
    double kvp = 0, ki = 0;  // ki = Kvp·T/Ti, 0 with the integral off
    double integral = 0;
    Complex Response(double hz, double tick) const;
};

// The current loop's PI with back-EMF compensation: u = Kp·e + I + comp,
// I += Ki·T·e; the voltage is limited and the integral stops at the limit.
struct CurrentPi {
    double kp = 0, kiT = 0;
    double integral = 0;
    double Step(double error, double compensation, double limit) {
        const double next = integral + kiT * error;
        const double wanted = kp * error + next + compensation;
        if (wanted > limit) return limit;
        if (wanted < -limit) return -limit;
        integral = next;
        return wanted;
    }
};

// A moving average of the last n ticks (n = 1: none), in constant time.
class MovingAverage {
public:
    void SetLength(int ticks);
    double Step(double x);
    void Reset(double x);
    int Length() const { return m_n; }

private:
    std::vector<double> m_ring{0.0};
    int m_n = 1, m_at = 0;
    double m_sum = 0;
};

}  // namespace hx::sim
