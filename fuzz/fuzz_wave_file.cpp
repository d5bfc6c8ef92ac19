// The waveform file loader on arbitrary bytes: parsing, showing the loaded
// recording and writing it back out as a file and as CSV must neither crash
// nor allocate beyond what the bytes hold.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/capture/WaveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const hx::WaveRecording recording = hx::ParseWaveFile(bytes);
    // Loading shows the recording with the file's own point count.
    const hx::RecordedWindow shown = hx::ShowRecordedWindow(recording, 0, recording.pointsPerChannel);
    (void)shown;
    const std::string file = hx::FormatWaveFile(recording);
    const std::string csv = hx::FormatWaveCsv(recording);
    (void)file;
    (void)csv;
    return 0;
}
