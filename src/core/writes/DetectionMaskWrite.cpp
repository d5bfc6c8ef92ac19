#include "core/writes/DetectionMaskWrite.h"

#include "core/alarms/AlarmSequences.h"
#include "core/protocol/Registers.h"

namespace hx {

MaskWriteResult WriteDetectionMask(ChangeGate& gate, DriveHandle& drive, uint16_t mask, PrepareOptions options) {
    MaskWriteResult result;
    ChangeBatch changes(gate, drive, ChangeOrigin::Alarms, "fault detection mask");
    result.gate = changes.Prepare({}, {}, options);
    ChangeBatch::Pending pending;
    if (result.gate.ok() && !changes.Journal(reg::kFaultDetectionMask, &mask, 1, &pending)) {
        result.gate.status = GateResult::Status::JournalFailed;
        result.gate.message = changes.Error();
    }
    if (!result.gate.ok()) {
        result.outcome = MaskWriteOutcome::NotBackedUp;
        return result;
    }
    if (!drive.Write(reg::kFaultDetectionMask, mask)) {
        // A refused write was not carried out; a lost reply leaves it unknown.
        if (drive.fault().kind == DriveFaultKind::Refused) changes.Confirm(pending, false);
        result.outcome = MaskWriteOutcome::NotAnswered;
        return result;
    }
    const auto back = ReadDetectionMask(drive);
    if (!back) {
        result.outcome = MaskWriteOutcome::ReadBackFailed;
        return result;
    }
    changes.Confirm(pending, *back == mask);
    result.readBack = *back;
    result.outcome = *back == mask ? MaskWriteOutcome::Taken : MaskWriteOutcome::NotTaken;
    return result;
}

}  // namespace hx
