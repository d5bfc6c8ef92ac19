#include "core/params/StorageCommand.h"

#include <chrono>

#include "core/link/CQXCOM.h"

namespace hx {

StorageResult RunStorageCommand(CQXCOM& comm, uint8_t station, uint16_t reg, int16_t value, int polls,
                                std::stop_token stop) {
    StorageResult result;
    comm.WriteAddressValue(station, reg, value);
    if (!comm.LastRequestAnswered()) {
        if (!comm.LastRequestMayHaveApplied()) {
            result.outcome = StorageOutcome::NotAnswered;
            return result;
        }
        result.replyLost = true;
    }
    result.outcome = StorageOutcome::Stopped;
    if (!result.replyLost && !SleepUnlessStopped(stop, std::chrono::milliseconds(kStorageFirstWaitMs))) return result;
    for (int poll = 0; poll < polls; ++poll) {
        if ((poll > 0 || !result.replyLost) &&
            !SleepUnlessStopped(stop, std::chrono::milliseconds(kStoragePollIntervalMs)))
            return result;
        const int reading = comm.ReadAddressValue(station, reg);
        ++result.pollsDone;
        result.lastReading = comm.LastRequestAnswered() ? reading : -1;
        if (!comm.LastRequestAnswered()) {
            // Silence after a lost reply: the drive is not answering at all,
            // and nothing more can be learnt by waiting for it.
            if (result.replyLost) {
                result.outcome = StorageOutcome::NotAnswered;
                return result;
            }
            continue;
        }
        if (reading == value) result.sawBusy = true;
        if (reading == 0) {
            result.outcome = result.replyLost && !result.sawBusy ? StorageOutcome::MayHaveStored
                                                                 : StorageOutcome::Succeeded;
            return result;
        }
    }
    result.outcome = StorageOutcome::NotCleared;
    return result;
}

StorageResult RunStorageCommand(CQXCOM& comm, uint8_t station, const StorageCommand& command,
                                std::stop_token stop) {
    StorageResult result = RunStorageCommand(comm, station, command.reg, command.value, command.polls, stop);
    if (result.succeeded() && command.settleAfterSuccessMs > 0)
        SleepUnlessStopped(stop, std::chrono::milliseconds(command.settleAfterSuccessMs));
    return result;
}

bool StorageCommandJob::start(const StorageCommand& command, Finished finished, TransferLink link) {
    return run<StorageResult>(
        [link, command](std::stop_token stop) { return RunStorageCommand(*link.comm, link.station, command, stop); },
        std::move(finished));
}

}  // namespace hx
