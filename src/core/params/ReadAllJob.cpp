#include "core/params/ReadAllJob.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/backup/ChangeGate.h"
#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "core/params/TransferPlan.h"

namespace hx {
namespace {

// A reply frame: station, function, byte count, the data, two CRC bytes.
constexpr int kReplyHeaderBytes = 3;
constexpr size_t kReplyBufferBytes = 256;

std::string ReadErrorText(size_t lastReplyLength) {
    char detail[48];
    std::snprintf(detail, sizeof detail, "dataLenght = %d", static_cast<int>(lastReplyLength));
    return std::string(kBatchReadErrorText) + detail;
}

}  // namespace

TransferResult ReadAll(const TransferLink& link, std::stop_token stop, const ProgressCallback& progress) {
    const std::vector<TransferBlock> plan = ReadAllPlan(link.firmwareVersion);
    TransferResult result;
    result.blocksTotal = static_cast<int>(plan.size());
    size_t lastReplyLength = 0;

    for (const TransferBlock& block : plan) {
        if (stop.stop_requested()) {
            result.status = TransferStatus::Stopped;
            return result;
        }
        const std::vector<uint8_t> reply = link.comm->ReadBigData(link.station, block.address, block.count);
        if (reply.empty()) {
            result.status = TransferStatus::Failed;
            result.error = TransferError::ReadBlockEmpty;
            result.errorText = ReadErrorText(lastReplyLength);
            result.linkText = link.comm->LastRequestErrorText();
            return result;
        }
        lastReplyLength = reply.size();
        // A reply shorter than the block leaves its missing words at 0.
        std::array<uint8_t, kReplyBufferBytes> buffer{};
        std::memcpy(buffer.data(), reply.data(), std::min(reply.size(), buffer.size()));
        link.table->LoadWords(block.address, buffer.data() + kReplyHeaderBytes, block.count);
        ++result.blocksDone;
        if (progress) progress(result.blocksDone, result.blocksTotal);
    }
    // A whole read of this session is a backup at hand for the first change.
    ChangeGate::Instance().NoteCompleteRead(DriveHandle(link.comm, link.station, link.firmwareVersion), *link.table);
    return result;
}

bool ReadAllJob::start(TransferCallbacks callbacks, TransferLink link) {
    ProgressCallback progress = std::move(callbacks.progress);
    return run<TransferResult>(
        [link, progress = std::move(progress)](std::stop_token stop) { return ReadAll(link, stop, progress); },
        std::move(callbacks.finished));
}

}  // namespace hx
