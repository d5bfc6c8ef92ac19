// The halvex-drive-sim program: options, what it prints, its state file
// across a restart, and a clean exit on SIGTERM.

#include <gtest/gtest.h>
#include <modbus/modbus.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/RunProgram.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;

namespace {

std::string Program() { return hx::test::BuildBinFolder() + "/halvex-drive-sim"; }

// The program in the background; `lines` is how many lines of its output to
// wait for before the test goes on.
struct Sim : hx::test::BackgroundProgram {
    Sim(std::vector<std::string> args, int lines = 1) : BackgroundProgram(Program(), std::move(args), lines) {}
    std::string Line() const { return Lines().empty() ? std::string() : Lines()[0]; }
};

int Read(modbus_t* ctx, int address) {
    uint16_t v = 0;
    return modbus_read_registers(ctx, address, 1, &v) == 1 ? v : -1;
}

}  // namespace

TEST(DriveProgram, ServesKeepsItsStateAndStopsCleanly) {
    if (!std::filesystem::exists(Program())) GTEST_SKIP() << "halvex-drive-sim is not built";
    hx::test::TempProgramFolder folder;
    const std::string state = folder.File("nv.txt");
    const std::vector<std::string> args{"--tcp",   "127.0.0.1:0", "--db",      folder.DatabasePath(),
                                        "--state", state,         "--station", "9",
                                        "--firmware", "150",      "--command-delay-ms", "20"};
    {
        Sim sim(args);
        const std::string where = sim.Line();
        ASSERT_EQ(where.rfind("tcp:127.0.0.1:", 0), 0u) << where;
        const int port = std::stoi(where.substr(14));
        modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
        modbus_set_slave(ctx, 9);
        ASSERT_EQ(modbus_connect(ctx), 0);
        EXPECT_EQ(Read(ctx, 138), 150);
        EXPECT_EQ(Read(ctx, 0), 4200);
        ASSERT_EQ(modbus_write_register(ctx, 0, 3000), 1);
        ASSERT_EQ(modbus_write_register(ctx, 90, 1), 1);
        int polls = 0;
        while (Read(ctx, 90) != 0 && ++polls < 200) std::this_thread::sleep_for(10ms);
        EXPECT_LT(polls, 200);
        modbus_close(ctx);
        modbus_free(ctx);
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
    }
    {
        // Restarted with the same state file, on a pseudo-terminal.
        Sim sim({"--db", folder.DatabasePath(), "--state", state, "--pty", folder.File("ttySIM")});
        const std::string device = sim.Line();
        ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
        modbus_t* ctx = modbus_new_rtu(folder.File("ttySIM").c_str(), 38400, 'N', 8, 2);
        modbus_set_slave(ctx, 63);
        ASSERT_EQ(modbus_connect(ctx), 0);
        EXPECT_EQ(Read(ctx, 0), 3000);
        modbus_close(ctx);
        modbus_free(ctx);
        EXPECT_EQ(sim.Stop(SIGINT), 0);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder.File("ttySIM"))));
    }
}

TEST(DriveProgram, OptionsAreChecked) {
    if (!std::filesystem::exists(Program())) GTEST_SKIP() << "halvex-drive-sim is not built";
    {
        Sim sim({"--help"});
        EXPECT_EQ(sim.Line().rfind("Usage: halvex-drive-sim", 0), 0u);
        EXPECT_EQ(sim.Wait(), 0);
    }
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--station", "x"}, {"--drop-rate", "2"}, {"--stuck", "5"}, {"--bogus", "1"}, {"--baud"},
             {"--stations", "0-3"}, {"--stations", "5-2"}, {"--stations", "1,,2"}, {"--stations", "1-3", "--station", "4"},
             {"--alarm", "0"}}) {
        Sim sim(bad, 0);
        EXPECT_EQ(sim.Wait(), 2) << bad[0];
    }
    // A drive model without definitions fails with a message, not a drive.
    hx::test::TempProgramFolder folder;
    Sim sim({"--db", folder.DatabasePath(), "--drive-model", "NOSUCH"}, 0);
    EXPECT_EQ(sim.Wait(), 1);
}

// A bus of drives: each station keeps its own section of the state file,
// the others stay silent, and SIGINT ends it with every state saved.
TEST(DriveProgram, SeveralStationsShareTheLineAndTheStateFile) {
    if (!std::filesystem::exists(Program())) GTEST_SKIP() << "halvex-drive-sim is not built";
    hx::test::TempProgramFolder folder;
    const std::string state = folder.File("bus.txt");
    const std::vector<std::string> args{"--db", folder.DatabasePath(), "--state", state, "--stations", "2,5",
                                        "--pty", folder.File("ttyBUS")};
    auto connect = [&](int station) {
        modbus_t* ctx = modbus_new_rtu(folder.File("ttyBUS").c_str(), 38400, 'N', 8, 2);
        modbus_set_slave(ctx, station);
        modbus_set_response_timeout(ctx, 0, 300000);
        EXPECT_EQ(modbus_connect(ctx), 0);
        return ctx;
    };
    {
        Sim sim(args);
        ASSERT_EQ(sim.Line().rfind("/dev/", 0), 0u);
        modbus_t* ctx = connect(5);
        ASSERT_EQ(modbus_write_register(ctx, 0, 3005), 1);
        ASSERT_EQ(modbus_write_register(ctx, 90, 1), 1);
        int polls = 0;
        while (Read(ctx, 90) != 0 && ++polls < 200) std::this_thread::sleep_for(10ms);
        modbus_set_slave(ctx, 2);
        ASSERT_EQ(modbus_write_register(ctx, 0, 3002), 1);  // not stored
        modbus_set_slave(ctx, 3);
        EXPECT_EQ(Read(ctx, 0), -1);
        modbus_close(ctx);
        modbus_free(ctx);
        EXPECT_EQ(sim.Stop(SIGINT), 0);
    }
    const std::string saved = hx::test::ReadFileBytes(state);
    const auto two = saved.find("[station 2]\n"), five = saved.find("[station 5]\n");
    ASSERT_NE(two, std::string::npos);
    ASSERT_NE(five, std::string::npos);
    EXPECT_EQ(saved.find("nv 0 3005\n"), saved.find("nv 0 ", five));
    EXPECT_NE(saved.find("nv 0 4200\n", two), std::string::npos);
    {
        Sim sim(args);
        ASSERT_EQ(sim.Line().rfind("/dev/", 0), 0u);
        modbus_t* ctx = connect(5);
        EXPECT_EQ(Read(ctx, 0), 3005);
        modbus_set_slave(ctx, 2);
        EXPECT_EQ(Read(ctx, 0), 4200);
        modbus_close(ctx);
        modbus_free(ctx);
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
    }
    // One drive cannot take a file of several: it says so instead of
    // starting from half a memory.
    Sim single({"--db", folder.DatabasePath(), "--state", state}, 0);
    EXPECT_EQ(single.Wait(), 1);
}
