#pragma once
// The `params ...` commands of halvex-cli.

#include <string>
#include <vector>

class CliCommands;

// Registers "params dump|save|read|load|compare" with halvex-cli.
void AddParamsCommands(CliCommands& commands);
