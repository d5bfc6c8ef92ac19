#pragma once
// One drive on the link: the link, the station and the firmware a job or a
// window works with, taken when the work starts. Every request of a job goes
// through a handle, and each request returns how it ended (hx::LinkResult),
// so no caller has to ask the link afterwards what became of its request.
//
// A handle is a small value: copy it into a job when the job starts. It is
// used by one thread at a time; the link behind it serialises requests from
// all handles.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/link/DriveFault.h"

class CQXCOM;

namespace hx {

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

    // One register as a signed value; no value when the request failed.
    LinkResult<int16_t> Read(uint16_t address);
    // count consecutive registers (1..125) as the drive's words; on failure
    // dest is left as it was.
    LinkResult<void> ReadWords(uint16_t address, uint16_t count, uint16_t* dest);
    LinkResult<std::vector<uint16_t>> ReadWords(uint16_t address, uint16_t count);
    // One register; the value the drive echoed (sign-extended).
    LinkResult<int16_t> Write(uint16_t address, uint16_t word);
    // count consecutive registers (1..123).
    LinkResult<void> WriteWords(uint16_t address, const uint16_t* words, uint16_t count);

    // Whether a drive listens at this station, for a search: a refusal counts
    // (unless a gateway says nobody answered behind it), and a silent
    // station is not asked again.
    bool Present();

    // At the end of a piece of work that read from the drive and hands what
    // it read to a user: a fault when one of its answers may have been a
    // copy of another reply, on a line that repeats frames; the work must
    // then not be trusted.
    LinkResult<void> Settle();

    // The fault the handle's last request returned, for code that reports a
    // failure of a request made further down (a job's last step). The same
    // value the request returned, not a record kept by the link.
    const DriveFault& fault() const { return m_fault; }

private:
    template <class R>
    R keep(R result) {
        m_fault = result.fault;
        return result;
    }

    CQXCOM* m_comm = nullptr;
    uint8_t m_station = 1;
    float m_firmware = 100.0f;
    DriveFault m_fault;
};

}  // namespace hx
