#include "sim/DriveCommandLine.h"

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
                   "\"-\" = none: all parameters 0 and visible)")
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
    AddNumberOption(app, "--resonance-hz", options.resonanceHz, 50, 1500,
                    "the load's mechanical resonance, 50..1500 (default 300)")
        ->type_name("F")
        ->group(group);
    AddNumberOption(app, "--machine-hz", options.machineHz, 0, 100,
                    "the machine's own low swing (an arm, a gantry), which\n"
                    "leaves the motor ringing after a hard move; 0..100\n"
                    "(default 25, 0: a rigid machine)")
        ->type_name("F")
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
}

}  // namespace hx::sim
