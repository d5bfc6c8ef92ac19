#include "gui/widgets/ProgramDatabase.h"

#include "core/db/CADO.h"
#include "core/i18n/StringTable.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

bool OpenProgramDatabase(CADO& db, QWidget* parent) {
    if (db.OpenConnection(DatabaseConnectionString())) return true;
    ShowMessage(parent, QStringLiteral("Connect database fault!"), {}, MessageIcon::Warning);
    ShowMessage(parent, QString::fromStdString(hx::LoadString(50022)));
    return false;
}

void ShowDatabaseError(QWidget* parent, const char* description) {
    ShowMessage(parent, QStringLiteral("Connection error:") + QString::fromUtf8(description));
}

}  // namespace hx::gui
