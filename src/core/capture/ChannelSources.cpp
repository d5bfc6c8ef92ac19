#include "core/capture/ChannelSources.h"

#include "core/i18n/StringTable.h"

namespace hx {

int ActiveChannelCount(const ChannelCodes& codes) {
    int n = 0;
    for (uint16_t c : codes)
        if (c != 0) ++n;
    return n;
}

std::vector<ChannelListEntry> FillChannelLists(uint16_t mask) {
    std::vector<ChannelListEntry> entries;
    entries.push_back({LoadString(kEmptyChannelStringId), 0});
    for (const ChannelSource& s : kChannelSources)
        if (mask & (1u << s.bit)) entries.push_back({LoadString(s.stringId), s.code});
    return entries;
}

std::array<ChannelOffer, 4> OfferChannels(int channelCount, int sourceCount) {
    std::array<ChannelOffer, 4> offers{};
    const int offered = channelCount >= 2 && channelCount <= 4 ? channelCount : 1;
    int entry = 0;
    for (int k = 0; k < offered; ++k) {
        if (k == 0) {
            entry = sourceCount > 0 ? 1 : 0;
        } else {
            ++entry;
            if (entry >= sourceCount) entry = sourceCount - 1;
        }
        offers[k] = {true, entry};
    }
    return offers;
}

uint16_t ChannelNameToCode(std::string_view name) {
    if (name.empty()) return 0;
    for (const ChannelSource& s : kChannelSources) {
        const char* builtin = BuiltinString(s.stringId);
        if ((builtin && name == builtin) || name == LoadString(s.stringId)) return s.code;
    }
    return 0;
}

std::string ChannelSourceName(uint16_t code) {
    if (code == 0) return {};
    for (const ChannelSource& s : kChannelSources)
        if (s.code == code) return LoadString(s.stringId);
    return {};
}

}  // namespace hx
