#pragma once
// Routes register addresses to the parts of a drive and carries out the
// rules every request obeys whatever part it reaches:
//  - an address no part answers is exception 2, and a request touching one
//    is not carried out at all;
//  - a write is checked register by register first and carried out only
//    when every register accepts it, so a refused block changes nothing;
//  - a read of several registers goes to the part that reads that address
//    in blocks, where there is one (Part::BlockReadRanges), else to the
//    owner of the register.
//
// Not thread-safe: the drive that composes the parts holds its lock around
// every call.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/bus/Part.h"

namespace hx::sim {

class RegisterBus {
public:
    RegisterBus();

    // Adds a part; it takes over its addresses from any part added before.
    template <class P>
    P& Add(std::unique_ptr<P> part) {
        P& ref = *part;
        AddPart(std::move(part));
        return ref;
    }

    // The part answering an address (read alone or written), or null.
    Part* At(uint16_t address) const;
    // The part answering an address read in a block, or null.
    Part* BlockReaderAt(uint16_t address) const;
    bool Mapped(uint16_t address) const { return At(address) != nullptr; }

    uint8_t Read(uint16_t address, uint16_t count, uint16_t* out);
    uint8_t Write(const WriteRequest& request);
    // For tests; false for an unmapped address.
    bool Peek(uint16_t address, uint16_t& value);
    bool Poke(uint16_t address, uint16_t value);

    // Every part catches up with `now`, in the order they were added.
    void Advance(SimTime now);
    std::optional<SimTime> NextDue() const;

private:
    void AddPart(std::unique_ptr<Part> part);

    std::vector<std::unique_ptr<Part>> m_parts;
    // Index + 1 into m_parts for every address (0 = unmapped); a flat table
    // keeps routing cheap for the large capture and result areas.
    std::unique_ptr<std::array<uint8_t, 0x10000>> m_route;
    std::unique_ptr<std::array<uint8_t, 0x10000>> m_blockRoute;  // 0 = as m_route
};

}  // namespace hx::sim
