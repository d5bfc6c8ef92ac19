#include "gui/app/VelmoraView.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "gui/alarms/Alarm.h"
#include "gui/app/AboutDlg.h"
#include "gui/app/EnvironmentSetting.h"
#include "gui/widgets/GuiState.h"
#include "gui/app/MainFrame.h"
#include "gui/backup/ChangeHistory.h"
#include "gui/comm/BusOverview.h"
#include "gui/comm/ConnectCom.h"
#include "gui/params/ParameterManage.h"
#include "gui/runtest/RunTestWindow.h"
#include "gui/tuning/TuningWindow.h"
#include "gui/wave/DisplayWaveform.h"
#include "gui/wave/FFTAnalyze.h"
#include "gui/wizard/GuideSettings.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

CVelmoraView::CVelmoraView(CMainFrame* frame, QWidget* parent) : QWidget(parent), m_frame(frame) {
    m_area = new QMdiArea(this);
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A maximised parameter manager must not make every window opened after
    // it maximised too: each function window keeps its own size.
    m_area->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_area);

    // The connection window opens by itself half a second after start-up.
    m_startTimer = new QTimer(this);
    m_startTimer->setSingleShot(true);
    m_startTimer->setInterval(kStartDelayMs);
    connect(m_startTimer, &QTimer::timeout, this, [this] { openConnection(); });
    m_startTimer->start();
}

bool CVelmoraView::refuseWhileLinkBusy() {
    if (g_activeModule.empty()) return false;
    ShowMessage(this, QString::fromStdString(g_activeModule) + QString::fromStdString(hx::LoadString(50141)),
                QString::fromStdString(hx::LoadString(50142)));
    return true;
}

QMdiSubWindow* CVelmoraView::host(FunctionWindow* window, bool maximized) {
    auto* sub = m_area->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    sub->setWindowTitle(window->windowTitle());
    connect(window, &FunctionWindow::moduleClosed, this, &CVelmoraView::onModuleClosed);
    if (maximized) {
        sub->showMaximized();
    } else {
        sub->adjustSize();
        sub->show();
    }
    return sub;
}

QMdiSubWindow* CVelmoraView::frameOf(QWidget* window) const {
    return window ? qobject_cast<QMdiSubWindow*>(window->parentWidget()) : nullptr;
}

void CVelmoraView::onModuleClosed(QWidget* window) {
    QPointer<QWidget> target = frameOf(window) ? static_cast<QWidget*>(frameOf(window)) : window;
    QTimer::singleShot(kDestroyDelayMs, this, [target] {
        if (target) delete target.data();
    });
}

FunctionWindow* CVelmoraView::openConnection() {
    m_startTimer->stop();
    if (refuseWhileLinkBusy()) return nullptr;
    auto* window = new CConnectCom(m_frame->link(), m_frame->changeGate());
    connect(window, &CConnectCom::connectionChanged, m_frame, &CMainFrame::SetConnected);
    connect(window, &CConnectCom::titleChanged, m_frame, &QWidget::setWindowTitle);
    auto* sub = host(window);
    sub->move(300, 50);
    return window;
}

void CVelmoraView::connectTo(const QString& port, const QString& baud, int station) {
    auto* connection = qobject_cast<CConnectCom*>(openConnection());
    if (!connection) return;
    connection->portCombo()->setCurrentIndex(connection->portCombo()->findText(port));
    connection->baudCombo()->setCurrentIndex(connection->baudCombo()->findText(baud));
    connection->stationCombo()->setCurrentIndex(station);
    if (m_frame->link().GetConnectStatus() == 0) connection->onConnect();
}

FunctionWindow* CVelmoraView::openBusOverview() {
    m_startTimer->stop();
    if (refuseWhileLinkBusy()) return nullptr;
    auto* window = new CBusOverview(m_frame->link());
    connect(window, &CBusOverview::connectionChanged, m_frame, &CMainFrame::SetConnected);
    connect(window, &CBusOverview::connectRequested, this, &CVelmoraView::connectTo);
    auto* sub = host(window);
    // Wide enough for every column of a row and tall enough for a line of
    // drives, as far as the view allows.
    QSize size(860, 680);
    if (m_area->isVisible()) size = size.boundedTo(m_area->size() - QSize(40, 40)).expandedTo(QSize(500, 360));
    sub->resize(size);
    sub->move(20, 20);
    return window;
}

FunctionWindow* CVelmoraView::openAlarm() {
    if (refuseWhileLinkBusy()) return nullptr;
    auto* window = new CAlarm(m_frame->drive(), m_frame->changeGate());
    auto* sub = host(window);
    sub->move(0, 10);
    return window;
}

FunctionWindow* CVelmoraView::openChangeHistory() {
    if (refuseWhileLinkBusy()) return nullptr;
    auto* window = new CChangeHistory(m_frame->drive(), m_frame->changeGate());
    // What an undo or a restore wrote shows in an open parameter manager.
    connect(window, &CChangeHistory::driveValuesChanged, this, [] {
        if (auto* manager = qobject_cast<CParameterManage*>(g_paramManagerWnd.data())) manager->RefreshFromDrive();
    });
    auto* sub = host(window);
    sub->resize(820, 460);
    sub->move(10, 10);
    return window;
}

FunctionWindow* CVelmoraView::openWaveform() {
    if (refuseWhileLinkBusy()) return nullptr;
    auto* window = new CDisplayWaveform(m_frame->drive());
    auto* sub = host(window);
    sub->move(1, 1);
    return window;
}

FunctionWindow* CVelmoraView::openFourier() {
    if (refuseWhileLinkBusy()) return nullptr;
    auto* window = new CFFTAnalyze(m_frame->drive());
    auto* sub = host(window);
    sub->move(1, 1);
    return window;
}

FunctionWindow* CVelmoraView::openEnvironment() {
    auto* window = new CEnvironmentSetting(m_frame->link());
    host(window);
    return window;
}

FunctionWindow* CVelmoraView::openAbout() {
    auto* window = new CAboutDlg;
    host(window);
    return window;
}

FunctionWindow* CVelmoraView::openWizard() {
    // One wizard at a time: a second one would read and write the same
    // settings beside the first.
    for (QMdiSubWindow* sub : m_area->subWindowList()) {
        if (auto* open = qobject_cast<CGuideSettings*>(sub->widget()); open && !sub->isHidden()) {
            sub->showNormal();
            m_area->setActiveSubWindow(sub);
            return open;
        }
    }
    auto* window = new CGuideSettings(m_frame->drive(), m_frame->changeGate());
    host(window);
    return window;
}

QWidget* CVelmoraView::openParameterManager() {
    if (g_paramManagerWnd) {
        if (auto* sub = frameOf(g_paramManagerWnd)) {
            sub->showMaximized();
            m_area->setActiveSubWindow(sub);
        }
        return g_paramManagerWnd;
    }
    auto* window = new CParameterManage(m_frame->drive(), m_frame->changeGate());
    window->SetStorageWait(m_frame->storageWait());
    // A list belongs to the drive it was read from.
    connect(m_frame, &CMainFrame::connected, window, [this, window] { window->OnConnected(m_frame->drive()); });
    host(window, true);
    return window;
}

FunctionWindow* CVelmoraView::openRunTest() {
    if (refuseWhileLinkBusy()) return nullptr;
    auto* window = new CRunTest(m_frame->drive(), m_frame->changeGate());
    auto* sub = host(window);
    sub->move(1, 1);
    // Its classic size where the view has room for it, else the view's: a
    // window taller than the view would hide its lowest lines.
    QSize size = sub->sizeHint();
    if (m_area->isVisible())
        size = size.boundedTo(m_area->viewport()->size() - QSize(2, 2)).expandedTo(sub->minimumSizeHint());
    sub->resize(size);
    return window;
}

FunctionWindow* CVelmoraView::openTuning() {
    if (refuseWhileLinkBusy()) return nullptr;
    hx::tuning::TuneRequest request;
    request.drive.drive = m_frame->drive();
    request.drive.port = m_frame->link().PortName();
    request.drive.model = hx::servo::ModelFromName(g_driveModel);
    request.drive.changeGate = &m_frame->changeGate();
    auto* window = new TuningWindow(request);
    auto* sub = host(window);
    sub->move(1, 1);
    QSize size = sub->sizeHint().expandedTo(QSize(1280, 760));
    if (m_area->isVisible())
        size = size.boundedTo(m_area->viewport()->size() - QSize(2, 2)).expandedTo(sub->minimumSizeHint());
    sub->resize(size);
    return window;
}

bool CVelmoraView::closeLinkWindows() {
    bool closed = true;
    for (QMdiSubWindow* sub : m_area->subWindowList()) {
        auto* window = qobject_cast<FunctionWindow*>(sub->widget());
        if (!window || !window->holdsLink()) continue;
        window->closeWindow();
        closed = closed && window->isClosed();
    }
    return closed;
}

}  // namespace hx::gui
