#pragma once
// The open and save dialogs for parameter files (*.qxr). A hook can answer
// them in place of the user (tests, scripted runs): native dialogs block.

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

// Any file dialog through the same hook: an existing file to open, or a file
// to write with the overwrite question; empty when cancelled.
QString AskFile(QWidget* parent, const FileDialogRequest& request);

// An existing file to read; empty when cancelled.
QString AskParameterFileToOpen(QWidget* parent, const QString& title);
// A file to write, with the overwrite question; empty when cancelled.
QString AskParameterFileToSave(QWidget* parent, const QString& title);

}  // namespace hx::gui
