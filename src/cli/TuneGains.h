#pragma once
// `tune gains [--travel REV] [--stiffness soft|medium|stiff|HZ] [--captures N] [--store]
// [--bode FILE.csv]`: identify, choose, write (RAM) and prove the loop's
// gains and notches; with --stations and several --port on many drives.

namespace CLI {
class App;
}
class CliCommands;

void AddTuneGainsCommand(CliCommands& commands, CLI::App& tune);
