#pragma once
// The alarm window: a tab control with the current alarm, the history and
// the fault-detection settings. Only the page in view talks to the drive:
// choosing a tab stops the other pages' polls and reads.

#include "gui/widgets/FunctionWindow.h"

namespace hx {
class ChangeGate;
class DriveHandle;
}

class QTabWidget;

namespace hx::gui {

class CCurrentAlarm;
class CHistoryAlarm;
class CAlarmSettings;

class CAlarm : public FunctionWindow {
    Q_OBJECT
public:
    // drive: the connection's drive; gate: the program's change gate (the
    // settings page writes through it).
    CAlarm(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent = nullptr);
    ~CAlarm() override;

    QTabWidget* tabs() const { return m_tabs; }
    CCurrentAlarm* currentPage() const { return m_current; }
    CHistoryAlarm* historyPage() const { return m_history; }
    CAlarmSettings* settingsPage() const { return m_settings; }

    enum Tab { CurrentTab = 0, HistoryTab = 1, SettingsTab = 2 };

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void onTabChanged(int index);

    QTabWidget* m_tabs;
    CCurrentAlarm* m_current;
    CHistoryAlarm* m_history;
    CAlarmSettings* m_settings;
};

}  // namespace hx::gui
