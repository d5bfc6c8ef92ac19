#pragma once
// Reading the alarms: the current alarm polled twice a second, and the
// history read one register per 200 ms tick (140..148), each code looked up
// in the alarm table. The loops run on a worker (see AlarmWorker) and report
// each result through a callback on that worker.
//
// A drive that does not answer is reported as such, never as "no alarm": a
// dead link must not look like a healthy drive.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/alarms/AlarmSequences.h"

class CADO;

namespace hx {

struct CurrentAlarmReading {
    enum class State { NoAnswer, NoAlarm, Alarm };
    State state = State::NoAnswer;
    int code = 0;
    std::string number;               // "Err0005" for an alarm
    std::vector<std::string> names;   // one per alarm-table row; none for an unknown number
    bool catalogueMissing = false;    // no database: the names are unknown, not absent
    bool lookupFailed = false;        // the query could not run
    std::string lookupError;
};

// One tick: read register 139 and look the code up. db may be null or closed.
CurrentAlarmReading ReadCurrentAlarm(DriveHandle& drive, CADO* db, bool english);

// Until stopped: wait 500 ms, read, report. Opens its own connection to the
// database named by databaseConnection (empty: no names).
void RunCurrentAlarmPoll(DriveHandle& drive, const std::string& databaseConnection, bool english,
                         std::stop_token stop, const std::function<void(const CurrentAlarmReading&)>& onReading,
                         const AlarmWait& wait = RealTimeWait());

struct AlarmHistoryEntry {
    uint16_t address = 0;
    bool answered = false;
    int code = 0;
    std::string number;
    std::vector<std::string> names;
    bool catalogueMissing = false;
};

// A lookup that cannot run is tried again with the same register on the
// next tick, this many times in all, before the read gives up.
inline constexpr int kHistoryLookupAttempts = 3;
inline constexpr const char* kRecordsetCloseText = "Recordset Close";

struct AlarmHistoryResult {
    enum class Status { Completed, Stopped, Failed };
    Status status = Status::Completed;
    std::string message;  // kRecordsetCloseText when the lookups kept failing
    uint16_t failedAddress = 0;
    int entries = 0;      // registers reported
};

AlarmHistoryResult RunAlarmHistoryRead(DriveHandle& drive, const std::string& databaseConnection, bool english,
                                       std::stop_token stop,
                                       const std::function<void(const AlarmHistoryEntry&)>& onEntry,
                                       const AlarmWait& wait = RealTimeWait());

// The history list as its rows grow: alarm rows are numbered from 0 and go in
// order; while no alarm row has been added, each register without an alarm
// adds a "no alarm" row at the top, so alarm rows found later stand above
// them. A register that did not answer gets its own numbered row.
class AlarmHistoryList {
public:
    enum class RowKind { Alarm, NoAlarm, NoAnswer };
    struct Row {
        RowKind kind = RowKind::NoAlarm;
        int index = 0;  // for Alarm and NoAnswer rows
        std::string number;
        std::string name;
        uint16_t address = 0;
    };

    void Clear();
    void Add(const AlarmHistoryEntry& entry);
    const std::vector<Row>& Rows() const { return m_rows; }
    int NextRow() const { return m_next; }

private:
    std::vector<Row> m_rows;
    int m_next = 0;
};

}  // namespace hx
