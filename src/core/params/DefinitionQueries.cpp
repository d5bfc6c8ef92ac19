#include "core/params/DefinitionQueries.h"

#include "core/i18n/StringTable.h"
#include "core/params/DriveDefinitions.h"

namespace hx {

std::string BaseDefinitionTable() { return LoadString(50168); }

std::string DefinitionListQuery(const std::string& model) {
    if (model.empty()) return "Select * from  " + DefinitionTableName(model) + " Order by Address asc";
    return "Select * from  " + DefinitionTableName(model) + " Order by PageNumber asc";
}

std::string CategoryLabelsQuery(const std::string& model) {
    return "Select distinct PageNumber From  " + DefinitionTableName(model) +
           " Where PageNumber <>'--' Order By PageNumber ASC";
}

std::string ComparisonQuery() { return "Select * from  " + DefinitionTableName({}); }

}  // namespace hx
