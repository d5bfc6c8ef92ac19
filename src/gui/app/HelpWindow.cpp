#include "gui/app/HelpWindow.h"

#include <QFileInfo>
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
    show();
    raise();
    activateWindow();
    return true;
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
