#include "core/tuning/TuneDrive.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "core/capture/CaptureJob.h"
#include "core/capture/SpectrumJob.h"  // WaitSpectrumReady
#include "core/protocol/Registers.h"
#include "core/runtest/GuardedRun.h"
#include "core/runtest/RunSequence.h"
#include "core/runtest/StepResponse.h"
#include "core/runtest/VibrationTuning.h"
#include "core/tuning/ResponseEstimate.h"

namespace hx::tuning {

namespace {

using servo::Param;

// The registers of the loop's parameters in WriteOrder's order, by name.
std::optional<uint16_t> AddressOf(servo::Model model, const std::string& name) {
    for (int i = 0; i < servo::kParamCount; ++i) {
        const auto p = static_cast<Param>(i);
        if (servo::Name(model, p) == name) return servo::Address(model, p);
    }
    return std::nullopt;
}

// A standard run's figures need the motion to have ended where it began
// before the next starts: every run is followed to its end.
struct Ran {
    bool ok = false;
    bool stopped = false;
    MoveFailure failure;
    runtest::RunOutcome outcome;

    Ran& Failed(MoveFault fault, std::string detail, const std::string& english) {
        failure = {fault, detail, english + (english.empty() || detail.empty() ? "" : ": ") + detail};
        return *this;
    }
};

// How long a move waits for the motor to come to rest, in all.
constexpr int kRestRetries = 5;
constexpr std::chrono::milliseconds kRestWait{200};

Ran GuardedCapture(DriveContext& ctx, const runtest::VelocityFields& move, const ChannelCodes& codes, int points,
                   std::stop_token stop) {
    Ran r;
    std::array<uint32_t, 4> codes32{};
    for (int k = 0; k < 4; ++k) codes32[k] = codes[k];
    runtest::GuardedRun run(ctx.drive, ctx.port, ctx.guard);
    const auto interrupted = [&stop] { return stop.stop_requested(); };
    // A heavy load still creeping from the move before fails the
    // standstill check: it is given a moment to come to rest, as a user
    // would wait, before the refusal stands.
    for (int attempt = 0;; ++attempt) {
        r.outcome = run.Start(*ctx.changeGate,
                              runtest::RunRequest::Start(ctx.drive, runtest::Mode::Velocity, codes32, points,
                                                         runtest::VelocityStartWrites(move, codes32, points,
                                                                                      ctx.drive.firmwareVersion())),
                              interrupted);
        const bool creeping = r.outcome.status == runtest::RunStatus::Refused &&
                              r.outcome.refusal.refusal == runtest::StartRefusal::Moving;
        if (!creeping || attempt >= kRestRetries || stop.stop_requested()) break;
        std::this_thread::sleep_for(kRestWait);
    }
    if (r.outcome.status == runtest::RunStatus::Refused) {
        r.Failed(MoveFault::Refused, r.outcome.failureText, "the drive refused the move");
        r.failure.restless = r.outcome.refusal.refusal == runtest::StartRefusal::Moving;
        return r;
    }
    if (stop.stop_requested() || r.outcome.status != runtest::RunStatus::Completed) {
        const runtest::MotionReport end = run.Stop();
        r.stopped = stop.stop_requested();
        if (r.stopped) return r.Failed(MoveFault::Stopped, "", "stopped");
        std::string detail = r.outcome.failureText;
        if (end.end != runtest::MotionEnd::Stopped && end.end != runtest::MotionEnd::Finished)
            detail += (detail.empty() ? "" : " ") + end.Message("move");
        return r.Failed(MoveFault::Incomplete, detail, "the capture did not complete");
    }
    const runtest::MotionReport end = run.Follow(interrupted);
    if (stop.stop_requested()) {
        r.stopped = true;
        return r.Failed(MoveFault::Stopped, "", "stopped");
    }
    if (!end.asAsked()) return r.Failed(MoveFault::Ended, end.Message("move"), "");
    r.ok = true;
    return r;
}

}  // namespace

std::optional<int> ReadOrFactory(DriveContext& ctx, servo::Param p, uint16_t* unanswered) {
    const auto address = servo::Address(ctx.model, p);
    if (!address) return servo::FactoryWord(ctx.model, p);
    const auto v = ctx.drive.Read(*address);
    if (!v) {
        if (unanswered) *unanswered = *address;
        return std::nullopt;
    }
    return *v;
}

std::optional<ServoWords> ReadServoWords(DriveContext& ctx, uint16_t* unanswered) {
    ServoWords w;
    const std::pair<Param, int*> scalars[] = {{Param::PositionGain, &w.pr104}, {Param::SpeedGain, &w.pr105},
                                              {Param::SpeedIntegralTime, &w.pr106}, {Param::InertiaRatio, &w.pr113},
                                              {Param::IntegralOff, &w.pr125}, {Param::TorqueFilter, &w.pr127}};
    for (const auto& [p, dest] : scalars) {
        const auto v = ReadOrFactory(ctx, p, unanswered);
        if (!v) return std::nullopt;
        *dest = *v;
    }
    for (int n = 0; n < kNotchCount; ++n) {
        const auto f = ReadOrFactory(ctx, servo::NotchFrequency(n), unanswered);
        const auto wd = f ? ReadOrFactory(ctx, servo::NotchWidth(n), unanswered) : std::nullopt;
        const auto d = wd ? ReadOrFactory(ctx, servo::NotchDepth(n), unanswered) : std::nullopt;
        if (!d) return std::nullopt;
        w.notches[n] = {*f, *wd, *d};
    }
    return w;
}

GatedWrites WriteServoWords(DriveContext& ctx, const ServoWords& current, const ServoWords& wanted,
                            const std::string& what) {
    std::vector<std::pair<uint16_t, uint16_t>> writes;
    for (const ParameterChange& c : Changes(current, wanted))
        if (const auto a = AddressOf(ctx.model, c.name)) writes.emplace_back(*a, static_cast<uint16_t>(c.after));
    if (writes.empty()) return {};
    return WriteThroughGate(*ctx.changeGate, ctx.drive, ChangeOrigin::Tune, writes, what, ctx.gate);
}

MoveCapture RunMove(DriveContext& ctx, const MoveStep& step, std::stop_token stop) {
    MoveCapture out;
    runtest::VelocityFields move = step.move;
    // One capture per run, and the run just long enough to outlast it: an
    // even count of back-and-forth moves, so it ends where it began.
    const double one = TrapezoidSeconds({move.speed, move.distance, move.acceleration, move.dwell, 1});
    int runs = static_cast<int>(std::ceil((step.capture.seconds() + 0.2) / std::max(one, 1e-3)));
    runs += runs % 2;
    move.runs = static_cast<uint32_t>(std::max(2, runs));
    for (int k = 0; k < std::max(1, step.capture.records); ++k) {
        Ran r = GuardedCapture(ctx, move, step.capture.codes, step.capture.points, stop);
        if (!r.ok) {
            out.stopped = r.stopped;
            out.failure = r.failure;
            return out;
        }
        out.records.push_back(r.outcome.samples);
    }
    out.ok = true;
    return out;
}

std::vector<std::vector<float>> ChannelOf(const MoveCapture& capture, const CapturePlan& plan, uint16_t code) {
    std::vector<std::vector<float>> out;
    // The drive fills the active channels in order: the k-th non-zero code is channel k.
    int index = -1, k = 0;
    for (int c = 0; c < 4; ++c) {
        if (plan.codes[c] == 0) continue;
        if (plan.codes[c] == code) index = k;
        ++k;
    }
    for (const auto& r : capture.records) {
        std::vector<float> v;
        if (index >= 0) v = r[static_cast<std::size_t>(index)];
        v.resize(std::min<std::size_t>(v.size(), static_cast<std::size_t>(plan.points)));
        out.push_back(std::move(v));
    }
    return out;
}

SpectrumCapture RunSpectrumWithCapture(DriveContext& ctx, const TorqueStep& step, std::stop_token stop) {
    SpectrumCapture out;
    const uint16_t settings = step.spectrumSettings;
    const int frequency = std::array{1000, 2000, 4000, 8000}[settings & 0x3];
    const int points = 1024 << ((settings >> 4) & 0x3);
    out.binHz = static_cast<double>(frequency) / points;
    // The excitation moves the motor a little: only from rest, and with the
    // guard's watchdog armed so a lost program leaves nothing running.
    runtest::GuardedRun guard(ctx.drive, ctx.port, ctx.guard);
    const runtest::Readiness ready = guard.BeforeStart(runtest::MotionKind::Trapezoid);
    if (!ready.ready()) {
        out.message = "the drive refused the excitation: " + ready.Message();
        return out;
    }
    bool captureWorked = true;
    for (int k = 0; k < std::max(1, step.capture.records); ++k) {
        CaptureRequest req;
        req.codes = step.capture.codes;
        req.pointsPerChannel = static_cast<uint16_t>(step.capture.points);
        req.intervalUs = static_cast<int16_t>(step.capture.intervalUs);
        req.beforeStart = [&](DriveHandle& d, std::stop_token) {
            return d.Write(reg::kSpectrumSettings, settings).has_value() &&
                   d.Write(reg::kSpectrumStart, reg::kSpectrumStartValue).has_value();
        };
        // Past its start the capture is under way: the spectrum runs on.
        req.wait = [](DriveHandle& d, std::stop_token s) {
            PollPolicy p;
            p.polls = 10;
            return WaitSampleComplete(d, s, p);
        };
        CaptureResult cap = captureWorked ? RunCapture(ctx.drive, req, stop) : CaptureResult{};
        if (stop.stop_requested()) {
            out.stopped = true;
            out.message = "stopped";
            runtest::StopAndConfirm(ctx.drive);
            guard.StopAndRestore();
            return out;
        }
        if (!captureWorked || cap.status != CaptureStatus::Completed) {
            captureWorked = false;
            // Without the capture the spectrum still names the resonances.
            if (k == 0 && !ctx.drive.Write(reg::kSpectrumSettings, settings)) break;
            if (k == 0 && !ctx.drive.Write(reg::kSpectrumStart, reg::kSpectrumStartValue)) break;
        } else {
            const int cur = cap.codes[0] == kTorqueCurrentSource ? 0 : 1;
            out.current.push_back(cap.samples[static_cast<std::size_t>(cur)]);
            out.speed.push_back(cap.samples[static_cast<std::size_t>(1 - cur)]);
        }
        guard.Heard();
        PollPolicy wait;
        wait.polls = 20;
        wait.period = std::chrono::milliseconds(100);
        if (WaitSpectrumReady(ctx.drive, stop, wait) != WaitOutcome::Complete) {
            out.stopped = stop.stop_requested();
            out.message = out.stopped ? "stopped" : "the drive's spectrum did not complete";
            guard.StopAndRestore();
            return out;
        }
        guard.Heard();
        if (!captureWorked || k + 1 == std::max(1, step.capture.records)) {
            // The result is there: fetch only.
            std::vector<float> bins(static_cast<std::size_t>(points / 2));
            bool read = true;
            for (int b = 0; b < points / 2 && read; b += 50) {
                const uint16_t n = static_cast<uint16_t>(std::min(50, points / 2 - b));
                read = ReadSampleBlock(ctx.drive, static_cast<uint16_t>(reg::kSpectrumResultFirst + b), n, &bins[b], stop);
            }
            if (read) out.bins = std::move(bins);
            if (!captureWorked) break;
        }
    }
    guard.StopAndRestore();
    // The capture is the plant only when the current shows the excitation.
    if (captureWorked && !out.current.empty()) {
        double rms = 0;
        for (float v : out.current.front()) rms += double(v) * v;
        rms = std::sqrt(rms / std::max<std::size_t>(1, out.current.front().size()));
        out.plantCaptured = rms > 0.2 * step.excitationMa;
    }
    out.ok = !out.bins.empty() || out.plantCaptured;
    if (!out.ok && out.message.empty()) out.message = "the drive's spectrum could not be read";
    return out;
}

runtest::VelocityFields StandardMove(const MotionLimits& limits) {
    runtest::VelocityFields m;
    m.distance = static_cast<uint32_t>(std::max(1.0, std::floor(0.8 * limits.travelRev * 100)));
    m.acceleration = 200;
    m.speed = static_cast<int32_t>(std::min(200.0, std::sqrt(m.acceleration * m.distance / 100.0) * 100));
    m.dwell = 400;
    m.runs = 2;
    m.backAndForth = 1;
    m.direction = 1;
    m.sampleInterval = 400;
    return m;
}

MoveFigures AnalyseStandardMove(const std::vector<float>& error, const std::vector<float>& reference,
                                const std::vector<float>& speed, double intervalUs, double commandedSpeed) {
    MoveFigures f;
    f.intervalUs = intervalUs;
    f.error = error;
    f.reference = reference;
    f.speed = speed;
    if (error.size() < 10 || reference.size() != error.size()) return f;
    const runtest::FollowingFigures ff = runtest::ComputeFollowingFigures(&error, &speed, nullptr, commandedSpeed);
    f.peakErrorP = ff.peakFollowingError;
    f.overshootPct = ff.speedOvershootPct;
    // The command's end: the last change of the reference during the first move.
    const std::vector<float> ref = UnwrapCounter(reference);
    std::size_t moving = 0, end = 0;
    for (std::size_t i = 1; i < ref.size(); ++i) {
        if (ref[i] != ref[i - 1]) {
            moving = i;
            end = i;
        } else if (moving && i - moving > static_cast<std::size_t>(50e3 / intervalUs)) {
            break;  // 50 ms still: the first move is over
        }
    }
    if (!end) return f;
    std::size_t last = end;
    const std::size_t stillUntil = std::min(ref.size(), end + static_cast<std::size_t>(350e3 / intervalUs));
    for (std::size_t i = end; i < stillUntil; ++i)
        if (std::abs(error[i]) > kSettleBand) last = i + 1;
    if (last < stillUntil) f.settlingMs = (last - end) * intervalUs / 1000.0;
    f.ok = true;
    return f;
}

MoveFigures RunStandardMove(DriveContext& ctx, const MotionLimits& limits, std::stop_token stop, MoveFailure* failure) {
    const runtest::VelocityFields move = StandardMove(limits);
    const ChannelCodes codes{static_cast<uint16_t>(runtest::kPositionErrorCode), kPositionReferenceSource,
                             kSpeedFeedbackSource, 0};
    const int points = 2000;
    Ran r = GuardedCapture(ctx, move, codes, points, stop);
    if (!r.ok) {
        if (failure) *failure = r.failure;
        MoveFigures refused;
        refused.motorMoving = r.failure.restless;
        return refused;
    }
    const auto& s = r.outcome.samples;
    auto cut = [points](std::vector<float> v) {
        v.resize(std::min<std::size_t>(v.size(), points));
        return v;
    };
    return AnalyseStandardMove(cut(s[0]), cut(s[1]), cut(s[2]), move.sampleInterval, move.speed);
}

}  // namespace hx::tuning
