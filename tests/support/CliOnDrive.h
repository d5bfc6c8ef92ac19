#pragma once
// A simulated drive served in this process on a pseudo-terminal, the program
// folder it takes its definitions from, and halvex-cli run against it as its
// own process, as a user would from a shell.

#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace hx::test {

struct CliOnDrive {
    // `link`: words that go before each command's own, after the port and station.
    explicit CliOnDrive(sim::DriveOptions o, const std::vector<std::string>& link = {})
        : drive(o), m_link(Join({"--port", drive.DevicePath(), "--station", std::to_string(o.station)}, link)) {}
    std::vector<std::string> Args(const std::vector<std::string>& words) const { return Join(m_link, words); }
    ProgramResult Run(const std::vector<std::string>& words) const { return RunCli(Args(words)); }
    std::string File(const std::string& name) const { return folder.File(name); }

    TempProgramFolder folder;
    sim::InProcessDrive drive;
    sim::VirtualDrive& vd = drive.Drive();

private:
    std::vector<std::string> m_link;
};

}  // namespace hx::test
