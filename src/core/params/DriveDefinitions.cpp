#include "core/params/DriveDefinitions.h"

#include <charconv>
#include <utility>

#include "core/db/CADO.h"
#include "core/db/LocalizedField.h"
#include "core/params/CParameter.h"
#include "core/params/DefinitionQueries.h"
#include "core/settings/AppPaths.h"

namespace hx {

std::string DefinitionTableName(const std::string& model) {
    const std::string base = BaseDefinitionTable();
    return SqlTableName(model.empty() ? base : base + "_" + model);
}

namespace {

uint16_t ReadAddress(const CADO& db) {
    const std::string text = db.GetFieldText("Address");
    long value = -1;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < 0 || value > 0xFFFF)
        throw DbError("a definition row holds the address \"" + text + "\", which is no register");
    return static_cast<uint16_t>(value);
}

}  // namespace

std::vector<ParameterDefinition> ReadDefinitions(CADO& db, const std::string& model, DefinitionOrder order) {
    std::vector<ParameterDefinition> rows;
    db.GetRecordSet(order == DefinitionOrder::AsListed ? DefinitionListQuery(model)
                                                        : "Select * from  " + DefinitionTableName(model) +
                                                              " Order by Address asc");
    if (!db.IsRecordsetOpen()) throw DbError("Recordset State is closed");
    // Tables without the column come from before the administrator flag:
    // every parameter is shown there.
    const bool hasVisible = db.HasField("Visible");
    for (; !db.IsEOF(); db.MoveNext()) {
        ParameterDefinition d;
        d.address = ReadAddress(db);
        d.name = db.GetFieldText("Name");
        // The category label as the category list shows it, so filtering by it
        // works in either language; units and remark as the user reads them.
        d.pageNumber = LocalizedFieldText(db, "PageNumber");
        d.dataType = db.GetFieldText("DataType");
        d.scope = db.GetFieldText("Scope");
        d.defaultValue = db.GetFieldText("DefaultValue");
        d.units = LocalizedFieldText(db, "Units");
        d.remark = LocalizedFieldText(db, "Remark");
        d.visible = !hasVisible || db.GetFieldText("Visible") != "0";
        rows.push_back(std::move(d));
    }
    db.CloseRecordset();
    return rows;
}

std::vector<ParameterDefinition> LoadDefinitions(const std::string& databasePath, const std::string& model) {
    CADO db;
    if (!db.OpenConnection(databasePath)) throw DbError(db.LastError());
    return ReadDefinitions(db, model, DefinitionOrder::ByAddress);
}

void RegisterTypes(const std::vector<ParameterDefinition>& definitions, CParameter& table) {
    table.ClearTypes();
    for (const auto& d : definitions) table.RegisterType(d.address, d.dataType.c_str());
}

bool RegisterModelTypes(const std::string& model, CParameter& table, std::string* error) {
    try {
        RegisterTypes(LoadDefinitions(DatabasePath(), model), table);
        return true;
    } catch (const DbError& e) {
        table.ClearTypes();
        if (error) *error = e.Description();
        return false;
    }
}

}  // namespace hx
