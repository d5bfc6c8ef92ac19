#pragma once
// The `params ...` commands of halvex-cli.

#include <string>
#include <vector>

class CliContext;

// args: the words after "params". Returns the exit status.
int RunParamsCommand(const CliContext& ctx, const std::vector<std::string>& args);
