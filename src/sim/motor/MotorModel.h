#pragma once
// A servo motor on its machine, with the drive's three cascaded loops as
// the firmware runs them on its control tick, on the drive's own parameters.
//
// Mechanics and winding: the linear plant of Plant.h (the rotor, the load's
// inertia and modes from Machine.h, the q-axis winding), stepped exactly
// over each tick; Coulomb friction on the machine's mean motion; a small
// broadband torque disturbance at the rotor, which is what makes a motor at
// standstill jitter and lets the resonance show in a spectrum even when
// nothing moves. The bus is a capacitor behind a mains rectifier, so it sags
// and ripples at 100 Hz under load and rises when the motor brakes.
// Sensing: a 20-bit encoder (command pulses are a coarser scale of it), a
// magnetic single-turn encoder, current sensors with noise.
// Loops (core/protocol/ServoParameters.h gives each parameter's meaning):
// position (P with smoothed, filtered speed feed-forward and torque
// feed-forward) -> speed (PI on the encoder's speed) -> torque filter ->
// four notches -> current limit -> current (PI with back-EMF compensation).
//
// Faults: a speed beyond the over-speed level, or a speed loop that rings
// (its torque reference slamming from one limit to the other, again and
// again), makes the drive cut the torque at once (it shorts the winding)
// and report the cause (Tripped, Ringing) until a fault clear (ResetTrip).
//
// Units inside are SI (rad, rad/s, A, V, N m); Signals() gives the words
// the drive's sampling engine records.

#include <array>
#include <cstdint>

#include "core/protocol/ServoParameters.h"
#include "sim/motor/Machine.h"
#include "sim/motor/MotionSource.h"
#include "sim/motor/Plant.h"
#include "sim/motor/ServoLoops.h"
#include "sim/motor/Sources.h"

namespace hx::sim {

struct MotorParameters {
    MotorConstants motor;
    double torqueNoise = 0.004;  // N m rms per control tick
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
    double accelerationFilterHz = 300;  // the acceleration signals' smoothing
};

// The loops' discrete coefficients and states, as the truth reads them.
struct LoopBlocks {
    double positionGain = 0;     // 1/s
    double speedFeedforward = 0;
    double torqueFeedforward = 0;  // A per rad/s^2 of command acceleration
    MovingAverage feedforwardAverage;
    FirstOrder feedforwardFilter;
    SpeedPi speed;
    FirstOrder torqueFilter;
    std::array<Biquad, hx::servo::kNotchCount> notches;
    int activeNotches = 0;  // the first ones in `notches` that are on
    CurrentPi current;
    double emfCompensation = 0;  // V per rad/s of speed feedback
    FirstOrder speedDetection;
    double overSpeed = 0;        // rad/s
};

class MotorModel {
public:
    static constexpr double kTick = hx::servo::kControlPeriod;  // s: control tick, 20 kHz

    // The servo settings start as the factory's (KRV4 layout).
    explicit MotorModel(MotorParameters p = {}, MachineSpec machine = {.lowHz = 0}, unsigned seed = 1);

    const MotorParameters& Parameters() const { return m_p; }
    const MachineSpec& Machine() const { return m_machine; }
    const Plant& Mechanics() const { return m_plant; }
    const LoopBlocks& Loops() const { return m_loops; }
    const hx::servo::Settings& Servo() const { return m_servo; }

    // New loop settings, from the next tick on; the loops keep their states.
    void SetServo(const hx::servo::Settings& settings);

    // A random torque the drive adds to the current reference while it
    // analyses the machine's frequency response: a random sequence of
    // +/- amplitude (A), holding each value for `hold` ticks. 0 ends it.
    void SetExcitation(double amplitude, int hold = 5);

    // One control tick under a command.
    void Step(const MotionCommand& command);

    // Places motor and load at rest (or moving together at a speed) at a
    // position, loops settled, as after a long stretch of following.
    void Settle(double positionPulses, double speedRps);

    // The drive cut the torque (over-speed or a ringing loop); a fault clear
    // puts it back in service.
    bool Tripped() const { return m_tripped; }
    void ResetTrip();
    // The causes, now: the speed beyond its level, the loop ringing.
    bool OverSpeedNow() const { return m_overSpeedNow; }
    bool Ringing() const { return m_flips >= kRingingFlips; }

    MotorFeedback Feedback() const;
    // The 16 sources as the sampling engine records them, indexed by source
    // bit. Draws fresh sensor noise for the current readings.
    std::array<int16_t, kSourceCount> Signals();
    // The speed feedback in 0.01 rps before it is made a word.
    double SpeedFeedbackCentiRps() const;
    double BusVolts() const { return m_vbus; }
    // The machine's mean speed (its rigid motion, swings aside).
    double LoadSpeedRps() const;

    // The torque reference swinging between its limits this many times,
    // each within kRingingWindowTicks of the last, is a ringing loop.
    static constexpr int kRingingFlips = 16;
    static constexpr int kRingingWindowTicks = 1000;  // 50 ms

private:
    double Noise(double rms);
    uint64_t Random();
    void WatchRinging(double currentRef);

    MotorParameters m_p;
    MachineSpec m_machine;
    Plant m_plant;
    hx::servo::Settings m_servo;
    LoopBlocks m_loops;
    uint64_t m_rng = 0;
    double m_accLowPass = 0;
    double m_mainsCos = 1, m_mainsSin = 0, m_mainsStepCos = 1, m_mainsStepSin = 0;

    Plant::State m_x{};
    double m_vbus = 0;
    // Sensing and loops.
    int64_t m_encoder = 0, m_encoderPrev = 0;
    double m_speedFb = 0;      // rad/s, filtered
    double m_speedRef = 0;     // rad/s
    double m_currentRef = 0;   // A
    double m_currentMeas = 0;  // A
    double m_voltage = 0;      // V applied
    double m_ffSpeed = 0;      // rad/s, the smoothed command speed of the last tick
    double m_accRef = 0, m_accFb = 0, m_prevSpeedRef = 0, m_prevSpeedFb = 0;  // rad/s^2
    int64_t m_commandPulses = 0;
    RunMode m_mode = RunMode::Holding;
    double m_excitation = 0, m_excitationNow = 0;
    int m_excitationHold = 5, m_excitationLeft = 0;
    // Faults.
    bool m_tripped = false, m_overSpeedNow = false;
    int m_flips = 0, m_lastSide = 0;
    int64_t m_tick = 0, m_lastFlip = 0;
};

}  // namespace hx::sim
