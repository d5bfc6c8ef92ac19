#include "core/link/ModbusRtuTransport.h"

#include "core/link/FrameTrace.h"
#include "core/link/ModbusFrame.h"

#include <linux/serial.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

namespace hx {

bool IsStandardBaud(int baud) {
    static constexpr int kRates[] = {110,    300,    600,     1200,    2400,    4800,    9600,    19200,
                                     38400,  57600,  115200,  230400,  460800,  500000,  576000,  921600,
                                     1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
    return std::find(std::begin(kRates), std::end(kRates), baud) != std::end(kRates);
}

std::chrono::nanoseconds SerialSettings::CharTime() const {
    const int rate = baud > 0 ? baud : 9600;
    return std::chrono::nanoseconds(static_cast<int64_t>(BitsPerChar()) * 1000000000LL / rate);
}

std::chrono::nanoseconds SerialSettings::SilentInterval() const {
    return CharTime() * 7 / 2;
}

std::chrono::microseconds SerialSettings::ByteTimeout() const {
    const auto fiveChars = std::chrono::duration_cast<std::chrono::microseconds>(CharTime() * 5);
    // A USB adapter delivers a long reply in packets, up to its latency timer
    // apart, and a busy machine may run the reading thread late: be generous,
    // it only costs time when a reply is cut short.
    return std::max<std::chrono::microseconds>(std::chrono::milliseconds(50), fiveChars);
}

ModbusRtuTransport::ModbusRtuTransport(SerialSettings settings, std::string recordFolder)
    : m_settings(std::move(settings)), m_recordFolder(std::move(recordFolder)) {}

ModbusRtuTransport::~ModbusRtuTransport() { Close(); }

std::string ModbusRtuTransport::Describe() const {
    return m_settings.device + " " + std::to_string(m_settings.baud) + " " + std::to_string(m_settings.dataBits) +
           m_settings.parity + std::to_string(m_settings.stopBits);
}

modbus_t* ModbusRtuTransport::CreateContext() {
    modbus_t* ctx = modbus_new_rtu(m_settings.device.c_str(), m_settings.baud, m_settings.parity,
                                   m_settings.dataBits, m_settings.stopBits);
    if (!ctx) {
        SetError(LinkError::OpenFailed, std::string("invalid serial settings: ") + modbus_strerror(errno));
        return nullptr;
    }
    const auto byteTimeout = m_settings.ByteTimeout().count();
    modbus_set_byte_timeout(ctx, static_cast<uint32_t>(byteTimeout / 1000000),
                            static_cast<uint32_t>(byteTimeout % 1000000));
    return ctx;
}

void ModbusRtuTransport::OnConnectionLost(modbus_t* /*ctx*/) { m_lost = true; }

bool ModbusRtuTransport::AfterConnect(modbus_t* ctx) {
    m_lost = false;
    const int fd = modbus_get_socket(ctx);
    // An advisory lock binds every program that uses this link; the
    // exclusive-open flag also keeps out programs that do not lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) == -1) {
        SetError(LinkError::PortBusy, m_settings.device + " is in use by another program");
        return false;
    }
    ::ioctl(fd, TIOCEXCL);

    // USB-serial adapters hold received bytes back for their latency timer
    // (16 ms by default) unless asked not to. Other ports and
    // pseudo-terminals do not know the request; that is fine.
    struct serial_struct serial;
    std::memset(&serial, 0, sizeof serial);
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    // A damaged or foreign reply is followed by a wait for the line to fall
    // silent here (Drain); the library's own blind sleep would only add to it.
    modbus_set_error_recovery(ctx, MODBUS_ERROR_RECOVERY_NONE);
    ::tcflush(fd, TCIOFLUSH);
    m_pending.fill(Pending{});
    m_unsettled.fill(Unsettled{});
    m_repeated.fill(false);
    m_answerTimes.fill(AnswerTimes{});
    m_seen.clear();
    m_backlog.clear();
    m_copiesSeen = false;
    m_lateReplies = 0;
    // A program that used the port before may have left requests whose
    // replies are still on their way: its note says until when. Without a
    // note that can be trusted, any request of the last horizon may still be
    // answered.
    const auto now = Clock::now();
    auto until = now + kOpenQuiet;
    if (!m_recordFolder.empty()) {
        OpenRecord();
        // A slow drive answers the tries it queued in turn, each up to a
        // horizon late: the note may ask for that long.
        const auto longest = now + ResponseTimeout() + 4 * LateHorizon();
        // Every program of ours writes the note before each request, so a
        // note that says the line is free is true of them, killed or not. A
        // foreign program leaves no note: a frame it left already on the
        // line is let end (a frame's bytes follow each other closer than its
        // closing silence) and dropped. A reply of its that has not started
        // yet may come as late as its time-out, which no fixed wait covers;
        // the fixed quiet bought a part of that at the price of every start
        // of every command, and is kept only where no note can be kept.
        const auto frameOnLine = now + FrameEndSilence();
        until = m_recordUsable ? std::clamp(ReadRecord(), frameOnLine, longest)
                               : now + ResponseTimeout() + LateHorizon();
        if (m_recordUsable) ReadRecordFrames();
    }
    Drain(fd, until);
    if (m_recordUsable) WriteRecord({});
    return true;
}

void ModbusRtuTransport::SetLateHorizon(std::chrono::milliseconds horizon) {
    m_lateHorizon = std::max(horizon, std::chrono::milliseconds(0));
}

std::chrono::milliseconds ModbusRtuTransport::LateHorizon() const {
    if (m_lateHorizon.count() > 0) return m_lateHorizon;
    return std::max(kMinLateHorizon, ResponseTimeout() * kLateHorizonTimeOuts);
}

std::chrono::nanoseconds ModbusRtuTransport::FrameEndSilence() const {
    return std::max<std::chrono::nanoseconds>(m_settings.SilentInterval(), std::chrono::milliseconds(2));
}

bool ModbusRtuTransport::Drain(int fd, Clock::time_point until) {
    if (fd < 0) return true;
    // Bytes of one reply follow each other within the byte time-out; a pause
    // that long ends a broken one. A whole frame is over once the line has
    // been silent for a moment after it.
    const auto gap = m_settings.ByteTimeout();
    const auto silent = FrameEndSilence();
    const auto limit = std::max(until, Clock::now()) + LateHorizon();
    bool seen = !m_backlog.empty();
    Clock::time_point lastByte = seen ? Clock::now() : Clock::time_point{};
    uint8_t buffer[512];
    bool deviceFailed = false;
    bool firstRead = true;
    for (;;) {
        // The whole frames among the bytes read, by their function's length.
        while (!m_backlog.empty()) {
            const int length = RtuReplyLength(m_backlog.data(), m_backlog.size());
            if (length <= 0 || m_backlog.size() < static_cast<size_t>(length)) break;
            const Bytes frame(m_backlog.begin(), m_backlog.begin() + length);
            m_backlog.erase(m_backlog.begin(), m_backlog.begin() + length);
            NoteStray(frame, lastByte);
        }
        const auto now = Clock::now();
        const auto done = !seen ? until : std::max(until, lastByte + (m_backlog.empty() ? silent : gap));
        if (!firstRead && (now >= done || now >= limit)) break;
        const auto wait = firstRead ? std::chrono::microseconds(0)
                                    : std::chrono::duration_cast<std::chrono::microseconds>(std::min(done, limit) - now);
        firstRead = false;
        pollfd p{fd, POLLIN, 0};
        const timespec ts{static_cast<time_t>(wait.count() / 1000000), static_cast<long>(wait.count() % 1000000) * 1000};
        const int n = ::ppoll(&p, 1, &ts, nullptr);
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            deviceFailed = true;
            break;
        }
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                if (got < 0 && errno != EAGAIN && errno != EINTR) deviceFailed = true;
                break;
            }
            m_backlog.insert(m_backlog.end(), buffer, buffer + got);
            seen = true;
            lastByte = Clock::now();
        }
        if (deviceFailed) break;
    }
    // What never became a frame counts once.
    if (!m_backlog.empty()) {
        if (FrameTrace* trace = Trace()) trace->Received(m_backlog.data(), m_backlog.size(), "no frame, dropped");
        ++m_lateReplies;
        m_backlog.clear();
    }
    const auto now = Clock::now();
    if (seen) m_lineQuietSince = std::max(m_lineQuietSince, lastByte);
    // Every station whose replies were due by now has been waited out too.
    for (Pending& p : m_pending)
        if (p.active && p.until <= now) p = Pending{};
    return !deviceFailed;
}

ModbusRtuTransport::Clock::time_point ModbusRtuTransport::QuietBy() const {
    Clock::time_point until{};
    for (const Pending& p : m_pending)
        if (p.active) until = std::max(until, p.until);
    for (const Unsettled& u : m_unsettled)
        if (u.active) until = std::max(until, u.until);
    // On a line that repeats frames, the copy of the last one may still come.
    if (m_copiesSeen && !m_seen.empty())
        until = std::max(until, m_seen.back().at + kCopyWindow + WireTime(256));
    return until;
}

void ModbusRtuTransport::DrainAll(modbus_t* ctx) {
    const auto until = QuietBy();
    if (until > Clock::now()) Drain(modbus_get_socket(ctx), until);
}

void ModbusRtuTransport::BeforeClose(modbus_t* ctx) {
    const int fd = modbus_get_socket(ctx);
    if (fd < 0) return;
    // The next program to open the port must not take our late replies for
    // its answers. With a note it can read, the note tells it until when to
    // wait (if it comes that soon); without one, the line is waited quiet here.
    if (m_recordUsable) {
        CloseRecord(QuietBy());
    } else {
        DrainAll(ctx);
    }
    // The flag outlives the descriptor on a pseudo-terminal whose other side
    // stays open; clear it so that the port can be opened again.
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
}

std::chrono::microseconds ModbusRtuTransport::SendTime(int requestBytes) const {
    return std::chrono::duration_cast<std::chrono::microseconds>(m_settings.CharTime() * requestBytes);
}

std::chrono::microseconds ModbusRtuTransport::WireTime(size_t bytes) const {
    return SendTime(static_cast<int>(bytes));
}

namespace {

// "/dev/ttyUSB0" as "dev-ttyUSB0": one note per device, whatever link led to it.
std::string RecordName(const std::string& device) {
    char resolved[PATH_MAX];
    std::string path = ::realpath(device.c_str(), resolved) ? resolved : device;
    std::string name;
    for (char c : path) {
        if (c == '/') {
            if (!name.empty()) name += '-';
        } else {
            name += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' ? c : '_';
        }
    }
    return name.empty() ? "port" : name;
}

constexpr size_t kRecordBytes = 21;  // 20 digits and a line end

}  // namespace

void ModbusRtuTransport::OpenRecord() {
    CloseRecord({});
    std::error_code ec;
    std::filesystem::create_directories(m_recordFolder, ec);
    const std::string path = m_recordFolder + "/" + RecordName(m_settings.device);
    m_recordFd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    m_recordUsable = m_recordFd >= 0;
    m_recorded = {};
}

ModbusRtuTransport::Clock::time_point ModbusRtuTransport::ReadRecord() const {
    char text[kRecordBytes + 1] = {};
    const ssize_t n = ::pread(m_recordFd, text, kRecordBytes, 0);
    if (n <= 0) return {};
    long long ns = 0;
    for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) ns = ns * 10 + (text[i] - '0');
    return Clock::time_point(std::chrono::nanoseconds(ns));
}

void ModbusRtuTransport::WriteRecord(Clock::time_point until) {
    // Written ahead by a tenth of the horizon, so that a steady flow of
    // requests rewrites it only now and then.
    if (until != Clock::time_point{} && until <= m_recorded) return;
    if (until != Clock::time_point{}) until += LateHorizon() / 10;
    char text[kRecordBytes + 1];
    std::snprintf(text, sizeof text, "%020lld\n",
                  static_cast<long long>(
                      std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count()));
    if (::pwrite(m_recordFd, text, kRecordBytes, 0) == static_cast<ssize_t>(kRecordBytes)) m_recorded = until;
}

void ModbusRtuTransport::ReadRecordFrames() {
    // After the time: a line for each frame, its time and its bytes in hex.
    char text[4096];
    const ssize_t n = ::pread(m_recordFd, text, sizeof text - 1, kRecordBytes);
    text[std::max<ssize_t>(n, 0)] = '\0';
    const auto now = Clock::now();
    for (const char* line = text; *line;) {
        char* end = nullptr;
        const Clock::time_point at{std::chrono::nanoseconds(std::strtoll(line, &end, 10))};
        // The frame, then what it answered there ("/", the request; "/ 00"
        // for no question of this program).
        Bytes frame, answered;
        for (Bytes* bytes : {&frame, &answered}) {
            for (unsigned byte = 0; *end == ' ' && std::sscanf(end, " %2x", &byte) == 1; end += 3)
                bytes->push_back(static_cast<uint8_t>(byte));
            if (end[0] == ' ' && end[1] == '/') end += 2;
        }
        if (frame.size() >= 4 && at <= now && now - at <= kCopyWindow + WireTime(frame.size()))
            m_seen.push_back(Seen{frame, at, answered});
        line = *end ? end + 1 : end;
    }
}

void ModbusRtuTransport::ForgetAnswers(uint8_t station) {
    for (Seen& s : m_seen)
        if (!s.answered.empty() && (station == 0 || s.answered[0] == station)) s.answered = Bytes{0};
}

void ModbusRtuTransport::CloseRecord(Clock::time_point until) {
    if (m_recordFd < 0) return;
    // Until when a reply to this program's requests may still come; nothing
    // once every reply has been waited out.
    m_recorded = {};
    WriteRecord(until > Clock::now() ? until : Clock::time_point{});
    // And the frames a copy of which may still come, oldest first; the
    // newest where not all of them fit what the next program reads.
    std::string frames;
    const auto now = Clock::now();
    for (auto s = m_seen.rbegin(); s != m_seen.rend() && now - s->at <= kCopyWindow + WireTime(256); ++s) {
        std::string line = std::to_string(std::chrono::nanoseconds(s->at.time_since_epoch()).count()) + ' ' +
                           FrameTrace::Hex(s->frame.data(), s->frame.size());
        if (!s->answered.empty()) line += " / " + FrameTrace::Hex(s->answered.data(), s->answered.size());
        if (frames.size() + line.size() + 1 > 4000) break;
        frames = line + '\n' + frames;
    }
    if (::ftruncate(m_recordFd, kRecordBytes) == 0 && !frames.empty())
        (void)!::pwrite(m_recordFd, frames.data(), frames.size(), kRecordBytes);
    ::close(m_recordFd);
    m_recordFd = -1;
    m_recordUsable = false;
}

// What the link remembers of the frames it saw and of the drive's pace (the
// exchange itself: ModbusRtuExchange.cpp).

const ModbusRtuTransport::Seen* ModbusRtuTransport::EarlierCopy(const Bytes& frame, Clock::time_point at) const {
    const auto window = kCopyWindow + WireTime(frame.size());
    for (auto it = m_seen.rbegin(); it != m_seen.rend(); ++it) {
        if (at - it->at > window) break;
        if (it->frame == frame) return &*it;
    }
    return nullptr;
}

void ModbusRtuTransport::Remember(const Bytes& frame, Clock::time_point at, const Bytes& answered) {
    const auto keep = kCopyWindow + WireTime(256);
    const auto old = std::find_if(m_seen.begin(), m_seen.end(), [&](const Seen& s) { return at - s.at <= keep; });
    m_seen.erase(m_seen.begin(), old);
    m_seen.push_back(Seen{frame, at, answered});
}

bool ModbusRtuTransport::NoteStray(const Bytes& frame, Clock::time_point at) {
    ++m_lateReplies;
    FrameTrace* trace = Trace();
    if (frame.size() < 4 || ModbusCrc16(frame.data(), frame.size()) != 0) {
        if (trace) trace->Received(frame.data(), frame.size(), "damaged, dropped");
        return true;
    }
    bool fine = true;
    const Seen* copy = EarlierCopy(frame, at);
    if (trace) trace->Received(frame.data(), frame.size(), copy ? "copy of an earlier frame, dropped" : "late or for another request, dropped");
    // A frame taken as an answer came again: the line repeats.
    if (copy && !copy->answered.empty()) m_copiesSeen = true;
    // The true reply to a request whose answer may have been a copy: if it
    // says something else, that answer was the copy. It may say what a frame
    // before it said (a block of zeros): a frame alike to an earlier one,
    // which nothing tells from a copy, gives the answer up too.
    Unsettled& u = m_unsettled[frame[0]];
    if (u.active && Answers(frame, u.request) && (!copy || frame != u.taken)) {
        if (!u.sameQuestion && frame != u.taken) {
            m_repeated[frame[0]] = true;
            m_copiesSeen = true;
            fine = false;
        }
        u = Unsettled{};
    }
    Remember(frame, at, {});
    return fine;
}

bool ModbusRtuTransport::LineKeepsTime(uint8_t station) const {
    // A pseudo-terminal's far end may answer faster than any serial line:
    // only where no answer ever came before its time on the line is that
    // time a bound.
    const AnswerTimes& t = m_answerTimes[station];
    if (t.count == 0) return false;
    for (size_t i = 0; i < std::min(t.count, t.late.size()); ++i)
        if (t.late[i] < -std::chrono::milliseconds(1)) return false;
    return true;
}

void ModbusRtuTransport::NoteAnswerTime(uint8_t station, Clock::duration afterSend, size_t replyBytes) {
    AnswerTimes& t = m_answerTimes[station];
    // Beyond the reply's own time on the line (less than nothing on a
    // pseudo-terminal, whose far end may answer at once).
    t.late[t.count % t.late.size()] = afterSend - WireTime(replyBytes);
    ++t.count;
}

}  // namespace hx
