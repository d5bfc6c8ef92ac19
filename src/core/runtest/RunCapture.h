#pragma once
// One run-test capture: the start writes of a mode (or the trigger of a
// re-capture) and the capture on the program's one capture path
// (hx::RunCapture): the start writes go out in the capture's before-start
// step, the wait polls the mode's own completion, and the block reads are
// the capture's. A stop asked for during it goes out at the next poll or
// after the current block, and whatever ends the capture, before it ends;
// one asked for before the start writes (during the checks or the backup)
// keeps the whole start back.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
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
    // Asked on the worker right before the start writes: a refusal (the
    // motor moves, another program runs a test on the drive, the drive's
    // watchdog could not be armed) keeps the start back, and nothing of it
    // is sent. The guarded run sets it for every start.
    std::function<Readiness()> beforeStart = {};
    // Sends the start (send, which says whether it went out) holding what
    // the motion's stop takes, so that a stop taken after the check and the
    // start never cross: the start goes out wholly before the stop, or not
    // at all. False: kept back. The guarded run sets it with beforeStart.
    std::function<bool(const std::function<bool()>& send)> sendHeld = {};
    // Told between the polls of the wait and after each block whether the
    // request before was answered: a run that times the drive's silences
    // hears of every step here.
    std::function<void(bool answered)> onStep = {};
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
    Closed,       // the session closed or a stop came before the capture ended (before the start: nothing sent)
    Refused,      // beforeStart refused the start (refusal; failureText says it in words)
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
    // What the check before the start found: for Refused why, as data; for
    // a start that went out, whether the watchdog covers it and its note.
    Readiness refusal;
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
    NotStarted,       // beforeStart refused the start (refusal)
    NotBackedUp,      // the change gate kept the start back (gate)
};
RunEnd EndOf(const RunOutcome& outcome);

// Runs one capture on the calling thread. takeStopRequest is asked between
// polls and blocks; when it returns true the mode's stop is sent then. The
// tuning settings among the start writes go through gate.
RunOutcome RunOnce(ChangeGate& gate, const RunRequest& request, std::stop_token stop,
                   const std::function<bool()>& takeStopRequest);

}  // namespace hx::runtest
