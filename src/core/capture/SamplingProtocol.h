#pragma once
// The drive's sampling protocol: select sources and interval, start a
// capture, poll until the drive reports it complete, and fetch the points in
// blocks of 50 registers. Every call goes to one drive through the given
// handle; none of them touches program-wide state.
//
// The same block reader serves the spectrum result (SpectrumJob).

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

#include "core/capture/ChannelSources.h"
#include "core/link/DriveHandle.h"

namespace hx {

// Words per block read.
inline constexpr int kSampleBlockSize = 50;

// The drive's limits, read before a capture is configured.
struct SamplingLimits {
    uint16_t sourceMask = 0;   // 52
    int16_t channelCount = 0;  // 99 (a window offers channel 1 only unless 2..4)
    int16_t capacity = 0;      // 136, points for all channels together
};
// False when one of the three reads got no answer.
bool ReadSamplingLimits(DriveHandle& drive, SamplingLimits* limits);

// Interval, channel 1..4 codes, then (firmware 200.0 or later only) points
// per channel, in that order. Returns whether every write was answered; the
// capture goes on either way, as the completion wait notices a silent drive.
bool ConfigureSampling(DriveHandle& drive, int16_t intervalUs, const ChannelCodes& codes,
                       uint16_t pointsPerChannel);
// Starts a capture; false when the write got no answer.
bool TriggerSampling(DriveHandle& drive);

enum class StartOutcome {
    Started,
    NotTaken,  // the drive refused the start, or its reply was lost and the drive shows no capture
    NoAnswer,  // the drive does not answer
};
// Starts a capture and makes sure the drive took it. A start whose reply was
// lost is never sent again (a second start would cut the first capture
// short): the drive is asked instead. While a capture runs it reads 32 as 1
// and 149 as 0; once it is over, 149 reads 1. Neither moving from what 149
// read before the start means the drive did not take it.
StartOutcome StartSampling(DriveHandle& drive);

enum class WaitOutcome {
    Complete,
    TimedOut,  // the drive answered but never reported completion
    NoAnswer,  // the last poll got no answer: a silent drive, not a slow one
    Stopped,
};

// How a completion wait paces its polls. sleep returns false when the stop
// token ends it early; tests substitute one that advances a stepped clock.
using PollSleep = std::function<bool(std::stop_token, std::chrono::milliseconds)>;
struct PollPolicy {
    int polls = 60;
    std::chrono::milliseconds period{200};
    // A drive that leaves this many polls in a row unanswered is not going
    // to report anything: the wait ends there as NoAnswer instead of making
    // the user sit out every poll (each one costing a reply time-out too).
    int silentPolls = 10;
    PollSleep sleep;  // empty: really sleep
};

// Polls address: sleep, read, until done(value), the polls run out, or
// silentPolls polls in a row go unanswered.
WaitOutcome PollRegister(DriveHandle& drive, uint16_t address, const std::function<bool(int16_t)>& done,
                         const PollPolicy& policy, std::stop_token stop);

// The waveform window's completion wait: up to 60 polls of 200 ms for
// register 149 to read 1 (about 12 s).
WaitOutcome WaitSampleComplete(DriveHandle& drive, std::stop_token stop = {}, const PollPolicy& policy = {});

// Reads count (at most kSampleBlockSize) registers from address into
// out[0..count), each word taken signed. False when the read failed (the
// link has already asked again); out is then left as it was.
bool ReadSampleBlock(DriveHandle& drive, uint16_t address, uint16_t count, float* out,
                     std::stop_token stop = {});

// Where a fetch gave up.
struct BlockFailure {
    int channel = 0;  // 1..4; 0 for the spectrum result
    int block = 0;    // 0-based within the channel (or the result)
    uint16_t address = 0;
    uint16_t count = 0;
};

enum class FetchStatus { Completed, Stopped, Failed };

using SampleBuffers = std::array<std::vector<float>, 4>;
using BlockProgress = std::function<void(int done, int total)>;

struct FetchHooks {
    BlockProgress progress;           // after each block: (blocks read, blocks in all)
    std::function<void()> afterBlock;  // after each block, on the fetching thread
};

// Blocks a capture of these codes and points takes: points / 50 per active channel.
int CaptureBlockCount(const ChannelCodes& codes, uint16_t pointsPerChannel);

// Fetches a completed capture: for each active channel in order 1..4, blocks
// of 50 from 150 + offset + 50 b; the offset grows by the points per channel
// after each active channel only. buffers are resized to pointsPerChannel
// and zeroed first (inactive channels stay zero). On Failed, failure names
// the block; the buffers must then not be shown.
FetchStatus FetchCapture(DriveHandle& drive, const ChannelCodes& codes, uint16_t pointsPerChannel,
                         SampleBuffers& buffers, std::stop_token stop, const FetchHooks& hooks,
                         BlockFailure* failure);

}  // namespace hx
