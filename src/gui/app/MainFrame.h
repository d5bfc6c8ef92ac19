#pragma once
// The main window: menu, toolbar, the connected/disconnected state of the
// drive commands, and the commands that need no window of their own.

#include <QHash>
#include <QMainWindow>

#include "core/backup/ChangeGate.h"
#include "core/writes/StorageCommand.h"
#include "core/util/Job.h"

class CQXCOM;
class QAction;
class QToolBar;

namespace hx::gui {

class CVelmoraView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // The frame holds the connection: the link it is given (which outlives
    // it) and the station it was connected to. Each function window gets the
    // drive handle of that connection when it opens, and works with no other.
    explicit CMainFrame(CQXCOM& link, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CVelmoraView* view() const { return m_view; }
    QAction* action(int commandId) const { return m_actions.value(commandId); }
    // Pauses the simulated drive's motion controller (visible with --simulate only).
    QAction* pauseSimulatedMotionAction() const { return m_pauseSimulatedMotion; }
    QToolBar* toolBar() const { return m_toolBar; }

    // Enables or grays the drive commands. Connected again (to whatever
    // drive), it tells the windows that keep a drive's values (connected()).
    void SetConnected(bool connected);
    bool IsConnected() const { return m_connected != 0; }

    // The program's change gate: every window that changes a drive is given it.
    hx::ChangeGate& changeGate() { return m_gate; }
    // The program's link, for the connection windows and the status bar.
    CQXCOM& link() const { return m_link; }
    // The drive of the connection as it stands now (station and firmware
    // the connection window read): what a window opened now works with.
    hx::DriveHandle drive() const;
    // How the storage commands of the frame and of its windows wait between
    // polls (empty: the real clock). A test steps a simulated drive's clock.
    void SetStorageWait(hx::StorageWait wait);
    const hx::StorageWait& storageWait() const { return m_storageWait; }

    // Runs a command as the menu, the toolbar or an accelerator would.
    void runCommand(int commandId);

    // The exit question; true when the user chose to leave.
    bool confirmExit();
    // Leaves as "退出" does, without the question: asked by a signal.
    void exitWithoutAsking();

    // "保存驱动器参数": the write of 1 to register 90 and its polls run on a
    // worker; the window stays painting in a busy state meanwhile.
    void saveDriveParameters();
    bool busy() const;

signals:
    void saveDriveParametersFinished(bool success);
    // A connection (or offline use) began: the drive may be another one.
    void connected();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    QAction* addCommand(QMenu* menu, int id, const QString& text);
    void updateCommandStates();
    void startDebugTool();
    void startCalculator();
    void showHelp();
    void chooseChinese();
    void chooseEnglish();
    void onDriveParametersSaved(const hx::StorageResult& result);
    void openWizard();

    CQXCOM& m_link;
    hx::StorageWait m_storageWait;
    CVelmoraView* m_view = nullptr;
    QToolBar* m_toolBar = nullptr;
    QHash<int, QAction*> m_actions;
    QAction* m_pauseSimulatedMotion = nullptr;
    int m_connected = 0;
    bool m_exitConfirmed = false;
    // Outlives every window and job that writes through it: the windows go
    // first, in the destructor.
    hx::ChangeGate m_gate;
    // Stopped and joined before the frame goes (its destructor).
    hx::StorageCommandJob m_storageJob;
    // Closes the port for the debug tool: closing may wait for the link.
    hx::Job m_portJob;
};

}  // namespace hx::gui
