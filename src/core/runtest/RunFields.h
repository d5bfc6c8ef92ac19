#pragma once
// The fields of the three run-test pages (velocity trapezoid, current-loop
// test, resonance adjustment), their checks and the lists the window offers.
// The checks run on the UI thread before anything goes to the drive: a
// failing check resets the offending field and names the message to show;
// the first failing check wins.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP

namespace hx::runtest {

// Context in which the windows and the command-line tool translate the texts below.
inline constexpr const char* kTextContext = "RunTest";
// Caption of every range message box.
inline constexpr const char* kRangeCaption = QT_TRANSLATE_NOOP("RunTest", "超过范围");

enum class Mode : uint8_t { Velocity = 1, Torque = 2, Resonance = 3 };

// Sampling intervals (us) of the velocity and resonance pages' list; "100" is preselected.
inline constexpr std::array<int, 13> kSampleIntervals = {50,   100,  200,   400,   800,   1000, 2000,
                                                          3000, 4000, 5000, 10000, 20000, 30000};
inline constexpr int kDefaultSampleInterval = 100;

struct VelocityFields {
    int32_t speed = 60;          // 0.01 rev/s
    uint32_t distance = 1;       // 0.01 rev
    uint32_t acceleration = 200; // rev/s^2
    uint32_t dwell = 100;        // ms
    uint32_t runs = 1;
    int32_t backAndForth = 1;    // 0 no, 1 yes
    int32_t direction = 1;       // -1 reverse, 1 forward
    int sampleInterval = kDefaultSampleInterval;  // us, one of kSampleIntervals
};

// The highest speed a run of these fields reaches, in 0.01 rev/s: the
// speed, or less when the distance is too short to reach it (a triangle).
double PeakSpeed(const VelocityFields& fields);

struct TorqueFields {
    int32_t autoTune = 0;        // 0 off, anything else on
    int16_t kp = 0, ki = 0, kc = 0;
    int16_t testCurrent = 1000;  // mA
};

// The thirteen anti-vibration settings in the order they are read, written
// and checked: amplitude, phase A, phase B of the 1st..4th set, then the
// Z-axis phase.
inline constexpr int kResonanceSettings = 13;
struct ResonanceFields {
    std::array<int32_t, kResonanceSettings> values{};
    int sampleInterval = kDefaultSampleInterval;
};

struct ResonanceSetting {
    const char* label;    // the page's label of the setting
    int maximum;          // range 0..maximum
    const char* message;  // shown when the setting is out of range
};
const ResonanceSetting& ResonanceSettingAt(int index);

// A failed check: which field was reset and the message (untranslated; empty
// for the torque page, which shows none).
struct CheckFailure {
    int field = 0;
    const char* message = "";
};

// Velocity fields, in check order.
enum VelocityField { kSpeed, kDistance, kAcceleration, kDwell, kRuns };
std::optional<CheckFailure> CheckVelocity(VelocityFields& fields);

enum TorqueField { kKp, kKi, kKc };
std::optional<CheckFailure> CheckTorque(TorqueFields& fields);

// field is the setting's index; the setting is reset to 0.
std::optional<CheckFailure> CheckResonance(ResonanceFields& fields);

// Codes of the four channels for a start or a re-capture: a channel that is
// unticked, or selects no source, is off (0).
std::array<uint32_t, 4> ChannelCodes(const std::array<uint32_t, 4>& selectedSourceCodes,
                                     const std::array<bool, 4>& ticked);

// Which entries the channel lists select when velocity or resonance mode is
// entered: n sources listed (entry 0 is the empty entry), m channels the
// drive records. Returns, per channel, the entry to select and whether it
// is ticked and enabled; nullopt keeps the channel as it is (channels above
// m); an entry of -1 selects nothing.
struct ChannelPick {
    int entry = 0;
    bool on = false;
};
std::array<std::optional<ChannelPick>, 4> ChannelPicks(int sourcesListed, int channelCount);

}  // namespace hx::runtest
