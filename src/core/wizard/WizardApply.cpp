#include "core/wizard/WizardApply.h"

#include "core/link/CQXCOM.h"
#include "core/link/Transport.h"

namespace hx::wizard {

ApplyResult ApplyWizard(CQXCOM& comm, uint8_t station, const WritePlan& plan, std::stop_token stop,
                        const ApplyProgress& progress) {
    ApplyResult result;
    const int total = static_cast<int>(plan.size()) + 1;
    for (const PlannedWrite& w : plan) {
        if (stop.stop_requested()) {
            result.outcome = ApplyOutcome::Stopped;
            return result;
        }
        comm.WriteAddressValue(station, w.address, w.value);
        if (!comm.LastRequestAnswered()) {
            result.outcome = ApplyOutcome::WriteUnanswered;
            result.unanswered = w;
            result.refused = comm.LastRequestError() == LinkError::Exception;
            return result;
        }
        ++result.writesDone;
        if (progress) progress(result.writesDone, total);
    }
    result.store = RunStorageCommand(comm, station, kSaveToDrive, stop);
    switch (result.store.outcome) {
    case StorageOutcome::Succeeded:
        result.outcome = ApplyOutcome::Completed;
        if (progress) progress(total, total);
        break;
    case StorageOutcome::NotCleared: result.outcome = ApplyOutcome::StoreNotCleared; break;
    case StorageOutcome::NotAnswered: result.outcome = ApplyOutcome::StoreUnanswered; break;
    case StorageOutcome::MayHaveStored: result.outcome = ApplyOutcome::StoreReplyLost; break;
    case StorageOutcome::Stopped: result.outcome = ApplyOutcome::Stopped; break;
    }
    return result;
}

bool WizardJob::load(LoadStep step, const WizardForm& form, uint16_t variant, Loaded finished, TransferLink link) {
    return run<LoadResult>(
        [step, form, variant, link](std::stop_token stop) {
            LoadResult r;
            r.step = step;
            r.form = form;
            WizardReader reader(*link.comm, link.station, stop);
            RunLoadStep(reader, step, r.form, variant);
            r.values = reader.values();
            r.ok = reader.ok();
            r.stopped = reader.stopped();
            r.unansweredAddress = reader.unansweredAddress();
            return r;
        },
        std::move(finished));
}

bool WizardJob::apply(WritePlan plan, ApplyProgress progress, Applied finished, TransferLink link) {
    return run<ApplyResult>(
        [plan = std::move(plan), progress = std::move(progress), link](std::stop_token stop) {
            return ApplyWizard(*link.comm, link.station, plan, stop, progress);
        },
        std::move(finished));
}

}  // namespace hx::wizard
