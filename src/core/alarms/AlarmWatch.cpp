#include "core/alarms/AlarmWatch.h"

#include "core/alarms/AlarmCatalogue.h"
#include "core/db/CADO.h"
#include "core/link/BetweenRequests.h"
#include "core/util/LinkActivity.h"

namespace hx {

AlarmWatch::~AlarmWatch() { Stop(); }

void AlarmWatch::Stop() {
    m_worker.Stop();
    m_worker.Join();
}

bool AlarmWatch::Due(Clock::time_point now, bool linkUp) const {
    if (!linkUp || LinkWorkInProgress() > 0 || m_worker.Running()) return false;
    if (!m_wasUp) return true;                        // just connected
    if (LinkWorkEnded() != m_endedSeen) return true;  // a run, test or transfer has ended
    return now - m_lastRead >= std::chrono::milliseconds(kIntervalMs);
}

bool AlarmWatch::Tick(Clock::time_point now, bool linkUp, const DriveHandle& drive,
                      const std::string& databaseConnection, bool english, Reading onReading) {
    if (!linkUp) {
        m_wasUp = false;
        return false;
    }
    if (!Due(now, linkUp)) return false;
    m_wasUp = true;
    m_endedSeen = LinkWorkEnded();
    m_lastRead = now;
    ++m_reads;
    m_worker.Start([handle = DriveHandle(drive), databaseConnection, english, onReading = std::move(onReading)](
                       std::stop_token stop, uint64_t) mutable {
        // Work that took the link since the tick goes first; the next tick reads.
        if (LinkWorkInProgress() > 0) return;
        // An idle window's reads would feed a dead program's run: stopped first.
        LookBetweenRequests(handle);
        CurrentAlarmReading reading = ReadCurrentAlarm(handle, nullptr, english);
        if (reading.state == CurrentAlarmReading::State::Alarm && !databaseConnection.empty()) {
            CADO db;
            if (db.OpenConnection(databaseConnection)) {
                reading.catalogueMissing = false;
                try {
                    reading.names = LookupAlarmNames(db, reading.number, english);
                } catch (const DbError& e) {
                    reading.lookupFailed = true;
                    reading.lookupError = e.Description();
                }
            }
        }
        if (stop.stop_requested()) return;
        if (onReading) onReading(reading);
    });
    return true;
}

}  // namespace hx
