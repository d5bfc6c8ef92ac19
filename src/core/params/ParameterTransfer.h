#pragma once
// What the parameter transfers share: how they report. Each takes the drive
// (a DriveHandle) and the table it works on when it starts. A transfer runs as a Job (core/util/Job.h); its callbacks
// are called on the worker thread and a window marshals them to its own.

#include <cstdint>
#include <functional>
#include <string>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP
#include "core/util/Job.h"

#include "core/link/DriveHandle.h"

class CParameter;

namespace hx {

enum class TransferStatus { Completed, Stopped, Failed };
enum class TransferError {
    None,
    ReadBlockEmpty,
    WriteBlockRejected,
    // The backup or the change journal could not be written, so nothing was
    // sent; the user may go on without (ChangeGate::AllowOnceWithoutBackup).
    NotBackedUp,
};

// Fixed texts of the failures; the windows translate them in this context.
inline constexpr const char* kTransferTextContext = "ParameterTransfer";
inline constexpr const char* kBatchReadErrorText = "Batch reading error!";
inline constexpr const char* kBatchWriteErrorText =
    QT_TRANSLATE_NOOP("ParameterTransfer", "批处理传输出错，请重传！");

struct TransferResult {
    TransferStatus status = TransferStatus::Completed;
    TransferError error = TransferError::None;
    // For a failure the message to show: "Batch reading error!dataLenght = 105"
    // (byte count of the last reply that carried data, 0 when none did) or
    // "批处理传输出错，请重传！".
    std::string errorText;
    // What the link saw at the failure, in words ("no answer within 100 ms",
    // "the drive refused the request: exception 3 (illegal data value)";
    // for a write, whether it may have been carried out all the same).
    std::string linkText;
    int blocksDone = 0;
    int blocksTotal = 0;
};

using ProgressCallback = std::function<void(int done, int total)>;
using FinishedCallback = std::function<void(const TransferResult& result)>;

struct TransferCallbacks {
    ProgressCallback progress;  // after each block: (blocks done, blocks in all)
    FinishedCallback finished;  // once at the end, whatever the outcome
};

}  // namespace hx
