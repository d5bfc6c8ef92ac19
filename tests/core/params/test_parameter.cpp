// The shared parameter table, and comparing parameter sets and user-defined
// groups against a private copy of the built database. (Sets not ready and
// the rows at each access level: the comparison window's tests.)

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterComparison.h"
#include "core/params/ParameterFile.h"
#include "core/params/ParameterGroups.h"
#include "support/TestSupport.h"

using hx::GroupOutcome;
using hx::test::TempProgramFolder;
using hx::test::WriteFileBytes;

// Slot for slot, the address mapping is the whole-table read's test (every
// slot against the drive's register). A word shown by its type (65534 unsigned, -2 signed) is the command line's
// dump and the parameter files' test; here the 32-bit pair, words across the
// ranges and the types forgotten.
TEST(CParameter, WordsAndTypeRules) {
    CParameter t;
    const uint16_t fffe[] = {0xFFFE};
    t.RegisterType(5, "USHORT");
    // The INT pair of address 31: the high word sits at 30.
    t.RegisterType(31, "INT");
    const uint16_t pair[] = {0x0001, 0x86A0};
    t.LoadWords(30, pair, 2);
    EXPECT_EQ(t.Slot(31), -31072);
    EXPECT_EQ(t.GetValue(31), 100000);
    CParameter u;
    u.RegisterType(31, "INT");
    u.SetValue(31, 100000);
    EXPECT_EQ(u.Slot(30), 1);
    EXPECT_EQ(u.GetValue(31), 100000);
    std::array<uint16_t, 2> words{};
    u.StoreWords(30, words.data(), 2);
    EXPECT_EQ(words, (std::array<uint16_t, 2>{0x0001, 0x86A0}));
    // A negative 32-bit value keeps its value through the table.
    for (int32_t v : {-1, -100000, -2147483647, 2147483647, 65535, 65536}) {
        u.SetValue(31, v);
        EXPECT_EQ(u.GetValue(31), v) << v;
        u.StoreWords(30, words.data(), 2);
        CParameter back;
        back.RegisterType(31, "INT");
        back.LoadWords(30, words.data(), 2);
        EXPECT_EQ(back.GetValue(31), v) << v;
    }

    // Words run on across the two ranges by table index; nothing is written past the last slot.
    const std::vector<uint16_t> block = {0x0102, 0x0304, 0x0506, 0x0708};
    t.LoadWords(148, block.data(), 4);
    EXPECT_EQ(t.Slot(149), 0x0304);
    EXPECT_EQ(t.Slot(30000), 0x0506);
    t.LoadWords(31998, block.data(), 4);
    EXPECT_EQ(t.Slot(31999), 0x0304);
    t.LoadWords(200, block.data(), 1);  // no slot: ignored
    EXPECT_EQ(t.GetValue(200), 0);
    for (uint16_t a : {150, 159, 29999, 32000, 63000, 65535}) EXPECT_FALSE(CParameter::IsParameterAddress(a)) << a;
    // Nor an attribute bit. (The bitmap's layout: the simulated drive's
    // attribute blocks read through the program's reader.)
    t.SetAttribute(63000, 1);
    EXPECT_EQ(t.TestAttribute(63000), 0);

    // Until types are registered everything is SHORT; ClearTypes forgets them.
    t.ClearTypes();
    EXPECT_FALSE(t.IsInt(31));
    EXPECT_FALSE(t.IsUShort(5));
    t.LoadWords(5, fffe, 1);
    EXPECT_EQ(t.GetValue(5), -2);
}

namespace {

// A table typed and with attribute bits as the drive of that model gives them.
void PrepareTable(CParameter& t, const TempProgramFolder& folder, const std::string& model) {
    for (const auto& d : hx::LoadDefinitions(folder.DatabasePath(), model)) {
        t.RegisterType(d.address, d.dataType.c_str());
        t.SetAttribute(d.address, d.visible ? 1 : 0);
    }
}

std::vector<uint16_t> Addresses(const hx::ComparisonResult& r) {
    std::vector<uint16_t> a;
    for (const auto& row : r.rows) a.push_back(row.address);
    return a;
}

// The database in a program folder of its own.
struct OnDatabase : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString())); }
    TempProgramFolder folder;
    CADO db;
};

// A table of the KRV4 drive.
struct Comparison : OnDatabase {
    void SetUp() override {
        PrepareTable(t, folder, "KRV4");
        OnDatabase::SetUp();
    }
    std::vector<uint16_t> Compare(const hx::ParameterSet& one, const hx::ParameterSet& two, float firmware,
                                  const std::string& model = "KRV4") {
        return Addresses(hx::CompareSets(db, one, two, model, firmware, AccessLevel::Administrator, t));
    }
    CParameter t;
};

int CountRows(CADO& db, const std::string& sql) {
    int n = 0;
    for (db.GetRecordSet(sql); !db.IsEOF(); db.MoveNext()) ++n;
    db.CloseRecordset();
    return n;
}

hx::CategoryListing List(hx::ParameterGroups& groups, const std::string& model = "KRV4") {
    hx::CategoryListing listing;
    EXPECT_TRUE(groups.FillCategoryList(model, &listing).Ok());
    return listing;
}

struct Groups : OnDatabase {
    hx::ParameterGroups groups{db};
};

}  // namespace

TEST_F(Comparison, SnapshotEqualsAFileSavedAMomentEarlier) {
    for (int i = 0; i < CParameter::kSlots; ++i)
        t.SetValue(CParameter::IndexToAddress(static_cast<uint16_t>(i)), (i * 131) % 65536 - 32768);
    const std::string path = folder.File("now.qxr");
    ASSERT_TRUE(hx::SaveParameterFile(path, t, {"HX-KRV4-0750", "1.5", "现在"}, nullptr));

    hx::ParameterSet one = hx::SnapshotTable(t);
    hx::ParameterSet two;
    std::string error;
    ASSERT_TRUE(hx::LoadCompareSet(path, &two, &error)) << error;
    EXPECT_TRUE(two.ready);

    for (const std::string model : {"KRV4", "KRV7", ""})
        for (auto level : {AccessLevel::Ordinary, AccessLevel::Administrator}) {
            auto r = hx::CompareSets(db, one, two, model, 200.0f, level, t);
            EXPECT_EQ(r.outcome, hx::CompareOutcome::Compared);
            EXPECT_TRUE(r.rows.empty()) << model;
        }
}

TEST_F(Comparison, ListsDifferencesWithMissingAddressesAsZero) {
    t.SetValue(0, 5);
    t.SetValue(1, -3);   // USHORT: shows 65533
    t.SetValue(2, 7);
    t.SetValue(30000, 9);
    const std::string path = folder.File("partial.qxr");
    // Values stand as written, without the type rules; 2 and 30000 are missing.
    WriteFileBytes(path, "DriveType=HX-KRV4-0750\r\nDriveVerssion=1.5\r\nDescription=\r\n0=5\r\n1=-3\r\n3=0\r\n");
    hx::ParameterSet two;
    two.values.fill(77);
    ASSERT_TRUE(hx::LoadCompareSet(path, &two, nullptr));
    EXPECT_EQ(two.values[1], -3);
    EXPECT_EQ(two.values[2], 0);

    auto r = hx::CompareSets(db, hx::SnapshotTable(t), two, "KRV4", 200.0f, AccessLevel::Ordinary, t);
    ASSERT_EQ(Addresses(r), (std::vector<uint16_t>{1, 2, 30000}));
    EXPECT_EQ(r.rows[0].value1, 65533);
    EXPECT_EQ(r.rows[0].value2, -3);
    EXPECT_EQ(r.rows[1].value2, 0);

    // A model the database lacks is a database error for the window to show.
    EXPECT_THROW(hx::CompareSets(db, hx::SnapshotTable(t), two, "NoSuchModel", 200.0f, AccessLevel::Ordinary, t),
                 DbError);
}

TEST_F(Comparison, FirmwareHundredEndsTheScanAtTheFirstHighRow) {
    // The delivered tables run in address order: the high range drops out.
    hx::ParameterSet one = hx::SnapshotTable(t), two = one;
    two.values[CParameter::AddressToIndex(0)] = 1;
    two.values[CParameter::AddressToIndex(30000)] = 1;
    EXPECT_EQ(Compare(one, two, 100.0f), (std::vector<uint16_t>{0}));
    EXPECT_EQ(Compare(one, two, 100.0f, ""), (std::vector<uint16_t>{0}));
    EXPECT_EQ(Compare(one, two, 200.0f), (std::vector<uint16_t>{0, 30000}));

    // A table in another row order shows that the scan ends there rather than
    // skipping: the low row after the first high one is not reached. A row
    // whose address has no slot is passed over.
    db.ExecuteSQL("Create Table ParametersTable_ORDER (Address INTEGER, Name TEXT, PageNumber TEXT)");
    db.ExecuteSQL("Insert Into ParametersTable_ORDER Values (1, 'a', 'P'), (30005, 'b', 'P'), (200, 'x', 'P'), "
                  "(2, 'c', 'P')");
    hx::ParameterSet three = one;
    for (uint16_t a : {1, 30005, 2}) three.values[CParameter::AddressToIndex(a)] += 1;
    EXPECT_EQ(Compare(one, three, 100.0f, "ORDER"), (std::vector<uint16_t>{1}));
    EXPECT_EQ(Compare(one, three, 200.0f, "ORDER"), (std::vector<uint16_t>{1, 30005, 2}));
}

// The English interface lists the English labels (the parameter manager's
// test); the rules below are those of the Chinese one.
TEST_F(Groups, NamesFollowTheLengthAndDuplicateRules) {
    const uint16_t language = g_language;
    g_language = 4;
    auto listing = List(groups);
    ASSERT_FALSE(listing.categories.empty());
    EXPECT_EQ(listing.categories.front(), "P0 基本设定");
    EXPECT_TRUE(listing.groups.empty());
    EXPECT_TRUE(List(groups, "").categories.empty());  // no model, no categories

    auto entries = listing.Entries();
    EXPECT_EQ(entries.front(), "全部参数");
    using enum GroupOutcome;  // 21 characters, 22 bytes, names in the list in any case
    for (auto [name, outcome] : {std::pair{"ab", LengthError}, {"abcdefghijklmnopqrstu", LengthError},
                                 {"十个汉字十个汉字十个汉", LengthError}, {"p0 基本设定", Duplicate}, {"全部参数", Duplicate}})
        EXPECT_EQ(groups.AddGroup(name, entries).outcome, outcome) << name;

    const std::size_t before = entries.size();
    ASSERT_TRUE(groups.AddGroup("中文", entries).Ok());  // two characters, four bytes
    entries = List(groups).Entries();
    ASSERT_TRUE(groups.AddGroup("abcdefghijklmnopqrst", entries).Ok());  // 20
    entries = List(groups).Entries();
    EXPECT_EQ(groups.AddGroup("ABCDEFGHIJKLMNOPQRST", entries).outcome, GroupOutcome::Duplicate);

    listing = List(groups);
    EXPECT_EQ(listing.groups, (std::vector<std::string>{"中文", "abcdefghijklmnopqrst"}));
    const int first = static_cast<int>(1 + listing.categories.size());
    EXPECT_EQ(listing.GroupOfEntry(0), -1);
    EXPECT_EQ(listing.GroupOfEntry(first - 1), -1);
    EXPECT_EQ(listing.GroupOfEntry(first + 1), 1);
    // Pos is where the entry went in the category list.
    db.GetRecordSet("Select * from  SelfDefineSettingTable");
    EXPECT_EQ(db.GetFieldText("Pos"), std::to_string(before));
    db.CloseRecordset();
    g_language = language;
}

TEST_F(Groups, MembersAreKeptOnceAndGoWithTheirGroup) {
    ASSERT_TRUE(groups.AddGroup("mine", List(groups).Entries()).Ok());
    ASSERT_TRUE(groups.AddGroup("other", List(groups).Entries()).Ok());

    for (auto [address, name, group] : {std::tuple{30000, "Pr1.15", "mine"}, {0, "Pr0.00", "mine"}, {0, "Pr0.00", "mine"},
                                        {0, "Pr0.00", "other"}})
        ASSERT_TRUE(groups.AddToGroup(static_cast<uint16_t>(address), name, group).Ok()) << address << group;
    EXPECT_EQ(groups.AddToGroup(31999, "Pr6.99", "mine").outcome, GroupOutcome::Ignored);
    EXPECT_EQ(CountRows(db, "Select * from SelfDefineSettingParametersTable Where Address = 0 and "
                            "SelfDefineSettingName = 'mine'"),
              1);
    EXPECT_EQ(groups.GroupMembers("mine"), (std::vector<uint16_t>{0, 30000}));

    ASSERT_TRUE(groups.RemoveFromGroup(30000, "mine").Ok());
    EXPECT_EQ(groups.GroupMembers("mine"), (std::vector<uint16_t>{0}));

    ASSERT_TRUE(groups.DeleteGroup("mine").Ok());
    EXPECT_EQ(List(groups).groups, (std::vector<std::string>{"other"}));
    EXPECT_TRUE(groups.GroupMembers("mine").empty());
    EXPECT_EQ(groups.GroupMembers("other"), (std::vector<uint16_t>{0}));
}

TEST_F(Groups, AnyAdmittedNameIsStoredListedAndDeletedAsTyped) {
    const std::vector<std::string> names = {"O'Brien", "1' or '1'='1", "50%_off", "say \"hi\"", "'''", "x');--",
                                            "速度'参数"};
    for (const auto& name : names) ASSERT_TRUE(groups.AddGroup(name, List(groups).Entries()).Ok()) << name;
    EXPECT_EQ(List(groups).groups, names);

    // Another connection sees them as typed.
    {
        CADO second;
        ASSERT_TRUE(second.OpenConnection(DatabaseConnectionString()));
        hx::ParameterGroups seen(second);
        EXPECT_EQ(List(seen).groups, names);
    }

    ASSERT_TRUE(groups.AddToGroup(5, "Pr'4.00", "O'Brien").Ok());
    ASSERT_TRUE(groups.AddToGroup(6, "Pr4.01", "1' or '1'='1").Ok());
    EXPECT_EQ(groups.GroupMembers("O'Brien"), (std::vector<uint16_t>{5}));
    db.GetRecordSet("Select * from SelfDefineSettingParametersTable Where Address = 5");
    EXPECT_EQ(db.GetFieldText("Name"), "Pr'4.00");
    db.CloseRecordset();

    // The statements keep their classic texts, with the quotes doubled.
    EXPECT_EQ(hx::ParameterGroups::AddGroupSql(3, "O'Brien"),
              "Insert into SelfDefineSettingTable(Pos,SelfDefineSettingName)  Values(3,'O''Brien')");
    EXPECT_EQ(hx::ParameterGroups::DeleteGroupSql("O'Brien"),
              "Delete From SelfDefineSettingTable Where  SelfDefineSettingName ='O''Brien'");
    EXPECT_EQ(hx::ParameterGroups::DeleteGroupMembersSql("O'Brien"),
              "Delete From SelfDefineSettingParametersTable Where SelfDefineSettingName ='O''Brien'");
    EXPECT_EQ(hx::ParameterGroups::DeleteMemberSql(5, "O'Brien"),
              "Delete From SelfDefineSettingParametersTable Where  SelfDefineSettingName ='O''Brien' and  Address =5");
    EXPECT_EQ(hx::ParameterGroups::InsertMemberSql(5, "Pr'4.00", "O'Brien"),
              "Insert into SelfDefineSettingParametersTable(Address,Name,SelfDefineSettingName)   Values "
              "(5,'Pr''4.00','O''Brien')");

    // Deleting the crafted name deletes that group alone.
    ASSERT_TRUE(groups.DeleteGroup("1' or '1'='1").Ok());
    ASSERT_TRUE(groups.DeleteGroup("O'Brien").Ok());
    std::vector<std::string> rest(names.begin() + 2, names.end());
    EXPECT_EQ(List(groups).groups, rest);
    EXPECT_EQ(CountRows(db, "Select * from SelfDefineSettingParametersTable"), 0);
}
