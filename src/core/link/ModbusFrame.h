#pragma once
// The Modbus RTU checksum and the read-reply frame that block reads hand to
// their callers.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hx {

// A 16-bit word as Modbus carries it, high byte first.
inline uint16_t WordAt(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

// CRC-16 (polynomial 0xA001, start 0xFFFF); on the wire low byte first.
uint16_t ModbusCrc16(const uint8_t* data, std::size_t length);

// Frames are built by appending: a word high byte first, and the checksum
// of everything before it, low byte first.
void AppendWord(std::vector<uint8_t>& frame, uint16_t word);
void AppendCrc(std::vector<uint8_t>& frame);

// The length of the RTU reply frame that starts buf, from its function and
// byte count: 0 when more bytes are needed to tell, -1 for a function no
// reply of this link carries.
int RtuReplyLength(const uint8_t* buf, std::size_t size);

// [station, 0x03, 2 x count, each value high byte first..., CRC low, CRC high].
std::vector<uint8_t> BuildReadReplyFrame(uint8_t station, const uint16_t* values, uint16_t count);

}  // namespace hx
