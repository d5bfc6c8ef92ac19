// halvex-cli run against a simulated drive served in this process over a
// pseudo-terminal; the tool runs as its own process.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <future>

#include "core/runtest/WatchdogNote.h"
#include "support/CliOnDrive.h"

namespace {

using hx::test::Join;
using hx::test::RunCli;

hx::sim::DriveOptions Options(const char* motion = "") {
    return {.station = 7, .databasePath = "-", .tcpListen = "127.0.0.1:0", .motion = motion};
}

// The drive's own watchdog values: a time-out longer than the tool's bound
// and an action that would carry on, both of which a run changes.
constexpr uint16_t kOwnTimeout = 5000, kOwnAction = 2;

struct CliRun : ::testing::Test, hx::test::CliOnDrive {
    using CliOnDrive::Run;  // not the test's own
    CliRun() : CliOnDrive(Options()) {
        vd.SetRam(31007, kOwnTimeout);
        vd.SetRam(31008, kOwnAction);
    }
    // Through the drive's Modbus TCP side, as programs behind one gateway
    // share it (a serial port is one program's at a time).
    std::string TcpPort() const { return "tcp:127.0.0.1:" + std::to_string(drive.TcpPort()); }
    std::vector<std::string> TcpArgs(const std::vector<std::string>& words) const {
        return Join({"--port", TcpPort(), "--station", "7"}, words);
    }
    hx::test::ProgramResult TcpRun(const std::vector<std::string>& words) const { return RunCli(TcpArgs(words)); }
    void ExpectOwnWatchdog(const std::string& when) {
        EXPECT_EQ(vd.Peek(31007), kOwnTimeout) << when;
        EXPECT_EQ(vd.Peek(31008), kOwnAction) << when;
    }
};

}  // namespace

// The fields are checked as the pages check them, before anything is
// written; the stop writes both stop commands.
TEST_F(CliRun, FieldsAreCheckedFirstAndStopWritesBothStopCommands) {
    vd.ClearRequests();
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"run", "velocity", "--speed", "-1"}, "--speed must be 0..32767"},
        {{"run", "velocity", "--speed", "abc"}, "--speed must be 0..32767, not abc"},
        {{"run", "velocity", "--dwell", "0"}, "--dwell must be 1..10000"},
        {{"run", "velocity", "--runs", "70000"}, "--runs must be 1..65535"},
        {{"run", "velocity", "--interval", "150"}, "--interval must be one of"},
        {{"run", "velocity", "--direction", "0"}, "--direction must be 1 or -1"},
        {{"run", "velocity", "--channels", "3"}, "--channels"},
        {{"run", "velocity", "--bogus", "1"}, "unknown option --bogus"},
        {{"run", "torque", "--kc", "2000"}, "--kc must be 0..1024"},
        {{"run", "torque", "--kp", "-1"}, "--kp must not be negative"},
        {{"run", "velocity", "--port", "/dev/null"}, "--port is a link option: give it before \"run\""},
        {{"run", "torque", "--no-backup"}, "--no-backup is a link option: give it before \"run\""},
        {{"run", "spin"}, "spin"},
    };
    for (const auto& [words, says] : cases) {
        const auto r = Run(words);
        EXPECT_EQ(r.status, 2) << says;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
    // Not even read: the command line is checked before the port is opened.
    EXPECT_EQ(vd.RequestCount(), 0u);

    // A trapezoid of many runs and a long current-loop test, both running.
    for (auto [a, v] : {std::pair{60, 1000}, {62, 100}, {65, 100}, {67, 200}, {69, 100}, {137, 8000}})
        vd.SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    for (auto [a, v] : {std::pair{70, 1}, {23, 1}}) vd.Poke(a, v);
    // The first two stops of the motion never reach the drive: the stop is
    // sent again until the drive shows both stopped. Lost frames cost a
    // short horizon here: the drive is never late.
    drive.Server().LoseWritesTo(70, 2, false);
    auto r = Run({"--late-horizon-ms", "150", "run", "stop"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stopped\n");
    EXPECT_EQ(vd.Peek(70), 0);
    EXPECT_EQ(vd.Peek(23), 0);

    // With an alarm active the stop still goes out, and the alarm is told.
    vd.Poke(70, 1);
    vd.SetRam(56, 0xFFFF);  // every fault detected
    ASSERT_TRUE(vd.RaiseAlarm(9));
    r = Run({"--late-horizon-ms", "150", "run", "stop"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "stopped; the drive shows alarm 9\n");
    EXPECT_EQ(vd.Peek(70), 0);

    // Nobody answers at another station: said so, with the no-answer status.
    r = RunCli({"--port", drive.DevicePath(), "--station", "8", "--timeout", "20", "--late-horizon-ms", "50", "run",
                "stop"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "halvex-cli: station 8: not known whether stopped: register 70 did not answer after the "
                     "stop was sent 1 time\n");
}

// The current-loop test with the drive's gains, then with its auto-tuning:
// the figures printed, the tuned gains said, the step without overshoot.
TEST_F(CliRun, TorqueTestPrintsItsFiguresAndTheGainsTheDriveTunedAndRefusedStartsSaySo) {
    for (auto [a, v] : {std::pair{15, 1000}, {16, 200}, {17, 256}}) vd.Poke(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    auto overshoot = [](const std::string& out) {
        const auto at = out.find("overshoot: ");
        return at == std::string::npos ? -1.0 : std::stod(out.substr(at + 11));
    };
    const std::vector<std::string> torque = {"run", "torque", "--current", "1000", "--points", "400"};
    vd.ClearRequests();
    auto r = Run(torque);
    ASSERT_EQ(r.status, 0) << r.err;
    // The test leaves the drive's sampling settings alone: no interval,
    // channel or trigger, and the points only as the test's own.
    EXPECT_EQ(hx::test::WrittenAddresses(vd, {32, 33, 34, 94, 95, 96, 137}), (std::vector<uint16_t>{137}));
    EXPECT_NE(r.out.find("Kp 1000, Ki 200, Kc 256, test current 1000 mA, 400 points\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rise time (10-90 %): "), std::string::npos);
    EXPECT_GT(overshoot(r.out), 15.0) << r.out;

    vd.Poke(13, 1);
    r = Run(torque);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the drive tuned its gains: Kp 1000, Ki 20\n"), std::string::npos) << r.out;
    EXPECT_GE(overshoot(r.out), 0.0);
    EXPECT_LT(overshoot(r.out), 5.0) << r.out;
    EXPECT_EQ(r.out.find(": -0 mA"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("(-0.0 %)"), std::string::npos) << r.out;

    // A start the drive refuses is a refusal with its reason and the alarm
    // behind it, not silence; a motor a motion controller moves is not started.
    ASSERT_TRUE(vd.RaiseAlarm(15));
    r = Run({"run", "velocity", "--points", "200"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("station 7: The drive refused the request to register 70: the drive does not take this "
                         "value now. Alarm Err0015 is active."),
              std::string::npos)
        << r.err;
    ExpectOwnWatchdog("put back after a refused start");

    // A trapezoid is checked at rest with a capture of the speed; the
    // current-loop test leaves the sampling settings alone and is refused by
    // the drive itself.
    hx::sim::InProcessDrive moving(Options("demo"));
    r = RunCli({"--port", moving.DevicePath(), "--station", "7", "run", "velocity", "--points", "200"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The motor is moving: stop the motion controller first"), std::string::npos) << r.err;
    r = RunCli({"--port", moving.DevicePath(), "--station", "7", "run", "torque", "--points", "200"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The drive refused the request to register 23"), std::string::npos) << r.err;
    EXPECT_TRUE(hx::test::WrittenAddresses(moving.Drive(), {70}).empty()) << "started on a moving motor";
    EXPECT_EQ(moving.Drive().Peek(23), 0);
}

// A velocity run goes on after its capture until its last run: the tool
// waits for that, with the drive's watchdog armed meanwhile, and puts the
// drive's own values back. --detach leaves the motion (and the watchdog as
// the drive had it) on purpose.
TEST_F(CliRun, VelocityRunIsOwnedUntilItsLastRunUnlessDetachedAndSignalsStopIt) {
    // Three runs of 300 ms with 300 ms dwells: well past the 200-point capture.
    const std::vector<std::string> run = {"run", "velocity", "--speed", "1000", "--distance", "300",
                                          "--accel", "100", "--dwell", "300", "--runs", "3", "--points", "200"};
    vd.ClearRequests();
    auto r = Run(run);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Peek(70), 0) << "the tool returned with the motor running";
    EXPECT_NE(r.err.find("motion finished after"), std::string::npos) << r.err;
    ExpectOwnWatchdog("after the run");
    // Armed before the start (70 <- 1), put back after it, in this order.
    EXPECT_EQ(hx::test::WrittenAddresses(vd, {31007, 31008, 70}),
              (std::vector<uint16_t>{31008, 31007, 70, 31007, 31008}));
    const std::string notes = folder.StateFolder() + "/watchdog";
    EXPECT_FALSE(hx::runtest::ReadWatchdogNote(notes, drive.DevicePath(), 7)) << "the note stays after a clean run";

    r = Run(Join(run, {"--runs", "1000", "--detach"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Peek(70), 1);
    EXPECT_NE(r.err.find("--detach: the motion goes on"), std::string::npos) << r.err;
    ExpectOwnWatchdog("detached");
    ASSERT_EQ(Run({"run", "stop"}).status, 0);

    // Each signal that ends the tool, or its reader going away after a line ("| head", here
    // SIGPIPE), stops the motion first and puts the watchdog back; SIGKILL leaves that to the
    // drive's watchdog, and its values come back at the next connect.
    vd.Poke(136, 2000);
    const auto args = Args({"run", "velocity", "--runs", "1000"});
    auto running = [&](uint16_t value) { return hx::test::PollUntil([&] { return vd.Peek(70) == value; }); };
    for (int sig : {SIGINT, SIGHUP, SIGTERM, SIGQUIT, SIGPIPE}) {
        const bool head = sig == SIGPIPE;
        hx::test::BackgroundProgram cli(hx::test::CliProgram(), args, head, !head, head);
        ASSERT_TRUE(running(1)) << strsignal(sig);
        EXPECT_EQ(vd.Peek(31007), 1000) << "armed during the run";
        EXPECT_EQ(vd.Peek(31008), 1);
        if (head) cli.CloseOutput();
        EXPECT_EQ(head ? cli.Wait() : cli.Stop(sig), 130) << strsignal(sig);
        EXPECT_EQ(vd.Peek(70), 0) << strsignal(sig);
        ExpectOwnWatchdog(strsignal(sig));
    }

    // A drive whose own watchdog action is its communication alarm keeps it.
    for (auto [a, v] : {std::pair{31008, 0}, {56, 0xFFFF}}) vd.SetRam(a, v);
    {
        hx::test::BackgroundProgram cli(hx::test::CliProgram(), args, 0, true);
        ASSERT_TRUE(running(1));
        cli.Stop(SIGKILL);
    }
    EXPECT_TRUE(running(0)) << "nothing stopped the motor";
    EXPECT_EQ(vd.WatchdogTrips(), 1);
    EXPECT_EQ(vd.Peek(31007), 1000);
    EXPECT_EQ(vd.CurrentAlarm(), 17);
    // The next connect finds the note by whatever name it reaches the drive,
    // on each drive of a command on several, and says how to clear the alarm
    // the drive's own stop left.
    const std::string link = folder.File("drive-link");
    std::filesystem::create_symlink(drive.DevicePath(), link);
    const auto next = RunCli({"--port", link, "--stations", "7", "identity"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_NE(next.err.find("The last test run did not end normally: the drive's own communication watchdog is back "
                            "(Pr9.17 = 5000 ms, Pr9.18 = 0). The drive stopped the motor by itself when the line fell "
                            "silent: alarm Err0017 is active. Clear it with: halvex-cli --port " +
                            link + " --station 7 alarms clear\n"),
              std::string::npos)
        << next.err;
    EXPECT_EQ(vd.Peek(31007), kOwnTimeout);
    EXPECT_EQ(vd.Peek(31008), 0);
}

// A second program on the port (a gateway's) while a run is on: a read leaves the run's
// watchdog armed (its note belongs to the running program), a second run and
// a store are refused; killed afterwards, the run is stopped by the
// watchdog it armed.
TEST_F(CliRun, ASecondProgramLeavesARunsWatchdogAlone) {
    vd.Poke(136, 2000);
    hx::test::BackgroundProgram run(hx::test::CliProgram(), TcpArgs({"run", "velocity", "--runs", "1000"}), 0, true);
    ASSERT_TRUE(hx::test::PollUntil([&] { return vd.Peek(70) == 1; }));
    auto r = TcpRun({"read", "70"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "70=1\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(vd.Peek(31007), 1000);
    r = TcpRun({"run", "velocity"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Another program (process "), std::string::npos) << r.err;
    r = TcpRun({"params", "save"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not saved: a test run is on (register 70 reads running)"), std::string::npos) << r.err;
    EXPECT_EQ(vd.CommandsCompleted(90), 0);
    EXPECT_EQ(vd.Peek(31007), 1000);
    // A capture of 6 s goes on when the run dies a second into it: its polls stop it, never feed it.
    const auto capturing = TcpArgs({"capture", "--channels", "1", "--interval", "30000"});
    auto capture = std::async(std::launch::async, [&] { return RunCli(capturing); });
    ::sleep(1);
    run.Stop(SIGKILL);
    EXPECT_TRUE(hx::test::PollUntil([&] { return vd.Peek(70) == 0; }, std::chrono::milliseconds(2500)));
    r = capture.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("its motion was still running and has been stopped"), std::string::npos) << r.err;
    ExpectOwnWatchdog("put back by the capture");
}

// A run that ends otherwise than the tool asked is a failure that says what
// ended it: the drive's watchdog after the tool was stopped (its alarm
// named), a stop another program sent, a line silent for a while or for
// good (given up once the drive's watchdog has surely stopped the motor,
// which stays armed until the next connect).
TEST_F(CliRun, ARunCutShortIsAFailureThatSaysWhatEndedIt) {
    vd.Poke(136, 2000);
    const std::string notes = folder.StateFolder() + "/watchdog";
    struct Case {
        const char* what;
        uint16_t ownAction;
        std::function<void()> cut;
        const char* says;
    };
    const Case cases[] = {
        {"a stopped tool", 0,
         [&] {
             const pid_t tool = static_cast<pid_t>(hx::runtest::WatchdogNoteOwner(notes, TcpPort(), 7));
             ASSERT_GT(tool, 0);
             ::kill(tool, SIGSTOP);
             EXPECT_TRUE(hx::test::PollUntil([&] { return vd.Peek(70) == 0; }));
             ::kill(tool, SIGCONT);
         },
         "by the drive's alarm Err0017 Communication time-out"},
        {"another program's stop", kOwnAction, [&] { EXPECT_EQ(TcpRun({"run", "stop"}).status, 0); },
         "stopped by a command this program did not send"},
        {"a silent line", kOwnAction,
         [&] {
             drive.Server().SetStation(8);
             EXPECT_TRUE(hx::test::PollUntil([&] { return vd.Peek(70) == 0; }));
             drive.Server().SetStation(7);
         },
         "cut short"},
        {"a dead line", kOwnAction, [&] { drive.Server().SetStation(8); },
         "the drive's watchdog has stopped the motor, the stop could not be confirmed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vd.SetRam(31008, c.ownAction);
        auto running = std::async(std::launch::async, [&] { return TcpRun({"run", "velocity", "--runs", "1000"}); });
        // Cut once the run is being followed: its start ends with the capture's trigger.
        ASSERT_TRUE(hx::test::PollUntil([&] {
            return vd.Peek(70) == 1 && vd.Peek(32) == 1 && hx::runtest::WatchdogNoteOwner(notes, TcpPort(), 7) != 0;
        }));
        c.cut();
        const auto r = running.get();
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(vd.Peek(70), 0);
        drive.Server().SetStation(7);
        const auto cleared = TcpRun({"alarms", "clear"});
        EXPECT_EQ(cleared.status, 0) << cleared.err;
        // What the run left armed goes back at the next connect.
        EXPECT_EQ(TcpRun({"read", "70"}).status, 0);
        EXPECT_EQ(vd.Peek(31007), kOwnTimeout);
        EXPECT_EQ(vd.Peek(31008), c.ownAction);
    }
}
