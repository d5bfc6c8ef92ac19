#pragma once
// One drive on the link: the link, the station and the firmware a job or a
// window works with, taken when the work starts. Every request of a job goes
// through a handle, and each request says how it ended in one typed fault,
// so no caller has to ask the link afterwards what became of its request.
//
// A handle is a small value: copy it into a job when the job starts. It is
// used by one thread at a time (its last fault is its own); the link behind
// it serialises requests from all handles.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CQXCOM;

namespace hx {

enum class DriveFaultKind {
    None,
    NotOpen,          // the port is not open
    NoAnswer,         // no reply within the time-out (after the link's retries)
    Damaged,          // only replies that failed their checks
    Refused,          // the drive answered with a Modbus exception
    PortLost,         // the port itself failed (device gone, connection broken)
    InvalidArgument,  // a request the protocol cannot carry
};

struct DriveFault {
    DriveFaultKind kind = DriveFaultKind::None;
    int exceptionCode = 0;        // the drive's reason when Refused, else 0
    bool mayHaveApplied = false;  // a write whose reply was lost may have been carried out
    std::string text;             // the link's words ("no answer within 100 ms", ...)

    bool ok() const { return kind == DriveFaultKind::None; }
    // Whether the drive took part: an answer, even a refusal, shows it listens.
    bool answered() const { return kind == DriveFaultKind::None || kind == DriveFaultKind::Refused; }
};

// "illegal data value" for 3, and so on; "unknown exception" otherwise.
const char* ExceptionCodeName(int code);

class DriveHandle {
public:
    DriveHandle() = default;
    DriveHandle(CQXCOM* comm, uint8_t station, float firmwareVersion = 100.0f)
        : m_comm(comm), m_station(station), m_firmware(firmwareVersion) {}

    // theComm, g_station and g_firmwareVersion as they stand now.
    static DriveHandle FromGlobals();

    CQXCOM* comm() const { return m_comm; }
    uint8_t station() const { return m_station; }
    float firmwareVersion() const { return m_firmware; }
    // Drives from firmware 200.0 on take the points per channel (register 137)
    // and the newer capture layout.
    bool newLayout() const { return m_firmware >= 200.0f; }
    DriveHandle atStation(uint8_t station) const { return DriveHandle(m_comm, station, m_firmware); }

    // One register as a signed value; nullopt when the request failed.
    std::optional<int16_t> Read(uint16_t address);
    // count consecutive registers (1..125) as the drive's words; false when
    // the request failed, and dest is then left as it was.
    bool ReadWords(uint16_t address, uint16_t count, uint16_t* dest);
    std::optional<std::vector<uint16_t>> ReadWords(uint16_t address, uint16_t count);
    // One register; the value the drive echoed (sign-extended), nullopt on failure.
    std::optional<int16_t> Write(uint16_t address, uint16_t word);
    // count consecutive registers (1..123); false on failure.
    bool WriteWords(uint16_t address, const uint16_t* words, uint16_t count);

    // Whether a drive listens at this station, for a search: a refusal counts
    // (unless a gateway says nobody answered behind it), and a silent
    // station is not asked again.
    bool Present();

    // At the end of a piece of work that read from the drive: false (with
    // the fault) when one of its answers may have been a copy of another
    // reply, on a line that repeats frames; the work must then not be
    // trusted.
    bool Settle();

    // How the last request of this handle ended.
    const DriveFault& fault() const { return m_fault; }

private:
    void takeOutcome();

    CQXCOM* m_comm = nullptr;
    uint8_t m_station = 1;
    float m_firmware = 100.0f;
    DriveFault m_fault;
};

}  // namespace hx
