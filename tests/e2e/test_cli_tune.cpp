// halvex-cli tune against simulated drives over pseudo-terminals: the gains
// (what it prints, the files it writes, its exit status, and that a refused
// command line writes nothing) and the vibration assistant.

#include <gtest/gtest.h>

#include <future>
#include <iostream>

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

// The vibration assistant on machines that swing at 20, 25, 40 and 60 Hz
// (one drive each, all at once): the sets it writes leave at most a fifth of
// the ringing, a second pass giving what the 1st left sets of its own;
// --store keeps them in the drive. A rigid machine does not ring and a
// ringing slower than the sets reach is said so; neither gets a write.
TEST(CliTune, TuneVibrationTakesTheRingingOut) {
    hx::test::TempProgramFolder folder;
    const std::pair<double, bool> cases[] = {{20, false}, {25, true}, {40, false}, {60, false}, {0, false}, {6, false}};
    std::vector<std::unique_ptr<hx::sim::InProcessDrive>> drives;
    std::vector<std::future<hx::test::ProgramResult>> runs;
    for (const auto& [machineHz, store] : cases) {
        drives.push_back(std::make_unique<hx::sim::InProcessDrive>(hx::sim::DriveOptions{
            .station = 7, .databasePath = "-", .commandDelayMs = 50, .machineHz = machineHz}));
        // Stiff enough that the motor shows the machine's swing.
        hx::test::SetStiffLoops(drives.back()->Drive());
        std::vector<std::string> args = {"--port", drives.back()->DevicePath(), "--station", "7", "--timeout", "300",
                                         "tune", "vibration", "--speed", "200", "--distance", "20", "--accel", "500"};
        if (store) args.push_back("--store");
        runs.push_back(std::async(std::launch::async, [args] { return RunCli(args); }));
    }
    auto peakToPeak = [](const std::string& out, const std::string& line) {
        const auto at = out.find(line + ": ");
        const auto pp = out.find("peak-to-peak ", at);
        return at == std::string::npos || pp == std::string::npos ? -1.0 : std::stod(out.substr(pp + 13));
    };
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto [machineHz, store] = cases[i];
        SCOPED_TRACE(testing::Message() << "machine " << machineHz << " Hz");
        const auto r = runs[i].get();
        auto& vd = drives[i]->Drive();
        if (machineHz == 0 || machineHz == 6) {
            EXPECT_EQ(r.status, 1) << r.out << r.err;
            EXPECT_NE(r.err.find(machineHz == 0 ? "no ringing" : "too slow"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
            EXPECT_TRUE(
                hx::test::WrittenAddresses(vd, {77, 78, 86, 79, 80, 87, 81, 82, 88, 64, 66, 68, 89}).empty());
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        // The second pass, where it ran and was kept, has the last word.
        const bool second = r.out.find("after the second pass: ") != std::string::npos &&
                            r.out.find("are back as they were") == std::string::npos;
        const double before = peakToPeak(r.out, "before"),
                     after = peakToPeak(r.out, second ? "after the second pass" : "after");
        EXPECT_GT(before, 50) << r.out;
        EXPECT_GE(after, 0) << r.out;
        EXPECT_LE(after * 5, before) << r.out;
        // The set written is the one the drive holds: half the ringing's
        // period in phase A.
        const double hz = std::stod(r.out.substr(r.out.find("before: ") + 8));
        EXPECT_EQ(vd.Ram(77), 100);
        EXPECT_NEAR(vd.Ram(78), 2500 / hz, 1.0) << r.out;
        EXPECT_NE(r.out.find("written (RAM): 1st set amplitude 100, phase A " + std::to_string(vd.Ram(78)) +
                             ", phase B " + std::to_string(vd.Ram(86))),
                  std::string::npos)
            << r.out;
        // The sets after the 1st are the ones the second pass printed, else as they were.
        const struct {
            const char* name;
            uint16_t amplitude, phaseA, phaseB;
        } sets[] = {{"2nd", 79, 80, 87}, {"3rd", 81, 82, 88}, {"4th", 64, 66, 68}};
        for (const auto& s : sets) {
            const std::string line = "written (RAM): " + std::string(s.name) + " set amplitude " +
                                     std::to_string(vd.Ram(s.amplitude)) + ", phase A " + std::to_string(vd.Ram(s.phaseA)) +
                                     ", phase B " + std::to_string(vd.Ram(s.phaseB));
            EXPECT_EQ(vd.Ram(s.amplitude) != 0, second && r.out.find(line) != std::string::npos) << s.name << r.out;
        }
        std::cout << "machine " << machineHz << " Hz: peak-to-peak " << before << " -> " << after << " ("
                  << before / std::max(after, 1.0) << "x" << (second ? ", second pass kept" : "") << ")\n";
        EXPECT_EQ(vd.Nv(78), store ? vd.Ram(78) : 0);
        EXPECT_EQ(r.out.find("stored") != std::string::npos, store) << r.out;
    }
}
