#include "sim/AlarmUnit.h"

#include <algorithm>

#include "core/alarms/FaultDetections.h"

namespace hx::sim {

namespace {
constexpr uint8_t kIllegalValue = 3;
}

bool AlarmUnit::Owns(uint16_t a) { return ClassifyRegister(a) == RegisterKind::Alarm; }

uint16_t AlarmUnit::Read(uint16_t a) const {
    if (a == reg::kFaultClear) return m_clearing ? static_cast<uint16_t>(reg::kClearHistoryValue) : 0;
    if (a == reg::kCurrentAlarm) return static_cast<uint16_t>(m_current);
    if (a >= reg::kAlarmHistoryFirst && a <= reg::kAlarmHistoryLast)
        return static_cast<uint16_t>(m_history[a - reg::kAlarmHistoryFirst]);
    return 0;
}

uint8_t AlarmUnit::Write(uint16_t a, uint16_t value, bool singleWrite, Clock::time_point now, uint16_t mask) {
    Advance(now);
    if (a != reg::kFaultClear) {
        // Status registers: the whole-table write sends them back unchanged.
        if (singleWrite && Read(a) != value) return kIllegalValue;
        return 0;
    }
    if (!singleWrite) return 0;
    if (value == static_cast<uint16_t>(reg::kClearCurrentFaultValue)) {
        // A cause still present (and still detected) keeps its alarm.
        if (m_current > 0 && !(ConditionPresent(m_current) && AlarmDetected(m_current, mask))) m_current = 0;
    } else if (value == static_cast<uint16_t>(reg::kClearHistoryValue)) {
        if (!m_clearing) {
            m_clearing = true;
            m_clearDue = now + m_clearDelay;
        }
    }
    return 0;
}

void AlarmUnit::Advance(Clock::time_point now) {
    if (m_clearing && !m_clearStuck && now >= m_clearDue) {
        std::fill(std::begin(m_history), std::end(m_history), int16_t{0});
        m_clearing = false;
    }
}

void AlarmUnit::Push(int code) {
    if (m_current == code) return;
    m_current = static_cast<int16_t>(code);
    std::copy_backward(std::begin(m_history), std::end(m_history) - 1, std::end(m_history));
    m_history[0] = static_cast<int16_t>(code);
}

bool AlarmUnit::Raise(int code, uint16_t mask) {
    if (code <= 0 || code > 0x7FFF || !AlarmDetected(code, mask)) return false;
    Push(code);
    return true;
}

void AlarmUnit::SetCondition(int code, bool present, uint16_t mask) {
    if (!present) {
        m_conditions.erase(code);
        return;
    }
    if (!m_conditions.insert(code).second) return;
    Raise(code, mask);
}

}  // namespace hx::sim
