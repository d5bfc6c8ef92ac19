#pragma once
// The alarm texts of the database: the names of an alarm number (alarm
// table, string-table entry 50167) and its possible causes with remedies
// (description table, entry 50165). The number goes into the statement
// quoted, so any text (a selected row's "没有报警", a name with a quote) can
// only fail to match.
//
// With `english` the English columns are read where the database has them
// (ErrorNameEn, ErrorReasonEn, DisposeEn); an empty or missing English text
// falls back to the Chinese one.

#include <string>
#include <vector>

#include "core/alarms/AlarmText.h"

class CADO;

namespace hx {

// "Select * from ErrTable where ErrorNumber='<number>'" (the current-alarm
// page's form) or, for the history page, "Select * From ... Where ...".
std::string AlarmNameQuery(const std::string& number, bool historyForm = false);
// "Select * from ErrDescription where ErrorNumber='<number>'".
std::string AlarmCauseQuery(const std::string& number);

// Every ErrorName row of the number, in table order. The connection must be
// open. Throws DbError when the statement cannot run.
std::vector<std::string> LookupAlarmNames(CADO& db, const std::string& number, bool english,
                                          bool historyForm = false);
// Every cause row of the number, in table order. Throws DbError.
std::vector<AlarmCause> LookupAlarmCauses(CADO& db, const std::string& number, bool english);

}  // namespace hx
