// A drive that answers late: for each delay, as a multiple of the reply
// time-out, reads of registers holding distinct values, one after the other
// in one process and as separate halvex-cli processes. Prints how many were
// answered right, how many failed, and how many reported success with a
// value that belongs to another request (the goal is none), then what a
// time-out costs: an unanswered read followed by the next read, and an
// unanswered halvex-cli read as a whole process.
//
//   bench_late_reply [RUNS]     default 8 reads per delay and mode

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchGoals.h"
#include "core/link/CQXCOM.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"

namespace {

constexpr uint8_t kStation = 5;
constexpr int kTimeoutMs = 100;
constexpr const char* kBaud = "38400";
// Single reads go round these registers; blocks alternate between two bases.
constexpr uint16_t kSingles[] = {9, 10, 11, 12};
constexpr uint16_t kBlocks[] = {30000, 30050};
constexpr uint16_t kBlockCount = 50;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

uint16_t ValueAt(uint16_t address) { return static_cast<uint16_t>(address < 150 ? 1000 + address : address - 20000); }

hx::sim::DriveOptions Options() {
    hx::sim::DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    o.baud = 38400;
    return o;
}

void Fill(hx::sim::InProcessDrive& drive) {
    for (uint16_t a : kSingles) drive.Drive().SetRam(a, ValueAt(a));
    for (uint16_t base : kBlocks)
        for (uint16_t k = 0; k < kBlockCount; ++k)
            drive.Drive().SetRam(static_cast<uint16_t>(base + k), ValueAt(static_cast<uint16_t>(base + k)));
}

struct Tally {
    int runs = 0, ok = 0, failed = 0, wrong = 0;
    double failedMs = 0;  // wall time of the failed runs together
};

void Open(CQXCOM& comm, const std::string& device) {
    comm.ConfigCom(device, kBaud, "8", "NONE", "2");
    comm.SetReceiveTimeOut(kTimeoutMs);
    if (!comm.OpenCom()) {
        std::fprintf(stderr, "cannot open %s: %s\n", device.c_str(), comm.LastErrorText().c_str());
        std::exit(1);
    }
}

// One process: a single read and a block read per run, each counted.
Tally InProcess(hx::sim::InProcessDrive& drive, int runs) {
    Tally t;
    CQXCOM comm;
    Open(comm, drive.DevicePath());
    for (int i = 0; i < runs; ++i) {
        const uint16_t a = kSingles[i % 4];
        auto start = Clock::now();
        const int v = comm.ReadAddressValue(kStation, a);
        ++t.runs;
        if (!comm.LastRequestAnswered()) {
            ++t.failed;
            t.failedMs += MsSince(start);
        } else {
            ++(static_cast<uint16_t>(v) == ValueAt(a) ? t.ok : t.wrong);
        }
        const uint16_t base = kBlocks[i % 2];
        start = Clock::now();
        const auto frame = comm.ReadBigData(kStation, base, kBlockCount);
        ++t.runs;
        if (frame.empty()) {
            ++t.failed;
            t.failedMs += MsSince(start);
            continue;
        }
        bool same = true;
        for (uint16_t k = 0; k < kBlockCount; ++k)
            same = same && ((frame[3 + 2 * k] << 8) | frame[4 + 2 * k]) == ValueAt(static_cast<uint16_t>(base + k));
        ++(same ? t.ok : t.wrong);
    }
    comm.CloseCom();
    return t;
}

// Runs halvex-cli and returns its exit status and standard output.
int RunCli(const std::string& args, std::string* out) {
    const std::string command = std::string(HALVEX_BIN_DIR) + "/halvex-cli " + args + " 2>/dev/null";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return -1;
    char buffer[256];
    out->clear();
    while (std::fgets(buffer, sizeof buffer, p)) *out += buffer;
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Separate processes: each run one halvex-cli read of the next register.
Tally AcrossProcesses(hx::sim::InProcessDrive& drive, int runs) {
    Tally t;
    for (int i = 0; i < runs; ++i) {
        const uint16_t a = kSingles[i % 4];
        std::string out;
        const auto start = Clock::now();
        const int status = RunCli("--port " + drive.DevicePath() + " --baud " + kBaud + " --station " +
                                      std::to_string(kStation) + " --timeout " + std::to_string(kTimeoutMs) +
                                      " read " + std::to_string(a),
                                  &out);
        ++t.runs;
        if (status != 0) {
            ++t.failed;
            t.failedMs += MsSince(start);
            continue;
        }
        const std::string expected = std::to_string(a) + "=" + std::to_string(static_cast<int16_t>(ValueAt(a))) + "\n";
        ++(out == expected ? t.ok : t.wrong);
    }
    return t;
}

int g_wrong = 0;  // the goal is none

void Print(double factor, const char* mode, const Tally& t) {
    g_wrong += t.wrong;
    std::printf("%5.1f x %4d ms  %-9s  runs %3d  right %3d  failed %3d  wrong with success %3d  %8s\n", factor,
                static_cast<int>(factor * kTimeoutMs), mode, t.runs, t.ok, t.failed, t.wrong,
                t.failed ? (std::to_string(static_cast<int>(t.failedMs / t.failed)) + " ms/fail").c_str() : "");
    std::fflush(stdout);
}

// What a time-out costs: a read the drive never answers and the next read
// (which may go only once the first one's reply can no longer come), in one
// process; and an unanswered halvex-cli read as a whole process.
void TimeOutCost() {
    hx::sim::InProcessDrive drive(Options());
    Fill(drive);
    CQXCOM comm;
    Open(comm, drive.DevicePath());
    auto start = Clock::now();
    comm.ReadAddressValue(kStation, kSingles[2]);
    const double cleanMs = MsSince(start);
    drive.Server().SetFaults(1.0, 0, 0);
    start = Clock::now();
    comm.ReadAddressValue(kStation, kSingles[0]);
    const double failMs = MsSince(start);
    drive.Server().SetFaults(0, 0, 0);
    start = Clock::now();
    comm.ReadAddressValue(kStation, kSingles[1]);
    const double nextMs = MsSince(start);
    comm.CloseCom();

    drive.Server().SetFaults(1.0, 0, 0);
    std::string out;
    start = Clock::now();
    RunCli("--port " + drive.DevicePath() + " --baud " + kBaud + " --station " + std::to_string(kStation) +
               " --timeout " + std::to_string(kTimeoutMs) + " read 9",
           &out);
    const double processMs = MsSince(start);
    drive.Server().SetFaults(0, 0, 0);
    start = Clock::now();
    RunCli("--port " + drive.DevicePath() + " --baud " + kBaud + " --station " + std::to_string(kStation) +
               " --timeout " + std::to_string(kTimeoutMs) + " read 10",
           &out);
    const double nextProcessMs = MsSince(start);
    std::printf("time-out %d ms: an answered read %.1f ms; an unanswered read (with its retries) %.0f ms, the next "
                "read %.0f ms; an unanswered halvex-cli read %.0f ms, the next halvex-cli read %.0f ms\n",
                kTimeoutMs, cleanMs, failMs, nextMs, processMs, nextProcessMs);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    // halvex-cli keeps its state (and the link's record of the line) in a
    // folder of its own here, not in the user's.
    const std::string home = std::filesystem::temp_directory_path() / ("bench_late_reply." + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    ::setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);

    std::printf("reply time-out %d ms, %s baud, station %d; delay = factor x time-out\n", kTimeoutMs, kBaud, kStation);
    for (double factor : {0.5, 1.0, 2.0, 3.8, 5.0, 10.0}) {
        hx::sim::DriveOptions o = Options();
        o.delayMs = static_cast<int>(factor * kTimeoutMs);
        hx::sim::InProcessDrive drive(o);
        Fill(drive);
        Print(factor, "1 process", InProcess(drive, runs));
        Print(factor, "processes", AcrossProcesses(drive, runs));
    }
    TimeOutCost();
    std::filesystem::remove_all(home);
    bench::Goals goals;
    goals.AtMost("reads that reported another request's value", g_wrong, 0);
    return goals.Status();
}
