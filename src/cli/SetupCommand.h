#pragma once
// The `setup` command of halvex-cli: the setup wizard's settings as
// name=value lines, and applying such lines to a drive.

#include <string>
#include <vector>

class CliContext;

// args: the words after "setup". Returns the exit status.
int RunSetupCommand(const CliContext& ctx, const std::vector<std::string>& args);

// The command's part of --help.
extern const char* const kSetupUsage;
