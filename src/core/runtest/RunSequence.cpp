#include "core/runtest/RunSequence.h"

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/protocol/Registers.h"

namespace hx::runtest {
namespace {

uint16_t Word(int64_t value) { return static_cast<uint16_t>(value & 0xFFFF); }

void AppendCodes(std::vector<RegisterWrite>& w, const std::array<uint32_t, 4>& codes) {
    for (int i = 0; i < 4; ++i) w.push_back({reg::kSampleChannelCode[i], Word(codes[i])});
}

void AppendPoints(std::vector<RegisterWrite>& w, int points, float firmwareVersion) {
    if (firmwareVersion >= 200.0f) w.push_back({reg::kSamplePoints, Word(points)});
}

}  // namespace

RunLink RunLink::FromGlobals() { return RunLink{&theComm, g_station, g_firmwareVersion}; }

std::vector<RegisterWrite> VelocityStartWrites(const VelocityFields& f, const std::array<uint32_t, 4>& codes,
                                               int points, float firmwareVersion) {
    std::vector<RegisterWrite> w = {
        {reg::kTrapSpeed, Word(f.speed)},
        {reg::kTrapDistance, Word(f.distance)},
        {reg::kTrapDwell, Word(f.dwell)},
        {reg::kTrapAcceleration, Word(f.acceleration)},
        {reg::kTrapRuns, Word(f.runs)},
        {reg::kTrapBackAndForth, Word(f.backAndForth)},
        {reg::kTrapDirection, Word(f.direction)},
        {reg::kSampleInterval, Word(f.sampleInterval)},
    };
    AppendCodes(w, codes);
    AppendPoints(w, points, firmwareVersion);
    w.push_back({reg::kMotionCommand, reg::kMotionRun});
    w.push_back({reg::kSampleTrigger, reg::kSampleTriggerValue});
    return w;
}

std::vector<RegisterWrite> TorqueStartWrites(const TorqueFields& f, int points, float firmwareVersion) {
    std::vector<RegisterWrite> w = {
        {reg::kCurrentKp, Word(f.kp)},
        {reg::kCurrentKi, Word(f.ki)},
        {reg::kCurrentKc, Word(f.kc)},
        {reg::kCurrentTestCurrent, Word(f.testCurrent)},
    };
    AppendPoints(w, points, firmwareVersion);
    w.push_back({reg::kCurrentTestCommand, reg::kCurrentTestStart});
    return w;
}

std::vector<RegisterWrite> ResonanceStartWrites(const ResonanceFields& f, const std::array<uint32_t, 4>& codes,
                                                int points, float firmwareVersion) {
    std::vector<RegisterWrite> w;
    for (int i = 0; i < kResonanceSettings; ++i) w.push_back({reg::kAntiVibration[i], Word(f.values[i])});
    AppendCodes(w, codes);
    w.push_back({reg::kSampleInterval, Word(f.sampleInterval)});
    AppendPoints(w, points, firmwareVersion);
    w.push_back({reg::kSampleTrigger, reg::kSampleTriggerValue});
    w.push_back({reg::kMotionCommand, reg::kMotionRun});
    return w;
}

std::vector<RegisterWrite> RecaptureWrites() { return {{reg::kSampleTrigger, reg::kSampleTriggerValue}}; }

RegisterWrite StopWrite(Mode mode) {
    if (mode == Mode::Torque) return {reg::kCurrentTestCommand, reg::kCurrentTestStop};
    return {reg::kMotionCommand, reg::kMotionStop};
}

void TakeReturnedValues(const std::vector<RegisterWrite>& writes, const std::vector<std::optional<int>>& returned,
                        VelocityFields* velocity, TorqueFields* torque, ResonanceFields* resonance) {
    for (size_t i = 0; i < writes.size() && i < returned.size(); ++i) {
        if (!returned[i]) continue;
        const int v = *returned[i];
        const uint16_t a = writes[i].address;
        if (a == reg::kSampleInterval) {
            // The interval comes back as a 16-bit word, taken signed.
            if (velocity) velocity->sampleInterval = v;
            if (resonance) resonance->sampleInterval = v;
        }
        if (torque) {
            if (a == reg::kCurrentKp) torque->kp = static_cast<int16_t>(v);
            if (a == reg::kCurrentKi) torque->ki = static_cast<int16_t>(v);
            if (a == reg::kCurrentKc) torque->kc = static_cast<int16_t>(v);
            if (a == reg::kCurrentTestCurrent) torque->testCurrent = static_cast<int16_t>(v);
        }
        if (resonance) {
            for (int k = 0; k < kResonanceSettings; ++k)
                if (a == reg::kAntiVibration[k]) resonance->values[k] = v;
        }
    }
}

std::optional<int> WriteRegister(const RunLink& link, uint16_t address, uint16_t word) {
    const int r = link.comm->WriteAddressValue(link.station, address, static_cast<int16_t>(word));
    // -1 is also the echo of a written 0xFFFF; only the link can tell them apart.
    if (!link.comm->LastRequestAnswered()) return std::nullopt;
    return r;
}

std::optional<int> ReadRegister(const RunLink& link, uint16_t address) {
    const int r = link.comm->ReadAddressValue(link.station, address);
    if (!link.comm->LastRequestAnswered()) return std::nullopt;
    return r;
}

std::optional<ChangeOrigin> TuningOrigin(Mode mode, uint16_t address) {
    if (mode == Mode::Torque && (address == reg::kCurrentKp || address == reg::kCurrentKi || address == reg::kCurrentKc))
        return ChangeOrigin::Gains;
    if (mode == Mode::Resonance)
        for (uint16_t a : reg::kAntiVibration)
            if (a == address) return ChangeOrigin::Slider;
    return std::nullopt;
}

WriteOutcome SendWrites(const RunLink& link, const std::vector<RegisterWrite>& writes, ChangeBatch* changes,
                        Mode mode) {
    WriteOutcome out;
    out.returned.reserve(writes.size());
    for (const RegisterWrite& w : writes) {
        ChangeBatch::Pending pending;
        const bool journaled = changes && TuningOrigin(mode, w.address);
        if (journaled && !changes->Journal(w.address, &w.word, 1, &pending)) {
            out.journalFailed = true;
            break;
        }
        const std::optional<int> r = WriteRegister(link, w.address, w.word);
        out.returned.push_back(r);
        if (journaled && r) changes->Confirm(pending, true);
        if (!r) {
            out.unanswered = w.address;
            break;
        }
    }
    return out;
}

TorqueReadback ReadTorqueGains(const RunLink& link) {
    TorqueReadback r;
    r.autoTune = ReadRegister(link, reg::kCurrentAutoTune);
    r.kp = ReadRegister(link, reg::kCurrentKp);
    r.ki = ReadRegister(link, reg::kCurrentKi);
    r.kc = ReadRegister(link, reg::kCurrentKc);
    return r;
}

std::array<std::optional<int>, kResonanceSettings> ReadResonanceSettings(const RunLink& link) {
    std::array<std::optional<int>, kResonanceSettings> values;
    for (int i = 0; i < kResonanceSettings; ++i) values[i] = ReadRegister(link, reg::kAntiVibration[i]);
    return values;
}

SourceInfo ReadSourceInfo(const RunLink& link) {
    SourceInfo info;
    info.sourceMask = ReadRegister(link, reg::kSampleSourceMask);
    info.channelCount = ReadRegister(link, reg::kSampleChannelCount);
    return info;
}

}  // namespace hx::runtest
