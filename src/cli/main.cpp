// halvex-cli: talk to a drive from the command line.

#include <iostream>
#include <string>
#include <vector>

#include "cli/CaptureCommands.h"
#include "cli/CliContext.h"
#include "cli/LinkCommands.h"
#include "cli/ParamsCommands.h"
#include "core/Globals.h"
#include "core/link/CQXCOM.h"
#include "core/link/ModbusRtuTransport.h"
#include "core/settings/EnvSettings.h"

namespace {

const char* const kUsage =
    "usage: halvex-cli [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  find [FIRST [LAST]]  print each station (default 0..63) where a drive answers\n"
    "  read ADDR [COUNT]    print ADDR=VALUE for COUNT registers (default 1)\n"
    "  write ADDR VALUE     write one register (VALUE -32768..65535)\n"
    "  identity             print the drive's versions, models and display model\n"
    "  params ...           parameter commands\n"
    "  capture --channels C1[,C2[,C3[,C4]]] [--interval US] [--points N] [-o FILE]\n"
    "                       have the drive capture up to four signals (source codes,\n"
    "                       0 = off; interval default 100 us, points default 200);\n"
    "                       FILE.wave or FILE.csv, else the CSV on standard output\n"
    "  fft [-o FILE.csv]    the drive's spectrum as Bin,Frequency(Hz),Value\n"
    "  wave export IN.wave OUT.csv  the CSV export of a waveform file\n"
    "\n"
    "options:\n"
    "  --port NAME      COM1..COM9 (see Parameters/Ports.ini), a device path or\n"
    "                   tcp:HOST:PORT (default: the settings file's port, else COM1)\n"
    "  --baud N         default 38400; framing is 8 data bits, no parity, 2 stop bits\n"
    "  --station N      default: the settings file's station, else 63\n"
    "  --timeout MS     reply time-out, default 100\n"
    "  -h, --help       this text\n"
    "\n"
    "Numbers may be decimal or 0x-hexadecimal.\n"
    "Exit status: 0 success, 1 no answer, 2 bad command line, 3 port not opened.\n";

// "--name VALUE" or "--name=VALUE"; advances i past what it took.
bool takeOption(const std::vector<std::string>& words, std::size_t& i, const std::string& name, std::string* value,
                bool* missing) {
    const std::string& w = words[i];
    if (w == name) {
        if (i + 1 >= words.size()) {
            *missing = true;
            return true;
        }
        *value = words[i + 1];
        i += 2;
        return true;
    }
    if (w.size() > name.size() && w.compare(0, name.size(), name) == 0 && w[name.size()] == '=') {
        *value = w.substr(name.size() + 1);
        ++i;
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);

    CliOptions options;
    options.port = hx::env::Read(hx::env::kComSetting, "COM", "COM1");
    options.station = CliContext::StationFromSettings(hx::env::Read(hx::env::kDrive, "DriveNo", "63"));

    CliContext usage(options, theComm, std::cout, std::cerr);
    std::vector<std::string> rest;
    std::size_t i = 0;
    while (i < words.size()) {
        const std::string& w = words[i];
        if (w == "-h" || w == "--help") {
            std::cout << kUsage;
            return kExitOk;
        }
        std::string value;
        bool missing = false;
        auto number = [&](const char* what, long lo, long hi, int* out) -> bool {
            auto n = CliContext::ParseNumber(value);
            if (!n || *n < lo || *n > hi) {
                usage.Usage(std::string("bad ") + what + ": " + value);
                return false;
            }
            *out = static_cast<int>(*n);
            return true;
        };
        if (takeOption(words, i, "--port", &value, &missing)) {
            if (missing || value.empty()) return usage.Usage("--port needs a name");
            options.port = value;
        } else if (takeOption(words, i, "--baud", &value, &missing)) {
            if (missing) return usage.Usage("--baud needs a number");
            if (!number("baud rate", 50, 4000000, &options.baud)) return kExitUsage;
            if (!hx::IsStandardBaud(options.baud)) return usage.Usage("not a standard baud rate: " + value);
        } else if (takeOption(words, i, "--station", &value, &missing)) {
            if (missing) return usage.Usage("--station needs a number");
            if (!number("station", 0, 247, &options.station)) return kExitUsage;
        } else if (takeOption(words, i, "--timeout", &value, &missing)) {
            if (missing) return usage.Usage("--timeout needs a number");
            if (!number("time-out", 1, 65535, &options.timeoutMs)) return kExitUsage;
        } else if (rest.empty() && w.size() > 1 && w[0] == '-') {
            return usage.Usage("unknown option " + w);
        } else {
            // The command and its words; these options may stand among them,
            // anything else (a negative value, a command's own option) is its.
            rest.push_back(w);
            ++i;
        }
    }
    if (rest.empty()) {
        std::cerr << kUsage;
        return kExitUsage;
    }

    const CliContext ctx(options, theComm, std::cout, std::cerr);
    const std::string command = rest.front();
    const std::vector<std::string> args(rest.begin() + 1, rest.end());
    int status;
    if (command == "find")
        status = RunFindCommand(ctx, args);
    else if (command == "read")
        status = RunReadCommand(ctx, args);
    else if (command == "write")
        status = RunWriteCommand(ctx, args);
    else if (command == "identity")
        status = RunIdentityCommand(ctx, args);
    else if (command == "params")
        status = RunParamsCommand(ctx, args);
    else if (command == "capture")
        status = RunCaptureWords(ctx, args);
    else if (command == "fft")
        status = RunFftWords(ctx, args);
    else if (command == "wave")
        status = RunWaveWords(ctx, args);
    else
        status = ctx.Usage("unknown command " + command);
    theComm.CloseCom();
    std::cout.flush();
    return status;
}
