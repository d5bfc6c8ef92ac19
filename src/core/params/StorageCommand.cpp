#include "core/params/StorageCommand.h"

#include <chrono>

#include "core/link/CQXCOM.h"

namespace hx {

const char* StorageCommandName(const StorageCommand& command) {
    if (command.reg == reg::kRestoreCommand) return "factory restore";
    if (command.reg == reg::kBurnCommand) return "burn factory values";
    return "save";
}

bool ReplacesValues(const StorageCommand& command) {
    return command.reg == reg::kRestoreCommand || command.reg == reg::kBurnCommand;
}

StorageResult RunStorageCommand(CQXCOM& comm, uint8_t station, uint16_t reg, int16_t value, int polls,
                                std::stop_token stop, ChangeBatch* changes) {
    StorageResult result;
    ChangeBatch::Pending pending;
    const auto word = static_cast<uint16_t>(value);
    if (changes && !changes->Journal(reg, &word, 1, &pending)) {
        result.outcome = StorageOutcome::NotBackedUp;
        result.gate.status = GateResult::Status::JournalFailed;
        result.gate.message = changes->Error();
        return result;
    }
    comm.WriteAddressValue(station, reg, value);
    if (!comm.LastRequestAnswered()) {
        if (changes && comm.LastRequestExceptionCode() != 0) changes->Confirm(pending, false);
        result.outcome = StorageOutcome::NotAnswered;
        return result;
    }
    result.outcome = StorageOutcome::Stopped;
    if (!SleepUnlessStopped(stop, std::chrono::milliseconds(kStorageFirstWaitMs))) return result;
    for (int poll = 0; poll < polls; ++poll) {
        if (!SleepUnlessStopped(stop, std::chrono::milliseconds(kStoragePollIntervalMs))) return result;
        const int reading = comm.ReadAddressValue(station, reg);
        ++result.pollsDone;
        result.lastReading = comm.LastRequestAnswered() ? reading : -1;
        if (comm.LastRequestAnswered() && reading == 0) {
            result.outcome = StorageOutcome::Succeeded;
            if (changes) changes->Confirm(pending, true);
            return result;
        }
    }
    result.outcome = StorageOutcome::NotCleared;
    return result;
}

StorageResult RunStorageCommand(CQXCOM& comm, uint8_t station, const StorageCommand& command,
                                std::stop_token stop, ChangeBatch* changes) {
    StorageResult result = RunStorageCommand(comm, station, command.reg, command.value, command.polls, stop, changes);
    if (result.succeeded() && command.settleAfterSuccessMs > 0)
        SleepUnlessStopped(stop, std::chrono::milliseconds(command.settleAfterSuccessMs));
    return result;
}

StorageResult RunGatedStorageCommand(const DriveHandle& drive, const StorageCommand& command, std::stop_token stop,
                                     PrepareOptions options, const ProgressCallback& backupProgress) {
    ChangeBatch changes(drive, ChangeOrigin::Command, StorageCommandName(command));
    options.freshBackup = options.freshBackup || ReplacesValues(command);
    StorageResult result;
    result.gate = changes.Prepare(stop, backupProgress, options);
    if (!result.gate.ok()) {
        result.outcome =
            result.gate.status == GateResult::Status::Stopped ? StorageOutcome::Stopped : StorageOutcome::NotBackedUp;
        return result;
    }
    result = RunStorageCommand(*drive.comm(), drive.station(), command, stop, &changes);
    // What the gate knew of the drive's values is gone with a factory restore.
    if (ReplacesValues(command) && result.outcome != StorageOutcome::NotAnswered)
        changes.gate().ForgetValues(drive);
    return result;
}

bool StorageCommandJob::start(const StorageCommand& command, Finished finished, TransferLink link) {
    return run<StorageResult>(
        [link, command](std::stop_token stop) {
            return RunGatedStorageCommand(DriveHandle(link.comm, link.station, link.firmwareVersion), command, stop);
        },
        std::move(finished));
}

}  // namespace hx
