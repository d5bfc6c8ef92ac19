#pragma once
// The `run ...` commands of halvex-cli: a velocity trapezoid or the
// current-loop test with a capture, and the stop of both.

#include <string>
#include <vector>

class CliContext;
class CliCommands;

// args: the words after "run". Returns the exit status.
int RunRunCommand(const CliContext& ctx, const std::vector<std::string>& args);

// Registers "run velocity", "run torque" and "run stop"; their options are
// read by the run command itself, as the pages check them.
void AddRunCommands(CliCommands& commands);
