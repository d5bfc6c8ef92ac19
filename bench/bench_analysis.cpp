// Tuning analysis figures, each the median of repeated runs in ms:
//  - the residual-vibration analysis of a run-test capture of 4 channels x
//    8000 points (a move, then a damped ringing with noise), with the move's
//    end found from a position reference;
//  - the peak list, scale and decibels of a spectrum of 1024 bins, and the
//    average of 16 of them;
//  - one frequency response of the servo tuning, from the captures the
//    sequence takes (two kinds of command moves, 2 x 2 records of 4 channels
//    x 2000 points, and the torque excitation, 6 records of 2 channels x 4000
//    points, all from the simulated motor): the estimates, the identification
//    (normalised plant, modes, inertia ratio) and the design, each and in all.
// Goal: under 1 ms each for the vibration and spectrum figures; the whole
// frequency response well under (a tenth of) the time one capture takes on
// the wire (about 1.8 s at 115200 baud). Run it by hand (build/release/bench/bin/bench_analysis).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

#include "BenchGoals.h"
#include "core/analysis/SpectrumPeaks.h"
#include "core/analysis/Vibration.h"
#include "core/tuning/GainDesign.h"
#include "core/tuning/MeasureMotor.h"

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

    // The servo tuning's frequency response: the records as the sequence
    // captures them, then each stage of the analysis.
    const hx::sim::MachineSpec machine = measure::Machine(3, {{450, 0.02}});
    std::vector<hx::tuning::EstimateInput> moveInputs;
    hx::tuning::EstimateInput torqueInput;
    hx::tuning::RigidBody probe;
    {
        // Taken once: the simulated motor's own time is not the analysis's.
        hx::sim::MotorModel motor = measure::Motor(machine, hx::tuning::ServoLoop{}, 3);
        double furthest = 0;
        probe.maPerRevPerS2 = 5.0;
        const hx::tuning::ExcitationPlan plan = hx::tuning::PlanExcitation({}, measure::FullDrive(), probe);
        for (const hx::tuning::MoveStep& m : plan.moves) {
            const auto caps = measure::Capture(motor, m.capture, measure::Following(m.move), furthest);
            hx::tuning::EstimateInput in;
            in.intervalUs = m.capture.intervalUs;
            const auto ref = hx::tuning::ChannelOf(caps, m.capture, hx::tuning::kPositionReferenceSource);
            const auto r = hx::tuning::ChannelOf(caps, m.capture, hx::tuning::kSpeedReferenceSource);
            const auto y = hx::tuning::ChannelOf(caps, m.capture, hx::tuning::kSpeedFeedbackSource);
            for (std::size_t k = 0; k < y.size(); ++k) {
                in.instrument.push_back(hx::tuning::Differences(hx::tuning::UnwrapCounter(ref[k])));
                in.input.push_back(hx::tuning::Subtract(r[k], y[k]));
                in.output.push_back(y[k]);
            }
            moveInputs.push_back(in);
        }
        motor.SetExcitation(1.0, 5);
        const auto caps = measure::Capture(motor, plan.torque.capture, [](double) { return hx::sim::MotionCommand{}; },
                                           furthest);
        torqueInput.intervalUs = plan.torque.capture.intervalUs;
        torqueInput.input = hx::tuning::ChannelOf(caps, plan.torque.capture, hx::tuning::kTorqueCurrentSource);
        torqueInput.output = hx::tuning::ChannelOf(caps, plan.torque.capture, hx::tuning::kSpeedFeedbackSource);
        torqueInput.scale = 2 * hx::tuning::kPi / 100 * 1000;  // (rad/s) / A from 0.01 rps and mA
    }
    hx::tuning::PlantMeasurement measurement;
    const double estimateMs = MedianMs(21, [&] {
        measurement.openLoop = {};
        for (const auto& in : moveInputs)
            measurement.openLoop = hx::tuning::Merge(
                measurement.openLoop,
                hx::tuning::EstimateResponse(in, {.segmentPoints = 1000, .lowHz = 3, .highHz = 400, .linesOnly = true}));
        measurement.plant = hx::tuning::EstimateResponse(
            torqueInput, {.segmentPoints = 2000, .lowHz = 10, .highHz = 2500, .integratingOutput = true});
        sink += measurement.plant.size();
    });
    hx::tuning::Identification id;
    const double identifyMs = MedianMs(21, [&] {
        id = hx::tuning::Identify(measurement);
        sink += id.inertia.ratio.value_or(0);
    });
    hx::tuning::Design design;
    const double designMs = MedianMs(21, [&] {
        design = hx::tuning::DesignGains(id, {hx::tuning::ServoLoop{}, hx::tuning::Stiffness::Stiff, {}});
        sink += design.crossoverHz;
    });
    const double marginsMs = MedianMs(201, [&] { sink += hx::tuning::ComputeMargins(design.openLoop).peakSensitivityDb; });

    std::printf("residual vibration, 4 x %d points: %.3f ms (goal < 1 ms)\n", kPoints, vibrationMs);
    std::printf("spectrum peaks, scale and dB, 1024 bins: %.3f ms (goal < 1 ms)\n", spectrumMs);
    std::printf("average of 16 spectra of 1024 bins: %.3f ms\n", averageMs);
    std::printf("servo tuning, one frequency response (%zu + %zu points; ratio %.2f, crossover %.1f Hz):\n",
                measurement.openLoop.size(), measurement.plant.size(), id.inertia.ratio.value_or(-1), design.crossoverHz);
    std::printf("  estimates from the captures: %.2f ms\n", estimateMs);
    std::printf("  identification (plant, modes, ratio): %.2f ms\n", identifyMs);
    std::printf("  design (crossover search, notches, gains): %.2f ms\n", designMs);
    std::printf("  margins of one loop: %.3f ms\n", marginsMs);
    std::printf("  in all: %.2f ms (goal: well under one capture's 1.8 s on the wire, <= 180 ms)\n",
                estimateMs + identifyMs + designMs);
    bench::Goals goals;
    goals.AtMost("residual vibration (ms)", vibrationMs, 1.0);
    goals.AtMost("spectrum peaks (ms)", spectrumMs, 1.0);
    goals.AtMost("one frequency response in all (ms)", estimateMs + identifyMs + designMs, 180.0);
    if (sink == 0) goals.Missed("nothing was computed");
    return goals.Status();
}
