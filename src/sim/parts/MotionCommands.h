#pragma once
// The drive's run-test commands: the velocity trapezoid (70), the current-
// loop test (23) and the current-loop auto-tuning switch (13). The settings
// they use stay in the parameter store: 60..69 the trapezoid, 15..17 and 22
// the current loop and its test, 77..89 with 64, 66 and 68 the
// anti-vibration sets.
//
// 70 <- 1 runs the trapezoid on the motor and reads 1 until its last run
// and dwell are over; 70 <- 0 ramps the motor down to standstill at the
// trapezoid's acceleration and reads 0 at once.
// 23 <- 1 steps the test current through the current loop and records the
// measured current in the capture area as channel 1, one point every
// 500 us, as many points as a channel holds; the capture state (149) reads 0
// during the test and 1 when the points are there. 23 reads 1 during the
// test; 23 <- 0 ends it without a recording. With auto-tuning on (13 = 1)
// the drive first measures the winding and writes the gains it chose to 15
// and 16, so the test shows the tuned step.
// A test command while the other test runs is refused with exception 3, as
// is any value but 0 and 1; so is a start while the drive has an alarm, and
// a start while a motion controller on the pulse input may move the motor. An
// alarm during a test ends it: the motor holds where it stands. A current
// step that overshoots beyond what the power stage may carry (a test current
// too high, or gains that make the loop ring) raises the over-current alarm
// when it gets there, and the test leaves no recording. A block write (the whole-table write of another
// program) starts and stops nothing: the commands keep what they read.

#include <array>
#include <optional>
#include <random>

#include "sim/bus/Part.h"

namespace hx::sim {

class MotorPart;
class ParameterStore;
class SamplingEngine;
class MotionSource;
class Alarms;

class MotionCommands final : public Part {
public:
    // Time the drive takes to measure its winding before a tuned test.
    static constexpr SimTime kTuningTime = std::chrono::milliseconds(200);

    MotionCommands(ParameterStore& store, MotorPart& motor, SamplingEngine& sampling, unsigned seed = 1);
    // The drive's alarms, once they are composed.
    void WatchAlarms(Alarms& alarms) { m_alarms = &alarms; }

    std::string_view Name() const override { return "run test"; }
    std::vector<AddressRange> Ranges() const override;
    uint8_t Read(uint16_t address, uint16_t& value) override;
    uint8_t CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Write(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Poke(uint16_t address, uint16_t value) override;
    void Advance(SimTime now) override;
    std::optional<SimTime> NextDue() const override;

    bool MotionRunning() const;
    bool CurrentTestRunning() const { return m_testRunning; }
    // As 70 <- 0 and 23 <- 0 do: the motion ramps down, the test ends.
    void StopAll();
    // As an alarm does: the motor holds where it stands, the test ends.
    void Halt();

private:
    void StartMotion();
    void StopMotion();
    void StartCurrentTest();
    void EndCurrentTest();
    std::array<int, 13> AntiVibrationSettings() const;

    ParameterStore& m_store;
    MotorPart& m_motor;
    SamplingEngine& m_sampling;
    std::mt19937 m_rng;
    SimTime m_now{0};
    Alarms* m_alarms = nullptr;
    const MotionSource* m_motion = nullptr;  // the trapezoid given to the motor
    bool m_testRunning = false;
    SimTime m_testDone{0};
    std::optional<SimTime> m_overCurrentAt;  // when the running test trips the alarm
};

}  // namespace hx::sim
