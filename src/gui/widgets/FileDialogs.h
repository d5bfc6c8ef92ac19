#pragma once
// The program's open and save dialogs. A hook can answer them in place of
// the user (tests, scripted runs): native dialogs block.

#include <QString>
#include <functional>

class QWidget;

namespace hx::gui {

struct FileDialogRequest {
    bool save = false;
    QString title;
    QString filter;         // "qxr Files(*.qxr);;All Files(*.*)"
    QString defaultSuffix;  // "qxr"
};

// Returns the chosen path, or an empty text for a cancelled dialog.
using FileDialogHook = std::function<QString(const FileDialogRequest&)>;
void SetFileDialogHook(FileDialogHook hook);

// An existing file to open, or a file to write with the overwrite question;
// empty when cancelled.
QString AskFile(QWidget* parent, const FileDialogRequest& request);

}  // namespace hx::gui
