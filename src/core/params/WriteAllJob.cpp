#include "core/params/WriteAllJob.h"

#include <vector>

#include "core/link/CQXCOM.h"
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

TransferResult WriteAll(const TransferLink& link, std::stop_token stop, const ProgressCallback& progress,
                        ChangeBatch* changes) {
    const std::vector<TransferBlock> plan = WriteAllPlan(link.firmwareVersion);
    TransferResult result;
    result.blocksTotal = static_cast<int>(plan.size());
    if (changes) changes->BeginBlocks(result.blocksTotal);
    const auto end = [&](TransferStatus status) {
        result.status = status;
        if (changes) changes->EndBlocks(status == TransferStatus::Completed);
        return result;
    };

    std::vector<uint8_t> bytes;
    std::vector<uint16_t> words;
    for (const TransferBlock& block : plan) {
        if (stop.stop_requested()) return end(TransferStatus::Stopped);
        bytes.assign(2u * block.count, 0);
        link.table->StoreWords(block.address, bytes.data(), block.count);
        ChangeBatch::Pending pending;
        if (changes) {
            words.resize(block.count);
            for (int k = 0; k < block.count; ++k) words[k] = static_cast<uint16_t>(bytes[2 * k] << 8 | bytes[2 * k + 1]);
            // Recorded and on disk before the block goes out.
            if (!changes->Journal(block.address, words.data(), block.count, &pending, true)) {
                result.error = TransferError::NotBackedUp;
                result.errorText = changes->Error();
                return end(TransferStatus::Failed);
            }
        }
        if (link.comm->WriteBigData(link.station, block.address, block.count, bytes) == -1) {
            result.error = TransferError::WriteBlockRejected;
            result.errorText = kBatchWriteErrorText;
            result.linkText = link.comm->LastRequestErrorText();
            // A refused block was not carried out; a lost reply leaves it unknown.
            if (changes && !link.comm->LastRequestMayHaveApplied() && link.comm->LastRequestExceptionCode() != 0)
                changes->Confirm(pending, false);
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

bool WriteAllJob::start(TransferCallbacks callbacks, TransferLink link, ChangeOrigin origin, std::string what) {
    ProgressCallback progress = std::move(callbacks.progress);
    return run<TransferResult>(
        [link, progress = std::move(progress), origin, what = std::move(what)](std::stop_token stop) {
            ChangeBatch changes(DriveHandle(link.comm, link.station, link.firmwareVersion), origin, what);
            // A backup read fills the first half of the bar, the write all of it.
            const ProgressCallback half = [&progress](int done, int total) {
                if (progress) progress(done, 2 * total);
            };
            const GateResult gate = changes.Prepare(stop, half);
            if (!gate.ok()) return GateFailure(gate);
            return WriteAll(link, stop, progress, &changes);
        },
        std::move(callbacks.finished));
}

}  // namespace hx
