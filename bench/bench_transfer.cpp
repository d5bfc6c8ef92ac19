// Whole-table read and write at 38400 baud against the simulated drive paced
// as a real line: wall time against the wire time of the frames exchanged
// (request and reply bytes x 11 bits / 38400). Prints both ratios; the goal
// is at most 1.10 for each.

#include <chrono>
#include <cstdio>
#include <vector>

#include "BenchGoals.h"
#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "core/params/ReadAllJob.h"
#include "core/params/TransferPlan.h"
#include "core/writes/WriteAllJob.h"
#include "sim/InProcessDrive.h"

namespace {

constexpr int kBaud = 38400;
constexpr int kBitsPerChar = 11;  // 8 data bits, no parity, 2 stop bits
constexpr uint8_t kStation = 63;
constexpr float kFirmware = 200.0f;
constexpr int kRuns = 3;

// Read holding registers: request 8 bytes, reply 5 + 2 x count.
// Write multiple registers: request 9 + 2 x count, reply 8.
long WireBytes(const std::vector<hx::TransferBlock>& plan, bool write) {
    long bytes = 0;
    for (const auto& b : plan) bytes += write ? (9 + 2 * b.count) + 8 : 8 + (5 + 2 * b.count);
    return bytes;
}

double WireSeconds(long bytes) { return static_cast<double>(bytes) * kBitsPerChar / kBaud; }

// The silence RTU framing keeps before each request: 3.5 characters. A line cannot carry the blocks faster than
// bytes plus these gaps, so the second ratio shows what the software adds.
double SilentIntervalSeconds() {
    return 3.5 * kBitsPerChar / kBaud;
}

struct Wall {
    double best = 1e9, mean = 0;
};

template <class Transfer>
Wall WallSeconds(Transfer transfer, bool* ok) {
    Wall wall;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const hx::TransferResult result = transfer();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (result.status != hx::TransferStatus::Completed) {
            std::fprintf(stderr, "transfer failed: %s\n", result.errorText.c_str());
            *ok = false;
        }
        if (seconds < wall.best) wall.best = seconds;
        wall.mean += seconds / kRuns;
    }
    return wall;
}

}  // namespace

int main() {
    hx::sim::DriveOptions options;
    options.station = kStation;
    options.databasePath = "-";
    options.baud = kBaud;
    options.bitsPerChar = kBitsPerChar;
    hx::sim::InProcessDrive drive(options);

    CQXCOM comm;
    comm.ConfigCom(drive.DevicePath(), std::to_string(kBaud), "8", "NONE", "2");
    comm.SetReceiveTimeOut(200);
    if (!comm.OpenCom()) {
        std::fprintf(stderr, "cannot open %s: %s\n", drive.DevicePath().c_str(), comm.LastErrorText().c_str());
        return 1;
    }
    CParameter table;
    const hx::DriveHandle handle(&comm, kStation, kFirmware);

    bool ok = true;
    const Wall readWall = WallSeconds([&] { return hx::ReadAll(handle, table); }, &ok);
    const Wall writeWall = WallSeconds([&] { return hx::WriteAll(handle, table); }, &ok);

    const auto readPlan = hx::ReadAllPlan(kFirmware);
    const auto writePlan = hx::WriteAllPlan(kFirmware);
    const long readBytes = WireBytes(readPlan, false);
    const long writeBytes = WireBytes(writePlan, true);
    const double readWire = WireSeconds(readBytes);
    const double writeWire = WireSeconds(writeBytes);

    std::printf("transfer at %d baud, %d bits per character, %d runs\n", kBaud, kBitsPerChar, kRuns);
    const char* row = "%-9s: %3zu blocks, %5ld bytes, wire %.3f s, wall best %.3f s mean %.3f s, "
                      "ratio best %.3f mean %.3f; with silent intervals %.3f s, ratio %.3f\n";
    const double readFloor = readWire + readPlan.size() * SilentIntervalSeconds();
    const double writeFloor = writeWire + writePlan.size() * SilentIntervalSeconds();
    std::printf(row, "read all", readPlan.size(), readBytes, readWire, readWall.best, readWall.mean,
                readWall.best / readWire, readWall.mean / readWire, readFloor, readWall.mean / readFloor);
    std::printf(row, "write all", writePlan.size(), writeBytes, writeWire, writeWall.best, writeWall.mean,
                writeWall.best / writeWire, writeWall.mean / writeWire, writeFloor, writeWall.mean / writeFloor);
    std::printf("goal: ratio <= 1.10 for both\n");
    bench::Goals goals;
    goals.AtMost("read all ratio (mean)", readWall.mean / readWire, 1.10);
    goals.AtMost("write all ratio (mean)", writeWall.mean / writeWire, 1.10);
    if (!ok) goals.Missed("a transfer failed");
    return goals.Status();
}
