// halvex-cli tune gains against a simulated drive over a pseudo-terminal:
// what it prints, the files it writes, its exit status, and that a refused
// command line writes nothing.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

using hx::test::RunCli;

hx::sim::DriveOptions Options() { return {.station = 7, .databasePath = "-", .machineSeed = 2}; }

}  // namespace

// A refused command line writes nothing; a good one tunes, proves and
// reports, in RAM only.
TEST(CliTune, TunesProvesAndReportsInRamOnly) {
    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive drive(Options());
    for (auto [option, value] : {std::pair{"--stiffness", "rigid"}, {"--travel", "0"}, {"--captures", "0"}})
        EXPECT_EQ(RunCli({"--port", drive.DevicePath(), "--station", "7", "tune", "gains", option, value}).status, 2);
    EXPECT_TRUE(hx::test::WrittenAddresses(drive.Drive(), {42, 25, 70}).empty());
    const std::string bode = folder.File("bode-{station}.csv"), json = folder.File("summary.json");
    const auto r = RunCli({"--port", drive.DevicePath(), "--stations", "7", "--summary-json", json, "tune", "gains",
                           "--bode", bode, "--captures", "1"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    for (const char* line : {"identified: inertia ratio", "set (RAM): Pr1.13 250 -> ", "set (RAM): Pr1.05 270 -> ",
                             "standard move before: settling", "standard move after:  settling", "after: crossover",
                             "in RAM only: the drive forgets these settings at power-off unless stored (--store)"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    const std::string csv = hx::test::ReadFileBytes(folder.File("bode-7.csv"));
    EXPECT_EQ(csv.rfind("frequency_hz,plant_db,plant_deg,open_loop_before_db,open_loop_before_deg,open_loop_after_db,"
                        "open_loop_after_deg,coherence\n",
                        0),
              0u);
    EXPECT_NE(hx::test::ReadFileBytes(json).find("\"station\": 7"), std::string::npos);
    // Not stored: the storing command was never written.
    EXPECT_TRUE(hx::test::WrittenAddresses(drive.Drive(), {90}).empty());
}
