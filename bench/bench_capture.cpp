// Capture figures:
//  - fetch of 4 channels x 2000 points from the simulated drive paced as a
//    real line at 38400 and 115200 baud: wall time against the wire time of
//    the same frames (request 8 bytes, reply 5 + 2 x 50, 11 bits a
//    character). Goal: ratio at most 1.05.
//  - save and load of a full waveform file (4 x 2000 items), in ms.
// Prints its figures; run it by hand (build/release/bench/bin/bench_capture).

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchGoals.h"
#include "core/capture/CaptureJob.h"
#include "core/capture/WaveFile.h"
#include "core/link/CQXCOM.h"
#include "sim/InProcessDrive.h"

namespace {

constexpr int kBitsPerChar = 11;  // 8 data bits, no parity, 2 stop bits
constexpr uint8_t kStation = 63;
constexpr uint16_t kPoints = 2000;
constexpr hx::ChannelCodes kCodes = {1, 2, 32, 256};
constexpr int kRuns = 3;
bench::Goals g_goals;

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool BenchFetch(int baud) {
    hx::sim::DriveOptions options;
    options.station = kStation;
    options.databasePath = "-";
    options.baud = baud;
    options.bitsPerChar = kBitsPerChar;
    hx::sim::InProcessDrive drive(options);

    CQXCOM comm;
    comm.ConfigCom(drive.DevicePath(), std::to_string(baud), "8", "NONE", "2");
    comm.SetReceiveTimeOut(200);
    if (!comm.OpenCom()) {
        std::fprintf(stderr, "cannot open %s: %s\n", drive.DevicePath().c_str(), comm.LastErrorText().c_str());
        return false;
    }
    hx::DriveHandle handle(&comm, kStation, 200.0f);
    hx::ConfigureSampling(handle, 100, kCodes, kPoints);
    hx::TriggerSampling(handle);
    if (hx::WaitSampleComplete(handle) != hx::WaitOutcome::Complete) {
        std::fprintf(stderr, "the capture did not complete at %d baud\n", baud);
        return false;
    }

    const int blocks = hx::CaptureBlockCount(kCodes, kPoints);
    const long bytes = blocks * (8L + 5 + 2 * hx::kSampleBlockSize);
    const double wire = static_cast<double>(bytes) * kBitsPerChar / baud;
    // RTU keeps 3.5 characters of silence before each frame.
    const double floor = wire + blocks * 2 * 3.5 * kBitsPerChar / baud;
    double best = 1e9, mean = 0;
    for (int run = 0; run < kRuns; ++run) {
        hx::SampleBuffers buffers;
        hx::BlockFailure failure;
        const auto start = std::chrono::steady_clock::now();
        const auto status = hx::FetchCapture(handle, kCodes, kPoints, buffers, {}, {}, &failure);
        const double seconds = Since(start);
        if (status != hx::FetchStatus::Completed) {
            std::fprintf(stderr, "fetch failed at block %d of channel %d\n", failure.block + 1, failure.channel);
            return false;
        }
        best = std::min(best, seconds);
        mean += seconds / kRuns;
    }
    std::printf("fetch 4 x %u points at %6d baud: %d blocks, %ld bytes, wire %.3f s, wall best %.3f s mean %.3f s, "
                "ratio best %.3f mean %.3f; with silent intervals %.3f s, ratio %.3f\n",
                kPoints, baud, blocks, bytes, wire, best, mean, best / wire, mean / wire, floor, mean / floor);
    g_goals.AtMost(baud == 38400 ? "fetch ratio (mean) at 38400 baud" : "fetch ratio (mean) at 115200 baud", mean / wire,
                   1.05);
    return true;
}

bool BenchFile() {
    hx::WaveRecording recording;
    recording.pointsPerChannel = kPoints;
    recording.recordedPoints = kPoints;
    for (int k = 0; k < 4; ++k) recording.codes[k] = kCodes[k];
    for (int i = 0; i < kPoints; ++i)
        hx::RecordSample(recording, {static_cast<float>(i), static_cast<float>(-i), static_cast<float>(i * 7),
                                     static_cast<float>(310 + i % 5)});
    std::string folder = (std::filesystem::temp_directory_path() / "halvex-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return false;
    const std::string path = folder + "/full.wave";
    double save = 1e9, load = 1e9;
    bool ok = true;
    for (int run = 0; run < 10 && ok; ++run) {
        std::string error;
        auto start = std::chrono::steady_clock::now();
        ok = hx::SaveWaveFile(path, recording, &error);
        save = std::min(save, Since(start));
        hx::WaveRecording back;
        start = std::chrono::steady_clock::now();
        ok = ok && hx::LoadWaveFile(path, &back, &error) && back.lists == recording.lists;
        load = std::min(load, Since(start));
        if (!ok) std::fprintf(stderr, "file round trip failed: %s\n", error.c_str());
    }
    std::printf("waveform file 4 x %u items (%ju bytes): save %.2f ms, load %.2f ms (best of 10)\n", kPoints,
                static_cast<uintmax_t>(std::filesystem::file_size(path)), save * 1e3, load * 1e3);
    std::filesystem::remove_all(folder);
    return ok;
}

}  // namespace

int main() {
    bool ok = BenchFile();
    ok = BenchFetch(38400) && ok;
    ok = BenchFetch(115200) && ok;
    std::printf("goal: fetch ratio <= 1.05\n");
    if (!ok) g_goals.Missed("a run failed");
    return g_goals.Status();
}
