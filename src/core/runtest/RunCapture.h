#pragma once
// One run-test capture on a worker thread: the start writes of the run (or
// only the trigger of a re-capture), the wait for the drive to finish, and
// the block reads of the active channels.
//
// Stopping the motor is the point of a stop button, so a stop asked for
// while the capture runs is never lost: the worker sends it at its next poll
// of the wait or after the block it is reading, and, whatever ends the
// capture (completion, time-out, a close, an unanswered request), before it
// finishes. A stop asked for while no capture runs goes out at once on the
// session's request queue.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/runtest/RunSequence.h"

namespace hx::runtest {

// How long to wait for the drive: a capture of the velocity and resonance
// pages is complete when the state register reads 1 (60 polls), the
// current-loop test when it reads above 0 (30 polls); 200 ms between polls.
struct CompletionWait {
    int polls = 60;
    std::chrono::milliseconds period{200};
    bool anyPositive = false;  // true: done when the state is above 0; false: when it is 1

    static CompletionWait ForMode(Mode mode);
};

struct CaptureRequest {
    DriveHandle drive;
    Mode mode = Mode::Velocity;
    std::vector<RegisterWrite> startWrites;  // the start, or RecaptureWrites()
    std::array<uint32_t, 4> codes{};         // active channels are read in order 1..4
    int points = 200;                        // per channel, a multiple of 50
    CompletionWait wait;
    // Asked on the worker before the start writes: a text refuses the start
    // (the motor moves, the drive's watchdog could not be armed) and nothing
    // of it is sent.
    std::function<std::optional<std::string>()> beforeStart = {};
    PrepareOptions gate;                     // for the tuning settings among the start writes

    // A capture of the mode with its start writes, waiting as the mode waits.
    static CaptureRequest For(const DriveHandle& drive, Mode mode, const std::array<uint32_t, 4>& codes, int points,
                              std::vector<RegisterWrite> startWrites) {
        return CaptureRequest{drive, mode, std::move(startWrites), codes, points, CompletionWait::ForMode(mode), {}};
    }
};

enum class CaptureStatus {
    Completed,   // every block read; samples hold the capture
    TimedOut,    // the drive never reported completion
    NoAnswer,    // a start write or a block read went unanswered
    Closed,      // the session closed before the capture ended
    Refused,     // beforeStart refused the start; failureText says why
    NotBackedUp, // the change gate refused the tuning settings: nothing was sent (gate says why)
};

struct CaptureOutcome {
    CaptureStatus status = CaptureStatus::Completed;
    Mode mode = Mode::Velocity;
    std::vector<RegisterWrite> startWrites;
    WriteOutcome writes;                          // what the start writes returned
    std::optional<uint16_t> unansweredAddress;    // for NoAnswer
    std::string failureText;                      // and why, in words (silence, a refusal)
    std::array<uint32_t, 4> codes{};
    int points = 0;
    std::array<std::vector<float>, 4> samples;    // points values for each active channel
    bool stopRequested = false;  // a stop was asked for during this capture
    bool stopSent = false;       // and was answered by the drive
    bool safetyStopSent = false; // the stop sent after an unanswered start was answered
    GateResult gate;             // for NotBackedUp
};

// Runs one capture on the calling thread. takeStopRequest is asked between
// polls and blocks; when it returns true the mode's stop is sent then.
CaptureOutcome RunCapture(const CaptureRequest& request, std::stop_token stop,
                          const std::function<bool()>& takeStopRequest);

// The run-test pages' link to the drive: one capture at a time on its own
// worker, and a queue for the single requests the pages make meanwhile
// (reads at mode entry, setting writes, stops while idle). Methods are
// called from one owning thread; callbacks run on worker threads.
class RunSession {
public:
    using CaptureFinished = std::function<void(const CaptureOutcome&)>;
    using Task = std::function<void()>;

    RunSession();
    ~RunSession();  // Close()
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    // Starts a capture; false while one runs (or after Close()).
    bool StartCapture(CaptureRequest request, CaptureFinished finished);
    bool CaptureRunning() const;

    // The page's stop: deferred to the capture worker while a capture runs
    // (sent at its next poll or block, and in any case before it ends);
    // otherwise queued at once. done (on the queue's worker) says whether
    // the drive answered; not called for a deferred stop, whose result comes
    // with the capture's outcome.
    void StopRun(DriveHandle drive, Mode mode, std::function<void(bool answered)> done = {});

    // Runs task on the request queue, in order with the others.
    void Post(Task task);
    // Waits until every queued task has run.
    void Drain();

    // Stops the motion of the given mode (best effort), ends the capture
    // (the worker sends the stop and returns without reading further),
    // joins it, runs what is queued and joins the queue. Idempotent.
    void Close(DriveHandle drive, Mode mode);

private:
    void QueueThread(std::stop_token stop);

    mutable std::mutex m_mutex;
    bool m_captureBusy = false;
    bool m_stopPending = false;
    bool m_closed = false;
    std::jthread m_capture;

    std::mutex m_queueMutex;
    std::condition_variable_any m_queueWake;
    std::condition_variable m_queueIdle;
    std::deque<Task> m_queue;
    bool m_queueRunning = false;
    std::jthread m_queueThread;
};

}  // namespace hx::runtest
