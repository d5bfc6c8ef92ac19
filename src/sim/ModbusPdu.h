#pragma once
// The Modbus side of the drive: CRC, RTU request lengths, and carrying out
// one request PDU (function code and data) on a VirtualDrive.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hx::sim {

class VirtualDrive;

namespace mbfn {
constexpr uint8_t kReadHolding = 0x03;
constexpr uint8_t kReadInput = 0x04;  // served from the same registers
constexpr uint8_t kWriteSingle = 0x06;
constexpr uint8_t kWriteMultiple = 0x10;
}  // namespace mbfn

// CRC-16/Modbus (sent low byte first).
uint16_t Crc16(const uint8_t* data, size_t size);
// True when the last two bytes are the CRC of the ones before.
bool CrcMatches(const uint8_t* frame, size_t size);

// Length of the RTU request frame at the start of buf (station, function,
// data, CRC) as far as its first bytes tell: the length, 0 when more bytes
// are needed to tell, or -1 for a function whose length is unknown (the
// frame then ends at the next silent interval).
int RtuRequestLength(const uint8_t* buf, size_t size);

// True for the functions that change registers (carried out on broadcast).
bool IsWriteFunction(uint8_t function);

// Carries out the PDU on the drive, logging it under the station, and
// returns the reply PDU (an exception reply when refused).
std::vector<uint8_t> ExecutePdu(VirtualDrive& drive, uint8_t station, const uint8_t* pdu, size_t size);

}  // namespace hx::sim
