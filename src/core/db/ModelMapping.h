#pragma once
// The display model of a drive, from the product model it reports.

#include <optional>
#include <string>

class CADO;

namespace hx {

// The query the lookup runs, with the product model trimmed and quoted.
std::string DisplayModelQuery(const std::string& productModel, bool qxModelFlag);

// Model_to_Display of the first mapping row for the product model (trimmed on
// both sides) and the flag; nullopt when there is no such row. The connection
// must be open. Throws DbError.
std::optional<std::string> LookupDisplayModel(CADO& db, const std::string& productModel, bool qxModelFlag);

}  // namespace hx
