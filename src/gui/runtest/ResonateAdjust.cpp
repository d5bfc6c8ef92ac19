#include "gui/runtest/ResonateAdjust.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <memory>

#include "gui/backup/GateMessages.h"
#include "core/analysis/SpectrumPeaks.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {

using namespace hx::runtest;

CResonateAdjust::CResonateAdjust(RunPageHost* host, QWidget* parent) : RunPage(host, parent) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    for (int i = 0; i < kResonanceSettings; ++i) {
        const ResonanceSetting& s = ResonanceSettingAt(i);
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setRange(0, s.maximum);
        slider->setPageStep(5);
        slider->setTickPosition(QSlider::NoTicks);
        slider->setObjectName(QString("slider%1").arg(i));
        auto* edit = new QLineEdit("0");
        edit->setObjectName(QString("edit%1").arg(i));
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("-?\\d{0,9}"), edit));
        edit->setMaximumWidth(60);
        m_sliders[i] = slider;
        m_edits[i] = edit;
        // Two columns: the four sets on the left, the Z axis under the fourth.
        const int row = i % 7, col = (i / 7) * 3;
        grid->addWidget(new QLabel(QCoreApplication::translate(kTextContext, s.label)), row, col);
        grid->addWidget(slider, row, col + 1);
        grid->addWidget(edit, row, col + 2);
        connect(slider, &QSlider::sliderMoved, this, [this, i](int pos) { OnSliderMoved(i, pos); });
        connect(slider, &QSlider::sliderReleased, this, [this, i] { OnSliderReleased(i); });
        // A click beside the handle or a key moves it by itself: written as a release is.
        connect(slider, &QSlider::actionTriggered, this, [this, i](int action) {
            if (action == QAbstractSlider::SliderMove) return;
            QTimer::singleShot(0, this, [this, i] { OnSliderReleased(i); });
        });
    }
    m_interval = new QComboBox;
    for (int v : kSampleIntervals) m_interval->addItem(QString::number(v));
    m_interval->setCurrentText("100");
    grid->addWidget(new QLabel(tr("采样间隔")), 6, 3);
    grid->addWidget(m_interval, 6, 4, 1, 2);
    // A start runs whatever trapezoid the drive holds, which may be another
    // than the user thinks (50 runs from an earlier test): it is shown.
    m_trapezoid = new QLabel;
    m_trapezoid->setObjectName("trapezoid");
    m_trapezoid->setWordWrap(true);
    grid->addWidget(m_trapezoid, 7, 0, 1, 6);
    m_assistant = new QLabel;
    m_assistant->setObjectName("assistant");
    m_assistant->setWordWrap(true);
    m_assistant->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_assistant->setText(tr("运行后在此显示移动结束后的振荡（请记录位置误差或速度反馈）。"));
    m_apply = new QPushButton(tr("应用并重新运行"));
    m_apply->setObjectName("apply");
    m_apply->setEnabled(false);
    m_putBack = new QPushButton(tr("恢复之前的设置"));
    m_putBack->setObjectName("putBack");
    m_putBack->setEnabled(false);
    // After "应用并重新运行": the sets are in the drive's RAM only, and the
    // store is offered right here.
    m_ramNote = new QLabel(tr("新设置只在驱动器的 RAM 中，断电后丢失。"));
    m_ramNote->setObjectName("ramNote");
    m_ramNote->setWordWrap(true);
    m_ramNote->hide();
    m_store = new QPushButton(tr("保存驱动器参数"));
    m_store->setObjectName("store");
    m_store->hide();
    connect(m_apply, &QPushButton::clicked, this, &CResonateAdjust::ApplyAndRunAgain);
    connect(m_putBack, &QPushButton::clicked, this, &CResonateAdjust::PutBack);
    connect(m_store, &QPushButton::clicked, this, &CResonateAdjust::StoreInDrive);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_apply);
    buttons->addWidget(m_putBack);
    buttons->addWidget(m_ramNote);
    buttons->addWidget(m_store);
    buttons->addStretch();
    grid->addWidget(m_assistant, 8, 0, 1, 4);
    grid->addLayout(buttons, 8, 4, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    ShowFields();
}

bool CResonateAdjust::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnEnter();
            return true;
        }
    }
    return RunPage::eventFilter(watched, event);
}

int CResonateAdjust::TakeFields() {
    int notANumber = -1;
    for (int i = 0; i < kResonanceSettings; ++i) {
        bool ok = false;
        const int v = m_edits[i]->text().trimmed().toInt(&ok);
        if (ok)
            m_fields.values[i] = v;
        else if (notANumber < 0)
            notANumber = i;
    }
    return notANumber;
}

bool CResonateAdjust::TakeFieldsToUse() {
    // An edit left empty or holding only "-" would otherwise keep the old
    // value, and a start would write that instead of what the user sees.
    const int i = TakeFields();
    if (i < 0) return true;
    ShowMessage(this, tr("请输入一个整数。"), {}, MessageIcon::Warning);
    m_edits[i]->setFocus();
    return false;
}

void CResonateAdjust::ShowFields() {
    for (int i = 0; i < kResonanceSettings; ++i) m_edits[i]->setText(QString::number(m_fields.values[i]));
}

bool CResonateAdjust::Validate() {
    if (auto failure = CheckResonance(m_fields)) {
        m_sliders[failure->field]->setValue(0);
        ShowFields();
        ShowMessage(this, QCoreApplication::translate(kTextContext, failure->message),
                    QCoreApplication::translate(kTextContext, kRangeCaption), MessageIcon::Warning);
        return false;
    }
    return true;
}

void CResonateAdjust::ShowTrapezoid(const std::optional<VelocityFields>& t) {
    if (!t) {
        m_trapezoid->setText(tr("启动时电机按驱动器中保存的梯形运行，但驱动器没有应答梯形参数的读取。"));
        return;
    }
    m_trapezoid->setText(tr("启动时电机按驱动器中的梯形运行: 速度 %1 (0.01rps), 行程 %2 (0.01r), 加速度 %3 r/s/s, "
                            "间歇 %4 ms, %5 次, %6, %7。可在“速度梯形”页修改。")
                             .arg(t->speed)
                             .arg(t->distance)
                             .arg(t->acceleration)
                             .arg(t->dwell)
                             .arg(t->runs)
                             .arg(t->backAndForth != 0 ? tr("往复") : tr("单向"))
                             .arg(t->direction < 0 ? tr("反方向") : tr("正方向")));
}

void CResonateAdjust::LoadFromDrive() {
    auto read = std::make_shared<ResonanceReadback>();
    auto trapezoid = std::make_shared<std::optional<VelocityFields>>();
    m_host->Request(
        [drive = m_host->Drive(), read, trapezoid]() mutable {
            *read = ReadResonanceSettings(drive);
            // The run moves by the trapezoid the drive holds: the assistant
            // times the move's end from it when no position reference is recorded.
            *trapezoid = ReadTrapezoid(drive);
        },
                    [this, read, trapezoid] {
                        if (*trapezoid) m_trapezoidFields = **trapezoid;
                        m_trapezoidRead = trapezoid->has_value();
                        ShowTrapezoid(*trapezoid);
                        if (read->unanswered) m_host->ReportNoAnswer(*read->unanswered);
                        for (int i = 0; i < kResonanceSettings; ++i) {
                            if (!read->values[i]) continue;
                            // The slider shows an out-of-range value at the nearest end, and so does the field.
                            m_sliders[i]->setValue(*read->values[i]);
                            m_fields.values[i] = m_sliders[i]->value();
                        }
                        ++m_loads;
                        ShowFields();
                    });
}

void CResonateAdjust::OnSliderMoved(int i, int position) {
    TakeFields();
    m_fields.values[i] = position;
    ShowFields();
}

void CResonateAdjust::OnSliderReleased(int i) {
    TakeFields();
    m_fields.values[i] = m_sliders[i]->value();
    ShowFields();
    WriteSetting(i);
}

void CResonateAdjust::WriteSetting(int i) {
    const int value = m_fields.values[i];
    auto result = std::make_shared<CommandResult>();
    m_host->Request(
        [gate = &m_host->Gate(), drive = m_host->Drive(), i, value, result]() mutable {
            *result = WriteResonanceSetting(*gate, drive, i, value);
        },
                    [this, i, result] {
                        if (!result->gate.ok()) {
                            hx::gui::OfferToGoOnWithoutBackup(this, m_host->Gate(), result->gate, m_host->Drive());
                            return;
                        }
                        if (!result->value) {
                            m_host->ReportNoAnswer(result->address);
                            return;
                        }
                        ++m_writesAnswered;
                        TakeFields();
                        m_fields.values[i] = *result->value;
                        ShowFields();
                    });
}

void CResonateAdjust::OnEnter() {
    if (!TakeFieldsToUse()) return;
    int focused = -1;
    for (int i = 0; i < kResonanceSettings; ++i)
        if (m_edits[i]->hasFocus()) focused = i;
    if (focused >= 0) m_sliders[focused]->setValue(m_fields.values[focused]);
    ShowFields();
    if (!Validate()) return;
    if (focused >= 0) WriteSetting(focused);
}

std::optional<RunRequest> CResonateAdjust::StartRun(const std::array<uint32_t, 4>& codes, int points) {
    if (!TakeFieldsToUse() || !Validate()) {
        return std::nullopt;
    }
    m_fields.sampleInterval = m_interval->currentText().toInt();
    m_runSettings = m_fields.values;
    const DriveHandle drive = m_host->Drive();
    return RunRequest::Start(drive, Mode::Resonance, codes, points,
                             ResonanceStartWrites(m_fields, codes, points, drive.firmwareVersion()));
}

void CResonateAdjust::TakeStartResult(const RunOutcome& outcome) {
    TakeFields();
    TakeReturnedValues(outcome.startWrites, outcome.writes.returned, nullptr, nullptr, &m_fields);
    ShowFields();
}

namespace {

QString Fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

constexpr double kRestWithoutDampingMs = 2000, kMaxRestMs = 5000;

}  // namespace

void CResonateAdjust::TakeCapture(const RunOutcome& outcome) {
    const Awaiting awaiting = std::exchange(m_awaiting, Awaiting::Nothing);
    if (awaiting == Awaiting::Nothing) {
        m_before.reset();
        m_secondPass.reset();
    }
    ShowStoreOffer(awaiting != Awaiting::Nothing);
    // The drive's answer to the start writes holds the settings the run had.
    m_runSettings = m_fields.values;
    m_lastPoints = outcome.points;
    m_last = AnalyseVelocityRun(outcome.codes, outcome.samples, m_fields.sampleInterval, m_trapezoidFields, m_runSettings);
    m_proposal = {};
    if (awaiting == Awaiting::FirstPass && StartSecondPass()) return;
    if (awaiting == Awaiting::SecondPass) JudgeSecondPass();
    if (m_last->status == RunVibration::Status::Analysed && m_last->vibration.ringing)
        m_proposal = hx::analysis::ProposeAntiVibration(m_last->vibration);
    ShowAssistant();
}

bool CResonateAdjust::StartSecondPass() {
    const bool analysed = m_before && m_before->status == RunVibration::Status::Analysed &&
                          m_last->status == RunVibration::Status::Analysed;
    if (!analysed) return false;
    m_secondPass = hx::tuning::ProposeSecondPass(m_applied, m_runSettings, m_before->vibration, m_last->vibration);
    if (!m_secondPass) return false;
    m_afterFirst = m_last;
    m_firstSettings = m_runSettings;
    m_secondPassKept = false;
    m_awaiting = Awaiting::SecondPass;
    m_assistant->setText(tr("第一轮后仍有 %1 Hz 的振荡（%2 → %3）：第二轮写入在其频率 ±20% 内有效的第%4至第%5组抗振，"
                            "再运行一次。")
                             .arg(Fixed(m_last->vibration.frequencyHz, 2), Fixed(m_before->vibration.peakToPeak, 0),
                                  Fixed(m_last->vibration.peakToPeak, 0))
                             .arg(m_secondPass->firstSet + 1)
                             .arg(m_secondPass->touched));
    m_putBack->setEnabled(true);
    RunAgainWith(m_secondPass->settings);
    return true;
}

void CResonateAdjust::JudgeSecondPass() {
    if (!m_afterFirst || !m_secondPass) return;
    m_secondPassKept = m_last->status == RunVibration::Status::Analysed &&
                       hx::tuning::KeepSecondPass(m_afterFirst->vibration, m_last->vibration);
    m_secondPassRang = m_last->vibration.peakToPeak;
    if (m_secondPassKept) return;
    // The first pass alone rang less: its sets go back, and its run is the one shown.
    const auto first = m_firstSettings;
    const int touched = m_secondPass->touched;
    m_last = m_afterFirst;
    m_runSettings = first;
    m_fields.values = first;
    for (int i = 0; i < kResonanceSettings; ++i) m_sliders[i]->setValue(m_fields.values[i]);
    ShowFields();
    auto outcome = std::make_shared<WriteOutcome>();
    m_host->Request(
        [gate = &m_host->Gate(), drive = m_host->Drive(), first, touched, outcome]() mutable {
            *outcome = WriteAntiVibration(*gate, drive, AntiVibrationWrites(first, touched),
                                          "resonance assistant: second pass taken back");
        },
        [this, outcome] {
            if (!outcome->gate.ok())
                hx::gui::OfferToGoOnWithoutBackup(this, m_host->Gate(), outcome->gate, m_host->Drive());
            else if (outcome->unanswered)
                m_host->ReportNoAnswer(*outcome->unanswered);
        });
}

void CResonateAdjust::ShowAssistant() {
    using Kind = hx::analysis::VibrationProposal::Kind;
    auto analysisText = [](const char* text) { return QCoreApplication::translate(hx::analysis::kAnalysisTextContext, text); };
    QStringList lines;
    const bool usable = m_last && m_last->status == RunVibration::Status::Analysed;
    if (m_last && m_last->status == RunVibration::Status::NoSignal)
        lines << tr("请在通道中记录位置误差或速度反馈，以测量移动结束后的振荡。");
    else if (m_last && !usable)
        lines << tr("采样在移动结束后不足 200 ms：请加大采样间隔或每通道采样点数。");
    if (usable) {
        const QString unit = m_last->signalCode == kPositionErrorCode ? " p" : "";
        // Frequency, swing and settling of a run: one column, or before -> after.
        auto frequency = [&](const RunVibration& r) {
            return r.vibration.ringing ? Fixed(r.vibration.frequencyHz, 2) + " Hz" : analysisText(hx::analysis::kNoRingingText);
        };
        auto swing = [&](const RunVibration& r) { return Fixed(r.vibration.peakToPeak, 0) + unit; };
        auto settling = [&](const RunVibration& r) {
            return r.vibration.settlingTimeMs ? Fixed(*r.vibration.settlingTimeMs, 0) + " ms" : tr("未稳定");
        };
        auto row = [&](const QString& name, auto figure) {
            const bool compare = m_before && m_before->status == RunVibration::Status::Analysed;
            lines << name + ": " + (compare ? figure(*m_before) + "  →  " : QString()) + figure(*m_last);
        };
        if (m_before) lines << tr("应用前  →  应用后");
        row(tr("振荡频率"), frequency);
        row(tr("峰峰值(移动后200ms内)"), swing);
        if (m_last->vibration.ringing && m_last->vibration.dampingRatio)
            lines << tr("阻尼比") + ": " + Fixed(*m_last->vibration.dampingRatio, 3);
        row(tr("调节时间(±10%)"), settling);
        if (m_secondPass && m_afterFirst)
            lines << (m_secondPassKept ? tr("第二轮（第%1至第%2组抗振）: 峰峰值 %3 → %4，保留。")
                                       : tr("第二轮（第%1至第%2组抗振）: 峰峰值 %3 → %4，未减少，已恢复第一轮的设置。"))
                         .arg(m_secondPass->firstSet + 1)
                         .arg(m_secondPass->touched)
                         .arg(Fixed(m_afterFirst->vibration.peakToPeak, 0) + unit,
                              Fixed(m_secondPassKept ? m_last->vibration.peakToPeak : m_secondPassRang, 0) + unit);
        switch (m_proposal.kind) {
        case Kind::NoRinging: break;
        case Kind::OneSet:
            lines << tr("建议: 第1组抗振 幅值 %1%, 相位A %2, 相位B %3")
                         .arg(m_proposal.set.amplitude)
                         .arg(m_proposal.set.phaseA)
                         .arg(m_proposal.set.phaseB);
            break;
        case Kind::CombinedSets:
            lines << analysisText(hx::analysis::kCombinedText)
                         .arg(Fixed(m_last->vibration.frequencyHz, 2))
                         .arg(m_proposal.sets);
            break;
        case Kind::TooSlow:
            lines << analysisText(hx::analysis::kTooSlowText).arg(Fixed(m_last->vibration.frequencyHz, 2));
            break;
        }
    }
    if (!lines.isEmpty()) m_assistant->setText(lines.join("\n"));
    m_apply->setEnabled(m_proposal.kind == Kind::OneSet || m_proposal.kind == Kind::CombinedSets);
    m_putBack->setEnabled(m_previous.has_value());
}

void CResonateAdjust::ApplyAndRunAgain() {
    using Kind = hx::analysis::VibrationProposal::Kind;
    if (!m_last || (m_proposal.kind != Kind::OneSet && m_proposal.kind != Kind::CombinedSets)) return;
    m_before = m_last;
    m_previous = m_runSettings;
    m_applied = m_proposal;
    m_secondPass.reset();
    m_afterFirst.reset();
    m_awaiting = Awaiting::FirstPass;
    // The run's start writes all thirteen settings (RAM): that is the write.
    RunAgainWith(hx::analysis::ApplyProposal(m_runSettings, m_proposal));
    m_apply->setEnabled(false);
}

void CResonateAdjust::RunAgainWith(const std::array<int32_t, kResonanceSettings>& settings) {
    m_fields.values = settings;
    for (int i = 0; i < kResonanceSettings; ++i) m_sliders[i]->setValue(m_fields.values[i]);
    ShowFields();
    m_apply->setEnabled(false);
    // The ringing of the run before must have died away, or the next run
    // measures it as well: down to 1 % of the first swing, counted from the
    // move's end, of which the capture has already waited its remainder.
    const auto& v = m_last->vibration;
    const double decayMs = v.ringing && v.dampingRatio && *v.dampingRatio > 0
                               ? std::log(100.0) / (*v.dampingRatio * 2 * M_PI * v.frequencyHz) * 1000.0
                               : kRestWithoutDampingMs;
    const double waitedMs = (m_lastPoints - v.moveEnd) * m_fields.sampleInterval / 1000.0;
    // The second pass's run is compared with the run before the first pass.
    m_host->RunAgain(static_cast<int>(std::clamp(decayMs - waitedMs, 0.0, kMaxRestMs)),
                     m_awaiting == Awaiting::SecondPass);
}

void CResonateAdjust::PutBack() {
    if (!m_previous) return;
    const auto previous = *m_previous;
    auto outcome = std::make_shared<WriteOutcome>();
    m_host->Request(
        [gate = &m_host->Gate(), drive = m_host->Drive(), previous, outcome]() mutable {
            *outcome = WriteAntiVibration(*gate, drive, AntiVibrationWrites(previous, hx::analysis::kAntiVibrationSets),
                                          "resonance assistant: previous sets back");
        },
        [this, previous, outcome] {
            // Nothing was sent; the user may go on without a backup and press again.
            if (!outcome->gate.ok()) {
                hx::gui::OfferToGoOnWithoutBackup(this, m_host->Gate(), outcome->gate, m_host->Drive());
                return;
            }
            if (outcome->unanswered) {
                m_host->ReportNoAnswer(*outcome->unanswered);
                return;
            }
            m_fields.values = previous;
            for (int i = 0; i < kResonanceSettings; ++i) m_sliders[i]->setValue(m_fields.values[i]);
            ShowFields();
            m_previous.reset();
            m_putBack->setEnabled(false);
            ShowStoreOffer(false);
        });
}

CResonateAdjust::~CResonateAdjust() {
    m_storeJob.requestStop();
    m_storeJob.join();
}

void CResonateAdjust::ShowStoreOffer(bool shown) {
    m_ramNote->setVisible(shown);
    m_store->setVisible(shown);
    m_store->setEnabled(!m_storeJob.running());
}

void CResonateAdjust::StoreInDrive() {
    if (m_storeJob.running() || !ConfirmSaveToDrive(this)) return;
    m_store->setEnabled(false);
    const bool started = m_storeJob.start(
        m_host->Gate(), hx::kQuickSaveToDrive, UiCallback<const hx::StorageResult&>(this, [this](const hx::StorageResult& result) {
            m_storeJob.join();
            m_store->setEnabled(true);
            if (result.outcome == hx::StorageOutcome::NotBackedUp) {
                // Nothing was sent; a Yes lets the next press through without a backup.
                hx::gui::OfferToGoOnWithoutBackup(this, m_host->Gate(), result.gate, m_host->Drive());
                return;
            }
            ShowSaveToDriveOutcome(this, result);
            if (result.succeeded()) ShowStoreOffer(false);
            emit stored(result.succeeded());
        }), m_host->Drive());
    if (!started) m_store->setEnabled(true);
}

}  // namespace hx::gui
