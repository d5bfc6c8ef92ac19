#include "gui/alarms/AlarmPages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "core/alarms/AlarmCatalogue.h"
#include "core/alarms/AlarmText.h"
#include "core/alarms/FaultDetections.h"
#include "core/i18n/StringTable.h"
#include "gui/backup/GateMessages.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/ProgramDatabase.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {

QString str(int id) { return QString::fromStdString(hx::LoadString(id)); }
QString qs(const std::string& s) { return QString::fromStdString(s); }

QTableWidget* makeList(const QStringList& headers, const QList<int>& widths) {
    auto* list = new QTableWidget(0, headers.size());
    list->setHorizontalHeaderLabels(headers);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->verticalHeader()->setVisible(false);
    list->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < widths.size(); ++c) list->setColumnWidth(c, widths[c]);
    list->setMinimumWidth(360);
    return list;
}

void setRow(QTableWidget* list, int row, const QStringList& cells) {
    for (int c = 0; c < cells.size(); ++c) list->setItem(row, c, new QTableWidgetItem(cells[c]));
}

QPlainTextEdit* makeCausesText() {
    auto* text = new QPlainTextEdit;
    text->setReadOnly(true);
    text->setMinimumHeight(160);
    return text;
}

// The multi-line box shows "\r\n" line ends as single breaks.
QString shownText(const std::string& text) {
    QString t = qs(text);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return t;
}

std::string connectionIfOpen(const CADO& db) { return db.IsConnectionOpen() ? DatabaseConnectionString() : std::string(); }

}  // namespace

bool AlarmTextsInEnglish() { return g_language == 9; }

// --- Current alarm -------------------------------------------------------

CCurrentAlarm::CCurrentAlarm(const hx::DriveHandle& drive, QWidget* parent) : QWidget(parent), m_drive(drive) {
    m_list = makeList({str(50020), str(50021)}, {100, 250});
    m_causes = makeCausesText();
    m_clear = new QPushButton(tr("清除当前故障"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(new QLabel(tr("报警原因与处理方法")));
    layout->addWidget(m_causes, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_clear);
    layout->addLayout(buttons);

    connect(m_list, &QTableWidget::cellClicked, this, [this] { showCausesOfSelectedRow(); });
    connect(m_clear, &QPushButton::clicked, this, &CCurrentAlarm::clearCurrentFault);

    OpenProgramDatabase(m_db, this);
    startPolling();
}

CCurrentAlarm::~CCurrentAlarm() { shutDown(); }

void CCurrentAlarm::shutDown() {
    m_polling = false;
    m_worker.Stop();
    m_worker.Join();
}

void CCurrentAlarm::startPolling() {
    m_polling = true;
    if (m_clearing) return;  // the clear restarts the poll when it is done
    hx::DriveHandle drive = m_drive;
    const std::string database = connectionIfOpen(m_db);
    const bool english = AlarmTextsInEnglish();
    m_generation = m_worker.Start([this, drive, database, english](std::stop_token stop, uint64_t generation) mutable {
        hx::RunCurrentAlarmPoll(drive, database, english, stop, [this, generation](const hx::CurrentAlarmReading& r) {
            OnUiThread(this, [this, generation, r] { onReading(generation, r); });
        });
    });
}

void CCurrentAlarm::stopPolling() {
    m_polling = false;
    if (!m_clearing) m_worker.Stop();
}

void CCurrentAlarm::showSingleRow(const QString& first, const QString& second) {
    m_list->setRowCount(0);
    m_list->setRowCount(1);
    setRow(m_list, 0, {first, second});
}

void CCurrentAlarm::onReading(uint64_t generation, const hx::CurrentAlarmReading& r) {
    if (generation != m_generation || !m_polling) return;
    using State = hx::CurrentAlarmReading::State;
    switch (r.state) {
    case State::NoAnswer:
        // Not "no alarm": a dead link must not look like a healthy drive.
        m_lastCode = -1;
        showSingleRow(tr("无应答"), tr("驱动器没有应答，请检查通信线路"));
        break;
    case State::NoAlarm:
        // The causes of an alarm that has gone no longer apply.
        if (m_lastCode > 0) m_causes->clear();
        m_lastCode = r.code;
        showSingleRow(str(50023), QString());
        break;
    case State::Alarm:
        m_lastCode = r.code;
        if (r.lookupFailed) {
            // Said once, not on every tick while the database stays broken.
            if (!m_lookupFailing) ShowMessage(this, QStringLiteral("Recordset Close"));
            m_lookupFailing = true;
            break;
        }
        m_lookupFailing = false;
        m_list->setRowCount(0);
        if (r.catalogueMissing) {
            showSingleRow(qs(r.number), QString());
            break;
        }
        m_list->setRowCount(static_cast<int>(r.names.size()));
        for (int i = 0; i < static_cast<int>(r.names.size()); ++i) setRow(m_list, i, {qs(r.number), qs(r.names[i])});
        break;
    }
    emit readingShown();
}

void CCurrentAlarm::showCausesOfSelectedRow() {
    const int row = m_list->currentRow();
    QTableWidgetItem* item = row >= 0 ? m_list->item(row, 0) : nullptr;
    const QString number = item ? item->text() : QString();
    if (number.isEmpty()) return;
    if (!m_db.IsConnectionOpen()) return;
    try {
        const auto causes = hx::LookupAlarmCauses(m_db, number.toStdString(), AlarmTextsInEnglish());
        m_causes->setPlainText(shownText(hx::BuildCauseText(causes, hx::CurrentAlarmLabels(!AlarmTextsInEnglish()))));
    } catch (const DbError&) {
        ShowMessage(this, QStringLiteral("Recordset Close"));
    }
}

void CCurrentAlarm::clearCurrentFault() {
    if (m_clearing) return;
    m_clearing = true;
    m_clear->setEnabled(false);
    hx::DriveHandle drive = m_drive;
    // Starting the clear stops the poll; the clear waits before it writes.
    m_generation = m_worker.Start([this, drive](std::stop_token stop, uint64_t generation) mutable {
        const hx::ClearResult result = hx::ClearCurrentFault(drive, stop);
        OnUiThread(this, [this, generation, result] { onClearFinished(generation, result); });
    });
}

void CCurrentAlarm::onClearFinished(uint64_t generation, const hx::ClearResult& result) {
    if (generation != m_generation) return;
    m_clearing = false;
    m_clear->setEnabled(true);
    const bool answered = result.outcome == hx::ClearOutcome::Cleared;
    if (answered) m_causes->clear();
    if (result.outcome == hx::ClearOutcome::NotAnswered)
        ShowMessage(this, tr("清除当前故障失败：驱动器没有应答!"), tr("清除报警"), MessageIcon::Warning);
    if (m_polling) startPolling();
    emit clearFinished(answered);
}

// --- History ---------------------------------------------------------------

CHistoryAlarm::CHistoryAlarm(const hx::DriveHandle& drive, QWidget* parent) : QWidget(parent), m_drive(drive) {
    m_list = makeList({str(50066), str(50020), str(50021)}, {70, 100, 250});
    m_causes = makeCausesText();
    m_read = new QPushButton(tr("读历史报警"));
    m_clear = new QPushButton(tr("清除历史报警"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_read);
    buttons->addWidget(m_clear);
    layout->addLayout(buttons);
    layout->addWidget(new QLabel(tr("报警原因与处理方法")));
    layout->addWidget(m_causes, 1);

    connect(m_list, &QTableWidget::cellClicked, this, [this] { showCausesOfSelectedRow(); });
    connect(m_read, &QPushButton::clicked, this, &CHistoryAlarm::readHistory);
    connect(m_clear, &QPushButton::clicked, this, &CHistoryAlarm::clearHistory);

    OpenProgramDatabase(m_db, this);
}

CHistoryAlarm::~CHistoryAlarm() { shutDown(); }

void CHistoryAlarm::shutDown() {
    m_reading = false;
    m_worker.Stop();
    m_worker.Join();
}

void CHistoryAlarm::readHistory() {
    if (m_clearing) return;
    m_rows.Clear();
    m_list->setRowCount(0);
    m_causes->clear();
    m_reading = true;
    hx::DriveHandle drive = m_drive;
    const std::string database = connectionIfOpen(m_db);
    const bool english = AlarmTextsInEnglish();
    m_generation = m_worker.Start([this, drive, database, english](std::stop_token stop, uint64_t generation) mutable {
        const hx::AlarmHistoryResult result =
            hx::RunAlarmHistoryRead(drive, database, english, stop, [this, generation](const hx::AlarmHistoryEntry& e) {
                OnUiThread(this, [this, generation, e] { onEntry(generation, e); });
            });
        OnUiThread(this, [this, generation, result] { onReadFinished(generation, result); });
    });
}

void CHistoryAlarm::stopReading() {
    // The page is left: a clear on its way ends without the read that
    // would show its result here.
    m_readAfterClear = false;
    if (!m_reading) return;
    m_reading = false;
    m_worker.Stop();
}

void CHistoryAlarm::onEntry(uint64_t generation, const hx::AlarmHistoryEntry& entry) {
    if (generation != m_generation || !m_reading) return;
    m_rows.Add(entry);
    showRows();
    emit entryShown();
}

void CHistoryAlarm::showRows() {
    using Kind = hx::AlarmHistoryList::RowKind;
    const auto& rows = m_rows.Rows();
    m_list->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const auto& row = rows[i];
        // The row index counted from 0; a register without an alarm is a row
        // whose first column says "没有报警".
        const QString ordinal = QString::number(row.index);
        switch (row.kind) {
        case Kind::Alarm: setRow(m_list, i, {ordinal, qs(row.number), qs(row.name)}); break;
        case Kind::NoAlarm: setRow(m_list, i, {str(50023), QString(), QString()}); break;
        case Kind::NoAnswer:
            setRow(m_list, i, {ordinal, tr("读取失败"), tr("驱动器没有应答 (寄存器 %1)").arg(row.address)});
            break;
        }
    }
}

void CHistoryAlarm::onReadFinished(uint64_t generation, const hx::AlarmHistoryResult& result) {
    if (generation != m_generation) return;
    const bool wasReading = m_reading;
    m_reading = false;
    if (wasReading && result.status == hx::AlarmHistoryResult::Status::Failed)
        ShowMessage(this, QString::fromStdString(result.message));
    emit readFinished();
}

void CHistoryAlarm::showCausesOfSelectedRow() {
    const int row = m_list->currentRow();
    QTableWidgetItem* item = row >= 0 ? m_list->item(row, 1) : nullptr;
    const QString number = item ? item->text() : QString();
    if (number.isEmpty()) return;
    if (!m_db.IsConnectionOpen()) return;
    try {
        const auto causes = hx::LookupAlarmCauses(m_db, number.toStdString(), AlarmTextsInEnglish());
        hx::CauseTextLabels labels = hx::HistoryLabels();
        // The same Chinese texts, or their English where the interface is English.
        labels.header = tr("----------------可能性").toStdString();
        labels.reason = tr("原因:").toStdString();
        labels.remedy = tr("处理:").toStdString();
        labels.chineseNumerals = !AlarmTextsInEnglish();
        m_causes->setPlainText(shownText(hx::BuildCauseText(causes, labels)));
    } catch (const DbError&) {
        ShowMessage(this, QStringLiteral("Recordset Close"));
    }
}

void CHistoryAlarm::clearHistory() {
    if (m_clearing) return;
    // The drive forgets its history for good: nothing brings it back.
    if (!AskYesNo(this, tr("清除驱动器中保存的全部历史报警？清除后无法恢复。"), tr("清除报警"),
                  MessageIcon::Question, true))
        return;
    m_reading = false;
    m_clearing = true;
    m_readAfterClear = true;
    m_clear->setEnabled(false);
    m_read->setEnabled(false);
    hx::DriveHandle drive = m_drive;
    m_generation = m_worker.Start([this, drive](std::stop_token stop, uint64_t generation) mutable {
        const hx::ClearResult result = hx::ClearAlarmHistory(drive, stop);
        OnUiThread(this, [this, generation, result] { onClearFinished(generation, result); });
    });
}

void CHistoryAlarm::onClearFinished(uint64_t generation, const hx::ClearResult& result) {
    if (generation != m_generation) return;
    m_clearing = false;
    m_clear->setEnabled(true);
    m_read->setEnabled(true);
    switch (result.outcome) {
    case hx::ClearOutcome::Cleared:
        if (m_readAfterClear) readHistory();
        break;
    case hx::ClearOutcome::NotCleared: ShowMessage(this, str(50163), tr("清除报警")); break;
    case hx::ClearOutcome::NotAnswered:
        ShowMessage(this, tr("清除历史报警失败：驱动器没有应答!"), tr("清除报警"), MessageIcon::Warning);
        break;
    case hx::ClearOutcome::Stopped: break;
    }
    emit clearFinished(result.cleared());
}

// --- Fault-detection settings ---------------------------------------------

CAlarmSettings::CAlarmSettings(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent)
    : QWidget(parent), m_drive(drive), m_gate(gate) {
    m_group = new QGroupBox(tr("故障检测选择"));
    auto* grid = new QGridLayout(m_group);
    const hx::FaultDetection* detections = hx::FaultDetections();
    for (int n = 0; n < 16; ++n) {
        m_boxes[n] = new QCheckBox(QCoreApplication::translate(hx::kDetectionContext, detections[n].caption));
        grid->addWidget(m_boxes[n], n % 8, n / 8);
    }
    m_ok = new QPushButton(tr("确定"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_group);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    layout->addLayout(buttons);
    layout->addStretch();
    connect(m_ok, &QPushButton::clicked, this, &CAlarmSettings::writeMask);

    readMask(true);
}

CAlarmSettings::~CAlarmSettings() { shutDown(); }

void CAlarmSettings::shutDown() {
    m_worker.Stop();
    m_worker.Join();
}

void CAlarmSettings::setBusy(bool busy) {
    m_busy = busy;
    m_ok->setEnabled(!busy);
}

uint16_t CAlarmSettings::maskFromBoxes() const {
    bool bits[16];
    for (int n = 0; n < 16; ++n) bits[n] = m_boxes[n]->isChecked();
    return hx::MaskFromBits(bits);
}

void CAlarmSettings::readMask(bool quiet) {
    setBusy(true);
    hx::DriveHandle drive = m_drive;
    m_generation = m_worker.Start([this, drive, quiet](std::stop_token, uint64_t generation) mutable {
        const std::optional<uint16_t> mask = hx::ReadDetectionMask(drive);
        OnUiThread(this, [this, generation, mask, quiet] {
            if (generation != m_generation) return;
            setBusy(false);
            if (mask) {
                for (int n = 0; n < 16; ++n) m_boxes[n]->setChecked(hx::MaskBit(*mask, n));
            } else if (!quiet) {
                // The boxes keep what they showed: ticking them all would
                // invite writing a mask the drive never had.
                ShowMessage(this, tr("读取故障检测设置失败：驱动器没有应答!"), {}, MessageIcon::Warning);
            }
            emit maskRead(mask.has_value());
        });
    });
}

void CAlarmSettings::writeMask() {
    if (m_busy) return;
    setBusy(true);
    const uint16_t mask = maskFromBoxes();
    hx::DriveHandle drive = m_drive;
    m_generation = m_worker.Start([this, drive, mask](std::stop_token, uint64_t generation) mutable {
        const hx::MaskWriteResult result = hx::WriteDetectionMask(m_gate, drive, mask);
        OnUiThread(this, [this, generation, mask, result] {
            if (generation != m_generation) return;
            setBusy(false);
            showWritten(mask, result);
        });
    });
}

void CAlarmSettings::showWritten(uint16_t mask, const hx::MaskWriteResult& result) {
    switch (result.outcome) {
    case hx::MaskWriteOutcome::NotBackedUp:
        // Nothing was sent; on the user's word it goes once without a backup.
        if (OfferToGoOnWithoutBackup(this, m_gate, result.gate, m_drive)) {
            writeMask();
            return;
        }
        break;
    case hx::MaskWriteOutcome::Taken: ShowMessage(this, str(50192)); break;
    case hx::MaskWriteOutcome::NotAnswered:
        ShowMessage(this, tr("设置失败：驱动器没有应答!"), {}, MessageIcon::Warning);
        break;
    case hx::MaskWriteOutcome::ReadBackFailed:
        ShowMessage(this, tr("设置未确认：驱动器没有应答读回请求!"), {}, MessageIcon::Warning);
        break;
    case hx::MaskWriteOutcome::NotTaken:
        ShowMessage(this,
                    tr("设置失败：写入 0x%1，驱动器读回 0x%2!")
                        .arg(mask, 4, 16, QChar('0'))
                        .arg(result.readBack, 4, 16, QChar('0')),
                    {}, MessageIcon::Warning);
        break;
    }
    emit maskWritten(result.taken());
}

}  // namespace hx::gui
