#include "core/link/DriveHandle.h"

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/link/Transport.h"

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

void DriveHandle::takeOutcome() {
    m_fault = DriveFault{};
    if (m_comm->LastRequestAnswered()) return;
    switch (m_comm->LastRequestError()) {
    case LinkError::None:
    case LinkError::Timeout: m_fault.kind = DriveFaultKind::NoAnswer; break;
    case LinkError::BadFrame:
    case LinkError::Repeated: m_fault.kind = DriveFaultKind::Damaged; break;
    case LinkError::Exception:
        m_fault.kind = DriveFaultKind::Refused;
        m_fault.exceptionCode = m_comm->LastRequestExceptionCode();
        break;
    case LinkError::InvalidArgument: m_fault.kind = DriveFaultKind::InvalidArgument; break;
    case LinkError::NotOpen:
    case LinkError::NoDevice:
    case LinkError::PortBusy:
    case LinkError::OpenFailed: m_fault.kind = DriveFaultKind::NotOpen; break;
    case LinkError::IoError: m_fault.kind = DriveFaultKind::PortLost; break;
    }
    m_fault.mayHaveApplied = m_comm->LastRequestMayHaveApplied();
    m_fault.text = m_comm->LastRequestErrorText();
}

bool DriveHandle::Present() {
    const bool found = m_comm->FindDrive(m_station, 0) != -1;
    takeOutcome();
    return found;
}

bool DriveHandle::Settle() {
    const bool ok = m_comm->Settle(m_station);
    takeOutcome();
    return ok && m_fault.ok();
}

std::optional<int16_t> DriveHandle::Read(uint16_t address) {
    const int value = m_comm->ReadAddressValue(m_station, address);
    takeOutcome();
    if (!m_fault.ok()) return std::nullopt;
    return static_cast<int16_t>(value);
}

bool DriveHandle::ReadWords(uint16_t address, uint16_t count, uint16_t* dest) {
    const bool ok = m_comm->ReadWords(m_station, address, count, dest);
    takeOutcome();
    return ok && m_fault.ok();
}

std::optional<std::vector<uint16_t>> DriveHandle::ReadWords(uint16_t address, uint16_t count) {
    std::vector<uint16_t> words(count);
    if (count == 0 || !ReadWords(address, count, words.data())) {
        if (count == 0) m_fault = DriveFault{DriveFaultKind::InvalidArgument, 0, false, "read of 0 registers"};
        return std::nullopt;
    }
    return words;
}

std::optional<int16_t> DriveHandle::Write(uint16_t address, uint16_t word) {
    const int value = m_comm->WriteAddressValue(m_station, address, static_cast<int16_t>(word));
    takeOutcome();
    if (!m_fault.ok()) return std::nullopt;
    return static_cast<int16_t>(value);
}

bool DriveHandle::WriteWords(uint16_t address, const uint16_t* words, uint16_t count) {
    const bool ok = m_comm->WriteWords(m_station, address, count, words);
    takeOutcome();
    return ok && m_fault.ok();
}

}  // namespace hx
