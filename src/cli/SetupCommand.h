#pragma once
// The `setup` command of halvex-cli: the setup wizard's settings as
// name=value lines, and applying such lines to a drive.

#include <string>
#include <vector>

class CliContext;
class CliCommands;

// args: the words after "setup". Returns the exit status.
int RunSetupCommand(const CliContext& ctx, const std::vector<std::string>& args);

// Registers "setup [apply FILE]" with halvex-cli.
void AddSetupCommands(CliCommands& commands);
