#pragma once
// A program that talks to a drive for a long time (a capture, the window's
// idle alarm read) may share it with another program's run (two programs
// behind one Modbus TCP gateway). When that program dies, its run's note
// loses its holder, and this program's own requests would feed the run's
// watchdog and keep its motion going. So while it works, a program looks
// at the drive's note about once a second (opening one small file; the lock
// is tried only when a note is there) and, when nobody holds it any more,
// stops the motion and puts the drive's watchdog back as a connect does
// (RestoreLeftWatchdog). A note this program's own run holds is left alone.

#include <functional>
#include <optional>
#include <string>

#include "core/link/DriveHandle.h"
#include "core/runtest/MotionGuard.h"

namespace hx::runtest {

// The longest a left run goes unnoticed by a program that keeps talking to its drive.
inline constexpr std::chrono::milliseconds kLeftRunLook{1000};

// Between requests of long work: at most once per kLeftRunLook for each
// port and station (whichever thread asks), the look and, for a note nobody
// holds, the put-back; what it did, also to the reporter.
std::optional<LeftWatchdog> WatchLeftRun(DriveHandle drive, const GuardOptions& options = {});

// Who hears of a put-back (the command-line tool prints it); set at start-up.
using LeftRunReport = std::function<void(const std::string& port, int station, const LeftWatchdog&)>;
void OnLeftRunPutBack(LeftRunReport report);

// Makes WatchLeftRun the look of long work between its requests
// (hx::SetBetweenRequestsLook); every program that talks to drives calls it
// at start-up.
void WatchLeftRunsBetweenRequests();

}  // namespace hx::runtest
