#include "core/tuning/Excitation.h"

#include <algorithm>
#include <cmath>

namespace hx::tuning {

namespace {

constexpr double kTravelShare = 0.8;        // of the travel a move may use
constexpr double kProbeAcceleration = 20;   // rev/s^2
constexpr int kProbeSpeed = 100;            // 0.01 rps
constexpr double kCurrentShare = 0.5;       // of the current limit the moves' acceleration asks
constexpr double kMovePulseSeconds = 0.005; // each acceleration pulse of a command move, at most
constexpr int kPointsPerChannelMax = 4000;

int PointsFor(const SamplingLimits& drive, int channels, int most = kPointsPerChannelMax) {
    const int per = drive.capacity > 0 ? drive.capacity / std::max(1, channels) : 200;
    return std::clamp(per / 100 * 100, 200, most);
}

int ChannelsOffered(const SamplingLimits& drive) {
    return drive.channelCount >= 2 && drive.channelCount <= 4 ? drive.channelCount : 1;
}

// The codes of `wanted` the drive can record, in order, as many as it captures at once.
ChannelCodes Codes(const SamplingLimits& drive, std::initializer_list<uint16_t> wanted) {
    ChannelCodes codes{};
    int k = 0;
    const int max = ChannelsOffered(drive);
    for (uint16_t code : wanted) {
        if (k >= max) break;
        if (drive.sourceMask & code) codes[static_cast<std::size_t>(k++)] = code;
    }
    return codes;
}

}  // namespace

double TrapezoidTravelRev(const runtest::VelocityFields& m) { return m.distance / 100.0; }

double TrapezoidSeconds(const runtest::VelocityFields& m) {
    const double v = std::abs(m.speed) / 100.0, d = m.distance / 100.0, a = std::max<double>(1, m.acceleration);
    double one = 0;
    if (v > 0 && d > 0) one = v * v / a >= d ? 2 * std::sqrt(d / a) : d / v + v / a;
    return m.runs * (one + m.dwell / 1000.0);
}

double TrapezoidPeakCurrentMa(const runtest::VelocityFields& m, const RigidBody& machine) {
    if (!machine.maPerRevPerS2) return 0;
    const double v = std::min(std::abs(m.speed) / 100.0, std::sqrt(std::max<double>(1, m.acceleration) * m.distance / 100.0));
    return *machine.maPerRevPerS2 * m.acceleration + std::abs(machine.coulombMa) + std::abs(machine.viscousMaPerRps) * v +
           std::abs(machine.offsetMa);
}

int IntervalFor(double seconds, int points) {
    for (int us : runtest::kSampleIntervals)
        if (points * us * 1e-6 >= seconds) return us;
    return runtest::kSampleIntervals.back();
}

MoveStep PlanProbe(const MotionLimits& limits, const SamplingLimits& drive) {
    MoveStep s;
    runtest::VelocityFields& m = s.move;
    m.distance = static_cast<uint32_t>(std::max(1.0, std::floor(kTravelShare * limits.travelRev * 100)));
    m.speed = kProbeSpeed;
    m.acceleration = static_cast<uint32_t>(kProbeAcceleration);
    m.dwell = 100;
    m.runs = 4;
    m.backAndForth = 1;
    m.direction = 1;
    // The inertia is the torque over the acceleration: the current that
    // flowed, not the one asked for, which read a light machine 4 % heavy
    // (its ratio near 0.5 a tenth high).
    s.capture.codes = (drive.sourceMask & kMeasuredCurrentSource)
                          ? Codes(drive, {kSpeedFeedbackSource, kMeasuredCurrentSource})
                          : Codes(drive, {kSpeedFeedbackSource, kTorqueCurrentSource});
    s.capture.points = PointsFor(drive, ActiveChannelCount(s.capture.codes), 2000);
    s.capture.intervalUs = IntervalFor(TrapezoidSeconds(m), s.capture.points);
    m.sampleInterval = s.capture.intervalUs;
    s.travelRev = TrapezoidTravelRev(m);
    s.lowHz = 0;
    s.highHz = 0;
    return s;
}

uint16_t ProbeCurrentSource(const CapturePlan& probe) {
    const bool measured = std::find(probe.codes.begin(), probe.codes.end(), kMeasuredCurrentSource) != probe.codes.end();
    return measured ? kMeasuredCurrentSource : kTorqueCurrentSource;
}

ExcitationPlan PlanExcitation(const MotionLimits& limits, const SamplingLimits& drive, const RigidBody& probe,
                              double excitationMa, int captures) {
    captures = std::clamp(captures, 1, 8);
    ExcitationPlan plan;
    plan.probe = PlanProbe(limits, drive);
    plan.probe.peakCurrentMa = TrapezoidPeakCurrentMa(plan.probe.move, probe);

    if (!probe.maPerRevPerS2 || *probe.maPerRevPerS2 <= 0) {
        plan.notes.push_back("the probe measured no inertia: no command moves");
    } else {
        const double spare = kCurrentShare * limits.currentLimitMa - std::abs(probe.coulombMa) - std::abs(probe.offsetMa);
        const double a = std::clamp(spare / *probe.maPerRevPerS2, 1.0, 32767.0);
        const long longest = std::max(1L, std::lround(std::floor(kTravelShare * limits.travelRev * 100)));
        // Long: the whole share of the travel. Short: a pulse of
        // kMovePulseSeconds each way, at least 0.01 rev.
        const long shortest = std::clamp(std::lround(a * kMovePulseSeconds * kMovePulseSeconds * 100), 1L, longest);
        for (long distance : {longest, shortest}) {
            MoveStep s;
            runtest::VelocityFields& m = s.move;
            m.acceleration = static_cast<uint32_t>(std::floor(a));
            m.distance = static_cast<uint32_t>(distance);
            // A triangle: the speed is never reached, so the acceleration
            // flips at the middle of the move.
            m.speed = static_cast<int32_t>(std::min(32767.0, std::ceil(std::sqrt(a * distance / 100.0) * 100) + 1));
            m.dwell = 100;
            m.backAndForth = 1;
            m.direction = 1;
            s.capture.codes = Codes(drive, {kPositionReferenceSource, kSpeedReferenceSource, kSpeedFeedbackSource,
                                            kTorqueCurrentSource});
            s.capture.points = PointsFor(drive, ActiveChannelCount(s.capture.codes), 2000);
            s.capture.intervalUs = 1000;
            s.capture.records = captures;
            m.sampleInterval = s.capture.intervalUs;
            const double oneRun = TrapezoidSeconds({m.speed, m.distance, m.acceleration, m.dwell, 1});
            m.runs = static_cast<uint32_t>(std::ceil(s.capture.records * (s.capture.seconds() + 0.5) / oneRun)) + 2;
            s.travelRev = TrapezoidTravelRev(m);
            s.peakCurrentMa = TrapezoidPeakCurrentMa(m, probe);
            s.lowHz = 4;
            s.highHz = 0.4e6 / s.capture.intervalUs;
            plan.moves.push_back(s);
        }
        if (ActiveChannelCount(plan.moves.front().capture.codes) < 3)
            plan.notes.push_back("the drive records too few channels at once for the open loop");
    }

    TorqueStep& t = plan.torque;
    t.excitationMa = excitationMa;
    t.spectrumSettings = 0x22;  // 4 kHz, 4096 points: a second of excitation
    t.capture.codes = Codes(drive, {kTorqueCurrentSource, kSpeedFeedbackSource});
    t.capture.points = PointsFor(drive, ActiveChannelCount(t.capture.codes));
    t.capture.intervalUs = 100;
    t.capture.records = 3 * captures;
    t.lowHz = 20;
    t.highHz = 2000;
    // Held by the position loop the motor hardly moves; what a constant
    // torque of that size would do to a free body in the excitation's
    // slowest swing (a hold of 20 ms) bounds it from above.
    if (probe.maPerRevPerS2 && *probe.maPerRevPerS2 > 0) {
        const double a = excitationMa / *probe.maPerRevPerS2;  // rev/s^2
        t.travelRev = 0.5 * a * 0.02 * 0.02;
    }
    if (ActiveChannelCount(t.capture.codes) < 2) t.why = "the drive cannot record torque current and speed together";
    else if (excitationMa > limits.currentLimitMa) t.why = "the drive's excitation is above the current limit";
    else if (t.travelRev > limits.travelRev) t.why = "the drive's excitation could move the motor beyond the travel";
    t.planned = t.why.empty();
    return plan;
}

FrequencyResponse SpectrumAsResponse(const std::vector<float>& bins, double binHz, double lowHz) {
    FrequencyResponse r;
    for (std::size_t k = 1; k < bins.size(); ++k) {
        const double f = k * binHz;
        if (f < lowHz || bins[k] <= 0) continue;
        r.hz.push_back(f);
        r.value.push_back(bins[k]);
    }
    return r;
}

}  // namespace hx::tuning
