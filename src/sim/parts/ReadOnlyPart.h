#pragma once
// Registers the program reads but never sets (identity, attribute blocks,
// status words).
//
// The whole-table write sends back what the whole-table read got, and a
// parameter set taken from another drive must still load, so a block write
// leaves these registers as they are and takes the rest of the block. A
// single write is accepted when it leaves the value unchanged and refused
// with exception 3 when it would change it.

#include "sim/bus/Part.h"

namespace hx::sim {

class ReadOnlyPart : public Part {
public:
    uint8_t CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) override {
        if (!request.single) return mbex::kNone;
        uint16_t current = 0;
        if (const uint8_t ex = Read(address, current); ex != mbex::kNone) return ex;
        return current == value ? mbex::kNone : mbex::kIllegalValue;
    }
    void Write(uint16_t, uint16_t, const WriteRequest&) override {}
};

}  // namespace hx::sim
