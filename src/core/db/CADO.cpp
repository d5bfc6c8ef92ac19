#include "core/db/CADO.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cstring>

#include "core/settings/AppPaths.h"

namespace {

std::atomic<int> g_liveObjects{0};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// ASCII only, whatever the locale the program runs in.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordChar(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }

// Position just past the keyword at pos (case-insensitive, whole word), or
// npos when the text there is not that keyword.
size_t MatchKeyword(const std::string& s, size_t pos, const char* keyword) {
    const size_t n = std::strlen(keyword);
    if (pos + n > s.size()) return std::string::npos;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[pos + i])) != keyword[i]) return std::string::npos;
    if (pos + n < s.size()) {
        if (IsWordChar(s[pos + n])) return std::string::npos;
    }
    return pos + n;
}

size_t SkipBlanks(const std::string& s, size_t pos) {
    while (pos < s.size() && IsBlank(s[pos])) ++pos;
    return pos;
}

// The path of a connection string: the value of "Data Source=", up to the
// next "; key=" part, or the whole text when it names no keys.
std::string DataSourcePath(const std::string& connection) {
    static const std::string key = "data source=";
    std::string lower(connection);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find(key);
    if (at == std::string::npos) return connection;
    const size_t begin = at + key.size();
    size_t end = connection.size();
    for (size_t semi = connection.find(';', begin); semi != std::string::npos; semi = connection.find(';', semi + 1)) {
        // Another "Key=" after the semicolon ends the path; a semicolon inside
        // a file name does not.
        size_t p = semi + 1;
        while (p < connection.size() && (IsWordChar(connection[p]) || connection[p] == ' ' || connection[p] == ':'))
            ++p;
        if ((p < connection.size() && connection[p] == '=') || SkipBlanks(connection, semi + 1) == connection.size()) {
            end = semi;
            break;
        }
    }
    while (end > begin && IsBlank(connection[end - 1])) --end;
    const size_t from = std::min(SkipBlanks(connection, begin), end);
    return connection.substr(from, end - from);
}

}  // namespace

CADO::CADO() { ++g_liveObjects; }

CADO::~CADO() {
    CloseRecordset();
    CloseConnection();
    --g_liveObjects;
}

int CADO::LiveObjects() { return g_liveObjects.load(); }

bool CADO::OpenConnection(const std::string& connectionString) {
    CloseConnection();
    const std::string path = DataSourcePath(connectionString);
    m_lastError.clear();
    if (path.empty()) {
        m_lastError = "no database file named";
        return false;
    }
    // Never create: a missing file is an error, not a new empty database.
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        m_lastError = "unable to open database " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close(db);
        return false;
    }
    // The file is only read on first use; make a file that is no database
    // fail here rather than at the first query.
    char* message = nullptr;
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        m_lastError = "unable to open database " + path + ": " + (message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        sqlite3_close(db);
        return false;
    }
    // Every window and the simulated drive hold their own connection.
    sqlite3_busy_timeout(db, 2000);
    m_db = db;
    return true;
}

bool CADO::IsConnectionOpen() const { return m_db != nullptr; }

void CADO::CloseConnection() {
    CloseRecordset();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

namespace {

// Prepares exactly one statement: the stored texts are single statements,
// and text pasted into one must not smuggle in a second.
sqlite3_stmt* PrepareOne(sqlite3* db, const std::string& sql, std::string* error) {
    if (!db) {
        *error = "the database connection is not open";
        return nullptr;
    }
    const std::string text = CADO::TranslateJetSql(sql);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), static_cast<int>(text.size()), &stmt, &tail) != SQLITE_OK) {
        *error = sqlite3_errmsg(db);
        return nullptr;
    }
    if (!stmt) {
        *error = "the SQL text holds no statement";
        return nullptr;
    }
    const char* end = text.c_str() + text.size();
    while (tail && tail < end) {
        sqlite3_stmt* more = nullptr;
        const char* next = nullptr;
        const int rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &more, &next);
        if (more || rc != SQLITE_OK) {
            sqlite3_finalize(more);
            sqlite3_finalize(stmt);
            *error = "the SQL text holds more than one statement";
            return nullptr;
        }
        if (next == tail) break;
        tail = next;
    }
    return stmt;
}

}  // namespace

CADO& CADO::GetRecordSet(const std::string& sql) {
    CloseRecordset();
    std::string error;
    sqlite3_stmt* stmt = PrepareOne(m_db, sql, &error);
    if (!stmt) {
        m_lastError = error;
        throw DbError(error);
    }
    const int rc = sqlite3_step(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        m_lastError = sqlite3_errmsg(m_db);
        sqlite3_finalize(stmt);
        throw DbError(m_lastError);
    }
    m_stmt = stmt;
    m_eof = rc == SQLITE_DONE;
    m_columns.clear();
    for (int i = 0, n = sqlite3_column_count(stmt); i < n; ++i) {
        const char* column = sqlite3_column_name(stmt, i);
        m_columns.emplace_back(column ? column : "");
    }
    return *this;
}

bool CADO::IsRecordsetOpen() const { return m_stmt != nullptr; }

bool CADO::IsEOF() const { return m_stmt == nullptr || m_eof; }

void CADO::MoveNext() {
    if (!m_stmt) throw DbError("Recordset State is closed");
    if (m_eof) throw DbError("the record set is at its end");
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return;
    if (rc == SQLITE_DONE) {
        m_eof = true;
        return;
    }
    m_lastError = sqlite3_errmsg(m_db);
    throw DbError(m_lastError);
}

int CADO::findColumn(const std::string& name) const {
    // ASCII only, as column names are.
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const std::string& column = m_columns[i];
        if (column.size() != name.size()) continue;
        size_t k = 0;
        while (k < name.size() && lower(column[k]) == lower(name[k])) ++k;
        if (k == name.size()) return static_cast<int>(i);
    }
    return -1;
}

bool CADO::HasField(const std::string& name) const { return m_stmt && findColumn(name) >= 0; }

std::string CADO::GetFieldText(const std::string& name) const {
    if (!m_stmt) throw DbError("Recordset State is closed");
    if (m_eof) throw DbError("no current record for the field " + name);
    const int column = findColumn(name);
    if (column < 0) throw DbError("no such column in the record set: " + name);
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_NULL:
        throw DbError("the field " + name + " holds no value (NULL)");
    case SQLITE_INTEGER:
        return std::to_string(sqlite3_column_int64(m_stmt, column));
    case SQLITE_FLOAT: {
        // The shortest text that reads back as the same number.
        char buffer[64];
        auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, sqlite3_column_double(m_stmt, column));
        if (ec != std::errc{}) throw DbError("the field " + name + " holds a number that cannot be shown");
        return std::string(buffer, end);
    }
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        const int bytes = sqlite3_column_bytes(m_stmt, column);
        return text ? std::string(text, static_cast<size_t>(bytes)) : std::string();
    }
    }
}

void CADO::CloseRecordset() {
    if (m_stmt) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
    }
    m_columns.clear();
    m_eof = true;
}

bool CADO::ExecuteSQL(const std::string& sql) {
    ExecuteBound(sql, {});
    return true;
}

void CADO::ExecuteBound(const std::string& sql, const std::vector<std::string>& params) {
    std::string error;
    sqlite3_stmt* stmt = PrepareOne(m_db, sql, &error);
    if (!stmt) {
        m_lastError = error;
        throw DbError(error);
    }
    // Asked before the statement is finalized: afterwards it is freed memory.
    const int wanted = sqlite3_bind_parameter_count(stmt);
    if (wanted != static_cast<int>(params.size())) {
        sqlite3_finalize(stmt);
        m_lastError = "the statement takes " + std::to_string(wanted) + " parameters, " +
                      std::to_string(params.size()) + " given";
        throw DbError(m_lastError);
    }
    for (size_t i = 0; i < params.size(); ++i)
        sqlite3_bind_text(stmt, static_cast<int>(i + 1), params[i].data(), static_cast<int>(params[i].size()),
                          SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        m_lastError = sqlite3_errmsg(m_db);
        sqlite3_finalize(stmt);
        throw DbError(m_lastError);
    }
    sqlite3_finalize(stmt);
}

std::string CADO::TranslateJetSql(const std::string& sql) {
    // "Select [distinct|all] top N rest" becomes "Select [distinct|all] rest LIMIT N".
    size_t pos = SkipBlanks(sql, 0);
    size_t after = MatchKeyword(sql, pos, "select");
    if (after == std::string::npos) return sql;
    pos = SkipBlanks(sql, after);
    for (const char* quantifier : {"distinct", "all"}) {
        const size_t q = MatchKeyword(sql, pos, quantifier);
        if (q != std::string::npos) {
            pos = SkipBlanks(sql, q);
            break;
        }
    }
    const size_t topAt = pos;
    after = MatchKeyword(sql, pos, "top");
    if (after == std::string::npos) return sql;
    size_t digits = SkipBlanks(sql, after);
    size_t digitsEnd = digits;
    while (digitsEnd < sql.size() && IsDigit(sql[digitsEnd])) ++digitsEnd;
    if (digitsEnd == digits || digitsEnd == sql.size() || !IsBlank(sql[digitsEnd])) return sql;
    const std::string count = sql.substr(digits, digitsEnd - digits);
    std::string rest = sql.substr(SkipBlanks(sql, digitsEnd));
    // The limit goes after everything else, before a closing semicolon.
    size_t end = rest.size();
    while (end > 0 && (IsBlank(rest[end - 1]) || rest[end - 1] == ';')) --end;
    rest.erase(end);
    return sql.substr(0, topAt) + rest + " LIMIT " + count;
}

std::string DatabaseConnectionString() { return "Data Source=" + hx::DatabasePath(); }

std::string SqlQuoteText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    return out;
}

std::string SqlTableName(const std::string& name) {
    bool plain = !name.empty() && !IsDigit(name[0]);
    for (char c : name)
        if (!IsWordChar(c)) plain = false;
    // A keyword names no table as it stands, so it is quoted too.
    if (plain && sqlite3_keyword_check(name.data(), static_cast<int>(name.size()))) plain = false;
    if (plain) return name;
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}
