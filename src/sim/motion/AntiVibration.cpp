#include "sim/motion/AntiVibration.h"

#include <algorithm>
#include <cmath>

namespace hx::sim {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kStepS = 50e-6;

}  // namespace

std::vector<Impulse> ShaperImpulses(const std::array<int, 13>& s) {
    // Sets as they sit in the drive's order: amplitude, phase A, phase B.
    const int sets[4][3] = {{s[0], s[1], s[2]}, {s[3], s[4], s[5]}, {s[6], s[7], s[8]}, {s[9], s[10], s[11]}};
    std::vector<Impulse> out = {{0.0, 1.0}};
    for (const auto& set : sets) {
        const double amount = std::clamp(set[0], 0, 100) / 100.0;
        const double delay = std::clamp(set[1], 0, 255) * kShaperDelayUnitS;
        if (amount <= 0 || delay <= 0) continue;
        const double zeta = std::clamp(set[2], 0, 255) / 1024.0;
        const double k = std::exp(-zeta * M_PI / std::sqrt(1 - zeta * zeta));
        const double second = amount * k / (1 + k);
        std::vector<Impulse> next;
        for (const Impulse& i : out) {
            next.push_back({i.delayS, i.weight * (1 - second)});
            next.push_back({i.delayS + delay, i.weight * second});
        }
        out = std::move(next);
    }
    return out;
}

double ResonanceHz(const AxisParameters& a) {
    return std::sqrt(a.stiffness * (a.motorInertia + a.loadInertia) / (a.motorInertia * a.loadInertia)) / kTwoPi;
}

std::vector<AxisSample> SimulateAxis(const AxisParameters& a, const std::vector<Impulse>& shaper,
                                     const std::function<CommandPoint(double)>& command, double startS,
                                     double periodS, int count) {
    auto shaped = [&](double t) {
        CommandPoint c;
        for (const Impulse& i : shaper) {
            const CommandPoint p = command(std::max(0.0, t - i.delayS));
            c.positionRev += i.weight * p.positionRev;
            c.speedRps += i.weight * (t - i.delayS >= 0 ? p.speedRps : 0.0);
        }
        return c;
    };
    std::vector<AxisSample> out;
    out.reserve(static_cast<size_t>(std::max(0, count)));
    // Motor and load angles and speeds in rad and rad/s, starting at rest where the command starts.
    const double start = command(0).positionRev * kTwoPi;
    double th1 = start, th2 = start, w1 = 0, w2 = 0, torque = 0;
    double t = 0;
    int next = 0;
    while (next < count) {
        const double sampleAt = startS + next * periodS;
        if (t + 1e-12 >= sampleAt) {
            const CommandPoint c = shaped(t);
            out.push_back({c.positionRev, th1 / kTwoPi, c.speedRps, w1 / kTwoPi, torque});
            ++next;
            continue;
        }
        const CommandPoint c = shaped(t);
        const double speedCommand = a.positionGain * (c.positionRev * kTwoPi - th1) + c.speedRps * kTwoPi;
        torque = a.speedGain * (speedCommand - w1);
        const double coupling = a.stiffness * (th1 - th2) + a.damping * (w1 - w2);
        w1 += (torque - coupling) / a.motorInertia * kStepS;
        w2 += coupling / a.loadInertia * kStepS;
        th1 += w1 * kStepS;
        th2 += w2 * kStepS;
        t += kStepS;
    }
    return out;
}

}  // namespace hx::sim
