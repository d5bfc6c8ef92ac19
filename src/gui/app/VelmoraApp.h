#pragma once
// Start-up: settings, language, translations, the optional simulated drive,
// and the main window.

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <ostream>

class CQXCOM;
class QTranslator;

namespace hx::sim { class InProcessDrive; }

namespace hx::gui {

class CMainFrame;

struct StartOptions {
    bool simulate = false;       // a simulated drive behind COM1
    std::vector<int> alarms;     // --alarm CODE: alarms the simulated drive raises at start
    bool showWindow = true;      // without: nothing waits for the first paint either
    bool check = false;          // report where the data files are found, then end
};

// The program's own options. --help and --version print and end the program
// (exit holds the status), as does a mistake. Qt's options (-platform,
// -style, ...) are taken out by QApplication: before it has run, pass
// leaveOthers so that they, and anything else unknown, are left alone.
struct StartCommand {
    StartOptions options;
    std::optional<int> exit;
};
StartCommand ParseStartOptions(int argc, const char* const* argv, bool leaveOthers);

// Where the program finds its database, help pages and English catalogue,
// one line each to out; 0 when all are there and usable, else 1. Lets a user
// (and the packaging tests) see that an installed copy is complete.
int CheckInstallation(std::ostream& out);

// The system language as far as Chinese goes: Chinese when a font that
// covers Chinese is installed (the interface then renders, whatever the
// locale says, "C" included), else the locale's language.
uint16_t LanguageForChineseCheck();

class CVelmoraApp : public QObject {
    Q_OBJECT
public:
    CVelmoraApp();
    ~CVelmoraApp() override;

    // The start-up sequence; false when the program cannot start.
    bool InitInstance(const StartOptions& options);
    CMainFrame* mainFrame() const { return m_frame.get(); }

    // Loads the catalogue of g_language (English unless it is 4) and, for
    // Chinese, Qt's own Chinese texts (when installQtChinese); false when the
    // English catalogue is missing.
    bool InstallTranslations(bool installQtChinese = true);
    static QString EnglishCatalogPath();

private:
    bool startSimulatedDrive(const StartOptions& start);
    // What the first window does not show: the simulated drive, Qt's own
    // Chinese texts (its dialogs' buttons) and the window icon. false when
    // the simulated drive cannot start.
    bool finishStart(const StartOptions& options);

    std::unique_ptr<QTranslator> m_english;
    std::unique_ptr<QTranslator> m_qtChinese;
    std::unique_ptr<hx::sim::InProcessDrive> m_drive;
    // The program's link: it outlives the frame, which holds the connection on it.
    std::unique_ptr<CQXCOM> m_link;
    std::unique_ptr<CMainFrame> m_frame;
};

}  // namespace hx::gui
