#include "core/alarms/AlarmName.h"

#include "core/Globals.h"
#include "core/alarms/AlarmCatalogue.h"
#include "core/alarms/AlarmText.h"
#include "core/db/CADO.h"
#include "core/i18n/StringTable.h"

namespace hx {

std::string AlarmNumberAndName(int code) {
    const std::string number = AlarmNumberText(code);
    // The core's texts are English without a catalogue (the command-line
    // tool), and in the interface's language with one.
    const bool english = !HasTranslator() || g_language == 9;
    CADO db;
    if (!db.OpenConnection(DatabaseConnectionString())) return number;
    try {
        const auto names = LookupAlarmNames(db, number, english);
        if (!names.empty() && !names.front().empty()) return number + " " + names.front();
    } catch (const DbError&) {
        // The number says enough.
    }
    return number;
}

}  // namespace hx
