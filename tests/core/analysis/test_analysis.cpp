// The tuning arithmetic on synthetic spectra and ringings whose answers are
// known, built as the drive builds and records them.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "core/analysis/SpectrumPeaks.h"
#include "core/analysis/Vibration.h"

using namespace hx::analysis;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kBinHz = 4000.0 / 2048;

struct Tone {
    double hz, amplitude;
};

// The drive's spectrum of the tones plus a slow motion and white noise: the
// amplitude of each bin of the windowed 2048 points.
std::vector<float> DriveSpectrum(const std::vector<Tone>& tones, double noise, unsigned seed = 7) {
    constexpr int n = 2048;
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0, noise);
    std::vector<double> x(n);
    double windowSum = 0;
    for (int i = 0; i < n; ++i) {
        const double t = i / 4000.0;
        double v = 20000 * std::sin(2 * kPi * 1.4 * t);  // the move, a few hertz
        for (const Tone& tone : tones) v += tone.amplitude * std::sin(2 * kPi * tone.hz * t + 0.3);
        const double w = 0.5 - 0.5 * std::cos(2 * kPi * i / n);
        windowSum += w;
        x[i] = (v + normal(rng)) * w;
    }
    std::vector<std::complex<double>> turn(n);
    for (int i = 0; i < n; ++i) turn[i] = std::polar(1.0, -2 * kPi * i / n);
    std::vector<float> bins(1024);
    for (int k = 0; k < 1024; ++k) {
        std::complex<double> sum = 0;
        for (int i = 0; i < n; ++i) sum += x[i] * turn[(static_cast<size_t>(k) * i) % n];
        bins[k] = static_cast<float>(std::min(32767.0, std::round(2 * std::abs(sum) / windowSum)));
    }
    return bins;
}

// A move (the signal lagging behind by 40), then from sample `end` a damped
// ringing A e^(-zeta wn t) sin(wd t) about `offset`, with noise, in whole
// counts as the drive records them.
std::vector<float> RingingAfterMove(double hz, double zeta, double amplitude, double noise, int end = 100,
                                    int n = 2500, double intervalUs = 1000, double offset = 3) {
    std::mt19937 rng(11);
    std::normal_distribution<double> normal(0, noise);
    std::vector<float> x(n);
    const double wd = 2 * kPi * hz, wn = wd / std::sqrt(1 - zeta * zeta);
    for (int i = 0; i < n; ++i) {
        const double t = (i - end) * intervalUs / 1e6;
        const double v = i < end ? 40.0 : offset + amplitude * std::exp(-zeta * wn * t) * std::sin(wd * t);
        x[i] = static_cast<float>(std::round(v + normal(rng)));
    }
    return x;
}

}  // namespace

TEST(SpectrumPeaks, FindsTheTonesBetweenBinsAboveTheMotion) {
    // Off the bin grid on purpose: 301.7 Hz is bin 154.47.
    const std::vector<Tone> tones = {{301.7, 120}, {123.4, 60}, {777.7, 40}, {1503.3, 30}};
    const auto bins = DriveSpectrum(tones, 40);
    EXPECT_GT(bins[1], 1000) << "the motion fills the lowest bins";
    const SpectrumAnalysis a = AnalyseSpectrum(bins, kBinHz);
    ASSERT_EQ(a.peaks.size(), 5u);
    for (size_t i = 0; i < tones.size(); ++i) {
        EXPECT_NEAR(a.peaks[i].frequencyHz, tones[i].hz, kBinHz / 4) << "peak " << i;
        EXPECT_EQ(a.peaks[i].level, bins[a.peaks[i].bin]);
    }
    for (const SpectrumPeak& p : a.peaks) {
        EXPECT_GT(p.frequencyHz, kMotionBandHz);
        for (const SpectrumPeak& q : a.peaks)
            EXPECT_TRUE(&p == &q || std::abs(p.bin - q.bin) >= kPeakSpacingBins);
    }
    EXPECT_TRUE(a.peaks[0].likelyResonance);
    EXPECT_FALSE(a.peaks[1].likelyResonance) << "only the highest is named";
    EXPECT_GT(a.peaks[0].level, a.peaks[1].level);

    // Wherever a tone falls between two bins, the peak is placed within a
    // quarter bin of it.
    for (double frac = 0; frac < 1; frac += 0.125) {
        const double hz = (256 + frac) * kBinHz;
        const SpectrumAnalysis one = AnalyseSpectrum(DriveSpectrum({{hz, 200}}, 5), kBinHz, 1);
        ASSERT_EQ(one.peaks.size(), 1u);
        EXPECT_NEAR(one.peaks[0].frequencyHz, hz, kBinHz / 4) << "offset " << frac;
    }
}

TEST(SpectrumPeaks, BandSpacingTheResonanceMarginAndOnePeakAResonance) {
    // Bin 10 lies at 19.5 Hz (the motion), bin 11 at 21.5 Hz.
    std::vector<float> m(1024, 100.0f);
    m[10] = 5000;  // a bump of the motion: never listed
    m[40] = 150, m[42] = 160;  // two bins apart: one peak, the higher
    m[60] = 150, m[63] = 145;  // three apart: two peaks
    m[500] = 199;              // 5.98 dB above the median of 100
    // A quiet stretch pulls the mean down to 90, not the median; where it
    // ends the floor goes on level: no peak.
    for (int k = 600; k < 700; ++k) m[k] = 1;
    SpectrumAnalysis a = AnalyseSpectrum(m, kBinHz);
    std::vector<int> bins;
    for (const SpectrumPeak& p : a.peaks) bins.push_back(p.bin);
    EXPECT_EQ(bins, (std::vector<int>{500, 42, 60, 63}));
    EXPECT_DOUBLE_EQ(a.bandMedian, 100.0);
    EXPECT_DOUBLE_EQ(a.bandMax, 199.0);
    EXPECT_FALSE(a.peaks[0].likelyResonance) << "not more than 6 dB";
    m[500] = 201;  // 6.06 dB
    EXPECT_TRUE(AnalyseSpectrum(m, kBinHz).peaks[0].likelyResonance);

    // A slope falling out of the motion band is no peak; the last bin has no
    // neighbour to be a peak by.
    std::vector<float> slope(1024, 10.0f);
    for (int k = 0; k < 30; ++k) slope[k] = 3000.0f / (k + 1);
    slope[1023] = 500;
    EXPECT_TRUE(AnalyseSpectrum(slope, kBinHz).peaks.empty());
    EXPECT_EQ(AnalyseSpectrum(slope, kBinHz, 3).peaks.size(), 0u);

    // One resonance is one peak: a top split into maxima at 298.8 and 306.6 Hz
    // and ripples on its slopes 25 dB down are not peaks of their own; a second
    // resonance at 600 Hz is.
    std::vector<float> split(1024, 3.0f);
    for (int k = 0; k < 1024; ++k) {
        const double d = (k - 155) / 12.0, e = (k - 307) / 6.0;
        split[k] += static_cast<float>(3000 / (1 + d * d) + 500 / (1 + e * e));
    }
    split[153] += 200, split[157] += 260, split[155] -= 150;
    for (int k : {110, 200}) split[k] *= 1.1f;
    bins.clear();
    for (const SpectrumPeak& p : AnalyseSpectrum(split, kBinHz).peaks) bins.push_back(p.bin);
    EXPECT_EQ(bins, (std::vector<int>{157, 307}));
}

TEST(SpectrumPeaks, DecibelsScaleAndAverage) {
    EXPECT_DOUBLE_EQ(ToDecibels(32767), 0.0);
    EXPECT_NEAR(ToDecibels(3276.7), -20.0, 1e-9);
    EXPECT_DOUBLE_EQ(ToDecibels(0), kDecibelFloor);
    EXPECT_DOUBLE_EQ(ToDecibels(-3), kDecibelFloor);

    // The motion's 32767 runs off the top; the band's 120 fills the plot.
    std::vector<float> m(1024, 15.0f);
    m[1] = 32767;
    m[10] = 30000;
    m[154] = 120;
    const SpectrumScale linear = ScaleForSpectrum(m, kBinHz, false);
    EXPECT_DOUBLE_EQ(linear.minimum, 0.0);
    EXPECT_DOUBLE_EQ(linear.maximum, 200.0);
    const SpectrumScale db = ScaleForSpectrum(m, kBinHz, true);
    EXPECT_DOUBLE_EQ(db.maximum, -40.0);  // 120 is -48.7 dB
    EXPECT_DOUBLE_EQ(db.minimum, -70.0);  // 15 is -66.8 dB
    const auto inDb = InDecibels(m);
    EXPECT_NEAR(inDb[154], -48.72, 0.01);

    SpectrumAverage avg;
    avg.Add({10, 20, 30});
    avg.Add({30, 20, 10});
    avg.Add({20, 50, 20});
    EXPECT_EQ(avg.Count(), 3);
    EXPECT_EQ(avg.Mean(), (std::vector<float>{20, 30, 20}));
    avg.Add({1, 2});  // another length: a new average
    EXPECT_EQ(avg.Count(), 1);
    EXPECT_EQ(avg.Mean(), (std::vector<float>{1, 2}));
}

TEST(Vibration, DampedRingingsOfKnownFrequencyAndDamping) {
    struct Case {
        double hz, zeta, amplitude, noise;
    };
    for (const Case& c : {Case{15, 0.02, 80, 1.0}, Case{25, 0.05, 50, 0.8}, Case{40, 0.1, 60, 1.0},
                          Case{7, 0.03, 30, 0.5}}) {
        const auto x = RingingAfterMove(c.hz, c.zeta, c.amplitude, c.noise);
        const ResidualVibration v = AnalyseResidualVibration(x, 100, 1000);
        SCOPED_TRACE(testing::Message() << c.hz << " Hz, zeta " << c.zeta);
        ASSERT_TRUE(v.ringing);
        EXPECT_NEAR(v.frequencyHz, c.hz, c.hz * 0.02);
        ASSERT_TRUE(v.dampingRatio);
        EXPECT_NEAR(*v.dampingRatio, c.zeta, 0.2 * c.zeta + 0.005);
        // The first swing, from the first crest (a quarter period in) to the
        // trough half a period later.
        const double wn = 2 * kPi * c.hz;
        EXPECT_NEAR(v.peakToPeak, c.amplitude * std::exp(-c.zeta * kPi / 2) * (1 + std::exp(-c.zeta * kPi)),
                    0.05 * c.amplitude + 3 * c.noise);
        // Within 10 % of the first crest ln(10) / (zeta wn) after it, give or
        // take half a period; the noise on the envelope makes it a little later.
        const double expected = std::log(10.0) / (c.zeta * wn) * 1000 + 250 / c.hz;
        ASSERT_TRUE(v.settlingTimeMs);
        EXPECT_GT(*v.settlingTimeMs, expected - 500 / c.hz);
        EXPECT_LT(*v.settlingTimeMs, expected * 1.15 + 500 / c.hz);
    }

    // Noise alone, or a slow settle onto the place without a swing back:
    // no ringing, nothing swings.
    std::vector<float> quiet = RingingAfterMove(15, 0.02, 0, 1.0);
    ResidualVibration v = AnalyseResidualVibration(quiet, 100, 1000);
    EXPECT_FALSE(v.ringing);
    std::vector<float> settle(1000, 0.0f);
    for (int i = 100; i < 1000; ++i) settle[i] = static_cast<float>(std::round(30 * std::exp(-(i - 100) / 20.0)));
    v = AnalyseResidualVibration(settle, 100, 1000);
    EXPECT_FALSE(v.ringing);
    EXPECT_EQ(v.peakToPeak, 0);
    ASSERT_TRUE(v.settlingTimeMs);
    EXPECT_NEAR(*v.settlingTimeMs, 44, 2) << "down to 3, a tenth of 30";
    // One overshoot and back is a well damped loop, not a ringing.
    std::vector<float> once(1000, 0.0f);
    for (int i = 100; i < 1000; ++i) {
        const double t = (i - 100) / 1000.0;
        once[i] = static_cast<float>(std::round(-30 * std::exp(-t / 0.01) + 30 * (t / 0.02) * std::exp(-t / 0.02)));
    }
    EXPECT_FALSE(AnalyseResidualVibration(once, 100, 1000).ringing);
    // A ringing still large at the end of the capture has not settled.
    v = AnalyseResidualVibration(RingingAfterMove(15, 0.001, 80, 1.0), 100, 1000);
    EXPECT_TRUE(v.ringing);
    EXPECT_FALSE(v.settlingTimeMs);
}

TEST(Vibration, TheMoveEndsWhereTheReferenceStops) {
    // 1 ms samples: a move of 50 samples stepping every other sample at its
    // slow end, then still; later the move back.
    std::vector<float> ref(1000, 0.0f);
    for (int i = 10; i < 1000; ++i) ref[i] = static_cast<float>(i < 50 ? (i - 10) * 10 : i < 60 ? 400 + (i - 50) / 2 : 405);
    for (int i = 700; i < 1000; ++i) ref[i] = 405 - static_cast<float>(std::min(i - 699, 100));
    auto span = FindMoveEnd(ref, 1000);
    ASSERT_TRUE(span);
    EXPECT_EQ(span->end, 60);
    EXPECT_EQ(span->nextStart, 700);

    EXPECT_FALSE(FindMoveEnd(std::vector<float>(500, 7.0f), 1000)) << "never moved";
    std::vector<float> moving(500);
    for (int i = 0; i < 500; ++i) moving[i] = static_cast<float>(i);
    EXPECT_FALSE(FindMoveEnd(moving, 1000)) << "still moving at the end";

    // 0.2 rev at 2 rev/s with 500 rev/s^2: 104 ms; a set of phase A 170
    // delays it by 34 ms.
    hx::analysis::Trapezoid f{.speed = 200, .distance = 20, .acceleration = 500};
    std::array<int32_t, 13> sets{};
    EXPECT_EQ(MoveEndFromTrapezoid(f, sets, 1000), 104);
    sets[0] = 100, sets[1] = 170;
    sets[4] = 50;  // a phase A without amplitude does nothing
    EXPECT_EQ(MoveEndFromTrapezoid(f, sets, 1000), 138);
    f.distance = 1;
    f.acceleration = 100;  // too short to reach the speed: 2 sqrt(0.01 / 100)
    EXPECT_EQ(MoveEndFromTrapezoid(f, {}, 100), 200);
}

TEST(Vibration, ProposalCancelsTheRingingOrSaysWhyNot) {
    ResidualVibration v{.ringing = true, .frequencyHz = 14.7, .dampingRatio = 0.02};
    VibrationProposal p = ProposeAntiVibration(v);
    EXPECT_EQ(p.kind, VibrationProposal::Kind::OneSet);
    EXPECT_EQ(p.sets, 1);
    EXPECT_EQ(p.set, (AntiVibrationSet{100, 170, 20}));  // 34 ms half period
    EXPECT_LT(p.predictedResidual, 0.01);
    EXPECT_DOUBLE_EQ(PredictedResidual({}, 14.7, 0.02), 1.0);
    // A set far from the ringing leaves most of it; one a tenth off, some.
    EXPECT_GT(PredictedResidual({{100, 60, 20}}, 14.7, 0.02), 0.5);
    EXPECT_NEAR(PredictedResidual({{100, 187, 20}}, 14.7, 0.02), std::sin(kPi / 2 * 0.1), 0.03);

    std::array<int32_t, 13> settings = {0, 0, 0, 50, 40, 30, 0, 0, 0, 0, 0, 0, 77};
    const auto applied = ApplyProposal(settings, p);
    EXPECT_EQ(applied, (std::array<int32_t, 13>{100, 170, 20, 50, 40, 30, 0, 0, 0, 0, 0, 0, 77}));

    // 7 Hz wants a half period of 71 ms (phase A 357): two sets at 255 leave
    // less than a fifth.
    v.frequencyHz = 7.0;
    p = ProposeAntiVibration(v);
    EXPECT_EQ(p.kind, VibrationProposal::Kind::CombinedSets);
    EXPECT_EQ(p.idealPhaseA, 357);
    EXPECT_EQ(p.sets, 2);
    EXPECT_EQ(p.set, (AntiVibrationSet{100, 255, 20}));
    EXPECT_LE(p.predictedResidual, kTargetResidual);
    EXPECT_EQ(ApplyProposal(settings, p),
              (std::array<int32_t, 13>{100, 255, 20, 100, 255, 20, 0, 0, 0, 0, 0, 0, 77}));

    // 4 Hz: even four sets leave too much; nothing to write.
    v.frequencyHz = 4.0;
    p = ProposeAntiVibration(v);
    EXPECT_EQ(p.kind, VibrationProposal::Kind::TooSlow);
    EXPECT_EQ(p.sets, 0);
    EXPECT_EQ(ApplyProposal(settings, p), settings);

    v.ringing = false;
    EXPECT_EQ(ProposeAntiVibration(v).kind, VibrationProposal::Kind::NoRinging);
}
