#pragma once
// The drive's frequency analysis: on request it excites the machine, samples
// the motor's speed feedback and its torque current, and serves, for each
// frequency bin, how strongly the machine answers a torque there: the speed's
// amplitude over the current's, as drives measure a machine's frequency
// response. Dividing by the current the drive itself applied takes its loops
// out of the picture: a resonance shows where the machine has it, not where
// the speed loop pushes it, and a motion the motor follows is no stronger
// than the machine's answer to it at low frequency.
//
// Registers: 409 settings (bits 0..3 sampling-frequency code: 0 = 1 kHz,
// 1 = 2 kHz, 2 = 4 kHz, 3 = 8 kHz; bits 4..15 point-count code: 0 = 1024,
// 1 = 2048, 2 = 4096 points); 412 <- 0x6600 starts; 496 status, bit 3 set
// when the result is ready (read-only); from 8192 one signed word per bin,
// bins 0 .. points/2 - 1, bin k at k x frequency / points Hz.
//
// While it samples, the drive adds a random torque (+/- 1 A of current, a
// new sign every 250 us) to excite the machine, as drives do to find its
// resonances; a machine at rest would otherwise show nothing but sensor
// noise.
//
// The result is ready once the points have been sampled, that is
// points / frequency after the start, not at once. A bin's word is the
// speed's amplitude in 0.01 rps per ampere of torque current (Hann window,
// means removed; a bin above 32767 reads 32767): a few hundred at a
// lightly damped resonance, thousands at the lowest frequencies, where the
// whole inertia follows the torque. A settings word with a code outside
// the lists is refused with exception 3; other values written to 412 are
// taken and ignored.

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
    std::vector<float> m_speed;   // 0.01 rps
    std::vector<float> m_current;  // A
    MotorModel& m_motor;
};

}  // namespace hx::sim
