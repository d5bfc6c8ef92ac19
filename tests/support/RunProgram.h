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

}  // namespace hx::test
