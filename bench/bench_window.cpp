// The program's first window against a bare Qt 6 main window (bench/peers/
// bare_window.cpp), both started as a user starts them: the time from the
// start of the process until its window has been shown and painted, and the
// peak resident memory then. Goals: at most 1.3 times the bare window's time
// and 1.4 times its memory.
//
// bench/peers/shown_probe.cpp, loaded into both alike, reports the moment
// and ends the process. The program runs from a folder of its own (a copy
// of its database, catalogue and help pages) with fresh settings, in
// Chinese, in English, and in Chinese on the simulated drive (--simulate);
// the two programs run in interleaved pairs, medians of each. Beside them,
// for reference, the bare window with one menu in the same language: what
// drawing any text costs (the font database, the fonts, shaping).
//
// Two platforms, one after the other: offscreen (no window system at all),
// and X11: the display $DISPLAY names, or without one a private Xvfb started
// with -noreset. An X server left with no client resets itself, and the next
// program's connection waits for that (about 17 ms here): under a plain
// xvfb-run every run would pay it, which a desktop, where the window manager
// and other programs stay connected, never does.
//
//   bench_window [PAIRS]     default 15 pairs per variant

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchGoals.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Shown {
    double ms = 0;
    double peakMiB = 0;
    bool ok = false;
};

long long MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Runs the program with the probe; when its first window was shown.
Shown Run(const std::vector<std::string>& args, const std::string& report) {
    fs::remove(report);
    std::vector<std::string> words = args;
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    Shown shown;
    const long long start = MonotonicNs();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return shown;
    int status = 0;
    ::waitpid(pid, &status, 0);
    long long at = 0;
    long peakKb = 0, rssKb = 0;
    std::ifstream in(report);
    if (in >> at >> peakKb >> rssKb) {
        shown.ms = (at - start) / 1e6;
        shown.peakMiB = peakKb / 1024.0;
        shown.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return shown;
}

// A private X server for the run, ended with the object.
class PrivateXServer {
public:
    PrivateXServer() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        std::string fd = std::to_string(fds[1]);
        std::vector<std::string> words = {"Xvfb", "-displayfd", fd, "-noreset", "-nolisten", "tcp", "-screen", "0",
                                          "1920x1080x24"};
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
        const int rc = posix_spawnp(&m_pid, "Xvfb", &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        if (rc != 0) {
            m_pid = -1;
            ::close(fds[0]);
            return;
        }
        // The server writes its display number once it accepts connections.
        char number[16] = {};
        const ssize_t n = ::read(fds[0], number, sizeof number - 1);
        ::close(fds[0]);
        if (n > 0) m_display = ":" + std::to_string(std::atoi(number));
    }
    ~PrivateXServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A program folder of its own: the program beside a copy of its database,
// catalogue and help pages, and settings with the given language.
std::string ProgramFolder(const fs::path& folder, int language) {
    fs::remove_all(folder);
    fs::create_directories(folder / "Parameters");
    const fs::path bin = HALVEX_BIN_DIR;
    fs::copy_file(bin / "halvex", folder / "halvex");
    fs::copy_file(bin / "DATA.sqlite", folder / "DATA.sqlite");
    fs::copy(bin / "i18n", folder / "i18n", fs::copy_options::recursive);
    fs::copy(bin / "HelpFile", folder / "HelpFile", fs::copy_options::recursive);
    std::ofstream(folder / "Parameters" / "EnvSetting.ini") << "[Language]\nType=" << language << "\n";
    return (folder / "halvex").string();
}

struct Variant {
    const char* name;
    int language;
    bool simulate;
    const char* menu;
};

// Every variant on the platform the environment names, in interleaved runs.
void Measure(const char* platform, int pairs, const fs::path& home, const std::string& peer,
             const std::string& report, bench::Goals& goals) {
    std::printf("\n%s: medians of %d interleaved pairs with a bare Qt 6 main window\n", platform, pairs);
    for (const Variant& v : {Variant{"Chinese", 4, false, "文件"}, Variant{"English", 9, false, "File"},
                             Variant{"Chinese, --simulate", 4, true, "文件"}}) {
        std::vector<std::string> program = {ProgramFolder(home / "program", v.language)};
        if (v.simulate) program.push_back("--simulate");
        std::vector<double> ours, bare, oursMiB, bareMiB, menu, menuMiB;
        bool ok = true;
        for (int i = 0; i < pairs; ++i) {
            const Shown a = Run(program, report), b = Run({peer}, report), c = Run({peer, "--menu", v.menu}, report);
            ok = ok && a.ok && b.ok && c.ok;
            ours.push_back(a.ms), oursMiB.push_back(a.peakMiB);
            bare.push_back(b.ms), bareMiB.push_back(b.peakMiB);
            menu.push_back(c.ms), menuMiB.push_back(c.peakMiB);
        }
        const double time = Median(ours) / Median(bare), memory = Median(oursMiB) / Median(bareMiB);
        std::printf("%-20s %7.1f ms %6.1f MiB | bare window %7.1f ms %6.1f MiB | ratio time %.2f (goal <= 1.30), "
                    "memory %.2f (goal <= 1.40)\n",
                    v.name, Median(ours), Median(oursMiB), Median(bare), Median(bareMiB), time, memory);
        std::printf("%-20s bare window with one menu \"%s\" %.1f ms %.1f MiB: against the bare window time %.2f, "
                    "memory %.2f\n",
                    "", v.menu, Median(menu), Median(menuMiB), Median(menu) / Median(bare),
                    Median(menuMiB) / Median(bareMiB));
        const std::string what = std::string(platform) + ", " + v.name + ": ";
        goals.AtMost((what + "time to the first window against the bare one").c_str(), time, 1.30);
        goals.AtMost((what + "memory against the bare window's").c_str(), memory, 1.40);
        if (!ok) goals.Missed((what + "a run did not show its window").c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int pairs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const fs::path here = fs::path(HALVEX_BIN_DIR).parent_path() / "bench" / "bin";
    const std::string peer = (here / "peer_bare_window").string(), probe = (here / "shown_probe.so").string();
    if (!fs::exists(std::string(HALVEX_BIN_DIR) + "/halvex") || !fs::exists(peer) || !fs::exists(probe)) {
        std::fprintf(stderr, "build halvex, peer_bare_window and shown_probe first\n");
        return 1;
    }
    const fs::path home = fs::temp_directory_path() / ("halvex-bench-window." + std::to_string(::getpid()));
    fs::create_directories(home);
    fs::permissions(home, fs::perms::owner_all);
    for (const char* xdg : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        ::setenv(xdg, (home / xdg).c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    const std::string report = (home / "shown").string();
    ::setenv("HALVEX_SHOWN_PROBE", report.c_str(), 1);
    std::printf("first window shown (process start to first paint) and peak memory then\n");

    bench::Goals goals;
    {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("LD_PRELOAD", probe.c_str(), 1);
        Measure("offscreen", pairs, home, peer, report, goals);
        ::unsetenv("LD_PRELOAD");
        ::unsetenv("QT_QPA_PLATFORM");
    }
    std::unique_ptr<PrivateXServer> server;
    std::string x11 = "X11 of $DISPLAY";
    if (!std::getenv("DISPLAY")) {
        server = std::make_unique<PrivateXServer>();
        if (server->display().empty()) {
            goals.Missed("X11: no $DISPLAY, and no Xvfb started (apt-get install xvfb)");
        } else {
            ::setenv("DISPLAY", server->display().c_str(), 1);
            x11 = "X11 of a private Xvfb (-noreset)";
        }
    }
    if (std::getenv("DISPLAY")) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("LD_PRELOAD", probe.c_str(), 1);
        Measure(x11.c_str(), pairs, home, peer, report, goals);
        ::unsetenv("LD_PRELOAD");
    }
    server.reset();
    fs::remove_all(home);
    return goals.Status();
}
