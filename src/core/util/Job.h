#pragma once
// A piece of long work (a transfer, a capture, a spectrum request, a
// storage command, a connect) on a worker thread owned by its job object.
// The work checks its stop token between requests; its callbacks are called
// on the worker and a window marshals them to its own thread. The
// destructor asks the worker to stop and joins it, so a closing window can
// never be written into by work that outlives it.

#include <atomic>
#include <chrono>
#include <functional>
#include <stop_token>
#include <thread>
#include <utility>

namespace hx {

// Sleeps for the given time unless a stop is requested first; false when stopped.
bool SleepUnlessStopped(std::stop_token stop, std::chrono::milliseconds duration);

// Runs one piece of work at a time on a worker thread. start/requestStop/join
// are called from the owning thread; running() from any thread. The
// destructor requests a stop and joins, so callbacks never outlive the job.
class Job {
public:
    Job() = default;
    virtual ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // Runs work(stop) on a new worker thread, then finished(result) there.
    // running() is already false when finished is called. Returns false and
    // starts nothing while earlier work still runs (or when called from the
    // worker itself); work that has ended is joined first.
    template <class Result>
    bool run(std::function<Result(std::stop_token)> work, std::function<void(const Result&)> finished) {
        return launch([this, work = std::move(work), finished = std::move(finished)](std::stop_token stop) {
            const Result result = work(stop);
            m_running.store(false);
            if (finished) finished(result);
        });
    }

    // Asks the work to stop at its next block boundary or wait; returns at once.
    void requestStop();
    // Waits until the worker has ended (its finished callback included).
    void join();
    bool running() const { return m_running.load(); }

private:
    bool launch(std::function<void(std::stop_token)> body);

    std::atomic<bool> m_running{false};
    std::jthread m_thread;
};

}  // namespace hx
