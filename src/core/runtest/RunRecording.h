#pragma once
// A run-test capture saved as the waveform window saves its recordings: the
// `.wave` text file or the CSV table, chosen by the file's extension, so
// either opens wherever a recording of the waveform window does.

#include <string>

#include "core/runtest/RunCapture.h"

namespace hx::runtest {

// The file's bytes: [Wave] with SamplingPoints, SamplingInterval, Points,
// TypeCHN1..4 and SamplingCHNk of each active channel (four lower-case hex
// digits per sample), lines ending CR LF.
std::string WaveFileText(const CaptureOutcome& capture, int intervalUs);
// PerCHnPoints, SampleInterval, RealSamplePoints, CHN1..4, a header row and
// one row per point (unsigned 16-bit values, " " for a channel that is off).
std::string CsvText(const CaptureOutcome& capture, int intervalUs);

// ".csv" (any case) writes the table, anything else the waveform file;
// replaced atomically. false with a message on failure.
bool SaveRecording(const std::string& path, const CaptureOutcome& capture, int intervalUs, std::string* error);

}  // namespace hx::runtest
