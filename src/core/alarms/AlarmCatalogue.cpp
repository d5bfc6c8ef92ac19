#include "core/alarms/AlarmCatalogue.h"

#include "core/db/CADO.h"
#include "core/i18n/StringTable.h"

namespace hx {
namespace {

constexpr int kAlarmTableId = 50167;
constexpr int kDescriptionTableId = 50165;

std::string Field(CADO& db, const char* chinese, const char* englishColumn, bool english) {
    if (english && db.HasField(englishColumn)) {
        std::string text = db.GetFieldText(englishColumn);
        if (!text.empty()) return text;
    }
    return db.GetFieldText(chinese);
}

}  // namespace

std::string AlarmNameQuery(const std::string& number, bool historyForm) {
    const std::string table = SqlTableName(LoadString(kAlarmTableId));
    const std::string quoted = SqlQuoteText(number);
    if (historyForm) return "Select * From " + table + " Where ErrorNumber='" + quoted + "'";
    return "Select * from " + table + " where ErrorNumber='" + quoted + "'";
}

std::string AlarmCauseQuery(const std::string& number) {
    return "Select * from " + SqlTableName(LoadString(kDescriptionTableId)) + " where ErrorNumber='" +
           SqlQuoteText(number) + "'";
}

std::vector<std::string> LookupAlarmNames(CADO& db, const std::string& number, bool english, bool historyForm) {
    std::vector<std::string> names;
    db.GetRecordSet(AlarmNameQuery(number, historyForm));
    while (!db.IsEOF()) {
        names.push_back(Field(db, "ErrorName", "ErrorNameEn", english));
        db.MoveNext();
    }
    db.CloseRecordset();
    return names;
}

std::vector<AlarmCause> LookupAlarmCauses(CADO& db, const std::string& number, bool english) {
    std::vector<AlarmCause> causes;
    db.GetRecordSet(AlarmCauseQuery(number));
    while (!db.IsEOF()) {
        causes.push_back({Field(db, "ErrorReason", "ErrorReasonEn", english), Field(db, "Dispose", "DisposeEn", english)});
        db.MoveNext();
    }
    db.CloseRecordset();
    return causes;
}

}  // namespace hx
