#pragma once
// One database connection and one record set over SQLite. Each window that
// needs the database owns its own CADO. The stored SQL texts use the older
// Jet dialect ("Select top 1 * ..."); they are translated here before they
// reach SQLite. Errors raise DbError carrying a description; the callers
// catch it and report in their own words.

#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    const char* Description() const noexcept { return what(); }
};

class CADO {
public:
    CADO();
    ~CADO();
    CADO(const CADO&) = delete;
    CADO& operator=(const CADO&) = delete;

    // "Data Source=<path>" or a plain path. Closes an open connection first.
    // Never throws: false when the database cannot be opened (LastError() says why).
    bool OpenConnection(const std::string& connectionString);
    bool IsConnectionOpen() const;
    void CloseConnection();

    // Opens a record set on the SQL text (closing the previous one) and
    // positions it on the first row. Throws DbError.
    CADO& GetRecordSet(const std::string& sql);
    bool IsRecordsetOpen() const;
    bool IsEOF() const;
    void MoveNext();                                  // throws DbError
    std::string GetFieldText(const std::string& name) const;  // throws DbError (missing column, NULL)
    bool HasField(const std::string& name) const;
    void CloseRecordset();

    // Runs a statement and discards any result. Throws DbError.
    bool ExecuteSQL(const std::string& sql);
    // Runs a statement with bound text/number parameters ('?' placeholders).
    void ExecuteBound(const std::string& sql, const std::vector<std::string>& params);

    std::string LastError() const { return m_lastError; }

    // The Jet dialect translation, exposed for testing.
    static std::string TranslateJetSql(const std::string& sql);

    static int LiveObjects();

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
    // The record set's column names: a field is looked up by
    // name for every row, and asking SQLite for each name every time cost
    // more than reading the rows.
    std::vector<std::string> m_columns;
    int findColumn(const std::string& name) const;
    bool m_eof = true;
    std::string m_lastError;
};

// The connection string for the database beside the program.
std::string DatabaseConnectionString();
// Text for a single-quoted SQL literal: quotes doubled.
std::string SqlQuoteText(const std::string& text);
// A table name safe to paste into a statement: as it stands when it is a
// plain identifier, else quoted, so strange text can only name a missing table.
std::string SqlTableName(const std::string& name);
