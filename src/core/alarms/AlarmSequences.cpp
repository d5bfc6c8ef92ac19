#include "core/alarms/AlarmSequences.h"

#include "core/protocol/Registers.h"
#include "core/util/Job.h"

namespace hx {

AlarmWait RealTimeWait() { return &SleepUnlessStopped; }

std::optional<int> ReadAlarmRegister(DriveHandle& drive, uint16_t address) {
    const auto value = drive.Read(address);
    if (!value) return std::nullopt;
    return *value;
}

std::optional<int> ReadCurrentAlarm(DriveHandle& drive) { return ReadAlarmRegister(drive, reg::kCurrentAlarm); }

ClearResult ClearCurrentFault(DriveHandle& drive, std::stop_token stop, const AlarmWait& wait) {
    ClearResult result;
    // The drive's own clear needs the poll to have let go of the line.
    if (!wait(stop, std::chrono::milliseconds(kClearCurrentFaultWaitMs))) {
        result.outcome = ClearOutcome::Stopped;
        return result;
    }
    result.outcome =
        drive.Write(reg::kFaultClear, reg::kClearCurrentFaultValue) ? ClearOutcome::Cleared : ClearOutcome::NotAnswered;
    return result;
}

ClearResult ClearAlarmHistory(DriveHandle& drive, std::stop_token stop, const AlarmWait& wait) {
    ClearResult result;
    if (!drive.Write(reg::kFaultClear, reg::kClearHistoryValue)) {
        result.outcome = ClearOutcome::NotAnswered;
        return result;
    }
    result.outcome = ClearOutcome::Stopped;
    if (!wait(stop, std::chrono::milliseconds(kClearHistoryFirstWaitMs))) return result;
    for (int poll = 0; poll < kClearHistoryPolls; ++poll) {
        if (!wait(stop, std::chrono::milliseconds(kClearHistoryPollMs))) return result;
        const auto reading = ReadAlarmRegister(drive, reg::kFaultClear);
        ++result.polls;
        result.lastReading = reading.value_or(-1);
        if (reading && *reading == 0) {
            result.outcome = ClearOutcome::Cleared;
            return result;
        }
    }
    result.outcome = ClearOutcome::NotCleared;
    return result;
}

std::optional<uint16_t> ReadDetectionMask(DriveHandle& drive) {
    const auto value = ReadAlarmRegister(drive, reg::kFaultDetectionMask);
    if (!value) return std::nullopt;
    return static_cast<uint16_t>(*value);
}

uint16_t MaskFromBits(const bool (&bits)[16]) {
    uint16_t mask = 0;
    for (int n = 0; n < 16; ++n)
        if (bits[n]) mask = static_cast<uint16_t>(mask | (1u << n));
    return mask;
}

bool MaskBit(uint16_t mask, int bit) { return bit >= 0 && bit < 16 && (mask & (1u << bit)) != 0; }

}  // namespace hx
