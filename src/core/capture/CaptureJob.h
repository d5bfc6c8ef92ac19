#pragma once
// One capture from the drive as a job on a worker thread: configure, start,
// wait for completion, fetch every block, hand over the four sample buffers.
//
// Every capture of the program takes this path. The waveform window runs it
// as it is. The run test writes its motion's start (which configures and
// triggers the sampling itself) in the before-start step, waits its own way
// (its stop is sent between the polls) and sends a pending stop after each
// block. The job takes all of this in its request when it starts and never
// reads program-wide state afterwards.
//
// Callbacks run on the worker thread; a window marshals them to its own.
// The job's destructor stops and joins the worker, so a closing window is
// never written into by a capture that outlives it.

#include <functional>
#include <initializer_list>
#include <string>

#include "core/capture/SamplingProtocol.h"
#include "core/i18n/StringTable.h"
#include "core/capture/DriveJob.h"

namespace hx {

// A completion wait: returns when the drive reports the capture complete,
// the polls run out, the drive falls silent or a stop is requested.
using CompletionWait = std::function<WaitOutcome(DriveHandle&, std::stop_token)>;

struct CaptureRequest {
    ChannelCodes codes{};             // at least one not 0
    uint16_t pointsPerChannel = 200;  // multiples of 100 from a window's list
    int16_t intervalUs = 100;
    // Runs on the worker before anything else is sent (the run test's start
    // writes). False ends the capture as NotStarted with nothing more sent;
    // the step keeps its own account of why.
    std::function<bool(DriveHandle&, std::stop_token)> beforeStart;
    bool configure = true;  // ConfigureSampling before the start
    bool trigger = true;    // StartSampling before the wait
    CompletionWait wait;    // empty: WaitSampleComplete
    // Runs on the worker after each block read (the run test writes its stop
    // command here, so only this thread uses the link while blocks are read).
    std::function<void(DriveHandle&)> afterBlock;
};

enum class CaptureStatus {
    Completed,
    Stopped,   // a stop was requested; nothing is handed over
    TimedOut,  // the drive answered but did not complete in time
    NoAnswer,  // the drive did not answer the completion polls
    Failed,    // a block could not be read even when asked again
    NotStarted,  // the drive did not take the start (or beforeStart refused it)
};

struct CaptureResult {
    CaptureStatus status = CaptureStatus::Completed;
    // For anything but Completed and Stopped: the message to show, in the
    // current language.
    std::string message;
    ChannelCodes codes{};
    uint16_t pointsPerChannel = 0;
    int16_t intervalUs = 0;
    // pointsPerChannel values each; only when Completed (inactive channels
    // hold zeros). Empty otherwise, so nothing unread can be plotted.
    SampleBuffers samples;
    int blocksDone = 0;
    int blocksTotal = 0;
    BlockFailure failedBlock;  // when Failed
};

// The message texts; windows and tests find them in these contexts.
inline constexpr const char* kCaptureTextContext = "Capture";
inline constexpr const char* kNoAnswerText = QT_TRANSLATE_NOOP("Capture", "驱动器没有应答，请检查通信线路!");
inline constexpr const char* kNotStartedText =
    QT_TRANSLATE_NOOP("Capture", "驱动器没有接受采样启动命令，本次没有采样。");
// %1 channel, %2 block (from 1), %3 its first register.
inline constexpr const char* kBlockFailedText =
    QT_TRANSLATE_NOOP("Capture", "采样数据读取失败：通道 %1 第 %2 块（地址 %3）无法读取，本次采样作废。");
// Same arguments for the spectrum result: %1 block (from 1), %2 its first register.
inline constexpr const char* kSpectrumBlockFailedText =
    QT_TRANSLATE_NOOP("Capture", "频谱数据读取失败：第 %1 块（地址 %2）无法读取。");

// How a request goes on after its completion or ready wait: Completed when
// the wait completed; otherwise the status that ends it, with the message to
// show in *message (timedOutText for a time-out, nothing for a stop).
CaptureStatus StatusAfterWait(WaitOutcome waited, const std::string& timedOutText, std::string* message);

// The whole capture on the calling thread (the command-line tool uses it
// directly). progress(k, n) follows each block.
CaptureResult RunCapture(DriveHandle& drive, const CaptureRequest& request, std::stop_token stop = {},
                         const BlockProgress& progress = {});

using CaptureCallbacks = DriveJobCallbacks<CaptureResult>;

class CaptureJob : public DriveJob<CaptureRequest, CaptureResult, RunCapture> {};

}  // namespace hx
