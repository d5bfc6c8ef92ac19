#include "core/writes/WriteAllJob.h"

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

    std::vector<ChangeBatch::Run> blocks;
    for (const TransferBlock& block : plan) {
        ChangeBatch::Run run{block.address, std::vector<uint16_t>(block.count, 0)};
        table.StoreWords(block.address, run.words.data(), block.count);
        blocks.push_back(std::move(run));
    }
    // Every change recorded and on disk before the first block goes out.
    std::vector<ChangeBatch::Pending> pending(blocks.size());
    if (changes && !changes->Journal(blocks, &pending)) {
        result.error = TransferError::NotBackedUp;
        result.errorText = changes->Error();
        return end(TransferStatus::Failed);
    }
    // The blocks never sent did not reach the drive.
    const auto notSent = [&](std::size_t from) {
        if (changes)
            for (std::size_t k = from; k < blocks.size(); ++k) changes->Confirm(pending[k], false);
    };
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const ChangeBatch::Run& block = blocks[k];
        if (stop.stop_requested()) {
            notSent(k);
            return end(TransferStatus::Stopped);
        }
        const auto count = static_cast<uint16_t>(block.words.size());
        if (const auto sent = drive.WriteWords(block.address, block.words.data(), count); !sent) {
            result.error = TransferError::WriteBlockRejected;
            result.errorText = kBatchWriteErrorText;
            result.linkText = sent.fault.text;
            // A refused block was not carried out; a lost reply leaves it unknown.
            if (changes && sent.fault.kind == DriveFaultKind::Refused) changes->Confirm(pending[k], false);
            notSent(k + 1);
            return end(TransferStatus::Failed);
        }
        ++result.blocksDone;
        if (changes) {
            changes->Confirm(pending[k], true);
            changes->BlockDone(result.blocksDone);
        }
        if (progress) progress(result.blocksDone, result.blocksTotal);
    }
    return end(TransferStatus::Completed);
}

bool WriteAllJob::start(ChangeGate& gate, TransferCallbacks callbacks) {
    return start(gate, std::move(callbacks), DriveHandle::FromGlobals(), theParameterTable);
}

bool WriteAllJob::start(ChangeGate& gate, TransferCallbacks callbacks, DriveHandle drive, const CParameter& table,
                        ChangeOrigin origin, std::string what) {
    ProgressCallback progress = std::move(callbacks.progress);
    return run<TransferResult>(
        [&gate, drive, &table, progress = std::move(progress), origin, what = std::move(what)](std::stop_token stop) {
            ChangeBatch changes(gate, drive, origin, what);
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
