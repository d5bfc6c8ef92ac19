#include "sim/parts/Alarms.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "core/alarms/FaultDetections.h"
#include "sim/parts/ParameterStore.h"

namespace hx::sim {

Alarms::Alarms(ParameterStore& store, SimTime historyClearTime) : m_store(store), m_clearTime(historyClearTime) {}

std::vector<AddressRange> Alarms::Ranges() const {
    return {{reg::kFaultClear, reg::kFaultClear}, {reg::kCurrentAlarm, reg::kAlarmHistoryLast}};
}

uint16_t Alarms::Mask() const { return m_store.Ram(reg::kFaultDetectionMask); }

uint8_t Alarms::Read(uint16_t a, uint16_t& value) {
    if (a == reg::kFaultClear)
        value = m_clearing ? static_cast<uint16_t>(reg::kClearHistoryValue) : 0;
    else if (a == reg::kCurrentAlarm)
        value = static_cast<uint16_t>(m_current);
    else
        value = static_cast<uint16_t>(m_history[a - reg::kAlarmHistoryFirst]);
    return mbex::kNone;
}

uint8_t Alarms::CheckWrite(uint16_t a, uint16_t value, const WriteRequest& request) {
    if (a == reg::kFaultClear || !request.single) return mbex::kNone;
    uint16_t current = 0;
    Read(a, current);
    return current == value ? mbex::kNone : mbex::kIllegalValue;
}

void Alarms::Write(uint16_t a, uint16_t value, const WriteRequest& request) {
    if (a != reg::kFaultClear || !request.single) return;
    if (value == static_cast<uint16_t>(reg::kClearCurrentFaultValue)) {
        if (m_current > 0 && !(ConditionPresent(m_current) && AlarmDetected(m_current, Mask()))) m_current = 0;
        // Cleared, the drive is back in service: torque a fault cut returns.
        if (m_current == 0 && m_motor && !ConditionPresent(alarm::kOverSpeed)) m_motor->Model().ResetTrip();
    } else if (value == static_cast<uint16_t>(reg::kClearHistoryValue) && !m_clearing) {
        m_clearing = true;
        m_clearDue = m_now + m_clearTime;
    }
}

void Alarms::Advance(SimTime now) {
    m_now = now;
    if (m_clearing && !m_clearStuck && now >= m_clearDue) {
        std::fill(std::begin(m_history), std::end(m_history), int16_t{0});
        m_clearing = false;
    }
}

std::optional<SimTime> Alarms::NextDue() const {
    if (m_clearing && !m_clearStuck) return m_clearDue;
    return std::nullopt;
}

void Alarms::WatchMotor(MotorPart& motor, uint16_t limitAddress) {
    m_motor = &motor;
    m_limitAddress = limitAddress;
    motor.AddTap(*this);
}

void Alarms::OnTick(SimTime, MotorModel& motor) {
    const MotorFeedback feedback = motor.Feedback();
    if (m_motor) {
        const MotionCommand& command = m_motor->LastCommand();
        if (command.mode == RunMode::Position || command.mode == RunMode::Holding) {
            const uint32_t limit = (static_cast<uint32_t>(m_store.Ram(static_cast<uint16_t>(m_limitAddress - 1))) << 16) |
                                   m_store.Ram(m_limitAddress);
            // A limit of 0 switches the check off.
            SetMotorCondition(alarm::kFollowingError,
                         limit != 0 && std::fabs(command.position - feedback.positionPulses) > limit);
        } else {
            SetMotorCondition(alarm::kFollowingError, false);
        }
    }
    // A speed beyond the over-speed level, or a speed loop that rings: the
    // motor has cut its torque, the alarm says why.
    SetMotorCondition(alarm::kOverSpeed, motor.OverSpeedNow() || motor.Ringing());
    SetMotorCondition(alarm::kOverCurrent,
                 std::fabs(feedback.currentA) > kOverCurrentShare * motor.Parameters().peakCurrent);
    const double bus = motor.BusVolts();
    SetMotorCondition(alarm::kOverVoltage, bus > kOverVoltageVolts);
    SetMotorCondition(alarm::kUnderVoltage, bus < kUnderVoltageVolts);
}

bool Alarms::Raise(int code) {
    if (code <= 0 || code > 0x7FFF || !AlarmDetected(code, Mask())) return false;
    if (m_current == code) return true;
    m_current = static_cast<int16_t>(code);
    std::copy_backward(std::begin(m_history), std::end(m_history) - 1, std::end(m_history));
    m_history[0] = static_cast<int16_t>(code);
    return true;
}

void Alarms::SetCondition(int code, bool present) {
    const bool before = ConditionPresent(code);
    if (present)
        m_conditions.insert(code);
    else
        m_conditions.erase(code);
    if (!before && present) Raise(code);
}

void Alarms::SetMotorCondition(int code, bool present) {
    // Called on every control tick: only a change costs anything.
    if (present == (m_motorConditions.count(code) != 0)) return;
    const bool before = ConditionPresent(code);
    if (present)
        m_motorConditions.insert(code);
    else
        m_motorConditions.erase(code);
    if (!before && present) Raise(code);
}

}  // namespace hx::sim
