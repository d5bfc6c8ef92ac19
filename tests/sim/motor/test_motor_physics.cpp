// The simulated motor, seen through the drive's own sampling and spectrum
// engines on a stepped clock: physics where a fault would hide behind
// plausible-looking numbers.

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <algorithm>

#include "core/analysis/SpectrumPeaks.h"
#include "sim/VirtualDrive.h"
#include "sim/motor/MotorPart.h"
#include "support/ClockedDrive.h"

using namespace std::chrono_literals;
using namespace hx::sim;
namespace reg = hx::reg;

namespace {

// A rigid machine: the motor and its load alone.
struct Bench : hx::test::ClockedDrive {
    explicit Bench(std::string motion, double resonanceHz = 300)
        : ClockedDrive({.databasePath = "-", .motion = std::move(motion), .resonanceHz = resonanceHz, .machineHz = 0}) {}
    // One capture of up to four sources; returns the channels' words.
    std::vector<std::vector<int16_t>> Capture(uint16_t intervalUs, std::vector<int> bits, uint16_t points) {
        EXPECT_EQ(drive->WriteRegister(reg::kSampleInterval, intervalUs), mbex::kNone);
        for (int i = 0; i < 4; ++i) {
            const uint16_t code = i < static_cast<int>(bits.size()) ? SourceCode(bits[i]) : 0;
            EXPECT_EQ(drive->WriteRegister(reg::kSampleChannelCode[i], code), mbex::kNone);
        }
        EXPECT_EQ(drive->WriteRegister(reg::kSamplePoints, points), mbex::kNone);
        EXPECT_EQ(drive->WriteRegister(reg::kSampleTrigger, 1), mbex::kNone);
        clock->Step(std::chrono::microseconds(static_cast<int64_t>(intervalUs) * points));
        EXPECT_EQ(drive->ReadRegister(reg::kSampleState), 1);
        std::vector<std::vector<int16_t>> out;
        for (size_t c = 0; c < bits.size(); ++c)
            out.push_back(hx::test::AreaWords(*drive, static_cast<uint16_t>(150 + c * points), points));
        return out;
    }
    // One spectrum request at 4 kHz, 2048 points: the bins once ready.
    std::vector<float> Spectrum() {
        EXPECT_EQ(drive->WriteRegister(reg::kSpectrumSettings, 0x12), mbex::kNone);
        EXPECT_EQ(drive->WriteRegister(reg::kSpectrumStart, reg::kSpectrumStartValue), mbex::kNone);
        clock->Step(512ms);  // 2048 points at 4 kHz
        EXPECT_NE(drive->ReadRegister(reg::kSpectrumStatus) & reg::kSpectrumReadyBit, 0);
        std::vector<float> bins(1024);
        for (int k = 0; k < 1024; ++k) bins[k] = static_cast<int16_t>(drive->ReadRegister(static_cast<uint16_t>(8192 + k)));
        return bins;
    }
    // The frequency (Hz) of the highest bin between lowHz and highHz. One
    // excitation's spectrum is ragged: look at it smoothed over +/- 10 Hz, as
    // the eye does.
    double SpectrumPeak(double lowHz, double highHz) {
        const std::vector<float> bins = Spectrum();
        int best = -1;
        double bestValue = -1;
        for (int k = 5; k < 1019; ++k) {
            const double hz = k * 4000.0 / 2048;
            const double v = std::accumulate(bins.begin() + k - 5, bins.begin() + k + 6, 0.0);
            if (hz >= lowHz && hz <= highHz && v > bestValue) best = k, bestValue = v;
        }
        return best * 4000.0 / 2048;
    }
};

double Correlation(const std::vector<double>& x, const std::vector<double>& y) {
    const double n = static_cast<double>(x.size());
    const double mx = std::accumulate(x.begin(), x.end(), 0.0) / n, my = std::accumulate(y.begin(), y.end(), 0.0) / n;
    double sxy = 0, sxx = 0, syy = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        sxy += (x[i] - mx) * (y[i] - my);
        sxx += (x[i] - mx) * (x[i] - mx);
        syy += (y[i] - my) * (y[i] - my);
    }
    return sxy / std::sqrt(sxx * syy);
}

}  // namespace

// The drive excites the machine at standstill while it samples and divides
// the speed's answer by the current it applied: the mechanical mode stands
// out where it was configured, wherever the speed loop would push a peak of
// the speed alone.
TEST(MotorPhysics, TheResonanceShowsInTheSpectrumWhereItIs) {
    for (double hz : {220.0, 300.0, 450.0}) {
        Bench b("none", hz);
        b.clock->Step(500ms);
        const double peak = b.SpectrumPeak(100, 1500);
        EXPECT_GE(peak, hz * 0.95) << "configured " << hz << " Hz";
        EXPECT_LE(peak, hz * 1.05) << "configured " << hz << " Hz";
    }
}

// What the frequency window reads off one request while the demo motion
// runs: whenever the request falls in the motion's cycle, the highest peak
// above the motion is the resonance, not a bin where the random excitation
// happened to put little current; also right after a quiet stretch the
// simulation skipped.
TEST(MotorPhysics, TheHighestPeakIsTheResonanceWheneverTheRequestComesAndReadyAfterItsSamplingTime) {
    Bench b("demo");
    for (int i = 0; i < 12; ++i) {
        b.clock->Step(std::chrono::milliseconds((i % 2 ? 2500 : 0) + 157 + 61 * i));
        const auto a = hx::analysis::AnalyseSpectrum(b.Spectrum(), 4000.0 / 2048);
        ASSERT_FALSE(a.peaks.empty());
        EXPECT_NEAR(a.peaks[0].frequencyHz, 300, 20) << "request " << i;
        EXPECT_TRUE(a.peaks[0].likelyResonance) << "request " << i;
    }

    // A request is ready after its sampling time, not at once.
    ASSERT_EQ(b.drive->WriteRegister(reg::kSpectrumSettings, 0x12), mbex::kNone);
    EXPECT_EQ(b.drive->WriteRegister(reg::kSpectrumSettings, 0x13 + 0x30), mbex::kIllegalValue);  // code 4 points
    EXPECT_EQ(b.drive->WriteRegister(reg::kSpectrumSettings, 0x14), mbex::kIllegalValue);         // 16 kHz
    ASSERT_EQ(b.drive->WriteRegister(reg::kSpectrumStart, 0x6600), mbex::kNone);
    EXPECT_EQ(b.drive->ReadRegister(reg::kSpectrumStatus) & reg::kSpectrumReadyBit, 0);
    b.clock->Step(512ms - 1us);
    EXPECT_EQ(b.drive->ReadRegister(reg::kSpectrumStatus) & reg::kSpectrumReadyBit, 0);
    b.clock->Step(1us);
    EXPECT_NE(b.drive->ReadRegister(reg::kSpectrumStatus) & reg::kSpectrumReadyBit, 0);
    // The back-and-forth motion (0.7 s a cycle) fills the lowest bins.
    int lowest = 0, elsewhere = 0;
    for (int k = 1; k < 6; ++k) lowest = std::max<int>(lowest, static_cast<int16_t>(b.drive->ReadRegister(8192 + k)));
    for (int k = 600; k < 1024; ++k)
        elsewhere = std::max<int>(elsewhere, static_cast<int16_t>(b.drive->ReadRegister(static_cast<uint16_t>(8192 + k))));
    EXPECT_GT(lowest, 20 * elsewhere);
}

TEST(MotorPhysics, AtStandstillThePositionHoldsWithSmallJitter) {
    Bench b("none");
    b.clock->Step(1s);
    const auto ch = b.Capture(100, {kPositionError, kSpeedFeedback, kPositionFeedback, kQCurrent}, 2000);
    int maxError = 0, maxSpeed = 0, maxCurrent = 0;
    std::set<int> positions;
    for (int i = 0; i < 2000; ++i) {
        maxError = std::max(maxError, std::abs(ch[0][i]));
        maxSpeed = std::max(maxSpeed, std::abs(ch[1][i]));
        maxCurrent = std::max(maxCurrent, std::abs(ch[3][i]));
        positions.insert(ch[2][i]);
    }
    EXPECT_LE(maxError, 3) << "pulses";
    EXPECT_LE(positions.size(), 5u);
    EXPECT_GT(maxSpeed, 0) << "a held motor is never perfectly still";
    EXPECT_LT(maxSpeed, 100) << "0.01 rps";
    EXPECT_LT(maxCurrent, 300) << "mA";
}

// During the demo's moves the torque current is the whole inertia times the
// acceleration over the torque constant, about 3.8 mA per r/s^2, and the
// bus sags and rises with the power drawn and returned.
TEST(MotorPhysics, CurrentsFollowTheAcceleration) {
    Bench b("demo");
    const auto ch =
        b.Capture(200, {kAccelerationReference, kTorqueCurrent, kQCurrent, kBusVoltage}, 2000);  // 0.4 s
    std::vector<double> acc(ch[0].begin(), ch[0].end()), torque(ch[1].begin(), ch[1].end()),
        iq(ch[2].begin(), ch[2].end());
    EXPECT_GT(Correlation(acc, torque), 0.9);
    EXPECT_GT(Correlation(acc, iq), 0.9);
    double sxy = 0, sxx = 0;
    for (size_t i = 0; i < acc.size(); ++i) sxy += acc[i] * iq[i], sxx += acc[i] * acc[i];
    EXPECT_NEAR(sxy / sxx, 3.77, 0.8) << "mA per r/s^2";
    const auto [low, high] = std::minmax_element(ch[3].begin(), ch[3].end());
    EXPECT_GT(*high - *low, 4) << "volts of sag and rise";
    EXPECT_GT(*low, 280);
    EXPECT_LT(*high, 400);
}

// Counters keep their low 16 bits: a move past 32767 pulses wraps to
// negative words while the error stays within what the factory loops allow:
// at most (1 − 30 % feed-forward) × the peak speed (314159 p/s) over the
// position gain of 48/s, 4581 pulses.
TEST(MotorPhysics, PositionCountersWrapLikeARealCounter) {
    MotorPart motor;
    DemoMotion::Shape far;
    far.travelPulses = 60000;
    far.moveSeconds = 0.3;
    motor.SetMotion(std::make_unique<DemoMotion>(far));
    bool wrapped = false;
    int16_t previous = 0;
    for (int ms = 1; ms <= 300; ++ms) {
        motor.Advance(std::chrono::milliseconds(ms));
        const auto s = motor.Model().Signals();
        if (previous > 30000 && s[kPositionFeedback] < -30000) wrapped = true;
        previous = s[kPositionFeedback];
        ASSERT_LT(std::abs(s[kPositionError]), 4600) << ms;
    }
    EXPECT_TRUE(wrapped);
    EXPECT_EQ(static_cast<uint16_t>(motor.Model().Signals()[kPositionReference]), 60000);
}

// A drive being talked to keeps its motor up to date by itself, as a
// drive's control runs whether it is asked or not: the next request finds
// nothing to catch up however slow the host (a second of control ticks
// caught up at once had outlasted a master's time-out).
TEST(MotorPhysics, ADriveBeingTalkedToRunsItsMotorBetweenRequests) {
    VirtualDrive drive(DriveOptions{.databasePath = "-"});
    drive.ReadRegister(reg::kSampleState);
    const uint64_t before = drive.AsItStands([&] { return drive.Motor().TicksRun(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_GT(drive.AsItStands([&] { return drive.Motor().TicksRun(); }) - before, 2000u) << "100 ms of ticks";
}

// A drive left alone does not compute the time it was left alone for; a
// capture started and then left for an hour records its points and
// completes, and the drive runs no more of the hour than that.
TEST(MotorPhysics, ALongQuietStretchCostsOnlyAMomentOfMotorTime) {
    Bench b("demo");
    auto ticks = [&] { return b.drive->WithLock([&] { return b.drive->Motor().TicksRun(); }); };
    b.clock->Step(std::chrono::hours(1));
    b.drive->ReadRegister(reg::kSampleState);
    EXPECT_LT(ticks(), 20000u) << "one second of ticks at most";
    EXPECT_GE(b.drive->WithLock([&] { return b.drive->Motor().Time(); }), std::chrono::hours(1) - 1ms);

    const uint64_t before = ticks();
    ASSERT_EQ(b.drive->WriteRegister(reg::kSampleChannel1, SourceCode(kPositionReference)), mbex::kNone);
    ASSERT_EQ(b.drive->WriteRegister(reg::kSampleInterval, 1000), mbex::kNone);
    ASSERT_EQ(b.drive->WriteRegister(reg::kSamplePoints, 3000), mbex::kNone);  // 3 s
    ASSERT_EQ(b.drive->WriteRegister(reg::kSampleTrigger, 1), mbex::kNone);
    b.clock->Step(std::chrono::hours(1));
    EXPECT_EQ(b.drive->ReadRegister(reg::kSampleState), 1);
    EXPECT_GT(ticks() - before, 3u * 20000u);
    EXPECT_LT(ticks() - before, 5u * 20000u);
    // The last point was recorded in the motion, not after the jump: the
    // demo's 0.7 s cycle leaves the reference at several places.
    std::set<int16_t> places;
    for (uint16_t a = 150 + 2900; a < 150 + 3000; ++a) places.insert(static_cast<int16_t>(b.drive->Ram(a)));
    EXPECT_GT(places.size(), 10u);
}
