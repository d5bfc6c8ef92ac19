#include "core/tuning/TuneSequence.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>

#include "core/capture/SamplingProtocol.h"
#include "core/tuning/ResponseEstimate.h"

namespace hx::tuning {

namespace {

// A proof that misses the margins by little is tried once more with the
// crossover this share of the first.
constexpr double kSofterShare = 0.8;
// A motor the drive's settings keep hunting after a move: the band goes down
// by this share, up to this many times, until it rests.
constexpr double kCalmShare = 0.6;
constexpr int kCalmings = 3;

std::string FailureEnglish(TuneFailure f, const std::string& detail) {
    switch (f) {
    case TuneFailure::None: return {};
    case TuneFailure::NoAnswer: return "the drive did not answer register " + detail;
    case TuneFailure::NoSamplingLimits: return "the drive did not answer its sampling limits";
    case TuneFailure::TorqueFeedforward:
        return "torque feed-forward is on (Pr1.10 = " + detail + "): set Pr1.10 to 0 and tune again";
    case TuneFailure::Move: return detail;
    case TuneFailure::LeavesTravel: return "a measuring move would leave the travel";
    case TuneFailure::GateRefused: return "the change gate kept the writes back: " + detail;
    case TuneFailure::WriteRefused: return "the drive did not take a write";
    case TuneFailure::SettlesSlower: return "the standard move settles no faster with the new settings";
    case TuneFailure::FollowsWorse: return "the standard move follows worse with the new settings";
    case TuneFailure::OvershootsMore: return "the standard move overshoots more with the new settings";
    case TuneFailure::MarginsMissed: return "the loop measured again does not hold the margins";
    }
    return {};
}

class Sequence {
public:
    Sequence(TuneRequest r, std::stop_token stop, const TuneCallbacks& cb) : m_r(std::move(r)), m_stop(stop), m_cb(cb) {}

    TuneResult Run() {
        Begin(TuneStage::Reading);
        uint16_t unanswered = 0;
        const auto before = ReadServoWords(m_r.drive, &unanswered);
        if (!before) return Fail(TuneFailure::NoAnswer, std::to_string(unanswered));
        m_out.before = m_out.after = m_during = *before;
        // The torque feed-forward adds current the speed controller did not
        // ask for, in step with the commanded motion the loop is measured
        // against: the measured loop and Jm/Kt would both be wrong (the
        // design then refuses, or worse, believes them).
        const auto feedforward = ReadOrFactory(m_r.drive, servo::Param::TorqueFeedforward, &unanswered);
        if (!feedforward) return Fail(TuneFailure::NoAnswer, std::to_string(unanswered));
        if (*feedforward != 0) return Fail(TuneFailure::TorqueFeedforward, std::to_string(*feedforward));
        SamplingLimits limits;
        if (!ReadSamplingLimits(m_r.drive.drive, &limits)) return Fail(TuneFailure::NoSamplingLimits);
        if (Stopping()) return Stopped();

        Begin(TuneStage::Before);
        MoveFailure why;
        m_out.moveBefore = RunStandardMove(m_r.drive, m_r.limits, m_stop, &why);
        if (Stopping()) return Stopped();
        if (!m_out.moveBefore.ok) return FailMove(why);
        m_out.furthestRev = std::max(m_out.furthestRev, TrapezoidTravelRev(StandardMove(m_r.limits)));

        Begin(TuneStage::Probe);
        const MoveStep probe = PlanProbe(m_r.limits, limits);
        if (auto failed = Probe(probe)) return *failed;

        Begin(TuneStage::Measure);
        m_plan = PlanExcitation(m_r.limits, limits, *m_out.probe, 1000, m_r.captures);
        for (const std::string& n : m_plan.notes) Note(n);
        PlantMeasurement meas;
        FrequencyResponse asMeasured;  // the same lines with the friction left in
        for (std::size_t k = 0; k < m_plan.moves.size(); ++k) {
            const MoveStep& m = m_plan.moves[k];
            if (m.travelRev > m_r.limits.travelRev) return Fail(TuneFailure::LeavesTravel);
            const int calmings = m_out.calmings;
            const MoveCapture c = RunSettled(m);
            if (Stopping() || c.stopped) return Stopped();
            if (!c.ok) return FailMove(c.failure);
            m_out.furthestRev = std::max(m_out.furthestRev, m.travelRev);
            if (m_out.calmings != calmings) {
                // The probe and the lines so far were taken from a motor
                // beginning to hunt, or with the band before: all again.
                if (auto failed = Probe(probe)) return *failed;
                meas = {};
                asMeasured = {};
                k = static_cast<std::size_t>(-1);
                continue;
            }
            meas.openLoop = Merge(meas.openLoop, OpenLoopOf(m, c, m_out.probe->coulombMa));
            asMeasured = Merge(asMeasured, OpenLoopOf(m, c));
            meas.currentOverError = Merge(meas.currentOverError, CurrentOverErrorOf(m, c));
        }
        meas.during = FromWords(m_during);
        meas.openLoop = WithoutStrayLines(meas.openLoop);
        m_out.openLoopBefore = meas.openLoop;

        Begin(TuneStage::Spectrum);
        if (m_plan.torque.planned) {
            const SpectrumCapture s = RunSpectrumWithCapture(m_r.drive, m_plan.torque, m_stop);
            if (Stopping() || s.stopped) return Stopped();
            m_out.spectrum = s.bins;
            m_out.spectrumBinHz = s.binHz;
            m_out.plantCaptured = s.plantCaptured;
            if (s.plantCaptured) {
                meas.plant = PlantOf(m_plan.torque, s.current, s.speed);
            } else {
                Note("the drive cannot capture while its spectrum excites: the resonances come from the "
                     "spectrum's magnitudes, the design keeps to the band the moves measured");
            }
        } else {
            Note("no torque excitation: " + m_plan.torque.why);
        }

        Begin(TuneStage::Design);
        m_out.id = IdentifyMachine(meas, WithoutStrayLines(asMeasured), m_out.probe, &m_frictionOut);
        m_out.measurement = meas;
        m_out.openLoopBefore = meas.openLoop;
        if (!m_out.plantCaptured && !m_out.spectrum.empty()) AddSpectrumModes();
        for (const std::string& n : m_out.id.notes) Note(n);
        DesignRequest dr{FromWords(*before), m_r.stiffness, m_r.targetHz};
        InertiaChoice inertia =
            ChooseInertia(m_out.id, *m_out.probe, m_out.probeSpeed, m_out.probeCurrent, m_out.probeIntervalUs);
        m_out.swing = inertia.swing;
        m_out.totalRatio = inertia.totalRatio;
        if (m_out.swing) Note("the probe rings with the low machine mode: its inertia is taken without the swing's reaction");
        const Identification forDesign = std::move(inertia.forDesign);
        m_out.design = DesignGains(forDesign, dr);
        for (const std::string& n : m_out.design.notes) Note(n);
        m_out.marginsBefore = m_out.design.marginsBefore;
        if (m_out.design.status != Design::Status::Ok) {
            m_out.status = TuneResult::Status::MarginsUnreachable;
            m_out.message = m_out.design.status == Design::Status::NoRatio
                                ? "the inertia ratio could not be identified"
                                : "no setting reaches a phase margin of 45 deg and a gain margin of 8 dB";
            // A band lowered for a hunting motor goes back with the rest.
            if (!m_out.written) m_out.message += "; nothing written";
            return PutBackIfWritten();
        }
        ServoWords after = ToWords(m_out.design.loop);
        if (Stopping()) return Stopped();
        const bool heldBefore = m_out.marginsBefore.Meets(kMinPhaseMarginDeg, kMinGainMarginDb);
        const bool doubt = ScaleInDoubt(m_out.id, m_out.totalRatio);
        if (doubt) Note("the probe weighs the machine well above what the speed loop's band sees: the margins must hold with room");
        const RequiredMargins need = MarginsRequired(doubt);
        m_out.requiredPhaseDeg = need.phaseDeg;
        m_out.requiredGainDb = need.gainDb;
        for (int attempt = 0;; ++attempt) {
            Begin(TuneStage::Write);
            const GatedWrites w = WriteServoWords(m_r.drive, m_out.after, after, "tune gains");
            if (m_out.backupPath.empty()) m_out.backupPath = w.gate.backupPath;
            if (!w.gate.ok()) return Fail(TuneFailure::GateRefused, w.gate.message);
            m_out.after = after;
            m_out.written = true;
            if (!w.ok()) return Fail(TuneFailure::WriteRefused);

            Begin(TuneStage::After);
            m_out.moveAfter = RunStandardMove(m_r.drive, m_r.limits, m_stop, &why);
            if (Stopping()) return Stopped();
            if (!m_out.moveAfter.ok) return FailMove(why);

            Begin(TuneStage::Verify);
            if (const MoveFailure failed = Verify(meas, after); failed.fault != MoveFault::None)
                return failed.fault == MoveFault::Stopped ? Stopped() : FailMove(failed);
            // Proven, or the previous settings go back.
            const TuneFailure unproven =
                ProofFailure(m_out.moveBefore, m_out.moveAfter, m_out.marginsBefore, m_out.marginsAfter, doubt);
            if (unproven == TuneFailure::None) break;
            // Margins that miss by no more than the measurement may be off
            // by: the prediction was a little optimistic for this machine,
            // and a loop a step softer holds them with room to spare. Once.
            // (Not for a move that overshoots more: on the machine tried,
            // the softer loop, nearer its swing, overshot more still.)
            if (attempt > 0 || !MissesByLittle(m_out.marginsAfter, doubt) ||
                MoveProofFailure(m_out.moveBefore, m_out.moveAfter, heldBefore) != TuneFailure::None)
                return Fail(unproven);
            const Design softer =
                DesignGains(forDesign, {FromWords(*before), m_r.stiffness, kSofterShare * m_out.design.crossoverHz});
            if (softer.status != Design::Status::Ok) return Fail(unproven);
            Note("the loop measured again misses the margins by a little: a softer loop is tried");
            m_out.design = softer;
            // The loop measured was the first proposal's: not the softer one's.
            m_out.openLoopAfter = {};
            m_out.marginsAfter = {};
            after = ToWords(softer.loop);
        }
        m_out.status = TuneResult::Status::Tuned;
        return Finish();
    }

private:
    void Begin(TuneStage s) {
        Lap();
        m_stage = s;
        m_out.reached = s;
        m_began = std::chrono::steady_clock::now();
        if (m_cb.stage) m_cb.stage(s, static_cast<int>(s));
    }
    void Lap() {
        if (m_began) m_out.times.push_back({m_stage, std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_began).count()});
        m_began.reset();
    }
    void Note(const std::string& line) {
        if (m_cb.note) m_cb.note(line);
    }
    bool Stopping() const { return m_stop.stop_requested(); }

    // The probe move and the rigid body it shows; the result to end with
    // when it fails.
    std::optional<TuneResult> Probe(const MoveStep& probe) {
        const MoveCapture p = RunSettled(probe);
        if (Stopping() || p.stopped) return Stopped();
        if (!p.ok) return FailMove(p.failure);
        m_out.furthestRev = std::max(m_out.furthestRev, probe.travelRev);
        m_out.probeSpeed = ChannelOf(p, probe.capture, kSpeedFeedbackSource);
        m_out.probeCurrent = ChannelOf(p, probe.capture, ProbeCurrentSource(probe.capture));
        m_out.probeIntervalUs = probe.capture.intervalUs;
        m_out.probe = EstimateRigidBody(m_out.probeSpeed, m_out.probeCurrent, m_out.probeIntervalUs);
        return std::nullopt;
    }

    // A move the motor's hunting kept back: the drive's settings keep it
    // moving after the move before (a band too high for this machine). As
    // an engineer would, the band goes down with the loop's shape kept
    // until the motor rests; the measurement then runs with the lower band
    // (the plant is the machine's whatever the settings), written through
    // the gate like every setting of the tuning and put back with them on
    // a failure or a stop.
    MoveCapture RunSettled(const MoveStep& m) {
        for (;;) {
            MoveCapture c = RunMove(m_r.drive, m, m_stop);
            if (c.ok || c.stopped || !c.failure.restless || m_out.calmings >= kCalmings || Stopping()) return c;
            ServoLoop lower = FromWords(m_during);
            lower.speedGainHz *= kCalmShare;
            lower.positionGainPerS *= kCalmShare;
            lower.integralTimeS /= kCalmShare;
            const ServoWords words = ToWords(lower);
            const GatedWrites w = WriteServoWords(m_r.drive, m_out.after, words, "tune gains");
            if (m_out.backupPath.empty()) m_out.backupPath = w.gate.backupPath;
            if (!w.gate.ok()) {
                Note("the motor keeps moving, and the change gate refused a lower band: " + w.gate.message);
                return c;
            }
            m_out.after = m_during = words;
            m_out.written = true;
            if (!w.ok()) return c;
            ++m_out.calmings;
            Note("the motor kept moving after the move with the drive's settings: measured with Pr1.05 = " +
                 std::to_string(words.pr105) + ", Pr1.04 = " + std::to_string(words.pr104) + ", Pr1.06 = " +
                 std::to_string(words.pr106));
        }
    }

    // The open loop measured again with the settings written, into
    // marginsAfter and openLoopAfter; what failed (MoveFault::None: nothing).
    MoveFailure Verify(const PlantMeasurement& meas, const ServoWords& after) {
        FrequencyResponse again;
        // As many records as the first measurement: one alone leaves single
        // bins noisy enough to fake a crossover.
        for (const MoveStep& m : m_plan.moves) {
            const MoveCapture c = RunMove(m_r.drive, m, m_stop);
            if (Stopping() || c.stopped) return {MoveFault::Stopped, "", "stopped"};
            if (!c.ok) return c.failure;
            again = Merge(again, OpenLoopOf(m, c, m_frictionOut ? m_out.probe->coulombMa : 0.0));
        }
        // The loop measured again goes the way the first measurement went:
        // divided by the controller the drive now runs, joined with the
        // plant above the moves' band (on the scale found first: the
        // machine's, whatever the settings), times that controller again.
        // The moves were sized for the old crossover: around the new one
        // (several times higher) their lines are few and noisy, and a loop
        // that runs near 0 dB there would cross it at every scatter. Judged
        // as the design reads lines (SteadyLines).
        PlantMeasurement again2 = meas;
        again2.openLoop = SteadyLines(WithoutStrayLines(again));
        again2.during = FromWords(after);
        again2.plantScale = m_out.id.plant.plantScale;
        const Identification idAfter = Identify(again2, m_out.probe);
        const FrequencyResponse& g = idAfter.plant.g.empty() ? m_out.id.plant.g : idAfter.plant.g;
        m_out.openLoopAfter = g;
        for (std::size_t i = 0; i < g.size(); ++i)
            m_out.openLoopAfter.value[i] *= SpeedControllerResponse(again2.during, g.hz[i]);
        m_out.marginsAfter = ComputeMargins(m_out.openLoopAfter);
        return {};
    }

    // The spectrum's peaks as the resonances the moves' band cannot show.
    void AddSpectrumModes() {
        const FrequencyResponse s = SpectrumAsResponse(m_out.spectrum, m_out.spectrumBinHz, 20);
        ModeOptions o;
        o.magnitudeOnly = true;
        const ModeSearch found = FindModes(s, o);
        const double top = m_out.id.plant.g.empty() ? 0 : m_out.id.plant.g.hz.back();
        for (const ModePair& pair : found.pairs)
            if (pair.resonance.hz > top) m_out.id.modes.pairs.push_back(pair), m_out.id.modes.resonances.push_back(pair.resonance);
    }

    TuneResult PutBackIfWritten() {
        if (m_out.written) {
            std::string why;
            // The stop must not keep the settings from going back.
            m_out.putBack = PutBack(m_r.drive, m_out.after, m_out.before, &why);
            m_out.putBackFailed = !m_out.putBack;
            if (!m_out.putBack) m_out.message += "; the previous settings could not be put back: " + why;
            else if (m_out.status != TuneResult::Status::Stopped) m_out.message += "; the previous settings are back";
        }
        return Finish();
    }
    TuneResult Fail(TuneFailure failure, const std::string& detail = {}) {
        return Failed(failure, detail, FailureEnglish(failure, detail));
    }
    TuneResult FailMove(const MoveFailure& why) {
        m_out.moveFault = why.fault;
        // Which move, in the stage's words, before the move's own.
        static const std::pair<TuneStage, const char*> kMoves[] = {
            {TuneStage::Before, "the standard move"}, {TuneStage::Probe, "the probe move"},
            {TuneStage::Measure, "a measuring move"}, {TuneStage::After, "the standard move with the new settings"},
            {TuneStage::Verify, "a verifying move"}};
        std::string which = "a move";
        for (const auto& [stage, name] : kMoves)
            if (stage == m_stage) which = name;
        return Failed(TuneFailure::Move, why.detail, which + ": " + why.message);
    }
    TuneResult Failed(TuneFailure failure, const std::string& detail, const std::string& english) {
        m_out.status = TuneResult::Status::Failed;
        m_out.failure = failure;
        m_out.failureDetail = detail;
        m_out.message = english;
        return PutBackIfWritten();
    }
    TuneResult Stopped() {
        m_out.status = TuneResult::Status::Stopped;
        m_out.message = m_out.written ? "stopped; the previous settings are back" : "stopped; nothing was written";
        return PutBackIfWritten();
    }
    TuneResult Finish() {
        Lap();
        if (m_cb.stage) m_cb.stage(TuneStage::Done, static_cast<int>(TuneStage::Done));
        return m_out;
    }

    TuneRequest m_r;
    std::stop_token m_stop;
    const TuneCallbacks& m_cb;
    TuneResult m_out;
    ExcitationPlan m_plan;
    TuneStage m_stage = TuneStage::Reading;
    std::optional<std::chrono::steady_clock::time_point> m_began;
    bool m_frictionOut = true;  // the friction's share taken out of the lines
    ServoWords m_during;        // the settings the measuring moves run with
};

}  // namespace

std::optional<double> TotalInertiaRatio(const Identification& id, const RigidBody& probe,
                                        const std::optional<ProbeSwing>& swing) {
    if (!id.plant.plantScale || !probe.maPerRevPerS2 || *id.plant.plantScale <= 0) return std::nullopt;
    double perKt = *probe.maPerRevPerS2;
    if (swing && swing->wholeMaPerRevPerS2 > 0) perKt = std::min(perKt, swing->wholeMaPerRevPerS2);
    // mA per rev/s^2 to A per rad/s^2.
    double ratio = perKt * 1e-3 / (2 * kPi) / *id.plant.plantScale - 1;
    if (swing && id.inertia.ratio) ratio = std::max(ratio, *id.inertia.ratio);
    if (!(ratio >= 0 && ratio <= 100)) return std::nullopt;
    return ratio;
}

std::optional<ProbeSwing> SwingBehindProbe(const Identification& id, const std::vector<std::vector<float>>& speed,
                                           const std::vector<std::vector<float>>& current, double intervalUs) {
    const auto named = std::find_if(id.modes.pairs.begin(), id.modes.pairs.end(),
                                    [](const ModePair& p) { return p.machineMode; });
    auto ringing = [&](double fromHz, double toHz) -> std::optional<ProbeSwing> {
        std::optional<ProbeSwing> fit = FitProbeSwing(speed, current, intervalUs, fromHz, toHz);
        if (!fit || fit->residualMa > kSwingResidualShare * fit->rigidResidualMa || fit->damping >= kSwingMostDamping)
            return std::nullopt;
        return fit;
    };
    std::optional<ProbeSwing> fit;
    if (named != id.modes.pairs.end()) fit = ringing(kSwingLowestShare * named->resonance.hz, named->resonance.hz);
    // A mode named below the swing's own frequency (the lines' lowest bins
    // drawn by it) leaves the swing outside that search; a heavily damped
    // fit near the named mode may be outdone by the ringing elsewhere.
    const std::optional<ProbeSwing> wide = ringing(kUnnamedSwingFromHz, kUnnamedSwingToHz);
    if (!fit || (wide && wide->residualMa < fit->residualMa)) return wide;
    return fit;
}

namespace {
// The probe weighs the machine kScaleDoubtShare times what the speed loop's
// band sees move with the motor, or more.
bool ProbeOutweighsBand(const Identification& id, double total) {
    return id.inertia.ratio && 1 + total > kScaleDoubtShare * (1 + *id.inertia.ratio);
}
}  // namespace

bool UsesTotalRatio(const Identification& id, const std::optional<double>& total, const std::optional<ProbeSwing>& swing) {
    if (!total) return false;
    if (swing) return true;
    if (!id.inertia.ratio) return true;
    // On a scale the controller's current measured, a probe that weighs the
    // machine a quarter above the band is a part of the load the band does
    // not move: a swing neither the lines name nor the probe's ringing shows
    // clearly (rigid machines agree within a twentieth).
    if (id.scaleFromCurrent && ProbeOutweighsBand(id, *total)) return true;
    return id.modes.HasMachineMode();
}

InertiaChoice ChooseInertia(const Identification& id, const RigidBody& probe,
                            const std::vector<std::vector<float>>& speed,
                            const std::vector<std::vector<float>>& current, double intervalUs) {
    InertiaChoice c{SwingBehindProbe(id, speed, current, intervalUs), std::nullopt, id};
    c.totalRatio = TotalInertiaRatio(id, probe, c.swing);
    if (UsesTotalRatio(id, c.totalRatio, c.swing)) {
        c.forDesign.inertia.ratio = c.totalRatio;
        c.forDesign.swing = c.swing;
        c.forDesign.bandRatio = id.inertia.ratio;
    }
    return c;
}

Identification IdentifyMachine(PlantMeasurement& meas, const FrequencyResponse& asMeasured,
                               const std::optional<RigidBody>& probe, bool* frictionOut) {
    Identification id = Identify(meas, probe);
    if (frictionOut) *frictionOut = true;
    // The friction acts on the load, whose speed a low machine mode parts
    // from the motor's: the share taken by the motor's speed is wrong
    // there, and the lines are taken as measured.
    if (!id.modes.HasMachineMode() || asMeasured.empty()) return id;
    meas.openLoop = asMeasured;
    if (frictionOut) *frictionOut = false;
    return Identify(meas, probe);
}

RequiredMargins MarginsRequired(bool scaleInDoubt) {
    return {kMinPhaseMarginDeg + (scaleInDoubt ? kMeasuredPhaseDeg : 0),
            kMinGainMarginDb + (scaleInDoubt ? kMeasuredGainDb : 0)};
}

bool MissesByLittle(const LoopMargins& m, bool scaleInDoubt) {
    const RequiredMargins need = MarginsRequired(scaleInDoubt);
    return !m.Meets(need.phaseDeg, need.gainDb) && m.Meets(need.phaseDeg - kMeasuredPhaseDeg, need.gainDb - kMeasuredGainDb);
}

bool ScaleInDoubt(const Identification& id, const std::optional<double>& total) {
    return total && !id.modes.HasMachineMode() && ProbeOutweighsBand(id, *total);
}

TuneFailure MoveProofFailure(const MoveFigures& before, const MoveFigures& after, bool beforeHeld) {
    // A loop that did not hold the margins is made robust at some cost: a
    // slightly slower settle is accepted then, and a trace more overshoot.
    const double slower = beforeHeld ? 1.0 : kRobustSettlingAllowance;
    if (!after.settlingMs || (before.settlingMs && *after.settlingMs > slower * *before.settlingMs))
        return TuneFailure::SettlesSlower;
    if (after.peakErrorP && before.peakErrorP && *after.peakErrorP > 1.1 * *before.peakErrorP)
        return TuneFailure::FollowsWorse;
    // A stiffer loop may overshoot up to kMostOvershootPct, never more than
    // the loop it replaces above that.
    const double was = before.overshootPct.value_or(0);
    const double allowed = beforeHeld ? std::max(was, kMostOvershootPct)
                                      : std::max(was, std::min(was + kRobustOvershootAllowancePct, kMostOvershootPct));
    if (after.overshootPct.value_or(0) > allowed) return TuneFailure::OvershootsMore;
    return TuneFailure::None;
}

TuneFailure ProofFailure(const MoveFigures& before, const MoveFigures& after, const LoopMargins& marginsBefore,
                         const LoopMargins& marginsAfter, bool scaleInDoubt) {
    const bool beforeHeld = marginsBefore.Meets(kMinPhaseMarginDeg, kMinGainMarginDb);
    if (const TuneFailure moves = MoveProofFailure(before, after, beforeHeld); moves != TuneFailure::None) return moves;
    const RequiredMargins need = MarginsRequired(scaleInDoubt);
    if (!marginsAfter.Meets(need.phaseDeg, need.gainDb)) return TuneFailure::MarginsMissed;
    return TuneFailure::None;
}


const char* StageKey(TuneStage stage) {
    static const char* const kKeys[kTuneStages] = {"reading", "before", "probe",  "measure", "spectrum",
                                                   "design",  "write",  "after", "verify",  "done"};
    return kKeys[static_cast<int>(stage)];
}

TuneResult RunTuning(TuneRequest request, std::stop_token stop, const TuneCallbacks& callbacks) {
    return Sequence(std::move(request), stop, callbacks).Run();
}

BodeData BodeFromTuning(const TuneResult& r) {
    BodeData b = BodeFromDesign(r.id, r.design);
    // The loop after as measured wherever it was, a refused one too: its
    // margins are the ones the proof judged, against what it required.
    if (!r.openLoopAfter.empty() && r.design.status == Design::Status::Ok && b.markedSeries >= 0) {
        BodeSeries& after = b.series[static_cast<std::size_t>(b.markedSeries)];
        after.response = r.openLoopAfter;
        after.predicted = false;
        b.margins = r.marginsAfter;
        b.requiredPhaseDeg = r.requiredPhaseDeg;
        b.requiredGainDb = r.requiredGainDb;
    }
    return b;
}

bool PutBack(DriveContext& ctx, const ServoWords& current, const ServoWords& previous, std::string* message) {
    const GatedWrites w = WriteServoWords(ctx, current, previous, "tune gains: previous settings back");
    if (w.ok()) return true;
    if (message) *message = !w.gate.ok() ? w.gate.message : "the drive did not take a write";
    return false;
}

TuneJob::~TuneJob() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

bool TuneJob::Start(TuneRequest request, TuneCallbacks callbacks, std::function<void(const TuneResult&)> finished) {
    if (Running()) return false;
    if (m_thread.joinable()) m_thread.join();
    m_running->store(true);
    m_thread = std::jthread([request = std::move(request), callbacks = std::move(callbacks),
                             finished = std::move(finished), running = m_running](std::stop_token stop) mutable {
        const TuneResult r = RunTuning(std::move(request), stop, callbacks);
        running->store(false);
        if (finished) finished(r);
    });
    return true;
}

void TuneJob::Stop() { m_thread.request_stop(); }

bool TuneJob::Running() const { return m_running->load(); }

}  // namespace hx::tuning
