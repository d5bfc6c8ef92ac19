#pragma once
// Modbus RTU on a serial device (a USB-serial adapter, a built-in port or a
// pseudo-terminal). Keeps the silent interval between frames that libmodbus
// leaves to the caller, asks USB adapters for low latency, and claims the
// port so that two programs never share it.

#include <chrono>
#include <string>

#include "core/link/ModbusTransport.h"

namespace hx {

struct SerialSettings {
    std::string device;   // "/dev/ttyUSB0"
    int baud = 38400;
    char parity = 'N';    // 'N', 'O' or 'E'
    int dataBits = 8;
    int stopBits = 1;

    // Start bit, data bits, parity bit, stop bits.
    int BitsPerChar() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    std::chrono::nanoseconds CharTime() const;
    // The silence that ends a frame: 3.5 characters.
    std::chrono::nanoseconds SilentInterval() const;
    // The longest gap allowed between two bytes of one reply.
    std::chrono::microseconds ByteTimeout() const;
};

// The rates a serial port can be set to (110 .. 4000000); libmodbus would
// quietly use 9600 for any other.
bool IsStandardBaud(int baud);

class ModbusRtuTransport : public ModbusTransport {
public:
    explicit ModbusRtuTransport(SerialSettings settings);
    ~ModbusRtuTransport() override;

    std::string Describe() const override;
    const SerialSettings& Settings() const { return m_settings; }

protected:
    modbus_t* CreateContext() override;
    bool AfterConnect(modbus_t* ctx) override;
    void BeforeClose(modbus_t* ctx) override;
    void BeforeSend(modbus_t* ctx, uint8_t station, int requestBytes) override;
    void AfterExchange(uint8_t station, bool broadcast, int requestBytes, LinkError outcome) override;
    std::chrono::microseconds SendTime(int requestBytes) const override;

public:
    // How long after a request that got no proper answer its reply may still
    // be on its way: twice the time-out plus the time of the longest reply,
    // so a drive answering up to three time-outs late is waited out.
    std::chrono::microseconds LateWindow() const;
    // How long the line must stay silent when the port is opened before the
    // first request goes out.
    static constexpr std::chrono::milliseconds kOpenQuiet{30};

private:
    using Clock = std::chrono::steady_clock;
    // Reads and drops whatever arrives until `until` has passed and the line
    // has then been silent for `quiet`; gives up (and flushes) after `limit`.
    void Drain(int fd, Clock::time_point until, std::chrono::microseconds quiet, Clock::time_point limit);
    void DrainLateReply(modbus_t* ctx);

    SerialSettings m_settings;
    // When the line last fell silent (the end of the last frame seen or sent).
    Clock::time_point m_lineQuietSince{};
    // After a request without a proper answer, its reply may still come:
    // nothing is sent before m_lateUntil has passed with the line silent.
    bool m_latePending = false;
    uint8_t m_lateStation = 0;
    Clock::time_point m_lateUntil{};
};

}  // namespace hx
