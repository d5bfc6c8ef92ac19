#include "gui/backup/ChangeHistory.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "core/Globals.h"
#include "core/backup/ChangeGate.h"
#include "core/backup/RestoreItems.h"
#include "core/db/CADO.h"
#include "core/settings/AppPaths.h"
#include "core/link/CQXCOM.h"
#include "gui/backup/GateMessages.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The journal's word for where a change came from, in the window's language.
QString OriginText(const std::string& key) {
    static const std::pair<const char*, const char*> kOrigins[] = {
        {"edit", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "编辑")},
        {"file", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "文件")},
        {"wizard", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "向导")},
        {"slider", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "滑块")},
        {"gains", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "增益")},
        {"command line", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "命令行")},
        {"tune", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "整定")},
        {"command", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "命令")},
        {"undo", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "撤销")},
        {"restore", QT_TRANSLATE_NOOP("hx::gui::CChangeHistory", "恢复")},
    };
    for (const auto& [k, text] : kOrigins)
        if (key == k) return QCoreApplication::translate("hx::gui::CChangeHistory", text);
    return Q(key);
}

struct PlanOutcome {
    bool ok = false;
    std::shared_ptr<RestorePlan> plan;
    std::vector<RestoreItem> items;
    std::string error;
};

// A value as the parameter's type reads it.
QString Value(int64_t v) { return QString::number(v); }

}  // namespace

CChangeHistory::CChangeHistory(const DriveHandle& drive, ChangeGate& gate, QWidget* parent)
    : FunctionWindow(tr("变更记录"), LinkUse::HoldsLink, parent), m_drive(drive), m_gate(gate) {
    auto* layout = new QVBoxLayout(this);

    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(tr("会话:"), this));
    m_session = new QComboBox(this);
    m_session->setMinimumContentsLength(28);
    filters->addWidget(m_session, 1);
    filters->addWidget(new QLabel(tr("参数:"), this));
    m_filter = new QLineEdit(this);
    m_filter->setPlaceholderText(tr("名称或地址"));
    filters->addWidget(m_filter, 1);
    auto* refresh = new QPushButton(tr("刷新"), this);
    filters->addWidget(refresh);
    layout->addLayout(filters);

    m_table = new QTableWidget(0, 7, this);
    m_table->setHorizontalHeaderLabels(
        {tr("时间"), tr("来源"), tr("地址"), tr("参数名"), tr("原值"), tr("新值"), tr("状态")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);

    auto* actions = new QHBoxLayout;
    m_undo = new QPushButton(tr("撤销"), this);
    actions->addWidget(m_undo);
    actions->addSpacing(20);
    actions->addWidget(new QLabel(tr("备份:"), this));
    m_backups = new QComboBox(this);
    m_backups->setMinimumContentsLength(30);
    actions->addWidget(m_backups, 1);
    m_restore = new QPushButton(tr("恢复到此前"), this);
    actions->addWidget(m_restore);
    layout->addLayout(actions);
    m_status = new QLabel(this);
    layout->addWidget(m_status);

    connect(refresh, &QPushButton::clicked, this, &CChangeHistory::Refresh);
    connect(m_session, &QComboBox::currentIndexChanged, this, [this] { fillRows(); });
    connect(m_filter, &QLineEdit::textChanged, this, [this] { fillRows(); });
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &CChangeHistory::updateButtons);
    connect(m_undo, &QPushButton::clicked, this, &CChangeHistory::UndoSelected);
    connect(m_restore, &QPushButton::clicked, this, &CChangeHistory::RestoreChosenBackup);
    Refresh();
}

CChangeHistory::~CChangeHistory() {
    m_job.requestStop();
    m_job.join();
}

bool CChangeHistory::canClose() {
    if (!busy()) return true;
    ShowMessage(this, tr("正在写入驱动器，请等待完成后再关闭。"), tr("变更记录"));
    return false;
}

void CChangeHistory::Refresh() {
    const std::string port = m_drive.comm()->PortName();
    const QString chosen = m_session->currentData().toString();
    m_session->blockSignals(true);
    m_session->clear();
    m_session->addItem(tr("全部会话"), QString());
    if (ChangeJournal* journal = m_gate.Journal())
        for (const std::string& s : journal->Sessions(port, m_drive.station())) m_session->addItem(Q(s), Q(s));
    const int again = m_session->findData(chosen);
    m_session->setCurrentIndex(again >= 0 ? again : 0);
    m_session->blockSignals(false);

    m_backups->clear();
    const DriveInfo info = DriveInfo::LastConnected();
    for (const BackupEntry& e : m_gate.Store().List(info.displayModel, port, m_drive.station()))
        m_backups->addItem(QFileInfo(Q(e.path)).fileName(), Q(e.path));
    fillRows();
}

void CChangeHistory::fillRows() {
    std::string why;
    ChangeJournal* journal = m_gate.Journal(&why);
    m_rows.clear();
    if (journal)
        m_rows = journal->History(m_drive.comm()->PortName(), m_drive.station(), 0, m_session->currentData().toString().toStdString(),
                                  m_filter->text().trimmed().toStdString());
    else
        m_status->setText(Q(why));
    m_table->setRowCount(static_cast<int>(m_rows.size()));
    for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) {
        const JournalRow& r = m_rows[i];
        const QString state = !r.confirmed ? tr("未确认") : *r.confirmed ? tr("已确认") : tr("被拒绝");
        const QString cells[] = {Q(r.time),
                                 OriginText(r.origin),
                                 QString::number(r.reg),
                                 Q(r.name),
                                 r.oldValue ? QString::number(*r.oldValue) : QStringLiteral("?"),
                                 QString::number(r.newValue),
                                 state};
        for (int c = 0; c < 7; ++c) m_table->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
    // Sizing a shown table's columns to their contents sizes the last one
    // too and ends its stretch: it is stretched again to fill the rest.
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setStretchLastSection(true);
    updateButtons();
}

void CChangeHistory::updateButtons() {
    const int row = m_table->currentRow();
    const bool selected = row >= 0 && row < static_cast<int>(m_rows.size()) && !m_table->selectedItems().isEmpty();
    m_undo->setEnabled(!busy() && selected && CanUndo(m_rows[row]));
    m_restore->setEnabled(!busy() && m_backups->count() > 0);
}

void CChangeHistory::setWorking(bool working, const QString& text) {
    m_working = working;
    m_status->setText(text);
    updateButtons();
}

void CChangeHistory::UndoSelected() {
    const int row = m_table->currentRow();
    if (busy() || row < 0 || row >= static_cast<int>(m_rows.size())) return;
    ChangeJournal* journal = m_gate.Journal();
    if (!journal || !CanUndo(m_rows[row])) return;
    std::vector<JournalRow> group = UndoGroup(*journal, m_rows[row]);
    setWorking(true, tr("正在撤销..."));
    const DriveHandle drive = m_drive;
    const bool started = m_job.run<VerifyReport>(
        [gate = &m_gate, drive, group](std::stop_token stop) { return UndoChanges(*gate, drive, group, {}, stop); },
        UiCallback<const VerifyReport&>(this, [this, group](const VerifyReport& report) { onUndone(report, group); }));
    if (!started) setWorking(false);
}

void CChangeHistory::onUndone(const VerifyReport& report, std::vector<JournalRow> rows) {
    setWorking(false);
    if (!report.gate.ok()) {
        if (OfferToGoOnWithoutBackup(this, m_gate, report.gate, m_drive)) {
            const DriveHandle drive = m_drive;
            setWorking(true, tr("正在撤销..."));
            if (!m_job.run<VerifyReport>(
                    [gate = &m_gate, drive, rows](std::stop_token stop) { return UndoChanges(*gate, drive, rows, {}, stop); },
                    UiCallback<const VerifyReport&>(
                        this, [this, rows](const VerifyReport& again) { onUndone(again, rows); })))
                setWorking(false);
            return;
        }
        emit workFinished(false);
        return;
    }
    emit driveValuesChanged();
    const bool failed = reportFailure(report);
    if (!failed) ShowMessage(this, tr("已撤销：驱动器读回原值。"), tr("撤销"));
    Refresh();
    emit workFinished(!failed);
}

void CChangeHistory::RestoreChosenBackup() {
    if (busy() || m_backups->currentIndex() < 0) return;
    const std::string path = m_backups->currentData().toString().toStdString();
    const DriveHandle drive = m_drive;
    const DriveInfo info = DriveInfo::LastConnected();
    setWorking(true, tr("正在读取驱动器参数..."));
    const bool started = m_job.run<PlanOutcome>(
        [gate = &m_gate, drive, info, path](std::stop_token stop) {
            PlanOutcome out;
            out.plan = std::make_shared<RestorePlan>();
            out.ok = PlanRestore(*gate, drive, info, path, out.plan.get(), &out.error, stop);
            if (!out.ok) return out;
            // Names, units and categories in the interface's language; a
            // missing database leaves bare registers.
            std::vector<ParameterDefinition> definitions;
            try {
                definitions = LoadDefinitions(DatabasePath(), info.driveModel);
            } catch (const DbError&) {
            }
            out.items = DescribeRestore(*out.plan, definitions);
            return out;
        },
        UiCallback<const PlanOutcome&>(
            this, [this](const PlanOutcome& out) { onPlanned(out.ok, *out.plan, out.items, Q(out.error)); }));
    if (!started) setWorking(false);
}

void CChangeHistory::onPlanned(bool ok, const RestorePlan& all, const std::vector<RestoreItem>& items,
                               const QString& error) {
    setWorking(false);
    if (!ok) {
        ShowMessage(this, tr("无法读取备份或驱动器，没有写入任何参数: %1").arg(error), tr("恢复到此前"),
                    MessageIcon::Warning);
        emit workFinished(false);
        return;
    }
    if (items.empty()) {
        ShowMessage(this, tr("驱动器参数与该备份相同，没有需要写入的参数。"), tr("恢复到此前"));
        emit workFinished(true);
        return;
    }
    // The checks of a file load: said before the user agrees.
    QStringList warnings;
    if (all.otherModel) warnings << tr("该备份来自驱动器型号 “%1”。").arg(Q(all.fileModel));
    for (const RangeViolation& v : all.outside)
        warnings << tr("地址 %1（%2）: %3 超出范围 %4").arg(v.address).arg(Q(v.name)).arg(v.value).arg(Q(v.scope));
    // One row a parameter, all ticked: the user unticks what stays as it is
    // now (tuning made after the backup, say).
    std::vector<QStringList> rows;
    for (const RestoreItem& item : items) {
        const QString name = item.name.empty() ? tr("地址 %1").arg(item.addresses.front())
                                               : Q(item.name) + (item.text.empty() ? QString() : "  " + Q(item.text));
        rows.push_back({name, Q(item.kind), Value(item.held), Value(item.wanted), Q(item.units)});
    }
    std::vector<bool> ticked;
    if (!AskToChoose(this, tr("以下 %1 个参数与备份不同。将勾选的参数写回驱动器（恢复为备份中的值），确定吗？").arg(items.size()),
                     tr("恢复到此前"), {tr("参数"), tr("类别"), tr("驱动器当前值"), tr("备份中的值"), tr("单位")},
                     rows, warnings.join('\n'), &ticked)) {
        emit workFinished(false);
        return;
    }
    const RestorePlan plan = ChosenPart(all, items, ticked);
    m_restoredCount = static_cast<int>(std::count(ticked.begin(), ticked.end(), true));
    auto kept = std::make_shared<RestorePlan>(plan);
    const DriveHandle drive = m_drive;
    setWorking(true, tr("正在写入..."));
    const bool started = m_job.run<VerifyReport>(
        [gate = &m_gate, drive, kept](std::stop_token stop) { return ApplyRestore(*gate, drive, *kept, {}, stop); },
        UiCallback<const VerifyReport&>(this, [this, kept](const VerifyReport& report) { onRestored(report, *kept); }));
    if (!started) setWorking(false);
}

void CChangeHistory::onRestored(const VerifyReport& report, const RestorePlan& plan) {
    setWorking(false);
    if (!report.gate.ok()) {
        if (OfferToGoOnWithoutBackup(this, m_gate, report.gate, m_drive)) {
            auto kept = std::make_shared<RestorePlan>(plan);
            const DriveHandle drive = m_drive;
            setWorking(true, tr("正在写入..."));
            if (!m_job.run<VerifyReport>(
                    [gate = &m_gate, drive, kept](std::stop_token stop) { return ApplyRestore(*gate, drive, *kept, {}, stop); },
                    UiCallback<const VerifyReport&>(
                        this, [this, kept](const VerifyReport& again) { onRestored(again, *kept); })))
                setWorking(false);
            return;
        }
        emit workFinished(false);
        return;
    }
    emit driveValuesChanged();
    const bool failed = reportFailure(report);
    if (!failed)
        ShowMessage(this, tr("已恢复 %1 个参数，驱动器读回一致。").arg(m_restoredCount), tr("恢复到此前"));
    Refresh();
    emit workFinished(!failed);
}

bool CChangeHistory::reportFailure(const VerifyReport& report) {
    if (report.stopped) return true;
    if (!report.unanswered.empty()) {
        ShowMessage(this,
                    tr("驱动器没有应答（地址 %1），写入未全部完成: %2")
                        .arg(report.unanswered.front())
                        .arg(Q(report.linkText)),
                    tr("写入失败"), MessageIcon::Warning);
        return true;
    }
    if (!report.mismatches.empty()) {
        const RegisterDifference& d = report.mismatches.front();
        ShowMessage(this,
                    tr("%1 个参数读回的值与写入的不同，例如地址 %2: 写入 %3，读回 %4。")
                        .arg(report.mismatches.size())
                        .arg(d.address)
                        .arg(static_cast<int16_t>(d.wanted))
                        .arg(static_cast<int16_t>(d.held)),
                    tr("写入失败"), MessageIcon::Warning);
        return true;
    }
    return false;
}

}  // namespace hx::gui
