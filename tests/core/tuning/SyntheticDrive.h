#pragma once
// A drive's loops around a known machine, stepped on the drive's 20 kHz
// tick and sampled as its capture samples (16-bit words in the drive's
// units), with the exact frequency responses of the same machine beside:
// the synthetic data with known answers the tuning's tests run on.

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "core/runtest/RunFields.h"
#include "core/tuning/Excitation.h"
#include "core/tuning/ResponseEstimate.h"
#include "core/tuning/ServoLoop.h"
#include "sim/motion/Trapezoid.h"

namespace synth {

using hx::tuning::Complex;
using hx::tuning::kPi;

struct Machine {
    double jm = 1.2e-4;         // rotor, kg m^2
    double ratio = 2.0;         // load over rotor
    double resonanceHz = 0;     // coupling resonance; 0: the load is rigid
    double damping = 0.03;
    double machineHz = 0;       // a part swinging on the load, its own frequency; 0: none
    double machineRatio = 1.0;  // its inertia over the rotor's
    double machineDamping = 0.04;
    double kt = 0.6;            // N m / A
    double viscous = 2e-4;      // N m s / rad, on the load
    double coulomb = 0;         // N m, on the load
    double currentLoopHz = 1000;
    double torqueNoise = 0.002;  // N m rms per tick
    int encoderBits = 20;
    double jl() const { return ratio * jm; }
};

inline constexpr double kTick = 50e-6;
inline constexpr int kSubsteps = 4;
// The hold of the torque over a tick and the encoder difference: what is
// left after the stepped lags, as the stepped drive shows it (flat within
// 2 degrees from 200 Hz to 1.6 kHz).
inline constexpr double kDelayTicks = 0.85;

// Exact responses at hz, in SI. Motor speed over motor torque from the
// three inertias' impedances.
inline Complex MotorAdmittance(const Machine& m, double hz) {
    const Complex s(0.0, 2 * kPi * hz);
    // Velocities of motor, load, part: Y = Z^-1 e1.
    const double jl = m.jl();
    const double kc = m.resonanceHz > 0 ? std::pow(2 * kPi * m.resonanceHz, 2) * m.jm * jl / (m.jm + jl) : 0;
    const double cc = m.resonanceHz > 0 ? 2 * m.damping * std::sqrt(kc * m.jm * jl / (m.jm + jl)) : 0;
    const double jv = m.machineRatio * m.jm;
    const double kv = m.machineHz > 0 ? std::pow(2 * kPi * m.machineHz, 2) * jv : 0;
    const double cv = m.machineHz > 0 ? 2 * m.machineDamping * std::sqrt(kv * jv) : 0;
    const Complex zc = cc + kc / s, zv = cv + kv / s;
    if (m.resonanceHz <= 0) {
        // Motor and load one body.
        const Complex a = (m.jm + jl) * s + m.viscous + (m.machineHz > 0 ? zv : 0.0);
        if (m.machineHz <= 0) return 1.0 / a;
        const Complex d = jv * s + zv;
        return d / (a * d - zv * zv);
    }
    std::array<std::array<Complex, 3>, 3> z{};
    z[0][0] = m.jm * s + zc;
    z[0][1] = z[1][0] = -zc;
    z[1][1] = jl * s + zc + m.viscous + (m.machineHz > 0 ? zv : 0.0);
    z[1][2] = z[2][1] = m.machineHz > 0 ? -zv : 0.0;
    z[2][2] = m.machineHz > 0 ? jv * s + zv : 1.0;
    // Cramer's rule for the first unknown.
    auto det = [](const std::array<std::array<Complex, 3>, 3>& a) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    auto z1 = z;
    z1[0] = {1.0, z[0][1], z[0][2]};
    z1[1] = {0.0, z[1][1], z[1][2]};
    z1[2] = {0.0, z[2][1], z[2][2]};
    return det(z1) / det(z);
}

inline constexpr double kSpeedFilterHz = 1500;

// A first-order lag as the drive steps it each tick: y += (x - y) (1 - e^-wT).
inline Complex DiscreteLag(double cornerHz, double hz) {
    const double a = 1 - std::exp(-2 * kPi * cornerHz * kTick);
    const Complex z1 = std::exp(Complex(0, -2 * kPi * hz * kTick));
    return a / (1.0 - (1 - a) * z1);
}

// Speed feedback over torque-current reference, (rad/s) / A: the current
// loop and the speed filter as stepped, the motor between them.
inline Complex TruePlant(const Machine& m, double hz) {
    const Complex s(0.0, 2 * kPi * hz);
    return DiscreteLag(m.currentLoopHz, hz) * DiscreteLag(kSpeedFilterHz, hz) * m.kt * MotorAdmittance(m, hz) *
           std::exp(-s * kDelayTicks * kTick);
}

struct Biquad;
inline Complex NotchAt(const hx::tuning::Notch& n, double hz);

// The speed controller as the drive steps it (times Jm / Kt, like
// SpeedControllerResponse): the integral summed each tick, the torque
// filter and the notches by the bilinear transform.
inline Complex TrueController(const hx::tuning::ServoLoop& loop, double hz) {
    const Complex z1 = std::exp(Complex(0, -2 * kPi * hz * kTick));
    Complex c = 1.0;
    if (loop.integralOn && loop.integralTimeS > 0) c += kTick / loop.integralTimeS / (1.0 - z1);
    c *= 2 * kPi * loop.speedGainHz * (1 + loop.inertiaRatio);
    if (loop.torqueFilterS > 0) {
        const double k = 2 * loop.torqueFilterS / kTick;
        c *= (1.0 + z1) / ((1 + k) + (1 - k) * z1);
    }
    for (const hx::tuning::Notch& n : loop.notches) c *= NotchAt(n, hz);
    return c;
}

// The speed loop's open loop with these parameters.
inline Complex TrueOpenLoop(const Machine& m, const hx::tuning::ServoLoop& loop, double hz) {
    return TrueController(loop, hz) * m.jm / m.kt * TruePlant(m, hz);
}

inline hx::tuning::FrequencyResponse TrueResponse(const Machine& m, const hx::tuning::ServoLoop& loop, double lowHz,
                                                   double highHz, int n = 2000) {
    hx::tuning::FrequencyResponse r;
    r.hz = hx::tuning::LogFrequencies(lowHz, highHz, n);
    for (double f : r.hz) r.value.push_back(TrueOpenLoop(m, loop, f));
    return r;
}

// A biquad notch, prewarped to its centre, as a drive runs it.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    static Biquad Notch(const hx::tuning::Notch& n) {
        Biquad q;
        if (!n.Active()) return q;
        const double w0 = 2 * kPi * n.centerHz;
        const double k = w0 / std::tan(w0 * kTick / 2);
        const double zeta = n.poleDamping, g = n.centerGain;
        const double a0 = k * k + 2 * zeta * w0 * k + w0 * w0;
        q.b0 = (k * k + 2 * g * zeta * w0 * k + w0 * w0) / a0;
        q.b1 = (2 * w0 * w0 - 2 * k * k) / a0;
        q.b2 = (k * k - 2 * g * zeta * w0 * k + w0 * w0) / a0;
        q.a1 = (2 * w0 * w0 - 2 * k * k) / a0;
        q.a2 = (k * k - 2 * zeta * w0 * k + w0 * w0) / a0;
        return q;
    }
    double operator()(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

inline Complex NotchAt(const hx::tuning::Notch& n, double hz) {
    const Biquad q = Biquad::Notch(n);
    const Complex z1 = std::exp(Complex(0, -2 * kPi * hz * kTick));
    return (q.b0 + q.b1 * z1 + q.b2 * z1 * z1) / (1.0 + q.a1 * z1 + q.a2 * z1 * z1);
}

inline int16_t Word(double v) { return static_cast<int16_t>(std::clamp(std::round(v), -32768.0, 32767.0)); }

// One drive with its motor on the machine.
class Drive {
public:
    Drive(Machine m, hx::tuning::ServoLoop loop, unsigned seed = 1) : m_m(m), m_loop(loop), m_rng(seed) {
        for (int i = 0; i < hx::tuning::kNotchCount; ++i) m_notch[i] = Biquad::Notch(loop.notches[i]);
        const double jl = m.jl();
        m_kc = m.resonanceHz > 0 ? std::pow(2 * kPi * m.resonanceHz, 2) * m.jm * jl / (m.jm + jl) : 0;
        m_cc = m.resonanceHz > 0 ? 2 * m.damping * std::sqrt(m_kc * m.jm * jl / (m.jm + jl)) : 0;
        m_jv = m.machineRatio * m.jm;
        m_kv = m.machineHz > 0 ? std::pow(2 * kPi * m.machineHz, 2) * m_jv : 0;
        m_cv = m.machineHz > 0 ? 2 * m.machineDamping * std::sqrt(m_kv * m_jv) : 0;
    }

    // One tick: position reference (rev) and its speed (rev/s) for the
    // feed-forward, and a torque current added to the reference (A).
    void Step(double refRev, double refRps, double injectA) {
        const double counts = std::ldexp(1.0, m_m.encoderBits);
        const double encoder = std::floor(m_thetaM / (2 * kPi) * counts);
        const double speed = (encoder - m_encoderPrev) / counts * 2 * kPi / kTick;
        m_encoderPrev = encoder;
        m_speedFb += (speed - m_speedFb) * (1 - std::exp(-2 * kPi * kSpeedFilterHz * kTick));
        const double thetaRev = encoder / counts;
        m_refRev = refRev;
        m_speedRef = m_loop.positionGainPerS * (refRev - thetaRev) * 2 * kPi + 0.3 * refRps * 2 * kPi;
        const double e = m_speedRef - m_speedFb;
        const double kp = 2 * kPi * m_loop.speedGainHz * m_m.jm * (1 + m_loop.inertiaRatio) / m_m.kt;
        if (m_loop.integralOn && m_loop.integralTimeS > 0) m_integral += e * kTick / m_loop.integralTimeS;
        double u = kp * (e + m_integral);
        if (m_loop.torqueFilterS > 0) {
            // y = (x + x1 + (k - 1) y1) / (k + 1), k = 2 tau / T
            const double k = 2 * m_loop.torqueFilterS / kTick;
            m_filtered = (u + m_filterIn + (k - 1) * m_filtered) / (k + 1);
            m_filterIn = u;
            u = m_filtered;
        }
        for (Biquad& q : m_notch) u = q(u);
        m_currentRef = u + injectA;
        m_current += (m_currentRef - m_current) * (1 - std::exp(-2 * kPi * m_m.currentLoopHz * kTick));
        const double torque = m_m.kt * m_current + m_m.torqueNoise * m_normal(m_rng);
        const double h = kTick / kSubsteps;
        for (int k = 0; k < kSubsteps; ++k) {
            double coupling = 0;
            if (m_m.resonanceHz > 0)
                coupling = m_kc * (m_thetaM - m_thetaL) + m_cc * (m_omegaM - m_omegaL);
            const double part = m_m.machineHz > 0 ? m_kv * (m_thetaL - m_thetaV) + m_cv * (m_omegaL - m_omegaV) : 0;
            const double friction = m_m.viscous * m_omegaL + m_m.coulomb * std::tanh(m_omegaL / 0.05);
            if (m_m.resonanceHz > 0) {
                m_omegaM += h * (torque - coupling) / m_m.jm;
                m_omegaL += h * (coupling - part - friction) / m_m.jl();
            } else {
                m_omegaM += h * (torque - part - friction) / (m_m.jm + m_m.jl());
                m_omegaL = m_omegaM;
            }
            if (m_m.machineHz > 0) m_omegaV += h * part / m_jv;
            m_thetaM += h * m_omegaM;
            m_thetaL += h * m_omegaL;
            m_thetaV += h * m_omegaV;
        }
    }

    // What the capture records, by source code.
    int16_t Sample(uint16_t code) const {
        switch (code) {
            case hx::tuning::kPositionReferenceSource: {
                const long pulses = std::lround(m_refRev * 10000);
                return static_cast<int16_t>(static_cast<uint16_t>(pulses & 0xFFFF));
            }
            case hx::tuning::kSpeedReferenceSource: return Word(m_speedRef / (2 * kPi) * 100);
            case hx::tuning::kSpeedFeedbackSource: return Word(m_speedFb / (2 * kPi) * 100);
            case hx::tuning::kTorqueCurrentSource: return Word(m_currentRef * 1000);
        }
        return 0;
    }
    double MotorRev() const { return m_thetaM / (2 * kPi); }

private:
    Machine m_m;
    hx::tuning::ServoLoop m_loop;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_normal{0.0, 1.0};
    std::array<Biquad, hx::tuning::kNotchCount> m_notch;
    double m_kc = 0, m_cc = 0, m_jv = 0, m_kv = 0, m_cv = 0;
    double m_thetaM = 0, m_omegaM = 0, m_thetaL = 0, m_omegaL = 0, m_thetaV = 0, m_omegaV = 0;
    double m_encoderPrev = 0, m_speedFb = 0, m_speedRef = 0, m_integral = 0, m_filtered = 0, m_filterIn = 0;
    double m_currentRef = 0, m_current = 0, m_refRev = 0;
};

// A trapezoid run as the simulated drive plays it: (position rev, speed rev/s) at t.
class Trapezoid {
public:
    explicit Trapezoid(const hx::runtest::VelocityFields& f)
        : m_profile({static_cast<int>(f.runs), 1, f.dwell / 1000.0, f.backAndForth != 0, std::abs(f.speed) / 100.0,
                     std::max(1.0, static_cast<double>(f.acceleration)), f.distance / 100.0}) {}
    std::pair<double, double> At(double t) const {
        const hx::sim::ProfilePoint p = m_profile.At(t);
        return {p.positionRev, p.speedRps};
    }

private:
    hx::sim::Trapezoid m_profile;
};

struct Capture {
    std::array<std::vector<float>, 4> channels;  // by the plan's codes
};

// Runs the drive through a capture plan: `records` captures one after the
// other (the motion goes on between them, as the wire's reading time
// passes), each `points` points `intervalUs` apart.
template <typename Excite>
std::vector<Capture> Record(Drive& drive, const hx::tuning::CapturePlan& plan, Excite excite, double settleS = 0.3,
                            double gapS = 0.05) {
    std::vector<Capture> out;
    double t = 0;
    const int every = std::max(1, static_cast<int>(std::lround(plan.intervalUs * 1e-6 / kTick)));
    auto run = [&](double seconds) {
        const long ticks = std::lround(seconds / kTick);
        for (long k = 0; k < ticks; ++k, t += kTick) excite(drive, t);
    };
    run(settleS);
    for (int r = 0; r < plan.records; ++r) {
        Capture c;
        for (int p = 0; p < plan.points; ++p) {
            for (int ch = 0; ch < 4; ++ch)
                if (plan.codes[ch]) c.channels[ch].push_back(drive.Sample(plan.codes[ch]));
            for (int k = 0; k < every; ++k, t += kTick) excite(drive, t);
        }
        out.push_back(std::move(c));
        run(gapS);
    }
    return out;
}

// The channel of code in each capture.
inline hx::tuning::Records Channel(const std::vector<Capture>& caps, const hx::tuning::CapturePlan& plan, uint16_t code) {
    hx::tuning::Records out;
    for (const Capture& c : caps)
        for (int ch = 0; ch < 4; ++ch)
            if (plan.codes[ch] == code) out.push_back(c.channels[ch]);
    return out;
}

}  // namespace synth
