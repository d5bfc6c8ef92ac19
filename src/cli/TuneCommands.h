#pragma once
// The `tune ...` commands of halvex-cli: assistants that run the motor,
// measure what it does and set the drive up from it.
//
//   tune vibration [trapezoid options of "run velocity"] [--points N] [--store]

#include <string>
#include <vector>

class CliContext;
class CliCommands;

// args: the words after "tune". Returns the exit status.
int RunTuneCommand(const CliContext& ctx, const std::vector<std::string>& args);

// Registers "tune vibration".
void AddTuneCommands(CliCommands& commands);
