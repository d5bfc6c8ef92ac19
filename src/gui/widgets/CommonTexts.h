#pragma once
// Texts and boxes more than one window shows, written once.

#include <QString>

class QWidget;

namespace hx {
struct StorageResult;
}

namespace hx::gui {

// A string-table entry in the interface's language.
QString TableText(int id);

// Storing the drive's settings for good, from the main menu or the parameter
// manager: the question before it (true to go on) and the outcome after it.
bool ConfirmSaveToDrive(QWidget* parent);
void ShowSaveToDriveOutcome(QWidget* parent, const hx::StorageResult& result);

}  // namespace hx::gui
