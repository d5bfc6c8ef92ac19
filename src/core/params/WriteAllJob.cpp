#include "core/params/WriteAllJob.h"

#include <vector>

#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "core/params/TransferPlan.h"

namespace hx {

TransferResult WriteAll(const TransferLink& link, std::stop_token stop, const ProgressCallback& progress) {
    const std::vector<TransferBlock> plan = WriteAllPlan(link.firmwareVersion);
    TransferResult result;
    result.blocksTotal = static_cast<int>(plan.size());

    std::vector<uint8_t> bytes;
    for (const TransferBlock& block : plan) {
        if (stop.stop_requested()) {
            result.status = TransferStatus::Stopped;
            return result;
        }
        bytes.assign(2u * block.count, 0);
        link.table->StoreWords(block.address, bytes.data(), block.count);
        if (link.comm->WriteBigData(link.station, block.address, block.count, bytes) == -1) {
            result.status = TransferStatus::Failed;
            result.error = TransferError::WriteBlockRejected;
            result.errorText = kBatchWriteErrorText;
            result.linkText = link.comm->LastRequestErrorText();
            return result;
        }
        ++result.blocksDone;
        if (progress) progress(result.blocksDone, result.blocksTotal);
    }
    return result;
}

bool WriteAllJob::start(TransferCallbacks callbacks, TransferLink link) {
    ProgressCallback progress = std::move(callbacks.progress);
    return run<TransferResult>(
        [link, progress = std::move(progress)](std::stop_token stop) { return WriteAll(link, stop, progress); },
        std::move(callbacks.finished));
}

}  // namespace hx
