#include "core/runtest/MotionGuard.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"
#include "core/link/FaultText.h"
#include "core/protocol/Registers.h"
#include "core/settings/AppPaths.h"
#include "core/util/AtomicFile.h"

namespace hx::runtest {
namespace {

namespace fs = std::filesystem;

// The standstill check: the speed feedback (source code 2) over 200 ms.
constexpr uint16_t kSpeedFeedbackCode = 2;
constexpr uint16_t kCheckIntervalUs = 1000;
constexpr uint16_t kCheckPoints = 200;
constexpr auto kCheckPollPeriod = std::chrono::milliseconds(50);
constexpr int kCheckPolls = 60;

std::string Text(const char* chinese, const char* english, std::initializer_list<std::string> arguments = {}) {
    return FillIn(Translate("Motion", chinese, english), arguments);
}

// "%2Fdev%2FttyUSB0@5": one file name per port and station, whatever the port's name holds.
std::string NoteName(const std::string& port, uint8_t station) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string name;
    for (unsigned char c : port) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            name += static_cast<char>(c);
        } else {
            name += '%';
            name += kHex[c >> 4];
            name += kHex[c & 15];
        }
    }
    return name + "@" + std::to_string(station);
}

std::string NotePath(const std::string& folder, const std::string& port, uint8_t station) {
    return (fs::path(folder.empty() ? WatchdogNoteFolder() : folder) / NoteName(port, station)).string();
}

bool WriteNote(const std::string& path, const std::string& port, uint8_t station, const WatchdogSetting& values,
               std::string* error) {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    std::ostringstream text;
    text << "# The drive's own communication watchdog, noted before a test run changed it.\n"
         << "# Put back (RAM only) at the next connect to this port and station.\n"
         << "port=" << port << "\nstation=" << int(station) << "\ntimeout=" << values.timeoutMs
         << "\naction=" << values.action << "\n";
    AtomicFile::Step step = AtomicFile::Step::None;
    int err = 0;
    if (WriteFileAtomically(path, text.str(), &step, &err)) return true;
    *error = path + ": " + std::strerror(err);
    return false;
}

void Pause(const GuardOptions& o, std::chrono::milliseconds d) {
    if (o.sleep)
        o.sleep(d);
    else
        std::this_thread::sleep_for(d);
}

}  // namespace

MotionKind MotionOf(Mode mode) { return mode == Mode::Torque ? MotionKind::CurrentTest : MotionKind::Trapezoid; }

uint16_t CommandRegister(MotionKind kind) {
    return kind == MotionKind::CurrentTest ? reg::kCurrentTestCommand : reg::kMotionCommand;
}

std::string WatchdogNoteFolder() { return (fs::path(UserStateFolder()) / "watchdog").string(); }

std::optional<WatchdogSetting> ReadWatchdogNote(const std::string& folder, const std::string& port, uint8_t station) {
    std::ifstream in(NotePath(folder, port, station));
    if (!in) return std::nullopt;
    std::string line, notedPort;
    long notedStation = -1, timeout = -1, action = -1;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        const bool whole = !value.empty() && end && *end == '\0';
        if (key == "port") notedPort = value;
        if (key == "station" && whole) notedStation = number;
        if (key == "timeout" && whole) timeout = number;
        if (key == "action" && whole) action = number;
    }
    // A note for another port or station (or a damaged one) is not this drive's.
    if (notedPort != port || notedStation != station || timeout < 0 || timeout > 65535 || action < 0 || action > 65535)
        return std::nullopt;
    return WatchdogSetting{static_cast<uint16_t>(timeout), static_cast<uint16_t>(action)};
}

std::string Readiness::Message() const {
    switch (status) {
    case Status::Ready: return {};
    case Status::Moving:
        return Text(QT_TRANSLATE_NOOP("Motion", "电机正在运动，请先停止上位机的运动指令"),
                    "The motor is moving: stop the motion controller first");
    case Status::Failed: return FaultSentence(address, fault);
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

std::optional<int16_t> MotionGuard::Read(uint16_t address, Readiness* r) {
    const auto v = m_drive.Read(address);
    if (!v) {
        r->status = Readiness::Status::Failed;
        r->address = address;
        r->fault = m_drive.fault();
    }
    return v;
}

bool MotionGuard::Write(uint16_t address, uint16_t value, Readiness* r) {
    if (m_drive.Write(address, value)) return true;
    r->status = Readiness::Status::Failed;
    r->address = address;
    r->fault = m_drive.fault();
    return false;
}

bool MotionGuard::StandstillCheck(Readiness* r) {
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
        Pause(m_options, kCheckPollPeriod);
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
        if (!m_drive.ReadWords(static_cast<uint16_t>(reg::kSampleDataFirst + at), 50, words + at)) {
            r->status = Readiness::Status::Failed;
            r->address = static_cast<uint16_t>(reg::kSampleDataFirst + at);
            r->fault = m_drive.fault();
            return false;
        }
    }
    for (uint16_t w : words) r->peakSpeed = std::max(r->peakSpeed, std::abs(static_cast<int>(static_cast<int16_t>(w))));
    if (r->peakSpeed > kRestSpeed) r->status = Readiness::Status::Moving;
    return r->status == Readiness::Status::Ready;
}

Readiness MotionGuard::Prepare(MotionKind) {
    Readiness r;
    if (m_options.checkStandstill && !StandstillCheck(&r)) return r;
    if (m_noted) {
        r.armed = true;
        return r;  // armed by an earlier start and not put back since
    }
    // The drive's own values; a drive without a watchdog refuses the read.
    const auto timeout = m_drive.Read(reg::kWatchdogTimeout);
    const auto action = timeout ? m_drive.Read(reg::kWatchdogAction) : std::nullopt;
    if (!timeout || !action) {
        if (m_drive.fault().kind == DriveFaultKind::Refused) {
            r.watchdogMissing = true;
            return r;
        }
        r.status = Readiness::Status::Failed;
        r.address = timeout ? reg::kWatchdogAction : reg::kWatchdogTimeout;
        r.fault = m_drive.fault();
        return r;
    }
    const WatchdogSetting own{static_cast<uint16_t>(*timeout), static_cast<uint16_t>(*action)};
    const auto bound = static_cast<uint16_t>(std::clamp<long long>(m_options.watchdog.count(), 1, 65535));
    const bool needTimeout = own.timeoutMs == 0 || own.timeoutMs > bound;
    const bool needAction = own.action != reg::kWatchdogActionAlarm && own.action != reg::kWatchdogActionStop;
    if (!needTimeout && !needAction) return r;  // the drive's own watch covers it

    // A note left by a run that never put its values back holds the drive's
    // own values; what the drive holds now may be that run's.
    const std::string path = NotePath(m_options.noteFolder, m_port, m_drive.station());
    const auto left = ReadWatchdogNote(m_options.noteFolder, m_port, m_drive.station());
    const WatchdogSetting original = left.value_or(own);
    if (!left) WriteNote(path, m_port, m_drive.station(), original, &r.noteError);
    m_noted = original;
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
        p.fault = m_drive.fault();
        return p;
    }
    p.state = *v != 0 ? MotionPoll::State::Running : MotionPoll::State::Ended;
    return p;
}

StopOutcome MotionGuard::StopOnce(MotionKind kind) {
    StopOutcome out;
    out.tries = 1;
    const uint16_t command = CommandRegister(kind);
    const auto fail = [&](uint16_t address) {
        out.address = address;
        out.fault = m_drive.fault();
        return out;
    };
    // A stop is safe to repeat: it goes out again even when the last one's
    // reply was lost.
    if (!m_drive.Write(command, 0)) return fail(command);
    for (uint16_t address : {reg::kMotionCommand, reg::kCurrentTestCommand}) {
        const auto v = m_drive.Read(address);
        if (!v) return fail(address);
        if (*v != 0) {
            // The other command runs too (or this one started again): stop it.
            if (!m_drive.Write(address, 0)) return fail(address);
            const auto again = m_drive.Read(address);
            if (!again) return fail(address);
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
    for (int i = 0; i < std::max(1, tries); ++i) {
        if (i > 0) {
            if (stop.stop_requested()) break;
            Pause(m_options, period);
        }
        const StopOutcome round = StopOnce(kind);
        out = round;
        out.tries = i + 1;
        if (round.confirmed) break;
    }
    return out;
}

RestoreOutcome MotionGuard::Restore() {
    RestoreOutcome out;
    if (!m_noted) {
        out.done = true;
        return out;
    }
    out.values = *m_noted;
    // The time-out first: with the drive's own (often 0) the watch is off
    // again before its action goes back.
    for (auto [address, value] : {std::pair{reg::kWatchdogTimeout, m_noted->timeoutMs},
                                  std::pair{reg::kWatchdogAction, m_noted->action}}) {
        if (!m_drive.Write(address, value)) {
            out.address = address;
            out.fault = m_drive.fault();
            return out;
        }
    }
    std::error_code ec;
    fs::remove(NotePath(m_options.noteFolder, m_port, m_drive.station()), ec);
    m_noted.reset();
    out.done = true;
    return out;
}

std::optional<RestoreOutcome> RestoreLeftWatchdog(DriveHandle drive, const std::string& port,
                                                  const std::string& noteFolder) {
    const auto left = ReadWatchdogNote(noteFolder, port, drive.station());
    if (!left) return std::nullopt;
    GuardOptions options;
    options.noteFolder = noteFolder;
    MotionGuard guard(drive, port, options);
    guard.m_noted = left;
    return guard.Restore();
}

std::string RestoredWatchdogText(const RestoreOutcome& outcome) {
    const std::string values = "Pr9.17 = " + std::to_string(outcome.values.timeoutMs) + " ms, Pr9.18 = " +
                               std::to_string(outcome.values.action);
    if (outcome.done)
        return Text(QT_TRANSLATE_NOOP("Motion", "上次试运行没有正常结束：已恢复驱动器原来的通信超时设置(%1)。"),
                    "The last test run did not end normally: the drive's own communication watchdog is back (%1).",
                    {values});
    return Text(QT_TRANSLATE_NOOP("Motion", "上次试运行没有正常结束，驱动器原来的通信超时设置(%1)无法恢复：%2"),
                "The last test run did not end normally and the drive's own communication watchdog (%1) could not "
                "be put back: %2",
                {values, FaultSentence(outcome.address, outcome.fault)});
}

SharedMotionGuard::SharedMotionGuard(DriveHandle drive, std::string port, GuardOptions options)
    : m_guard(std::move(drive), std::move(port), std::move(options)) {}

std::optional<std::string> SharedMotionGuard::BeforeStart(MotionKind kind) {
    std::lock_guard lock(m_mutex);
    const Readiness ready = m_guard.Prepare(kind);
    if (!ready.ready()) {
        m_guard.Restore();
        return ready.Message();
    }
    m_kind = kind;
    return std::nullopt;
}

bool SharedMotionGuard::KeepAlive() {
    std::lock_guard lock(m_mutex);
    if (!m_guard.Armed()) return false;
    if (m_guard.Poll(m_kind).state != MotionPoll::State::Ended) return true;
    // Put back once the motion is over; a failed put-back is tried again.
    return !m_guard.Restore().done;
}

std::optional<StopOutcome> SharedMotionGuard::StopAndRestore(int tries, std::chrono::milliseconds period) {
    std::lock_guard lock(m_mutex);
    if (!m_guard.Armed()) return std::nullopt;
    StopOutcome stopped = m_guard.Stop(m_kind, tries, period);
    m_guard.Restore();
    return stopped;
}

bool SharedMotionGuard::Armed() {
    std::lock_guard lock(m_mutex);
    return m_guard.Armed();
}

}  // namespace hx::runtest
