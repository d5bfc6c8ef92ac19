#include "core/capture/CaptureJob.h"

#include "core/i18n/StringTable.h"

namespace hx {

std::string FormatMessage(std::string text, std::initializer_list<long> args) {
    int n = 1;
    for (long a : args) {
        std::string mark(1, '%');
        mark += std::to_string(n++);
        const std::string value = std::to_string(a);
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + value.size()))
            text.replace(at, mark.size(), value);
    }
    return text;
}

CaptureResult RunCapture(const SamplingLink& link, const CaptureRequest& request, std::stop_token stop,
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
    if (request.configure) ConfigureSampling(link, request.intervalUs, request.codes, request.pointsPerChannel);
    if (request.trigger) {
        switch (StartSampling(link)) {
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

    const WaitOutcome waited = request.wait ? request.wait(link, stop) : WaitSampleComplete(link, stop);
    switch (waited) {
    case WaitOutcome::Complete: break;
    case WaitOutcome::Stopped: result.status = CaptureStatus::Stopped; return result;
    case WaitOutcome::TimedOut:
        result.status = CaptureStatus::TimedOut;
        result.message = LoadString(50060);
        return result;
    case WaitOutcome::NoAnswer:
        result.status = CaptureStatus::NoAnswer;
        result.message = Translate(kCaptureTextContext, kNoAnswerText);
        return result;
    }

    FetchHooks hooks;
    hooks.progress = [&](int done, int total) {
        result.blocksDone = done;
        if (progress) progress(done, total);
    };
    if (request.afterBlock) hooks.afterBlock = [&] { request.afterBlock(link); };
    SampleBuffers buffers;
    switch (FetchCapture(link, request.codes, request.pointsPerChannel, buffers, stop, hooks, &result.failedBlock)) {
    case FetchStatus::Completed:
        result.samples = std::move(buffers);
        break;
    case FetchStatus::Stopped: result.status = CaptureStatus::Stopped; break;
    case FetchStatus::Failed:
        result.status = CaptureStatus::Failed;
        result.message = FormatMessage(Translate(kCaptureTextContext, kBlockFailedText),
                                       {result.failedBlock.channel, result.failedBlock.block + 1,
                                        result.failedBlock.address});
        break;
    }
    return result;
}

bool CaptureJob::start(CaptureRequest request, CaptureCallbacks callbacks, SamplingLink link) {
    BlockProgress progress = std::move(callbacks.progress);
    auto finished = std::move(callbacks.finished);
    return m_worker.run<CaptureResult>(
        [link, request = std::move(request), progress = std::move(progress)](std::stop_token stop) {
            return RunCapture(link, request, stop, progress);
        },
        [finished = std::move(finished)](const CaptureResult& result) {
            if (finished) finished(result);
        });
}

}  // namespace hx
