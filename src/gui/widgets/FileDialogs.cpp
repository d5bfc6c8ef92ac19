#include "gui/widgets/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/settings/EnvSettings.h"

namespace hx::gui {
namespace {

FileDialogHook& hook() {
    static FileDialogHook h;
    return h;
}

}  // namespace

QString AskFile(QWidget* parent, const FileDialogRequest& asked) {
    FileDialogRequest request = asked;
    request.folder = StartFolder(request.defaultSuffix);
    if (hook()) {
        const QString chosen = hook()(request);
        if (!chosen.isEmpty()) RememberFolderOf(request.defaultSuffix, chosen);
        return chosen;
    }
    const bool save = request.save;
    QFileDialog dialog(parent, request.title, request.folder, request.filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // The overwrite question is on by default for a save dialog.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString chosen = dialog.selectedFiles().first();
    RememberFolderOf(request.defaultSuffix, chosen);
    return chosen;
}

QString StartFolder(const QString& kind) {
    const QString last = QString::fromStdString(hx::env::LastFolder(kind.toStdString()));
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

void RememberFolderOf(const QString& kind, const QString& file) {
    hx::env::RememberFolder(kind.toStdString(), QFileInfo(file).absolutePath().toStdString());
}

void SetFileDialogHook(FileDialogHook h) { hook() = std::move(h); }

}  // namespace hx::gui
