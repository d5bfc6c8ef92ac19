// A drive that answers late: for each delay, as a multiple of the reply
// time-out, reads of registers holding distinct values, one after the other
// in one process and as separate halvex-cli processes. Prints how many were
// answered right, how many failed, and how many reported success with a
// value that belongs to another request (the goal is none), then what a
// time-out costs: an unanswered read followed by the next read, and an
// unanswered halvex-cli read as a whole process.
//
// Then a line that repeats replies (a repeater or gateway sends 5 % or 30 %
// of the replies twice, the copy 0..50 ms after the original): `params dump`
// by halvex-cli and the same reads by pymodbus (bench/peers/pymodbus_line.py,
// Debian's python3-pymodbus, python3-serial and python3-serial-asyncio) on the same line, each run
// compared with what the drive holds (goal: no halvex-cli run wrong with exit
// status 0); what guarding against copies costs a clean dump (the same block
// reads of the drive's own words, many blocks alike, against words that all
// differ; goal <= 5 %); and a silent station as a whole halvex-cli read
// beside pymodbus with the same three tries and time-out (goal <= 1.5x).
// The exit status is 1 when a goal is missed.
//
//   bench_late_reply [RUNS [copies]]   default 8 reads per delay and mode;
//                                      "copies": only the repeated replies

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
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
        const auto v = comm.Read(kStation, a);
        ++t.runs;
        if (!v) {
            ++t.failed;
            t.failedMs += MsSince(start);
        } else {
            ++(static_cast<uint16_t>(*v) == ValueAt(a) ? t.ok : t.wrong);
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

// Runs a command line and returns its exit status and standard output.
int RunCommand(const std::string& command, std::string* out) {
    FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!p) return -1;
    char buffer[256];
    out->clear();
    while (std::fgets(buffer, sizeof buffer, p)) *out += buffer;
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunCli(const std::string& args, std::string* out) {
    return RunCommand(std::string(HALVEX_BIN_DIR) + "/halvex-cli " + args, out);
}

// pymodbus on the same line (mode "read ADDRESS" or "dump").
std::string Peer(const std::string& device, int station, int timeoutMs, const std::string& mode,
                 const std::string& address = {}) {
    const std::string word = mode.substr(0, mode.find(' '));
    return "/usr/bin/python3 '" + std::string(HALVEX_SOURCE_DIR) + "/bench/peers/pymodbus_line.py' " + word + " " +
           device + " " + kBaud + " " + std::to_string(station) + " " + std::to_string(timeoutMs) + " 3 " + address;
}

bool PeerRuns() {
    std::string out;
    return RunCommand("/usr/bin/python3 -c 'import pymodbus.client, serial'", &out) == 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool g_missed = false;

const char* Verdict(bool met) {
    if (!met) g_missed = true;
    return met ? "met" : "MISSED";
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

void Print(double factor, const char* mode, const Tally& t) {
    if (t.wrong) g_missed = true;
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
    drive.Server().LoseReplies(1.0);
    start = Clock::now();
    comm.ReadAddressValue(kStation, kSingles[0]);
    const double failMs = MsSince(start);
    drive.Server().ClearFaults();
    start = Clock::now();
    comm.ReadAddressValue(kStation, kSingles[1]);
    const double nextMs = MsSince(start);
    comm.CloseCom();

    drive.Server().LoseReplies(1.0);
    std::string out;
    start = Clock::now();
    RunCli("--port " + drive.DevicePath() + " --baud " + kBaud + " --station " + std::to_string(kStation) +
               " --timeout " + std::to_string(kTimeoutMs) + " read 9",
           &out);
    const double processMs = MsSince(start);
    drive.Server().ClearFaults();
    start = Clock::now();
    RunCli("--port " + drive.DevicePath() + " --baud " + kBaud + " --station " + std::to_string(kStation) +
               " --timeout " + std::to_string(kTimeoutMs) + " read 10",
           &out);
    const double nextProcessMs = MsSince(start);
    std::printf("time-out %d ms: an answered read %.1f ms; an unanswered read (with its retries) %.0f ms, the next "
                "read %.0f ms; an unanswered halvex-cli read %.0f ms, the next halvex-cli read %.0f ms\n",
                kTimeoutMs, cleanMs, failMs, nextMs, processMs, nextProcessMs);
}


// The dump's registers, in its blocks of 50.
std::vector<std::pair<uint16_t, uint16_t>> DumpBlocks() {
    std::vector<std::pair<uint16_t, uint16_t>> blocks;
    for (int a = 0; a < 150; a += 50) blocks.emplace_back(static_cast<uint16_t>(a), 50);
    for (int a = 30000; a < 32000; a += 50) blocks.emplace_back(static_cast<uint16_t>(a), 50);
    return blocks;
}

hx::sim::DriveOptions ParameterDrive() {
    hx::sim::DriveOptions o = Options();
    o.databasePath = std::string(HALVEX_BIN_DIR) + "/DATA.sqlite";
    o.seed = 11;
    return o;
}

// "A=V" lines against what the drive holds: how many differ (or are missing).
int WrongLines(const std::string& out, hx::sim::InProcessDrive& drive) {
    std::map<int, int> seen;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        seen[std::atoi(line.c_str())] = std::atoi(line.c_str() + eq + 1);
    }
    int wrong = 0;
    for (const auto& [address, count] : DumpBlocks())
        for (int k = 0; k < count; ++k) {
            const auto it = seen.find(address + k);
            wrong += it == seen.end() ||
                     static_cast<int16_t>(drive.Drive().Ram(static_cast<uint16_t>(address + k))) != it->second;
        }
    return wrong;
}

// What guarding against copies costs a clean line: the dump's block reads of
// the drive's own words (many blocks alike, each of which could be a copy of
// the block before) and the Settle that ends the dump, against the same reads
// of words that all differ.
void CopyGuardCost() {
    const auto time = [](bool alike) {
        hx::sim::InProcessDrive drive(ParameterDrive());
        if (!alike)
            for (const auto& [address, count] : DumpBlocks())
                for (int k = 0; k < count; ++k)
                    drive.Drive().SetRam(static_cast<uint16_t>(address + k), static_cast<uint16_t>(address + 7 * k + 1));
        CQXCOM comm;
        Open(comm, drive.DevicePath());
        uint16_t words[50];
        comm.ReadWords(kStation, 0, 1, words);
        std::vector<double> rounds;
        for (int round = 0; round < 5; ++round) {
            const auto start = Clock::now();
            for (const auto& [address, count] : DumpBlocks()) comm.ReadWords(kStation, address, count, words);
            // A dump ends by making sure its last answer was no copy.
            comm.Settle(kStation);
            rounds.push_back(MsSince(start));
        }
        comm.CloseCom();
        return Median(rounds);
    };
    const double distinct = time(false), alike = time(true);
    const double cost = alike / distinct - 1;
    std::printf("clean dump's %zu block reads at %s baud: the drive's own words %.0f ms, words that all differ %.0f ms: "
                "guarding against copies costs %+.1f %% (goal <= 5 %%: %s)\n",
                DumpBlocks().size(), kBaud, alike, distinct, 100 * cost, Verdict(cost <= 0.05));
}

std::string DumpCommand(const std::string& device) {
    return "--port " + device + " --baud " + kBaud + " --station " + std::to_string(kStation) + " --timeout " +
           std::to_string(kTimeoutMs) + " params dump";
}

// params dump on a line that repeats replies, by halvex-cli and by pymodbus.
// halvex-cli prints parameters (32-bit ones whole): its runs are compared with
// its dump of the same drive on a clean line; pymodbus prints registers, which
// are compared with what the drive holds.
void RepeatedReplies(int runs, bool peer) {
    std::string reference;
    {
        hx::sim::InProcessDrive clean(ParameterDrive());
        if (RunCli(DumpCommand(clean.DevicePath()), &reference) != 0 || reference.empty()) {
            std::printf("halvex-cli params dump failed on a clean line\n");
            g_missed = true;
            return;
        }
    }
    std::printf("a line that repeats replies (copies 0..50 ms after the original), %d params dump runs each:\n", runs);
    for (double rate : {0.0, 0.05, 0.3}) {
        hx::sim::DriveOptions o = ParameterDrive();
        o.duplicateRate = rate;
        o.duplicateDelayMs = 50;
        hx::sim::InProcessDrive drive(o);
        const std::string device = drive.DevicePath();
        for (int who = 0; who < (peer ? 2 : 1); ++who) {
            Tally t;
            std::vector<double> ms;
            for (int i = 0; i < runs; ++i) {
                std::string out;
                const auto start = Clock::now();
                const int status = who == 0 ? RunCli(DumpCommand(device), &out)
                                            : RunCommand(Peer(device, kStation, kTimeoutMs, "dump"), &out);
                ms.push_back(MsSince(start));
                ++t.runs;
                if (status != 0) {
                    ++t.failed;
                    continue;
                }
                ++((who == 0 ? out == reference : WrongLines(out, drive) == 0) ? t.ok : t.wrong);
            }
            if (who == 0 && t.wrong) g_missed = true;
            std::printf("  %4.0f %% repeated  %-10s runs %2d  right %2d  failed %2d  wrong with success %2d  median %6.0f ms%s\n",
                        100 * rate, who == 0 ? "halvex-cli" : "pymodbus", t.runs, t.ok, t.failed, t.wrong, Median(ms),
                        who == 0 ? "  (goal: none wrong)" : "");
            std::fflush(stdout);
        }
    }
}

// A station where nobody answers, as one whole process each: halvex-cli and
// pymodbus with the same three tries and time-out, in interleaved pairs.
void SilentStationBesidePeer() {
    hx::sim::InProcessDrive drive(Options());
    const std::string device = drive.DevicePath();
    constexpr int kSilent = 9, kPairs = 5;
    for (int timeoutMs : {100, 300}) {
        std::vector<double> ours, theirs;
        for (int i = 0; i < kPairs; ++i) {
            // Each pair starts on a quiet line: halvex-cli tells the next
            // program on the port how long the late replies to its tries may
            // still come (three horizons), and that program waits for them.
            ::usleep(static_cast<useconds_t>(3 * std::max(1000, 10 * timeoutMs) * 1000 + 300000));
            std::string out;
            auto start = Clock::now();
            RunCommand(Peer(device, kSilent, timeoutMs, "read", "0"), &out);
            theirs.push_back(MsSince(start));
            start = Clock::now();
            RunCli("--port " + device + " --baud " + kBaud + " --station " + std::to_string(kSilent) + " --timeout " +
                       std::to_string(timeoutMs) + " read 0",
                   &out);
            ours.push_back(MsSince(start));
        }
        const double ratio = Median(ours) / Median(theirs);
        std::printf("a silent station, read 0 with 3 tries of %d ms as a whole process: halvex-cli %.0f ms, pymodbus "
                    "%.0f ms, ratio %.2f (goal <= 1.5: %s)\n",
                    timeoutMs, Median(ours), Median(theirs), ratio, Verdict(ratio <= 1.5));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    // "copies" as a second word: only the figures of a line that repeats
    // replies, the copy guard's cost and the silent station.
    const bool onlyCopies = argc > 2 && std::string(argv[2]) == "copies";
    // halvex-cli keeps its state (and the link's record of the line) in a
    // folder of its own here, not in the user's.
    const std::string home = std::filesystem::temp_directory_path() / ("bench_late_reply." + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    ::setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);

    std::printf("reply time-out %d ms, %s baud, station %d; delay = factor x time-out\n", kTimeoutMs, kBaud, kStation);
    for (double factor : {0.5, 1.0, 2.0, 3.8, 5.0, 10.0}) {
        if (onlyCopies) break;
        hx::sim::DriveOptions o = Options();
        o.delayMs = static_cast<int>(factor * kTimeoutMs);
        hx::sim::InProcessDrive drive(o);
        Fill(drive);
        Print(factor, "1 process", InProcess(drive, runs));
        Print(factor, "processes", AcrossProcesses(drive, runs));
    }
    if (!onlyCopies) TimeOutCost();
    const bool peer = PeerRuns();
    if (!peer) {
        std::printf("pymodbus did not run (apt-get install python3-pymodbus python3-serial python3-serial-asyncio): its figures are left out "
                    "and the silent station's goal cannot be checked\n");
        g_missed = true;
    }
    CopyGuardCost();
    RepeatedReplies(std::max(4, runs), peer);
    if (peer) SilentStationBesidePeer();
    std::filesystem::remove_all(home);
    return g_missed ? 1 : 0;
}
