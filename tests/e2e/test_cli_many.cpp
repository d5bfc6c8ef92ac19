// halvex-cli on many drives: two gateways on Modbus TCP, stations 1..3
// asked on each; behind the first, station 2 has no drive (silent) and
// station 3 is busy (it refuses every request). The others are backed up,
// set up, checked for alarms and restored, one command each, and the
// summary, the files and the exit status tell which drives failed.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

hx::sim::DriveOptions Gateway(std::vector<uint8_t> stations) {
    return {.stations = std::move(stations), .commandDelayMs = 30, .tcpListen = "127.0.0.1:0"};
}

class CliMany : public ::testing::Test {
protected:
    CliMany() { a.Drive(3).SetBusy(true); }

    std::string PortA() const { return "tcp:127.0.0.1:" + std::to_string(a.TcpPort()); }
    std::string PortB() const { return "tcp:127.0.0.1:" + std::to_string(b.TcpPort()); }
    // The command on both gateways.
    hx::test::ProgramResult Cli(std::vector<std::string> words, const std::string& stations = "1-3") const {
        return hx::test::RunCli(
            hx::test::Join({"--port", PortA(), "--port", PortB(), "--stations", stations, "--timeout", "200"}, words));
    }
    std::string FailedLine() const {
        return "halvex-cli: 2 of 6 drives failed: " + PortA() + " station 2, " + PortA() + " station 3\n";
    }

    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive a{Gateway({1, 3})}, b{Gateway({1, 2, 3})};
};

std::string WithoutTimes(const std::string& text) {
    return std::regex_replace(text, std::regex("\"seconds\": [0-9]+\\.[0-9]{3}"), "\"seconds\": S");
}

}  // namespace

// Lines that would lose work are refused before any drive is asked; then
// every drive is backed up, set up, checked and restored.
TEST_F(CliMany, RefusesALineThatWouldLoseWorkAndBacksUpSetsUpChecksAndRestoresEveryDrive) {
    const auto run = hx::test::RunCli;
    // One file for ten drives: each would write over the one before.
    auto one = Cli({"params", "read", "-o", folder.File("all.qxr")});
    EXPECT_EQ(one.status, 2);
    EXPECT_NE(one.err.find("names the same file for several drives; put {station} and {port} in it"),
              std::string::npos)
        << one.err;
    // Commands for one drive only, and stations that cannot be asked.
    EXPECT_EQ(Cli({"write", "0", "100"}).status, 2);
    EXPECT_EQ(Cli({"run", "velocity"}).status, 2);
    EXPECT_EQ(run({"--port", PortA(), "--port", PortA(), "--stations", "1-2", "identity"}).status, 2);
    EXPECT_EQ(run({"--port", PortA(), "--stations", "0-2", "identity"}).status, 2);
    EXPECT_EQ(run({"--port", PortA(), "--station", "1", "--stations", "1-2", "identity"}).status, 2);
    for (uint8_t s : {1, 3}) EXPECT_EQ(a.Drive(s).RequestCount(), 0u) << int(s);
    for (uint8_t s = 1; s <= 3; ++s) EXPECT_EQ(b.Drive(s).RequestCount(), 0u) << int(s);
    const std::string pattern = folder.File("axis-{port}-{station}.qxr");
    const std::string summary = folder.File("summary.json");
    b.Drive(2).SetRam(0, 2900);  // a peak current of its own, to be restored
    const auto backup = Cli({"params", "read", "-o", pattern, "--summary-json", summary});
    EXPECT_EQ(backup.status, 1) << backup.err;
    EXPECT_EQ(backup.err.substr(backup.err.size() - FailedLine().size()), FailedLine());
    // The silent station cost its retries of register 0 and nothing more.
    EXPECT_EQ(a.Server().GetStats().otherStation, 3u);

    const std::string fileA = "axis-tcp-127.0.0.1-" + std::to_string(a.TcpPort()) + "-";
    const std::string fileB = "axis-tcp-127.0.0.1-" + std::to_string(b.TcpPort()) + "-";
    EXPECT_TRUE(std::filesystem::exists(folder.File(fileA + "1.qxr")));
    for (int s : {2, 3}) EXPECT_FALSE(std::filesystem::exists(folder.File(fileA + std::to_string(s) + ".qxr"))) << s;
    for (int s = 1; s <= 3; ++s) EXPECT_TRUE(std::filesystem::exists(folder.File(fileB + std::to_string(s) + ".qxr")));

    // The summary: one row per drive, ports in the order given, stations ascending.
    std::string rows;
    for (const auto& [port, file] : {std::pair{PortA(), fileA}, std::pair{PortB(), fileB}})
        for (int s = 1; s <= 3; ++s) {
            const bool busy = port == PortA() && s == 3, silent = port == PortA() && s == 2;
            rows += "    {\"port\": \"" + port + "\", \"station\": " + std::to_string(s) + ", \"model\": \"" +
                    (busy || silent ? "" : "HX-KRV4-0750") + "\", \"result\": \"" +
                    (busy || silent ? "failed" : "ok") + "\", \"seconds\": S, \"output\": \"" +
                    (busy || silent ? "" : folder.File(file + std::to_string(s) + ".qxr")) + "\", \"message\": \"" +
                    (busy ? "read 0 failed: the drive refused the request: exception 6 (device busy)"
                     : silent ? "read 0 failed: no answer within 200 ms"
                              : "") +
                    "\"}" + (port == PortB() && s == 3 ? "" : ",") + "\n";
        }
    std::string arguments = "\"--port\", \"" + PortA() + "\", \"--port\", \"" + PortB() +
                            "\", \"--stations\", \"1-3\", \"--timeout\", \"200\", \"params\", \"read\", \"-o\", \"" +
                            pattern + "\", \"--summary-json\", \"" + summary + "\"";
    EXPECT_EQ(WithoutTimes(hx::test::ReadFileBytes(summary)),
              "{\n  \"format\": \"halvex-cli summary\",\n  \"version\": 1,\n  \"arguments\": [" + arguments +
                  "],\n  \"drives\": 6,\n  \"failed\": 2,\n  \"seconds\": S,\n  \"results\": [\n" + rows +
                  "  ]\n}\n");
    EXPECT_NE(backup.out.find("\n" + PortA() + "        2  -             failed  "), std::string::npos) << backup.out;
    EXPECT_EQ(backup.out.substr(backup.out.size() - 25), "4 of 6 drives succeeded.\n");

    // The same set-up for a drive on each gateway, from one file (a store
    // takes the drive two seconds: one drive each keeps the test short).
    const std::string setup = folder.File("line.setup");
    hx::test::WriteFileBytes(setup, "peak_current_ma=3300\n");
    const auto applied = Cli({"setup", "apply", setup}, "1");
    EXPECT_EQ(applied.status, 0) << applied.err;
    EXPECT_EQ(a.Drive(1).Nv(0), 3300);
    EXPECT_EQ(b.Drive(1).Nv(0), 3300);
    EXPECT_NE(b.Drive(2).Nv(0), 3300);

    // The alarm check shows each drive's alarms in its own block.
    ASSERT_TRUE(b.Drive(2).RaiseAlarm(9));
    const auto alarms = Cli({"alarms", "--lang", "en"});
    EXPECT_EQ(alarms.status, 1);
    const auto block = alarms.out.find("== " + PortB() + " station 2 ==\ncurrent: Err0009");
    EXPECT_NE(block, std::string::npos) << alarms.out;
    EXPECT_NE(alarms.out.find("== " + PortB() + " station 1 ==\ncurrent: no alarm"), std::string::npos);
    // The gateways are asked at once: the second is done while the first
    // still waits out its silent station.
    const auto secondDone = alarms.err.find("[" + PortB() + " station 3] ok in");
    const auto silentEnded = alarms.err.find("[" + PortA() + " station 2] failed in");
    ASSERT_NE(silentEnded, std::string::npos) << alarms.err;
    EXPECT_LT(secondDone, silentEnded) << alarms.err;

    // Each drive gets its own backup back.
    const auto restored = Cli({"params", "load", pattern});
    EXPECT_EQ(restored.status, 1) << restored.err;
    EXPECT_EQ(restored.err.substr(restored.err.size() - FailedLine().size()), FailedLine());
    EXPECT_EQ(b.Drive(2).Ram(0), 2900);
    EXPECT_EQ(b.Drive(1).Ram(0), 4200);
    EXPECT_EQ(a.Drive(1).Ram(0), 4200);

    // The load backed each drive up first: its newest backup holds what the
    // set-up left, and one command puts every drive back to it.
    const auto listed = Cli({"params", "backups", "--drive"}, "1");
    EXPECT_EQ(listed.status, 0) << listed.err;
    const auto undone = Cli({"params", "restore", "latest"}, "1");
    EXPECT_EQ(undone.status, 0) << undone.err;
    EXPECT_EQ(a.Drive(1).Ram(0), 3300);
    EXPECT_EQ(b.Drive(1).Ram(0), 3300);
}
