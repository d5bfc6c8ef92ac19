#pragma once
// The `run ...` commands of halvex-cli: a velocity trapezoid or the
// current-loop test with a capture, and the stop of both.

#include <string>
#include <vector>

class CliContext;

// args: the words after "run". Returns the exit status.
int RunRunCommand(const CliContext& ctx, const std::vector<std::string>& args);
