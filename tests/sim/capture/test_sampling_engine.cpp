// The simulated drive's sampling engine: its registers, the refusals, the
// timing of a capture on a stepped clock, and the layout of the data area.
// (That a capture fetched over the wire in blocks is what the drive recorded
// is pinned where the program fetches it.)

#include <gtest/gtest.h>

#include <cmath>

#include "sim/VirtualDrive.h"
#include "sim/motor/Sources.h"
#include "support/ClockedDrive.h"

using namespace std::chrono_literals;
using namespace hx::sim;
namespace reg = hx::reg;

namespace {

class Sampling : public ::testing::Test, public hx::test::ClockedDrive {
protected:
    Sampling() : ClockedDrive({.databasePath = "-", .motion = "demo"}) {}
    void Configure(uint16_t interval, std::array<uint16_t, 4> codes, uint16_t points) {
        ASSERT_EQ(W(reg::kSampleInterval, interval), mbex::kNone);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(W(reg::kSampleChannelCode[i], codes[i]), mbex::kNone) << i;
        ASSERT_EQ(W(reg::kSamplePoints, points), mbex::kNone);
    }
    std::vector<int16_t> Words(uint16_t first, int count) { return hx::test::AreaWords(*drive, first, count); }
};

// Single writes in turn, each with the exception the drive answers.
struct Write {
    uint16_t address, value;
    uint8_t outcome;
};
void Script(VirtualDrive& d, std::initializer_list<Write> writes) {
    for (const Write& w : writes) EXPECT_EQ(d.WriteRegister(w.address, w.value), w.outcome) << w.address << "=" << w.value;
}
constexpr uint8_t kOk = mbex::kNone, kNo = mbex::kIllegalValue;

}  // namespace

TEST_F(Sampling, DefaultsAsTheDriveReportsThemAndSettingsItCannotCarryOutRefused) {
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

    // Not one source of the mask: several bits, the listed-only slot; code
    // 0x8000 is torque current. Points above the capacity on 137; points
    // times active channels above it on the start, whichever was written
    // first; a trigger other than the start value is ignored.
    Script(*drive, {{reg::kSampleChannel1, 3, kNo}, {reg::kSampleChannel1, 16384, kNo}, {reg::kSampleChannel1, 32768, kOk},
                    {reg::kSampleInterval, 0, kNo}, {reg::kSampleInterval, 50, kOk}, {reg::kSamplePoints, 8000, kOk},
                    {reg::kSampleChannel2, 2, kOk}, {reg::kSampleTrigger, 1, kNo}, {reg::kSamplePoints, 8001, kNo},
                    {reg::kSamplePoints, 4001, kOk}, {reg::kSampleTrigger, 1, kNo}, {reg::kSamplePoints, 0, kNo},
                    {reg::kSamplePoints, 4000, kOk}, {reg::kSampleTrigger, 7, kOk}});
    EXPECT_EQ(R(reg::kSampleState), 0);
    EXPECT_EQ(R(reg::kSamplePoints), 4000);
    EXPECT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
}

TEST(SamplingOptions, AMaskAndAChannelCountLimitTheCodes) {
    VirtualDrive d({.databasePath = "-", .sourceMask = 0x0003, .sampleChannels = 2});
    // Not in the mask; a third channel; switching one off makes room.
    Script(d, {{reg::kSampleChannel1, 4, kNo}, {reg::kSampleChannel1, 1, kOk}, {reg::kSampleChannel2, 2, kOk},
               {reg::kSampleChannel3, 1, kNo}});
    EXPECT_EQ(d.ReadRegister(reg::kSampleChannel3), 0);
    Script(d, {{reg::kSampleChannel2, 0, kOk}, {reg::kSampleChannel3, 1, kOk}});
}

TEST(SamplingOptions, OlderFirmwareCapturesTwoHundredPointsAndHasNoPointsRegister) {
    hx::test::ClockedDrive d({.firmwareRegister = 199, .databasePath = "-"});
    // 137 is an ordinary parameter there: it takes any value and changes nothing.
    EXPECT_EQ(d.W(reg::kSamplePoints, 1000), mbex::kNone);
    d.W(reg::kSampleInterval, 100);
    d.W(reg::kSampleChannel1, 2);
    d.W(reg::kSampleTrigger, 1);
    d.clock->Step(200 * 100us - 1us);
    EXPECT_EQ(d.R(reg::kSampleState), 0);
    d.clock->Step(1us);
    EXPECT_EQ(d.R(reg::kSampleState), 1);
}

TEST_F(Sampling, CompleteAfterPointsTimesIntervalNeverEarlier) {
    clock->Step(1234567us);  // not on a control tick
    Configure(250, {2, 0, 0, 0}, 400);
    ASSERT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
    clock->Step(400 * 250us - 1us);
    EXPECT_EQ(R(reg::kSampleState), 0);
    clock->Step(1us);
    EXPECT_EQ(R(reg::kSampleState), 1);

    // A new start clears the state until it too has taken its time; settings
    // changed during a capture apply to the next one.
    ASSERT_EQ(W(reg::kSampleTrigger, 1), mbex::kNone);
    EXPECT_EQ(R(reg::kSampleState), 0);
    ASSERT_EQ(W(reg::kSamplePoints, 100), mbex::kNone);
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

// A test may make the drive report other limits; the capture area keeps the
// size the drive was built with, so a poked capacity cannot reach past it.
TEST_F(Sampling, PokedLimitsTakeEffect) {
    drive->Poke(reg::kSampleCapacity, 300);
    drive->Poke(reg::kSampleChannelCount, 1);
    EXPECT_EQ(R(reg::kSampleCapacity), 300);
    // More points than the area holds; a second channel.
    Script(*drive, {{reg::kSamplePoints, 400, kNo}, {reg::kSampleChannel1, 2, kOk}, {reg::kSampleChannel2, 1, kNo},
                    {reg::kSamplePoints, 300, kOk}, {reg::kSampleTrigger, 1, kOk}});
    drive->Poke(reg::kSampleCapacity, 60000);
    EXPECT_EQ(R(reg::kSampleCapacity), 8000);
}
