#include "gui/params/ParameterFileDialog.h"

#include <QFileDialog>

namespace hx::gui {
namespace {

FileDialogHook& hook() {
    static FileDialogHook h;
    return h;
}

QString ask(QWidget* parent, bool save, const QString& title) {
    FileDialogRequest request{save, title, QStringLiteral("qxr Files(*.qxr);;All Files(*.*)"), QStringLiteral("qxr")};
    if (hook()) return hook()(request);
    QFileDialog dialog(parent, title, QString(), request.filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // The overwrite question is on by default for a save dialog.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

}  // namespace

void SetFileDialogHook(FileDialogHook h) { hook() = std::move(h); }

QString AskParameterFileToOpen(QWidget* parent, const QString& title) { return ask(parent, false, title); }
QString AskParameterFileToSave(QWidget* parent, const QString& title) { return ask(parent, true, title); }

}  // namespace hx::gui
