#include "core/runtest/VibrationTuning.h"

#include <algorithm>

#include "core/protocol/Registers.h"

namespace hx::runtest {

std::array<uint32_t, 4> VibrationChannels(int sourceMask, int channelCount) {
    std::array<uint32_t, 4> codes{};
    if (sourceMask & kPositionErrorCode) codes[0] = kPositionErrorCode;
    else if (sourceMask & kSpeedFeedbackCode) codes[0] = kSpeedFeedbackCode;
    else return codes;
    // A drive that records one channel only leaves the end to the trapezoid.
    if (channelCount >= 2 && channelCount <= 4 && (sourceMask & kPositionReferenceCode))
        codes[1] = kPositionReferenceCode;
    return codes;
}

RunVibration AnalyseVelocityRun(const std::array<uint32_t, 4>& codes, const std::array<std::vector<float>, 4>& samples,
                                double intervalUs, const VelocityFields& fields,
                                const std::array<int32_t, kResonanceSettings>& settings) {
    RunVibration r;
    auto channel = [&](uint32_t code) -> const std::vector<float>* {
        for (int k = 0; k < 4; ++k)
            if (codes[k] == code && !samples[k].empty()) return &samples[k];
        return nullptr;
    };
    const std::vector<float>* signal = channel(kPositionErrorCode);
    r.signalCode = kPositionErrorCode;
    if (!signal) {
        signal = channel(kSpeedFeedbackCode);
        r.signalCode = kSpeedFeedbackCode;
    }
    if (!signal) {
        r.signalCode = 0;
        return r;
    }
    int end = 0, next = -1;
    if (const std::vector<float>* reference = channel(kPositionReferenceCode)) {
        const auto span = analysis::FindMoveEnd(*reference, intervalUs);
        if (!span) {
            r.status = RunVibration::Status::MoveNotEnded;
            return r;
        }
        end = span->end;
        next = span->nextStart;
    } else {
        end = analysis::MoveEndFromTrapezoid({fields.speed, fields.distance, fields.acceleration}, settings, intervalUs);
        // A run of several moves rests for the dwell before the next.
        if (fields.runs > 1) next = end + static_cast<int>(fields.dwell * 1000.0 / intervalUs);
    }
    const int size = static_cast<int>(signal->size());
    if (end >= size) {
        r.status = RunVibration::Status::MoveNotEnded;
        return r;
    }
    if ((std::min(size, next < 0 ? size : next) - end) * intervalUs < analysis::kResidualWindowMs * 1000.0) {
        r.status = RunVibration::Status::TooShort;
        return r;
    }
    r.status = RunVibration::Status::Analysed;
    r.vibration = analysis::AnalyseResidualVibration(*signal, end, intervalUs, next);
    return r;
}

std::vector<RegisterWrite> AntiVibrationWrites(const std::array<int32_t, kResonanceSettings>& settings, int sets) {
    std::vector<RegisterWrite> w;
    for (int s = 0; s < std::min(sets, analysis::kAntiVibrationSets); ++s)
        for (int i = 3 * s; i < 3 * s + 3; ++i)
            w.push_back({reg::kAntiVibration[i], static_cast<uint16_t>(settings[i] & 0xFFFF)});
    return w;
}

WriteOutcome WriteAntiVibration(DriveHandle& drive, const std::vector<RegisterWrite>& writes, std::string what,
                                PrepareOptions options) {
    WriteOutcome out;
    ChangeBatch changes(drive, ChangeOrigin::Tune, std::move(what));
    out.gate = changes.Prepare({}, {}, options);
    if (!out.gate.ok()) return out;
    out = SendWrites(drive, writes, &changes, Mode::Resonance);
    if (out.journalFailed) {
        out.gate.status = GateResult::Status::JournalFailed;
        out.gate.message = changes.Error();
    }
    return out;
}

}  // namespace hx::runtest
