#pragma once
// Modbus RTU on a serial device (a USB-serial adapter, a built-in port or a
// pseudo-terminal). Keeps the silent interval between frames that libmodbus
// leaves to the caller, asks USB adapters for low latency, and claims the
// port so that two programs never share it.

#include <array>
#include <atomic>
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
    // recordFolder: where the link notes, for the next program to open the
    // same port, until when a reply to its requests may still arrive; empty:
    // no note is kept, and opening waits only for a short quiet.
    explicit ModbusRtuTransport(SerialSettings settings, std::string recordFolder = {});
    ~ModbusRtuTransport() override;

    std::string Describe() const override;
    const SerialSettings& Settings() const { return m_settings; }

    void SetLateHorizon(std::chrono::milliseconds horizon) override;
    uint64_t LateReplies() const override { return m_lateReplies; }
    // How long after a request without a proper answer its reply may still
    // come: the horizon set, else 1 s or ten time-outs, whichever is longer.
    std::chrono::milliseconds LateHorizon() const;
    static constexpr std::chrono::milliseconds kMinLateHorizon{1000};
    static constexpr int kLateHorizonTimeOuts = 10;
    // How long the line must stay silent when the port is opened before the
    // first request goes out, when no earlier request can still be answered.
    static constexpr std::chrono::milliseconds kOpenQuiet{30};

protected:
    modbus_t* CreateContext() override;
    bool AfterConnect(modbus_t* ctx) override;
    void BeforeClose(modbus_t* ctx) override;
    void BeforeSend(modbus_t* ctx, uint8_t station, int requestBytes) override;
    void AfterExchange(uint8_t station, bool broadcast, int requestBytes, LinkError outcome) override;
    std::chrono::microseconds SendTime(int requestBytes) const override;

private:
    using Clock = std::chrono::steady_clock;

    // A station whose last request got no proper answer: its reply may
    // still come until `until`, and nothing goes to that station before.
    // (Not even the same request again: a drive that is slow to answer may
    // queue the repeat and answer it later still.)
    struct Pending {
        bool active = false;
        Clock::time_point until{};
    };

    // Reads and drops whatever arrives until `until` has passed and the line
    // has then been silent for a byte time-out; each burst counts as one late
    // reply. A line that never falls silent is given up on a horizon later.
    void Drain(int fd, Clock::time_point until);
    // Drains until no reply to any request sent so far can still arrive.
    void DrainAll(modbus_t* ctx);

    // The note shared with the next program on this port.
    void OpenRecord();
    Clock::time_point ReadRecord() const;
    void WriteRecord(Clock::time_point until);
    void CloseRecord();

    SerialSettings m_settings;
    std::string m_recordFolder;
    std::chrono::milliseconds m_lateHorizon{0};
    std::atomic<uint64_t> m_lateReplies{0};
    // When the line last fell silent (the end of the last frame seen or sent).
    Clock::time_point m_lineQuietSince{};
    std::array<Pending, 256> m_pending{};
    int m_recordFd = -1;
    bool m_recordUsable = false;
    Clock::time_point m_recorded{};  // the time last written to the note
};

}  // namespace hx
