#include "core/backup/RestoreItems.h"

#include <algorithm>
#include <map>
#include <set>

#include "core/util/Text.h"

namespace hx {

std::string ShortRemark(const std::string& remark) {
    // 。，；： and their ASCII kin followed by a blank.
    static const char* const kEnds[] = {"\xE3\x80\x82", "\xEF\xBC\x8C", "\xEF\xBC\x9B", "\xEF\xBC\x9A",
                                        "; ",           ". ",           ", ",           ": "};
    std::size_t cut = remark.size();
    for (const char* end : kEnds) cut = std::min(cut, remark.find(end));
    return Trim(remark.substr(0, cut));
}

std::vector<RestoreItem> DescribeRestore(const RestorePlan& plan, const std::vector<ParameterDefinition>& definitions) {
    std::map<uint16_t, const ParameterDefinition*> rows;
    for (const ParameterDefinition& d : definitions) rows[d.address] = &d;
    std::map<uint16_t, const RegisterDifference*> differs;
    for (const RegisterDifference& d : plan.differences) differs[d.address] = &d;
    // The file's values, for the word of a 32-bit parameter that is the same
    // on both sides (the file line of its low word holds the whole value).
    std::map<uint16_t, int32_t> inFile;
    for (const auto& [address, value] : plan.contents.values) inFile[address] = value;

    auto rowAt = [&rows](uint16_t a) -> const ParameterDefinition* {
        const auto it = rows.find(a);
        return it == rows.end() ? nullptr : it->second;
    };
    auto isInt = [](const ParameterDefinition* d) { return d && Trim(d->dataType) == "INT"; };

    std::vector<RestoreItem> items;
    std::set<uint16_t> taken;
    for (const RegisterDifference& d : plan.differences) {
        if (taken.count(d.address)) continue;
        RestoreItem item;
        if (definitions.empty()) {
            item.addresses = {d.address};
            item.held = static_cast<int16_t>(d.held);
            item.wanted = static_cast<int16_t>(d.wanted);
            items.push_back(std::move(item));
            continue;
        }
        // Its own row, or the 32-bit parameter whose high word it is.
        const ParameterDefinition* row = rowAt(d.address);
        if (!row && d.address < 0xFFFF && isInt(rowAt(static_cast<uint16_t>(d.address + 1))))
            row = rowAt(static_cast<uint16_t>(d.address + 1));
        if (!row) continue;  // no setting of this model
        item.name = row->name;
        item.text = ShortRemark(row->remark);
        item.kind = row->pageNumber;
        item.units = row->units;
        const std::string type = Trim(row->dataType);
        if (type == "INT" && row->address > 0) {
            const uint16_t low = row->address, high = static_cast<uint16_t>(row->address - 1);
            const auto file = inFile.find(low);
            const uint32_t fileWords = file == inFile.end() ? 0u : static_cast<uint32_t>(file->second);
            auto word = [&](uint16_t a, bool wanted, uint16_t same) -> uint32_t {
                const auto it = differs.find(a);
                if (it == differs.end()) return same;
                return wanted ? it->second->wanted : it->second->held;
            };
            const auto sameHigh = static_cast<uint16_t>(fileWords >> 16), sameLow = static_cast<uint16_t>(fileWords);
            item.addresses = {high, low};
            item.held = static_cast<int32_t>(word(high, false, sameHigh) << 16 | word(low, false, sameLow));
            item.wanted = static_cast<int32_t>(word(high, true, sameHigh) << 16 | word(low, true, sameLow));
            taken.insert(high);
            taken.insert(low);
        } else {
            item.addresses = {d.address};
            if (type == "USHORT") {
                item.held = d.held;
                item.wanted = d.wanted;
            } else {
                item.held = static_cast<int16_t>(d.held);
                item.wanted = static_cast<int16_t>(d.wanted);
            }
        }
        items.push_back(std::move(item));
    }
    return items;
}

RestorePlan ChosenPart(const RestorePlan& plan, const std::vector<RestoreItem>& items, const std::vector<bool>& chosen) {
    std::set<uint16_t> wanted;
    for (std::size_t i = 0; i < items.size() && i < chosen.size(); ++i)
        if (chosen[i]) wanted.insert(items[i].addresses.begin(), items[i].addresses.end());
    RestorePlan part = plan;
    std::erase_if(part.differences, [&](const RegisterDifference& d) { return !wanted.count(d.address); });
    return part;
}

}  // namespace hx
