#include "core/db/ModelMapping.h"

#include <cstdio>

#include "core/db/CADO.h"
#include "core/i18n/StringTable.h"
#include "core/util/Text.h"

namespace hx {

std::string DisplayModelQuery(const std::string& productModel, bool qxModelFlag) {
    const std::string table = SqlTableName(LoadString(50196));
    const std::string product = SqlQuoteText(Trim(productModel));
    const char* flag = qxModelFlag ? "1" : "0";
    const char* format = "Select top 1 * from %s where Model_From_Product='%s' AND IS_Varnel_Model =%s";
    const int size = std::snprintf(nullptr, 0, format, table.c_str(), product.c_str(), flag);
    std::string sql(static_cast<size_t>(size), '\0');
    std::snprintf(sql.data(), sql.size() + 1, format, table.c_str(), product.c_str(), flag);
    return sql;
}

std::optional<std::string> LookupDisplayModel(CADO& db, const std::string& productModel, bool qxModelFlag) {
    db.GetRecordSet(DisplayModelQuery(productModel, qxModelFlag));
    if (db.IsEOF()) {
        db.CloseRecordset();
        return std::nullopt;
    }
    std::string display = db.GetFieldText("Model_to_Display");
    db.CloseRecordset();
    return display;
}

}  // namespace hx
