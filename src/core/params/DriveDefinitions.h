#pragma once
// The parameter definition rows of a drive model, read straight from the
// database file. Used by those who need the definitions without a window's
// connection (the simulated drive, the command line tool).

#include <cstdint>
#include <string>
#include <vector>

class CADO;
class CParameter;

namespace hx {

struct ParameterDefinition {
    uint16_t address = 0;
    std::string name, pageNumber, dataType, scope, defaultValue, units, remark;
    bool visible = true;
};

// Rows of "ParametersTable_<model>" (the base table when model is empty), in
// address order. Throws DbError (missing file, missing table, bad row).
std::vector<ParameterDefinition> LoadDefinitions(const std::string& databasePath, const std::string& model);

// The one reader of a definition table, on a connection already open: the
// window lists in the query's order (PageNumber order, address order for an
// empty model, as DefinitionListQuery), the command-line tool and the
// connection in address order. Throws DbError; a row whose address names no register is one.
enum class DefinitionOrder { ByAddress, AsListed };
std::vector<ParameterDefinition> ReadDefinitions(CADO& db, const std::string& model, DefinitionOrder order);

// Registers the type of every definition in the table after clearing the
// old ones: the type lists always describe the whole model, whatever part
// of it a window lists.
void RegisterTypes(const std::vector<ParameterDefinition>& definitions, CParameter& table);

// RegisterTypes from the program's database for a drive model, as connecting
// does; false (the table's types cleared, *error saying why) without them.
bool RegisterModelTypes(const std::string& model, CParameter& table, std::string* error = nullptr);

// The definition table name for a model ("ParametersTable" or
// "ParametersTable_<model>", made safe with SqlTableName).
std::string DefinitionTableName(const std::string& model);

}  // namespace hx
