// halvex-cli: talk to a drive from the command line.
//
// Adding a command: write it in its own file (src/cli/XxxCommands.cpp) with
// one registration function, `void AddXxxCommands(CliCommands& commands)`,
// that declares the command with commands.Add / AddWithWords / AddGroup and
// its options on the CLI::App it gets back (CliCommands.h shows an example),
// declare the function in XxxCommands.h and call it below, beside the others.
// Help texts, mistakes and exit statuses then come out as for every command.

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>

#include "cli/AlarmCommands.h"
#include "cli/BackupCommands.h"
#include "cli/CaptureCommands.h"
#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/LinkCommands.h"
#include "cli/ParamsCommands.h"
#include "cli/SetupCommand.h"
#include "cli/RunCommands.h"
#include "cli/TuneCommands.h"
#include "core/Globals.h"
#include "core/backup/ChangeGate.h"
#include "core/link/CQXCOM.h"
#include "core/link/ModbusRtuTransport.h"
#include "core/link/PortResolver.h"
#include "core/runtest/LeftRunWatch.h"
#include "core/settings/EnvSettings.h"
#include "core/util/CommandLine.h"
#include "core/util/EndSignals.h"

namespace {

const char* const kEpilog =
    "Numbers may be decimal or 0x-hexadecimal. The link options may also stand after the command,\n"
    "except after \"run velocity\", \"run torque\" and \"run stop\", whose words are their own.\n"
    "identity, params dump|read|load|save, setup, alarms, capture and fft work on many drives: the\n"
    "stations of --stations on every --port; {port} and {station} in file names are filled in.\n"
    "Exit status: 0 success, 1 no answer or an unusable file (many drives: any drive failed),\n"
    "2 bad command line, 3 port not opened, 130 a run interrupted.";

// The link options every command shares; their defaults come from the
// settings file the program uses.
void AddLinkOptions(CLI::App& app, CliOptions& options) {
    app.add_option_function<std::vector<std::string>>(
           "--port",
           [&options](const std::vector<std::string>& names) {
               for (const auto& name : names) {
                   if (name.empty()) throw CLI::ValidationError("--port needs a name");
                   // A mistyped network address is a mistake on the line, not a port that failed.
                   std::string head = name.substr(0, 4);
                   for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                   if (head == "tcp:" && !hx::PortResolver::ParseTcp(name, nullptr, nullptr))
                       throw CLI::ValidationError("--port: not a valid tcp:HOST:PORT address: " + name);
               }
               options.ports = names;
               options.port = names.front();
           },
           "COM1..COM9 (see Parameters/Ports.ini), a device path or tcp:HOST:PORT\n"
           "(default: the settings file's port, else COM1); several: one\n"
           "worker each, all at once")
        ->type_name("NAME")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    hx::cmdline::AddNumberOption(app, "--baud", options.baud, 50, 4000000,
                                 "default 38400; framing is 8 data bits, no parity, 2 stop bits")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                const auto n = hx::cmdline::ParseWholeNumber(text);
                if (n && *n >= 50 && *n <= 4000000 && !hx::IsStandardBaud(static_cast<int>(*n)))
                    return "not a standard baud rate: " + text;
                return "";
            },
            "", "standard baud rate"));
    CLI::Option* station = hx::cmdline::AddNumberOption(app, "--station", options.station, 0, 247,
                                                        "default: the settings file's station, else 63");
    hx::cmdline::AddStationListOption(app, options.stations, station,
                                      "several drives on each port, in turn, e.g. 1-8 or 1,2,5; ends\n"
                                      "with a summary (see --summary-json)");
    app.add_option("--summary-json", options.summaryJson,
                   "write the summary of the drives worked on to FILE as JSON")
        ->type_name("FILE");
    hx::cmdline::AddNumberOption(app, "--timeout", options.timeoutMs, 1, 65535, "reply time-out in ms, default 100")
        ->type_name("MS");
    app.add_flag("--no-backup", options.noBackup,
                 "change the drive without first saving a backup of its parameters (for scripts that\n"
                 "know what they do); only the backup is skipped: the change journal is still\n"
                 "written, and a change it cannot record is refused (see --no-journal)");
    app.add_flag("--no-journal", options.noJournal,
                 "change the drive without recording the change in the change journal (params history\n"
                 "and undo then know nothing of it)");
    app.add_flag("--trace", options.trace,
                 "print every request and reply on standard error, in hex with\n"
                 "the time and how long the drive took to answer");
    hx::cmdline::AddNumberOption(app, "--late-horizon-ms", options.lateHorizonMs, 0, 600000,
                                 "after a request without an answer, wait this long for the line to\n"
                                 "fall quiet before another request to that drive (default: the\n"
                                 "settings file's ReadComDelay/LateHorizon, else 1 s or ten\n"
                                 "time-outs, whichever is longer)")
        ->type_name("MS");
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away ("| head") must not kill a command between the
    // start of a motion and its stop: writes fail instead, and a run stops.
    hx::IgnoreClosedOutput();
    // A run another program left on a drive this command keeps talking to.
    hx::runtest::WatchLeftRunsBetweenRequests();
    hx::runtest::OnLeftRunPutBack([](const std::string& port, int station, const hx::runtest::LeftWatchdog& left) {
        const std::string clear = "halvex-cli --port " + port + " --station " + std::to_string(station) + " alarms clear";
        std::cerr << "halvex-cli: " << hx::runtest::LeftWatchdogText(left, clear) << std::endl;
    });
    // The version answers before the settings are read or the commands
    // built: a script that asks for it pays for nothing else.
    const std::string version = std::string("halvex-cli ") + g_programVersion;
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::cout << version << std::endl;
        return kExitOk;
    }
    CliOptions options;
    options.port = hx::env::Read(hx::env::kComSetting, "COM", "COM1");
    options.station = CliContext::StationFromSettings(hx::env::Read(hx::env::kDrive, "DriveNo", "63"));
    options.lateHorizonMs = hx::env::LateHorizonMs();
    // Every change a command makes to a drive goes through this gate.
    hx::ChangeGate gate;
    CliContext ctx(options, theComm, gate, std::cout, std::cerr);

    CLI::App app("Talks to a drive over its serial line (or Modbus TCP): finds it, reads and writes\n"
                 "its registers and moves its parameters to and from files.",
                 "halvex-cli");
    hx::cmdline::SetHelpStyle(app);
    app.footer(kEpilog);
    app.set_version_flag("--version", version);
    // The link options may follow the command and its words.
    app.fallthrough();
    app.require_subcommand(1);
    AddLinkOptions(app, ctx.MutableOptions());

    CliCommands commands(app, ctx);
    AddLinkCommands(commands);
    AddParamsCommands(commands);
    AddBackupCommands(commands);
    AddCaptureCommands(commands);
    AddAlarmCommands(commands);
    AddSetupCommands(commands);
    AddRunCommands(commands);
    AddTuneCommands(commands);

    if (argc < 2) {
        // A bare call gets the whole story, as a mistake.
        std::cerr << hx::cmdline::Tidy(app.help("", CLI::AppFormatMode::All));
        return kExitUsage;
    }
    ctx.SetArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (auto status = hx::cmdline::Parse(app, argc, argv, true)) return *status;
    theComm.CloseCom();
    std::cout.flush();
    return commands.Status();
}
