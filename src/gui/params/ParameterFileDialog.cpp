#include "gui/params/ParameterFileDialog.h"

namespace hx::gui {
namespace {

QString ask(QWidget* parent, bool save, const QString& title) {
    return AskFile(parent, {save, title, QStringLiteral("qxr Files(*.qxr);;All Files(*.*)"), QStringLiteral("qxr"), {}});
}

}  // namespace

QString AskParameterFileToOpen(QWidget* parent, const QString& title) { return ask(parent, false, title); }
QString AskParameterFileToSave(QWidget* parent, const QString& title) { return ask(parent, true, title); }

}  // namespace hx::gui
