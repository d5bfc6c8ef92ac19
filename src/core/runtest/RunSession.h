#pragma once
// The run test's link to the drive, and what keeps its motions under
// control. A run is one capture (RunCapture.h); every start of a motion goes
// through the session's guarded run (GuardedRun.h), which checks the motor at
// rest, arms the drive's watchdog, feeds it and stops the motion for sure.
//
// Stopping the motor is the point of a stop button, so a stop asked for
// while the capture runs is never lost: the worker sends it at its next poll
// of the wait or after the block it is reading, and, whatever ends the
// capture (completion, time-out, a close, an unanswered request), before it
// finishes; one asked for before the start writes went out keeps them back.
// A stop asked for while no capture runs goes out at once on the session's
// request queue.
//
// A motion the drive may still run after its stop went unanswered is not
// forgotten: the session sends the stop again every 500 ms until the drive
// takes it. While a started motion may run, the drive's watchdog is fed by a
// keep-alive poll (the guarded run, when the session has one); a keep-alive
// the drive leaves unanswered makes the run's stop unconfirmed at once, and
// a motion that ended otherwise than asked (the drive's watchdog, an alarm,
// someone else's stop) ends the run with a report of what ended it.

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/runtest/GuardedRun.h"
#include "core/runtest/RunCapture.h"

namespace hx::runtest {

// The run the user started, as the window shows it.
enum class RunState {
    Idle,             // "开 始"
    Running,          // "停 止": a run is on (a capture, or the wait for a re-capture)
    StopUnconfirmed,  // "停 止": the stop is sent again until the drive takes it
};

// One capture at a time on its own worker, and a queue for the single
// requests the pages make meanwhile (reads at mode entry, setting writes,
// stops while idle); the queue's thread also sends the retried stops and the
// keep-alives. Methods are called from one owning thread; callbacks run on
// worker threads.
class RunSession {
public:
    using Finished = std::function<void(const RunOutcome&)>;
    using Task = std::function<void()>;

    // gate: where the tuning settings of a start are backed up and journaled.
    // stateChanged (on a worker) after the state moved there: a stop was
    // confirmed, or a stop of the user's went unanswered.
    explicit RunSession(ChangeGate& gate, std::function<void()> stateChanged = {});
    ~RunSession();  // ends the threads; Close() first to stop the motor
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    // Every start (not a re-capture) checks the motor at rest and arms the
    // drive's watchdog first; the keep-alive runs while the motion may.
    void GuardStarts(std::string port, GuardOptions options = {});

    // Starts a run: Running. False while a capture runs, while a stop is
    // unconfirmed, or after Close(). The run goes out after what was queued
    // before it (a stop first).
    // finished runs once the state has taken the outcome (EndOf).
    bool Start(RunRequest request, Finished finished);
    bool CaptureRunning() const;
    RunState State() const;
    bool Running() const { return State() != RunState::Idle; }
    // Whether the cyclic re-capture is due after a shown capture.
    bool RecaptureDue(bool cyclic) const { return cyclic && State() == RunState::Running; }
    // How the last guarded motion ended when it did not end as asked (the
    // drive's watchdog, an alarm, someone else's stop); cleared at a start.
    std::optional<MotionReport> LastEnd() const;

    // The user's stop: Idle. Deferred to the capture worker while a capture
    // runs; otherwise queued at once, and kept going out when unanswered.
    // The guarded motion is then stopped for sure and the watchdog put back.
    void Stop(DriveHandle drive, Mode mode);
    // The run ended without a stop (a re-capture that could not be built).
    void EndRun();
    // While the stop is unconfirmed: one more try now (the retries go on).
    void RetryStopNow();

    // The mode's stop on the queue (or deferred to the capture, without
    // done); done (on the queue's worker) says whether the drive answered.
    void StopRun(DriveHandle drive, Mode mode, std::function<void(bool answered)> done = {});
    // Runs task on the request queue, in order with the others.
    void Post(Task task);
    // Waits until every queued task has run.
    void Drain();

    // Stops the motion of the given mode (best effort) and, when a stop was
    // unconfirmed, tries it once more; stops the guarded motion for sure
    // and puts the watchdog back; ends the capture (the worker sends the
    // stop and returns without reading further), joins it, runs what is
    // queued and joins the queue. Returns false when the stop could not be
    // confirmed (the drive's watchdog then stays armed). Idempotent.
    bool Close(DriveHandle drive, Mode mode);

private:
    void QueueThread(std::stop_token stop);
    // The retry or keep-alive due now, if any; called with m_mutex held.
    Task DueTick(std::chrono::steady_clock::time_point now);
    std::chrono::steady_clock::time_point NextTick() const;
    // cutByLine: the drive fell silent during the run (not the user's stop).
    void Unconfirmed(const DriveHandle& drive, Mode mode, bool cutByLine = false);  // with m_mutex held
    // The state after a finished run. With m_mutex held.
    void TakeEnd(const RunOutcome& out, const RunRequest& request);
    // The guarded motion's stop on the queue; confirmed (if given) turns
    // false when the drive did not confirm it.
    void PostGuardStop(std::shared_ptr<std::atomic<bool>> confirmed = {});
    void EndThreads();

    ChangeGate& m_gate;
    std::function<void()> m_stateChanged;
    std::optional<std::string> m_port;
    GuardOptions m_guardOptions;
    std::shared_ptr<GuardedRun> m_guard;
    DriveHandle m_guardDrive;  // the drive and mode of the guarded motion
    Mode m_guardMode = Mode::Velocity;
    std::optional<MotionReport> m_lastEnd;
    bool m_cutByLine = false;

    mutable std::mutex m_mutex;
    RunState m_state = RunState::Idle;
    bool m_captureBusy = false;
    bool m_stopPending = false;
    bool m_closed = false;
    bool m_threadsEnded = false;
    std::jthread m_capture;
    // The stop to repeat while StopUnconfirmed.
    DriveHandle m_stopDrive;
    Mode m_stopMode = Mode::Velocity;
    std::chrono::steady_clock::time_point m_nextRetry;
    bool m_keepAlive = false;
    std::chrono::steady_clock::time_point m_nextKeepAlive;

    std::condition_variable_any m_queueWake;
    std::condition_variable_any m_queueIdle;
    uint64_t m_posted = 0, m_ran = 0;  // tasks asked for, and run
    std::deque<Task> m_queue;
    bool m_queueRunning = false;
    std::jthread m_queueThread;
};

}  // namespace hx::runtest
