#include "core/util/Job.h"

#include <condition_variable>
#include <mutex>

namespace hx {

bool SleepUnlessStopped(std::stop_token stop, std::chrono::milliseconds duration) {
    if (stop.stop_requested()) return false;
    if (!stop.stop_possible()) {
        std::this_thread::sleep_for(duration);
        return true;
    }
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    // The predicate is "never": only the time-out or a stop request ends the wait.
    wake.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
}

Job::~Job() {
    requestStop();
    // Destroyed from its own finished callback: the worker touches nothing of
    // the job after that callback returns, so it may run out on its own.
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();
        return;
    }
    join();
}

bool Job::launch(std::function<void(std::stop_token)> body) {
    if (m_running.load()) return false;
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) return false;
    if (m_thread.joinable()) m_thread.join();
    m_running.store(true);
    m_thread = std::jthread(std::move(body));
    return true;
}

void Job::requestStop() {
    if (m_thread.joinable()) m_thread.request_stop();
}

void Job::join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

}  // namespace hx
