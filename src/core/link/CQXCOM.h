#pragma once
// The drive link: the one object every part of the program sends drive
// requests through. It keeps the classic results its callers rely on
// (-1 for "no answer", block reads as a whole reply frame) on top of a
// Modbus transport, and holds the one lock that keeps requests from
// interleaving on the line, whichever thread calls.

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/link/DriveFault.h"

namespace hx {
class FrameTrace;
class Transport;
}

class CQXCOM {
public:
    // The reply time-out before any SetReceiveTimeOut: the wait for a reply
    // to begin; the rest of a long reply has its own gap limit.
    static constexpr uint16_t kDefaultReceiveTimeOut = 100;
    static constexpr uint16_t kMaxReadCount = 125;   // registers per block read
    static constexpr uint16_t kMaxWriteCount = 123;  // registers per block write

    CQXCOM();
    ~CQXCOM();
    CQXCOM(const CQXCOM&) = delete;
    CQXCOM& operator=(const CQXCOM&) = delete;

    // Port name ("COM1".."COM9", a device path or "tcp:HOST:PORT"), baud,
    // data bits, parity ("NONE", "ODD", "EVEN") and stop bits. Takes effect
    // at the next OpenCom.
    void ConfigCom(const std::string& port, const std::string& baud, const std::string& dataBits,
                   const std::string& parity, const std::string& stopBits);
    // Every request and reply of the ports opened from now on also goes to
    // trace, in hex with timings. Without one, the environment's
    // HALVEX_TRACE=FILE (or "-" for standard error) is used.
    void SetTrace(std::shared_ptr<hx::FrameTrace> trace);
    int OpenCom();            // nonzero = opened
    int CloseCom();           // nonzero = closed
    int GetConnectStatus();   // nonzero = open
    void SetCurrentUseMode(int mode);  // 1 online, 0 offline
    int CurrentUseMode() const;
    void SetReceiveTimeOut(uint16_t milliseconds);
    uint16_t ReceiveTimeOut() const;
    // After a request that got no answer, no other request goes to that
    // drive until the line has been quiet this long: a reply later than that
    // cannot pass for the answer to another request. (The same read may go
    // again at once: its late answer answers the same question. Other
    // stations need no wait: their replies carry their own address. The next
    // program to open the port is told until when to wait.) 0 (the default)
    // = 1 s or ten reply time-outs, whichever is longer.
    void SetLateHorizon(uint32_t milliseconds);
    uint32_t LateHorizon() const;

    // A read that got no answer or a damaged reply is sent again at once,
    // up to kReadRetries times (a late reply to the first try is as good an
    // answer as the repeat's). A write that failed any other way than by the
    // drive's own refusal (its reply lost or damaged, a copy found out, a
    // gateway saying the drive behind it did not answer: exception 0x0A or
    // 0x0B, a fault of kind NoAnswer) may have been carried out, and says so
    // (mayHaveApplied). A write of settings (hx::IsSettingRegister) that may
    // have been is not sent again blindly: the registers are read back and
    // only what the drive does not hold is sent again, up to kWriteRetries
    // times. A write to any other register (a command) is never sent twice.
    static constexpr int kReadRetries = 2;
    static constexpr int kWriteRetries = 2;

    // Every request returns how it ended (hx::DriveFault): the link keeps no
    // outcome for a caller to ask about afterwards.

    // Whether a drive listens at the station (ok when one does). A station
    // that stays silent is not asked again (a search would crawl); a damaged
    // reply is. A refusal counts as present, unless a gateway says nobody
    // answered behind it.
    hx::LinkResult<void> Find(uint8_t station);
    // The register value as a signed 16-bit number.
    hx::LinkResult<int16_t> Read(uint8_t station, uint16_t address);
    // The value the drive echoed; on failure the fault's mayHaveApplied
    // tells whether the drive may hold it all the same.
    hx::LinkResult<int16_t> Write(uint8_t station, uint16_t address, int16_t value);
    // count (1..125) consecutive registers as plain words; dest is untouched on failure.
    hx::LinkResult<void> ReadWords(uint8_t station, uint16_t address, uint16_t count, uint16_t* dest);
    // count (1..123) consecutive registers.
    hx::LinkResult<void> WriteWords(uint8_t station, uint16_t address, uint16_t count, const uint16_t* values);

    // The classic results on top of the calls above, for code that needs no
    // reason: -1 = no drive answers at that station.
    int FindDrive(uint8_t station, int reserved = 0);
    // The register value as a signed 16-bit number; -1 = no answer (Read
    // tells it from a register holding -1).
    int ReadAddressValue(uint8_t station, uint16_t address);
    // The value written on success, -1 on failure.
    int WriteAddressValue(uint8_t station, uint16_t address, int16_t value);
    // The reply frame: 3 leading bytes (station, function, byte count),
    // 2 x count data bytes high byte first, 2 trailing bytes (CRC, low byte
    // first). Empty when the read failed; a reply that fails its checks is
    // never returned.
    std::vector<uint8_t> ReadBigData(uint8_t station, uint16_t address, uint16_t count);
    // data holds 2 x count bytes, each register high byte first. The count
    // written on success, -1 on failure.
    int WriteBigData(uint8_t station, uint16_t address, uint16_t count, const std::vector<uint8_t>& data);

    // At the end of a piece of work that read from a station and hands what
    // it read to a user: a fault (Damaged) when an answer it took may have
    // been a copy of another reply on a line that repeats frames.
    hx::LinkResult<void> Settle(uint8_t station);

    // What the link has been through since the port was last opened, for
    // the status bar. Safe to call from any thread; never waits for a request.
    struct Health {
        bool open = false;
        uint64_t requests = 0;    // frames sent, retries and read-backs included
        uint64_t retries = 0;     // requests sent again
        uint64_t unanswered = 0;  // requests without a reply
        uint64_t damaged = 0;     // replies that failed their checks
        uint64_t late = 0;        // replies that came after their time-out, dropped
        // False from the first request without an answer until one is answered again.
        bool answering = true;
        // The port itself failed since it was opened (the device is gone):
        // only opening it again mends that.
        bool portLost = false;
        std::chrono::system_clock::time_point silentSince{};
    };
    Health GetHealth() const;

    // The port name as configured, and the transport it resolved to at the
    // last OpenCom ("/dev/ttyUSB0 38400 8N2", "tcp:10.0.0.5:502"), for messages.
    std::string PortName() const;
    // Which opening of a port this is, unique in the program's run (0 before
    // the first OpenCom): a new connection is a new session with a drive,
    // even on the same port name.
    uint64_t ConnectionSerial() const;
    std::string TransportDescription() const;
    // The serial line's speed at the last OpenCom; 0 for a network link,
    // where the time on the wire is negligible.
    int LineBaud() const;
    // The link's last failure in words (opening the port included), for
    // messages of code that did not keep the fault itself.
    std::string LastErrorText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The window program's and the command line's one link; thread-safe,
// serialises every request. Other programs and tests make their own.
extern CQXCOM theComm;
