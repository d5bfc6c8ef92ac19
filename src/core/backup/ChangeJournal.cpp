#include "core/backup/ChangeJournal.h"

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <variant>

#include "core/backup/BackupStore.h"
#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/settings/AppPaths.h"
#include "core/util/Text.h"

namespace fs = std::filesystem;

namespace hx {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS "actions"(
  "id" INTEGER PRIMARY KEY,
  "session" TEXT NOT NULL,
  "owner" TEXT NOT NULL,
  "time" TEXT NOT NULL,
  "port" TEXT NOT NULL,
  "station" INTEGER NOT NULL,
  "model" TEXT NOT NULL,
  "origin" TEXT NOT NULL,
  "what" TEXT NOT NULL,
  "backup" TEXT NOT NULL,
  "blocks_total" INTEGER NOT NULL DEFAULT 0,
  "blocks_done" INTEGER NOT NULL DEFAULT 0,
  "finished" INTEGER,
  "reported" INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS "changes"(
  "id" INTEGER PRIMARY KEY,
  "action" INTEGER NOT NULL REFERENCES "actions"("id"),
  "time" TEXT NOT NULL,
  "register" INTEGER NOT NULL,
  "name" TEXT NOT NULL,
  "old_value" INTEGER,
  "new_value" INTEGER NOT NULL,
  "confirmed" INTEGER);
CREATE INDEX IF NOT EXISTS "changes_action" ON "changes"("action");
CREATE INDEX IF NOT EXISTS "actions_drive" ON "actions"("port", "station");
CREATE VIEW IF NOT EXISTS "journal" AS
  SELECT c."id", c."time", a."port", a."station", c."register", c."name", c."old_value", c."new_value",
         a."origin", c."confirmed", a."session", a."model", c."action"
  FROM "changes" c JOIN "actions" a ON a."id" = c."action";
)sql";

using Value = std::variant<int64_t, std::string, std::nullptr_t>;

// The write-ahead file's size (in pages) at which it is copied into the
// journal: SQLite's own default.
constexpr int kCheckpointFrames = 1000;
// How long a commit waits for another program's.
constexpr int kBusyTimeoutMs = 5000;

// One prepared statement, finalized on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) { m_ok = sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr) == SQLITE_OK; }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Bind(const std::vector<Value>& values) {
        if (!m_ok) return false;
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        for (std::size_t i = 0; i < values.size(); ++i) {
            const int k = static_cast<int>(i) + 1;
            if (const auto* n = std::get_if<int64_t>(&values[i]))
                sqlite3_bind_int64(m_stmt, k, *n);
            else if (const auto* t = std::get_if<std::string>(&values[i]))
                sqlite3_bind_text(m_stmt, k, t->c_str(), static_cast<int>(t->size()), SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(m_stmt, k);
        }
        return true;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return m_ok ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    bool Run(const std::vector<Value>& values) { return Bind(values) && Step() == SQLITE_DONE; }

    std::string Text(int column) const {
        const auto* t = sqlite3_column_text(m_stmt, column);
        return t ? reinterpret_cast<const char*>(t) : "";
    }
    int64_t Int(int column) const { return sqlite3_column_int64(m_stmt, column); }
    bool IsNull(int column) const { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_ok = false;
};

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Field 22 of /proc/PID/stat: when the process started, in ticks since boot.
std::string ProcessStart(long pid) {
    const std::string stat = FirstLine("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i)
        if (i == 22) return field;
    return {};
}

constexpr const char* kRowColumns =
    R"(SELECT c."id", c."action", c."time", a."session", a."port", a."model", a."origin", a."what", a."backup",
              a."station", c."register", c."name", c."old_value", c."new_value", c."confirmed"
       FROM "changes" c JOIN "actions" a ON a."id" = c."action" )";

}  // namespace

ChangeJournal::ChangeJournal() = default;

ChangeJournal::~ChangeJournal() {
    if (m_db) sqlite3_close(m_db);
}

std::string ChangeJournal::DefaultPath() { return (fs::path(UserDataFolder()) / "journal.sqlite").string(); }

std::string ChangeJournal::NewSessionName() {
    return Now() + " " + program_invocation_short_name + " " + std::to_string(::getpid());
}

std::string ChangeJournal::OwnerId() {
    return FirstLine("/proc/sys/kernel/random/boot_id") + ":" + std::to_string(::getpid()) + ":" +
           ProcessStart(::getpid());
}

bool ChangeJournal::OwnerAlive(const std::string& owner) {
    const auto first = owner.find(':');
    const auto second = owner.find(':', first == std::string::npos ? 0 : first + 1);
    if (first == std::string::npos || second == std::string::npos) return false;
    if (owner.substr(0, first) != FirstLine("/proc/sys/kernel/random/boot_id")) return false;
    const long pid = std::strtol(owner.c_str() + first + 1, nullptr, 10);
    const std::string start = ProcessStart(pid);
    return !start.empty() && start == owner.substr(second + 1);
}

bool ChangeJournal::Exec(const char* sql, std::string* error) const {
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (error) *error = message ? message : sqlite3_errmsg(m_db);
    sqlite3_free(message);
    return false;
}

bool ChangeJournal::Open(const std::string& path, std::string* error) {
    std::lock_guard lock(m_mutex);
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    m_path = path;
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = FillIn(Translate("Backup", QT_TRANSLATE_NOOP("Backup", "无法打开变更记录 %1: %2"),
                                      "Cannot open the change journal %1: %2"),
                            {"\"" + path + "\"", why});
        if (m_db) sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    };
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    if (ec) return fail(ec.message());
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        return fail(m_db ? sqlite3_errmsg(m_db) : "out of memory");
    // The window and the command-line tool may write at the same time.
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    std::string why;
    // Only the records of changes are flushed at their commit (Record); the
    // rest reaches the disk at a checkpoint. The flushing is eased first, so
    // that a journal made anew is switched to the write-ahead file with one
    // flush of the file the switch goes through, not two.
    if (!Exec("PRAGMA synchronous=NORMAL; PRAGMA journal_mode=WAL;", &why) || !Exec(kSchema, &why)) return fail(why);
    // The write-ahead file stays between runs (so it is not created and its
    // folder flushed anew each time), closing runs no checkpoint, and the
    // checkpoints are this journal's own (WalCommitted).
    int persist = 1;
    sqlite3_file_control(m_db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_wal_hook(m_db, &ChangeJournal::WalCommitted, this);
    return true;
}

bool ChangeJournal::IsOpen() const {
    std::lock_guard lock(m_mutex);
    return m_db != nullptr;
}

int64_t ChangeJournal::BeginAction(const JournalAction& a, std::string* error) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return 0;
    Statement insert(m_db,
                     R"(INSERT INTO "actions"("session","owner","time","port","station","model","origin","what","backup",
                        "blocks_total") VALUES(?,?,?,?,?,?,?,?,?,?))");
    if (!insert.Run({a.session, OwnerId(), Now(), a.port, int64_t{a.station}, a.model, a.origin, a.what, a.backup,
                     int64_t{a.blocksTotal}})) {
        if (error) *error = sqlite3_errmsg(m_db);
        return 0;
    }
    return sqlite3_last_insert_rowid(m_db);
}

bool ChangeJournal::Record(int64_t action, std::vector<JournalChange>& changes, std::string* error) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return false;
    if (changes.empty()) return true;
    // This commit, unlike the others, is on the disk before it returns: the
    // changes it records go out right after. In a whole-set write that finds
    // a checkpoint due, the checkpoint at its end flushes it instead.
    const bool defer = m_held > 0 && m_checkpointDue;
    if (defer) m_recordDeferred = true;
    if (!defer && !Exec("PRAGMA synchronous=FULL", error)) return false;
    struct Normal {
        const ChangeJournal* journal;
        ~Normal() { journal->Exec("PRAGMA synchronous=NORMAL", nullptr); }
    } normalAfter{this};
    if (!Exec("BEGIN IMMEDIATE", error)) return false;
    {
        Statement insert(m_db, R"(INSERT INTO "changes"("action","time","register","name","old_value","new_value")
                                   VALUES(?,?,?,?,?,?))");
        const std::string now = Now();
        for (JournalChange& c : changes) {
            const Value old = c.oldValue ? Value(int64_t{*c.oldValue}) : Value(nullptr);
            if (!insert.Run({action, now, int64_t{c.reg}, c.name, old, int64_t{c.newValue}})) {
                if (error) *error = sqlite3_errmsg(m_db);
                Exec("ROLLBACK", nullptr);
                return false;
            }
            c.id = sqlite3_last_insert_rowid(m_db);
        }
    }
    if (!Exec("COMMIT", error)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }
    if (m_held == 0 && m_checkpointDue) Checkpoint();
    return true;
}

bool ChangeJournal::Confirm(const std::vector<int64_t>& ids, bool confirmed) {
    std::lock_guard lock(m_mutex);
    if (!m_db || ids.empty()) return m_db != nullptr;
    if (!Exec("BEGIN IMMEDIATE", nullptr)) return false;
    Statement update(m_db, R"(UPDATE "changes" SET "confirmed"=? WHERE "id"=?)");
    bool ok = true;
    for (int64_t id : ids) ok = update.Run({int64_t{confirmed ? 1 : 0}, id}) && ok;
    return Exec(ok ? "COMMIT" : "ROLLBACK", nullptr) && ok;
}

bool ChangeJournal::SetProgress(int64_t action, int blocksDone) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return false;
    Statement update(m_db, R"(UPDATE "actions" SET "blocks_done"=? WHERE "id"=?)");
    const bool ok = update.Run({int64_t{blocksDone}, action});
    return ok;
}

bool ChangeJournal::Finish(int64_t action, bool completed) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return false;
    Statement update(m_db, R"(UPDATE "actions" SET "finished"=? WHERE "id"=?)");
    const bool ok = update.Run({int64_t{completed ? 1 : 0}, action});
    return ok;
}

bool ChangeJournal::MarkReported(int64_t action) {
    std::lock_guard lock(m_mutex);
    if (!m_db) return false;
    Statement update(m_db, R"(UPDATE "actions" SET "reported"=1 WHERE "id"=?)");
    const bool ok = update.Run({action});
    return ok;
}

int ChangeJournal::WalCommitted(void* self, sqlite3*, const char*, int frames) {
    // Called within a commit; the checkpoint runs after a record, not here.
    if (frames >= kCheckpointFrames) static_cast<ChangeJournal*>(self)->m_checkpointDue = true;
    return SQLITE_OK;
}

void ChangeJournal::Checkpoint() {
    // Copies the write-ahead file into the journal and empties it (a file
    // merely restarted would be read whole again by the next program). A
    // reader in another program is not waited for: a later record tries again.
    sqlite3_busy_timeout(m_db, 0);
    if (sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) == SQLITE_OK)
        m_checkpointDue = false;
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
}

void ChangeJournal::HoldCheckpoints() {
    std::lock_guard lock(m_mutex);
    ++m_held;
}

void ChangeJournal::ResumeCheckpoints() {
    std::lock_guard lock(m_mutex);
    // Whole-set writes to several drives at once: the last to end checkpoints.
    if (m_held > 0) --m_held;
    if (m_held == 0 && m_db && std::exchange(m_recordDeferred, false)) Checkpoint();
}

std::string ChangeJournal::MarkerPath(const std::string& journalPath, const std::string& port, int station) {
    return (fs::path(journalPath).parent_path() / "unfinished" / PortStationFileName(port, station)).string();
}

bool ChangeJournal::SetMarker(const std::string& port, int station, int64_t action) const {
    // Not flushed: it only saves a look into the journal, whose record of the
    // write is on the disk before the write's first block.
    const std::string path = MarkerPath(m_path, port, station);
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::trunc);
    out << action << '\n';
    return static_cast<bool>(out.flush());
}

void ChangeJournal::ClearMarker(const std::string& port, int station) const {
    std::error_code ec;
    fs::remove(MarkerPath(m_path, port, station), ec);
}

std::vector<JournalRow> ChangeJournal::Rows(const std::string& where, const std::vector<std::string>& params,
                                            int limit) const {
    std::vector<JournalRow> rows;
    if (!m_db) return rows;
    std::string sql = std::string(kRowColumns) + where + R"( ORDER BY c."id" DESC)";
    if (limit > 0) sql += " LIMIT " + std::to_string(limit);
    Statement select(m_db, sql);
    std::vector<Value> values(params.begin(), params.end());
    if (!select.Bind(values)) return rows;
    while (select.Step() == SQLITE_ROW) {
        JournalRow r;
        r.id = select.Int(0);
        r.action = select.Int(1);
        r.time = select.Text(2);
        r.session = select.Text(3);
        r.port = select.Text(4);
        r.model = select.Text(5);
        r.origin = select.Text(6);
        r.what = select.Text(7);
        r.backup = select.Text(8);
        r.station = static_cast<int>(select.Int(9));
        r.reg = static_cast<uint16_t>(select.Int(10));
        r.name = select.Text(11);
        if (!select.IsNull(12)) r.oldValue = static_cast<int32_t>(select.Int(12));
        r.newValue = static_cast<int32_t>(select.Int(13));
        if (!select.IsNull(14)) r.confirmed = select.Int(14) != 0;
        rows.push_back(std::move(r));
    }
    return rows;
}

std::vector<JournalRow> ChangeJournal::History(const std::string& port, int station, int limit,
                                               const std::string& session, const std::string& nameFilter) const {
    std::lock_guard lock(m_mutex);
    std::string where = R"(WHERE a."port"=? AND a."station"=?)";
    std::vector<std::string> params{port, std::to_string(station)};
    if (!session.empty()) {
        where += R"( AND a."session"=?)";
        params.push_back(session);
    }
    if (!nameFilter.empty()) {
        where += R"( AND (instr(lower(c."name"), lower(?)) > 0 OR c."register"=?))";
        params.push_back(nameFilter);
        params.push_back(nameFilter);
    }
    return Rows(where, params, limit);
}

std::vector<std::string> ChangeJournal::Sessions(const std::string& port, int station) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> sessions;
    if (!m_db) return sessions;
    Statement select(m_db, R"(SELECT a."session" FROM "actions" a WHERE a."port"=? AND a."station"=?
                              AND EXISTS(SELECT 1 FROM "changes" c WHERE c."action"=a."id")
                              GROUP BY a."session" ORDER BY max(a."id") DESC)");
    if (!select.Bind({port, int64_t{station}})) return sessions;
    while (select.Step() == SQLITE_ROW) sessions.push_back(select.Text(0));
    return sessions;
}

std::vector<JournalRow> ChangeJournal::ActionChanges(int64_t action) const {
    std::lock_guard lock(m_mutex);
    return Rows(R"(WHERE c."action"=?)", {std::to_string(action)}, 0);
}

std::optional<JournalRow> ChangeJournal::Change(int64_t id) const {
    std::lock_guard lock(m_mutex);
    auto rows = Rows(R"(WHERE c."id"=?)", {std::to_string(id)}, 1);
    if (rows.empty()) return std::nullopt;
    return rows.front();
}

std::optional<UnfinishedWrite> ChangeJournal::Unfinished(const std::string& port, int station, bool* running) const {
    std::lock_guard lock(m_mutex);
    if (running) *running = false;
    if (!m_db) return std::nullopt;
    // Only the drive's last whole-set write counts: a later one that
    // completed has put the drive in a known state again.
    Statement select(m_db, R"(SELECT "id","time","origin","what","backup","blocks_done","blocks_total","finished",
                                     "reported","owner"
                              FROM "actions" WHERE "port"=? AND "station"=? AND "blocks_total">0
                              ORDER BY "id" DESC LIMIT 1)");
    if (!select.Bind({port, int64_t{station}}) || select.Step() != SQLITE_ROW) return std::nullopt;
    const bool finished = !select.IsNull(7);
    if ((finished && select.Int(7) == 1) || select.Int(8) != 0) return std::nullopt;
    // Still running in a program of its own (or in this one).
    if (!finished && OwnerAlive(select.Text(9))) {
        if (running) *running = true;
        return std::nullopt;
    }
    UnfinishedWrite u;
    u.action = select.Int(0);
    u.time = select.Text(1);
    u.origin = select.Text(2);
    u.what = select.Text(3);
    u.backup = select.Text(4);
    u.blocksDone = static_cast<int>(select.Int(5));
    u.blocksTotal = static_cast<int>(select.Int(6));
    u.port = port;
    u.station = station;
    return u;
}

std::optional<LastChange> ChangeJournal::LastChangeOf(const std::string& port, int station,
                                                     const std::vector<std::string>& leftOutOrigins,
                                                     bool (*counts)(uint16_t reg)) const {
    std::lock_guard lock(m_mutex);
    if (!m_db) return std::nullopt;
    // Refused changes never reached the drive; unconfirmed ones may have.
    Statement select(m_db, R"(SELECT a."id", a."time", a."origin", a."what", a."backup", c."register"
                              FROM "changes" c JOIN "actions" a ON a."id" = c."action"
                              WHERE a."port"=? AND a."station"=? AND (c."confirmed" IS NULL OR c."confirmed"=1)
                              ORDER BY c."id" DESC)");
    if (!select.Bind({port, int64_t{station}})) return std::nullopt;
    while (select.Step() == SQLITE_ROW) {
        const std::string origin = select.Text(2);
        if (std::find(leftOutOrigins.begin(), leftOutOrigins.end(), origin) != leftOutOrigins.end()) continue;
        if (counts && !counts(static_cast<uint16_t>(select.Int(5)))) continue;
        return LastChange{select.Int(0), select.Text(1), origin, select.Text(3), select.Text(4)};
    }
    return std::nullopt;
}

}  // namespace hx
