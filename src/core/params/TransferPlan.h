#pragma once
// Which registers a whole-table transfer moves, block by block. The read
// covers 0..149, plus 30000..31999 on drives at firmware 200.0 or above; the
// write covers the settings among them and leaves out the registers that
// start the drive's commands or report its status and identity, so a table
// (or a file) can never start a command. No block crosses from one range
// into the other, so nothing is ever sent to the registers between them.

#include <cstdint>
#include <vector>

namespace hx {

struct TransferBlock {
    uint16_t address;  // first register
    uint16_t count;    // registers in the block
};

inline constexpr int kReadBlockRegisters = 50;
inline constexpr int kWriteBlockRegisters = 20;

// Whether a drive of this firmware has the high parameter range.
bool HasHighParameterRange(float firmwareVersion);

// The parameter ranges of a drive, cut into blocks of at most maxPerBlock
// registers, in ascending address order.
std::vector<TransferBlock> PlanBlocks(float firmwareVersion, int maxPerBlock);

// 43 blocks of 50 from 200.0 on (the fourth at 30000, the last at 31950), else 3.
std::vector<TransferBlock> ReadAllPlan(float firmwareVersion);
// Runs of consecutive settings (hx::IsSettingRegister), at most 20 registers
// each: the low range in 10 blocks, the high range in 100 more from 200.0 on.
std::vector<TransferBlock> WriteAllPlan(float firmwareVersion);

// The progress label's percentage: done / total in single precision, times
// 100, truncated toward zero. 0 when total is not positive.
int16_t ProgressPercent(int done, int total);

}  // namespace hx
