#include "core/runtest/RunSequence.h"

#include "core/params/CParameter.h"
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

namespace {

std::optional<int> Read(DriveHandle& drive, uint16_t address) {
    const auto v = drive.Read(address);
    return v ? std::optional<int>(*v) : std::nullopt;
}

}  // namespace

std::optional<ChangeOrigin> TuningOrigin(Mode mode, uint16_t address) {
    if (mode == Mode::Torque && (address == reg::kCurrentKp || address == reg::kCurrentKi || address == reg::kCurrentKc))
        return ChangeOrigin::Gains;
    if (mode == Mode::Resonance)
        for (uint16_t a : reg::kAntiVibration)
            if (a == address) return ChangeOrigin::Slider;
    return std::nullopt;
}

bool Send(DriveHandle& drive, const RegisterWrite& write) { return drive.Write(write.address, write.word).has_value(); }

WriteOutcome SendWrites(DriveHandle& drive, const std::vector<RegisterWrite>& writes, ChangeBatch* changes, Mode mode) {
    WriteOutcome out;
    out.returned.reserve(writes.size());
    for (const RegisterWrite& w : writes) {
        ChangeBatch::Pending pending;
        const bool journaled = changes && TuningOrigin(mode, w.address);
        if (journaled && !changes->Journal(w.address, &w.word, 1, &pending)) {
            out.journalFailed = true;
            break;
        }
        const auto echoed = drive.Write(w.address, w.word);
        const std::optional<int> r = echoed ? std::optional<int>(*echoed) : std::nullopt;
        out.returned.push_back(r);
        if (journaled && r) changes->Confirm(pending, true);
        if (!r) {
            out.unanswered = w.address;
            out.fault = echoed.fault;
            break;
        }
    }
    return out;
}

namespace {

// One of the user's tuning settings, through the change gate: backed up
// before the session's first change and journaled.
CommandResult GatedWrite(DriveHandle& drive, ChangeOrigin origin, uint16_t address, uint16_t word) {
    const GatedWrites done = WriteThroughGate(drive, origin, {{address, word}});
    CommandResult r;
    r.address = address;
    r.gate = done.gate;
    if (done.gate.ok() && !done.returned.empty() && done.returned.front()) r.value = *done.returned.front();
    return r;
}

}  // namespace

StopConfirmation StopAndConfirm(DriveHandle& drive, int rounds) {
    StopConfirmation out;
    const RegisterWrite stops[] = {StopWrite(Mode::Velocity), StopWrite(Mode::Torque)};
    while (out.rounds < rounds) {
        ++out.rounds;
        out.running.reset();
        out.unanswered.reset();
        // Both are sent whatever the first one's fate: a lost stop of the
        // motion must not keep the current-loop test from being stopped.
        bool answered = false;
        for (const RegisterWrite& w : stops) answered = Send(drive, w) || answered;
        for (const RegisterWrite& w : stops) {
            const std::optional<int> now = Read(drive, w.address);
            answered = answered || now.has_value();
            if (!now && !out.unanswered) out.unanswered = w.address;
            if (now && *now != 0 && !out.running) out.running = w.address;
        }
        if (!out.running && !out.unanswered) break;
        // A drive that answers nothing at all is not there to stop.
        if (!answered) break;
    }
    out.stopped = !out.running && !out.unanswered;
    if (out.stopped) out.alarm = Read(drive, reg::kCurrentAlarm);
    return out;
}

CommandResult SetCurrentAutoTune(DriveHandle& drive, bool on) {
    return GatedWrite(drive, ChangeOrigin::Gains, reg::kCurrentAutoTune, on ? 1 : 0);
}

CommandResult WriteResonanceSetting(DriveHandle& drive, int index, int value) {
    if (index < 0 || index >= kResonanceSettings) return {};
    return GatedWrite(drive, ChangeOrigin::Slider, reg::kAntiVibration[index], Word(value));
}

CommandResult ReadCaptureCapacity(DriveHandle& drive) { return {Read(drive, reg::kSampleCapacity), reg::kSampleCapacity, {}}; }

uint16_t StopAddress(Mode mode) { return StopWrite(mode).address; }

bool HasAutoTuneSwitch(const CParameter& table) { return table.TestAttribute(reg::kCurrentAutoTune) != 0; }

TorqueReadback ReadTorqueGains(DriveHandle& drive) {
    TorqueReadback r;
    const auto read = [&](uint16_t address) {
        const auto v = Read(drive, address);
        if (!v && !r.unanswered) r.unanswered = address;
        return v;
    };
    r.autoTune = read(reg::kCurrentAutoTune);
    r.kp = read(reg::kCurrentKp);
    r.ki = read(reg::kCurrentKi);
    r.kc = read(reg::kCurrentKc);
    return r;
}

ResonanceReadback ReadResonanceSettings(DriveHandle& drive) {
    ResonanceReadback r;
    for (int i = 0; i < kResonanceSettings; ++i) {
        r.values[i] = Read(drive, reg::kAntiVibration[i]);
        if (!r.values[i] && !r.unanswered) r.unanswered = reg::kAntiVibration[i];
    }
    return r;
}

std::optional<VelocityFields> ReadTrapezoid(DriveHandle& drive) {
    const auto speed = Read(drive, reg::kTrapSpeed);
    const auto distance = Read(drive, reg::kTrapDistance);
    const auto acceleration = Read(drive, reg::kTrapAcceleration);
    const auto dwell = Read(drive, reg::kTrapDwell);
    const auto runs = Read(drive, reg::kTrapRuns);
    const auto backAndForth = Read(drive, reg::kTrapBackAndForth);
    const auto direction = Read(drive, reg::kTrapDirection);
    if (!speed || !distance || !acceleration || !dwell || !runs || !backAndForth || !direction) return std::nullopt;
    VelocityFields f;
    // The words as the velocity page writes them: speed and direction
    // signed, the others unsigned.
    f.speed = static_cast<int16_t>(*speed);
    f.distance = static_cast<uint16_t>(*distance);
    f.acceleration = static_cast<uint16_t>(*acceleration);
    f.dwell = static_cast<uint16_t>(*dwell);
    f.runs = static_cast<uint16_t>(*runs);
    f.backAndForth = static_cast<int16_t>(*backAndForth);
    f.direction = static_cast<int16_t>(*direction);
    return f;
}

SourceInfo ReadSourceInfo(DriveHandle& drive) {
    SourceInfo info;
    info.sourceMask = Read(drive, reg::kSampleSourceMask);
    info.channelCount = Read(drive, reg::kSampleChannelCount);
    return info;
}

}  // namespace hx::runtest
