#include "core/link/ModbusRtuTransport.h"

#include <linux/serial.h>
#include <modbus/modbus.h>
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
    ::tcflush(fd, TCIOFLUSH);
    m_lineQuietSince = std::chrono::steady_clock::now();
    return true;
}

void ModbusRtuTransport::BeforeClose(modbus_t* ctx) {
    const int fd = modbus_get_socket(ctx);
    if (fd < 0) return;
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
    auto earliest = m_lineQuietSince + m_settings.SilentInterval();
    // RTU replies carry no request number: a late reply from the station
    // asked last would pass for the answer to a new request to the same
    // station. Give it time to arrive, so that the flush below drops it.
    // (Another station's reply is refused by its address.)
    if (m_lateStation != 0 && station == m_lateStation) earliest = std::max(earliest, m_lateUntil);
    m_lateStation = 0;
    if (std::chrono::steady_clock::now() < earliest) std::this_thread::sleep_until(earliest);
    // A reply that came in after its time-out must not pass for the answer
    // to this request.
    const int fd = modbus_get_socket(ctx);
    if (fd >= 0) ::tcflush(fd, TCIFLUSH);
}

void ModbusRtuTransport::AfterExchange(uint8_t station, bool broadcast, int requestBytes, LinkError outcome) {
    const auto now = std::chrono::steady_clock::now();
    // A broadcast returns as soon as the driver has the bytes; the frame is
    // still going out for its own length.
    m_lineQuietSince = broadcast ? now + SendTime(requestBytes) : now;
    if (!broadcast && outcome == LinkError::Timeout) {
        m_lateStation = station;
        m_lateUntil = now + ResponseTimeout();
    }
}

}  // namespace hx
