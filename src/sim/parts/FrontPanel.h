#pragma once
// The drive's front panel as the wire sees it: the station alias set on its
// switch (register 4). The program reads it; only a screwdriver changes it.

#include "core/protocol/Registers.h"
#include "sim/parts/ReadOnlyPart.h"

namespace hx::sim {

class FrontPanel final : public ReadOnlyPart {
public:
    explicit FrontPanel(uint16_t aliasSwitch) : m_alias(aliasSwitch) {}

    std::string_view Name() const override { return "front panel"; }
    std::vector<AddressRange> Ranges() const override {
        return {{reg::kWizardAliasSwitch, reg::kWizardAliasSwitch}};
    }
    uint8_t Read(uint16_t, uint16_t& value) override {
        value = m_alias;
        return mbex::kNone;
    }
    void Poke(uint16_t, uint16_t value) override { m_alias = value; }

private:
    uint16_t m_alias;
};

}  // namespace hx::sim
