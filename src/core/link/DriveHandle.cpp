#include "core/link/DriveHandle.h"

#include "core/Globals.h"
#include "core/link/CQXCOM.h"

namespace hx {

const char* ExceptionCodeName(int code) {
    switch (code) {
    case 1: return "illegal function";
    case 2: return "illegal data address";
    case 3: return "illegal data value";
    case 4: return "device failure";
    case 5: return "acknowledge";
    case 6: return "device busy";
    case 10: return "gateway path unavailable";
    case 11: return "gateway target failed to respond";
    default: return "unknown exception";
    }
}

DriveHandle DriveHandle::FromGlobals() { return DriveHandle(&theComm, g_station, g_firmwareVersion); }

bool DriveHandle::Present() { return static_cast<bool>(keep(m_comm->Find(m_station))); }

LinkResult<void> DriveHandle::Settle() { return keep(m_comm->Settle(m_station)); }

LinkResult<int16_t> DriveHandle::Read(uint16_t address) { return keep(m_comm->Read(m_station, address)); }

LinkResult<void> DriveHandle::ReadWords(uint16_t address, uint16_t count, uint16_t* dest) {
    return keep(m_comm->ReadWords(m_station, address, count, dest));
}

LinkResult<std::vector<uint16_t>> DriveHandle::ReadWords(uint16_t address, uint16_t count) {
    std::vector<uint16_t> words(count);
    if (count == 0) return keep(LinkResult<std::vector<uint16_t>>(DriveFault{DriveFaultKind::InvalidArgument, 0, false, "read of 0 registers"}));
    auto r = ReadWords(address, count, words.data());
    if (!r) return r.fault;
    return words;
}

LinkResult<int16_t> DriveHandle::Write(uint16_t address, uint16_t word) {
    return keep(m_comm->Write(m_station, address, static_cast<int16_t>(word)));
}

LinkResult<void> DriveHandle::WriteWords(uint16_t address, const uint16_t* words, uint16_t count) {
    return keep(m_comm->WriteWords(m_station, address, count, words));
}

}  // namespace hx
