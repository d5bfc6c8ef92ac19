#include "core/db/LocalizedField.h"

#include "core/Globals.h"
#include "core/app/SystemLanguage.h"
#include "core/db/CADO.h"

namespace hx {

bool InterfaceIsEnglish() { return g_language != kLangChinese; }

std::string LocalizedFieldText(const CADO& db, const std::string& column) {
    if (InterfaceIsEnglish()) {
        const std::string twin = column + "En";
        if (db.HasField(twin)) {
            std::string text = db.GetFieldText(twin);
            if (!text.empty()) return text;
        }
    }
    return db.GetFieldText(column);
}

}  // namespace hx
