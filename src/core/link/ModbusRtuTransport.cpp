#include "core/link/ModbusRtuTransport.h"

#include <linux/serial.h>
#include <modbus/modbus.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

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

ModbusRtuTransport::ModbusRtuTransport(SerialSettings settings) : m_settings(std::move(settings)) {}

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

bool ModbusRtuTransport::AfterConnect(modbus_t* ctx) {
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
    // A program that used the port before may have left a request whose
    // reply is still on its way: start only on a line that has been quiet.
    const auto now = Clock::now();
    Drain(fd, now + kOpenQuiet, kOpenQuiet, now + std::chrono::seconds(1));
    m_latePending = false;
    m_lineQuietSince = Clock::now();
    return true;
}

std::chrono::microseconds ModbusRtuTransport::LateWindow() const {
    constexpr int kLongestReplyBytes = 256;
    return std::chrono::duration_cast<std::chrono::microseconds>(ResponseTimeout() * 2 +
                                                                 m_settings.CharTime() * kLongestReplyBytes) +
           std::chrono::milliseconds(5);
}

void ModbusRtuTransport::Drain(int fd, Clock::time_point until, std::chrono::microseconds quiet,
                               Clock::time_point limit) {
    if (fd < 0) return;
    bool seen = false;
    Clock::time_point lastByte{};
    uint8_t buffer[512];
    for (;;) {
        const auto now = Clock::now();
        const auto done = seen ? std::max(until, lastByte + quiet) : until;
        if (now >= done || now >= limit) break;
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(std::min(done, limit) - now);
        pollfd p{fd, POLLIN, 0};
        const timespec ts{static_cast<time_t>(wait.count() / 1000000), static_cast<long>(wait.count() % 1000000) * 1000};
        const int n = ::ppoll(&p, 1, &ts, nullptr);
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) break;
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0) break;
            seen = true;
            lastByte = Clock::now();
        }
    }
    ::tcflush(fd, TCIFLUSH);
    m_lineQuietSince = Clock::now();
}

void ModbusRtuTransport::DrainLateReply(modbus_t* ctx) {
    if (!m_latePending) return;
    m_latePending = false;
    // Bytes of a long reply follow each other closely; a pause this long
    // means the reply is over.
    constexpr std::chrono::milliseconds kQuietAfterBytes{20};
    Drain(modbus_get_socket(ctx), m_lateUntil, kQuietAfterBytes, m_lateUntil + std::chrono::seconds(2));
}

void ModbusRtuTransport::BeforeClose(modbus_t* ctx) {
    const int fd = modbus_get_socket(ctx);
    if (fd < 0) return;
    // The next program to open the port must not receive our late reply.
    DrainLateReply(ctx);
    // The flag outlives the descriptor on a pseudo-terminal whose other side
    // stays open; clear it so that the port can be opened again.
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
}

std::chrono::microseconds ModbusRtuTransport::SendTime(int requestBytes) const {
    return std::chrono::duration_cast<std::chrono::microseconds>(m_settings.CharTime() * requestBytes);
}

void ModbusRtuTransport::BeforeSend(modbus_t* ctx, uint8_t station, int /*requestBytes*/) {
    // The drive (and any other station on the bus) tells frames apart by the
    // silence between them; libmodbus sends at once, so keep it here.
    // RTU replies carry no request number: the late reply to a request that
    // went unanswered (or came back damaged) would pass for the answer to a
    // new request to the same station. Wait it out, dropping whatever
    // arrives, until the line is silent. Another station's late reply fails
    // the station check and is waited out then, so a search keeps its pace.
    if (m_latePending && station == m_lateStation) DrainLateReply(ctx);
    const auto earliest = m_lineQuietSince + m_settings.SilentInterval();
    if (Clock::now() < earliest) std::this_thread::sleep_until(earliest);
    // A reply that came in after its time-out must not pass for the answer
    // to this request.
    const int fd = modbus_get_socket(ctx);
    if (fd >= 0) ::tcflush(fd, TCIFLUSH);
}

void ModbusRtuTransport::AfterExchange(uint8_t station, bool broadcast, int requestBytes, LinkError outcome) {
    const auto now = Clock::now();
    // A broadcast returns as soon as the driver has the bytes; the frame is
    // still going out for its own length.
    m_lineQuietSince = broadcast ? now + SendTime(requestBytes) : now;
    if (!broadcast && (outcome == LinkError::Timeout || outcome == LinkError::BadFrame)) {
        m_latePending = true;
        m_lateStation = station;
        m_lateUntil = now + LateWindow();
    }
}

}  // namespace hx
