// halvex-cli run against a simulated drive served in this process over a
// pseudo-terminal: the stop command, option checks, and a run that stops the
// motor when the tool is interrupted.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim/DriveServer.h"
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
    // Lost frames cost a short horizon here: the drive is never late.
    const std::vector<std::string> common = {"--port", drive.DevicePath(), "--station", "7", "--late-horizon-ms", "150"};
    // The first two stops of the motion never reach the drive: the stop is
    // sent again until the drive shows both stopped.
    drive.Server().LoseWritesTo(70, 2, false);
    auto r = hx::test::RunProgram(Cli(), With(common, {"run", "stop"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stopped\n");
    EXPECT_EQ(vd.Peek(70), 0);
    EXPECT_EQ(vd.Peek(23), 0);

    // With an alarm active the stop still goes out, and the alarm is told.
    vd.Poke(70, 1);
    vd.SetRam(56, 0xFFFF);  // every fault detected
    ASSERT_TRUE(vd.RaiseAlarm(9));
    r = hx::test::RunProgram(Cli(), With(common, {"run", "stop"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stopped; the drive shows alarm 9\n");
    EXPECT_EQ(vd.Peek(70), 0);

    // Nobody answers at another station: said so, with the no-answer status.
    const auto silent = hx::test::RunProgram(
        Cli(), {"--port", drive.DevicePath(), "--station", "8", "--timeout", "20", "--late-horizon-ms", "50", "run",
                "stop"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(silent.err, "halvex-cli: station 8: not known whether stopped: register 70 did not answer after the "
                          "stop was sent 1 time\n");
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
        {{"run", "torque", "--kp", "-1"}, "--kp must not be negative"},
        {{"run", "velocity", "--port", "/dev/null"}, "--port is a link option: give it before \"run\""},
        {{"run", "spin"}, "spin"},
    };
    for (const auto& c : cases) {
        const auto r = hx::test::RunProgram(Cli(), With(common, c.words));
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    // Not even read: the command line is checked before the port is opened.
    EXPECT_EQ(vd.RequestCount(), 0u);
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
