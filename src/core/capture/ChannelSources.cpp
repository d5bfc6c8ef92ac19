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
