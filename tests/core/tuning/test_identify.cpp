// Identification on data with known answers: the modes named once where the
// simulator's truth has them, friction and inertia from the probe, the join
// of lines and plant (the ratio and the loop on whole measurements: test_design).
#include <gtest/gtest.h>

#include <random>

#include "MeasureMotor.h"
#include "core/tuning/Modes.h"

using namespace hx::tuning;

namespace {

// The machine's plant sampled on FFT bins, with noise whose size the
// coherence tells.
FrequencyResponse NoisyPlant(const hx::sim::MachineSpec& m, double binHz, double topHz, double noise, unsigned seed,
                             double noisyFromHz = 1e9) {
    const hx::sim::MotorModel motor = measure::Motor(m, ServoLoop{});
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0, 1);
    FrequencyResponse r;
    for (double f = binHz; f <= topHz; f += binHz) {
        const double share = f >= noisyFromHz ? 1.5 : noise;
        r.hz.push_back(f);
        r.value.push_back(hx::sim::ResponseAt(motor, f).plantPerCurrent * Complex(1 + share * n(rng), share * n(rng)));
        r.coherence.push_back(1 / (1 + share * share * 4));
    }
    return r;
}

}  // namespace

TEST(Modes, EachModeNamedOnceAtItsFrequency) {
    struct Case {
        const char* name;
        hx::sim::MachineSpec m;
        double noise;
        double dampingTolerance;   // of the coupling resonance's damping
        double noisyFromHz = 1e9;  // above: noise, and the coherence says so
        double hzShare = 0.03;     // how near the truth's each is named
    };
    using measure::Machine;
    const std::vector<Case> cases{
        {"rigid", Machine(2, {}), 0.05, 0},
        {"coupled, clean", Machine(3, {{500, 0.02}}), 0.0, 0.004},
        {"coupled, noisy", Machine(3, {{500, 0.02}}), 0.1, 0.01},
        {"most of the load behind a damped coupling: its resonance half again above its dip", Machine(1.75, {{167, 0.2, 0.87}}), 0.05, 0.05, 1e9, 0.06},
        // Its anti-resonance at 25 Hz: 3 % there is a third of a bin.
        {"low machine mode", Machine(5, {{800, 0.02}}, 31, 0.4), 0.05, 0.01},
        // Where the coherence says the points are noise, no mode is named.
        {"noise above 1 kHz", Machine(3, {{500, 0.02}}), 0.03, 0.01, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const hx::sim::LoopTruth truth = hx::sim::TruthOf(measure::Motor(c.m, ServoLoop{}));
        const ModeSearch s = FindModes(NoisyPlant(c.m, 2.5, 2000, c.noise, 11, c.noisyFromHz));
        ASSERT_EQ(s.resonances.size(), truth.resonancesHz.size());
        ASSERT_EQ(s.antiResonances.size(), truth.antiResonancesHz.size());
        for (std::size_t i = 0; i < s.resonances.size(); ++i) {
            EXPECT_NEAR(s.resonances[i].hz, truth.resonancesHz[i], c.hzShare * truth.resonancesHz[i]);
            EXPECT_NEAR(s.antiResonances[i].hz, truth.antiResonancesHz[i], c.hzShare * truth.antiResonancesHz[i]);
            EXPECT_TRUE(s.pairs[i].antiResonance);
            EXPECT_EQ(s.pairs[i].machineMode, truth.resonancesHz[i] < kMachineModeCeilingHz);
        }
        for (const ModePair& p : s.pairs) {
            if (p.machineMode) continue;
            EXPECT_NEAR(p.resonance.dampingRatio, c.m.resonances[0].damping, c.dampingTolerance);
        }
    }
}

// The magnitude alone (the drive's spectrum) still finds the resonance.
TEST(Modes, MagnitudeAloneFindsTheResonance) {
    FrequencyResponse magnitude = NoisyPlant(measure::Machine(3, {{500, 0.03}}), 2.5, 2000, 0.0, 5);
    for (Complex& v : magnitude.value) v = std::abs(v);
    magnitude.coherence.clear();
    const ModeSearch mag = FindModes(magnitude, {.magnitudeOnly = true});
    ASSERT_EQ(mag.resonances.size(), 1u);
    EXPECT_NEAR(mag.resonances[0].hz, 500, 15);
    EXPECT_NEAR(mag.resonances[0].dampingRatio, 0.03, 0.015);
}

// J / Kt in mA per rev/s^2, Fc / Kt in mA, B / Kt in mA per rps. A low swing's ringing reads heavier to the
// rigid fit; fitted with the swing's reaction (its frequency searched) the whole is the truth's again.
TEST(Identify, FrictionAndInertiaOverTorqueConstantFromTheProbe) {
    for (const double lowHz : {0.0, 15.0}) {
        const hx::sim::MachineSpec m{.inertiaRatio = 4, .coulombNm = 0.03, .viscousNmsPerRad = 5e-4, .lowHz = lowHz};
        const measure::Measured meas = measure::Measure(m, ServoLoop{}, 2);
        const hx::sim::LoopTruth t = hx::sim::TruthOf(measure::Motor(m, ServoLoop{}));
        const double kt = hx::sim::MotorParameters{}.motor.torqueConstant, perRevS2 = t.totalInertia * 2 * kPi / kt * 1000;
        const auto swing = FitProbeSwing(meas.probeSpeed, meas.probeCurrent, meas.plan.probe.capture.intervalUs, 5, 60);
        ASSERT_TRUE(swing && meas.probe.maPerRevPerS2);
        EXPECT_NEAR(swing->wholeMaPerRevPerS2, perRevS2, 0.1 * perRevS2);
        EXPECT_EQ(std::abs(*meas.probe.maPerRevPerS2 / perRevS2 - 1) < 0.1, lowHz == 0) << *meas.probe.maPerRevPerS2;
        EXPECT_NEAR(meas.probe.coulombMa, t.coulombNm / kt * 1000, 10);
        EXPECT_NEAR(meas.probe.viscousMaPerRps, t.viscousNmsPerRad * 2 * kPi / kt * 1000, lowHz > 0 ? 15 : 2);
    }
}

// A slow loop (crossover 10 Hz) whose friction damps the excitation's small
// motion: the plant's bins lead in phase far above twice the crossover, the
// lines (against the command) stay the plant while clear. The plant is the
// lines' there, and above them the bins without the damper the two differ by.
TEST(Identify, ClearLinesStandForThePlantAboveASlowLoopsSplit) {
    const auto g = [](double f) { return std::exp(Complex(0, -2 * kPi * f * 1e-4)) / (9.0 * Complex(0, 2 * kPi * f)); };
    PlantMeasurement m;
    for (double f = 3; f < 160; f += 3.7) {
        m.openLoop.hz.push_back(f);
        m.openLoop.value.push_back(g(f) * SpeedControllerResponse(m.during, f));
        m.openLoop.coherence.push_back(f < 120 ? 0.999 : 0.95);
    }
    for (double f = 10; f <= 2000; f += 5) {
        m.plant.hz.push_back(f);
        m.plant.value.push_back(1.0 / (1.0 / g(f) + 800.0) / 2e-4);  // 6 degrees ahead at 150 Hz
        m.plant.coherence.push_back(0.98);
    }
    const Identification id = Identify(m);
    EXPECT_GT(id.plant.splitHz, 115);
    for (double f : {60.0, 150.0, 300.0}) EXPECT_NEAR(std::arg(ValueAt(id.plant.g, f).value_or(-1.0) / g(f)) * 180 / kPi, 0, 1) << f;
    // Measured again after tuning, the machine's scale is kept.
    m.plantScale = 1.5e-4;
    EXPECT_EQ(Identify(m).plant.plantScale, 1.5e-4);
}
