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

std::vector<uint8_t> BuildReadReplyFrame(uint8_t station, const uint16_t* values, uint16_t count) {
    std::vector<uint8_t> frame;
    frame.reserve(5 + 2u * count);
    frame.push_back(station);
    frame.push_back(0x03);
    frame.push_back(static_cast<uint8_t>(2 * count));
    for (uint16_t i = 0; i < count; ++i) {
        frame.push_back(static_cast<uint8_t>(values[i] >> 8));
        frame.push_back(static_cast<uint8_t>(values[i] & 0xFF));
    }
    const uint16_t crc = ModbusCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

}  // namespace hx
