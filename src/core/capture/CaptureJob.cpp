#include "core/capture/CaptureJob.h"

#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"

namespace hx {

CaptureStatus StatusAfterWait(WaitOutcome waited, const std::string& timedOutText, std::string* message) {
    switch (waited) {
    case WaitOutcome::Complete: return CaptureStatus::Completed;
    case WaitOutcome::Stopped: return CaptureStatus::Stopped;
    case WaitOutcome::TimedOut: *message = timedOutText; return CaptureStatus::TimedOut;
    case WaitOutcome::NoAnswer: *message = Translate(kCaptureTextContext, kNoAnswerText); return CaptureStatus::NoAnswer;
    }
    return CaptureStatus::Completed;
}

CaptureResult RunCapture(DriveHandle& drive, const CaptureRequest& request, std::stop_token stop,
                         const BlockProgress& progress) {
    CaptureResult result;
    result.codes = request.codes;
    result.pointsPerChannel = request.pointsPerChannel;
    result.intervalUs = request.intervalUs;
    result.blocksTotal = CaptureBlockCount(request.codes, request.pointsPerChannel);

    if (stop.stop_requested()) {
        result.status = CaptureStatus::Stopped;
        return result;
    }
    if (request.beforeStart && !request.beforeStart(drive, stop)) {
        result.status = CaptureStatus::NotStarted;
        return result;
    }
    if (request.configure) ConfigureSampling(drive, request.intervalUs, request.codes, request.pointsPerChannel);
    if (request.trigger) {
        switch (StartSampling(drive)) {
        case StartOutcome::Started: break;
        case StartOutcome::NotTaken:
            result.status = CaptureStatus::NotStarted;
            result.message = Translate(kCaptureTextContext, kNotStartedText);
            return result;
        case StartOutcome::NoAnswer:
            result.status = CaptureStatus::NoAnswer;
            result.message = Translate(kCaptureTextContext, kNoAnswerText);
            return result;
        }
    }

    const WaitOutcome waited = request.wait ? request.wait(drive, stop) : WaitSampleComplete(drive, stop);
    result.status = StatusAfterWait(waited, LoadString(50060), &result.message);
    if (result.status != CaptureStatus::Completed) return result;

    FetchHooks hooks;
    hooks.progress = [&](int done, int total) {
        result.blocksDone = done;
        if (progress) progress(done, total);
    };
    if (request.afterBlock) hooks.afterBlock = [&] { request.afterBlock(drive); };
    SampleBuffers buffers;
    switch (FetchCapture(drive, request.codes, request.pointsPerChannel, buffers, stop, hooks, &result.failedBlock)) {
    case FetchStatus::Completed:
        result.samples = std::move(buffers);
        break;
    case FetchStatus::Stopped: result.status = CaptureStatus::Stopped; break;
    case FetchStatus::Failed:
        result.status = CaptureStatus::Failed;
        result.message = FillIn(Translate(kCaptureTextContext, kBlockFailedText),
                                {std::to_string(result.failedBlock.channel), std::to_string(result.failedBlock.block + 1),
                                 std::to_string(result.failedBlock.address)});
        break;
    }
    return result;
}

}  // namespace hx
