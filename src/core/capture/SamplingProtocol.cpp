#include "core/capture/SamplingProtocol.h"

#include <algorithm>
#include <cstring>

#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/params/ParameterTransfer.h"  // SleepUnlessStopped
#include "core/protocol/Registers.h"

namespace hx {
namespace {

constexpr int kReplyHeaderBytes = 3;
constexpr int kReplyTrailerBytes = 2;

bool Write(const SamplingLink& link, uint16_t address, uint16_t value) {
    return link.comm->WriteAddressValue(link.station, address, static_cast<int16_t>(value)) != -1 ||
           link.comm->LastRequestAnswered();
}

// Blocks of one run of count words: full blocks of 50 and a shorter last one.
int BlocksFor(int words) { return (words + kSampleBlockSize - 1) / kSampleBlockSize; }

}  // namespace

SamplingLink SamplingLink::FromGlobals() { return SamplingLink{&theComm, g_station, g_firmwareVersion}; }

bool ReadSamplingLimits(const SamplingLink& link, SamplingLimits* limits) {
    bool answered = true;
    auto read = [&](uint16_t address) {
        const int v = link.comm->ReadAddressValue(link.station, address);
        if (v == -1 && !link.comm->LastRequestAnswered()) answered = false;
        return v;
    };
    limits->sourceMask = static_cast<uint16_t>(read(reg::kSampleSourceMask));
    limits->channelCount = static_cast<int16_t>(read(reg::kSampleChannelCount));
    limits->capacity = static_cast<int16_t>(read(reg::kSampleCapacity));
    return answered;
}

bool ConfigureSampling(const SamplingLink& link, int16_t intervalUs, const ChannelCodes& codes,
                       uint16_t pointsPerChannel) {
    bool answered = Write(link, reg::kSampleInterval, static_cast<uint16_t>(intervalUs));
    for (int k = 0; k < 4; ++k) answered = Write(link, reg::kSampleChannelCode[k], codes[k]) && answered;
    // Older firmware has no points register and always captures 200 points.
    if (link.firmwareVersion >= static_cast<float>(reg::kSampleFirmwareWithPoints))
        answered = Write(link, reg::kSamplePoints, pointsPerChannel) && answered;
    return answered;
}

bool TriggerSampling(const SamplingLink& link) { return Write(link, reg::kSampleTrigger, reg::kSampleTriggerValue); }

StartOutcome StartSampling(const SamplingLink& link) {
    CQXCOM& comm = *link.comm;
    const int before = comm.ReadAddressValue(link.station, reg::kSampleState);
    if (!comm.LastRequestAnswered()) return StartOutcome::NoAnswer;
    if (comm.WriteAddressValue(link.station, reg::kSampleTrigger, static_cast<int16_t>(reg::kSampleTriggerValue)) !=
            -1 ||
        comm.LastRequestAnswered())
        return StartOutcome::Started;
    if (comm.LastRequestExceptionCode() != 0) return StartOutcome::NotTaken;
    if (!comm.LastRequestMayHaveApplied()) return StartOutcome::NoAnswer;
    const int running = comm.ReadAddressValue(link.station, reg::kSampleTrigger);
    if (!comm.LastRequestAnswered()) return StartOutcome::NoAnswer;
    const int state = comm.ReadAddressValue(link.station, reg::kSampleState);
    if (!comm.LastRequestAnswered()) return StartOutcome::NoAnswer;
    return running == reg::kSampleTriggerValue || state != before ? StartOutcome::Started : StartOutcome::NotTaken;
}

WaitOutcome PollRegister(const SamplingLink& link, uint16_t address, const std::function<bool(int16_t)>& done,
                         const PollPolicy& policy, std::stop_token stop) {
    bool lastAnswered = true;
    int silent = 0;
    for (int i = 0; i < policy.polls; ++i) {
        const bool slept = policy.sleep ? policy.sleep(stop, policy.period) : SleepUnlessStopped(stop, policy.period);
        if (!slept || stop.stop_requested()) return WaitOutcome::Stopped;
        const int value = link.comm->ReadAddressValue(link.station, address);
        lastAnswered = value != -1 || link.comm->LastRequestAnswered();
        if (lastAnswered && done(static_cast<int16_t>(value))) return WaitOutcome::Complete;
        silent = lastAnswered ? 0 : silent + 1;
        if (policy.silentPolls > 0 && silent >= policy.silentPolls) return WaitOutcome::NoAnswer;
    }
    return lastAnswered ? WaitOutcome::TimedOut : WaitOutcome::NoAnswer;
}

WaitOutcome WaitSampleComplete(const SamplingLink& link, std::stop_token stop, const PollPolicy& policy) {
    return PollRegister(
        link, reg::kSampleState, [](int16_t v) { return v == reg::kSampleStateComplete; }, policy, stop);
}

int DecodeBlock(const std::vector<uint8_t>& reply, float* out, int maxWords) {
    // The reply goes through a zeroed buffer of the accepted frame size, so an
    // oversized reply can never be read past.
    std::array<uint8_t, kReplyBufferBytes> buffer{};
    const int n = static_cast<int>(std::min<size_t>(reply.size(), buffer.size()));
    if (n > 0) std::memcpy(buffer.data(), reply.data(), static_cast<size_t>(n));
    int stored = 0;
    for (int j = 0; j < n - (kReplyHeaderBytes + kReplyTrailerBytes) && stored < maxWords; j += 2) {
        int word = buffer[kReplyHeaderBytes + j] * 256 + buffer[kReplyHeaderBytes + 1 + j];
        if (word > 32767) word -= 65536;
        out[j / 2] = static_cast<float>(word);
        ++stored;
    }
    return stored;
}

bool ReadSampleBlock(const SamplingLink& link, uint16_t address, uint16_t count, float* out, std::stop_token stop) {
    // The link itself sends a read again after no answer or a damaged reply,
    // having waited out a late one; asking again here would only multiply
    // the time a silent drive takes to be reported.
    if (stop.stop_requested()) return false;
    std::array<float, kReplyBufferBytes / 2> words{};
    const std::vector<uint8_t> reply = link.comm->ReadBigData(link.station, address, count);
    // A reply that carries fewer words than asked for would leave part of
    // the block unknown: it counts as failed, like no reply at all.
    if (DecodeBlock(reply, words.data(), count) != count) return false;
    std::copy_n(words.begin(), count, out);
    return true;
}

int CaptureBlockCount(const ChannelCodes& codes, uint16_t pointsPerChannel) {
    return ActiveChannelCount(codes) * BlocksFor(pointsPerChannel);
}

FetchStatus FetchCapture(const SamplingLink& link, const ChannelCodes& codes, uint16_t pointsPerChannel,
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
            const bool ok = address32 + count <= 0x10000u &&
                            ReadSampleBlock(link, address, count, buffers[k].data() + first, stop);
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
