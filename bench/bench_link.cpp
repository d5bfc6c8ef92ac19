// A whole-table read's worth of block reads (43 blocks of 50 registers)
// from the simulated drive paced at 38400 baud, against the time the same
// bytes take on a real line. Goal: at most 1.10.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/link/CQXCOM.h"
#include "sim/InProcessDrive.h"
#include "BenchGoals.h"

namespace {

constexpr int kBaud = 38400;
constexpr int kBitsPerChar = 11;  // 8 data bits, no parity, 2 stop bits
constexpr int kBlocks = 43;
constexpr int kCount = 50;
constexpr int kRequestBytes = 8;
constexpr int kReplyBytes = 5 + 2 * kCount;
constexpr int kRuns = 7;

uint16_t blockAddress(int k) { return static_cast<uint16_t>(k < 3 ? 50 * k : 30000 + 50 * (k - 3)); }

}  // namespace

int main() {
    hx::sim::DriveOptions options;
    options.databasePath = "-";
    options.baud = kBaud;
    options.bitsPerChar = kBitsPerChar;
    hx::sim::InProcessDrive drive(options);

    CQXCOM comm;
    comm.ConfigCom(drive.DevicePath(), std::to_string(kBaud), "8", "NONE", "2");
    comm.SetReceiveTimeOut(100);
    if (!comm.OpenCom()) {
        std::fprintf(stderr, "cannot open %s: %s\n", drive.DevicePath().c_str(), comm.LastErrorText().c_str());
        return 1;
    }
    comm.ReadBigData(options.station, 0, kCount);  // warm-up

    const double wire = kBlocks * (kRequestBytes + kReplyBytes) * kBitsPerChar / static_cast<double>(kBaud);
    std::vector<double> ratios;
    for (int run = 0; run < kRuns; ++run) {
        int failures = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int k = 0; k < kBlocks; ++k)
            if (comm.ReadBigData(options.station, blockAddress(k), kCount).size() != kReplyBytes) ++failures;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (failures) std::printf("run %d: %d failed reads\n", run, failures);
        ratios.push_back(wall / wire);
        std::printf("run %d: wall %.1f ms, wire %.1f ms, ratio %.3f\n", run, wall * 1e3, wire * 1e3, wall / wire);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("43 block reads of 50 registers at %d baud: ratio best %.3f, median %.3f (goal <= 1.10)\n", kBaud,
                ratios.front(), ratios[ratios.size() / 2]);
    bench::Goals goals;
    goals.AtMost("median ratio to the wire time", ratios[ratios.size() / 2], 1.10);
    return goals.Status();
}
