#pragma once
// The whole tuning on a simulated drive over a real pseudo-terminal, and its
// verdict by the simulator's truth: shared by the sequence's test (a few
// machines) and bench_tune (twenty seeds, the pass count printed).

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

#include "core/CoreTestUtil.h"
#include "core/backup/ChangeGate.h"
#include "core/tuning/TuneSequence.h"
#include "sim/LoopTruth.h"
#include "sim/motor/MotorPart.h"

namespace tunebench {

inline hx::sim::DriveOptions Options() { return hx::coretest::PlainDrive(9); }
inline hx::sim::DriveOptions Seeded(unsigned seed) {
    hx::sim::DriveOptions o = Options();
    o.machineSeed = seed;
    return o;
}

struct Bench : hx::coretest::ProgramFolderFirst, hx::coretest::PtyDrive {
    explicit Bench(hx::sim::DriveOptions o) : PtyDrive(std::move(o), 300) {
        comm.SetCurrentUseMode(1);
        gate.Attach(Drive(), {"HX-KRV4-0750", "1.5", "KRV4", "HX Test", 200.0f});
    }
    hx::DriveHandle Drive() { return hx::DriveHandle(&comm, station, 200.0f); }
    hx::tuning::TuneRequest Request() {
        hx::tuning::TuneRequest r;
        r.drive.drive = Drive();
        r.drive.port = "tune-test";
        r.drive.guard.noteFolder = folder.StateFolder() + "/watchdog";
        r.drive.changeGate = &gate;
        return r;
    }
    hx::ChangeGate gate;
    bool LowMode() { return Vd().Motor().Model().Machine().lowHz > 0; }
};

struct Verdict {
    bool passed = false;
    // The margins the tool measured, before and after, within 5 deg and
    // 1.5 dB of the truth's. Apart from `passed`: one run's measurement
    // scatters by a few degrees with the noise and the sampling's phase, so
    // its accuracy is a count over many machines (bench_tune), not one run.
    bool measuredAgree = false;
    std::string report;
    hx::tuning::TuneResult result;
};

// Every figure the tuning must reach, judged by the truth before and after.
inline Verdict TuneAndJudge(Bench& b, const std::stop_token& stop = {}) {
    using namespace hx::tuning;
    Verdict v;
    const hx::sim::LoopTruth before = hx::sim::TruthOf(b.Vd());
    v.result = RunTuning(b.Request(), stop);
    const TuneResult& r = v.result;
    const hx::sim::LoopTruth after = hx::sim::TruthOf(b.Vd());
    std::ostringstream o;
    bool ok = r.status == TuneResult::Status::Tuned;
    auto check = [&](bool pass, const std::string& what) {
        o << (pass ? "  ok   " : "  FAIL ") << what << '\n';
        ok = ok && pass;
    };
    bool agree = true;
    auto measured = [&](bool pass, const std::string& what) {
        o << (pass ? "  ok   " : "  OFF  ") << what << '\n';
        agree = agree && pass;
    };
    o << "status " << static_cast<int>(r.status) << " " << r.message << '\n';
    const bool low = b.LowMode();
    const double ratio = r.after.pr113 / 100.0;
    check(std::abs(ratio - before.inertiaRatio) <= (low ? 0.15 : 0.10) * before.inertiaRatio,
          "ratio " + std::to_string(ratio) + " vs truth " + std::to_string(before.inertiaRatio));
    // Each coupling resonance named lies within 3 % of one of the truth's.
    for (const auto& pair : r.id.modes.pairs) {
        if (pair.machineMode) continue;
        double nearest = 1e9;
        for (double t : before.resonancesHz) nearest = std::min(nearest, std::abs(pair.resonance.hz - t) / t);
        check(nearest <= 0.03, "resonance " + std::to_string(pair.resonance.hz) + " Hz");
    }
    // The margins the tool measured, before and again with the new
    // settings, against the truth's where both have one.
    auto near = [&](const char* what, std::optional<double> got, std::optional<double> truth, double tolerance) {
        if (got && truth)
            measured(std::abs(*got - *truth) <= tolerance,
                     std::string(what) + " " + std::to_string(*got) + " vs " + std::to_string(*truth));
    };
    near("PM before", r.marginsBefore.phaseMarginDeg, before.phaseMarginDeg, 5);
    near("GM before", r.marginsBefore.gainMarginDb, before.gainMarginDb, 1.5);
    check(r.marginsAfter.phaseMarginDeg.has_value(), "margins measured again");
    near("PM after measured", r.marginsAfter.phaseMarginDeg, after.phaseMarginDeg, 5);
    near("GM after measured", r.marginsAfter.gainMarginDb, after.gainMarginDb, 1.5);
    check(after.stable && after.phaseMarginDeg >= 45, "PM after (truth) " + std::to_string(after.phaseMarginDeg));
    check(!after.gainMarginDb || *after.gainMarginDb >= 8,
          "GM after (truth) " + std::to_string(after.gainMarginDb.value_or(99)));
    // Rigid: no low mode, and the first anti-resonance leaves room for twice
    // the factory crossover below half of it.
    const bool rigid = !low && (before.antiResonancesHz.empty() || before.antiResonancesHz.front() >= 4 * before.crossoverHz);
    o << (rigid ? "rigid machine\n" : "not rigid\n");
    if (rigid)
        check(after.crossoverHz >= 2 * before.crossoverHz, "crossover " + std::to_string(before.crossoverHz) +
                                                                 " -> " + std::to_string(after.crossoverHz));
    const auto sb = r.moveBefore.settlingMs, sa = r.moveAfter.settlingMs;
    check(sa && (!rigid || !sb || *sa * 2 <= *sb), "settling " + std::to_string(sb.value_or(-1)) + " -> " +
                                               std::to_string(sa.value_or(-1)) + " ms");
    check(r.moveAfter.overshootPct && *r.moveAfter.overshootPct <= 5,
          "overshoot after " + std::to_string(r.moveAfter.overshootPct.value_or(-1)) + " %");
    // Never beyond the travel: every distance the drive was given.
    double furthest = 0;
    for (const auto& req : b.Vd().Requests())
        if ((req.function == 6 || req.function == 16) && req.address == 69) furthest = std::max(furthest, req.value / 100.0);
    check(furthest <= 0.25, "furthest move " + std::to_string(furthest) + " rev");
    o << "  in-band ratio " << r.id.inertia.ratio.value_or(-1) << ", whole " << r.totalRatio.value_or(-1)
      << ", plant captured " << r.plantCaptured << ", overshoot before " << r.moveBefore.overshootPct.value_or(-1)
      << " %, peak error " << r.moveBefore.peakErrorP.value_or(-1) << " -> " << r.moveAfter.peakErrorP.value_or(-1)
      << " p, band lowered " << r.calmings << "x\n  truth resonances";
    for (double t : before.resonancesHz) o << ' ' << t;
    o << ", anti-resonances";
    for (double t : before.antiResonancesHz) o << ' ' << t;
    o << "\n  named";
    for (const auto& p : r.id.modes.pairs) o << ' ' << p.resonance.hz << (p.machineMode ? "(machine)" : "");
    o << "\n  design limit " << r.design.limitHz << " Hz, crossover " << r.design.crossoverHz << " Hz\n";
    for (const auto& n : r.design.notes) o << "  design: " << n << '\n';
    for (const auto& n : r.id.notes) o << "  identify: " << n << '\n';
    for (const auto& t : r.times) o << "  " << StageKey(t.stage) << " " << t.seconds << " s\n";
    v.passed = ok;
    v.measuredAgree = agree;
    v.report = o.str();
    return v;
}

}  // namespace tunebench
