#include "core/params/ReadAllJob.h"

#include <cstdio>
#include <vector>

#include "core/backup/ChangeGate.h"
#include "core/Globals.h"
#include "core/params/CParameter.h"
#include "core/params/TransferPlan.h"

namespace hx {
namespace {

// The bytes of a reply frame around its data: station, function, byte
// count, and two CRC bytes; the failure text counts the whole frame.
constexpr size_t kReplyFrameOverhead = 5;

std::string ReadErrorText(size_t lastReplyLength) {
    char detail[48];
    std::snprintf(detail, sizeof detail, "dataLenght = %d", static_cast<int>(lastReplyLength));
    return std::string(kBatchReadErrorText) + detail;
}

}  // namespace

TransferResult ReadAll(DriveHandle drive, CParameter& table, std::stop_token stop, const ProgressCallback& progress) {
    const std::vector<TransferBlock> plan = ReadAllPlan(drive.firmwareVersion());
    TransferResult result;
    result.blocksTotal = static_cast<int>(plan.size());
    size_t lastReplyLength = 0;

    for (const TransferBlock& block : plan) {
        if (stop.stop_requested()) {
            result.status = TransferStatus::Stopped;
            return result;
        }
        const auto words = drive.ReadWords(block.address, block.count);
        if (!words) {
            result.status = TransferStatus::Failed;
            result.error = TransferError::ReadBlockEmpty;
            result.errorText = ReadErrorText(lastReplyLength);
            result.linkText = words.fault.text;
            return result;
        }
        lastReplyLength = kReplyFrameOverhead + 2u * words->size();
        table.LoadWords(block.address, words->data(), block.count);
        ++result.blocksDone;
        if (progress) progress(result.blocksDone, result.blocksTotal);
    }
    // On a line that repeats frames, the last answers must not be copies
    // standing in for replies still on their way.
    if (const auto settled = drive.Settle(); !settled) {
        result.status = TransferStatus::Failed;
        result.error = TransferError::ReadBlockEmpty;
        result.errorText = ReadErrorText(lastReplyLength);
        result.linkText = settled.fault.text;
        return result;
    }
    // A whole read of this session is a backup at hand for the first change.
    ChangeGate::Instance().NoteCompleteRead(drive, table);
    return result;
}

bool ReadAllJob::start(TransferCallbacks callbacks) {
    return start(std::move(callbacks), DriveHandle::FromGlobals(), theParameterTable);
}

bool ReadAllJob::start(TransferCallbacks callbacks, DriveHandle drive, CParameter& table) {
    ProgressCallback progress = std::move(callbacks.progress);
    return run<TransferResult>(
        [drive, &table, progress = std::move(progress)](std::stop_token stop) {
            return ReadAll(drive, table, stop, progress);
        },
        std::move(callbacks.finished));
}

}  // namespace hx
