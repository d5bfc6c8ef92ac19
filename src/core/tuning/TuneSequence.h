#pragma once
// One-button tuning, from the motor at rest to a proven setting in the
// drive's RAM:
//
//   reading    the loop's parameters as the drive holds them (the way back)
//   before     the standard move with them: settling, overshoot, peak error
//   probe      a gentle move: inertia over torque constant and friction,
//              which size the moves that follow
//   measure    the command moves: the speed loop's open loop to 400 Hz
//   spectrum   the drive's torque excitation with a capture running during
//              it: the plant to 2 kHz (a drive that cannot capture then is
//              left with the spectrum's magnitudes, which name resonances)
//   design     identify the machine, choose Pr1.13, Pr1.05, Pr1.06, Pr1.04,
//              Pr1.27 and the notches for PM >= 45 deg, GM >= 8 dB; when no
//              crossover holds them nothing is written and the job ends
//   write      the changed words through the change gate (origin "tune",
//              a backup before the first), the ratio first, Pr1.04 last
//   after      the standard move again
//   verify     the open loop measured again with the new settings, margins
//              (margins that miss by no more than a measurement may be off:
//              write, after and verify once more with a softer loop)
//
// Every motion goes through the guarded path (at rest, watchdog armed, the
// stop confirmed) and stays within the travel. A stop, a lost link or a
// failure after the write puts the words read at the start back, so the
// drive is left with the settings it had. Nothing is stored: Store() is the
// user's separate last step.
//
// The job runs on a worker thread of its own; it takes its request when it
// starts and reports through callbacks on that thread.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/tuning/BodeData.h"
#include "core/tuning/GainDesign.h"
#include "core/tuning/Identify.h"
#include "core/tuning/ResponseEstimate.h"
#include "core/tuning/TuneDrive.h"

namespace hx::tuning {

enum class TuneStage { Reading, Before, Probe, Measure, Spectrum, Design, Write, After, Verify, Done };
inline constexpr int kTuneStages = 10;
// "reading", "before", ... for the CLI, the JSON and the bench.
const char* StageKey(TuneStage stage);

struct TuneRequest {
    DriveContext drive;
    MotionLimits limits;
    Stiffness stiffness = Stiffness::Medium;
    std::optional<double> targetHz;
    // Captures of each measuring move: two average out the scatter a single
    // one leaves; one halves the measuring time.
    int captures = 2;
};

struct StageTime {
    TuneStage stage;
    double seconds = 0;
};

// Why a run failed, as data: the window says it in the user's language
// around the detail (the message says it in English, for the log and the
// command line). The stage it failed in is the result's `reached`.
enum class TuneFailure {
    None,
    NoAnswer,          // a read of the settings went unanswered (detail: the register)
    NoSamplingLimits,  // the drive did not answer its sampling limits
    TorqueFeedforward, // Pr1.10 is on (detail: its word): the loop cannot be measured through it
    Move,              // a move did not run as planned (moveFault; detail: the guard's or the drive's words)
    LeavesTravel,      // a measuring move would leave the travel
    GateRefused,       // the change gate kept the writes back (detail: its words)
    WriteRefused,      // the drive did not take a write
    // The setting written was not proven (the previous settings go back):
    SettlesSlower,   // the standard move settles no faster
    FollowsWorse,    // it follows worse
    OvershootsMore,  // it overshoots more
    MarginsMissed,   // the loop measured again does not hold the margins
};

struct TuneResult {
    enum class Status {
        Tuned,               // the new settings are in RAM, proven
        Stopped,             // the user stopped it; the drive holds what it held
        MarginsUnreachable,  // no setting holds the margins: nothing written, or a band lowered for a hunting motor put back
        Failed,              // a step failed (message); the drive holds what it held where it could be put back
    };
    Status status = Status::Failed;
    std::string message;   // English, for the log and the CLI
    TuneStage reached = TuneStage::Reading;
    TuneFailure failure = TuneFailure::None;  // for Failed
    MoveFault moveFault = MoveFault::None;    // for TuneFailure::Move
    std::string failureDetail;                // in the interface's language (a register's number)
    ServoWords before, after;
    bool written = false;   // `after` went into RAM
    bool putBack = false;   // and was replaced by `before` again
    bool putBackFailed = false;
    // Times the speed loop's band went down because the drive's settings
    // kept the motor hunting after a move (the moves then measured the
    // machine with the lower band; `after` holds it until the design's).
    int calmings = 0;
    std::string backupPath;

    std::optional<RigidBody> probe;
    // The probe's records (speed feedback 0.01 rps, torque current mA), as
    // the fit of its inertia took them: for replaying it.
    std::vector<std::vector<float>> probeSpeed, probeCurrent;
    double probeIntervalUs = 0;
    // A low swing the probe's records show (SwingBehindProbe): the whole
    // ratio takes the probe's inertia without its reaction.
    std::optional<ProbeSwing> swing;
    Identification id;
    // What the moves and the excitation measured (the open loop with the
    // settings before, the plant), as Identify took it: for the report and
    // for replaying the identification.
    PlantMeasurement measurement;
    // The whole machine's inertia over the rotor's (see TotalInertiaRatio):
    // what Pr1.13 is set to where a low machine mode was named
    // (UsesTotalRatio); id.inertia.ratio is the share that moves with the
    // motor inside the speed loop's band (less by a low machine mode's
    // swinging part), and Pr1.13 otherwise.
    std::optional<double> totalRatio;
    Design design;
    bool plantCaptured = false;       // the capture during the excitation worked
    std::vector<float> spectrum;      // the drive's magnitudes
    double spectrumBinHz = 0;
    MoveFigures moveBefore, moveAfter;
    FrequencyResponse openLoopBefore;  // measured with the settings before
    FrequencyResponse openLoopAfter;   // measured again, completed above its band by the prediction
    LoopMargins marginsBefore, marginsAfter;
    // What the loop measured after must hold: room for the measurement's
    // error on top where the probe weighs the machine well above the band.
    double requiredPhaseDeg = kMinPhaseMarginDeg;
    double requiredGainDb = kMinGainMarginDb;
    double furthestRev = 0;            // the furthest a planned move went from the start
    std::vector<StageTime> times;
};

struct TuneCallbacks {
    std::function<void(TuneStage stage, int index)> stage;  // a stage begins (index 0..kTuneStages-1)
    std::function<void(const std::string& line)> note;      // English, as it happens
};

// Pr1.13 is the load's whole inertia over the rotor's, as the drive's
// torque feed-forward and every move slower than the machine's modes need
// it, and as the simulated drive's truth states it (a low machine mode's
// swinging part included). The speed loop's band sees less of it above such
// a mode, so the whole comes from the probe: its slow move's inertia over
// torque constant (J/Kt, every part follows), over the rotor's (Jm/Kt, the
// scale that puts the measured plant on the open loop's). A low swing's
// ringing reads heavier to the probe's rigid fit (by up to half below
// 25 Hz), never lighter: with the swing's reaction taken out (swing) J/Kt
// is the lesser of the two fits', and the whole is never taken below what
// the speed loop's band sees move with the motor. nullopt without either;
// Pr1.13 then takes the ratio the speed loop's band shows.
std::optional<double> TotalInertiaRatio(const Identification& id, const RigidBody& probe,
                                        const std::optional<ProbeSwing>& swing = std::nullopt);
// The probe's records fitted with a low swing (FitProbeSwing). Where the
// plant or the lines named a low machine mode it is searched below its
// resonance down to kSwingLowestShare of it (the swinging part's own
// frequency with the motor held is the pair's anti-resonance, below the
// resonance by the root of the share of the inertia that stays with the
// motor); where they named none, over the band such a swing's
// anti-resonance can take (kUnnamedSwingFromHz..kUnnamedSwingToHz): a
// swing that rings below the speed loop's band leaves little in its lines.
// That wider band is searched beside a named mode as well, and the fit
// that leaves less is kept.
// Kept only where it explains the probe's current clearly better than a
// rigid body does (it leaves at most kSwingResidualShare of the rigid fit's
// residual) as a ringing, not a smooth misfit (its damping below
// kSwingMostDamping): a rigid machine's fit wants the most damping tried,
// named mode or not, and gets nullopt.
inline constexpr double kSwingLowestShare = 0.3;
inline constexpr double kSwingResidualShare = 0.8;
inline constexpr double kUnnamedSwingFromHz = 4, kUnnamedSwingToHz = 40;
std::optional<ProbeSwing> SwingBehindProbe(const Identification& id, const std::vector<std::vector<float>>& speed,
                                           const std::vector<std::vector<float>>& current, double intervalUs);
// Whether Pr1.13 takes that whole ratio: only where a low machine mode
// splits the inertia (named, or ringing in the probe: swing, or the probe
// a quarter heavier than the band on a scale the current measured), or
// the band gave none. Without one the whole load moves with the motor below the
// first coupling anti-resonance, and the speed loop's band measures the
// ratio directly, with none of the errors of the probe's fit and the
// plant's scale that the whole one carries.
bool UsesTotalRatio(const Identification& id, const std::optional<double>& total,
                    const std::optional<ProbeSwing>& swing = std::nullopt);
// The three above as the design takes them, in one place for the sequence
// and every replay of it: the swing the probe shows, the whole ratio, and
// the identification with the ratio Pr1.13 is to hold.
struct InertiaChoice {
    std::optional<ProbeSwing> swing;
    std::optional<double> totalRatio;
    Identification forDesign;
};
InertiaChoice ChooseInertia(const Identification& id, const RigidBody& probe,
                            const std::vector<std::vector<float>>& speed,
                            const std::vector<std::vector<float>>& current, double intervalUs);

// The machine identified from the moves' lines (meas.openLoop, the
// friction's share taken out) and the plant; where that names a low machine
// mode, again from the lines as measured (asMeasured, which then replace
// meas.openLoop): the friction acts on the load, whose speed such a mode
// parts from the motor's. *frictionOut: whether the lines taken are the
// friction-free ones (the verifying moves are taken the same way).
Identification IdentifyMachine(PlantMeasurement& meas, const FrequencyResponse& asMeasured,
                               const std::optional<RigidBody>& probe, bool* frictionOut = nullptr);

// Why a setting written is not proven; None when it is: the
// standard move must settle and follow no worse than before and overshoot
// no more than kMostOvershootPct or, beyond it, than before; the loop
// measured again must hold the margins. Where the settings before did not
// hold them (as measured), holding them is the gain: the move may then
// settle up to kRobustSettlingAllowance slower and overshoot at most
// kRobustOvershootAllowancePct points more, never beyond kMostOvershootPct
// (a loop that holds the margins where none did before is worth half a
// percent of overshoot on a move that had none; a loop that overshoots
// clearly more is not).
// Unproven, the previous settings go back and the result is Failed (the
// command line's exit status 1: the drive is left as it was).
// With the plant's scale in doubt (ScaleInDoubt) the loop measured again
// holds the margins only with what a measurement may be off by on top.
inline constexpr double kRobustSettlingAllowance = 1.1;
inline constexpr double kRobustOvershootAllowancePct = 1.0, kMostOvershootPct = 5.0;
TuneFailure ProofFailure(const MoveFigures& before, const MoveFigures& after, const LoopMargins& marginsBefore,
                         const LoopMargins& marginsAfter, bool scaleInDoubt = false);
// The standard move's part of it alone.
TuneFailure MoveProofFailure(const MoveFigures& before, const MoveFigures& after, bool beforeHeld);
// Margins that miss by no more than a measurement may be off (5 deg,
// 1.5 dB): the sequence then tries once more with a softer loop.
inline constexpr double kMeasuredPhaseDeg = 5, kMeasuredGainDb = 1.5;
bool MissesByLittle(const LoopMargins& margins, bool scaleInDoubt = false);
// What the loop measured again must hold: the design's margins, and what a
// measurement may be off by on top where the scale is in doubt.
struct RequiredMargins {
    double phaseDeg, gainDb;
};
RequiredMargins MarginsRequired(bool scaleInDoubt);
// Whether the plant above the lines' band stands on a scale in doubt: the
// probe weighs the machine kScaleDoubtShare times what the speed loop's
// band sees (1 + R each) and no low machine mode was named to say why. A
// swing gone unseen, or a coupling whose resonance went unnamed, misleads
// the scale the plant is joined to the lines with, and with it the margins
// the design predicts and the proof measures (by ten degrees and 9 dB on
// seeded machines); a rigid machine's two agree within a tenth.
inline constexpr double kScaleDoubtShare = 1.25;
bool ScaleInDoubt(const Identification& id, const std::optional<double>& total);

// The speed loop's open loop from one measuring move's records: speed error
// in, speed feedback out, the commanded speed (from the position reference)
// as instrument, at the lines the repeating moves excite; the friction's
// share of the torque current (coulombMa, the probe's) taken out.
FrequencyResponse OpenLoopOf(const MoveStep& step, const MoveCapture& capture, double coulombMa = 0);
// The controller's torque current over the speed error, A per (rad/s), at
// the same lines with the same instrument: the drive's gain in amperes,
// which is the controller the parameters describe times Jm / Kt.
FrequencyResponse CurrentOverErrorOf(const MoveStep& step, const MoveCapture& capture);
// The plant, speed over torque current in (rad/s) / A, from the records
// taken while the drive's torque excitation ran.
FrequencyResponse PlantOf(const TorqueStep& step, const Records& current, const Records& speed);

// The whole sequence on the calling thread.
TuneResult RunTuning(TuneRequest request, std::stop_token stop, const TuneCallbacks& callbacks = {});

// What the frequency-response window shows after a tuning: the plant, the
// loop measured before, and the loop measured again after (completed above
// the moves' band by the plant and the new controller), its margins marked.
BodeData BodeFromTuning(const TuneResult& result);

// The previous settings back (the user's "put the previous settings back"),
// through the gate. Whether the drive took them all.
bool PutBack(DriveContext& ctx, const ServoWords& current, const ServoWords& previous, std::string* message);

// On a worker thread: Start takes the request; Stop asks the sequence to
// stop at its next step (the drive is then left as it was); finished runs on
// the worker with the result.
class TuneJob {
public:
    TuneJob() = default;
    ~TuneJob();  // stops and joins
    bool Start(TuneRequest request, TuneCallbacks callbacks, std::function<void(const TuneResult&)> finished);
    void Stop();
    bool Running() const;

private:
    std::jthread m_thread;
    std::shared_ptr<std::atomic<bool>> m_running = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace hx::tuning
