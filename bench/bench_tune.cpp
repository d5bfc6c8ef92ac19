// The one-button tuning on the simulated drive, end to end:
//  - twenty seeded machines (--machine-seed 1..20), unpaced, each judged by
//    the simulator's truth as the sequence's test judges it; prints each
//    verdict and the pass count (goal: at least 19 of 20);
//  - the same seeds with a low swing of their own (10..40 Hz, 0.3..0.8 of
//    the load): each verdict, and the inertia ratio against the truth's,
//    the whole machine's (goal: 19 of 20 within 15 %, as for the seeded
//    machines' figures);
//  - --machine-seed 3 (the machine the sequence's test tunes) on a line
//    paced at 38400 and at 115200 baud: the time of each stage and of the
//    whole tuning, beside the wire time of every request and reply it
//    exchanged (goal: the whole within 60 s at 115200).
// The exit status is 1 when a goal printed is missed.
// Run it by hand: build/release/bench/bin/bench_tune [--seeds N] [--first SEED] [--timing-only]
//     [--rigid-only | --swing-only] [--only SEED (0: default machine)] [--swing (with --only)]
//     [--record DIR (each seed's measurement, for bench_tune_replay)]
//     [--baud 38400|115200 (time the tuning at that rate only)]

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "core/tuning/TuneRecording.h"
#include "core/tuning/TuneBench.h"

namespace {

// Bytes on the wire of every request and its reply (RTU: address, function,
// CRC; a read's reply carries its words, a write's echoes it).
double WireSeconds(hx::sim::VirtualDrive& d, int baud) {
    double bytes = 0;
    for (const auto& r : d.Requests()) {
        if (r.function == 3) bytes += 8 + 5 + 2.0 * r.count;
        else if (r.function == 16) bytes += 9 + 2.0 * r.count + 8;
        else bytes += 8 + 8;
    }
    return bytes * 11 / baud;
}

// Tunes the seeds' machines (with their low swing: `swing`) and prints
// each verdict; whether the family reached its goal.
bool Family(int first, int seeds, bool swing, const std::string& record) {
    int passed = 0, ratioWithin = 0;
    std::string lines;
    char line[160];
    for (int seed = first; seed < first + seeds; ++seed) {
        hx::sim::DriveOptions o = tunebench::Options();
        o.machine = hx::sim::DrawMachine(static_cast<unsigned>(seed), swing);
        tunebench::Bench b(o);
        const hx::sim::MachineSpec& m = *o.machine;
        const double truth = hx::sim::InertiaRatioOf(m);
        const tunebench::Verdict v = tunebench::TuneAndJudge(b);
        const bool both = v.passed && v.measuredAgree;
        passed += both;
        if (!record.empty()) {
            std::ofstream rec(record + (swing ? "/swing-seed" : "/seed") + std::to_string(seed) + ".rec");
            tunebench::WriteRecording(rec, v.result);
        }
        const double ratio = v.result.after.pr113 / 100.0, error = 100 * (ratio / truth - 1);
        const bool within = std::abs(error) <= (swing ? 15 : 10);
        ratioWithin += within;
        std::printf("%s %d: %s\n%s", swing ? "swing seed" : "seed", seed, both ? "PASS" : "FAIL", v.report.c_str());
        std::snprintf(line, sizeof line, "  %s %2d: ratio %6.2f, truth %6.2f (%+5.1f %%, %s)",
                      swing ? "swing seed" : "seed", seed, ratio, truth, error, within ? "ok" : "MISS");
        lines += line;
        if (swing) {
            std::snprintf(line, sizeof line, ", swing %.1f Hz carrying %.0f %%", m.lowHz, 100 * m.lowShare);
            lines += line;
        }
        lines += both ? "\n" : ", not every figure\n";
        std::fflush(stdout);
    }
    std::printf("%s", lines.c_str());
    if (swing) {
        std::printf("machines with a low swing: ratio within 15 %% of the truth on %d of %d (goal: 19 of 20); "
                    "every figure on %d\n", ratioWithin, seeds, passed);
        return ratioWithin * 20 >= 19 * seeds;
    }
    std::printf("seeded machines passed: %d of %d (goal: 19 of 20)\n", passed, seeds);
    return passed * 20 >= 19 * seeds;
}

}  // namespace

int main(int argc, char** argv) {
    int seeds = 20, first = 1, only = -1, baudOnly = 0;
    bool timingOnly = false, rigid = true, swing = true, onlySwing = false;
    std::string record;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seeds") && i + 1 < argc) seeds = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--timing-only")) timingOnly = true;
        if (!std::strcmp(argv[i], "--rigid-only")) swing = false;
        if (!std::strcmp(argv[i], "--swing-only")) rigid = false;
        if (!std::strcmp(argv[i], "--swing")) onlySwing = true;
        if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = std::atoi(argv[++i]);  // 0: the default machine
        if (!std::strcmp(argv[i], "--first") && i + 1 < argc) first = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--record") && i + 1 < argc) record = argv[++i];
        if (!std::strcmp(argv[i], "--baud") && i + 1 < argc) baudOnly = std::atoi(argv[++i]);
    }
    if (only >= 0) {
        hx::test::TempProgramFolder one;
        ::setenv("XDG_DATA_HOME", one.File("data").c_str(), 1);
        hx::sim::DriveOptions o = tunebench::Options();
        if (only) o.machine = hx::sim::DrawMachine(static_cast<unsigned>(only), onlySwing);
        tunebench::Bench b(o);
        const tunebench::Verdict v = tunebench::TuneAndJudge(b);
        const bool both = v.passed && v.measuredAgree;
        std::printf("%s\n%s", both ? "PASS" : "FAIL", v.report.c_str());
        return both ? 0 : 1;
    }
    hx::test::TempProgramFolder home;
    ::setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
    bool goals = true;
    if (!timingOnly && rigid) goals = Family(first, seeds, false, record) && goals;
    if (!timingOnly && swing) goals = Family(first, seeds, true, record) && goals;
    if (!record.empty()) return goals ? 0 : 1;
    for (int baud : {38400, 115200}) {
        if (baudOnly && baud != baudOnly) continue;
        hx::sim::DriveOptions o = tunebench::Seeded(3);
        o.baud = baud;
        tunebench::Bench b(o);
        const auto start = std::chrono::steady_clock::now();
        const tunebench::Verdict v = tunebench::TuneAndJudge(b);
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool slow = baud == 115200 && total > 60;
        std::printf("seed 3, %d baud: whole tuning %.1f s (goal at 115200: <= 60 s%s), wire time of its traffic %.1f s, %s\n",
                    baud, total, slow ? ": MISSED" : "", WireSeconds(b.Vd(), baud), v.passed ? "passed" : "not passed");
        for (const auto& t : v.result.times)
            std::printf("  %-9s %6.2f s\n", hx::tuning::StageKey(t.stage), t.seconds);
        if (slow) goals = false;
        std::fflush(stdout);
    }
    return goals ? 0 : 1;
}
