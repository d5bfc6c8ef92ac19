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
    QString defaultSuffix;  // "qxr"; also the kind of file whose last folder the dialog opens in
    QString folder;         // filled in by AskFile: where the dialog opens
};

// Returns the chosen path, or an empty text for a cancelled dialog.
using FileDialogHook = std::function<QString(const FileDialogRequest&)>;
void SetFileDialogHook(FileDialogHook hook);

// Any file dialog through the same hook: an existing file to open, or a file
// to write with the overwrite question; empty when cancelled.
QString AskFile(QWidget* parent, const FileDialogRequest& request);

// Where a dialog for this kind of file (its suffix) opens: the folder last
// used for that kind, else the user's documents folder (never the program's).
QString StartFolder(const QString& kind);
// Keeps the folder of a file chosen for this kind.
void RememberFolderOf(const QString& kind, const QString& file);

// An existing file to read; empty when cancelled.
QString AskParameterFileToOpen(QWidget* parent, const QString& title);
// A file to write, with the overwrite question; empty when cancelled.
QString AskParameterFileToSave(QWidget* parent, const QString& title);

}  // namespace hx::gui
