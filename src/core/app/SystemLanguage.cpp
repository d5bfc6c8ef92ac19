#include "core/app/SystemLanguage.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <utility>

namespace hx {

uint16_t PrimaryLanguageOfLocale(const std::string& locale) {
    std::string lang;
    for (char c : locale) {
        if (c == '_' || c == '.' || c == '@' || c == '-') break;
        lang += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lang.empty() || lang == "c" || lang == "posix") return kLangEnglish;
    // The primary language numbers the settings file has always used.
    static const std::pair<const char*, uint16_t> kCodes[] = {
        {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07},
        {"el", 0x08}, {"en", 0x09}, {"es", 0x0a}, {"fi", 0x0b}, {"fr", 0x0c}, {"he", 0x0d}, {"hu", 0x0e},
        {"is", 0x0f}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14},
        {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1a}, {"sk", 0x1b}, {"sv", 0x1d},
        {"th", 0x1e}, {"tr", 0x1f}, {"id", 0x21}, {"uk", 0x22}, {"vi", 0x2a},
    };
    for (const auto& [name, code] : kCodes)
        if (lang == name) return code;
    return 0;
}

uint16_t SystemPrimaryLanguage() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return PrimaryLanguageOfLocale(v);
    }
    return kLangEnglish;
}

}  // namespace hx
