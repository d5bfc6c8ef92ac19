// Run-test runs against the simulated drive over a real pseudo-terminal:
// the start as the drive sees it, stops that are never lost (and sent again
// until the drive takes them), re-captures that write only the trigger, and
// starts the drive does not answer.

#include <atomic>
#include <future>

#include "support/PtyDrive.h"
#include "core/protocol/Registers.h"
#include "core/runtest/RunSession.h"

using namespace hx::runtest;
using namespace hx::test;

namespace {

constexpr uint8_t kStation = 5;

struct Bench : ProgramFolderFirst, PtyDrive {
    explicit Bench(hx::sim::DriveOptions o = PlainDrive(kStation)) : PtyDrive(std::move(o)) {}
    // A short wait so time-outs take a fraction of a second.
    static RunWait ShortWait(bool anyPositive = false) { return RunWait{5, std::chrono::milliseconds(20), anyPositive}; }
    // A trapezoid of many runs, to outlast the test.
    void RunLongTrapezoid() {
        for (auto [a, v] : {std::pair{60, 1000}, {62, 100}, {65, 100}, {67, 200}, {69, 100}})
            Vd().SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
        Vd().Poke(70, 1);
    }
    // A velocity run's request with these start writes.
    RunRequest Velocity(std::vector<RegisterWrite> writes, RunWait wait, Mode mode = Mode::Velocity) {
        RunRequest r;
        r.drive = Link();
        r.mode = mode;
        r.codes = {1, 0, 0, 0};
        r.startWrites = std::move(writes);
        r.wait = wait;
        return r;
    }

};

// Runs a capture on the session and hands back its outcome.
RunOutcome RunAndWait(RunSession& session, RunRequest request, const std::function<void()>& whileRunning = {}) {
    std::promise<RunOutcome> done;
    auto result = done.get_future();
    EXPECT_TRUE(session.Start(std::move(request), [&](const RunOutcome& o) { done.set_value(o); }));
    if (whileRunning) whileRunning();
    return result.get();
}

}  // namespace

TEST(RunCapture, DefaultVelocityStartReachesTheDriveInOrder) {
    Bench b;
    VelocityFields v;
    v.direction = -1;
    RunRequest r = b.Velocity({}, Bench::ShortWait());
    r.codes = {1, 2, 0, 0};
    r.points = 200;
    r.startWrites = VelocityStartWrites(v, r.codes, r.points, 200.0f);
    b.Vd().ClearRequests();

    hx::ChangeGate gate;
    RunSession session(gate);
    const RunOutcome out = RunAndWait(session, r);
    EXPECT_EQ(out.status, RunStatus::Completed);
    EXPECT_EQ(out.samples[0].size(), 200u);
    EXPECT_EQ(out.samples[1].size(), 200u);
    EXPECT_TRUE(out.samples[2].empty());
    EXPECT_EQ(b.Writes(), (std::vector<std::pair<uint16_t, uint16_t>>{{65, 60}, {69, 1}, {62, 100}, {67, 200},
                                                                       {60, 1}, {63, 1}, {61, 0xFFFF}, {33, 100},
                                                                       {34, 1}, {94, 2}, {95, 0}, {96, 0},
                                                                       {137, 200}, {70, 1}, {32, 1}}));
    ASSERT_EQ(out.writes.returned.size(), r.startWrites.size());
    EXPECT_EQ(out.writes.returned[6], -1);  // reverse comes back as the signed word
    EXPECT_FALSE(out.stopRequested);
    session.Close(b.Link(), Mode::Velocity);
}

TEST(RunCapture, AStopPendingWhenTheWaitRunsOutIsStillSent) {
    Bench b;
    hx::ChangeGate gate;
    RunSession session(gate);
    // A capture of a minute (2000 points 30 ms apart): the wait runs out
    // first, long enough that the stop is asked for while it still polls.
    // The torque page's stop goes to its own command.
    for (auto [mode, command] : {std::pair{Mode::Velocity, 70}, {Mode::Torque, 23}}) {
        SCOPED_TRACE(command);
        b.Vd().Poke(static_cast<uint16_t>(command), 1);  // the motor runs
        const std::vector<RegisterWrite> minute = {{34, 1}, {33, 30000}, {137, 2000}, {32, 1}};
        RunRequest r = b.Velocity(mode == Mode::Velocity ? minute : std::vector<RegisterWrite>{},
                                  RunWait{3, std::chrono::milliseconds(150), mode == Mode::Torque}, mode);
        const RunOutcome out = RunAndWait(session, r, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            session.StopRun(b.Link(), mode);
        });
        EXPECT_EQ(out.status, RunStatus::TimedOut);
        EXPECT_TRUE(out.stopRequested);
        EXPECT_TRUE(out.stopSent);
        EXPECT_EQ(b.Vd().Peek(static_cast<uint16_t>(command)), 0);
    }
    session.Close(b.Link(), Mode::Torque);
}

TEST(RunCapture, AStopWhileIdleGoesOutAtOnceAndCloseStopsARunningCapture) {
    Bench b;
    hx::ChangeGate gate;
    RunSession session(gate);
    b.Vd().Poke(70, 1);
    std::promise<bool> answered;
    session.StopRun(b.Link(), Mode::Velocity, [&](bool a) { answered.set_value(a); });
    EXPECT_TRUE(answered.get_future().get());
    EXPECT_EQ(b.Vd().Peek(70), 0);

    // Closing during a long wait (60 x 200 ms): the stop goes out and the
    // worker is joined long before the wait would have run out.
    b.Vd().Poke(70, 1);
    RunRequest r = b.Velocity(RecaptureWrites(), RunWait::ForMode(Mode::Resonance), Mode::Resonance);
    bool finished = false;
    ASSERT_TRUE(session.Start(r, [&](const RunOutcome& o) {
        finished = true;
        EXPECT_EQ(o.status, RunStatus::Closed);
        EXPECT_TRUE(o.stopSent);
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto t0 = std::chrono::steady_clock::now();
    session.Close(b.Link(), Mode::Resonance);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_TRUE(finished);
    EXPECT_EQ(b.Vd().Peek(70), 0);
    EXPECT_FALSE(session.Start(r, {}));  // closed for good
}

// A re-capture is a flag of the request, not guessed from its writes: it
// writes only the trigger, and the motion it samples is neither checked at
// rest (it runs) nor armed again.
TEST(RunCapture, ACyclicRecaptureWritesOnlyTheTrigger) {
    Bench b;
    b.RunLongTrapezoid();
    b.Vd().ClearRequests();
    hx::ChangeGate gate;
    RunSession session(gate);
    hx::runtest::GuardOptions guard;
    guard.noteFolder = b.folder.StateFolder();
    session.GuardStarts("recapture-test", guard);
    RunRequest r = RunRequest::Recapture(b.Link(), Mode::Velocity, {1, 2, 4, 8}, 200);
    r.wait = Bench::ShortWait();
    const RunOutcome out = RunAndWait(session, r);
    EXPECT_TRUE(out.recapture);
    EXPECT_EQ(b.Addresses(kWriteSingle), (std::vector<uint16_t>{32}));
    EXPECT_EQ(b.Vd().Peek(70), 1);  // the motion goes on
    EXPECT_EQ(session.State(), RunState::Running);
    session.Close(b.Link(), Mode::Velocity);  // and stops with the session
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
    hx::ChangeGate gate;
    RunSession session(gate);
    int calls = 0;
    std::promise<RunOutcome> done;
    ASSERT_TRUE(session.Start(r, [&](const RunOutcome& o) {
        ++calls;
        done.set_value(o);
    }));
    const RunOutcome out = done.get_future().get();
    session.Close(b.Link(), Mode::Torque);
    EXPECT_EQ(calls, 1);
    // The gains are the user's tuning: the backup read before them finds the
    // drive silent, so not even the first gain goes out.
    EXPECT_EQ(out.status, RunStatus::NotBackedUp);
    EXPECT_EQ(out.gate.status, hx::GateResult::Status::ReadFailed);
    EXPECT_TRUE(out.writes.returned.empty());
    EXPECT_EQ(b.Vd().Peek(23), 0);
}

TEST(RunCapture, AStopDuringTheBlockReadsGoesOutAfterTheCurrentBlockAndTheRestIsStillRead) {
    // A paced line, so the 40 blocks of a 2000-point capture take a while.
    hx::sim::DriveOptions o = PlainDrive(kStation);
    o.baud = 38400;
    Bench b(o);
    b.Vd().Poke(70, 1);
    RunRequest r = b.Velocity({{34, 1}, {94, 0}, {95, 0}, {96, 0}, {33, 50}, {137, 2000}, {32, 1}},
                              RunWait::ForMode(Mode::Velocity));
    r.points = 2000;
    b.Vd().ClearRequests();
    // The capture's blocks, from 150 on.
    auto isBlock = [](const hx::sim::VirtualDrive::Request& q) {
        return q.function == kRead && q.address >= 150 && q.count == 50;
    };
    auto blockReads = [&] {
        const auto all = b.Vd().Requests();
        return std::count_if(all.begin(), all.end(), isBlock);
    };
    hx::ChangeGate gate;
    RunSession session(gate);
    const RunOutcome out = RunAndWait(session, r, [&] {
        hx::test::PollUntil([&] { return blockReads() >= 3; });
        session.StopRun(b.Link(), Mode::Velocity);
    });
    EXPECT_EQ(out.status, RunStatus::Completed);
    EXPECT_TRUE(out.stopSent);
    EXPECT_EQ(b.Vd().Peek(70), 0);
    EXPECT_EQ(blockReads(), 40);
    // The stop went out between two block reads, not after the last one.
    int readsBeforeStop = -1, reads = 0;
    for (const auto& q : b.Vd().Requests()) {
        reads += isBlock(q);
        if (q.function == kWriteSingle && q.address == 70) readsBeforeStop = reads;
    }
    EXPECT_GE(readsBeforeStop, 3);
    EXPECT_LT(readsBeforeStop, 40);
    session.Close(b.Link(), Mode::Velocity);
}
