#pragma once
// The function lists of the wizard's input and output pins. Each entry is a
// text whose number before the ':' is the function code the drive holds
// ("8:抱闸输出" is code 8); an entry without ':' ("无输出") is code 0. The
// texts come from the string table, so the English lists carry the same codes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hx::wizard {

struct FunctionEntry {
    int16_t code = 0;
    std::string text;
};

inline constexpr int kInputFunctionFirstId = 40123, kInputFunctionLastId = 40129;
inline constexpr int kOutputFunctionFirstId = 40130, kOutputFunctionLastId = 40135;

// The code of an entry's text: the number before ':', 0 without one.
int16_t FunctionCodeOf(std::string_view text);

// The lists in string-table order, in the current language; empty entries skipped.
std::vector<FunctionEntry> InputFunctionEntries();
std::vector<FunctionEntry> OutputFunctionEntries();

// Index of the first entry whose code equals `code` (both as signed 16-bit
// numbers), or -1 when none does.
int FindFunctionEntry(const std::vector<FunctionEntry>& entries, int code);

}  // namespace hx::wizard
