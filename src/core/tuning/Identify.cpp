#include "core/tuning/Identify.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/tuning/SolveDense.h"

namespace hx::tuning {

namespace {

double Quantile(std::vector<double> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const double pos = q * (v.size() - 1);
    const std::size_t i = static_cast<std::size_t>(pos);
    const double t = pos - i;
    return i + 1 < v.size() ? v[i] * (1 - t) + v[i + 1] * t : v[i];
}

double Deg(double rad) { return rad * 180.0 / kPi; }

// How far a rigid body's bin may be turned: for the ratio's votes, and for
// the scale (wider: the plant's rigid bins lie higher, where the current
// loop turns them a little; what it takes off the magnitude is 0.3 dB).
constexpr double kRigidPhaseDeg = 20.0, kScalePhaseDeg = 25.0;
// Above the split the open loop's lines fade into noise: only clear ones
// fill in where the plant's estimate fails (at an anti-resonance).
constexpr double kHighBandLineCoherence = 0.9;
// The open loop's lines that must vote for the ratio to be theirs alone.
constexpr int kMinLoopVotes = 3;
// Lines this clear are the plant where they run on above the split.
constexpr double kClearLineCoherence = 0.99;
// The bins that must compare with clear lines for the friction's damper.
constexpr std::size_t kMinDamperPoints = 3;
// Consecutive lines this far apart (frequency over frequency) leave a gap
// a lightly damped mode can hide in whole; the plant's bins fill it.
constexpr double kLineGapRatio = 1.5;
// A split below this: a slow loop (see Identify).
constexpr double kSlowLoopSplitHz = 40;
// How far the plant's scale from each one's rigid bins may lie from the
// one from the band both cover before it is taken for misled.
constexpr double kScaleAgreement = 1.6;

// The probe's rows: the points where the motor runs (a share of the
// peak speed) away from each record's ends, where the slope is taken.
constexpr double kRunningShare = 0.2;
// The low swing's search in the probe's records (FitProbeSwing): the
// frequency's step, the dampings tried, and the sub-steps that integrate
// the swing between two samples.
constexpr double kSwingStep = 1.01;
constexpr std::array<double, 9> kSwingDampings{0.01, 0.02, 0.035, 0.05, 0.07, 0.1, 0.15, 0.2, kSwingMostDamping};
constexpr int kSwingSubSteps = 8;
// The speed feedback follows the current it results from by a sample or
// two (its detection, the sampling's order), which a rigid body's smooth
// acceleration hides and a swing's ringing does not: the current is taken
// that many samples earlier, the shift that explains it best.
constexpr int kSwingEarliestShift = 4, kSwingLatestShift = 2;

// The probe fits' normal equations sum thousands of rows of mA and rev/s^2.
constexpr double kSingularPivot = 1e-12;

// One probe record as the fits take it: the speed (rps), the acceleration
// (rev/s^2, the slope of a line through +-m points: the speed feedback's
// steps of 0.01 rps would make plain differences all noise; 0 where it
// cannot be taken), the current (mA), and which points are rows.
struct ProbeRecord {
    std::vector<double> v, a, i;
    std::vector<bool> row;
};
std::vector<ProbeRecord> ProbeRecords(const std::vector<std::vector<float>>& speed,
                                      const std::vector<std::vector<float>>& current, double dt, bool smoothCurrent) {
    const int m = std::max(2, static_cast<int>(std::lround(0.002 / dt)));
    std::vector<ProbeRecord> out;
    for (std::size_t r = 0; r < speed.size() && r < current.size(); ++r) {
        const std::size_t n = std::min(speed[r].size(), current[r].size());
        double peak = 0;
        for (std::size_t k = 0; k < n; ++k) peak = std::max(peak, std::abs(static_cast<double>(speed[r][k])));
        if (peak <= 0) continue;
        ProbeRecord rec;
        rec.v.resize(n), rec.a.assign(n, 0.0), rec.i.resize(n), rec.row.assign(n, false);
        double den = 0, weights = 0;
        for (int j = -m; j <= m; ++j) den += static_cast<double>(j) * j, weights += (m + 1) * (m + 1) - j * j;
        for (std::size_t k = 0; k < n; ++k) {
            rec.v[k] = speed[r][k] / 100.0;
            rec.i[k] = current[r][k];
            if (k < static_cast<std::size_t>(m) || k + static_cast<std::size_t>(m) >= n) continue;
            double num = 0, i = 0;
            for (int j = -m; j <= m; ++j) {
                num += j * (speed[r][k + static_cast<std::size_t>(j)] / 100.0);
                if (smoothCurrent) i += ((m + 1) * (m + 1) - j * j) * current[r][k + static_cast<std::size_t>(j)];
            }
            rec.a[k] = num / den / dt;
            // The slope weighs the acceleration over the window about as a
            // parabola does: for the swing's search the current, measured
            // with its sensor's noise, is averaged alike, so that what the
            // swing leaves of the rigid fit's residual is the machine's and
            // not the noise's (the rigid fit's estimates are the same
            // either way).
            if (smoothCurrent) rec.i[k] = i / weights;
            rec.row[k] = std::abs(speed[r][k]) >= kRunningShare * peak;
        }
        out.push_back(std::move(rec));
    }
    return out;
}

// The swing's reaction per unit of its inertia: -s^2 / (s^2 + 2 z w s + w^2)
// of the motor's acceleration, the swinging part's acceleration behind the
// motor's (zero at rest, the records start at rest).
std::vector<double> SwingReaction(const ProbeRecord& rec, double dt, double hz, double damping) {
    const double w = 2 * kPi * hz, h = dt / kSwingSubSteps;
    std::vector<double> out(rec.a.size());
    double x = 0, dx = 0;
    for (std::size_t k = 0; k < rec.a.size(); ++k) {
        double ddx = 0;
        for (int s = 0; s < kSwingSubSteps; ++s) {
            ddx = rec.a[k] - 2 * damping * w * dx - w * w * x;
            dx += h * ddx;
            x += h * dx;
        }
        out[k] = -(rec.a[k] - 2 * damping * w * dx - w * w * x);
    }
    return out;
}

// i = c0 a + c1 sign(v) + c2 v + c3 [+ c4 e]: the fit and its rms residual.
template <std::size_t N>
std::optional<std::pair<std::array<double, N>, double>> FitRows(const std::vector<ProbeRecord>& recs,
                                                              const std::vector<std::vector<double>>* swing) {
    std::array<std::array<double, N>, N> ata{};
    std::array<double, N> atb{};
    std::size_t rows = 0;
    auto regressors = [&](std::size_t r, std::size_t k) {
        std::array<double, N> x{};
        x[0] = recs[r].a[k], x[1] = recs[r].v[k] > 0 ? 1.0 : -1.0, x[2] = recs[r].v[k], x[3] = 1.0;
        if constexpr (N > 4) x[4] = (*swing)[r][k];
        return x;
    };
    for (std::size_t r = 0; r < recs.size(); ++r)
        for (std::size_t k = 0; k < recs[r].row.size(); ++k) {
            if (!recs[r].row[k]) continue;
            const std::array<double, N> x = regressors(r, k);
            for (std::size_t p = 0; p < N; ++p) {
                for (std::size_t q = 0; q < N; ++q) ata[p][q] += x[p] * x[q];
                atb[p] += x[p] * recs[r].i[k];
            }
            ++rows;
        }
    if (rows < 8) return std::nullopt;
    const auto sol = SolveDense(ata, atb, kSingularPivot);
    if (!sol) return std::nullopt;
    double sse = 0;
    for (std::size_t r = 0; r < recs.size(); ++r)
        for (std::size_t k = 0; k < recs[r].row.size(); ++k) {
            if (!recs[r].row[k]) continue;
            const std::array<double, N> x = regressors(r, k);
            double e = recs[r].i[k];
            for (std::size_t p = 0; p < N; ++p) e -= (*sol)[p] * x[p];
            sse += e * e;
        }
    return std::pair{*sol, std::sqrt(sse / rows)};
}

}  // namespace

NormalisedPlant Normalise(const PlantMeasurement& m, std::optional<double> scale) {
    NormalisedPlant out;
    if (m.openLoop.empty()) return out;
    FrequencyResponse gl = m.openLoop;
    gl.coherence.resize(gl.size(), 1.0);
    for (std::size_t i = 0; i < gl.size(); ++i) gl.value[i] /= SpeedControllerResponse(m.during, gl.hz[i]);
    if (m.plant.empty()) {
        out.g = gl;
        return out;
    }
    // The plant's estimate (speed over torque current while the loop holds
    // the motor) drifts where the loop's gain is high, and its lowest bins
    // are blurred by the window (a plant falling as 1/f borrows from its
    // neighbours below): from twice the measured loop's first crossover and
    // five bins up it is sound, and there it is what a notch needs; below,
    // the open loop (measured with the instrument) is right. The first
    // crossover, so that a stray point of the open loop above 0 dB far up
    // cannot push the split there.
    const LoopMargins loop = ComputeMargins(m.openLoop, kIdentifyCoherence);
    const double crossover = loop.gainCrossoversHz.empty() ? 0.0 : loop.gainCrossoversHz.front();
    const double plantBin = m.plant.size() > 1 ? (m.plant.hz.back() - m.plant.hz.front()) / (m.plant.size() - 1) : 0;
    out.splitHz = std::max(2 * crossover, 5 * plantBin);
    const double drawnHz = out.drawnHz = out.splitHz;
    // The plant's bins stay off well above that on a slow loop (a phase
    // lead of ten degrees and more at twice the crossover, fading only
    // slowly: see the damper below), while the lines, measured against the
    // command, are sound as long as the command still moves the loop
    // clearly: the split rises over the run of clear lines that follows it,
    // which a single unclear line does not end (it is left out).
    for (std::size_t i = 0, unclear = 0; i < gl.size() && unclear < 2; ++i) {
        if (gl.hz[i] < out.splitHz) continue;
        if (gl.CoherenceAt(i) < kClearLineCoherence) {
            ++unclear;
            continue;
        }
        unclear = 0;
        out.splitHz = std::nextafter(gl.hz[i], 1e12);
    }
    // A first scale from the band both cover: above the split where there
    // are points enough, else above the crossover, else wherever both are
    // coherent (Identify refines it once the modes are known).
    std::vector<double> logRatio, phase;
    for (double from : {out.splitHz, crossover, 0.0}) {
        logRatio.clear();
        phase.clear();
        for (std::size_t i = 0; i < gl.size(); ++i) {
            const double f = gl.hz[i];
            if (gl.CoherenceAt(i) < kIdentifyCoherence || f < from) continue;
            if (CoherenceAt(m.plant, f) < kIdentifyCoherence) continue;
            const std::optional<Complex> p = ValueAt(m.plant, f);
            if (!p || std::abs(*p) == 0) continue;
            const Complex r = gl.value[i] / *p;
            logRatio.push_back(std::log(std::abs(r)));
            phase.push_back(Deg(std::arg(r)));
        }
        if (logRatio.size() >= 3) break;
    }
    out.overlapPoints = static_cast<int>(logRatio.size());
    if (logRatio.size() < 3 && !scale) {
        out.g = gl;
        return out;
    }
    out.plantScale = scale ? *scale : std::exp(Median(logRatio));
    out.overlapPhaseSpreadDeg = phase.empty() ? 0.0 : Quantile(phase, 0.75) - Quantile(phase, 0.25);
    // Below the split the open loop's points; above it the plant's where
    // it is coherent, the open loop's clear lines only where it is not.
    FrequencyResponse low, high;
    for (std::size_t i = 0; i < gl.size(); ++i) {
        const double f = gl.hz[i];
        const bool plantThere = f >= m.plant.hz.front() && f <= m.plant.hz.back() &&
                                CoherenceAt(m.plant, f) >= kIdentifyCoherence;
        if (f >= out.splitHz && plantThere) continue;
        if (f >= drawnHz && f < out.splitHz && gl.CoherenceAt(i) < kClearLineCoherence) continue;
        if (f >= out.splitHz && gl.CoherenceAt(i) < kHighBandLineCoherence) continue;
        low.hz.push_back(f);
        low.value.push_back(gl.value[i]);
        low.coherence.push_back(gl.CoherenceAt(i));
    }
    // The moves' lines are where the moves put their energy, not evenly
    // spread: where two of them lie far apart above the band the loop
    // draws, a machine mode between them is known only by the plant's bins
    // (else its resonance is unnamed, and the phase drawn straight across
    // a whole turn may pass -180 degrees where the loop never does).
    const auto inGap = [&](double f) {
        if (f < drawnHz || f >= out.splitHz) return false;
        const auto above = std::lower_bound(low.hz.begin(), low.hz.end(), f);
        if (above == low.hz.begin() || above == low.hz.end()) return false;
        return *above / *(above - 1) > kLineGapRatio;
    };
    for (std::size_t i = 0; i < m.plant.size(); ++i) {
        if (m.plant.CoherenceAt(i) < kIdentifyCoherence) continue;
        if (m.plant.hz[i] < out.splitHz && !inGap(m.plant.hz[i])) continue;
        high.hz.push_back(m.plant.hz[i]);
        high.value.push_back(m.plant.value[i] * *out.plantScale);
        high.coherence.push_back(m.plant.CoherenceAt(i));
    }
    // Friction at the excitation's small speeds acts as a damper b on the
    // machine's rigid motion: the plant's bins read 1 / (J jw + b) for its
    // rigid term 1 / (J jw), which leads their phase by ten degrees and more
    // just above a slow loop's split, fading as 1 / f; its modes are as they
    // are. The lines, taken at the moves' speeds with the friction's share
    // out, do not carry it: where both are measured (the clear lines above
    // the band the loop draws, a rigid band) b is the difference of the
    // real parts of their impedances and J the lines' own, and every bin
    // gets its rigid part back.
    std::vector<double> damper, inertia;
    for (std::size_t i = 0; i < m.plant.size(); ++i) {
        const double f = m.plant.hz[i];
        if (f < drawnHz || f >= out.splitHz || m.plant.CoherenceAt(i) < kIdentifyCoherence) continue;
        const std::optional<Complex> line = ValueAt(gl, f);
        if (!line || std::abs(*line) == 0 || std::abs(m.plant.value[i]) == 0) continue;
        damper.push_back((1.0 / (m.plant.value[i] * *out.plantScale) - 1.0 / *line).real());
        inertia.push_back((1.0 / *line).imag() / (2 * kPi * f));
    }
    const double b = damper.size() >= kMinDamperPoints ? Median(damper) : 0, j = Median(inertia);
    if (b > 0 && j > 0) {
        out.damper = b;
        for (std::size_t i = 0; i < high.size(); ++i) {
            const Complex jw(0.0, 2 * kPi * high.hz[i]);
            high.value[i] += 1.0 / (j * jw) - 1.0 / (j * jw + b);
        }
    }
    out.g = Merge(low, high);
    out.g.averages = std::max(gl.averages, m.plant.averages);
    return out;
}

std::optional<double> ControllerScale(const PlantMeasurement& m) {
    std::vector<double> scales;
    const FrequencyResponse& h = m.currentOverError;
    for (std::size_t i = 0; i < h.size(); ++i) {
        if (h.CoherenceAt(i) < kIdentifyCoherence) continue;
        const Complex x = h.value[i] / SpeedControllerResponse(m.during, h.hz[i]);
        if (std::abs(Deg(std::arg(x))) > kRigidPhaseDeg) continue;
        scales.push_back(std::abs(x));
    }
    if (scales.size() < 3) return std::nullopt;
    return Median(scales);
}

std::vector<double> RigidCompliance(const FrequencyResponse& r, const ModeSearch& modes, double maxPhaseDeg) {
    std::vector<double> modeHz;
    for (const Mode& m : modes.resonances) modeHz.push_back(m.hz);
    for (const Mode& m : modes.antiResonances) modeHz.push_back(m.hz);
    std::vector<double> out;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r.CoherenceAt(i) < kIdentifyCoherence) continue;
        const double f = r.hz[i];
        const bool nearMode = std::any_of(modeHz.begin(), modeHz.end(), [&](double m) {
            return std::abs(std::log(f / m)) < std::log(1 + kModeExclusionShare);
        });
        if (nearMode) continue;
        Complex shape = 1.0;
        for (const ModePair& p : modes.pairs) shape *= PairShape(p, f);
        // A rigid body's j w r is real and positive; bins where friction,
        // the current loop or a filter turn it are no rigid body.
        const Complex x = r.value[i] * Complex(0.0, 2 * kPi * f) / shape;
        if (std::abs(Deg(std::arg(x))) > maxPhaseDeg || std::abs(x) <= 0) continue;
        // Viscous friction leads the phase: 1 / x = J - j B / w, whose real
        // part is the inertia alone (its magnitude would read a heavier
        // load by up to 6 % within the phase allowed). A lag is the drive's
        // delay, which turns the vector without changing its length.
        const Complex inv = 1.0 / x;
        out.push_back(std::arg(x) > 0 && inv.real() > 0 ? 1.0 / inv.real() : std::abs(x));
    }
    return out;
}

InertiaEstimate EstimateInertiaRatio(const FrequencyResponse& g, const ModeSearch& modes, double askedHz,
                                     const FrequencyResponse* openLoop) {
    InertiaEstimate out;
    out.askedCrossoverHz = askedHz;
    if (openLoop && !openLoop->empty()) out.measuredCrossoverHz = ComputeMargins(*openLoop, kIdentifyCoherence).crossoverHz;
    // 1 + R = 1 / |j w G| at each rigid bin; the median wins.
    std::vector<double> votes = RigidCompliance(g, modes, kRigidPhaseDeg);
    for (double& v : votes) v = 1.0 / v;
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
    const std::vector<ProbeRecord> recs = ProbeRecords(speed, current, dt, false);
    for (const ProbeRecord& r : recs) out.points += static_cast<int>(std::count(r.row.begin(), r.row.end(), true));
    const auto fit = FitRows<4>(recs, nullptr);
    if (!fit) return out;
    const auto& [sol, residual] = *fit;
    if (sol[0] > 0) out.maPerRevPerS2 = sol[0];
    out.coulombMa = sol[1];
    out.viscousMaPerRps = sol[2];
    out.offsetMa = sol[3];
    out.residualMa = residual;
    return out;
}

std::optional<ProbeSwing> FitProbeSwing(const std::vector<std::vector<float>>& speed,
                                        const std::vector<std::vector<float>>& current, double intervalUs,
                                        double fromHz, double toHz) {
    const double dt = intervalUs * 1e-6;
    if (dt <= 0 || fromHz <= 0) return std::nullopt;
    const std::vector<ProbeRecord> recs = ProbeRecords(speed, current, dt, true);
    std::optional<ProbeSwing> best;
    double rigidResidual = 1e300;
    // The current taken each shift earlier; the acceleration the swing
    // reacts to is the speed's and does not shift, so each swing's reaction
    // is integrated once for all the shifts.
    std::vector<std::vector<ProbeRecord>> shifts;
    for (int shift = -kSwingEarliestShift; shift <= kSwingLatestShift; ++shift) {
        std::vector<ProbeRecord> shifted = recs;
        for (std::size_t r = 0; r < recs.size(); ++r)
            for (std::size_t k = 0; k < recs[r].i.size(); ++k) {
                const long from = static_cast<long>(k) + shift;
                const bool inside = from >= 0 && from < static_cast<long>(recs[r].i.size());
                shifted[r].i[k] = inside ? recs[r].i[static_cast<std::size_t>(from)] : 0.0;
                shifted[r].row[k] = recs[r].row[k] && inside;
            }
        const auto rigid = FitRows<4>(shifted, nullptr);
        if (!rigid) continue;
        rigidResidual = std::min(rigidResidual, rigid->second);
        shifts.push_back(std::move(shifted));
    }
    for (double hz = fromHz; hz <= toHz && !shifts.empty(); hz *= kSwingStep)
        for (double damping : kSwingDampings) {
            std::vector<std::vector<double>> swing;
            for (const ProbeRecord& r : recs) swing.push_back(SwingReaction(r, dt, hz, damping));
            for (const std::vector<ProbeRecord>& shifted : shifts) {
                const auto fit = FitRows<5>(shifted, &swing);
                if (!fit || (best && fit->second >= best->residualMa)) continue;
                const auto& [sol, residual] = *fit;
                best = ProbeSwing{hz, damping, sol[0], sol[4], residual, 0};
            }
        }
    if (best) best->rigidResidualMa = rigidResidual;
    return best;
}

Identification Identify(const PlantMeasurement& m, const std::optional<RigidBody>& rigid) {
    Identification id;
    id.rigid = rigid;
    // The current the controller gave for the speed error measures Jm / Kt
    // itself, at every line, whatever the machine's modes: where it was
    // measured it stands, and the two rigid bodies below only fill in.
    const std::optional<double> scale = m.plantScale ? m.plantScale : ControllerScale(m);
    id.scaleFromCurrent = scale && !m.plantScale;
    id.plant = Normalise(m, scale);
    const FrequencyResponse& searched = id.plant.g.empty() ? m.plant : id.plant.g;
    ModeOptions mo;
    mo.minCoherence = kIdentifyCoherence;
    id.modes = FindModes(searched, mo);
    // The scale once more, now that the modes are known: the rigid body as
    // the open loop sees it (Jm / Jtotal) over the rigid body as the plant
    // sees it (Kt / Jtotal), each the median of its own rigid bins. Both
    // are measured where they are good, which the band they share (few
    // points of the open loop, high up) is not.
    if (id.plant.plantScale && !scale) {
        FrequencyResponse gl = m.openLoop;
        for (std::size_t i = 0; i < gl.size(); ++i) gl.value[i] /= SpeedControllerResponse(m.during, gl.hz[i]);
        const std::vector<double> fromLoop = RigidCompliance(gl, id.modes, kScalePhaseDeg);
        const std::vector<double> fromPlant = RigidCompliance(m.plant, id.modes, kScalePhaseDeg);
        const double refined = fromLoop.size() >= 5 && fromPlant.size() >= 5 ? Median(fromLoop) / Median(fromPlant) : 0;
        // Where a coupling's resonance went unnamed, the plant's rigid bins
        // above it see the motor's side alone and read the scale several
        // times off (elsewhere the two agree within a quarter): the band
        // both cover measures it directly and stands.
        if (refined > 0 && std::abs(std::log(refined / *id.plant.plantScale)) > std::log(kScaleAgreement)) {
            id.notes.push_back("the plant's rigid bins disagree with the band the lines share: the shared band's scale is kept");
        } else if (refined > 0) {
            id.plant = Normalise(m, refined);
            id.modes = FindModes(id.plant.g, mo);
        }
    }
    if (id.plant.g.empty()) {
        id.notes.push_back("no open-loop measurement: the inertia ratio cannot be identified");
        return id;
    }
    // A slow loop (a heavy load) puts the split low, where the plant's
    // estimate is still drawn by the loop and blurred by its window: the
    // scale that joins it there errs by up to a third, and the plant's many
    // bins would outvote the lines. There the ratio comes from the open
    // loop's own lines below the split where they are enough: they are
    // measured against the command (the instrument). A faster loop joins
    // the plant where it is sound, and the whole band votes.
    FrequencyResponse fromLoop;
    for (std::size_t i = 0; i < m.openLoop.size(); ++i) {
        if (id.plant.plantScale && m.openLoop.hz[i] >= id.plant.splitHz) break;
        fromLoop.hz.push_back(m.openLoop.hz[i]);
        fromLoop.value.push_back(m.openLoop.value[i] / SpeedControllerResponse(m.during, m.openLoop.hz[i]));
        fromLoop.coherence.push_back(m.openLoop.CoherenceAt(i));
    }
    // A low machine mode inside that band divides it into parts of
    // different inertia: the whole band then votes, each bin by its shape.
    const bool machineMode = id.modes.HasMachineMode();
    const bool slow = !id.plant.plantScale || id.plant.drawnHz < kSlowLoopSplitHz;
    if (slow && !machineMode) id.inertia = EstimateInertiaRatio(fromLoop, id.modes, m.during.speedGainHz, &m.openLoop);
    if (!slow || machineMode || id.inertia.votes < kMinLoopVotes)
        id.inertia = EstimateInertiaRatio(id.plant.g, id.modes, m.during.speedGainHz, &m.openLoop);
    if (!id.inertia.ratio) id.notes.push_back("no rigid band: no bin could vote on the inertia ratio");
    if (!m.plant.empty() && !id.plant.plantScale)
        id.notes.push_back("the plant's band does not overlap the open loop's: the plant is not used");
    return id;
}

}  // namespace hx::tuning
