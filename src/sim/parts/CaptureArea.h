#pragma once
// The capture area at 150..159: a plain store outside the parameter sets.

#include "core/protocol/Registers.h"
#include "sim/bus/Part.h"

namespace hx::sim {

class CaptureArea final : public Part {
public:
    std::string_view Name() const override { return "capture area"; }
    std::vector<AddressRange> Ranges() const override { return {{reg::kCaptureFirst, reg::kCaptureLast}}; }
    uint8_t Read(uint16_t address, uint16_t& value) override {
        value = m_words[address - reg::kCaptureFirst];
        return mbex::kNone;
    }
    void Write(uint16_t address, uint16_t value, const WriteRequest&) override {
        m_words[address - reg::kCaptureFirst] = value;
    }

private:
    uint16_t m_words[reg::kCaptureLast - reg::kCaptureFirst + 1] = {};
};

}  // namespace hx::sim
