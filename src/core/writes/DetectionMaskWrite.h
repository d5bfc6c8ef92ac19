#pragma once
// Writing the drive's fault-detection mask (register 56): through the change
// gate (backed up, journaled), then read back; taken only when it reads back
// as written. On the calling thread (a worker).

#include <cstdint>

#include "core/backup/ChangeGate.h"
#include "core/link/DriveHandle.h"

namespace hx {

enum class MaskWriteOutcome {
    NotBackedUp,    // the change gate kept it back: nothing was sent (gate says why)
    Taken,          // reads back as written
    NotAnswered,    // the write got no answer
    ReadBackFailed, // written, but the read-back got no answer
    NotTaken,       // reads back something else
};
struct MaskWriteResult {
    MaskWriteOutcome outcome = MaskWriteOutcome::NotAnswered;
    uint16_t readBack = 0;
    GateResult gate;
    bool taken() const { return outcome == MaskWriteOutcome::Taken; }
};
// Switching a fault detection off changes a setting like any other: the
// session's backup first, the write on record, confirmed by the read-back.
MaskWriteResult WriteDetectionMask(ChangeGate& gate, DriveHandle& drive, uint16_t mask, PrepareOptions options = {});

}  // namespace hx
