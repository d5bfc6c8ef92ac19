#pragma once
// Writing one edited parameter and reading it back, so the list shows what
// the drive holds. A 32-bit (INT) parameter goes as two registers, the high
// half at the address below it.

#include <cstdint>
#include <functional>

#include "core/backup/ChangeGate.h"
#include "core/params/ParameterTransfer.h"

class CParameter;

namespace hx {

struct WriteOneResult {
    // False when the write or a read-back got no answer; the table then keeps
    // its previous value and the row stays marked as not confirmed.
    bool answered = false;
    // GetValue(address) afterwards: the drive's read-back when answered, the
    // table's unchanged value otherwise.
    int32_t value = 0;
    // The register whose request went unanswered (when not answered).
    uint16_t unansweredRegister = 0;
    // Why nothing was written when the change gate refused (gate.ok() otherwise).
    GateResult gate;
};

// Runs on the calling thread (a few requests and a 20 ms settling wait).
// With changes (prepared), the registers are journaled before they are sent
// and confirmed by the read-back.
WriteOneResult WriteOne(DriveHandle& drive, CParameter& table, uint16_t address, int32_t value,
                        ChangeBatch* changes = nullptr);

// WriteOne through the change gate on a worker thread, for a window that
// keeps painting meanwhile.
class WriteOneJob : public Job {
public:
    using Finished = std::function<void(const WriteOneResult&)>;
    // On the program's drive and table as they stand now.
    bool start(ChangeGate& gate, uint16_t address, int32_t value, Finished finished);
    bool start(ChangeGate& gate, uint16_t address, int32_t value, Finished finished, DriveHandle drive,
               CParameter& table);
};

}  // namespace hx
