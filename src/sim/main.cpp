// halvex-drive-sim: a simulated drive on a pseudo-terminal and/or Modbus TCP.
// Prints where it serves, one line each ("/dev/pts/N", "tcp:HOST:PORT"),
// and runs until SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"

namespace {

const char* kUsage =
    "Usage: halvex-drive-sim [options]\n"
    "Serves a simulated drive over Modbus RTU on a pseudo-terminal and/or Modbus TCP.\n"
    "Prints the device path and/or tcp:HOST:PORT, one per line, then runs until\n"
    "interrupted.\n"
    "\n"
    "  --pty LINK            serve on a pseudo-terminal and make LINK a symlink to it\n"
    "  --tcp HOST:PORT       serve Modbus TCP (port 0 picks a free one)\n"
    "                        (without --pty or --tcp: a pseudo-terminal)\n"
    "  --station N           station number, 1..247 (default 63)\n"
    "  --product-model TEXT  product model, registers 116..122 (default HX-KRV4-0750)\n"
    "  --drive-model TEXT    drive model, registers 0xFFC0.. (default KRV4)\n"
    "  --firmware N          register 138, e.g. 200 for 200.0 (default 200)\n"
    "  --software N          register 123, version x 10 (default 15)\n"
    "  --variant N           register 0xFFBF (default 1001)\n"
    "  --state FILE          keep the non-volatile memory and factory set in FILE\n"
    "  --db PATH             parameter database (default: DATA.sqlite of the program;\n"
    "                        \"-\" = none: all parameters 0 and visible)\n"
    "  --baud N              answer no faster than a line at N baud (default: at once)\n"
    "  --bits N              bits per character for --baud (default: the client's line\n"
    "                        settings on the pseudo-terminal, 11 on TCP)\n"
    "  --drop-rate F         fraction of requests left unanswered (0..1)\n"
    "  --corrupt-rate F      fraction of replies with one damaged byte (0..1)\n"
    "  --delay-ms N          extra delay before each reply\n"
    "  --seed N              seed of the fault injection\n"
    "  --stuck REG           storage command register (90, 91, 410) that never clears;\n"
    "                        may be repeated\n"
    "  --command-delay-ms N  time a storage command stays busy (default 300)\n"
    "\n"
    "The motor and its recording:\n"
    "  --motion NAME         what commands the motor: none (holds still, default) or\n"
    "                        demo (a continuous back-and-forth move, as pulses from a\n"
    "                        motion controller)\n"
    "  --resonance-hz F      the load's mechanical resonance, 50..1500 (default 300)\n"
    "  --source-mask N       register 52, the sources offered for sampling\n"
    "                        (default 0xFFFF: all sixteen)\n"
    "  --sample-channels N   register 99, channels recorded at once, 0..4 (default 4)\n"
    "  --sample-capacity N   register 136, points for all channels together,\n"
    "                        0..8042 (default 8000)\n"
    "\n"
    "The sampling engine answers exception 3 (illegal data value), changing nothing,\n"
    "for a channel code (34, 94, 95, 96) that is not one source of the mask or\n"
    "that makes more channels active than register 99 allows; for points per\n"
    "channel (137) of 0 or that, times the active channels, exceed the capacity;\n"
    "for a start (32 = 1) whose settings exceed the capacity; and for an interval\n"
    "(33) of 0. The spectrum settings (409) answer exception 3 for a frequency code\n"
    "above 3 or a point-count code above 2. A parameter written outside the range\n"
    "its definition gives answers exception 3 as well.\n"
    "\n"
    "  --help                show this text\n";

[[noreturn]] void UsageError(const std::string& message) {
    std::cerr << "halvex-drive-sim: " << message << "\nTry --help.\n";
    std::exit(2);
}

long long Integer(const std::string& option, const std::string& text, long long min, long long max) {
    size_t used = 0;
    long long v = 0;
    try {
        v = std::stoll(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || v < min || v > max)
        UsageError(option + " needs a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
                   ", not \"" + text + "\"");
    return v;
}

double Rate(const std::string& option, const std::string& text) {
    size_t used = 0;
    double v = -1;
    try {
        v = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || !(v >= 0.0 && v <= 1.0))
        UsageError(option + " needs a number from 0 to 1, not \"" + text + "\"");
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    hx::sim::DriveOptions options;
    options.bitsPerChar = 0;
    std::string ptyLink, tcp;
    bool wantPty = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg.rfind("--", 0) != 0) UsageError("unexpected argument \"" + arg + "\"");
        if (i + 1 >= argc) UsageError(arg + " needs a value");
        const std::string value = argv[++i];
        if (arg == "--pty") {
            wantPty = true;
            ptyLink = value;
        } else if (arg == "--tcp") {
            tcp = value;
        } else if (arg == "--station") {
            options.station = static_cast<uint8_t>(Integer(arg, value, 1, 247));
        } else if (arg == "--product-model") {
            options.productModel = value;
        } else if (arg == "--drive-model") {
            options.driveModel = value;
        } else if (arg == "--firmware") {
            options.firmwareRegister = static_cast<int16_t>(Integer(arg, value, -32768, 32767));
        } else if (arg == "--software") {
            options.softwareRegister = static_cast<int16_t>(Integer(arg, value, -32768, 32767));
        } else if (arg == "--variant") {
            options.variantCode = static_cast<uint16_t>(Integer(arg, value, 0, 65535));
        } else if (arg == "--state") {
            options.stateFile = value;
        } else if (arg == "--db") {
            options.databasePath = value;
        } else if (arg == "--baud") {
            options.baud = static_cast<int>(Integer(arg, value, 0, 4000000));
        } else if (arg == "--bits") {
            options.bitsPerChar = static_cast<int>(Integer(arg, value, 7, 12));
        } else if (arg == "--drop-rate") {
            options.dropRate = Rate(arg, value);
        } else if (arg == "--corrupt-rate") {
            options.corruptRate = Rate(arg, value);
        } else if (arg == "--delay-ms") {
            options.delayMs = static_cast<int>(Integer(arg, value, 0, 600000));
        } else if (arg == "--seed") {
            options.seed = static_cast<unsigned>(Integer(arg, value, 0, 4294967295LL));
        } else if (arg == "--stuck") {
            const auto r = static_cast<uint16_t>(Integer(arg, value, 0, 65535));
            if (hx::ClassifyRegister(r) != hx::RegisterKind::Command)
                UsageError("--stuck takes a storage command register (90, 91 or 410), not " + value);
            options.stuckRegisters.insert(r);
        } else if (arg == "--motion") {
            if (value != "none" && value != "demo") UsageError("--motion takes none or demo, not \"" + value + "\"");
            options.motion = value;
        } else if (arg == "--resonance-hz") {
            options.resonanceHz = static_cast<double>(Integer(arg, value, 50, 1500));
        } else if (arg == "--source-mask") {
            options.sourceMask = static_cast<uint16_t>(Integer(arg, value, 0, 65535));
        } else if (arg == "--sample-channels") {
            options.sampleChannels = static_cast<uint16_t>(Integer(arg, value, 0, 4));
        } else if (arg == "--sample-capacity") {
            options.sampleCapacity = static_cast<uint16_t>(Integer(arg, value, 0, 8042));
        } else if (arg == "--command-delay-ms") {
            options.commandDelayMs = static_cast<int>(Integer(arg, value, 0, 600000));
        } else {
            UsageError("unknown option " + arg);
        }
    }
    if (tcp.empty()) wantPty = true;

    // Signals are taken by sigwait below; the serving threads never see them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        hx::sim::VirtualDrive drive(options);
        hx::sim::DriveServer server(drive, options);
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

        int sig = 0;
        sigwait(&signals, &sig);

        server.Stop();
        // A command that was under way finishes, as the drive would before
        // it is switched off.
        drive.FinishPendingCommands();
        if (!drive.SaveState()) {
            std::cerr << "halvex-drive-sim: " << drive.LastStateError() << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "halvex-drive-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
