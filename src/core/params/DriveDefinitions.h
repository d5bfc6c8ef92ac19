#pragma once
// The parameter definition rows of a drive model, read straight from the
// database file. Used by those who need the definitions without a window's
// connection (the simulated drive, the command line tool).

#include <cstdint>
#include <string>
#include <vector>

namespace hx {

struct ParameterDefinition {
    uint16_t address = 0;
    std::string name, pageNumber, dataType, scope, defaultValue, units, remark;
    bool visible = true;
};

// Rows of "ParametersTable_<model>" (the base table when model is empty), in
// address order. Throws DbError (missing file, missing table, bad row).
std::vector<ParameterDefinition> LoadDefinitions(const std::string& databasePath, const std::string& model);

// The definition table name for a model ("ParametersTable" or
// "ParametersTable_<model>", made safe with SqlTableName).
std::string DefinitionTableName(const std::string& model);

}  // namespace hx
