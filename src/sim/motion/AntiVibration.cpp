#include "sim/motion/AntiVibration.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hx::sim {

std::vector<Impulse> ShaperImpulses(const std::array<int, 13>& s) {
    // Sets as they sit in the drive's order: amplitude, phase A, phase B.
    const int sets[4][3] = {{s[0], s[1], s[2]}, {s[3], s[4], s[5]}, {s[6], s[7], s[8]}, {s[9], s[10], s[11]}};
    std::vector<Impulse> out = {{0.0, 1.0}};
    for (const auto& set : sets) {
        const double amount = std::clamp(set[0], 0, 100) / 100.0;
        const double delay = std::clamp(set[1], 0, 255) * kShaperDelayUnitS;
        if (amount <= 0 || delay <= 0) continue;
        const double zeta = std::clamp(set[2], 0, 255) / 1024.0;
        // Zero-vibration shaper: the second impulse is smaller by the decay
        // of the ringing over half a period.
        const double k = std::exp(-zeta * std::numbers::pi / std::sqrt(1 - zeta * zeta));
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

int PhaseForResonance(double hz) {
    return static_cast<int>(std::clamp(std::lround(0.5 / hz / kShaperDelayUnitS), 0L, 255L));
}

}  // namespace hx::sim
