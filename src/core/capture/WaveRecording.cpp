#include "core/capture/WaveRecording.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/util/Text.h"

namespace hx {

bool WaveRecording::Empty() const {
    return std::all_of(lists.begin(), lists.end(), [](const auto& l) { return l.empty(); });
}

void WaveRecording::ClearLists() {
    for (auto& l : lists) l.clear();
}

std::string SampleToItem(float value) {
    // Samples come from 16-bit words; anything else is clamped before the
    // conversion so that it cannot overflow.
    const double v = std::isfinite(value) ? std::clamp<double>(value, -2147483648.0, 2147483647.0) : 0.0;
    const auto bits = static_cast<uint32_t>(static_cast<int32_t>(v));
    char text[16];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(bits & 0xFFFFu));
    return text;
}

void RecordSample(WaveRecording& recording, const std::array<float, 4>& values) {
    for (int k = 0; k < 4; ++k)
        if (recording.codes[k] != 0) recording.lists[k].push_back(SampleToItem(values[k]));
}

void RecordCapture(WaveRecording& recording, const ChannelCodes& codes, uint16_t pointsPerChannel,
                   int16_t intervalUs, const SampleBuffers& samples) {
    recording.pointsPerChannel = pointsPerChannel;
    recording.intervalUs = intervalUs;
    recording.recordedPoints = pointsPerChannel;
    for (int k = 0; k < 4; ++k) recording.codes[k] = codes[k];
    recording.ClearLists();
    for (int k = 0; k < 4; ++k) {
        if (codes[k] == 0) continue;
        auto& list = recording.lists[k];
        list.reserve(pointsPerChannel);
        for (int i = 0; i < pointsPerChannel; ++i)
            list.push_back(SampleToItem(i < static_cast<int>(samples[k].size()) ? samples[k][i] : 0.0f));
    }
}

uint16_t HexToWord(std::string_view item) {
    uint32_t value = 0;
    for (char c : Trim(item)) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else continue;
        value = ((value << 4) | static_cast<uint32_t>(digit)) & 0xFFFFFu;
    }
    return static_cast<uint16_t>(value & 0xFFFFu);
}

int16_t HexToSample(std::string_view item) {
    const int word = HexToWord(item);
    return static_cast<int16_t>(word >= 0x8000 ? word - 65536 : word);
}

RecordedWindow ShowRecordedWindow(const WaveRecording& recording, int start, int count) {
    RecordedWindow w;
    w.start = std::max(start, 0);
    w.shown = std::max(count, 0);
    for (int k = 0; k < 4; ++k) {
        if (recording.codes[k] == 0) continue;
        const int size = static_cast<int>(recording.lists[k].size());
        w.shown = std::min(w.shown, size);
        if (w.start + w.shown > size - 1) w.start = std::max(size - w.shown, 0);
    }
    for (int k = 0; k < 4; ++k) {
        if (recording.codes[k] == 0) continue;
        const auto& list = recording.lists[k];
        auto& out = w.samples[k];
        out.resize(static_cast<size_t>(w.shown));
        for (int i = 0; i < w.shown; ++i) out[i] = HexToSample(list[static_cast<size_t>(w.start + i)]);
    }
    return w;
}

}  // namespace hx
