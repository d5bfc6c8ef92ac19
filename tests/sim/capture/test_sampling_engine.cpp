// The simulated drive's sampling engine: its registers, the refusals, the
// timing of a capture on a stepped clock, and the layout of the data area.
// (That a capture fetched over the wire in blocks is what the drive recorded
// is pinned where the program fetches it.)

#include <gtest/gtest.h>

#include <cmath>

#include "core/protocol/Registers.h"
#include "sim/VirtualDrive.h"
#include "sim/bus/SimClock.h"
#include "sim/motor/Sources.h"

using namespace std::chrono_literals;
using namespace hx::sim;
namespace reg = hx::reg;

namespace {

class Sampling : public ::testing::Test {
protected:
    explicit Sampling(DriveOptions o = Options()) : clock(std::make_shared<SteppedClock>()) {
        o.clock = clock;
        drive = std::make_unique<VirtualDrive>(o);
    }
    static DriveOptions Options() {
        DriveOptions o;
        o.databasePath = "-";
        o.motion = "demo";
        return o;
    }
    uint8_t W(uint16_t a, uint16_t v) { return drive->WriteRegister(a, v); }
    uint16_t R(uint16_t a) { return drive->ReadRegister(a); }
    void Configure(uint16_t interval, std::array<uint16_t, 4> codes, uint16_t points) {
        ASSERT_EQ(W(reg::kSampleInterval, interval), mbex::kNone);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(W(reg::kSampleChannelCode[i], codes[i]), mbex::kNone) << i;
        ASSERT_EQ(W(reg::kSamplePoints, points), mbex::kNone);
    }
    std::vector<int16_t> Words(uint16_t first, int count) {
        std::vector<uint16_t> raw(count);
        for (int done = 0; done < count; done += 100) {
            const int n = std::min(100, count - done);
            EXPECT_EQ(drive->ReadRegisters(static_cast<uint16_t>(first + done), static_cast<uint16_t>(n),
                                           raw.data() + done),
                      mbex::kNone);
        }
        return {raw.begin(), raw.end()};
    }

    std::shared_ptr<SteppedClock> clock;
    std::unique_ptr<VirtualDrive> drive;
};

}  // namespace

TEST_F(Sampling, DefaultsAsTheDriveReportsThem) {
    EXPECT_EQ(R(reg::kSampleSourceMask), 0xFFFF);  // all sixteen, the listed-only slot too
    EXPECT_EQ(R(reg::kSampleChannelCount), 4);
    EXPECT_EQ(R(reg::kSampleCapacity), 8000);
    EXPECT_EQ(R(reg::kSampleState), 0);
    // Status registers are read-only: a change is refused, the same value
    // and a block leave them.
    EXPECT_EQ(W(reg::kSampleCapacity, 9000), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSampleCapacity, 8000), mbex::kNone);
    const uint16_t block[3] = {1, 1, 1};  // 147 and 148 the alarm history, 149 the state
    EXPECT_EQ(drive->WriteRegisters(147, block, 3), mbex::kNone);
    EXPECT_EQ(R(reg::kSampleState), 0);
    EXPECT_EQ(R(148), 0);
    // The data area ends at the capacity.
    uint16_t out[2];
    EXPECT_EQ(drive->ReadRegisters(static_cast<uint16_t>(150 + 7999), 1, out), mbex::kNone);
    EXPECT_EQ(drive->ReadRegisters(static_cast<uint16_t>(150 + 7999), 2, out), mbex::kIllegalAddress);
}

TEST_F(Sampling, SettingsADriveCannotCarryOutAreRefused) {
    // Not one source of the mask: several bits, the listed-only slot.
    EXPECT_EQ(W(reg::kSampleChannel1, 3), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSampleChannel1, 16384), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSampleChannel1, 32768), mbex::kNone);  // torque current, code 0x8000
    EXPECT_EQ(W(reg::kSampleInterval, 0), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSampleInterval, 50), mbex::kNone);

    // Points above the capacity on 137; points times active channels above
    // it on the start, whichever was written first.
    EXPECT_EQ(W(reg::kSamplePoints, 8000), mbex::kNone);  // one channel
    EXPECT_EQ(W(reg::kSampleChannel2, 2), mbex::kNone);    // accepted: the points may follow
    EXPECT_EQ(W(reg::kSampleTrigger, 1), mbex::kIllegalValue);
    EXPECT_EQ(R(reg::kSampleState), 0);
    EXPECT_EQ(W(reg::kSamplePoints, 8001), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSamplePoints, 4001), mbex::kNone);
    EXPECT_EQ(W(reg::kSampleTrigger, 1), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSamplePoints, 0), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSamplePoints, 4000), mbex::kNone);
    EXPECT_EQ(R(reg::kSamplePoints), 4000);
    EXPECT_EQ(W(reg::kSampleTrigger, 7), mbex::kNone);  // not the start value: ignored
    EXPECT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
}

TEST(SamplingOptions, AMaskAndAChannelCountLimitTheCodes) {
    DriveOptions o;
    o.databasePath = "-";
    o.sourceMask = 0x0003;
    o.sampleChannels = 2;
    VirtualDrive d(o);
    EXPECT_EQ(d.WriteRegister(reg::kSampleChannel1, 4), mbex::kIllegalValue);  // not in the mask
    EXPECT_EQ(d.WriteRegister(reg::kSampleChannel1, 1), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(reg::kSampleChannel2, 2), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(reg::kSampleChannel3, 1), mbex::kIllegalValue);  // a third channel
    EXPECT_EQ(d.ReadRegister(reg::kSampleChannel3), 0);
    // Switching one off makes room.
    EXPECT_EQ(d.WriteRegister(reg::kSampleChannel2, 0), mbex::kNone);
    EXPECT_EQ(d.WriteRegister(reg::kSampleChannel3, 1), mbex::kNone);
}

TEST(SamplingOptions, OlderFirmwareCapturesTwoHundredPointsAndHasNoPointsRegister) {
    DriveOptions o;
    o.databasePath = "-";
    o.firmwareRegister = 199;
    auto clock = std::make_shared<SteppedClock>();
    o.clock = clock;
    VirtualDrive d(o);
    // 137 is an ordinary parameter there: it takes any value and changes nothing.
    EXPECT_EQ(d.WriteRegister(reg::kSamplePoints, 1000), mbex::kNone);
    d.WriteRegister(reg::kSampleInterval, 100);
    d.WriteRegister(reg::kSampleChannel1, 2);
    d.WriteRegister(reg::kSampleTrigger, 1);
    clock->Step(200 * 100us - 1us);
    EXPECT_EQ(d.ReadRegister(reg::kSampleState), 0);
    clock->Step(1us);
    EXPECT_EQ(d.ReadRegister(reg::kSampleState), 1);
}

TEST_F(Sampling, CompleteAfterPointsTimesIntervalNeverEarlier) {
    clock->Step(1234567us);  // not on a control tick
    Configure(250, {2, 0, 0, 0}, 400);
    ASSERT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
    clock->Step(400 * 250us - 1us);
    EXPECT_EQ(R(reg::kSampleState), 0);
    clock->Step(1us);
    EXPECT_EQ(R(reg::kSampleState), 1);

    // A new start clears the state until it too has taken its time.
    ASSERT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
    EXPECT_EQ(R(reg::kSampleState), 0);
    clock->Step(99ms);
    EXPECT_EQ(R(reg::kSampleState), 0);
    clock->Step(1ms);
    EXPECT_EQ(R(reg::kSampleState), 1);
}

// Channels 1 and 3 with 1000 points: channel 1 from 150, channel 3 right
// after it from 1150; channel 2 and 4 take no room.
TEST_F(Sampling, ActiveChannelsLieOneAfterTheOther) {
    for (uint16_t a = 150; a < 2150 + 100; ++a) drive->Poke(a, 0x5A5A);
    clock->Step(300ms);  // in the middle of a move
    const uint16_t positionReference = hx::sim::SourceCode(kPositionReference);
    const uint16_t busVoltage = hx::sim::SourceCode(kBusVoltage);
    Configure(100, {positionReference, 0, busVoltage, 0}, 1000);
    ASSERT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
    clock->Step(100ms);
    ASSERT_EQ(R(reg::kSampleState), 1);

    const auto position = Words(150, 1000);
    const auto volts = Words(1150, 1000);
    const auto after = Words(2150, 100);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_GT(volts[i], 250) << i;
        ASSERT_LT(volts[i], 400) << i;
    }
    // The position reference moves: neither constant nor the fill pattern.
    EXPECT_NE(position.front(), position.back());
    for (int16_t v : position) ASSERT_NE(static_cast<uint16_t>(v), 0x5A5A);
    for (int16_t v : after) EXPECT_EQ(static_cast<uint16_t>(v), 0x5A5A);
    // 100 us apart during a move of 30000 pulses in 0.2 s: steps of at most
    // a few hundred pulses, in one direction over a tenth of a second.
    for (int i = 1; i < 1000; ++i) ASSERT_LT(std::abs(position[i] - position[i - 1]), 400) << i;
}

TEST_F(Sampling, SettingsChangedDuringACaptureApplyToTheNextOne) {
    Configure(100, {2, 0, 0, 0}, 200);
    ASSERT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
    clock->Step(10ms);
    ASSERT_EQ(W(reg::kSamplePoints, 1000), mbex::kNone);
    clock->Step(10ms);  // 200 x 100 us
    EXPECT_EQ(R(reg::kSampleState), 1);
}

// A test may make the drive report other limits; the capture area keeps the
// size the drive was built with, so a poked capacity cannot reach past it.
TEST_F(Sampling, PokedLimitsTakeEffect) {
    drive->Poke(reg::kSampleCapacity, 300);
    drive->Poke(reg::kSampleChannelCount, 1);
    EXPECT_EQ(R(reg::kSampleCapacity), 300);
    EXPECT_EQ(W(reg::kSamplePoints, 400), mbex::kIllegalValue);  // more than the area holds
    EXPECT_EQ(W(reg::kSampleChannel1, 2), mbex::kNone);
    EXPECT_EQ(W(reg::kSampleChannel2, 1), mbex::kIllegalValue);
    EXPECT_EQ(W(reg::kSamplePoints, 300), mbex::kNone);
    EXPECT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
    drive->Poke(reg::kSampleCapacity, 60000);
    EXPECT_EQ(R(reg::kSampleCapacity), 8000);
}
