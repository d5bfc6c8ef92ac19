#pragma once
// The connection window: opens the port, checks that the chosen station
// answers, reads the drive's identity and attribute blocks, looks up the
// model to display and switches the program to the connected state. It also
// searches stations 0..63 and offers offline use. The connect sequence (some
// seventy requests) and the search run on a worker, so the window keeps
// painting whatever the baud rate and the time-out.

#include "core/app/DriveConnection.h"
#include "core/util/Job.h"
#include "gui/widgets/FunctionWindow.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace hx {
class ChangeGate;
}

namespace hx::gui {

class CConnectCom : public FunctionWindow {
    Q_OBJECT
public:
    // link: the program's, which the window configures, opens and closes.
    // The gate is the program's: a whole-set write it knows was cut short is
    // told at connect.
    CConnectCom(CQXCOM& link, ChangeGate& gate, QWidget* parent = nullptr);

    QComboBox* portCombo() const { return m_port; }
    QComboBox* baudCombo() const { return m_baud; }
    QComboBox* stationCombo() const { return m_station; }
    QPushButton* connectButton() const { return m_connect; }
    QPushButton* searchButton() const { return m_search; }
    QPushButton* offlineButton() const { return m_offline; }
    QLabel* statusLabel() const { return m_status; }
    bool searching() const { return m_searching; }
    // Connecting, searching or closing the port: the link is the worker's.
    bool busy() const { return m_connecting || m_searching || m_disconnecting; }

    static constexpr int kSearchTickMs = 50;
    static constexpr int kCloseDelayMs = 500;
    static constexpr int kStations = 64;

    void onConnect();
    void onSearch();
    void onOffline();

signals:
    // The program is connected to a drive (or works offline), or no longer:
    // the main frame enables its commands by it.
    void connectionChanged(bool connected);
    // The main window's title for the drive just connected.
    void titleChanged(const QString& title);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    CQXCOM& m_link;
    ChangeGate& m_gate;
    void configurePort();
    void onAnswered();
    void onConnectDone(const hx::ConnectOutcome& outcome);
    void onDisconnected();
    void onSearchStep(int station, bool found);
    void onSearchDone(int result);
    // The search button's caption follows the state.
    void setSearchOffersStop(bool stop);
    // Clears the drive's current alarm on the worker and says how it went.
    // False when it could not start.
    bool clearCommunicationAlarm();
    void finishConnect(const hx::ConnectedDriveReport& report);
    // The model to display; empty when the database is missing or has no row.
    bool lookupDisplayModel(QString* display);

    QComboBox* m_port;
    QComboBox* m_baud;
    QComboBox* m_station;
    QPushButton* m_connect;
    QPushButton* m_search;
    QLabel* m_status;
    QPushButton* m_offline;
    QTimer* m_closeTimer;
    bool m_connecting = false;
    bool m_searching = false;
    bool m_disconnecting = false;
    // The search button offers "停 止" from a search's start until the user
    // presses it again; a search that ran through to its end keeps it so.
    bool m_searchOffersStop = false;
    bool m_closing = false;
    // Stopped and joined before the window goes.
    hx::Job m_job;
    bool m_clearingAlarm = false;
};

}  // namespace hx::gui
