#include "sim/ModbusPdu.h"

#include "core/link/ModbusFrame.h"
#include "sim/VirtualDrive.h"

namespace hx::sim {
namespace {

std::vector<uint8_t> Exception(uint8_t function, uint8_t code) {
    return {static_cast<uint8_t>(function | 0x80), code};
}

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t size) { return hx::ModbusCrc16(data, size); }

bool CrcMatches(const uint8_t* frame, size_t size) {
    if (size < 4) return false;
    const uint16_t crc = Crc16(frame, size - 2);
    return frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);
}

int RtuRequestLength(const uint8_t* buf, size_t size) {
    if (size < 2) return 0;
    switch (buf[1]) {
    case mbfn::kReadHolding:
    case mbfn::kReadInput:
    case mbfn::kWriteSingle:
        return 8;
    case mbfn::kWriteMultiple:
        return size < 7 ? 0 : 9 + buf[6];
    default:
        return -1;
    }
}

bool IsWriteFunction(uint8_t function) {
    return function == mbfn::kWriteSingle || function == mbfn::kWriteMultiple;
}

std::vector<uint8_t> ExecutePdu(VirtualDrive& drive, uint8_t station, const uint8_t* pdu, size_t size) {
    if (size < 1) return {};
    const uint8_t fn = pdu[0];
    switch (fn) {
    case mbfn::kReadHolding:
    case mbfn::kReadInput: {
        if (size != 5) return Exception(fn, mbex::kIllegalValue);
        const uint16_t address = hx::WordAt(pdu + 1), count = hx::WordAt(pdu + 3);
        drive.RecordRequest({station, fn, address, count, 0, {}});
        if (count < 1 || count > 125) return Exception(fn, mbex::kIllegalValue);
        uint16_t values[125];
        if (uint8_t ex = drive.ReadRegisters(address, count, values)) return Exception(fn, ex);
        std::vector<uint8_t> reply{fn, static_cast<uint8_t>(2 * count)};
        for (int i = 0; i < count; ++i) hx::AppendWord(reply, values[i]);
        return reply;
    }
    case mbfn::kWriteSingle: {
        if (size != 5) return Exception(fn, mbex::kIllegalValue);
        const uint16_t address = hx::WordAt(pdu + 1), value = hx::WordAt(pdu + 3);
        drive.RecordRequest({station, fn, address, 1, value, {}});
        if (uint8_t ex = drive.WriteRegister(address, value)) return Exception(fn, ex);
        return {pdu, pdu + 5};
    }
    case mbfn::kWriteMultiple: {
        if (size < 6) return Exception(fn, mbex::kIllegalValue);
        const uint16_t address = hx::WordAt(pdu + 1), count = hx::WordAt(pdu + 3);
        const uint8_t bytes = pdu[5];
        drive.RecordRequest({station, fn, address, count, size >= 8 ? hx::WordAt(pdu + 6) : uint16_t{0}, {}});
        if (count < 1 || count > 123 || bytes != 2 * count || size != 6u + bytes)
            return Exception(fn, mbex::kIllegalValue);
        uint16_t values[123];
        for (int i = 0; i < count; ++i) values[i] = hx::WordAt(pdu + 6 + 2 * i);
        if (uint8_t ex = drive.WriteRegisters(address, values, count)) return Exception(fn, ex);
        return {pdu, pdu + 5};
    }
    default:
        drive.RecordRequest({station, fn, 0, 0, 0, {}});
        return Exception(fn, mbex::kIllegalFunction);
    }
}

}  // namespace hx::sim
