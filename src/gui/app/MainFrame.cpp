#include "gui/widgets/SimulatedMotion.h"
#include "gui/app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QSignalBlocker>
#include <QMenuBar>
#include <QToolBar>

#include "core/Globals.h"
#include "core/app/LanguageSettings.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "gui/app/CommandIds.h"
#include "gui/app/ExternalTools.h"
#include "gui/widgets/HelpWindow.h"
#include "gui/app/VelmoraApp.h"
#include "gui/app/VelmoraView.h"
#include "gui/backup/GateMessages.h"
#include "gui/comm/LinkStatusBar.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {


// Commands enabled only while a drive is connected (or offline use is on).
constexpr int kConnectedCommands[] = {cmd::ParameterManager, cmd::SaveDriveParameters, cmd::Waveform, cmd::RunTest, cmd::Tuning,
                                      cmd::Alarm, cmd::Environment, cmd::Fourier, cmd::ChangeHistory};

bool contains(const int* begin, const int* end, int id) { return std::find(begin, end, id) != end; }

// The toolbar's pictures are built as PNG at this side and twice it
// (src/gui/CMakeLists.txt).
constexpr int kToolBarSide = 35;

}  // namespace

CMainFrame::CMainFrame(CQXCOM& link, QWidget* parent) : QMainWindow(parent), m_link(link) {
    setWindowTitle(TableText(50195));
    setGeometry(100, 30, 1100, 650);
    g_accessLevel = AccessLevel::Ordinary;

    m_view = new CVelmoraView(this);
    setCentralWidget(m_view);
    // Port, station and whether the drive answers, always in sight.
    auto* bar = new LinkStatusBar([this] { return IsConnected(); }, [this] { return drive(); }, this);
    setStatusBar(bar);
    connect(bar, &LinkStatusBar::alarmClicked, this, [this] { runCommand(cmd::Alarm); });
    connect(bar, &LinkStatusBar::reconnectClicked, this, [this] { runCommand(cmd::Connect); });

    buildMenus();
    buildToolBar();
    updateCommandStates();
    m_link.ConfigCom("COM1", "38400", "8", "NONE", "1");
}

hx::DriveHandle CMainFrame::drive() const { return hx::DriveHandle(&m_link, g_station, g_firmwareVersion); }

void CMainFrame::SetStorageWait(hx::StorageWait wait) {
    m_storageWait = wait;
    m_storageJob.SetWait(std::move(wait));
}

CMainFrame::~CMainFrame() {
    // The function windows (and their jobs) end before the gate they write through.
    delete takeCentralWidget();
    m_view = nullptr;
}

QAction* CMainFrame::addCommand(QMenu* menu, int id, const QString& text) {
    auto* action = new QAction(text, this);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    if (menu) menu->addAction(action);
    m_actions.insert(id, action);
    return action;
}

void CMainFrame::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("File"));
    addCommand(file, cmd::FileOpen, tr("Open"))->setShortcut(QKeySequence::Open);
    addCommand(file, cmd::FileSave, tr("Save"))->setShortcut(QKeySequence::Save);
    addCommand(file, cmd::FileSaveAs, tr("Save As"));
    file->addSeparator();
    addCommand(file, cmd::FileExit, tr("Exit"));

    QMenu* comm = menuBar()->addMenu(tr("通 信"));
    addCommand(comm, cmd::Connect, tr("连接驱动器"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    addCommand(comm, cmd::BusOverview, tr("总线概览"));
    addCommand(comm, cmd::CommExit, tr("退 出"));
    // Only with the simulated drive: its motion controller paused or moving.
    m_pauseSimulatedMotion = comm->addAction(tr("暂停模拟运动控制器"));
    m_pauseSimulatedMotion->setCheckable(true);
    m_pauseSimulatedMotion->setVisible(SimulatedMotion::Available());
    connect(m_pauseSimulatedMotion, &QAction::toggled, this, [](bool on) { SimulatedMotion::SetPaused(on); });
    connect(comm, &QMenu::aboutToShow, this, [this] {
        m_pauseSimulatedMotion->setVisible(SimulatedMotion::Available());
        const QSignalBlocker quiet(m_pauseSimulatedMotion);
        m_pauseSimulatedMotion->setChecked(SimulatedMotion::Paused());
    });

    QMenu* show = menuBar()->addMenu(tr("显 示"));
    addCommand(show, cmd::ParameterManager, tr("参数存储管理"));
    addCommand(show, cmd::SaveDriveParameters, tr("保存驱动器参数"));
    addCommand(show, cmd::Waveform, tr("波形显示"));
    addCommand(show, cmd::Fourier, tr("傅里叶分析"));
    addCommand(show, cmd::RunTest, tr("运行测试"));
    addCommand(show, cmd::Tuning, tr("一键整定"));
    addCommand(show, cmd::Alarm, tr("警 报"));
    addCommand(show, cmd::Environment, tr("环境参数设置"));
    addCommand(show, cmd::Wizard, tr("设置向导"));
    addCommand(show, cmd::ChangeHistory, tr("变更记录"));

    QMenu* tools = menuBar()->addMenu(tr("工 具"));
    addCommand(tools, cmd::DebugTool, tr("调试工具"));
    addCommand(tools, cmd::Calculator, tr("计 算 器"));

    QMenu* language = menuBar()->addMenu(tr("语 言"));
    addCommand(language, cmd::LanguageChinese, tr("简体中文"));
    addCommand(language, cmd::LanguageEnglish, tr("English"));

    QMenu* help = menuBar()->addMenu(tr("帮 助"));
    addCommand(help, cmd::Help, tr("操作说明"));
    addCommand(help, cmd::About, tr("平台信息"));
}

void CMainFrame::buildToolBar() {
    m_toolBar = addToolBar(tr("工具栏"));
    m_toolBar->setObjectName("mainToolBar");
    m_toolBar->setIconSize(QSize(kToolBarSide, kToolBarSide));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    QFont font("MS Sans Serif");
    font.setPixelSize(14);
    font.setWeight(QFont::Normal);
    m_toolBar->setFont(font);

    const std::pair<int, const char*> buttons[] = {
        {cmd::Connect, "connect"},   {cmd::ParameterManager, "parameters"}, {cmd::Waveform, "waveform"},
        {cmd::RunTest, "runtest"},   {cmd::Alarm, "alarm"},                 {cmd::SaveDriveParameters, "save"},
    };
    for (const auto& [id, picture] : buttons) {
        // The program's own pictures: the same on every desktop, and no icon
        // theme is searched before the window shows (on a large theme that
        // search took longer than building the rest of the window).
        QIcon icon;
        for (int side : {kToolBarSide, 2 * kToolBarSide})
            icon.addFile(QStringLiteral(":/toolbar/%1-%2.png").arg(QLatin1String(picture)).arg(side));
        QAction* a = m_actions.value(id);
        a->setIcon(icon);
        m_toolBar->addAction(a);
    }
}

void CMainFrame::updateCommandStates() {
    for (QAction* a : std::as_const(m_actions)) {
        const int id = a->data().toInt();
        bool enabled = true;
        if (contains(std::begin(kConnectedCommands), std::end(kConnectedCommands), id)) enabled = m_connected != 0;
        if (id == cmd::SaveDriveParameters && busy()) enabled = false;
        a->setEnabled(enabled);
    }
}

void CMainFrame::SetConnected(bool connected) {
    m_connected = connected ? 1 : 0;
    updateCommandStates();
    if (connected) emit this->connected();
}

bool CMainFrame::busy() const { return m_storageJob.running(); }

void CMainFrame::runCommand(int id) {
    QAction* a = m_actions.value(id);
    if (a && !a->isEnabled()) return;
    switch (id) {
    case cmd::FileExit:
    case cmd::CommExit:
        if (confirmExit()) {
            m_exitConfirmed = true;
            close();
        }
        break;
    case cmd::Connect: m_view->openConnection(); break;
    case cmd::BusOverview: m_view->openBusOverview(); break;
    case cmd::ParameterManager: m_view->openParameterManager(); break;
    case cmd::RunTest: m_view->openRunTest(); break;
    case cmd::Tuning: m_view->openTuning(); break;
    case cmd::Waveform: m_view->openWaveform(); break;
    case cmd::Fourier: m_view->openFourier(); break;
    case cmd::SaveDriveParameters: saveDriveParameters(); break;
    case cmd::Alarm: m_view->openAlarm(); break;
    case cmd::ChangeHistory: m_view->openChangeHistory(); break;
    case cmd::Environment: m_view->openEnvironment(); break;
    case cmd::Wizard: openWizard(); break;
    case cmd::DebugTool: startDebugTool(); break;
    case cmd::Calculator: startCalculator(); break;
    case cmd::LanguageChinese: chooseChinese(); break;
    case cmd::LanguageEnglish: chooseEnglish(); break;
    case cmd::Help: showHelp(); break;
    case cmd::About: m_view->openAbout(); break;
    default: break;  // File Open/Save/Save As do nothing
    }
}

void CMainFrame::exitWithoutAsking() {
    m_exitConfirmed = true;
    close();
}

bool CMainFrame::confirmExit() { return AskYesNo(this, TableText(50161), TableText(50162), MessageIcon::Question); }

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!m_exitConfirmed && !confirmExit()) {
        event->ignore();
        return;
    }
    m_exitConfirmed = false;
    // A test run stops its motor before the program lets go of the port.
    m_view->closeLinkWindows();
    m_storageJob.requestStop();
    m_storageJob.join();
    event->accept();
}

void CMainFrame::saveDriveParameters() {
    if (busy()) return;
    if (!ConfirmSaveToDrive(this)) return;
    QApplication::setOverrideCursor(Qt::BusyCursor);
    // The job reports on its worker thread; the frame handles it on its own.
    m_storageJob.start(m_gate, hx::kQuickSaveToDrive, UiCallback<const hx::StorageResult&>(
        this, [this](const hx::StorageResult& result) { onDriveParametersSaved(result); }), drive());
    updateCommandStates();
}

void CMainFrame::onDriveParametersSaved(const hx::StorageResult& result) {
    QApplication::restoreOverrideCursor();
    updateCommandStates();
    if (result.outcome == hx::StorageOutcome::NotBackedUp) {
        if (OfferToGoOnWithoutBackup(this, m_gate, result.gate, drive())) {
            QApplication::setOverrideCursor(Qt::BusyCursor);
            m_storageJob.start(m_gate, hx::kQuickSaveToDrive, UiCallback<const hx::StorageResult&>(
                this, [this](const hx::StorageResult& again) { onDriveParametersSaved(again); }), drive());
            updateCommandStates();
            return;
        }
    } else if (result.outcome != hx::StorageOutcome::Stopped) {
        ShowSaveToDriveOutcome(this, result);
    }
    emit saveDriveParametersFinished(result.succeeded());
}

void CMainFrame::openWizard() {
    if (g_driveModel != "KRV4") {
        ShowMessage(this, tr("该驱动器不支持向导功能."));
        return;
    }
    m_view->openWizard();
}

void CMainFrame::startDebugTool() {
    // The tool takes the port: a test run stops before the port closes. A
    // window whose job still needs the port to end (a tuning run stopping and
    // putting the previous settings back) keeps it: the port stays open and
    // the user is told which window holds it, as any window refused is.
    if (!m_view->closeLinkWindows()) {
        m_view->refuseWhileLinkBusy();
        return;
    }
    SetConnected(false);
    const auto launch = [this] {
        const QString path = DebugToolPath();
        if (!StartDetached(path)) ShowMessage(this, tr("没有找到调试工具: %1").arg(path), {}, MessageIcon::Warning);
    };
    // The tool starts once the port is free; closing may wait out the late
    // replies of a time-out, on the worker.
    if (!m_portJob.run<int>([&link = m_link](std::stop_token) { return link.CloseCom(); },
                            [this, launch](const int&) { OnUiThread(this, launch); }))
        launch();
}

void CMainFrame::startCalculator() {
    const QString calculator = FindCalculator();
    if (calculator.isEmpty() || !StartDetached(calculator))
        ShowMessage(this, tr("没有找到计算器程序。"), {}, MessageIcon::Warning);
}

void CMainFrame::showHelp() {
    const QString path = MainHelpPath(g_language);
    if (!HelpWindow::instance()->openPage(path))
        ShowMessage(this, tr("没有找到帮助文件: %1").arg(path), {}, MessageIcon::Warning);
}

void CMainFrame::chooseChinese() {
    auto outcome = hx::ChooseChinese(g_language, LanguageForChineseCheck(), [this] {
        return AskYesNo(this, tr("This operating system don't support Simplified Chinese,continue ?"), tr("Language"),
                        MessageIcon::Question);
    });
    switch (outcome) {
    case hx::LanguageChoiceOutcome::AlreadyCurrent: ShowMessage(this, TableText(50158), TableText(50157)); break;
    case hx::LanguageChoiceOutcome::SavedRestartNeeded: ShowMessage(this, TableText(50156), TableText(50157)); break;
    case hx::LanguageChoiceOutcome::ForcedUnsupported:
        ShowMessage(this, tr("Forced switch to nonsupport language, the user interface display messy code!!!"),
                    tr("Switch Language"), MessageIcon::Warning);
        break;
    case hx::LanguageChoiceOutcome::Declined: break;
    }
}

void CMainFrame::chooseEnglish() {
    auto outcome = hx::ChooseEnglish(g_language);
    ShowMessage(this, outcome == hx::LanguageChoiceOutcome::AlreadyCurrent ? TableText(50158) : TableText(50156), TableText(50157));
}

}  // namespace hx::gui
