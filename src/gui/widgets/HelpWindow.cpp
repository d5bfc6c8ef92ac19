#include "gui/widgets/HelpWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QToolBar>
#include <algorithm>
#include <QPointer>
#include <QUrl>

#include "core/db/LocalizedField.h"
#include "core/settings/AppPaths.h"

namespace hx::gui {

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent) {
    setWindowFlag(Qt::Window);
    // A side window: leaving the main window ends the program even while
    // help is still on the screen.
    setAttribute(Qt::WA_QuitOnClose, false);
    setOpenExternalLinks(true);
    resize(820, 640);
}

bool HelpWindow::openPage(const QString& path) {
    QFileInfo info(path);
    if (!info.isFile()) return false;
    setSearchPaths({info.absolutePath()});
    setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    setWindowTitle(documentTitle().isEmpty() ? info.fileName() : documentTitle());
    if (!isVisible()) placeBesideMainWindow();
    show();
    raise();
    activateWindow();
    return true;
}

void HelpWindow::placeBesideMainWindow() {
    // Over the main window's work area, at its right, but never over its
    // menu and toolbar: the user reads help while using the commands.
    QMainWindow* main = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* m = qobject_cast<QMainWindow*>(w); m && m->isVisible()) main = m;
    if (!main) return;
    const QRect area = main->geometry();
    int top = area.top();
    for (QToolBar* bar : main->findChildren<QToolBar*>())
        if (bar->isVisible()) top = std::max(top, bar->mapToGlobal(QPoint(0, bar->height())).y());
    top += 4;
    const int w = std::min(width(), area.width());
    const int h = std::min(height(), std::max(200, area.bottom() - top));
    resize(w, h);
    // A window's position is that of its frame, title bar included.
    move(area.right() + 1 - w, top);
}

HelpWindow* HelpWindow::instance() {
    static QPointer<HelpWindow> window;
    if (!window) {
        window = new HelpWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    return window;
}

static QString helpFolder() { return QString::fromStdString(hx::DataFolder()) + "/HelpFile/"; }

QString MainHelpPath(int language) { return helpFolder() + (language == 4 ? "help.html" : "helpEN.html"); }

QString ParameterHelpPath(const QString& topic) {
    // The page in the interface's language; a parameter without an English
    // page yet still has its Chinese one.
    const QString chinese = helpFolder() + "ParametersHelp/" + topic + ".html";
    if (!hx::InterfaceIsEnglish()) return chinese;
    const QString english = helpFolder() + "ParametersHelpEN/" + topic + ".html";
    return QFileInfo::exists(english) ? english : chinese;
}

}  // namespace hx::gui
