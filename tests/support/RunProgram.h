#pragma once
// Runs one of the built programs to its end, as a user would from a shell.

#include <string>
#include <vector>

namespace hx::test {

struct ProgramResult {
    int status = -1;  // exit status; -1 when killed or not started
    std::string out, err;
};

// Collects both output streams; a program still running after 60 s is killed.
ProgramResult RunProgram(const std::string& program, std::vector<std::string> args);

// The build's halvex-cli, and a run of it; the build's simulated drive.
std::string CliProgram();
std::string DriveSimProgram();
ProgramResult RunCli(std::vector<std::string> args);

// The words of `first` followed by those of `then`.
std::vector<std::string> Join(std::vector<std::string> first, const std::vector<std::string>& then);

// A program left running in the background (a simulated drive serving a
// port), stopped with SIGTERM on destruction. Waits until the program has
// printed `expectedLines` lines on standard output (and error when `errorsToo`) (at most 30 s). A
// quiet one writes both streams to /dev/null, for programs that print more than a pipe nobody reads would take.
class BackgroundProgram {
public:
    BackgroundProgram(const std::string& program, std::vector<std::string> args, int expectedLines, bool quiet = false,
                      bool errorsToo = false);
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;
    const std::vector<std::string>& Lines() const { return m_lines; }
    // Sends the signal and waits for the end: the exit status, or 128 + the
    // signal's number when a signal ended it.
    int Stop(int signal);
    int Wait();  // until it ends by itself
    void CloseOutput();  // as a reader that has read enough ("| head")
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
    int m_out = -1;
    std::vector<std::string> m_lines;
};

}  // namespace hx::test
