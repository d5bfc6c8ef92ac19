#include "core/runtest/RunCapture.h"

#include <algorithm>
#include <memory>

#include "core/capture/SamplingProtocol.h"
#include "core/protocol/Registers.h"
#include "core/util/LinkActivity.h"

namespace hx::runtest {
namespace {

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

CaptureOutcome RunCapture(const CaptureRequest& request, std::stop_token stop,
                          const std::function<bool()>& takeStopRequest) {
    CaptureOutcome out;
    out.mode = request.mode;
    out.startWrites = request.startWrites;
    out.codes = request.codes;
    out.points = request.points;
    DriveHandle drive = request.drive;

    auto pollStop = [&] {
        if (!takeStopRequest || !takeStopRequest()) return;
        out.stopRequested = true;
        if (Send(drive, StopWrite(request.mode))) out.stopSent = true;
    };
    auto finish = [&](CaptureStatus status) {
        out.status = status;
        pollStop();  // a stop asked for at the last moment still goes out
        return out;
    };

    // The gains or anti-vibration settings of a start are the user's tuning:
    // backed up before the session's first change and journaled.
    std::optional<ChangeOrigin> origin;
    for (const RegisterWrite& w : request.startWrites)
        if (!origin) origin = TuningOrigin(request.mode, w.address);
    std::optional<ChangeBatch> changes;
    if (origin) {
        changes.emplace(drive, *origin, "run test start");
        out.gate = changes->Prepare(stop, {}, request.gate);
        if (!out.gate.ok()) {
            out.status = out.gate.status == GateResult::Status::Stopped ? CaptureStatus::Closed : CaptureStatus::NotBackedUp;
            return out;
        }
    }
    if (request.beforeStart) {
        if (auto refusal = request.beforeStart()) {
            out.failureText = std::move(*refusal);
            return finish(CaptureStatus::Refused);
        }
    }
    out.writes = SendWrites(drive, request.startWrites, changes ? &*changes : nullptr, request.mode);
    if (out.writes.journalFailed) {
        // Nothing of the start reached the drive after the failed record;
        // what went before it were settings, not the motion.
        out.gate.status = GateResult::Status::JournalFailed;
        out.gate.message = changes->Error();
        out.status = CaptureStatus::NotBackedUp;
        return out;
    }
    if (out.writes.unanswered) {
        out.unansweredAddress = out.writes.unanswered;
        out.failureText = drive.fault().text;
        // Some of the start may have reached the drive (a lost reply is not a
        // lost request): make sure nothing keeps moving.
        out.safetyStopSent = Send(drive, StopWrite(request.mode));
        return finish(CaptureStatus::NoAnswer);
    }

    // The wait sends a pending stop between its polls, so a motor is never
    // kept running for the rest of a 12 s wait.
    hx::PollPolicy policy;
    policy.polls = request.wait.polls;
    policy.period = request.wait.period;
    policy.sleep = [&](std::stop_token s, std::chrono::milliseconds d) {
        const bool slept = SleepFor(s, d);
        pollStop();
        return slept;
    };
    const bool anyPositive = request.wait.anyPositive;
    const hx::WaitOutcome waited = hx::PollRegister(
        drive, reg::kSampleState,
        [anyPositive](int16_t v) { return anyPositive ? v > 0 : v == reg::kSampleStateComplete; }, policy, stop);
    switch (waited) {
    case hx::WaitOutcome::Complete: break;
    case hx::WaitOutcome::Stopped: return finish(CaptureStatus::Closed);
    case hx::WaitOutcome::TimedOut: return finish(CaptureStatus::TimedOut);
    case hx::WaitOutcome::NoAnswer:
        out.unansweredAddress = reg::kSampleState;
        out.failureText = drive.fault().text;
        return finish(CaptureStatus::NoAnswer);
    }

    hx::ChannelCodes codes{};
    for (int k = 0; k < 4; ++k) codes[k] = static_cast<uint16_t>(request.codes[k]);
    hx::SampleBuffers buffers;
    hx::FetchHooks hooks;
    // A stop asked for while blocks are read goes out after the current block.
    hooks.afterBlock = pollStop;
    hx::BlockFailure failure;
    const hx::FetchStatus fetched = hx::FetchCapture(drive, codes, static_cast<uint16_t>(request.points), buffers,
                                                     stop, hooks, &failure);
    if (fetched == hx::FetchStatus::Stopped) return finish(CaptureStatus::Closed);
    if (fetched == hx::FetchStatus::Failed) {
        out.unansweredAddress = failure.address;
        out.failureText = drive.fault().text;
        return finish(CaptureStatus::NoAnswer);
    }
    for (int k = 0; k < 4; ++k)
        if (request.codes[k] != 0) out.samples[k] = std::move(buffers[k]);
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
    // Link work from the start call on, until the finished callback has run.
    auto working = std::make_unique<LinkWorkScope>();
    m_capture = std::jthread([this, request = std::move(request), finished = std::move(finished),
                              working = std::move(working)](std::stop_token stop) mutable {
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
            DriveHandle drive = request.drive;
            if (Send(drive, StopWrite(request.mode))) out.stopSent = true;
        }
        if (finished) finished(out);
        working.reset();
    });
    return true;
}

bool RunSession::CaptureRunning() const {
    std::lock_guard lock(m_mutex);
    return m_captureBusy;
}

void RunSession::StopRun(DriveHandle drive, Mode mode, std::function<void(bool)> done) {
    {
        std::lock_guard lock(m_mutex);
        if (m_captureBusy) {
            m_stopPending = true;
            return;
        }
    }
    Post([drive, mode, done = std::move(done)]() mutable {
        const bool answered = Send(drive, StopWrite(mode));
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

void RunSession::Close(DriveHandle drive, Mode mode) {
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
    }
    StopRun(drive, mode);
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
