#pragma once
// Resonances and anti-resonances of a machine from its measured plant, each
// named once.
//
// The curve searched is the plant's "apparent compliance" |j w P(j w)|: flat
// for a rigid body (1 / inertia), it rises to a peak at each resonance and
// falls into a dip at each anti-resonance, so neither the integrator of the
// plant nor the loop around it tilts the search. The curve is smoothed over
// a constant share of frequency (noise and single bins never make a peak),
// then its extrema are kept only where they stand out from their
// surroundings by a clear prominence: how far the curve must fall (or
// rise) from the extremum before it reaches a higher peak (lower dip) or
// the band's end. One resonance spread over several bins is one extremum;
// extrema closer than kModeMergeShare in frequency are one mode.
//
// Each mode is then fitted locally with a second-order section on the
// complex values (Levy's linearised fit over the bins around it, weighted
// by coherence), which gives its frequency between bins and its damping;
// where the phase is not known (a magnitude-only spectrum) the frequency
// comes from a parabola through the peak and the damping from the
// half-power width.
//
// A collocated two-mass machine always shows an anti-resonance below each
// resonance; the pairs are matched so. A pair is a machine mode (a part of
// the machine swinging on its own compliance, below the speed loop's
// working band) when its resonance lies below kMachineModeCeilingHz; above
// that it is the coupling of motor and load.

#include <optional>
#include <vector>

#include "core/tuning/FrequencyResponse.h"

namespace hx::tuning {

inline constexpr double kModeMergeShare = 0.08;      // extrema within 8 % are one mode
inline constexpr double kMinProminenceDb = 4.0;      // smallest rise (fall) that names a mode
inline constexpr double kMachineModeCeilingHz = 100; // resonances below: machine modes
inline constexpr double kSmoothingShare = 0.03;      // smoothing half-width, a share of frequency
inline constexpr double kMaxModeDamping = 0.5;       // a fitted damping above: no mode (no peak of 4 dB)
inline constexpr double kMinModeDamping = 0.003;     // a fitted damping below: a stray line, no mode
inline constexpr double kProminenceReach = 0.6;      // how far each side a prominence is taken, a share of frequency
inline constexpr double kPairReach = 0.3;            // a weak resonance's anti-resonance lies within this share below
inline constexpr double kFarPairReach = 1.0;         // a clear anti-resonance's resonance within this share above, at most
inline constexpr double kPairedProminenceShare = 0.75; // of the threshold, for a resonance with its anti-resonance
inline constexpr double kFaintProminenceDb = 1.0;   // a resonance just above a clear anti-resonance
inline constexpr double kTopShare = 0.08;            // a peak's top: points within this share
inline constexpr double kTopDb = 2.0;                // and this far below its highest

struct Mode {
    double hz = 0;
    double dampingRatio = 0;
    double prominenceDb = 0;   // how far it stands out
    double levelDb = 0;        // the apparent compliance there
    // The fitted section's own frequency, which a pair's shape takes (0:
    // hz); hz is where the magnitude peaks, which a notch takes.
    double sectionHz = 0;
    bool operator==(const Mode&) const = default;
};

struct ModePair {
    std::optional<Mode> antiResonance;  // below the resonance
    Mode resonance;
    bool machineMode = false;
};

struct ModeOptions {
    double minCoherence = 0.5;    // points below take no part
    double minProminenceDb = kMinProminenceDb;
    bool magnitudeOnly = false;   // the phase is not known
};

struct ModeSearch {
    std::vector<Mode> resonances;       // rising frequency, each once
    std::vector<Mode> antiResonances;   // rising frequency, each once
    std::vector<ModePair> pairs;        // one per resonance
    // The smoothed curve searched, in dB, at the coherent points' frequencies.
    std::vector<double> hz, complianceDb;
    // A low machine mode was named: it parts the load's speed from the motor's inside the loop's band.
    bool HasMachineMode() const {
        for (const ModePair& p : pairs)
            if (p.machineMode) return true;
        return false;
    }
};

// plant: speed over torque (any scale).
ModeSearch FindModes(const FrequencyResponse& plant, const ModeOptions& options = {});

// A pair's shape as a factor of the plant: a two-mass section
//   (s^2/wa^2 + 2 za s/wa + 1) / (s^2/wr^2 + 2 zr s/wr + 1)
// that is 1 at low frequency, and (wa/wr)^2 times that for a machine mode,
// so that it is 1 above the mode (the speed loop's band). A resonance
// without an anti-resonance has no shape (1): how it divides the inertia is
// not known.
Complex PairShape(const ModePair& pair, double hz);

}  // namespace hx::tuning
