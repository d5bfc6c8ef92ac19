#pragma once
// Writing the whole table back to the drive: exactly the registers a read
// covers, in blocks of at most 20 that never cross from 0..149 into
// 30000..31999, so the registers between the ranges are never touched.

#include "core/backup/ChangeGate.h"
#include "core/params/ParameterTransfer.h"

namespace hx {

// Runs the write on the calling thread. A block the drive rejects ends the
// write as Failed with "批处理传输出错，请重传！"; blocks already written stay
// written. A stop request is honoured between blocks. progress(done, total)
// counts blocks. With changes (prepared), the registers whose values change
// are journaled before the first block is sent, and the blocks counted, so
// an interrupted write is found again.
TransferResult WriteAll(DriveHandle drive, const CParameter& table, std::stop_token stop = {},
                        const ProgressCallback& progress = {}, ChangeBatch* changes = nullptr);

// The failure a transfer reports when the gate would not let it write.
TransferResult GateFailure(const GateResult& gate);

// The write through the change gate: the session's backup first (its read,
// when one is needed, counts as the first half of the progress), then the
// write. (A user who chose to go on without a backup says so first with
// ChangeGate::AllowOnceWithoutBackup.)
class WriteAllJob : public Job {
public:
    // From the program's table to its drive as they stand now.
    bool start(ChangeGate& gate, TransferCallbacks callbacks);
    bool start(ChangeGate& gate, TransferCallbacks callbacks, DriveHandle drive, const CParameter& table,
               ChangeOrigin origin = ChangeOrigin::Edit, std::string what = {});
};

}  // namespace hx
