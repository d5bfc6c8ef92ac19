#include "sim/motor/Plant.h"

#include <cmath>
#include <numbers>

namespace hx::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

using Matrix = std::vector<double>;  // square, row-major

Matrix Multiply(const Matrix& a, const Matrix& b, int n) {
    Matrix c(static_cast<size_t>(n * n), 0.0);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k) {
            const double aik = a[i * n + k];
            if (aik == 0) continue;
            for (int j = 0; j < n; ++j) c[i * n + j] += aik * b[k * n + j];
        }
    return c;
}

// e^M by scaling and squaring with a Taylor series: M is small once
// scaled, so twenty terms are exact to rounding.
Matrix Exponential(Matrix m, int n) {
    double norm = 0;
    for (int i = 0; i < n; ++i) {
        double row = 0;
        for (int j = 0; j < n; ++j) row += std::abs(m[i * n + j]);
        norm = std::max(norm, row);
    }
    int squarings = 0;
    while (norm > 0.25) {
        norm /= 2;
        ++squarings;
    }
    for (double& v : m) v = std::ldexp(v, -squarings);
    Matrix result(static_cast<size_t>(n * n), 0.0), term(static_cast<size_t>(n * n), 0.0);
    for (int i = 0; i < n; ++i) result[i * n + i] = term[i * n + i] = 1;
    for (int k = 1; k <= 20; ++k) {
        term = Multiply(term, m, n);
        for (double& v : term) v /= k;
        for (int i = 0; i < n * n; ++i) result[i] += term[i];
    }
    for (int s = 0; s < squarings; ++s) result = Multiply(result, result, n);
    return result;
}

}  // namespace

Plant::Plant(const MotorConstants& motor, const MachineSpec& machine, double tick)
    : m_motor(motor), m_modes(ModesOf(machine, motor.inertia)), m_viscous(machine.viscousNmsPerRad), m_tick(tick) {
    m_total = motor.inertia * (1 + InertiaRatioOf(machine));
    m_n = kFirstMode + 2 * static_cast<int>(m_modes.size());

    // The continuous system with its inputs appended as states that do not
    // change: its exponential over a tick holds A and B of the held inputs.
    const int n = m_n, size = n + kInputs;
    Matrix c(static_cast<size_t>(size * size), 0.0);
    auto at = [&c, size](int r, int col) -> double& { return c[r * size + col]; };
    const int volts = n, rotorTorque = n + 1, meanTorque = n + 2;
    const double l = motor.inductance;
    // L di/dt = u - R i - Ke (ω0 + Σv)
    at(kCurrent, kCurrent) = -motor.resistance / l;
    at(kCurrent, kSpeed) = -motor.backEmf / l;
    at(kCurrent, volts) = 1 / l;
    at(kAngle, kSpeed) = 1;
    // J dω0/dt = Kt i + rotor torque + mean torque - b ω0
    at(kSpeed, kCurrent) = motor.torqueConstant / m_total;
    at(kSpeed, kSpeed) = -m_viscous / m_total;
    at(kSpeed, rotorTorque) = 1 / m_total;
    at(kSpeed, meanTorque) = 1 / m_total;
    for (size_t j = 0; j < m_modes.size(); ++j) {
        const Mode& mode = m_modes[j];
        const int q = kFirstMode + 2 * static_cast<int>(j), v = q + 1;
        const double w = kTwoPi * mode.hz;
        at(kCurrent, v) = -motor.backEmf / l;
        at(q, v) = 1;
        at(v, q) = -w * w;
        at(v, v) = -2 * mode.damping * w;
        at(v, kCurrent) = mode.residue * motor.torqueConstant;
        at(v, rotorTorque) = mode.residue;
    }
    for (double& v : c) v *= tick;
    const Matrix e = Exponential(c, size);
    for (int r = 0; r < n; ++r) {
        for (int col = 0; col < n; ++col) m_ad[r * kMaxStates + col] = e[r * size + col];
        for (int in = 0; in < kInputs; ++in) m_bd[r * kInputs + in] = e[r * size + n + in];
    }
}

void Plant::Step(State& x, double volts, double rotorTorque, double meanTorque) const {
    State next;
    const int n = m_n;
    for (int r = 0; r < n; ++r) {
        const double* a = &m_ad[r * kMaxStates];
        const double* b = &m_bd[r * kInputs];
        double v = b[0] * volts + b[1] * rotorTorque + b[2] * meanTorque;
        for (int col = 0; col < n; ++col) v += a[col] * x[col];
        next[r] = v;
    }
    for (int r = 0; r < n; ++r) x[r] = next[r];
}

double Plant::RotorAngle(const State& x) const {
    double a = x[kAngle];
    for (int q = kFirstMode; q < m_n; q += 2) a += x[q];
    return a;
}

double Plant::RotorSpeed(const State& x) const {
    double w = x[kSpeed];
    for (int v = kFirstMode + 1; v < m_n; v += 2) w += x[v];
    return w;
}

std::complex<double> Plant::Admittance(double hz) const {
    const std::complex<double> s(0, kTwoPi * hz);
    std::complex<double> y = 1.0 / (m_total * s + m_viscous);
    for (const Mode& mode : m_modes) {
        const double w = kTwoPi * mode.hz;
        y += mode.residue * s / (s * s + 2 * mode.damping * w * s + w * w);
    }
    return y;
}

}  // namespace hx::sim
