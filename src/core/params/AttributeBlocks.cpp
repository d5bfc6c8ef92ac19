#include "core/params/AttributeBlocks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"

namespace hx {
namespace {

constexpr uint16_t kBlock1Address = 100;
constexpr uint16_t kBlock1Count = 10;
constexpr uint16_t kUpperBlocksAddress = 63000;
constexpr uint16_t kUpperBlockCount = 50;
constexpr float kUpperBlocksFirmware = 200.0f;

// Commands and status words that never show in the parameter list.
constexpr std::array<uint16_t, 11> kHiddenAddresses = {23, 32, 34, 39, 41, 52, 70, 90, 91, 92, 93};

// Copies the data bytes of a reply frame (all but 3 leading and 2 trailing
// bytes) to buffer[offset..], never past limit. False when the reply is empty.
bool copyData(const std::vector<uint8_t>& reply, std::array<uint8_t, CParameter::kAttributeBytes>& buffer,
              std::size_t offset, std::size_t limit) {
    const int n = static_cast<int>(reply.size());
    if (n <= 5) return false;
    const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(n - 5), limit - offset);
    std::copy_n(reply.begin() + 3, length, buffer.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}

std::string format(const char* prefix, int count) {
    char text[96];
    std::snprintf(text, sizeof text, "%sdataLenght=%d", prefix, count);
    return text;
}

}  // namespace

std::string AttributeBlocksResult::Block1Message() const {
    return block1Failed ? format("Read attribute block1 fault!", 0) : std::string();
}

std::string AttributeBlocksResult::Block23Message() const {
    return (block2Failed || block3Failed) ? format("Read attribute block2 fault!", lastReplyElements) : std::string();
}

AttributeBlocksResult ReadAttributeBlocks(CQXCOM& comm, uint8_t station, float firmware, CParameter& table) {
    AttributeBlocksResult result;
    std::array<uint8_t, CParameter::kAttributeBytes> buffer{};

    const auto block1 = comm.ReadBigData(station, kBlock1Address, kBlock1Count);
    result.lastReplyElements = static_cast<int>(block1.size());
    if (!copyData(block1, buffer, 0, 20)) {
        result.block1Failed = true;
        return result;
    }

    if (firmware >= kUpperBlocksFirmware) {
        for (int k = 0; k < 2; ++k) {
            const auto reply =
                comm.ReadBigData(station, static_cast<uint16_t>(kUpperBlocksAddress + kUpperBlockCount * k), kUpperBlockCount);
            result.lastReplyElements = static_cast<int>(reply.size());
            const std::size_t offset = 20 + 100 * static_cast<std::size_t>(k);
            if (!copyData(reply, buffer, offset, offset + 100)) (k == 0 ? result.block2Failed : result.block3Failed) = true;
        }
    }

    table.LoadAttributes(buffer.data(), static_cast<int>(buffer.size()));
    for (uint16_t address : kHiddenAddresses) table.SetAttribute(address, 0);
    result.loaded = true;
    return result;
}

}  // namespace hx
