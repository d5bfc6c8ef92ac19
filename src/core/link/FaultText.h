#pragma once
// One plain sentence for a request that failed, naming the register and what
// the drive (or the line) did: a refusal is the drive's answer with its
// reason in words (and the alarm it has, when one is active), silence is
// silence, a lost port is a lost port. In the interface's language; the
// command-line tool gets the English.

#include <cstdint>
#include <string>

#include "core/link/DriveHandle.h"

namespace hx {

inline constexpr const char* kFaultTextContext = "DriveFault";

// The drive's reason for a refusal, from its exception code.
std::string RefusalReason(int exceptionCode);
// "报警 Err0009 正在进行。" for an alarm code above 0, else empty.
std::string ActiveAlarmText(int alarmCode);
// The failure of a request to `address`; alarmCode (above 0) is the alarm
// the drive reported after refusing it.
std::string FaultSentence(uint16_t address, const DriveFault& fault, int alarmCode = 0);
// FaultSentence for a request that just failed on `drive`; a refusal is
// followed by a read of the drive's current alarm, the usual reason for it.
// Blocking: for a worker thread or the command-line tool.
std::string FaultSentenceAskingAlarm(DriveHandle drive, uint16_t address, const DriveFault& fault);

}  // namespace hx
