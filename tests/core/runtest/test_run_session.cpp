// Run-test runs against the simulated drive over a real pseudo-terminal; the
// guarded run on a clock the test steps for the tool and the drive alike.

#include <unistd.h>

#include <atomic>
#include <future>

#include "core/protocol/Registers.h"
#include "core/runtest/GuardedRun.h"
#include "core/runtest/RunSession.h"
#include "support/SteppedDrive.h"

using namespace hx::runtest;
using namespace hx::test;
using std::chrono::milliseconds;
using Pairs = std::vector<std::pair<uint16_t, uint16_t>>;

namespace {

constexpr uint8_t kStation = 5;

// A trapezoid of many runs, to outlast every test.
void SetLongTrapezoid(hx::sim::VirtualDrive& vd) {
    for (auto [a, v] : {std::pair{60, 1000}, {62, 100}, {65, 100}, {67, 200}, {69, 100}})
        vd.SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
}

struct Bench : ProgramFolderFirst, PtyDrive {
    explicit Bench(hx::sim::DriveOptions o = PlainDrive(kStation)) : PtyDrive(std::move(o)) {}
    // A short wait so time-outs take a fraction of a second.
    static RunWait ShortWait(bool anyPositive = false) { return RunWait{5, milliseconds(20), anyPositive}; }
    void RunLongTrapezoid() {
        SetLongTrapezoid(Vd());
        Vd().Poke(70, 1);
    }
    // A velocity run's request with these start writes.
    RunRequest Velocity(std::vector<RegisterWrite> writes, RunWait wait, Mode mode = Mode::Velocity) {
        return {.drive = Link(), .mode = mode, .startWrites = std::move(writes), .codes = {1, 0, 0, 0}, .wait = wait};
    }
    hx::ChangeGate gate;
    RunSession session{gate};
};

// Runs a capture on the session and hands back its outcome; a second outcome of one run ends the program.
RunOutcome RunAndWait(RunSession& session, RunRequest request, const std::function<void()>& whileRunning = {}) {
    auto done = std::make_shared<std::promise<RunOutcome>>();
    auto result = done->get_future();
    EXPECT_TRUE(session.Start(std::move(request), [done](const RunOutcome& o) { done->set_value(o); }));
    if (whileRunning) whileRunning();
    return result.get();
}

}  // namespace

TEST(RunCapture, DefaultVelocityStartReachesTheDriveInOrder) {
    Bench b;
    RunRequest r = b.Velocity(VelocityStartWrites({.direction = -1}, {1, 2, 0, 0}, 200, 200.0f), Bench::ShortWait());
    r.codes = {1, 2, 0, 0};
    b.Vd().ClearRequests();

    const RunOutcome out = RunAndWait(b.session, r);
    EXPECT_EQ(out.status, RunStatus::Completed);
    EXPECT_EQ((std::vector{out.samples[0].size(), out.samples[1].size(), out.samples[2].size()}),
              (std::vector<std::size_t>{200, 200, 0}));
    EXPECT_EQ(b.Writes(), (Pairs{{65, 60}, {69, 1}, {62, 100}, {67, 200}, {60, 1}, {63, 1}, {61, 0xFFFF}, {33, 100},
                                 {34, 1}, {94, 2}, {95, 0}, {96, 0}, {137, 200}, {70, 1}, {32, 1}}));
    ASSERT_EQ(out.writes.returned.size(), r.startWrites.size());
    EXPECT_EQ(out.writes.returned[6], -1);  // reverse comes back as the signed word
    EXPECT_FALSE(out.stopRequested);
    b.session.Close(b.Link(), Mode::Velocity);
}

TEST(RunCapture, AStopPendingWhenTheWaitRunsOutIsStillSent) {
    Bench b;
    // A capture of a minute (2000 points 30 ms apart): the wait runs out first, long enough that the stop
    // is asked for while it still polls. The torque page's stop goes to its own command.
    for (auto [mode, command] : {std::pair{Mode::Velocity, 70}, {Mode::Torque, 23}}) {
        SCOPED_TRACE(command);
        b.Vd().Poke(static_cast<uint16_t>(command), 1);  // the motor runs
        const std::vector<RegisterWrite> minute = {{34, 1}, {33, 30000}, {137, 2000}, {32, 1}};
        RunRequest r = b.Velocity(mode == Mode::Velocity ? minute : std::vector<RegisterWrite>{},
                                  RunWait{3, std::chrono::milliseconds(150), mode == Mode::Torque}, mode);
        b.Vd().ClearRequests();
        const RunOutcome out = RunAndWait(b.session, r, [&] {
            hx::test::PollUntil([&] { return !b.Requests(kRead).empty(); });  // the start is out, the wait polls
            b.session.StopRun(b.Link(), mode);
        });
        EXPECT_EQ(out.status, RunStatus::TimedOut);
        EXPECT_TRUE(out.stopRequested);
        EXPECT_TRUE(out.stopSent);
        EXPECT_EQ(b.Vd().Peek(static_cast<uint16_t>(command)), 0);
    }
    // A stop asked for after the worker's last look (here while the start is
    // refused, which never looks) still goes out before the run ends.
    b.RunLongTrapezoid();
    RunRequest r = b.Velocity({}, Bench::ShortWait());
    r.beforeStart = [&] {
        b.session.StopRun(b.Link(), Mode::Velocity);
        return Readiness{StartRefusal::Moving};
    };
    const RunOutcome refused = RunAndWait(b.session, r);
    EXPECT_EQ(refused.status, RunStatus::Refused);
    EXPECT_TRUE(refused.stopSent);
    EXPECT_EQ(b.Vd().Peek(70), 0);
    b.session.Close(b.Link(), Mode::Torque);
}

// A re-capture is a flag of the request, not guessed from its writes: it
// writes only the trigger, and the motion it samples is neither checked at
// rest (it runs) nor armed again.
TEST(RunCapture, ACyclicRecaptureWritesOnlyTheTrigger) {
    Bench b;
    b.RunLongTrapezoid();
    b.Vd().ClearRequests();
    b.session.GuardStarts("recapture-test", {.noteFolder = b.folder.StateFolder()});
    RunRequest r = RunRequest::Recapture(b.Link(), Mode::Velocity, {1, 2, 4, 8}, 200);
    r.wait = Bench::ShortWait();
    const RunOutcome out = RunAndWait(b.session, r);
    EXPECT_TRUE(out.recapture);
    EXPECT_EQ(b.Addresses(kWriteSingle), (std::vector<uint16_t>{32}));
    EXPECT_EQ(b.Vd().Peek(70), 1);  // the motion goes on
    EXPECT_EQ(b.session.State(), RunState::Running);
    b.session.Close(b.Link(), Mode::Velocity);  // and stops with the session
    EXPECT_EQ(b.Vd().Peek(70), 0);
}

// A stop the drive leaves unanswered keeps the run "停 止" and goes out again
// every 500 ms until the drive takes it; only then is the session idle.
TEST(RunSession, AnUnansweredStopIsSentAgainUntilTheDriveTakesIt) {
    Bench b;
    std::atomic<int> changes{0};
    hx::ChangeGate gate;
    RunSession session(gate, [&] { ++changes; });
    b.RunLongTrapezoid();
    RunRequest r = RunRequest::Recapture(b.Link(), Mode::Velocity, {1, 0, 0, 0}, 200);
    r.wait = Bench::ShortWait();
    RunAndWait(session, r);
    ASSERT_EQ(session.State(), RunState::Running);

    b.Server().SetStation(kStation + 1);  // the drive stops answering us
    session.Stop(b.Link(), Mode::Velocity);
    ASSERT_TRUE(hx::test::PollUntil([&] { return session.State() == RunState::StopUnconfirmed; }));
    EXPECT_EQ(b.Vd().Peek(70), 1);
    EXPECT_FALSE(session.Start(r, {}));  // nothing starts while a motion may run
    // Sent again and again while the drive stays silent, not once: the
    // first stop and two rounds of retries, each with the link's tries.
    const uint64_t unheard = b.Server().GetStats().otherStation;
    EXPECT_TRUE(hx::test::PollUntil([&] { return b.Server().GetStats().otherStation >= unheard + 6; }));
    b.Server().SetStation(kStation);
    ASSERT_TRUE(hx::test::PollUntil([&] { return session.State() == RunState::Idle; }));
    EXPECT_EQ(b.Vd().Peek(70), 0) << "idle before the drive took the stop";
    EXPECT_EQ(changes.load(), 2);  // unconfirmed, then confirmed
    EXPECT_TRUE(session.Close(b.Link(), Mode::Velocity));
}

TEST(RunCapture, AnUnansweredStartIsReportedOnceAndNotAsARun) {
    Bench b;
    b.Server().SetStation(kStation + 1);  // the drive stops answering us
    RunRequest r = b.Velocity(TorqueStartWrites(TorqueFields{}, 200, 200.0f), Bench::ShortWait(true), Mode::Torque);
    r.codes = {32768, 0, 0, 0};
    const RunOutcome out = RunAndWait(b.session, r);
    b.session.Close(b.Link(), Mode::Torque);  // a second report would come by now
    // The gains are the user's tuning: the backup read before them finds the
    // drive silent, so not even the first gain goes out.
    EXPECT_EQ(out.status, RunStatus::NotBackedUp);
    EXPECT_EQ(out.gate.status, hx::GateResult::Status::ReadFailed);
    EXPECT_TRUE(out.writes.returned.empty());
    EXPECT_EQ(b.Vd().Peek(23), 0);
}

TEST(RunCapture, AStopDuringTheBlockReadsGoesOutAfterTheCurrentBlockAndTheRestIsStillRead) {
    // A paced line, so the 40 blocks of a 2000-point capture take a while.
    Bench b({.station = kStation, .databasePath = "-", .baud = 38400});
    b.Vd().Poke(70, 1);
    RunRequest r = b.Velocity({{34, 1}, {94, 0}, {95, 0}, {96, 0}, {33, 50}, {137, 2000}, {32, 1}},
                              RunWait::ForMode(Mode::Velocity));
    r.points = 2000;
    b.Vd().ClearRequests();
    // The capture's blocks, from 150 on.
    using Request = hx::sim::VirtualDrive::Request;
    auto isBlock = [](const Request& q) { return q.function == kRead && q.address >= 150 && q.count == 50; };
    auto blockReads = [&] { return std::ranges::count_if(b.Vd().Requests(), isBlock); };
    const RunOutcome out = RunAndWait(b.session, r, [&] {
        hx::test::PollUntil([&] { return blockReads() >= 3; });
        b.session.StopRun(b.Link(), Mode::Velocity);
    });
    EXPECT_EQ(out.status, RunStatus::Completed);
    EXPECT_TRUE(out.stopSent);
    EXPECT_EQ(b.Vd().Peek(70), 0);
    EXPECT_EQ(blockReads(), 40);
    // The stop went out between two block reads, not after the last one.
    const auto requests = b.Vd().Requests();
    const auto stop = std::ranges::find_if(requests, [](const Request& q) { return q.address == 70; });
    const auto readsBeforeStop = std::count_if(requests.begin(), stop, isBlock);
    EXPECT_TRUE(readsBeforeStop >= 3 && readsBeforeStop < 40) << readsBeforeStop;
    b.session.Close(b.Link(), Mode::Velocity);
}

namespace {

constexpr uint16_t kOwnTimeout = 5000, kOwnAction = 2;
const std::string kPort = "guard-test";

struct SteppedBench : SteppedDrive {
    SteppedBench() : SteppedDrive(PlainDrive(kStation)) {
        for (auto [a, v] : {std::pair{31007, kOwnTimeout}, {31008, kOwnAction}, {56, 0xFFFF}})  // every fault detected
            Vd().SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
        SetLongTrapezoid(Vd());
    }
    // The tool's time and the drive's, stepped together.
    GuardOptions Options(bool checkStandstill = false) {
        return {.checkStandstill = checkStandstill, .noteFolder = folder.StateFolder() + "/watchdog",
                .sleep = [this](milliseconds d) { Pass(d); }, .now = [this] { return now; }};
    }
    bool Armed() { return Vd().Peek(31007) == 1000 && Vd().Peek(31008) == 1; }
    bool Own() { return Vd().Peek(31007) == kOwnTimeout && Vd().Peek(31008) == kOwnAction; }
    std::optional<WatchdogSetting> Note() { return ReadWatchdogNote(Options().noteFolder, kPort, kStation); }
    // The writes to the commands and the watchdog, in order.
    Pairs GuardWrites() {
        Pairs out;
        for (const auto& w : Writes())
            if (w.first == 70 || w.first == 23 || w.first == 31007 || w.first == 31008) out.push_back(w);
        return out;
    }
};

}  // namespace

// What ends a followed motion is told apart: its own end, the drive's
// watchdog after a silence of the program (a stopped or starved process),
// an alarm, a stop some other program sent. Only the first ended as asked;
// each puts the drive's own values back once the motion reads stopped.
TEST(GuardedRun, AFollowedRunSaysWhatEndedIt) {
    struct Case {
        const char* what;
        std::function<void(SteppedBench&)> cause;
        MotionEnd end;
    };
    const Case cases[] = {
        // Three runs of about 1.1 s, fed all along.
        {"its last run", [](SteppedBench& b) { b.Vd().Poke(70, 0); b.Vd().SetRam(60, 3); b.Vd().Poke(70, 1); },
         MotionEnd::Finished},
        {"the program silent for 1.5 s", [](SteppedBench& b) { b.Pass(milliseconds(1500)); }, MotionEnd::Watchdog},
        {"an alarm", [](SteppedBench& b) { b.Vd().RaiseAlarm(15); }, MotionEnd::Alarm},
        {"another program's stop", [](SteppedBench& b) { b.Vd().Poke(70, 0); }, MotionEnd::StoppedElsewhere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SteppedBench b;
        GuardedRun run(b.Link(), kPort, b.Options());
        ASSERT_TRUE(run.BeforeStart(MotionKind::Trapezoid, milliseconds(3000)).ready());
        EXPECT_TRUE(b.Armed());
        b.Vd().Poke(70, 1);
        c.cause(b);
        const MotionReport end = run.Follow();
        EXPECT_EQ(end.end, c.end) << end.Message();
        EXPECT_EQ(end.asAsked(), c.end == MotionEnd::Finished);
        EXPECT_EQ(end.alarm, c.end == MotionEnd::Alarm ? 15 : 0);
        EXPECT_TRUE(end.restored.done);
        EXPECT_TRUE(b.Own());
        EXPECT_FALSE(b.Note());
    }
}

// The drive falls silent during a run (or never takes the stop): the stop
// goes out until the drive's watchdog has surely stopped the motor (its
// time after the last read that could have reached it, and a margin), then
// the run gives up, within 5 s of the silence, and leaves the watchdog armed
// and its note for the next connect. A stop the drive never confirms never
// puts the watchdog back.
TEST(GuardedRun, ASilentDriveIsGivenUpOnceItsWatchdogHasStoppedTheMotor) {
    for (bool deadLine : {true, false}) {
        SCOPED_TRACE(deadLine ? "dead line" : "stops lost");
        SteppedBench b;
        GuardedRun run(b.Link(), kPort, b.Options());
        ASSERT_TRUE(run.BeforeStart(MotionKind::Trapezoid).ready());
        b.Vd().Poke(70, 1);
        const auto silent = b.now;
        if (deadLine)
            b.Server().SetStation(kStation + 1);  // nothing reaches the drive any more
        else
            b.Server().LoseWritesTo(70, 1000, false);
        const MotionReport end = deadLine ? run.Follow() : run.Stop();
        EXPECT_EQ(end.end, MotionEnd::GaveUp) << end.Message();
        EXPECT_EQ(end.Message(), "the drive's watchdog has stopped the motor, the stop could not be confirmed (the "
                                 "drive did not answer for 1.3 s)");
        EXPECT_EQ(b.now - silent, milliseconds(1300));
        EXPECT_GT(end.stop.tries, 1);
        EXPECT_FALSE(end.restored.done);
        b.Server().SetStation(kStation);
        EXPECT_EQ(b.Vd().Peek(70), 0) << "the drive's watchdog has not stopped the motor by then";
        EXPECT_EQ(b.Vd().WatchdogTrips(), 1);
        EXPECT_TRUE(b.Armed());
        EXPECT_EQ(b.Note(), (WatchdogSetting{kOwnTimeout, kOwnAction}));
    }
}

// A motion that reads running keeps its watchdog, whoever asks: the guard
// itself, and the next connect after its program died (which stops it
// first). A note its program still holds is left alone, and refuses a
// second program's start.
TEST(GuardedRun, TheWatchdogGoesBackOnlyOnceTheMotionIsSeenStopped) {
    SteppedBench b;
    auto options = b.Options();
    {
        MotionGuard guard(b.Link(), kPort, options);
        ASSERT_TRUE(guard.Prepare(MotionKind::Trapezoid).ready());
        b.Vd().Poke(70, 1);
        const RestoreOutcome restore = guard.Restore();
        EXPECT_FALSE(restore.done);
        EXPECT_TRUE(restore.stillRunning);
        EXPECT_TRUE(b.Armed());

        // While the guard lives, its note is its own.
        EXPECT_FALSE(RestoreLeftWatchdog(b.Link(), kPort, options));
        EXPECT_TRUE(b.Armed());
        GuardedRun second(b.Link(), kPort, options);
        const Readiness refused = second.BeforeStart(MotionKind::Trapezoid);
        EXPECT_EQ(refused.refusal, StartRefusal::OtherProgram);
        EXPECT_EQ(refused.otherProgram, ::getpid());
        EXPECT_TRUE(b.Armed());
        // The program dies here: nothing puts anything back.
    }
    // The next connect finds the motion running: a stop the drive never
    // takes keeps the watchdog; one it takes comes first.
    b.Server().LoseWritesTo(70, 1000, false);
    auto left = RestoreLeftWatchdog(b.Link(), kPort, options);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->state, LeftWatchdog::State::StillRunning);
    EXPECT_TRUE(b.Armed());
    EXPECT_EQ(b.Note(), (WatchdogSetting{kOwnTimeout, kOwnAction}));

    // Meanwhile the drive's watchdog stopped that one; the next runs again.
    b.Server().LoseWritesTo(70, 0, false);
    b.Vd().Poke(70, 1);
    b.Vd().ClearRequests();
    left = RestoreLeftWatchdog(b.Link(), kPort, options);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->state, LeftWatchdog::State::Restored);
    EXPECT_TRUE(left->stoppedMotion);
    EXPECT_EQ(b.GuardWrites(), (Pairs{{70, 0}, {31007, kOwnTimeout}, {31008, kOwnAction}}));
    EXPECT_TRUE(b.Own());
    EXPECT_FALSE(b.Note());
    EXPECT_FALSE(LeftCommunicationAlarm(*left));
}

// A stop asked for during the checks (here the at-rest check) keeps the start back, whoever asks: the
// tool's interruption, the window's Stop, its Close. Once a stop is taken nothing starts: a start goes
// out wholly under the armed watchdog before the stop (which stops it), or not at all.
TEST(GuardedRun, AStopAskedDuringTheChecksKeepsTheStartBack) {
    enum Asker { Interruption, Stop, Close };
    for (Asker asker : {Interruption, Stop, Close}) {
        SCOPED_TRACE(asker);
        SteppedBench b;
        hx::ChangeGate gate;
        RunSession session(gate);
        std::atomic<bool> interrupted{false};
        std::future<bool> asked;
        GuardOptions options = b.Options(true);
        options.sleep = [&, once = std::make_shared<std::once_flag>()](milliseconds d) {
            b.Pass(d);
            std::call_once(*once, [&] {  // asked from the window's thread; a close waits for the check
                asked = std::async(std::launch::async, [&] {
                    interrupted = true;
                    if (asker == Stop) session.Stop(b.Link(), Mode::Velocity);
                    return asker != Close || session.Close(b.Link(), Mode::Velocity);
                });
                asker == Close ? (void)asked.wait_for(milliseconds(100)) : asked.wait();
            });
        };
        const RunRequest start = RunRequest::Start(b.Link(), Mode::Velocity, {1, 0, 0, 0}, 200,
                                                   VelocityStartWrites({}, {1, 0, 0, 0}, 200, 200.0f));
        GuardedRun run(b.Link(), kPort, options);
        session.GuardStarts(kPort, options);
        const RunOutcome out = asker == Interruption ? run.Start(gate, start, [&] { return interrupted.load(); })
                                                     : RunAndWait(session, start);
        EXPECT_EQ(out.status, RunStatus::Closed);
        EXPECT_TRUE(asked.get());
        EXPECT_TRUE(session.Close(b.Link(), Mode::Velocity));
        EXPECT_FALSE(session.Start(start, {}));  // closed for good
        int starts = 0, unwatched = 0, armed = 0;
        for (const auto& [address, value] : b.GuardWrites()) {
            if (address == 31007) armed = value == 1000;
            starts += address == 70 && value == 1;
            unwatched += address == 70 && value == 1 && !armed;
        }
        EXPECT_LE(starts, asker == Close ? 1 : 0);  // a close may come after the start
        EXPECT_EQ(unwatched, 0) << "a start went out after its watchdog was put back";
        EXPECT_EQ(b.Vd().Peek(70), 0);
        EXPECT_TRUE(b.Own()) << "the watchdog armed for the start is back";
        EXPECT_FALSE(b.Note());
    }
}
