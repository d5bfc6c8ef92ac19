// The simulated drive's test motions on their own: the current step through
// the PI loop before and after auto-tuning, the trapezoid the drive computes
// from its registers, and the anti-vibration shaping against the load's
// resonance.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/runtest/StepResponse.h"
#include "sim/motion/AntiVibration.h"
#include "sim/motion/CurrentLoopTest.h"
#include "sim/motion/Trapezoid.h"

using namespace hx::sim;

namespace {

hx::runtest::StepFigures Figures(const std::vector<int16_t>& samples, int command) {
    std::vector<float> f(samples.begin(), samples.end());
    return hx::runtest::ComputeStepFigures(f, command, 500);
}

// Largest position error (pulses) after the command has come to rest.
double ResidualRinging(const std::array<int, 13>& settings) {
    const AxisParameters axis;
    // A short, hard move: 0.05 rev at 10 rev/s with 2000 rev/s^2.
    const Trapezoid move(TrapezoidSettings::FromRegisters(1, 1, 200, 0, 1000, 2000, 5));
    const auto shaper = ShaperImpulses(settings);
    double lastImpulse = 0;
    for (const auto& i : shaper) lastImpulse = std::max(lastImpulse, i.delayS);
    const auto samples = SimulateAxis(
        axis, shaper,
        [&](double t) {
            const auto p = move.At(t);
            return CommandPoint{p.positionRev, p.speedRps};
        },
        0, 100e-6, 2000);
    const double settled = move.MoveTime() + lastImpulse + 0.005;
    double peak = 0;
    for (size_t i = 0; i < samples.size(); ++i)
        if (i * 100e-6 > settled)
            peak = std::max(peak, std::fabs(samples[i].positionRefRev - samples[i].positionRev) * axis.pulsesPerRev);
    return peak;
}

}  // namespace

TEST(RunMotions, AutoTuningGivesAWellDampedCurrentStep) {
    const Winding w;
    const CurrentGains factory;  // Kp 1000, Ki 200, Kc 256
    const auto before = Figures(RunCurrentStep(w, factory, 1000, 200, 500), 1000);
    EXPECT_GT(*before.overshootPct, 25.0);

    const CurrentGains tuned = AutoTuneGains(w, factory.kc);
    EXPECT_EQ(tuned.kp, 3200);
    EXPECT_EQ(tuned.ki, 30);
    const auto after = Figures(RunCurrentStep(w, tuned, 1000, 200, 500), 1000);
    EXPECT_LT(*after.overshootPct, 3.0);
    ASSERT_TRUE(after.settlingTimeMs && before.settlingTimeMs);
    EXPECT_LT(*after.settlingTimeMs, *before.settlingTimeMs / 2);
    EXPECT_NEAR(*after.riseTimeMs, 2000.0 / 2000.0 * 1.1, 0.6);
    EXPECT_NEAR(*after.steadyStateError, 0.0, 5.0);

    // The integrator cannot wind up beyond its share of the bus: Kc 0 leaves
    // only the proportional part, which falls short of the command.
    CurrentGains noIntegral = tuned;
    noIntegral.kc = 0;
    EXPECT_GT(*Figures(RunCurrentStep(w, noIntegral, 1000, 200, 500), 1000).steadyStateError, 10.0);
    // A negative test current steps the other way.
    EXPECT_LT(RunCurrentStep(w, tuned, -500, 50, 500).back(), -450);
}

TEST(RunMotions, TrapezoidFromTheDrivesRegisters) {
    // Default run: 0.6 rev/s, 0.01 rev, 200 rev/s^2, dwell 100 ms, one run.
    const Trapezoid t(TrapezoidSettings::FromRegisters(1, 1, 100, 1, 60, 200, 1));
    EXPECT_NEAR(t.MoveTime(), 2 * 0.003 + (0.01 - 0.0018) / 0.6, 1e-9);
    EXPECT_NEAR(t.At(t.MoveTime() / 2).speedRps, 0.6, 1e-9);
    EXPECT_NEAR(t.At(1.0).positionRev, 0.01, 1e-12);
    EXPECT_TRUE(t.At(1.0).finished);

    // Too short to reach the speed: a triangle.
    const Trapezoid tri(TrapezoidSettings::FromRegisters(1, 1, 100, 0, 1000, 100, 1));
    EXPECT_NEAR(tri.MoveTime(), 2 * std::sqrt(0.01 / 100), 1e-9);

    // Reverse (0xFFFF), back and forth, three runs: -d, 0, -d.
    const Trapezoid back(TrapezoidSettings::FromRegisters(3, 0xFFFF, 50, 1, 100, 500, 10));
    const double period = back.MoveTime() + 0.05;
    EXPECT_NEAR(back.At(period - 0.01).positionRev, -0.1, 1e-9);
    EXPECT_NEAR(back.At(2 * period - 0.01).positionRev, 0.0, 1e-9);
    EXPECT_GT(back.At(period + back.MoveTime() / 2).speedRps, 0.0);
    EXPECT_NEAR(back.At(10).positionRev, -0.1, 1e-9);
}

TEST(RunMotions, ASettingNearTheResonanceLowersTheRinging) {
    const AxisParameters axis;
    const double f = ResonanceHz(axis);
    EXPECT_NEAR(f, 40.0, 1.0);
    std::array<int, 13> off{};
    const double plain = ResidualRinging(off);
    EXPECT_GT(plain, 5.0) << "the load rings after a hard move";

    std::array<int, 13> near{};
    near[0] = 100;                                                 // 1st amplitude
    near[1] = static_cast<int>(std::lround(0.5 / f / kShaperDelayUnitS));  // half a period
    near[2] = 0;
    const double shaped = ResidualRinging(near);
    EXPECT_LT(shaped, plain * 0.5) << "plain " << plain << ", shaped " << shaped;

    std::array<int, 13> far = near;
    far[1] = 10;  // 2 ms: a set tuned to 250 Hz
    EXPECT_GT(ResidualRinging(far), plain * 0.8);
    // The Z-axis phase does not shape the command.
    std::array<int, 13> z{};
    z[12] = 200;
    EXPECT_EQ(ShaperImpulses(z).size(), 1u);
}
