#pragma once
// One command on many drives: the stations --stations names on every port
// --port names. The stations of one port are worked on in turn (one line
// carries one request at a time); the ports in parallel, a worker each with
// its own link. Each drive first has to answer register 0 and give its
// identity (a silent station costs its retries and no more); then the
// command runs with the context of that drive (CliContext.h: its link and
// station as Drive(), its port, its own parameter table, its file names
// through Expand()). A drive that fails never stops the others.
//
// While it works, standard error gets each drive's lines behind
// "[PORT station N] " and one line as each drive ends; standard output gets
// each drive's output as one block behind "== PORT station N ==", then the
// summary table. --summary-json FILE gets the same summary as JSON
// (FormatSummaryJson; the README documents it). Exit status 0 when every
// drive succeeded, 1 otherwise (the failed ones named on stderr), 2 when
// the command refused the line for every drive.
//
// A command joins by CliCommands::OnEveryDrive; it writes its files under
// the names Expand() gives, so `-o 'axis-{port}-{station}.qxr'` names one
// file per drive.

#include <functional>
#include <string>
#include <vector>

class CliContext;

struct DriveRunResult {
    std::string port;
    int station = 0;
    std::string model;    // the drive's product model; empty when it did not say
    bool ok = false;
    std::string message;  // why it failed
    std::string output;   // the file written for this drive, when the command writes one
    double seconds = 0;
    int status = 0;       // the command's exit status for this drive
};

// The command for one drive; returns its exit status (CliExit).
using DriveAction = std::function<int(const CliContext& drive)>;

// output: the command's output file option (a name with {port} and
// {station}), or null for a command that writes none.
int RunOnDrives(const CliContext& ctx, const DriveAction& action, const std::string* output);

// The summary as printed: a header, one row per drive, a closing count.
std::string FormatSummaryTable(const std::vector<DriveRunResult>& results);
// The summary as --summary-json writes it.
std::string FormatSummaryJson(const std::vector<std::string>& arguments, const std::vector<DriveRunResult>& results,
                              double seconds);
