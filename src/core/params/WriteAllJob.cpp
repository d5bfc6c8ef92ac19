#include "core/params/WriteAllJob.h"

#include <vector>

#include "core/Globals.h"
#include "core/params/CParameter.h"
#include "core/params/TransferPlan.h"

namespace hx {

TransferResult GateFailure(const GateResult& gate) {
    TransferResult result;
    result.status = gate.status == GateResult::Status::Stopped ? TransferStatus::Stopped : TransferStatus::Failed;
    result.error = gate.canGoOnWithout() ? TransferError::NotBackedUp : TransferError::ReadBlockEmpty;
    result.errorText = gate.message;
    return result;
}

TransferResult WriteAll(DriveHandle drive, const CParameter& table, std::stop_token stop,
                        const ProgressCallback& progress, ChangeBatch* changes) {
    const std::vector<TransferBlock> plan = WriteAllPlan(drive.firmwareVersion());
    TransferResult result;
    result.blocksTotal = static_cast<int>(plan.size());
    if (changes) changes->BeginBlocks(result.blocksTotal);
    const auto end = [&](TransferStatus status) {
        result.status = status;
        if (changes) changes->EndBlocks(status == TransferStatus::Completed);
        return result;
    };

    std::vector<uint16_t> words;
    for (const TransferBlock& block : plan) {
        if (stop.stop_requested()) return end(TransferStatus::Stopped);
        words.assign(block.count, 0);
        table.StoreWords(block.address, words.data(), block.count);
        ChangeBatch::Pending pending;
        // Recorded and on disk before the block goes out.
        if (changes && !changes->Journal(block.address, words.data(), block.count, &pending, true)) {
            result.error = TransferError::NotBackedUp;
            result.errorText = changes->Error();
            return end(TransferStatus::Failed);
        }
        if (const auto sent = drive.WriteWords(block.address, words.data(), block.count); !sent) {
            result.error = TransferError::WriteBlockRejected;
            result.errorText = kBatchWriteErrorText;
            result.linkText = sent.fault.text;
            // A refused block was not carried out; a lost reply leaves it unknown.
            if (changes && sent.fault.kind == DriveFaultKind::Refused) changes->Confirm(pending, false);
            return end(TransferStatus::Failed);
        }
        ++result.blocksDone;
        if (changes) {
            changes->Confirm(pending, true);
            changes->BlockDone(result.blocksDone);
        }
        if (progress) progress(result.blocksDone, result.blocksTotal);
    }
    return end(TransferStatus::Completed);
}

bool WriteAllJob::start(TransferCallbacks callbacks) {
    return start(std::move(callbacks), DriveHandle::FromGlobals(), theParameterTable);
}

bool WriteAllJob::start(TransferCallbacks callbacks, DriveHandle drive, const CParameter& table, ChangeOrigin origin,
                        std::string what) {
    ProgressCallback progress = std::move(callbacks.progress);
    return run<TransferResult>(
        [drive, &table, progress = std::move(progress), origin, what = std::move(what)](std::stop_token stop) {
            ChangeBatch changes(drive, origin, what);
            // A backup read fills the first half of the bar, the write all of it.
            const ProgressCallback half = [&progress](int done, int total) {
                if (progress) progress(done, 2 * total);
            };
            const GateResult gate = changes.Prepare(stop, half);
            if (!gate.ok()) return GateFailure(gate);
            return WriteAll(drive, table, stop, progress, &changes);
        },
        std::move(callbacks.finished));
}

}  // namespace hx
