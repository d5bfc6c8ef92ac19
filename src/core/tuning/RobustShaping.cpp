#include "core/tuning/RobustShaping.h"

#include <algorithm>
#include <cmath>

namespace hx::tuning {

namespace {

using analysis::AntiVibrationSet;

constexpr int kBandPoints = 41;

double DelayMs(const std::vector<AntiVibrationSet>& sets) {
    double ms = 0;
    for (const AntiVibrationSet& s : sets)
        if (s.amplitude > 0 && s.phaseA > 0) ms += s.phaseA * analysis::kShaperUnitMs;
    return ms;
}

// Better: meets the target with less delay, or (neither meets) leaves less.
bool Better(const RobustShaping& a, const RobustShaping& b) {
    if (a.meetsTarget != b.meetsTarget) return a.meetsTarget;
    if (a.meetsTarget) return a.delayMs < b.delayMs - 1e-9 || (std::abs(a.delayMs - b.delayMs) <= 1e-9 && a.worstResidual < b.worstResidual);
    return a.worstResidual < b.worstResidual;
}

}  // namespace

double WorstResidual(const std::vector<AntiVibrationSet>& sets, double f, double zeta, double spread) {
    double worst = 0;
    for (int i = 0; i < kBandPoints; ++i) {
        const double share = -spread + 2 * spread * i / (kBandPoints - 1);
        worst = std::max(worst, analysis::PredictedResidual(sets, f * (1 + share), zeta));
    }
    return worst;
}

RobustShaping ProposeRobustAntiVibration(double f, double zeta, double spread, double target) {
    RobustShaping best;
    if (f <= 0) return best;
    const int phaseB = std::clamp(static_cast<int>(std::lround(zeta * 1024)), 0, analysis::kPhaseBMax);
    const int ideal = static_cast<int>(std::lround(500.0 / f / analysis::kShaperUnitMs));
    auto consider = [&](std::vector<AntiVibrationSet> sets) {
        RobustShaping c;
        c.sets = std::move(sets);
        c.worstResidual = WorstResidual(c.sets, f, zeta, spread);
        c.nominalResidual = analysis::PredictedResidual(c.sets, f, zeta);
        c.delayMs = DelayMs(c.sets);
        c.meetsTarget = c.worstResidual <= target;
        if (best.sets.empty() || Better(c, best)) best = c;
    };
    auto set = [&](int phaseA) { return AntiVibrationSet{100, std::clamp(phaseA, 1, analysis::kPhaseAMax), phaseB}; };
    const int lo = std::clamp(static_cast<int>(ideal * 0.6), 1, analysis::kPhaseAMax);
    const int hi = std::clamp(static_cast<int>(std::ceil(ideal * 1.4)), 1, analysis::kPhaseAMax);
    for (int a = lo; a <= hi; ++a) consider({set(a)});
    if (!best.meetsTarget) {
        for (int a = lo; a <= hi; ++a)
            for (int b = a; b <= hi; ++b) consider({set(a), set(b)});
    }
    if (!best.meetsTarget && ideal > analysis::kPhaseAMax) {
        for (int n = 3; n <= analysis::kAntiVibrationSets; ++n)
            consider(std::vector<AntiVibrationSet>(static_cast<std::size_t>(n), set(analysis::kPhaseAMax)));
    }
    return best;
}

std::array<int32_t, 13> ApplySets(const std::array<int32_t, 13>& settings, const std::vector<AntiVibrationSet>& sets) {
    std::array<int32_t, 13> out = settings;
    for (int s = 0; s < analysis::kAntiVibrationSets; ++s) {
        const std::size_t k = static_cast<std::size_t>(3 * s);
        if (static_cast<std::size_t>(s) < sets.size()) {
            out[k] = sets[static_cast<std::size_t>(s)].amplitude;
            out[k + 1] = sets[static_cast<std::size_t>(s)].phaseA;
            out[k + 2] = sets[static_cast<std::size_t>(s)].phaseB;
        } else {
            out[k] = 0;
        }
    }
    return out;
}

std::optional<SecondPass> ProposeSecondPass(const analysis::VibrationProposal& first,
                                            const std::array<int32_t, 13>& firstSettings,
                                            const analysis::ResidualVibration& before,
                                            const analysis::ResidualVibration& after) {
    if (first.kind != analysis::VibrationProposal::Kind::OneSet || !after.ringing || after.frequencyHz <= 0 ||
        after.peakToPeak <= analysis::kTargetResidual * before.peakToPeak)
        return std::nullopt;
    const int free = analysis::kAntiVibrationSets - first.sets;
    const double zeta = after.dampingRatio.value_or(0.0);
    SecondPass pass;
    const RobustShaping robust = ProposeRobustAntiVibration(after.frequencyHz, zeta);
    if (!robust.sets.empty() && static_cast<int>(robust.sets.size()) <= free) {
        pass.sets = robust.sets;
    } else {
        // Too slow for the robust choice in the sets left: the plain set, where one does.
        const analysis::VibrationProposal plain = analysis::ProposeAntiVibration(after);
        if (plain.kind != analysis::VibrationProposal::Kind::OneSet || free < 1) return std::nullopt;
        pass.sets = {plain.set};
    }
    pass.firstSet = first.sets;
    pass.touched = first.sets + static_cast<int>(pass.sets.size());
    pass.settings = firstSettings;
    for (std::size_t i = 0; i < pass.sets.size(); ++i) {
        const std::size_t k = 3 * (static_cast<std::size_t>(pass.firstSet) + i);
        pass.settings[k] = pass.sets[i].amplitude;
        pass.settings[k + 1] = pass.sets[i].phaseA;
        pass.settings[k + 2] = pass.sets[i].phaseB;
    }
    pass.predictedResidual = analysis::PredictedResidual(pass.sets, after.frequencyHz, zeta);
    return pass;
}

}  // namespace hx::tuning
