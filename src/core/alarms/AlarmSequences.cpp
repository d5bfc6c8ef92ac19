#include "core/alarms/AlarmSequences.h"


#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/util/Job.h"
#include "core/protocol/Registers.h"

namespace hx {

AlarmLink AlarmLink::FromGlobals() { return {&theComm, g_station}; }

AlarmWait RealTimeWait() { return &SleepUnlessStopped; }

std::optional<int> ReadAlarmRegister(const AlarmLink& link, uint16_t address) {
    const int value = link.comm->ReadAddressValue(link.station, address);
    if (!link.comm->LastRequestAnswered()) return std::nullopt;
    return value;
}

ClearResult ClearCurrentFault(const AlarmLink& link, std::stop_token stop, const AlarmWait& wait) {
    ClearResult result;
    // The drive's own clear needs the poll to have let go of the line.
    if (!wait(stop, std::chrono::milliseconds(kClearCurrentFaultWaitMs))) {
        result.outcome = ClearOutcome::Stopped;
        return result;
    }
    link.comm->WriteAddressValue(link.station, reg::kFaultClear, reg::kClearCurrentFaultValue);
    result.outcome = link.comm->LastRequestAnswered() ? ClearOutcome::Cleared : ClearOutcome::NotAnswered;
    return result;
}

ClearResult ClearAlarmHistory(const AlarmLink& link, std::stop_token stop, const AlarmWait& wait) {
    ClearResult result;
    link.comm->WriteAddressValue(link.station, reg::kFaultClear, reg::kClearHistoryValue);
    if (!link.comm->LastRequestAnswered()) {
        result.outcome = ClearOutcome::NotAnswered;
        return result;
    }
    result.outcome = ClearOutcome::Stopped;
    if (!wait(stop, std::chrono::milliseconds(kClearHistoryFirstWaitMs))) return result;
    for (int poll = 0; poll < kClearHistoryPolls; ++poll) {
        if (!wait(stop, std::chrono::milliseconds(kClearHistoryPollMs))) return result;
        const auto reading = ReadAlarmRegister(link, reg::kFaultClear);
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

std::optional<uint16_t> ReadDetectionMask(const AlarmLink& link) {
    const auto value = ReadAlarmRegister(link, reg::kFaultDetectionMask);
    if (!value) return std::nullopt;
    return static_cast<uint16_t>(*value);
}

MaskWriteResult WriteDetectionMask(const AlarmLink& link, uint16_t mask) {
    MaskWriteResult result;
    link.comm->WriteAddressValue(link.station, reg::kFaultDetectionMask, static_cast<int16_t>(mask));
    if (!link.comm->LastRequestAnswered()) {
        result.outcome = MaskWriteOutcome::NotAnswered;
        return result;
    }
    const auto back = ReadDetectionMask(link);
    if (!back) {
        result.outcome = MaskWriteOutcome::ReadBackFailed;
        return result;
    }
    result.readBack = *back;
    result.outcome = *back == mask ? MaskWriteOutcome::Taken : MaskWriteOutcome::NotTaken;
    return result;
}

uint16_t MaskFromBits(const bool (&bits)[16]) {
    uint16_t mask = 0;
    for (int n = 0; n < 16; ++n)
        if (bits[n]) mask = static_cast<uint16_t>(mask | (1u << n));
    return mask;
}

bool MaskBit(uint16_t mask, int bit) { return bit >= 0 && bit < 16 && (mask & (1u << bit)) != 0; }

}  // namespace hx
