#pragma once
// The drive commands of halvex-cli: find, read, write, identity.
// Each takes the words after its name and returns the exit status.

#include <string>
#include <vector>

class CliCommands;
class CliContext;

// Registers find, read, write and identity with halvex-cli.
void AddLinkCommands(CliCommands& commands);

int RunFindCommand(const CliContext& ctx, const std::vector<std::string>& args);
int RunReadCommand(const CliContext& ctx, const std::vector<std::string>& args);
int RunWriteCommand(const CliContext& ctx, const std::vector<std::string>& args);
int RunIdentityCommand(const CliContext& ctx, const std::vector<std::string>& args);
