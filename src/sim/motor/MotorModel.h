#pragma once
// A servo motor driving a load through a compliant coupling, with the
// drive's three cascaded loops, as the drive's firmware would run them on
// its control tick.
//
// Mechanics: two masses (motor rotor, load) joined by a spring and a
// damper, so the load has one lightly damped mode (the resonance) above an
// anti-resonance; friction on the load; a small broadband torque
// disturbance, which is what makes a motor at standstill jitter and what
// lets the resonance show in a spectrum even when nothing moves.
// Electrics: the q-axis winding (resistance, inductance, back EMF) fed by a
// PI current loop limited by the bus voltage; the bus is a capacitor behind
// a mains rectifier, so it sags and ripples at 100 Hz under load and rises
// when the motor brakes.
// Sensing: a 20-bit encoder (command pulses are a coarser scale of it), a
// magnetic single-turn encoder, current sensors with noise.
// Loops: position (P with speed feedforward) -> speed (PI on the filtered
// encoder speed) -> current (PI with back-EMF compensation).
//
// Units inside are SI (rad, rad/s, A, V, N m); Signals() gives the words
// the drive's sampling engine records.

#include <array>
#include <cstdint>
#include <random>

#include "sim/motor/MotionSource.h"
#include "sim/motor/Sources.h"

namespace hx::sim {

struct MotorParameters {
    // Mechanics.
    double motorInertia = 1.2e-4;  // kg m^2
    double loadInertia = 2.4e-4;   // kg m^2
    double resonanceHz = 300;      // the coupled mode, motor and load swinging against each other
    double dampingRatio = 0.02;
    // The machine the load moves: a part of it (a long arm, a tool on a
    // gantry) swings on its own compliance at a low frequency, which the
    // loops cannot hold down and a hard move leaves ringing. 0 Hz: none.
    double machineHz = 0;
    double machineInertia = 4e-4;  // kg m^2, as seen at the motor shaft
    double machineDampingRatio = 0.04;
    double coulombFriction = 0.02;  // N m, on the load
    double viscousFriction = 2e-4;  // N m s/rad, on the load
    double torqueNoise = 0.004;     // N m rms per control tick
    // Electrics.
    double torqueConstant = 0.6;  // N m/A
    double resistance = 1.0;      // ohm
    double inductance = 2.5e-3;   // H
    double backEmf = 0.4;         // V s/rad
    int polePairs = 5;
    double mainsVolts = 220;    // rms; the bus charges to its peak
    double mainsHz = 50;
    double busCapacitance = 1e-3;  // F
    double lineResistance = 0.5;   // ohm, mains and rectifier
    double idleWatts = 8;          // control electronics
    double brakeOnVolts = 380;     // braking resistor switches in above this
    double brakeOhms = 40;
    double peakCurrent = 4.2;     // A, the current loop's limit
    double currentNoise = 0.008;  // A rms on each current reading
    // Sensing.
    int encoderCounts = 1 << 20;  // per revolution
    int magneticCounts = 16384;   // per revolution
    double pulsesPerRev = 10000;  // command pulses per revolution
    // Loops.
    double currentBandwidthHz = 1000;
    double speedBandwidthHz = 40;
    double speedIntegralHz = 12;
    double positionGain = 120;      // 1/s
    double speedFeedforward = 0.8;  // share of the command speed fed forward
    double speedFilterHz = 1500;
    double accelerationFilterHz = 300;
};

class MotorModel {
public:
    static constexpr double kTick = 50e-6;  // s: control tick, 20 kHz

    explicit MotorModel(MotorParameters p = {}, unsigned seed = 1);

    const MotorParameters& Parameters() const { return m_p; }

    // Current-loop gains as the drive holds them: Kp in V/A, Ki in V/(A s),
    // Kc the share of back EMF compensated (1 = all). Defaults follow the
    // current bandwidth.
    void SetCurrentGains(double kp, double ki, double kc);
    double CurrentKp() const { return m_kp; }
    double CurrentKi() const { return m_ki; }
    double CurrentKc() const { return m_kc; }

    // A random torque the drive adds to the current reference while it
    // analyses the machine's frequency response: a random sequence of
    // +/- amplitude (A), holding each value for `hold` ticks. 0 ends it.
    void SetExcitation(double amplitude, int hold = 5);

    // One control tick under a command.
    void Step(const MotionCommand& command);

    // Places motor and load at rest (or moving together at a speed) at a
    // position, loops settled, as after a long stretch of following.
    void Settle(double positionPulses, double speedRps);

    MotorFeedback Feedback() const;
    // The 16 sources as the sampling engine records them, indexed by source
    // bit. Draws fresh sensor noise for the current readings.
    std::array<int16_t, kSourceCount> Signals();
    // The speed feedback in 0.01 rps before it is made a word.
    double SpeedFeedbackCentiRps() const;
    double BusVolts() const { return m_vbus; }
    double LoadSpeedRps() const;

private:
    double Noise(double rms) { return rms * m_normal(m_rng); }

    MotorParameters m_p;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_normal{0.0, 1.0};

    // Derived constants.
    double m_stiffness = 0, m_damping = 0;
    double m_machineStiffness = 0, m_machineDamping = 0;
    double m_kp = 0, m_ki = 0, m_kc = 1;
    double m_kvp = 0, m_kvi = 0;
    double m_rlDecay = 0;
    double m_speedLowPass = 0, m_accLowPass = 0;

    // Plant.
    double m_thetaM = 0, m_omegaM = 0, m_thetaL = 0, m_omegaL = 0;
    double m_thetaV = 0, m_omegaV = 0;  // the swinging part of the machine
    double m_iq = 0, m_vbus = 0, m_mainsPhase = 0;
    // Sensing and loops.
    int64_t m_encoder = 0, m_encoderPrev = 0;
    double m_speedFb = 0;      // rad/s, filtered
    double m_speedRef = 0;     // rad/s
    double m_speedInt = 0;     // A
    double m_currentRef = 0;   // A
    double m_currentMeas = 0;  // A
    double m_voltInt = 0;      // V
    double m_voltage = 0;      // V applied
    double m_accRef = 0, m_accFb = 0, m_prevSpeedRef = 0, m_prevSpeedFb = 0;  // rad/s^2
    int64_t m_commandPulses = 0;
    RunMode m_mode = RunMode::Holding;
    double m_excitation = 0, m_excitationNow = 0;
    int m_excitationHold = 5, m_excitationLeft = 0;
};

}  // namespace hx::sim
