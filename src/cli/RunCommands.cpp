#include "cli/RunCommands.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/capture/CapturePlan.h"
#include "core/capture/WaveFile.h"
#include "core/capture/WaveRecording.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/link/FaultText.h"
#include "core/protocol/Registers.h"
#include "core/runtest/GuardedRun.h"
#include "core/runtest/StepResponse.h"
#include "core/util/EndSignals.h"

using namespace hx::runtest;

namespace {

// Source codes of the signals the figures are computed from.
constexpr uint32_t kPositionError = 1, kSpeedFeedback = 2, kSpeedReference = 8, kTorqueCurrent = 32768;

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }
// Nobody reads the tool's output any more (the end of "| head").
bool g_outputClosed = false;

using hx::kEndSignals;

// Installs the interrupt handlers for the life of a run and puts the old ones back.
class InterruptGuard {
public:
    InterruptGuard() {
        g_interrupted = 0;
        g_outputClosed = false;
        for (size_t i = 0; i < std::size(kEndSignals); ++i) m_old[i] = std::signal(kEndSignals[i], OnInterrupt);
    }
    ~InterruptGuard() {
        for (size_t i = 0; i < std::size(kEndSignals); ++i) std::signal(kEndSignals[i], m_old[i]);
    }

private:
    void (*m_old[std::size(kEndSignals)])(int);
};

}  // namespace

namespace runcli {

std::optional<std::string> TakeNumbers(const RunOptions& o, std::initializer_list<NumberOption> list) {
    for (const auto& n : list) {
        if (!o.Has(n.name)) continue;
        auto v = CliContext::ParseNumber(o.Value(n.name));
        if (!v || *v < n.lo || *v > n.hi)
            return std::string(n.name) + " must be " + std::to_string(n.lo) + ".." + std::to_string(n.hi) + ", not " +
                   o.Value(n.name);
        *n.out = *v;
    }
    return std::nullopt;
}

std::string Fixed(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    // A small negative value rounds to "-0": say 0.
    if (std::strtod(buf, nullptr) == 0) std::snprintf(buf, sizeof buf, "%.*f", decimals, 0.0);
    return buf;
}

// Picks the points the same way as the window's list: any of its entries;
// by default the last (largest).
std::optional<int> ChoosePoints(const CliContext& ctx, const RunOptions& o, int activeChannels, float firmware,
                                std::string* error) {
    hx::DriveHandle drive = ctx.Drive(firmware);
    const CommandResult capacity = ReadCaptureCapacity(drive);
    if (!capacity.value) {
        *error = "capture capacity (register " + std::to_string(capacity.address) + ")";
        return std::nullopt;
    }
    const std::vector<int> choices = hx::PointsChoices(*capacity.value, activeChannels, firmware);
    if (!o.Has("--points")) return choices.back();
    const auto p = CliContext::ParseNumber(o.Value("--points"));
    for (int c : choices)
        if (p && *p == c) return c;
    *error = "--points must be one of 200.." + std::to_string(choices.back()) + " in steps of 100";
    return std::nullopt;
}

int ReportFailure(const CliContext& ctx, const RunOutcome& out) {
    switch (out.status) {
    case RunStatus::Completed:
        return kExitOk;
    case RunStatus::NoAnswer: {
        if (out.writes.fault.kind == hx::DriveFaultKind::Refused) {
            // The drive answered: its reason, and the alarm that may be behind it.
            return ctx.Fail("station " + std::to_string(ctx.Station()) + ": " +
                                hx::FaultSentenceAskingAlarm(ctx.Drive(100.0f), out.unansweredAddress.value_or(0),
                                                             out.writes.fault),
                            kExitNoAnswer);
        }
        // One sentence: what failed and why, then what became of the motor.
        const std::string why = out.failureText.empty() ? "" : " (" + out.failureText + ")";
        const std::string what = "station " + std::to_string(ctx.Station()) + ": " +
                                 (out.writes.unanswered ? "writing" : "reading") + " register " +
                                 std::to_string(out.unansweredAddress.value_or(0)) + " failed" + why;
        if (!out.writes.unanswered) return ctx.Fail(what, kExitNoAnswer);
        return ctx.Fail(what + (out.safetyStopSent ? "; the stop sent after it was answered"
                                                   : "; the stop sent after it got no answer either"),
                        kExitNoAnswer);
    }
    case RunStatus::TimedOut:
        return ctx.Fail("the drive did not finish the capture in time (try a shorter sampling interval); stopped",
                        kExitNoAnswer);
    case RunStatus::Closed:
        return ctx.Fail("capture ended early", kExitNoAnswer);
    case RunStatus::Refused:
        return ctx.Fail(out.failureText, kExitNoAnswer);
    case RunStatus::NotBackedUp:
        return out.gate.canGoOnWithout() ? ctx.GateFailed(out.gate) : ctx.NoAnswer("backup read");
    }
    return kExitNoAnswer;
}

// A signal, or an output nobody reads: a run then ends as Ctrl+C ends it,
// with its stop, rather than going on for a reader that has gone.
bool SignalArrived() {
    if (!g_interrupted && hx::OutputClosed()) {
        g_outputClosed = true;
        g_interrupted = 1;
    }
    return g_interrupted != 0;
}

// The restore's trouble, when there was any, on its own line.
void SayRestore(const CliContext& ctx, const MotionReport& end) {
    const std::string restore = end.RestoreMessage();
    if (!restore.empty()) ctx.Fail(restore, 0);
}

// After the stop a signal asked for: 130, and whether the stop was confirmed.
int Interrupted(const CliContext& ctx, const MotionReport& stopped, const std::string& what) {
    SayRestore(ctx, stopped);
    const std::string why = g_outputClosed ? "the output was closed; " : "interrupted; ";
    if (stopped.end == MotionEnd::Stopped) return ctx.Fail(why + what + " stopped", kExitInterrupted);
    return ctx.Fail(why + stopped.Message(what), kExitInterrupted);
}

int RunGuarded(const CliContext& ctx, const RunRequest& request, bool detach, const std::string& what,
               const std::function<int(const RunOutcome&)>& report) {
    InterruptGuard signals;
    GuardedRun run(request.drive, ctx.Link().PortName());
    const RunOutcome out = run.Start(ctx.Gate(), request, SignalArrived);
    if (out.status == RunStatus::Refused) return ReportFailure(ctx, out);
    if (!out.refusal.noteError.empty())
        ctx.Fail("cannot note the drive's watchdog values: " + out.refusal.noteError, 0);
    if (out.refusal.watchdogMissing)
        ctx.Fail("the drive has no communication watchdog: the " + what + " runs on if this tool is killed", 0);
    if (g_interrupted) return Interrupted(ctx, run.Stop(), what);
    if (out.status != RunStatus::Completed) {
        const MotionReport stopped = run.Stop();
        const int code = ReportFailure(ctx, out);
        if (stopped.end != MotionEnd::Stopped) ctx.Fail(stopped.Message(what), code);
        SayRestore(ctx, stopped);
        return code;
    }
    const int reported = report(out);
    // The figures now, while the motion goes on.
    ctx.Out().flush();

    if (detach) {
        const RestoreOutcome restored = run.Detach();
        ctx.Fail("--detach: the " + what + " goes on; stop it with \"run stop\"" +
                     (restored.done ? "; the drive's communication watchdog is as the drive had it"
                                    : "; the drive's communication watchdog could not be put back"),
                 0);
        return reported;
    }
    const MotionReport end = run.Follow(SignalArrived, [&](std::chrono::seconds elapsed) {
        ctx.Err() << "halvex-cli: " << what << " running, " << elapsed.count() << " s (Ctrl+C stops it)\n";
        ctx.Err().flush();
    });
    if (g_interrupted) return Interrupted(ctx, end, what);
    SayRestore(ctx, end);
    // A run cut short (the drive's watchdog, an alarm, a stop this tool did
    // not send, a silent line) is a failure, whatever the capture showed.
    if (!end.asAsked()) return ctx.Fail(end.Message(what), kExitNoAnswer);
    ctx.Err() << "halvex-cli: " << end.Message(what) << '\n';
    return end.restored.done ? reported : kExitNoAnswer;
}

// The recording written as the waveform window writes it: ".csv" the
// table, anything else the waveform file.
int WriteOutput(const CliContext& ctx, const RunOptions& o, const RunOutcome& out, int intervalUs) {
    if (!o.Has("-o")) return kExitOk;
    hx::ChannelCodes codes{};
    hx::SampleBuffers samples;
    for (int k = 0; k < 4; ++k) {
        codes[k] = static_cast<uint16_t>(out.codes[k]);
        samples[k] = out.samples[k];
        samples[k].resize(static_cast<size_t>(out.points));
    }
    hx::WaveRecording recording;
    hx::RecordCapture(recording, codes, static_cast<uint16_t>(out.points), static_cast<int16_t>(intervalUs), samples);
    const std::string& path = o.Value("-o");
    std::string lower = path;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const bool csv = lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".csv") == 0;
    std::string error;
    const bool saved = csv ? hx::ExportWaveCsv(path, recording, &error) : hx::SaveWaveFile(path, recording, &error);
    if (!saved) return ctx.Fail(error.empty() ? "cannot write " + path : error, kExitNoAnswer);
    return kExitOk;
}

float DriveFirmware(const CliContext& ctx) {
    return hx::ReadDriveIdentity(ctx.Link(), ctx.Station()).firmwareVersion;
}

int TakeVelocityFields(const CliContext& ctx, const RunOptions& o, VelocityFields* fields) {
    VelocityFields& f = *fields;
    long speed = f.speed, distance = f.distance, accel = f.acceleration, dwell = f.dwell, runs = f.runs,
         back = f.backAndForth, direction = f.direction, interval = f.sampleInterval;
    // The ranges the drive's fields take (as CheckVelocity says them), so a
    // mistake is told with the range that holds.
    if (auto e = TakeNumbers(o, {{"--speed", 0, 32767, &speed},
                                 {"--distance", 0, 32767, &distance},
                                 {"--accel", 0, 32767, &accel},
                                 {"--dwell", 1, 10000, &dwell},
                                 {"--runs", 1, 65535, &runs},
                                 {"--back-and-forth", 0, 1, &back},
                                 {"--direction", -1, 1, &direction},
                                 {"--interval", 1, 30000, &interval}}))
        return ctx.Usage(*e);
    if (direction == 0) return ctx.Usage("--direction must be 1 or -1");
    bool knownInterval = false;
    for (int i : kSampleIntervals) knownInterval = knownInterval || i == interval;
    if (!knownInterval) return ctx.Usage("--interval must be one of 50 100 200 400 800 1000 2000 ... 30000");
    f.speed = static_cast<int32_t>(speed);
    f.distance = static_cast<uint32_t>(distance);
    f.acceleration = static_cast<uint32_t>(accel);
    f.dwell = static_cast<uint32_t>(dwell);
    f.runs = static_cast<uint32_t>(runs);
    f.backAndForth = static_cast<int32_t>(back);
    f.direction = static_cast<int32_t>(direction);
    f.sampleInterval = static_cast<int>(interval);
    if (auto failure = CheckVelocity(f)) {
        static const char* const kRanges[] = {"--speed must be 0..32767", "--distance must be 0..32767",
                                              "--accel must be 0..32767", "--dwell must be 1..10000",
                                              "--runs must be 1..65535"};
        return ctx.Usage(kRanges[failure->field]);
    }
    return kExitOk;
}

}  // namespace runcli

namespace {

using namespace runcli;

int RunVelocity(const CliContext& ctx, const std::vector<std::string>& args) {
    RunOptions o;
    std::vector<std::string> known = kVelocityOptions;
    known.insert(known.end(), {"--points", "--channels", "-o", "--detach"});
    if (auto e = o.Parse(args, 1, known)) return ctx.Usage(*e);
    VelocityFields f;
    if (const int status = TakeVelocityFields(ctx, o, &f); status != kExitOk) return status;

    std::array<uint32_t, 4> codes = {kPositionError, kSpeedFeedback, 0, 0};
    if (o.Has("--channels")) {
        codes = {};
        std::stringstream list(o.Value("--channels"));
        std::string item;
        int k = 0;
        while (std::getline(list, item, ',')) {
            auto c = CliContext::ParseNumber(item);
            if (k >= 4 || !c || *c < 0 || *c > 65535 || (*c & (*c - 1)) != 0)
                return ctx.Usage("--channels takes up to four source codes (1, 2, 4, ... 32768), e.g. 1,2");
            codes[k++] = static_cast<uint32_t>(*c);
        }
    }
    int active = 0;
    for (uint32_t c : codes) active += c != 0;
    if (active == 0) return ctx.Usage("no channel to capture");

    if (!ctx.OpenLink()) return kExitPortError;
    const float firmware = DriveFirmware(ctx);
    std::string error;
    const auto points = ChoosePoints(ctx, o, active, firmware, &error);
    if (!points) return error.rfind("--", 0) == 0 ? ctx.Usage(error) : ctx.NoAnswer(error);

    const RunRequest r = RunRequest::Start(ctx.Drive(firmware), Mode::Velocity, codes, *points,
                                           VelocityStartWrites(f, codes, *points, firmware));
    return RunGuarded(ctx, r, o.Has("--detach"), "motion", [&](const RunOutcome& out) {
        TakeReturnedValues(out.startWrites, out.writes.returned, &f, nullptr, nullptr);

        auto channel = [&](uint32_t code) -> const std::vector<float>* {
            for (int k = 0; k < 4; ++k)
                if (out.codes[k] == code) return &out.samples[k];
            return nullptr;
        };
        const FollowingFigures fig =
            ComputeFollowingFigures(channel(kPositionError), channel(kSpeedFeedback), channel(kSpeedReference), f.speed);
        ctx.Out() << "points per channel: " << out.points << ", sampling interval: " << f.sampleInterval << " us\n";
        if (fig.peakFollowingError) ctx.Out() << "peak following error: " << Fixed(*fig.peakFollowingError, 0) << " p\n";
        if (fig.rmsFollowingError) ctx.Out() << "rms following error: " << Fixed(*fig.rmsFollowingError, 1) << " p\n";
        if (fig.speedOvershootPct) ctx.Out() << "speed overshoot: " << Fixed(*fig.speedOvershootPct, 1) << " %\n";
        return WriteOutput(ctx, o, out, f.sampleInterval);
    });
}

int RunTorque(const CliContext& ctx, const std::vector<std::string>& args) {
    RunOptions o;
    if (auto e = o.Parse(args, 1, {"--current", "--kp", "--ki", "--kc", "--points", "-o", "--detach"})) return ctx.Usage(*e);
    long current = 1000, kp = -1, ki = -1, kc = -1;
    if (auto e = TakeNumbers(o, {{"--current", -32768, 32767, &current},
                                 {"--kp", -32768, 32767, &kp},
                                 {"--ki", -32768, 32767, &ki},
                                 {"--kc", -32768, 32767, &kc}}))
        return ctx.Usage(*e);
    static const char* const kTorqueRanges[] = {"--kp must not be negative", "--ki must not be negative",
                                                "--kc must be 0..1024"};
    // The gains given are checked before anything is sent; those not given
    // are the drive's own, checked once read.
    {
        TorqueFields given;
        given.kp = static_cast<int16_t>(o.Has("--kp") ? kp : 0);
        given.ki = static_cast<int16_t>(o.Has("--ki") ? ki : 0);
        given.kc = static_cast<int16_t>(o.Has("--kc") ? kc : 0);
        given.testCurrent = static_cast<int16_t>(current);
        if (auto failure = CheckTorque(given)) return ctx.Usage(kTorqueRanges[failure->field]);
    }
    if (!ctx.OpenLink()) return kExitPortError;
    const float firmware = DriveFirmware(ctx);
    hx::DriveHandle drive = ctx.Drive(firmware);

    // Gains not given are the drive's own, as the page shows them.
    TorqueFields f;
    const TorqueReadback gains = ReadTorqueGains(drive);
    if (!gains.kp || !gains.ki || !gains.kc) return ctx.NoAnswer("current-loop gains (registers 15..17)");
    f.kp = static_cast<int16_t>(o.Has("--kp") ? kp : *gains.kp);
    f.ki = static_cast<int16_t>(o.Has("--ki") ? ki : *gains.ki);
    f.kc = static_cast<int16_t>(o.Has("--kc") ? kc : *gains.kc);
    f.testCurrent = static_cast<int16_t>(current);
    if (auto failure = CheckTorque(f)) return ctx.Usage(kTorqueRanges[failure->field]);
    std::string error;
    const auto points = ChoosePoints(ctx, o, 1, firmware, &error);
    if (!points) return error.rfind("--", 0) == 0 ? ctx.Usage(error) : ctx.NoAnswer(error);

    RunRequest r = RunRequest::Start(drive, Mode::Torque, {kTorqueCurrent, 0, 0, 0}, *points,
                                     TorqueStartWrites(f, *points, firmware));
    // The gains are the user's tuning: they go through the change gate.
    r.gate = ctx.GateOptions();
    return RunGuarded(ctx, r, o.Has("--detach"), "current-loop test", [&](const RunOutcome& out) {
        TakeReturnedValues(out.startWrites, out.writes.returned, nullptr, &f, nullptr);
        // With auto-tuning on, the drive chose its own gains for the test.
        const TorqueReadback used = ReadTorqueGains(drive);
        if (used.kp && used.ki && (*used.kp != f.kp || *used.ki != f.ki)) {
            ctx.Out() << "the drive tuned its gains: Kp " << *used.kp << ", Ki " << *used.ki << '\n';
            f.kp = static_cast<int16_t>(*used.kp);
            f.ki = static_cast<int16_t>(*used.ki);
        }

        const StepFigures s = ComputeStepFigures(out.samples[0], f.testCurrent, kTorqueSamplePeriodUs);
        ctx.Out() << "Kp " << f.kp << ", Ki " << f.ki << ", Kc " << f.kc << ", test current " << f.testCurrent
                  << " mA, " << out.points << " points\n";
        ctx.Out() << "rise time (10-90 %): " << (s.riseTimeMs ? Fixed(*s.riseTimeMs, 2) + " ms" : "not reached") << '\n';
        if (s.overshootPct) ctx.Out() << "overshoot: " << Fixed(*s.overshootPct, 1) << " %\n";
        ctx.Out() << "settling time (5 %): " << (s.settlingTimeMs ? Fixed(*s.settlingTimeMs, 2) + " ms" : "not settled")
                  << '\n';
        if (s.steadyStateError)
            ctx.Out() << "steady-state error: " << Fixed(*s.steadyStateError, 0) << " mA ("
                      << Fixed(*s.steadyStateErrorPct, 1) << " %)\n";
        return WriteOutput(ctx, o, out, kTorqueSamplePeriodUs);
    });
}

int RunStop(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1) return ctx.Usage("run stop takes no arguments");
    if (!ctx.OpenLink()) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();
    // Both, whatever runs: the motion and the current-loop test, until the
    // drive shows both stopped.
    const StopConfirmation s = StopAndConfirm(drive);
    const std::string station = "station " + std::to_string(ctx.Station()) + ": ";
    const std::string tries = std::to_string(s.rounds) + (s.rounds == 1 ? " time" : " times");
    if (s.running)
        return ctx.Fail(station + "not stopped: register " + std::to_string(*s.running) +
                            " still reads running after the stop was sent " + tries,
                        kExitNoAnswer);
    if (!s.stopped)
        return ctx.Fail(station + "not known whether stopped: register " + std::to_string(*s.unanswered) +
                            " did not answer after the stop was sent " + tries,
                        kExitNoAnswer);
    ctx.Out() << "stopped";
    if (s.alarm && *s.alarm != 0) ctx.Out() << "; the drive shows alarm " << *s.alarm;
    ctx.Out() << '\n';
    return kExitOk;
}

}  // namespace

int RunRunCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.empty())
        return ctx.Usage(
            "usage: run velocity [--speed N] [--distance N] [--accel N] [--dwell MS] [--runs N] "
            "[--back-and-forth 0|1] [--direction 1|-1] [--interval US] [--points N] [--channels C1,..] [-o FILE] [--detach]\n"
            "       run torque [--current MA] [--kp N] [--ki N] [--kc N] [--points N] [-o FILE] [--detach]\n"
            "       run stop");
    if (args[0] == "velocity") return RunVelocity(ctx, args);
    if (args[0] == "torque") return RunTorque(ctx, args);
    if (args[0] == "stop") return RunStop(ctx, args);
    return ctx.Usage("unknown run command " + args[0]);
}

void AddRunCommands(CliCommands& commands) {
    CLI::App* run = commands.AddGroup("run", "run the motor in a test mode while the drive captures, print the figures");
    struct Sub {
        const char* name;
        const char* description;
    };
    static const Sub subs[] = {
        {"velocity", "a velocity trapezoid: [--speed N] [--distance N] [--accel N] [--dwell MS] [--runs N] "
                     "[--back-and-forth 0|1] [--direction 1|-1] [--interval US] [--points N] [--channels C1,..] "
                     "[-o FILE] [--detach]; waits until the last run has ended"},
        {"torque", "the current-loop test: [--current MA] [--kp N] [--ki N] [--kc N] [--points N] [-o FILE] [--detach]"},
        {"stop", "stop the motion and the current-loop test"},
    };
    for (const Sub& sub : subs) {
        auto holder = std::make_shared<CLI::App*>(nullptr);
        const std::string name = sub.name;
        CLI::App* app = commands.Add(*run, sub.name, sub.description, [holder, name](const CliContext& ctx) {
            std::vector<std::string> words = {name};
            for (const std::string& w : (*holder)->remaining()) words.push_back(w);
            return RunRunCommand(ctx, words);
        });
        // Every word after the sub-command is the run's own; the link options come before it.
        app->fallthrough(false);
        app->prefix_command();
        *holder = app;
    }
}
