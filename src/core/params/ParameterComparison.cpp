#include "core/params/ParameterComparison.h"

#include "core/db/CADO.h"
#include "core/params/CParameter.h"
#include "core/params/DefinitionQueries.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterFile.h"

namespace hx {

ParameterSet SnapshotTable(CParameter& table) {
    ParameterSet set;
    for (int i = 0; i < CParameter::kSlots; ++i)
        set.values[static_cast<std::size_t>(i)] = table.GetValue(CParameter::IndexToAddress(static_cast<uint16_t>(i)));
    set.ready = true;
    return set;
}

bool LoadCompareSet(const std::string& path, ParameterSet* set, std::string* error) {
    ParameterFileContents contents;
    if (!ReadParameterFile(path, &contents, error)) return false;
    // A file with no parameter line (empty, junk, some other kind of file)
    // would otherwise compare as a set of zeros.
    if (contents.values.empty()) {
        if (error) *error = NoParametersText(path, contents);
        return false;
    }
    set->values.fill(0);
    for (const auto& [address, value] : contents.values) set->values[CParameter::AddressToIndex(address)] = value;
    set->ready = true;
    return true;
}

std::string ModelComparisonQuery(const std::string& model) {
    if (model.empty()) return ComparisonQuery();
    return "Select * from  " + DefinitionTableName(model);
}

ComparisonResult CompareSets(CADO& db, const ParameterSet& set1, const ParameterSet& set2, const std::string& model,
                             float firmware, AccessLevel level, const CParameter& attributes) {
    ComparisonResult result;
    if (!set1.ready) {
        result.outcome = CompareOutcome::SetOneNotReady;
        return result;
    }
    if (!set2.ready) {
        result.outcome = CompareOutcome::SetTwoNotReady;
        return result;
    }
    db.GetRecordSet(ModelComparisonQuery(model));
    if (!db.IsRecordsetOpen()) {
        result.outcome = CompareOutcome::RecordsetClosed;
        return result;
    }
    const bool lowRangeOnly = firmware <= 100.0f;
    for (; !db.IsEOF(); db.MoveNext()) {
        auto address = static_cast<uint16_t>(static_cast<uint32_t>(LenientToInt(db.GetFieldText("Address"))));
        std::string pageNumber = db.GetFieldText("PageNumber");
        std::string name = db.GetFieldText("Name");
        if (lowRangeOnly && address > 149) break;
        if (!CParameter::IsParameterAddress(address)) continue;
        std::size_t i = CParameter::AddressToIndex(address);
        if (set1.values[i] == set2.values[i]) continue;
        if (attributes.TestAttribute(address) != 1 && level != AccessLevel::Administrator) continue;
        result.rows.push_back({address, std::move(pageNumber), std::move(name), set1.values[i], set2.values[i]});
    }
    db.CloseRecordset();
    return result;
}

}  // namespace hx
