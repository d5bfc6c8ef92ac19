#pragma once
// The open and save dialogs for parameter files (*.qxr), through the
// program's file dialogs (and their hook).

#include <QString>

#include "gui/widgets/FileDialogs.h"

class QWidget;

namespace hx::gui {

// An existing file to read; empty when cancelled.
QString AskParameterFileToOpen(QWidget* parent, const QString& title);
// A file to write, with the overwrite question; empty when cancelled.
QString AskParameterFileToSave(QWidget* parent, const QString& title);

}  // namespace hx::gui
