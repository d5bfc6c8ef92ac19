#pragma once
// The program's open and save dialogs. A hook can answer them in place of
// the user (tests, scripted runs): native dialogs block. Each opens in the
// folder last used for its kind of file, the first time in the user's
// documents folder, never in the program's.

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

// An existing file to open, or a file to write with the overwrite question;
// empty when cancelled.
QString AskFile(QWidget* parent, const FileDialogRequest& request);

// Where a dialog for this kind of file (its suffix) opens: the folder last
// used for that kind, else the user's documents folder.
QString StartFolder(const QString& kind);
// Keeps the folder of a file chosen for this kind.
void RememberFolderOf(const QString& kind, const QString& file);

}  // namespace hx::gui
