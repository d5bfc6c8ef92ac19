#pragma once
// The linear part of the motor and its machine: the q-axis winding and the
// mechanics of Machine.h, as one state-space system driven by the winding's
// voltage, a torque at the rotor (noise) and a torque on the machine's mean
// motion (Coulomb friction).
//
// State: [i, θ0, ω0, q1, v1, ..., qn, vn]: the winding's current, the
// machine's mean angle and speed, and each mode's swing as the rotor feels
// it. The rotor's angle is θ0 + Σq, its speed ω0 + Σv.
//
// The drive holds the voltage over each control tick, so the plant is
// stepped exactly over a tick (zero-order hold, by the matrix exponential
// computed once): no integration error, and the loop's truth can use the
// very same matrices.

#include <array>
#include <complex>
#include <vector>

#include "sim/motor/Machine.h"

namespace hx::sim {

// What the motor is made of.
struct MotorConstants {
    double inertia = 1.2e-4;      // kg m^2, the rotor
    double torqueConstant = 0.6;  // N m/A
    double resistance = 1.0;      // ohm
    double inductance = 2.5e-3;   // H
    double backEmf = 0.4;         // V s/rad
};

class Plant {
public:
    static constexpr int kMaxStates = 3 + 2 * (kMaxResonances + 1);
    static constexpr int kInputs = 3;  // voltage, torque at the rotor, torque on the mean motion
    enum : int { kCurrent = 0, kAngle = 1, kSpeed = 2, kFirstMode = 3 };
    using State = std::array<double, kMaxStates>;

    Plant(const MotorConstants& motor, const MachineSpec& machine, double tick);

    const MotorConstants& Motor() const { return m_motor; }
    const std::vector<Mode>& Modes() const { return m_modes; }
    double TotalInertia() const { return m_total; }
    double Viscous() const { return m_viscous; }
    int States() const { return m_n; }
    double Tick() const { return m_tick; }

    // One tick under a held voltage and disturbance torques.
    void Step(State& x, double volts, double rotorTorque, double meanTorque) const;
    double RotorAngle(const State& x) const;
    double RotorSpeed(const State& x) const;

    // The rotor's speed per torque at the rotor, continuous time (rad/s per N m).
    std::complex<double> Admittance(double hz) const;

    // The discrete system: x(k+1) = A x(k) + B [u, rotor torque, mean torque](k).
    double A(int row, int col) const { return m_ad[row * kMaxStates + col]; }
    double B(int row, int input) const { return m_bd[row * kInputs + input]; }

private:
    MotorConstants m_motor;
    std::vector<Mode> m_modes;
    double m_total = 0, m_viscous = 0, m_tick = 0;
    int m_n = 3;
    std::array<double, kMaxStates * kMaxStates> m_ad{};
    std::array<double, kMaxStates * kInputs> m_bd{};
};

}  // namespace hx::sim
