// The drive handle turns each request's outcome into one typed fault: a
// refusal must never pass for silence (the user is told the drive's reason),
// and silence never for an answer.

#include <gtest/gtest.h>

#include <memory>

#include "core/link/CQXCOM.h"
#include "core/link/DriveHandle.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"

using hx::DriveFaultKind;
using hx::DriveHandle;

namespace {

constexpr uint8_t kStation = 7;

struct Link {
    hx::sim::InProcessDrive drive;
    CQXCOM comm;
    explicit Link(hx::sim::DriveOptions o) : drive(o) {
        comm.ConfigCom(drive.DevicePath(), "115200", "8", "NONE", "2");
        comm.SetReceiveTimeOut(300);
        // The simulated drive never answers late: a short horizon keeps
        // lost frames cheap.
        comm.SetLateHorizon(150);
        EXPECT_NE(comm.OpenCom(), 0) << comm.LastErrorText();
    }
};

hx::sim::DriveOptions Options() {
    hx::sim::DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    return o;
}

}  // namespace

TEST(DriveHandle, ReadsWritesAndBlocksAgreeWithTheDrive) {
    Link link(Options());
    for (uint16_t a = 30000; a < 30130; ++a) link.drive.Drive().SetRam(a, static_cast<uint16_t>(a * 7));
    DriveHandle drive(&link.comm, kStation, 200.0f);

    const auto one = drive.Read(30003);
    ASSERT_TRUE(one.has_value()) << drive.fault().text;
    EXPECT_EQ(static_cast<uint16_t>(*one), static_cast<uint16_t>(30003 * 7));
    EXPECT_TRUE(drive.fault().ok());

    const auto block = drive.ReadWords(30002, 125);
    ASSERT_TRUE(block.has_value()) << drive.fault().text;
    ASSERT_EQ(block->size(), 125u);
    EXPECT_EQ((*block)[0], static_cast<uint16_t>(30002 * 7));
    EXPECT_EQ((*block)[124], static_cast<uint16_t>(30126 * 7));

    const uint16_t words[3] = {11, 0xFFFF, 13};
    ASSERT_TRUE(drive.WriteWords(30010, words, 3)) << drive.fault().text;
    EXPECT_EQ(link.drive.Drive().Ram(30011), 0xFFFF);
    EXPECT_EQ(link.drive.Drive().Ram(30012), 13);
    const auto echoed = drive.Write(30020, 0xFFFE);
    ASSERT_TRUE(echoed.has_value());
    EXPECT_EQ(*echoed, -2);
}

TEST(DriveHandle, ARefusalCarriesTheDrivesReasonAndASilentDriveIsNoAnswer) {
    Link link(Options());
    DriveHandle drive(&link.comm, kStation);

    // Far outside the drive's map: the drive answers with exception 2.
    EXPECT_FALSE(drive.Read(20000).has_value());
    EXPECT_EQ(drive.fault().kind, DriveFaultKind::Refused);
    EXPECT_EQ(drive.fault().exceptionCode, 2);
    EXPECT_TRUE(drive.fault().answered());

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
}

// A refusal is an answer for the link's counters; a port whose far end is
// gone (an unplugged adapter, a killed simulator) is a lost port, counted as
// unanswered, not silence.
TEST(DriveHandle, AVanishedPortIsALostPortAndARefusalAnAnswer) {
    auto sim = std::make_unique<hx::sim::InProcessDrive>(Options());
    CQXCOM comm;
    comm.ConfigCom(sim->DevicePath(), "115200", "8", "NONE", "2");
    comm.SetReceiveTimeOut(300);
    ASSERT_NE(comm.OpenCom(), 0) << comm.LastErrorText();
    DriveHandle drive(&comm, kStation);
    EXPECT_FALSE(drive.Read(20000).has_value());
    EXPECT_EQ(drive.fault().kind, DriveFaultKind::Refused);
    EXPECT_EQ(comm.GetHealth().unanswered, 0u);
    EXPECT_TRUE(comm.GetHealth().answering);
    EXPECT_FALSE(comm.GetHealth().portLost);

    sim.reset();
    EXPECT_FALSE(drive.Read(0).has_value());
    EXPECT_EQ(drive.fault().kind, DriveFaultKind::PortLost) << drive.fault().text;
    const CQXCOM::Health health = comm.GetHealth();
    EXPECT_TRUE(health.portLost);
    EXPECT_FALSE(health.answering);
    EXPECT_GE(health.unanswered, 1u);
}
