// The simulated drive's test motions and the commands that run them, on a
// stepped clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/alarms/FaultDetections.h"
#include "sim/VirtualDrive.h"
#include "sim/motion/AntiVibration.h"
#include "sim/motion/CurrentStep.h"
#include "sim/motion/Trapezoid.h"
#include "sim/motor/MotorPart.h"
#include "support/ClockedDrive.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using namespace hx::sim;
namespace reg = hx::reg;

namespace {

class Drive : public ::testing::Test, public hx::test::ClockedDrive {
protected:
    // A rigid machine unless asked: the motor follows the command closely.
    explicit Drive(double machineHz = 0, const char* motion = "")
        : ClockedDrive({.databasePath = "-", .motion = motion, .machineHz = machineHz}) {
        // The drive's factory values of the run-test settings.
        for (auto [a, v] : {std::pair{reg::kCurrentKp, 1000}, {reg::kCurrentKi, 200}, {reg::kCurrentKc, 256},
                            {reg::kCurrentTestCurrent, 1000}, {reg::kTrapRuns, 1}, {reg::kTrapDirection, 1},
                            {reg::kTrapDwell, 100}, {reg::kTrapBackAndForth, 0}, {reg::kTrapSpeed, 200},
                            {reg::kTrapAcceleration, 200}, {reg::kTrapDistance, 100}})
            drive->SetRam(a, static_cast<uint16_t>(v));
        // These tests are about the commands, not the tuning.
        hx::test::SetStiffLoops(*drive);
    }
    int16_t Signal(int bit) {
        return drive->WithLock([&] { return drive->Motor().Model().Signals()[bit]; });
    }
};

}  // namespace

// The gains auto-tuning picks and the step they give are checked on the
// drive below; a negative test current steps the other way.
TEST(RunMotions, ANegativeTestCurrentStepsTheOtherWay) {
    const MotorParameters p;  // the motor's winding as the drive's current loop sees it
    const Winding w{p.motor.resistance, p.motor.inductance, 311};
    EXPECT_LT(RunCurrentStep(w, AutoTuneGains(w, CurrentGains{}.kc), -500, 50, 500).back(), -450);
}

TEST(RunMotions, TrapezoidFromTheDrivesRegisters) {
    // A whole trapezoid runs on the drive below. Too short to reach the speed: a triangle.
    const Trapezoid tri(TrapezoidSettings::FromRegisters(1, 1, 100, 0, 1000, 100, 1));
    EXPECT_NEAR(tri.MoveTime(), 2 * std::sqrt(0.01 / 100), 1e-9);

    // Reverse (0xFFFF), back and forth, three runs: -d, 0, -d.
    const Trapezoid back(TrapezoidSettings::FromRegisters(3, 0xFFFF, 50, 1, 100, 500, 10));
    const double period = back.MoveTime() + 0.05;
    for (auto [t, rev] : {std::pair{period - 0.01, -0.1}, {2 * period - 0.01, 0.0}, {10.0, -0.1}})
        EXPECT_NEAR(back.At(t).positionRev, rev, 1e-9) << t;
    EXPECT_GT(back.At(period + back.MoveTime() / 2).speedRps, 0.0);

    // The shaper: weights add up to one; the Z-axis phase shapes nothing.
    const std::array<int, 13> sets{100, 170, 0, 50, 40}, z{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200};
    double sum = 0;
    for (const auto& i : ShaperImpulses(sets)) sum += i.weight;
    EXPECT_NEAR(sum, 1.0, 1e-12);
    EXPECT_EQ(ShaperImpulses(sets).size(), 4u);
    EXPECT_EQ(ShaperImpulses(z).size(), 1u);
    EXPECT_EQ(PhaseForResonance(25), 100);
}

TEST_F(Drive, TrapezoidRunsTheMotorAndEndsByItselfOrOnAStopOneTestAtATime) {
    const int16_t start = Signal(kPositionFeedback);
    EXPECT_EQ(R(reg::kMotionCommand), 0);
    EXPECT_EQ(W(reg::kMotionCommand, 2), mbex::kIllegalValue);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    EXPECT_EQ(R(reg::kMotionCommand), 1);
    // 2 rev/s, 1 rev, 200 rev/s^2: 10 ms ramps, 490 ms at speed.
    clock->Step(250ms);
    EXPECT_NEAR(Signal(kSpeedReference), 200, 2);
    EXPECT_NEAR(Signal(kSpeedFeedback), 200, 20);
    clock->Step(600ms);  // the move and the dwell are over
    EXPECT_EQ(R(reg::kMotionCommand), 0);
    EXPECT_NEAR(Signal(kSpeedReference), 0, 2);
    EXPECT_NEAR(static_cast<int16_t>(Signal(kPositionFeedback) - start), 10000, 5);

    // A stop during the move: the motor ramps down at the acceleration and
    // the command reads 0 at once.
    drive->SetRam(reg::kTrapRuns, 100);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(200ms);
    ASSERT_EQ(W(reg::kMotionCommand, 0), mbex::kNone);
    EXPECT_EQ(R(reg::kMotionCommand), 0);
    clock->Step(5ms);
    EXPECT_NEAR(Signal(kSpeedReference), 100, 3);  // half way down the 10 ms ramp
    clock->Step(100ms);
    EXPECT_NEAR(Signal(kSpeedReference), 0, 2);
    EXPECT_NEAR(Signal(kSpeedFeedback), 0, 3);
    // A block write (another program's whole-table write) starts nothing.
    const uint16_t one = 1;
    EXPECT_EQ(drive->WriteRegisters(reg::kMotionCommand, &one, 1), mbex::kNone);
    const uint16_t block[2] = {1, 0};
    EXPECT_EQ(drive->WriteRegisters(reg::kMotionCommand, block, 2), mbex::kNone);
    EXPECT_EQ(R(reg::kMotionCommand), 1);  // the single one did
    // One test at a time: no current-loop test during a run.
    EXPECT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kIllegalValue);
    ASSERT_EQ(W(reg::kMotionCommand, 0), mbex::kNone);

    // Nor a run during the current-loop test, which a stop ends without a
    // recording. (The factory gains' overshoot and the gains auto-tuning
    // writes are the command line's torque test on this drive.)
    ASSERT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kNone);
    EXPECT_EQ(W(reg::kMotionCommand, 1), mbex::kIllegalValue);
    ASSERT_EQ(W(reg::kCurrentTestCommand, 0), mbex::kNone);
    clock->Step(1s);
    EXPECT_EQ(R(reg::kSampleState), 0);
}

TEST_F(Drive, AntiVibrationSetsShapeTheCommandAndAreTakenUpEachRun) {
    // A set of full amplitude with phase A 10 (2 ms) and no damping splits
    // every change of the command in two halves 2 ms apart.
    // Three runs 300 ms apart at 1 rev/s, 1 ms ramps, 0.1 rev: 100 ms a move.
    for (auto [a, v] : {std::pair{reg::kTrapRuns, 3}, {reg::kTrapDwell, 300}, {reg::kTrapSpeed, 100},
                        {reg::kTrapAcceleration, 1000}, {reg::kTrapDistance, 10}})
        drive->SetRam(a, static_cast<uint16_t>(v));
    ASSERT_EQ(W(reg::kAntiVibration[0], 100), mbex::kNone);
    ASSERT_EQ(W(reg::kAntiVibration[1], 10), mbex::kNone);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(1500us);  // the first half has ramped up, the second not yet
    EXPECT_NEAR(Signal(kSpeedReference) - 0, 50 * 0.8, 25);
    clock->Step(2ms);  // both
    EXPECT_NEAR(Signal(kSpeedReference), 100, 12);

    // A set changed during a run of many moves shapes the next move.
    ASSERT_EQ(W(reg::kAntiVibration[0], 0), mbex::kNone);
    clock->Step(401ms - 3500us + 1500us);  // 1.5 ms into the second move (101 ms + 300 ms dwell)
    EXPECT_NEAR(Signal(kSpeedReference), 100, 12) << "the whole ramp at once";
    ASSERT_EQ(W(reg::kMotionCommand, 0), mbex::kNone);
}

// A move the motor cannot follow: once its detection is on in the mask, the
// following error alarm stops it, the motor holds where it stands, and no
// test starts until the alarm is cleared; raised once, in the history.
TEST_F(Drive, AFollowingErrorAlarmStopsTheRunAndRefusesTheNext) {
    // The current loop as auto-tuning leaves it: the factory's overshoots by
    // a quarter when the torque swings from one limit to the other, which on
    // this brutal move trips the over-current alarm.
    drive->SetRam(reg::kCurrentKi, 20);
    drive->SetRam(reg::kFaultDetectionMask, 0xFFFF & ~(1u << 7));
    drive->SetRam(11, 1000);                       // following error limit, pulses
    // 20 rev/s: the position loop catching up asks for more, but stays
    // below the over-speed level of 50 rev/s.
    drive->SetRam(reg::kTrapSpeed, 2000);
    drive->SetRam(reg::kTrapAcceleration, 30000);  // far beyond the motor's torque
    drive->SetRam(reg::kTrapDistance, 500);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(500ms);
    EXPECT_EQ(drive->CurrentAlarm(), 0) << "switched off in the mask";
    ASSERT_EQ(W(reg::kMotionCommand, 0), mbex::kNone);
    clock->Step(1s);

    drive->SetRam(reg::kFaultDetectionMask, 0xFFFF);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    for (int i = 0; i < 100 && drive->CurrentAlarm() == 0; ++i) clock->Step(5ms);
    EXPECT_EQ(drive->CurrentAlarm(), hx::alarm::kFollowingError);
    EXPECT_EQ(drive->AlarmHistory(0), hx::alarm::kFollowingError);
    EXPECT_EQ(R(reg::kMotionCommand), 0);
    clock->Step(300ms);
    EXPECT_LT(std::abs(Signal(kPositionError)), 20) << "held where it stands";
    EXPECT_EQ(W(reg::kMotionCommand, 1), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kIllegalValue);

    ASSERT_EQ(W(reg::kFaultClear, 0), mbex::kNone);
    EXPECT_EQ(drive->CurrentAlarm(), 0);
    drive->SetRam(11, 0);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(500ms);
    EXPECT_EQ(drive->CurrentAlarm(), 0) << "a limit of 0 checks nothing";
    EXPECT_EQ(drive->AlarmHistory(1), 0) << "raised once";
}

// A test current beyond what the power stage carries trips the over-current
// alarm during the test: no recording, the test ended.
TEST_F(Drive, ATooHighTestCurrentTripsTheOverCurrentAlarm) {
    drive->SetRam(reg::kFaultDetectionMask, 0xFFFF);
    drive->SetRam(reg::kCurrentTestCurrent, 8000);  // mA; the drive carries 4.2 A, trips at 6.3 A
    ASSERT_EQ(W(reg::kSamplePoints, 400), mbex::kNone);
    ASSERT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kNone);
    clock->Step(10ms);
    EXPECT_EQ(drive->CurrentAlarm(), 1);  // over-current
    EXPECT_EQ(R(reg::kCurrentTestCommand), 0);
    clock->Step(500ms);
    EXPECT_EQ(R(reg::kSampleState), 0) << "no recording";
    // Within the limit the same test runs to its end.
    ASSERT_EQ(W(93, 0), mbex::kNone);  // the fault clear, the cause gone
    EXPECT_EQ(drive->CurrentAlarm(), 0);
    drive->SetRam(reg::kCurrentTestCurrent, 3000);
    ASSERT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kNone);
    EXPECT_EQ((std::vector{R(reg::kCurrentTestCommand), R(reg::kSampleState)}), (std::vector<uint16_t>{1, 0}));
    clock->Step(1s);
    EXPECT_EQ((std::vector{R(reg::kCurrentTestCommand), R(reg::kSampleState)}), (std::vector<uint16_t>{0, 1}));
    EXPECT_EQ(drive->CurrentAlarm(), 0);
}

// A machine whose arm swings: after a hard move the motor rings with it for
// a second. A set whose half period is that of the ringing takes it out; a
// set tuned far from it hardly changes it.
class SwingingMachine : public Drive {
protected:
    SwingingMachine() : Drive(25) {}
    // Peak-to-peak position error (pulses) from 50 to 250 ms after a move of
    // 0.2 rev at 2 rev/s with 500 rev/s^2, with the given 1st set.
    int Ringing(int amplitude, int phaseA) {
        for (auto [a, v] : {std::pair{reg::kAntiVibration[0], amplitude}, {reg::kAntiVibration[1], phaseA},
                            {reg::kTrapDistance, 20}, {reg::kTrapDwell, 1000}})
            drive->SetRam(a, static_cast<uint16_t>(v));
        clock->Step(3s);  // at rest again
        EXPECT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
        clock->Step(104ms + 2 * phaseA * 200us + 50ms);  // the move and the shaper's delay, then 50 ms
        int lo = 32767, hi = -32768;
        for (int i = 0; i < 200; ++i) {
            clock->Step(1ms);
            lo = std::min<int>(lo, Signal(kPositionError));
            hi = std::max<int>(hi, Signal(kPositionError));
        }
        return hi - lo;
    }
};

TEST_F(SwingingMachine, ASetAtTheRingingTakesItOutAndOneFarFromItDoesNot) {
    const int plain = Ringing(0, 0);
    EXPECT_GT(plain, 100) << "the machine rings after the move";
    // The ringing's period is about 68 ms: phase A 170 is half of it.
    const int near = Ringing(100, 170);
    EXPECT_LT(near * 5, plain) << "plain " << plain << ", near " << near;
    const int far = Ringing(100, 60);
    EXPECT_GT(far * 10, plain * 7) << "plain " << plain << ", far " << far;
}

// With a time-out in 31007, silence on the line for that long makes the drive
// act as 31008 says; any request feeds it. Peek and the motor's signals are
// no requests.
TEST_F(Drive, TheWatchdogActsOnSilenceAsItsActionSays) {
    drive->SetRam(reg::kTrapRuns, 1000);
    auto running = [&] { return drive->Peek(reg::kMotionCommand) == 1; };
    // Off (0): a run goes on through any silence.
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(3s);
    EXPECT_TRUE(running());
    ASSERT_EQ(W(reg::kMotionCommand, 0), mbex::kNone);
    clock->Step(100ms);

    // Action 1: the motion ramps down, no alarm. A read feeds it as a write does.
    drive->SetRam(reg::kTrapAcceleration, 20);  // 100 ms ramps
    drive->SetRam(reg::kTrapDistance, 1000);
    ASSERT_EQ(W(reg::kWatchdogAction, reg::kWatchdogActionStop), mbex::kNone);
    ASSERT_EQ(W(reg::kWatchdogTimeout, 300), mbex::kNone);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(250ms);
    EXPECT_EQ(R(reg::kSampleState), 0);
    clock->Step(250ms);
    EXPECT_TRUE(running()) << "fed 250 ms ago";
    EXPECT_EQ(drive->WatchdogTrips(), 0);
    clock->Step(60ms);
    EXPECT_FALSE(running());
    EXPECT_EQ(drive->WatchdogTrips(), 1);
    clock->Step(50ms);
    EXPECT_NEAR(Signal(kSpeedReference), 100, 15) << "ramping down, not halted";
    clock->Step(300ms);
    EXPECT_NEAR(Signal(kSpeedFeedback), 0, 5);
    EXPECT_EQ(drive->CurrentAlarm(), 0);
    EXPECT_EQ(drive->WatchdogTrips(), 1) << "once per silence";

    // The current-loop test ends on it too.
    ASSERT_EQ(W(reg::kSamplePoints, 8000), mbex::kNone);  // 4 s of test
    ASSERT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kNone);
    clock->Step(310ms);
    EXPECT_EQ(drive->Peek(reg::kCurrentTestCommand), 0);

    // Action 0: the communication alarm, which holds the motor and refuses the next start.
    ASSERT_EQ(W(reg::kWatchdogAction, reg::kWatchdogActionAlarm), mbex::kNone);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(310ms);
    EXPECT_EQ(drive->CurrentAlarm(), hx::alarm::kCommunication);
    EXPECT_FALSE(running());
    EXPECT_EQ(W(reg::kMotionCommand, 1), mbex::kIllegalValue);
    ASSERT_EQ(W(reg::kFaultClear, 0), mbex::kNone);
    EXPECT_EQ(drive->CurrentAlarm(), 0);

    // Action 2: it notices and does nothing.
    ASSERT_EQ(W(reg::kWatchdogAction, reg::kWatchdogActionCarryOn), mbex::kNone);
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    const int trips = drive->WatchdogTrips();
    clock->Step(1s);
    EXPECT_EQ(drive->WatchdogTrips(), trips + 1);
    EXPECT_TRUE(running());
    EXPECT_EQ(drive->CurrentAlarm(), 0);
    ASSERT_EQ(W(reg::kMotionCommand, 0), mbex::kNone);
}

// A motion controller on the pulse input moves the motor: the drive refuses
// both test starts. Paused, the controller ends its move; then a run starts.
class ControlledDrive : public Drive {
protected:
    ControlledDrive() : Drive(0, "demo") {}
};

TEST_F(ControlledDrive, TestsStartOnlyWhileTheMotionControllerIsPaused) {
    clock->Step(100ms);
    EXPECT_TRUE(drive->ExternalMotionActive());
    EXPECT_EQ(W(reg::kMotionCommand, 1), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kIllegalValue);
    EXPECT_EQ(R(reg::kMotionCommand), 0);

    drive->SetExternalMotionPaused(true);
    for (int i = 0; i < 100 && drive->ExternalMotionActive(); ++i) clock->Step(10ms);
    EXPECT_FALSE(drive->ExternalMotionActive());
    clock->Step(300ms);
    EXPECT_NEAR(Signal(kSpeedFeedback), 0, 5) << "at rest after its move";
    ASSERT_EQ(W(reg::kMotionCommand, 1), mbex::kNone);
    clock->Step(250ms);
    EXPECT_NEAR(Signal(kSpeedReference), 200, 2) << "the trapezoid, not the controller";
    clock->Step(1s);
    EXPECT_EQ(R(reg::kMotionCommand), 0);

    // Resumed, it moves the motor again and the drive refuses again.
    drive->SetExternalMotionPaused(false);
    clock->Step(100ms);
    EXPECT_GT(std::abs(Signal(kSpeedReference)), 100);
    EXPECT_EQ(W(reg::kCurrentTestCommand, 1), mbex::kIllegalValue);
}
