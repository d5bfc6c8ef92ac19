// Run-test captures against the simulated drive over a real pseudo-terminal:
// the start as the drive sees it, stops that are never lost, re-captures that
// write only the trigger, and starts the drive does not answer.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "core/link/CQXCOM.h"
#include "core/protocol/Registers.h"
#include "core/runtest/RunCapture.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

using namespace hx::runtest;
using hx::sim::DriveOptions;
using hx::sim::InProcessDrive;

namespace {

constexpr uint8_t kStation = 5;
constexpr uint8_t kWriteSingle = 6;

DriveOptions PlainDrive() {
    DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    return o;
}

struct Bench {
    Bench() : drive(PlainDrive()) {
        comm.ConfigCom(drive.DevicePath(), "38400", "8", "NONE", "2");
        comm.SetReceiveTimeOut(100);
        // The simulated drive never answers late: a short horizon keeps
        // lost frames cheap.
        comm.SetLateHorizon(150);
        opened = comm.OpenCom() != 0;
    }
    hx::DriveHandle Link(float firmware = 200.0f) { return hx::DriveHandle(&comm, kStation, firmware); }
    hx::sim::VirtualDrive& Vd() { return drive.Drive(); }
    std::vector<uint16_t> WrittenAddresses() {
        std::vector<uint16_t> out;
        for (const auto& r : Vd().Requests())
            if (r.function == kWriteSingle) out.push_back(r.address);
        return out;
    }
    // A short wait so time-outs take a fraction of a second.
    static CompletionWait ShortWait(bool anyPositive = false) {
        return CompletionWait{5, std::chrono::milliseconds(20), anyPositive};
    }

    hx::test::TempProgramFolder folder;
    InProcessDrive drive;
    CQXCOM comm;
    bool opened = false;
};

// Runs a capture on the session and hands back its outcome.
CaptureOutcome RunAndWait(RunSession& session, CaptureRequest request,
                          const std::function<void()>& whileRunning = {}) {
    std::promise<CaptureOutcome> done;
    auto result = done.get_future();
    EXPECT_TRUE(session.StartCapture(std::move(request), [&](const CaptureOutcome& o) { done.set_value(o); }));
    if (whileRunning) whileRunning();
    return result.get();
}

}  // namespace

TEST(RunCapture, DefaultVelocityStartReachesTheDriveInOrder) {
    Bench b;
    ASSERT_TRUE(b.opened);
    VelocityFields v;
    v.direction = -1;
    CaptureRequest r;
    r.drive = b.Link();
    r.mode = Mode::Velocity;
    r.codes = {1, 2, 0, 0};
    r.points = 200;
    r.startWrites = VelocityStartWrites(v, r.codes, r.points, 200.0f);
    r.wait = Bench::ShortWait();
    b.Vd().ClearRequests();

    RunSession session;
    const CaptureOutcome out = RunAndWait(session, r);
    EXPECT_EQ(out.status, CaptureStatus::Completed);
    EXPECT_EQ(out.samples[0].size(), 200u);
    EXPECT_EQ(out.samples[1].size(), 200u);
    EXPECT_TRUE(out.samples[2].empty());
    EXPECT_EQ(b.WrittenAddresses(),
              (std::vector<uint16_t>{65, 69, 62, 67, 60, 63, 61, 33, 34, 94, 95, 96, 137, 70, 32}));
    EXPECT_EQ(b.Vd().Peek(61), 0xFFFF);
    EXPECT_EQ(b.Vd().Peek(33), 100);
    EXPECT_EQ(b.Vd().Peek(70), 1);
    ASSERT_EQ(out.writes.returned.size(), r.startWrites.size());
    EXPECT_EQ(out.writes.returned[6], -1);  // reverse comes back as the signed word
    EXPECT_FALSE(out.stopRequested);
    session.Close(b.Link(), Mode::Velocity);
}

TEST(RunCapture, AStopPendingWhenTheWaitRunsOutIsStillSent) {
    Bench b;
    ASSERT_TRUE(b.opened);
    b.Vd().Poke(70, 1);  // the motor runs
    CaptureRequest r;
    r.drive = b.Link();
    r.mode = Mode::Velocity;
    r.codes = {1, 0, 0, 0};
    // A capture of a minute (2000 points 30 ms apart): the wait runs out first.
    r.startWrites = {{34, 1}, {33, 30000}, {137, 2000}, {32, 1}};
    // Long enough that the stop is asked for while the wait still polls.
    r.wait = CompletionWait{3, std::chrono::milliseconds(150), false};

    RunSession session;
    const CaptureOutcome out = RunAndWait(session, r, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        session.StopRun(b.Link(), Mode::Velocity);
    });
    EXPECT_EQ(out.status, CaptureStatus::TimedOut);
    EXPECT_TRUE(out.stopRequested);
    EXPECT_TRUE(out.stopSent);
    EXPECT_EQ(b.Vd().Peek(70), 0);

    // The torque page's stop goes to its own command.
    b.Vd().Poke(23, 1);
    r.mode = Mode::Torque;
    r.startWrites = {};
    r.wait = CompletionWait{3, std::chrono::milliseconds(150), true};
    const CaptureOutcome t = RunAndWait(session, r, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        session.StopRun(b.Link(), Mode::Torque);
    });
    EXPECT_EQ(t.status, CaptureStatus::TimedOut);
    EXPECT_TRUE(t.stopSent);
    EXPECT_EQ(b.Vd().Peek(23), 0);
    session.Close(b.Link(), Mode::Torque);
}

TEST(RunCapture, AStopWhileIdleGoesOutAtOnceAndCloseStopsARunningCapture) {
    Bench b;
    ASSERT_TRUE(b.opened);
    RunSession session;
    b.Vd().Poke(70, 1);
    std::promise<bool> answered;
    session.StopRun(b.Link(), Mode::Velocity, [&](bool a) { answered.set_value(a); });
    EXPECT_TRUE(answered.get_future().get());
    EXPECT_EQ(b.Vd().Peek(70), 0);

    // Closing during a long wait: the stop goes out and the worker is joined
    // long before the wait would have run out.
    b.Vd().Poke(70, 1);
    CaptureRequest r;
    r.drive = b.Link();
    r.mode = Mode::Resonance;
    r.codes = {1, 0, 0, 0};
    r.startWrites = RecaptureWrites();
    r.wait = CompletionWait::ForMode(Mode::Resonance);  // 60 x 200 ms
    bool finished = false;
    ASSERT_TRUE(session.StartCapture(r, [&](const CaptureOutcome& o) {
        finished = true;
        EXPECT_EQ(o.status, CaptureStatus::Closed);
        EXPECT_TRUE(o.stopSent);
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto t0 = std::chrono::steady_clock::now();
    session.Close(b.Link(), Mode::Resonance);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    EXPECT_TRUE(finished);
    EXPECT_EQ(b.Vd().Peek(70), 0);
    EXPECT_FALSE(session.StartCapture(r, {}));  // closed for good
}

TEST(RunCapture, ACyclicRecaptureWritesOnlyTheTrigger) {
    Bench b;
    ASSERT_TRUE(b.opened);
    // A trapezoid of many runs, to outlast the test.
    for (auto [a, v] : {std::pair{60, 1000}, {62, 100}, {65, 100}, {67, 200}, {69, 100}})
        b.Vd().SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    b.Vd().Poke(70, 1);
    b.Vd().ClearRequests();
    CaptureRequest r;
    r.drive = b.Link();
    r.mode = Mode::Velocity;
    r.codes = {1, 2, 4, 8};
    r.startWrites = RecaptureWrites();
    r.wait = Bench::ShortWait();
    RunSession session;
    RunAndWait(session, r);
    EXPECT_EQ(b.WrittenAddresses(), (std::vector<uint16_t>{32}));
    EXPECT_EQ(b.Vd().Peek(70), 1);  // the motion goes on
    session.Close(b.Link(), Mode::Velocity);  // and stops with the session
    EXPECT_EQ(b.Vd().Peek(70), 0);
}

TEST(RunCapture, AnUnansweredStartIsReportedOnceAndNotAsARun) {
    Bench b;
    ASSERT_TRUE(b.opened);
    b.drive.Server().SetStation(kStation + 1);  // the drive stops answering us
    CaptureRequest r;
    r.drive = b.Link();
    r.mode = Mode::Torque;
    r.codes = {32768, 0, 0, 0};
    r.startWrites = TorqueStartWrites(TorqueFields{}, 200, 200.0f);
    r.wait = Bench::ShortWait(true);
    RunSession session;
    int calls = 0;
    std::promise<CaptureOutcome> done;
    ASSERT_TRUE(session.StartCapture(r, [&](const CaptureOutcome& o) {
        ++calls;
        done.set_value(o);
    }));
    const CaptureOutcome out = done.get_future().get();
    session.Close(b.Link(), Mode::Torque);
    EXPECT_EQ(calls, 1);
    // The gains are the user's tuning: the backup read before them finds the
    // drive silent, so not even the first gain goes out.
    EXPECT_EQ(out.status, CaptureStatus::NotBackedUp);
    EXPECT_EQ(out.gate.status, hx::GateResult::Status::ReadFailed);
    EXPECT_TRUE(out.writes.returned.empty());
    EXPECT_EQ(b.Vd().Peek(23), 0);
}

TEST(RunCapture, AStopDuringTheBlockReadsGoesOutAfterTheCurrentBlockAndTheRestIsStillRead) {
    // A paced line, so the 40 blocks of a 2000-point capture take a while.
    DriveOptions o = PlainDrive();
    o.baud = 38400;
    InProcessDrive drive(o);
    CQXCOM comm;
    comm.ConfigCom(drive.DevicePath(), "38400", "8", "NONE", "2");
    comm.SetReceiveTimeOut(200);
    comm.SetLateHorizon(150);
    ASSERT_NE(comm.OpenCom(), 0);
    auto& vd = drive.Drive();
    vd.Poke(70, 1);
    const hx::DriveHandle link(&comm, kStation, 200.0f);
    CaptureRequest r;
    r.drive = link;
    r.mode = Mode::Velocity;
    r.codes = {1, 0, 0, 0};
    r.points = 2000;
    r.startWrites = {{34, 1}, {94, 0}, {95, 0}, {96, 0}, {33, 50}, {137, 2000}, {32, 1}};
    r.wait = CompletionWait::ForMode(Mode::Velocity);
    vd.ClearRequests();
    auto blockReads = [&] {
        int n = 0;
        for (const auto& q : vd.Requests()) n += q.function == 3 && q.address >= 150 && q.count == 50;
        return n;
    };
    RunSession session;
    const CaptureOutcome out = RunAndWait(session, r, [&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (blockReads() < 3 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        session.StopRun(link, Mode::Velocity);
    });
    EXPECT_EQ(out.status, CaptureStatus::Completed);
    EXPECT_TRUE(out.stopSent);
    EXPECT_EQ(vd.Peek(70), 0);
    EXPECT_EQ(blockReads(), 40);
    // The stop went out between two block reads, not after the last one.
    int readsBeforeStop = -1, reads = 0;
    for (const auto& q : vd.Requests()) {
        if (q.function == 3 && q.address >= 150 && q.count == 50) ++reads;
        if (q.function == 6 && q.address == 70) readsBeforeStop = reads;
    }
    EXPECT_GE(readsBeforeStop, 3);
    EXPECT_LT(readsBeforeStop, 40);
    session.Close(link, Mode::Velocity);
}
