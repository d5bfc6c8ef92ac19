#pragma once
// Sending a parameter file to the drive and checking it: the drive's table
// is read first (so registers the file lacks go back unchanged), the file's
// values are laid over it, the settings are written block by block and read
// back. When the write stops part-way, the drive is read again to tell how
// many blocks it now holds from the file, so the user knows what state the
// drive is in.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

#include "core/backup/ChangeGate.h"
#include "core/params/ParameterFile.h"
#include "core/params/ParameterTransfer.h"

namespace hx {

struct LoadDifference {
    uint16_t address;
    int16_t sent, held;
};

struct DriveLoadReport {
    // Backup: the change gate would not let the write begin (gate says why).
    enum class Step { Read, Backup, Write, ReadBack, Done };
    Step stoppedAt = Step::Done;          // Done: everything was written and read back
    TransferResult failure;               // of the step that stopped it
    GateResult gate;
    int registers = 0;                    // settings compared after writing
    std::vector<LoadDifference> differences;
    int blocksTotal = 0;                  // write blocks
    // After a write that stopped: blocks the drive holds exactly as sent
    // (-1 when the drive could not be read again either).
    int blocksHolding = -1;

    bool Succeeded() const { return stoppedAt == Step::Done && differences.empty(); }
};

// After each block of each step: the step running, blocks done and in all.
using DriveLoadProgress = std::function<void(DriveLoadReport::Step step, int done, int total)>;

// table receives the drive's values with the file laid over them. With
// changes, the gate is prepared after the read (which serves as the backup)
// and every change is journaled before its block is sent.
DriveLoadReport WriteFileToDrive(DriveHandle drive, CParameter& table, const ParameterFileContents& contents,
                                 std::stop_token stop = {}, const DriveLoadProgress& progress = {},
                                 ChangeBatch* changes = nullptr, PrepareOptions options = {});

}  // namespace hx
