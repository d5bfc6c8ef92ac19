// The run-test pages' checks, lists and the write orders of their starts;
// step-response and following-error figures on curves whose answers are known.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/runtest/RunFields.h"
#include "core/runtest/RunSequence.h"
#include "core/runtest/StepResponse.h"

using namespace hx::runtest;

namespace {

std::vector<uint16_t> Addresses(const std::vector<RegisterWrite>& writes) {
    std::vector<uint16_t> a;
    for (const auto& w : writes) a.push_back(w.address);
    return a;
}

// First-order step 1000 (1 - e^(-t/tau)), sampled every periodUs.
std::vector<float> FirstOrder(double command, double tauMs, double periodUs, int n) {
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) y[i] = static_cast<float>(command * (1 - std::exp(-(i * periodUs / 1000.0) / tauMs)));
    return y;
}

}  // namespace

TEST(RunFields, VelocityChecksResetTheFieldAndNameTheMessageFirstFailureWins) {
    // The field set wrong, its check, the message, and the value it is reset to.
    using F = VelocityFields;
    struct Row {
        int32_t F::*signedField;
        uint32_t F::*field;
        long long bad;
        int check;
        const char* message;
        long long reset;
    };
    const char* speed = "运行速度超过输入范围(0 ~ 32767),请重新输入!";
    const char* dwell = "间歇时间输入超过范围(1 ~ 10000),请重新输入!";
    const char* runs = "运行次数输入超过范围(1 ~ 65535),请重新输入!";
    for (const Row& row : {Row{&F::speed, nullptr, -1, kSpeed, speed, 200}, Row{&F::speed, nullptr, 32768, kSpeed, speed, 200},
                           Row{nullptr, &F::distance, 32768, kDistance, "运行行程超过输入范围(0 ~ 32767),请重新输入!", 200},
                           Row{nullptr, &F::acceleration, 40000, kAcceleration, "加速度过输入范围(0 ~ 32767),请重新输入!", 200},
                           Row{nullptr, &F::dwell, 0, kDwell, dwell, 200}, Row{nullptr, &F::dwell, 10001, kDwell, dwell, 200},
                           Row{nullptr, &F::runs, 0, kRuns, runs, 1}, Row{nullptr, &F::runs, 70000, kRuns, runs, 1}}) {
        F f;
        if (row.signedField) f.*row.signedField = static_cast<int32_t>(row.bad);
        else f.*row.field = static_cast<uint32_t>(row.bad);
        const auto failure = CheckVelocity(f);
        ASSERT_TRUE(failure) << row.message;
        EXPECT_EQ(failure->field, row.check);
        EXPECT_STREQ(failure->message, row.message);
        EXPECT_EQ(row.signedField ? f.*row.signedField : static_cast<long long>(f.*row.field), row.reset) << row.message;
    }

    // First failure wins: speed and runs both wrong, only speed is reset.
    VelocityFields both{.speed = -5, .runs = 0};
    EXPECT_EQ(CheckVelocity(both)->field, kSpeed);
    EXPECT_EQ(both.runs, 0u);
    VelocityFields fine{.acceleration = 20000};
    EXPECT_FALSE(CheckVelocity(fine));
}

TEST(RunFields, TorqueChecksResetWithoutAMessage) {
    struct Row {
        int16_t TorqueFields::*field;
        int16_t bad;
        int check;
        int16_t reset;
    };
    for (const Row& row : {Row{&TorqueFields::kp, -1, kKp, 1000}, Row{&TorqueFields::ki, -3, kKi, 200},
                           Row{&TorqueFields::kc, 2000, kKc, 256}}) {
        TorqueFields f;
        f.*row.field = row.bad;
        const auto r = CheckTorque(f);
        ASSERT_TRUE(r) << row.check;
        EXPECT_EQ(r->field, row.check);
        EXPECT_EQ(f.*row.field, row.reset);
        EXPECT_STREQ(r->message, "");
    }
    TorqueFields f{.kc = 1024};
    EXPECT_FALSE(CheckTorque(f));
}

TEST(RunFields, ResonanceChecksEveryRowInTableOrder) {
    const char* messages[kResonanceSettings] = {
        "第一抗振幅值输入超出范围(0~100).",   "第一抗振相位A输入超出范围(0~255).", "第一抗振相位B输入超出范围(0~255).",
        "第二抗振幅值输入超出范围(0~100).",   "第二抗振相位A输入超出范围(0~255).", "第二抗振相位B输入超出范围(0~255).",
        "第三抗振幅值输入超出范围 (0~100).",  "第三抗振相位A输入超出范围(0~255).", "第三抗振相位B输入超出范围(0~255).",
        "第四抗振幅值输入超出范围(0~100).",   "第四抗振幅值A输入超出范围(0~255)",  "第四抗振相B输入超出范围(0~255).",
        "Z轴抗振相相输入超入范围(0~255)",
    };
    for (int i = 0; i < kResonanceSettings; ++i) {
        const int max = ResonanceSettingAt(i).maximum;
        EXPECT_EQ(max, (i % 3 == 0 && i < 12) ? 100 : 255) << i;
        for (int bad : {-1, max + 1}) {
            ResonanceFields f;
            f.values[i] = bad;
            const auto r = CheckResonance(f);
            ASSERT_TRUE(r);
            EXPECT_EQ(r->field, i);
            EXPECT_STREQ(r->message, messages[i]);
            EXPECT_EQ(f.values[i], 0);
        }
        ResonanceFields ok;
        ok.values[i] = max;
        EXPECT_FALSE(CheckResonance(ok));
    }
    ResonanceFields two{.values = {0, 0, 0, 0, 300, 0, 0, 0, 0, 0, 0, 0, 300}};  // 2nd phase A and Z
    EXPECT_EQ(CheckResonance(two)->field, 4);
    EXPECT_EQ(two.values[12], 300);
}

// Which entries the channels pick: the waveform window's offer, whose rule
// the capture's channel test pins.
TEST(RunFields, ChannelCodesAndPicks) {
    EXPECT_EQ(ChannelCodes({1, 2, 32768, 8}, {true, false, true, true}), (std::array<uint32_t, 4>{1, 0, 32768, 8}));
    const auto picks = ChannelPicks(3, 2);
    EXPECT_EQ(picks[1]->entry, 2);
    EXPECT_FALSE(picks[2]) << "a channel the drive lacks is left as it is";
}

// The default start from firmware 200.0 on, reverse among it, the re-capture
// and each mode's stop are pinned on the wire by the run session's tests;
// older firmware writes no points.
TEST(RunSequence, StartOrdersOfEachModeAndFirmwareAndCodesTravelAsWords) {
    const auto old = VelocityStartWrites(VelocityFields{}, {1, 2, 0, 0}, 500, 199.9f);
    EXPECT_EQ(Addresses(old), (std::vector<uint16_t>{65, 69, 62, 67, 60, 63, 61, 33, 34, 94, 95, 96, 70, 32}));
    // Code 32768 travels as the bit pattern 0x8000.
    EXPECT_EQ(VelocityStartWrites(VelocityFields{}, {32768, 0, 0, 0}, 200, 200.0f)[8], (RegisterWrite{34, 0x8000}));

    TorqueFields t{.kp = 1200, .ki = 300, .kc = 256};
    const auto tw = TorqueStartWrites(t, 400, 200.0f);
    EXPECT_EQ(tw, (std::vector<RegisterWrite>{{15, 1200}, {16, 300}, {17, 256}, {22, 1000}, {137, 400}, {23, 1}}));
    EXPECT_EQ(Addresses(TorqueStartWrites(t, 400, 100.0f)), (std::vector<uint16_t>{15, 16, 17, 22, 23}));

    const auto rw = ResonanceStartWrites(ResonanceFields{}, {1, 0, 0, 0}, 200, 200.0f);
    EXPECT_EQ(Addresses(rw), (std::vector<uint16_t>{77, 78, 86, 79, 80, 87, 81, 82, 88, 64, 66, 68, 89, 34, 94, 95,
                                                    96, 33, 137, 32, 70}));
    EXPECT_EQ(rw[17], (RegisterWrite{33, 100}));
    EXPECT_EQ(rw.back(), (RegisterWrite{70, 1}));
}

TEST(RunSequence, FieldsTakeTheValuesTheWritesReturnAndThePeakSpeed) {
    TorqueFields t;
    const auto tw = TorqueStartWrites(t, 200, 200.0f);
    std::vector<std::optional<int>> returned = {900, 150, 512, 800, 200, 1};
    TakeReturnedValues(tw, returned, nullptr, &t, nullptr);
    EXPECT_EQ(t.kp, 900);
    EXPECT_EQ(t.ki, 150);
    EXPECT_EQ(t.kc, 512);
    EXPECT_EQ(t.testCurrent, 800);

    VelocityFields v;
    const auto vw = VelocityStartWrites(v, {}, 200, 100.0f);
    std::vector<std::optional<int>> vr(vw.size(), 0);
    vr[7] = -25536;  // an interval of 40000 comes back as a signed word
    TakeReturnedValues(vw, vr, &v, nullptr, nullptr);
    EXPECT_EQ(v.sampleInterval, -25536);

    ResonanceFields r;
    const auto rw = ResonanceStartWrites(r, {}, 200, 100.0f);
    std::vector<std::optional<int>> rr(rw.size());
    rr[12] = 42;  // Z axis answered, the rest not
    TakeReturnedValues(rw, rr, nullptr, nullptr, &r);
    EXPECT_EQ(r.values[12], 42);
    EXPECT_EQ(r.values[0], 0);

    // The peak speed of a velocity run: its speed, or what a short move reaches.
    VelocityFields f;  // the page's defaults: 0.6 rev/s is reached within 0.01 rev at 200 rev/s^2
    EXPECT_DOUBLE_EQ(PeakSpeed(f), 60.0);
    f.speed = -1000;  // 10 rev/s backwards cannot be reached in 0.01 rev: sqrt(0.01 x 200) = 1.414 rev/s
    EXPECT_NEAR(PeakSpeed(f), 141.42, 0.01);
}

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
