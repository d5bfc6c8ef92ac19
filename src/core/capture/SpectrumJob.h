#pragma once
// The drive's spectrum: the drive samples a signal and transforms it itself;
// the program writes the request settings, starts it, waits for the ready
// bit and fetches the magnitudes, one signed word per frequency bin.
//
// Runs on a worker thread like a capture; callbacks run on that thread.

#include <functional>
#include <string>
#include <vector>

#include "core/capture/CaptureJob.h"

namespace hx {

struct SpectrumRequest {
    // Settings word codes: frequency code 2 = 4 kHz, point-count code 1 =
    // 2048 points, which give 1024 bins of 4000 / 2048 Hz.
    uint16_t frequencyCode = 2;
    uint16_t pointCountCode = 1;
    uint16_t resultCount = 1024;  // bins fetched, at most reg::kSpectrumResultMax
    PollPolicy wait;              // 60 polls of 200 ms
    int averages = 1;             // requests whose magnitudes are averaged, 1..16
};

// (frequency code AND 0xF) OR (point-count code AND 0xFFF) << 4: 18 for the defaults.
uint16_t SpectrumSettingsWord(uint16_t frequencyCode, uint16_t pointCountCode);
// The frequency of a bin in hertz, bin x 4000 / 2048.
double SpectrumBinFrequency(int bin);
// The end of the frequency axis for count bins: count x 4000 / 2048, rounded
// toward zero (2000 for 1024).
int SpectrumAxisEnd(int count);

// Ready wait: up to 60 polls of 200 ms until bit 3 of register 496 is set.
WaitOutcome WaitSpectrumReady(DriveHandle& drive, std::stop_token stop = {}, const PollPolicy& policy = {});

struct SpectrumResult {
    CaptureStatus status = CaptureStatus::Completed;
    std::string message;  // for TimedOut, NoAnswer and Failed, in the current language
    std::vector<float> bins;  // resultCount values when Completed, empty otherwise
    int blocksDone = 0;
    int blocksTotal = 0;
    BlockFailure failedBlock;
};

inline constexpr const char* kSpectrumTimeoutText = QT_TRANSLATE_NOOP("Capture", "查询超时，请降低采样点数!");

// The whole request on the calling thread: 409 = settings, 412 = 0x6600,
// the ready wait, then blocks of 50 from 8192 and one for the remainder.
SpectrumResult RunSpectrum(DriveHandle& drive, const SpectrumRequest& request, std::stop_token stop = {},
                           const BlockProgress& progress = {});

// The request `averages` times, one after the other, and the mean of their
// magnitudes bin by bin; progress counts the blocks of all of them. The
// first request that does not complete ends it with its outcome.
SpectrumResult RunAveragedSpectrum(DriveHandle& drive, const SpectrumRequest& request,
                                   std::stop_token stop = {}, const BlockProgress& progress = {});

using SpectrumCallbacks = DriveJobCallbacks<SpectrumResult>;

// A second start waits for the first to end (start returns false meanwhile).
class SpectrumJob : public DriveJob<SpectrumRequest, SpectrumResult, RunAveragedSpectrum> {};

}  // namespace hx
