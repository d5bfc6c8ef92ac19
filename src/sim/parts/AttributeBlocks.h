#pragma once
// The attribute blocks (100..109 and 63000..63099): bit k of register
// first + j is the visibility of parameter address base + 16 j + k, computed
// from the parameter store. Read-only on the wire.

#include <cstdint>

#include "core/protocol/Registers.h"
#include "sim/parts/ReadOnlyPart.h"

namespace hx::sim {

class ParameterStore;

class AttributeBlocks final : public ReadOnlyPart {
public:
    explicit AttributeBlocks(const ParameterStore& store) : m_store(store) {}

    std::string_view Name() const override { return "attribute blocks"; }
    std::vector<AddressRange> Ranges() const override {
        return {{reg::kLowAttrFirst, reg::kLowAttrLast}, {reg::kHighAttrFirst, reg::kHighAttrLast}};
    }
    uint8_t Read(uint16_t address, uint16_t& value) override;
    // A poked value holds until a visibility changes.
    void Poke(uint16_t address, uint16_t value) override;

private:
    void RebuildIfStale();
    uint16_t& Slot(uint16_t address);

    const ParameterStore& m_store;
    uint64_t m_revision = ~uint64_t{0};
    uint16_t m_low[reg::kLowAttrLast - reg::kLowAttrFirst + 1] = {};
    uint16_t m_high[reg::kHighAttrLast - reg::kHighAttrFirst + 1] = {};
};

}  // namespace hx::sim
