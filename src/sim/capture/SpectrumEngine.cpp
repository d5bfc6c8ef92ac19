#include "sim/capture/SpectrumEngine.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <numeric>

#include "core/protocol/Registers.h"

namespace hx::sim {

namespace {
constexpr double kExcitationAmps = 0.3;
constexpr int kExcitationHoldTicks = 5;
}  // namespace

SpectrumEngine::SpectrumEngine(MotorModel& motor) : m_result(reg::kSpectrumResultMax, 0), m_motor(motor) {}
SpectrumEngine::~SpectrumEngine() = default;

int SpectrumEngine::FrequencyHz(uint16_t settings) {
    switch (settings & 0xF) {
    case 0: return 1000;
    case 1: return 2000;
    case 2: return 4000;
    case 3: return 8000;
    }
    return 0;
}

int SpectrumEngine::PointCount(uint16_t settings) {
    switch (settings >> 4) {
    case 0: return 1024;
    case 1: return 2048;
    case 2: return 4096;
    }
    return 0;
}

std::vector<AddressRange> SpectrumEngine::Ranges() const {
    return {{reg::kSpectrumSettings, reg::kSpectrumSettings},
            {reg::kSpectrumStart, reg::kSpectrumStart},
            {reg::kSpectrumStatus, reg::kSpectrumStatus},
            {reg::kSpectrumResultFirst, static_cast<uint16_t>(reg::kSpectrumResultFirst + reg::kSpectrumResultMax - 1)}};
}

uint8_t SpectrumEngine::Read(uint16_t a, uint16_t& value) {
    if (a >= reg::kSpectrumResultFirst) value = m_result[a - reg::kSpectrumResultFirst];
    else if (a == reg::kSpectrumSettings) value = m_settings;
    else if (a == reg::kSpectrumStatus) value = m_status;
    else value = 0;  // the start register
    return mbex::kNone;
}

uint8_t SpectrumEngine::CheckWrite(uint16_t a, uint16_t value, const WriteRequest& request) {
    if (a == reg::kSpectrumSettings)
        return FrequencyHz(value) == 0 || PointCount(value) == 0 ? mbex::kIllegalValue : mbex::kNone;
    if (a == reg::kSpectrumStatus || a >= reg::kSpectrumResultFirst) {
        // Read-only: a block leaves them, a single write must not change them.
        uint16_t current = 0;
        Read(a, current);
        return request.single && current != value ? mbex::kIllegalValue : mbex::kNone;
    }
    return mbex::kNone;
}

void SpectrumEngine::Write(uint16_t a, uint16_t value, const WriteRequest&) {
    if (a == reg::kSpectrumSettings) {
        m_settings = value;
    } else if (a == reg::kSpectrumStart && value == reg::kSpectrumStartValue) {
        m_points = PointCount(m_settings);
        m_period = std::chrono::duration_cast<SimTime>(std::chrono::duration<double>(1.0 / FrequencyHz(m_settings)));
        m_start = m_now;
        m_samples.clear();
        m_samples.reserve(m_points);
        m_status &= static_cast<uint16_t>(~reg::kSpectrumReadyBit);
        m_running = true;
        m_motor.SetExcitation(kExcitationAmps, kExcitationHoldTicks);
    }
}

void SpectrumEngine::Poke(uint16_t a, uint16_t value) {
    if (a >= reg::kSpectrumResultFirst) m_result[a - reg::kSpectrumResultFirst] = value;
    else if (a == reg::kSpectrumSettings) m_settings = value;
    else if (a == reg::kSpectrumStatus) m_status = value;
}

void SpectrumEngine::OnTick(SimTime time, MotorModel& motor) {
    if (!m_running) return;
    while (static_cast<int>(m_samples.size()) < m_points &&
           m_start + static_cast<int64_t>(m_samples.size()) * m_period <= time)
        m_samples.push_back(static_cast<float>(motor.SpeedFeedbackCentiRps()));
}

void SpectrumEngine::Advance(SimTime now) {
    m_now = now;
    if (m_running && now >= m_start + m_points * m_period) Finish();
}

void SpectrumEngine::Finish() {
    m_running = false;
    m_motor.SetExcitation(0);
    const int n = m_points;
    // Points due after the last tick repeat its value.
    const float last = m_samples.empty() ? 0.0f : m_samples.back();
    m_samples.resize(n, last);

    const double mean = std::accumulate(m_samples.begin(), m_samples.end(), 0.0) / n;
    std::vector<float> windowed(n);
    double windowSum = 0;
    for (int i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n);
        windowSum += w;
        windowed[i] = static_cast<float>((m_samples[i] - mean) * w);
    }
    std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, decltype(&kiss_fftr_free)> cfg(
        kiss_fftr_alloc(n, 0, nullptr, nullptr), &kiss_fftr_free);
    std::vector<kiss_fft_cpx> bins(n / 2 + 1);
    kiss_fftr(cfg.get(), windowed.data(), bins.data());

    std::fill(m_result.begin(), m_result.end(), 0);
    for (int k = 0; k < n / 2; ++k) {
        // Amplitude of a sine of this frequency, in 0.01 rps, then x100.
        const double amplitude = 2 * std::hypot(bins[k].r, bins[k].i) / windowSum * 100;
        m_result[k] = static_cast<uint16_t>(static_cast<int16_t>(std::min(std::lround(amplitude), 32767L)));
    }
    m_status |= reg::kSpectrumReadyBit;
}

}  // namespace hx::sim
