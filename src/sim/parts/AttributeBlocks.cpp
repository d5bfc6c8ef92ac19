#include "sim/parts/AttributeBlocks.h"

#include "sim/parts/ParameterStore.h"

namespace hx::sim {

void AttributeBlocks::RebuildIfStale() {
    if (m_revision == m_store.VisibilityRevision()) return;
    m_revision = m_store.VisibilityRevision();
    for (int j = 0; j < static_cast<int>(std::size(m_low)); ++j) {
        uint16_t bits = 0;
        for (int k = 0; k < 16; ++k) {
            const int address = 16 * j + k;
            if (address <= reg::kLowLast && m_store.Visible(static_cast<uint16_t>(address)))
                bits |= static_cast<uint16_t>(1u << k);
        }
        m_low[j] = bits;
    }
    for (int j = 0; j < static_cast<int>(std::size(m_high)); ++j) {
        uint16_t bits = 0;
        for (int k = 0; k < 16; ++k) {
            const int address = reg::kHighFirst + 16 * j + k;
            if (address <= reg::kHighLast && m_store.Visible(static_cast<uint16_t>(address)))
                bits |= static_cast<uint16_t>(1u << k);
        }
        m_high[j] = bits;
    }
}

uint16_t& AttributeBlocks::Slot(uint16_t address) {
    return address >= reg::kHighAttrFirst ? m_high[address - reg::kHighAttrFirst] : m_low[address - reg::kLowAttrFirst];
}

uint8_t AttributeBlocks::Read(uint16_t address, uint16_t& value) {
    RebuildIfStale();
    value = Slot(address);
    return mbex::kNone;
}

void AttributeBlocks::Poke(uint16_t address, uint16_t value) {
    RebuildIfStale();
    Slot(address) = value;
}

}  // namespace hx::sim
