// The database layer on the real DATA.sqlite of the build, the SQL texts the
// windows run, and the rules and English texts of the data it ships.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/db/LocalizedField.h"
#include "core/db/ModelMapping.h"
#include "core/params/CParameter.h"
#include "core/params/DefinitionQueries.h"
#include "core/params/DriveDefinitions.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Column(CADO& db, const std::string& sql, const std::string& field) {
    std::vector<std::string> values;
    for (db.GetRecordSet(sql); !db.IsEOF(); db.MoveNext()) values.push_back(db.GetFieldText(field));
    db.CloseRecordset();
    return values;
}

bool ParseInt(const std::string& text, long long* value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc{} && end == text.data() + text.size();
}

// The built database in a program folder of the test's own, open.
struct OnDatabase : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString())) << db.LastError(); }
    hx::test::TempProgramFolder folder;
    CADO db;
};

}  // namespace

TEST(CADO, OpensTheBuiltDatabaseAndRunsJetQueries) {
    hx::test::TempProgramFolder folder;
    const int before = CADO::LiveObjects();
    {
        CADO db;
        CADO other;
        EXPECT_EQ(CADO::LiveObjects(), before + 2);
        ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString())) << db.LastError();
        EXPECT_TRUE(db.IsConnectionOpen());
        EXPECT_NE(DatabaseConnectionString().find(folder.Path()), std::string::npos);
        EXPECT_TRUE(other.OpenConnection(folder.DatabasePath())) << "a plain path works too";

        db.GetRecordSet("Select top 1 * from Model_Mapping where Model_From_Product='HX-KRV4-0750' AND IS_Varnel_Model =0");
        ASSERT_TRUE(db.IsRecordsetOpen());
        ASSERT_FALSE(db.IsEOF());
        EXPECT_EQ(db.GetFieldText("Model_to_Display"), "KRV4-750W");
        EXPECT_EQ(db.GetFieldText("is_varnel_model"), "0") << "field names ignore case";
        db.MoveNext();
        EXPECT_TRUE(db.IsEOF()) << "top 1 gives one row";
        EXPECT_THROW(db.MoveNext(), DbError);
        EXPECT_THROW(db.GetFieldText("Model_to_Display"), DbError);

        // A quote stays inside the literal.
        for (auto [product, flag, shown] : {std::tuple{"HX-KRV4-0750", false, "KRV4-750W"},
                                            {"  HX-KRV4-0750 \t", true, "Varnel KRV4-750"}, {"HX-KRV7-0400", false, "KRV7-400W"},
                                            {"HX-KRV7-0400", true, "Varnel KRV7-400"}, {"NO-SUCH", false, ""}, {"HX'KRV4", false, ""}})
            EXPECT_EQ(hx::LookupDisplayModel(db, product, flag).value_or(""), shown) << product;
        EXPECT_EQ(hx::DisplayModelQuery(" AB ", true),
                  "Select top 1 * from Model_Mapping where Model_From_Product='AB' AND IS_Varnel_Model =1");
    }
    EXPECT_EQ(CADO::LiveObjects(), before);

    EXPECT_EQ(CADO::TranslateJetSql("Select top 1 * from  T where a='top 5' Order by x"),
              "Select * from  T where a='top 5' Order by x LIMIT 1");
    EXPECT_EQ(CADO::TranslateJetSql("  SELECT DISTINCT TOP 3 x FROM t;"), "  SELECT DISTINCT x FROM t LIMIT 3");
    for (const char* unchanged : {"Select * from topics", "Select topx from t", "Select top from t",
                                  "Delete From t Where a ='top 1'"})
        EXPECT_EQ(CADO::TranslateJetSql(unchanged), unchanged);
}

TEST(CADO, FailuresAreReportedNotHidden) {
    hx::test::TempProgramFolder folder;
    CADO db;
    const std::string missing = folder.File("nothing/DATA.sqlite");
    EXPECT_FALSE(db.OpenConnection("Data Source=" + missing));
    EXPECT_FALSE(db.IsConnectionOpen());
    EXPECT_FALSE(db.LastError().empty());
    EXPECT_FALSE(fs::exists(missing)) << "opening never creates a database";
    EXPECT_THROW(db.GetRecordSet("Select * from  ParametersTable"), DbError);

    hx::test::WriteFileBytes(folder.File("junk.sqlite"), std::string(4096, 'x'));
    EXPECT_FALSE(db.OpenConnection(folder.File("junk.sqlite")));
    EXPECT_FALSE(db.LastError().empty());

    // Opening again closes the open connection first.
    ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString()));
    EXPECT_FALSE(db.OpenConnection("Data Source=" + missing));
    EXPECT_FALSE(db.IsConnectionOpen());

    ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString()));
    try {
        db.GetRecordSet("Select * from  ParametersTable_X Order by PageNumber asc");
        FAIL() << "a missing table must raise";
    } catch (const DbError& e) {
        EXPECT_NE(std::string(e.Description()).find("no such table: ParametersTable_X"), std::string::npos)
            << e.Description();
    }
    EXPECT_FALSE(db.IsRecordsetOpen());

    db.GetRecordSet("Select NULL as Name, 42 as Address, 2.5 as Half, -7 as Minus, 0.1 as Tenth, 'x' as Text");
    EXPECT_THROW(db.GetFieldText("Name"), DbError);
    EXPECT_THROW(db.GetFieldText("NoSuchColumn"), DbError);
    EXPECT_FALSE(db.HasField("NoSuchColumn"));
    EXPECT_TRUE(db.HasField("TEXT"));
    for (auto [field, text] : {std::pair{"Address", "42"}, {"Half", "2.5"}, {"Minus", "-7"}, {"Tenth", "0.1"}})
        EXPECT_EQ(db.GetFieldText(field), text);
    db.CloseRecordset();
    EXPECT_FALSE(db.IsRecordsetOpen());
    EXPECT_TRUE(db.IsEOF());

    EXPECT_THROW(db.ExecuteSQL("Insert into NoTable(a) Values(1)"), DbError);
    EXPECT_THROW(db.ExecuteSQL("this is not sql"), DbError);
}

// The group statements themselves are pinned with the groups.
TEST_F(OnDatabase, KeepsStrangeTextInsideItsStatement) {
    const std::string insert = "Insert into SelfDefineSettingTable(Pos,SelfDefineSettingName) ";
    // A quote in a name: pasted as it is, the statement fails; quoted or bound, it is stored whole.
    EXPECT_THROW(db.ExecuteSQL(insert + " Values(9,'O'Brien')"), DbError);
    db.ExecuteSQL(insert + " Values(9,'" + SqlQuoteText("O'Brien") + "')");
    db.ExecuteBound(insert + "Values(?,?)", {"10", "it's \"x\""});
    EXPECT_THROW(db.ExecuteBound(insert + "Values(?,?)", {"1"}), DbError);
    EXPECT_EQ(db.LastError(), "the statement takes 2 parameters, 1 given");
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingTable", "SelfDefineSettingName"),
              (std::vector<std::string>{"O'Brien", "it's \"x\""}));
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingTable where Pos = 10", "Pos"), std::vector<std::string>{"10"})
        << "bound numbers compare as numbers";

    // Text that closes the literal cannot run a second statement.
    const std::string sneaky = "x'; drop table ParametersTable; --";
    EXPECT_THROW(db.ExecuteSQL("Delete From SelfDefineSettingTable Where  SelfDefineSettingName ='" + sneaky + "'"),
                 DbError);
    EXPECT_THROW(db.GetRecordSet("Select * from SelfDefineSettingTable; drop table ParametersTable"), DbError);
    // A strange model text can only name a table that does not exist.
    const std::string model = "X; drop table ParametersTable";
    for (auto [name, quoted] : {std::pair{model.c_str(), "\"X; drop table ParametersTable\""}, {"a\"b", "\"a\"\"b\""},
                                {"ParametersTable_KRV4", "ParametersTable_KRV4"}, {"select", "\"select\""},
                                {"", "\"\""}})
        EXPECT_EQ(SqlTableName(name), quoted);
    EXPECT_THROW(db.GetRecordSet("Select * from  " + SqlTableName(model)), DbError);
    EXPECT_THROW(db.GetRecordSet(hx::DefinitionListQuery(model)), DbError);
    EXPECT_THROW(db.GetRecordSet(hx::CategoryLabelsQuery("KRV4\" Where 1=1 --")), DbError);
    EXPECT_THROW(hx::LoadDefinitions(folder.DatabasePath(), model), DbError);
    EXPECT_EQ(hx::DefinitionTableName(model), "\"ParametersTable_X; drop table ParametersTable\"");
    EXPECT_FALSE(hx::LoadDefinitions(folder.DatabasePath(), "").empty()) << "the base table is still there";
}

TEST_F(OnDatabase, StoredSqlTextsRunUnchanged) {
    const std::string modelList = "Select * from  ParametersTable_KRV4 Order by PageNumber asc";
    const std::string baseList = "Select * from  ParametersTable Order by Address asc";
    const std::string labels =
        "Select distinct PageNumber From  ParametersTable_KRV4 Where PageNumber <>'--' Order By PageNumber ASC";
    EXPECT_EQ(hx::DefinitionListQuery("KRV4"), modelList);
    EXPECT_EQ(hx::DefinitionListQuery(""), baseList);
    EXPECT_EQ(hx::CategoryLabelsQuery("KRV4"), labels);
    EXPECT_EQ(hx::ComparisonQuery(), "Select * from  ParametersTable");

    // The listing by category keeps each category in address order.
    std::vector<std::pair<std::string, long long>> listed;
    for (db.GetRecordSet(modelList); !db.IsEOF(); db.MoveNext()) {
        long long a = 0;
        ASSERT_TRUE(ParseInt(db.GetFieldText("Address"), &a));
        for (const char* f : {"Name", "DataType", "Scope", "DefaultValue", "Units", "Remark"}) db.GetFieldText(f);
        listed.emplace_back(db.GetFieldText("PageNumber"), a);
    }
    ASSERT_GT(listed.size(), 200u);
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));

    std::vector<long long> addresses;
    for (const std::string& a : Column(db, baseList, "Address")) addresses.push_back(std::stoll(a));
    EXPECT_TRUE(std::is_sorted(addresses.begin(), addresses.end()));
    EXPECT_EQ(addresses.size(), Column(db, hx::ComparisonQuery(), "Address").size());

    EXPECT_EQ(Column(db, labels, "PageNumber"),
              (std::vector<std::string>{"P0 基本设定", "P1 增益调整", "P2 振动抑制", "P3 速度转矩控制", "P4 I/O设定",
                                        "P5 扩展设定", "P6 特殊设定"}));
    EXPECT_FALSE(Column(db, hx::CategoryLabelsQuery("KRV7"), "PageNumber").empty());
}

namespace {

void CheckDefinitionRules(const std::vector<hx::ParameterDefinition>& rows, const std::string& model) {
    SCOPED_TRACE(model);
    ASSERT_FALSE(rows.empty());
    std::set<uint16_t> addresses;
    std::set<std::string> names;
    for (const auto& d : rows) addresses.insert(d.address);
    EXPECT_EQ(addresses.size(), rows.size()) << "one row per address";
    // Registers the drive uses for commands, status and identity.
    std::set<int> forbidden = {90, 91, 92, 93, 138};
    for (int a = 100; a <= 109; ++a) forbidden.insert(a);
    for (int a = 116; a <= 123; ++a) forbidden.insert(a);
    const std::set<int> hiddenAfterConnect = {23, 32, 34, 39, 41, 52, 70};
    const std::map<std::string, std::pair<long long, long long>> limits = {
        {"SHORT", {-32768, 32767}}, {"USHORT", {0, 65535}}, {"INT", {-2147483647, 2147483647}}};
    uint16_t previous = 0;
    for (const auto& d : rows) {
        SCOPED_TRACE(d.name + " at " + std::to_string(d.address));
        EXPECT_GE(d.address, previous) << "address order";
        previous = d.address;
        EXPECT_TRUE(CParameter::IsParameterAddress(d.address));
        EXPECT_EQ(forbidden.count(d.address), 0u);
        // The drive's attribute blocks stop at 31599.
        EXPECT_TRUE(!d.visible || (hiddenAfterConnect.count(d.address) == 0 && d.address < 31600));
        EXPECT_TRUE(names.insert(d.name).second) << "names are unique";
        EXPECT_EQ(d.name.rfind("Pr", 0), 0u);
        EXPECT_FALSE(d.pageNumber.empty() || d.units.empty() || d.remark.empty());

        const size_t tilde = d.scope.find('~');
        long long lo = 0, hi = 0, def = 0;
        ASSERT_NE(tilde, std::string::npos) << d.scope;
        ASSERT_TRUE(ParseInt(d.scope.substr(0, tilde), &lo)) << d.scope;
        ASSERT_TRUE(ParseInt(d.scope.substr(tilde + 1), &hi)) << d.scope;
        ASSERT_TRUE(ParseInt(d.defaultValue, &def)) << d.defaultValue;
        EXPECT_TRUE(lo <= def && def <= hi) << d.scope << " holds " << def;
        ASSERT_EQ(limits.count(d.dataType), 1u) << "data type " << d.dataType;
        EXPECT_TRUE(limits.at(d.dataType).first <= lo && hi <= limits.at(d.dataType).second) << d.scope;
        // A 32-bit value's high word sits at the address below, in the same
        // range, and is no row of its own.
        const bool lowWord = d.dataType == "INT";
        EXPECT_TRUE(!lowWord || (d.address != 0 && d.address != 30000 && !addresses.count(d.address - 1) &&
                                 !forbidden.count(d.address - 1)));
    }
}

// The data type of the row at an address, "none" without one.
std::string TypeAt(const std::vector<hx::ParameterDefinition>& rows, uint16_t address) {
    for (const auto& d : rows)
        if (d.address == address) return d.dataType;
    return "none";
}

}  // namespace

TEST_F(OnDatabase, DefinitionTablesKeepTheirRules) {
    const std::string path = folder.DatabasePath();
    const auto krv4 = hx::LoadDefinitions(path, "KRV4"), krv7 = hx::LoadDefinitions(path, "KRV7");
    const auto base = hx::LoadDefinitions(path, "");
    for (auto [rows, model] : {std::pair{&krv4, "KRV4"}, {&krv7, "KRV7"}, {&base, "base"}}) CheckDefinitionRules(*rows, model);

    EXPECT_GE(krv4.size(), 250u);
    EXPECT_GE(krv7.size(), 120u);
    EXPECT_NE(TypeAt(krv4, 0), "none") << "register 0 answers the connection check";
    EXPECT_NE(TypeAt(krv7, 0), "none");
    // On KRV4, 27..31 are the function codes of outputs SO3..SO7 (the setup
    // wizard writes them); the 32-bit feed-forward limit sits in the high range.
    for (int a : {5, 6, 27, 28, 29, 30, 31}) EXPECT_EQ(TypeAt(krv4, a), "USHORT") << a;
    EXPECT_EQ(TypeAt(krv4, 30029), "INT");
    EXPECT_EQ(TypeAt(krv4, 30028), "none");
    EXPECT_EQ(TypeAt(krv7, 31), "INT");
    // The input polarity word is 134, as the wizard reads it.
    auto has = [](const auto& rows, auto pred) { return std::any_of(rows.begin(), rows.end(), pred); };
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.address == 134 && d.scope == "0~127"; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.address >= 30000 && d.address < 31600 && d.visible; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return !d.visible && d.address < 150; }));
    EXPECT_TRUE(has(krv7, [](const auto& d) { return !d.visible; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.dataType == "INT" && d.address >= 30000; }));

    // The base table is the KRV4 table.
    auto key = [](const std::vector<hx::ParameterDefinition>& rows) {
        std::vector<std::tuple<uint16_t, std::string, std::string, bool>> out;
        for (const auto& d : rows) out.emplace_back(d.address, d.name, d.defaultValue, d.visible);
        return out;
    };
    EXPECT_EQ(key(base), key(krv4));

    // Every product model maps for both values of the flag.
    std::map<std::string, std::set<std::string>> flags;
    for (db.GetRecordSet("Select * from Model_Mapping"); !db.IsEOF(); db.MoveNext())
        flags[db.GetFieldText("Model_From_Product")].insert(db.GetFieldText("IS_Varnel_Model"));
    for (const char* product : {"HX-KRV4-0750", "HX-KRV7-0400"}) EXPECT_TRUE(flags.count(product)) << product;
    for (const auto& [product, set] : flags) EXPECT_EQ(set, (std::set<std::string>{"0", "1"})) << product;

    // Help pages: Pr0.01 and every basic setting have one.
    for (const char* page : {"ParametersHelp/Pr0.01.html", "help.html", "helpEN.html"})
        EXPECT_TRUE(fs::exists(folder.File(std::string("HelpFile/") + page))) << page;
    for (const auto& d : krv4) {
        const bool basic = d.pageNumber.rfind("P0 ", 0) == 0 && d.visible;
        EXPECT_TRUE(!basic || fs::exists(folder.File("HelpFile/ParametersHelp/" + d.name + ".html"))) << d.name;
    }

    EXPECT_THROW(hx::LoadDefinitions(folder.File("missing.sqlite"), "KRV4"), DbError);
}

namespace {

// Chinese characters and the full-width punctuation written with them
// (U+3000..U+303F, U+4000..U+9FFF, U+FF00..U+FFFF), by their UTF-8 lead bytes.
bool HasChinese(const std::string& s) {
    for (size_t i = 0; i + 1 < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]), next = static_cast<unsigned char>(s[i + 1]);
        if ((c >= 0xE4 && c <= 0xE9) || (c == 0xE3 && next == 0x80) || (c == 0xEF && next >= 0xBC)) return true;
    }
    return false;
}

}  // namespace

TEST_F(OnDatabase, EveryChineseTextHasItsEnglish) {
    int checked = 0;
    for (const std::string& table : Column(db, "SELECT name FROM sqlite_master WHERE type = 'table'", "name")) {
        const auto columns = Column(db, "PRAGMA table_info(\"" + table + "\")", "name");
        const std::set<std::string> names(columns.begin(), columns.end());
        for (const std::string& column : columns) {
            if (column.size() > 2 && column.ends_with("En")) continue;
            const bool twin = names.count(column + "En") > 0;
            const std::string sql = "SELECT rowid AS r, ifnull(\"" + column + "\", '') AS v, " +
                                    (twin ? "ifnull(\"" + column + "En\", '')" : "''") + " AS e FROM \"" + table + "\"";
            for (db.GetRecordSet(sql); !db.IsEOF(); db.MoveNext()) {
                const std::string text = db.GetFieldText("v"), english = db.GetFieldText("e"), row = db.GetFieldText("r");
                if (!HasChinese(text)) continue;
                ASSERT_TRUE(twin) << table << "." << column << " holds Chinese (\"" << text << "\") but has no En twin";
                EXPECT_FALSE(english.empty()) << table << " row " << row << ": no English for \"" << text << "\"";
                EXPECT_FALSE(HasChinese(english)) << table << " row " << row << ": " << column << "En: " << english;
                ++checked;
            }
        }
    }
    EXPECT_GT(checked, 900) << "the category labels and remarks of both models";

    // Units and categories have English in every row, even where it is the same.
    for (const std::string table : {"ParametersTable", "ParametersTable_KRV4", "ParametersTable_KRV7"}) {
        const std::string blank = " WHERE PageNumberEn = '' OR UnitsEn = '' OR RemarkEn = ''";
        EXPECT_TRUE(Column(db, "SELECT Address FROM " + table + blank, "Address").empty()) << table;
    }
    EXPECT_EQ(Column(db, "SELECT DISTINCT PageNumberEn FROM ParametersTable_KRV4 WHERE PageNumber = 'P0 基本设定'",
                     "PageNumberEn"),
              std::vector<std::string>{"P0 Basic settings"});
}

TEST_F(OnDatabase, TheInterfaceShowsTheTextsOfItsLanguage) {
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
