#pragma once
// Choosing the loop's gains and filters from an identified plant, and
// predicting what the loop will be with them.
//
// The prediction is the measured plant G (Identify.h: the plant in units of
// the rotor's inertia, everything the drive adds included) times the
// controller the new parameters describe: L = C(new) x G. It is a
// measurement, not a model: the current loop, the drive's delays and every
// mode inside the band are in it as they are.
//
// The choice, for a crossover fc:
//   Pr1.13   the identified ratio;
//   Pr1.06   Ti = 4 / (2 pi fc): the integral's corner a quarter of the
//            crossover, where it costs 14 degrees of phase margin (a quarter
//            of the lowest crossover where a low mode's dip adds one);
//   Pr1.27   tau = 1 / (2 pi 6 fc): the torque filter's corner six times the
//            crossover (10 degrees), which keeps the noise and the modes
//            far above out of the loop;
//   notches  one on each coupling resonance where the loop without it would
//            stand less than the gain margin (and a little more) below 0 dB,
//            deep enough to bring it there, as narrow as still meets the
//            margins (a notch costs phase at the crossover);
//   Pr1.05   so that the predicted loop crosses 0 dB at fc (it equals fc
//            when the ratio is right);
//   Pr1.04   a quarter of the crossover (in rad/s), less if the position
//            loop around the new speed loop would have under 60 degrees.
// The highest fc for which the predicted margins hold (with headroom for
// the measurement's error), and no more than half the first coupling
// anti-resonance or a quarter of the measured band's top, is the machine's
// limit; the stiffness asked for takes a share of it, a target in Hz is
// held to it.

#include <optional>
#include <string>
#include <vector>

#include "core/tuning/FrequencyResponse.h"
#include "core/tuning/Identify.h"
#include "core/tuning/ServoLoop.h"

namespace hx::tuning {

enum class Stiffness { Soft, Medium, Stiff };
// Share of the machine's limit each stiffness takes.
double StiffnessShare(Stiffness s);

// What must hold after tuning.
inline constexpr double kMinPhaseMarginDeg = 45.0;
inline constexpr double kMinGainMarginDb = 8.0;
// What the design aims for: the margins above plus what a measurement may be off by.
inline constexpr double kDesignPhaseMarginDeg = 50.0;
inline constexpr double kDesignGainMarginDb = 10.0;
// What a medium or stiff loop may keep to reach the stiffening the limit
// above stops short of (GainDesign.cpp).
inline constexpr double kStiffeningPhaseMarginDeg = 48.0;
inline constexpr double kMinPositionPhaseMarginDeg = 60.0;
inline constexpr double kLowestCrossoverHz = 5.0;

struct DesignRequest {
    ServoLoop current;  // the parameters the drive holds now
    Stiffness stiffness = Stiffness::Medium;
    std::optional<double> targetHz;  // instead of the stiffness
};

struct NotchPlacement {
    Mode resonance;
    Notch notch;
    double loopPeakDb = 0;  // the loop's gain at the resonance without the notch
};

struct Design {
    enum class Status {
        Ok,
        NoPlant,             // nothing measured to design on
        NoRatio,             // the inertia ratio could not be identified
        MarginsUnreachable,  // not even the lowest crossover holds the margins
    };
    Status status = Status::NoPlant;
    ServoLoop loop;                        // the proposal (the current settings unless Ok)
    double crossoverHz = 0;                // the proposal's, predicted
    double limitHz = 0;                    // the highest crossover that holds the margins
    std::optional<double> firstAntiResonanceHz;
    std::vector<NotchPlacement> notches;
    FrequencyResponse openLoop;            // predicted with the proposal
    FrequencyResponse openLoopBefore;      // predicted with the current settings
    LoopMargins margins, marginsBefore;
    LoopMargins positionMargins;
    std::vector<std::string> notes;        // untranslated English
};

Design DesignGains(const Identification& id, const DesignRequest& request);

// The moves' lines as margins are read from them: the coherent ones, each
// the robust line through its neighbours (RobustLineFit). The lines come
// from a few records, sparse where the machine is heavy, and single lines
// err by a dB and ten degrees or more while their coherence reads near 1
// (what errs is the moves' own distortion, which the command explains as
// well as it explains the loop). A loop that runs flat near 0 dB would
// cross it at every such line, and the crossover the design chases, the
// phase margin it reads, would be that line's.
// No line is drawn across a named mode (modes: where the curve bends), the
// lines near one stay as they are, and so do all where a low machine mode
// bends the curve inside the loop's band.
FrequencyResponse SteadyLines(const FrequencyResponse& lines, const ModeSearch& modes = {});

// The plant the design and the margins before are read on: below the
// split the moves' lines as SteadyLines reads them, above it the plant's
// bins, which keep the detail a notch needs.
FrequencyResponse DesignPlant(const Identification& id);
// A low machine mode whose dip (its anti-resonance) went unmeasured: the
// moves' lines may straddle it, and a loop predicted across them never
// sees the gain fall through 0 dB there, where a stiff loop's integral
// lags most (a crossover the truth has and the design would miss). Where
// the whole machine's inertia (Pr1.13's ratio) outweighs what moves with
// the motor above the mode, the dip lies at the mode's frequency times the
// root of their ratio (or, the mode unnamed, at the swing the probe rang
// with), and the two-mass section they describe fills its neighbourhood;
// else g as it is.
FrequencyResponse WithMachineDip(const FrequencyResponse& g, const Identification& id);
// Whether a loop built for crossover fc holds the design's margins (at
// every crossover) and crosses over near fc: what the machine's limit is
// the highest crossover of.
bool Feasible(const LoopMargins& margins, double fc, double minPhaseMarginDeg = kDesignPhaseMarginDeg);

// The loop one crossover gives (the steps above, notches included); its
// predicted open loop in *openLoop. Exposed for tests and the window.
ServoLoop LoopFor(const FrequencyResponse& g, const ModeSearch& modes, double ratio, double crossoverHz,
                  const ServoLoop& current, FrequencyResponse* openLoop, std::vector<NotchPlacement>* notches);

}  // namespace hx::tuning
