#pragma once
// The main window's status bar: which port and settings the link uses, the
// station, whether the drive answers (and since when it has not), and the
// link's counters since the port was opened. It only looks at the link's
// counters (atomics) a few times a second, so it cannot hold up the window
// or the drive work. The one request it has made is the current alarm's,
// read on a worker while the link is idle (see AlarmWatch) and shown in red
// while an alarm is present; a click on it asks for the alarm window.

#include <QStatusBar>
#include <chrono>
#include <functional>

#include "core/alarms/AlarmWatch.h"
#include "core/link/DriveHandle.h"

class QLabel;
class QPushButton;
class QTimer;

namespace hx::gui {

class LinkStatusBar : public QStatusBar {
    Q_OBJECT
public:
    // connected: whether the frame is in its connected state (online or offline).
    // connected: whether the program counts as connected (or offline);
    // drive: the drive of the connection, whose link and station it shows.
    LinkStatusBar(std::function<bool()> connected, std::function<hx::DriveHandle()> drive, QWidget* parent = nullptr);

    static constexpr int kRefreshMs = 250;

    // Reads the link's state now (the timer does it every kRefreshMs).
    void refresh();
    // The same at a given time: the alarm read is due by this clock.
    void refresh(hx::AlarmWatch::Clock::time_point now);

    QString portText() const;
    QString stationText() const;
    QString stateText() const;
    QString countersText() const;
    // True while the drive does not answer (drawn in red).
    bool silent() const { return m_silent; }

    // The current alarm as shown ("Err0005 过电流"); empty while there is none.
    QString alarmText() const;
    bool alarmShown() const;
    QPushButton* alarmButton() const { return m_alarm; }
    // Shown while the port is lost and its device is back.
    QPushButton* reconnectButton() const { return m_reconnect; }
    // Shown while the simulated drive's motion controller is paused (a click
    // lets it go on).
    QPushButton* simulatedMotionButton() const { return m_simulatedMotion; }
    hx::AlarmWatch& alarmWatch() { return m_watch; }

signals:
    // The user clicked the alarm: the frame opens the alarm window.
    void alarmClicked();
    // A reading of the current alarm has been shown.
    void alarmRead();
    // The user asked to connect again after a lost port.
    void reconnectClicked();

private:
    void showAlarm(const hx::CurrentAlarmReading& reading);

    std::function<bool()> m_connected;
    std::function<hx::DriveHandle()> m_drive;
    // The link of the drive the frame reports.
    CQXCOM& link() const { return *m_drive().comm(); }
    QLabel* m_port;
    QLabel* m_station;
    QLabel* m_state;
    QLabel* m_counters;
    QPushButton* m_alarm;
    QPushButton* m_reconnect;
    QPushButton* m_simulatedMotion;
    QTimer* m_timer;
    bool m_silent = false;
    bool m_linkUp = false;
    // Last: its read is stopped and joined before the labels go.
    hx::AlarmWatch m_watch;
};

}  // namespace hx::gui
