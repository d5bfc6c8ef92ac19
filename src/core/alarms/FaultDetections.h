#pragma once
// The drive's fault detections, one bit each in the mask register, and the
// alarm each one raises. Bits 13..15 are spare: shown and written like the
// others, they switch nothing.

#include <cstdint>
#include <string>
#include <vector>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP

namespace hx {

// The alarm codes of the drive (the database names them "Err0001"...).
namespace alarm {
enum Code : int {
    kOverCurrent = 1,
    kOverVoltage = 2,
    kUnderVoltage = 3,
    kEeprom = 4,
    kPhaseLoss = 5,
    kOverTemperature = 6,
    kOpenLoopStall = 7,
    kEncoderFault = 8,
    kFollowingError = 9,
    kControlPower = 10,
    kBrakeCircuit = 11,
    kAmplifierFault = 12,
    kEncoderDisconnected = 13,
    kOverSpeed = 14,
    kOverload = 15,
    kParameterChecksum = 16,
    kCommunication = 17,  // the communication watchdog ran out
};
}  // namespace alarm

inline constexpr const char* kDetectionContext = "FaultDetections";
inline constexpr int kDetectionBits = 16;

struct FaultDetection {
    int bit;
    const char* caption;  // the settings page's check box, translated in kDetectionContext
    const char* english;  // for the command-line tool, which has no catalogue
    int alarmCode;        // the alarm it raises; 0 for a spare bit
};

// All 16, in bit order.
const FaultDetection* FaultDetections();
// The detection that raises this alarm; nullptr when none does (the alarm
// is always detected).
const FaultDetection* DetectionOfAlarm(int alarmCode);
// Whether the mask lets the drive raise this alarm.
bool AlarmDetected(int alarmCode, uint16_t mask);

}  // namespace hx
