#include "gui/runtest/TorqueMode.h"

#include <QFormLayout>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <memory>

#include "core/Globals.h"
#include "core/params/CParameter.h"
#include "gui/backup/GateMessages.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

using namespace hx::runtest;

CTorqueMode::CTorqueMode(RunPageHost* host, QWidget* parent) : RunPage(host, parent) {
    m_autoTune = new QCheckBox(tr("电流环PI自动整定使能"));
    auto edit = [](const char* name) {
        auto* e = new QLineEdit;
        e->setObjectName(name);
        e->setValidator(new QRegularExpressionValidator(QRegularExpression("-?\\d{0,6}"), e));
        e->setMaximumWidth(110);
        return e;
    };
    m_kp = edit("kp");
    m_ki = edit("ki");
    m_kc = edit("kc");
    m_current = edit("current");
    auto* form = new QFormLayout(this);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow(m_autoTune);
    form->addRow(tr("Kp :"), m_kp);
    form->addRow(tr("Ki :"), m_ki);
    form->addRow(tr("Kc :"), m_kc);
    form->addRow(tr("I-Test (mA):"), m_current);
    connect(m_autoTune, &QCheckBox::clicked, this, &CTorqueMode::OnAutoTuneClicked);
    // Only a drive that shows the auto-tuning switch among its parameters has one.
    m_autoTune->setEnabled(HasAutoTuneSwitch(theParameterTable));
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    m_fields.testCurrent = 1000;
    ShowFields();
}

bool CTorqueMode::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    return RunPage::eventFilter(watched, event);
}

int CTorqueMode::SampleInterval() const { return kTorqueSamplePeriodUs; }

void CTorqueMode::LoadFromDrive() {
    auto result = std::make_shared<TorqueReadback>();
    m_host->Request([drive = m_host->Drive(), result]() mutable { *result = ReadTorqueGains(drive); },
                    [this, result] {
                        if (result->autoTune) m_fields.autoTune = *result->autoTune;
                        if (result->kp) m_fields.kp = static_cast<int16_t>(*result->kp);
                        if (result->ki) m_fields.ki = static_cast<int16_t>(*result->ki);
                        if (result->kc) m_fields.kc = static_cast<int16_t>(*result->kc);
                        if (result->unanswered) m_host->ReportNoAnswer(*result->unanswered);
                        ++m_loads;
                        ShowFields();
                    });
}

void CTorqueMode::ShowFields() {
    m_autoTune->setChecked(m_fields.autoTune != 0);
    m_kp->setEnabled(m_fields.autoTune == 0);
    m_ki->setEnabled(m_fields.autoTune == 0);
    m_kp->setText(QString::number(m_fields.kp));
    m_ki->setText(QString::number(m_fields.ki));
    m_kc->setText(QString::number(m_fields.kc));
    m_current->setText(QString::number(m_fields.testCurrent));
}

bool CTorqueMode::TakeFields() {
    QLineEdit* edits[] = {m_kp, m_ki, m_kc, m_current};
    int16_t values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const int v = edits[i]->text().trimmed().toInt(&ok);
        if (!ok || v < -32768 || v > 32767) {
            ShowMessage(this, tr("请输入一个整数。"), {}, MessageIcon::Warning);
            edits[i]->setFocus();
            return false;
        }
        values[i] = static_cast<int16_t>(v);
    }
    m_fields.kp = values[0];
    m_fields.ki = values[1];
    m_fields.kc = values[2];
    m_fields.testCurrent = values[3];
    m_fields.autoTune = m_autoTune->isChecked() ? 1 : 0;
    return true;
}

void CTorqueMode::OnAutoTuneClicked() {
    TakeFields();
    const bool on = m_autoTune->isChecked();
    m_kp->setEnabled(!on);
    m_ki->setEnabled(!on);
    auto result = std::make_shared<CommandResult>();
    m_host->Request([gate = &m_host->Gate(), drive = m_host->Drive(), on, result]() mutable {
        *result = SetCurrentAutoTune(*gate, drive, on);
    },
                    [this, result] {
                        if (!result->gate.ok())
                            hx::gui::OfferToGoOnWithoutBackup(this, m_host->Gate(), result->gate, m_host->Drive());
                        else if (result->value)
                            m_fields.autoTune = *result->value;
                        else
                            m_host->ReportNoAnswer(result->address);
                    });
}

std::optional<RunRequest> CTorqueMode::StartRun(const std::array<uint32_t, 4>& codes, int points) {
    if (!TakeFields() || CheckTorque(m_fields)) {
        // No message: the reset value waits in the field until the gains are read again.
        return std::nullopt;
    }
    const DriveHandle drive = m_host->Drive();
    return RunRequest::Start(drive, Mode::Torque, {codes[0], 0, 0, 0}, points,
                             TorqueStartWrites(m_fields, points, drive.firmwareVersion()));
}

void CTorqueMode::TakeStartResult(const RunOutcome& outcome) {
    TakeReturnedValues(outcome.startWrites, outcome.writes.returned, nullptr, &m_fields, nullptr);
    ShowFields();
}

}  // namespace hx::gui
