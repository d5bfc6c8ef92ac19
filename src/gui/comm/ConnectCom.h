#pragma once
// The connection window: opens the port, checks that the chosen station
// answers, reads the drive's identity and attribute blocks, looks up the
// model to display and switches the program to the connected state. It also
// searches stations 0..63 and offers offline use.

#include "gui/widgets/FunctionWindow.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace hx::gui {

class CMainFrame;

class CConnectCom : public FunctionWindow {
    Q_OBJECT
public:
    explicit CConnectCom(CMainFrame* frame, QWidget* parent = nullptr);

    QComboBox* portCombo() const { return m_port; }
    QComboBox* baudCombo() const { return m_baud; }
    QComboBox* stationCombo() const { return m_station; }
    QPushButton* connectButton() const { return m_connect; }
    QPushButton* searchButton() const { return m_search; }
    QPushButton* offlineButton() const { return m_offline; }
    QLabel* statusLabel() const { return m_status; }
    bool searching() const;

    static constexpr int kSearchTickMs = 50;
    static constexpr int kCloseDelayMs = 500;
    static constexpr int kStations = 64;

    void onConnect();
    void onSearch();
    void onOffline();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void configurePort();
    void searchTick();
    void finishConnect();
    // The model to display; empty when the database is missing or has no row.
    bool lookupDisplayModel(QString* display);

    CMainFrame* m_frame;
    QComboBox* m_port;
    QComboBox* m_baud;
    QComboBox* m_station;
    QPushButton* m_connect;
    QPushButton* m_search;
    QLabel* m_status;
    QPushButton* m_offline;
    QTimer* m_searchTimer;
    QTimer* m_closeTimer;
    uint16_t m_searchStation = 0;
};

}  // namespace hx::gui
