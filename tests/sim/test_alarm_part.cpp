// The simulated drive raises its alarms where a real drive would: the motor
// falling behind its command by more than the following-error limit.

#include <gtest/gtest.h>

#include <chrono>

#include "core/alarms/FaultDetections.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "sim/bus/SimClock.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;

namespace {

struct MovingDrive {
    MovingDrive() : drive([this] {
          hx::sim::DriveOptions o;
          o.motion = "demo";
          o.clock = clock;
          return o;
      }()) {}
    void Run(std::chrono::milliseconds d) {
        clock->Step(d);
        drive.Advance();
    }
    hx::test::TempProgramFolder folder;
    std::shared_ptr<hx::sim::SteppedClock> clock = std::make_shared<hx::sim::SteppedClock>();
    hx::sim::VirtualDrive drive;
};

}  // namespace

TEST(AlarmPart, FollowingErrorBeyondItsLimitRaisesTheAlarm) {
    MovingDrive m;
    // The factory limit (4000 pulses) holds through the demo motion.
    m.Run(600ms);
    EXPECT_EQ(m.drive.CurrentAlarm(), 0);

    // Switched off in the mask, a tight limit raises nothing.
    m.drive.SetRam(56, 0x1FFF & ~(1u << 7));
    m.drive.SetRam(10, 0);
    m.drive.SetRam(11, 5);
    m.Run(600ms);
    EXPECT_EQ(m.drive.CurrentAlarm(), 0);

    // Switched on, the next move raises it, once.
    m.drive.SetRam(56, 0x1FFF);
    m.Run(600ms);
    EXPECT_EQ(m.drive.CurrentAlarm(), hx::alarm::kFollowingError);
    EXPECT_EQ(m.drive.AlarmHistory(0), hx::alarm::kFollowingError);

    // A limit of 0 is no check: once the cause is gone, the fault clears.
    m.drive.SetRam(11, 0);
    m.Run(100ms);
    EXPECT_EQ(m.drive.WriteRegister(93, 0), 0);
    EXPECT_EQ(m.drive.CurrentAlarm(), 0);
}
