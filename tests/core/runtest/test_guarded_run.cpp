// The guarded run against the simulated drive over a real pseudo-terminal,
// on time the test steps itself: the tool's clock and the drive's move
// together, so the drive's watchdog fires exactly when its time is up and
// the run's give-up is measured in that time, however loaded the machine.

#include <unistd.h>

#include "support/PtyDrive.h"
#include "core/runtest/GuardedRun.h"
#include "sim/bus/SimClock.h"

using namespace hx::runtest;
using namespace hx::test;
using std::chrono::milliseconds;

namespace {

constexpr uint8_t kStation = 5;
constexpr uint16_t kOwnTimeout = 5000, kOwnAction = 2;
const std::string kPort = "guard-test";

hx::sim::DriveOptions SteppedDrive(const std::shared_ptr<hx::sim::SteppedClock>& clock) {
    hx::sim::DriveOptions o = PlainDrive(kStation);
    o.clock = clock;
    return o;
}

// The drive's clock exists before the drive.
struct ClockFirst {
    std::shared_ptr<hx::sim::SteppedClock> clock = std::make_shared<hx::sim::SteppedClock>();
};

struct Bench : ProgramFolderFirst, ClockFirst, PtyDrive {
    Bench() : PtyDrive(SteppedDrive(clock)) {
        Vd().SetRam(31007, kOwnTimeout);
        Vd().SetRam(31008, kOwnAction);
        Vd().SetRam(56, 0xFFFF);  // every fault detected
        // A trapezoid of many runs, to outlast every case.
        for (auto [a, v] : {std::pair{60, 1000}, {62, 100}, {65, 100}, {67, 200}, {69, 100}})
            Vd().SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    }
    // The tool's time and the drive's, stepped together.
    GuardOptions Options() {
        GuardOptions o;
        o.checkStandstill = false;
        o.noteFolder = folder.StateFolder() + "/watchdog";
        o.now = [this] { return now; };
        o.sleep = [this](milliseconds d) { Pass(d); };
        return o;
    }
    void Pass(milliseconds d) {
        now += d;
        clock->Step(d);
    }
    bool Armed() { return Vd().Peek(31007) == 1000 && Vd().Peek(31008) == 1; }
    bool Own() { return Vd().Peek(31007) == kOwnTimeout && Vd().Peek(31008) == kOwnAction; }
    std::optional<WatchdogSetting> Note() { return ReadWatchdogNote(Options().noteFolder, kPort, kStation); }
    // The writes to the commands and the watchdog, in order.
    std::vector<std::pair<uint16_t, uint16_t>> GuardWrites() {
        std::vector<std::pair<uint16_t, uint16_t>> out;
        for (const auto& w : Writes())
            if (w.first == 70 || w.first == 23 || w.first == 31007 || w.first == 31008) out.push_back(w);
        return out;
    }

    std::chrono::steady_clock::time_point now{};
};

}  // namespace

// What ends a followed motion is told apart: its own end, the drive's
// watchdog after a silence of the program (a stopped or starved process),
// an alarm, a stop some other program sent. Only the first ended as asked;
// each puts the drive's own values back once the motion reads stopped.
TEST(GuardedRun, AFollowedRunSaysWhatEndedIt) {
    struct Case {
        const char* what;
        std::function<void(Bench&)> cause;
        MotionEnd end;
    };
    const Case cases[] = {
        // Three runs of about 1.1 s, fed all along.
        {"its last run",
         [](Bench& b) {
             b.Vd().Poke(70, 0);
             b.Vd().SetRam(60, 3);
             b.Vd().Poke(70, 1);
         },
         MotionEnd::Finished},
        {"the program silent for 1.5 s", [](Bench& b) { b.Pass(milliseconds(1500)); }, MotionEnd::Watchdog},
        {"an alarm", [](Bench& b) { b.Vd().RaiseAlarm(15); }, MotionEnd::Alarm},
        {"another program's stop", [](Bench& b) { b.Vd().Poke(70, 0); }, MotionEnd::StoppedElsewhere},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
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
        Bench b;
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
    Bench b;
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
    EXPECT_EQ(b.GuardWrites(), (std::vector<std::pair<uint16_t, uint16_t>>{{70, 0}, {31007, kOwnTimeout},
                                                                           {31008, kOwnAction}}));
    EXPECT_TRUE(b.Own());
    EXPECT_FALSE(b.Note());
    EXPECT_FALSE(LeftCommunicationAlarm(*left));

    // A run left behind whose motion the drive's watchdog stopped with its
    // alarm: said so, and how to clear it.
    {
        MotionGuard guard(b.Link(), kPort, options);
        ASSERT_TRUE(guard.Prepare(MotionKind::Trapezoid).ready());
    }
    ASSERT_TRUE(b.Vd().RaiseAlarm(17));
    left = RestoreLeftWatchdog(b.Link(), kPort, options);
    ASSERT_TRUE(left);
    EXPECT_TRUE(LeftCommunicationAlarm(*left));
    EXPECT_EQ(LeftWatchdogText(*left, "halvex-cli --port X --station 5 alarms clear"),
              "The last test run did not end normally: the drive's own communication watchdog is back (Pr9.17 = "
              "5000 ms, Pr9.18 = 2). The drive stopped the motor by itself when the line fell silent: alarm "
              "Err0017 is active. Clear it with: halvex-cli --port X --station 5 alarms clear");
}
