// Tuning analysis figures, each the median of repeated runs in ms:
//  - the residual-vibration analysis of a run-test capture of 4 channels x
//    8000 points (a move, then a damped ringing with noise), with the move's
//    end found from a position reference;
//  - the peak list, scale and decibels of a spectrum of 1024 bins, and the
//    average of 16 of them.
// Goal: under 1 ms each. Run it by hand (build/release/bench/bin/bench_analysis).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "core/analysis/SpectrumPeaks.h"
#include "core/analysis/Vibration.h"

namespace {

double MedianMs(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main() {
    constexpr int kPoints = 8000;
    constexpr double kIntervalUs = 250;
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 1.0);
    std::vector<std::vector<float>> channels(4, std::vector<float>(kPoints));
    std::vector<float> reference(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const double t = (i - 400) * kIntervalUs / 1e6;
        reference[i] = static_cast<float>(i < 400 ? i * 5 : 2000);
        for (int c = 0; c < 4; ++c) {
            const double ring = t < 0 ? 30 : 80 * std::exp(-2.0 * t) * std::sin(2 * std::numbers::pi * (15 + 5 * c) * t);
            channels[c][i] = static_cast<float>(std::round(ring + noise(rng)));
        }
    }
    double sink = 0;
    const double vibrationMs = MedianMs(201, [&] {
        const auto span = hx::analysis::FindMoveEnd(reference, kIntervalUs);
        for (const auto& ch : channels) {
            const auto v = hx::analysis::AnalyseResidualVibration(ch, span ? span->end : 0, kIntervalUs);
            sink += v.frequencyHz + hx::analysis::ProposeAntiVibration(v).set.phaseA;
        }
    });

    std::vector<float> bins(1024);
    for (int k = 0; k < 1024; ++k)
        bins[k] = static_cast<float>(std::max(0.0, 30 + 5 * noise(rng) + 32767.0 / (1 + k * k) +
                                                   90 * std::exp(-std::pow((k - 154) / 6.0, 2))));
    const double spectrumMs = MedianMs(201, [&] {
        const auto a = hx::analysis::AnalyseSpectrum(bins, 4000.0 / 2048);
        const auto s = hx::analysis::ScaleForSpectrum(bins, 4000.0 / 2048, true);
        const auto db = hx::analysis::InDecibels(bins);
        sink += a.peaks.front().frequencyHz + s.maximum + db[100];
    });
    const double averageMs = MedianMs(201, [&] {
        hx::analysis::SpectrumAverage average;
        for (int i = 0; i < 16; ++i) average.Add(bins);
        sink += average.Mean()[10];
    });

    std::printf("residual vibration, 4 x %d points: %.3f ms (goal < 1 ms)\n", kPoints, vibrationMs);
    std::printf("spectrum peaks, scale and dB, 1024 bins: %.3f ms (goal < 1 ms)\n", spectrumMs);
    std::printf("average of 16 spectra of 1024 bins: %.3f ms\n", averageMs);
    return sink == 0 ? 1 : 0;
}
