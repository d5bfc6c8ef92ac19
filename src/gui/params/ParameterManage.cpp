#include "gui/params/ParameterManage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <vector>

#include "core/Globals.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterChecks.h"
#include "core/params/ParameterFile.h"
#include "core/params/TransferPlan.h"
#include "gui/widgets/GuiState.h"
#include "gui/backup/GateMessages.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/ListBoxEx.h"
#include "gui/widgets/ListCtrlEx.h"
#include "gui/widgets/Messages.h"
#include "gui/widgets/ProgramDatabase.h"
#include "gui/widgets/UiThread.h"

namespace hx::gui {
namespace {

QString fromStd(const std::string& text) { return QString::fromStdString(text); }
std::string toStd(const QString& text) { return text.toStdString(); }

QString transferText(const std::string& text) {
    return QCoreApplication::translate(hx::kTransferTextContext, text.c_str());
}

// What the link saw, on a line of its own below the classic message.
QString linkReason(const hx::TransferResult& result) {
    return result.linkText.empty() ? QString() : QStringLiteral("\n(") + fromStd(result.linkText) + QStringLiteral(")");
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const QString& tip = {}) {
    auto* button = new QPushButton(caption, parent);
    if (!tip.isEmpty()) button->setToolTip(tip);
    return button;
}

constexpr int kLeftX = 10;
constexpr int kMinLeftWidth = 150;
constexpr int kLeftButtonHeight = 25;

}  // namespace

CParameterManage::CParameterManage(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent)
    : FunctionWindow(tr("参数管理"), LinkUse::Free, parent), m_drive(drive), m_gate(gate) {
    g_paramManagerWnd = this;
    buildControls();
    OpenProgramDatabase(m_db, this);
    FillCategoryList();
    m_burn->setVisible(g_accessLevel == AccessLevel::Administrator);
    layoutButtons();
    StartReadAll();
}

CParameterManage::~CParameterManage() {
    m_closing = true;
    stopAllWork();
    if (g_paramManagerWnd == this) g_paramManagerWnd = nullptr;
}

void CParameterManage::buildControls() {
    setMinimumSize(760, 360);
    m_frame = new QFrame(this);
    m_frame->setFrameShape(QFrame::Box);
    m_frame->setFrameShadow(QFrame::Sunken);

    m_readFile = makeButton(this, tr("读文件"), tr("从文件中读取参数配置"));
    m_saveAs = makeButton(this, tr("另 存"), tr("参数另存为"));
    m_memo = makeButton(this, tr("注 释"), tr("保存当前参数到配置文件中"));
    m_read = makeButton(this, tr("读参数"), tr("读取驱动器[用户参数区]的工作参数"));
    m_write = makeButton(this, tr("写参数"), tr("将上位机当前参数下发到驱动器[用户参数区]中"));
    m_save = makeButton(this, tr("保 存"), tr("保存驱动器当前[用户参数区]参数"));
    m_restore = makeButton(this, tr("恢复出厂"), tr("调[出厂参数区]参数,覆盖[用户参数区]"));
    m_burn = makeButton(this, tr("出厂设置"), tr("烧写当前参数到[出厂参数区](仅管理员使用)"));
    m_help = makeButton(this, tr("帮 助"), tr("参数说明"));
    m_compare = makeButton(this, tr("参数比较"), tr("比较两份参数列表差异"));

    m_categoryButton = makeButton(this, tr("参数分类选择"));
    m_categoryList = new CListBoxEx(this);
    m_addCategory = makeButton(this, tr("添加自定义分类"));
    m_nameEdit = new QLineEdit(this);
    m_nameEdit->hide();
    m_addGroup = makeButton(this, tr("添 加"));
    m_addGroup->hide();

    m_list = new CListCtrlEx(this);
    m_list->setEditGuard([this] { return !refuseWhileBusy(); });

    m_descLabel = new QLabel(tr("描 述:"), this);
    m_descLabel->installEventFilter(this);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    m_progress->hide();
    m_percent = new QLabel(QStringLiteral("0%"), this);
    m_percent->hide();

    m_slideOpen = new QTimer(this);
    m_slideOpen->setInterval(kSlideTickMs);
    connect(m_slideOpen, &QTimer::timeout, this, &CParameterManage::slideOpenTick);
    m_slideClose = new QTimer(this);
    m_slideClose->setInterval(kSlideTickMs);
    connect(m_slideClose, &QTimer::timeout, this, &CParameterManage::slideCloseTick);

    connect(m_readFile, &QPushButton::clicked, this, &CParameterManage::LoadParameterFile);
    connect(m_saveAs, &QPushButton::clicked, this, &CParameterManage::SaveParameterFile);
    connect(m_memo, &QPushButton::clicked, this, &CParameterManage::EditDescription);
    connect(m_read, &QPushButton::clicked, this, &CParameterManage::StartReadAll);
    connect(m_write, &QPushButton::clicked, this, &CParameterManage::StartWriteAll);
    connect(m_save, &QPushButton::clicked, this, &CParameterManage::SaveToDrive);
    connect(m_restore, &QPushButton::clicked, this, &CParameterManage::RestoreFactory);
    connect(m_burn, &QPushButton::clicked, this, &CParameterManage::BurnFactory);
    // The button opens the help's first page; a row's own page is the
    // list's "查看参数".
    connect(m_help, &QPushButton::clicked, this, [this] { ShowParameterHelp(QStringLiteral("Pr0.01")); });
    connect(m_compare, &QPushButton::clicked, this, &CParameterManage::OpenCompare);
    connect(m_categoryButton, &QPushButton::clicked, this, &CParameterManage::CloseNameField);
    connect(m_addCategory, &QPushButton::clicked, this, &CParameterManage::OpenNameField);
    connect(m_addGroup, &QPushButton::clicked, this, &CParameterManage::AddGroup);

    connect(m_categoryList, &CListBoxEx::addGroupRequested, this, &CParameterManage::OpenNameField);
    connect(m_categoryList, &CListBoxEx::deleteGroupRequested, this, &CParameterManage::DeleteGroup);
    connect(m_categoryList, &QListWidget::currentRowChanged, this, &CParameterManage::onCategoryChosen);

    connect(m_list, &CListCtrlEx::cellAccepted, this, [this](int row, int) { WriteOne(row); });
    connect(m_list, &CListCtrlEx::helpRequested, this, &CParameterManage::ShowParameterHelp);
    connect(m_list, &CListCtrlEx::addToGroup, this,
            [this](int group, quint16 address, const QString& name) { AddToGroup(address, name, group); });
    connect(m_list, &CListCtrlEx::removeFromGroup, this,
            [this](int group, quint16 address) { RemoveFromGroup(address, group); });
}

// ---------------------------------------------------------------------------
// Layout

void CParameterManage::layoutButtons() {
    // Each button as wide as its caption needs (at least 75 pixels); when the
    // row is wider than the window, all shrink alike so every button stays
    // on screen and clickable, down to a 1024-pixel-wide screen.
    std::vector<QPushButton*> shown;
    int wanted = 0;
    for (QPushButton* b : {m_readFile, m_saveAs, m_memo, m_read, m_write, m_save, m_restore, m_burn, m_help, m_compare}) {
        if (b->isHidden()) continue;
        shown.push_back(b);
        wanted += std::max(75, b->sizeHint().width());
    }
    constexpr int kGap = 5;
    const int kLeft = leftWidth() + 20;
    const int room = width() - kLeft - 5 - kGap * static_cast<int>(shown.size());
    const double scale = wanted > room && room > 0 ? static_cast<double>(room) / wanted : 1.0;
    int x = kLeft;
    for (QPushButton* b : shown) {
        const int w = std::max(40, static_cast<int>(std::max(75, b->sizeHint().width()) * scale));
        b->setGeometry(x, 10, w, 28);
        x += w + kGap;
    }
}

void CParameterManage::resizeEvent(QResizeEvent* event) {
    FunctionWindow::resizeEvent(event);
    const int L = 0, T = 0, R = width(), B = height();
    const int lw = leftWidth();
    m_frame->setGeometry(L + 5, T + 45, lw + 12, B - 70);
    m_categoryButton->setGeometry(L + 10, T + 55, lw, 25);
    m_categoryList->setGeometry(L + 10, T + 80, lw, B - 135);
    if (m_nameFieldOpen || m_slideOpen->isActive()) {
        placeNameField();
    } else {
        m_addCategory->setGeometry(L + 10, B - 55, lw, 25);
    }
    m_list->setGeometry(L + lw + 20, T + 50, R - L - lw - 25, B - T - 75);
    m_descLabel->setGeometry(L + 10, B - 20, 50, 15);
    m_progress->setGeometry(L + 65, B - 20, R - L - 140, 15);
    m_percent->setGeometry(R - 65, B - 20, 50, 15);
    layoutButtons();
}

int CParameterManage::leftWidth() const {
    // Wide enough for the longest category or group name and the buttons'
    // captions ("P5 Extended settings" in English), never narrower than 150.
    int widest = 0;
    const QFontMetrics metrics(m_categoryList->font());
    for (int i = 0; i < m_categoryList->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(m_categoryList->item(i)->text()));
    widest += 2 * m_categoryList->frameWidth() + m_categoryList->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12;
    for (QPushButton* b : {m_categoryButton, m_addCategory, m_addGroup}) widest = std::max(widest, b->sizeHint().width());
    return std::clamp(widest, kMinLeftWidth, 260);
}

void CParameterManage::placeNameField() {
    if (!m_nameFieldOpen) return;
    const int top = m_categoryButton->y() + m_categoryButton->height() + 1;
    m_addCategory->setGeometry(kLeftX, top, leftWidth(), kLeftButtonHeight);
    m_nameEdit->setGeometry(kLeftX, top + kLeftButtonHeight + 5, leftWidth(), kLeftButtonHeight);
    m_addGroup->setGeometry(kLeftX, top + 2 * (kLeftButtonHeight + 5), leftWidth(), kLeftButtonHeight);
}

void CParameterManage::OpenNameField() {
    m_slideClose->stop();
    m_slideOpen->start();
}

void CParameterManage::CloseNameField() {
    m_slideOpen->stop();
    m_slideClose->start();
}

void CParameterManage::slideOpenTick() {
    m_categoryList->hide();
    const int below = m_categoryButton->y() + m_categoryButton->height();
    if (m_addCategory->y() - below > 5) {
        m_addCategory->move(m_addCategory->x(), m_addCategory->y() - 10);
        return;
    }
    m_slideOpen->stop();
    m_nameFieldOpen = true;
    placeNameField();
    m_nameEdit->show();
    m_addGroup->show();
    m_nameEdit->setFocus();
}

void CParameterManage::slideCloseTick() {
    m_nameEdit->hide();
    m_addGroup->hide();
    m_nameFieldOpen = false;
    const int listBottom = m_categoryList->y() + m_categoryList->height();
    if (m_addCategory->y() < listBottom) {
        m_addCategory->move(m_addCategory->x(), m_addCategory->y() + 10);
        return;
    }
    m_slideClose->stop();
    m_categoryList->show();
    m_addCategory->setGeometry(kLeftX, listBottom + 1, leftWidth(), kLeftButtonHeight);
}

bool CParameterManage::eventFilter(QObject* watched, QEvent* event) {
    // The label "描 述:" is the way in to the administrator level; what it
    // unlocks shows at the next listing or opening.
    if (watched == m_descLabel && event->type() == QEvent::MouseButtonPress) g_accessLevel = AccessLevel::Administrator;
    return FunctionWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Busy state

void CParameterManage::setWork(Work work) {
    m_work = work;
    updateControls();
    if (work == Work::Storage || work == Work::WriteOne)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void CParameterManage::updateControls() {
    const bool idle = m_work == Work::None;
    // The table and the link are the work's while it runs: nothing else may
    // read or write them until it ends.
    for (QPushButton* b : {m_readFile, m_saveAs, m_read, m_save, m_restore, m_burn, m_compare})
        b->setEnabled(idle);
    // A table that a read left half filled must not go over the whole drive.
    m_write->setEnabled(idle && m_tableComplete);
}

bool CParameterManage::refuseWhileBusy() {
    if (!busy()) return false;
    ShowMessage(this, tr("通信模块正在数据交互......请等待完成任务再操作!"));
    return true;
}

void CParameterManage::stopAllWork() {
    m_readJob.requestStop();
    m_writeJob.requestStop();
    m_writeOneJob.requestStop();
    m_storageJob.requestStop();
    m_readJob.join();
    m_writeJob.join();
    m_writeOneJob.join();
    m_storageJob.join();
}

bool CParameterManage::canClose() {
    if (!busy()) return true;
    if (!AskYesNo(this, tr("驱动器数据交互尚未完成，停止并关闭窗口吗？"), windowTitle(), MessageIcon::Question))
        return false;
    // The work ends at its next block or wait; its last reports are dropped.
    m_closing = true;
    stopAllWork();
    m_work = Work::None;
    return true;
}

void CParameterManage::closeEvent(QCloseEvent* event) {
    FunctionWindow::closeEvent(event);
    if (event->isAccepted() && g_paramManagerWnd == this) g_paramManagerWnd = nullptr;
}

void CParameterManage::refillAfterWork() {
    if (busy()) return;
    // The drive changed elsewhere while the work ran: its values again.
    if (std::exchange(m_readAgain, false)) {
        m_refillPending = false;
        StartReadAll();
        return;
    }
    // Work started meanwhile (the read after a factory restore) refills at its end.
    if (!m_refillPending) return;
    m_refillPending = false;
    FillParameterList(0, 31999);
}

// ---------------------------------------------------------------------------
// Transfers

void CParameterManage::showProgressStart() {
    m_read->setEnabled(false);
    m_write->setEnabled(false);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_percent->setText(QStringLiteral("0%"));
    m_progress->show();
    m_percent->show();
}

hx::TransferCallbacks CParameterManage::transferCallbacks(TransferHandler finished) {
    // The job reports on its worker thread; the window handles it on its own.
    hx::TransferCallbacks callbacks;
    callbacks.progress = UiCallback<int, int>(this, [this](int done, int total) {
        if (!m_closing) OnProgress(done, total);
    });
    callbacks.finished = UiCallback<const hx::TransferResult&>(
        this, [this, finished](const hx::TransferResult& result) { (this->*finished)(result); });
    return callbacks;
}

void CParameterManage::StartReadAll() {
    if (refuseWhileBusy()) return;
    m_readDrive = CurrentDrive();
    showProgressStart();
    setWork(Work::ReadAll);
    if (!m_readJob.start(transferCallbacks(&CParameterManage::onReadFinished), m_drive, theParameterTable)) setWork(Work::None);
}

void CParameterManage::StartWriteAll() {
    if (!m_bHasParameters) {
        ShowMessage(this, tr("参数列表为空，请上传或读入参数后再操作！"), tr("参数未更新"));
        return;
    }
    if (refuseWhileBusy()) return;
    if (refuseOtherDrivesList()) return;
    if (!m_tableComplete) {
        ShowMessage(this, tr("上次读参数没有完成，参数列表不完整。请重新读参数或读文件后再写参数！"), tr("参数未更新"),
                    MessageIcon::Warning);
        return;
    }
    if (!confirmWriteAll()) return;
    showProgressStart();
    setWork(Work::WriteAll);
    if (!m_writeJob.start(m_gate, transferCallbacks(&CParameterManage::onWriteFinished), m_drive, theParameterTable)) setWork(Work::None);
}

void CParameterManage::OnProgress(int done, int total) {
    const int percent = hx::ProgressPercent(done, total);
    m_percent->setText(QString::number(percent) + QStringLiteral("%"));
    m_progress->setValue(std::clamp(percent, 0, 100));
    if (percent == 100) {
        m_read->setEnabled(true);
        m_write->setEnabled(m_tableComplete || m_work == Work::ReadAll);
    }
}

void CParameterManage::onReadFinished(const hx::TransferResult& result) {
    if (m_closing) return;
    if (!(m_readDrive == CurrentDrive())) {
        // Connected to another drive meanwhile: what was read is no one's list.
        setWork(Work::None);
        if (m_tableDrive || m_bHasParameters) forgetList(tr("读参数期间连接的驱动器已更换，读出的参数已丢弃。请重新读参数。"));
        refillAfterWork();
        emit readAllFinished(false);
        return;
    }
    m_bHasParameters = true;
    m_tableDrive = m_readDrive;
    // Only a whole read makes the table the drive's; after a stopped one the
    // user may read again, but not write the half-read table back.
    m_tableComplete = result.status == hx::TransferStatus::Completed;
    if (m_tableComplete) {
        m_otherModel.clear();
        // The read is the backup at hand for the drive's first change.
        m_gate.NoteCompleteRead(m_drive, theParameterTable);
    }
    setWork(Work::None);
    m_refillPending = false;
    FillParameterList(0, 31999);
    if (result.status == hx::TransferStatus::Failed)
        ShowMessage(this, transferText(result.errorText) + linkReason(result));
    refillAfterWork();
    emit readAllFinished(result.status == hx::TransferStatus::Completed);
}

void CParameterManage::onWriteFinished(const hx::TransferResult& result) {
    if (m_closing) return;
    setWork(Work::None);
    if (result.error == hx::TransferError::NotBackedUp) {
        // Nothing went out: the backup or the journal could not be written.
        hx::GateResult gate;
        gate.status = hx::GateResult::Status::BackupFailed;
        gate.message = result.errorText;
        if (OfferToGoOnWithoutBackup(this, m_gate, gate, m_drive)) {
            showProgressStart();
            setWork(Work::WriteAll);
            if (m_writeJob.start(m_gate, transferCallbacks(&CParameterManage::onWriteFinished), m_drive, theParameterTable)) return;
            setWork(Work::None);
        }
        refillAfterWork();
        emit writeAllFinished(false);
        return;
    }
    // The user may send again at once after a failure.
    if (result.status == hx::TransferStatus::Failed)
        ShowMessage(this, transferText(result.errorText) + linkReason(result));
    refillAfterWork();
    emit writeAllFinished(result.status == hx::TransferStatus::Completed);
}

void CParameterManage::WriteOne(int row) {
    if (row < 0 || row >= m_list->rowCount()) return;
    const uint16_t address = m_list->rowAddress(row);
    const int32_t value = hx::LenientToInt(toStd(m_list->cellText(row, CListCtrlEx::ValueColumn)));
    if (busy()) {
        // Edits are refused before they start while work runs; put back what the table holds.
        m_list->setCellText(row, CListCtrlEx::ValueColumn, QString::number(theParameterTable.GetValue(address)));
        refuseWhileBusy();
        return;
    }
    if (refuseOtherDrivesList()) return;
    setWork(Work::WriteOne);
    const bool started = m_writeOneJob.start(
        m_gate, address, value,
        [this, address](const hx::WriteOneResult& result) {
            OnUiThread(this, [this, address, result] { onWriteOneFinished(address, result); });
        },
        m_drive, theParameterTable);
    if (!started) setWork(Work::None);
}

void CParameterManage::onWriteOneFinished(uint16_t address, const hx::WriteOneResult& result) {
    if (m_closing) return;
    setWork(Work::None);
    const int row = m_list->rowOfAddress(address);
    if (!result.gate.ok()) {
        // Nothing was sent; the cell shows what the table holds until the
        // user lets the value go without a backup.
        const QString wanted = row >= 0 ? m_list->cellText(row, CListCtrlEx::ValueColumn) : QString();
        if (row >= 0) m_list->setCellText(row, CListCtrlEx::ValueColumn, QString::number(result.value));
        if (OfferToGoOnWithoutBackup(this, m_gate, result.gate, m_drive) && row >= 0) {
            m_list->setCellText(row, CListCtrlEx::ValueColumn, wanted);
            WriteOne(row);
            return;
        }
        refillAfterWork();
        emit writeOneFinished(false);
        return;
    }
    if (row >= 0) {
        m_list->setCellText(row, CListCtrlEx::ValueColumn, QString::number(result.value));
        m_list->setRowConfirmed(row, result.answered);
    }
    if (!result.answered) {
        const QString name = row >= 0 ? m_list->cellText(row, CListCtrlEx::NameColumn) : QString::number(address);
        ShowMessage(this,
                    tr("驱动器没有应答（寄存器 %1），参数 %2 的新值未被确认，列表中显示原值。")
                        .arg(result.unansweredRegister)
                        .arg(name),
                    tr("写入参数"), MessageIcon::Warning);
    }
    refillAfterWork();
    emit writeOneFinished(result.answered);
}

// ---------------------------------------------------------------------------
// Storage commands

void CParameterManage::runStorage(const hx::StorageCommand& command, StorageHandler handler) {
    setWork(Work::Storage);
    const bool started = m_storageJob.start(m_gate, command, [this, command, handler](const hx::StorageResult& result) {
        OnUiThread(
            this,
            [this, command, handler, result] {
                if (m_closing) return;
                setWork(Work::None);
                if (result.outcome == hx::StorageOutcome::NotBackedUp) {
                    if (OfferToGoOnWithoutBackup(this, m_gate, result.gate, m_drive)) {
                        runStorage(command, handler);
                        return;
                    }
                } else if (result.outcome != hx::StorageOutcome::Stopped) {
                    (this->*handler)(result);
                }
                refillAfterWork();
                emit storageFinished(result.succeeded());
            });
    }, m_drive);
    if (!started) setWork(Work::None);
}

void CParameterManage::SaveToDrive() {
    if (refuseWhileBusy()) return;
    if (!ConfirmSaveToDrive(this)) return;
    runStorage(hx::kSaveToDrive, &CParameterManage::onSaveDone);
}

void CParameterManage::onSaveDone(const hx::StorageResult& result) { ShowSaveToDriveOutcome(this, result); }

void CParameterManage::RestoreFactory() {
    if (refuseWhileBusy()) return;
    if (!AskYesNo(this, tr("恢复出厂参数后，驱动器当前参数将被清除，确定继续吗？"), tr("恢复出厂值"),
                  MessageIcon::Warning))
        return;
    // The command's own wait of 500 ms after success runs on the worker.
    runStorage(hx::kRestoreFactory, &CParameterManage::onRestoreDone);
}

void CParameterManage::onRestoreDone(const hx::StorageResult& result) {
    if (result.succeeded()) {
        StartReadAll();
        ShowMessage(this, tr("恢复驱动器出厂设置成功!"), tr("恢复成功"));
    } else {
        ShowMessage(this, tr("恢复驱动器出厂设置失败!"), tr("恢复失败"));
    }
}

void CParameterManage::BurnFactory() {
    if (refuseWhileBusy()) return;
    if (!AskYesNo(this, tr("烧录最原始的出厂设置，当前所有参数将初彻底初始化!确定继续吗？"), tr("烧录初值"),
                  MessageIcon::Warning))
        return;
    runStorage(hx::kBurnFactory, &CParameterManage::onBurnDone);
}

void CParameterManage::onBurnDone(const hx::StorageResult& result) {
    if (result.succeeded()) {
        StartReadAll();
        ShowMessage(this, tr("烧录出厂参数完毕!"), tr("烧录成功"));
    } else {
        ShowMessage(this, tr("烧录出厂参数失败!"), tr("烧录失败"));
    }
}

}  // namespace hx::gui
