#pragma once
// One part of the simulated drive: a piece of the drive that owns some
// register addresses and answers reads and writes on them, and that may
// change by itself as time passes (a command finishing, a motor turning).
//
// The register bus calls a part only under the drive's lock, so a part
// keeps no lock of its own, and parts composed by the same drive may call
// each other directly.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/bus/SimClock.h"

namespace hx::sim {

// Modbus exception codes the drive answers with.
namespace mbex {
constexpr uint8_t kNone = 0;
constexpr uint8_t kIllegalFunction = 1;
constexpr uint8_t kIllegalAddress = 2;
constexpr uint8_t kIllegalValue = 3;
constexpr uint8_t kDeviceBusy = 6;
}  // namespace mbex

struct AddressRange {
    uint16_t first = 0, last = 0;  // inclusive
};

// A write request as it reached the drive: a single-register write or a
// block. A part checking one register can look at the rest of the request
// (a 32-bit parameter written as two words in one block).
struct WriteRequest {
    uint16_t first = 0;
    const uint16_t* values = nullptr;
    uint16_t count = 0;
    bool single = true;  // one register, as opposed to a block of several

    bool Covers(uint16_t address) const {
        return address >= first && static_cast<uint32_t>(address) < static_cast<uint32_t>(first) + count;
    }
    uint16_t ValueAt(uint16_t address) const { return values[address - first]; }
};

class Part {
public:
    virtual ~Part() = default;
    virtual std::string_view Name() const = 0;

    // The addresses it answers. A part added later takes addresses over from
    // one added earlier, so a part that serves single registers inside the
    // parameter ranges (commands, status, identity) is added after the
    // parameter store.
    virtual std::vector<AddressRange> Ranges() const = 0;

    // Addresses it answers only when they are read in a block of several
    // registers, even where another part owns the single register: the
    // capture area is fetched in blocks and overlaps command and status
    // registers (409, 410, 412, 496), which are written and polled one at a
    // time.
    virtual std::vector<AddressRange> BlockReadRanges() const { return {}; }

    // A register as the wire reads it; returns a Modbus exception code.
    virtual uint8_t Read(uint16_t address, uint16_t& value) = 0;

    // Whether the write of this register may go ahead; the whole request is
    // refused, and nothing of it carried out, when any register says no.
    virtual uint8_t CheckWrite(uint16_t /*address*/, uint16_t /*value*/, const WriteRequest& /*request*/) {
        return mbex::kNone;
    }
    // Carries out the write of one register of a request that passed
    // CheckWrite everywhere.
    virtual void Write(uint16_t address, uint16_t value, const WriteRequest& request) = 0;

    // For tests: set what a register reads, bypassing the wire rules. The
    // default writes it as a block write would.
    virtual void Poke(uint16_t address, uint16_t value) {
        const WriteRequest request{address, &value, 1, false};
        Write(address, value, request);
    }

    // Catches up with the drive's clock: everything due up to `now` happens.
    // Called with a never decreasing time before every request is served.
    virtual void Advance(SimTime /*now*/) {}
    // When the part next has something to do by itself, so a drive on a
    // real-time clock can wake for it; nothing when it waits for a request.
    virtual std::optional<SimTime> NextDue() const { return std::nullopt; }
};

}  // namespace hx::sim
