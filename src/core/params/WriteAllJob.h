#pragma once
// Writing the whole table back to the drive: exactly the registers a read
// covers, in blocks of at most 20 that never cross from 0..149 into
// 30000..31999, so the registers between the ranges are never touched.

#include "core/params/ParameterTransfer.h"

namespace hx {

// Runs the write on the calling thread. A block the drive rejects ends the
// write as Failed with "批处理传输出错，请重传！"; blocks already written stay
// written. A stop request is honoured between blocks. progress(done, total)
// counts blocks.
TransferResult WriteAll(const TransferLink& link, std::stop_token stop = {},
                        const ProgressCallback& progress = {});

class WriteAllJob : public Job {
public:
    bool start(TransferCallbacks callbacks, TransferLink link = TransferLink::FromGlobals());
};

}  // namespace hx
