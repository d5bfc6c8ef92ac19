#pragma once
// The drive's alarms: the current alarm (139), the history of the last nine
// alarms (140..148, latest first) and the fault-clear register (93); the
// fault-detection mask is parameter 56 of the parameter store.
//
//  - An alarm is raised by a cause: a momentary one (an alarm raised on
//    demand) or a condition that lasts until it goes away (the motor's
//    following error, current, bus voltage). A detection switched off in the
//    mask never raises its alarm.
//  - A raised alarm becomes the current alarm and goes to the top of the
//    history; the oldest entry falls out. The same alarm raised again while
//    it is current adds nothing.
//  - 93 <- 0 clears the current alarm when its cause is gone; a condition
//    still present (and detected) keeps it.
//  - 93 <- 1 clears the history: 93 reads 1 until the drive is done, then 0;
//    a stuck clear never ends (for tests).
//  - Only a single-register write acts on 93; a block write that carries it
//    (the whole-table write sends back what it read) leaves the alarms
//    alone. 139..148 are read-only: a changing single write is refused, a
//    block write leaves them as they are.
//  - Watching the motor, on every control tick: a position following error
//    beyond the model's limit (32 bits, pulses; 0: no check; 10/11 on KRV4,
//    30/31 on KRV7), a current beyond
//    1.5 times the current loop's limit, and a bus voltage above 420 V or
//    below 200 V are lasting causes of their alarms; so is a speed beyond the
//    over-speed level or a ringing speed loop (the over-speed alarm), which
//    has made the motor cut its torque until a fault clear succeeds.

#include <set>

#include "core/protocol/Registers.h"
#include "sim/bus/Part.h"
#include "sim/motor/MotorPart.h"

namespace hx::sim {

class ParameterStore;

class Alarms final : public Part, public SignalTap {
public:
    Alarms(ParameterStore& store, SimTime historyClearTime);

    std::string_view Name() const override { return "alarms"; }
    std::vector<AddressRange> Ranges() const override;
    uint8_t Read(uint16_t address, uint16_t& value) override;
    uint8_t CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Write(uint16_t address, uint16_t value, const WriteRequest& request) override;
    // Alarms are raised, not poked: a poke changes nothing.
    void Poke(uint16_t, uint16_t) override {}
    void Advance(SimTime now) override;
    std::optional<SimTime> NextDue() const override;

    // Raises the motor's alarms where a real drive would; the following-
    // error limit's low word at limitAddress, its high word below it.
    void WatchMotor(MotorPart& motor, uint16_t limitAddress = 11);
    void OnTick(SimTime time, MotorModel& motor) override;
    std::optional<SimTime> ListensUntil() const override { return std::nullopt; }

    static constexpr double kOverVoltageVolts = 420;
    static constexpr double kUnderVoltageVolts = 200;
    static constexpr double kOverCurrentShare = 1.5;  // of the current loop's limit

    // A momentary cause; false when the mask suppresses it.
    bool Raise(int code);
    // A lasting cause comes or goes; raises its alarm when it comes and is detected.
    void SetCondition(int code, bool present);
    bool ConditionPresent(int code) const { return m_conditions.count(code) != 0 || m_motorConditions.count(code) != 0; }

    int Current() const { return m_current; }
    int History(int index) const { return m_history[index]; }
    bool HistoryClearRunning() const { return m_clearing; }
    void SetHistoryClearTime(SimTime time) { m_clearTime = time; }
    void SetHistoryClearStuck(bool stuck) { m_clearStuck = stuck; }

private:
    uint16_t Mask() const;
    // The same for what the motor shows; kept apart so that a cause set on
    // demand is not taken away by the motor's next tick.
    void SetMotorCondition(int code, bool present);

    ParameterStore& m_store;
    MotorPart* m_motor = nullptr;
    uint16_t m_limitAddress = 11;
    int16_t m_current = 0;
    int16_t m_history[reg::kAlarmHistoryEntries] = {};
    std::set<int> m_conditions;       // set on demand
    std::set<int> m_motorConditions;  // seen on the motor
    SimTime m_now{};
    SimTime m_clearTime;
    SimTime m_clearDue{};
    bool m_clearing = false;
    bool m_clearStuck = false;
};

}  // namespace hx::sim
