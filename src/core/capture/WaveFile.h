#pragma once
// Waveform files (.wave) and the CSV export of a recording.
//
// A waveform file is one INI section, [Wave], with the keys SamplingPoints,
// SamplingInterval, Points, TypeCHN1..4 and, for active channels only,
// SamplingCHN1..4 holding the channel's items joined without separator;
// lines end in CR LF. Files are written atomically (temporary file, then
// rename), so a failed save never leaves a half-written file behind.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "core/capture/WaveRecording.h"

namespace hx {

// The bytes of a waveform file and of the CSV export.
std::string FormatWaveFile(const WaveRecording& recording);
std::string FormatWaveCsv(const WaveRecording& recording);

// The table for a spreadsheet beside the classic export: a header
// "Time(ms),<channel name>,..." with the active channels' names in the
// interface language (`nameOf`, the source name by default), then one row
// per point with its time and the signed samples; lines end in CR LF.
std::string FormatWaveTableCsv(const WaveRecording& recording,
                               const std::function<std::string(int32_t code)>& nameOf = {});

// A waveform file's bytes to a recording. The numbers are read as the
// classic loader did (at most 5 characters, leading digits, 0 when none,
// defaults for missing keys); each SamplingCHNk is cut to Points x 4
// characters (nothing when Points is 0 or negative) and into items of 4 from
// the start. The lists are read for all four keys, whatever the codes.
WaveRecording ParseWaveFile(std::string_view bytes);
// What keeps a waveform file's bytes from being taken as they stand, for a
// tool that must not turn a damaged file into plausible numbers: a header
// number that is no whole number of its range (the classic reading would cut
// "2147483647" to 21474), an active channel with fewer items than Points (a
// file cut short), an item that is not four hexadecimal digits. "" when the
// file is whole.
std::string WaveFileProblem(std::string_view bytes);

// false with a one-line reason (the system's error text) in *error.
bool SaveWaveFile(const std::string& path, const WaveRecording& recording, std::string* error);
bool ExportWaveCsv(const std::string& path, const WaveRecording& recording, std::string* error);
// The table file starts with a UTF-8 byte-order mark, for spreadsheets.
bool ExportWaveTableCsv(const std::string& path, const WaveRecording& recording, std::string* error);
// Reads only a regular file, and none larger than kMaxWaveFileBytes. strict:
// a file with a WaveFileProblem is refused too.
bool LoadWaveFile(const std::string& path, WaveRecording* recording, std::string* error, bool strict = false);
// Four channels of 65500 points hold about 1 MiB; a file far beyond that is
// no waveform file.
inline constexpr std::size_t kMaxWaveFileBytes = 16u << 20;

}  // namespace hx
