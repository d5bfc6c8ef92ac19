#pragma once
// The one place every change to a drive goes through, whatever writes it (a
// cell edit, the whole table, a file, the wizard, the run test's settings,
// the alarm settings, the command line, the storage commands, an undo or a
// restore):
//
//   ChangeBatch changes(gate, drive, ChangeOrigin::File, "params load a.qxr");
//   if (!changes.Prepare(stop, progress).ok()) ...   // nothing written
//   ChangeBatch::Pending p;
//   if (!changes.Journal(address, words, n, &p)) ...  // nothing written
//   send the words; changes.Confirm(p, drive took them);
//
// The program owns its gate (the command-line tool's main, the window's main
// frame) and hands it to whatever changes a drive; nothing reaches a gate of
// its own accord.
//
// Prepare makes sure that this session's backup of the drive exists before
// its first change: the drive's whole parameter set as a parameter file
// (BackupStore). A complete read of this session, with nothing written
// since, is used as it is (whoever read the drive whole says so with
// NoteCompleteRead); otherwise the drive is read first. A session is one
// connection to one station: a new connection (even to the same port) takes
// a new backup before its first change.
//
// Journal records the registers about to be written (ChangeJournal), with
// the value the drive held (from the backup or the last read, kept up to
// date by the confirmed changes), and flushes the record to disk before the
// caller sends anything. A setting written with the value the drive is known
// to hold already changes nothing and is not recorded.
//
// A backup or journal that cannot be written stops the change with a clear
// message; the caller may go on without the backup (--no-backup), without
// the journal (--no-journal), or once without either after asking the user
// (AllowOnceWithoutBackup).

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/backup/BackupStore.h"
#include "core/backup/ChangeJournal.h"
#include "core/link/DriveHandle.h"
#include "core/params/ParameterTransfer.h"  // ProgressCallback

class CQXCOM;
class CParameter;

namespace hx {

enum class ChangeOrigin { Edit, File, Wizard, Slider, Gains, CommandLine, Tune, Command, Undo, Restore, Alarms };
// The journal's word for an origin: "edit", "file", "wizard", "slider",
// "gains", "command line", "tune", "command", "undo", "restore", "alarms".
const char* OriginKey(ChangeOrigin origin);

// Who a drive is, for the backup's name and header and the journal's names.
struct DriveInfo {
    std::string productModel, softVersion, driveModel, displayModel;
    // Decides which ranges the backup reads; 0 when not known (the handle's then).
    float firmwareVersion = 0.0f;
    // The identity the last connect read: g_productModel, g_driveSoftVersion,
    // g_driveModel, g_displayModel and g_firmwareVersion.
    static DriveInfo LastConnected();
};

// Reads the drive's identity and looks its display model up in the
// program's database (the product model when the database has none).
std::optional<DriveInfo> ReadDriveInfo(CQXCOM& comm, uint8_t station);
// The display model for a product model, from the program's database; empty
// when it has none.
std::string LookupDisplayModelFor(const std::string& productModel);

struct GateResult {
    enum class Status { Ready, Stopped, ReadFailed, BackupFailed, JournalFailed };
    Status status = Status::Ready;
    std::string backupPath;  // the session's backup ("" when going on without one)
    std::string message;     // what went wrong, in the interface's language
    bool ok() const { return status == Status::Ready; }
    // A failure of the disk, not of the drive: the user may go on without.
    bool canGoOnWithout() const { return status == Status::BackupFailed || status == Status::JournalFailed; }
};

struct PrepareOptions {
    // No backup (--no-backup, or the user's answer after a failed one). The
    // journal is still written, and a change it cannot take is refused.
    bool withoutBackup = false;
    // No journal (--no-journal): the change goes on no record.
    bool withoutJournal = false;
    // A backup of the values right before this change even when the
    // session's backup exists (a factory restore or burn, which replaces
    // everything): taken again when anything was written since.
    bool freshBackup = false;
};

class ChangeGate {
public:
    // dataFolder: where "backups/" and "journal.sqlite" go; empty for the
    // user's data folder, looked up at each use.
    explicit ChangeGate(std::string dataFolder = {});
    ~ChangeGate();
    ChangeGate(const ChangeGate&) = delete;
    ChangeGate& operator=(const ChangeGate&) = delete;

    std::string DataFolder() const;
    std::string BackupFolder() const;
    BackupStore Store() const { return BackupStore(BackupFolder()); }
    // This run's name in the journal.
    const std::string& Session() const { return m_session; }

    // The identity of a drive just connected, so the gate need not read it.
    void Attach(const DriveHandle& drive, const DriveInfo& info);
    // A complete read of the drive's parameters, told by whoever made it:
    // the backup of the session's first change needs no second read.
    void NoteCompleteRead(const DriveHandle& drive, const CParameter& table);
    // The user chose to go on without a backup: the next Prepare for this
    // drive does, once (and goes on where the journal cannot be written).
    void AllowOnceWithoutBackup(const DriveHandle& drive);
    // The drive's values changed wholesale (a factory restore): what the gate
    // knew of them is void until the next complete read.
    void ForgetValues(const DriveHandle& drive);
    // The backup this session took of the drive ("" before its first change).
    std::string SessionBackup(const DriveHandle& drive) const;

    // The journal, opened at first use (null, *error saying why, when it
    // cannot be). Safe from any thread.
    ChangeJournal* Journal(std::string* error = nullptr);

    // The drive's last whole-set write when it did not finish; marked as
    // reported, so the next connect says it once.
    std::optional<UnfinishedWrite> TakeUnfinished(const std::string& port, int station);
    // The backup that holds the drive's values from before the last change
    // that may have reached it, leaving out restores and undos (which put
    // values back) and changes the drive refused. nullopt with *error
    // saying why (no journal, no such change, a change without a backup).
    std::optional<LastChange> BackupBeforeLastChange(const std::string& port, int station, std::string* error);
    // Whether a whole-set write to the drive began and has not been seen to
    // complete or been reported: a mark beside the journal (the folder
    // "unfinished"), so that a command that only reads looks at the journal
    // only then. Without the mark the journal may still hold one (a journal
    // from before the marks, a mark lost with the power); what changes a
    // drive asks the journal itself.
    bool MayHaveUnfinished(const std::string& port, int station) const;
    std::string UnfinishedMark(const std::string& port, int station) const;

    // Names and types of a model's parameters, for the journal and the backup.
    struct Definition {
        std::string name, dataType;
    };
    std::map<uint16_t, Definition> Definitions(const std::string& driveModel);

private:
    friend class ChangeBatch;
    struct DriveState;
    using Key = std::pair<uint64_t, int>;  // connection, station
    static Key KeyOf(const DriveHandle& drive);
    DriveState& State(const Key& key);  // m_mutex held

    std::string m_dataFolder;
    std::string m_session;
    mutable std::mutex m_mutex;
    std::map<Key, std::unique_ptr<DriveState>> m_drives;
    std::map<std::string, std::map<uint16_t, Definition>> m_definitions;
    std::mutex m_journalMutex;
    std::unique_ptr<ChangeJournal> m_journal;
    std::vector<std::unique_ptr<ChangeJournal>> m_retired;
    std::string m_journalPath;
};

class ChangeBatch {
public:
    ChangeBatch(ChangeGate& gate, DriveHandle drive, ChangeOrigin origin, std::string what = {});
    ~ChangeBatch();  // a whole-set write left open ends as not completed
    ChangeBatch(const ChangeBatch&) = delete;
    ChangeBatch& operator=(const ChangeBatch&) = delete;

    // Before the first Journal. readProgress follows the read a backup needs.
    GateResult Prepare(std::stop_token stop = {}, const ProgressCallback& readProgress = {},
                       PrepareOptions options = {});
    const std::string& BackupPath() const { return m_backupPath; }

    // A whole-set write of `total` blocks: recorded so that one that does
    // not finish is found at the next connect.
    void BeginBlocks(int total);
    void BlockDone(int done);
    void EndBlocks(bool completed);
    // A read-back follows the blocks: the write stays open in the journal
    // after its last block until ReadBackDone, so one killed while reading
    // back is told at the next connect as written, not verified.
    void ReadBackFollows() { m_readBackFollows = true; }
    void ReadBackDone(bool verified);

    struct Pending {
        std::vector<int64_t> ids;      // journal rows (none without a journal)
        std::vector<uint16_t> regs;    // the registers recorded
        std::vector<uint16_t> words;
    };
    // Records the words about to be written from address on (a setting the
    // drive is known to hold already is left out). False when the journal
    // could not take them: send nothing then (Error() says why).
    bool Journal(uint16_t address, const uint16_t* words, int count, Pending* pending);
    // The same for many runs at once, in one record flushed to disk once: a
    // whole-set write puts every change on record before its first block.
    struct Run {
        uint16_t address = 0;
        std::vector<uint16_t> words;
    };
    bool Journal(const std::vector<Run>& runs, std::vector<Pending>* pending);
    // The drive holds them (true) or refused them (false). A change left
    // unconfirmed stays so in the journal: it may or may not have applied.
    void Confirm(const Pending& pending, bool held);
    // As Confirm, register by register (held[i] for pending.regs[i]).
    void Confirm(const Pending& pending, const std::vector<bool>& held);

    // One register through the gate: recorded, written, confirmed by the
    // drive's answer. nullopt when the journal refused it (nothing sent) or
    // the drive did not take it; drive().fault() tells which.
    std::optional<int16_t> Write(uint16_t address, uint16_t word);

    DriveHandle& drive() { return m_drive; }
    ChangeGate& gate() { return m_gate; }
    const std::string& Error() const { return m_error; }
    bool JournalFailed() const { return m_journalFailed; }

private:
    bool EnsureAction(std::string* error);
    void FinishAction(bool completed);
    // The rows of a run and what goes into pending; false when the batch was not prepared.
    bool Rows(const Run& run, std::vector<JournalChange>* changes, Pending* pending);

    ChangeGate& m_gate;
    DriveHandle m_drive;
    ChangeGate::Key m_key;
    ChangeOrigin m_origin;
    std::string m_what;
    bool m_prepared = false;
    bool m_noBackup = false;
    bool m_noJournal = false;      // --no-journal: nothing recorded
    bool m_journalOptional = false;  // the user's answer: recorded where it can be
    bool m_readBackFollows = false;
    bool m_readBackOpen = false;
    std::string m_backupPath;
    ChangeJournal* m_journal = nullptr;
    int64_t m_action = 0;
    int m_blocksTotal = 0;
    bool m_blocksOpen = false;
    std::string m_error;
    bool m_journalFailed = false;
};

// A few settings through the gate in one call, for a tool that writes them
// (a tuning step, a slider): the gate prepared, then each write journaled,
// sent and confirmed by its echo, in order, up to the first the drive does
// not take.
struct GatedWrites {
    GateResult gate;                            // why nothing was written, when not ok
    std::vector<std::optional<int16_t>> returned;  // what each write echoed, up to the failure
    std::optional<uint16_t> failedAt;           // the write the drive did not take
    DriveFault fault;                           // and why
    bool ok() const { return gate.ok() && !failedAt; }
};
// "上次写入未完成：111 块中的 47 块" / "The last write to this drive stopped
// after block 47 of 111" (or, all blocks out but not read back, "... was
// written, not verified ..."), in the interface's language.
std::string UnfinishedWriteText(const UnfinishedWrite& write);

GatedWrites WriteThroughGate(ChangeGate& gate, DriveHandle drive, ChangeOrigin origin,
                             const std::vector<std::pair<uint16_t, uint16_t>>& writes, std::string what = {},
                             PrepareOptions options = {}, std::stop_token stop = {},
                             const ProgressCallback& backupProgress = {});

}  // namespace hx
