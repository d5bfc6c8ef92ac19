#include "sim/motion/CurrentStep.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/protocol/ServoParameters.h"
#include "sim/motor/ServoLoops.h"

namespace hx::sim {
namespace {

constexpr double kLoopPeriod = hx::servo::kControlPeriod;
constexpr double kTunedBandwidth = 2000.0;  // rad/s

double Scale(hx::servo::Param p) { return hx::servo::Info(p).scale; }

}  // namespace

std::vector<int16_t> RunCurrentStep(const Winding& w, const CurrentGains& g, int testCurrentMa, int points,
                                    int samplePeriodUs) {
    std::vector<int16_t> samples(static_cast<size_t>(std::max(0, points)));
    CurrentPi loop;
    loop.kp = hx::servo::WordToSi(hx::servo::Param::CurrentKp, g.kp);
    loop.kiT = hx::servo::WordToSi(hx::servo::Param::CurrentKi, g.ki) * kLoopPeriod;
    const double limit = w.busVoltage / std::numbers::sqrt3;
    const double target = testCurrentMa / 1000.0;
    const int stepsPerSample = std::max(1, static_cast<int>(std::lround(samplePeriodUs * 1e-6 / kLoopPeriod)));
    // Exact discretisation of L di/dt = v - R i over one loop period.
    const double decay = std::exp(-w.resistance * kLoopPeriod / w.inductance);
    const double gain = (1.0 - decay) / w.resistance;
    double current = 0;
    for (int n = 0; n < points; ++n) {
        samples[n] = static_cast<int16_t>(std::clamp(std::lround(current * 1000.0), -32768L, 32767L));
        for (int s = 0; s < stepsPerSample; ++s) current = current * decay + loop.Step(target - current, 0, limit) * gain;
    }
    return samples;
}

CurrentGains AutoTuneGains(const Winding& w, int16_t kc) {
    CurrentGains g;
    g.kp = static_cast<int16_t>(std::lround(w.inductance * kTunedBandwidth / Scale(hx::servo::Param::CurrentKp)));
    g.ki = static_cast<int16_t>(
        std::max(1L, std::lround(w.resistance * kTunedBandwidth / Scale(hx::servo::Param::CurrentKi))));
    g.kc = kc;
    return g;
}

}  // namespace hx::sim
