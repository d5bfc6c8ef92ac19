#include "sim/motion/CurrentStep.h"

#include <algorithm>
#include <cmath>

namespace hx::sim {
namespace {

constexpr double kLoopPeriod = 50e-6;         // s, the drive's current-loop rate
constexpr double kTunedBandwidth = 2000.0;    // rad/s

}  // namespace

std::vector<int16_t> RunCurrentStep(const Winding& w, const CurrentGains& g, int testCurrentMa, int points,
                                    int samplePeriodUs) {
    std::vector<int16_t> samples(static_cast<size_t>(std::max(0, points)));
    const double kp = g.kp * kKpVoltsPerAmp;
    const double ki = g.ki * kKiVoltsPerAmpSecond;
    const double target = testCurrentMa / 1000.0;
    const int stepsPerSample = std::max(1, static_cast<int>(std::lround(samplePeriodUs * 1e-6 / kLoopPeriod)));
    // Exact discretisation of L di/dt = v - R i over one loop period.
    const double decay = std::exp(-w.resistance * kLoopPeriod / w.inductance);
    const double gain = (1.0 - decay) / w.resistance;
    double current = 0, integral = 0;
    for (int n = 0; n < points; ++n) {
        samples[n] = static_cast<int16_t>(std::clamp(std::lround(current * 1000.0), -32768L, 32767L));
        for (int s = 0; s < stepsPerSample; ++s) {
            const double error = target - current;
            integral = std::clamp(integral + ki * error * kLoopPeriod, -w.busVoltage, w.busVoltage);
            const double voltage = std::clamp(kp * error + integral, -w.busVoltage, w.busVoltage);
            current = current * decay + voltage * gain;
        }
    }
    return samples;
}

CurrentGains AutoTuneGains(const Winding& w, int16_t kc) {
    CurrentGains g;
    g.kp = static_cast<int16_t>(std::lround(w.inductance * kTunedBandwidth / kKpVoltsPerAmp));
    g.ki = static_cast<int16_t>(std::max(1L, std::lround(w.resistance * kTunedBandwidth / kKiVoltsPerAmpSecond)));
    g.kc = kc;
    return g;
}

}  // namespace hx::sim
