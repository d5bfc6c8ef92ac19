#pragma once
// The SQL texts that read the parameter definition tables, in one place for
// every window and tool. The model text comes from the drive, so the joined
// table name is passed through SqlTableName: a strange model can only name a
// table that does not exist.

#include <string>

namespace hx {

// The base definition table's name ("ParametersTable", from the string table).
std::string BaseDefinitionTable();

// The manager's listing: by PageNumber from the model's table when the model
// is known, else by Address from the base table.
std::string DefinitionListQuery(const std::string& model);

// The category labels of a model's table ("--" left out). Only meaningful
// for a known model; an empty model gives the base table's labels.
std::string CategoryLabelsQuery(const std::string& model);

// The comparison window's scan: the base table, no ordering.
std::string ComparisonQuery();

}  // namespace hx
