#pragma once
// The steps that keep a motion the program starts under control, one
// request sequence each; GuardedRun (GuardedRun.h) puts them together into
// the one path every motion takes. Around a start the guard:
//  - checks that the motor is at rest, so a test never runs on top of a
//    motion controller's move: a short capture of its speed before a
//    trapezoid; before the current-loop test, which must leave the drive's
//    sampling settings alone, only the motion command (the drive itself
//    refuses the test while its motor is driven);
//  - notes the drive's own communication watchdog (31007 time-out, 31008
//    action) in a note it owns (WatchdogNote.h), then arms it (RAM only,
//    never stored): at most `watchdog` ms, action "stop" where the drive
//    would carry on. A program that dies, or a line that breaks, then leaves
//    the motor running for that long at most;
//  - while the motion runs, answers keep-alive polls of the motion's command
//    register (each one feeds the watchdog and tells whether it still runs);
//  - sends the stop until the drive confirms it (70 and 23 read 0);
//  - puts the drive's watchdog values back and removes the note, never while
//    70 or 23 still reads non-zero: a motion whose stop is not confirmed
//    keeps its watchdog. When the program died first, RestoreLeftWatchdog
//    does this at the next connect to that port and station, once the
//    note's owner has ended.
//
// Every call is a blocking sequence of requests for a worker thread (or a
// command-line program); a guard is used by one thread at a time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "core/link/DriveHandle.h"
#include "core/runtest/RunFields.h"
#include "core/runtest/WatchdogNote.h"

namespace hx::runtest {

// What the drive runs: the motion command (70) or the current-loop test (23).
enum class MotionKind { Trapezoid, CurrentTest };
MotionKind MotionOf(Mode mode);
uint16_t CommandRegister(MotionKind kind);

struct GuardOptions {
    // The longest silence a drive is left to run a motion through.
    std::chrono::milliseconds watchdog{1000};
    // Check the motor at rest before a start and refuse when it moves.
    bool checkStandstill = true;
    // The folder of the notes; empty: WatchdogNoteFolder().
    std::string noteFolder;
    // How the guard waits between polls and stop rounds; empty: it sleeps.
    // Tests step the simulated drive's clock here.
    std::function<void(std::chrono::milliseconds)> sleep;
    // The guard's sense of time; empty: the steady clock. Given with sleep
    // by tests that step time themselves.
    std::function<std::chrono::steady_clock::time_point()> now;
};

// The rules every guarded motion keeps, in one place: a keep-alive poll
// every 200 ms, well inside the watchdog's time; a stop the drive has not
// confirmed goes out again every 500 ms, six times in a row before a tool
// says it could not be confirmed.
inline constexpr std::chrono::milliseconds kKeepAlivePeriod{200};
inline constexpr int kStopTries = 6;
inline constexpr std::chrono::milliseconds kStopPeriod{500};

// Fastest speed (0.01 rev/s) the standstill check takes as rest: 1 rev/s,
// above a held motor's jitter and the last settling of a finished run, well
// below a motion controller's move.
inline constexpr int kRestSpeed = 100;

// Why a start was refused, as data: windows and tools act on the reason
// (offer to pause a simulated motion controller) without reading texts.
enum class StartRefusal {
    None,
    Moving,        // the motor moves under another command
    OtherProgram,  // another program runs a test on this drive (it owns the watchdog note)
    Failed,        // a request failed (address, fault)
};

struct Readiness {
    StartRefusal refusal = StartRefusal::None;
    uint16_t address = 0;
    DriveFault fault;
    int peakSpeed = 0;             // the standstill check's fastest sample, 0.01 rev/s
    long otherProgram = 0;         // for OtherProgram: its process id, when known
    bool armed = false;            // the drive's watchdog was changed (Restore puts it back)
    bool watchdogMissing = false;  // the drive has no watchdog: the motion is not covered by one
    std::string noteError;         // the note could not be written; the values are still put back

    bool ready() const { return refusal == StartRefusal::None; }
    // "电机正在运动，..." or the failed request in one sentence.
    std::string Message() const;
};

struct MotionPoll {
    enum class State { Running, Ended, NoAnswer };
    State state = State::NoAnswer;
    DriveFault fault;  // for NoAnswer
};

struct StopOutcome {
    bool confirmed = false;  // 70 and 23 read 0
    bool delivered = false;  // the drive answered a stop write: it stops
    int tries = 0;           // rounds sent
    int alarm = 0;           // an active alarm the drive reported (after a confirmed stop)
    uint16_t address = 0;    // the last failed request when not confirmed
    DriveFault fault;
    // One sentence: stopped (and the alarm), or why it could not be confirmed.
    std::string Message() const;
};

struct RestoreOutcome {
    bool done = false;  // the values are back (or nothing was changed)
    WatchdogSetting values;
    // Not put back because the motion or test still runs (70 or 23 read
    // non-zero, or could not be read): the watchdog stays armed.
    bool stillRunning = false;
    uint16_t address = 0;
    DriveFault fault;
};

// What the next connect found of a run that did not end normally.
struct LeftWatchdog {
    enum class State {
        Restored,      // the drive's own values are back
        StillRunning,  // its motion ran and the stop was not confirmed: the watchdog stays armed
        Failed,        // the values could not be put back (address, fault): the note stays
    };
    State state = State::Restored;
    WatchdogSetting values;
    bool stoppedMotion = false;  // its motion still ran and was stopped (confirmed) first
    std::optional<int> alarm;    // the drive's current alarm afterwards, when read
    uint16_t address = 0;
    DriveFault fault;
};

class MotionGuard {
public:
    // port: the link's port name as configured (the note is kept per port
    // and station).
    MotionGuard(DriveHandle drive, std::string port, GuardOptions options = {});

    // Before a start: at rest, noted, armed. A guard armed by an earlier
    // start keeps the values it noted then.
    Readiness Prepare(MotionKind kind);
    // A keep-alive read of the motion's command register.
    MotionPoll Poll(MotionKind kind);
    // One round: the stop of `kind`, then 70 and 23 read back (only when the
    // drive answered the stop: reads that may reach a silent drive would feed
    // its watchdog without stopping anything).
    StopOutcome StopOnce(MotionKind kind);
    // Rounds `period` apart until confirmed, `tries` at most, or the token fires.
    StopOutcome Stop(MotionKind kind, int tries, std::chrono::milliseconds period, std::stop_token stop = {});
    // The drive's own watchdog values back, the note removed, once 70 and 23
    // read 0. The note stays when the drive did not take them, for the next
    // connect. evenWhileRunning: the user leaves the motion running on
    // purpose (a detached run).
    RestoreOutcome Restore(bool evenWhileRunning = false);
    bool Armed() const { return m_noted.has_value(); }
    // The drive's own values while armed.
    const std::optional<WatchdogSetting>& Noted() const { return m_noted; }
    // The silence after which the drive stops a motion by itself (the armed
    // watchdog, or the drive's own when it was short enough); nullopt when
    // no watchdog covers the motion.
    std::optional<std::chrono::milliseconds> WatchdogTime() const { return m_covered; }

    const DriveHandle& drive() const { return m_drive; }
    DriveHandle& drive() { return m_drive; }
    const GuardOptions& options() const { return m_options; }
    void Pause(std::chrono::milliseconds d) const;
    std::chrono::steady_clock::time_point Now() const;

private:
    friend std::optional<LeftWatchdog> RestoreLeftWatchdog(DriveHandle, const std::string&, GuardOptions);
    bool StandstillCheck(MotionKind kind, Readiness* r);
    std::optional<int16_t> Read(uint16_t address, Readiness* r);
    bool Write(uint16_t address, uint16_t value, Readiness* r);

    DriveHandle m_drive;
    std::string m_port;
    GuardOptions m_options;
    std::optional<WatchdogSetting> m_noted;  // the drive's own values while armed
    std::optional<std::chrono::milliseconds> m_covered;
    NoteLock m_lock;                         // held while m_noted
};

// At connect: puts back what a guard left noted for this port and station
// when the program that noted it has ended (a note another running program
// holds is its own, and left alone): its motion or test is stopped and the
// stop confirmed first. nullopt when there is nothing to put back.
// options: the note folder, and how to wait between stop rounds.
std::optional<LeftWatchdog> RestoreLeftWatchdog(DriveHandle drive, const std::string& port,
                                                GuardOptions options = {});
// "The last test run did not end normally: ..." for a user; with the
// drive's communication alarm active, that the drive stopped the motor by
// itself and how to clear it: clearCommand (the command-line tool's exact
// command) or, empty, nothing (a window offers a button).
std::string LeftWatchdogText(const LeftWatchdog& left, const std::string& clearCommand = {});
// Whether the drive shows its communication alarm after a left run.
bool LeftCommunicationAlarm(const LeftWatchdog& left);

}  // namespace hx::runtest
