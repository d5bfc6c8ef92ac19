// What becomes of a motor when the tool that runs it dies or loses its line,
// measured on the simulated drive over a pseudo-terminal with halvex-cli as
// a user runs it:
//
//  - kill stress: both cores kept busy by spinning processes (a load
//    average well above 5), then KILLS times: `run velocity` started, killed
//    with SIGKILL at a moment spread over its start-up and its run (every
//    other kill followed at once by another `read 70`, as a second command
//    would be), and the drive watched for three seconds. Prints how many
//    kills left the motor running, with and without its watchdog armed, and
//    the slowest stop;
//  - dead line: a run whose drive falls silent for good; prints how long the
//    tool takes to give up after the silence begins (the goal is under 5 s)
//    and whether the drive's watchdog had stopped the motor by then.
// Goals: no kill leaves the motor running 3 s later, armed or not; the tool
// gives up on a dead line within 5 s. The exit status is 1 when one is missed.
//
//   bench_motion_safety [KILLS] [SPINNERS]     default 50 kills, 6 spinners

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "BenchGoals.h"

namespace {

bench::Goals g_goals;

using Clock = std::chrono::steady_clock;
constexpr uint8_t kStation = 7;
constexpr uint16_t kOwnTimeout = 5000, kOwnAction = 2;

double MsSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

// HALVEX_CLI names another build of the tool to compare with.
std::string Cli() {
    const char* other = std::getenv("HALVEX_CLI");
    return other && *other ? other : std::string(HALVEX_BIN_DIR) + "/halvex-cli";
}

pid_t Spawn(std::vector<std::string> args) {
    args.insert(args.begin(), Cli());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunCli(const std::vector<std::string>& args) { return Wait(Spawn(args)); }

// A process that only burns a core, until killed.
pid_t Spinner() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        volatile unsigned long x = 0;
        for (;;) x = x + 1;
    }
    return pid;
}

double LoadAverage() {
    double load = 0;
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1) load = 0;
        std::fclose(f);
    }
    return load;
}

hx::sim::DriveOptions Options() {
    hx::sim::DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";
    return o;
}

struct Drive {
    hx::sim::InProcessDrive drive{Options()};
    hx::sim::VirtualDrive& vd = drive.Drive();
    Drive() {
        vd.SetRam(31007, kOwnTimeout);
        vd.SetRam(31008, kOwnAction);
        vd.Poke(136, 2000);
    }
    std::vector<std::string> Args(std::vector<std::string> words) const {
        std::vector<std::string> args = {"--port", drive.DevicePath(), "--station", std::to_string(kStation)};
        args.insert(args.end(), words.begin(), words.end());
        return args;
    }
    bool Armed() { return vd.Peek(31007) == 1000 && vd.Peek(31008) == 1; }
};

void KillStress(int kills, int spinners) {
    Drive d;
    std::vector<pid_t> spin;
    for (int i = 0; i < spinners; ++i) spin.push_back(Spinner());
    std::this_thread::sleep_for(std::chrono::seconds(5));  // the load average rises
    int stopped = 0, runningArmed = 0, runningUnarmed = 0, notStarted = 0;
    double slowest = 0, lateMs = 0;
    std::vector<std::string> failures;
    for (int k = 0; k < kills; ++k) {
        // Moments spread over start-up (the standstill check, the arming,
        // the start) and the run itself: 0 to 2.5 s after the start.
        const auto at = std::chrono::milliseconds(2500 * k / std::max(1, kills - 1));
        d.vd.ClearRequests();
        const pid_t tool = Spawn(d.Args({"run", "velocity", "--runs", "1000"}));
        const auto started = Clock::now();
        std::this_thread::sleep_for(at);
        ::kill(tool, SIGKILL);
        Wait(tool);
        const auto killed = Clock::now();
        const bool ranAtKill = d.vd.Peek(70) == 1;
        const auto second = Clock::now();
        if (k % 2 == 1) RunCli(d.Args({"read", "70"}));  // a second command at once
        double stopMs = -1;
        while (MsSince(killed) < 3000) {
            if (d.vd.Peek(70) == 0) {
                stopMs = MsSince(killed);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const bool running = d.vd.Peek(70) == 1;
        // Requests the drive took in after the tool had died (frames it had
        // written that the drive had not yet read), the second command's aside.
        for (const auto& q : d.vd.Requests())
            if (q.at > killed && (k % 2 == 0 || q.at < second))
                lateMs = std::max(lateMs, std::chrono::duration<double, std::milli>(q.at - killed).count());
        if (!ranAtKill && !running)
            ++notStarted;
        else if (!running)
            ++stopped;
        else if (d.Armed())
            ++runningArmed;
        else
            ++runningUnarmed;
        if (running) {
            char line[160];
            std::snprintf(line, sizeof line, "kill %d at %.0f ms after the start: running 3 s later, watchdog %u ms action %u",
                          k + 1, std::chrono::duration<double, std::milli>(killed - started).count(), d.vd.Peek(31007),
                          d.vd.Peek(31008));
            failures.push_back(line);
        }
        if (stopMs > slowest && ranAtKill) slowest = stopMs;
        // Stopped, and the drive's own values back, before the next.
        RunCli(d.Args({"run", "stop"}));
        RunCli(d.Args({"read", "70"}));
    }
    const double load = LoadAverage();
    for (pid_t p : spin) ::kill(p, SIGKILL);
    for (pid_t p : spin) Wait(p);
    std::printf("kill stress: %d kills under load %.1f (%d spinners)\n", kills, load, spinners);
    std::printf("  stopped within 3 s: %d (slowest %.0f ms after the kill)\n", stopped, slowest);
    std::printf("  killed before the motion started: %d\n", notStarted);
    std::printf("  latest request the drive took in after a kill: %.0f ms after it\n", lateMs);
    std::printf("  running 3 s later with the watchdog armed: %d\n", runningArmed);
    std::printf("  running 3 s later without the watchdog: %d\n", runningUnarmed);
    for (const auto& f : failures) std::printf("  %s\n", f.c_str());
    g_goals.AtMost("kills that left the motor running 3 s later", runningArmed + runningUnarmed, 0);
}

void DeadLine(int runs) {
    std::vector<double> giveUp;
    int stoppedByThen = 0;
    for (int r = 0; r < runs; ++r) {
        Drive d;
        const pid_t tool = Spawn(d.Args({"run", "velocity", "--runs", "1000"}));
        while (d.vd.Peek(70) != 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // past the capture, into the keep-alives
        d.drive.Server().SetStation(kStation + 1);
        const auto silent = Clock::now();
        const int status = Wait(tool);
        giveUp.push_back(MsSince(silent));
        stoppedByThen += d.vd.Peek(70) == 0;
        if (status != 1) std::printf("  run %d: exit status %d\n", r + 1, status);
    }
    std::sort(giveUp.begin(), giveUp.end());
    std::printf("dead line: %d runs, the tool gave up %.0f .. %.0f ms after the silence began (median %.0f); "
                "the drive's watchdog had stopped the motor by then in %d\n",
                runs, giveUp.front(), giveUp.back(), giveUp[giveUp.size() / 2], stoppedByThen);
    g_goals.AtMost("slowest give-up on a dead line (ms)", giveUp.back(), 5000);
}

}  // namespace

int main(int argc, char** argv) {
    const int kills = argc > 1 ? std::atoi(argv[1]) : 50;
    const int spinners = argc > 2 ? std::atoi(argv[2]) : 6;
    // The tool's watchdog notes go to a folder of the benchmark's own.
    const auto state = std::filesystem::temp_directory_path() / ("bench_motion_safety." + std::to_string(::getpid()));
    std::filesystem::create_directories(state);
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    ::setenv("XDG_DATA_HOME", state.c_str(), 1);
    DeadLine(5);
    KillStress(kills, spinners);
    std::filesystem::remove_all(state);
    return g_goals.Status();
}
