// One-shot halvex-cli commands, whole process, beside the small Modbus tool
// doing the same, against the simulated drive paced as a real line:
//  - "read 0" against mbpoll reading the same register once, at 38400 and
//    115200 baud (goal: ratio <= 1.2);
//  - "--version" against "mbpoll -V" (goal: ratio <= 2);
//  - "params dump" against the wire time of the frames it exchanges: request
//    and reply bytes x 11 bits / baud, and after each frame the silence of
//    3.5 characters that ends it (the drive knows a request has ended, and
//    may answer, only after that silence; the next request waits for it after
//    the reply), at 115200 (goal: ratio <= 1.05) and, for reference, 38400;
//    the ratio to the bytes alone is printed beside it.
//  - "params load" of a file that changes a setting: the flushes (fsync,
//    fdatasync, sync_file_range) of the change journal's files, counted by
//    strace (goal: at most 3), with the flushes of every file beside them
//    and, for reference, those of the load that makes the journal anew (the
//    making itself flushes it too, once per user).
// The two programs run in interleaved pairs, so a load that comes and goes
// on the shared machine falls on both; each figure is the median of its
// runs, wall time from spawn to exit, with the processes' CPU time beside it.
// mbpoll is Debian's package (scripts/install-bench-peers.sh installs it).
// The exit status is 1 when a goal is missed or cannot be measured.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/params/TransferPlan.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"

extern char** environ;

namespace {

constexpr int kBitsPerChar = 11;  // 8 data bits, no parity, 2 stop bits
constexpr int kStation = 63;
constexpr const char* kMbpoll = "/usr/bin/mbpoll";

std::string Cli() { return std::string(HALVEX_BIN_DIR) + "/halvex-cli"; }

struct Run {
    double wallMs = 0, cpuMs = 0;
    bool ok = false;
};

// Runs the program to its end with its output thrown away.
Run Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return run;
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Figures {
    double wallMs = 0, cpuMs = 0;
};

Figures MedianOf(const std::vector<Run>& runs) {
    std::vector<double> wall, cpu;
    for (const Run& r : runs) wall.push_back(r.wallMs), cpu.push_back(r.cpuMs);
    return {Median(wall), Median(cpu)};
}

bool g_met = true;

void Row(const std::string& what, Figures ours, const std::string& peerName, Figures peer, double goal) {
    const double ratio = ours.wallMs / peer.wallMs;
    const bool met = ratio <= goal;
    g_met = g_met && met;
    std::printf("%-24s %8.1f ms (cpu %5.1f)  %-12s %8.1f ms (cpu %5.1f)  ratio %5.2f  goal <= %.2f %s\n",
                what.c_str(), ours.wallMs, ours.cpuMs, peerName.c_str(), peer.wallMs, peer.cpuMs, ratio, goal,
                met ? "" : "MISSED");
}

// Runs a and b in turn, pairs times; false when a run failed.
bool Pairs(int pairs, const std::vector<std::string>& a, const std::vector<std::string>& b, Figures* fa,
           Figures* fb) {
    std::vector<Run> ra, rb;
    bool ok = true;
    for (int i = 0; i < pairs; ++i) {
        ra.push_back(Spawn(a));
        rb.push_back(Spawn(b));
        ok = ok && ra.back().ok && rb.back().ok;
    }
    *fa = MedianOf(ra);
    *fb = MedianOf(rb);
    return ok;
}

hx::sim::DriveOptions Line(int baud) {
    hx::sim::DriveOptions o;
    o.station = kStation;
    o.databasePath = std::string(HALVEX_BIN_DIR) + "/DATA.sqlite";
    o.baud = baud;
    o.bitsPerChar = kBitsPerChar;
    return o;
}

std::vector<std::string> CliOn(const std::string& port, int baud, std::vector<std::string> command) {
    std::vector<std::string> args = {Cli(), "--port", port, "--baud", std::to_string(baud), "--station",
                                     std::to_string(kStation), "--timeout", "100"};
    args.insert(args.end(), command.begin(), command.end());
    return args;
}

bool ReadOnce(int baud) {
    hx::sim::InProcessDrive drive(Line(baud));
    const std::string port = drive.DevicePath();
    // mbpoll counts registers from 1: reference 1 is register 0.
    const std::vector<std::string> mbpoll = {kMbpoll, "-m", "rtu", "-b", std::to_string(baud), "-P", "none",
                                             "-s", "2", "-a", std::to_string(kStation), "-t", "4", "-r", "1",
                                             "-c", "1", "-1", "-q", port};
    Figures ours, peer;
    const bool ok = Pairs(21, CliOn(port, baud, {"read", "0"}), mbpoll, &ours, &peer);
    Row("read 0 at " + std::to_string(baud) + " baud", ours, "mbpoll", peer, 1.2);
    return ok;
}

bool Version() {
    Figures ours, peer;
    const bool ok = Pairs(31, {Cli(), "--version"}, {kMbpoll, "-V"}, &ours, &peer);
    Row("--version", ours, "mbpoll -V", peer, 2.0);
    return ok;
}

// params dump: register 0, the identity (single registers), the model's
// definitions from the database, then the whole table in blocks. The
// frames are counted where the drive receives them; all but the table's
// blocks are single-register reads (request 8 bytes, reply 7).
bool Dump(int baud, double goal, int runs) {
    hx::sim::InProcessDrive drive(Line(baud));
    const auto plan = hx::ReadAllPlan(200.0f);
    long planBytes = 0;
    for (const auto& b : plan) planBytes += 8 + 5 + 2 * b.count;
    std::vector<Run> results;
    bool ok = true;
    uint64_t frames = 0;
    for (int i = 0; i < runs; ++i) {
        const uint64_t before = drive.Server().GetStats().framesReceived;
        results.push_back(Spawn(CliOn(drive.DevicePath(), baud, {"params", "dump"})));
        frames = drive.Server().GetStats().framesReceived - before;
        ok = ok && results.back().ok;
    }
    const long singles = static_cast<long>(frames) - static_cast<long>(plan.size());
    const long bytes = planBytes + 15 * singles;
    const double wireMs = bytes * kBitsPerChar * 1000.0 / baud;
    const double silenceMs = 2 * frames * 3.5 * kBitsPerChar * 1000.0 / baud;
    const Figures ours = MedianOf(results);
    const double ratio = ours.wallMs / (wireMs + silenceMs);
    const bool met = ratio <= goal;
    if (goal > 0) g_met = g_met && met;
    char goalText[32] = "for reference";
    if (goal > 0) std::snprintf(goalText, sizeof goalText, "goal <= %.2f %s", goal, met ? "" : "MISSED");
    std::printf("params dump at %6d baud %8.1f ms (cpu %5.1f)  wire %8.1f ms (%llu requests, %ld bytes %.1f ms, "
                "ratio to the bytes alone %5.3f)  ratio %5.3f  %s\n",
                baud, ours.wallMs, ours.cpuMs, wireMs + silenceMs, static_cast<unsigned long long>(frames), bytes,
                wireMs, ours.wallMs / wireMs, ratio, goalText);
    return ok;
}

// The flushes of a params load, as strace sees them: of the change
// journal's files and of all files; -1 when strace did not run.
struct Flushes {
    int journal = -1, all = -1;
};

Flushes LoadFlushes(const std::string& port, const std::string& file, const std::filesystem::path& log) {
    std::vector<std::string> args = {"/usr/bin/strace", "-f", "-y", "-o", log.string(), "-e",
                                     "trace=fsync,fdatasync,sync_file_range"};
    for (const std::string& a : CliOn(port, 115200, {"params", "load", file})) args.push_back(a);
    Flushes f;
    if (!Spawn(args).ok) return f;
    f.journal = f.all = 0;
    std::FILE* in = std::fopen(log.c_str(), "r");
    char line[1024];
    while (in && std::fgets(line, sizeof line, in)) {
        // A call another thread interrupted is printed twice, begun and resumed.
        if (!std::strstr(line, "sync") || std::strstr(line, "resumed>")) continue;
        ++f.all;
        if (std::strstr(line, "journal.sqlite")) ++f.journal;
    }
    if (in) std::fclose(in);
    return f;
}

// A file read from the drive with one setting changed, loaded twice: on a
// journal made by that load, then on the journal as it stays.
bool LoadSyncs(const std::filesystem::path& home) {
    if (::access("/usr/bin/strace", X_OK) != 0) {
        std::printf("strace did not run (scripts/install-bench-peers.sh, or apt-get install strace): the flushes "
                    "of params load cannot be counted\n");
        g_met = false;
        return true;
    }
    hx::sim::InProcessDrive drive(Line(115200));
    const std::string file = (home / "drive.qxr").string();
    if (!Spawn(CliOn(drive.DevicePath(), 115200, {"params", "read", "-o", file})).ok) return false;
    Flushes flushes[2];
    for (int run = 0; run < 2; ++run) {
        std::string text, line;
        std::FILE* in = std::fopen(file.c_str(), "r");
        char buffer[256];
        while (in && std::fgets(buffer, sizeof buffer, in)) {
            line = buffer;
            // Register 1, a setting, to another value each time (the drive holds 10000).
            if (line.rfind("1=", 0) == 0) line = "1=" + std::to_string(10001 + run) + "\n";
            text += line;
        }
        if (in) std::fclose(in);
        std::FILE* out = std::fopen(file.c_str(), "w");
        if (!out) return false;
        std::fputs(text.c_str(), out);
        std::fclose(out);
        flushes[run] = LoadFlushes(drive.DevicePath(), file, home / "strace.log");
        if (flushes[run].journal < 0) return false;
    }
    // The goal is the load's own; the journal is made once per user.
    const bool met = flushes[1].journal <= 3;
    g_met = g_met && met;
    std::printf("params load: flushes of the change journal %d, all files %d (the load that makes the journal: %d, "
                "all files %d)  goal <= 3 %s\n",
                flushes[1].journal, flushes[1].all, flushes[0].journal, flushes[0].all, met ? "" : "MISSED");
    return true;
}

}  // namespace

int main() {
    if (!std::filesystem::exists(Cli())) {
        std::fprintf(stderr, "%s is not built\n", Cli().c_str());
        return 1;
    }
    // The commands' change journal and state go to a folder of their own.
    const std::filesystem::path home = std::filesystem::temp_directory_path() / "halvex-bench-one-shot";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (home / "state").c_str(), 1);

    std::printf("one-shot commands, whole process, against the simulated drive paced at the baud rate;\n"
                "medians of interleaved runs, wall time from spawn to exit (CPU time of the process)\n");
    bool ok = true;
    if (::access(kMbpoll, X_OK) != 0) {
        std::printf("mbpoll did not run (scripts/install-bench-peers.sh, or apt-get install mbpoll): its goals "
                    "cannot be checked\n");
        g_met = false;
    } else {
        ok = Version() && ok;
        ok = ReadOnce(38400) && ok;
        ok = ReadOnce(115200) && ok;
    }
    ok = Dump(115200, 1.05, 7) && ok;
    ok = Dump(38400, 0, 3) && ok;
    ok = LoadSyncs(home) && ok;
    if (!ok) std::printf("a run failed\n");
    std::printf("%s\n", ok && g_met ? "all goals met" : "a goal was missed");
    std::filesystem::remove_all(home);
    return ok && g_met ? 0 : 1;
}
