#pragma once
// The tuning's requests to the drive, each a named step: read and write the
// loop's parameters (writes only through the change gate, origin "tune"),
// one measuring move under the guarded motion path, the drive's spectrum
// with a capture running during its excitation, and the standard move that
// proves a setting. No Qt; called on the tuning's worker thread.

#include <array>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/backup/ChangeGate.h"
#include "core/link/DriveHandle.h"
#include "core/protocol/ServoParameters.h"
#include "core/runtest/MotionGuard.h"
#include "core/tuning/Excitation.h"
#include "core/tuning/ServoLoop.h"

namespace hx::tuning {

// Where a drive session runs: the drive, its port's name (for the guard's
// watchdog note), its model (where its parameters live), and how motions
// and writes are guarded.
struct DriveContext {
    DriveHandle drive;
    std::string port;
    servo::Model model = servo::Model::Krv4;
    runtest::GuardOptions guard;
    // The program's change gate: every write of the tuning goes through it.
    ChangeGate* changeGate = nullptr;
    PrepareOptions gate;
};

// A parameter's word (on a model that lacks it: its factory meaning);
// nullopt when the read went unanswered (unanswered then names its register).
std::optional<int> ReadOrFactory(DriveContext& ctx, servo::Param p, uint16_t* unanswered = nullptr);

// The loop's parameters as the drive holds them; nullopt when one read went
// unanswered (unanswered then names its register).
std::optional<ServoWords> ReadServoWords(DriveContext& ctx, uint16_t* unanswered = nullptr);

// The words that differ from `current`, in write order (WriteOrder: the
// ratio first, the position gain last), through the change gate. A refusal
// of the gate sends nothing.
GatedWrites WriteServoWords(DriveContext& ctx, const ServoWords& current, const ServoWords& wanted,
                            const std::string& what);

// Why a move did not run as planned, as data, for a window to say in the
// user's language around the guard's or the drive's own words.
enum class MoveFault {
    None,
    Stopped,     // the stop asked for ended it
    Refused,     // the guard kept the start back (the motor moves, another program's test, a failed request)
    Incomplete,  // the capture did not complete
    Ended,       // the motion did not end as asked (an alarm, the watchdog, a stop from elsewhere)
};
struct MoveFailure {
    MoveFault fault = MoveFault::None;
    std::string detail;   // the guard's or the drive's words, in the interface's language
    std::string message;  // all of it, English, for the log and the command line
    // Refused because the motor never came to rest, however long it was
    // given: the settings may keep it hunting (what the sequence can mend).
    bool restless = false;
};

// One measuring move: the velocity trapezoid of `step` captured `records`
// times (each a run of its own, started at rest and followed to its end,
// so every run ends where it began). samples[record][channel].
struct MoveCapture {
    bool ok = false;
    bool stopped = false;    // the stop asked for ended it
    MoveFailure failure;     // why not ok
    std::vector<std::array<std::vector<float>, 4>> records;
};
MoveCapture RunMove(DriveContext& ctx, const MoveStep& step, std::stop_token stop);

// The channel with `code` of each record (empty vectors when not captured).
std::vector<std::vector<float>> ChannelOf(const MoveCapture& capture, const CapturePlan& plan, uint16_t code);

// The drive's spectrum (its own torque excitation, 4 kHz x 4096 points)
// with a capture of torque current and speed running while it excites, as
// many times as step.capture.records. The capture during the excitation is
// something a drive may not do: plantCaptured says whether it did (the
// capture completed and the torque current shows the excitation).
struct SpectrumCapture {
    bool ok = false;
    bool stopped = false;
    std::string message;
    std::vector<float> bins;  // the spectrum's magnitudes (the last request's)
    double binHz = 0;
    bool plantCaptured = false;
    std::vector<std::vector<float>> current, speed;  // per record
};
SpectrumCapture RunSpectrumWithCapture(DriveContext& ctx, const TorqueStep& step, std::stop_token stop);

// The standard move that proves a setting: out and back over 80 % of the
// travel at 2 rps (less where the travel is short), 200 rev/s^2, the
// position error, position reference and speed feedback captured.
runtest::VelocityFields StandardMove(const MotionLimits& limits);
struct MoveFigures {
    bool ok = false;
    std::optional<double> settlingMs;    // from the command's end until the error stays within +-kSettleBand
    std::optional<double> overshootPct;  // the speed's peak above the commanded speed, %
    std::optional<double> peakErrorP;    // the largest following error, pulses
    bool motorMoving = false;            // not run: the motor moves under another command
    double intervalUs = 0;
    std::vector<float> error, reference, speed;  // the traces, for the window
};
inline constexpr double kSettleBand = 10;  // pulses
MoveFigures AnalyseStandardMove(const std::vector<float>& error, const std::vector<float>& reference,
                                const std::vector<float>& speed, double intervalUs, double commandedSpeed);
MoveFigures RunStandardMove(DriveContext& ctx, const MotionLimits& limits, std::stop_token stop, MoveFailure* failure);

}  // namespace hx::tuning
