#include "core/params/StorageCommand.h"

#include <chrono>

namespace hx {

const char* StorageCommandName(const StorageCommand& command) {
    if (command.reg == reg::kRestoreCommand) return "factory restore";
    if (command.reg == reg::kBurnCommand) return "burn factory values";
    return "save";
}

bool ReplacesValues(const StorageCommand& command) {
    return command.reg == reg::kRestoreCommand || command.reg == reg::kBurnCommand;
}

StorageResult RunStorageCommand(DriveHandle& drive, uint16_t reg, int16_t value, int polls, std::stop_token stop,
                                ChangeBatch* changes, const StorageWait& givenWait) {
    const StorageWait wait = givenWait ? givenWait : StorageWait(SleepUnlessStopped);
    StorageResult result;
    // A run's watchdog values are the tool's, in RAM only until its run
    // ends: no store, restore or burn while a test motion runs.
    for (uint16_t running : {reg::kMotionCommand, reg::kCurrentTestCommand}) {
        const std::optional<int16_t> v = drive.Read(running);
        if (v && *v != 0) {
            result.outcome = StorageOutcome::RunInProgress;
            result.runningRegister = running;
            return result;
        }
    }
    ChangeBatch::Pending pending;
    const auto word = static_cast<uint16_t>(value);
    if (changes && !changes->Journal(reg, &word, 1, &pending)) {
        result.outcome = StorageOutcome::NotBackedUp;
        result.gate.status = GateResult::Status::JournalFailed;
        result.gate.message = changes->Error();
        return result;
    }
    if (const auto sent = drive.Write(reg, word); !sent) {
        if (!sent.fault.mayHaveApplied) {
            // A refused command was not carried out; a silent one stays unconfirmed.
            if (changes && sent.fault.kind == DriveFaultKind::Refused) changes->Confirm(pending, false);
            result.outcome = StorageOutcome::NotAnswered;
            return result;
        }
        result.replyLost = true;
    }
    result.outcome = StorageOutcome::Stopped;
    if (!result.replyLost && !wait(stop, std::chrono::milliseconds(kStorageFirstWaitMs))) return result;
    for (int poll = 0; poll < polls; ++poll) {
        if ((poll > 0 || !result.replyLost) &&
            !wait(stop, std::chrono::milliseconds(kStoragePollIntervalMs)))
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
            // Only a command seen carried out is confirmed; one that may have
            // been stays open in the journal.
            if (changes && result.outcome == StorageOutcome::Succeeded) changes->Confirm(pending, true);
            return result;
        }
    }
    result.outcome = StorageOutcome::NotCleared;
    return result;
}

StorageResult RunStorageCommand(DriveHandle& drive, const StorageCommand& command, std::stop_token stop,
                                ChangeBatch* changes, const StorageWait& wait) {
    StorageResult result = RunStorageCommand(drive, command.reg, command.value, command.polls, stop, changes, wait);
    if (result.succeeded() && command.settleAfterSuccessMs > 0)
        (wait ? wait : StorageWait(SleepUnlessStopped))(stop, std::chrono::milliseconds(command.settleAfterSuccessMs));
    return result;
}

StorageResult RunGatedStorageCommand(const DriveHandle& drive, const StorageCommand& command, std::stop_token stop,
                                     PrepareOptions options, const ProgressCallback& backupProgress,
                                     const StorageWait& wait) {
    ChangeBatch changes(drive, ChangeOrigin::Command, StorageCommandName(command));
    options.freshBackup = options.freshBackup || ReplacesValues(command);
    StorageResult result;
    result.gate = changes.Prepare(stop, backupProgress, options);
    if (!result.gate.ok()) {
        result.outcome =
            result.gate.status == GateResult::Status::Stopped ? StorageOutcome::Stopped : StorageOutcome::NotBackedUp;
        return result;
    }
    DriveHandle sending = drive;
    result = RunStorageCommand(sending, command, stop, &changes, wait);
    // What the gate knew of the drive's values is gone with a factory restore
    // (or one that may have been carried out).
    if (ReplacesValues(command) && (result.outcome != StorageOutcome::NotAnswered || result.replyLost))
        changes.gate().ForgetValues(drive);
    return result;
}

bool StorageCommandJob::start(const StorageCommand& command, Finished finished, DriveHandle drive) {
    return run<StorageResult>(
        [drive, command, wait = m_wait](std::stop_token stop) {
            return RunGatedStorageCommand(drive, command, stop, {}, {}, wait);
        },
        std::move(finished));
}

}  // namespace hx
