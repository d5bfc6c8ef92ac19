#include "core/runtest/GuardedRun.h"

#include <algorithm>
#include <cmath>

#include "core/alarms/AlarmName.h"
#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/link/FaultText.h"
#include "core/protocol/Registers.h"

namespace hx::runtest {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a followed run says it still runs.
constexpr auto kProgressEvery = std::chrono::seconds(5);

std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments = {}) {
    return FillIn(Translate("Motion", chinese, english), arguments);
}

std::string Seconds(milliseconds d) {
    const long tenths = static_cast<long>((d.count() + 50) / 100);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

milliseconds Since(Clock::time_point then, Clock::time_point now) {
    return std::chrono::duration_cast<milliseconds>(now - then);
}

}  // namespace

std::optional<milliseconds> TrapezoidTime(const std::vector<RegisterWrite>& writes) {
    std::optional<uint16_t> runs, dwell, speed, acceleration, distance;
    for (const RegisterWrite& w : writes) {
        if (w.address == reg::kTrapRuns) runs = w.word;
        if (w.address == reg::kTrapDwell) dwell = w.word;
        if (w.address == reg::kTrapSpeed) speed = w.word;
        if (w.address == reg::kTrapAcceleration) acceleration = w.word;
        if (w.address == reg::kTrapDistance) distance = w.word;
    }
    if (!runs || !dwell || !speed || !acceleration || !distance) return std::nullopt;
    // As the drive runs it: 0.01 rev/s, 0.01 rev, rev/s^2 (0 counts as 1).
    const double v = std::fabs(static_cast<int16_t>(*speed)) / 100.0, d = *distance / 100.0;
    const double a = std::max<double>(1, *acceleration);
    double move = 0;
    if (v > 0 && d > 0) move = v * v / a >= d ? 2 * std::sqrt(d / a) : d / v + v / a;
    const int n = std::max<int>(1, *runs);
    return milliseconds(static_cast<long long>((n * move + (n - 1) * (*dwell / 1000.0)) * 1000.0));
}

std::string MotionReport::Message(const std::string& what) const {
    const std::string motion = what.empty() ? std::string("motion") : what;
    const std::string after = Seconds(elapsed), quiet = Seconds(silence);
    const std::string alarmName = alarm > 0 ? AlarmNumberAndName(alarm) : std::string();
    switch (end) {
    case MotionEnd::Running: return {};
    case MotionEnd::Finished:
        return Text(QT_TRANSLATE_NOOP("Motion", "运行在 %2 秒后结束。"), "%1 finished after %2 s", {motion, after});
    case MotionEnd::Stopped:
        return Text(QT_TRANSLATE_NOOP("Motion", "电机已停止。"), "%1 stopped", {motion});
    case MotionEnd::Alarm:
        return Text(QT_TRANSLATE_NOOP("Motion", "运行在 %2 秒后被驱动器报警 %3 中断。"),
                    "%1 cut short after %2 s by the drive's alarm %3", {motion, after, alarmName});
    case MotionEnd::Watchdog:
        return Text(QT_TRANSLATE_NOOP("Motion", "运行在 %2 秒后被驱动器的通信超时保护停止：驱动器有 %3 秒没有收到本程序的请求。"),
                    "%1 cut short after %2 s by the drive's communication watchdog: the drive heard nothing from "
                    "this program for %3 s",
                    {motion, after, quiet});
    case MotionEnd::StoppedElsewhere:
        return Text(QT_TRANSLATE_NOOP("Motion", "运行在 %2 秒后提前结束(至少需要 %3 秒)：停止命令不是本程序发出的。"),
                    "%1 ended after %2 s, before its runs were done (they take at least %3 s): stopped by a "
                    "command this program did not send",
                    {motion, after, Seconds(shortest.value_or(milliseconds(0)))});
    case MotionEnd::LineSilent: {
        std::string text = Text(
            QT_TRANSLATE_NOOP("Motion", "运行中驱动器有 %2 秒没有应答；驱动器恢复应答后已确认电机停止。"),
            "%1 cut short: the drive did not answer for %2 s during the run; the stop was confirmed once it "
            "answered again",
            {motion, quiet});
        if (alarm > 0)
            text += Text(QT_TRANSLATE_NOOP("Motion", " 驱动器报警 %1。"), "; the drive shows alarm %1", {alarmName});
        return text;
    }
    case MotionEnd::GaveUp:
        return Text(QT_TRANSLATE_NOOP("Motion", "驱动器没有应答：驱动器的通信超时保护已停止电机，但无法确认停止。"),
                    "the drive's watchdog has stopped the motor, the stop could not be confirmed (the drive did "
                    "not answer for %1 s)",
                    {quiet});
    case MotionEnd::Unconfirmed: return stop.Message();
    }
    return {};
}

std::string MotionReport::RestoreMessage() const {
    if (restored.done) return {};
    if (restored.stillRunning || !stop.confirmed)
        return Text(QT_TRANSLATE_NOOP("Motion", "驱动器的通信超时保护保持启用(Pr9.17 = %1 ms)，直到确认电机已停止。"),
                    "the drive's communication watchdog stays armed until the motor is seen stopped; its own values "
                    "(Pr9.17 = %1 ms, Pr9.18 = %2) go back at the next connect",
                    {std::to_string(restored.values.timeoutMs), std::to_string(restored.values.action)});
    return Text(QT_TRANSLATE_NOOP("Motion", "驱动器原来的通信超时设置无法恢复，将在下次连接时恢复：%1"),
                "the drive's communication watchdog could not be put back now; it will be at the next connect (%1)",
                {FaultSentence(restored.address, restored.fault)});
}

GuardedRun::GuardedRun(DriveHandle drive, std::string port, GuardOptions options)
    : m_guard(drive, std::move(port), std::move(options)) {}

GuardedRun::~GuardedRun() {
    std::lock_guard lock(m_mutex);
    // Nobody stopped it: stopped now. A stop already given up is not tried
    // again; the drive's watchdog has it.
    if (m_active && !m_gaveUp) StopLocked(kStopTries, kStopPeriod, true);
}

Readiness GuardedRun::BeforeStart(MotionKind kind, std::optional<milliseconds> shortest) {
    std::lock_guard lock(m_mutex);
    const Readiness ready = m_guard.Prepare(kind);
    if (!ready.ready()) {
        // Nothing of the start goes out: the watchdog goes back as it was
        // (nothing runs that it should stop).
        m_guard.Restore();
        return ready;
    }
    m_kind = kind;
    m_active = true;
    m_gaveUp = false;
    m_stopTaken = false;
    m_shortest = shortest;
    m_began = m_lastHeard = m_lastAsked = m_guard.Now();
    m_longestSilence = milliseconds(0);
    return ready;
}

bool GuardedRun::SendStart(const std::function<bool()>& send) {
    std::lock_guard lock(m_mutex);
    if (m_active && !m_stopTaken && send()) return true;
    // Nothing of the start went out: the watchdog armed for it goes back
    // (kept while 70 or 23 still reads non-zero, for the stop to take).
    if (m_active) {
        m_active = false;
        m_guard.Restore();
    }
    return false;
}

void GuardedRun::HeardLocked(Clock::time_point now) {
    m_longestSilence = std::max(m_longestSilence, Since(m_lastHeard, now));
    m_lastHeard = m_lastAsked = now;
}

void GuardedRun::Heard() {
    std::lock_guard lock(m_mutex);
    HeardLocked(m_guard.Now());
}

void GuardedRun::Asked() {
    std::lock_guard lock(m_mutex);
    m_lastAsked = m_guard.Now();
}

bool GuardedRun::Active() {
    std::lock_guard lock(m_mutex);
    return m_active || m_guard.Armed();
}

MotionReport GuardedRun::EndedLocked() {
    MotionReport report;
    const Clock::time_point now = m_guard.Now();
    report.elapsed = Since(m_began, now);
    report.silence = m_longestSilence;
    report.shortest = m_shortest;
    const auto alarm = m_guard.drive().Read(reg::kCurrentAlarm);
    report.alarm = alarm && *alarm > 0 ? *alarm : 0;
    const auto watchdog = m_guard.WatchdogTime();
    // A drive that heard nothing for longer than its watchdog's time stopped
    // the motion itself, whatever the run's own length.
    if (report.alarm > 0)
        report.end = MotionEnd::Alarm;
    else if (watchdog && m_longestSilence >= *watchdog)
        report.end = MotionEnd::Watchdog;
    // Well short of the least it takes: someone else's stop. The margin
    // keeps a drive whose clock runs a little fast from counting as one.
    else if (m_shortest && report.elapsed * 10 < *m_shortest * 9 - milliseconds(3000))
        report.end = MotionEnd::StoppedElsewhere;
    else
        report.end = MotionEnd::Finished;
    report.stop.confirmed = true;  // it reads stopped
    report.restored = m_guard.Restore();
    m_active = false;
    return report;
}

GuardedRun::KeepAliveResult GuardedRun::KeepAlive() {
    std::lock_guard lock(m_mutex);
    KeepAliveResult out;
    if (!m_active) {
        // A motion seen ended whose values could not go back yet: again.
        if (m_guard.Armed())
            out.report.restored = m_guard.Restore();
        else
            out.report.restored.done = true;
        return out;
    }
    const MotionPoll poll = m_guard.Poll(m_kind);
    const Clock::time_point now = m_guard.Now();
    if (poll.state == MotionPoll::State::NoAnswer) {
        m_lastAsked = now;
        out.state = KeepAliveResult::State::NoAnswer;
        return out;
    }
    HeardLocked(now);
    if (poll.state == MotionPoll::State::Running) {
        out.state = KeepAliveResult::State::Running;
        return out;
    }
    out.state = KeepAliveResult::State::Ended;
    out.report = EndedLocked();
    return out;
}

MotionReport GuardedRun::StopLocked(int tries, milliseconds period, bool giveUp) {
    m_stopTaken = true;
    MotionReport report;
    report.shortest = m_shortest;
    const auto watchdog = m_guard.WatchdogTime();
    // The drive stops by itself once it has heard nothing for its watchdog's
    // time: only requests that reach it without stopping anything (reads)
    // put that off; a stop write that reaches it stops the motion.
    const auto giveUpAt = [&] { return m_lastAsked + *watchdog + kWatchdogReaction; };
    int delivered = 0;
    for (int round = 0;; ++round) {
        StopOutcome once = m_guard.StopOnce(m_kind);
        const Clock::time_point now = m_guard.Now();
        if (once.delivered) {
            HeardLocked(now);
            ++delivered;
        }
        once.tries = round + 1;
        report.stop = once;
        if (once.confirmed) break;
        // A drive that takes the stop but still reads running, or one with
        // no watchdog to fall back on, gets the rounds the rules give.
        const bool covered = giveUp && watchdog && delivered == 0;
        if (!covered) {
            if (round + 1 >= tries) break;
            m_guard.Pause(period);
            continue;
        }
        // No round starts past the give-up: on a silent line each one waits
        // out the link's late horizon first, and would only say it later.
        if (now < giveUpAt()) m_guard.Pause(std::min(period, std::chrono::ceil<milliseconds>(giveUpAt() - now)));
        if (m_guard.Now() >= giveUpAt()) {
            report.end = MotionEnd::GaveUp;
            break;
        }
    }
    const Clock::time_point now = m_guard.Now();
    report.elapsed = Since(m_began, now);
    report.silence = std::max(m_longestSilence, Since(m_lastHeard, now));
    if (report.stop.confirmed) {
        m_gaveUp = false;
        report.end = MotionEnd::Stopped;
        report.alarm = report.stop.alarm;
        report.restored = m_guard.Restore();
        m_active = false;
    } else {
        if (report.end != MotionEnd::GaveUp) report.end = MotionEnd::Unconfirmed;
        // The watchdog stays: it is what stops the motor now. Another stop
        // is the caller's to ask for (the window keeps trying).
        report.restored.values = m_guard.Noted().value_or(WatchdogSetting{});
        report.restored.stillRunning = true;
        m_gaveUp = true;
    }
    return report;
}

MotionReport GuardedRun::StopAndRestore(int tries, milliseconds period, bool giveUp) {
    std::lock_guard lock(m_mutex);
    if (!m_active && !m_guard.Armed()) {
        MotionReport nothing;
        nothing.end = MotionEnd::Stopped;
        nothing.stop.confirmed = true;
        nothing.restored.done = true;
        return nothing;
    }
    return StopLocked(tries, period, giveUp);
}

MotionReport GuardedRun::Stop() { return StopAndRestore(); }

RestoreOutcome GuardedRun::Detach() {
    std::lock_guard lock(m_mutex);
    m_active = false;
    return m_guard.Restore(true);
}

RunOutcome GuardedRun::Start(ChangeGate& gate, RunRequest request, const std::function<bool()>& interrupted) {
    const MotionKind kind = MotionOf(request.mode);
    const std::optional<milliseconds> shortest =
        request.mode == Mode::Velocity ? TrapezoidTime(request.startWrites) : std::nullopt;
    request.beforeStart = [this, kind, shortest] { return BeforeStart(kind, shortest); };
    request.sendHeld = [this](const std::function<bool()>& send) { return SendStart(send); };
    request.onStep = [this](bool answered) { answered ? Heard() : Asked(); };
    // An interruption ends the capture at its next step, and the stop goes
    // out then; the caller's Stop confirms it.
    std::stop_source ending;
    RunOutcome out = RunOnce(gate, request, ending.get_token(), [&] {
        if (!interrupted || !interrupted()) return false;
        ending.request_stop();
        return true;
    });
    if (out.status == RunStatus::NoAnswer) Asked();
    return out;
}

MotionReport GuardedRun::Follow(const std::function<bool()>& interrupted,
                                const std::function<void(std::chrono::seconds)>& progress) {
    Clock::time_point nextProgress;
    {
        std::lock_guard lock(m_mutex);
        nextProgress = m_guard.Now();
    }
    for (;;) {
        if (interrupted && interrupted()) return Stop();
        const KeepAliveResult alive = KeepAlive();
        switch (alive.state) {
        case KeepAliveResult::State::Idle: {
            MotionReport report = alive.report;
            report.end = MotionEnd::Finished;
            return report;
        }
        case KeepAliveResult::State::Ended: return alive.report;
        case KeepAliveResult::State::NoAnswer: {
            // The drive fell silent: the stop, until it is confirmed or the
            // drive's watchdog has surely stopped the motor.
            MotionReport report = Stop();
            if (report.end == MotionEnd::Stopped) {
                report.end = MotionEnd::LineSilent;
            }
            return report;
        }
        case KeepAliveResult::State::Running: break;
        }
        const Clock::time_point now = m_guard.Now();
        if (progress && now >= nextProgress) {
            std::chrono::seconds elapsed;
            {
                std::lock_guard lock(m_mutex);
                elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - m_began);
            }
            progress(elapsed);
            nextProgress = now + kProgressEvery;
        }
        m_guard.Pause(kKeepAlivePeriod);
    }
}

}  // namespace hx::runtest
