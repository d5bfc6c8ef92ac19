#include "core/params/AttributeBlocks.h"

#include <array>
#include <cstdio>
#include <vector>

#include "core/params/CParameter.h"

namespace hx {
namespace {

constexpr uint16_t kBlock1Address = 100;
constexpr uint16_t kBlock1Count = 10;
constexpr uint16_t kUpperBlocksAddress = 63000;
constexpr uint16_t kUpperBlockCount = 50;

// Commands and status words that never show in the parameter list.
constexpr std::array<uint16_t, 11> kHiddenAddresses = {23, 32, 34, 39, 41, 52, 70, 90, 91, 92, 93};

// The bytes of a reply frame around its data (station, function, byte count,
// CRC): the failure texts count the whole frame, as the drive sent it.
constexpr int kReplyFrameOverhead = 5;

// Reads count words from address into buffer[offset..] as the bitmap holds
// them, high byte first. False when the read failed; buffer is then untouched.
bool readBlock(DriveHandle& drive, uint16_t address, uint16_t count,
               std::array<uint8_t, CParameter::kAttributeBytes>& buffer, std::size_t offset, int* replyBytes) {
    const std::optional<std::vector<uint16_t>> words = drive.ReadWords(address, count);
    *replyBytes = words ? kReplyFrameOverhead + 2 * count : 0;
    if (!words) return false;
    for (std::size_t i = 0; i < words->size(); ++i) {
        buffer[offset + 2 * i] = static_cast<uint8_t>((*words)[i] >> 8);
        buffer[offset + 2 * i + 1] = static_cast<uint8_t>((*words)[i] & 0xFF);
    }
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

AttributeBlocksResult ReadAttributeBlocks(DriveHandle drive, CParameter& table) {
    AttributeBlocksResult result;
    std::array<uint8_t, CParameter::kAttributeBytes> buffer{};

    if (!readBlock(drive, kBlock1Address, kBlock1Count, buffer, 0, &result.lastReplyElements)) {
        result.block1Failed = true;
        return result;
    }

    if (drive.newLayout()) {
        for (int k = 0; k < 2; ++k) {
            const auto address = static_cast<uint16_t>(kUpperBlocksAddress + kUpperBlockCount * k);
            const std::size_t offset = 20 + 100 * static_cast<std::size_t>(k);
            if (!readBlock(drive, address, kUpperBlockCount, buffer, offset, &result.lastReplyElements))
                (k == 0 ? result.block2Failed : result.block3Failed) = true;
        }
    }

    table.LoadAttributes(buffer.data(), static_cast<int>(buffer.size()));
    for (uint16_t address : kHiddenAddresses) table.SetAttribute(address, 0);
    result.loaded = true;
    return result;
}

}  // namespace hx
