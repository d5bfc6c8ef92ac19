// The identification and design replayed on recorded measurements, judged
// by the truth of the seeded machine they were taken on: the quick loop for
// changing how the machine is identified (a recording takes the whole
// tuning's 40 s, a replay a fraction of a second).
//   bench_tune --record DIR [--seeds N]    records each seed's measurement
//   bench_tune_replay DIR SEED...          identifies, designs and judges (sSEED: with its low swing)
// What it judges: the ratio, each named coupling resonance, the measured
// margins before, and the truth's margins and crossover with the design
// written (the moves and the verifying measurement are not replayed).
// REPLAY_CURVE=1 prints the curve the modes were searched on, each extremum
// and the normalised plant's votes (REPLAY_LOOP=1: the open loop's lines
// instead); REPLAY_STIFF=1 designs for the stiff setting; REPLAY_RAW=1 takes
// the lines as recorded (recordings made since the sequence drops its stray
// lines itself); REPLAY_TRUTH=1 prints each line of the open loop and each
// bin of the joined plant against the truth's loop; REPLAY_SWEEP=1 what the
// design builds for each crossover it may try; REPLAY_PRED=1 the predicted
// loop against the truth's with the design written, and how much of the
// difference is the controller's model (new over old: the rest is the plant);
// REPLAY_RATIO=X designs with 1 + Pr1.13 X times what was found;
// REPLAY_SCALE=1 prints the whole ratio's factors over the truth's: the
// probe's J / Kt (rigid fit, swing fit, the swing fit kept) and Jm / Kt
// (as identified, from the band both cover, from the controller's current).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/tuning/TuneRecording.h"
#include "core/tuning/TuneBench.h"

int main(int argc, char** argv) {
    using namespace hx::tuning;
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_tune_replay DIR SEED...\n");
        return 2;
    }
    hx::test::TempProgramFolder home;
    ::setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
    int passed = 0, total = 0;
    for (int a = 2; a < argc; ++a) {
        // "s7": seed 7 with its low swing.
        const bool swing = argv[a][0] == 's';
        const unsigned seed = static_cast<unsigned>(std::atoi(argv[a] + (swing ? 1 : 0)));
        std::ifstream in(std::string(argv[1]) + (swing ? "/swing-seed" : "/seed") + std::to_string(seed) + ".rec");
        tunebench::Recording rec;
        if (!tunebench::ReadRecording(in, rec)) {
            std::printf("seed %u: no recording\n", seed);
            continue;
        }
        hx::sim::DriveOptions o = tunebench::Options();
        o.machine = hx::sim::DrawMachine(seed, swing);
        tunebench::Bench b(o);
        // REPLAY_DURING=1: the truth of the loop the moves ran with (lower
        // than the drive's own settings where its motor kept hunting).
        if (std::getenv("REPLAY_DURING")) {
            const ServoWords w = ToWords(rec.measurement.during);
            b.Vd().SetRam(24, static_cast<uint16_t>(w.pr104));
            b.Vd().SetRam(25, static_cast<uint16_t>(w.pr105));
            b.Vd().SetRam(26, static_cast<uint16_t>(w.pr106));
        }
        const hx::sim::LoopTruth before = hx::sim::TruthOf(b.Vd());
        const hx::sim::MotorModel motor = b.Vd().WithLock([&] {
            b.Vd().Motor().ReadParametersNow();
            return b.Vd().Motor().Model();
        });
        // Recordings taken before the sequence dropped its stray lines.
        if (!std::getenv("REPLAY_RAW")) rec.measurement.openLoop = WithoutStrayLines(rec.measurement.openLoop);
        Identification id = Identify(rec.measurement, rec.probe);
        if (std::getenv("REPLAY_SWING") && !rec.probeSpeed.empty()) {
            const auto sw = FitProbeSwing(rec.probeSpeed, rec.probeCurrent, rec.probeIntervalUs, kUnnamedSwingFromHz, kUnnamedSwingToHz);
            const double scale = id.plant.plantScale.value_or(1e9), toRatio = 1e-3 / (2 * kPi) / scale;
            std::string named;
            for (const auto& p : id.modes.pairs)
                if (p.machineMode)
                    named += std::to_string(p.resonance.hz) + "/" + (p.antiResonance ? std::to_string(p.antiResonance->hz) : "-") + " ";
            if (const auto kept = SwingBehindProbe(id, rec.probeSpeed, rec.probeCurrent, rec.probeIntervalUs))
                std::printf("KEPT %s %.1f Hz z %.2f resid %.2f of %.2f\n", argv[a], kept->hz, kept->damping, kept->residualMa, kept->rigidResidualMa);
            if (sw)
                std::printf("SWING %s fit %.1f Hz z %.2f resid %.2f of %.2f mA J2/J %.2f | ratio rigid %.2f swingfit %.2f band %.2f bandx %.2f | truth %.2f low %.1f/%.2f anti %.1f | named %s\n",
                            argv[a], sw->hz, sw->damping, sw->residualMa, sw->rigidResidualMa,
                            sw->swingMaPerRevPerS2 / sw->wholeMaPerRevPerS2, rec.probe.maPerRevPerS2.value_or(0) * toRatio - 1,
                            sw->wholeMaPerRevPerS2 * toRatio - 1, id.inertia.ratio.value_or(-1),
                            (1 + id.inertia.ratio.value_or(-1)) * sw->wholeMaPerRevPerS2 / (sw->wholeMaPerRevPerS2 - sw->swingMaPerRevPerS2) - 1,
                            before.inertiaRatio, o.machine->lowHz, o.machine->lowShare,
                            before.antiResonancesHz.empty() ? 0.0 : before.antiResonancesHz.front(), named.c_str());
        }
        // REPLAY_SCALE=1: the whole ratio's two factors against the truth's,
        // the probe's J/Kt and the plant's scale Jm/Kt (each as found / truth).
        if (std::getenv("REPLAY_SCALE")) {
            const double kt = motor.Parameters().motor.torqueConstant;
            const NormalisedPlant shared = Normalise(rec.measurement);
            const double jmKt = before.motorInertia / kt, jKt = before.totalInertia / kt * 2 * kPi * 1e3;
            const auto sw = FitProbeSwing(rec.probeSpeed, rec.probeCurrent, rec.probeIntervalUs, kUnnamedSwingFromHz, kUnnamedSwingToHz);
            const auto kept = SwingBehindProbe(id, rec.probeSpeed, rec.probeCurrent, rec.probeIntervalUs);
            std::printf("SCALE %s probe %.3f swing %.3f (%.1f Hz z %.2f, %.2f of rigid) kept %.3f scale %.3f shared %.3f (%d points from %.0f Hz) controller %.3f\n", argv[a],
                        rec.probe.maPerRevPerS2.value_or(0) / jKt, sw ? sw->wholeMaPerRevPerS2 / jKt : 0.0,
                        sw ? sw->hz : 0.0, sw ? sw->damping : 0.0, sw ? sw->residualMa / sw->rigidResidualMa : 0.0,
                        kept ? kept->wholeMaPerRevPerS2 / jKt : 0.0, id.plant.plantScale.value_or(0) / jmKt,
                        shared.plantScale.value_or(0) / jmKt, shared.overlapPoints, shared.splitHz,
                        ControllerScale(rec.measurement).value_or(0) / jmKt);
        }
        Identification forDesign =
            ChooseInertia(id, rec.probe, rec.probeSpeed, rec.probeCurrent, rec.probeIntervalUs).forDesign;
        // REPLAY_RATIO=X: Pr1.13 X times what was found (what a wrong one does to the loop).
        if (const char* x = std::getenv("REPLAY_RATIO"); x && forDesign.inertia.ratio)
            forDesign.inertia.ratio = (1 + *forDesign.inertia.ratio) * std::atof(x) - 1;
        const Design d = DesignGains(forDesign, {FromWords(rec.before), std::getenv("REPLAY_STIFF") ? Stiffness::Stiff : Stiffness::Medium, std::nullopt});
        bool ok = d.status == Design::Status::Ok;
        std::string out;
        auto check = [&](bool pass, const std::string& what) {
            out += (pass ? "  ok   " : "  FAIL ") + what + "\n";
            ok = ok && pass;
        };
        const bool low = b.LowMode();
        const double ratio = ToWords(d.loop).pr113 / 100.0;
        check(std::abs(ratio - before.inertiaRatio) <= (low ? 0.15 : 0.10) * before.inertiaRatio,
              "ratio " + std::to_string(ratio) + " vs truth " + std::to_string(before.inertiaRatio) + " (in-band " +
                  std::to_string(id.inertia.ratio.value_or(-1)) + ")");
        for (const auto& pair : id.modes.pairs) {
            if (pair.machineMode) continue;
            double nearest = 1e9;
            for (double t : before.resonancesHz) nearest = std::min(nearest, std::abs(pair.resonance.hz - t) / t);
            check(nearest <= 0.03, "resonance " + std::to_string(pair.resonance.hz) + " Hz");
        }
        {
            // The margins before measured as the verifying stage measures
            // the loop after: smoothed over log frequency, joined with the plant.
            PlantMeasurement sm = rec.measurement;
            sm.openLoop = SteadyLines(rec.measurement.openLoop);
            const Identification ids = Identify(sm, rec.probe);
            FrequencyResponse L = ids.plant.g.empty() ? id.plant.g : ids.plant.g;
            for (std::size_t i = 0; i < L.size(); ++i) L.value[i] *= SpeedControllerResponse(sm.during, L.hz[i]);
            const LoopMargins ms = ComputeMargins(L);
            const double pmErr = d.marginsBefore.phaseMarginDeg.value_or(-999) - before.phaseMarginDeg;
            const double pmErrS = ms.phaseMarginDeg.value_or(-999) - before.phaseMarginDeg;
            const double gmErr = before.gainMarginDb ? d.marginsBefore.gainMarginDb.value_or(-999) - *before.gainMarginDb : 0;
            const double gmErrS = before.gainMarginDb ? ms.gainMarginDb.value_or(-999) - *before.gainMarginDb : 0;
            std::printf("MARGINS seed %u PMerr %.1f smoothed %.1f GMerr %.1f smoothed %.1f (phase crossover %.1f Hz, truth %.1f Hz)\n", seed, pmErr, pmErrS, gmErr, gmErrS,
                        d.marginsBefore.phaseCrossoverHz.value_or(-1), before.gainMarginHz.value_or(-1));
        }
        if (d.marginsBefore.phaseMarginDeg)
            out += "  PM before " + std::to_string(*d.marginsBefore.phaseMarginDeg) + " vs " +
                   std::to_string(before.phaseMarginDeg) + "\n";
        if (d.status == Design::Status::Ok) {
            auto r = b.Request();
            WriteServoWords(r.drive, rec.before, ToWords(d.loop), "replay");
            const hx::sim::LoopTruth after = hx::sim::TruthOf(b.Vd());
            check(after.stable && after.phaseMarginDeg >= 45, "PM after (truth) " + std::to_string(after.phaseMarginDeg));
            check(!after.gainMarginDb || *after.gainMarginDb >= 8,
                  "GM after (truth) " + std::to_string(after.gainMarginDb.value_or(99)));
            const bool rigid = !low && (before.antiResonancesHz.empty() ||
                                        before.antiResonancesHz.front() >= 4 * before.crossoverHz);
            if (rigid)
                check(after.crossoverHz >= 2 * before.crossoverHz,
                      "crossover " + std::to_string(before.crossoverHz) + " -> " + std::to_string(after.crossoverHz));
            if (std::getenv("REPLAY_PRED")) {
                // The prediction against the truth with the design written,
                // split into the controller model's part and the plant's.
                const hx::sim::MotorModel mNew = b.Vd().WithLock([&] {
                    b.Vd().Motor().ReadParametersNow();
                    return b.Vd().Motor().Model();
                });
                const FrequencyResponse g = Coherent(forDesign.plant.g, kIdentifyCoherence);
                std::printf("  truth PM at %.1f Hz, crossover %.1f, GM at %.1f Hz\n", after.phaseMarginHz, after.crossoverHz, after.gainMarginHz.value_or(-1));
                for (std::size_t i = 0; i < d.openLoop.size(); ++i) {
                    const double f = d.openLoop.hz[i];
                    if (f < 10 || f > 700) continue;
                    const auto tn = hx::sim::ResponseAt(mNew, f), to = hx::sim::ResponseAt(motor, f);
                    const Complex cNew = tn.openLoop / tn.plantPerTorqueReference, cOld = to.openLoop / to.plantPerTorqueReference;
                    const Complex kNew = SpeedControllerResponse(d.loop, f) / cNew, kOld = SpeedControllerResponse(FromWords(rec.before), f) / cOld;
                    const Complex e = d.openLoop.value[i] / tn.openLoop;
                    std::printf("  P %7.1f Hz L %+6.1f dB %+6.1f deg | pred/truth %+5.2f dB %+5.1f deg | Cnew %+5.2f dB %+5.1f deg Cold %+5.2f dB %+5.1f deg\n",
                                f, 20 * std::log10(std::abs(tn.openLoop)), std::arg(tn.openLoop) * 180 / kPi,
                                20 * std::log10(std::abs(e)), std::arg(e) * 180 / kPi, 20 * std::log10(std::abs(kNew)),
                                std::arg(kNew) * 180 / kPi, 20 * std::log10(std::abs(kOld)), std::arg(kOld) * 180 / kPi);
                }
            }
            out += "  design limit " + std::to_string(d.limitHz) + " Hz, predicted crossover " +
                   std::to_string(d.crossoverHz) + ", predicted PM " +
                   std::to_string(d.margins.phaseMarginDeg.value_or(-1)) + " GM " +
                   std::to_string(d.margins.gainMarginDb.value_or(99)) + "\n";
        }
        out += "  truth resonances";
        for (double t : before.resonancesHz) out += " " + std::to_string(t);
        out += ", anti";
        for (double t : before.antiResonancesHz) out += " " + std::to_string(t);
        out += "\n  named";
        for (const auto& p : id.modes.pairs)
            out += " " + std::to_string(p.resonance.hz) + "/" +
                   (p.antiResonance ? std::to_string(p.antiResonance->hz) : std::string("-"));
        out += "\n";
        if (std::getenv("REPLAY_CURVE")) {
            for (std::size_t i = 0; i < id.modes.hz.size(); ++i)
                out += "    " + std::to_string(id.modes.hz[i]) + " " + std::to_string(id.modes.complianceDb[i]) + "\n";
            for (const auto& m : id.modes.resonances)
                out += "  res " + std::to_string(m.hz) + " prom " + std::to_string(m.prominenceDb) + " z " + std::to_string(m.dampingRatio) + "\n";
            for (const auto& m : id.modes.antiResonances)
                out += "  anti " + std::to_string(m.hz) + " prom " + std::to_string(m.prominenceDb) + " z " + std::to_string(m.dampingRatio) + "\n";
            out += "  split " + std::to_string(id.plant.splitHz) + "\n";
            FrequencyResponse gl = rec.measurement.openLoop;
            for (std::size_t i = 0; i < gl.size(); ++i) gl.value[i] /= SpeedControllerResponse(rec.measurement.during, gl.hz[i]);
            const auto& g = std::getenv("REPLAY_LOOP") ? gl : id.plant.g;
            for (std::size_t i = 0; i < g.size() && g.hz[i] < 500; ++i) {
                const auto x = g.value[i] * Complex(0.0, 2 * kPi * g.hz[i]);
                out += "  g " + std::to_string(g.hz[i]) + " 1+R " + std::to_string(1 / std::abs(x)) + " ph " +
                       std::to_string(std::arg(x) * 180 / kPi) + " coh " + std::to_string(g.CoherenceAt(i)) + "\n";
            }
        }
        if (std::getenv("REPLAY_TRUTH")) {
            // Each line of the open loop against the truth's loop there.
            const FrequencyResponse& l = rec.measurement.openLoop;
            for (std::size_t i = 0; i < l.size(); ++i) {
                const Complex t = hx::sim::ResponseAt(motor, l.hz[i]).openLoop;
                char line[200];
                std::snprintf(line, sizeof line, "  L %8.2f Hz  %+6.2f dB %+7.1f deg  coh %.4f  truth %+6.2f dB\n", l.hz[i],
                              20 * std::log10(std::abs(l.value[i] / t)), std::arg(l.value[i] / t) * 180 / kPi,
                              l.CoherenceAt(i), 20 * std::log10(std::abs(t)));
                out += line;
            }
            // REPLAY_PLANT=1: the torque excitation's own bins below the split as well.
            const FrequencyResponse& p = rec.measurement.plant;
            for (std::size_t i = 0; std::getenv("REPLAY_PLANT") && id.plant.plantScale && i < p.size(); ++i) {
                if (p.hz[i] < 10 || p.hz[i] > 100) continue;
                const Complex t = hx::sim::ResponseAt(motor, p.hz[i]).openLoop;
                const Complex v = p.value[i] * *id.plant.plantScale * SpeedControllerResponse(rec.measurement.during, p.hz[i]);
                char line[200];
                std::snprintf(line, sizeof line, "  P %8.2f Hz  %+6.2f dB %+7.1f deg  coh %.4f  truth %+6.2f dB %+7.1f deg\n",
                              p.hz[i], 20 * std::log10(std::abs(v / t)), std::arg(v / t) * 180 / kPi, p.CoherenceAt(i),
                              20 * std::log10(std::abs(t)), std::arg(t) * 180 / kPi);
                out += line;
            }
            // The normalised plant (what the design reads) times the controller, against the truth.
            const FrequencyResponse& g = id.plant.g;
            for (std::size_t i = 0; i < g.size(); ++i) {
                if (g.hz[i] < 20 || g.hz[i] > 300 || g.hz[i] < id.plant.splitHz) continue;
                const Complex t = hx::sim::ResponseAt(motor, g.hz[i]).openLoop;
                const Complex m = g.value[i] * SpeedControllerResponse(rec.measurement.during, g.hz[i]);
                char line[200];
                std::snprintf(line, sizeof line, "  G %8.2f Hz  %+6.2f dB %+7.1f deg  coh %.4f\n", g.hz[i],
                              20 * std::log10(std::abs(m / t)), std::arg(m / t) * 180 / kPi, g.CoherenceAt(i));
                out += line;
            }
        }
        if (std::getenv("REPLAY_SWEEP")) {
            // Each crossover the design may try: what the loop it builds crosses at, its margins.
            const FrequencyResponse g = Coherent(forDesign.plant.g, kIdentifyCoherence);
            for (double fc = 40; fc < 400; fc *= 1.05) {
                FrequencyResponse L;
                std::vector<NotchPlacement> np;
                const ServoLoop l = LoopFor(g, forDesign.modes, *forDesign.inertia.ratio, fc, FromWords(rec.before), &L, &np);
                const LoopMargins m = ComputeMargins(L);
                char line[200];
                std::snprintf(line, sizeof line, "  try %6.1f -> %6.1f Hz  PM %5.1f GM %5.1f notches %zu gain %.1f\n", fc,
                              m.crossoverHz.value_or(-1), m.phaseMarginDeg.value_or(-1), m.gainMarginDb.value_or(99),
                              np.size(), l.speedGainHz);
                out += line;
            }
        }
        for (const auto& n : d.notes) out += "  design: " + n + "\n";
        ++total;
        passed += ok;
        std::printf("seed %u: %s\n%s", seed, ok ? "PASS" : "FAIL", out.c_str());
    }
    std::printf("replayed: %d of %d pass\n", passed, total);
    return 0;
}
