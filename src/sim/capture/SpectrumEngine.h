#pragma once
// The drive's frequency analysis: on request it samples the motor's speed
// feedback, transforms it and serves the magnitude of each frequency bin.
//
// Registers: 409 settings (bits 0..3 sampling-frequency code: 0 = 1 kHz,
// 1 = 2 kHz, 2 = 4 kHz, 3 = 8 kHz; bits 4..15 point-count code: 0 = 1024,
// 1 = 2048, 2 = 4096 points); 412 <- 0x6600 starts; 496 status, bit 3 set
// when the result is ready (read-only); from 8192 one signed word per bin,
// bins 0 .. points/2 - 1, bin k at k x frequency / points Hz.
//
// While it samples, the drive adds a small random torque (+/- 0.3 A of
// current, a new sign every 250 us) to excite the machine, as drives do to
// find its resonances; a machine at rest would otherwise show nothing but
// sensor noise.
//
// The result is ready once the points have been sampled, that is
// points / frequency after the start, not at once. A bin's word is the
// amplitude of the speed at that frequency in 0.0001 rps (Hann window, mean
// removed; a bin above 32767 reads 32767), so motion and resonance show as
// peaks where they are. A
// settings word with a code outside the lists is refused with exception 3;
// other values written to 412 are taken and ignored.

#include <vector>

#include "sim/bus/Part.h"
#include "sim/motor/MotorPart.h"

namespace hx::sim {

class SpectrumEngine final : public Part, public SignalTap {
public:
    explicit SpectrumEngine(MotorModel& motor);
    ~SpectrumEngine() override;

    std::string_view Name() const override { return "spectrum"; }
    std::vector<AddressRange> Ranges() const override;
    uint8_t Read(uint16_t address, uint16_t& value) override;
    uint8_t CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Write(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Poke(uint16_t address, uint16_t value) override;
    void Advance(SimTime now) override;

    void OnTick(SimTime time, MotorModel& motor) override;
    std::optional<SimTime> ListensUntil() const override {
        if (!m_running) return std::nullopt;
        return m_start + m_points * m_period;
    }

    // Decoded settings; 0 for a code outside the lists.
    static int FrequencyHz(uint16_t settings);
    static int PointCount(uint16_t settings);

private:
    void Finish();

    uint16_t m_settings = 0x12;  // 4 kHz, 2048 points
    uint16_t m_status = 0;
    std::vector<uint16_t> m_result;
    SimTime m_now{0};
    bool m_running = false;
    SimTime m_start{}, m_period{};
    int m_points = 0;
    std::vector<float> m_samples;
    MotorModel& m_motor;
};

}  // namespace hx::sim
