#pragma once
// The current alarm for the main window's status bar: one read of the alarm
// register when the link is idle, on connect, after each piece of long link
// work (a run, a test, a transfer) and every kIntervalMs otherwise, never
// while such work holds the link. The read runs on a worker and reports
// through a callback there.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "core/alarms/AlarmReads.h"
#include "core/alarms/AlarmWorker.h"
#include "core/link/DriveHandle.h"

namespace hx {

class AlarmWatch {
public:
    using Clock = std::chrono::steady_clock;
    using Reading = std::function<void(const CurrentAlarmReading&)>;
    static constexpr int kIntervalMs = 2000;

    AlarmWatch() = default;
    ~AlarmWatch();
    AlarmWatch(const AlarmWatch&) = delete;
    AlarmWatch& operator=(const AlarmWatch&) = delete;

    // Called often (the status bar's refresh). linkUp: connected, online and
    // the port not lost. Starts a read when one is due and the link is idle;
    // true when it did. databaseConnection may be empty (no names).
    bool Tick(Clock::time_point now, bool linkUp, const DriveHandle& drive, const std::string& databaseConnection,
              bool english, Reading onReading);
    // Whether a read is due now (Tick starts it).
    bool Due(Clock::time_point now, bool linkUp) const;
    bool ReadRunning() const { return m_worker.Running(); }
    uint64_t ReadsStarted() const { return m_reads; }
    // Stops and joins a read in progress.
    void Stop();

private:
    AlarmWorker m_worker;
    bool m_wasUp = false;
    uint64_t m_endedSeen = 0;
    Clock::time_point m_lastRead{};
    uint64_t m_reads = 0;
};

}  // namespace hx
