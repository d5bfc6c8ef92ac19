#pragma once
// The drive's sense of time. Every part of the simulated drive measures time
// on one clock, so a test can step it and see exactly what a drive does
// after a given time, without sleeping and without flaky margins.

#include <chrono>
#include <mutex>

namespace hx::sim {

// Time since the drive was switched on.
using SimTime = std::chrono::nanoseconds;

class SimClock {
public:
    virtual ~SimClock() = default;
    virtual SimTime Now() const = 0;
    // True when time passes on its own, so the drive needs a thread that
    // wakes it for things that are due (a storage command finishing).
    virtual bool RunsByItself() const = 0;
};

// Wall-clock time from construction.
class RealTimeClock final : public SimClock {
public:
    RealTimeClock() : m_start(std::chrono::steady_clock::now()) {}
    SimTime Now() const override {
        return std::chrono::duration_cast<SimTime>(std::chrono::steady_clock::now() - m_start);
    }
    bool RunsByItself() const override { return true; }

private:
    std::chrono::steady_clock::time_point m_start;
};

// Time that moves only when a test moves it. The drive catches up with it
// at its next request (or when a test asks it to).
class SteppedClock final : public SimClock {
public:
    SimTime Now() const override {
        std::lock_guard lock(m_mutex);
        return m_now;
    }
    bool RunsByItself() const override { return false; }
    void Step(SimTime by) {
        std::lock_guard lock(m_mutex);
        m_now += by;
    }

private:
    mutable std::mutex m_mutex;
    SimTime m_now{0};
};

}  // namespace hx::sim
