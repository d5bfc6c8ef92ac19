#include "core/runtest/RunSession.h"

#include <atomic>

#include "core/util/LinkActivity.h"

namespace hx::runtest {

RunSession::RunSession(ChangeGate& gate, std::function<void()> stateChanged)
    : m_gate(gate), m_stateChanged(std::move(stateChanged)) {
    m_queueThread = std::jthread([this](std::stop_token stop) { QueueThread(stop); });
}

RunSession::~RunSession() {
    // Without a link there is nothing to stop on the drive; end the threads.
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    EndThreads();
}

void RunSession::EndThreads() {
    if (m_capture.joinable()) {
        m_capture.request_stop();
        m_capture.join();
    }
    Drain();
    {
        std::lock_guard lock(m_mutex);
        if (m_threadsEnded) return;
        m_threadsEnded = true;
    }
    m_queueIdle.notify_all();
    m_queueThread.request_stop();
    m_queueWake.notify_all();
    if (m_queueThread.joinable()) m_queueThread.join();
}

void RunSession::GuardStarts(std::string port, GuardOptions options) {
    m_port = std::move(port);
    m_guardOptions = std::move(options);
}

bool RunSession::Start(RunRequest request, Finished finished) {
    uint64_t queuedBefore = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed || m_captureBusy || m_state == RunState::StopUnconfirmed) return false;
        m_captureBusy = true;
        m_stopPending = false;
        m_state = RunState::Running;
        m_lastEnd.reset();
        m_cutByLine = false;
        queuedBefore = m_posted;
    }
    if (m_capture.joinable()) m_capture.join();  // the previous one has ended
    // Anything but a re-capture starts a motion or test, which is checked and
    // covered by the watchdog first.
    if (!request.recapture && m_port) {
        if (!m_guard) m_guard = std::make_shared<GuardedRun>(request.drive, *m_port, m_guardOptions);
        const auto shortest = request.mode == Mode::Velocity ? TrapezoidTime(request.startWrites) : std::nullopt;
        request.beforeStart = [guard = m_guard, kind = MotionOf(request.mode), shortest] {
            return guard->BeforeStart(kind, shortest);
        };
        // A Stop or Close while the check runs queues the guarded stop, which
        // waits for the check: the start then goes out wholly before that
        // stop (which stops it) or not at all, never after it put the
        // watchdog back.
        request.sendHeld = [guard = m_guard](const std::function<bool()>& send) { return guard->SendStart(send); };
        std::lock_guard lock(m_mutex);
        if (!m_keepAlive) m_nextKeepAlive = std::chrono::steady_clock::now() + kKeepAlivePeriod;
        m_keepAlive = true;
        m_guardDrive = request.drive;
        m_guardMode = request.mode;
    }
    // The capture's polls and blocks tell the guarded run the drive still hears it.
    if (m_guard) request.onStep = [guard = m_guard](bool answered) { answered ? guard->Heard() : guard->Asked(); };
    // Link work from the start call on, until the finished callback has run.
    auto working = std::make_unique<LinkWorkScope>();
    m_capture = std::jthread([this, request = std::move(request), finished = std::move(finished),
                              working = std::move(working), queuedBefore](std::stop_token stop) mutable {
        {
            // What was asked before the start goes out before it: the stop of
            // a run started again must reach the drive first.
            std::unique_lock lock(m_mutex);
            m_queueIdle.wait(lock, stop, [&] { return m_ran >= queuedBefore || m_threadsEnded; });
        }
        auto take = [this] {
            std::lock_guard lock(m_mutex);
            return std::exchange(m_stopPending, false);
        };
        RunOutcome out = RunOnce(m_gate, request, stop, take);
        if (out.status == RunStatus::NoAnswer && m_guard) m_guard->Asked();
        // A stop asked for between the worker's last look and now is sent
        // here, before the session stops counting this capture as running.
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (!std::exchange(m_stopPending, false)) {
                    m_captureBusy = false;
                    // The capture's last read fed the watchdog just now.
                    m_nextKeepAlive = std::chrono::steady_clock::now() + kKeepAlivePeriod;
                    TakeEnd(out, request);
                    break;
                }
            }
            out.stopRequested = true;
            DriveHandle drive = request.drive;
            if (Send(drive, StopWrite(request.mode))) out.stopSent = true;
        }
        // The keep-alive and a stop to retry wait for no capture.
        m_queueWake.notify_all();
        if (finished) finished(out);
        working.reset();
    });
    return true;
}

void RunSession::TakeEnd(const RunOutcome& out, const RunRequest& request) {
    switch (EndOf(out)) {
    case RunEnd::StopUnconfirmed:
        // The drive fell silent during the run, or did not take the user's stop.
        Unconfirmed(request.drive, request.mode, !out.stopRequested);
        break;
    case RunEnd::DriveRefused:
    case RunEnd::StartUnanswered:
    case RunEnd::NotStarted:
    case RunEnd::NotBackedUp:
        if (m_state == RunState::Running) m_state = RunState::Idle;
        break;
    case RunEnd::Captured:
    case RunEnd::TimedOut:
    case RunEnd::Closed: break;
    }
}

void RunSession::Unconfirmed(const DriveHandle& drive, Mode mode, bool cutByLine) {
    m_state = RunState::StopUnconfirmed;
    m_cutByLine = m_cutByLine || cutByLine;
    m_stopDrive = drive;
    m_stopMode = mode;
    m_nextRetry = std::chrono::steady_clock::now() + kStopPeriod;
}

std::optional<MotionReport> RunSession::LastEnd() const {
    std::lock_guard lock(m_mutex);
    return m_lastEnd;
}

bool RunSession::CaptureRunning() const {
    std::lock_guard lock(m_mutex);
    return m_captureBusy;
}

RunState RunSession::State() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

void RunSession::Stop(DriveHandle drive, Mode mode) {
    {
        std::lock_guard lock(m_mutex);
        if (m_state == RunState::Running) m_state = RunState::Idle;
    }
    StopRun(drive, mode, [this, drive, mode](bool answered) {
        if (answered) return;
        {
            std::lock_guard lock(m_mutex);
            if (m_closed) return;
            Unconfirmed(drive, mode);
        }
        if (m_stateChanged) m_stateChanged();
    });
    PostGuardStop();
}

void RunSession::EndRun() {
    std::lock_guard lock(m_mutex);
    if (m_state == RunState::Running) m_state = RunState::Idle;
}

void RunSession::RetryStopNow() {
    {
        std::lock_guard lock(m_mutex);
        if (m_state != RunState::StopUnconfirmed) return;
        m_nextRetry = std::chrono::steady_clock::now();
    }
    m_queueWake.notify_all();
}

void RunSession::PostGuardStop(std::shared_ptr<std::atomic<bool>> confirmed) {
    if (!m_guard) return;
    {
        std::lock_guard lock(m_mutex);
        m_keepAlive = false;
    }
    Post([this, guard = m_guard, confirmed] {
        // Stop rounds until confirmed (given up once the drive's watchdog has
        // surely stopped a motor on a silent line); the values go back only
        // then. Unconfirmed, the stop keeps going out every 500 ms.
        const MotionReport stopped = guard->StopAndRestore();
        if (stopped.stop.confirmed) return;
        if (confirmed) *confirmed = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_closed) return;
            Unconfirmed(m_guardDrive, m_guardMode);
        }
        if (m_stateChanged) m_stateChanged();
    });
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
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(task));
        ++m_posted;
    }
    m_queueWake.notify_all();
}

void RunSession::Drain() {
    std::unique_lock lock(m_mutex);
    m_queueIdle.wait(lock, [this] { return (m_queue.empty() && !m_queueRunning) || m_threadsEnded; });
}

bool RunSession::Close(DriveHandle drive, Mode mode) {
    std::optional<std::pair<DriveHandle, Mode>> unconfirmed;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return true;
        if (m_state == RunState::StopUnconfirmed) unconfirmed.emplace(m_stopDrive, m_stopMode);
        m_state = RunState::Idle;
    }
    // The motion of a guarded start is stopped for sure (its stop rounds read
    // 70 and 23 back), and only then its watchdog put back; that stop alone
    // says whether it was confirmed. Another motion whose stop the drive
    // never took gets one more try.
    auto confirmed = std::make_shared<std::atomic<bool>>(true);
    if (m_guard && m_guard->Active())
        PostGuardStop(confirmed);
    else if (unconfirmed)
        StopRun(unconfirmed->first, unconfirmed->second, [confirmed](bool answered) {
            if (!answered) *confirmed = false;
        });
    StopRun(drive, mode);
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    // The capture worker sends the stop at once and returns; then what is
    // queued runs, and nothing touches the caller after this.
    EndThreads();
    return *confirmed;
}

std::chrono::steady_clock::time_point RunSession::NextTick() const {
    auto next = std::chrono::steady_clock::time_point::max();
    if (m_closed) return next;
    if (m_state == RunState::StopUnconfirmed) next = std::min(next, m_nextRetry);
    // A running capture polls the drive itself, which feeds the watchdog.
    if (m_keepAlive && m_guard && !m_captureBusy) next = std::min(next, m_nextKeepAlive);
    return next;
}

RunSession::Task RunSession::DueTick(std::chrono::steady_clock::time_point now) {
    if (m_closed) return {};
    if (m_state == RunState::StopUnconfirmed && now >= m_nextRetry) {
        m_nextRetry = now + kStopPeriod;
        return [this, drive = m_stopDrive, mode = m_stopMode, guard = m_guard]() mutable {
            // A guarded motion counts as stopped once the drive confirms it
            // (and its watchdog values then go back); another run's stop once
            // the drive takes it.
            std::optional<MotionReport> report;
            if (guard && guard->Active()) report = guard->StopAndRestore(1, std::chrono::milliseconds(0), false);
            const bool stopped = report ? report->stop.confirmed : Send(drive, StopWrite(mode));
            if (!stopped) return;
            {
                // The drive took the stop: only now is the run over.
                std::lock_guard lock(m_mutex);
                if (m_state != RunState::StopUnconfirmed) return;
                m_state = RunState::Idle;
                // A run the line cut short says so (unless the keep-alive
                // already saw what ended it).
                if (std::exchange(m_cutByLine, false) && report && !m_lastEnd) {
                    report->end = MotionEnd::LineSilent;
                    m_lastEnd = report;
                }
            }
            if (m_stateChanged) m_stateChanged();
        };
    }
    if (m_keepAlive && m_guard && !m_captureBusy && now >= m_nextKeepAlive) {
        m_nextKeepAlive = now + kKeepAlivePeriod;
        return [this, guard = m_guard] {
            const GuardedRun::KeepAliveResult alive = guard->KeepAlive();
            using State = GuardedRun::KeepAliveResult::State;
            bool changed = false;
            {
                std::lock_guard lock(m_mutex);
                switch (alive.state) {
                case State::Running: break;
                case State::Idle:
                case State::Ended:
                    // Done once the watchdog values are back (tried again until they are).
                    if (alive.report.restored.done) m_keepAlive = false;
                    if (alive.state == State::Ended && !alive.report.asAsked()) {
                        // Cut short: the run is over, and the window says what ended it.
                        m_lastEnd = alive.report;
                        if (m_state == RunState::Running) m_state = RunState::Idle;
                        changed = true;
                    }
                    break;
                case State::NoAnswer:
                    // The motor may still run and the drive does not hear the
                    // run: its stop goes out until the drive confirms it.
                    m_keepAlive = false;
                    if (m_state == RunState::Running && !m_closed) {
                        Unconfirmed(m_guardDrive, m_guardMode, true);
                        changed = true;
                    }
                    break;
                }
            }
            if (changed && m_stateChanged) m_stateChanged();
        };
    }
    return {};
}

void RunSession::QueueThread(std::stop_token stop) {
    for (;;) {
        Task task;
        bool asked = false;  // a task of the queue, not a tick
        {
            std::unique_lock lock(m_mutex);
            // Wakes for a task, for the tick due, or when the ticks changed.
            const auto next = NextTick();
            const auto ready = [this, next] {
                const auto now = NextTick();
                return !m_queue.empty() || now != next || now <= std::chrono::steady_clock::now();
            };
            if (next == std::chrono::steady_clock::time_point::max())
                m_queueWake.wait(lock, stop, ready);
            else
                m_queueWake.wait_until(lock, stop, next, ready);
            asked = !m_queue.empty();
            if (asked) {
                task = std::move(m_queue.front());
                m_queue.pop_front();
            } else if (stop.stop_requested()) {
                return;
            } else {
                task = DueTick(std::chrono::steady_clock::now());
                if (!task) continue;
            }
            m_queueRunning = true;
        }
        task();
        {
            std::lock_guard lock(m_mutex);
            m_queueRunning = false;
            if (asked) ++m_ran;
        }
        m_queueIdle.notify_all();
    }
}

}  // namespace hx::runtest
