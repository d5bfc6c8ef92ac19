#pragma once
// "变更记录" / "Change history": the change journal of the connected drive,
// newest first, filtered by session and parameter. "撤销" writes a chosen
// change's old value back; "恢复到此前" lists, of a chosen backup, the
// parameters that differ (names, units, both values) and writes back those
// the user leaves ticked. Both go through the change gate (journaled,
// read back) on a worker thread.

#include <vector>

#include "core/backup/ChangeJournal.h"
#include "core/backup/Restore.h"
#include "core/backup/RestoreItems.h"
#include "core/util/Job.h"
#include "gui/widgets/FunctionWindow.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace hx::gui {

class CChangeHistory : public FunctionWindow {
    Q_OBJECT
public:
    // gate: the program's change gate (the undo and the restore write through it).
    // drive: the connection's drive, whose changes the window lists and undoes.
    CChangeHistory(const DriveHandle& drive, ChangeGate& gate, QWidget* parent = nullptr);
    ~CChangeHistory() override;

    QTableWidget* table() const { return m_table; }
    QComboBox* sessionBox() const { return m_session; }
    QLineEdit* filterEdit() const { return m_filter; }
    QComboBox* backupBox() const { return m_backups; }
    QPushButton* undoButton() const { return m_undo; }
    QPushButton* restoreButton() const { return m_restore; }
    bool busy() const { return m_job.running() || m_working; }
    // The journal rows shown, in table order.
    const std::vector<JournalRow>& rows() const { return m_rows; }

    // Reads the journal and the drive's backups again.
    void Refresh();
    void UndoSelected();
    void RestoreChosenBackup();

signals:
    void workFinished(bool succeeded);
    // An undo or a restore wrote to the drive (however it ended): a window
    // that shows the drive's values reads them again.
    void driveValuesChanged();

protected:
    bool canClose() override;

private:
    void fillRows();
    void updateButtons();
    void setWorking(bool working, const QString& text = {});
    void onUndone(const VerifyReport& report, std::vector<JournalRow> rows);
    void onPlanned(bool ok, const RestorePlan& plan, const std::vector<RestoreItem>& items, const QString& error);
    void onRestored(const VerifyReport& report, const RestorePlan& plan);
    // A message for a write that did not end as asked; false when none is needed.
    bool reportFailure(const VerifyReport& report);

    QComboBox* m_session;
    QLineEdit* m_filter;
    QTableWidget* m_table;
    QComboBox* m_backups;
    QPushButton* m_undo;
    QPushButton* m_restore;
    QLabel* m_status;
    std::vector<JournalRow> m_rows;
    bool m_working = false;
    const DriveHandle m_drive;
    ChangeGate& m_gate;
    int m_restoredCount = 0;  // the parameters the user chose to restore
    Job m_job;
};

}  // namespace hx::gui
