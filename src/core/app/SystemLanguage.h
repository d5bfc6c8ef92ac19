#pragma once
// The system language as a primary language code (4 Chinese, 9 English, the
// others their own numbers), taken from the locale variables.

#include <cstdint>
#include <string>

namespace hx {

// From LC_ALL, then LC_MESSAGES, then LANG (the first that is set and not
// empty). "C" and "POSIX" count as English.
uint16_t SystemPrimaryLanguage();
// The code of one locale name such as "zh_CN.UTF-8" or "de_DE@euro".
uint16_t PrimaryLanguageOfLocale(const std::string& locale);

inline constexpr uint16_t kLangChinese = 4;
inline constexpr uint16_t kLangEnglish = 9;

}  // namespace hx
