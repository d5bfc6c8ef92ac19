#pragma once
// Which registers a whole-table transfer moves, block by block. The read and
// the write cover exactly the same registers: 0..149, plus 30000..31999 on
// drives at firmware 200.0 or above. No block crosses from one range into the
// other, so nothing is ever sent to the registers between them.

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
// 108 blocks from 200.0 on (8 in the low range, the last ones of 10 and 20
// registers ending at 149 and 31999), else 8.
std::vector<TransferBlock> WriteAllPlan(float firmwareVersion);

// The progress label's percentage: done / total in single precision, times
// 100, truncated toward zero. 0 when total is not positive.
int16_t ProgressPercent(int done, int total);

}  // namespace hx
