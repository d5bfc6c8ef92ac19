#include "gui/runtest/RunTestWindow.h"

#include <QCoreApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "core/Globals.h"
#include "core/capture/CapturePlan.h"
#include "core/capture/ChannelSources.h"
#include "core/i18n/StringTable.h"
#include "core/link/CQXCOM.h"
#include "core/link/FaultText.h"
#include "core/runtest/StepResponse.h"
#include "gui/widgets/SimulatedMotion.h"
#include "gui/backup/GateMessages.h"
#include "gui/plot/Cscope.h"
#include "gui/runtest/ResonateAdjust.h"
#include "gui/runtest/TorqueMode.h"
#include "gui/runtest/VelocityMode.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {

using namespace hx::runtest;

namespace {

constexpr int kEnableAfterStartMs = 500, kEnableAfterStopMs = 2000;
constexpr uint32_t kTorqueCurrent = 32768;

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CRunTest::CRunTest(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent)
    : FunctionWindow(tr("试运行"), LinkUse::HoldsLink, parent), m_drive(drive), m_gate(gate) {
    QPointer<CRunTest> self(this);
    m_session = std::make_unique<RunSession>(gate, [self] {
        OnUiThread(self.data(), [self] {
            if (self && !self->m_closing) self->ShowState();
        });
    });
    m_session->GuardStarts(m_drive.comm()->PortName());

    m_plot = new Cscope;
    // Small enough that the window fits a 1366 x 768 screen; the plot takes
    // whatever the window has beyond that.
    m_plot->setMinimumSize(560, 220);
    m_figures = new QLabel;
    m_figures->setObjectName("figures");
    m_figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_figures->setMinimumHeight(m_figures->fontMetrics().height() * 2);

    m_pages = new QStackedWidget;
    m_torque = new CTorqueMode(this);
    m_velocity = new CVelocityMode(this);
    m_resonance = new CResonateAdjust(this);
    m_pages->addWidget(m_torque);
    m_pages->addWidget(m_velocity);
    m_pages->addWidget(m_resonance);

    m_velocityButton = new QPushButton(tr("速度梯形"));
    m_torqueButton = new QPushButton(tr("力矩模式"));
    m_resonanceButton = new QPushButton(tr("共振调整"));
    m_start = new QPushButton(tr("开 始"));
    m_start->setObjectName("start");
    m_start->setMinimumHeight(36);
    connect(m_velocityButton, &QPushButton::clicked, this, &CRunTest::enterVelocityMode);
    connect(m_torqueButton, &QPushButton::clicked, this, &CRunTest::enterTorqueMode);
    connect(m_resonanceButton, &QPushButton::clicked, this, &CRunTest::enterResonanceMode);
    connect(m_start, &QPushButton::clicked, this, &CRunTest::clickStart);

    auto* channels = new QGroupBox(tr("通道选择"));
    m_channelGroup = channels;
    auto* channelGrid = new QGridLayout(channels);
    const QString numbers[4] = {tr("一"), tr("二"), tr("三"), tr("四")};
    for (int i = 0; i < 4; ++i) {
        m_boxes[i] = new QCheckBox(numbers[i]);
        m_lists[i] = new QComboBox;
        // As wide as the longest source name (longer in English), and never
        // narrower than that, whatever the window's width.
        m_lists[i]->setMinimumContentsLength(12);
        m_lists[i]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        channelGrid->addWidget(m_boxes[i], i, 0);
        channelGrid->addWidget(m_lists[i], i, 1);
        connect(m_boxes[i], &QCheckBox::clicked, this, [this, i](bool on) {
            m_plot->SetChannelVisible(i + 1, on);
            m_plot->Redraw();
        });
        connect(m_lists[i], &QComboBox::activated, this, [this] { FillPointsList(); });
    }
    m_cyclic = new QCheckBox(tr("循环采样 "));
    m_period = new QComboBox;
    for (int ms = 500; ms <= 2000; ms += 100) m_period->addItem(QString::number(ms));
    m_periodLabel = new QLabel(tr("循环采样周期(ms)"));
    m_points = new QComboBox;
    connect(m_cyclic, &QCheckBox::clicked, this, [this](bool on) {
        m_period->setEnabled(on);
        m_periodLabel->setEnabled(on);
    });
    // The plot reports a curve's new colour; its channel list follows.
    connect(m_plot, &Cscope::channelColourChanged, this, [this](int channel, const QColor& colour) {
        if (channel < 1 || channel > 4) return;
        m_colours[channel - 1] = colour;
        ColourList(channel - 1);
    });

    auto* side = new QVBoxLayout;
    auto* modes = new QHBoxLayout;
    modes->addWidget(m_velocityButton);
    modes->addWidget(m_torqueButton);
    modes->addWidget(m_resonanceButton);
    side->addLayout(modes);
    side->addWidget(channels);
    side->addWidget(m_cyclic);
    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(m_periodLabel);
    periodRow->addWidget(m_period);
    side->addLayout(periodRow);
    auto* pointsRow = new QHBoxLayout;
    pointsRow->addWidget(new QLabel(tr("每通道采样点数")));
    pointsRow->addWidget(m_points);
    side->addLayout(pointsRow);
    side->addWidget(m_start);
    side->addStretch();

    auto* left = new QVBoxLayout;
    left->addWidget(m_plot, 1);
    left->addWidget(m_figures);
    m_lost = new QLabel;
    m_lost->setStyleSheet("QLabel { color: red; font-weight: bold; }");
    m_lost->setWordWrap(true);
    m_lost->hide();
    left->addWidget(m_lost);
    left->addWidget(m_pages);
    // The plot takes what the page leaves.
    m_pages->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(side);

    m_enableTimer.setSingleShot(true);
    m_recaptureTimer.setSingleShot(true);
    connect(&m_enableTimer, &QTimer::timeout, this, [this] { m_start->setEnabled(true); });
    connect(&m_recaptureTimer, &QTimer::timeout, this, &CRunTest::OnRecaptureTimer);

    // Opening: torque page read first, then the capacity, then velocity mode.
    m_boxes[0]->setChecked(true);
    for (int i = 0; i < 4; ++i) {
        m_lists[i]->setEnabled(false);
        m_boxes[i]->setEnabled(false);
        ColourList(i);
    }
    m_channelGroup->setEnabled(false);
    m_plot->SetYCaption(tr("电流(mA)"));
    m_plot->SetXCaption(tr("时间(ms)"));
    m_plot->SetPointsPerChannel(m_plotPoints);
    m_plot->SetXRange(0, static_cast<float>(m_plotPoints), 2);
    m_plot->SetAxisValues(0, static_cast<float>(m_plotPoints));
    m_plot->ClearPoints();
    m_plot->Redraw();
    m_period->setCurrentText("1000");
    m_period->setEnabled(false);
    m_periodLabel->setEnabled(false);

    EnterMode(Mode::Torque);
    auto capacity = std::make_shared<CommandResult>();
    Request([drive = Drive(), capacity]() mutable { *capacity = ReadCaptureCapacity(drive); },
            [this, capacity] {
                m_capacity = capacity->value.value_or(0);
                FillPointsList();
            });
    EnterMode(Mode::Velocity);
    Request([] {}, [this] { m_openingDone = true; });
    // The classic size where the screen has room for it.
    QSize size(1180, 700);
    if (const QScreen* shown = screen()) size = size.boundedTo(shown->availableGeometry().size());
    resize(size.expandedTo(minimumSizeHint()));
}

CRunTest::~CRunTest() {
    m_closing = true;
    m_session->Close(Drive(), m_mode);
}


void CRunTest::Request(std::function<void()> work, std::function<void()> done) {
    QPointer<CRunTest> self(this);
    ++m_requestsOut;
    m_session->Post([self, work = std::move(work), done = std::move(done)]() mutable {
        work();
        OnUiThread(
            self.data(), [self, done = std::move(done)] {
                if (!self) return;
                --self->m_requestsOut;
                if (!self->m_closing && done) done();
            });
    });
}

void CRunTest::ReportNoAnswer(uint16_t address) {
    // Many requests fail together when the drive goes away: one box tells it.
    if (m_noAnswerShown || m_closing) return;
    m_noAnswerShown = true;
    QTimer::singleShot(0, this, [this, address] {
        ShowMessage(this, tr("驱动器没有应答(寄存器 %1)，请检查连接。").arg(address), tr("通讯错误"),
                    MessageIcon::Warning);
        m_noAnswerShown = false;
    });
}

void CRunTest::ShowState() {
    m_shownState = m_session->State();
    m_start->setText(m_shownState == RunState::Idle ? tr("开 始") : tr("停 止"));
    if (m_shownState != RunState::StopUnconfirmed) {
        // A run that ended otherwise than asked says what ended it, until the next start.
        const std::optional<MotionReport> cut = m_session->LastEnd();
        if (cut && m_shownState == RunState::Idle) {
            m_recaptureTimer.stop();
            m_lost->setText(Text(cut->Message()));
            m_lost->show();
        } else {
            m_lost->hide();
        }
        return;
    }
    m_recaptureTimer.stop();
    m_start->setEnabled(true);
    m_lost->setText(tr("驱动器没有应答，电机可能仍在运动！每0.5秒重发停止命令，直到驱动器应答。"));
    m_lost->show();
}

void CRunTest::RunAgain(int restMs, bool keepOldReference) {
    if (m_closing) return;
    // The run again is compared with the one shown: that one is the reference.
    if (!keepOldReference) m_plot->KeepReference();
    // A stop first, as the button's: the same move then starts from rest.
    if (running()) {
        m_start->setEnabled(true);
        clickStart();
    }
    m_runAgainPending = true;
    m_runAgainRestMs = restMs;
    StartWhenIdle();
}

void CRunTest::StartWhenIdle() {
    if (!m_runAgainPending || m_closing) return;
    if (m_session->CaptureRunning()) {
        QTimer::singleShot(50, this, &CRunTest::StartWhenIdle);
        return;
    }
    if (m_runAgainRestMs > 0) {
        QTimer::singleShot(std::exchange(m_runAgainRestMs, 0), this, &CRunTest::StartWhenIdle);
        return;
    }
    m_runAgainPending = false;
    if (running()) return;  // started meanwhile
    m_enableTimer.stop();
    m_start->setEnabled(true);
    clickStart();
}

RunPage* CRunTest::currentPage() const {
    switch (m_mode) {
    case Mode::Velocity: return m_velocity;
    case Mode::Torque: return m_torque;
    case Mode::Resonance: return m_resonance;
    }
    return m_velocity;
}

void CRunTest::enterVelocityMode() { EnterMode(Mode::Velocity); }
void CRunTest::enterTorqueMode() { EnterMode(Mode::Torque); }
void CRunTest::enterResonanceMode() { EnterMode(Mode::Resonance); }

void CRunTest::EnterMode(Mode mode) {
    if (running()) {
        ShowMessage(this, tr("请先停止另一运行模式，然后再切换为当前模式。"), tr("切换模式"));
        return;
    }
    if (mode == Mode::Torque) {
        for (int i = 0; i < 4; ++i) {
            m_lists[i]->clear();
            m_lists[i]->addItem(Text(hx::LoadString(hx::kEmptyChannelStringId)), 0u);
            m_lists[i]->addItem(Text(hx::ChannelSourceName(kTorqueCurrent)), kTorqueCurrent);
            m_lists[i]->setCurrentIndex(i == 0 ? 1 : 0);
            m_boxes[i]->setChecked(i == 0);
            m_lists[i]->setEnabled(false);
            m_boxes[i]->setEnabled(false);
        }
        m_channelGroup->setEnabled(false);
    } else {
        auto info = std::make_shared<SourceInfo>();
        Request([drive = Drive(), info]() mutable { *info = ReadSourceInfo(drive); },
                [this, info] {
                    ApplySources(info->sourceMask.value_or(0), info->channelCount.value_or(1));
                    FillPointsList();
                });
        m_channelGroup->setEnabled(true);
    }
    m_velocityButton->setEnabled(mode != Mode::Velocity);
    m_torqueButton->setEnabled(mode != Mode::Torque);
    m_resonanceButton->setEnabled(mode != Mode::Resonance);
    m_mode = mode;
    // A reference belongs to the mode's channels.
    m_plot->ClearReference();
    m_previousStep.reset();
    RunPage* page = currentPage();
    page->LoadFromDrive();
    m_pages->setCurrentWidget(page);
    // The stack is as tall as the page shown, not its tallest page, so the
    // plot gets the rest.
    for (int i = 0; i < m_pages->count(); ++i) {
        QWidget* w = m_pages->widget(i);
        w->setSizePolicy(w == page ? QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum)
                                   : QSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored));
    }
    m_pages->updateGeometry();
    FillPointsList();
    ShowEmptyPlot();
}

void CRunTest::clickStart() {
    if (m_session->State() == RunState::StopUnconfirmed) {
        // Still "停 止": one more try now, the retries go on.
        m_session->RetryStopNow();
        return;
    }
    m_start->setEnabled(false);
    if (!running()) {
        m_pointsPerChannel = std::max(200, m_points->currentText().toInt());
        m_plotPoints = m_pointsPerChannel;
        m_plot->SetPointsPerChannel(m_pointsPerChannel);
        const auto codes = ChannelCodes();
        if (codes != std::array<uint32_t, 4>{}) {
            if (m_session->CaptureRunning()) {
                // The last capture still waits for the drive (a stop was asked for).
                ShowMessage(this, tr("通信模块正在数据交互......请等待完成任务再操作!"), tr("正在通信"));
            } else if (const auto request = currentPage()->StartRun(
                           m_mode == Mode::Torque ? std::array<uint32_t, 4>{codes[0], 0, 0, 0} : codes,
                           m_pointsPerChannel)) {
                // The plot is set up for the run only once the run is sure
                // to start: a refused start leaves the last capture and its
                // axis as they were.
                m_figures->clear();
                // In the torque page the step before is the reference of
                // the next: the curve drawn dimmed behind, the figures
                // before -> now.
                if (m_mode == Mode::Torque && m_lastStep) {
                    m_plot->KeepReference();
                    m_previousStep = m_lastStep;
                }
                SetUpPlot(true);
                if (m_mode == Mode::Torque) m_plot->SetChannelTypes(static_cast<int>(codes[0]), 0, 0, 0);
                if (m_mode != Mode::Torque)
                    m_plot->SetAxisValues(0, static_cast<float>(m_pointsPerChannel) * currentPage()->SampleInterval());
                StartRun(*request);
            } else {
                m_plot->Redraw();
            }
        }
        m_enableTimer.start(kEnableAfterStartMs);
        return;
    }
    m_recaptureTimer.stop();
    m_session->Stop(Drive(), m_mode);
    ShowState();
    m_enableTimer.start(kEnableAfterStopMs);
}

void CRunTest::StartRun(RunRequest request) {
    QPointer<CRunTest> self(this);
    const bool started = m_session->Start(std::move(request), [self](const RunOutcome& outcome) {
        OnUiThread(
            self.data(), [self, outcome] {
                if (self && !self->m_closing) self->OnCaptureFinished(outcome);
            });
    });
    if (!started) ShowMessage(this, tr("通信模块正在数据交互......请等待完成任务再操作!"), tr("正在通信"));
    ShowState();
}

void CRunTest::OnCaptureFinished(const RunOutcome& outcome) {
    ShowState();
    if (!outcome.recapture && !outcome.startWrites.empty()) {
        RunPage* page = outcome.mode == Mode::Torque     ? static_cast<RunPage*>(m_torque)
                        : outcome.mode == Mode::Velocity ? static_cast<RunPage*>(m_velocity)
                                                         : static_cast<RunPage*>(m_resonance);
        page->TakeStartResult(outcome);
    }
    switch (EndOf(outcome)) {
    case RunEnd::Captured:
        // With auto-tuning on, the drive chose its own gains for the test:
        // show the ones the step was made with.
        if (outcome.mode == Mode::Torque && m_torque->Fields().autoTune != 0) m_torque->LoadFromDrive();
        break;
    case RunEnd::StopUnconfirmed:
        // A motion this window started is never forgotten: the session sends
        // the stop until the drive takes it, and the window says so.
        return;
    case RunEnd::DriveRefused:
        ReportRefusal(outcome.unansweredAddress.value_or(0), outcome.writes.fault);
        return;
    case RunEnd::StartUnanswered:
        ReportNoAnswer(outcome.unansweredAddress.value_or(0));
        return;
    case RunEnd::TimedOut:
        if (!outcome.stopRequested) ShowMessage(this, tr("查询超时，请降低采样周期!"));
        return;
    case RunEnd::Closed:
        return;
    case RunEnd::NotStarted:
        // Nothing was sent: the motor moves under another command, or the
        // watchdog could not be armed.
        if (SimulatedMotion::Available() && !SimulatedMotion::Paused() &&
            outcome.refusal.refusal == StartRefusal::Moving) {
            m_pausedMotion = SimulatedMotion::OfferPause(this, QString::fromStdString(outcome.failureText)) ||
                             m_pausedMotion;
            return;
        }
        ShowMessage(this, QString::fromStdString(outcome.failureText), tr("无法开始"), MessageIcon::Warning);
        return;
    case RunEnd::NotBackedUp:
        // Nothing of the start went out. A Yes lets the next start through
        // without a backup; the user starts again.
        hx::gui::OfferToGoOnWithoutBackup(this, m_gate, outcome.gate, m_drive);
        return;
    }
    m_plotPoints = outcome.points;
    m_plot->SetPointsPerChannel(outcome.points);
    m_plot->ShowCapture(outcome.samples, outcome.points, m_replacePlot);
    m_replacePlot = false;
    ShowFigures(outcome);
    // The first capture of a resonance run holds the move and the ringing
    // after it; a re-capture comes later and holds neither.
    if (outcome.mode == Mode::Resonance && !outcome.recapture) m_resonance->TakeCapture(outcome);
    ++m_capturesShown;
    if (m_session->RecaptureDue(m_cyclic->isChecked())) m_recaptureTimer.start(m_period->currentText().toInt());
}

void CRunTest::OnRecaptureTimer() {
    if (!m_session->RecaptureDue(m_cyclic->isChecked())) return;
    const auto codes = ChannelCodes();
    SetUpPlot(false, true);
    if (m_mode == Mode::Torque) {
        // The current-loop test ends by itself: each capture is a test of its own.
        m_plot->SetChannelTypes(static_cast<int>(codes[0]), 0, 0, 0);
        if (const auto request = m_torque->StartRun({codes[0], 0, 0, 0}, m_pointsPerChannel)) {
            StartRun(*request);
            return;
        }
        m_session->EndRun();
        ShowState();
        m_plot->Redraw();
        return;
    }
    StartRun(RunRequest::Recapture(Drive(), m_mode, codes, m_pointsPerChannel));
    if (m_plot->Model().Level() == 0)
        m_plot->SetAxisValues(0, static_cast<float>(m_pointsPerChannel) * currentPage()->SampleInterval());
}

void CRunTest::ReportRefusal(uint16_t address, const hx::DriveFault& fault) {
    // The alarm behind a refusal is the usual reason: read it to say so.
    auto text = std::make_shared<std::string>();
    Request([drive = Drive(), address, fault, text] { *text = hx::FaultSentenceAskingAlarm(drive, address, fault); },
            [this, text] {
                ShowMessage(this, QString::fromStdString(*text), tr("驱动器拒绝"), MessageIcon::Warning);
            });
}

void CRunTest::StopEverything() {
    m_runAgainPending = false;
    m_recaptureTimer.stop();
    m_enableTimer.stop();
    // Sends the stop (now, or through the capture worker at once), tries an
    // unconfirmed stop once more, stops the guarded motion for sure, ends
    // and joins the capture and runs what is queued: nothing touches the
    // pages after this.
    const bool confirmed = m_session->Close(Drive(), m_mode);
    ShowState();
    if (!confirmed)
        ShowMessage(this, tr("驱动器没有应答，无法确认电机已停止，电机可能仍在运动！"), tr("停止未确认"),
                    MessageIcon::Warning);
}

bool CRunTest::canClose() { return true; }

void CRunTest::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        StopEverything();
        m_closing = true;
        ResumeSimulatedMotion();
    }
    FunctionWindow::closeEvent(event);
}

void CRunTest::ResumeSimulatedMotion() {
    // Paused for this window's tests, the simulated motion controller goes on
    // when the window goes; paused otherwise, the user says.
    SimulatedMotion::ResumeOnClose(this, m_pausedMotion);
}

bool CRunTest::eventFilter(QObject* watched, QEvent* event) { return FunctionWindow::eventFilter(watched, event); }

}  // namespace hx::gui
