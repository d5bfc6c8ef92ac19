#include "core/capture/SamplingProtocol.h"

#include <algorithm>

#include "core/protocol/Registers.h"
#include "core/link/BetweenRequests.h"
#include "core/util/Job.h"  // SleepUnlessStopped

namespace hx {
namespace {

bool Write(DriveHandle& drive, uint16_t address, uint16_t value) { return drive.Write(address, value).has_value(); }

// Blocks of one run of count words: full blocks of 50 and a shorter last one.
int BlocksFor(int words) { return (words + kSampleBlockSize - 1) / kSampleBlockSize; }

}  // namespace

bool ReadSamplingLimits(DriveHandle& drive, SamplingLimits* limits) {
    bool answered = true;
    auto read = [&](uint16_t address) -> int16_t {
        const auto v = drive.Read(address);
        if (!v) answered = false;
        return v.value_or(-1);
    };
    limits->sourceMask = static_cast<uint16_t>(read(reg::kSampleSourceMask));
    limits->channelCount = static_cast<int16_t>(read(reg::kSampleChannelCount));
    limits->capacity = static_cast<int16_t>(read(reg::kSampleCapacity));
    return answered;
}

bool ConfigureSampling(DriveHandle& drive, int16_t intervalUs, const ChannelCodes& codes,
                       uint16_t pointsPerChannel) {
    bool answered = Write(drive, reg::kSampleInterval, static_cast<uint16_t>(intervalUs));
    for (int k = 0; k < 4; ++k) answered = Write(drive, reg::kSampleChannelCode[k], codes[k]) && answered;
    // Older firmware has no points register and always captures 200 points.
    if (drive.newLayout()) answered = Write(drive, reg::kSamplePoints, pointsPerChannel) && answered;
    return answered;
}

bool TriggerSampling(DriveHandle& drive) { return Write(drive, reg::kSampleTrigger, reg::kSampleTriggerValue); }

StartOutcome StartSampling(DriveHandle& drive) {
    const auto before = drive.Read(reg::kSampleState);
    if (!before) return StartOutcome::NoAnswer;
    const auto trigger = drive.Write(reg::kSampleTrigger, reg::kSampleTriggerValue);
    if (trigger) return StartOutcome::Started;
    const DriveFault& fault = trigger.fault;
    if (fault.kind == DriveFaultKind::Refused) return StartOutcome::NotTaken;
    if (!fault.mayHaveApplied) return StartOutcome::NoAnswer;
    const auto running = drive.Read(reg::kSampleTrigger);
    if (!running) return StartOutcome::NoAnswer;
    const auto state = drive.Read(reg::kSampleState);
    if (!state) return StartOutcome::NoAnswer;
    return *running == reg::kSampleTriggerValue || *state != *before ? StartOutcome::Started : StartOutcome::NotTaken;
}

WaitOutcome PollRegister(DriveHandle& drive, uint16_t address, const std::function<bool(int16_t)>& done,
                         const PollPolicy& policy, std::stop_token stop) {
    bool lastAnswered = true;
    int silent = 0;
    for (int i = 0; i < policy.polls; ++i) {
        const bool slept = policy.sleep ? policy.sleep(stop, policy.period) : SleepUnlessStopped(stop, policy.period);
        if (!slept || stop.stop_requested()) return WaitOutcome::Stopped;
        // These polls would feed the watchdog of another program's run that
        // has died with its program: its motion is stopped first.
        LookBetweenRequests(drive);
        const std::optional<int16_t> value = drive.Read(address);
        lastAnswered = value.has_value();
        if (value && done(*value)) return WaitOutcome::Complete;
        silent = lastAnswered ? 0 : silent + 1;
        if (policy.silentPolls > 0 && silent >= policy.silentPolls) return WaitOutcome::NoAnswer;
    }
    return lastAnswered ? WaitOutcome::TimedOut : WaitOutcome::NoAnswer;
}

WaitOutcome WaitSampleComplete(DriveHandle& drive, std::stop_token stop, const PollPolicy& policy) {
    return PollRegister(
        drive, reg::kSampleState, [](int16_t v) { return v == reg::kSampleStateComplete; }, policy, stop);
}

bool ReadSampleBlock(DriveHandle& drive, uint16_t address, uint16_t count, float* out, std::stop_token stop) {
    // The link itself sends a read again after no answer or a damaged reply,
    // having waited out a late one; asking again here would only multiply
    // the time a silent drive takes to be reported.
    if (stop.stop_requested() || count > kSampleBlockSize) return false;
    uint16_t words[kSampleBlockSize];
    if (!drive.ReadWords(address, count, words)) return false;
    for (uint16_t i = 0; i < count; ++i) out[i] = static_cast<float>(static_cast<int16_t>(words[i]));
    return true;
}

int CaptureBlockCount(const ChannelCodes& codes, uint16_t pointsPerChannel) {
    return ActiveChannelCount(codes) * BlocksFor(pointsPerChannel);
}

FetchStatus FetchCapture(DriveHandle& drive, const ChannelCodes& codes, uint16_t pointsPerChannel,
                         SampleBuffers& buffers, std::stop_token stop, const FetchHooks& hooks,
                         BlockFailure* failure) {
    for (auto& b : buffers) b.assign(pointsPerChannel, 0.0f);
    const int blocksPerChannel = BlocksFor(pointsPerChannel);
    const int total = CaptureBlockCount(codes, pointsPerChannel);
    int done = 0;
    uint32_t offset = 0;
    for (int k = 0; k < 4; ++k) {
        if (codes[k] == 0) continue;
        for (int b = 0; b < blocksPerChannel; ++b) {
            if (stop.stop_requested()) return FetchStatus::Stopped;
            const int first = kSampleBlockSize * b;
            const auto count = static_cast<uint16_t>(std::min(kSampleBlockSize, pointsPerChannel - first));
            const uint32_t address32 = reg::kSampleDataFirst + offset + static_cast<uint32_t>(first);
            const auto address = static_cast<uint16_t>(address32);
            // The last block counts as read only once the link has settled:
            // on a line that repeats frames, an answer may have been a copy
            // standing in for a reply still on its way.
            const bool ok = address32 + count <= 0x10000u &&
                            ReadSampleBlock(drive, address, count, buffers[k].data() + first, stop) &&
                            (done + 1 < total || drive.Settle());
            if (!ok) {
                if (stop.stop_requested()) return FetchStatus::Stopped;
                if (failure) *failure = BlockFailure{k + 1, b, address, count};
                return FetchStatus::Failed;
            }
            ++done;
            if (hooks.afterBlock) hooks.afterBlock();
            if (hooks.progress) hooks.progress(done, total);
        }
        offset += pointsPerChannel;
    }
    return FetchStatus::Completed;
}

}  // namespace hx
