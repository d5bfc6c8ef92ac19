#pragma once
// Who the drive is: product model (116..122), software version (123),
// firmware version (138), variant code (0xFFBF) and drive model
// (0xFFC0..0xFFFF). Read-only on the wire.

#include <map>
#include <string>

#include "sim/parts/ReadOnlyPart.h"

namespace hx::sim {

struct DriveOptions;

class Identity final : public ReadOnlyPart {
public:
    explicit Identity(const DriveOptions& options);

    std::string_view Name() const override { return "identity"; }
    std::vector<AddressRange> Ranges() const override;
    uint8_t Read(uint16_t address, uint16_t& value) override;
    void Poke(uint16_t address, uint16_t value) override { m_values[address] = value; }

    // The firmware version as the program reads it (200 = 200.0).
    int16_t FirmwareRegister() const;

private:
    std::map<uint16_t, uint16_t> m_values;
};

// Text into registers, two characters each, high byte first, zero-padded;
// longer text is cut.
void EncodeText(const std::string& text, uint16_t* regs, int count);

}  // namespace hx::sim
