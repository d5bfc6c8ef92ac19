#include "sim/parts/MotionCommands.h"

#include <algorithm>
#include <cmath>

#include "core/protocol/Registers.h"
#include "sim/capture/SamplingEngine.h"
#include "sim/motion/CurrentStep.h"
#include "sim/motion/TestMotions.h"
#include "sim/motor/MotorPart.h"
#include "core/alarms/FaultDetections.h"
#include "sim/parts/Alarms.h"
#include "sim/parts/ParameterStore.h"

namespace hx::sim {

MotionCommands::MotionCommands(ParameterStore& store, MotorPart& motor, SamplingEngine& sampling, unsigned seed)
    : m_store(store), m_motor(motor), m_sampling(sampling), m_rng(seed * 7919u + 13u) {}

std::vector<AddressRange> MotionCommands::Ranges() const {
    return {{reg::kCurrentAutoTune, reg::kCurrentAutoTune},
            {reg::kCurrentTestCommand, reg::kCurrentTestCommand},
            {reg::kMotionCommand, reg::kMotionCommand}};
}

bool MotionCommands::MotionRunning() const { return m_motion && m_motor.Source() == m_motion; }

uint8_t MotionCommands::Read(uint16_t address, uint16_t& value) {
    switch (address) {
    case reg::kCurrentAutoTune: value = m_store.Ram(address); break;
    case reg::kCurrentTestCommand: value = m_testRunning ? reg::kCurrentTestStart : reg::kCurrentTestStop; break;
    case reg::kMotionCommand: value = MotionRunning() ? reg::kMotionRun : reg::kMotionStop; break;
    default: return mbex::kIllegalAddress;
    }
    return mbex::kNone;
}

uint8_t MotionCommands::CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) {
    if (!request.single) return mbex::kNone;
    if (value > 1) return mbex::kIllegalValue;
    const bool start = (address == reg::kCurrentTestCommand && value == reg::kCurrentTestStart) ||
                       (address == reg::kMotionCommand && value == reg::kMotionRun);
    if (start && m_alarms && m_alarms->Current() > 0) return mbex::kIllegalValue;
    // The drive follows its pulse input: a test would fight the controller.
    if (start && m_motor.ExternalMotionActive()) return mbex::kIllegalValue;
    // One test at a time: the motor cannot run a trapezoid and hold still
    // for a current step at once.
    if (address == reg::kCurrentTestCommand && value == reg::kCurrentTestStart && MotionRunning())
        return mbex::kIllegalValue;
    if (address == reg::kMotionCommand && value == reg::kMotionRun && m_testRunning) return mbex::kIllegalValue;
    return mbex::kNone;
}

void MotionCommands::Write(uint16_t address, uint16_t value, const WriteRequest& request) {
    if (!request.single) return;
    switch (address) {
    case reg::kCurrentAutoTune: m_store.SetRam(address, value); break;
    case reg::kCurrentTestCommand:
        if (value == reg::kCurrentTestStart)
            StartCurrentTest();
        else
            EndCurrentTest();
        break;
    case reg::kMotionCommand:
        if (value == reg::kMotionRun) {
            StartMotion();
        } else {
            StopMotion();
        }
        break;
    default: break;
    }
}

// As a single write would, without its checks: a test puts the drive in a
// state (a motion running) without going through the wire.
void MotionCommands::Poke(uint16_t address, uint16_t value) {
    const WriteRequest request{address, &value, 1, true};
    Write(address, value, request);
}

std::array<int, 13> MotionCommands::AntiVibrationSettings() const {
    std::array<int, 13> s{};
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(m_store.Ram(reg::kAntiVibration[i]));
    return s;
}

void MotionCommands::StartMotion() {
    const TrapezoidSettings settings = TrapezoidSettings::FromRegisters(
        m_store.Ram(reg::kTrapRuns), m_store.Ram(reg::kTrapDirection), m_store.Ram(reg::kTrapDwell),
        m_store.Ram(reg::kTrapBackAndForth), m_store.Ram(reg::kTrapSpeed), m_store.Ram(reg::kTrapAcceleration),
        m_store.Ram(reg::kTrapDistance));
    auto motion = std::make_unique<TrapezoidMotion>(
        settings, [this] { return AntiVibrationSettings(); }, m_motor.Model().Parameters().pulsesPerRev);
    m_motion = motion.get();
    m_motor.SetMotion(std::move(motion));
}

void MotionCommands::StopMotion() {
    if (!MotionRunning()) return;
    const auto* trapezoid = static_cast<const TrapezoidMotion*>(m_motion);
    const double deceleration = trapezoid->AccelerationRps2();
    m_motion = nullptr;
    m_motor.SetMotion(std::make_unique<hx::sim::StopMotion>(m_motor.LastCommand().velocity, deceleration,
                                                            m_motor.Model().Parameters().pulsesPerRev));
}

void MotionCommands::EndCurrentTest() {
    if (!m_testRunning) return;
    m_testRunning = false;
    m_sampling.CancelDriveRecording();
}

void MotionCommands::StopAll() {
    StopMotion();
    EndCurrentTest();
}

void MotionCommands::Halt() {
    if (MotionRunning()) {
        m_motion = nullptr;
        m_motor.HoldWhereItIs();
    }
    EndCurrentTest();
}

void MotionCommands::StartCurrentTest() {
    const MotorParameters& p = m_motor.Model().Parameters();
    Winding winding;
    winding.resistance = p.motor.resistance;
    winding.inductance = p.motor.inductance;
    winding.busVoltage = m_motor.Model().BusVolts();
    SimTime delay{0};
    if (m_store.Ram(reg::kCurrentAutoTune) != 0) {
        const CurrentGains tuned = AutoTuneGains(winding, static_cast<int16_t>(m_store.Ram(reg::kCurrentKc)));
        m_store.SetRam(reg::kCurrentKp, static_cast<uint16_t>(tuned.kp));
        m_store.SetRam(reg::kCurrentKi, static_cast<uint16_t>(tuned.ki));
        delay = kTuningTime;
    }
    CurrentGains gains;
    gains.kp = static_cast<int16_t>(m_store.Ram(reg::kCurrentKp));
    gains.ki = static_cast<int16_t>(m_store.Ram(reg::kCurrentKi));
    gains.kc = static_cast<int16_t>(m_store.Ram(reg::kCurrentKc));
    const int points = m_sampling.PointsPerChannel();
    std::vector<int16_t> samples =
        RunCurrentStep(winding, gains, static_cast<int16_t>(m_store.Ram(reg::kCurrentTestCurrent)), points,
                       reg::kCurrentTestSamplePeriodUs);
    // The current sensors' noise, as on every current reading.
    std::normal_distribution<double> noise(0.0, p.currentNoise * 1000.0);
    for (int16_t& s : samples)
        s = static_cast<int16_t>(std::clamp(std::lround(s + noise(m_rng)), -32768L, 32767L));
    const auto period = std::chrono::microseconds(reg::kCurrentTestSamplePeriodUs);
    m_testDone = m_now + delay + points * period;
    // The power stage's limit, as the alarms judge the running motor.
    const double tripMa = Alarms::kOverCurrentShare * p.peakCurrent * 1000.0;
    m_overCurrentAt.reset();
    for (int k = 0; k < points; ++k)
        if (std::abs(samples[static_cast<size_t>(k)]) > tripMa) {
            m_overCurrentAt = m_now + delay + k * period;
            break;
        }
    m_testRunning = true;
    m_sampling.BeginDriveRecording(std::move(samples));
}

void MotionCommands::Advance(SimTime now) {
    m_now = now;
    if (m_testRunning && m_overCurrentAt && now >= *m_overCurrentAt && m_alarms)
        m_alarms->Raise(alarm::kOverCurrent);
    if (m_alarms && (MotionRunning() || m_testRunning) && m_alarms->Current() > 0) {
        Halt();
        return;
    }
    if (m_testRunning && now >= m_testDone) {
        m_testRunning = false;
        m_sampling.FinishDriveRecording();
    }
}

std::optional<SimTime> MotionCommands::NextDue() const {
    if (m_testRunning) return m_overCurrentAt ? std::min(*m_overCurrentAt, m_testDone) : m_testDone;
    return std::nullopt;
}

}  // namespace hx::sim
