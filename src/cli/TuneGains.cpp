// `tune gains`: the one-button tuning of the speed and position loops on the
// command line, on one drive or many (--stations, several --port).
#include "cli/TuneGains.h"

#include <csignal>
#include <cstdio>
#include <ostream>
#include <sstream>
#include <stop_token>
#include <thread>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/RunCommands.h"
#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/writes/StorageCommand.h"
#include "core/tuning/BodeData.h"
#include "core/tuning/TuneSequence.h"
#include "core/util/AtomicFile.h"
#include "core/util/EndSignals.h"

using namespace hx::tuning;

namespace {

struct GainsOptions {
    double travel = 0.25;
    std::string stiffness = "medium";
    bool store = false;
    std::string bode;
    int captures = 2;
};

std::string Num(double v, int decimals = 1) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}
std::string Opt(const std::optional<double>& v, const std::string& unit, int decimals = 1) {
    return v ? Num(*v, decimals) + unit : std::string("-");
}

// The plant, the open loop before and after, and the coherence, one row per
// frequency of the measured plant.
std::string BodeCsv(const TuneResult& r) {
    std::ostringstream f;
    f << "frequency_hz,plant_db,plant_deg,open_loop_before_db,open_loop_before_deg,open_loop_after_db,"
         "open_loop_after_deg,coherence\n";
    const FrequencyResponse& g = r.id.plant.g;
    const std::vector<double> gp = UnwrappedPhaseDeg(g);
    for (std::size_t i = 0; i < g.size(); ++i) {
        const double hz = g.hz[i];
        f << Num(hz, 3) << ',' << Num(MagnitudeDb(g.value[i]), 3) << ',' << Num(gp[i], 2);
        for (const FrequencyResponse* l : {&r.design.openLoopBefore, &r.openLoopAfter}) {
            const auto v = ValueAt(*l, hz);
            if (v) f << ',' << Num(MagnitudeDb(*v), 3) << ',' << Num(std::arg(*v) * 180 / kPi, 2);
            else f << ",,";
        }
        f << ',' << Num(g.CoherenceAt(i), 3) << '\n';
    }
    return f.str();
}

volatile std::sig_atomic_t g_stopAsked = 0;
extern "C" void OnTuneInterrupt(int) { g_stopAsked = 1; }

int TuneGains(const CliContext& ctx, const GainsOptions& o) {
    TuneRequest req;
    if (!(o.travel > 0 && o.travel <= 10)) return ctx.Usage("--travel takes 0 < REV <= 10");
    req.limits.travelRev = o.travel;
    if (o.captures < 1 || o.captures > 8) return ctx.Usage("--captures takes 1..8");
    req.captures = o.captures;
    if (o.stiffness == "soft") req.stiffness = Stiffness::Soft;
    else if (o.stiffness == "medium") req.stiffness = Stiffness::Medium;
    else if (o.stiffness == "stiff") req.stiffness = Stiffness::Stiff;
    else {
        char* end = nullptr;
        const double hz = std::strtod(o.stiffness.c_str(), &end);
        if (!end || *end || !(hz >= 5 && hz <= 1000))
            return ctx.Usage("--stiffness takes soft, medium, stiff or a crossover in Hz (5..1000): " + o.stiffness);
        req.targetHz = hz;
    }
    if (!ctx.OpenLink()) return kExitPortError;
    const float firmware = runcli::DriveFirmware(ctx);
    req.drive.drive = ctx.Drive(firmware);
    req.drive.port = ctx.Link().PortName();
    req.drive.model = hx::servo::ModelFromName(g_driveModel);
    req.drive.gate = ctx.GateOptions();
    req.drive.changeGate = &ctx.Gate();

    // Ctrl+C (or a QUIT, a TERM, a hang-up, an output nobody reads any more)
    // stops at the next step and leaves the drive as it was.
    std::stop_source stop;
    g_stopAsked = 0;
    using hx::kEndSignals;
    void (*previous[std::size(kEndSignals)])(int) = {};
    for (size_t i = 0; i < std::size(kEndSignals); ++i) previous[i] = std::signal(kEndSignals[i], OnTuneInterrupt);
    std::jthread watch([&stop](std::stop_token own) {
        while (!own.stop_requested() && !g_stopAsked && !hx::OutputClosed())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!own.stop_requested()) stop.request_stop();
    });
    TuneCallbacks cb;
    cb.stage = [&ctx](TuneStage s, int i) {
        if (s == TuneStage::Done) return;
        ctx.Err() << "halvex-cli: tune gains " << i + 1 << "/" << kTuneStages - 1 << ": " << StageKey(s) << '\n';
    };
    cb.note = [&ctx](const std::string& line) { ctx.Err() << "halvex-cli: " << line << '\n'; };
    const TuneResult r = RunTuning(req, stop.get_token(), cb);
    watch.request_stop();
    watch.join();
    for (size_t i = 0; i < std::size(kEndSignals); ++i) std::signal(kEndSignals[i], previous[i]);

    std::ostream& out = ctx.Out();
    if (r.probe && r.probe->maPerRevPerS2)
        out << "probe: inertia/torque constant " << Num(*r.probe->maPerRevPerS2, 2) << " mA per rev/s^2, friction "
            << Num(r.probe->coulombMa, 0) << " mA + " << Num(r.probe->viscousMaPerRps, 1) << " mA per rev/s\n";
    if (r.reached > TuneStage::Design) {
        out << "identified: inertia ratio " << Opt(r.id.inertia.ratio, "", 2) << " (" << r.id.inertia.votes << " bins)";
        if (UsesTotalRatio(r.id, r.totalRatio, r.swing))
            out << ", whole machine " << Opt(r.totalRatio, "", 2) << " (a low machine mode: Pr1.13 takes the whole)";
        out << ", plant captured during the excitation: " << (r.plantCaptured ? "yes" : "no") << '\n';
        for (const auto& p : r.id.modes.pairs)
            out << "  " << (p.machineMode ? "machine mode" : "resonance") << ' ' << Num(p.resonance.hz) << " Hz, damping "
                << Num(p.resonance.dampingRatio, 3)
                << (p.antiResonance ? ", anti-resonance " + Num(p.antiResonance->hz) + " Hz" : std::string()) << '\n';
        out << "before: crossover " << Opt(r.marginsBefore.crossoverHz, " Hz") << ", phase margin "
            << Opt(r.marginsBefore.phaseMarginDeg, " deg") << ", gain margin " << Opt(r.marginsBefore.gainMarginDb, " dB")
            << '\n';
    }
    // Whole or not at all, as every other file the tool writes: a full disk
    // neither passes for success nor leaves the last run's curves cut short.
    if (!o.bode.empty() && r.reached > TuneStage::Design &&
        !hx::WriteFileAtomically(ctx.Expand(o.bode), BodeCsv(r), nullptr, nullptr))
        ctx.Fail("cannot write " + ctx.Expand(o.bode), 0);
    if (r.reached == TuneStage::Verify && r.status != TuneResult::Status::Tuned && r.status != TuneResult::Status::Stopped)
        out << "measured again: crossover " << Opt(r.marginsAfter.crossoverHz, " Hz") << ", phase margin "
            << Opt(r.marginsAfter.phaseMarginDeg, " deg") << ", gain margin " << Opt(r.marginsAfter.gainMarginDb, " dB")
            << '\n';
    if (r.status != TuneResult::Status::Tuned) {
        // Not tuned is never success: the drive kept (or got back) what it had, or a write could not be undone.
        if (r.written && !r.putBack) ctx.Fail("the previous settings could not all be put back", 0);
        else out << "not tuned: the drive holds the settings it had\n";
        return ctx.Fail(r.message, kExitNoAnswer);
    }
    for (const ParameterChange& c : Changes(r.before, r.after))
        out << "set (RAM): " << c.name << ' ' << c.before << " -> " << c.after << '\n';
    const auto figures = [](const MoveFigures& m) {
        return "settling " + Opt(m.settlingMs, " ms", 0) + ", overshoot " + Opt(m.overshootPct, " %") +
               ", peak following error " + Opt(m.peakErrorP, " p", 0);
    };
    out << "standard move before: " << figures(r.moveBefore) << '\n';
    out << "standard move after:  " << figures(r.moveAfter) << '\n';
    out << "after: crossover " << Opt(r.marginsAfter.crossoverHz, " Hz") << ", phase margin "
        << Opt(r.marginsAfter.phaseMarginDeg, " deg") << ", gain margin " << Opt(r.marginsAfter.gainMarginDb, " dB")
        << '\n';
    if (!r.backupPath.empty()) out << "backup: " << r.backupPath << '\n';
    if (o.store) {
        const hx::StorageResult stored =
            hx::RunGatedStorageCommand(ctx.Gate(), ctx.Drive(firmware), hx::kSaveToDrive, {}, ctx.GateOptions());
        if (stored.outcome == hx::StorageOutcome::NotBackedUp) return ctx.GateFailed(stored.gate);
        if (!stored.succeeded()) return ctx.Fail("storing (90 <- 1) did not complete; the settings are in RAM only", kExitNoAnswer);
        out << "stored in the drive's memory\n";
    } else {
        out << "in RAM only: the drive forgets these settings at power-off unless stored (--store)\n";
    }
    return kExitOk;
}

}  // namespace

void AddTuneGainsCommand(CliCommands& commands, CLI::App& tune) {
    static GainsOptions o;
    CLI::App* app = commands.Add(
        tune, "gains",
        "identify the machine within the travel, choose Pr1.13, Pr1.05, Pr1.06, Pr1.04, Pr1.27 and the notches "
        "(phase margin >= 45 deg, gain margin >= 8 dB), write them (RAM) and prove them with the standard move "
        "and the frequency response measured again; exit status 1 with nothing written when the margins cannot "
        "be reached",
        [](const CliContext& ctx) { return TuneGains(ctx, o); });
    app->add_option("--travel", o.travel, "how far the motor may go each side of where it stands, rev (default 0.25)")
        ->type_name("REV");
    app->add_option("--stiffness", o.stiffness, "soft, medium (default), stiff, or a crossover in Hz")
        ->type_name("soft|medium|stiff|HZ");
    app->add_option("--captures", o.captures,
                    "captures of each measuring move, 1..8 (default 2; 1 is quicker, its margins scatter more)")
        ->type_name("N");
    app->add_flag("--store", o.store, "store the new settings in the drive's memory (otherwise RAM only)");
    app->add_option("--bode", o.bode, "write the measured frequency responses as CSV ({port} and {station} filled in)")
        ->type_name("FILE.csv");
    commands.OnEveryDrive(app, &o.bode);
}
