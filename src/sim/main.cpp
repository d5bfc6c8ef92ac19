// halvex-drive-sim: a simulated drive (or several on one line, --stations)
// on a pseudo-terminal and/or Modbus TCP.
// Prints where it serves, one line each ("/dev/pts/N", "tcp:HOST:PORT"),
// and runs until SIGINT or SIGTERM. With --truth FILE it keeps the loops'
// truth there for the parameters the drives hold: written at start, again
// within a second of a change of any drive's loop parameters, at once on
// SIGUSR1, and at exit.

#include <signal.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>

#include "core/Globals.h"
#include "core/util/CommandLine.h"
#include "sim/DriveBus.h"
#include "sim/DriveCommandLine.h"
#include "core/link/FrameTrace.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/LoopTruth.h"
#include "sim/VirtualDrive.h"
#include "sim/motor/MotorPart.h"

namespace {

// The loop parameters each drive holds now, to see whether the truth is stale.
std::vector<hx::servo::Words> LoopWords(const std::vector<hx::sim::VirtualDrive*>& drives) {
    std::vector<hx::servo::Words> words;
    for (hx::sim::VirtualDrive* d : drives)
        words.push_back(d->WithLock([d] {
            d->Motor().ReadParametersNow();
            return d->Motor().ServoWords();
        }));
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    hx::sim::DriveOptions options;
    options.bitsPerChar = 0;
    hx::sim::ServeOptions serve;

    CLI::App app("Serves a simulated drive over Modbus RTU on a pseudo-terminal and/or Modbus TCP.\n"
                 "Prints the device path and/or tcp:HOST:PORT, one per line, then runs until\n"
                 "interrupted.",
                 "halvex-drive-sim");
    hx::cmdline::SetHelpStyle(app);
    app.set_version_flag("--version", std::string("halvex-drive-sim ") + g_programVersion);
    hx::sim::AddDriveOptions(app, options, serve);
    app.footer(
        "The sampling engine answers exception 3 (illegal data value), changing nothing,\n"
        "for a channel code (34, 94, 95, 96) that is not one source of the mask or\n"
        "that makes more channels active than register 99 allows; for points per\n"
        "channel (137) of 0 or that, times the active channels, exceed the capacity;\n"
        "for a start (32 = 1) whose settings exceed the capacity; and for an interval\n"
        "(33) of 0. The spectrum settings (409) answer exception 3 for a frequency code\n"
        "above 3 or a point-count code above 2. A parameter written outside the range\n"
        "its definition gives answers exception 3 as well.");
    if (auto status = hx::cmdline::Parse(app, argc, argv)) return *status;
    const std::string& ptyLink = serve.ptyLink;
    const std::string& tcp = serve.tcp;
    const bool wantPty = serve.pty || tcp.empty();

    // Signals are taken by sigwait below; the serving threads never see them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        hx::sim::DriveBus bus(options);
        hx::sim::DriveServer server(bus.Drives(), options);
        if (serve.trace) server.SetTrace(std::make_shared<hx::FrameTrace>(stderr));
        std::string out;
        if (wantPty) out += server.OpenPty(ptyLink) + "\n";
        if (!tcp.empty()) {
            auto [host, port] = hx::sim::ParseHostPort(tcp);
            const uint16_t chosen = server.ListenTcp(host, port);
            out += "tcp:" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                   std::to_string(chosen) + "\n";
        }
        server.Start();
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);

        std::vector<hx::servo::Words> written;
        auto writeTruth = [&] {
            if (options.truthFile.empty()) return;
            written = LoopWords(bus.Drives());
            std::string error;
            if (!hx::sim::WriteTruthFile(options.truthFile, bus.Drives(), error))
                std::cerr << "halvex-drive-sim: " << error << "\n";
        };
        writeTruth();
        while (true) {
            const timespec second{1, 0};
            const int sig = sigtimedwait(&signals, nullptr, &second);
            if (sig == SIGUSR1) {
                writeTruth();
            } else if (sig == SIGINT || sig == SIGTERM) {
                break;
            } else if (!options.truthFile.empty() && LoopWords(bus.Drives()) != written) {
                writeTruth();
            }
        }

        server.Stop();
        writeTruth();
        // A command that was under way finishes, as the drive would before
        // it is switched off.
        if (!bus.FinishAndSave()) {
            for (hx::sim::VirtualDrive* drive : bus.Drives())
                if (!drive->LastStateError().empty())
                    std::cerr << "halvex-drive-sim: " << drive->LastStateError() << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "halvex-drive-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
