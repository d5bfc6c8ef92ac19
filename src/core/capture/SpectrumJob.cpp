#include "core/capture/SpectrumJob.h"

#include <algorithm>

#include "core/analysis/SpectrumPeaks.h"
#include "core/i18n/Translate.h"
#include "core/protocol/Registers.h"

namespace hx {

uint16_t SpectrumSettingsWord(uint16_t frequencyCode, uint16_t pointCountCode) {
    return static_cast<uint16_t>((frequencyCode & 0xF) | ((pointCountCode & 0xFFF) << 4));
}

double SpectrumBinFrequency(int bin) { return bin * 4000.0 / 2048.0; }

int SpectrumAxisEnd(int count) { return count * 4000 / 2048; }

WaitOutcome WaitSpectrumReady(DriveHandle& drive, std::stop_token stop, const PollPolicy& policy) {
    return PollRegister(
        drive, reg::kSpectrumStatus, [](int16_t v) { return (v & reg::kSpectrumReadyBit) != 0; }, policy, stop);
}

SpectrumResult RunSpectrum(DriveHandle& drive, const SpectrumRequest& request, std::stop_token stop,
                           const BlockProgress& progress) {
    SpectrumResult result;
    const int count = std::min<int>(request.resultCount, reg::kSpectrumResultMax);
    const int fullBlocks = count / kSampleBlockSize;
    const int remainder = count % kSampleBlockSize;
    result.blocksTotal = fullBlocks + (remainder ? 1 : 0);
    if (stop.stop_requested()) {
        result.status = CaptureStatus::Stopped;
        return result;
    }

    drive.Write(reg::kSpectrumSettings, SpectrumSettingsWord(request.frequencyCode, request.pointCountCode));
    drive.Write(reg::kSpectrumStart, reg::kSpectrumStartValue);

    result.status = StatusAfterWait(WaitSpectrumReady(drive, stop, request.wait),
                                    Translate(kCaptureTextContext, kSpectrumTimeoutText), &result.message);
    if (result.status != CaptureStatus::Completed) return result;

    std::vector<float> bins(static_cast<size_t>(count), 0.0f);
    for (int b = 0; b < result.blocksTotal; ++b) {
        if (stop.stop_requested()) {
            result.status = CaptureStatus::Stopped;
            return result;
        }
        const int first = b * kSampleBlockSize;
        const auto n = static_cast<uint16_t>(b < fullBlocks ? kSampleBlockSize : remainder);
        const auto address = static_cast<uint16_t>(reg::kSpectrumResultFirst + first);
        // The last block counts only once the link has settled (a copy may
        // have stood in for its reply on a line that repeats frames).
        if (!ReadSampleBlock(drive, address, n, bins.data() + first, stop) ||
            (b + 1 == result.blocksTotal && !drive.Settle())) {
            if (stop.stop_requested()) {
                result.status = CaptureStatus::Stopped;
                return result;
            }
            result.status = CaptureStatus::Failed;
            result.failedBlock = BlockFailure{0, b, address, n};
            result.message = FillIn(Translate(kCaptureTextContext, kSpectrumBlockFailedText),
                                    {std::to_string(b + 1), std::to_string(address)});
            return result;
        }
        result.blocksDone = b + 1;
        if (progress) progress(result.blocksDone, result.blocksTotal);
    }
    result.bins = std::move(bins);
    return result;
}

SpectrumResult RunAveragedSpectrum(DriveHandle& drive, const SpectrumRequest& request, std::stop_token stop,
                                   const BlockProgress& progress) {
    const int n = std::clamp(request.averages, 1, analysis::kMaxAverages);
    analysis::SpectrumAverage average;
    SpectrumResult result;
    for (int k = 0; k < n; ++k) {
        BlockProgress each;
        if (progress)
            each = [&progress, k, n](int done, int total) { progress(k * total + done, n * total); };
        result = RunSpectrum(drive, request, stop, each);
        if (result.status != CaptureStatus::Completed) return result;
        average.Add(result.bins);
    }
    result.bins = average.Mean();
    return result;
}

}  // namespace hx
