#pragma once
// The recording of the last capture: per channel a list of items of four
// lower-case hexadecimal digits, each the low 16 bits of one sample, with
// the channel codes, interval and point counts that belong to it. This is
// what waveform files and the CSV export hold.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/SamplingProtocol.h"

namespace hx {

struct WaveRecording {
    uint16_t pointsPerChannel = 200;  // "SamplingPoints"
    int16_t intervalUs = 100;         // "SamplingInterval"
    int32_t recordedPoints = 200;     // "Points"
    std::array<int32_t, 4> codes{};   // "TypeCHN1".."TypeCHN4"; 0 = channel off
    std::array<std::vector<std::string>, 4> lists;

    // True when all four lists are empty (nothing to save or export).
    bool Empty() const;
    void ClearLists();
};

// One sample as an item: truncated to an integer, its low 16 bits as four
// lower-case hex digits (-5 gives "fffb", 100 gives "0064").
std::string SampleToItem(float value);
// Appends one point index's values to the lists of the active channels.
void RecordSample(WaveRecording& recording, const std::array<float, 4>& values);
// Replaces the recording with a completed capture.
void RecordCapture(WaveRecording& recording, const ChannelCodes& codes, uint16_t pointsPerChannel,
                   int16_t intervalUs, const SampleBuffers& samples);

// An item back to its sample: blanks trimmed, only hex digits kept, read as
// hexadecimal; 0x8000 and above count as negative ("fffb" gives -5). An
// item with no digits gives 0; one with more than four keeps its low 16 bits.
int16_t HexToSample(std::string_view item);
// The item as the unsigned number the CSV shows ("fffb" gives 65531).
uint16_t HexToWord(std::string_view item);

// What a window shows of a recording: the samples of points start ..
// start + shown - 1 of each active channel, shown no larger than the
// shortest active list, start moved back so the window fits in the lists.
struct RecordedWindow {
    int start = 0;
    int shown = 0;
    SampleBuffers samples;  // shown values per active channel; empty for inactive ones
};
RecordedWindow ShowRecordedWindow(const WaveRecording& recording, int start, int count);

}  // namespace hx
