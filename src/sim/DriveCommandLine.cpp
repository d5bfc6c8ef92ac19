#include "sim/DriveCommandLine.h"

#include <functional>
#include <memory>
#include <stdexcept>

#include "core/protocol/Registers.h"
#include "core/util/CommandLine.h"

namespace hx::sim {

using hx::cmdline::AddNumberOption;
using hx::cmdline::AddRateOption;
using hx::cmdline::AddStationListOption;

void AddServingOptions(CLI::App& app, ServeOptions& serve) {
    const std::string group = "Serving";
    app.add_option_function<std::string>(
           "--pty",
           [&serve](const std::string& link) {
               serve.pty = true;
               serve.ptyLink = link;
           },
           "serve on a pseudo-terminal and make LINK a symlink to it")
        ->type_name("LINK")
        ->group(group);
    app.add_option("--tcp", serve.tcp,
                   "serve Modbus TCP (port 0 picks a free one)\n(without --pty or --tcp: a pseudo-terminal)")
        ->type_name("HOST:PORT")
        ->group(group);
    app.add_flag("--trace", serve.trace,
                 "print every request received and reply sent on standard error,\n"
                 "in hex with the time, and what the line's faults did to it")
        ->group(group);
}

void AddIdentityOptions(CLI::App& app, DriveOptions& options) {
    const std::string group = "Drive";
    CLI::Option* station =
        AddNumberOption(app, "--station", options.station, 1, 247, "station number (default 63)")->group(group);
    AddStationListOption(app, options.stations, station,
                         "several drives on one line, one at each station, e.g. 1-8 or\n"
                         "1,2,5; each has its own parameters, motor, alarms and section\n"
                         "of the --state file; the line's other stations stay silent")
        ->group(group);
    app.add_option("--product-model", options.productModel, "product model, registers 116..122 (default HX-KRV4-0750)")
        ->type_name("TEXT")
        ->group(group);
    app.add_option("--drive-model", options.driveModel, "drive model, registers 0xFFC0.. (default KRV4)")
        ->type_name("TEXT")
        ->group(group);
    AddNumberOption(app, "--firmware", options.firmwareRegister, -32768, 32767,
                    "register 138, e.g. 200 for 200.0 (default 200)")
        ->group(group);
    AddNumberOption(app, "--software", options.softwareRegister, -32768, 32767,
                    "register 123, version x 10 (default 15)")
        ->group(group);
    AddNumberOption(app, "--variant", options.variantCode, 0, 65535,
                    "register 0xFFBF (default 1001; 1000: seven inputs and outputs)")
        ->group(group);
    AddNumberOption(app, "--alias-switch", options.aliasSwitch, 0, 63,
                    "station alias on the front-panel switch, register 4 (default 4)")
        ->group(group);
}

void AddStorageOptions(CLI::App& app, DriveOptions& options) {
    const std::string group = "Memory";
    app.add_option("--state", options.stateFile, "keep the non-volatile memory and factory set in FILE")
        ->type_name("FILE")
        ->group(group);
    app.add_option("--db", options.databasePath,
                   "parameter database (default: DATA.sqlite of the program;\n"
                   "\"-\" = none: all parameters 0 and visible, but for the\n"
                   "servo loop's, which keep the drive's own factory values)")
        ->type_name("PATH")
        ->group(group);
    app.add_option_function<std::vector<std::string>>(
           "--stuck",
           [&options](const std::vector<std::string>& words) {
               for (const std::string& text : words) {
                   const auto r = hx::cmdline::ParseWholeNumber(text);
                   if (r && *r == hx::reg::kFaultClear) {
                       options.historyClearStuck = true;
                       continue;
                   }
                   if (!r || *r < 0 || *r > 65535 ||
                       hx::ClassifyRegister(static_cast<uint16_t>(*r)) != hx::RegisterKind::Command)
                       throw CLI::ValidationError(
                           "--stuck takes a storage command register (90, 91 or 410) or 93, not " + text);
                   options.stuckRegisters.insert(static_cast<uint16_t>(*r));
               }
           },
           "storage command register (90, 91, 410) that never clears,\nor 93: the alarm history clear never ends; may be repeated")
        ->type_name("REG")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group(group);
    AddNumberOption(app, "--command-delay-ms", options.commandDelayMs, 0, 600000,
                    "time a storage command stays busy (default 300)")
        ->group(group);
    app.add_option_function<std::vector<std::string>>(
           "--alarm",
           [&options](const std::vector<std::string>& words) {
               for (const std::string& text : words) {
                   const auto code = hx::cmdline::ParseWholeNumber(text);
                   if (!code || *code < 1 || *code > 32767)
                       throw CLI::ValidationError("--alarm takes an alarm code from 1 to 32767, not " + text);
                   options.alarms.push_back(static_cast<int>(*code));
               }
           },
           "raise alarm CODE (1..32767) at start, e.g. 9 for Err0009;\nmay be repeated (the last one is the current alarm)")
        ->type_name("CODE")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group(group);
    AddNumberOption(app, "--history-clear-ms", options.historyClearDelayMs, 0, 600000,
                    "time the drive takes to clear its alarm history (default 1000)")
        ->group(group);
}

void AddLineOptions(CLI::App& app, DriveOptions& options) {
    const std::string group = "Line and faults";
    AddNumberOption(app, "--baud", options.baud, 0, 4000000, "answer no faster than a line at N baud (default: at once)")
        ->group(group);
    AddNumberOption(app, "--bits", options.bitsPerChar, 7, 12,
                    "bits per character for --baud (default: the client's line\n"
                    "settings on the pseudo-terminal, 11 on TCP)")
        ->group(group);
    AddRateOption(app, "--drop-rate", options.dropRate, "fraction of requests left unanswered (0..1)")->group(group);
    AddRateOption(app, "--corrupt-rate", options.corruptRate, "fraction of replies with one damaged byte (0..1)")
        ->group(group);
    AddNumberOption(app, "--delay-ms", options.delayMs, 0, 600000, "extra delay before each reply")->group(group);
    AddRateOption(app, "--duplicate-rate", options.duplicateRate,
                  "fraction of replies sent a second time, as a repeater or\ngateway may (0..1)")
        ->group(group);
    AddNumberOption(app, "--duplicate-delay-ms", options.duplicateDelayMs, 0, 10000,
                    "the copy goes out 0..N ms after the original (default 50)")
        ->group(group);
    AddNumberOption(app, "--seed", options.seed, 0, 4294967295LL, "seed of the fault injection")->group(group);
}

void AddMotorOptions(CLI::App& app, DriveOptions& options) {
    const std::string group = "The motor and its recording";
    app.add_option("--motion", options.motion,
                   "what commands the motor: none (holds still, default) or\n"
                   "demo (a continuous back-and-forth move, as pulses from a\n"
                   "motion controller)")
        ->type_name("NAME")
        ->check(CLI::IsMember({"none", "demo"}))
        ->group(group);
    AddNumberOption(app, "--source-mask", options.sourceMask, 0, 65535,
                    "register 52, the sources offered for sampling\n(default 0xFFFF: all sixteen)")
        ->group(group);
    AddNumberOption(app, "--sample-channels", options.sampleChannels, 0, 4,
                    "register 99, channels recorded at once, 0..4 (default 4)")
        ->group(group);
    AddNumberOption(app, "--sample-capacity", options.sampleCapacity, 0, 8042,
                    "register 136, points for all channels together,\n0..8042 (default 8000)")
        ->group(group);
}

void AddDriveOptions(CLI::App& app, DriveOptions& options, ServeOptions& serve) {
    AddServingOptions(app, serve);
    AddIdentityOptions(app, options);
    AddStorageOptions(app, options);
    AddLineOptions(app, options);
    AddMotorOptions(app, options);
    AddMachineOptions(app, options);
}

namespace {

// The line's machine, made from the two figures the first options give
// when another machine option is the first to change it.
MachineSpec& LineMachine(DriveOptions& options) {
    if (!options.machine) options.machine = MachineOf(options);
    return *options.machine;
}

// A machine option, given once or (`many`) several times: each value
// changes the line's machine, which must stay within its ranges.
CLI::Option* AddMachineChange(CLI::App& app, DriveOptions& options, const std::string& name, bool many,
                              std::function<void(MachineSpec&, const std::string&)> change,
                              const std::string& description) {
    CLI::Option* option = app.add_option_function<std::vector<std::string>>(
        name,
        [&options, name, change](const std::vector<std::string>& values) {
            try {
                for (const std::string& text : values) change(LineMachine(options), text);
                CheckMachine(*options.machine);
            } catch (const std::invalid_argument& e) {
                throw CLI::ValidationError(name + ": " + e.what());
            }
        },
        description);
    option->expected(1)->group("The machine");
    option->multi_option_policy(many ? CLI::MultiOptionPolicy::TakeAll : CLI::MultiOptionPolicy::TakeLast);
    return option;
}

}  // namespace

void AddMachineOptions(CLI::App& app, DriveOptions& options) {
    const std::string group = "The machine";
    // Before the others, whose machine starts from these two figures.
    CLI::Option* resonanceHz = AddNumberOption(app, "--resonance-hz", options.resonanceHz, 50, 1500,
                                               "the load's mechanical resonance, 50..1500 (default 300)")
                                   ->type_name("F")
                                   ->group(group);
    CLI::Option* machineHz = AddNumberOption(app, "--machine-hz", options.machineHz, 0, 100,
                                             "the machine's own low swing (an arm, a gantry), which\n"
                                             "leaves the motor ringing after a hard move; 0..100\n"
                                             "(default 25, 0: a rigid machine)")
                                 ->type_name("F")
                                 ->group(group);
    // One key of the machine syntax, as its own option.
    auto key = [](const char* name) {
        return [name](MachineSpec& m, const std::string& text) { m = ParseMachine(std::string(name) + "=" + text, m); };
    };
    std::vector<CLI::Option*> own{resonanceHz, machineHz};
    own.push_back(AddMachineChange(app, options, "--inertia-ratio", false, key("inertia-ratio"),
                                   "all of the load's inertia over the rotor's: the truth,\n"
                                   "whatever the drive's Pr1.13 says; 0..100 (default 2,\n"
                                   "or 5.33 with the low swing of --machine-hz)")
                      ->type_name("R"));
    own.push_back(AddMachineChange(
                      app, options, "--resonance", true,
                      [first = std::make_shared<bool>(true)](MachineSpec& m, const std::string& text) {
                          // The first one given replaces the default resonance.
                          if (*first) m.resonances.clear();
                          *first = false;
                          m.resonances.push_back(ParseResonance(text));
                      },
                      "a mode of the load: its frequency (20..5000 Hz), damping\n"
                      "(default 0.02) and the share of the load's inertia that\n"
                      "swings in it (default: an even part of what is left);\n"
                      "up to three, e.g. --resonance 300/0.02 --resonance 820/0.05/0.1")
                      ->type_name("HZ[/D[/SHARE]]"));
    own.push_back(AddMachineChange(app, options, "--coulomb-friction", false, key("coulomb-friction"),
                                   "the load's Coulomb friction, N m (default 0.02)")
                      ->type_name("NM"));
    own.push_back(AddMachineChange(app, options, "--viscous-friction", false, key("viscous-friction"),
                                   "the load's viscous friction, N m s/rad (default 0.0002)")
                      ->type_name("NMS"));
    CLI::Option* seed = app.add_option_function<std::string>(
                               "--machine-seed",
                               [&options](const std::string& text) {
                                   const auto n = hx::cmdline::ParseWholeNumber(text);
                                   if (!n || *n < 0 || *n > 4294967295LL)
                                       throw CLI::ValidationError(hx::cmdline::NumberRangeMessage(
                                           "--machine-seed", text, 0, 4294967295LL));
                                   options.machineSeed = static_cast<unsigned>(*n);
                               },
                               "draw a plausible machine from seed N: inertia ratio\n"
                               "0.5..20, one to three resonances at 150..1500 Hz with\n"
                               "damping 0.02..0.1, Coulomb friction 0.005..0.05 N m,\n"
                               "viscous 5e-5..5e-4 N m s/rad, no low swing; with\n"
                               "--stations the first station draws N, the next N+1...")
                           ->type_name("N")
                           ->group(group);
    for (CLI::Option* o : own) seed->excludes(o);
    app.add_option_function<std::vector<std::string>>(
           "--machine",
           [&options](const std::vector<std::string>& words) {
               for (const std::string& text : words) {
                   const auto colon = text.find(':');
                   const auto stations = colon == std::string::npos
                                             ? std::nullopt
                                             : hx::cmdline::ParseStationList(text.substr(0, colon), 1, 247);
                   if (!stations)
                       throw CLI::ValidationError(
                           "--machine takes STATIONS:KEY=VALUE,..., e.g. 3:machine-seed=7, not " + text);
                   try {
                       const MachineSpec m = ParseMachine(text.substr(colon + 1));
                       for (int s : *stations) options.stationMachines[static_cast<uint8_t>(s)] = m;
                   } catch (const std::invalid_argument& e) {
                       throw CLI::ValidationError("--machine " + text + ": " + e.what());
                   }
               }
           },
           "a machine of its own for the drives at STATIONS, given as\n"
           "KEY=VALUE pairs with the keys inertia-ratio, resonance,\n"
           "machine-hz, coulomb-friction, viscous-friction (from the\n"
           "default machine) or machine-seed alone; may be repeated,\n"
           "e.g. --machine 2:machine-seed=7 --machine 3-4:inertia-ratio=12")
        ->type_name("STATIONS:KEY=VALUE,...")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->group(group);
    app.add_option("--truth", options.truthFile,
                   "write the truth about each drive's machine and speed loop\n"
                   "(frequency responses, crossover, margins) to FILE as JSON:\n"
                   "at start, within a second of a change of the loop's\n"
                   "parameters, at once on SIGUSR1, and at exit")
        ->type_name("FILE")
        ->group(group);
}
}  // namespace hx::sim
