#pragma once
// What each run-test start sends to the drive, in the drive's order, and the
// single requests of the pages (mode entry reads, setting writes, stops).
//
// The orders are plain lists so they can be checked without a drive; the
// executor sends them one register per request, keeps what each write
// returned (the fields take those values) and notes the first write the
// drive left unanswered, because a start whose writes went unanswered must
// not be reported as a running motor.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/backup/ChangeGate.h"
#include "core/link/DriveHandle.h"
#include "core/protocol/Registers.h"
#include "core/runtest/RunFields.h"

class CParameter;

namespace hx::runtest {

struct RegisterWrite {
    uint16_t address = 0;
    uint16_t word = 0;  // -1 travels as 0xFFFF
    bool operator==(const RegisterWrite&) const = default;
};

// Start of a velocity run: the trapezoid, the interval, the four channel
// codes, the points (from firmware 200.0 on), then run and trigger.
std::vector<RegisterWrite> VelocityStartWrites(const VelocityFields& fields, const std::array<uint32_t, 4>& codes,
                                               int points, float firmwareVersion);
// Start of the current-loop test: Kp, Ki, Kc, the test current, the points
// (from firmware 200.0 on), then the test command. No interval, codes or
// trigger: the test fills the capture area itself.
std::vector<RegisterWrite> TorqueStartWrites(const TorqueFields& fields, int points, float firmwareVersion);
// Start of a resonance run: the thirteen settings, the channel codes, the
// interval, the points (from firmware 200.0 on), then trigger and run.
std::vector<RegisterWrite> ResonanceStartWrites(const ResonanceFields& fields, const std::array<uint32_t, 4>& codes,
                                                int points, float firmwareVersion);
// A cyclic re-capture of velocity or resonance mode: only the trigger; the
// motion keeps running and nothing else is written again.
std::vector<RegisterWrite> RecaptureWrites();
// The current-loop test records one point every 500 us.
inline constexpr int kTorqueSamplePeriodUs = reg::kCurrentTestSamplePeriodUs;

// The command that stops the mode's motion or test (70 <- 0, or 23 <- 0).
RegisterWrite StopWrite(Mode mode);

// Takes what the start writes returned into the fields (the interval, the
// gains and test current, the settings), matching by address. returned[i]
// belongs to writes[i]; a write without an answer leaves its field alone.
void TakeReturnedValues(const std::vector<RegisterWrite>& writes, const std::vector<std::optional<int>>& returned,
                        VelocityFields* velocity, TorqueFields* torque, ResonanceFields* resonance);

struct WriteOutcome {
    // Per write: the value the drive returned (sign-extended), or nullopt
    // when it did not answer.
    std::vector<std::optional<int>> returned;
    // The first unanswered write's address; the sequence ends there.
    std::optional<uint16_t> unanswered;
    // The change journal could not record a setting: nothing from it on was sent.
    bool journalFailed = false;
    // Why the change gate let nothing through (a write set of its own, such
    // as the vibration assistant's), or the journal's failure.
    GateResult gate;
    // How it failed: a drive that refuses a start (an alarm, another test)
    // answers, and must not be reported as silent.
    DriveFault fault;
};
// The user's tuning among the writes of a mode's start: the current-loop
// gains (ChangeOrigin::Gains) and the anti-vibration settings (Slider). They
// go through the change gate; the rest of a start (sampling, the trapezoid
// of a test run, commands) does not.
std::optional<ChangeOrigin> TuningOrigin(Mode mode, uint16_t address);

// Sends the writes in order on the calling thread and ends at the first one
// the drive does not answer. With changes (prepared), the tuning settings
// among them are journaled before they go out.
WriteOutcome SendWrites(DriveHandle& drive, const std::vector<RegisterWrite>& writes, ChangeBatch* changes = nullptr,
                        Mode mode = Mode::Velocity);
// One write; whether the drive answered.
bool Send(DriveHandle& drive, const RegisterWrite& write);

// The pages' single requests, named for what they do. Each result says
// which register it used, so a page can name it when the drive is silent.
struct CommandResult {
    std::optional<int> value;  // what the drive returned; nullopt when unanswered
    uint16_t address = 0;
    GateResult gate;           // not ok: the change gate kept a tuning write back (nothing was sent)
};
// The current-loop auto-tuning switch (register 13) on or off; it and the
// anti-vibration settings go through the change gate.
CommandResult SetCurrentAutoTune(ChangeGate& gate, DriveHandle& drive, bool on);
// Anti-vibration setting index (0..12) to value.
CommandResult WriteResonanceSetting(ChangeGate& gate, DriveHandle& drive, int index, int value);
// Points the drive can capture for all channels together (register 136).
CommandResult ReadCaptureCapacity(DriveHandle& drive);
// The run that the mode's stop ends (70 for velocity and resonance, 23 for
// the current-loop test): for a message about a stop the drive left
// unanswered.
uint16_t StopAddress(Mode mode);
// Whether the drive shows the current-loop auto-tuning switch among its
// parameters (a drive without one has no such switch).
bool HasAutoTuneSwitch(const CParameter& table);

// Stopping whatever runs (the motion and the current-loop test) for sure.
// A stop is safe to repeat: both stops are sent, both registers read back,
// and the round is done again until both read 0, up to `rounds` times (or
// until a round in which the drive answered nothing at all).
struct StopConfirmation {
    bool stopped = false;                // 70 and 23 both read 0
    int rounds = 0;                      // rounds sent
    std::optional<uint16_t> running;     // a register that still read non-zero
    std::optional<uint16_t> unanswered;  // a register that never answered in the last round
    std::optional<int> alarm;            // the active alarm (139) when stopped, 0 for none
};
inline constexpr int kStopRounds = 5;
StopConfirmation StopAndConfirm(DriveHandle& drive, int rounds = kStopRounds);

// What the torque page reads when torque mode is entered.
struct TorqueReadback {
    std::optional<int> autoTune, kp, ki, kc;
    std::optional<uint16_t> unanswered;  // the first register left unanswered
};
TorqueReadback ReadTorqueGains(DriveHandle& drive);
// The thirteen anti-vibration settings, nullopt where unanswered.
struct ResonanceReadback {
    std::array<std::optional<int>, kResonanceSettings> values;
    std::optional<uint16_t> unanswered;  // the first register left unanswered
};
ResonanceReadback ReadResonanceSettings(DriveHandle& drive);

// The trapezoid the drive holds: what a resonance run's motion command runs
// (the last one written, by the velocity page or anyone else). The sampling
// interval is not part of it. nullopt when a read went unanswered.
std::optional<VelocityFields> ReadTrapezoid(DriveHandle& drive);

// What the window reads when velocity or resonance mode is entered.
struct SourceInfo {
    std::optional<int> sourceMask;    // register 52
    std::optional<int> channelCount;  // register 99
};
SourceInfo ReadSourceInfo(DriveHandle& drive);

}  // namespace hx::runtest
