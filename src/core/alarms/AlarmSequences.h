#pragma once
// What the alarm pages ask of the drive: the current alarm and the history
// registers, the two clear sequences on the fault-clear register, and the
// fault-detection mask. Each runs on the calling thread (a worker) and may
// block for its waits and the link's time-outs; every wait ends early on a
// stop request.
//
//   clear the current fault: wait 600 ms, write 93 <- 0
//   clear the history:       write 93 <- 1, wait 400 ms, then up to 10 times:
//                            wait 200 ms and read 93; the first 0 = cleared
// Writing the mask goes through the change gate: core/writes/DetectionMaskWrite.h.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>

#include "core/link/DriveHandle.h"

namespace hx {

// Waits for the duration unless a stop comes first; false when stopped.
// Tests pass one that steps the simulated drive's clock instead of sleeping.
using AlarmWait = std::function<bool(std::stop_token, std::chrono::milliseconds)>;
AlarmWait RealTimeWait();

inline constexpr int kCurrentAlarmPollMs = 500;
inline constexpr int kHistoryReadTickMs = 200;
inline constexpr int kClearCurrentFaultWaitMs = 600;
inline constexpr int kClearHistoryFirstWaitMs = 400;
inline constexpr int kClearHistoryPollMs = 200;
inline constexpr int kClearHistoryPolls = 10;

// The register's value, or nullopt when the drive did not answer (a register
// that holds -1 still reads as -1).
std::optional<int> ReadAlarmRegister(DriveHandle& drive, uint16_t address);
// The alarm the drive shows now (0: none), or nullopt when it did not answer.
std::optional<int> ReadCurrentAlarm(DriveHandle& drive);

enum class ClearOutcome {
    Cleared,      // written (and, for the history, read back 0)
    NotCleared,   // every poll read something else or got no answer
    NotAnswered,  // the write itself got no answer
    Stopped,
};
struct ClearResult {
    ClearOutcome outcome = ClearOutcome::NotAnswered;
    int polls = 0;         // reads of register 93 done
    int lastReading = -1;  // -1 also when the last poll got no answer
    bool cleared() const { return outcome == ClearOutcome::Cleared; }
};

ClearResult ClearCurrentFault(DriveHandle& drive, std::stop_token stop = {}, const AlarmWait& wait = RealTimeWait());
ClearResult ClearAlarmHistory(DriveHandle& drive, std::stop_token stop = {}, const AlarmWait& wait = RealTimeWait());

// nullopt when the drive did not answer.
std::optional<uint16_t> ReadDetectionMask(DriveHandle& drive);

// Bit n = 1 when boxes[n] is ticked; and the other way round.
uint16_t MaskFromBits(const bool (&bits)[16]);
bool MaskBit(uint16_t mask, int bit);

}  // namespace hx
