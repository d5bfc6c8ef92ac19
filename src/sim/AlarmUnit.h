#pragma once
// The drive's alarm logic: the current alarm (139), the history of the last
// nine alarms (140..148, latest first), the fault-clear register (93) and
// the fault-detection mask (parameter 56), which the owner passes in.
//
//  - An alarm is raised by a cause: a momentary one (an alarm raised on
//    demand) or a condition that stays until it goes away (the motor's
//    following error, current, bus voltage). A detection switched off in the
//    mask never raises its alarm.
//  - A raised alarm becomes the current alarm and goes to the top of the
//    history; the oldest entry falls out. The same alarm raised again while
//    it is current adds nothing.
//  - 93 <- 0 clears the current alarm when its cause is gone; a condition
//    still present keeps it.
//  - 93 <- 1 clears the history: 93 reads 1 until the drive is done, then 0;
//    a stuck clear never ends (for tests).
//  - Only a single-register write acts on 93; a block write that carries it
//    (the whole-table write) leaves the alarms alone. The alarm registers
//    are read-only: a changing single write is refused, a block write leaves
//    them as they are.
//
// Not thread-safe: the owner serialises calls and passes the time.

#include <chrono>
#include <cstdint>
#include <set>

#include "core/protocol/Registers.h"

namespace hx::sim {

class AlarmUnit {
public:
    using Clock = std::chrono::steady_clock;

    static bool Owns(uint16_t address);

    // Reads of 93 and 139..148 (as of the last Advance).
    uint16_t Read(uint16_t address) const;
    // Returns 0 or a Modbus exception code.
    uint8_t Write(uint16_t address, uint16_t value, bool singleWrite, Clock::time_point now, uint16_t mask);
    void Advance(Clock::time_point now);

    // A momentary cause; false when the mask suppresses it.
    bool Raise(int code, uint16_t mask);
    // A lasting cause comes or goes; raises its alarm when it comes and is detected.
    void SetCondition(int code, bool present, uint16_t mask);
    bool ConditionPresent(int code) const { return m_conditions.count(code) != 0; }

    int Current() const { return m_current; }
    int History(int index) const { return m_history[index]; }
    bool HistoryClearRunning() const { return m_clearing; }
    void SetHistoryClearDelay(std::chrono::milliseconds delay) { m_clearDelay = delay; }
    void SetHistoryClearStuck(bool stuck) { m_clearStuck = stuck; }

private:
    void Push(int code);

    int16_t m_current = 0;
    int16_t m_history[reg::kAlarmHistoryEntries] = {};
    std::set<int> m_conditions;
    bool m_clearing = false;
    bool m_clearStuck = false;
    Clock::time_point m_clearDue{};
    std::chrono::milliseconds m_clearDelay{1000};
};

}  // namespace hx::sim
