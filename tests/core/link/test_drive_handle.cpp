// The drive handle turns each request's outcome into one typed fault: a
// refusal must never pass for silence (the user is told the drive's reason),
// and silence never for an answer. Its reads and writes of values are
// exercised by every transfer test.

#include "support/PtyDrive.h"

using hx::DriveFaultKind;
using hx::DriveHandle;
using namespace hx::test;

constexpr uint8_t kStation = 7;

TEST(DriveHandle, ARefusalIsAnAnswerSilenceIsNoneAndAVanishedPortIsLost) {
    PtyDrive link(PlainDrive(kStation), 300);
    DriveHandle drive(&link.comm, kStation);
    const uint16_t words[3] = {11, 0xFFFF, 13};
    ASSERT_TRUE(drive.WriteWords(30010, words, 3)) << drive.fault().text;
    EXPECT_EQ(drive.ReadWords(30010, 3), (std::vector<uint16_t>{11, 0xFFFF, 13}));
    EXPECT_TRUE(drive.fault().ok());

    // Far outside the drive's map: the drive answers with exception 2.
    EXPECT_FALSE(drive.Read(20000).has_value());
    EXPECT_EQ(drive.fault().kind, DriveFaultKind::Refused);
    EXPECT_EQ(drive.fault().exceptionCode, 2);
    EXPECT_TRUE(drive.fault().answered());
    // A refusal is an answer for the link's counters.
    EXPECT_EQ(link.comm.GetHealth().unanswered, 0u);
    EXPECT_TRUE(link.comm.GetHealth().answering);

    uint16_t dest[4] = {1, 2, 3, 4};
    DriveHandle other = drive.atStation(kStation + 1);  // nobody listens there
    link.comm.SetReceiveTimeOut(20);
    EXPECT_FALSE(other.ReadWords(30000, 4, dest));
    EXPECT_EQ(other.fault().kind, DriveFaultKind::NoAnswer);
    EXPECT_FALSE(other.fault().answered());
    EXPECT_EQ(dest[0], 1);  // a failed read leaves the buffer alone
    EXPECT_EQ(dest[3], 4);
    // The first handle's outcome is its own.
    EXPECT_EQ(drive.fault().kind, DriveFaultKind::Refused);
    EXPECT_FALSE(link.comm.GetHealth().portLost);

    // A port whose far end is gone (an unplugged adapter, a killed simulator)
    // is a lost port, counted as unanswered, not silence.
    CQXCOM& comm = link.comm;
    link.drive.reset();
    EXPECT_FALSE(drive.Read(0).has_value());
    EXPECT_EQ(drive.fault().kind, DriveFaultKind::PortLost) << drive.fault().text;
    const CQXCOM::Health health = comm.GetHealth();
    EXPECT_TRUE(health.portLost);
    EXPECT_FALSE(health.answering);
    EXPECT_GE(health.unanswered, 2u);

    // Nothing more goes into the dead descriptor: reads and writes fail at
    // once as a lost port, and the line's counters do not move.
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(drive.Read(0).has_value());
        EXPECT_EQ(drive.fault().kind, DriveFaultKind::PortLost) << drive.fault().text;
    }
    EXPECT_EQ(comm.WriteAddressValue(kStation, 5, 1), -1);
    EXPECT_EQ(comm.GetHealth().requests, health.requests);
    EXPECT_EQ(comm.GetHealth().unanswered, health.unanswered);
    EXPECT_TRUE(comm.GetHealth().portLost);
}
