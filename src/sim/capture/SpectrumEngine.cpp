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
constexpr double kExcitationAmps = 1.0;
constexpr int kExcitationHoldTicks = 5;
constexpr int kSmoothingBins = 2;  // +/- 4 Hz at 4 kHz and 2048 points
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
        m_speed.clear();
        m_current.clear();
        m_speed.reserve(m_points);
        m_current.reserve(m_points);
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
    while (static_cast<int>(m_speed.size()) < m_points &&
           m_start + static_cast<int64_t>(m_speed.size()) * m_period <= time) {
        m_speed.push_back(static_cast<float>(motor.SpeedFeedbackCentiRps()));
        m_current.push_back(static_cast<float>(motor.Feedback().currentA));
    }
}

void SpectrumEngine::Advance(SimTime now) {
    m_now = now;
    if (m_running && now >= m_start + m_points * m_period) Finish();
}

namespace {

// The Hann-windowed spectrum of the samples, their mean removed; points due
// after the last tick repeat its value.
std::vector<kiss_fft_cpx> WindowedSpectrum(std::vector<float> samples, int n, kiss_fftr_cfg cfg) {
    const float last = samples.empty() ? 0.0f : samples.back();
    samples.resize(n, last);
    const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / n;
    std::vector<float> windowed(n);
    for (int i = 0; i < n; ++i)
        windowed[i] = static_cast<float>((samples[i] - mean) * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n)));
    std::vector<kiss_fft_cpx> bins(n / 2 + 1);
    kiss_fftr(cfg, windowed.data(), bins.data());
    return bins;
}

}  // namespace

void SpectrumEngine::Finish() {
    m_running = false;
    m_motor.SetExcitation(0);
    const int n = m_points;
    std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, decltype(&kiss_fftr_free)> cfg(
        kiss_fftr_alloc(n, 0, nullptr, nullptr), &kiss_fftr_free);
    const auto speed = WindowedSpectrum(m_speed, n, cfg.get());
    const auto current = WindowedSpectrum(m_current, n, cfg.get());

    // The speed's answer over the current applied, as the cross spectrum over
    // the current's own, each summed over a few neighbouring bins: a bin
    // where one random excitation happened to put almost no current would
    // otherwise stand out as a spike as tall as the resonance.
    std::fill(m_result.begin(), m_result.end(), 0);
    const int half = n / 2;
    for (int k = 0; k < half; ++k) {
        double crossRe = 0, crossIm = 0, power = 0;
        for (int j = std::max(0, k - kSmoothingBins); j <= std::min(half - 1, k + kSmoothingBins); ++j) {
            crossRe += speed[j].r * current[j].r + speed[j].i * current[j].i;
            crossIm += speed[j].i * current[j].r - speed[j].r * current[j].i;
            power += current[j].r * current[j].r + current[j].i * current[j].i;
        }
        const double response = power > 0 ? std::hypot(crossRe, crossIm) / power : 0.0;
        m_result[k] = static_cast<uint16_t>(static_cast<int16_t>(std::min(std::lround(response), 32767L)));
    }
    m_status |= reg::kSpectrumReadyBit;
}

}  // namespace hx::sim
