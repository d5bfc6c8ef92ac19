// halvex-cli setup against two simulated drives served in this process over
// pseudo-terminals: one drive's set-up printed, copied to the other, and the
// failures a machine builder must hear about.

#include <gtest/gtest.h>

#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

hx::test::ProgramResult Cli(const hx::sim::InProcessDrive& drive, std::vector<std::string> words) {
    // The simulated drive never answers late: lost frames need not cost long.
    return hx::test::RunCli(
        hx::test::Join({"--port", drive.DevicePath(), "--late-horizon-ms", "150", "--station", "63"}, words));
}

// Station 63, KRV4.
hx::sim::DriveOptions Options(uint16_t variant) { return {.variantCode = variant, .commandDelayMs = 50}; }

}  // namespace

TEST(CliSetup, CopiesASetupFromOneDriveToTheNext) {
    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive first(Options(1000)), next(Options(1000));
    auto& a = first.Drive();
    for (auto [r, v] : {std::pair{50, 1}, {49, 12}, {0, 3300}, {133, 400}, {30, 4}, {134, 0x7F}})
        a.SetRam(static_cast<uint16_t>(r), static_cast<uint16_t>(v));

    const auto shown = Cli(first, {"setup"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind("alias_source=1\nalias_switch=4\nalias=12\npeak_current_ma=3300\n", 0), 0u) << shown.out;
    EXPECT_NE(shown.out.find("\ninput5_filter_us=400\n"), std::string::npos);
    EXPECT_NE(shown.out.find("\noutput6_function=4\n"), std::string::npos);

    const std::string file = folder.File("drive.setup");
    hx::test::WriteFileBytes(file, shown.out);
    const auto applied = Cli(next, {"setup", "apply", file});
    ASSERT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(applied.out, "wrote 30 registers, stored, read back\n");
    auto& b = next.Drive();
    EXPECT_EQ(b.CommandsCompleted(90), 1);
    for (uint16_t r : {50, 49, 0, 133, 30, 134}) EXPECT_EQ(b.Nv(r), a.Ram(r)) << r;
    EXPECT_EQ(Cli(next, {"setup"}).out, shown.out);
    EXPECT_NE(Cli(first, {"setup", "--help"}).out.find("inputN_filter_us"), std::string::npos) << "the names are documented";
}

TEST(CliSetup, SaysWhatWentWrongAndRefusesAnotherModel) {
    hx::test::TempProgramFolder folder;
    hx::sim::DriveOptions options = Options(1001);
    options.stuckRegisters = {90};
    hx::sim::InProcessDrive drive(options);

    // A bad file is refused before anything is written.
    const std::string bad = folder.File("bad.setup");
    hx::test::WriteFileBytes(bad, "peak_current_ma=3000\nstandby_time_ms=soon\n");
    drive.Drive().ClearRequests();
    auto r = Cli(drive, {"setup", "apply", bad});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("line 2: standby_time_ms: not a whole number: soon"), std::string::npos) << r.err;
    EXPECT_EQ(drive.Drive().RequestCount(), 0u);

    // The store never completes: written, but the tool does not claim success.
    const std::string good = folder.File("good.setup");
    hx::test::WriteFileBytes(good, "peak_current_ma=3000\noutput7_function=8\n");
    r = Cli(drive, {"setup", "apply", good});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("note: output7_function: the drive has 2 outputs, not written"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("register 90 never returned to 0"), std::string::npos) << r.err;
    EXPECT_EQ(drive.Drive().Ram(0), 3000);
    EXPECT_TRUE(r.out.empty());

    // A drive of another model is no wizard's.
    options.driveModel = "KRV7";
    hx::sim::InProcessDrive other(options);
    r = Cli(other, {"setup"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the setup wizard is for KRV4 drives; this drive is \"KRV7\""), std::string::npos) << r.err;
}

// The store command's reply is lost. The command is not sent again; the
// drive is asked instead: busy with it means stored, already back at 0 means
// nobody can tell, and the tool says so rather than "not stored".
TEST(CliSetup, ALostStoreReplyIsToldAsItIs) {
    hx::test::TempProgramFolder folder;
    hx::sim::DriveOptions options = Options(1001);
    options.commandDelayMs = 800;  // the store outlasts the wait for its late reply
    hx::sim::InProcessDrive drive(options);
    const std::string file = folder.File("a.setup");
    hx::test::WriteFileBytes(file, "peak_current_ma=3100\n");
    const std::vector<std::string> apply = {"setup", "apply", file};

    // The drive stored, its reply was lost: it still shows the store running.
    drive.Server().LoseWritesTo(90, 1, true);
    auto r = Cli(drive, apply);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(", stored, read back"), std::string::npos) << r.out;
    EXPECT_EQ(drive.Drive().CommandsCompleted(90), 1);
    EXPECT_EQ(drive.Drive().Nv(0), 3100);

    // The command never reached the drive: 90 reads 0 at once.
    hx::test::WriteFileBytes(file, "peak_current_ma=3200\n");
    drive.Server().LoseWritesTo(90, 1, false);
    r = Cli(drive, apply);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the store may have been carried out"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("not stored"), std::string::npos) << r.err;
    EXPECT_EQ(drive.Drive().CommandsCompleted(90), 1);
    EXPECT_EQ(drive.Drive().Ram(0), 3200);
}
