#include "core/runtest/MotionGuard.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "core/alarms/AlarmText.h"
#include "core/alarms/FaultDetections.h"
#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/link/FaultText.h"
#include "core/protocol/Registers.h"

namespace hx::runtest {
namespace {

// The standstill check: the speed feedback (source code 2) over 200 ms.
constexpr uint16_t kSpeedFeedbackCode = 2;
constexpr uint16_t kCheckIntervalUs = 1000;
constexpr uint16_t kCheckPoints = 200;
constexpr auto kCheckPollPeriod = std::chrono::milliseconds(50);
constexpr int kCheckPolls = 60;

std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments = {}) {
    return FillIn(Translate("Motion", chinese, english), arguments);
}

}  // namespace

MotionKind MotionOf(Mode mode) { return mode == Mode::Torque ? MotionKind::CurrentTest : MotionKind::Trapezoid; }

uint16_t CommandRegister(MotionKind kind) {
    return kind == MotionKind::CurrentTest ? reg::kCurrentTestCommand : reg::kMotionCommand;
}

std::string Readiness::Message() const {
    switch (refusal) {
    case StartRefusal::None: return {};
    case StartRefusal::Moving:
        return Text(QT_TRANSLATE_NOOP("Motion", "电机正在运动，请先停止上位机的运动指令"),
                    "The motor is moving: stop the motion controller first");
    case StartRefusal::OtherProgram:
        return Text(QT_TRANSLATE_NOOP("Motion", "另一个程序(进程 %1)正在这台驱动器上试运行，请等它结束后再开始。"),
                    "Another program (process %1) is running a test on this drive: start once it has ended.",
                    {otherProgram > 0 ? std::to_string(otherProgram) : std::string("?")});
    case StartRefusal::Failed: return FaultSentence(address, fault);
    }
    return {};
}

std::string StopOutcome::Message() const {
    if (!confirmed) {
        const std::string why = FaultSentence(address, fault);
        return Text(QT_TRANSLATE_NOOP("Motion", "无法确认电机已停止，电机可能仍在运动。%1"),
                    "The stop could not be confirmed: the motor may still be moving. %1", {why});
    }
    const std::string alarm = ActiveAlarmText(this->alarm);
    const std::string stopped = Text(QT_TRANSLATE_NOOP("Motion", "电机已停止。"), "Stopped.");
    return alarm.empty() ? stopped : stopped + " " + alarm;
}

MotionGuard::MotionGuard(DriveHandle drive, std::string port, GuardOptions options)
    : m_drive(drive), m_port(std::move(port)), m_options(std::move(options)) {}

void MotionGuard::Pause(std::chrono::milliseconds d) const {
    if (d <= std::chrono::milliseconds::zero()) return;
    if (m_options.sleep)
        m_options.sleep(d);
    else
        std::this_thread::sleep_for(d);
}

std::chrono::steady_clock::time_point MotionGuard::Now() const {
    return m_options.now ? m_options.now() : std::chrono::steady_clock::now();
}

std::optional<int16_t> MotionGuard::Read(uint16_t address, Readiness* r) {
    const auto v = m_drive.Read(address);
    if (!v) {
        r->refusal = StartRefusal::Failed;
        r->address = address;
        r->fault = v.fault;
    }
    return v;
}

bool MotionGuard::Write(uint16_t address, uint16_t value, Readiness* r) {
    const auto written = m_drive.Write(address, value);
    if (written) return true;
    r->refusal = StartRefusal::Failed;
    r->address = address;
    r->fault = written.fault;
    return false;
}

bool MotionGuard::StandstillCheck(MotionKind kind, Readiness* r) {
    if (kind == MotionKind::CurrentTest) {
        // The current-loop test must find the drive's sampling settings as
        // the user left them: no capture here. A running trapezoid is the
        // motion the guard can see without one; a motor a controller drives
        // makes the drive refuse the test itself.
        const auto motion = Read(reg::kMotionCommand, r);
        if (!motion) return false;
        if (*motion != 0) r->refusal = StartRefusal::Moving;
        return r->ready();
    }
    // Only a drive that records its speed feedback can be asked this way; a
    // drive that cannot still refuses a start on top of its pulse input.
    const auto mask = Read(reg::kSampleSourceMask, r);
    if (!mask) return false;
    if ((static_cast<uint16_t>(*mask) & kSpeedFeedbackCode) == 0) return true;
    const uint16_t setup[][2] = {{reg::kSampleInterval, kCheckIntervalUs},
                                 {reg::kSampleChannel1, kSpeedFeedbackCode},
                                 {reg::kSampleChannel2, 0},
                                 {reg::kSampleChannel3, 0},
                                 {reg::kSampleChannel4, 0}};
    for (const auto& w : setup)
        if (!Write(w[0], w[1], r)) return false;
    if (m_drive.newLayout() && !Write(reg::kSamplePoints, kCheckPoints, r)) return false;
    if (!Write(reg::kSampleTrigger, reg::kSampleTriggerValue, r)) return false;
    bool complete = false;
    for (int i = 0; i < kCheckPolls && !complete; ++i) {
        Pause(kCheckPollPeriod);
        const auto state = Read(reg::kSampleState, r);
        if (!state) return false;
        complete = *state == reg::kSampleStateComplete;
    }
    if (!complete) {
        // A drive that never finishes a capture cannot say the motor is at
        // rest; its own refusal is all that is left.
        return true;
    }
    uint16_t words[kCheckPoints];
    for (uint16_t at = 0; at < kCheckPoints; at += 50) {
        const auto read = m_drive.ReadWords(static_cast<uint16_t>(reg::kSampleDataFirst + at), 50, words + at);
        if (!read) {
            r->refusal = StartRefusal::Failed;
            r->address = static_cast<uint16_t>(reg::kSampleDataFirst + at);
            r->fault = read.fault;
            return false;
        }
    }
    for (uint16_t w : words) r->peakSpeed = std::max(r->peakSpeed, std::abs(static_cast<int>(static_cast<int16_t>(w))));
    if (r->peakSpeed > kRestSpeed) r->refusal = StartRefusal::Moving;
    return r->ready();
}

Readiness MotionGuard::Prepare(MotionKind kind) {
    Readiness r;
    if (m_options.checkStandstill && !StandstillCheck(kind, &r)) return r;
    if (m_noted) {
        r.armed = true;
        return r;  // armed by an earlier start and not put back since
    }
    // The note of this drive is this guard's from here until the values are
    // back; one another program holds belongs to that program's run.
    std::string lockError;
    const NoteLock::Result lock = m_lock.Take(m_options.noteFolder, m_port, m_drive.station(), &lockError);
    if (lock == NoteLock::Result::HeldElsewhere) {
        r.refusal = StartRefusal::OtherProgram;
        r.otherProgram = WatchdogNoteOwner(m_options.noteFolder, m_port, m_drive.station());
        return r;
    }
    if (lock == NoteLock::Result::Failed) r.noteError = lockError;
    // The drive's own values; a drive without a watchdog refuses the read.
    const auto timeout = m_drive.Read(reg::kWatchdogTimeout);
    const auto action = timeout ? m_drive.Read(reg::kWatchdogAction) : timeout;
    if (!timeout || !action) {
        m_lock.Release();
        if (action.fault.kind == DriveFaultKind::Refused) {
            r.watchdogMissing = true;
            return r;
        }
        r.refusal = StartRefusal::Failed;
        r.address = timeout ? reg::kWatchdogAction : reg::kWatchdogTimeout;
        r.fault = action.fault;
        return r;
    }
    const WatchdogSetting held{static_cast<uint16_t>(*timeout), static_cast<uint16_t>(*action)};
    const auto bound = static_cast<uint16_t>(std::clamp<long long>(m_options.watchdog.count(), 1, 65535));
    const bool needTimeout = held.timeoutMs == 0 || held.timeoutMs > bound;
    const bool needAction = held.action != reg::kWatchdogActionAlarm && held.action != reg::kWatchdogActionStop;
    m_covered = std::chrono::milliseconds(needTimeout ? bound : held.timeoutMs);
    // A note nobody holds was left by a run whose program ended before it
    // put the values back: it holds the drive's own values, and what the
    // drive holds now may be that run's.
    const auto left = m_lock.Held() ? ReadWatchdogNote(m_options.noteFolder, m_port, m_drive.station()) : std::nullopt;
    if (!needTimeout && !needAction && !left) {
        m_lock.Release();
        return r;  // the drive's own watch covers it
    }
    if (!left && m_lock.Held()) m_lock.WriteNote(held, &r.noteError);
    m_noted = left.value_or(held);
    r.armed = true;
    // Not through the change gate: these are RAM settings this tool puts back
    // itself (the note above brings them back even after a kill), not a
    // change of the user's, and a backup or journal that cannot be written
    // must never leave a motor running without its watchdog.
    if (needAction && !Write(reg::kWatchdogAction, reg::kWatchdogActionStop, &r)) return r;
    if (needTimeout && !Write(reg::kWatchdogTimeout, bound, &r)) return r;
    return r;
}

MotionPoll MotionGuard::Poll(MotionKind kind) {
    MotionPoll p;
    const auto v = m_drive.Read(CommandRegister(kind));
    if (!v) {
        p.fault = v.fault;
        return p;
    }
    p.state = *v != 0 ? MotionPoll::State::Running : MotionPoll::State::Ended;
    return p;
}

StopOutcome MotionGuard::StopOnce(MotionKind kind) {
    StopOutcome out;
    out.tries = 1;
    const uint16_t command = CommandRegister(kind);
    const auto fail = [&](uint16_t address, const DriveFault& fault) {
        out.address = address;
        out.fault = fault;
        return out;
    };
    // A stop is safe to repeat: it goes out again even when the last one's
    // reply was lost.
    if (const auto stopped = m_drive.Write(command, 0); !stopped) return fail(command, stopped.fault);
    out.delivered = true;
    for (uint16_t address : {reg::kMotionCommand, reg::kCurrentTestCommand}) {
        const auto v = m_drive.Read(address);
        if (!v) return fail(address, v.fault);
        if (*v != 0) {
            // The other command runs too (or this one started again): stop it.
            if (const auto w = m_drive.Write(address, 0); !w) return fail(address, w.fault);
            const auto again = m_drive.Read(address);
            if (!again) return fail(address, again.fault);
            if (*again != 0) {
                out.address = address;
                out.fault = DriveFault{};
                return out;
            }
        }
    }
    out.confirmed = true;
    if (const auto alarm = m_drive.Read(reg::kCurrentAlarm); alarm && *alarm > 0) out.alarm = *alarm;
    return out;
}

StopOutcome MotionGuard::Stop(MotionKind kind, int tries, std::chrono::milliseconds period, std::stop_token stop) {
    StopOutcome out;
    bool delivered = false;
    for (int i = 0; i < std::max(1, tries); ++i) {
        if (i > 0) {
            if (stop.stop_requested()) break;
            Pause(period);
        }
        const StopOutcome round = StopOnce(kind);
        delivered = delivered || round.delivered;
        out = round;
        out.tries = i + 1;
        if (round.confirmed) break;
    }
    out.delivered = delivered;
    return out;
}

RestoreOutcome MotionGuard::Restore(bool evenWhileRunning) {
    RestoreOutcome out;
    if (!m_noted) {
        out.done = true;
        return out;
    }
    out.values = *m_noted;
    // The watchdog is what stops a motion nobody is left to stop: it goes
    // only once the motion and the test are seen stopped.
    if (!evenWhileRunning) {
        for (uint16_t address : {reg::kMotionCommand, reg::kCurrentTestCommand}) {
            const auto v = m_drive.Read(address);
            if (!v || *v != 0) {
                out.stillRunning = v.has_value();
                out.address = address;
                out.fault = v.fault;
                return out;
            }
        }
    }
    // The time-out first: with the drive's own (often 0) the watch is off
    // again before its action goes back.
    for (auto [address, value] : {std::pair{reg::kWatchdogTimeout, m_noted->timeoutMs},
                                  std::pair{reg::kWatchdogAction, m_noted->action}}) {
        if (const auto written = m_drive.Write(address, value); !written) {
            out.address = address;
            out.fault = written.fault;
            return out;
        }
    }
    m_lock.RemoveNoteAndRelease();
    m_noted.reset();
    out.done = true;
    return out;
}

std::optional<LeftWatchdog> RestoreLeftWatchdog(DriveHandle drive, const std::string& port, GuardOptions options) {
    const std::string folder = options.noteFolder;
    if (!ReadWatchdogNote(folder, port, drive.station())) return std::nullopt;
    MotionGuard guard(drive, port, std::move(options));
    // A note its program still holds is that program's: its run goes on.
    if (guard.m_lock.Take(folder, port, drive.station()) != NoteLock::Result::Taken) return std::nullopt;
    // Read again under the lock: its owner may have put it back meanwhile.
    const auto note = ReadWatchdogNote(folder, port, drive.station());
    if (!note) return std::nullopt;
    guard.m_noted = note;
    LeftWatchdog out;
    out.values = *note;
    // The run's motion may still go on (its program died a moment ago, and
    // the watchdog has not yet fired): stopped for sure before the watchdog
    // goes, or the watchdog stays.
    std::optional<MotionKind> running;
    for (MotionKind kind : {MotionKind::Trapezoid, MotionKind::CurrentTest}) {
        const MotionPoll poll = guard.Poll(kind);
        if (poll.state == MotionPoll::State::Ended) continue;
        running = kind;
        break;
    }
    if (running) {
        const StopOutcome stopped = guard.Stop(*running, kStopTries, kStopPeriod);
        if (!stopped.confirmed) {
            out.state = LeftWatchdog::State::StillRunning;
            out.address = stopped.address;
            out.fault = stopped.fault;
            return out;
        }
        out.stoppedMotion = true;
    }
    const RestoreOutcome restored = guard.Restore();
    if (!restored.done) {
        out.state = restored.stillRunning ? LeftWatchdog::State::StillRunning : LeftWatchdog::State::Failed;
        out.address = restored.address;
        out.fault = restored.fault;
        return out;
    }
    if (const auto alarm = drive.Read(reg::kCurrentAlarm)) out.alarm = *alarm;
    return out;
}

bool LeftCommunicationAlarm(const LeftWatchdog& left) { return left.alarm && *left.alarm == alarm::kCommunication; }

std::string LeftWatchdogText(const LeftWatchdog& left, const std::string& clearCommand) {
    const std::string values = "Pr9.17 = " + std::to_string(left.values.timeoutMs) + " ms, Pr9.18 = " +
                               std::to_string(left.values.action);
    switch (left.state) {
    case LeftWatchdog::State::StillRunning:
        return Text(QT_TRANSLATE_NOOP("Motion", "上次试运行没有正常结束，它的运动仍在进行且无法确认已停止：驱动器的通信超时保护"
                                                "保持启用，电机会在通信中断时停止。%1"),
                    "The last test run did not end normally and its motion may still run: the stop could not be "
                    "confirmed, so the drive's communication watchdog stays armed and stops the motor when the "
                    "line falls silent. %1",
                    {FaultSentence(left.address, left.fault)});
    case LeftWatchdog::State::Failed:
        return Text(QT_TRANSLATE_NOOP("Motion", "上次试运行没有正常结束，驱动器原来的通信超时设置(%1)无法恢复：%2"),
                    "The last test run did not end normally and the drive's own communication watchdog (%1) could "
                    "not be put back: %2",
                    {values, FaultSentence(left.address, left.fault)});
    case LeftWatchdog::State::Restored: break;
    }
    std::string text =
        left.stoppedMotion
            ? Text(QT_TRANSLATE_NOOP("Motion", "上次试运行没有正常结束：它的运动仍在进行，已停止；已恢复驱动器原来的通信超时设置(%1)。"),
                   "The last test run did not end normally: its motion was still running and has been stopped; the "
                   "drive's own communication watchdog is back (%1).",
                   {values})
            : Text(QT_TRANSLATE_NOOP("Motion", "上次试运行没有正常结束：已恢复驱动器原来的通信超时设置(%1)。"),
                   "The last test run did not end normally: the drive's own communication watchdog is back (%1).",
                   {values});
    if (LeftCommunicationAlarm(left)) {
        text += " " + Text(QT_TRANSLATE_NOOP("Motion", "驱动器已因通信中断自行停止电机，报警 %1 正在进行。"),
                           "The drive stopped the motor by itself when the line fell silent: alarm %1 is active.",
                           {AlarmNumberText(alarm::kCommunication)});
        if (!clearCommand.empty())
            text += " " + Text(QT_TRANSLATE_NOOP("Motion", "清除报警：%1"), "Clear it with: %1", {clearCommand});
    } else if (left.alarm && *left.alarm > 0) {
        text += " " + ActiveAlarmText(*left.alarm);
    }
    return text;
}

}  // namespace hx::runtest
