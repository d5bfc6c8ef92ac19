// Every text of the database a user reads has its English beside it, and
// every parameter help page has its English page.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/db/LocalizedField.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Chinese characters and the full-width punctuation written with them.
bool HasChinese(const std::string& utf8) {
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        uint32_t code = c & (length == 4 ? 0x07 : length == 3 ? 0x0F : 0x1F);
        for (int k = 1; k < length && i + k < utf8.size(); ++k)
            code = code << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        if ((code >= 0x3000 && code <= 0x303F) || (code >= 0x4E00 && code <= 0x9FFF) ||
            (code >= 0xFF00 && code <= 0xFFEF))
            return true;
        i += static_cast<size_t>(length);
    }
    return false;
}

struct Db {
    explicit Db(const std::string& path) { sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr); }
    ~Db() { sqlite3_close(db); }
    std::vector<std::vector<std::string>> Rows(const std::string& sql) const {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return rows;
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const auto* t = sqlite3_column_text(st, c);
                row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
            }
            rows.push_back(row);
        }
        sqlite3_finalize(st);
        return rows;
    }
    std::vector<std::string> Columns(const std::string& table) const {
        std::vector<std::string> names;
        for (const auto& r : Rows("PRAGMA table_info(\"" + table + "\")")) names.push_back(r[1]);
        return names;
    }
    sqlite3* db = nullptr;
};

}  // namespace

TEST(EnglishColumns, EveryChineseTextHasItsEnglish) {
    hx::test::TempProgramFolder folder;
    const Db db(folder.DatabasePath());
    int checked = 0;
    for (const auto& t : db.Rows("SELECT name FROM sqlite_master WHERE type = 'table'")) {
        const std::string& table = t[0];
        const auto columns = db.Columns(table);
        const std::set<std::string> names(columns.begin(), columns.end());
        for (const std::string& column : columns) {
            if (column.size() > 2 && column.compare(column.size() - 2, 2, "En") == 0) continue;
            const bool twin = names.count(column + "En") > 0;
            const auto rows = db.Rows("SELECT rowid, \"" + column + "\"" + (twin ? ", \"" + column + "En\"" : "") +
                                      " FROM \"" + table + "\"");
            for (const auto& row : rows) {
                if (!HasChinese(row[1])) continue;
                ASSERT_TRUE(twin) << table << "." << column << " holds Chinese (\"" << row[1]
                                  << "\") but has no " << column << "En column";
                EXPECT_FALSE(row[2].empty()) << table << " row " << row[0] << ": no English for \"" << row[1] << "\"";
                EXPECT_FALSE(HasChinese(row[2])) << table << " row " << row[0] << ": " << column << "En is \""
                                                 << row[2] << "\"";
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 900) << "the category labels and remarks of both models";

    // Units and categories have English in every row, even where it is the same.
    for (const char* table : {"ParametersTable", "ParametersTable_KRV4", "ParametersTable_KRV7"})
        EXPECT_TRUE(db.Rows(std::string("SELECT Address FROM ") + table +
                            " WHERE PageNumberEn = '' OR UnitsEn = '' OR RemarkEn = ''")
                        .empty())
            << table;
    EXPECT_EQ(db.Rows("SELECT DISTINCT PageNumberEn FROM ParametersTable_KRV4 WHERE PageNumber = 'P0 基本设定'"),
              (std::vector<std::vector<std::string>>{{"P0 Basic settings"}}));
}

TEST(EnglishColumns, TheInterfaceShowsTheTextsOfItsLanguage) {
    hx::test::TempProgramFolder folder;
    CADO db;
    ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString())) << db.LastError();
    const uint16_t language = g_language;
    db.GetRecordSet("Select * from  ParametersTable_KRV4 Order by PageNumber asc");
    ASSERT_TRUE(db.IsRecordsetOpen());
    // The English ones in the window: the parameter manager's geometry test.
    g_language = 4;
    const std::string remark = hx::LocalizedFieldText(db, "Remark");
    EXPECT_TRUE(HasChinese(remark)) << remark;
    g_language = 9;
    EXPECT_EQ(hx::LocalizedFieldText(db, "Scope"), db.GetFieldText("Scope")) << "a column without a twin";
    db.CloseRecordset();

    // A database from before the English columns still lists, in Chinese.
    db.GetRecordSet("Select Address, Remark From ParametersTable_KRV4");
    EXPECT_EQ(hx::LocalizedFieldText(db, "Remark"), db.GetFieldText("Remark"));
    db.CloseRecordset();
    g_language = language;
}

TEST(EnglishColumns, EveryParameterHelpPageHasItsEnglishPage) {
    const fs::path help = fs::path(HALVEX_SOURCE_DIR) / "resources" / "help";
    int pages = 0;
    for (const auto& e : fs::directory_iterator(help / "ParametersHelp")) {
        const fs::path english = help / "ParametersHelpEN" / e.path().filename();
        ASSERT_TRUE(fs::exists(english)) << english;
        const std::string text = hx::test::ReadFileBytes(english.string());
        EXPECT_FALSE(HasChinese(text)) << english;
        EXPECT_NE(text.find("<html lang=\"en\">"), std::string::npos) << english;
        ++pages;
    }
    EXPECT_GT(pages, 100);
}
