#pragma once
// "总线概览": every drive on the configured ports in one list, with its
// model, firmware, current alarm and whether its settings differ from a
// chosen reference file. The search (BusScanJob) runs on workers, a port
// each, at the connection window's pace; a double-click connects to a drive
// (or "连接" on the selected row) connects to a drive through the
// connection window, as if chosen there; "刷新报警" asks the listed drives
// for their alarms only. While a drive is connected, "断开并搜索" lets the
// port go first.

#include <QString>
#include <chrono>
#include <map>
#include <set>
#include <utility>

#include "core/app/BusOverview.h"
#include "core/db/CADO.h"
#include "gui/widgets/FunctionWindow.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace hx::gui {

class CBusOverview : public FunctionWindow {
    Q_OBJECT
public:
    enum Column { PortColumn, StationColumn, ModelColumn, FirmwareColumn, AlarmColumn, ReferenceColumn, Columns };

    // link: the program's, closed before the ports are scanned when open.
    explicit CBusOverview(CQXCOM& link, QWidget* parent = nullptr);
    ~CBusOverview() override;

    QListWidget* portList() const { return m_ports; }
    QComboBox* baudCombo() const { return m_baud; }
    QLineEdit* referenceEdit() const { return m_reference; }
    QPushButton* searchButton() const { return m_search; }
    QPushButton* refreshButton() const { return m_refresh; }
    // "连接": the selected drive, as a double-click on its row.
    QPushButton* connectButton() const { return m_connect; }
    QPushButton* chooseReferenceButton() const { return m_choose; }
    QTableWidget* table() const { return m_table; }
    QLabel* statusLabel() const { return m_status; }
    bool busy() const { return m_job.running(); }

    // The search's pace per station and the stations it asks.
    static constexpr std::chrono::milliseconds kSearchPace{50};
    static constexpr int kFirstStation = 0, kLastStation = 63;
    // Tests search a few stations rather than all 64.
    void setStationRange(int first, int last);
    const hx::BusScanRequest& lastRequest() const { return m_request; }

    void onSearch();
    void onRefresh();
    void onChooseReference();
    // As a double-click on the row does.
    void connectToRow(int row);

signals:
    // The search or refresh has ended.
    void finished();
    // The program's connection ended (the search needs the port).
    void connectionChanged(bool connected);
    // The user chose a drive of the table: the connection window connects
    // to it as if it had been chosen there.
    void connectRequested(const QString& port, const QString& baud, int station);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CQXCOM& m_link;
    void onSearched(const QString& port, int station, bool found);
    void onDrive(const hx::BusDrive& drive);
    void onPortFailed(const QString& port, const QString& reason);
    void onFinished();
    hx::BusScanCallbacks callbacks();
    int rowOf(const std::string& port, int station);
    QString alarmText(const std::optional<int>& alarm);
    QString modelText(const hx::BusDrive& drive);
    void updateButtons();
    void showProgress();

    QListWidget* m_ports;
    QComboBox* m_baud;
    QLineEdit* m_reference;
    QPushButton* m_choose;
    QPushButton* m_clearReference;
    QPushButton* m_search;
    QPushButton* m_refresh;
    QPushButton* m_connect;
    QTableWidget* m_table;
    QLabel* m_status;

    int m_first = kFirstStation, m_last = kLastStation;
    hx::BusScanRequest m_request;
    std::map<std::pair<std::string, int>, hx::BusDrive> m_drives;
    std::map<QString, QString> m_progress;  // per port: "12 / 63" or why it failed
    std::set<QString> m_failedPorts;
    std::map<QString, QString> m_reasons;  // per failed port: the system's words
    bool m_closing = false;
    CADO m_db;
    bool m_haveDb = false;
    // Stopped and joined before the window goes.
    hx::BusScanJob m_job;
};

}  // namespace hx::gui
