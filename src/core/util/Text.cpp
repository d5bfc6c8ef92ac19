#include "core/util/Text.h"

#include <cctype>
#include <limits>

namespace hx {
namespace {
bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

std::string Trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

int32_t LenientToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    const int64_t limit = negative ? kMax + 1 : kMax;
    int64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > limit) v = limit;
    }
    return static_cast<int32_t>(negative ? -v : v);
}

std::string PortStationFileName(std::string_view port, int station) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string name;
    for (unsigned char c : port) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += kHex[c >> 4];
            name += kHex[c & 15];
        }
    }
    return name + "@" + std::to_string(station);
}

}  // namespace hx
