// Comparing parameter sets against the definition tables of a private copy
// of the built database, with sets taken from the table and from real files.
// (Sets not ready, a file that cannot be read, the rows as listed and the
// hidden parameters at each access level: the comparison window's tests.)

#include <gtest/gtest.h>

#include "core/db/CADO.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterComparison.h"
#include "core/params/ParameterFile.h"
#include "support/TestSupport.h"

using hx::test::TempProgramFolder;
using hx::test::WriteFileBytes;

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

const std::string kHeader = "DriveType=HX-KRV4-0750\r\nDriveVerssion=1.5\r\nDescription=\r\n";

// A table of the KRV4 drive and the database, in a program folder of its own.
struct Comparison : ::testing::Test {
    void SetUp() override {
        PrepareTable(t, folder, "KRV4");
        ASSERT_TRUE(db.OpenConnection(DatabaseConnectionString()));
    }
    std::vector<uint16_t> Compare(const hx::ParameterSet& one, const hx::ParameterSet& two, float firmware,
                                  const std::string& model = "KRV4") {
        return Addresses(hx::CompareSets(db, one, two, model, firmware, AccessLevel::Administrator, t));
    }
    TempProgramFolder folder;
    CParameter t;
    CADO db;
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
    WriteFileBytes(path, kHeader + "0=5\r\n1=-3\r\n3=0\r\n");
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
