#include "core/link/ModbusFrame.h"

namespace hx {

uint16_t ModbusCrc16(const uint8_t* data, std::size_t length) {
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    }
    return crc;
}

void AppendWord(std::vector<uint8_t>& frame, uint16_t word) {
    frame.push_back(static_cast<uint8_t>(word >> 8));
    frame.push_back(static_cast<uint8_t>(word & 0xFF));
}

void AppendCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = ModbusCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

std::vector<uint8_t> BuildReadReplyFrame(uint8_t station, const uint16_t* values, uint16_t count) {
    std::vector<uint8_t> frame{station, 0x03, static_cast<uint8_t>(2 * count)};
    frame.reserve(5 + 2u * count);
    for (uint16_t i = 0; i < count; ++i) AppendWord(frame, values[i]);
    AppendCrc(frame);
    return frame;
}

int RtuReplyLength(const uint8_t* buf, std::size_t size) {
    if (size < 2) return 0;
    const uint8_t function = buf[1];
    if (function & 0x80) return 5;  // an exception: station, function, code, CRC
    switch (function) {
    case 0x03:
    case 0x04:
        return size < 3 ? 0 : 5 + buf[2];
    case 0x06:
    case 0x10:
        return 8;
    default:
        return -1;
    }
}

}  // namespace hx
