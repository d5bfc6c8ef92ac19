// Step-response and following-error figures on curves whose answers are known.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/runtest/StepResponse.h"

using namespace hx::runtest;

namespace {

// First-order step 1000 (1 - e^(-t/tau)), sampled every periodUs.
std::vector<float> FirstOrder(double command, double tauMs, double periodUs, int n) {
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) y[i] = static_cast<float>(command * (1 - std::exp(-(i * periodUs / 1000.0) / tauMs)));
    return y;
}

}  // namespace

TEST(StepResponse, FirstOrderCurveMatchesTheTextbook) {
    // Rise 10-90 % = tau ln 9, settling to 5 % = tau ln 20, no overshoot.
    const double tau = 2.0;
    const auto y = FirstOrder(1000, tau, 50, 2000);
    const StepFigures f = ComputeStepFigures(y, 1000, 50);
    ASSERT_TRUE(f.riseTimeMs && f.settlingTimeMs && f.overshootPct && f.steadyStateError);
    EXPECT_NEAR(*f.riseTimeMs, tau * std::log(9.0), 0.01);
    EXPECT_NEAR(*f.settlingTimeMs, tau * std::log(20.0), 0.06);
    EXPECT_DOUBLE_EQ(*f.overshootPct, 0.0);
    EXPECT_NEAR(*f.steadyStateError, 0.0, 0.5);
}

TEST(StepResponse, OvershootSettlingAndSteadyStateError) {
    // A ramp to 1250 over 10 samples, then 950 to the end: 25 % overshoot,
    // 50 mA below the command at the end (5 %, just inside the band).
    std::vector<float> y(100, 950.0f);
    for (int i = 0; i <= 10; ++i) y[i] = 125.0f * i;
    const StepFigures f = ComputeStepFigures(y, 1000, 500);
    EXPECT_NEAR(*f.overshootPct, 25.0, 1e-9);
    EXPECT_NEAR(*f.steadyStateError, 50.0, 1e-9);
    EXPECT_NEAR(*f.steadyStateErrorPct, 5.0, 1e-9);
    // 10 % at 0.8 samples, 90 % at 7.2 samples: 6.4 samples of 0.5 ms.
    EXPECT_NEAR(*f.riseTimeMs, 3.2, 1e-9);
    // Last sample outside +-5 % is index 10 (1250): settled from 11 x 0.5 ms.
    EXPECT_NEAR(*f.settlingTimeMs, 5.5, 1e-9);

    // A curve ending outside the band never settled; one that never reaches
    // 90 % has no rise time.
    std::vector<float> low(100, 500.0f);
    const StepFigures g = ComputeStepFigures(low, 1000, 500);
    EXPECT_FALSE(g.settlingTimeMs);
    EXPECT_FALSE(g.riseTimeMs);
    EXPECT_NEAR(*g.steadyStateError, 500.0, 1e-9);

    // A negative test current reads the same way.
    std::vector<float> neg = y;
    for (float& v : neg) v = -v;
    const StepFigures h = ComputeStepFigures(neg, -1000, 500);
    EXPECT_NEAR(*h.overshootPct, 25.0, 1e-9);
    EXPECT_NEAR(*h.riseTimeMs, 3.2, 1e-9);

    EXPECT_FALSE(ComputeStepFigures({}, 1000, 500).riseTimeMs);
    EXPECT_FALSE(ComputeStepFigures(y, 0, 500).overshootPct);
}

TEST(StepResponse, FollowingErrorAndSpeedOvershoot) {
    const std::vector<float> error = {3, -4, 0, 0};  // peak 4, rms sqrt(25 / 4) = 2.5
    const std::vector<float> speed = {0, 30, 66, 60, 60};
    FollowingFigures f = ComputeFollowingFigures(&error, &speed, nullptr, 60);
    EXPECT_DOUBLE_EQ(*f.peakFollowingError, 4.0);
    EXPECT_DOUBLE_EQ(*f.rmsFollowingError, 2.5);
    EXPECT_NEAR(*f.speedOvershootPct, 10.0, 1e-9);

    // The commanded speed is the target, even where the speed reference
    // (which carries the position loop's corrections) swings beyond it;
    // without a command, the reference's peak is.
    const std::vector<float> reference = {0, 40, -55, 0, 70};
    f = ComputeFollowingFigures(nullptr, &speed, &reference, 60);
    EXPECT_FALSE(f.peakFollowingError);
    EXPECT_NEAR(*f.speedOvershootPct, 10.0, 1e-9);
    const std::vector<float> lower = {0, 40, -55, 0};
    EXPECT_NEAR(*ComputeFollowingFigures(nullptr, &speed, &lower, 0).speedOvershootPct, 20.0, 1e-9);

    // Never above the command: no overshoot.
    const std::vector<float> slow = {0, 20, 40};
    EXPECT_DOUBLE_EQ(*ComputeFollowingFigures(nullptr, &slow, nullptr, 60).speedOvershootPct, 0.0);
}
