// Identification on synthetic data with known answers: the modes of a
// measured plant each named once, the friction and inertia from the probe
// (the ratio and the predicted loop on whole measurements: test_design).
#include <gtest/gtest.h>

#include <random>

#include "MeasureSynthetic.h"
#include "core/tuning/Modes.h"

using namespace hx::tuning;

namespace {

// Factory-like settings: the ratio set is not the machine's.
ServoLoop Factory() { return ServoLoop{}; }

// A plant sampled on FFT bins, with noise whose size the coherence tells.
FrequencyResponse NoisyPlant(const synth::Machine& m, double binHz, double topHz, double noise, unsigned seed,
                             double noisyFromHz = 1e9) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0, 1);
    FrequencyResponse r;
    for (double f = binHz; f <= topHz; f += binHz) {
        const double share = f >= noisyFromHz ? 1.5 : noise;
        r.hz.push_back(f);
        r.value.push_back(synth::TruePlant(m, f) * Complex(1 + share * n(rng), share * n(rng)));
        r.coherence.push_back(1 / (1 + share * share * 4));
    }
    return r;
}

}  // namespace

TEST(Modes, EachModeNamedOnceAtItsFrequency) {
    struct Case {
        const char* name;
        synth::Machine m;
        double noise;
        std::vector<double> resonances, antiResonances;  // Hz, as the machine has them
        double dampingTolerance;  // of the coupling resonance's damping
        double noisyFromHz = 1e9;  // above: noise, and the coherence says so
    };
    synth::Machine rigid;
    synth::Machine coupled;
    coupled.ratio = 3;
    coupled.resonanceHz = 500;
    coupled.damping = 0.02;
    synth::Machine lowMode = coupled;
    lowMode.machineHz = 25;
    lowMode.machineRatio = 2;
    lowMode.resonanceHz = 800;
    const std::vector<Case> cases{
        {"rigid", rigid, 0.05, {}, {}, 0},
        {"coupled, clean", coupled, 0.0, {500}, {250}, 0.004},
        {"coupled, noisy", coupled, 0.1, {500}, {250}, 0.01},
        // The machine mode's own frequency is its anti-resonance seen from the
        // motor; its resonance is higher by the square root of the inertia
        // the motor side adds: 25 x sqrt(1 + 2 / 4) = 30.6 Hz.
        {"low machine mode", lowMode, 0.05, {30.62, 800}, {25, 400}, 0.01},
        // Where the coherence says the points are noise, no mode is named.
        {"noise above 1 kHz", coupled, 0.03, {500}, {250}, 0.01, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FrequencyResponse p = NoisyPlant(c.m, 2.5, 2000, c.noise, 11, c.noisyFromHz);
        const ModeSearch s = FindModes(p);
        ASSERT_EQ(s.resonances.size(), c.resonances.size());
        ASSERT_EQ(s.antiResonances.size(), c.antiResonances.size());
        for (std::size_t i = 0; i < c.resonances.size(); ++i) {
            EXPECT_NEAR(s.resonances[i].hz, c.resonances[i], 0.03 * c.resonances[i]);
            EXPECT_NEAR(s.antiResonances[i].hz, c.antiResonances[i], 0.03 * c.antiResonances[i]);
            EXPECT_TRUE(s.pairs[i].antiResonance);
            EXPECT_EQ(s.pairs[i].machineMode, c.resonances[i] < kMachineModeCeilingHz);
        }
        for (const ModePair& p : s.pairs) {
            if (p.machineMode) continue;
            EXPECT_NEAR(p.resonance.dampingRatio, c.m.damping, c.dampingTolerance);
        }
    }
}

// The magnitude alone (the drive's spectrum) still finds the resonance.
TEST(Modes, MagnitudeAloneFindsTheResonance) {
    synth::Machine m;
    m.ratio = 3;
    m.resonanceHz = 500;
    FrequencyResponse magnitude = NoisyPlant(m, 2.5, 2000, 0.0, 5);
    for (Complex& v : magnitude.value) v = std::abs(v);
    magnitude.coherence.clear();
    const ModeSearch mag = FindModes(magnitude, {.magnitudeOnly = true});
    ASSERT_EQ(mag.resonances.size(), 1u);
    EXPECT_NEAR(mag.resonances[0].hz, 500, 15);
    EXPECT_NEAR(mag.resonances[0].dampingRatio, 0.03, 0.015);
}

TEST(Identify, FrictionAndInertiaOverTorqueConstantFromTheProbe) {
    synth::Machine m;
    m.ratio = 4;
    m.viscous = 5e-4;
    m.coulomb = 0.03;
    m.torqueNoise = 0.001;
    const synth::Measured meas = synth::Measure(m, Factory(), 2);
    ASSERT_TRUE(meas.probe.maPerRevPerS2);
    // J / Kt in mA per rev/s^2, Fc / Kt in mA, B / Kt in mA per rps.
    const double j = m.jm * (1 + m.ratio);
    EXPECT_NEAR(*meas.probe.maPerRevPerS2, j * 2 * kPi / m.kt * 1000, 0.1 * j * 2 * kPi / m.kt * 1000);
    EXPECT_NEAR(meas.probe.coulombMa, m.coulomb / m.kt * 1000, 10);
    EXPECT_NEAR(meas.probe.viscousMaPerRps, m.viscous * 2 * kPi / m.kt * 1000, 2);
}
