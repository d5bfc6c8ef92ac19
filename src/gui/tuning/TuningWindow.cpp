#include "gui/tuning/TuningWindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/tuning/FrequencyResponseWindow.h"
#include "gui/tuning/MoveTraceView.h"
#include "gui/widgets/SimulatedMotion.h"

namespace hx::gui {

namespace {

using hx::tuning::TuneResult;
using hx::tuning::TuneStage;

// The stages as the list names them, in the sequence's order.
const char* const kStageNames[hx::tuning::kTuneStages - 1] = {
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "读取当前设置"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "标准运动（调整前）"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "探测运动：惯量与摩擦"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "测量速度环开环"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "频谱激励：对象与共振"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "选择增益与陷波器"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "写入（RAM）"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "标准运动（调整后）"),
    QT_TRANSLATE_NOOP("hx::gui::TuningWindow", "再次测量频率响应"),
};

QString Figure(const std::optional<double>& v, const char* unit, int decimals) {
    return v ? QString::number(*v, 'f', decimals) + QString::fromUtf8(unit) : QStringLiteral("—");
}

}  // namespace

TuningWindow::TuningWindow(hx::tuning::TuneRequest request, QWidget* parent)
    : FunctionWindow(tr("一键整定"), LinkUse::HoldsLink, parent), m_request(std::move(request)) {
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    layout->addLayout(left);

    auto* settings = new QGroupBox(tr("整定"), this);
    auto* form = new QFormLayout(settings);
    m_travel = new QDoubleSpinBox(settings);
    m_travel->setRange(0.05, 10);
    m_travel->setSingleStep(0.05);
    m_travel->setDecimals(2);
    m_travel->setValue(m_request.limits.travelRev);
    m_travel->setSuffix(tr(" 圈（每侧）"));
    form->addRow(tr("行程"), m_travel);
    m_stiffness = new QComboBox(settings);
    m_stiffness->addItems({tr("柔和"), tr("中等"), tr("刚硬")});
    m_stiffness->setCurrentIndex(1);
    form->addRow(tr("刚性"), m_stiffness);
    auto* buttons = new QHBoxLayout;
    m_start = new QPushButton(tr("开始整定"), settings);
    m_stop = new QPushButton(tr("停止"), settings);
    m_stop->setEnabled(false);
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    form->addRow(buttons);
    left->addWidget(settings);

    m_stages = new QListWidget(this);
    for (const char* name : kStageNames) m_stages->addItem(tr(name));
    // Every stage in sight: the list is what a run is watched by.
    m_stages->setMinimumHeight(m_stages->sizeHintForRow(0) * m_stages->count() + 2 * m_stages->frameWidth() + 2);
    left->addWidget(m_stages);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, hx::tuning::kTuneStages - 1);
    m_progress->setValue(0);
    left->addWidget(m_progress);

    m_summary = new QLabel(this);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setMinimumWidth(320);
    // Never squeezed under its text by the move's traces below it.
    m_summary->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding);
    left->addWidget(m_summary, 1);
    m_moves = new MoveTraceView(this);
    m_moves->hide();
    left->addWidget(m_moves);

    // Said once there are new settings in RAM, and not after a run that
    // left the drive's own.
    m_keepNote = new QLabel(this);
    m_keepNote->setWordWrap(true);
    m_keepNote->hide();
    left->addWidget(m_keepNote);
    m_store = new QPushButton(tr("存储到驱动器"), this);
    m_putBack = new QPushButton(tr("恢复之前的设置"), this);
    m_store->setEnabled(false);
    m_putBack->setEnabled(false);
    left->addWidget(m_store);
    left->addWidget(m_putBack);

    m_bode = new FrequencyResponseWindow(this);
    layout->addWidget(m_bode, 1);

    connect(m_start, &QPushButton::clicked, this, &TuningWindow::start);
    connect(m_stop, &QPushButton::clicked, this, [this] { m_job.Stop(); });
    connect(m_store, &QPushButton::clicked, this, &TuningWindow::store);
    connect(m_putBack, &QPushButton::clicked, this, &TuningWindow::putBack);
    resize(1280, 760);
}

TuningWindow::~TuningWindow() = default;

bool TuningWindow::busy() const { return m_job.Running() || m_storeJob.running() || m_putBackJob.running(); }

bool TuningWindow::canClose() {
    // A stop first: the job puts the previous settings back before it ends.
    if (m_job.Running()) m_job.Stop();
    if (busy()) return false;
    // Paused for this window's tuning, the simulated motion controller goes
    // on when the window goes; paused otherwise, the user says.
    SimulatedMotion::ResumeOnClose(this, m_pausedMotion);
    m_pausedMotion = false;
    return true;
}

void TuningWindow::setIdle(bool idle) {
    m_start->setEnabled(idle);
    m_stop->setEnabled(!idle);
    m_travel->setEnabled(idle);
    m_stiffness->setEnabled(idle);
    const bool tuned = idle && m_result && m_result->status == TuneResult::Status::Tuned && !m_result->putBack;
    m_store->setEnabled(tuned);
    m_putBack->setEnabled(tuned);
}

void TuningWindow::start() {
    hx::tuning::TuneRequest r = m_request;
    r.limits.travelRev = m_travel->value();
    r.stiffness = static_cast<hx::tuning::Stiffness>(m_stiffness->currentIndex());
    m_result.reset();
    m_summary->clear();
    m_moves->Clear();
    m_moves->hide();
    m_keepNote->hide();
    for (int i = 0; i < m_stages->count(); ++i) m_stages->item(i)->setForeground(palette().text());
    m_progress->setValue(0);
    QPointer<TuningWindow> self(this);
    hx::tuning::TuneCallbacks cb;
    cb.stage = [self](TuneStage, int index) {
        QMetaObject::invokeMethod(
            self.data(), [self, index] { if (self) self->onStage(index); }, Qt::QueuedConnection);
    };
    const bool started = m_job.Start(r, cb, [self](const TuneResult& result) {
        QMetaObject::invokeMethod(
            self.data(), [self, result] { if (self) self->onFinished(result); }, Qt::QueuedConnection);
    });
    if (started) setIdle(false);
}

void TuningWindow::onStage(int index) {
    m_progress->setValue(index);
    for (int i = 0; i < m_stages->count(); ++i) {
        QListWidgetItem* item = m_stages->item(i);
        QFont f = item->font();
        f.setBold(i == index);
        item->setFont(f);
        if (i < index) item->setForeground(QColor(0x1a, 0x7f, 0x1a));
    }
    if (index < m_stages->count()) m_stages->setCurrentRow(index);
}

void TuningWindow::onFinished(const TuneResult& r) {
    showResult(r);
    emit tuningFinished();
    // The first move refused because the simulated motion controller moves
    // the motor: offered to pause it, as the test window does.
    if (r.status == TuneResult::Status::Failed && r.moveBefore.motorMoving)
        m_pausedMotion = SimulatedMotion::OfferPause(this, m_summary->text()) || m_pausedMotion;
}

void TuningWindow::showResult(const TuneResult& r) {
    m_result = r;
    QString text;
    switch (r.status) {
    case TuneResult::Status::Tuned: text = tr("整定完成：新设置已写入 RAM 并已验证。"); break;
    case TuneResult::Status::Stopped:
        text = r.written ? tr("已停止：之前的设置已恢复。") : tr("已停止：没有写入任何设置。");
        break;
    case TuneResult::Status::MarginsUnreachable:
        if (r.design.status == hx::tuning::Design::Status::NoRatio)
            text = r.written ? tr("无法辨识惯量比：之前的设置已恢复。") : tr("无法辨识惯量比：没有写入任何设置。");
        else
            text = r.written ? tr("没有满足裕度的设置：之前的设置已恢复。") : tr("没有满足裕度的设置：没有写入任何设置。");
        break;
    case TuneResult::Status::Failed: text = failureText(r); break;
    }
    if (r.putBackFailed) text += QLatin1Char('\n') + tr("之前的设置未能全部恢复！");
    if (r.calmings > 0)
        text += QLatin1Char('\n') + (r.calmings == 1 ? tr("电机在运动后持续振荡：测量前速度环带宽降低了一次。")
                                                      : tr("电机在运动后持续振荡：测量前速度环带宽降低了 %1 次。").arg(r.calmings));
    // What the moves identified is shown once the design had it, whether a
    // setting reached the margins or not.
    const bool identified = r.reached >= TuneStage::Design;
    if (identified) {
        // The ratio Pr1.13 takes: the whole machine's only where the sequence chose it.
        const bool whole = hx::tuning::UsesTotalRatio(r.id, r.totalRatio, r.swing);
        const std::optional<double> ratio = whole ? r.totalRatio : r.id.inertia.ratio;
        text += QStringLiteral("\n");
        if (ratio) text += QLatin1Char('\n') + tr("惯量比 %1").arg(Figure(ratio, "", 2));
        for (const auto& p : r.id.modes.pairs)
            text += QLatin1Char('\n') + (p.machineMode ? tr("机械低频模态 %1 Hz") : tr("共振 %1 Hz"))
                                            .arg(p.resonance.hz, 0, 'f', 1);
    }
    if (r.status == TuneResult::Status::Tuned) {
        text += QStringLiteral("\n");
        for (const auto& c : hx::tuning::Changes(r.before, r.after))
            text += QStringLiteral("\n%1: %2 → %3").arg(QString::fromStdString(c.name)).arg(c.before).arg(c.after);
        auto move = [](const hx::tuning::MoveFigures& m) {
            return tr("整定时间 %1，超调 %2，最大跟随误差 %3")
                .arg(Figure(m.settlingMs, " ms", 0), Figure(m.overshootPct, " %", 1), Figure(m.peakErrorP, " p", 0));
        };
        text += QLatin1Char('\n') + tr("调整前：") + move(r.moveBefore);
        text += QLatin1Char('\n') + tr("调整后：") + move(r.moveAfter);
        m_moves->SetMoves(r.moveBefore, r.moveAfter);
        m_moves->show();
    }
    m_summary->setText(text);
    if (identified) m_bode->SetData(hx::tuning::BodeFromTuning(r));
    // The sequence ends every run with its last stage; a run that did not
    // tune shows where it ended instead of stages it never ran as done.
    if (r.status != TuneResult::Status::Tuned) {
        const int reached = static_cast<int>(r.reached);
        for (int i = 0; i < m_stages->count(); ++i) {
            // Bold where it ended, whichever stage reports came in before the end.
            QFont f = m_stages->item(i)->font();
            f.setBold(i == reached);
            m_stages->item(i)->setFont(f);
        }
        for (int i = reached; i < m_stages->count(); ++i) m_stages->item(i)->setForeground(palette().text());
        if (r.status == TuneResult::Status::Failed && reached < m_stages->count())
            m_stages->item(reached)->setForeground(QColor(0xb0, 0x20, 0x20));
        // The stage it ended at stays bold; a selection would hide its red.
        m_stages->setCurrentRow(-1);
    } else {
        m_keepNote->setText(tr("新设置只在驱动器的 RAM 中：不存储到驱动器，断电后即不保留。"));
        m_keepNote->show();
    }
    m_progress->setValue(r.status == TuneResult::Status::Tuned ? hx::tuning::kTuneStages - 1 : static_cast<int>(r.reached));
    setIdle(true);
}

// Why a run failed, in the user's language: the stage it failed in, the
// reason, and the guard's, the drive's or the gate's own words (already in
// the interface's language).
QString TuningWindow::failureText(const TuneResult& r) {
    using hx::tuning::TuneFailure;
    const QString detail = QString::fromStdString(r.failureDetail);
    QString why;
    switch (r.failure) {
    case TuneFailure::None: break;
    case TuneFailure::NoAnswer: why = tr("驱动器没有应答寄存器 %1").arg(detail); break;
    case TuneFailure::NoSamplingLimits: why = tr("驱动器没有应答采样限制"); break;
    case TuneFailure::TorqueFeedforward: why = tr("转矩前馈已开启（Pr1.10 = %1）：请将 Pr1.10 设为 0 后再整定").arg(detail); break;
    case TuneFailure::Move:
        why = r.moveFault == hx::tuning::MoveFault::Refused      ? tr("驱动器拒绝了运动：%1").arg(detail)
              : r.moveFault == hx::tuning::MoveFault::Incomplete ? tr("采集没有完成：%1").arg(detail)
                                                                 : detail;
        break;
    case TuneFailure::LeavesTravel: why = tr("测量运动会超出行程"); break;
    case TuneFailure::GateRefused: why = tr("参数未写入：%1").arg(detail); break;
    case TuneFailure::WriteRefused: why = tr("驱动器没有接受写入"); break;
    case TuneFailure::SettlesSlower: why = tr("新设置下标准运动的整定没有更快"); break;
    case TuneFailure::FollowsWorse: why = tr("新设置下标准运动的跟随更差"); break;
    case TuneFailure::OvershootsMore: why = tr("新设置下标准运动的超调更大"); break;
    case TuneFailure::MarginsMissed: why = tr("再次测量的环路没有满足裕度"); break;
    }
    const int stage = static_cast<int>(r.reached);
    QString text = stage < hx::tuning::kTuneStages - 1 ? tr("整定失败于“%1”：%2").arg(tr(kStageNames[stage]), why)
                                                       : tr("整定失败：%1").arg(why);
    if (r.putBack) text += QLatin1Char('\n') + tr("之前的设置已恢复。");
    return text;
}

void TuningWindow::store() {
    if (!m_result) return;
    m_store->setEnabled(false);
    m_putBack->setEnabled(false);
    QPointer<TuningWindow> self(this);
    m_storeJob.start(*m_request.drive.changeGate, hx::kSaveToDrive, [self](const hx::StorageResult& s) {
        const bool ok = s.succeeded();
        QMetaObject::invokeMethod(
            self.data(),
            [self, ok] {
                if (!self) return;
                self->m_keepNote->setText(ok ? tr("已存储到驱动器：断电后保留。") : tr("存储未完成：设置仍只在 RAM 中。"));
                self->m_putBack->setEnabled(true);
                self->m_store->setEnabled(!ok);
                emit self->storeFinished(ok);
            },
            Qt::QueuedConnection);
    }, m_request.drive.drive);
}

void TuningWindow::putBack() {
    if (!m_result) return;
    m_store->setEnabled(false);
    m_putBack->setEnabled(false);
    const hx::tuning::ServoWords now = m_result->after, before = m_result->before;
    hx::tuning::DriveContext ctx = m_request.drive;
    QPointer<TuningWindow> self(this);
    m_putBackJob.run<bool>(
        [ctx, now, before](std::stop_token) mutable { return hx::tuning::PutBack(ctx, now, before, nullptr); },
        [self](const bool& done) {
            QMetaObject::invokeMethod(
                self.data(),
                [self, done] {
                    if (!self) return;
                    if (done && self->m_result) self->m_result->putBack = true;
                    self->m_keepNote->setText(done ? tr("之前的设置已恢复。") : tr("之前的设置未能全部恢复！"));
                    self->m_putBack->setEnabled(!done);
                    emit self->putBackFinished(done);
                },
                Qt::QueuedConnection);
        });
}

}  // namespace hx::gui
