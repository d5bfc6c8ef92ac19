#pragma once
// The command line of halvex-drive-sim. Each part of the drive with options
// of its own gets an AddXxxOptions(CLI::App&, DriveOptions&) function that
// declares them (hx::cmdline::AddNumberOption and AddRateOption read numbers
// the way the other options do) and one call in AddDriveOptions; the help
// text lists every option in the group it was declared in.

#include <CLI/CLI.hpp>

#include <string>

#include "sim/DriveOptions.h"

namespace hx::sim {

// Where the drive is served; filled by the options.
struct ServeOptions {
    std::string ptyLink;  // symlink to the pseudo-terminal; empty: none
    std::string tcp;      // "HOST:PORT"; empty: no TCP
    bool pty = false;     // --pty given (a pseudo-terminal is also used without --tcp)
    bool trace = false;   // --trace: every request and reply on standard error
};

void AddServingOptions(CLI::App& app, ServeOptions& serve);
void AddIdentityOptions(CLI::App& app, DriveOptions& options);
void AddStorageOptions(CLI::App& app, DriveOptions& options);
void AddLineOptions(CLI::App& app, DriveOptions& options);
void AddMotorOptions(CLI::App& app, DriveOptions& options);
// The machine the motor drives (Machine.h), per line or per station, and
// where the loops' truth goes.
void AddMachineOptions(CLI::App& app, DriveOptions& options);

// Every option of the program, in the order --help lists them.
void AddDriveOptions(CLI::App& app, DriveOptions& options, ServeOptions& serve);

}  // namespace hx::sim
