#include "gui/alarms/Alarm.h"

#include <QCloseEvent>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/i18n/StringTable.h"
#include "gui/alarms/AlarmPages.h"

namespace hx::gui {
namespace {
QString str(int id) { return QString::fromStdString(hx::LoadString(id)); }
}  // namespace

CAlarm::CAlarm(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent)
    : FunctionWindow(tr("警报"), LinkUse::HoldsLink, parent) {
    m_tabs = new QTabWidget;
    m_current = new CCurrentAlarm(drive);
    m_history = new CHistoryAlarm(drive);
    m_settings = new CAlarmSettings(drive, gate);
    m_tabs->addTab(m_current, str(50003));
    m_tabs->addTab(m_history, str(50004));
    m_tabs->addTab(m_settings, str(50191));
    m_tabs->setCurrentIndex(CurrentTab);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    resize(520, 520);
    connect(m_tabs, &QTabWidget::currentChanged, this, &CAlarm::onTabChanged);
}

CAlarm::~CAlarm() {
    // The pages' workers end before anything they report to goes.
    m_current->shutDown();
    m_history->shutDown();
    m_settings->shutDown();
}

void CAlarm::onTabChanged(int index) {
    switch (index) {
    case CurrentTab:
        m_history->stopReading();
        m_current->startPolling();
        break;
    case HistoryTab:
        m_current->stopPolling();
        break;
    case SettingsTab:
        m_current->stopPolling();
        m_history->stopReading();
        m_settings->readMask();
        break;
    default: break;
    }
}

void CAlarm::closeEvent(QCloseEvent* event) {
    FunctionWindow::closeEvent(event);
    if (!event->isAccepted()) return;
    m_current->stopPolling();
    m_history->stopReading();
}

}  // namespace hx::gui
