// The alarm texts, and the alarm reads, clears and mask against the simulated
// drive on a stepped clock over a real pseudo-terminal.

#include <gtest/gtest.h>

#include "core/alarms/AlarmCatalogue.h"
#include "core/alarms/AlarmReads.h"
#include "core/alarms/AlarmSequences.h"
#include "core/alarms/AlarmText.h"
#include "core/alarms/AlarmWorker.h"
#include "core/alarms/FaultDetections.h"
#include "core/db/CADO.h"
#include "core/protocol/Registers.h"
#include "core/writes/DetectionMaskWrite.h"
#include "support/SteppedDrive.h"
#include "support/TestSupport.h"

using namespace hx;
using namespace std::chrono_literals;
using Reading = CurrentAlarmReading;

TEST(AlarmText, NumbersKeepTheLastFourDigitsNumeralsGoUpToTenAndCausesReadAsOnEachPage) {
    for (auto [code, text] : {std::pair{5, "Err0005"}, {123, "Err0123"}, {12345, "Err2345"}, {0, "Err0000"}, {9999, "Err9999"}})
        EXPECT_EQ(AlarmNumberText(code), text);

    const char* expected[] = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
    for (int k = 0; k <= 10; ++k) EXPECT_EQ(ChineseNumeral(k), expected[k]) << k;
    EXPECT_EQ(ChineseNumeral(11), "11");
    EXPECT_EQ(ChineseNumeral(123), "123");

    // The cause text of both pages.
    const std::vector<AlarmCause> causes = {{"负载过大", "减小负载"}, {"加速过快", "延长加速时间"}};
    EXPECT_EQ(BuildCauseText(causes, CurrentAlarmLabels()),
              "----------------可能性一------------------\r\n原因：负载过大\r\n处理:减小负载\r\n"
              "----------------可能性二------------------\r\n原因：加速过快\r\n处理:延长加速时间\r\n");
    EXPECT_EQ(BuildCauseText(causes, HistoryLabels()),
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

namespace {

constexpr uint8_t kStation = 5;

// The drive reads its catalogue from the program folder.
struct AlarmBench : ::testing::Test, test::SteppedDrive {
    AlarmBench() : SteppedDrive({.station = kStation}), link(&comm, kStation) {}
    std::string Connection() const { return "Data Source=" + folder.DatabasePath(); }
    std::vector<AlarmHistoryEntry> ReadHistory(AlarmHistoryResult* result = nullptr) {
        std::vector<AlarmHistoryEntry> entries;
        auto r = RunAlarmHistoryRead(link, Connection(), false, {},
                                     [&](const AlarmHistoryEntry& e) { entries.push_back(e); }, Stepper());
        if (result) *result = r;
        return entries;
    }

    DriveHandle link;
};

}  // namespace

TEST_F(AlarmBench, PollRunsEveryHalfSecondUntilStopped) {
    std::vector<Reading> readings;
    std::stop_source stop;
    Vd().RaiseAlarm(3);
    RunCurrentAlarmPoll(
        link, Connection(), false, stop.get_token(),
        [&](const Reading& r) {
            readings.push_back(r);
            if (readings.size() == 3) stop.request_stop();
        },
        Stepper());
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_EQ(waited, 2000ms) << "a 500 ms wait before each read, and the one that saw the stop";
    EXPECT_EQ(readings[2].names.at(0), "欠压");
    // The names in both languages and a silent drive are the command line's
    // alarm tests; without the database the alarm still shows, by number.
    const Reading bare = ReadCurrentAlarm(link, nullptr, false);
    EXPECT_EQ(bare.state, Reading::State::Alarm);
    EXPECT_EQ(bare.number, "Err0003");
    EXPECT_TRUE(bare.catalogueMissing);
}

TEST_F(AlarmBench, HistoryPushesDownAndTheOldestFallsOut) {
    for (int code = 1; code <= 10; ++code) ASSERT_TRUE(Vd().RaiseAlarm(code));
    EXPECT_EQ(Vd().CurrentAlarm(), 10);
    AlarmHistoryResult result;
    const auto entries = ReadHistory(&result);
    EXPECT_EQ(result.status, AlarmHistoryResult::Status::Completed);
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(waited, 9 * 200ms);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(entries[i].address, reg::kAlarmHistoryFirst + i);
        EXPECT_EQ(entries[i].code, 10 - i) << "latest first; Err0001 fell out";
        EXPECT_EQ(entries[i].names.size(), 1u);
    }
}

// An empty history's nine "no alarm" rows and two alarms' two rows are the
// alarm window's test; rows found after empty registers stand above the "no
// alarm" rows.
TEST(AlarmHistoryList, RowsFoundAfterEmptyRegistersStandAbove) {
    AlarmHistoryList list;
    const AlarmHistoryEntry empty{.answered = true, .number = "Err0000"};
    const AlarmHistoryEntry alarm{.answered = true, .code = 4, .number = "Err0004", .names = {"EEPROM读写错误"}};
    list.Add(empty);
    list.Add(empty);
    list.Add(alarm);
    ASSERT_EQ(list.Rows().size(), 3u);
    EXPECT_EQ(list.Rows()[0].kind, AlarmHistoryList::RowKind::Alarm);
    EXPECT_EQ(list.Rows()[0].index, 0);
    EXPECT_EQ(list.Rows()[1].kind, AlarmHistoryList::RowKind::NoAlarm);
}

TEST_F(AlarmBench, UnansweredHistoryRegisterIsReportedAsSuch) {
    Vd().RaiseAlarm(1);
    // The third register's read goes to a station nobody answers.
    onWait = [this](int n) { link = link.atStation(n == 3 ? 44 : kStation); };
    AlarmHistoryList list;
    const auto entries = ReadHistory();
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_TRUE(entries[0].answered);
    EXPECT_FALSE(entries[2].answered);
    EXPECT_EQ(entries[2].address, 142);
    for (const auto& e : entries) list.Add(e);
    ASSERT_EQ(list.Rows().size(), 2u);
    EXPECT_EQ(list.Rows()[1].kind, AlarmHistoryList::RowKind::NoAnswer);
    EXPECT_EQ(list.Rows()[1].address, 142);
    EXPECT_NE(list.Rows()[1].number, "Err00-1");
}

TEST_F(AlarmBench, HistoryReadGivesUpWhenTheLookupCannotRun) {
    {
        CADO broken;
        ASSERT_TRUE(broken.OpenConnection(folder.DatabasePath()));
        broken.ExecuteSQL("DROP TABLE ErrTable");
    }
    AlarmHistoryResult result;
    const auto entries = ReadHistory(&result);
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(result.status, AlarmHistoryResult::Status::Failed);
    EXPECT_EQ(result.message, "Recordset Close");
    EXPECT_EQ(result.failedAddress, 140);
    EXPECT_EQ(waits, kHistoryLookupAttempts) << "a bounded number of ticks on the same register";
}

TEST_F(AlarmBench, HistoryReadStopsBetweenRegisters) {
    std::stop_source stop;
    int seen = 0;
    const auto result = RunAlarmHistoryRead(
        link, Connection(), false, stop.get_token(),
        [&](const AlarmHistoryEntry&) {
            if (++seen == 2) stop.request_stop();
        },
        Stepper());
    EXPECT_EQ(result.status, AlarmHistoryResult::Status::Stopped);
    EXPECT_EQ(seen, 2);
}

TEST_F(AlarmBench, ClearHistoryPollsTenTimesForTheDrive) {
    // Done on the tenth poll.
    Vd().RaiseAlarm(5);
    Vd().SetHistoryClearTime(2300ms);
    ClearResult r = ClearAlarmHistory(link, {}, Stepper());
    EXPECT_TRUE(r.cleared());
    EXPECT_EQ(r.polls, 10);
    EXPECT_EQ(waited, 2400ms);
    EXPECT_EQ(Vd().AlarmHistory(0), 0);

    ASSERT_TRUE(Vd().RaiseAlarm(6));
    Vd().SetHistoryClearStuck(true);
    r = ClearAlarmHistory(link, {}, Stepper());
    EXPECT_EQ(r.outcome, ClearOutcome::NotCleared);
    EXPECT_EQ(r.polls, 10);
    EXPECT_EQ(r.lastReading, 1);
    EXPECT_EQ(Vd().AlarmHistory(0), 6);

    DriveHandle silent = link.atStation(44);
    EXPECT_EQ(ClearAlarmHistory(silent, {}, Stepper()).outcome, ClearOutcome::NotAnswered);
}

TEST_F(AlarmBench, ClearCurrentFaultOnlyOnceTheCauseIsGone) {
    Vd().SetAlarmCondition(1, true);
    EXPECT_EQ(Vd().CurrentAlarm(), 1);
    ClearResult r = ClearCurrentFault(link, {}, Stepper());
    EXPECT_TRUE(r.cleared());
    EXPECT_EQ(waited, 600ms);
    EXPECT_EQ(Vd().CurrentAlarm(), 1) << "the over-current is still there";
    Vd().SetAlarmCondition(1, false);
    ClearCurrentFault(link, {}, Stepper());
    EXPECT_EQ(Vd().CurrentAlarm(), 0);
    EXPECT_EQ(Vd().AlarmHistory(0), 1) << "clearing the fault keeps its history";

    // The whole-table write sends 93 back as read; it must not clear a fault.
    Vd().RaiseAlarm(2);
    uint16_t block[10] = {};
    EXPECT_EQ(Vd().WriteRegisters(90, block, 10), 0);
    EXPECT_EQ(Vd().CurrentAlarm(), 2);
    EXPECT_EQ(Vd().WriteRegister(139, 0), 3) << "the alarm registers are read-only";
}

TEST_F(AlarmBench, MaskReadWriteAndItsEffect) {
    ASSERT_EQ(ReadDetectionMask(link), 8191);  // the parameter's default
    // A fault detection switched off is a setting changed: backed up and on
    // record (its register and values: the alarm window's test).
    ChangeGate gate(folder.File("data"));
    EXPECT_TRUE(WriteDetectionMask(gate, link, 0x0005).taken());
    EXPECT_EQ(ReadDetectionMask(link), 0x0005);
    EXPECT_EQ(gate.Store().List().size(), 1u);
    ASSERT_NE(gate.Journal(), nullptr);
    const auto rows = gate.Journal()->History(comm.PortName(), kStation);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].origin, "alarms");
    EXPECT_EQ(rows[0].confirmed, true);
    // Over-voltage (bit 1) is switched off now and never raised.
    EXPECT_FALSE(Vd().RaiseAlarm(2));
    EXPECT_EQ(Vd().CurrentAlarm(), 0);
    EXPECT_TRUE(Vd().RaiseAlarm(1));
    EXPECT_TRUE(Vd().RaiseAlarm(15)) << "overload has no switch";
    // A silent drive's mask, not even read for its backup: the alarm window's test.

    bool bits[16] = {};
    bits[12] = true;
    EXPECT_EQ(MaskFromBits(bits), 0x1000);
    EXPECT_TRUE(MaskBit(0x0005, 2));
    EXPECT_FALSE(MaskBit(0x0005, 1));
}

TEST(AlarmWorker, NewWorkStopsTheOldWithoutWaiting) {
    AlarmWorker worker;
    std::atomic<bool> firstStopped{false};
    const uint64_t first = worker.Start([&](std::stop_token stop, uint64_t) {
        while (!stop.stop_requested()) std::this_thread::sleep_for(1ms);
        std::this_thread::sleep_for(50ms);  // a read finishing its time-out
        firstStopped = true;
    });
    std::atomic<uint64_t> ran{0};
    const uint64_t second = worker.Start([&](std::stop_token, uint64_t g) { ran = g; });
    EXPECT_EQ(second, first + 1);
    worker.Join();
    EXPECT_TRUE(firstStopped);
    EXPECT_EQ(ran, second);
    EXPECT_FALSE(worker.Running());
}
