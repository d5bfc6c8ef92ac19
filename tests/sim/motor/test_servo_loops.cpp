// The simulated drive's loops follow its own parameters as the formulas
// and a tuning engineer's measurements say they should.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

#include "core/alarms/FaultDetections.h"
#include "sim/LoopTruth.h"
#include "sim/VirtualDrive.h"
#include "sim/motion/CurrentStep.h"
#include "sim/motor/MotorPart.h"
#include "support/ClockedDrive.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;
using namespace hx::sim;
using hx::servo::Param;
using hx::servo::NotchDepth, hx::servo::NotchFrequency, hx::servo::NotchWidth;

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// A drive on a stepped clock, no definitions (the firmware's own factory
// loop), on the given machine.
struct Drive : hx::test::ClockedDrive {
    explicit Drive(const MachineSpec& machine) : ClockedDrive({.databasePath = "-", .machine = machine}) {}
    // Writes a parameter's word over the wire (KRV4 layout).
    void Set(Param p, int word) {
        ASSERT_EQ(drive->WriteRegister(*hx::servo::Address(hx::servo::Model::Krv4, p), static_cast<uint16_t>(word)),
                  mbex::kNone);
    }
};

// A nearly rigid machine without friction: the load's one mode far up and
// small.
MachineSpec Rigid(double ratio) {
    return {.inertiaRatio = ratio, .coulombNm = 0, .viscousNmsPerRad = 0, .resonances = {{1500, 0.05, 0.02}}, .lowHz = 0};
}

// The factory loop with some register words changed, as the motor decodes it.
hx::servo::Settings Loop(std::initializer_list<std::pair<Param, int>> words) {
    hx::servo::Words w = hx::servo::FactoryWords(hx::servo::Model::Krv4);
    for (const auto& [p, word] : words) w[static_cast<size_t>(p)] = static_cast<int16_t>(word);
    return hx::servo::Decode(w);
}

// A step's 10..90 % rise time, and its peak over the final value minus 1.
std::pair<double, double> RiseAndOvershoot(const std::vector<double>& y, double dt, double final) {
    double t10 = -1, t90 = -1, peak = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        if (t10 < 0 && y[i] >= 0.1 * final) t10 = i * dt;
        if (t90 < 0 && y[i] >= 0.9 * final) t90 = i * dt;
        peak = std::max(peak, y[i]);
    }
    return {t90 - t10, peak / final - 1};
}

}  // namespace

// A step of the speed reference against the closed loop the parameters mean
// on a rigid load: plant Kt/(J s) with J the true inertia, PI with
// Kvp = 2π·f·Jm·(1 + set)/Kt and Ti, so L = a·(s + 1/Ti)/s² with
// a = 2π·f·(1 + set)/(1 + true). The drive's tick, current loop and speed
// detection lag a little behind that: the rise time within 5 %.
TEST(ServoLoops, TheSpeedStepIsTheClosedLoopOfTheParameters) {
    for (const auto [hz, ti, set, ratio] :
         {std::tuple{20.0, 0.030, 3.0, 3.0}, {40.0, 0.020, 3.0, 3.0}, {30.0, 0.050, 1.5, 4.0}}) {
        SCOPED_TRACE(testing::Message() << hz << " Hz, Ti " << ti << " s, set " << set);
        MotorParameters quiet;
        quiet.torqueNoise = quiet.currentNoise = 0;
        MotorModel motor(quiet, Rigid(ratio));
        // The words: 0.1 Hz, 0.1 ms, %; a fast current loop (about 1 kHz:
        // 15 V/A, 6000 V/(A s)), no torque filter.
        motor.SetServo(Loop({{Param::SpeedGain, static_cast<int>(hz * 10)},
                             {Param::SpeedIntegralTime, static_cast<int>(ti * 1e4)},
                             {Param::InertiaRatio, static_cast<int>(set * 100)},
                             {Param::TorqueFilter, 0}, {Param::CurrentKp, 3000}, {Param::CurrentKi, 60}}));
        motor.Settle(0, 0);
        const MotionCommand step{.mode = RunMode::Velocity, .velocity = 2};  // rev/s
        std::vector<double> sim;
        for (int k = 0; k < 8000; ++k) {
            motor.Step(step);
            sim.push_back(motor.Feedback().speedRps);
        }
        // The analytic step: y(s) = a(s + c)/(s(s² + a s + a c)), by its poles.
        const double a = kTwoPi * hz * (1 + set) / (1 + ratio), i = 1 / ti;
        const std::complex<double> root = std::sqrt(std::complex<double>(a * a - 4 * a * i));
        const std::complex<double> p1 = (-a + root) / 2.0, p2 = (-a - root) / 2.0;
        std::vector<double> exact;
        for (int k = 1; k <= 8000; ++k) {
            const double t = k * MotorModel::kTick;
            const std::complex<double> y = 1.0 + a * (p1 + i) / (p1 * (p1 - p2)) * std::exp(p1 * t) +
                                           a * (p2 + i) / (p2 * (p2 - p1)) * std::exp(p2 * t);
            exact.push_back(2 * y.real());
        }
        const auto [riseS, overshoot] = RiseAndOvershoot(sim, MotorModel::kTick, 2);
        const auto [exactRiseS, exactOvershoot] = RiseAndOvershoot(exact, MotorModel::kTick, 2);
        EXPECT_NEAR(riseS, exactRiseS, 0.05 * exactRiseS);
        // The overshoot within 2 points of the step: the tick, the current
        // loop and the speed detection add a little under one.
        EXPECT_NEAR(overshoot, exactOvershoot, 0.02);
    }
}

// Written over the wire, Pr1.13 moves the speed loop's crossover by
// (1 + set)/(1 + true): the truth shows what a tuning engineer would measure.
TEST(ServoLoops, AWrongInertiaRatioMovesTheCrossover) {
    Drive d(Rigid(4));
    d.Set(Param::SpeedGain, 300);            // 30 Hz
    d.Set(Param::SpeedIntegralTime, 10000);  // 1 s: the integral out of the way
    d.Set(Param::TorqueFilter, 0);
    d.Set(Param::InertiaRatio, 400);
    const double right = TruthOf(*d.drive, 2).crossoverHz;
    EXPECT_NEAR(right, 30, 1.5);
    for (double set : {1.0, 9.0}) {
        d.Set(Param::InertiaRatio, static_cast<int>(set * 100));
        EXPECT_NEAR(TruthOf(*d.drive, 2).crossoverHz / right, (1 + set) / 5, 0.05 * (1 + set) / 5) << set;
    }
}

// A notch at the resonance, written over the wire, takes its depth off the
// peak of the machine's response as the current loop drives it: D = 10
// lowers it by 20 dB, 32 by 9.9 dB, 50 by 6 dB.
TEST(ServoLoops, ANotchAtTheResonanceLowersItsPeakByItsDepth) {
    MachineSpec m;
    m.lowHz = 0;  // the load's resonance at 300 Hz alone
    Drive d(m);
    auto peak = [&] {
        const MotorModel motor = d.drive->WithLock([&] {
            d.drive->Motor().ReadParametersNow();
            return d.drive->Motor().Model();
        });
        const LoopBlocks& loops = motor.Loops();
        double top = 0;
        for (double hz = 250; hz <= 350; hz += 0.1) {
            std::complex<double> r = ResponseAt(motor, hz).plantPerCurrent;
            for (int n = 0; n < loops.activeNotches; ++n) r *= loops.notches[static_cast<size_t>(n)].Response(hz, MotorModel::kTick);
            top = std::max(top, std::abs(r));
        }
        return 20 * std::log10(top);
    };
    const double plain = peak();
    d.Set(NotchFrequency(0), 300);
    d.Set(NotchWidth(0), 4);  // 120 Hz wide
    for (int depth : {10, 32, 50}) {
        d.Set(NotchDepth(0), depth);
        EXPECT_NEAR(peak() - plain, 20 * std::log10(depth / 100.0), 0.5) << depth;
    }
}

// The drive's notch on its tick is the formula's: exactly its depth at its
// frequency (also high up, where the tick bends frequencies), and the
// formula's response across its width.
TEST(ServoLoops, TheNotchOnTheTickIsTheFormulasNotch) {
    for (const auto [f, width, depth] : {std::tuple{300, 2, 0}, {300, 4, 10}, {1200, 10, 50}, {3000, 4, 20}}) {
        SCOPED_TRACE(testing::Message() << f << " Hz, W " << width << ", D " << depth);
        const hx::servo::Notch notch =
            Loop({{NotchFrequency(0), f}, {NotchWidth(0), width}, {NotchDepth(0), depth}}).notches[0];
        const Biquad q = NotchBiquad(notch, MotorModel::kTick);
        EXPECT_NEAR(std::abs(q.Response(f, MotorModel::kTick)), depth / 100.0, 1e-9);
        for (double share : {0.5, 0.9, 0.97, 1.03, 1.1, 2.0}) {
            // dB: high up the tick bends the skirts a little (the centre stays).
            const double hz = f * share, tolerance = f < 1000 ? 0.05 : f < 2000 ? 0.5 : 1.5;
            EXPECT_NEAR(20 * std::log10(std::abs(q.Response(hz, MotorModel::kTick))),
                        20 * std::log10(std::abs(hx::servo::NotchResponse(notch, hz))), tolerance)
                << share;
        }
    }
}

// The truth's loop against the running loop, swept: a sine on the speed
// reference around 5 rev/s (friction steady), the open loop measured as the
// speed feedback over the error at that frequency, at the truth's crossover
// and where it puts the smallest phase and gain margins. The motor keeps
// its noise, friction and encoder counts.
TEST(ServoLoops, TheTruthMatchesASweepOfTheRunningLoop) {
    MotorModel motor(MotorParameters{}, MachineSpec{});  // the default machine, factory loop
    const LoopTruth truth = TruthOf(motor, 2);
    ASSERT_TRUE(truth.stable);
    ASSERT_TRUE(truth.gainMarginHz.has_value());
    motor.Settle(0, 5);
    for (const double hz : {truth.crossoverHz, truth.phaseMarginHz, *truth.gainMarginHz, 100.0}) {
        SCOPED_TRACE(testing::Message() << hz << " Hz");
        const double w = kTwoPi * hz, dt = MotorModel::kTick;
        const int settle = 4000, periods = std::max(4, static_cast<int>(0.6 * hz));
        const int n = static_cast<int>(std::lround(periods / (hz * dt)));
        const double f = periods / (n * dt);  // a whole number of periods in the window
        std::complex<double> y = 0, r = 0;
        MotionCommand c{.mode = RunMode::Velocity};
        for (int k = 0; k < settle + n; ++k) {
            const double t = k * dt;
            c.velocity = 5 + std::sin(kTwoPi * f * t);  // rev/s
            motor.Step(c);
            if (k < settle) continue;
            // The reference of this tick, the feedback it was compared with.
            const std::complex<double> turn = std::polar(1.0, -w * (f / hz) * t);
            r += kTwoPi * (c.velocity - 5) * turn;
            y += kTwoPi * (motor.Feedback().speedRps - 5) * turn;
        }
        const std::complex<double> measured = y / (r - y);
        const std::complex<double> exact = ResponseAt(motor, f).openLoop;
        EXPECT_NEAR(20 * std::log10(std::abs(measured)), 20 * std::log10(std::abs(exact)), 0.5);
        EXPECT_NEAR(std::remainder(std::arg(measured / exact) * 180 / std::numbers::pi, 360.0), 0, 1.0);
    }
}

// A speed gain the truth calls unstable rings and trips the over-speed
// alarm within a second, with every signal a number; the same gain with a
// notch at the resonance runs quietly. A fault clear puts the drive back in
// service, and it trips again.
TEST(ServoLoops, AnUnstableGainTripsTheDriveAndANotchCuresIt) {
    MachineSpec m;
    m.lowHz = 0;
    auto raised = [&](bool notch) {
        auto d = std::make_unique<Drive>(m);
        d->Set(Param::SpeedGain, 1000);  // 100 Hz
        for (auto [p, word] : {std::pair{NotchFrequency(0), 300}, {NotchWidth(0), 4}, {NotchDepth(0), 0}})
            if (notch) d->Set(p, word);
        d->clock->Step(1s);
        return d;
    };
    for (const bool notch : {false, true}) {
        SCOPED_TRACE(notch ? "with the notch" : "without");
        const auto d = raised(notch);
        EXPECT_EQ(d->drive->CurrentAlarm(), notch ? 0 : hx::alarm::kOverSpeed);
        EXPECT_EQ(TruthOf(*d->drive, 2).stable, notch);
        EXPECT_EQ(d->drive->WithLock([&] { return d->drive->Motor().Model().Tripped(); }), !notch);
        const auto signals = d->drive->WithLock([&] { return d->drive->Motor().Model().Signals(); });
        EXPECT_LT(std::abs(signals[kSpeedFeedback]), 100) << "at rest again, not running away";
    }
    const auto d = raised(false);
    d->clock->Step(200ms);
    ASSERT_EQ(d->drive->WriteRegister(hx::reg::kFaultClear, 0), mbex::kNone);
    EXPECT_EQ(d->drive->CurrentAlarm(), 0);
    EXPECT_FALSE(d->drive->WithLock([&] { return d->drive->Motor().Model().Tripped(); }));
    d->clock->Step(1s);
    EXPECT_EQ(d->drive->CurrentAlarm(), hx::alarm::kOverSpeed);
}

// The current-loop test and the motor run one current loop: the motor's own
// current after a step of its reference follows the test's recording, for
// the factory gains (which overshoot) and the tuned ones (which do not).
TEST(ServoLoops, TheCurrentGainsShapeTheMotorsOwnCurrent) {
    MotorParameters quiet;
    quiet.currentNoise = quiet.torqueNoise = 0;
    std::vector<double> peaks;
    for (const auto& [kp, ki] : {std::pair{1000, 200}, {1000, 20}}) {
        SCOPED_TRACE(testing::Message() << "Kp " << kp << ", Ki " << ki);
        MotorModel motor(quiet, Rigid(20));
        // All the back EMF compensated: the test's rotor is still.
        motor.SetServo(Loop({{Param::CurrentKp, kp}, {Param::CurrentKi, ki}, {Param::CurrentKc, 1024}}));
        motor.Settle(0, 0);
        const Winding winding{quiet.motor.resistance, quiet.motor.inductance, motor.BusVolts()};
        const std::vector<int16_t> test =
            RunCurrentStep(winding, CurrentGains{static_cast<int16_t>(kp), static_cast<int16_t>(ki), 256}, 1000, 20, 500);
        const MotionCommand step{.mode = RunMode::Current, .current = 1.0};
        double peak = 0;
        for (int sample = 0; sample < 20; ++sample) {
            EXPECT_NEAR(motor.Feedback().currentA * 1000, test[static_cast<size_t>(sample)], 15) << sample;
            for (int tick = 0; tick < 10; ++tick) motor.Step(step);
            peak = std::max(peak, motor.Feedback().currentA);
        }
        peaks.push_back(peak);
    }
    EXPECT_GT(peaks[0], 1.15) << "the factory gains overshoot";
    EXPECT_LT(peaks[1], 1.05) << "the tuned ones do not";
}

// Each seed draws its own plausible machine, the same one every time, within
// the stated ranges.
TEST(ServoLoops, SeedsDrawPlausibleMachines) {
    std::set<double> ratios;
    const auto within = [](double v, double lo, double hi) { return v >= lo && v <= hi; };
    for (unsigned seed = 0; seed < 40; ++seed) {
        SCOPED_TRACE(seed);
        const MachineSpec m = DrawMachine(seed);
        EXPECT_EQ(DrawMachine(seed).inertiaRatio, m.inertiaRatio);
        ratios.insert(m.inertiaRatio);
        EXPECT_TRUE(within(m.inertiaRatio, 0.5, 20)) << m.inertiaRatio;
        EXPECT_TRUE(within(static_cast<double>(m.resonances.size()), 1, 3));
        for (const Resonance& r : m.resonances) EXPECT_TRUE(within(r.hz, 150, 1500) && within(r.damping, 0.02, 0.1)) << r.hz;
        EXPECT_TRUE(within(m.coulombNm, 0.005, 0.05)) << m.coulombNm;
        EXPECT_EQ(m.lowHz, 0);
        EXPECT_NO_THROW(CheckMachine(m));
    }
    EXPECT_EQ(ratios.size(), 40u);
    // The command line's spelling of a machine, and its mistakes.
    const MachineSpec m = ParseMachine("inertia-ratio=8,resonance=450/0.03,resonance=900/0.05/0.1,machine-hz=0");
    EXPECT_EQ(m.inertiaRatio, 8);
    ASSERT_EQ(m.resonances.size(), 2u);
    EXPECT_EQ(m.resonances[1].share, 0.1);
    EXPECT_EQ(ParseMachine("machine-seed=7").inertiaRatio, DrawMachine(7).inertiaRatio);
    for (const char* bad : {"inertia-ratio=x", "ratio=3", "machine-seed=7,inertia-ratio=2", "resonance=10",
                            "resonance=300/0.02/0.7", "resonance=1/2/3/4", "inertia-ratio"})
        EXPECT_THROW(ParseMachine(bad), std::invalid_argument) << bad;
}

// The drive reads its loop where its model keeps it: the first notch at
// 30100 on KRV4 and at 30000 on KRV7, the inertia ratio at 42 and at 3.
TEST(ServoLoops, EachModelReadsItsOwnAddresses) {
    for (const auto [model, notch, elsewhere, ratio] :
         {std::tuple<const char*, uint16_t, uint16_t, uint16_t>{"KRV4", 30100, 30000, 42}, {"KRV7", 30000, 30100, 3}}) {
        SCOPED_TRACE(model);
        VirtualDrive drive(
            DriveOptions{.driveModel = model, .databasePath = "-", .clock = std::make_shared<SteppedClock>()});
        ASSERT_EQ(drive.WriteRegister(elsewhere, 300), mbex::kNone);
        EXPECT_FALSE(TruthOf(drive, 2).settings.notches[0].on);
        ASSERT_EQ(drive.WriteRegister(notch, 300), mbex::kNone);
        ASSERT_EQ(drive.WriteRegister(ratio, 500), mbex::kNone);
        const hx::servo::Settings s = TruthOf(drive, 2).settings;
        EXPECT_TRUE(s.notches[0].on);
        EXPECT_EQ(s.notches[0].frequencyHz, 300);
        EXPECT_EQ(s.inertiaRatio, 5);
    }
}

// The following-error limit is the model's own: Pr0.06 (10/11) on KRV4,
// Pr1.10 (30/31) on KRV7, whose 11 is the gear ratio's denominator. The
// demo motion on a KRV7 with its factory values raises no alarm; a limit
// the motion exceeds does.
TEST(ServoLoops, TheFollowingErrorLimitIsTheModelsOwn) {
    hx::test::TempProgramFolder folder;
    for (const auto& [model, product, low] :
         {std::tuple{"KRV4", "HX-KRV4-0750", 11}, std::tuple{"KRV7", "HX-KRV7-0750", 31}}) {
        SCOPED_TRACE(model);
        auto clock = std::make_shared<SteppedClock>();
        VirtualDrive drive(DriveOptions{.productModel = product, .driveModel = model,
                                        .databasePath = folder.DatabasePath(), .clock = clock, .motion = "demo"});
        clock->Step(2s);
        EXPECT_EQ(drive.CurrentAlarm(), 0);
        drive.SetRam(static_cast<uint16_t>(low - 1), 0);
        drive.SetRam(static_cast<uint16_t>(low), 500);
        clock->Step(2s);
        EXPECT_EQ(drive.CurrentAlarm(), hx::alarm::kFollowingError);
    }
}
