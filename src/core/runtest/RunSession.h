#pragma once
// The run test's link to the drive, and what keeps its motions under
// control. A run is one capture on the program's one capture path
// (hx::RunCapture): its start writes go out in the capture's before-start
// step, the wait polls the mode's own completion, and the block reads are
// the capture's.
//
// Stopping the motor is the point of a stop button, so a stop asked for
// while the capture runs is never lost: the worker sends it at its next poll
// of the wait or after the block it is reading, and, whatever ends the
// capture (completion, time-out, a close, an unanswered request), before it
// finishes. A stop asked for while no capture runs goes out at once on the
// session's request queue.
//
// A motion the drive may still run after its stop went unanswered is not
// forgotten: the session sends the stop again every 500 ms until the drive
// takes it. While a started motion may run, the drive's watchdog is fed by a
// keep-alive poll every 200 ms (the guard, when the session has one).

#include <array>
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

#include "core/runtest/MotionGuard.h"
#include "core/runtest/RunSequence.h"

namespace hx::runtest {

// How long a run waits for the drive: a capture of the velocity and
// resonance pages is complete when the state register reads 1 (60 polls),
// the current-loop test when it reads above 0 (30 polls); 200 ms between polls.
struct RunWait {
    int polls = 60;
    std::chrono::milliseconds period{200};
    bool anyPositive = false;  // true: done when the state is above 0; false: when it is 1

    static RunWait ForMode(Mode mode);
};

struct RunRequest {
    DriveHandle drive;
    Mode mode = Mode::Velocity;
    // A cyclic re-capture of a running velocity or resonance motion: only the
    // trigger is written, the motion is neither checked nor started again.
    bool recapture = false;
    std::vector<RegisterWrite> startWrites;  // the start, or RecaptureWrites()
    std::array<uint32_t, 4> codes{};         // active channels are read in order 1..4
    int points = 200;                        // per channel, a multiple of 50
    RunWait wait;
    // Asked on the worker before the start writes: a text refuses the start
    // (the motor moves, the drive's watchdog could not be armed) and nothing
    // of it is sent. A session with a guard sets it for every start.
    std::function<std::optional<std::string>()> beforeStart = {};
    PrepareOptions gate;  // for the tuning settings among the start writes

    // A start of the mode with its start writes, waiting as the mode waits.
    static RunRequest Start(const DriveHandle& drive, Mode mode, const std::array<uint32_t, 4>& codes, int points,
                            std::vector<RegisterWrite> startWrites);
    // A re-capture of the running velocity or resonance motion.
    static RunRequest Recapture(const DriveHandle& drive, Mode mode, const std::array<uint32_t, 4>& codes, int points);
};

enum class RunStatus {
    Completed,    // every block read; samples hold the capture
    TimedOut,     // the drive never reported completion
    NoAnswer,     // a start write or a block read went unanswered
    Closed,       // the session closed before the capture ended
    Refused,      // beforeStart refused the start; failureText says why
    NotBackedUp,  // the change gate refused the tuning settings: nothing was sent (gate says why)
};

struct RunOutcome {
    RunStatus status = RunStatus::Completed;
    Mode mode = Mode::Velocity;
    bool recapture = false;
    std::vector<RegisterWrite> startWrites;
    WriteOutcome writes;                        // what the start writes returned
    std::optional<uint16_t> unansweredAddress;  // for NoAnswer
    std::string failureText;                    // and why, in words (silence, a refusal)
    std::array<uint32_t, 4> codes{};
    int points = 0;
    std::array<std::vector<float>, 4> samples;  // points values for each active channel
    bool stopRequested = false;   // a stop was asked for during this capture
    bool stopSent = false;        // and was answered by the drive
    bool safetyStopSent = false;  // the stop sent after an unanswered start was answered
    GateResult gate;              // for NotBackedUp
};

// What a finished run means for the motor and for the user.
enum class RunEnd {
    Captured,         // samples to show; the run goes on
    TimedOut,         // the drive never finished the capture; the run goes on
    Closed,           // the session closed
    StopUnconfirmed,  // a motion may run and no stop of it was taken: the stop goes out until one is
    DriveRefused,     // the drive refused a start write: nothing runs
    StartUnanswered,  // a start write went unanswered and the stop after it was taken
    NotStarted,       // beforeStart refused the start (failureText)
    NotBackedUp,      // the change gate kept the start back (gate)
};
RunEnd EndOf(const RunOutcome& outcome);

// Runs one capture on the calling thread. takeStopRequest is asked between
// polls and blocks; when it returns true the mode's stop is sent then.
RunOutcome RunOnce(ChangeGate& gate, const RunRequest& request, std::stop_token stop,
                   const std::function<bool()>& takeStopRequest);

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
    // queued and joins the queue. Returns false when an unconfirmed stop
    // still got no answer. Idempotent.
    bool Close(DriveHandle drive, Mode mode);

private:
    void QueueThread(std::stop_token stop);
    // The retry or keep-alive due now, if any; called with m_mutex held.
    Task DueTick(std::chrono::steady_clock::time_point now);
    std::chrono::steady_clock::time_point NextTick() const;
    void Unconfirmed(const DriveHandle& drive, Mode mode);  // with m_mutex held
    // The state after a finished run. With m_mutex held.
    void TakeEnd(const RunOutcome& out, const RunRequest& request);
    void PostGuardStop();
    void EndThreads();

    ChangeGate& m_gate;
    std::function<void()> m_stateChanged;
    std::optional<std::string> m_port;
    GuardOptions m_guardOptions;
    std::shared_ptr<SharedMotionGuard> m_guard;

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
