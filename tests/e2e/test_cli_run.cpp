// halvex-cli run against a simulated drive served in this process over a
// pseudo-terminal: the stop command, option checks, and a run that stops the
// motor when the tool is interrupted.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

std::string Cli() { return hx::test::BuildBinFolder() + "/halvex-cli"; }

std::vector<std::string> With(std::vector<std::string> common, const std::vector<std::string>& words) {
    common.insert(common.end(), words.begin(), words.end());
    return common;
}

hx::sim::DriveOptions Drive() {
    hx::sim::DriveOptions o;
    o.station = 7;
    o.databasePath = "-";
    return o;
}

}  // namespace

TEST(CliRun, StopWritesBothStopCommands) {
    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive drive(Drive());
    auto& vd = drive.Drive();
    // A trapezoid of many runs and a long current-loop test, both running.
    for (auto [a, v] : {std::pair{60, 1000}, {62, 100}, {65, 100}, {67, 200}, {69, 100}, {137, 8000}})
        vd.SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    vd.Poke(70, 1);
    vd.Poke(23, 1);
    ASSERT_EQ(vd.Peek(70), 1);
    ASSERT_EQ(vd.Peek(23), 1);
    const std::vector<std::string> common = {"--port", drive.DevicePath(), "--station", "7"};
    const auto r = hx::test::RunProgram(Cli(), With(common, {"run", "stop"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Peek(70), 0);
    EXPECT_EQ(vd.Peek(23), 0);

    // Nobody answers at another station: said so, with the no-answer status.
    const auto silent = hx::test::RunProgram(Cli(), {"--port", drive.DevicePath(), "--station", "8", "run", "stop"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("no answer"), std::string::npos) << silent.err;
}

// The current-loop test with the drive's gains, then with its auto-tuning:
// the figures printed, the tuned gains said, the step without overshoot.
TEST(CliRun, TorqueTestPrintsItsFiguresAndTheGainsTheDriveTuned) {
    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive drive(Drive());
    auto& vd = drive.Drive();
    for (auto [a, v] : {std::pair{15, 1000}, {16, 200}, {17, 256}}) vd.Poke(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    const std::vector<std::string> common = {"--port", drive.DevicePath(), "--station", "7"};
    auto overshoot = [](const std::string& out) {
        const auto at = out.find("overshoot: ");
        return at == std::string::npos ? -1.0 : std::stod(out.substr(at + 11));
    };
    auto r = hx::test::RunProgram(Cli(), With(common, {"run", "torque", "--current", "1000", "--points", "400"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Kp 1000, Ki 200, Kc 256, test current 1000 mA, 400 points\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rise time (10-90 %): "), std::string::npos);
    EXPECT_NE(r.out.find("settling time (5 %): "), std::string::npos);
    EXPECT_GT(overshoot(r.out), 15.0) << r.out;

    vd.Poke(13, 1);
    r = hx::test::RunProgram(Cli(), With(common, {"run", "torque", "--current", "1000", "--points", "400"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the drive tuned its gains: Kp 1000, Ki 20\n"), std::string::npos) << r.out;
    EXPECT_GE(overshoot(r.out), 0.0);
    EXPECT_LT(overshoot(r.out), 5.0) << r.out;
    EXPECT_EQ(r.out.find(": -0 mA"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("(-0.0 %)"), std::string::npos) << r.out;
}

TEST(CliRun, FieldsAreCheckedAsThePagesCheckThemBeforeAnythingIsWritten) {
    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive drive(Drive());
    auto& vd = drive.Drive();
    const std::vector<std::string> common = {"--port", drive.DevicePath(), "--station", "7"};
    vd.ClearRequests();
    struct Case {
        std::vector<std::string> words;
        const char* says;
    };
    const Case cases[] = {
        {{"run", "velocity", "--speed", "-1"}, "--speed must be 0..32767"},
        {{"run", "velocity", "--dwell", "0"}, "--dwell must be 1..10000"},
        {{"run", "velocity", "--runs", "70000"}, "--runs must be 1..65535"},
        {{"run", "velocity", "--interval", "150"}, "--interval must be one of"},
        {{"run", "velocity", "--direction", "0"}, "--direction must be 1 or -1"},
        {{"run", "velocity", "--channels", "3"}, "--channels"},
        {{"run", "velocity", "--bogus", "1"}, "unknown option --bogus"},
        {{"run", "torque", "--kc", "2000"}, "--kc must be 0..1024"},
        {{"run", "spin"}, "spin"},
    };
    for (const auto& c : cases) {
        const auto r = hx::test::RunProgram(Cli(), With(common, c.words));
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    for (const auto& req : vd.Requests()) EXPECT_NE(req.function, 6) << "wrote register " << req.address;
}

TEST(CliRun, InterruptStopsTheMotor) {
    hx::test::TempProgramFolder folder;
    hx::sim::InProcessDrive drive(Drive());
    auto& vd = drive.Drive();
    vd.Poke(136, 2000);
    const std::string port = drive.DevicePath();
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        dup2(devnull, 2);
        const std::string cli = Cli();
        execl(cli.c_str(), cli.c_str(), "--port", port.c_str(), "--station", "7", "run", "velocity", "--runs", "1000",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until the motion has been commanded, then interrupt.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (vd.Peek(70) != 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(vd.Peek(70), 1);
    EXPECT_EQ(vd.Peek(60), 1000);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(vd.Peek(70), 0);
}

// The vibration assistant on machines that swing at 25, 40 and 60 Hz (one
// drive each, all at once): the set it writes leaves at most a fifth of the
// ringing; --store keeps it in the drive. A rigid machine does not ring and
// a ringing slower than the sets reach is said so; neither gets a write.
TEST(CliRun, TuneVibrationTakesTheRingingOut) {
    hx::test::TempProgramFolder folder;
    struct Case {
        double machineHz;
        bool store;
    };
    const Case cases[] = {{25, true}, {40, false}, {60, false}, {0, false}, {6, false}};
    std::vector<std::unique_ptr<hx::sim::InProcessDrive>> drives;
    std::vector<std::future<hx::test::ProgramResult>> runs;
    for (const Case& c : cases) {
        hx::sim::DriveOptions o = Drive();
        o.machineHz = c.machineHz;
        o.commandDelayMs = 50;
        drives.push_back(std::make_unique<hx::sim::InProcessDrive>(o));
        std::vector<std::string> args = {"--port", drives.back()->DevicePath(), "--station", "7", "--timeout", "300",
                                         "tune", "vibration", "--speed", "200", "--distance", "20", "--accel", "500"};
        if (c.store) args.push_back("--store");
        runs.push_back(std::async(std::launch::async, [args] { return hx::test::RunProgram(Cli(), args); }));
    }
    auto peakToPeak = [](const std::string& out, const std::string& line) {
        const auto at = out.find(line + ": ");
        const auto pp = out.find("peak-to-peak ", at);
        return at == std::string::npos || pp == std::string::npos ? -1.0 : std::stod(out.substr(pp + 13));
    };
    auto antiVibrationWrites = [](hx::sim::VirtualDrive& vd) {
        int n = 0;
        for (const auto& r : vd.Requests())
            for (uint16_t a : {77, 78, 86, 79, 80, 87, 81, 82, 88, 64, 66, 68, 89})
                n += (r.function == 6 || r.function == 16) && r.address == a;
        return n;
    };
    for (size_t i = 0; i < runs.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "machine " << c.machineHz << " Hz");
        const auto r = runs[i].get();
        auto& vd = drives[i]->Drive();
        if (c.machineHz == 0 || c.machineHz == 6) {
            EXPECT_EQ(r.status, 1) << r.out << r.err;
            EXPECT_NE(r.err.find(c.machineHz == 0 ? "no ringing" : "too slow"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("nothing written"), std::string::npos) << r.err;
            EXPECT_EQ(antiVibrationWrites(vd), 0);
            EXPECT_EQ(vd.Ram(77), 0);
            continue;
        }
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const double before = peakToPeak(r.out, "before"), after = peakToPeak(r.out, "after");
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
        EXPECT_EQ(vd.Ram(79), 0) << "the other sets as they were";
        EXPECT_EQ(vd.Nv(78), c.store ? vd.Ram(78) : 0);
        EXPECT_EQ(r.out.find("stored") != std::string::npos, c.store) << r.out;
    }
}
