#include "gui/comm/ConnectCom.h"

#include <algorithm>

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "core/Globals.h"
#include "core/alarms/AlarmSequences.h"
#include "core/app/DriveConnection.h"
#include "core/db/CADO.h"
#include "core/db/ModelMapping.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/protocol/Registers.h"
#include "core/settings/EnvSettings.h"
#include "gui/backup/GateMessages.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/ProgramDatabase.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
CConnectCom::CConnectCom(CQXCOM& link, ChangeGate& gate, QWidget* parent)
    : FunctionWindow(tr("串口通信"), LinkUse::HoldsLink, parent), m_link(link), m_gate(gate) {
    m_port = new QComboBox;
    for (int i = 1; i <= 9; ++i) m_port->addItem(QStringLiteral("COM%1").arg(i));
    m_baud = new QComboBox;
    m_baud->addItems({"9600", "19200", "38400"});
    m_station = new QComboBox;
    for (int i = 0; i < kStations; ++i) m_station->addItem(QString::number(i));
    m_connect = new QPushButton(TableText(50006));
    m_search = new QPushButton(tr("查找设备"));
    m_status = new QLabel;
    m_status->setMinimumWidth(160);
    m_offline = new QPushButton(tr("脱机使用"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("通信端口:")), 0, 0);
    grid->addWidget(m_port, 0, 1);
    grid->addWidget(new QLabel(tr("波特率:")), 1, 0);
    grid->addWidget(m_baud, 1, 1);
    grid->addWidget(new QLabel(tr("设备号:")), 2, 0);
    grid->addWidget(m_station, 2, 1);
    grid->addWidget(m_connect, 0, 2);
    grid->addWidget(m_search, 1, 2);
    grid->addWidget(m_offline, 2, 2);
    grid->addWidget(m_status, 3, 0, 1, 3);

    m_closeTimer = new QTimer(this);
    m_closeTimer->setSingleShot(true);
    m_closeTimer->setInterval(kCloseDelayMs);
    connect(m_closeTimer, &QTimer::timeout, this, &FunctionWindow::closeWindow);

    connect(m_connect, &QPushButton::clicked, this, &CConnectCom::onConnect);
    connect(m_search, &QPushButton::clicked, this, &CConnectCom::onSearch);
    connect(m_offline, &QPushButton::clicked, this, &CConnectCom::onOffline);

    // Only the last character of the stored port counts ("COM12" picks COM2).
    const QString port = QString::fromStdString(hx::env::Read(hx::env::kComSetting, "COM", "COM1")).trimmed();
    const int n = port.isEmpty() ? 0 : port.right(1).toInt();
    m_port->setCurrentIndex(n >= 1 && n <= 9 ? n - 1 : -1);
    m_baud->setCurrentIndex(2);
    const int station = hx::env::ReadInt(hx::env::kDrive, "DriveNo", "63");
    m_station->setCurrentIndex(station >= 0 && station < kStations ? station : -1);

    const bool open = m_link.GetConnectStatus() != 0;
    m_connect->setText(open ? TableText(50005) : TableText(50006));
    m_search->setEnabled(!open);
}

void CConnectCom::keyPressEvent(QKeyEvent* event) {
    // Enter never closes this window.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    FunctionWindow::keyPressEvent(event);
}

void CConnectCom::closeEvent(QCloseEvent* event) {
    // A search holds the port open only while it runs; closing ends it (the
    // worker closes the port), so the next window does not find a port open
    // with no drive connected. A connect in progress finishes first.
    m_closing = true;
    m_job.requestStop();
    m_job.join();
    m_searching = m_connecting = m_disconnecting = false;
    FunctionWindow::closeEvent(event);
}

void CConnectCom::configurePort() {
    g_station = static_cast<uint8_t>(m_station->currentText().toInt());
    m_link.ConfigCom(m_port->currentText().toStdString(), m_baud->currentText().toStdString(), "8", "NONE", "2");
    m_link.SetLateHorizon(static_cast<uint32_t>(hx::env::LateHorizonMs()));
}

void CConnectCom::onConnect() {
    if (busy()) return;
    if (m_link.GetConnectStatus()) {
        // Closing may wait for the link: for a request still running, or for
        // the late replies a time-out leaves on the line, which must not reach
        // the next program to open the port. That wait is the worker's.
        m_disconnecting = true;
        for (QPushButton* b : {m_connect, m_search, m_offline}) b->setEnabled(false);
        const bool started = m_job.run<int>([&link = m_link](std::stop_token) { return link.CloseCom(); },
                                            [this](const int&) { OnUiThread(this, [this] { onDisconnected(); }); });
        if (!started) onDisconnected();
        return;
    }
    const int delay = hx::env::ReadInt(hx::env::kReadComDelay, "DelayTime", "50");
    configurePort();

    m_connecting = true;
    for (QPushButton* b : {m_connect, m_search, m_offline}) b->setEnabled(false);
    setCursor(Qt::BusyCursor);
    const uint8_t station = g_station;
    const bool started = m_job.run<hx::ConnectOutcome>(
        [this, station, delay](std::stop_token) {
            return hx::ConnectToDrive(m_link, station, static_cast<uint16_t>(delay), theParameterTable, [this] {
                OnUiThread(this, [this] { onAnswered(); });
            });
        },
        [this](const hx::ConnectOutcome& outcome) {
            OnUiThread(this, [this, outcome] { onConnectDone(outcome); });
        });
    if (!started) {
        m_connecting = false;
        unsetCursor();
    }
}

void CConnectCom::onDisconnected() {
    m_disconnecting = false;
    const bool closed = m_link.GetConnectStatus() == 0;
    emit connectionChanged(!closed);
    if (m_closing) return;
    for (QPushButton* b : {m_connect, m_offline}) b->setEnabled(true);
    m_search->setEnabled(closed);
    m_connect->setText(TableText(closed ? 50006 : 50005));
    if (!closed) ShowMessage(this, tr("关闭串口失败，请检查线路与设备！"), tr("关闭串口失败"));
}

void CConnectCom::onAnswered() {
    if (m_closing) return;
    // The drive answered: the settings remember the port and the station.
    hx::env::Write(hx::env::kComSetting, "COM", m_port->currentText().toStdString());
    hx::env::Write(hx::env::kDrive, "DriveNo", m_station->currentText().toStdString());
    emit connectionChanged(true);
}

void CConnectCom::onConnectDone(const hx::ConnectOutcome& outcome) {
    if (m_closing) return;
    m_connecting = false;
    unsetCursor();
    m_connect->setEnabled(true);
    m_offline->setEnabled(true);
    switch (outcome.step) {
    case hx::ConnectOutcome::Step::OpenFailed:
        emit connectionChanged(false);
        m_connect->setText(TableText(50006));
        m_search->setEnabled(true);
        ShowMessage(this, tr("打开串口失败,可能线路异常或端口被占用!"), tr("打开串口失败"));
        return;
    case hx::ConnectOutcome::Step::NoAnswer:
        m_search->setEnabled(true);
        ShowMessage(this, tr("连接驱动器失败，请检查通信线路或设备机号是否异常！"), tr("连接失败"));
        return;
    case hx::ConnectOutcome::Step::Connected:
        finishConnect(outcome.report);
        return;
    }
}

void CConnectCom::finishConnect(const hx::ConnectedDriveReport& report) {
    for (const std::string& message : report.attributeMessages) ShowMessage(this, QString::fromStdString(message));
    if (!report.watchdogRestored.empty()) {
        const QString text = QString::fromStdString(report.watchdogRestored);
        // The drive stopped the motor by itself and holds its communication
        // alarm, which refuses the next start: offer to clear it here.
        if (!report.communicationAlarm)
            ShowMessage(this, text);
        else if (AskForAction(this, text, tr("试运行没有正常结束"), MessageIcon::Warning, tr("清除报警")))
            m_clearingAlarm = clearCommunicationAlarm();
    }

    QString display;
    if (!lookupDisplayModel(&display)) {
        // The port is closed by now; a program that looks connected would
        // send every window's requests into a closed port.
        g_displayModel.clear();
        emit connectionChanged(false);
        m_connect->setText(TableText(50006));
        m_search->setEnabled(true);
        return;
    }
    g_displayModel = display.toStdString();
    emit titleChanged(TableText(50195).trimmed() + " for " + display.trimmed());
    m_connect->setText(TableText(50005));
    TellOfUnfinishedWrite(this, m_gate, hx::DriveHandle(&m_link, g_station));
    // The window closes itself once the alarm clear has said how it went.
    if (!m_clearingAlarm) m_closeTimer->start();
}

bool CConnectCom::clearCommunicationAlarm() {
    const uint8_t station = g_station;
    return m_job.run<hx::ClearResult>(
        [station, &link = m_link](std::stop_token stop) {
            hx::DriveHandle drive(&link, station);
            hx::ClearResult result = hx::ClearCurrentFault(drive, stop);
            // Cleared only when the drive no longer shows an alarm.
            const auto current = hx::ReadCurrentAlarm(drive);
            if (result.cleared() && (!current || *current > 0)) result.outcome = hx::ClearOutcome::NotCleared;
            return result;
        },
        [this](const hx::ClearResult& result) {
            OnUiThread(this, [this, result] {
                if (m_closing) return;
                m_clearingAlarm = false;
                ShowMessage(this, result.cleared() ? tr("报警已清除。") : tr("报警没有清除，请在报警窗口中查看。"),
                            tr("清除报警"), result.cleared() ? MessageIcon::Information : MessageIcon::Warning);
                m_closeTimer->start();
            });
        });
}

bool CConnectCom::lookupDisplayModel(QString* display) {
    display->clear();
    CADO db;
    if (!OpenProgramDatabase(db, this)) return true;  // go on without database texts
    try {
        auto model = hx::LookupDisplayModel(db, g_productModel, g_qxModelFlag != 0);
        if (model) {
            *display = QString::fromStdString(*model);
            return true;
        }
        ShowMessage(this, QStringLiteral("Model not supported for this product!"));
    } catch (const DbError& e) {
        ShowDatabaseError(this, e.Description());
    }
    m_link.CloseCom();
    return false;
}

void CConnectCom::onSearch() {
    if (m_connecting) return;
    configurePort();
    if (!m_searchOffersStop) {
        m_connect->setEnabled(false);
        setSearchOffersStop(true);
        m_searching = true;
        const bool started = m_job.run<int>(
            [this](std::stop_token stop) {
                return hx::SearchStations(m_link, 0, kStations - 1, std::chrono::milliseconds(kSearchTickMs), stop,
                                          [this](int station, bool found) {
                                              OnUiThread(
                                                  this, [this, station, found] { onSearchStep(station, found); });
                                          });
            },
            [this](const int& result) {
                OnUiThread(this, [this, result] { onSearchDone(result); });
            });
        if (!started) m_searching = false;
    } else {
        // "停 止": a running search ends at its next station and closes the port.
        m_job.requestStop();
        m_job.join();
        m_searching = false;
        m_connect->setEnabled(true);
        setSearchOffersStop(false);
    }
}

void CConnectCom::setSearchOffersStop(bool stop) {
    m_searchOffersStop = stop;
    m_search->setText(stop ? TableText(50014) : tr("查找设备"));
}

void CConnectCom::onSearchStep(int station, bool found) {
    if (m_closing || !m_searching) return;
    if (found) {
        m_station->setCurrentIndex(station);
        m_status->setText(tr("找到设备:") + QString::number(station));
    } else {
        m_status->setText(tr("完成:") + QString::number(station) + " / 63");
    }
}

void CConnectCom::onSearchDone(int result) {
    if (m_closing || !m_searching) return;
    m_searching = false;
    if (result == -2) {
        // Nothing to search on: say so and offer the buttons again.
        m_connect->setEnabled(true);
        setSearchOffersStop(false);
        ShowMessage(this, tr("打开串口失败,可能线路异常或端口被占用!"), tr("打开串口失败"));
        return;
    }
    if (result == -1) m_status->setText(tr("没有找到相关驱动器!"));
    m_connect->setEnabled(true);
}

void CConnectCom::onOffline() {
    if (busy()) return;
    m_link.SetCurrentUseMode(0);
    emit connectionChanged(true);
    emit titleChanged(TableText(50019));
    g_driveModel = "KRV7";
    closeWindow();
}

}  // namespace hx::gui
