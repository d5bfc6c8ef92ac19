#pragma once
// The drive's communication watchdog: with a time-out in 31007 (ms, 0 off),
// when no request addressed to the drive has arrived for that long, it acts
// as 31008 says: 0 raises the communication alarm (an alarm holds any test
// motion), 1 ramps the motion down and ends the current-loop test, 2 does
// nothing. It acts once per silence; the next request feeds it again.
//
// Both settings are parameters of the store; the watchdog owns no register.
// The drive feeds it with every request that reaches it (read or write).

#include "sim/bus/Part.h"

namespace hx::sim {

class Alarms;
class ParameterStore;
class MotionCommands;

class Watchdog final : public Part {
public:
    Watchdog(ParameterStore& store, MotionCommands& tests, Alarms& alarms) : m_store(store), m_tests(tests), m_alarms(alarms) {}

    std::string_view Name() const override { return "communication watchdog"; }
    std::vector<AddressRange> Ranges() const override { return {}; }
    uint8_t Read(uint16_t, uint16_t&) override { return mbex::kIllegalAddress; }
    void Write(uint16_t, uint16_t, const WriteRequest&) override {}
    void Advance(SimTime now) override;
    std::optional<SimTime> NextDue() const override;

    // A request reached the drive at `now`.
    void Feed(SimTime now);
    // How many times it has acted since the drive started.
    int Trips() const { return m_trips; }

private:
    SimTime Timeout() const;

    ParameterStore& m_store;
    MotionCommands& m_tests;
    Alarms& m_alarms;
    SimTime m_lastFed{0};
    bool m_tripped = false;
    int m_trips = 0;
};

}  // namespace hx::sim
