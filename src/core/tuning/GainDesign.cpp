#include "core/tuning/GainDesign.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace hx::tuning {

namespace {

// The loop's highest gain within a share of a frequency, dB.
double PeakNear(const FrequencyResponse& L, double hz, double share) {
    double peak = -400;
    for (std::size_t i = 0; i < L.size(); ++i)
        if (std::abs(std::log(L.hz[i] / hz)) <= std::log(1 + share)) peak = std::max(peak, MagnitudeDb(L.value[i]));
    return peak;
}

FrequencyResponse Predict(const FrequencyResponse& g, const ServoLoop& loop) {
    FrequencyResponse L = g;
    for (std::size_t i = 0; i < L.size(); ++i) L.value[i] *= SpeedControllerResponse(loop, L.hz[i]);
    return L;
}

constexpr double kNotchSearchShare = 0.12;             // the resonance's neighbourhood
constexpr std::array<double, 4> kNotchWidths{0.1, 0.2, 0.35, 0.6};
constexpr double kTorqueFilterFactor = 10.0;            // filter corner over crossover
constexpr double kIntegralFactor = 4.0;                 // crossover over the integral's corner
constexpr double kPositionFactor = 4.0;                 // speed crossover (rad/s) over position gain
constexpr double kLineFitOctaves = 1.0 / 3, kLineFitMaxOctaves = 1.0;  // SteadyLines' reach
constexpr int kLineFitPoints = 5;
constexpr double kStiffening = 2.2;                     // medium and stiff: the crossover before times this, at least
// WithMachineDip: the band above a machine mode that holds the moving
// inertia, how far a rigid point may be turned, by how much the whole must
// outweigh it, how near a point counts as measuring the dip, the dip's
// reach either side and the points drawn there.
constexpr double kDipBandFrom = 1.3, kDipBandTo = 3.0, kDipRigidPhaseDeg = 20.0, kDipSplit = 1.3;
constexpr double kDipMeasuredShare = 0.1, kDipReach = 0.35;
constexpr int kDipPoints = 15;

}  // namespace

FrequencyResponse DesignPlant(const Identification& id) {
    const FrequencyResponse g = Coherent(id.plant.g, kIdentifyCoherence);
    const double split = id.plant.plantScale ? id.plant.splitHz : 1e12;
    FrequencyResponse out = Merge(SteadyLines(Band(g, 0, split * 0.9999), id.modes), Band(g, split, 1e12));
    out.averages = g.averages;
    return WithMachineDip(out, id);
}

FrequencyResponse WithMachineDip(const FrequencyResponse& g, const Identification& id) {
    if (!id.inertia.ratio) return g;
    const double whole = 1 + *id.inertia.ratio;
    const auto mode = std::find_if(id.modes.pairs.begin(), id.modes.pairs.end(),
                                   [](const ModePair& p) { return p.machineMode; });
    double fa = 0, fr = 0, za = 0, zr = 0;
    if (mode != id.modes.pairs.end() && !mode->antiResonance) {
        // The mode's peak named: what moves with the motor above it are
        // the rigid points there, by their magnitude (RigidCompliance's
        // real part, which takes a friction's lead out for the ratio's
        // votes, put seed 8's dip where its margins before read 1.4 degrees
        // further off).
        fr = mode->resonance.hz;
        zr = mode->resonance.dampingRatio;
        std::vector<double> band;
        for (std::size_t i = 0; i < g.size(); ++i) {
            if (g.hz[i] < kDipBandFrom * fr || g.hz[i] > kDipBandTo * fr) continue;
            const Complex x = g.value[i] * Complex(0.0, 2 * kPi * g.hz[i]);
            if (std::abs(std::arg(x)) * 180 / kPi <= kDipRigidPhaseDeg && std::abs(x) > 0) band.push_back(1 / std::abs(x));
        }
        if (band.size() < 3) return g;
        std::sort(band.begin(), band.end());
        const double moving = band[band.size() / 2];
        if (whole < kDipSplit * moving) return g;
        fa = fr * std::sqrt(moving / whole);
        za = zr * fa / fr;  // the dip as damped as its peak relative to its frequency
    } else if (mode == id.modes.pairs.end() && id.swing && id.bandRatio) {
        // Unnamed, but the probe rang with it: its own frequency is the dip.
        const double moving = 1 + *id.bandRatio;
        if (whole < kDipSplit * moving) return g;
        fa = id.swing->hz;
        za = id.swing->damping;
        fr = fa * std::sqrt(whole / moving);
        zr = za * fr / fa;
    } else {
        return g;
    }
    for (double f : g.hz)
        if (std::abs(std::log(f / fa)) < std::log(1 + kDipMeasuredShare)) return g;  // measured
    const double wa = 2 * kPi * fa, wr = 2 * kPi * fr;
    FrequencyResponse dip;
    const double lo = fa / (1 + kDipReach), hi = std::min(fa * (1 + kDipReach), 0.9 * fr);
    for (double f : LogFrequencies(lo, hi, kDipPoints)) {
        const Complex s(0.0, 2 * kPi * f);
        const Complex shape = (s * s / (wa * wa) + 2 * za * s / wa + 1.0) / (s * s / (wr * wr) + 2 * zr * s / wr + 1.0);
        dip.hz.push_back(f);
        dip.value.push_back(shape / (whole * s));
        dip.coherence.push_back(1.0);
    }
    FrequencyResponse out = Merge(Band(g, 0, lo * 0.9999), dip);
    out = Merge(out, Band(g, hi * 1.0001, 1e12));
    out.averages = g.averages;
    return out;
}

bool Feasible(const LoopMargins& m, double fc, double minPhaseMarginDeg) {
    // The margins at every crossover (a low mode's dip may add some below);
    // the bandwidth where it was asked.
    return m.Meets(minPhaseMarginDeg, kDesignGainMarginDb) && m.crossoverHz && *m.crossoverHz > 0.75 * fc &&
           *m.crossoverHz < 1.33 * fc;
}

FrequencyResponse SteadyLines(const FrequencyResponse& lines, const ModeSearch& modes) {
    // A low machine mode bends the curve inside the loop's band, where its
    // own anti-resonance may go unnamed: no straight line holds there.
    if (modes.HasMachineMode())
        return Coherent(lines, kIdentifyCoherence);
    std::vector<double> breaks;
    for (const Mode& m : modes.resonances) breaks.push_back(m.hz);
    for (const Mode& m : modes.antiResonances) breaks.push_back(m.hz);
    return RobustLineFit(Coherent(lines, kIdentifyCoherence), kLineFitOctaves, kLineFitMaxOctaves, kLineFitPoints,
                         breaks, kModeExclusionShare);
}

double StiffnessShare(Stiffness s) {
    switch (s) {
        case Stiffness::Soft: return 0.4;
        case Stiffness::Medium: return 0.9;
        case Stiffness::Stiff: return 1.0;
    }
    return 0.7;
}

ServoLoop LoopFor(const FrequencyResponse& g, const ModeSearch& modes, double ratio, double fc,
                  const ServoLoop& current, FrequencyResponse* openLoop, std::vector<NotchPlacement>* placed) {
    ServoLoop loop = current;
    loop.inertiaRatio = ratio;
    loop.integralOn = true;
    loop.speedGainHz = fc;
    loop.integralTimeS = kIntegralFactor / (2 * kPi * fc);
    loop.torqueFilterS = 1.0 / (2 * kPi * kTorqueFilterFactor * fc);
    // Notches the measurement cannot judge (outside its band) stay as they are.
    std::vector<int> free;
    for (int i = 0; i < kNotchCount; ++i) {
        Notch& n = loop.notches[i];
        const bool outside = n.Active() && !g.empty() && (n.centerHz < g.hz.front() || n.centerHz > g.hz.back());
        if (!outside) {
            n = Notch{};
            free.push_back(i);
        }
    }
    if (placed) placed->clear();
    FrequencyResponse L = Predict(g, loop);
    // The resonances that would stand too close to 0 dB, worst first.
    std::vector<std::pair<double, Mode>> needs;
    for (const ModePair& p : modes.pairs) {
        if (p.machineMode) continue;
        const double peak = PeakNear(L, p.resonance.hz, kNotchSearchShare);
        if (peak > -(kDesignGainMarginDb + 3)) needs.push_back({peak, p.resonance});
    }
    std::sort(needs.begin(), needs.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [peak, mode] : needs) {
        if (free.empty()) break;
        const int slot = free.front();
        free.erase(free.begin());
        Notch n;
        n.centerHz = mode.hz;
        const double wanted = -(kDesignGainMarginDb + 4);
        n.centerGain = std::clamp(std::pow(10.0, (wanted - peak) / 20.0), 0.0, 0.7);
        if (n.centerGain < 0.02) n.centerGain = 0;
        for (double width : kNotchWidths) {
            n.poleDamping = width;
            loop.notches[slot] = n;
            if (PeakNear(Predict(g, loop), mode.hz, kNotchSearchShare) <= -(kDesignGainMarginDb + 2)) break;
        }
        if (placed) placed->push_back({mode, n, peak});
    }
    // Pr1.05 so that the predicted loop crosses over at fc: below the
    // filters the loop falls with frequency, so its crossover follows the gain.
    for (int k = 0; k < 4; ++k) {
        L = Predict(g, loop);
        const LoopMargins m = ComputeMargins(L);
        if (!m.crossoverHz || *m.crossoverHz <= 0) break;
        loop.speedGainHz *= fc / *m.crossoverHz;  // the last crossover: the bandwidth
        // A low machine mode's dip takes the loop through 0 dB below fc as
        // well; the integral's corner then keeps its distance from there.
        const double lowest = m.gainCrossoversHz.front();
        if (lowest < 0.7 * fc) loop.integralTimeS = std::max(loop.integralTimeS, kIntegralFactor / (2 * kPi * lowest));
    }
    if (openLoop) *openLoop = Predict(g, loop);
    return loop;
}

Design DesignGains(const Identification& id, const DesignRequest& req) {
    Design d;
    d.loop = req.current;
    const FrequencyResponse g = DesignPlant(id);
    if (g.size() < 10) {
        d.status = Design::Status::NoPlant;
        d.notes.push_back("too few coherent points in the measured plant");
        return d;
    }
    d.openLoopBefore = Predict(g, req.current);
    d.marginsBefore = ComputeMargins(d.openLoopBefore);
    if (!id.inertia.ratio) {
        d.status = Design::Status::NoRatio;
        d.notes.push_back("the inertia ratio could not be identified");
        return d;
    }
    const double ratio = std::clamp(*id.inertia.ratio, 0.0, 100.0);
    for (const ModePair& p : id.modes.pairs)
        if (!p.machineMode && p.antiResonance) {
            d.firstAntiResonanceHz = p.antiResonance->hz;
            break;
        }
    // A coupling's anti-resonance always has its resonance above it, which
    // a heavy load puts beyond the pairs' reach, and which then stands out
    // from no plant put on a scale its unnamed shape misled: the crossover
    // keeps below such a dip as below a named pair's.
    for (const Mode& a : id.modes.antiResonances) {
        const bool paired = std::any_of(id.modes.pairs.begin(), id.modes.pairs.end(), [&](const ModePair& p) {
            return p.antiResonance && p.antiResonance->hz == a.hz;
        });
        if (!paired && a.hz >= kMachineModeCeilingHz && a.hz < d.firstAntiResonanceHz.value_or(1e9))
            d.firstAntiResonanceHz = a.hz;
    }
    double upper = 0.25 * g.hz.back();
    if (d.firstAntiResonanceHz) upper = std::min(upper, 0.5 * *d.firstAntiResonanceHz);

    double phaseMarginDeg = kDesignPhaseMarginDeg;
    auto tryAt = [&](double fc, ServoLoop* loop, FrequencyResponse* L, std::vector<NotchPlacement>* notches) {
        *loop = LoopFor(g, id.modes, ratio, fc, req.current, L, notches);
        return Feasible(ComputeMargins(*L), fc, phaseMarginDeg);
    };
    ServoLoop loop;
    FrequencyResponse L;
    std::vector<NotchPlacement> notches;
    for (double fc = upper; fc >= kLowestCrossoverHz; fc *= 0.95) {
        if (tryAt(fc, &loop, &L, &notches)) {
            d.limitHz = fc;
            break;
        }
    }
    // Between the grid's steps, to a percent: a step costs a twentieth of
    // what the machine can take.
    for (double hi = std::min(upper, d.limitHz / 0.95); d.limitHz > 0 && hi > 1.01 * d.limitHz;) {
        const double mid = std::sqrt(d.limitHz * hi);
        if (tryAt(mid, &loop, &L, &notches)) d.limitHz = mid;
        else hi = mid;
    }
    if (d.limitHz <= 0) {
        d.status = Design::Status::MarginsUnreachable;
        d.notes.push_back("no crossover down to 5 Hz holds the margins");
        return d;
    }
    double target = req.targetHz ? std::min(*req.targetHz, d.limitHz) : StiffnessShare(req.stiffness) * d.limitHz;
    // A medium or stiff loop is worth its tuning only where it is clearly
    // stiffer than the loop it replaces: where the machine allows it, at
    // least kStiffening times the crossover measured before, which a share
    // of the limit alone misses where the limit is near that.
    double floor = 0;
    if (!req.targetHz && req.stiffness != Stiffness::Soft && d.marginsBefore.crossoverHz)
        floor = kStiffening * *d.marginsBefore.crossoverHz;
    // Where the limit stops short of that, the stiffening takes part of the
    // phase margin's cushion (never the anti-resonance's share): the
    // highest crossover up to it that keeps
    // kStiffeningPhaseMarginDeg (the proof measures the loop again, and a
    // loop that misses by a little is tried softer).
    bool stiffened = false;
    for (double fc = std::min(floor, upper); fc > 1.01 * d.limitHz && !stiffened; fc *= 0.98) {
        phaseMarginDeg = kStiffeningPhaseMarginDeg;
        stiffened = tryAt(fc, &loop, &L, &notches);
        if (stiffened) floor = fc;
        else phaseMarginDeg = kDesignPhaseMarginDeg;
    }
    if (!stiffened) floor = std::min(d.limitHz, floor);
    target = std::max({target, floor, kLowestCrossoverHz});
    if (req.targetHz && *req.targetHz > d.limitHz) d.notes.push_back("the crossover asked for is above the machine's limit: held to it");
    // Nearest the target: below it within a step or four, else above it
    // up to the limit (the notches a loop needs change with its crossover,
    // so what holds is not one band below the limit), else the limit
    // itself: between the grid's steps only it is sure to hold, and a
    // crossover far below what was asked gives away what the machine has.
    bool found = false;
    for (double fc = target; fc >= std::max(0.8 * target, floor) && !found; fc *= 0.95) found = tryAt(fc, &loop, &L, &notches);
    for (double fc = target / 0.95; fc < d.limitHz && !found; fc /= 0.95) found = tryAt(fc, &loop, &L, &notches);
    if (!found) {
        phaseMarginDeg = kDesignPhaseMarginDeg;
        tryAt(d.limitHz, &loop, &L, &notches);
    }
    d.margins = ComputeMargins(L);
    d.crossoverHz = d.margins.crossoverHz.value_or(0);
    // The position loop around the new speed loop.
    loop.positionGainPerS = 2 * kPi * d.crossoverHz / kPositionFactor;
    for (int k = 0; k < 20; ++k) {
        d.positionMargins = ComputeMargins(PositionOpenLoop(L, loop.positionGainPerS));
        if (d.positionMargins.phaseMarginDeg && *d.positionMargins.phaseMarginDeg >= kMinPositionPhaseMarginDeg) break;
        loop.positionGainPerS *= 0.9;
    }
    d.loop = loop;
    d.openLoop = L;
    d.notches = notches;
    d.status = Design::Status::Ok;
    return d;
}

}  // namespace hx::tuning
