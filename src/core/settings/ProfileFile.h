#pragma once
// Sectioned INI files read and written key by key, with the semantics the
// program has always relied on: the file is opened and closed on every call,
// a missing file, section or key gives the caller's default, section and key
// names match regardless of letter case, and a write keeps every other line.

#include <string>

namespace hx {

// The value of [section] key, or def. A value enclosed in matching quotes
// loses them; blanks after the "=" are skipped, trailing ones are kept.
// At most bufferSize - 1 characters are returned (the classic 6-character
// buffer sees 5).
std::string GetProfileString(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& def, std::size_t bufferSize = 6);
// Decimal string-to-integer: leading blanks, optional sign, digits up to the
// first other character; 0 when there are none.
int ProfileToInt(const std::string& text);
// Writes [section] key=value, creating the file (and its folder) when
// missing. Returns false on failure; callers do not treat that as fatal.
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace hx
