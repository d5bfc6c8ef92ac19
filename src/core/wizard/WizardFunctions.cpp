#include "core/wizard/WizardFunctions.h"

#include "core/i18n/StringTable.h"
#include "core/util/Text.h"

namespace hx::wizard {
namespace {

std::vector<FunctionEntry> load(int first, int last) {
    std::vector<FunctionEntry> entries;
    for (int id = first; id <= last; ++id) {
        std::string text = LoadString(id);
        if (text.empty()) continue;
        entries.push_back({FunctionCodeOf(text), std::move(text)});
    }
    return entries;
}

}  // namespace

int16_t FunctionCodeOf(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return 0;
    return static_cast<int16_t>(LenientToInt(text.substr(0, colon)));
}

std::vector<FunctionEntry> InputFunctionEntries() { return load(kInputFunctionFirstId, kInputFunctionLastId); }
std::vector<FunctionEntry> OutputFunctionEntries() { return load(kOutputFunctionFirstId, kOutputFunctionLastId); }

int FindFunctionEntry(const std::vector<FunctionEntry>& entries, int code) {
    const auto wanted = static_cast<int16_t>(code);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].code == wanted) return static_cast<int>(i);
    return -1;
}

}  // namespace hx::wizard
