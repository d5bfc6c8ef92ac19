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
#include "core/runtest/RunFields.h"

class CQXCOM;

namespace hx::runtest {

// The link, station and firmware a run works with; taken when a run starts.
struct RunLink {
    CQXCOM* comm = nullptr;
    uint8_t station = 1;
    float firmwareVersion = 100.0f;

    // theComm, g_station and g_firmwareVersion as they stand now.
    static RunLink FromGlobals();
};

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
};
// The user's tuning among the writes of a mode's start: the current-loop
// gains (ChangeOrigin::Gains) and the anti-vibration settings (Slider). They
// go through the change gate; the rest of a start (sampling, the trapezoid
// of a test run, commands) does not.
std::optional<ChangeOrigin> TuningOrigin(Mode mode, uint16_t address);

// Sends the writes in order on the calling thread and ends at the first one
// the drive does not answer. With changes (prepared), the tuning settings
// among them are journaled before they go out.
WriteOutcome SendWrites(const RunLink& link, const std::vector<RegisterWrite>& writes, ChangeBatch* changes = nullptr,
                        Mode mode = Mode::Velocity);
// One write; nullopt when unanswered.
std::optional<int> WriteRegister(const RunLink& link, uint16_t address, uint16_t word);
// One read; nullopt when unanswered.
std::optional<int> ReadRegister(const RunLink& link, uint16_t address);

// What the torque page reads when torque mode is entered.
struct TorqueReadback {
    std::optional<int> autoTune, kp, ki, kc;
};
TorqueReadback ReadTorqueGains(const RunLink& link);
// The thirteen anti-vibration settings, nullopt where unanswered.
std::array<std::optional<int>, kResonanceSettings> ReadResonanceSettings(const RunLink& link);

// What the window reads when velocity or resonance mode is entered.
struct SourceInfo {
    std::optional<int> sourceMask;    // register 52
    std::optional<int> channelCount;  // register 99
};
SourceInfo ReadSourceInfo(const RunLink& link);

}  // namespace hx::runtest
