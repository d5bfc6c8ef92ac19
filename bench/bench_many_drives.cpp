// halvex-cli on many drives, against simulated drives paced as real lines:
//  - params dump of 8 stations on one line, in one run (--stations 1-8),
//    against 8 runs of one station each, at 38400 and 115200 baud
//    (goal: ratio <= 1.02);
//  - params dump of 2 x 8 stations on two ports at once against 8 on one
//    (goal: ratio <= 1.10);
//  - setup apply on 2 x 8 drives behind two gateways (Modbus TCP, serial
//    side paced at 38400) against 8 behind one: 16 drives in about the time
//    of 8;
//  - identity of stations 1-9 where station 9 is silent, against 1-8: the
//    silent station costs its three tries and no more (goal <= 1.2 x);
//  - a sweep: identity of stations 1-64 with one drive (station 1), within
//    1.2 x (63 silent stations x 3 tries x time-out), and `find` of 0..63
//    no slower than before (7.6 s).
// Each figure is the best of two runs, process start included. The exit
// status is 1 when a run fails or a goal is missed.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchGoals.h"
#include "sim/InProcessDrive.h"

extern char** environ;

namespace {

constexpr int kRuns = 2;

std::string Cli() { return std::string(HALVEX_BIN_DIR) + "/halvex-cli"; }

// Runs halvex-cli with its output thrown away; its exit status.
int Run(std::vector<std::string> args) {
    args.insert(args.begin(), Cli());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool g_ok = true;

const char* Verdict(bool met) {
    if (!met) g_ok = false;
    return met ? "met" : "MISSED";
}

// Best wall time of kRuns runs of f(), which runs the commands and says whether they all succeeded.
template <class F>
double Best(F f) {
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (!f()) {
            std::fprintf(stderr, "a run failed\n");
            g_ok = false;
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

hx::sim::DriveOptions Line(int baud, bool tcp) {
    hx::sim::DriveOptions o;
    o.stations = {1, 2, 3, 4, 5, 6, 7, 8};
    o.databasePath = std::string(HALVEX_BIN_DIR) + "/DATA.sqlite";
    o.baud = baud;
    o.bitsPerChar = 11;
    o.commandDelayMs = 300;
    if (tcp) o.tcpListen = "127.0.0.1:0";
    return o;
}

std::vector<std::string> Link(const std::string& port, int baud) {
    return {"--port", port, "--baud", std::to_string(baud), "--timeout", "300"};
}

void DumpAt(int baud) {
    hx::sim::InProcessDrive one(Line(baud, false)), two(Line(baud, false));
    const std::string a = one.DevicePath(), b = two.DevicePath();
    auto with = [&](std::vector<std::string> first, std::vector<std::string> rest) {
        first.insert(first.end(), rest.begin(), rest.end());
        return first;
    };
    const double singles = Best([&] {
        bool ok = true;
        for (int s = 1; s <= 8; ++s)
            ok = Run(with(Link(a, baud), {"--station", std::to_string(s), "params", "dump"})) == 0 && ok;
        return ok;
    });
    const double eight = Best([&] { return Run(with(Link(a, baud), {"--stations", "1-8", "params", "dump"})) == 0; });
    const double sixteen = Best([&] {
        auto args = Link(a, baud);
        args.insert(args.end(), {"--port", b, "--stations", "1-8", "params", "dump"});
        return Run(args) == 0;
    });
    std::printf("params dump at %6d baud: 8 x 1 station %.3f s, 1-8 in one run %.3f s, ratio %.3f (goal <= 1.02: %s); "
                "2 ports x 8 %.3f s, ratio to one port %.3f (goal <= 1.10: %s)\n",
                baud, singles, eight, eight / singles, Verdict(eight / singles <= 1.02), sixteen, sixteen / eight,
                Verdict(sixteen / eight <= 1.10));
}

void SetupBehindGateways() {
    hx::sim::InProcessDrive one(Line(38400, true)), two(Line(38400, true));
    const std::string a = "tcp:127.0.0.1:" + std::to_string(one.TcpPort());
    const std::string b = "tcp:127.0.0.1:" + std::to_string(two.TcpPort());
    const std::string file = std::filesystem::temp_directory_path() / "bench-many-drives.setup";
    std::ofstream(file) << "peak_current_ma=3300\npulses_per_rev=4000\n";
    const double eight = Best([&] {
        return Run({"--port", a, "--timeout", "300", "--stations", "1-8", "setup", "apply", file}) == 0;
    });
    const double sixteen = Best([&] {
        return Run({"--port", a, "--port", b, "--timeout", "300", "--stations", "1-8", "setup", "apply", file}) == 0;
    });
    std::filesystem::remove(file);
    std::printf("setup apply behind gateways (serial side 38400 baud): 8 drives %.3f s, 16 on two gateways %.3f s, "
                "ratio %.3f (goal <= 1.10: %s)\n",
                eight, sixteen, sixteen / eight, Verdict(sixteen / eight <= 1.10));
}

void SilentStation() {
    hx::sim::InProcessDrive line(Line(38400, false));
    const std::string port = line.DevicePath();
    constexpr int kTimeoutMs = 300, kTries = 3;
    const double eight = Best([&] { return Run({"--port", port, "--timeout", "300", "--stations", "1-8", "identity"}) == 0; });
    const double nine = Best([&] { return Run({"--port", port, "--timeout", "300", "--stations", "1-9", "identity"}) == 1; });
    // Its tries, each the time-out and the request's time on the line; no
    // wait for late replies between them (the same read's late answer is as
    // good) nor before the port closes (the next program is told).
    const double budget = kTries * (kTimeoutMs / 1000.0 + 8 * 11 / 38400.0);
    const double ratio = (nine - eight) / budget;
    std::printf("a silent station (identity of 1-9 against 1-8, --timeout %d, 38400 baud): costs %.3f s, its %d "
                "tries %.3f s, ratio %.3f (goal <= 1.2: %s)\n",
                kTimeoutMs, nine - eight, kTries, budget, ratio, Verdict(ratio <= 1.2));
}

// One drive among 64 stations: a sweep asks each station three times, a
// search once.
void Sweep() {
    hx::sim::DriveOptions o = Line(38400, false);
    o.stations = {1};
    hx::sim::InProcessDrive line(o);
    const std::string port = line.DevicePath();
    constexpr int kTimeoutMs = 100, kTries = 3, kSilent = 63;
    // The silent stations fail the run: exit status 1.
    const double sweep =
        Best([&] { return Run({"--port", port, "--timeout", "100", "--stations", "1-64", "identity"}) == 1; });
    const double bound = 1.2 * kSilent * kTries * kTimeoutMs / 1000.0;
    std::printf("a sweep of stations 1-64 with one drive (identity, --timeout %d, 38400 baud): %.3f s, bound 1.2 x %d "
                "x %d x %d ms = %.3f s (%s)\n",
                kTimeoutMs, sweep, kSilent, kTries, kTimeoutMs, bound, Verdict(sweep <= bound));
    constexpr double kFindBefore = 7.6;
    // Each search starts on a quiet line: the run before tells the next
    // program on the port to wait for its silent stations' late replies.
    double find = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        ::usleep(3500000);
        const auto start = std::chrono::steady_clock::now();
        if (Run({"--port", port, "--timeout", "100", "find"}) != 0) g_ok = false;
        find = std::min(find, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("find of stations 0..63 with one drive (--timeout %d): %.3f s (goal: no slower than before, %.1f s: "
                "%s)\n",
                kTimeoutMs, find, kFindBefore, Verdict(find <= kFindBefore));
}

}  // namespace

// Without an argument every figure; with "dump", "setup", "silent" or "sweep" that one.
int main(int argc, char** argv) {
    if (!std::filesystem::exists(Cli())) {
        std::fprintf(stderr, "%s is not built\n", Cli().c_str());
        return 1;
    }
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "dump") {
        DumpAt(38400);
        DumpAt(115200);
    }
    if (only.empty() || only == "setup") SetupBehindGateways();
    if (only.empty() || only == "silent") SilentStation();
    if (only.empty() || only == "sweep") Sweep();
    return g_ok ? 0 : 1;
}
