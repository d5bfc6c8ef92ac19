#pragma once
// Runs the alarm pages' drive work off the window's thread, one piece at a
// time: starting new work asks the previous one to stop and does not wait
// for it (a read may still be waiting for its time-out), so a tab change or
// a button never freezes the window. Each start gets a new generation
// number; a window ignores reports of any generation but its latest.
// The destructor stops everything and joins, so no work outlives its owner.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace hx {

class AlarmWorker {
public:
    using Work = std::function<void(std::stop_token, uint64_t generation)>;

    AlarmWorker() = default;
    ~AlarmWorker();
    AlarmWorker(const AlarmWorker&) = delete;
    AlarmWorker& operator=(const AlarmWorker&) = delete;

    // Asks the current work to stop and starts this one; returns its generation.
    uint64_t Start(Work work);
    // Asks the current work to stop; returns at once.
    void Stop();
    // Waits until every piece of work started so far has ended.
    void Join();
    // Whether the latest work is still running.
    bool Running() const;
    uint64_t Generation() const { return m_generation.load(); }

private:
    struct Piece {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void ReapLocked();

    mutable std::mutex m_mutex;
    std::vector<Piece> m_pieces;  // the last one is the current work
    std::atomic<uint64_t> m_generation{0};
};

}  // namespace hx
