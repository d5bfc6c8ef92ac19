#pragma once
// Comparing two parameter sets: each is 2150 values by table index, taken
// from the parameter table as it stands or from a parameter file, and the
// result lists the parameters of the definition table whose values differ.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Globals.h"

class CADO;
class CParameter;

namespace hx {

struct ParameterSet {
    std::array<int32_t, 2150> values{};  // by table index
    bool ready = false;
};

// GetValue of every slot, as the table shows it now; the set is ready.
ParameterSet SnapshotTable(CParameter& table);

// Fills the set from a parameter file: every value 0 first, the three header
// lines skipped, then each parameter line's value stored as written (no type
// rules; files hold displayed values already). On success the set is ready.
// A file without a single parameter line is refused. On failure *error (may
// be null) names the file and the set is untouched.
bool LoadCompareSet(const std::string& path, ParameterSet* set, std::string* error);

struct ComparisonRow {
    uint16_t address = 0;
    std::string pageNumber;  // PageNumber of the definition
    std::string name;
    int32_t value1 = 0, value2 = 0;
};

enum class CompareOutcome {
    Compared,         // rows hold the differences; none means the sets are equal
    SetOneNotReady,   // "参数列表一尚未准备好，请选择读入参数!"
    SetTwoNotReady,   // "参数列表二尚未准备好，请选择读入参数!"
    RecordsetClosed,  // "Recordset State is closed"
};

struct ComparisonResult {
    CompareOutcome outcome = CompareOutcome::Compared;
    std::vector<ComparisonRow> rows;
};

// The definition query of the comparison: "Select * from  " and the model's
// own table when model is not empty (so the comparison lists what the
// manager lists), else the base table.
std::string ModelComparisonQuery(const std::string& model);

// Walks the definition rows in table order and lists each parameter whose
// values differ, provided its attribute bit is set in attributes or level is
// Administrator. With firmware at 100.0 or below the walk ends at the first
// row above address 149 (older drives have no high range). Rows whose
// address has no slot are skipped. Database errors propagate as DbError.
ComparisonResult CompareSets(CADO& db, const ParameterSet& set1, const ParameterSet& set2, const std::string& model,
                             float firmware, AccessLevel level, const CParameter& attributes);

}  // namespace hx
