#pragma once
// halvex-cli alarms: the current alarm and the history with their names
// (and causes and remedies with -v), clearing the current fault or the
// history, and the fault-detection mask.

#include <string>
#include <vector>

class CliContext;
class CliCommands;

extern const char* const kAlarmsUsage;

int RunAlarmsCommand(const CliContext& ctx, const std::vector<std::string>& args);

// Registers alarms (and its clear, clear-history and mask) with halvex-cli.
void AddAlarmCommands(CliCommands& commands);
