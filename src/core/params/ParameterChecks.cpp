#include "core/params/ParameterChecks.h"

#include <map>
#include <set>

#include "core/params/TransferPlan.h"
#include "core/util/Text.h"

namespace hx {
namespace {

bool HasDigit(const std::string& text) {
    for (char c : text)
        if (c >= '0' && c <= '9') return true;
    return false;
}

}  // namespace

std::optional<ValueRange> ParseScope(const std::string& scope) {
    const std::size_t tilde = scope.find('~');
    if (tilde == std::string::npos) return std::nullopt;
    const std::string low = Trim(scope.substr(0, tilde));
    const std::string high = Trim(scope.substr(tilde + 1));
    const auto leadingDigit = [](const std::string& t) {
        std::size_t i = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
        return i < t.size() && t[i] >= '0' && t[i] <= '9';
    };
    if (!HasDigit(low) || !HasDigit(high) || !leadingDigit(low) || !leadingDigit(high)) return std::nullopt;
    ValueRange r{LenientToInt(low), LenientToInt(high)};
    if (r.min > r.max) return std::nullopt;
    return r;
}

int64_t ShownValue(const std::string& dataType, int64_t value) {
    const std::string type = Trim(dataType);
    if (type == "INT") return static_cast<int32_t>(static_cast<uint32_t>(value));
    const auto word = static_cast<uint16_t>(value);
    if (type == "USHORT") return word;
    return static_cast<int16_t>(word);
}

std::vector<RangeViolation> ValuesOutsideRange(const std::vector<ParameterDefinition>& definitions,
                                               const ParameterFileContents& contents) {
    std::map<uint16_t, const ParameterDefinition*> byAddress;
    for (const auto& d : definitions) byAddress[d.address] = &d;
    std::map<uint16_t, int32_t> last;
    std::vector<uint16_t> order;
    for (const auto& [address, value] : contents.values) {
        if (!last.count(address)) order.push_back(address);
        last[address] = value;
    }
    std::vector<RangeViolation> out;
    for (uint16_t address : order) {
        const auto it = byAddress.find(address);
        if (it == byAddress.end()) continue;
        const ParameterDefinition& d = *it->second;
        const auto range = ParseScope(d.scope);
        if (!range) continue;
        const int64_t shown = ShownValue(d.dataType, last[address]);
        if (shown < range->min || shown > range->max) out.push_back({address, d.name, d.scope, shown});
    }
    return out;
}

bool FromAnotherModel(const ParameterFileContents& contents, const std::string& productModel) {
    if (contents.headerLines.empty()) return false;
    const std::string& line = contents.headerLines[0];
    if (line.rfind("DriveType=", 0) != 0) return false;
    const std::string fileModel = Trim(contents.HeaderValue(1));
    return !fileModel.empty() && fileModel != Trim(productModel);
}

bool CoversWholeWrite(const ParameterFileContents& contents, float firmwareVersion) {
    std::set<uint16_t> given;
    for (const auto& [address, value] : contents.values) given.insert(address);
    for (const TransferBlock& block : WriteAllPlan(firmwareVersion))
        for (uint32_t a = block.address; a < uint32_t{block.address} + block.count; ++a)
            if (!given.contains(static_cast<uint16_t>(a))) return false;
    return true;
}

}  // namespace hx
