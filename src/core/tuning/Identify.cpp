#include "core/tuning/Identify.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace hx::tuning {

namespace {

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double Quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const double pos = q * (v.size() - 1);
    const std::size_t i = static_cast<std::size_t>(pos);
    const double t = pos - i;
    return i + 1 < v.size() ? v[i] * (1 - t) + v[i + 1] * t : v[i];
}

double Deg(double rad) { return rad * 180.0 / kPi; }

// Keeps a point of `from` only where its coherence is at least the other's there.
void TakeBetter(const FrequencyResponse& from, const FrequencyResponse& other, FrequencyResponse& into) {
    for (std::size_t i = 0; i < from.size(); ++i) {
        const double f = from.hz[i];
        const bool inOther = !other.empty() && f >= other.hz.front() && f <= other.hz.back();
        if (inOther && from.CoherenceAt(i) < CoherenceAt(other, f)) continue;
        into.hz.push_back(f);
        into.value.push_back(from.value[i]);
        into.coherence.push_back(from.CoherenceAt(i));
    }
}

}  // namespace

NormalisedPlant Normalise(const PlantMeasurement& m) {
    NormalisedPlant out;
    if (m.openLoop.empty()) return out;
    FrequencyResponse gl = m.openLoop;
    gl.coherence.resize(gl.size(), 1.0);
    for (std::size_t i = 0; i < gl.size(); ++i) gl.value[i] /= SpeedControllerResponse(m.during, gl.hz[i]);
    if (m.plant.empty()) {
        out.g = gl;
        return out;
    }
    // The scale that puts the plant onto G, from the band both cover.
    std::vector<double> logRatio, phase;
    for (std::size_t i = 0; i < gl.size(); ++i) {
        if (gl.CoherenceAt(i) < kIdentifyCoherence) continue;
        const double f = gl.hz[i];
        if (CoherenceAt(m.plant, f) < kIdentifyCoherence) continue;
        const std::optional<Complex> p = ValueAt(m.plant, f);
        if (!p || std::abs(*p) == 0) continue;
        const Complex r = gl.value[i] / *p;
        logRatio.push_back(std::log(std::abs(r)));
        phase.push_back(Deg(std::arg(r)));
    }
    out.overlapPoints = static_cast<int>(logRatio.size());
    if (logRatio.size() < 3) {
        out.g = gl;
        return out;
    }
    out.plantScale = std::exp(Median(logRatio));
    out.overlapPhaseSpreadDeg = Quantile(phase, 0.75) - Quantile(phase, 0.25);
    FrequencyResponse gp = m.plant;
    gp.coherence.resize(gp.size(), 1.0);
    for (Complex& v : gp.value) v *= *out.plantScale;
    FrequencyResponse merged;
    merged.averages = std::max(gl.averages, gp.averages);
    TakeBetter(gl, gp, merged);
    TakeBetter(gp, gl, merged);
    std::vector<std::size_t> order(merged.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return merged.hz[a] < merged.hz[b]; });
    for (std::size_t i : order) {
        if (!out.g.empty() && merged.hz[i] <= out.g.hz.back()) continue;
        out.g.hz.push_back(merged.hz[i]);
        out.g.value.push_back(merged.value[i]);
        out.g.coherence.push_back(merged.coherence[i]);
    }
    out.g.averages = merged.averages;
    return out;
}

InertiaEstimate EstimateInertiaRatio(const FrequencyResponse& g, const ModeSearch& modes, double askedHz,
                                     const FrequencyResponse* openLoop) {
    InertiaEstimate out;
    out.askedCrossoverHz = askedHz;
    if (openLoop && !openLoop->empty()) out.measuredCrossoverHz = ComputeMargins(*openLoop, kIdentifyCoherence).crossoverHz;
    std::vector<double> modeHz;
    for (const Mode& r : modes.resonances) modeHz.push_back(r.hz);
    for (const Mode& a : modes.antiResonances) modeHz.push_back(a.hz);
    std::vector<double> votes;
    for (std::size_t i = 0; i < g.size(); ++i) {
        if (g.CoherenceAt(i) < kIdentifyCoherence) continue;
        const double f = g.hz[i];
        const bool nearMode = std::any_of(modeHz.begin(), modeHz.end(), [&](double m) {
            return std::abs(std::log(f / m)) < std::log(1 + kModeExclusionShare);
        });
        if (nearMode) continue;
        Complex shape = 1.0;
        for (const ModePair& p : modes.pairs) shape *= PairShape(p, f);
        // A rigid body's j w G is real and positive: 1 / (1 + R). Bins
        // where friction, the current loop or a filter turn it are no
        // rigid body and do not vote.
        const Complex x = g.value[i] * Complex(0.0, 2 * kPi * f) / shape;
        if (std::abs(Deg(std::arg(x))) > 20.0 || std::abs(x) <= 0) continue;
        votes.push_back(1.0 / std::abs(x));
    }
    out.votes = static_cast<int>(votes.size());
    if (votes.empty()) return out;
    const double onePlusR = Median(votes);
    out.ratio = std::max(0.0, onePlusR - 1.0);
    out.spread = 0.5 * (Quantile(votes, 0.75) - Quantile(votes, 0.25)) / onePlusR;
    return out;
}

RigidBody EstimateRigidBody(const std::vector<std::vector<float>>& speed, const std::vector<std::vector<float>>& current,
                            double intervalUs) {
    RigidBody out;
    const double dt = intervalUs * 1e-6;
    if (dt <= 0) return out;
    // Acceleration as the slope of a line through +-m points: the speed
    // feedback's steps of 0.01 rps would make plain differences all noise.
    const int m = std::max(2, static_cast<int>(std::lround(0.002 / dt)));
    std::array<std::array<double, 4>, 4> ata{};
    std::array<double, 4> atb{};
    std::vector<std::array<double, 5>> rows;
    for (std::size_t r = 0; r < speed.size() && r < current.size(); ++r) {
        const std::vector<float>& v = speed[r];
        const std::vector<float>& i = current[r];
        const std::size_t n = std::min(v.size(), i.size());
        double peak = 0;
        for (std::size_t k = 0; k < n; ++k) peak = std::max(peak, std::abs(static_cast<double>(v[k])));
        if (peak <= 0) continue;
        for (std::size_t k = static_cast<std::size_t>(m); k + static_cast<std::size_t>(m) < n; ++k) {
            const double vk = v[k] / 100.0;  // rps
            if (std::abs(v[k]) < 0.2 * peak) continue;
            double num = 0, den = 0;
            for (int j = -m; j <= m; ++j) {
                num += j * (v[k + static_cast<std::size_t>(j)] / 100.0);
                den += static_cast<double>(j) * j;
            }
            const double a = num / den / dt;
            const std::array<double, 4> x{a, vk > 0 ? 1.0 : -1.0, vk, 1.0};
            for (int p = 0; p < 4; ++p) {
                for (int q = 0; q < 4; ++q) ata[p][q] += x[p] * x[q];
                atb[p] += x[p] * i[k];
            }
            rows.push_back({x[0], x[1], x[2], x[3], static_cast<double>(i[k])});
        }
    }
    out.points = static_cast<int>(rows.size());
    if (rows.size() < 8) return out;
    // Gaussian elimination on the 4 x 4 normal equations.
    std::array<double, 4> sol{};
    for (int c = 0; c < 4; ++c) {
        int p = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::abs(ata[r][c]) > std::abs(ata[p][c])) p = r;
        if (std::abs(ata[p][c]) < 1e-12) return out;
        std::swap(ata[p], ata[c]);
        std::swap(atb[p], atb[c]);
        for (int r = c + 1; r < 4; ++r) {
            const double f = ata[r][c] / ata[c][c];
            for (int k = c; k < 4; ++k) ata[r][k] -= f * ata[c][k];
            atb[r] -= f * atb[c];
        }
    }
    for (int c = 3; c >= 0; --c) {
        double s = atb[c];
        for (int k = c + 1; k < 4; ++k) s -= ata[c][k] * sol[k];
        sol[c] = s / ata[c][c];
    }
    if (sol[0] > 0) out.maPerRevPerS2 = sol[0];
    out.coulombMa = sol[1];
    out.viscousMaPerRps = sol[2];
    out.offsetMa = sol[3];
    double sse = 0;
    for (const auto& r : rows) {
        const double e = r[4] - (sol[0] * r[0] + sol[1] * r[1] + sol[2] * r[2] + sol[3] * r[3]);
        sse += e * e;
    }
    out.residualMa = std::sqrt(sse / rows.size());
    return out;
}

Identification Identify(const PlantMeasurement& m, const std::optional<RigidBody>& rigid) {
    Identification id;
    id.rigid = rigid;
    id.plant = Normalise(m);
    const FrequencyResponse& searched = id.plant.g.empty() ? m.plant : id.plant.g;
    ModeOptions mo;
    mo.minCoherence = kIdentifyCoherence;
    id.modes = FindModes(searched, mo);
    if (id.plant.g.empty()) {
        id.notes.push_back("no open-loop measurement: the inertia ratio cannot be identified");
        return id;
    }
    id.inertia = EstimateInertiaRatio(id.plant.g, id.modes, m.during.speedGainHz, &m.openLoop);
    if (!id.inertia.ratio) id.notes.push_back("no rigid band: no bin could vote on the inertia ratio");
    if (!m.plant.empty() && !id.plant.plantScale)
        id.notes.push_back("the plant's band does not overlap the open loop's: the plant is not used");
    return id;
}

}  // namespace hx::tuning
