#include "sim/motor/MotorModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hx::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// Coulomb friction grows to its full value over this speed (rad/s) either
// side of rest: a slope the tick can follow, where a step would chatter.
constexpr double kFrictionBand = 0.05;
// The torque reference counts as at its limit from this share of it.
constexpr double kLimitShare = 0.95;

int16_t Saturate(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}
// A counter keeps its low 16 bits when it outgrows a word.
int16_t Wrap(int64_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFF)); }

// One pole low-pass coefficient for a tick.
double LowPass(double hz) { return 1 - std::exp(-kTwoPi * hz * MotorModel::kTick); }

}  // namespace

MotorModel::MotorModel(MotorParameters p, MachineSpec machine, unsigned seed)
    : m_p(p), m_machine(std::move(machine)), m_plant(m_p.motor, m_machine, kTick),
      m_rng(0x9E3779B97F4A7C15ull * (seed + 1)) {
    m_accLowPass = LowPass(m_p.accelerationFilterHz);
    m_loops.speedDetection.a = LowPass(hx::servo::kSpeedDetectionHz);
    m_mainsStepCos = std::cos(kTwoPi * m_p.mainsHz * kTick);
    m_mainsStepSin = std::sin(kTwoPi * m_p.mainsHz * kTick);
    m_vbus = m_p.mainsVolts * std::numbers::sqrt2;
    SetServo(hx::servo::Decode(hx::servo::FactoryWords(hx::servo::Model::Krv4)));
}

// The loops read their parameters on every tick; recomputing the
// coefficients only when a parameter changed is the same and costs nothing
// on the ticks in between (the parameter store counts its changes, and the
// motor part hands a change over before the next tick runs).
void MotorModel::SetServo(const hx::servo::Settings& s) {
    m_servo = s;
    const MotorConstants& m = m_p.motor;
    LoopBlocks& l = m_loops;
    l.positionGain = s.positionGain;
    l.speedFeedforward = s.speedFeedforward;
    l.torqueFeedforward = s.torqueFeedforward * m.inertia * (1 + s.inertiaRatio) / m.torqueConstant;
    l.feedforwardAverage.SetLength(static_cast<int>(std::lround(s.feedforwardSmoothing / kTick)));
    l.feedforwardFilter.SetTimeConstant(s.speedFeedforwardFilter, kTick);
    l.speed.kvp = hx::servo::SpeedProportionalGain(s.speedLoopHz, s.inertiaRatio, m.inertia, m.torqueConstant);
    l.speed.ki = s.integralOn ? l.speed.kvp * kTick / s.speedIntegralTime : 0.0;
    if (!s.integralOn) l.speed.integral = 0;
    l.torqueFilter.SetTimeConstant(s.torqueFilter, kTick);
    l.activeNotches = 0;
    for (const hx::servo::Notch& n : s.notches) {
        if (!n.on) continue;
        Biquad& q = l.notches[static_cast<size_t>(l.activeNotches++)];
        const double s1 = q.s1, s2 = q.s2;
        q = NotchBiquad(n, kTick);
        q.s1 = s1, q.s2 = s2;
    }
    l.current.kp = s.currentKp;
    l.current.kiT = s.currentKi * kTick;
    l.emfCompensation = s.currentKc * m.backEmf;
    l.overSpeed = s.overSpeed;
}

void MotorModel::SetExcitation(double amplitude, int hold) {
    m_excitation = amplitude;
    m_excitationHold = std::max(1, hold);
    m_excitationLeft = 0;
    m_excitationNow = 0;
}

void MotorModel::ResetTrip() {
    m_tripped = false;
    m_flips = 0;
    m_lastSide = 0;
}

void MotorModel::Settle(double positionPulses, double speedRps) {
    m_commandPulses = std::llround(positionPulses);
    const double theta = static_cast<double>(m_commandPulses) / m_p.pulsesPerRev * kTwoPi;
    const double omega = kTwoPi * speedRps;
    m_x.fill(0);
    m_x[Plant::kAngle] = theta;
    m_x[Plant::kSpeed] = omega;
    // The winding carries what holds the speed against viscous friction.
    m_encoder = m_encoderPrev = static_cast<int64_t>(std::floor(theta / kTwoPi * m_p.encoderCounts));
    m_speedFb = m_speedRef = m_prevSpeedFb = m_prevSpeedRef = omega;
    m_loops.speedDetection.y = omega;
    m_ffSpeed = omega;
    m_loops.feedforwardAverage.Reset(omega);
    m_loops.feedforwardFilter.y = m_loops.speedFeedforward * omega;
    m_accRef = m_accFb = 0;
    m_currentRef = m_currentMeas = 0;
    m_loops.speed.integral = 0;
    m_loops.torqueFilter.y = 0;
    for (Biquad& q : m_loops.notches) q.s1 = q.s2 = 0;
    m_loops.current.integral = 0;
    m_voltage = 0;
    m_flips = 0;
    m_lastSide = 0;
}

uint64_t MotorModel::Random() {
    // splitmix64: the noise needs speed, not a long period.
    uint64_t z = (m_rng += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Near-normal noise from four uniform 16-bit draws of one random word:
// sensor and torque noise need its spread, not its far tails.
double MotorModel::Noise(double rms) {
    const uint64_t r = Random();
    const double sum = static_cast<double>((r & 0xFFFF) + ((r >> 16) & 0xFFFF) + ((r >> 32) & 0xFFFF) + (r >> 48));
    constexpr double kMean = 2 * 65535.0, kSpread = 65536.0 / 1.7320508075688772;  // 4 x var(U)= 65536^2/3
    return rms * (sum - kMean) / kSpread;
}

void MotorModel::WatchRinging(double currentRef) {
    const double limit = kLimitShare * m_p.peakCurrent;
    const int side = currentRef >= limit ? 1 : (currentRef <= -limit ? -1 : 0);
    if (side != 0 && side != m_lastSide) {
        m_flips = m_lastSide != 0 && m_tick - m_lastFlip <= kRingingWindowTicks ? m_flips + 1 : 0;
        m_lastSide = side;
        m_lastFlip = m_tick;
    } else if (m_tick - m_lastFlip > kRingingWindowTicks) {
        m_flips = 0;
        m_lastSide = 0;
    }
}

void MotorModel::Step(const MotionCommand& command) {
    const double dt = kTick;
    const double counts = m_p.encoderCounts;
    LoopBlocks& l = m_loops;
    ++m_tick;

    // Sensing: the encoder count, a speed from its difference, filtered.
    m_encoderPrev = m_encoder;
    m_encoder = static_cast<int64_t>(std::floor(m_plant.RotorAngle(m_x) / kTwoPi * counts));
    const double thetaMeas = static_cast<double>(m_encoder) / counts * kTwoPi;
    const double rawSpeed = static_cast<double>(m_encoder - m_encoderPrev) / counts * kTwoPi / dt;
    m_speedFb = l.speedDetection.Step(rawSpeed);
    m_currentMeas = m_x[Plant::kCurrent] + Noise(m_p.currentNoise);

    // Position and speed loops.
    m_mode = command.mode;
    double speedRef = 0, torqueFf = 0;
    const bool following = command.mode == RunMode::Position || command.mode == RunMode::Holding;
    if (following) {
        m_commandPulses = std::llround(command.position);  // whole pulses arrive at the input
        const double target = static_cast<double>(m_commandPulses) / m_p.pulsesPerRev * kTwoPi;
        const double smoothed = l.feedforwardAverage.Step(kTwoPi * command.velocity);
        torqueFf = l.torqueFeedforward * (smoothed - m_ffSpeed) / dt;
        m_ffSpeed = smoothed;
        speedRef = l.positionGain * (target - thetaMeas) + l.feedforwardFilter.Step(l.speedFeedforward * smoothed);
    } else {
        // No position command, no feed-forward: it starts afresh when one comes.
        if (m_ffSpeed != 0 || l.feedforwardFilter.y != 0) {
            m_ffSpeed = 0;
            l.feedforwardAverage.Reset(0);
            l.feedforwardFilter.y = 0;
        }
        if (command.mode == RunMode::Velocity) speedRef = kTwoPi * command.velocity;
    }
    if (command.mode == RunMode::Current || m_tripped) {
        m_currentRef = m_tripped ? 0.0 : std::clamp(command.current, -m_p.peakCurrent, m_p.peakCurrent);
        l.speed.integral = 0;
        speedRef = m_speedFb;
    } else {
        const double e = speedRef - m_speedFb;
        const double integral = l.speed.integral + l.speed.ki * e;
        double torque = l.torqueFilter.Step(l.speed.kvp * e + integral + torqueFf);
        for (int n = 0; n < l.activeNotches; ++n) torque = l.notches[static_cast<size_t>(n)].Step(torque);
        m_currentRef = std::clamp(torque, -m_p.peakCurrent, m_p.peakCurrent);
        // The integrator stops growing at the current limit.
        if (torque == m_currentRef) l.speed.integral = integral;
    }
    WatchRinging(command.mode == RunMode::Current || m_tripped ? 0.0 : m_currentRef);
    if (m_excitation != 0 && !m_tripped) {
        if (m_excitationLeft-- <= 0) {
            m_excitationNow = (Random() & 1) ? m_excitation : -m_excitation;
            m_excitationLeft = m_excitationHold - 1;
        }
        m_currentRef = std::clamp(m_currentRef + m_excitationNow, -m_p.peakCurrent, m_p.peakCurrent);
    }
    m_accRef += m_accLowPass * ((speedRef - m_prevSpeedRef) / dt - m_accRef);
    m_accFb += m_accLowPass * ((m_speedFb - m_prevSpeedFb) / dt - m_accFb);
    m_prevSpeedRef = m_speedRef = speedRef;
    m_prevSpeedFb = m_speedFb;

    // Faults: the drive cuts the torque at once.
    m_overSpeedNow = std::abs(m_speedFb) > l.overSpeed;
    if (m_overSpeedNow || Ringing()) m_tripped = true;

    // Current loop, its voltage limited by what the bus can give. A tripped
    // drive opens its bridge: no current flows, the winding's terminals
    // float at its back EMF.
    const double vmax = m_vbus / std::numbers::sqrt3;
    if (m_tripped) {
        m_x[Plant::kCurrent] = 0;
        m_voltage = m_p.motor.backEmf * m_plant.RotorSpeed(m_x);
        l.current.integral = 0;
    } else {
        m_voltage = l.current.Step(m_currentRef - m_currentMeas, l.emfCompensation * m_speedFb, vmax);
    }

    // The bus: the rectifier charges the capacitor near each mains peak, the
    // drive draws (or, braking, returns) the motor's power.
    const double c = m_mainsCos * m_mainsStepCos - m_mainsSin * m_mainsStepSin;
    m_mainsSin = m_mainsSin * m_mainsStepCos + m_mainsCos * m_mainsStepSin;
    m_mainsCos = c;
    const double keep = 1.5 - 0.5 * (c * c + m_mainsSin * m_mainsSin);  // the phasor keeps its length
    m_mainsCos *= keep;
    m_mainsSin *= keep;
    const double mainsNow = m_p.mainsVolts * std::numbers::sqrt2 * std::abs(m_mainsSin);
    const double charge = mainsNow > m_vbus ? (mainsNow - m_vbus) / m_p.lineResistance : 0;
    const double power = 1.5 * m_voltage * m_x[Plant::kCurrent] + m_p.idleWatts;  // none through an open bridge
    const double brake = m_vbus > m_p.brakeOnVolts ? m_vbus / m_p.brakeOhms : 0;
    m_vbus += (charge - power / m_vbus - brake) / m_p.busCapacitance * dt;

    // Mechanics and winding over the tick.
    const double omega = m_x[Plant::kSpeed];
    const double friction =
        -m_machine.coulombNm * std::clamp(omega / kFrictionBand, -1.0, 1.0);
    m_plant.Step(m_x, m_voltage, Noise(m_p.torqueNoise), friction);
    if (m_tripped) m_x[Plant::kCurrent] = 0;
}

MotorFeedback MotorModel::Feedback() const {
    MotorFeedback f;
    f.positionPulses = static_cast<double>(m_encoder) / m_p.encoderCounts * m_p.pulsesPerRev;
    f.speedRps = m_speedFb / kTwoPi;
    f.currentA = m_x[Plant::kCurrent];
    return f;
}

double MotorModel::SpeedFeedbackCentiRps() const { return m_speedFb / kTwoPi * 100; }
double MotorModel::LoadSpeedRps() const { return m_x[Plant::kSpeed] / kTwoPi; }

std::array<int16_t, kSourceCount> MotorModel::Signals() {
    std::array<int16_t, kSourceCount> s{};
    const auto feedbackPulses =
        static_cast<int64_t>(std::floor(static_cast<double>(m_encoder) * m_p.pulsesPerRev / m_p.encoderCounts));
    s[kPositionError] = Saturate(static_cast<double>(m_commandPulses - feedbackPulses));
    s[kSpeedFeedback] = Saturate(m_speedFb / kTwoPi * 100);
    s[kPositionFeedback] = Wrap(feedbackPulses);
    s[kSpeedReference] = Saturate(m_speedRef / kTwoPi * 100);
    s[kPositionReference] = Wrap(m_commandPulses);
    // Phase currents from the q-axis current at the electrical angle (the
    // drive keeps the d-axis current at zero), each read by its own sensor.
    const double theta = m_plant.RotorAngle(m_x);
    const double iq = m_x[Plant::kCurrent];
    const double electrical = m_p.polePairs * theta;
    const double alpha = -iq * std::sin(electrical) + Noise(m_p.currentNoise);
    const double beta = iq * std::cos(electrical) + Noise(m_p.currentNoise);
    s[kCurrentAlpha] = Saturate(alpha * 1000);
    s[kCurrentBeta] = Saturate(beta * 1000);
    double turn = std::fmod(theta / kTwoPi, 1.0);
    if (turn < 0) turn += 1;
    s[kMagneticPosition] = static_cast<int16_t>(static_cast<int>(turn * m_p.magneticCounts) % m_p.magneticCounts);
    s[kBusVoltage] = Saturate(m_vbus);
    s[kRunMode] = static_cast<int16_t>(m_mode);
    s[kQCurrent] = Saturate(m_currentMeas * 1000);
    s[kCurrentMagnitude] = Saturate(std::hypot(alpha, beta) * 1000);
    s[kAccelerationReference] = Saturate(m_accRef / kTwoPi);
    s[kAccelerationFeedback] = Saturate(m_accFb / kTwoPi);
    s[kUnknownSource] = 0;
    s[kTorqueCurrent] = Saturate(m_currentRef * 1000);
    return s;
}

}  // namespace hx::sim
