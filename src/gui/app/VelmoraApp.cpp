#include "gui/widgets/SimulatedMotion.h"
#include "gui/app/VelmoraApp.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <QWindow>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

#include "core/Globals.h"
#include "core/util/CommandLine.h"
#include "core/app/LanguageSettings.h"
#include "core/app/SystemLanguage.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "core/link/PortResolver.h"
#include "core/settings/AppPaths.h"
#include "gui/app/MainFrame.h"
#include "gui/widgets/Messages.h"
#include "sim/InProcessDrive.h"

namespace hx::gui {
namespace {

std::string translateForCore(const char* context, const char* source) {
    return QCoreApplication::translate(context, source).toStdString();
}

// Runs work once, right after the window's first paint: the event loop
// paints the exposed window first, the work follows it. A window the
// platform never exposes (started minimised) gets it a second later.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* window, std::function<void()> work) : QObject(window), m_work(std::move(work)) {
        if (QWindow* handle = window->windowHandle()) handle->installEventFilter(this);
        QTimer::singleShot(kLatestMs, this, [this] { run(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { run(); });
        }
        return false;
    }

private:
    static constexpr int kLatestMs = 1000;
    void run() {
        if (!m_work) return;
        auto work = std::move(m_work);
        m_work = nullptr;
        work();
    }
    std::function<void()> m_work;
};

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addFile(QString(":/icons/halvex-%1.png").arg(size));
    return icon;
}

}  // namespace

StartCommand ParseStartOptions(int argc, const char* const* argv, bool leaveOthers) {
    StartCommand command;
    CLI::App app("The configuration and tuning tool for the drives: connect over a serial line,\n"
                 "read, edit, store and compare parameters.",
                 "halvex");
    hx::cmdline::SetHelpStyle(app);
    app.set_version_flag("--version", std::string("halvex ") + g_programVersion);
    app.add_flag("--simulate", command.options.simulate,
                 "work with a simulated drive behind COM1 instead of a real one");
    app.add_option("--alarm", command.options.alarms,
                   "with --simulate: the simulated drive starts with alarm CODE raised\n(e.g. 9 for Err0009); may be repeated")
        ->type_name("CODE")
        ->check(CLI::Range(1, 32767));
    app.add_flag("--check", command.options.check,
                 "print where the database, help pages and English catalogue are found, then exit\n"
                 "(status 1 when one is missing)");
    app.footer("Qt's own options (-platform NAME, -style NAME, ...) are accepted too.\n"
               "HALVEX_TRACE=FILE in the environment writes every request and reply on the line to FILE\n"
               "(\"-\": standard error), in hex with the time and how long the drive took to answer.");
    app.allow_extras(leaveOthers);
    command.exit = hx::cmdline::Parse(app, argc, argv);
    return command;
}

int CheckInstallation(std::ostream& out) {
    bool complete = true;
    auto report = [&](const char* what, const std::string& path, bool found) {
        out << what << ": " << path << (found ? "" : " (missing)") << "\n";
        complete = complete && found;
    };
    const std::string database = hx::DatabasePath();
    report("database", database, QFileInfo(QString::fromStdString(database)).isReadable());
    const std::string help = hx::DataFolder() + "/HelpFile";
    report("help pages", help, QFileInfo(QString::fromStdString(help)).isDir());
    const QString catalogue = CVelmoraApp::EnglishCatalogPath();
    QTranslator english;
    report("English catalogue", catalogue.toStdString(), english.load(catalogue));
    out.flush();
    return complete ? 0 : 1;
}

uint16_t LanguageForChineseCheck() {
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty()) return hx::kLangChinese;
    return hx::SystemPrimaryLanguage();
}

CVelmoraApp::CVelmoraApp() : m_link(std::make_unique<CQXCOM>()) {}

CVelmoraApp::~CVelmoraApp() {
    m_frame.reset();
    SimulatedMotion::Attach(nullptr);
    if (m_drive) {
        m_link->CloseCom();
        hx::PortResolver::ClearOverride("COM1");
    }
}

QString CVelmoraApp::EnglishCatalogPath() {
    return QString::fromStdString(hx::DataFolder()) + "/i18n/halvex_en.qm";
}

bool CVelmoraApp::InstallTranslations(bool installQtChinese) {
    hx::SetTranslator(&translateForCore);
    bool englishLoaded = false;
    if (g_language != hx::kLangChinese) {
        m_english = std::make_unique<QTranslator>();
        englishLoaded = m_english->load(EnglishCatalogPath());
        if (englishLoaded) {
            QCoreApplication::installTranslator(m_english.get());
        } else {
            m_english.reset();
        }
    }
    if (!englishLoaded && installQtChinese) {
        // Chinese texts are built in; Qt's own buttons need its catalogue.
        m_qtChinese = std::make_unique<QTranslator>();
        if (m_qtChinese->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(m_qtChinese.get());
    }
    return g_language == hx::kLangChinese || englishLoaded;
}

bool CVelmoraApp::startSimulatedDrive(const StartOptions& start) {
    hx::sim::DriveOptions options;
    options.alarms = start.alarms;
    options.stateFile = hx::WritableFolder() + "/Parameters/SimulatedDrive.state";
    // A newcomer's first capture should show a motor at work, not one at rest.
    options.motion = "demo";
    try {
        m_drive = std::make_unique<hx::sim::InProcessDrive>(options);
    } catch (const std::exception& e) {
        ShowMessage(nullptr, QString::fromUtf8(e.what()), {}, MessageIcon::Critical);
        return false;
    }
    hx::PortResolver::SetOverride("COM1", m_drive->DevicePath());
    SimulatedMotion::Attach(&m_drive->Drive());
    return true;
}

bool CVelmoraApp::InitInstance(const StartOptions& options) {

    const auto language = hx::ReadStartupLanguage(LanguageForChineseCheck(), [] {
        return AskYesNo(nullptr, QStringLiteral("To detect the system does not support Chinese, whether to switch to English language ?"),
                        {}, MessageIcon::Question);
    });
    g_language = language.language;
    g_qxModelFlag = language.qxModelFlag;

    // Qt's own Chinese texts are for its dialogs, which the first window
    // does not show.
    if (!InstallTranslations(!options.showWindow))
        ShowMessage(nullptr, QStringLiteral("Unable to load resource DLL!\n\rUse self-resource!"));

    m_frame = std::make_unique<CMainFrame>(*m_link);
    if (!options.showWindow) return finishStart(options);
    m_frame->showMaximized();
    // The window shows first; the rest follows its first paint, long before
    // the connection window (half a second later) or a user needs any of it.
    new AfterFirstPaint(m_frame.get(), [this, options] {
        if (!finishStart(options)) QCoreApplication::exit(1);
    });
    return true;
}

bool CVelmoraApp::finishStart(const StartOptions& options) {
    if (options.showWindow) {
        QApplication::setWindowIcon(ApplicationIcon());
        if (!m_english) {
            m_qtChinese = std::make_unique<QTranslator>();
            if (m_qtChinese->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
                QCoreApplication::installTranslator(m_qtChinese.get());
        }
    }
    return !options.simulate || startSimulatedDrive(options);
}

}  // namespace hx::gui
