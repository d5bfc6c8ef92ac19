#pragma once
// One motion the program starts, from its start to its end, under the guard
// (MotionGuard.h): the one path of every motion, for the run-test window,
// the command-line tool and the tuning alike. It holds the rules (a
// keep-alive every kKeepAlivePeriod, stops kStopTries x kStopPeriod, the
// give-up on a silent line) so that no caller keeps a copy of them.
//
// A run, as the command-line tool and the tuning use it, on one thread:
//
//   GuardedRun run(drive, port);
//   RunOutcome captured = run.Start(gate, RunRequest::Start(...), interrupted);
//   if (!captured.refusal.ready()) ...;  // nothing was sent: why, as data
//   ...show the capture...
//   MotionReport end = run.Follow(interrupted);  // or run.Stop(), run.Detach()
//   if (!end.asAsked()) ...;                     // end.Message() says what ended it
//
// Start checks the motor at rest, arms the drive's watchdog, sends the start
// writes and runs the capture (a stop goes out as soon as `interrupted` says
// so; said before the start writes, none of them goes out and the watchdog
// goes back); the motion then goes on. Follow feeds the watchdog until the motion
// ends and says how it ended: by itself as asked, or cut short by the drive's
// watchdog (this program or the line silent for longer than its time), by an
// alarm, or by a stop this program did not send. Stop sends the stop until
// the drive confirms it. Either puts the drive's own watchdog values back
// once the motion is seen stopped, and never before: a stop that is not
// confirmed leaves the watchdog armed. On a line that stays silent the stop
// is given up once the armed watchdog has surely stopped the motor (its time
// after the last request that could have reached the drive, and a margin),
// which a default link reaches within 5 s of the silence beginning. A run
// destroyed with its motion still armed is stopped first.
//
// The window's session uses the same run step by step from its threads
// (BeforeStart and SendStart on the capture worker, Heard from the capture,
// KeepAlive and StopAndRestore on its request queue); every call takes the
// run for itself, so a stop and a start's writes never interleave.

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "core/runtest/MotionGuard.h"
#include "core/runtest/RunCapture.h"

namespace hx::runtest {

// How long after its time-out a drive has surely acted on its watchdog.
inline constexpr std::chrono::milliseconds kWatchdogReaction{300};

// How a guarded motion ended.
enum class MotionEnd {
    Running,           // not seen ended (left running on purpose, or never followed)
    Finished,          // it ended by itself, as asked: its last run, the test's end
    Stopped,           // this program stopped it, and the drive confirmed the stop
    Watchdog,          // the drive's watchdog ended it: nothing reached the drive for longer than its time
    Alarm,             // an alarm of the drive ended it
    StoppedElsewhere,  // it ended before its time by a stop this program did not send
    LineSilent,        // the drive fell silent during the run; the stop was confirmed once it answered
    GaveUp,            // the drive stayed silent: its watchdog has stopped the motor, the stop is not confirmed
    Unconfirmed,       // the stop could not be confirmed, and no watchdog covers the motion
};

struct MotionReport {
    MotionEnd end = MotionEnd::Running;
    int alarm = 0;                          // the drive's alarm at the end (0: none, or not known)
    std::chrono::milliseconds elapsed{0};   // from the start to the end seen
    std::chrono::milliseconds silence{0};   // the longest the drive went without hearing the run
    std::optional<std::chrono::milliseconds> shortest;  // the least the motion takes, when known
    StopOutcome stop;                       // the stop, when this program sent one
    RestoreOutcome restored;                // the drive's own watchdog values: back, or why not

    // Ended by itself as asked, or by this program's confirmed stop.
    bool asAsked() const { return end == MotionEnd::Finished || end == MotionEnd::Stopped; }
    // What ended it, in one sentence; `what` names the motion ("motion",
    // "current-loop test") for the command-line tool's English.
    std::string Message(const std::string& what = {}) const;
    // "the drive's communication watchdog could not be put back ..." when
    // the values are not back; empty when they are.
    std::string RestoreMessage() const;
};

class GuardedRun {
public:
    // port: the link's port name as configured (the watchdog note is kept
    // per port and station).
    GuardedRun(DriveHandle drive, std::string port, GuardOptions options = {});
    ~GuardedRun();  // a motion still armed and not left running: stopped, then the values back
    GuardedRun(const GuardedRun&) = delete;
    GuardedRun& operator=(const GuardedRun&) = delete;

    // --- The whole run on the calling thread.
    // The checks and the arming, then the capture of `request` with its start
    // writes (its tuning settings through gate). Refused (outcome.refusal):
    // nothing of the start was sent. A failed start or capture leaves the
    // motion to Stop.
    RunOutcome Start(ChangeGate& gate, RunRequest request, const std::function<bool()>& interrupted = {});
    // Keep-alives until the motion ends, `interrupted` (then the stop), or
    // the drive falls silent (then the stop, given up as above).
    // progress(elapsed) every few seconds.
    MotionReport Follow(const std::function<bool()>& interrupted = {},
                        const std::function<void(std::chrono::seconds)>& progress = {});
    // The stop until the drive confirms it, then the values back.
    MotionReport Stop();
    // The user leaves the motion running: the drive's own values back now.
    RestoreOutcome Detach();

    // --- Step by step, from any thread.
    // Before a start of `kind`: at rest, noted and armed; a refusal says why
    // and changes nothing. shortest: the least time the motion can take.
    Readiness BeforeStart(MotionKind kind, std::optional<std::chrono::milliseconds> shortest = {});
    // The start's writes (send) after BeforeStart, held against the stop:
    // a stop taken since the check keeps them back, and no stop runs while
    // they go out. Kept back (send not called, or it sent nothing): the
    // watchdog goes back, as nothing runs, and false.
    bool SendStart(const std::function<bool()>& send);
    // A request of the run was answered just now (the drive heard it).
    void Heard();
    // A request of the run went out just now, answered or not.
    void Asked();

    struct KeepAliveResult {
        enum class State { Idle, Running, NoAnswer, Ended } state = State::Idle;
        MotionReport report;  // for Ended: how, and the values back
    };
    // One keep-alive poll of the motion started last. Idle when no motion is
    // under way. Ended: the report says how, and the values are back.
    KeepAliveResult KeepAlive();
    // Stop rounds until confirmed, then the values back. giveUp: with a
    // watchdog covering the motion, stop trying once it has surely stopped
    // the motor; otherwise `tries` rounds. Nothing under way: nothing sent.
    MotionReport StopAndRestore(int tries = kStopTries, std::chrono::milliseconds period = kStopPeriod,
                                bool giveUp = true);
    // Whether a motion is under way or its watchdog still armed.
    bool Active();

private:
    void HeardLocked(std::chrono::steady_clock::time_point now);
    MotionReport EndedLocked();
    MotionReport StopLocked(int tries, std::chrono::milliseconds period, bool giveUp);

    std::mutex m_mutex;
    MotionGuard m_guard;
    MotionKind m_kind = MotionKind::Trapezoid;
    bool m_active = false;  // a motion began and was not seen ended or stopped
    bool m_gaveUp = false;  // its last stop was not confirmed
    bool m_stopTaken = false;  // a stop ran since the last check: the start it checked never goes out
    std::optional<std::chrono::milliseconds> m_shortest;
    std::chrono::steady_clock::time_point m_began, m_lastHeard, m_lastAsked;
    std::chrono::milliseconds m_longestSilence{0};
};

// The least time the trapezoid of a velocity start takes (its runs and the
// dwells between them), from its start writes; nullopt when they do not
// hold a trapezoid.
std::optional<std::chrono::milliseconds> TrapezoidTime(const std::vector<RegisterWrite>& startWrites);

}  // namespace hx::runtest
