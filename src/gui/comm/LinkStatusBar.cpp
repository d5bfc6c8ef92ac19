#include "gui/comm/LinkStatusBar.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/link/CQXCOM.h"
#include "core/link/PortResolver.h"
#include "gui/widgets/SimulatedMotion.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {

// Qt parses a style sheet, and makes a style for its widget, when the sheet
// is given. The first window shows neither coloured button: each gets its
// colours when it is first shown.
void SetVisibleStyled(QPushButton* button, bool visible, const QString& sheet) {
    if (visible && button->styleSheet().isEmpty()) button->setStyleSheet(sheet);
    button->setVisible(visible);
}

const QString kAlarmColours = QStringLiteral("color: white; background: #c00000; padding: 0 6px; border: none;");
const QString kPausedColours = QStringLiteral("color: black; background: #ffd27f; padding: 0 6px; border: none;");

}  // namespace

LinkStatusBar::LinkStatusBar(std::function<bool()> connected, std::function<hx::DriveHandle()> drive, QWidget* parent)
    : QStatusBar(parent), m_connected(std::move(connected)), m_drive(std::move(drive)) {
    setObjectName(QStringLiteral("linkStatusBar"));
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("linkState"));
    m_port = new QLabel(this);
    m_station = new QLabel(this);
    m_counters = new QLabel(this);
    m_alarm = new QPushButton(this);
    m_alarm->setObjectName(QStringLiteral("linkAlarm"));
    m_alarm->setFlat(true);
    m_alarm->setCursor(Qt::PointingHandCursor);
    m_alarm->setToolTip(tr("点击打开警报窗口"));
    m_alarm->hide();
    connect(m_alarm, &QPushButton::clicked, this, &LinkStatusBar::alarmClicked);
    m_reconnect = new QPushButton(tr("重新连接"), this);
    m_reconnect->setObjectName(QStringLiteral("linkReconnect"));
    m_reconnect->setToolTip(tr("端口已回来：在连接窗口中重新连接"));
    m_reconnect->hide();
    connect(m_reconnect, &QPushButton::clicked, this, &LinkStatusBar::reconnectClicked);
    // A paused simulated motion controller leaves the motor still with no
    // other sign of it: said here until it goes on.
    m_simulatedMotion = new QPushButton(tr("模拟运动控制器已暂停"), this);
    m_simulatedMotion->setObjectName(QStringLiteral("simulatedMotion"));
    m_simulatedMotion->setFlat(true);
    m_simulatedMotion->setCursor(Qt::PointingHandCursor);
    m_simulatedMotion->setToolTip(tr("点击继续模拟运动（也可在“通 信”菜单中继续）"));
    m_simulatedMotion->hide();
    connect(m_simulatedMotion, &QPushButton::clicked, this, [this] {
        SimulatedMotion::SetPaused(false);
        refresh();
    });
    addWidget(m_state);
    addWidget(m_reconnect);
    addWidget(m_alarm);
    addWidget(m_port);
    addWidget(m_station);
    addWidget(m_simulatedMotion);
    addPermanentWidget(m_counters);
    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, [this] { refresh(); });
    m_timer->start();
    refresh();
}

void LinkStatusBar::refresh() { refresh(hx::AlarmWatch::Clock::now()); }

void LinkStatusBar::refresh(hx::AlarmWatch::Clock::time_point now) {
    const CQXCOM::Health health = link().GetHealth();
    const bool online = health.open && link().CurrentUseMode() != 0;
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
    SetVisibleStyled(m_simulatedMotion, SimulatedMotion::Available() && SimulatedMotion::Paused(), kPausedColours);

    // A lost device that is back: the port has to be opened anew.
    m_reconnect->setVisible(online && m_connected && m_connected() && health.portLost &&
                            PortResolver::DevicePresent(link().PortName()));

    m_linkUp = online && m_connected && m_connected() && !health.portLost;
    if (!m_linkUp) m_alarm->hide();
    m_watch.Tick(now, m_linkUp, m_drive(), DatabaseConnectionString(), g_language == 9,
                 [this](const hx::CurrentAlarmReading& r) { OnUiThread(this, [this, r] { showAlarm(r); }); });
}

void LinkStatusBar::showAlarm(const hx::CurrentAlarmReading& r) {
    using State = hx::CurrentAlarmReading::State;
    // A reading that comes in after the link went down shows nothing.
    if (!m_linkUp) {
        m_alarm->hide();
    } else if (r.state == State::Alarm) {
        const QString number = QString::fromStdString(r.number);
        m_alarm->setText(r.names.empty() ? tr("报警 %1").arg(number)
                                         : tr("报警 %1 %2").arg(number, QString::fromStdString(r.names.front())));
        SetVisibleStyled(m_alarm, true, kAlarmColours);
    } else if (r.state == State::NoAlarm) {
        m_alarm->hide();
    }
    // No answer: the state label already says so in red; the last alarm read stays.
    emit alarmRead();
}

QString LinkStatusBar::alarmText() const { return m_alarm->isHidden() ? QString() : m_alarm->text(); }

bool LinkStatusBar::alarmShown() const { return !m_alarm->isHidden(); }

QString LinkStatusBar::portText() const {
    const QString name = QString::fromStdString(link().PortName());
    const QString target = QString::fromStdString(link().TransportDescription());
    return target.isEmpty() || target == name ? name : name + QStringLiteral(" (") + target + QStringLiteral(")");
}

QString LinkStatusBar::stationText() const { return tr("站号 %1").arg(m_drive().station()); }

QString LinkStatusBar::stateText() const {
    const CQXCOM::Health health = link().GetHealth();
    const bool connected = m_connected && m_connected();
    if (connected && link().CurrentUseMode() == 0) return tr("脱机使用");
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
    const CQXCOM::Health h = link().GetHealth();
    return tr("请求 %1  重发 %2  无应答 %3  损坏 %4  迟到 %5")
        .arg(h.requests)
        .arg(h.retries)
        .arg(h.unanswered)
        .arg(h.damaged)
        .arg(h.late);
}

}  // namespace hx::gui
