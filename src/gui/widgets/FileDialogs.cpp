#include "gui/widgets/FileDialogs.h"

#include <QFileDialog>

namespace hx::gui {
namespace {

FileDialogHook& hook() {
    static FileDialogHook h;
    return h;
}

}  // namespace

QString AskFile(QWidget* parent, const FileDialogRequest& request) {
    if (hook()) return hook()(request);
    const bool save = request.save;
    QFileDialog dialog(parent, request.title, QString(), request.filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // The overwrite question is on by default for a save dialog.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void SetFileDialogHook(FileDialogHook h) { hook() = std::move(h); }

}  // namespace hx::gui
