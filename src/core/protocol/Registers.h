#pragma once
// The drive's register table: which register is which, shared by the program
// and the simulated drive so that both sides always agree. Every register
// number the program or the simulator uses is named here, once.
//
// Sections are grouped by subsystem; add new registers to their subsystem's
// section rather than defining a number locally.

#include <cstddef>
#include <cstdint>

namespace hx {

namespace reg {
// Parameter store (RAM, with a non-volatile copy and a factory set).
constexpr uint16_t kLowFirst = 0, kLowLast = 149;
constexpr uint16_t kHighFirst = 30000, kHighLast = 31999;
constexpr int kStoreSize = (kLowLast - kLowFirst + 1) + (kHighLast - kHighFirst + 1);  // 2150

// Storage commands and the values that start them.
constexpr uint16_t kSaveCommand = 90, kSaveValue = 1;
constexpr uint16_t kRestoreCommand = 91, kRestoreValue = 1;
constexpr uint16_t kBurnCommand = 410, kBurnValue = 0x3A9C;

// Attribute blocks: bit k of register first + j is the visibility of
// parameter address base + 16 j + k.
constexpr uint16_t kLowAttrFirst = 100, kLowAttrLast = 109;      // parameters 0..159
constexpr uint16_t kHighAttrFirst = 63000, kHighAttrLast = 63099;  // parameters 30000..31599

// Identity.
constexpr uint16_t kProductModelFirst = 116, kProductModelLast = 122;  // 14 characters
constexpr uint16_t kSoftwareVersion = 123;                              // version x 10
constexpr uint16_t kFirmwareVersion = 138;                              // 200 = 200.0
constexpr uint16_t kVariantCode = 0xFFBF;
constexpr uint16_t kDriveModelFirst = 0xFFC0, kDriveModelLast = 0xFFFF;  // 128 characters

// Capture area: a plain store that the sampling work uses.
constexpr uint16_t kCaptureFirst = 150, kCaptureLast = 159;

// --- Sampling ---
// The drive's own four-channel sampling engine. The program selects sources
// and an interval, starts a capture, polls until it is complete and fetches
// the points from the data area.
constexpr uint16_t kSampleTrigger = 32, kSampleTriggerValue = 1;  // 1 = start a capture
constexpr uint16_t kSampleInterval = 33;                          // microseconds
constexpr uint16_t kSampleChannel1 = 34;                          // source code of channel 1
constexpr uint16_t kSampleSourceMask = 52;                        // bit k = source with code 1 << k
constexpr uint16_t kSampleChannel2 = 94, kSampleChannel3 = 95, kSampleChannel4 = 96;
// Channel code registers in channel order 1..4 (not contiguous on the drive).
constexpr uint16_t kSampleChannelCode[4] = {kSampleChannel1, kSampleChannel2, kSampleChannel3, kSampleChannel4};
constexpr uint16_t kSampleChannelCount = 99;  // channels the drive captures at once (0..4)
constexpr uint16_t kSampleCapacity = 136;     // points for all channels together
constexpr uint16_t kSamplePoints = 137;       // points per channel; firmware 200.0 and later only
constexpr uint16_t kSampleState = 149, kSampleStateComplete = 1;
// Captured points: active channels one after the other, inactive ones take no
// room. The area must end below the spectrum result area.
constexpr uint16_t kSampleDataFirst = 150;
constexpr uint16_t kSampleDataEnd = 8192;  // first address past the capture area
constexpr uint16_t kSampleFirmwareWithPoints = 200;  // firmware (register 138) from which 137 is honoured
constexpr uint16_t kSampleLegacyPoints = 200;         // points per channel on older firmware

// --- Spectrum ---
// The drive samples a signal, transforms it itself and serves the magnitudes.
constexpr uint16_t kSpectrumSettings = 409;  // bits 0..3 frequency code, bits 4..15 point-count code
constexpr uint16_t kSpectrumStart = 412, kSpectrumStartValue = 0x6600;
constexpr uint16_t kSpectrumStatus = 496, kSpectrumReadyBit = 0x0008;
constexpr uint16_t kSpectrumResultFirst = 8192;  // one signed word per bin, in bin order
constexpr uint16_t kSpectrumResultMax = 4096;    // most bins a result can hold

// --- Alarms ---
// The fault-detection mask is a parameter: bit n switches one detection on.
constexpr uint16_t kFaultDetectionMask = 56;
// Fault clear: 0 clears the current fault once its cause is gone; 1 clears
// the history and reads back 0 when the drive is done.
constexpr uint16_t kFaultClear = 93;
constexpr int16_t kClearCurrentFaultValue = 0, kClearHistoryValue = 1;
// The current alarm code (0 or less: none), then the history, latest first.
constexpr uint16_t kCurrentAlarm = 139;
constexpr uint16_t kAlarmHistoryFirst = 140, kAlarmHistoryLast = 148;
constexpr int kAlarmHistoryEntries = kAlarmHistoryLast - kAlarmHistoryFirst + 1;
// --- Wizard ---
// The basic settings the setup wizard walks through. Pins are listed from
// SI1/SO1 on; a drive of variant kWizardFullIoVariant has seven inputs and
// seven outputs, any other five inputs and two outputs.
constexpr uint16_t kWizardPeakCurrent = 0;       // mA
constexpr uint16_t kWizardPulsesPerRev = 1;
constexpr uint16_t kWizardStandbyTime = 2;       // ms
constexpr uint16_t kWizardStandbyCurrent = 3;    // percent of the peak current
constexpr uint16_t kWizardAliasSwitch = 4;       // station alias on the front-panel switch; read only
constexpr uint16_t kWizardOutputPolarity = 8;    // bit k: SO(k+1) inverted
constexpr uint16_t kWizardAlias = 49;            // station alias held in the object dictionary
constexpr uint16_t kWizardAliasSource = 50;      // 0 front-panel switch, 1 object dictionary
constexpr uint16_t kWizardCommandPolarity = 51;  // 1: command direction inverted
constexpr uint16_t kWizardInputPolarity = 134;   // bit k: SI(k+1) inverted
inline constexpr uint16_t kWizardOutputFunction[7] = {5, 6, 27, 28, 29, 30, 31};
inline constexpr uint16_t kWizardInputFunction[7] = {124, 125, 126, 127, 128, 44, 45};
inline constexpr uint16_t kWizardInputFilter[7] = {129, 130, 131, 132, 133, 46, 47};  // us
constexpr uint16_t kWizardFullIoVariant = 1000;
// --- Run test ---
// Current-loop tuning and its test.
constexpr uint16_t kCurrentAutoTune = 13;          // 1 = the drive tunes its current-loop PI gains
constexpr uint16_t kCurrentKp = 15, kCurrentKi = 16, kCurrentKc = 17;
constexpr uint16_t kCurrentTestCurrent = 22;       // mA
constexpr uint16_t kCurrentTestCommand = 23;       // 1 start, 0 stop
constexpr uint16_t kCurrentTestStart = 1, kCurrentTestStop = 0;
// The current-loop test fills the capture area as channel 1, one sample
// every 500 us, starting with the step.
constexpr int kCurrentTestSamplePeriodUs = 500;
// Velocity trapezoid.
constexpr uint16_t kTrapRuns = 60;                 // number of runs
constexpr uint16_t kTrapDirection = 61;            // 1 forward, 0xFFFF (-1) reverse
constexpr uint16_t kTrapDwell = 62;                // ms between runs
constexpr uint16_t kTrapBackAndForth = 63;         // 1 = alternate the direction each run
constexpr uint16_t kTrapSpeed = 65;                // 0.01 rev/s
constexpr uint16_t kTrapAcceleration = 67;         // rev/s^2
constexpr uint16_t kTrapDistance = 69;             // 0.01 rev
constexpr uint16_t kMotionCommand = 70;            // 1 run, 0 stop
constexpr uint16_t kMotionRun = 1, kMotionStop = 0;
// Anti-vibration settings: amplitude, phase A and phase B of four sets and
// the Z-axis phase, in the order the run test reads, writes and checks them.
constexpr uint16_t kAntiVibration[13] = {77, 78, 86, 79, 80, 87, 81, 82, 88, 64, 66, 68, 89};
// --- Communication watchdog ---
// Parameters the drive acts on when its master falls silent: the time in ms
// without a request to its station (0: off), and what it then does.
constexpr uint16_t kWatchdogTimeout = 31007;  // Pr9.17
constexpr uint16_t kWatchdogAction = 31008;   // Pr9.18
constexpr uint16_t kWatchdogActionAlarm = 0;    // raise the communication alarm
constexpr uint16_t kWatchdogActionStop = 1;     // ramp the motion down, end the test
constexpr uint16_t kWatchdogActionCarryOn = 2;  // nothing
// --- Parameter transfer and the link ---
// Registers inside the parameter ranges that are not settings. The
// whole-table read covers them, but writing them back would start the
// drive's commands (a file holding "91=1" would restore the factory values)
// or overwrite what the drive reports; the whole-table write leaves them
// out, and the link never sends a write to one of them twice.
// Commands: current-loop auto-tune, current test, capture trigger, motion,
// store, factory restore, 92 (a command the parameter table hides like 90
// and 91), fault clear.
inline constexpr uint16_t kTransferCommandRegisters[] = {
    kCurrentAutoTune, kCurrentTestCommand, kSampleTrigger, kMotionCommand,
    kSaveCommand, kRestoreCommand, 92, kFaultClear};
// Status: the front-panel alias switch, capture sources, channel count,
// attribute block, capture capacity, current alarm and alarm history,
// capture state.
inline constexpr uint16_t kTransferStatusFirst[] = {kWizardAliasSwitch, kSampleSourceMask, kSampleChannelCount,
                                                     kLowAttrFirst, kSampleCapacity, kCurrentAlarm};
inline constexpr uint16_t kTransferStatusLast[] = {kWizardAliasSwitch, kSampleSourceMask, kSampleChannelCount,
                                                    kLowAttrLast, kSampleCapacity, kSampleState};
// Identity: product model, software version, firmware version.
inline constexpr uint16_t kTransferIdentityFirst[] = {kProductModelFirst, kFirmwareVersion};
inline constexpr uint16_t kTransferIdentityLast[] = {kSoftwareVersion, kFirmwareVersion};
}  // namespace reg

enum class RegisterKind {
    Unmapped,
    Parameter,   // read/write, in the parameter store
    Capture,     // read/write, not part of the parameter store
    Command,     // storage command: acts when written with its command value
    Attribute,   // read-only, computed from the definitions
    Identity,    // read-only
    Alarm,       // alarm status (read-only) and the fault clear: no parameter
    Status,      // read-only, set on the drive itself (the front-panel switch)
};

constexpr RegisterKind ClassifyRegister(uint16_t a) {
    using namespace reg;
    if (a == kSaveCommand || a == kRestoreCommand || a == kBurnCommand) return RegisterKind::Command;
    if (a == kWizardAliasSwitch) return RegisterKind::Status;
    if (a >= kLowAttrFirst && a <= kLowAttrLast) return RegisterKind::Attribute;
    if (a >= kHighAttrFirst && a <= kHighAttrLast) return RegisterKind::Attribute;
    if ((a >= kProductModelFirst && a <= kProductModelLast) || a == kSoftwareVersion || a == kFirmwareVersion ||
        a >= kVariantCode)
        return RegisterKind::Identity;
    if (a == kFaultClear || (a >= kCurrentAlarm && a <= kAlarmHistoryLast)) return RegisterKind::Alarm;
    if (a <= kLowLast || (a >= kHighFirst && a <= kHighLast)) return RegisterKind::Parameter;
    if (a >= kCaptureFirst && a <= kCaptureLast) return RegisterKind::Capture;
    return RegisterKind::Unmapped;
}

constexpr bool IsReadOnly(RegisterKind k) {
    return k == RegisterKind::Attribute || k == RegisterKind::Identity || k == RegisterKind::Status;
}

// What a register of the parameter ranges is to the whole-table transfers
// and to the link's retries: only a Setting may be written back from a table
// or a file, and only a Setting write is sent again when its reply was lost.
// Every register outside the parameter ranges is Other.
enum class TransferRole { Setting, Command, Status, Identity, Other };

constexpr TransferRole TransferRoleOf(uint16_t a) {
    using namespace reg;
    if (!(a <= kLowLast || (a >= kHighFirst && a <= kHighLast))) return TransferRole::Other;
    for (uint16_t c : kTransferCommandRegisters)
        if (a == c) return TransferRole::Command;
    for (std::size_t i = 0; i < sizeof kTransferStatusFirst / sizeof kTransferStatusFirst[0]; ++i)
        if (a >= kTransferStatusFirst[i] && a <= kTransferStatusLast[i]) return TransferRole::Status;
    for (std::size_t i = 0; i < sizeof kTransferIdentityFirst / sizeof kTransferIdentityFirst[0]; ++i)
        if (a >= kTransferIdentityFirst[i] && a <= kTransferIdentityLast[i]) return TransferRole::Identity;
    return TransferRole::Setting;
}

constexpr bool IsSettingRegister(uint16_t a) { return TransferRoleOf(a) == TransferRole::Setting; }

// Slot of a parameter address in the store, or -1 outside both ranges.
constexpr int StoreIndex(uint16_t a) {
    if (a <= reg::kLowLast) return a;
    if (a >= reg::kHighFirst && a <= reg::kHighLast) return a - reg::kHighFirst + (reg::kLowLast + 1);
    return -1;
}
constexpr uint16_t StoreAddress(int index) {
    return static_cast<uint16_t>(index <= reg::kLowLast ? index : index - (reg::kLowLast + 1) + reg::kHighFirst);
}

}  // namespace hx
