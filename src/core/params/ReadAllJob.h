#pragma once
// Reading every parameter register of the drive into the table, block by
// block (50 registers a block: 3 blocks, or 43 from firmware 200.0 on).

#include "core/params/ParameterTransfer.h"

namespace hx {

// Runs the read on the calling thread. (A caller that may change the drive
// next tells the change gate of a complete read: it is the backup at hand.)
// A block whose reply carries no data
// ends the read as Failed with "Batch reading error!dataLenght = %d"; the
// blocks not read keep their previous values. A stop request is honoured
// between blocks. progress(k + 1, n) follows each block read.
TransferResult ReadAll(DriveHandle drive, CParameter& table, std::stop_token stop = {},
                       const ProgressCallback& progress = {});

// The read on a worker thread. finished is called in every case, so the
// window marks its table as holding parameters and refills its list.
class ReadAllJob : public Job {
public:
    // On the program's drive and table as they stand now.
    bool start(TransferCallbacks callbacks);
    bool start(TransferCallbacks callbacks, DriveHandle drive, CParameter& table);
};

}  // namespace hx
