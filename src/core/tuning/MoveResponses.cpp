// The responses the measuring moves' and the torque excitation's records
// give, each estimated against its instrument.

#include "core/tuning/TuneSequence.h"

#include <algorithm>

#include "core/tuning/ResponseEstimate.h"

namespace hx::tuning {

namespace {

// Speed over torque current in (rad/s) / A from words of 0.01 rps and mA.
constexpr double kPlantScale = 2 * kPi / 100 * 1000;
// The command moves' band top (1 ms sampling).
constexpr double kMoveBandTopHz = 400;

// One measuring move's records as the estimates take them: the commanded
// speed (the instrument), the speed error, the speed feedback and the
// torque current, each record whose channels all came.
struct MoveRecords {
    Records instrument, error, speed, current;
};
MoveRecords RecordsOf(const MoveStep& m, const MoveCapture& cap) {
    MoveRecords out;
    const auto ref = ChannelOf(cap, m.capture, kPositionReferenceSource);
    const auto r = ChannelOf(cap, m.capture, kSpeedReferenceSource);
    const auto y = ChannelOf(cap, m.capture, kSpeedFeedbackSource);
    const auto i = ChannelOf(cap, m.capture, kTorqueCurrentSource);
    for (std::size_t k = 0; k < y.size(); ++k) {
        if (ref[k].empty() || r[k].empty() || y[k].empty()) continue;
        out.instrument.push_back(Differences(UnwrapCounter(ref[k])));
        out.error.push_back(Subtract(r[k], y[k]));
        out.speed.push_back(y[k]);
        out.current.push_back(k < i.size() && i[k].size() == y[k].size() ? i[k] : std::vector<float>{});
    }
    return out;
}
EstimateOptions MoveLines(const MoveStep& m) {
    return {.segmentPoints = std::min(1000, m.capture.points), .lowHz = 3, .highHz = kMoveBandTopHz, .linesOnly = true};
}
}  // namespace

FrequencyResponse OpenLoopOf(const MoveStep& m, const MoveCapture& cap, double coulombMa) {
    const MoveRecords recs = RecordsOf(m, cap);
    EstimateInput in, torque;
    in.intervalUs = torque.intervalUs = m.capture.intervalUs;
    in.instrument = recs.instrument;
    in.input = recs.error;
    in.output = recs.speed;
    for (std::size_t k = 0; k < recs.current.size() && coulombMa > 0; ++k) {
        const std::vector<float>& i = recs.current[k];
        const std::vector<float>& y = recs.speed[k];
        if (i.empty()) break;
        // The current the friction takes, as the drive's speed words show
        // the motion (full beyond a word of 0.01 rps).
        std::vector<float> driving(i.size());
        for (std::size_t n = 0; n < driving.size(); ++n)
            driving[n] = i[n] - static_cast<float>(coulombMa * std::clamp(y[n] / 0.8, -1.0, 1.0));
        torque.instrument.push_back(recs.instrument[k]);
        torque.input.push_back(std::move(driving));
        torque.output.push_back(i);
    }
    FrequencyResponse l = EstimateResponse(in, MoveLines(m));
    if (torque.input.size() != in.input.size() || in.input.empty()) return l;
    // Friction is torque the controller gives that does not move the
    // machine: with the controller's current I and the friction's D the loop
    // is y / x times I / (I - D), which a few lines of a heavy machine's
    // slow moves misread by ten degrees and more without.
    const FrequencyResponse share = EstimateResponse(torque, MoveLines(m));
    if (share.size() != l.size()) return l;
    for (std::size_t k = 0; k < l.size(); ++k) l.value[k] *= share.value[k];
    return l;
}

FrequencyResponse CurrentOverErrorOf(const MoveStep& m, const MoveCapture& cap) {
    const MoveRecords recs = RecordsOf(m, cap);
    EstimateInput in;
    in.intervalUs = m.capture.intervalUs;
    for (std::size_t k = 0; k < recs.current.size(); ++k) {
        if (recs.current[k].empty()) continue;
        in.instrument.push_back(recs.instrument[k]);
        in.input.push_back(recs.error[k]);
        in.output.push_back(recs.current[k]);
    }
    in.scale = 1 / kPlantScale;
    return in.input.empty() ? FrequencyResponse{} : EstimateResponse(in, MoveLines(m));
}

FrequencyResponse PlantOf(const TorqueStep& step, const Records& current, const Records& speed) {
    EstimateInput in;
    in.intervalUs = step.capture.intervalUs;
    in.input = current;
    in.output = speed;
    in.scale = kPlantScale;
    return EstimateResponse(in, {.segmentPoints = std::min(2000, step.capture.points), .lowHz = 10, .highHz = 2500,
                                 .integratingOutput = true});
}

}  // namespace hx::tuning
