#include "core/runtest/RunCapture.h"

#include <algorithm>
#include <cstring>

#include "core/link/CQXCOM.h"
#include "core/protocol/Registers.h"

namespace hx::runtest {
namespace {

constexpr int kBlockWords = 50;
constexpr int kReplyHeaderBytes = 3;
constexpr size_t kReplyBufferBytes = 256;

// Sleeps unless the stop token fires first; false when it did.
bool SleepFor(std::stop_token stop, std::chrono::milliseconds duration) {
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
}

}  // namespace

CompletionWait CompletionWait::ForMode(Mode mode) {
    if (mode == Mode::Torque) return CompletionWait{30, std::chrono::milliseconds(200), true};
    return CompletionWait{60, std::chrono::milliseconds(200), false};
}

int DecodeSampleBlock(const std::vector<uint8_t>& reply, float* out, int maxWords) {
    // The reply is bounded to the buffer a block may fill, as the drive never
    // sends more; a longer one is cut rather than overrunning the samples.
    std::array<uint8_t, kReplyBufferBytes> buffer{};
    const size_t n = std::min(reply.size(), buffer.size());
    std::memcpy(buffer.data(), reply.data(), n);
    int stored = 0;
    for (size_t j = 0; j + 5 < n && stored < maxWords; j += 2) {
        int word = buffer[kReplyHeaderBytes + j] * 256 + buffer[kReplyHeaderBytes + j + 1];
        if (word > 32767) word -= 65536;
        out[j / 2] = static_cast<float>(word);
        ++stored;
    }
    return stored;
}

CaptureOutcome RunCapture(const CaptureRequest& request, std::stop_token stop,
                          const std::function<bool()>& takeStopRequest) {
    CaptureOutcome out;
    out.mode = request.mode;
    out.startWrites = request.startWrites;
    out.codes = request.codes;
    out.points = request.points;
    const RunLink& link = request.link;

    auto sendStop = [&] {
        out.stopRequested = true;
        const RegisterWrite w = StopWrite(request.mode);
        if (WriteRegister(link, w.address, w.word)) out.stopSent = true;
    };
    auto pollStop = [&] {
        if (takeStopRequest && takeStopRequest()) sendStop();
    };
    auto finish = [&](CaptureStatus status) {
        out.status = status;
        pollStop();  // a stop asked for at the last moment still goes out
        return out;
    };

    out.writes = SendWrites(link, request.startWrites);
    if (out.writes.unanswered) {
        out.unansweredAddress = out.writes.unanswered;
        // Some of the start may have reached the drive (a lost reply is not a
        // lost request): make sure nothing keeps moving.
        const RegisterWrite w = StopWrite(request.mode);
        out.safetyStopSent = WriteRegister(link, w.address, w.word).has_value();
        return finish(CaptureStatus::NoAnswer);
    }

    bool done = false;
    for (int i = 0; i < request.wait.polls && !done; ++i) {
        if (!SleepFor(stop, request.wait.period)) return finish(CaptureStatus::Closed);
        pollStop();
        const std::optional<int> state = ReadRegister(link, reg::kSampleState);
        if (!state) continue;
        const int16_t s = static_cast<int16_t>(*state);
        done = request.wait.anyPositive ? s > 0 : s == 1;
    }
    if (!done) return finish(CaptureStatus::TimedOut);

    const int blocks = request.points / kBlockWords;
    int offset = 0;
    for (int k = 0; k < 4; ++k) {
        if (request.codes[k] == 0) continue;
        std::vector<float>& samples = out.samples[k];
        samples.assign(static_cast<size_t>(request.points), 0.0f);
        for (int b = 0; b < blocks; ++b) {
            if (stop.stop_requested()) return finish(CaptureStatus::Closed);
            const auto address = static_cast<uint16_t>(reg::kSampleDataFirst + offset + kBlockWords * b);
            const std::vector<uint8_t> reply = link.comm->ReadBigData(link.station, address, kBlockWords);
            if (reply.empty()) {
                out.unansweredAddress = address;
                return finish(CaptureStatus::NoAnswer);
            }
            DecodeSampleBlock(reply, samples.data() + kBlockWords * b, kBlockWords);
            pollStop();
        }
        offset += request.points;
    }
    return finish(CaptureStatus::Completed);
}

RunSession::RunSession() {
    m_queueThread = std::jthread([this](std::stop_token stop) { QueueThread(stop); });
}

RunSession::~RunSession() {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
    }
    // Without a link there is nothing to stop on the drive; end the threads.
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    if (m_capture.joinable()) {
        m_capture.request_stop();
        m_capture.join();
    }
    Drain();
    m_queueThread.request_stop();
    m_queueWake.notify_all();
    if (m_queueThread.joinable()) m_queueThread.join();
}

bool RunSession::StartCapture(CaptureRequest request, CaptureFinished finished) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_captureBusy) return false;
        m_captureBusy = true;
        m_stopPending = false;
    }
    if (m_capture.joinable()) m_capture.join();  // the previous one has ended
    m_capture = std::jthread([this, request = std::move(request), finished = std::move(finished)](std::stop_token stop) {
        auto take = [this] {
            std::lock_guard lock(m_mutex);
            return std::exchange(m_stopPending, false);
        };
        CaptureOutcome out = RunCapture(request, stop, take);
        // A stop asked for between the worker's last look and now is sent
        // here, before the session stops counting this capture as running.
        bool pending;
        {
            std::lock_guard lock(m_mutex);
            pending = std::exchange(m_stopPending, false);
            m_captureBusy = false;
        }
        if (pending) {
            out.stopRequested = true;
            const RegisterWrite w = StopWrite(request.mode);
            if (WriteRegister(request.link, w.address, w.word)) out.stopSent = true;
        }
        if (finished) finished(out);
    });
    return true;
}

bool RunSession::CaptureRunning() const {
    std::lock_guard lock(m_mutex);
    return m_captureBusy;
}

void RunSession::StopRun(const RunLink& link, Mode mode, std::function<void(bool)> done) {
    {
        std::lock_guard lock(m_mutex);
        if (m_captureBusy) {
            m_stopPending = true;
            return;
        }
    }
    Post([link, mode, done = std::move(done)] {
        const RegisterWrite w = StopWrite(mode);
        const bool answered = WriteRegister(link, w.address, w.word).has_value();
        if (done) done(answered);
    });
}

void RunSession::Post(Task task) {
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(std::move(task));
    }
    m_queueWake.notify_all();
}

void RunSession::Drain() {
    std::unique_lock lock(m_queueMutex);
    m_queueIdle.wait(lock, [this] { return m_queue.empty() && !m_queueRunning; });
}

void RunSession::Close(const RunLink& link, Mode mode) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
    }
    StopRun(link, mode);
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    if (m_capture.joinable()) {
        m_capture.request_stop();
        m_capture.join();
    }
    Drain();
    m_queueThread.request_stop();
    m_queueWake.notify_all();
    m_queueThread.join();
}

void RunSession::QueueThread(std::stop_token stop) {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_queueMutex);
            m_queueWake.wait(lock, stop, [this] { return !m_queue.empty(); });
            if (m_queue.empty()) {
                if (stop.stop_requested()) return;
                continue;
            }
            task = std::move(m_queue.front());
            m_queue.pop_front();
            m_queueRunning = true;
        }
        task();
        {
            std::lock_guard lock(m_queueMutex);
            m_queueRunning = false;
        }
        m_queueIdle.notify_all();
    }
}

}  // namespace hx::runtest
