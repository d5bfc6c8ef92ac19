#include "core/runtest/RunSession.h"

#include <atomic>

#include "core/capture/CaptureJob.h"
#include "core/protocol/Registers.h"
#include "core/util/Job.h"  // SleepUnlessStopped
#include "core/util/LinkActivity.h"

namespace hx::runtest {
namespace {

// How often a stop the drive has not taken goes out again.
constexpr std::chrono::milliseconds kStopRetry{500};
// Keep-alive polls while a motion may run, well inside the watchdog's 1000 ms.
constexpr std::chrono::milliseconds kKeepAlive{200};

}  // namespace

RunWait RunWait::ForMode(Mode mode) {
    if (mode == Mode::Torque) return RunWait{30, std::chrono::milliseconds(200), true};
    return RunWait{60, std::chrono::milliseconds(200), false};
}

RunRequest RunRequest::Start(const DriveHandle& drive, Mode mode, const std::array<uint32_t, 4>& codes, int points,
                             std::vector<RegisterWrite> startWrites) {
    RunRequest r;
    r.drive = drive;
    r.mode = mode;
    r.startWrites = std::move(startWrites);
    r.codes = codes;
    r.points = points;
    r.wait = RunWait::ForMode(mode);
    return r;
}

RunRequest RunRequest::Recapture(const DriveHandle& drive, Mode mode, const std::array<uint32_t, 4>& codes,
                                 int points) {
    RunRequest r = Start(drive, mode, codes, points, RecaptureWrites());
    r.recapture = true;
    return r;
}

RunEnd EndOf(const RunOutcome& outcome) {
    // The user's stop did not get through: the motor may still run.
    if (outcome.stopRequested && !outcome.stopSent) return RunEnd::StopUnconfirmed;
    switch (outcome.status) {
    case RunStatus::Completed: return RunEnd::Captured;
    case RunStatus::TimedOut: return RunEnd::TimedOut;
    case RunStatus::Closed: return RunEnd::Closed;
    case RunStatus::Refused: return RunEnd::NotStarted;
    case RunStatus::NotBackedUp: return RunEnd::NotBackedUp;
    case RunStatus::NoAnswer:
        // The drive answered and started nothing.
        if (outcome.writes.fault.kind == DriveFaultKind::Refused) return RunEnd::DriveRefused;
        // The start did not get through, and the drive took the stop sent after it.
        if (outcome.writes.unanswered && outcome.safetyStopSent) return RunEnd::StartUnanswered;
        // The motion started (or may have) and the drive fell silent.
        return RunEnd::StopUnconfirmed;
    }
    return RunEnd::StopUnconfirmed;
}

RunOutcome RunOnce(ChangeGate& gate, const RunRequest& request, std::stop_token stop,
                   const std::function<bool()>& takeStopRequest) {
    RunOutcome out;
    out.mode = request.mode;
    out.recapture = request.recapture;
    out.startWrites = request.startWrites;
    out.codes = request.codes;
    out.points = request.points;
    DriveHandle drive = request.drive;

    auto pollStop = [&] {
        if (!takeStopRequest || !takeStopRequest()) return;
        out.stopRequested = true;
        if (Send(drive, StopWrite(request.mode))) out.stopSent = true;
    };

    // The start writes configure and trigger the sampling themselves; the
    // capture path waits and reads the blocks.
    hx::CaptureRequest capture;
    for (int k = 0; k < 4; ++k) capture.codes[k] = static_cast<uint16_t>(request.codes[k]);
    capture.pointsPerChannel = static_cast<uint16_t>(request.points);
    capture.configure = false;
    capture.trigger = false;
    capture.beforeStart = [&](DriveHandle& link, std::stop_token s) {
        // The gains or anti-vibration settings of a start are the user's
        // tuning: backed up before the session's first change and journaled.
        std::optional<ChangeOrigin> origin;
        for (const RegisterWrite& w : request.startWrites)
            if (!origin) origin = TuningOrigin(request.mode, w.address);
        std::optional<ChangeBatch> changes;
        if (origin) {
            changes.emplace(gate, link, *origin, "run test start");
            out.gate = changes->Prepare(s, {}, request.gate);
            if (!out.gate.ok()) {
                out.status = out.gate.status == GateResult::Status::Stopped ? RunStatus::Closed : RunStatus::NotBackedUp;
                return false;
            }
        }
        if (request.beforeStart) {
            if (auto refusal = request.beforeStart()) {
                out.failureText = std::move(*refusal);
                out.status = RunStatus::Refused;
                return false;
            }
        }
        out.writes = SendWrites(link, request.startWrites, changes ? &*changes : nullptr, request.mode);
        if (out.writes.journalFailed) {
            // Nothing of the start reached the drive after the failed record;
            // what went before it were settings, not the motion.
            out.gate.status = GateResult::Status::JournalFailed;
            out.gate.message = changes->Error();
            out.status = RunStatus::NotBackedUp;
            return false;
        }
        if (out.writes.unanswered) {
            out.unansweredAddress = out.writes.unanswered;
            out.failureText = link.fault().text;
            // Some of the start may have reached the drive (a lost reply is
            // not a lost request): make sure nothing keeps moving.
            out.safetyStopSent = Send(link, StopWrite(request.mode));
            out.status = RunStatus::NoAnswer;
            return false;
        }
        return true;
    };
    // The wait sends a pending stop between its polls, so a motor is never
    // kept running for the rest of a 12 s wait.
    const RunWait wait = request.wait;
    capture.wait = [&, wait](DriveHandle& link, std::stop_token s) {
        hx::PollPolicy policy;
        policy.polls = wait.polls;
        policy.period = wait.period;
        policy.sleep = [&](std::stop_token t, std::chrono::milliseconds d) {
            const bool slept = SleepUnlessStopped(t, d);
            pollStop();
            return slept;
        };
        return hx::PollRegister(
            link, reg::kSampleState,
            [&](int16_t v) { return wait.anyPositive ? v > 0 : v == reg::kSampleStateComplete; }, policy, s);
    };
    // A stop asked for while blocks are read goes out after the current block.
    capture.afterBlock = [&](DriveHandle&) { pollStop(); };

    hx::CaptureResult result = hx::RunCapture(drive, capture, stop);
    switch (result.status) {
    case hx::CaptureStatus::Completed:
        out.status = RunStatus::Completed;
        for (int k = 0; k < 4; ++k)
            if (request.codes[k] != 0) out.samples[k] = std::move(result.samples[k]);
        break;
    case hx::CaptureStatus::NotStarted: break;  // the start step said why
    case hx::CaptureStatus::Stopped: out.status = RunStatus::Closed; break;
    case hx::CaptureStatus::TimedOut: out.status = RunStatus::TimedOut; break;
    case hx::CaptureStatus::NoAnswer:
        out.status = RunStatus::NoAnswer;
        out.unansweredAddress = reg::kSampleState;
        out.failureText = drive.fault().text;
        break;
    case hx::CaptureStatus::Failed:
        out.status = RunStatus::NoAnswer;
        out.unansweredAddress = result.failedBlock.address;
        out.failureText = drive.fault().text;
        break;
    }
    pollStop();  // a stop asked for at the last moment still goes out
    return out;
}

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
        queuedBefore = m_posted;
    }
    if (m_capture.joinable()) m_capture.join();  // the previous one has ended
    // Anything but a re-capture starts a motion or test, which is checked and
    // covered by the watchdog first.
    if (!request.recapture && m_port) {
        if (!m_guard) m_guard = std::make_shared<SharedMotionGuard>(request.drive, *m_port, m_guardOptions);
        request.beforeStart = [guard = m_guard, kind = MotionOf(request.mode)] { return guard->BeforeStart(kind); };
        std::lock_guard lock(m_mutex);
        if (!m_keepAlive) m_nextKeepAlive = std::chrono::steady_clock::now() + kKeepAlive;
        m_keepAlive = true;
    }
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
        // A stop asked for between the worker's last look and now is sent
        // here, before the session stops counting this capture as running.
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (!std::exchange(m_stopPending, false)) {
                    m_captureBusy = false;
                    // The capture's last read fed the watchdog just now.
                    m_nextKeepAlive = std::chrono::steady_clock::now() + kKeepAlive;
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
    case RunEnd::StopUnconfirmed: Unconfirmed(request.drive, request.mode); break;
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

void RunSession::Unconfirmed(const DriveHandle& drive, Mode mode) {
    m_state = RunState::StopUnconfirmed;
    m_stopDrive = drive;
    m_stopMode = mode;
    m_nextRetry = std::chrono::steady_clock::now() + kStopRetry;
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

void RunSession::PostGuardStop() {
    if (!m_guard) return;
    {
        std::lock_guard lock(m_mutex);
        m_keepAlive = false;
    }
    Post([guard = m_guard] { guard->StopAndRestore(); });
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
    // A motion whose stop the drive never took gets one more try.
    auto confirmed = std::make_shared<std::atomic<bool>>(!unconfirmed);
    if (unconfirmed)
        StopRun(unconfirmed->first, unconfirmed->second, [confirmed](bool answered) { *confirmed = answered; });
    // The motion of a start stopped for sure and the drive's watchdog put back.
    PostGuardStop();
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
        m_nextRetry = now + kStopRetry;
        return [this, drive = m_stopDrive, mode = m_stopMode]() mutable {
            if (!Send(drive, StopWrite(mode))) return;
            {
                // The drive took the stop: only now is the run over.
                std::lock_guard lock(m_mutex);
                if (m_state != RunState::StopUnconfirmed) return;
                m_state = RunState::Idle;
            }
            if (m_stateChanged) m_stateChanged();
        };
    }
    if (m_keepAlive && m_guard && !m_captureBusy && now >= m_nextKeepAlive) {
        m_nextKeepAlive = now + kKeepAlive;
        return [this, guard = m_guard] {
            // False once the motion ended and the watchdog values are back.
            if (guard->KeepAlive()) return;
            std::lock_guard lock(m_mutex);
            m_keepAlive = false;
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
