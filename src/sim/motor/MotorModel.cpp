#include "sim/motor/MotorModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hx::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

int16_t Saturate(double v) {
    return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
}
// A counter keeps its low 16 bits when it outgrows a word.
int16_t Wrap(int64_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(v) & 0xFFFF)); }

// One pole low-pass coefficient for a tick.
double LowPass(double hz) { return 1 - std::exp(-kTwoPi * hz * MotorModel::kTick); }

}  // namespace

MotorModel::MotorModel(MotorParameters p, unsigned seed) : m_p(p), m_rng(seed) {
    const double jm = m_p.motorInertia, jl = m_p.loadInertia;
    const double reduced = jm * jl / (jm + jl);
    const double wr = kTwoPi * m_p.resonanceHz;
    m_stiffness = wr * wr * reduced;
    m_damping = 2 * m_p.dampingRatio * wr * reduced;
    if (m_p.machineHz > 0 && m_p.machineInertia > 0) {
        const double jv = m_p.machineInertia;
        const double body = jm + jl;  // motor and load swing together at this low frequency
        const double machineReduced = body * jv / (body + jv);
        const double wv = kTwoPi * m_p.machineHz;
        m_machineStiffness = wv * wv * machineReduced;
        m_machineDamping = 2 * m_p.machineDampingRatio * wv * machineReduced;
    }

    const double wc = kTwoPi * m_p.currentBandwidthHz;
    SetCurrentGains(m_p.inductance * wc, m_p.resistance * wc, 1.0);
    // Speed loop tuned for the whole inertia, as an auto-tune at low
    // frequency measures it; above the anti-resonance only the rotor is
    // felt, which is where a real drive shows its resonance.
    m_kvp = (jm + jl) * kTwoPi * m_p.speedBandwidthHz / m_p.torqueConstant;
    m_kvi = m_kvp * kTwoPi * m_p.speedIntegralHz;
    m_rlDecay = std::exp(-m_p.resistance * kTick / m_p.inductance);
    m_speedLowPass = LowPass(m_p.speedFilterHz);
    m_accLowPass = LowPass(m_p.accelerationFilterHz);
    m_vbus = m_p.mainsVolts * std::numbers::sqrt2;
}

void MotorModel::SetCurrentGains(double kp, double ki, double kc) {
    m_kp = kp;
    m_ki = ki;
    m_kc = kc;
}

void MotorModel::SetExcitation(double amplitude, int hold) {
    m_excitation = amplitude;
    m_excitationHold = std::max(1, hold);
    m_excitationLeft = 0;
    m_excitationNow = 0;
}

void MotorModel::Settle(double positionPulses, double speedRps) {
    m_commandPulses = std::llround(positionPulses);
    const double theta = static_cast<double>(m_commandPulses) / m_p.pulsesPerRev * kTwoPi;
    m_thetaM = m_thetaL = m_thetaV = theta;
    m_omegaM = m_omegaL = m_omegaV = kTwoPi * speedRps;
    m_encoder = m_encoderPrev = static_cast<int64_t>(std::floor(theta / kTwoPi * m_p.encoderCounts));
    m_speedFb = m_speedRef = m_prevSpeedFb = m_prevSpeedRef = m_omegaM;
    m_accRef = m_accFb = 0;
    m_speedInt = m_currentRef = m_currentMeas = m_iq = 0;
    m_voltInt = m_voltage = 0;
}

void MotorModel::Step(const MotionCommand& command) {
    const double dt = kTick;
    const double counts = m_p.encoderCounts;

    // Sensing: the encoder count, a speed from its difference, filtered.
    m_encoderPrev = m_encoder;
    m_encoder = static_cast<int64_t>(std::floor(m_thetaM / kTwoPi * counts));
    const double thetaMeas = static_cast<double>(m_encoder) / counts * kTwoPi;
    const double rawSpeed = static_cast<double>(m_encoder - m_encoderPrev) / counts * kTwoPi / dt;
    m_speedFb += m_speedLowPass * (rawSpeed - m_speedFb);
    m_currentMeas = m_iq + Noise(m_p.currentNoise);

    // Position and speed loops.
    m_mode = command.mode;
    double speedRef = 0;
    if (command.mode == RunMode::Position || command.mode == RunMode::Holding) {
        m_commandPulses = std::llround(command.position);  // whole pulses arrive at the input
        const double target = static_cast<double>(m_commandPulses) / m_p.pulsesPerRev * kTwoPi;
        speedRef = m_p.positionGain * (target - thetaMeas) + m_p.speedFeedforward * kTwoPi * command.velocity;
    } else if (command.mode == RunMode::Velocity) {
        speedRef = kTwoPi * command.velocity;
    }
    if (command.mode == RunMode::Current) {
        m_currentRef = std::clamp(command.current, -m_p.peakCurrent, m_p.peakCurrent);
        m_speedInt = 0;
        speedRef = m_speedFb;
    } else {
        const double e = speedRef - m_speedFb;
        const double wanted = m_kvp * e + m_speedInt + m_kvi * e * dt;
        m_currentRef = std::clamp(wanted, -m_p.peakCurrent, m_p.peakCurrent);
        // The integrator stops growing at the current limit.
        if (wanted == m_currentRef) m_speedInt += m_kvi * e * dt;
    }
    if (m_excitation != 0) {
        if (m_excitationLeft-- <= 0) {
            m_excitationNow = (m_rng() & 1) ? m_excitation : -m_excitation;
            m_excitationLeft = m_excitationHold - 1;
        }
        m_currentRef = std::clamp(m_currentRef + m_excitationNow, -m_p.peakCurrent, m_p.peakCurrent);
    }
    const double lpAcc = m_accLowPass;
    m_accRef += lpAcc * ((speedRef - m_prevSpeedRef) / dt - m_accRef);
    m_accFb += lpAcc * ((m_speedFb - m_prevSpeedFb) / dt - m_accFb);
    m_prevSpeedRef = m_speedRef = speedRef;
    m_prevSpeedFb = m_speedFb;

    // Current loop, its voltage limited by what the bus can give.
    const double vmax = m_vbus / std::numbers::sqrt3;
    const double ei = m_currentRef - m_currentMeas;
    const double vWanted = m_kp * ei + m_voltInt + m_ki * ei * dt + m_kc * m_p.backEmf * m_speedFb;
    m_voltage = std::clamp(vWanted, -vmax, vmax);
    if (vWanted == m_voltage) m_voltInt += m_ki * ei * dt;

    // The winding: exact over the tick for a voltage held constant.
    const double steady = (m_voltage - m_p.backEmf * m_omegaM) / m_p.resistance;
    m_iq = steady + (m_iq - steady) * m_rlDecay;

    // The bus: the rectifier charges the capacitor near each mains peak, the
    // drive draws (or, braking, returns) the motor's power.
    m_mainsPhase = std::fmod(m_mainsPhase + kTwoPi * m_p.mainsHz * dt, kTwoPi);
    const double mainsNow = m_p.mainsVolts * std::numbers::sqrt2 * std::abs(std::sin(m_mainsPhase));
    const double charge = mainsNow > m_vbus ? (mainsNow - m_vbus) / m_p.lineResistance : 0;
    const double power = 1.5 * m_voltage * m_iq + m_p.idleWatts;
    const double brake = m_vbus > m_p.brakeOnVolts ? m_vbus / m_p.brakeOhms : 0;
    m_vbus += (charge - power / m_vbus - brake) / m_p.busCapacitance * dt;

    // Mechanics, semi-implicit: speeds first, then positions with them.
    const double torque = m_p.torqueConstant * m_iq;
    const double twist = m_stiffness * (m_thetaM - m_thetaL) + m_damping * (m_omegaM - m_omegaL);
    const double friction =
        m_p.coulombFriction * std::tanh(m_omegaL / 0.05) + m_p.viscousFriction * m_omegaL;
    const double swing =
        m_machineStiffness * (m_thetaL - m_thetaV) + m_machineDamping * (m_omegaL - m_omegaV);
    m_omegaM += (torque - twist + Noise(m_p.torqueNoise)) / m_p.motorInertia * dt;
    m_omegaL += (twist - friction - swing) / m_p.loadInertia * dt;
    if (m_machineStiffness > 0) {
        m_omegaV += swing / m_p.machineInertia * dt;
        m_thetaV += m_omegaV * dt;
    }
    m_thetaM += m_omegaM * dt;
    m_thetaL += m_omegaL * dt;
}

MotorFeedback MotorModel::Feedback() const {
    MotorFeedback f;
    f.positionPulses = static_cast<double>(m_encoder) / m_p.encoderCounts * m_p.pulsesPerRev;
    f.speedRps = m_speedFb / kTwoPi;
    f.currentA = m_iq;
    return f;
}

double MotorModel::SpeedFeedbackCentiRps() const { return m_speedFb / kTwoPi * 100; }
double MotorModel::LoadSpeedRps() const { return m_omegaL / kTwoPi; }

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
    const double electrical = m_p.polePairs * m_thetaM;
    const double alpha = -m_iq * std::sin(electrical) + Noise(m_p.currentNoise);
    const double beta = m_iq * std::cos(electrical) + Noise(m_p.currentNoise);
    s[kCurrentAlpha] = Saturate(alpha * 1000);
    s[kCurrentBeta] = Saturate(beta * 1000);
    double turn = std::fmod(m_thetaM / kTwoPi, 1.0);
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
