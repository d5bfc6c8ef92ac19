// User-defined groups in a private copy of the built database.

#include <gtest/gtest.h>

#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/params/ParameterGroups.h"
#include "support/TestSupport.h"

using hx::GroupOutcome;
using hx::test::TempProgramFolder;

namespace {

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

// The groups of a database in a program folder of their own.
struct Groups : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString())); }
    TempProgramFolder folder;
    CADO db;
    hx::ParameterGroups groups{db};
};

}  // namespace

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
    EXPECT_EQ(groups.AddGroup("ab", entries).outcome, GroupOutcome::LengthError);
    EXPECT_EQ(groups.AddGroup("abcdefghijklmnopqrstu", entries).outcome, GroupOutcome::LengthError);  // 21
    EXPECT_EQ(groups.AddGroup("十个汉字十个汉字十个汉", entries).outcome, GroupOutcome::LengthError);  // 22 bytes
    EXPECT_EQ(groups.AddGroup("p0 基本设定", entries).outcome, GroupOutcome::Duplicate);
    EXPECT_EQ(groups.AddGroup("全部参数", entries).outcome, GroupOutcome::Duplicate);

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

    ASSERT_TRUE(groups.AddToGroup(30000, "Pr1.15", "mine").Ok());
    ASSERT_TRUE(groups.AddToGroup(0, "Pr0.00", "mine").Ok());
    ASSERT_TRUE(groups.AddToGroup(0, "Pr0.00", "mine").Ok());
    ASSERT_TRUE(groups.AddToGroup(0, "Pr0.00", "other").Ok());
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
