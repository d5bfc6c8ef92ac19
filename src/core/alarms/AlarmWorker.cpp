#include "core/alarms/AlarmWorker.h"

namespace hx {

AlarmWorker::~AlarmWorker() {
    Stop();
    Join();
}

void AlarmWorker::ReapLocked() {
    // Only ended work is joined here, which returns at once.
    for (auto it = m_pieces.begin(); it != m_pieces.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_pieces.erase(it);
        } else {
            ++it;
        }
    }
}

uint64_t AlarmWorker::Start(Work work) {
    std::lock_guard lock(m_mutex);
    for (auto& p : m_pieces) p.thread.request_stop();
    ReapLocked();
    const uint64_t generation = ++m_generation;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::jthread thread([work = std::move(work), done, generation](std::stop_token stop) {
        work(stop, generation);
        done->store(true);
    });
    m_pieces.push_back({std::move(thread), done});
    return generation;
}

void AlarmWorker::Stop() {
    std::lock_guard lock(m_mutex);
    for (auto& p : m_pieces) p.thread.request_stop();
}

void AlarmWorker::Join() {
    std::vector<Piece> pieces;
    {
        std::lock_guard lock(m_mutex);
        pieces.swap(m_pieces);
    }
    for (auto& p : pieces)
        if (p.thread.joinable()) p.thread.join();
}

bool AlarmWorker::Running() const {
    std::lock_guard lock(m_mutex);
    return !m_pieces.empty() && !m_pieces.back().done->load();
}

}  // namespace hx
