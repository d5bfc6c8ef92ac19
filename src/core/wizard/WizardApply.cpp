#include "core/wizard/WizardApply.h"


namespace hx::wizard {

ApplyResult ApplyWizard(DriveHandle& drive, const WritePlan& plan, std::stop_token stop,
                        const ApplyProgress& progress, ChangeBatch* changes, const StorageWait& wait) {
    ApplyResult result;
    const int total = static_cast<int>(plan.size()) + 1;
    if (changes) changes->BeginBlocks(total);
    if (changes) changes->BeginBlocks(total);
    for (const PlannedWrite& w : plan) {
        if (stop.stop_requested()) {
            result.outcome = ApplyOutcome::Stopped;
            return result;
        }
        ChangeBatch::Pending pending;
        const auto word = static_cast<uint16_t>(w.value);
        if (changes && !changes->Journal(w.address, &word, 1, &pending)) {
            result.outcome = ApplyOutcome::NotBackedUp;
            result.gate.status = GateResult::Status::JournalFailed;
            result.gate.message = changes->Error();
            changes->EndBlocks(false);
            return result;
        }
        if (const auto written = drive.Write(w.address, word); !written) {
            result.outcome = ApplyOutcome::WriteUnanswered;
            result.unanswered = w;
            result.refused = written.fault.kind == DriveFaultKind::Refused;
            if (changes) {
                if (result.refused) changes->Confirm(pending, false);
                changes->EndBlocks(false);
            }
            return result;
        }
        ++result.writesDone;
        if (changes) {
            changes->Confirm(pending, true);
            changes->BlockDone(result.writesDone);
        }
        if (changes) {
            changes->Confirm(pending, true);
            changes->BlockDone(result.writesDone);
        }
        if (progress) progress(result.writesDone, total);
    }
    result.store = RunStorageCommand(drive, kSaveToDrive, stop, changes, wait);
    switch (result.store.outcome) {
    case StorageOutcome::Succeeded:
        result.outcome = ApplyOutcome::Completed;
        if (progress) progress(total, total);
        break;
    case StorageOutcome::NotCleared: result.outcome = ApplyOutcome::StoreNotCleared; break;
    case StorageOutcome::NotAnswered: result.outcome = ApplyOutcome::StoreUnanswered; break;
    case StorageOutcome::RunInProgress: result.outcome = ApplyOutcome::StoreDuringRun; break;
    case StorageOutcome::MayHaveStored: result.outcome = ApplyOutcome::StoreReplyLost; break;
    case StorageOutcome::Stopped: result.outcome = ApplyOutcome::Stopped; break;
    case StorageOutcome::NotBackedUp:
        result.outcome = ApplyOutcome::NotBackedUp;
        result.gate = result.store.gate;
        break;
    }
    if (changes) {
        if (result.completed()) changes->BlockDone(total);
        changes->EndBlocks(result.completed());
    }
    return result;
}

bool WizardJob::load(LoadStep step, const WizardForm& form, uint16_t variant, Loaded finished, DriveHandle drive) {
    return run<LoadResult>(
        [step, form, variant, drive](std::stop_token stop) mutable {
            LoadResult r;
            r.step = step;
            r.form = form;
            WizardReader reader(drive, stop);
            RunLoadStep(reader, step, r.form, variant);
            r.values = reader.values();
            r.ok = reader.ok();
            r.stopped = reader.stopped();
            r.unansweredAddress = reader.unansweredAddress();
            return r;
        },
        std::move(finished));
}

bool WizardJob::apply(ChangeGate& gate, WritePlan plan, ApplyProgress progress, Applied finished, DriveHandle drive) {
    return run<ApplyResult>(
        [&gate, plan = std::move(plan), progress = std::move(progress), drive](std::stop_token stop) mutable {
            ChangeBatch changes(gate, drive, ChangeOrigin::Wizard, "setup wizard");
            ApplyResult result;
            result.gate = changes.Prepare(stop);
            if (!result.gate.ok()) {
                result.outcome = result.gate.status == GateResult::Status::Stopped ? ApplyOutcome::Stopped
                                                                                   : ApplyOutcome::NotBackedUp;
                return result;
            }
            return ApplyWizard(drive, plan, stop, progress, &changes);
        },
        std::move(finished));
}

}  // namespace hx::wizard
