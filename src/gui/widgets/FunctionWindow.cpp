#include "gui/widgets/FunctionWindow.h"

#include <QCloseEvent>
#include <QMdiSubWindow>

#include "core/Globals.h"

namespace hx::gui {

FunctionWindow::FunctionWindow(const QString& title, LinkUse use, QWidget* parent) : QWidget(parent), m_use(use) {
    setWindowTitle(title);
    if (holdsLink()) g_activeModule = title.toStdString();
}

FunctionWindow::~FunctionWindow() {
    if (holdsLink() && !m_closed && g_activeModule == windowTitle().toStdString()) g_activeModule.clear();
}

void FunctionWindow::closeWindow() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

void FunctionWindow::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        event->accept();
        return;
    }
    if (!canClose()) {
        event->ignore();
        return;
    }
    m_closed = true;
    if (holdsLink()) g_activeModule.clear();
    event->accept();
    emit moduleClosed(this);
}

}  // namespace hx::gui
