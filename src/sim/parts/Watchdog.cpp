#include "sim/parts/Watchdog.h"

#include "core/alarms/FaultDetections.h"
#include "core/protocol/Registers.h"
#include "sim/parts/Alarms.h"
#include "sim/parts/ParameterStore.h"
#include "sim/parts/MotionCommands.h"

namespace hx::sim {

SimTime Watchdog::Timeout() const { return std::chrono::milliseconds(m_store.Ram(reg::kWatchdogTimeout)); }

void Watchdog::Feed(SimTime now) {
    m_lastFed = now;
    m_tripped = false;
}

void Watchdog::Advance(SimTime now) {
    const SimTime timeout = Timeout();
    if (m_tripped || timeout == SimTime::zero() || now - m_lastFed < timeout) return;
    m_tripped = true;
    ++m_trips;
    switch (m_store.Ram(reg::kWatchdogAction)) {
    case reg::kWatchdogActionAlarm:
        m_alarms.Raise(alarm::kCommunication);
        m_tests.Halt();
        break;
    case reg::kWatchdogActionStop: m_tests.StopAll(); break;
    default: break;  // carry on
    }
}

std::optional<SimTime> Watchdog::NextDue() const {
    const SimTime timeout = Timeout();
    if (m_tripped || timeout == SimTime::zero()) return std::nullopt;
    return m_lastFed + timeout;
}

}  // namespace hx::sim
