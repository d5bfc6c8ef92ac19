#pragma once
// The main window: menu, toolbar, the connected/disconnected state of the
// drive commands, and the commands that need no window of their own.

#include <QHash>
#include <QMainWindow>

#include "core/params/StorageCommand.h"
#include "core/util/Job.h"

class QAction;
class QToolBar;

namespace hx::gui {

class CVelmoraView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    CVelmoraView* view() const { return m_view; }
    QAction* action(int commandId) const { return m_actions.value(commandId); }
    // Pauses the simulated drive's motion controller (visible with --simulate only).
    QAction* pauseSimulatedMotionAction() const { return m_pauseSimulatedMotion; }
    QToolBar* toolBar() const { return m_toolBar; }

    // Enables or grays the drive commands.
    void SetConnected(bool connected);
    bool IsConnected() const { return m_connected != 0; }

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
    // The quick save's job: a test sets its waits.
    hx::StorageCommandJob& storageJob() { return m_storageJob; }

signals:
    void saveDriveParametersFinished(bool success);

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

    CVelmoraView* m_view = nullptr;
    QToolBar* m_toolBar = nullptr;
    QHash<int, QAction*> m_actions;
    QAction* m_pauseSimulatedMotion = nullptr;
    int m_connected = 0;
    bool m_exitConfirmed = false;
    // Stopped and joined before the frame goes (its destructor).
    hx::StorageCommandJob m_storageJob;
    // Closes the port for the debug tool: closing may wait for the link.
    hx::Job m_portJob;
};

}  // namespace hx::gui
