#include "gui/wizard/GuideSettings.h"
#include "gui/widgets/CommonTexts.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "core/Globals.h"
#include "core/wizard/WizardSettingText.h"
#include "gui/backup/GateMessages.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"
#include "gui/wizard/GuidePages.h"

namespace hx::gui {

using hx::wizard::LoadStep;
using hx::wizard::SettingKind;

namespace {

// Two rows under the pages: the step and what the wizard is doing, then the buttons.
constexpr int kButtonStrip = 80;
constexpr int kSteps = 4;
constexpr LoadStep kPageLoads[kSteps] = {LoadStep::AliasPage, LoadStep::CurrentPage, LoadStep::PulsesPage,
                                         LoadStep::IoPage};

bool IsPolarity(SettingKind k) { return k == SettingKind::InputPolarity || k == SettingKind::OutputPolarity; }

// The fields the current and pulses pages show unsigned: a 40000 mA peak is
// no negative current, and the summary must read as the page did.
bool ShownUnsigned(SettingKind k) {
    return k == SettingKind::PeakCurrent || k == SettingKind::StandbyTime || k == SettingKind::StandbyCurrent ||
           k == SettingKind::PulsesPerRev;
}

QString FormatValue(SettingKind kind, int16_t v) {
    if (IsPolarity(kind)) return QStringLiteral("0x%1").arg(static_cast<uint16_t>(v), 4, 16, QLatin1Char('0'));
    if (ShownUnsigned(kind)) return QString::number(static_cast<uint16_t>(v));
    return QString::number(v);
}

}  // namespace

CGuideSettings::CGuideSettings(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent)
    : FunctionWindow(tr("设置向导"), LinkUse::Free, parent), m_variant(g_driveVariantCode), m_drive(drive), m_gate(gate) {
    m_alias = new CGuideComParameter(this);
    m_current = new CGuideCurrent(this);
    m_pulses = new CGuideSubdevision(this);
    m_io = new CGuideIOSetting(this);
    m_pages[0] = m_alias;
    m_pages[1] = m_current;
    m_pages[2] = m_pulses;
    m_pages[3] = m_io;
    m_previous = new QPushButton(tr("上一步"), this);
    m_next = new QPushButton(tr("下一步"), this);
    m_cancel = new QPushButton(tr("取消"), this);
    m_stepLabel = new QLabel(this);
    QFont bold = m_stepLabel->font();
    bold.setBold(true);
    m_stepLabel->setFont(bold);
    m_status = new QLabel(this);
    m_previous->setEnabled(false);

    connect(m_previous, &QPushButton::clicked, this, [this] { goTo(m_step - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { goTo(m_step + 1); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { closeWindow(); });
    connect(m_alias, &CGuideComParameter::sourceChosen, this, [this](LoadStep action) { startLoad(action); });

    resize(500, 540);
    setMinimumSize(460, 500);
    showStep();
}

CGuideSettings::~CGuideSettings() {
    m_job.requestStop();
    m_job.join();
}

void CGuideSettings::resizeEvent(QResizeEvent*) {
    const QRect client = rect();
    const QRect page(client.left() + 3, client.top() + 3, client.width() - 6, client.height() - kButtonStrip - 3);
    for (QWidget* p : m_pages) p->setGeometry(page);
    const int bw = 80, bh = 28, y = client.bottom() - bh - 8, textY = y - bh - 4;
    m_cancel->setGeometry(client.right() - bw - 10, y, bw, bh);
    m_next->setGeometry(client.right() - 2 * bw - 20, y, bw, bh);
    m_previous->setGeometry(client.right() - 3 * bw - 26, y, bw, bh);
    const int stepWidth = m_stepLabel->fontMetrics().horizontalAdvance(m_stepLabel->text()) + 24;
    m_stepLabel->setGeometry(10, textY, stepWidth, bh);
    m_status->setGeometry(10 + stepWidth, textY, client.width() - stepWidth - 20, bh);
}

void CGuideSettings::goTo(int step) {
    if (busy()) return;
    m_step = step;
    showStep();
}

void CGuideSettings::showStep() {
    if (m_step < 0) return;
    const int s = m_step % 5;
    if (s == kSteps) {
        finish();
        return;
    }
    for (int i = 0; i < kSteps; ++i) m_pages[i]->setVisible(i == s);
    m_stepLabel->setText(tr("第 %1 步，共 %2 步").arg(s + 1).arg(kSteps));
    resizeEvent(nullptr);
    updateButtons();
    // Every time: the page shows what the drive holds, so what was typed
    // there and not written is replaced.
    startLoad(kPageLoads[s]);
}

void CGuideSettings::updateButtons() {
    const bool idle = !busy();
    m_previous->setEnabled(idle && m_step > 0);
    m_next->setEnabled(idle && m_step < kSteps);
    m_cancel->setEnabled(!m_applying);
    for (QWidget* p : m_pages) p->setEnabled(idle);
}

void CGuideSettings::setBusy(bool busy) {
    m_waiting = busy;
    updateButtons();
}

void CGuideSettings::collectAll() {
    m_alias->collect(m_form);
    m_current->collect(m_form);
    m_pulses->collect(m_form);
    m_io->collect(m_form);
}

void CGuideSettings::startLoad(LoadStep step) {
    collectAll();
    m_status->setText(tr("正在读取驱动器..."));
    const bool started = m_job.load(step, m_form, m_variant, UiCallback<const hx::wizard::LoadResult&>(
        this, [this](const hx::wizard::LoadResult& result) { onLoaded(result); }), m_drive);
    if (started) setBusy(true);
}

void CGuideSettings::onLoaded(const hx::wizard::LoadResult& result) {
    m_form = result.form;
    for (const auto& [address, value] : result.values) m_read[address] = value;
    switch (result.step) {
    case LoadStep::AliasPage:
    case LoadStep::AliasSwitch:
    case LoadStep::AliasDictionary: m_alias->showForm(m_form); break;
    case LoadStep::CurrentPage: m_current->showForm(m_form); break;
    case LoadStep::PulsesPage: m_pulses->showForm(m_form); break;
    case LoadStep::IoPage: m_io->showForm(m_form, m_variant); break;
    case LoadStep::InputPage: m_io->inputPage()->showForm(m_form, m_variant); break;
    case LoadStep::OutputPage: m_io->outputPage()->showForm(m_form, m_variant); break;
    }
    m_status->clear();
    setBusy(false);
    if (!result.ok && !result.stopped)
        ShowMessage(this, tr("驱动器没有应答（地址 %1），页面显示的不是驱动器的当前设置。").arg(result.unansweredAddress),
                    tr("读取失败"), MessageIcon::Warning);
    emit pageLoaded();
}

QString CGuideSettings::settingCaption(const hx::wizard::Setting& setting) {
    QString caption =
        QCoreApplication::translate(hx::wizard::kWizardTextContext, hx::wizard::SettingCaption(setting.kind));
    if (caption.contains(QLatin1String("%1"))) caption = caption.arg(setting.pin);
    return caption;
}

CGuideSettings::Summary CGuideSettings::summary(const hx::wizard::WritePlan& plan) const {
    Summary result;
    for (const auto& w : plan) {
        const auto old = m_read.find(w.address);
        const QString before = old == m_read.end() ? QStringLiteral("?") : FormatValue(w.setting.kind, old->second);
        const QString line = tr("%1 (地址 %2): %3 → %4")
                                 .arg(settingCaption(w.setting))
                                 .arg(w.address)
                                 .arg(before, FormatValue(w.setting.kind, w.value));
        // A value never read counts as a change: nobody knows it is not one.
        (old != m_read.end() && old->second == w.value ? result.unchanged : result.changed) << line;
    }
    result.footer = tr("然后存储参数 (地址 90 ← 1)");
    return result;
}

void CGuideSettings::finish() {
    // The I/O page stays in view while the user decides.
    collectAll();
    hx::wizard::WritePlan plan;
    hx::wizard::Setting bad;
    if (!hx::wizard::PlanWrites(m_form, m_variant, &plan, &bad)) {
        // Back on the last page: "下一步" asks again once the text is mended.
        m_step = kSteps - 1;
        updateButtons();
        ShowMessage(this, tr("“%1”不是数字，没有写入任何参数。请回到该页面重新输入。").arg(settingCaption(bad)),
                    tr("输入错误"), MessageIcon::Warning);
        return;
    }
    const Summary changes = summary(plan);
    if (!AskYesNoWithChanges(this, tr("已完成向导参数设定，是否下发并保存刚才设定的参数？"), tr("完成向导"),
                             changes.changed, changes.unchanged, changes.footer)) {
        // Nothing written; the wizard stays at its last step with "下一步"
        // disabled, and "上一步" goes back to the input/output page.
        updateButtons();
        return;
    }
    m_applying = true;
    m_status->setText(tr("正在写入参数..."));
    const bool started = m_job.apply(
        m_gate, plan,
        UiCallback<int, int>(this, [this](int done, int total) { onApplyProgress(done, total); }),
        UiCallback<const hx::wizard::ApplyResult&>(
            this, [this](const hx::wizard::ApplyResult& result) { onApplied(result); }), m_drive);
    if (!started) {
        m_applying = false;
        m_step = kSteps - 1;
        updateButtons();
        return;
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    setBusy(true);
}

void CGuideSettings::onApplyProgress(int done, int total) {
    // The last step is the store, which takes the drive a few seconds.
    if (done < total - 1)
        m_status->setText(tr("正在写入参数... %1/%2").arg(done).arg(total - 1));
    else
        m_status->setText(tr("正在存储参数..."));
}

void CGuideSettings::onApplied(const hx::wizard::ApplyResult& result) {
    QApplication::restoreOverrideCursor();
    m_applying = false;
    m_status->clear();
    // Done, it stays at its last step ("下一步" disabled). A write or store
    // that failed puts it back on the last page with every value as typed,
    // so that "下一步" can try again.
    if (!result.completed()) m_step = kSteps - 1;
    setBusy(false);
    using hx::wizard::ApplyOutcome;
    switch (result.outcome) {
    case ApplyOutcome::Completed:
        ShowMessage(this, tr("向导参数已设置完成!"), tr("完成向导"));
        break;
    case ApplyOutcome::WriteUnanswered:
        if (result.refused) {
            ShowMessage(this,
                        tr("驱动器不接受“%1”（地址 %2）的值 %3：该设置及其后的设置没有写入，参数没有存储。")
                            .arg(settingCaption(result.unanswered->setting))
                            .arg(result.unanswered->address)
                            .arg(result.unanswered->value),
                        tr("写入失败"), MessageIcon::Warning);
            break;
        }
        ShowMessage(this,
                    tr("驱动器没有应答：“%1”（地址 %2）没有写入，其后的设置也没有写入，参数没有存储。")
                        .arg(settingCaption(result.unanswered->setting))
                        .arg(result.unanswered->address),
                    tr("写入失败"), MessageIcon::Warning);
        break;
    case ApplyOutcome::StoreUnanswered:
    case ApplyOutcome::StoreNotCleared: ShowMessage(this, tr("保存驱动器当前设置失败!"), tr("保存失败")); break;
    case ApplyOutcome::StoreDuringRun:
    case ApplyOutcome::StoreReplyLost: ShowSaveToDriveOutcome(this, result.store); break;
    case ApplyOutcome::Stopped: break;
    case ApplyOutcome::NotBackedUp:
        // Nothing was written; a Yes lets the user's next apply through without a backup.
        hx::gui::OfferToGoOnWithoutBackup(this, m_gate, result.gate, m_drive);
        break;
    }
    emit applyFinished(result.completed());
}

bool CGuideSettings::canClose() {
    if (m_applying) {
        ShowMessage(this, tr("通信模块正在数据交互......请等待完成任务再操作!"));
        return false;
    }
    m_job.requestStop();
    m_job.join();
    return true;
}

}  // namespace hx::gui
