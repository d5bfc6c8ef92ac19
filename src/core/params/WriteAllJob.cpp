#include "core/params/WriteAllJob.h"

#include <vector>

#include "core/Globals.h"
#include "core/params/CParameter.h"
#include "core/params/TransferPlan.h"

namespace hx {

TransferResult WriteAll(DriveHandle drive, const CParameter& table, std::stop_token stop,
                        const ProgressCallback& progress) {
    const std::vector<TransferBlock> plan = WriteAllPlan(drive.firmwareVersion());
    TransferResult result;
    result.blocksTotal = static_cast<int>(plan.size());

    std::vector<uint16_t> words;
    for (const TransferBlock& block : plan) {
        if (stop.stop_requested()) {
            result.status = TransferStatus::Stopped;
            return result;
        }
        words.assign(block.count, 0);
        table.StoreWords(block.address, words.data(), block.count);
        if (!drive.WriteWords(block.address, words.data(), block.count)) {
            result.status = TransferStatus::Failed;
            result.error = TransferError::WriteBlockRejected;
            result.errorText = kBatchWriteErrorText;
            result.linkText = drive.fault().text;
            return result;
        }
        ++result.blocksDone;
        if (progress) progress(result.blocksDone, result.blocksTotal);
    }
    return result;
}

bool WriteAllJob::start(TransferCallbacks callbacks) {
    return start(std::move(callbacks), DriveHandle::FromGlobals(), theParameterTable);
}

bool WriteAllJob::start(TransferCallbacks callbacks, DriveHandle drive, const CParameter& table) {
    ProgressCallback progress = std::move(callbacks.progress);
    return run<TransferResult>(
        [drive, &table, progress = std::move(progress)](std::stop_token stop) {
            return WriteAll(drive, table, stop, progress);
        },
        std::move(callbacks.finished));
}

}  // namespace hx
