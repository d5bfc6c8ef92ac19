#include "gui/runtest/ResonateAdjust.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <memory>

#include "gui/backup/GateMessages.h"
#include "gui/widgets/Messages.h"

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

void CResonateAdjust::TakeFields() {
    for (int i = 0; i < kResonanceSettings; ++i) {
        bool ok = false;
        const int v = m_edits[i]->text().trimmed().toInt(&ok);
        if (ok) m_fields.values[i] = v;
    }
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
            *trapezoid = ReadTrapezoid(drive);
        },
                    [this, read, trapezoid] {
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
        [drive = m_host->Drive(), i, value, result]() mutable { *result = WriteResonanceSetting(drive, i, value); },
                    [this, i, result] {
                        if (!result->gate.ok()) {
                            hx::gui::OfferToGoOnWithoutBackup(this, result->gate, m_host->Drive());
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
    TakeFields();
    int focused = -1;
    for (int i = 0; i < kResonanceSettings; ++i)
        if (m_edits[i]->hasFocus()) focused = i;
    if (focused >= 0) m_sliders[focused]->setValue(m_fields.values[focused]);
    ShowFields();
    if (!Validate()) return;
    if (focused >= 0) WriteSetting(focused);
}

std::optional<CaptureRequest> CResonateAdjust::StartRun(const std::array<uint32_t, 4>& codes, int points) {
    TakeFields();
    if (!Validate()) {
        m_host->SetStartIdle();
        return std::nullopt;
    }
    m_fields.sampleInterval = m_interval->currentText().toInt();
    const DriveHandle drive = m_host->Drive();
    return CaptureRequest::For(drive, Mode::Resonance, codes, points,
                               ResonanceStartWrites(m_fields, codes, points, drive.firmwareVersion()));
}

void CResonateAdjust::TakeStartResult(const CaptureOutcome& outcome) {
    TakeFields();
    TakeReturnedValues(outcome.startWrites, outcome.writes.returned, nullptr, nullptr, &m_fields);
    ShowFields();
}

}  // namespace hx::gui
