// The database layer on the real DATA.sqlite of the build, the stored SQL
// texts the windows run, and the definition tables' own rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/db/CADO.h"
#include "core/db/ModelMapping.h"
#include "core/params/CParameter.h"
#include "core/params/DefinitionQueries.h"
#include "core/params/DriveDefinitions.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// printf-style filling of a stored SQL text, as the windows do it.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

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

        EXPECT_EQ(hx::LookupDisplayModel(db, "HX-KRV4-0750", false), "KRV4-750W");
        EXPECT_EQ(hx::LookupDisplayModel(db, "  HX-KRV4-0750 \t", true), "Varnel KRV4-750");
        EXPECT_EQ(hx::LookupDisplayModel(db, "HX-KRV7-0400", false), "KRV7-400W");
        EXPECT_EQ(hx::LookupDisplayModel(db, "HX-KRV7-0400", true), "Varnel KRV7-400");
        EXPECT_EQ(hx::LookupDisplayModel(db, "NO-SUCH", false), std::nullopt);
        EXPECT_EQ(hx::LookupDisplayModel(db, "HX'KRV4", false), std::nullopt) << "a quote stays inside the literal";
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
    EXPECT_EQ(db.GetFieldText("Address"), "42");
    EXPECT_EQ(db.GetFieldText("Half"), "2.5");
    EXPECT_EQ(db.GetFieldText("Minus"), "-7");
    EXPECT_EQ(db.GetFieldText("Tenth"), "0.1");
    db.CloseRecordset();
    EXPECT_FALSE(db.IsRecordsetOpen());
    EXPECT_TRUE(db.IsEOF());

    EXPECT_THROW(db.ExecuteSQL("Insert into NoTable(a) Values(1)"), DbError);
    EXPECT_THROW(db.ExecuteSQL("this is not sql"), DbError);
}

TEST(CADO, WritesGroupsAndKeepsStrangeTextInsideItsStatement) {
    hx::test::TempProgramFolder folder;
    CADO db;
    ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString()));
    // The group statements as the parameter manager builds them.
    EXPECT_TRUE(db.ExecuteSQL(std::string("Insert into ") + "SelfDefineSettingTable" + "(Pos,SelfDefineSettingName) " +
                              " Values(" + "8" + ",'" + "速度调试" + "')"));
    EXPECT_TRUE(db.ExecuteSQL(std::string("Delete From ") + "SelfDefineSettingParametersTable" +
                              " Where  SelfDefineSettingName ='速度调试' and  Address =31"));
    EXPECT_TRUE(db.ExecuteSQL(std::string("Insert into ") + "SelfDefineSettingParametersTable" +
                              "(Address,Name,SelfDefineSettingName) " + "  Values (" + "31" + ",'" + "Pr1.07" +
                              "','" + "速度调试" + "')"));
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingTable", "SelfDefineSettingName"),
              std::vector<std::string>{"速度调试"});
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingTable", "Pos"), std::vector<std::string>{"8"});
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingParametersTable", "Address"), std::vector<std::string>{"31"});

    // A quote in a name: pasted as it is, the statement fails; quoted or bound, it is stored whole.
    EXPECT_THROW(db.ExecuteSQL("Insert into SelfDefineSettingTable(Pos,SelfDefineSettingName)  Values(9,'O'Brien')"),
                 DbError);
    db.ExecuteSQL("Insert into SelfDefineSettingTable(Pos,SelfDefineSettingName)  Values(9,'" + SqlQuoteText("O'Brien") +
                  "')");
    db.ExecuteBound("Insert into SelfDefineSettingTable(Pos,SelfDefineSettingName) Values(?,?)", {"10", "it's \"x\""});
    EXPECT_THROW(db.ExecuteBound("Insert into SelfDefineSettingTable(Pos,SelfDefineSettingName) Values(?,?)", {"1"}),
                 DbError);
    EXPECT_EQ(db.LastError(), "the statement takes 2 parameters, 1 given");
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingTable", "SelfDefineSettingName"),
              (std::vector<std::string>{"速度调试", "O'Brien", "it's \"x\""}));
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingTable where Pos = 10", "Pos"), std::vector<std::string>{"10"})
        << "bound numbers compare as numbers";

    // Text that closes the literal cannot run a second statement.
    const std::string sneaky = "x'; drop table ParametersTable; --";
    EXPECT_THROW(db.ExecuteSQL("Delete From SelfDefineSettingTable Where  SelfDefineSettingName ='" + sneaky + "'"),
                 DbError);
    EXPECT_THROW(db.GetRecordSet("Select * from SelfDefineSettingTable; drop table ParametersTable"), DbError);
    // A strange model text can only name a table that does not exist.
    const std::string model = "X; drop table ParametersTable";
    EXPECT_EQ(SqlTableName(model), "\"X; drop table ParametersTable\"");
    EXPECT_EQ(SqlTableName("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(SqlTableName("ParametersTable_KRV4"), "ParametersTable_KRV4");
    EXPECT_EQ(SqlTableName("select"), "\"select\"");
    EXPECT_EQ(SqlTableName(""), "\"\"");
    EXPECT_THROW(db.GetRecordSet("Select * from  " + SqlTableName(model)), DbError);
    EXPECT_THROW(db.GetRecordSet(hx::DefinitionListQuery(model)), DbError);
    EXPECT_THROW(db.GetRecordSet(hx::CategoryLabelsQuery("KRV4\" Where 1=1 --")), DbError);
    EXPECT_THROW(hx::LoadDefinitions(folder.DatabasePath(), model), DbError);
    EXPECT_EQ(hx::DefinitionTableName(model), "\"ParametersTable_X; drop table ParametersTable\"");
    EXPECT_EQ(Column(db, hx::ComparisonQuery(), "Address").size(), hx::LoadDefinitions(folder.DatabasePath(), "").size());
    EXPECT_FALSE(hx::LoadDefinitions(folder.DatabasePath(), "").empty()) << "the base table is still there";
}

TEST(CADO, StoredSqlTextsRunUnchanged) {
    hx::test::TempProgramFolder folder;
    CADO db;
    ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString()));

    const std::string modelList = Format("Select * from  %s_%s Order by PageNumber asc", "ParametersTable", "KRV4");
    const std::string baseList = Format("Select * from  %s Order by Address asc", "ParametersTable");
    const std::string labels =
        Format("Select distinct PageNumber From  %s_%s Where PageNumber <>'--' Order By PageNumber ASC", "ParametersTable",
               "KRV4");
    const std::string compare = std::string("Select * from  ") + "ParametersTable";
    EXPECT_EQ(hx::DefinitionListQuery("KRV4"), modelList);
    EXPECT_EQ(hx::DefinitionListQuery(""), baseList);
    EXPECT_EQ(hx::CategoryLabelsQuery("KRV4"), labels);
    EXPECT_EQ(hx::ComparisonQuery(), compare);

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
    EXPECT_EQ(addresses.size(), Column(db, compare, "Address").size());

    EXPECT_EQ(Column(db, labels, "PageNumber"),
              (std::vector<std::string>{"P0 基本设定", "P1 增益调整", "P2 振动抑制", "P3 速度转矩控制", "P4 I/O设定",
                                        "P5 扩展设定", "P6 特殊设定"}));
    EXPECT_FALSE(Column(db, hx::CategoryLabelsQuery("KRV7"), "PageNumber").empty());

    EXPECT_EQ(Column(db,
                     Format("Select top 1 * from %s where Model_From_Product='%s' AND IS_Varnel_Model =%s",
                            "Model_Mapping", "HX-KRV7-0400", "1"),
                     "Model_to_Display"),
              std::vector<std::string>{"Varnel KRV7-400"});

    // The group texts, blanks and all.
    EXPECT_TRUE(Column(db, std::string("Select * from  ") + "SelfDefineSettingTable", "SelfDefineSettingName").empty());
    db.ExecuteSQL(std::string("Insert into ") + "SelfDefineSettingTable" + "(Pos,SelfDefineSettingName) " + " Values(" +
                  "8" + ",'" + "abc" + "')");
    for (int i = 0; i < 2; ++i) {  // a parameter joins a group once
        db.ExecuteSQL(std::string("Delete From ") + "SelfDefineSettingParametersTable" + " Where  SelfDefineSettingName ='" +
                      "abc" + "' and  Address =" + "5");
        db.ExecuteSQL(std::string("Insert into ") + "SelfDefineSettingParametersTable" +
                      "(Address,Name,SelfDefineSettingName) " + "  Values (" + "5" + ",'" + "Pr4.00" + "','" + "abc" + "')");
    }
    EXPECT_EQ(Column(db, "Select * from  SelfDefineSettingParametersTable", "Address").size(), 1u);
    db.ExecuteSQL(std::string("Delete From ") + "SelfDefineSettingTable" + " Where  SelfDefineSettingName ='" + "ABC" + "'");
    db.ExecuteSQL(std::string("Delete From ") + "SelfDefineSettingParametersTable" + " Where SelfDefineSettingName ='" +
                  "abc" + "'");
    EXPECT_TRUE(Column(db, "Select * from  SelfDefineSettingTable", "Pos").empty()) << "names compare ignoring case";
    EXPECT_TRUE(Column(db, "Select * from  SelfDefineSettingParametersTable", "Address").empty());
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
    uint16_t previous = 0;
    for (const auto& d : rows) {
        SCOPED_TRACE(d.name + " at " + std::to_string(d.address));
        EXPECT_GE(d.address, previous) << "address order";
        previous = d.address;
        EXPECT_TRUE(CParameter::IsParameterAddress(d.address));
        EXPECT_EQ(forbidden.count(d.address), 0u);
        if (hiddenAfterConnect.count(d.address)) {
            EXPECT_FALSE(d.visible);
        }
        // The drive's attribute blocks stop at 31599.
        if (d.address >= 31600) {
            EXPECT_FALSE(d.visible);
        }
        EXPECT_TRUE(names.insert(d.name).second) << "names are unique";
        EXPECT_EQ(d.name.rfind("Pr", 0), 0u);
        EXPECT_FALSE(d.pageNumber.empty());
        EXPECT_FALSE(d.units.empty());
        EXPECT_FALSE(d.remark.empty());

        const size_t tilde = d.scope.find('~');
        long long lo = 0, hi = 0, def = 0;
        ASSERT_NE(tilde, std::string::npos) << d.scope;
        ASSERT_TRUE(ParseInt(d.scope.substr(0, tilde), &lo)) << d.scope;
        ASSERT_TRUE(ParseInt(d.scope.substr(tilde + 1), &hi)) << d.scope;
        ASSERT_TRUE(ParseInt(d.defaultValue, &def)) << d.defaultValue;
        EXPECT_LE(lo, def);
        EXPECT_LE(def, hi);
        if (d.dataType == "SHORT") {
            EXPECT_GE(lo, -32768);
            EXPECT_LE(hi, 32767);
        } else if (d.dataType == "USHORT") {
            EXPECT_GE(lo, 0);
            EXPECT_LE(hi, 65535);
        } else if (d.dataType == "INT") {
            EXPECT_GE(lo, -2147483647);
            EXPECT_LE(hi, 2147483647);
            // The high word sits at the address below, in the same range, and is no row of its own.
            EXPECT_TRUE(d.address != 0 && d.address != 30000);
            EXPECT_EQ(addresses.count(static_cast<uint16_t>(d.address - 1)), 0u);
            EXPECT_EQ(forbidden.count(d.address - 1), 0u);
        } else {
            ADD_FAILURE() << "data type " << d.dataType;
        }
    }
}

const hx::ParameterDefinition* Find(const std::vector<hx::ParameterDefinition>& rows, uint16_t address) {
    for (const auto& d : rows)
        if (d.address == address) return &d;
    return nullptr;
}

}  // namespace

TEST(DriveDefinitions, TablesKeepTheirRules) {
    hx::test::TempProgramFolder folder;
    const auto krv4 = hx::LoadDefinitions(folder.DatabasePath(), "KRV4");
    const auto krv7 = hx::LoadDefinitions(folder.DatabasePath(), "KRV7");
    const auto base = hx::LoadDefinitions(folder.DatabasePath(), "");
    CheckDefinitionRules(krv4, "KRV4");
    CheckDefinitionRules(krv7, "KRV7");
    CheckDefinitionRules(base, "base");

    EXPECT_GE(krv4.size(), 250u);
    EXPECT_GE(krv7.size(), 120u);
    ASSERT_NE(Find(krv4, 0), nullptr) << "register 0 answers the connection check";
    ASSERT_NE(Find(krv7, 0), nullptr);
    // On KRV4, 27..31 are the function codes of outputs SO3..SO7 (the setup
    // wizard writes them); the 32-bit feed-forward limit sits in the high range.
    for (int a : {5, 6, 27, 28, 29, 30, 31}) {
        ASSERT_NE(Find(krv4, a), nullptr) << a;
        EXPECT_EQ(Find(krv4, a)->dataType, "USHORT") << a;
    }
    ASSERT_NE(Find(krv4, 30029), nullptr);
    EXPECT_EQ(Find(krv4, 30029)->dataType, "INT");
    EXPECT_EQ(Find(krv4, 30028), nullptr);
    // The input polarity word is 134, as the wizard reads it.
    ASSERT_NE(Find(krv4, 134), nullptr);
    EXPECT_EQ(Find(krv4, 134)->scope, "0~127");
    ASSERT_NE(Find(krv7, 31), nullptr);
    EXPECT_EQ(Find(krv7, 31)->dataType, "INT");
    auto has = [](const auto& rows, auto pred) { return std::any_of(rows.begin(), rows.end(), pred); };
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.address < 150; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.address >= 30000 && d.address < 31600 && d.visible; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.scope == "0~10"; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return !d.visible && d.address < 150; }));
    EXPECT_TRUE(has(krv7, [](const auto& d) { return !d.visible; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.pageNumber == "--"; }));
    EXPECT_TRUE(has(krv4, [](const auto& d) { return d.dataType == "INT" && d.address >= 30000; }));

    // The base table is the KRV4 table.
    ASSERT_EQ(base.size(), krv4.size());
    for (size_t i = 0; i < base.size(); ++i) {
        EXPECT_EQ(base[i].address, krv4[i].address);
        EXPECT_EQ(base[i].name, krv4[i].name);
        EXPECT_EQ(base[i].defaultValue, krv4[i].defaultValue);
        EXPECT_EQ(base[i].visible, krv4[i].visible);
    }

    // Every product model maps for both values of the flag.
    CADO db;
    ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString()));
    std::map<std::string, std::set<std::string>> flags;
    for (db.GetRecordSet("Select * from Model_Mapping"); !db.IsEOF(); db.MoveNext())
        flags[db.GetFieldText("Model_From_Product")].insert(db.GetFieldText("IS_Varnel_Model"));
    EXPECT_TRUE(flags.count("HX-KRV4-0750"));
    EXPECT_TRUE(flags.count("HX-KRV7-0400"));
    for (const auto& [product, set] : flags) EXPECT_EQ(set, (std::set<std::string>{"0", "1"})) << product;

    // Help pages: Pr0.01 and every basic setting have one.
    EXPECT_TRUE(fs::exists(folder.File("HelpFile/ParametersHelp/Pr0.01.html")));
    EXPECT_TRUE(fs::exists(folder.File("HelpFile/help.html")));
    EXPECT_TRUE(fs::exists(folder.File("HelpFile/helpEN.html")));
    for (const auto& d : krv4)
        if (d.pageNumber.rfind("P0 ", 0) == 0 && d.visible) {
            EXPECT_TRUE(fs::exists(folder.File("HelpFile/ParametersHelp/" + d.name + ".html"))) << d.name;
        }

    EXPECT_THROW(hx::LoadDefinitions(folder.File("missing.sqlite"), "KRV4"), DbError);
}
