#include "core/params/StorageCommand.h"

#include <chrono>

namespace hx {

StorageResult RunStorageCommand(DriveHandle& drive, uint16_t reg, int16_t value, int polls, std::stop_token stop) {
    StorageResult result;
    if (!drive.Write(reg, static_cast<uint16_t>(value))) {
        if (!drive.fault().mayHaveApplied) {
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
        const std::optional<int16_t> reading = drive.Read(reg);
        ++result.pollsDone;
        result.lastReading = reading.value_or(-1);
        if (!reading) {
            // Silence after a lost reply: the drive is not answering at all,
            // and nothing more can be learnt by waiting for it.
            if (result.replyLost) {
                result.outcome = StorageOutcome::NotAnswered;
                return result;
            }
            continue;
        }
        if (*reading == value) result.sawBusy = true;
        if (*reading == 0) {
            result.outcome = result.replyLost && !result.sawBusy ? StorageOutcome::MayHaveStored
                                                                 : StorageOutcome::Succeeded;
            return result;
        }
    }
    result.outcome = StorageOutcome::NotCleared;
    return result;
}

StorageResult RunStorageCommand(DriveHandle& drive, const StorageCommand& command, std::stop_token stop) {
    StorageResult result = RunStorageCommand(drive, command.reg, command.value, command.polls, stop);
    if (result.succeeded() && command.settleAfterSuccessMs > 0)
        SleepUnlessStopped(stop, std::chrono::milliseconds(command.settleAfterSuccessMs));
    return result;
}

bool StorageCommandJob::start(const StorageCommand& command, Finished finished, DriveHandle drive) {
    return run<StorageResult>(
        [drive, command](std::stop_token stop) mutable { return RunStorageCommand(drive, command, stop); },
        std::move(finished));
}

}  // namespace hx
