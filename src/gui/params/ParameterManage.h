#pragma once
// The parameter manager: lists the connected model's parameters with their
// values, reads and writes the whole table, writes single edits, runs the
// drive's storage commands, loads and saves parameter files, opens the
// comparison window and keeps the user-defined groups.
//
// A list belongs to the drive it was read from (its connection and
// station): connected to another, the window clears it and says why, and a
// list from another drive is never written.
//
// All drive work runs on worker threads owned by the window; their reports
// come back as queued calls. While one runs the window is busy: the
// commands that would use the link or the table are held off, and closing
// asks whether to stop the work, which then ends at its next block or wait
// and is joined before anything is freed.

#include <QString>
#include <QStringList>
#include <optional>

#include "core/backup/ChangeGate.h"
#include "core/db/CADO.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterGroups.h"
#include "core/params/ReadAllJob.h"
#include "core/writes/StorageCommand.h"
#include "core/writes/WriteAllJob.h"
#include "core/writes/WriteOne.h"
#include "gui/widgets/FunctionWindow.h"

class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace hx::gui {

class CListBoxEx;
class CListCtrlEx;
class CParameterCompare;

class CParameterManage : public FunctionWindow {
    Q_OBJECT
public:
    // drive: the connection's drive; gate: the program's change gate, which
    // every write goes through.
    CParameterManage(const hx::DriveHandle& drive, hx::ChangeGate& gate, QWidget* parent = nullptr);
    ~CParameterManage() override;

    // What the window is busy with.
    enum class Work { None, ReadAll, WriteAll, WriteOne, Storage };

    // Whole-table transfers and their progress.
    void StartReadAll();
    void StartWriteAll();
    void OnProgress(int done, int total);
    // Writes the value of the row's value cell and shows the read-back.
    void WriteOne(int row);
    // Storage commands: confirmation, then the command on a worker.
    void SaveToDrive();
    void RestoreFactory();
    void BurnFactory();

    // The definitions of the connected model whose address lies in
    // first..last, filtered by the chosen category or group.
    void FillParameterList(uint16_t first, uint16_t last);
    void ShowParameterHelp(const QString& topic);

    // Parameter files and the memo.
    void EditDescription();
    void SaveParameterFile();
    void LoadParameterFile();

    // Categories and user-defined groups.
    void FillCategoryList();
    void AddGroup();
    void DeleteGroup();
    void AddToGroup(uint16_t address, const QString& name, int group);
    void RemoveFromGroup(uint16_t address, int group);
    // Opens the name field (timer 1) or closes it again (timer 2).
    void OpenNameField();
    void CloseNameField();

    CParameterCompare* OpenCompare();

    // A connection began (the main frame's connected()): the window works
    // with its drive from now on; a list read from another drive is cleared,
    // and the user told why.
    void OnConnected(const hx::DriveHandle& drive);
    // How the storage commands wait between polls (empty: the real clock).
    void SetStorageWait(hx::StorageWait wait) { m_storageJob.SetWait(std::move(wait)); }
    // The drive's values were changed elsewhere (an undo or a restore in the
    // change history): read again, now or when the running work ends.
    void RefreshFromDrive();

    // A drive: the link's connection and the station.
    struct DriveKey {
        uint64_t connection = 0;
        int station = -1;
        bool operator==(const DriveKey&) const = default;
    };
    DriveKey CurrentDrive() const;
    // The drive whose values the list shows (nothing before a read or file).
    std::optional<DriveKey> tableDrive() const { return m_tableDrive; }

    // State.
    Work work() const { return m_work; }
    bool busy() const { return m_work != Work::None; }
    bool hasParameters() const { return m_bHasParameters; }
    // Whether the table holds a whole parameter set (a read that completed,
    // or a file): only then may it be written over the drive.
    bool tableComplete() const { return m_tableComplete; }
    // The definitions of the connected model, as last listed.
    const std::vector<hx::ParameterDefinition>& definitions() const { return m_definitions; }
    QString description() const { return m_strDescription; }
    void setDescription(const QString& text) { m_strDescription = text; }
    QStringList groupNames() const;
    bool nameFieldOpen() const { return m_nameFieldOpen; }

    // Controls.
    CListCtrlEx* parameterList() const { return m_list; }
    CListBoxEx* categoryList() const { return m_categoryList; }
    QPushButton* readFileButton() const { return m_readFile; }
    QPushButton* saveAsButton() const { return m_saveAs; }
    QPushButton* memoButton() const { return m_memo; }
    QPushButton* readButton() const { return m_read; }
    QPushButton* writeButton() const { return m_write; }
    QPushButton* saveButton() const { return m_save; }
    QPushButton* restoreButton() const { return m_restore; }
    QPushButton* burnButton() const { return m_burn; }
    QPushButton* helpButton() const { return m_help; }
    QPushButton* compareButton() const { return m_compare; }
    QPushButton* categoryButton() const { return m_categoryButton; }
    QPushButton* addCategoryButton() const { return m_addCategory; }
    QPushButton* addGroupButton() const { return m_addGroup; }
    QLineEdit* nameEdit() const { return m_nameEdit; }
    QLabel* descriptionLabel() const { return m_descLabel; }
    QProgressBar* progressBar() const { return m_progress; }
    QLabel* percentLabel() const { return m_percent; }
    QFrame* leftFrame() const { return m_frame; }

    static constexpr int kSlideTickMs = 5;

signals:
    void readAllFinished(bool completed);
    void writeAllFinished(bool completed);
    void writeOneFinished(bool answered);
    void storageFinished(bool succeeded);

protected:
    bool canClose() override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Filter {
        enum Kind { All, Category, Group } kind = All;
        std::string name;
    };

    void buildControls();
    void layoutButtons();
    void setWork(Work work);
    void updateControls();
    // True (after the busy message) while drive work runs.
    bool refuseWhileBusy();
    void showProgressStart();
    void stopAllWork();
    void refillAfterWork();
    // The list of another drive: cleared, the user told why.
    void forgetList(const QString& why);
    // True (after saying why) when the list was read from another drive.
    bool refuseOtherDrivesList();

    void onReadFinished(const hx::TransferResult& result);
    void onWriteFinished(const hx::TransferResult& result);
    using TransferHandler = void (CParameterManage::*)(const hx::TransferResult&);
    hx::TransferCallbacks transferCallbacks(TransferHandler finished);
    void onWriteOneFinished(uint16_t address, const hx::WriteOneResult& result);
    using StorageHandler = void (CParameterManage::*)(const hx::StorageResult&);
    void runStorage(const hx::StorageCommand& command, StorageHandler handler);
    void onSaveDone(const hx::StorageResult& result);
    void onRestoreDone(const hx::StorageResult& result);
    void onBurnDone(const hx::StorageResult& result);

    void onCategoryChosen(int row);
    void slideOpenTick();
    void slideCloseTick();
    void placeNameField();
    // The width of the left column's list and buttons.
    int leftWidth() const;
    bool filterShows(const std::string& pageNumber, uint16_t address, const std::vector<uint16_t>& members) const;
    // False (after saying why) when the model's definitions are missing:
    // without their types a file cannot be saved or loaded correctly.
    bool refuseWithoutDefinitions(const QString& caption);
    // Asks before a table with values outside their ranges, or from a file
    // of another drive model, is written; true to go on.
    bool confirmWriteAll();

    hx::DriveHandle m_drive;
    hx::ChangeGate& m_gate;
    CADO m_db;
    bool m_bHasParameters = false;
    std::optional<DriveKey> m_tableDrive;
    DriveKey m_readDrive;      // the drive the running read reads
    bool m_readAgain = false;  // RefreshFromDrive while busy
    bool m_tableComplete = false;
    // The drive type a loaded file was taken from, when not the connected one.
    QString m_otherModel;
    std::vector<hx::ParameterDefinition> m_definitions;
    QString m_strDescription;
    hx::CategoryListing m_listing;
    Filter m_filter;
    Work m_work = Work::None;
    bool m_closing = false;
    bool m_refillPending = false;
    bool m_fillingCategories = false;
    bool m_nameFieldOpen = false;

    hx::ReadAllJob m_readJob;
    hx::WriteAllJob m_writeJob;
    hx::WriteOneJob m_writeOneJob;
    hx::StorageCommandJob m_storageJob;

    CListCtrlEx* m_list = nullptr;
    CListBoxEx* m_categoryList = nullptr;
    QPushButton* m_readFile = nullptr;
    QPushButton* m_saveAs = nullptr;
    QPushButton* m_memo = nullptr;
    QPushButton* m_read = nullptr;
    QPushButton* m_write = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_restore = nullptr;
    QPushButton* m_burn = nullptr;
    QPushButton* m_help = nullptr;
    QPushButton* m_compare = nullptr;
    QPushButton* m_categoryButton = nullptr;
    QPushButton* m_addCategory = nullptr;
    QPushButton* m_addGroup = nullptr;
    QLineEdit* m_nameEdit = nullptr;
    QLabel* m_descLabel = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_percent = nullptr;
    QFrame* m_frame = nullptr;
    QTimer* m_slideOpen = nullptr;   // timer 1
    QTimer* m_slideClose = nullptr;  // timer 2
};

}  // namespace hx::gui
