#pragma once
// The journal of every change the program makes to a drive's registers: one
// SQLite file in the user's data folder (journal.sqlite), shared by the
// window and the command-line tool, each of which may write it at the same
// time.
//
// An action is one thing the user did (a cell edit, a file sent, an undo);
// its changes are the registers it writes. Changes are recorded before they
// are sent, each record committed and flushed to disk first, so a program
// killed in the middle (or a machine that lost power) leaves every register
// it may have touched in the journal, marked unconfirmed. A whole-set write
// (a file, a restore, a setup) records all its changes at once before its
// first block, and also how many of its blocks went out, so an interrupted
// one is found again at the next connect to that drive; a marker file beside
// the journal (unfinished/PORT-stN) says that one is open, so a command
// that changes nothing need not open the journal to look.
//
// Only the records of changes about to be sent are flushed to disk at their
// commit. Everything else (an action begun, confirmations, progress) is
// committed for the other programs to see at once and survives a killed
// program; a lost power may lose it, which leaves the journal saying less
// was confirmed, never more. A load (any whole-set write) flushes at most
// three times however many blocks it has: its record and the folder of the
// write-ahead file (which SQLite flushes at a program's first flush; after a
// checkpoint emptied the file, its new header too), or, when the write-ahead
// file is due to be copied into the journal, that checkpoint at the load's
// end instead of the record's own flush (the record then survives a killed
// program, as every commit does, and reaches the disk at the end of the
// load). Closing the journal runs no checkpoint.
//
// Tables (for a look with the sqlite3 tool, the view "journal" joins them):
//   actions(id, session, owner, time, port, station, model, origin, what,
//           backup, blocks_total, blocks_done, finished, reported)
//   changes(id, action, time, register, name, old_value, new_value, confirmed)
// finished: NULL while running (or when its program died), 1 completed, 0
// ended short; confirmed: NULL not confirmed, 1 the drive holds the value,
// 0 the drive refused it or holds another.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace hx {

struct JournalChange {
    uint16_t reg = 0;
    std::string name;
    std::optional<int32_t> oldValue;  // unknown when the drive was never read
    int32_t newValue = 0;
    int64_t id = 0;  // set by Record
};

struct JournalAction {
    std::string session;  // which run of which program
    std::string port;
    int station = 0;
    std::string model;    // display model
    std::string origin;   // "edit", "file", ... (ChangeOrigin)
    std::string what;     // a few words: the file sent, the command run
    std::string backup;   // the backup holding the values before it ("" when none)
    int blocksTotal = 0;  // 0 for anything but a whole-set write
};

struct JournalRow {
    int64_t id = 0, action = 0;
    std::string time, session, port, model, origin, what, backup;
    int station = 0;
    uint16_t reg = 0;
    std::string name;
    std::optional<int32_t> oldValue;
    int32_t newValue = 0;
    std::optional<bool> confirmed;
};

// The last change of a drive that may have reached it, and its action.
struct LastChange {
    int64_t action = 0;
    std::string time, origin, what, backup;
};

struct UnfinishedWrite {
    int64_t action = 0;
    std::string time, port, origin, what, backup;
    int station = 0;
    int blocksDone = 0, blocksTotal = 0;
    // Every block went out, but the read-back that checks them did not end.
    bool NotVerified() const { return blocksTotal > 0 && blocksDone >= blocksTotal; }
};

class ChangeJournal {
public:
    ChangeJournal();
    ~ChangeJournal();
    ChangeJournal(const ChangeJournal&) = delete;
    ChangeJournal& operator=(const ChangeJournal&) = delete;

    // <user data folder>/journal.sqlite
    static std::string DefaultPath();
    // A name for this run of this program: "2024-05-01 10:22:03 halvex-cli 4711".
    static std::string NewSessionName();

    // Opens (creating the folder, the file and the tables as needed). False
    // with *error saying why; the journal is closed then.
    bool Open(const std::string& path, std::string* error);
    bool IsOpen() const;
    const std::string& Path() const { return m_path; }

    // 0 on failure (*error says why).
    int64_t BeginAction(const JournalAction& action, std::string* error);
    // Records the changes of an action before they are sent, flushed to disk.
    // Sets each change's id. False (nothing recorded) on failure.
    bool Record(int64_t action, std::vector<JournalChange>& changes, std::string* error);
    bool Confirm(const std::vector<int64_t>& ids, bool confirmed);
    bool SetProgress(int64_t action, int blocksDone);
    bool Finish(int64_t action, bool completed);
    bool MarkReported(int64_t action);

    // A whole-set write begins: no checkpoint until it ends (see above).
    void HoldCheckpoints();
    void ResumeCheckpoints();

    // The marker of an open whole-set write to the drive (see above).
    static std::string MarkerPath(const std::string& journalPath, const std::string& port, int station);
    bool SetMarker(const std::string& port, int station, int64_t action) const;
    void ClearMarker(const std::string& port, int station) const;

    // The drive's changes, newest first. session and nameFilter (a part of
    // the name or the register number) narrow the list when not empty;
    // limit <= 0 for all.
    std::vector<JournalRow> History(const std::string& port, int station, int limit = 0,
                                    const std::string& session = {}, const std::string& nameFilter = {}) const;
    // The sessions that changed the drive, newest first.
    std::vector<std::string> Sessions(const std::string& port, int station) const;
    std::vector<JournalRow> ActionChanges(int64_t action) const;
    std::optional<JournalRow> Change(int64_t id) const;

    // The drive's last whole-set write when it did not finish (its program
    // died or it ended short) and has not been reported yet; nothing when a
    // later one completed or when its program still runs.
    // *running (when given) tells a write still running apart from none.
    std::optional<UnfinishedWrite> Unfinished(const std::string& port, int station, bool* running = nullptr) const;

    // The drive's last change that may have reached it (confirmed, or sent
    // without an answer), leaving out the origins given and registers for
    // which counts(register, origin) is false; newest first.
    std::optional<LastChange> LastChangeOf(const std::string& port, int station,
                                           const std::vector<std::string>& leftOutOrigins,
                                           bool (*counts)(uint16_t reg)) const;

    // Who runs this program: boot, process and its start, so a process id
    // taken again after a reboot or an exit is not mistaken for it.
    static std::string OwnerId();
    static bool OwnerAlive(const std::string& owner);

private:
    static int WalCommitted(void* self, sqlite3* db, const char* name, int frames);
    // Copies the write-ahead file into the journal (m_mutex held).
    void Checkpoint();
    bool Exec(const char* sql, std::string* error) const;
    std::vector<JournalRow> Rows(const std::string& where, const std::vector<std::string>& params, int limit) const;

    mutable std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::string m_path;
    // Checkpoints held during a whole-set write; one due once the
    // write-ahead file has grown to its size; a record left to the
    // checkpoint at the end of the whole-set write to flush.
    int m_held = 0;
    bool m_checkpointDue = false;
    bool m_recordDeferred = false;
};

}  // namespace hx
