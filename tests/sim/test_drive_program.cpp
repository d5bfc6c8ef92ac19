// The halvex-drive-sim program: options, what it prints, its state file
// across a restart, and a clean exit on SIGTERM and SIGINT.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ModbusClient.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

// The program in the background; `lines` is how many lines of its output to
// wait for before the test goes on.
struct Sim : hx::test::BackgroundProgram {
    Sim(std::vector<std::string> args, int lines = 1)
        : BackgroundProgram(hx::test::DriveSimProgram(), std::move(args), lines) {}
    std::string Line() const { return Lines().empty() ? std::string() : Lines()[0]; }
};

// The program's line as its clients see it; a value written and stored
// with the save command, waited for.
struct Client : hx::test::ModbusClient {
    Client(const std::string& where, int station) : ModbusClient(where, station, 300) {}
    bool WriteAndStore(int address, uint16_t v) {
        return Write(address, v) && Write(90, 1) && hx::test::PollUntil([&] { return Read(90) == 0; });
    }
};

}  // namespace

TEST(DriveProgram, OptionsAreChecked) {
    {
        Sim sim({"--help"});
        EXPECT_EQ(sim.Line().rfind("Usage: halvex-drive-sim", 0), 0u);
        EXPECT_EQ(sim.Wait(), 0);
    }
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--station", "x"}, {"--drop-rate", "2"}, {"--stuck", "5"}, {"--bogus", "1"}, {"--baud"},
             {"--stations", "0-3"}, {"--stations", "5-2"}, {"--stations", "1,,2"}, {"--stations", "1-3", "--station", "4"},
             {"--alarm", "0"}, {"--machine-seed", "1", "--inertia-ratio", "3"}, {"--resonance", "10"},
             {"--inertia-ratio", "-1"}, {"--machine", "x"}, {"--machine", "2:ratio=3"},
             {"--resonance", "300/0.02/0.8", "--resonance", "800/0.02/0.3"}}) {
        Sim sim(bad, 0);
        EXPECT_EQ(sim.Wait(), 2) << bad[0];
    }
    // A drive model without definitions fails with a message, not a drive;
    // so does a machine for a station the line does not have.
    hx::test::TempProgramFolder folder;
    Sim sim({"--db", folder.DatabasePath(), "--drive-model", "NOSUCH"}, 0);
    EXPECT_EQ(sim.Wait(), 1);
    Sim elsewhere({"--stations", "1-2", "--machine", "5:inertia-ratio=3"}, 0);
    EXPECT_EQ(elsewhere.Wait(), 1);
}

// The truth file: each drive of the line with its own machine, written at
// start, again soon after a loop parameter changes over the wire, at once on
// SIGUSR1, and at exit.
TEST(DriveProgram, TheTruthFileFollowsTheDrivesLoops) {
    hx::test::TempProgramFolder folder;
    const std::string truth = folder.File("truth.json");
    Sim sim({"--tcp", "127.0.0.1:0", "--db", folder.DatabasePath(), "--stations", "1-2", "--machine",
             "2:inertia-ratio=12,machine-hz=0", "--truth", truth});
    ASSERT_EQ(sim.Line().rfind("tcp:127.0.0.1:", 0), 0u) << sim.Line();
    auto text = [&] { return std::filesystem::exists(truth) ? hx::test::ReadFileBytes(truth) : std::string(); };
    ASSERT_TRUE(hx::test::PollUntil([&] { return !text().empty(); }));
    const std::string first = text();
    EXPECT_EQ(first.rfind("{\n  \"format\": \"halvex-drive-sim truth\",\n  \"version\": 1,", 0), 0u) << first.substr(0, 80);
    const auto two = first.find("\"station\": 2,");
    ASSERT_NE(two, std::string::npos);
    EXPECT_LT(first.find("\"inertiaRatio\": 5.33333,"), two) << "the line's default machine at station 1";
    EXPECT_GT(first.find("\"inertiaRatio\": 12,"), two);
    EXPECT_NE(first.find("\"speedLoopHz\": 27,"), std::string::npos);

    Client c(sim.Line(), 1);
    ASSERT_TRUE(c.Write(25, 400));  // Pr1.05: 40.0 Hz
    EXPECT_TRUE(hx::test::PollUntil([&] { return text().find("\"speedLoopHz\": 40,") != std::string::npos; }));
    std::filesystem::remove(truth);
    ASSERT_EQ(kill(sim.Pid(), SIGUSR1), 0);
    EXPECT_TRUE(hx::test::PollUntil([&] { return !text().empty(); }));
    std::filesystem::remove(truth);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_NE(text().find("\"speedLoopHz\": 40,"), std::string::npos) << "written at exit";
}

// A bus of drives on TCP: each station keeps its own section of the state
// file, the others stay silent, and SIGINT ends it with every state saved;
// restarted on a pseudo-terminal it serves what it stored, and SIGTERM ends it
// with its device link gone.
TEST(DriveProgram, ServesKeepsEachStationsStateAndStopsCleanly) {
    hx::test::TempProgramFolder folder;
    const std::string state = folder.File("bus.txt"), link = folder.File("ttyBUS");
    {
        Sim sim({"--tcp", "127.0.0.1:0", "--db", folder.DatabasePath(), "--state", state, "--stations", "2,5",
                 "--firmware", "150", "--command-delay-ms", "20"});
        ASSERT_EQ(sim.Line().rfind("tcp:127.0.0.1:", 0), 0u) << sim.Line();
        Client c(sim.Line(), 5);
        EXPECT_EQ(c.Read(138), 150);
        EXPECT_TRUE(c.WriteAndStore(0, 3005));
        c.Station(2);
        ASSERT_TRUE(c.Write(0, 3002));  // not stored
        c.Station(3);
        EXPECT_EQ(c.Read(0), -1);
        EXPECT_EQ(sim.Stop(SIGINT), 0);
    }
    const std::string saved = hx::test::ReadFileBytes(state);
    const auto two = saved.find("[station 2]\n"), five = saved.find("[station 5]\n");
    ASSERT_NE(two, std::string::npos);
    ASSERT_NE(five, std::string::npos);
    EXPECT_EQ(saved.find("nv 0 3005\n"), saved.find("nv 0 ", five));
    EXPECT_NE(saved.find("nv 0 4200\n", two), std::string::npos);
    {
        Sim sim({"--db", folder.DatabasePath(), "--state", state, "--stations", "2,5", "--pty", link});
        ASSERT_EQ(sim.Line().rfind("/dev/", 0), 0u) << sim.Line();
        Client c(link, 5);
        EXPECT_EQ(c.Read(0), 3005);
        c.Station(2);
        EXPECT_EQ(c.Read(0), 4200);
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    // One drive cannot take a file of several: it says so instead of
    // starting from half a memory.
    Sim single({"--db", folder.DatabasePath(), "--state", state}, 0);
    EXPECT_EQ(single.Wait(), 1);
}
