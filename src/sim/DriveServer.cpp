#include "sim/DriveServer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "core/link/FrameTrace.h"
#include "core/link/ModbusFrame.h"
#include "sim/ModbusPdu.h"
#include "sim/PosixIo.h"
#include "sim/VirtualDrive.h"

namespace hx::sim {
namespace {

using namespace std::chrono_literals;

// A drive needs a moment between the end of a request and its reply.
constexpr auto kTurnaround = 200us;
// Replies trickle out in pieces of about this much line time.
constexpr auto kChunkTime = 1ms;
// Silent interval that ends a frame, at least this long: a pseudo-terminal
// delivers a client's frame in one piece, but a loaded machine may delay it.
constexpr auto kMinGap = 4ms;
constexpr size_t kMaxRtuFrame = 256;

void MakeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
}

timespec ToTimespec(std::chrono::steady_clock::time_point t) {
    // steady_clock is CLOCK_MONOTONIC here.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1000000000);
    ts.tv_nsec = static_cast<long>(ns % 1000000000);
    return ts;
}

timespec ToTimespec(std::chrono::nanoseconds d) {
    if (d < 0ns) d = 0ns;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
    return ts;
}

// Bits per character of the line settings the client chose.
int BitsFromTermios(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return 11;
    int data = 8;
    switch (t.c_cflag & CSIZE) {
    case CS5: data = 5; break;
    case CS6: data = 6; break;
    case CS7: data = 7; break;
    default: data = 8; break;
    }
    return 1 + data + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
}


}  // namespace

DriveServer::DriveServer(VirtualDrive& drive, const DriveOptions& options)
    : DriveServer(std::vector<VirtualDrive*>{&drive}, options) {
    std::lock_guard lock(m_mutex);
    m_drives = {{options.station, &drive}};
}

DriveServer::DriveServer(const std::vector<VirtualDrive*>& drives, const DriveOptions& lineOptions)
    : m_options(lineOptions),
      m_dropRate(lineOptions.dropRate),
      m_corruptRate(lineOptions.corruptRate),
      m_delayMs(lineOptions.delayMs),
      m_duplicateRate(lineOptions.duplicateRate),
      m_duplicateDelay(lineOptions.duplicateDelayMs),
      m_rng(lineOptions.seed) {
    for (VirtualDrive* d : drives) {
        const uint8_t station = d->Options().station;
        if (station == 0 || !m_drives.emplace(station, d).second)
            throw std::invalid_argument("two drives cannot answer at station " + std::to_string(station));
    }
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) throw SysError("pipe");
}

DriveServer::~DriveServer() {
    Stop();
    for (auto& c : m_clients) CloseTcp(c);
    if (m_listen >= 0) ::close(m_listen);
    if (!m_linkPath.empty()) {
        std::error_code ec;
        if (std::filesystem::read_symlink(m_linkPath, ec) == m_slavePath) std::filesystem::remove(m_linkPath, ec);
    }
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
    for (int fd : m_wake)
        if (fd >= 0) ::close(fd);
}

std::string DriveServer::OpenPty(const std::string& linkPath) {
    if (m_master >= 0) throw std::runtime_error("the pseudo-terminal is already open");
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) throw SysError("openpty");
    // Raw at once, so nothing a client sends is echoed back before it has
    // set the line up itself. The slave stays open here, so the master
    // never sees a hang-up when a client closes.
    MakeRaw(m_slave);
    MakeRaw(m_master);
    SetFlags(m_master, true);
    SetFlags(m_slave, false);
    m_slavePath = name;
    if (!linkPath.empty()) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const auto status = fs::symlink_status(linkPath, ec);
        if (fs::is_symlink(status)) {
            fs::remove(linkPath, ec);
        } else if (fs::exists(status)) {
            throw std::runtime_error(linkPath + " exists and is not a symbolic link; not replacing it");
        }
        fs::create_symlink(m_slavePath, linkPath, ec);
        if (ec) throw std::runtime_error("cannot create " + linkPath + ": " + ec.message());
        m_linkPath = linkPath;
    }
    return m_slavePath;
}

void DriveServer::Start() {
    if (m_thread.joinable()) return;
    char drain[64];
    while (::read(m_wake[0], drain, sizeof drain) > 0) {
    }
    m_stopping = false;
    m_thread = std::thread([this] { Run(); });
}

void DriveServer::Stop() {
    if (!m_thread.joinable()) return;
    m_stopping = true;
    const char c = 1;
    (void)!::write(m_wake[1], &c, 1);
    m_thread.join();
}


void DriveServer::LoseReplies(double rate) {
    std::lock_guard lock(m_mutex);
    m_dropRate = rate;
}

void DriveServer::DamageReplies(double rate) {
    std::lock_guard lock(m_mutex);
    m_corruptRate = rate;
}

void DriveServer::AnswerLate(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_delayMs = static_cast<int>(delay.count());
}

void DriveServer::ClearFaults() {
    std::lock_guard lock(m_mutex);
    m_dropRate = 0;
    m_corruptRate = 0;
    m_delayMs = 0;
    m_duplicateRate = 0;
    m_gatewayLossRate = 0;
    m_strays.clear();
}

void DriveServer::DuplicateReplies(double rate, std::chrono::milliseconds maxDelay) {
    std::lock_guard lock(m_mutex);
    m_duplicateRate = rate;
    m_duplicateDelay = maxDelay;
}

void DriveServer::LoseWritesTo(uint16_t address, int count, bool carryOut) {
    std::lock_guard lock(m_mutex);
    m_loseAddress = address;
    m_loseCount = count;
    m_loseCarryOut = carryOut;
}

void DriveServer::StrayFrame(std::vector<uint8_t> frame, std::chrono::milliseconds after) {
    std::lock_guard lock(m_mutex);
    m_strays.emplace_back(after, std::move(frame));
}

void DriveServer::GatewayLosesReplies(double rate) {
    std::lock_guard lock(m_mutex);
    m_gatewayLossRate = rate;
}

void DriveServer::SetStation(uint8_t station) {
    std::lock_guard lock(m_mutex);
    if (m_drives.size() != 1) throw std::logic_error("only a server of one drive can move it to another station");
    VirtualDrive* drive = m_drives.begin()->second;
    m_drives = {{station, drive}};
}

VirtualDrive* DriveServer::DriveAt(uint8_t station) const {
    const auto it = m_drives.find(station);
    return it == m_drives.end() ? nullptr : it->second;
}

std::vector<VirtualDrive*> DriveServer::AllDrives() const {
    std::vector<VirtualDrive*> all;
    for (const auto& [station, drive] : m_drives) all.push_back(drive);
    return all;
}

DriveServer::Stats DriveServer::GetStats() const {
    std::lock_guard lock(m_mutex);
    return m_stats;
}

std::chrono::nanoseconds DriveServer::CharTime() const {
    if (m_options.baud <= 0) return 0ns;
    int bits = m_options.bitsPerChar;
    if (bits <= 0) bits = m_master >= 0 ? BitsFromTermios(m_master) : 11;
    return std::chrono::nanoseconds(static_cast<int64_t>(bits) * 1000000000LL / m_options.baud);
}

std::chrono::nanoseconds DriveServer::RtuGap() const {
    const auto gap = CharTime() * 7 / 2;
    return std::max<std::chrono::nanoseconds>(gap, kMinGap);
}

void DriveServer::Run() {
    // A line hands on each byte at its time; the kernel's default slack of
    // 50 us on every sleep would make each reply that much later than any
    // drive's, an answer delay of the simulation alone.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    while (!m_stopping) {
        std::vector<pollfd> fds;
        fds.push_back({m_wake[0], POLLIN, 0});
        const size_t masterAt = fds.size();
        if (m_master >= 0) fds.push_back({m_master, POLLIN, 0});
        const size_t listenAt = fds.size();
        if (m_listen >= 0 && m_clients.size() < kMaxTcpClients) fds.push_back({m_listen, POLLIN, 0});
        const size_t clientsAt = fds.size();
        for (auto& c : m_clients) fds.push_back({c.fd, POLLIN, 0});

        // Wake at the end of the silent interval when a frame is pending,
        // else now and then.
        std::chrono::nanoseconds wait = 500ms;
        const bool rtuPending = !m_rtuBuffer.empty() || m_rtuDiscarding;
        if (rtuPending) wait = std::min(wait, (m_rtuLastByte + RtuGap()) - Clock::now());
        if (!m_copies.empty()) wait = std::min<std::chrono::nanoseconds>(wait, NextCopyDue() - Clock::now());
        timespec ts = ToTimespec(wait);
        int n = ::ppoll(fds.data(), fds.size(), &ts, nullptr);
        if (n < 0 && errno != EINTR) break;
        if (m_stopping) break;
        if (n < 0) continue;

        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (m_master >= 0 && (fds[masterAt].revents & (POLLIN | POLLERR | POLLHUP))) ReadRtu();
        if ((!m_rtuBuffer.empty() || m_rtuDiscarding) && Clock::now() - m_rtuLastByte >= RtuGap()) {
            m_rtuDiscarding = false;
            ProcessRtuBuffer(true);
        }
        SendDueCopies();
        if (listenAt < clientsAt && (fds[listenAt].revents & POLLIN)) AcceptTcp();
        // Serve the clients polled this round; new ones wait for the next.
        std::vector<int> gone;
        for (size_t i = clientsAt; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLERR | POLLHUP))) continue;
            auto it = std::find_if(m_clients.begin(), m_clients.end(), [&](auto& c) { return c.fd == fds[i].fd; });
            if (it != m_clients.end() && !ReadTcp(*it)) gone.push_back(it->fd);
        }
        for (int fd : gone) {
            auto it = std::find_if(m_clients.begin(), m_clients.end(), [&](auto& c) { return c.fd == fd; });
            if (it != m_clients.end()) {
                CloseTcp(*it);
                m_clients.erase(it);
            }
        }
    }
}

void DriveServer::ReadRtu() {
    uint8_t buf[512];
    for (;;) {
        ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        const auto now = Clock::now();
        if ((!m_rtuBuffer.empty() || m_rtuDiscarding) && now - m_rtuLastByte >= RtuGap()) {
            // A silent interval ended whatever came before.
            if (!m_rtuBuffer.empty()) ProcessRtuBuffer(true);
            m_rtuBuffer.clear();
            m_rtuDiscarding = false;
        }
        m_rtuLastByte = now;
        if (m_rtuDiscarding) continue;
        if (m_rtuBuffer.empty()) m_rtuFirstByte = now;
        m_rtuBuffer.insert(m_rtuBuffer.end(), buf, buf + n);
        ProcessRtuBuffer(false);
    }
}

void DriveServer::ProcessRtuBuffer(bool gapElapsed) {
    while (!m_rtuBuffer.empty()) {
        const int len = RtuRequestLength(m_rtuBuffer.data(), m_rtuBuffer.size());
        if (len == 0 || (len > 0 && m_rtuBuffer.size() < static_cast<size_t>(len))) {
            if (!gapElapsed && m_rtuBuffer.size() <= kMaxRtuFrame) return;  // more to come
            std::lock_guard lock(m_mutex);
            ++m_stats.framesRejected;
            m_rtuBuffer.clear();
            m_rtuDiscarding = !gapElapsed;
            return;
        }
        if (len < 0) {
            // Unknown function: the frame is whatever came before the silence.
            if (!gapElapsed) {
                if (m_rtuBuffer.size() <= kMaxRtuFrame) return;
                m_rtuBuffer.clear();
                m_rtuDiscarding = true;
                std::lock_guard lock(m_mutex);
                ++m_stats.framesRejected;
                return;
            }
            std::vector<uint8_t> frame;
            frame.swap(m_rtuBuffer);
            if (CrcMatches(frame.data(), frame.size())) {
                HandleRtuFrame(frame.data(), frame.size());
            } else {
                std::lock_guard lock(m_mutex);
                ++m_stats.framesRejected;
            }
            return;
        }
        if (!CrcMatches(m_rtuBuffer.data(), static_cast<size_t>(len))) {
            // Out of step or damaged: drop everything up to the next silence.
            m_rtuBuffer.clear();
            m_rtuDiscarding = !gapElapsed;
            std::lock_guard lock(m_mutex);
            ++m_stats.framesRejected;
            return;
        }
        std::vector<uint8_t> frame(m_rtuBuffer.begin(), m_rtuBuffer.begin() + len);
        m_rtuBuffer.erase(m_rtuBuffer.begin(), m_rtuBuffer.begin() + len);
        HandleRtuFrame(frame.data(), frame.size());
        m_rtuFirstByte = Clock::now();
    }
}

void DriveServer::HandleRtuFrame(const uint8_t* frame, size_t size) {
    if (m_trace) m_trace->Received(frame, size, "");
    const uint8_t station = frame[0];
    const uint8_t* pdu = frame + 1;
    const size_t pduSize = size - 3;
    VirtualDrive* drive = nullptr;
    std::vector<VirtualDrive*> everyone;
    std::vector<std::pair<std::chrono::milliseconds, std::vector<uint8_t>>> strays;
    {
        std::lock_guard lock(m_mutex);
        ++m_stats.framesReceived;
        strays.swap(m_strays);
        if (station == 0) {
            ++m_stats.broadcasts;
            everyone = AllDrives();
        } else if (!(drive = DriveAt(station))) {
            ++m_stats.otherStation;
        }
    }
    for (auto& [after, frame] : strays) Schedule(Clock::now() + after, std::move(frame));
    if (station == 0) {
        if (IsWriteFunction(pdu[0]))
            for (VirtualDrive* d : everyone) ExecutePdu(*d, 0, pdu, pduSize);
        return;
    }
    // Nobody else on the line says a word.
    if (!drive) return;
    if (DecideDrop()) {
        if (m_trace) m_trace->Note("no reply (the line loses it)");
        return;
    }
    if (IsWriteFunction(pdu[0]) && pduSize >= 3) {
        bool lose = false, carryOut = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_loseCount > 0 && (pdu[1] << 8 | pdu[2]) == m_loseAddress) {
                --m_loseCount;
                ++m_stats.repliesDropped;
                lose = true;
                carryOut = m_loseCarryOut;
            }
        }
        if (lose) {
            if (carryOut) ExecutePdu(*drive, station, pdu, pduSize);
            if (m_trace) m_trace->Note(carryOut ? "carried out, reply lost" : "request lost");
            return;
        }
    }
    std::vector<uint8_t> reply{station};
    const auto replyPdu = ExecutePdu(*drive, station, pdu, pduSize);
    reply.insert(reply.end(), replyPdu.begin(), replyPdu.end());
    AppendCrc(reply);
    MaybeCorrupt(reply);
    SendDueCopies();
    // With a repeater on the line, replies reach the client whole, as the
    // repeater passes frames on, and copies go out between them.
    bool trickle;
    {
        std::lock_guard lock(m_mutex);
        trickle = m_duplicateRate <= 0 && m_copies.empty();
    }
    if (SendPaced(m_master, trickle, reply, m_rtuFirstByte, size, reply.size())) {
        if (m_trace) m_trace->Sent(reply.data(), reply.size());
        {
            std::lock_guard lock(m_mutex);
            ++m_stats.repliesSent;
        }
        MaybeDuplicate(reply);
    }
}

void DriveServer::MaybeDuplicate(const std::vector<uint8_t>& frame) {
    Clock::time_point due;
    {
        std::lock_guard lock(m_mutex);
        if (m_duplicateRate <= 0 || std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) >= m_duplicateRate) return;
        const auto most = std::chrono::duration_cast<std::chrono::microseconds>(m_duplicateDelay).count();
        due = Clock::now() + std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, most)(m_rng));
    }
    Schedule(due, frame);
}

void DriveServer::Schedule(Clock::time_point due, std::vector<uint8_t> frame) {
    const auto at = std::upper_bound(m_copies.begin(), m_copies.end(), due,
                                     [](Clock::time_point t, const auto& copy) { return t < copy.first; });
    m_copies.emplace(at, due, std::move(frame));
}

DriveServer::Clock::time_point DriveServer::NextCopyDue() const {
    return m_copies.empty() ? Clock::time_point::max() : m_copies.front().first;
}

void DriveServer::SendDueCopies() {
    while (!m_copies.empty() && m_copies.front().first <= Clock::now()) {
        const std::vector<uint8_t> frame = std::move(m_copies.front().second);
        m_copies.erase(m_copies.begin());
        if (WriteAll(m_master, frame.data(), frame.size())) {
            if (m_trace) m_trace->Note("copy of a reply: " + FrameTrace::Hex(frame.data(), frame.size()));
            std::lock_guard lock(m_mutex);
            ++m_stats.repliesDuplicated;
        }
    }
}

bool DriveServer::DecideDrop() {
    std::lock_guard lock(m_mutex);
    if (m_dropRate <= 0) return false;
    if (std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < m_dropRate) {
        ++m_stats.repliesDropped;
        return true;
    }
    return false;
}

void DriveServer::MaybeCorrupt(std::vector<uint8_t>& frame) {
    std::lock_guard lock(m_mutex);
    if (m_corruptRate <= 0 || frame.empty()) return;
    if (std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) >= m_corruptRate) return;
    // One damaged byte anywhere (station, function, data or CRC): the CRC
    // always catches a single damaged byte.
    const size_t at = std::uniform_int_distribution<size_t>(0, frame.size() - 1)(m_rng);
    frame[at] ^= static_cast<uint8_t>(std::uniform_int_distribution<int>(1, 255)(m_rng));
    ++m_stats.repliesCorrupted;
}

bool DriveServer::SendPaced(int fd, bool trickle, const std::vector<uint8_t>& frame, Clock::time_point requestSeen,
                            size_t requestWireBytes, size_t replyWireBytes) {
    int delayMs;
    {
        std::lock_guard lock(m_mutex);
        delayMs = m_delayMs;
    }
    const auto ct = CharTime();
    const auto extra = std::chrono::milliseconds(std::max(0, delayMs));
    // Copies and strays due before the reply go out on time, between replies.
    const auto waitSendingCopies = [&](Clock::time_point end) {
        while (fd == m_master && NextCopyDue() < end) {
            if (!SleepUntil(NextCopyDue())) return false;
            SendDueCopies();
        }
        return SleepUntil(end);
    };
    if (ct == 0ns) {
        if (extra > 0ms && !waitSendingCopies(Clock::now() + extra)) return false;
        return WriteAll(fd, frame.data(), frame.size());
    }
    // The request reached a real drive only after its last character.
    const auto start = std::max(Clock::now(), requestSeen + ct * static_cast<int64_t>(requestWireBytes)) +
                       kTurnaround + extra;
    if (!trickle) {
        if (!waitSendingCopies(start + ct * static_cast<int64_t>(replyWireBytes))) return false;
        return WriteAll(fd, frame.data(), frame.size());
    }
    // Byte i is on the client's side once its last bit has arrived.
    const size_t chunk = std::max<size_t>(1, static_cast<size_t>(std::chrono::nanoseconds(kChunkTime) / ct));
    for (size_t i = 0; i < frame.size(); i += chunk) {
        const size_t end = std::min(frame.size(), i + chunk);
        if (!SleepUntil(start + ct * static_cast<int64_t>(end))) return false;
        if (!WriteAll(fd, frame.data() + i, end - i)) return false;
    }
    return true;
}

bool DriveServer::SleepUntil(Clock::time_point deadline) {
    for (;;) {
        if (m_stopping) return false;
        const auto now = Clock::now();
        if (now >= deadline) return true;
        const auto left = deadline - now;
        if (left > 30ms) {
            // Long waits watch for Stop().
            pollfd p{m_wake[0], POLLIN, 0};
            timespec ts = ToTimespec(std::min<std::chrono::nanoseconds>(left - 20ms, 200ms));
            if (::ppoll(&p, 1, &ts, nullptr) > 0) return false;
            continue;
        }
        timespec ts = ToTimespec(deadline);
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
    }
}

bool DriveServer::WriteAll(int fd, const uint8_t* data, size_t size) {
    int stalls = 0;
    while (size > 0) {
        ssize_t n = (fd == m_master) ? ::write(fd, data, size) : ::send(fd, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && ++stalls <= 10 && !m_stopping) {
            // Nobody reads the other side: give it a second, then let go.
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        return false;
    }
    return true;
}


}  // namespace hx::sim
