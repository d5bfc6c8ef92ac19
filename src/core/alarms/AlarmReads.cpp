#include "core/alarms/AlarmReads.h"

#include <chrono>

#include "core/alarms/AlarmCatalogue.h"
#include "core/alarms/AlarmText.h"
#include "core/db/CADO.h"
#include "core/protocol/Registers.h"

namespace hx {
namespace {

bool OpenCatalogue(CADO& db, const std::string& connection) {
    return !connection.empty() && db.OpenConnection(connection);
}

}  // namespace

CurrentAlarmReading ReadCurrentAlarm(DriveHandle& drive, CADO* db, bool english) {
    CurrentAlarmReading reading;
    const auto code = ReadAlarmRegister(drive, reg::kCurrentAlarm);
    if (!code) return reading;
    reading.code = *code;
    if (*code <= 0) {
        reading.state = CurrentAlarmReading::State::NoAlarm;
        return reading;
    }
    reading.state = CurrentAlarmReading::State::Alarm;
    reading.number = AlarmNumberText(*code);
    if (!db || !db->IsConnectionOpen()) {
        reading.catalogueMissing = true;
        return reading;
    }
    try {
        reading.names = LookupAlarmNames(*db, reading.number, english);
    } catch (const DbError& e) {
        reading.lookupFailed = true;
        reading.lookupError = e.Description();
    }
    return reading;
}

void RunCurrentAlarmPoll(DriveHandle& drive, const std::string& databaseConnection, bool english,
                         std::stop_token stop, const std::function<void(const CurrentAlarmReading&)>& onReading,
                         const AlarmWait& wait) {
    CADO db;
    OpenCatalogue(db, databaseConnection);
    while (wait(stop, std::chrono::milliseconds(kCurrentAlarmPollMs))) {
        const CurrentAlarmReading reading = ReadCurrentAlarm(drive, &db, english);
        if (stop.stop_requested()) break;
        onReading(reading);
    }
}

AlarmHistoryResult RunAlarmHistoryRead(DriveHandle& drive, const std::string& databaseConnection, bool english,
                                       std::stop_token stop,
                                       const std::function<void(const AlarmHistoryEntry&)>& onEntry,
                                       const AlarmWait& wait) {
    CADO db;
    const bool catalogue = OpenCatalogue(db, databaseConnection);
    AlarmHistoryResult result;
    int failures = 0;
    for (int r = reg::kAlarmHistoryFirst; r <= reg::kAlarmHistoryLast;) {
        if (!wait(stop, std::chrono::milliseconds(kHistoryReadTickMs))) {
            result.status = AlarmHistoryResult::Status::Stopped;
            return result;
        }
        AlarmHistoryEntry entry;
        entry.address = static_cast<uint16_t>(r);
        const auto code = ReadAlarmRegister(drive, entry.address);
        if (code) {
            entry.answered = true;
            entry.code = *code;
            entry.number = AlarmNumberText(*code);
            if (!catalogue) {
                entry.catalogueMissing = true;
            } else {
                try {
                    entry.names = LookupAlarmNames(db, entry.number, english, true);
                } catch (const DbError&) {
                    // The same register is read again on the next tick, a
                    // few times, rather than for ever.
                    if (++failures >= kHistoryLookupAttempts) {
                        result.status = AlarmHistoryResult::Status::Failed;
                        result.message = kRecordsetCloseText;
                        result.failedAddress = entry.address;
                        return result;
                    }
                    continue;
                }
            }
        }
        failures = 0;
        if (stop.stop_requested()) {
            result.status = AlarmHistoryResult::Status::Stopped;
            return result;
        }
        onEntry(entry);
        ++result.entries;
        ++r;
    }
    return result;
}

void AlarmHistoryList::Clear() {
    m_rows.clear();
    m_next = 0;
}

void AlarmHistoryList::Add(const AlarmHistoryEntry& entry) {
    if (!entry.answered) {
        Row row{RowKind::NoAnswer, m_next, {}, {}, entry.address};
        m_rows.insert(m_rows.begin() + m_next, row);
        ++m_next;
        return;
    }
    std::vector<std::string> names = entry.names;
    // Without the database a stored alarm still shows its number.
    if (entry.catalogueMissing && entry.code > 0) names.assign(1, std::string());
    for (const std::string& name : names) {
        Row row{RowKind::Alarm, m_next, entry.number, name, entry.address};
        m_rows.insert(m_rows.begin() + m_next, row);
        ++m_next;
    }
    if (m_next == 0) m_rows.insert(m_rows.begin(), Row{RowKind::NoAlarm, 0, {}, {}, entry.address});
}

}  // namespace hx
