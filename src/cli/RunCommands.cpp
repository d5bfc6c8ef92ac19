#include "cli/RunCommands.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/capture/WaveFile.h"
#include "core/capture/WaveRecording.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/protocol/Registers.h"
#include "core/runtest/RunCapture.h"
#include "core/runtest/StepResponse.h"

using namespace hx::runtest;

namespace {

constexpr int kExitInterrupted = 130;

// Source codes of the signals the figures are computed from.
constexpr uint32_t kPositionError = 1, kSpeedFeedback = 2, kSpeedReference = 8, kTorqueCurrent = 32768;

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }

// Installs the interrupt handlers for the life of a run and puts the old ones back.
class InterruptGuard {
public:
    InterruptGuard() {
        g_interrupted = 0;
        m_int = std::signal(SIGINT, OnInterrupt);
        m_term = std::signal(SIGTERM, OnInterrupt);
    }
    ~InterruptGuard() {
        std::signal(SIGINT, m_int);
        std::signal(SIGTERM, m_term);
    }

private:
    void (*m_int)(int);
    void (*m_term)(int);
};

// "--name VALUE" / "--name=VALUE" options of a run command, each at most once.
class RunOptions {
public:
    // Fails with a usage message for an unknown option or a missing value.
    std::optional<std::string> Parse(const std::vector<std::string>& args, size_t first,
                                     const std::vector<std::string>& known) {
        for (size_t i = first; i < args.size(); ++i) {
            std::string name = args[i], value;
            const auto eq = name.find('=');
            bool inlineValue = false;
            if (eq != std::string::npos && name.rfind("--", 0) == 0) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
            bool ok = false;
            for (const auto& k : known) ok = ok || k == name;
            if (!ok) return "unknown option " + args[i];
            if (!inlineValue) {
                if (i + 1 >= args.size()) return name + " needs a value";
                value = args[++i];
            }
            m_values[name] = value;
        }
        return std::nullopt;
    }
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    const std::string& Value(const std::string& name) const { return m_values.at(name); }

private:
    std::map<std::string, std::string> m_values;
};

struct NumberOption {
    const char* name;
    long lo, hi;
    long* out;
};

std::optional<std::string> TakeNumbers(const RunOptions& o, std::initializer_list<NumberOption> list) {
    for (const auto& n : list) {
        if (!o.Has(n.name)) continue;
        auto v = CliContext::ParseNumber(o.Value(n.name));
        if (!v || *v < n.lo || *v > n.hi)
            return std::string("bad ") + n.name + ": " + o.Value(n.name) + " (" + std::to_string(n.lo) + ".." +
                   std::to_string(n.hi) + ")";
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
    const std::vector<int> choices = PointsChoices(*capacity.value, activeChannels, firmware);
    if (!o.Has("--points")) return choices.back();
    const auto p = CliContext::ParseNumber(o.Value("--points"));
    for (int c : choices)
        if (p && *p == c) return c;
    *error = "--points must be one of 200.." + std::to_string(choices.back()) + " in steps of 100";
    return std::nullopt;
}

// Runs the capture; on Ctrl+C stops the motion and ends the capture.
// Returns nullopt when interrupted.
std::optional<CaptureOutcome> RunWithInterrupt(CaptureRequest request) {
    InterruptGuard guard;
    RunSession session;
    std::promise<CaptureOutcome> done;
    auto result = done.get_future();
    const hx::DriveHandle drive = request.drive;
    const Mode mode = request.mode;
    session.StartCapture(std::move(request), [&done](const CaptureOutcome& o) { done.set_value(o); });
    while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (g_interrupted) {
            session.Close(drive, mode);  // sends the stop, ends and joins the capture
            return std::nullopt;
        }
    }
    CaptureOutcome out = result.get();
    // A failed run leaves nothing moving behind it.
    if (out.status != CaptureStatus::Completed && !out.stopSent) {
        session.StopRun(drive, mode);
        session.Drain();
    }
    // A completed run goes on as the drive was told (its runs, its dwell);
    // the session ends without sending anything more.
    return out;
}

int ReportFailure(const CliContext& ctx, const CaptureOutcome& out) {
    switch (out.status) {
    case CaptureStatus::Completed:
        return kExitOk;
    case CaptureStatus::NoAnswer:
        return ctx.NoAnswer("register " + std::to_string(out.unansweredAddress.value_or(0)) +
                            (out.safetyStopSent ? "; stop sent" : "; stop not answered either"));
    case CaptureStatus::TimedOut:
        return ctx.Fail("the drive did not finish the capture in time (try a shorter sampling interval); stopped",
                        kExitNoAnswer);
    case CaptureStatus::Closed:
        return ctx.Fail("capture ended early", kExitNoAnswer);
    case CaptureStatus::NotBackedUp:
        return out.gate.canGoOnWithout() ? ctx.GateFailed(out.gate) : ctx.NoAnswer("backup read");
    }
    return kExitNoAnswer;
}

// The recording written as the waveform window writes it: ".csv" the
// table, anything else the waveform file.
int WriteOutput(const CliContext& ctx, const RunOptions& o, const CaptureOutcome& out, int intervalUs) {
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

int RunVelocity(const CliContext& ctx, const std::vector<std::string>& args) {
    RunOptions o;
    if (auto e = o.Parse(args, 1, {"--speed", "--distance", "--accel", "--dwell", "--runs", "--back-and-forth",
                                   "--direction", "--interval", "--points", "--channels", "-o"}))
        return ctx.Usage(*e);
    VelocityFields f;
    long speed = f.speed, distance = f.distance, accel = f.acceleration, dwell = f.dwell, runs = f.runs,
         back = f.backAndForth, direction = f.direction, interval = f.sampleInterval;
    if (auto e = TakeNumbers(o, {{"--speed", -2147483647L, 2147483647L, &speed},
                                 {"--distance", 0, 4294967295L, &distance},
                                 {"--accel", 0, 4294967295L, &accel},
                                 {"--dwell", 0, 4294967295L, &dwell},
                                 {"--runs", 0, 4294967295L, &runs},
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

    const CaptureRequest r = CaptureRequest::For(ctx.Drive(firmware), Mode::Velocity, codes,
                                                 *points, VelocityStartWrites(f, codes, *points, firmware));
    const auto out = RunWithInterrupt(r);
    if (!out) return ctx.Fail("interrupted; motor stopped", kExitInterrupted);
    if (out->status != CaptureStatus::Completed) return ReportFailure(ctx, *out);
    TakeReturnedValues(out->startWrites, out->writes.returned, &f, nullptr, nullptr);

    auto channel = [&](uint32_t code) -> const std::vector<float>* {
        for (int k = 0; k < 4; ++k)
            if (out->codes[k] == code) return &out->samples[k];
        return nullptr;
    };
    const FollowingFigures fig =
        ComputeFollowingFigures(channel(kPositionError), channel(kSpeedFeedback), channel(kSpeedReference), f.speed);
    ctx.Out() << "points per channel: " << out->points << ", sampling interval: " << f.sampleInterval << " us\n";
    if (fig.peakFollowingError) ctx.Out() << "peak following error: " << Fixed(*fig.peakFollowingError, 0) << " p\n";
    if (fig.rmsFollowingError) ctx.Out() << "rms following error: " << Fixed(*fig.rmsFollowingError, 1) << " p\n";
    if (fig.speedOvershootPct) ctx.Out() << "speed overshoot: " << Fixed(*fig.speedOvershootPct, 1) << " %\n";
    return WriteOutput(ctx, o, *out, f.sampleInterval);
}

int RunTorque(const CliContext& ctx, const std::vector<std::string>& args) {
    RunOptions o;
    if (auto e = o.Parse(args, 1, {"--current", "--kp", "--ki", "--kc", "--points", "-o"})) return ctx.Usage(*e);
    long current = 1000, kp = -1, ki = -1, kc = -1;
    if (auto e = TakeNumbers(o, {{"--current", -32768, 32767, &current},
                                 {"--kp", -32768, 32767, &kp},
                                 {"--ki", -32768, 32767, &ki},
                                 {"--kc", -32768, 32767, &kc}}))
        return ctx.Usage(*e);
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
    if (auto failure = CheckTorque(f)) {
        static const char* const kRanges[] = {"--kp must not be negative", "--ki must not be negative",
                                              "--kc must be 0..1024"};
        return ctx.Usage(kRanges[failure->field]);
    }
    std::string error;
    const auto points = ChoosePoints(ctx, o, 1, firmware, &error);
    if (!points) return error.rfind("--", 0) == 0 ? ctx.Usage(error) : ctx.NoAnswer(error);

    CaptureRequest r = CaptureRequest::For(drive, Mode::Torque, {kTorqueCurrent, 0, 0, 0}, *points,
                                           TorqueStartWrites(f, *points, firmware));
    r.gate = ctx.GateOptions();
    const auto out = RunWithInterrupt(r);
    if (!out) return ctx.Fail("interrupted; current-loop test stopped", kExitInterrupted);
    if (out->status != CaptureStatus::Completed) return ReportFailure(ctx, *out);
    TakeReturnedValues(out->startWrites, out->writes.returned, nullptr, &f, nullptr);
    // With auto-tuning on, the drive chose its own gains for the test.
    const TorqueReadback used = ReadTorqueGains(drive);
    if (used.kp && used.ki && (*used.kp != f.kp || *used.ki != f.ki)) {
        ctx.Out() << "the drive tuned its gains: Kp " << *used.kp << ", Ki " << *used.ki << '\n';
        f.kp = static_cast<int16_t>(*used.kp);
        f.ki = static_cast<int16_t>(*used.ki);
    }

    const StepFigures s = ComputeStepFigures(out->samples[0], f.testCurrent, kTorqueSamplePeriodUs);
    ctx.Out() << "Kp " << f.kp << ", Ki " << f.ki << ", Kc " << f.kc << ", test current " << f.testCurrent
              << " mA, " << out->points << " points\n";
    ctx.Out() << "rise time (10-90 %): " << (s.riseTimeMs ? Fixed(*s.riseTimeMs, 2) + " ms" : "not reached") << '\n';
    if (s.overshootPct) ctx.Out() << "overshoot: " << Fixed(*s.overshootPct, 1) << " %\n";
    ctx.Out() << "settling time (5 %): " << (s.settlingTimeMs ? Fixed(*s.settlingTimeMs, 2) + " ms" : "not settled")
              << '\n';
    if (s.steadyStateError)
        ctx.Out() << "steady-state error: " << Fixed(*s.steadyStateError, 0) << " mA ("
                  << Fixed(*s.steadyStateErrorPct, 1) << " %)\n";
    return WriteOutput(ctx, o, *out, kTorqueSamplePeriodUs);
}

int RunStop(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 1) return ctx.Usage("run stop takes no arguments");
    if (!ctx.OpenLink()) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();
    // Both, whatever runs: the motion and the current-loop test.
    const bool motionStopped = Send(drive, StopWrite(Mode::Velocity));
    const bool testStopped = Send(drive, StopWrite(Mode::Torque));
    if (!motionStopped) return ctx.NoAnswer("motion stop, register 70");
    if (!testStopped) return ctx.NoAnswer("current-loop test stop, register 23");
    return kExitOk;
}

}  // namespace

int RunRunCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.empty())
        return ctx.Usage(
            "usage: run velocity [--speed N] [--distance N] [--accel N] [--dwell MS] [--runs N] "
            "[--back-and-forth 0|1] [--direction 1|-1] [--interval US] [--points N] [--channels C1,..] [-o FILE]\n"
            "       run torque [--current MA] [--kp N] [--ki N] [--kc N] [--points N] [-o FILE]\n"
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
                     "[-o FILE]"},
        {"torque", "the current-loop test: [--current MA] [--kp N] [--ki N] [--kc N] [--points N] [-o FILE]"},
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
