#pragma once
// The one path for every motion the program starts on a drive (the velocity
// trapezoid, the current-loop test, a resonance run), for the run-test
// window, the command-line tool and the tuning alike. A motion must never go
// on with nobody in control of it, so around a start the guard:
//  - checks that the motor is at rest (a short capture of its speed), so a
//    test never runs on top of a motion controller's move;
//  - notes the drive's own communication watchdog (31007 time-out, 31008
//    action) in a small file in the user's state folder, then arms it (RAM
//    only, never stored): at most `watchdog` ms, action "stop" where the
//    drive would carry on. A program that dies, or a line that breaks, then
//    leaves the motor running for that long at most;
//  - while the motion runs, answers keep-alive polls of the motion's command
//    register (each one feeds the watchdog and tells whether it still runs);
//  - sends the stop until the drive confirms it (70 and 23 read 0);
//  - puts the drive's watchdog values back and removes the note. When the
//    program died first, RestoreLeftWatchdog puts them back at the next
//    connect to that port and station.
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

namespace hx::runtest {

// What the drive runs: the motion command (70) or the current-loop test (23).
enum class MotionKind { Trapezoid, CurrentTest };
MotionKind MotionOf(Mode mode);
uint16_t CommandRegister(MotionKind kind);

struct WatchdogSetting {
    uint16_t timeoutMs = 0;
    uint16_t action = 0;
    bool operator==(const WatchdogSetting&) const = default;
};

struct GuardOptions {
    // The longest silence a drive is left to run a motion through.
    std::chrono::milliseconds watchdog{1000};
    // Capture the motor's speed before a start and refuse when it moves.
    bool checkStandstill = true;
    // The folder of the notes; empty: WatchdogNoteFolder().
    std::string noteFolder;
    // How the guard waits between polls and stop rounds; empty: it sleeps.
    // Tests step the simulated drive's clock here.
    std::function<void(std::chrono::milliseconds)> sleep;
};

// Fastest speed (0.01 rev/s) the standstill check takes as rest: 1 rev/s,
// above a held motor's jitter and the last settling of a finished run, well
// below a motion controller's move.
inline constexpr int kRestSpeed = 100;

struct Readiness {
    enum class Status {
        Ready,   // the motion may start
        Moving,  // the motor moves: refused
        Failed,  // a request failed (address, fault)
    };
    Status status = Status::Ready;
    uint16_t address = 0;
    DriveFault fault;
    int peakSpeed = 0;             // the standstill check's fastest sample, 0.01 rev/s
    bool armed = false;            // the drive's watchdog was changed (Restore puts it back)
    bool watchdogMissing = false;  // the drive has no watchdog: the motion is not covered by one
    std::string noteError;         // the note could not be written; the values are still put back

    bool ready() const { return status == Status::Ready; }
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
    // One round: the stop of `kind`, then 70 and 23 read back.
    StopOutcome StopOnce(MotionKind kind);
    // Rounds `period` apart until confirmed, `tries` at most, or the token fires.
    StopOutcome Stop(MotionKind kind, int tries, std::chrono::milliseconds period, std::stop_token stop = {});
    // The drive's own watchdog values back, the note removed. The note stays
    // when the drive did not take them, for the next connect.
    RestoreOutcome Restore();
    bool Armed() const { return m_noted.has_value(); }

    const DriveHandle& drive() const { return m_drive; }

private:
    friend std::optional<RestoreOutcome> RestoreLeftWatchdog(DriveHandle, const std::string&, const std::string&);
    bool StandstillCheck(Readiness* r);
    std::optional<int16_t> Read(uint16_t address, Readiness* r);
    bool Write(uint16_t address, uint16_t value, Readiness* r);

    DriveHandle m_drive;
    std::string m_port;
    GuardOptions m_options;
    std::optional<WatchdogSetting> m_noted;  // the drive's own values while armed
};

// $XDG_STATE_HOME/halvex/watchdog.
std::string WatchdogNoteFolder();
// The note for a port and station, if there is one.
std::optional<WatchdogSetting> ReadWatchdogNote(const std::string& folder, const std::string& port, uint8_t station);

// At connect: puts back what a guard left noted for this port and station
// (the program died during a run); nothing when there is no note.
std::optional<RestoreOutcome> RestoreLeftWatchdog(DriveHandle drive, const std::string& port,
                                                  const std::string& noteFolder = {});
// "The drive's communication watchdog was put back ..." for a user.
std::string RestoredWatchdogText(const RestoreOutcome& outcome);

}  // namespace hx::runtest
