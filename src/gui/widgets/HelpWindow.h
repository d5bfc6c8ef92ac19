#pragma once
// Shows the HTML help pages under HelpFile/ in a window of their own.

#include <QTextBrowser>

namespace hx::gui {

class HelpWindow : public QTextBrowser {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    // Opens the page; false (and nothing shown) when it does not exist.
    bool openPage(const QString& path);

    // The one help window of the program, created on first use.
    static HelpWindow* instance();

private:
    // Opens to the right of the main window, below its menu and toolbar.
    void placeBesideMainWindow();
};

// HelpFile/help.html (Chinese) or HelpFile/helpEN.html by the language.
QString MainHelpPath(int language);
// HelpFile/ParametersHelp/<topic>.html
QString ParameterHelpPath(const QString& topic);

}  // namespace hx::gui
