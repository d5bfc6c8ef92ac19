#include "cli/TuneCommands.h"

#include <cmath>
#include <memory>
#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/RunCommands.h"
#include "cli/TuneGains.h"
#include "core/analysis/Vibration.h"
#include "core/link/CQXCOM.h"
#include "core/writes/StorageCommand.h"
#include "core/runtest/VibrationTuning.h"
#include "core/tuning/RobustShaping.h"

using namespace hx::runtest;
using namespace runcli;
namespace analysis = hx::analysis;

namespace {

// Room after the move for the ringing to show and settle.
constexpr double kCaptureAfterMoveMs = 1000;

std::string Ordinal(int n) {
    static const char* const kNames[] = {"1st", "2nd", "3rd", "4th"};
    return kNames[std::clamp(n, 1, 4) - 1];
}

std::string Unit(uint32_t signalCode) { return signalCode == kPositionErrorCode ? " p" : " x 0.01 rps"; }

// "14.79 Hz, peak-to-peak 166 p, damping ratio 0.015, settling time 1234 ms"
std::string Figures(const RunVibration& run) {
    const analysis::ResidualVibration& v = run.vibration;
    std::string s = v.ringing ? Fixed(v.frequencyHz, 2) + " Hz, " : "no ringing, ";
    s += "peak-to-peak " + Fixed(v.peakToPeak, 0) + Unit(run.signalCode);
    if (v.ringing && v.dampingRatio) s += ", damping ratio " + Fixed(*v.dampingRatio, 3);
    s += ", settling time " + (v.settlingTimeMs ? Fixed(*v.settlingTimeMs, 0) + " ms" : std::string("not settled"));
    return s;
}

struct Run {
    std::optional<RunOutcome> outcome;
    RunVibration vibration;
    int status = kExitOk;  // of a run that failed, after its message
};

Run RunAndAnalyse(const CliContext& ctx, const hx::DriveHandle& drive, const VelocityFields& f,
                  const std::array<uint32_t, 4>& codes, int points,
                  const std::array<int32_t, kResonanceSettings>& settings) {
    Run run;
    // The move under the one guarded path: checked at rest, the watchdog
    // armed, followed to its end before the next step.
    run.status = RunGuarded(
        ctx, RunRequest::Start(drive, Mode::Velocity, codes, points, VelocityStartWrites(f, codes, points, drive.firmwareVersion())),
        false, "move", [&](const RunOutcome& out) -> int {
            run.outcome = out;
            run.vibration = AnalyseVelocityRun(out.codes, out.samples, f.sampleInterval, f, settings);
            if (run.vibration.status == RunVibration::Status::MoveNotEnded ||
                run.vibration.status == RunVibration::Status::TooShort)
                return ctx.Fail("the capture ends before 200 ms after the move: give more --points or a longer --interval",
                                kExitNoAnswer);
            return kExitOk;
        });
    return run;
}

int TuneVibration(const CliContext& ctx, const std::vector<std::string>& args) {
    RunOptions o;
    std::vector<std::string> known = kVelocityOptions;
    known.insert(known.end(), {"--points", "--store"});
    // --store is a flag: give it the value the option parser wants.
    std::vector<std::string> words;
    bool store = false;
    for (const std::string& w : args) {
        if (w == "--store") store = true;
        else words.push_back(w);
    }
    if (auto e = o.Parse(words, 1, known)) return ctx.Usage(*e);
    VelocityFields f;
    f.runs = 1;                // one move, and the ringing after it
    f.sampleInterval = 1000;   // a ringing of a few hertz needs a second or two
    if (o.Has("--runs")) return ctx.Usage("tune vibration runs one move each time; --runs is not taken");
    if (const int status = TakeVelocityFields(ctx, o, &f); status != kExitOk) return status;

    if (!ctx.OpenLink()) return kExitPortError;
    const float firmware = DriveFirmware(ctx);
    hx::DriveHandle drive = ctx.Drive(firmware);
    const SourceInfo sources = ReadSourceInfo(drive);
    if (!sources.sourceMask || !sources.channelCount) return ctx.NoAnswer("sampling sources (registers 52, 99)");
    const std::array<uint32_t, 4> codes = VibrationChannels(*sources.sourceMask, *sources.channelCount);
    if (codes[0] == 0) return ctx.Fail("the drive records neither the position error nor the speed feedback", kExitNoAnswer);
    std::array<int32_t, kResonanceSettings> settings{};
    const ResonanceReadback read = ReadResonanceSettings(drive);
    if (read.unanswered) return ctx.NoAnswer("anti-vibration settings (registers 77..89)");
    for (int i = 0; i < kResonanceSettings; ++i) settings[i] = read.values[i].value_or(0);

    const int active = codes[1] ? 2 : 1;
    std::string error;
    const auto largest = ChoosePoints(ctx, o, active, firmware, &error);
    if (!largest) return error.rfind("--", 0) == 0 ? ctx.Usage(error) : ctx.NoAnswer(error);
    int points = *largest;
    if (!o.Has("--points")) {
        // The move, its shaping by the sets about to be proposed, and a second after.
        const double samples = analysis::MoveEndFromTrapezoid({f.speed, f.distance, f.acceleration}, settings, f.sampleInterval) +
                               (kCaptureAfterMoveMs + 4 * analysis::kPhaseAMax * analysis::kShaperUnitMs) * 1000.0 /
                                   f.sampleInterval;
        points = std::min(points, std::max(200, static_cast<int>(std::ceil(samples / 100)) * 100));
    }

    const Run before = RunAndAnalyse(ctx, drive, f, codes, points, settings);
    if (before.status != kExitOk) return before.status;
    ctx.Out() << "before: " << Figures(before.vibration) << '\n';
    const analysis::ResidualVibration& v = before.vibration.vibration;
    if (!v.ringing)
        return ctx.Fail("no ringing after the move (it does not swing back and forth above the noise); nothing written",
                        kExitNoAnswer);
    const analysis::VibrationProposal p = analysis::ProposeAntiVibration(v);
    if (p.kind == analysis::VibrationProposal::Kind::TooSlow)
        return ctx.Fail("the ringing at " + Fixed(v.frequencyHz, 2) +
                            " Hz is too slow for the anti-vibration sets: phase A would be " +
                            std::to_string(p.idealPhaseA) + " (at most 255, 9.8 Hz), and all four sets at 255 "
                            "leave " + Fixed(100 * p.predictedResidual, 0) + " % of it; nothing written",
                        kExitNoAnswer);

    const std::array<int32_t, kResonanceSettings> proposed = analysis::ApplyProposal(settings, p);
    if (p.kind == analysis::VibrationProposal::Kind::CombinedSets)
        ctx.Out() << "the ringing is slower than one set reaches (phase A " << p.idealPhaseA << " > 255): sets 1.."
                  << p.sets << " combined, each at phase A 255\n";
    const WriteOutcome written =
        WriteAntiVibration(ctx.Gate(), drive, AntiVibrationWrites(proposed, p.sets), "tune vibration", ctx.GateOptions());
    // Nothing was sent: the drive holds what it held.
    if (!written.gate.ok()) return ctx.GateFailed(written.gate);
    // Whatever happens from here on, the previous sets can go back.
    int touched = p.sets;  // the sets written so far, from the 1st
    auto putBack = [&] {
        const WriteOutcome back = WriteAntiVibration(ctx.Gate(), drive, AntiVibrationWrites(settings, touched),
                                                     "tune vibration: previous sets back", ctx.GateOptions());
        if (!back.gate.ok())
            ctx.Fail("the previous anti-vibration sets could not be put back: " + back.gate.message, 0);
    };
    // A write left unanswered or a run that failed: the previous sets go back.
    auto unanswered = [&](uint16_t address) {
        putBack();
        return ctx.NoAnswer("anti-vibration write, register " + std::to_string(address));
    };
    auto runFailed = [&](int status) {
        putBack();
        ctx.Err() << "halvex-cli: the previous anti-vibration sets are back\n";
        return status;
    };
    if (written.unanswered) return unanswered(*written.unanswered);
    for (int s = 1; s <= p.sets; ++s)
        ctx.Out() << "written (RAM): " << Ordinal(s) << " set amplitude " << p.set.amplitude << ", phase A "
                  << p.set.phaseA << ", phase B " << p.set.phaseB << '\n';

    const Run after = RunAndAnalyse(ctx, drive, f, codes, points, proposed);
    if (after.status != kExitOk) return runFailed(after.status);
    ctx.Out() << "after: " << Figures(after.vibration) << '\n';
    if (!(after.vibration.vibration.peakToPeak < v.peakToPeak)) {
        putBack();
        return ctx.Fail("the second run rings no less; the previous sets are back, nothing stored", kExitNoAnswer);
    }
    // A second pass: one measurement's frequency is never exact, and where
    // the machine rings in more than one way the first set leaves the other
    // ringing. What still rings above the target gets sets of its own that
    // hold over a band around its frequency.
    const analysis::ResidualVibration& left = after.vibration.vibration;
    if (const auto pass = hx::tuning::ProposeSecondPass(p, proposed, v, left)) {
        touched = pass->touched;
        const WriteOutcome second = WriteAntiVibration(ctx.Gate(), drive, AntiVibrationWrites(pass->settings, touched),
                                                       "tune vibration: second pass", ctx.GateOptions());
        if (!second.gate.ok()) return ctx.GateFailed(second.gate);
        if (second.unanswered) return unanswered(*second.unanswered);
        for (std::size_t i = 0; i < pass->sets.size(); ++i)
            ctx.Out() << "written (RAM): " << Ordinal(pass->firstSet + 1 + static_cast<int>(i)) << " set amplitude "
                      << pass->sets[i].amplitude << ", phase A " << pass->sets[i].phaseA << ", phase B "
                      << pass->sets[i].phaseB << '\n';
        const Run again = RunAndAnalyse(ctx, drive, f, codes, points, pass->settings);
        if (again.status != kExitOk) return runFailed(again.status);
        ctx.Out() << "after the second pass: " << Figures(again.vibration) << '\n';
        if (!hx::tuning::KeepSecondPass(left, again.vibration.vibration)) {
            // The first pass alone did better: its sets go back to what they were.
            const WriteOutcome back = WriteAntiVibration(ctx.Gate(), drive, AntiVibrationWrites(proposed, touched),
                                                         "tune vibration: second pass taken back", ctx.GateOptions());
            if (!back.gate.ok() || back.unanswered) {
                putBack();
                return ctx.Fail("the second pass's sets could not be taken back; the previous sets are back, nothing "
                                "stored",
                                kExitNoAnswer);
            }
            ctx.Out() << "the second pass's sets rang no less and are back as they were\n";
        }
    }
    if (store) {
        const hx::StorageResult stored =
            hx::RunGatedStorageCommand(ctx.Gate(), ctx.Drive(firmware), hx::kSaveToDrive, {}, ctx.GateOptions());
        if (stored.outcome == hx::StorageOutcome::NotBackedUp) return ctx.GateFailed(stored.gate);
        if (!stored.succeeded()) return ctx.Fail("storing (90 <- 1) did not complete; the set is in RAM only", kExitNoAnswer);
        ctx.Out() << "stored in the drive's memory\n";
    }
    return kExitOk;
}

}  // namespace

int RunTuneCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.empty() || args[0] != "vibration")
        return ctx.Usage(
            "usage: tune vibration [--speed N] [--distance N] [--accel N] [--dwell MS] [--back-and-forth 0|1] "
            "[--direction 1|-1] [--interval US] [--points N] [--store]");
    return TuneVibration(ctx, args);
}

void AddTuneCommands(CliCommands& commands) {
    CLI::App* tune = commands.AddGroup("tune", "tuning assistants that run the motor, measure and propose");
    auto holder = std::make_shared<CLI::App*>(nullptr);
    CLI::App* app = commands.Add(
        *tune, "vibration",
        "run a velocity trapezoid, measure the ringing after the move, write the anti-vibration set that "
        "cancels it (RAM), run again and print before and after (where more than a fifth still rings, a second "
        "pass gives that ringing sets of its own that hold over +-20 % of its frequency and runs a third time; "
        "they stay only where it rings less): [--speed N] [--distance N] [--accel N] "
        "[--dwell MS] [--back-and-forth 0|1] [--direction 1|-1] [--interval US (default 1000)] [--points N] "
        "[--store: store the set in the drive when the second run rings less]. Exit status 1 with nothing "
        "written when there is no ringing or it is too slow for the sets",
        [holder](const CliContext& ctx) {
            std::vector<std::string> words = {"vibration"};
            for (const std::string& w : (*holder)->remaining()) words.push_back(w);
            return RunTuneCommand(ctx, words);
        });
    // Every word after the sub-command is the tune's own; the link options come before it.
    app->fallthrough(false);
    app->prefix_command();
    *holder = app;
    AddTuneGainsCommand(commands, *tune);
}
