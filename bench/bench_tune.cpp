// The one-button tuning on the simulated drive, end to end:
//  - twenty seeded machines (--machine-seed 1..20), unpaced, each judged by
//    the simulator's truth as the sequence's test judges it; prints each
//    verdict and the pass count (goal: at least 19 of 20);
//  - --machine-seed 3 (the machine the sequence's test tunes) on a line
//    paced at 38400 and at 115200 baud: the time of each stage and of the
//    whole tuning, beside the wire time of every request and reply it
//    exchanged (goal: the whole within 60 s at 115200).
// Run it by hand: build/release/bench/bin/bench_tune [--seeds N] [--first SEED] [--timing-only]
//     [--only SEED (0: default machine)] [--record DIR (each seed's measurement, for bench_tune_replay)]
//     [--baud 38400|115200 (time the tuning at that rate only)]

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "TuneRecording.h"
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

}  // namespace

int main(int argc, char** argv) {
    int seeds = 20, first = 1, only = -1, baudOnly = 0;
    bool timingOnly = false;
    std::string record;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seeds") && i + 1 < argc) seeds = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--timing-only")) timingOnly = true;
        if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = std::atoi(argv[++i]);  // 0: the default machine
        if (!std::strcmp(argv[i], "--first") && i + 1 < argc) first = std::atoi(argv[++i]);
        if (!std::strcmp(argv[i], "--record") && i + 1 < argc) record = argv[++i];
        if (!std::strcmp(argv[i], "--baud") && i + 1 < argc) baudOnly = std::atoi(argv[++i]);
    }
    if (only >= 0) {
        hx::test::TempProgramFolder one;
        ::setenv("XDG_DATA_HOME", one.File("data").c_str(), 1);
        tunebench::Bench b(only ? tunebench::Seeded(static_cast<unsigned>(only)) : tunebench::Options());
        const tunebench::Verdict v = tunebench::TuneAndJudge(b);
        const bool both = v.passed && v.measuredAgree;
        std::printf("%s\n%s", both ? "PASS" : "FAIL", v.report.c_str());
        return both ? 0 : 1;
    }
    hx::test::TempProgramFolder home;
    ::setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
    bool missed = false;  // the exit status says whether a goal was missed
    if (!timingOnly) {
        int passed = 0;
        for (int seed = first; seed < first + seeds; ++seed) {
            tunebench::Bench b(tunebench::Seeded(static_cast<unsigned>(seed)));
            const tunebench::Verdict v = tunebench::TuneAndJudge(b);
            const bool both = v.passed && v.measuredAgree;
            passed += both;
            if (!record.empty()) {
                std::ofstream rec(record + "/seed" + std::to_string(seed) + ".rec");
                tunebench::WriteRecording(rec, v.result);
            }
            std::printf("seed %d: %s\n%s", seed, both ? "PASS" : "FAIL", v.report.c_str());
            std::fflush(stdout);
        }
        missed = passed * 20 < seeds * 19;
        std::printf("seeded machines passed: %d of %d (goal: 19 of 20)%s\n", passed, seeds, missed ? " MISSED" : "");
    }
    if (!record.empty()) return 0;
    for (int baud : {38400, 115200}) {
        if (baudOnly && baud != baudOnly) continue;
        hx::sim::DriveOptions o = tunebench::Seeded(3);
        o.baud = baud;
        tunebench::Bench b(o);
        const auto start = std::chrono::steady_clock::now();
        const tunebench::Verdict v = tunebench::TuneAndJudge(b);
        const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool slow = baud == 115200 && total > 60;
        missed = missed || slow;
        std::printf("seed 3, %d baud: whole tuning %.1f s (goal at 115200: <= 60 s%s), wire time of its traffic %.1f s, %s\n",
                    baud, total, slow ? ": MISSED" : "", WireSeconds(b.Vd(), baud), v.passed ? "passed" : "not passed");
        for (const auto& t : v.result.times)
            std::printf("  %-9s %6.2f s\n", hx::tuning::StageKey(t.stage), t.seconds);
        std::fflush(stdout);
    }
    return missed ? 1 : 0;
}
