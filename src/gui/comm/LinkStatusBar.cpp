#include "gui/comm/LinkStatusBar.h"

#include <QDateTime>
#include <QLabel>
#include <QTimer>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"

namespace hx::gui {

LinkStatusBar::LinkStatusBar(std::function<bool()> connected, QWidget* parent)
    : QStatusBar(parent), m_connected(std::move(connected)) {
    setObjectName(QStringLiteral("linkStatusBar"));
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("linkState"));
    m_port = new QLabel(this);
    m_station = new QLabel(this);
    m_counters = new QLabel(this);
    addWidget(m_state);
    addWidget(m_port);
    addWidget(m_station);
    addPermanentWidget(m_counters);
    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &LinkStatusBar::refresh);
    m_timer->start();
    refresh();
}

void LinkStatusBar::refresh() {
    const CQXCOM::Health health = theComm.GetHealth();
    const bool online = health.open && theComm.CurrentUseMode() != 0;
    m_silent = online && m_connected && m_connected() && (!health.answering || health.portLost);
    m_state->setText(stateText());
    m_state->setStyleSheet(m_silent ? QStringLiteral("color: white; background: #c00000; padding: 0 4px;")
                                    : QString());
    m_port->setText(portText());
    m_station->setText(stationText());
    m_counters->setText(countersText());
    m_port->setVisible(online);
    m_station->setVisible(online);
    m_counters->setVisible(health.open);
}

QString LinkStatusBar::portText() const {
    const QString name = QString::fromStdString(theComm.PortName());
    const QString target = QString::fromStdString(theComm.TransportDescription());
    return target.isEmpty() || target == name ? name : name + QStringLiteral(" (") + target + QStringLiteral(")");
}

QString LinkStatusBar::stationText() const { return tr("站号 %1").arg(g_station); }

QString LinkStatusBar::stateText() const {
    const CQXCOM::Health health = theComm.GetHealth();
    const bool connected = m_connected && m_connected();
    if (connected && theComm.CurrentUseMode() == 0) return tr("脱机使用");
    if (!connected || !health.open) return tr("未连接");
    if (health.portLost) return tr("端口已断开");
    if (!health.answering) {
        const QDateTime since = QDateTime::fromMSecsSinceEpoch(
            std::chrono::duration_cast<std::chrono::milliseconds>(health.silentSince.time_since_epoch()).count());
        return tr("驱动器无应答（自 %1 起）").arg(since.toString(QStringLiteral("HH:mm:ss")));
    }
    return tr("已连接");
}

QString LinkStatusBar::countersText() const {
    const CQXCOM::Health h = theComm.GetHealth();
    return tr("请求 %1  重发 %2  无应答 %3  损坏 %4  迟到 %5")
        .arg(h.requests)
        .arg(h.retries)
        .arg(h.unanswered)
        .arg(h.damaged)
        .arg(h.late);
}

}  // namespace hx::gui
