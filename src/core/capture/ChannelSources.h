#pragma once
// The signals the drive's sampling engine can capture: which bit of the
// source mask (register 52) stands for which signal, the code written to
// select it, and its display name. The lists show the sources in bit order.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hx {

struct ChannelSource {
    int bit;        // bit of the source mask
    uint16_t code;  // written to the channel register; 0 = cannot be selected
    int stringId;   // display name in the string table
};

// Bit 14 is listed as "未知通道" but has no code: a channel set to it is off.
inline constexpr std::array<ChannelSource, 16> kChannelSources = {{
    {0, 1, 40100},      {1, 2, 40101},      {2, 4, 40102},       {3, 8, 40103},
    {4, 16, 40104},     {5, 32, 40105},     {6, 64, 40106},      {7, 128, 40107},
    {8, 256, 40108},    {9, 512, 40109},    {10, 1024, 40116},   {11, 2048, 40117},
    {12, 4096, 40118},  {13, 8192, 40119},  {14, 0, 40120},      {15, 32768, 40115},
}};
inline constexpr int kEmptyChannelStringId = 40121;  // "<-----空----->", entry 0 of every list

// The four channels' source codes, channel 1 first; 0 = channel off. Codes
// travel as 16-bit words, so 32768 is the bit pattern 0x8000.
using ChannelCodes = std::array<uint16_t, 4>;

int ActiveChannelCount(const ChannelCodes& codes);

struct ChannelListEntry {
    std::string name;   // in the current language
    uint16_t code = 0;  // 0 for the empty entry and for "未知通道"
};

// The entries every one of the four channel lists gets for a source mask:
// the empty entry, then each available source in bit order. The number of
// sources listed is size() - 1. A window selects entry 0 in each list.
std::vector<ChannelListEntry> FillChannelLists(uint16_t mask);

// What a window offers on each of its four channels once the drive's
// limits are in: channels 1..n as the drive captures n at once, and channel
// 1 alone for any count but 2..4. Each offered channel selects the next
// source in turn: channel 1 the first source, each later one the next, but
// never beyond the last source but one (a drive with few sources repeats
// one). Channels not offered are off and keep the empty entry.
struct ChannelOffer {
    bool offered = false;  // checked and enabled
    int entry = 0;         // list entry to select; -1 leaves the list without a selection
};
// sourceCount: the sources listed (FillChannelLists(mask).size() - 1).
std::array<ChannelOffer, 4> OfferChannels(int channelCount, int sourceCount);

// A display name (current language, or the built-in Chinese) to its code;
// 0 when no source has that name, and for "未知通道".
uint16_t ChannelNameToCode(std::string_view name);

// The display name of a code in the current language; empty when no source
// has that code (0 included). Plot captions use it.
std::string ChannelSourceName(uint16_t code);

}  // namespace hx
