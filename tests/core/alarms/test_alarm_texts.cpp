// The alarm texts: number text, numerals, the cause-and-remedy text, and the
// lookups in the built database.

#include <gtest/gtest.h>

#include "core/alarms/AlarmCatalogue.h"
#include "core/alarms/AlarmText.h"
#include "core/alarms/FaultDetections.h"
#include "core/db/CADO.h"
#include "support/TestSupport.h"

using namespace hx;

TEST(AlarmText, NumbersKeepTheLastFourDigitsAndNumeralsGoUpToTen) {
    for (auto [code, text] : {std::pair{5, "Err0005"}, {123, "Err0123"}, {12345, "Err2345"}, {0, "Err0000"}, {9999, "Err9999"}})
        EXPECT_EQ(AlarmNumberText(code), text);

    const char* expected[] = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
    for (int k = 0; k <= 10; ++k) EXPECT_EQ(ChineseNumeral(k), expected[k]) << k;
    EXPECT_EQ(ChineseNumeral(11), "11");
    EXPECT_EQ(ChineseNumeral(123), "123");
}

TEST(AlarmText, CauseTextOfBothPages) {
    const std::vector<AlarmCause> causes = {{"负载过大", "减小负载"}, {"加速过快", "延长加速时间"}};
    const std::string current = BuildCauseText(causes, CurrentAlarmLabels());
    EXPECT_EQ(current,
              "----------------可能性一------------------\r\n原因：负载过大\r\n处理:减小负载\r\n"
              "----------------可能性二------------------\r\n原因：加速过快\r\n处理:延长加速时间\r\n");
    const std::string history = BuildCauseText(causes, HistoryLabels());
    EXPECT_EQ(history,
              "----------------可能性一------------------\r\n原因:负载过大\r\n处理:减小负载\r\n"
              "----------------可能性二------------------\r\n原因:加速过快\r\n处理:延长加速时间\r\n");
    CauseTextLabels digits = HistoryLabels();
    digits.chineseNumerals = false;
    EXPECT_NE(BuildCauseText(causes, digits).find("可能性2---"), std::string::npos);
    EXPECT_EQ(BuildCauseText({}, CurrentAlarmLabels()), "");
}

struct CatalogueTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(db.OpenConnection(folder.DatabasePath())) << db.LastError(); }
    test::TempProgramFolder folder;
    CADO db;
};

// Alarm 7's Chinese name and its two causes as the page shows them: the alarm
// window's test.
TEST_F(CatalogueTest, AlarmSevenInEnglishAndStrangeNamesFindNothing) {
    const auto english = LookupAlarmCauses(db, "Err0007", true);
    ASSERT_EQ(english.size(), 2u);
    EXPECT_EQ(english[0].reason.rfind("Load too heavy", 0), 0u);
    EXPECT_EQ(LookupAlarmNames(db, "Err0007", true).at(0), "Stall in open loop");

    // Names with quotes or unknown numbers find nothing.
    EXPECT_TRUE(LookupAlarmNames(db, "没有报警", false).empty());
    EXPECT_TRUE(LookupAlarmCauses(db, "没有报警", false).empty());
    EXPECT_TRUE(LookupAlarmNames(db, "Err00-1", false, true).empty());
    // A quote stays inside its literal: no syntax error, no rows.
    EXPECT_NO_THROW(EXPECT_TRUE(LookupAlarmNames(db, "Err0001' OR '1'='1", false).empty()));
    EXPECT_NO_THROW(EXPECT_TRUE(LookupAlarmCauses(db, "O'Brien", true).empty()));
    EXPECT_EQ(AlarmNameQuery("a'b"), "Select * from ErrTable where ErrorNumber='a''b'");
    EXPECT_EQ(AlarmNameQuery("Err0001", true), "Select * From ErrTable Where ErrorNumber='Err0001'");
    EXPECT_EQ(AlarmCauseQuery("Err0001"), "Select * from ErrDescription where ErrorNumber='Err0001'");
}

TEST_F(CatalogueTest, EveryAlarmHasTwoToFourCausesAndEveryDetectionItsAlarm) {
    std::vector<std::string> numbers;
    for (db.GetRecordSet("Select * from ErrTable"); !db.IsEOF(); db.MoveNext()) {
        numbers.push_back(db.GetFieldText("ErrorNumber"));
        EXPECT_FALSE(db.GetFieldText("ErrorNameEn").empty());
    }
    db.CloseRecordset();
    EXPECT_GE(numbers.size(), 15u);
    for (const auto& number : numbers) {
        const auto causes = LookupAlarmCauses(db, number, true);
        EXPECT_GE(causes.size(), 2u) << number;
        EXPECT_LE(causes.size(), 4u) << number;
        for (const auto& c : causes) EXPECT_TRUE(!c.reason.empty() && !c.remedy.empty()) << number;
    }
    const FaultDetection* detections = FaultDetections();
    for (int bit = 0; bit < kDetectionBits; ++bit) {
        EXPECT_EQ(detections[bit].bit, bit);
        EXPECT_TRUE(detections[bit].alarmCode != 0 || bit >= 13) << "only bits from 13 on have no alarm: " << bit;
        if (detections[bit].alarmCode == 0) continue;
        EXPECT_EQ(LookupAlarmNames(db, AlarmNumberText(detections[bit].alarmCode), false).size(), 1u) << bit;
        EXPECT_EQ(DetectionOfAlarm(detections[bit].alarmCode), &detections[bit]);
    }
    EXPECT_TRUE(AlarmDetected(14, 0));  // over-speed has no switch
    EXPECT_FALSE(AlarmDetected(1, 0xFFFE));
    EXPECT_TRUE(AlarmDetected(13, 0x1000));
}
