#pragma once
// Opening the program's database from a window, with the messages users
// know: "Connect database fault!" and then the window's own complaint.

#include <QString>

class CADO;
class QWidget;

namespace hx::gui {

// False (after both messages) when DATA.sqlite cannot be opened.
bool OpenProgramDatabase(CADO& db, QWidget* parent);
// "Connection error:" + the database's description.
void ShowDatabaseError(QWidget* parent, const char* description);

}  // namespace hx::gui
