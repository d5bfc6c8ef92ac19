#include "core/params/TransferPlan.h"

#include <algorithm>

#include "core/protocol/Registers.h"

namespace hx {
namespace {

struct Range {
    uint16_t first;
    int count;
};

constexpr Range kLowRange{0, 150};
constexpr Range kHighRange{30000, 2000};

void AppendBlocks(std::vector<TransferBlock>& out, Range range, int maxPerBlock) {
    for (int offset = 0; offset < range.count; offset += maxPerBlock) {
        const int count = std::min(maxPerBlock, range.count - offset);
        out.push_back({static_cast<uint16_t>(range.first + offset), static_cast<uint16_t>(count)});
    }
}

}  // namespace

bool HasHighParameterRange(float firmwareVersion) { return firmwareVersion >= 200.0f; }

std::vector<TransferBlock> PlanBlocks(float firmwareVersion, int maxPerBlock) {
    std::vector<TransferBlock> blocks;
    if (maxPerBlock <= 0) return blocks;
    AppendBlocks(blocks, kLowRange, maxPerBlock);
    if (HasHighParameterRange(firmwareVersion)) AppendBlocks(blocks, kHighRange, maxPerBlock);
    return blocks;
}

std::vector<TransferBlock> ReadAllPlan(float firmwareVersion) {
    return PlanBlocks(firmwareVersion, kReadBlockRegisters);
}

std::vector<TransferBlock> WriteAllPlan(float firmwareVersion) {
    // The read's blocks, each cut around the registers that are no settings
    // (commands, status, identity) and into pieces of at most 20.
    std::vector<TransferBlock> blocks;
    for (const TransferBlock& span : PlanBlocks(firmwareVersion, 0x10000)) {
        int runStart = -1;
        const int end = span.address + span.count;
        for (int a = span.address; a <= end; ++a) {
            const bool setting = a < end && IsSettingRegister(static_cast<uint16_t>(a));
            if (setting && runStart < 0) runStart = a;
            if (setting && a - runStart < kWriteBlockRegisters) continue;
            if (runStart >= 0) {
                blocks.push_back({static_cast<uint16_t>(runStart), static_cast<uint16_t>(a - runStart)});
                runStart = setting ? a : -1;
            }
        }
    }
    return blocks;
}

int16_t ProgressPercent(int done, int total) {
    if (total <= 0) return 0;
    const float percent = static_cast<float>(done) / static_cast<float>(total) * 100.0f;
    return static_cast<int16_t>(percent);
}

}  // namespace hx
