// halvex-cli params against a simulated drive served in this process over a
// pseudo-terminal: the tool runs as its own process, the test looks into the
// drive's registers directly.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "core/params/DriveDefinitions.h"
#include "sim/InProcessDrive.h"
#include "core/protocol/Registers.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

using Result = hx::test::ProgramResult;

// Runs halvex-cli to its end, collecting both output streams.
Result RunCli(std::vector<std::string> args) {
    return hx::test::RunProgram(hx::test::BuildBinFolder() + "/halvex-cli", std::move(args));
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsSetting(uint16_t address) {
    return hx::ClassifyRegister(address) == hx::RegisterKind::Parameter;
}

// Whether the definition's range ("MIN~MAX") holds the value: the drive
// refuses a value outside it.
bool InScope(const hx::ParameterDefinition& d, long long value) {
    const auto tilde = d.scope.find('~');
    if (tilde == std::string::npos) return false;
    return std::stoll(d.scope.substr(0, tilde)) <= value && value <= std::stoll(d.scope.substr(tilde + 1));
}

// The first setting of the given type in the model's definitions whose range
// holds the value (for INT, one whose high half is a setting too).
const hx::ParameterDefinition* FirstOfType(const std::vector<hx::ParameterDefinition>& defs, const std::string& type,
                                           long long value) {
    for (const auto& d : defs) {
        if (d.dataType != type || !IsSetting(d.address) || !InScope(d, value)) continue;
        if (type == "INT" && (d.address == 0 || !IsSetting(static_cast<uint16_t>(d.address - 1)))) continue;
        return &d;
    }
    return nullptr;
}

}  // namespace

TEST(CliParams, DumpReadLoadCompareAndSave) {
    hx::test::TempProgramFolder folder;
    hx::sim::DriveOptions options;  // station 63, drive model KRV4, firmware 200.0
    hx::sim::InProcessDrive drive(options);
    auto& vd = drive.Drive();
    const std::vector<std::string> common = {"--port", drive.DevicePath(), "--late-horizon-ms", "150", "--station", "63"};
    auto cli = [&](std::vector<std::string> words) {
        std::vector<std::string> all = common;
        all.insert(all.end(), words.begin(), words.end());
        return RunCli(all);
    };

    const auto defs = hx::LoadDefinitions(folder.DatabasePath(), options.driveModel);
    const auto* intDef = FirstOfType(defs, "INT", 100000);
    const auto* ushortDef = FirstOfType(defs, "USHORT", 65534);
    const auto* shortDef = FirstOfType(defs, "SHORT", -2);
    ASSERT_TRUE(intDef && ushortDef && shortDef);
    vd.SetRam(static_cast<uint16_t>(intDef->address - 1), 1);
    vd.SetRam(intDef->address, 0x86A0);
    vd.SetRam(ushortDef->address, 0xFFFE);
    vd.SetRam(shortDef->address, 0xFFFE);
    vd.SetRam(31999, 4321);

    // dump: one line per slot in table order, values with the model's types.
    Result r = cli({"params", "dump"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto dump = Lines(r.out);
    ASSERT_EQ(dump.size(), 2150u);
    EXPECT_EQ(dump[0].rfind("0=", 0), 0u);
    EXPECT_EQ(dump[149].rfind("149=", 0), 0u);
    EXPECT_EQ(dump[150].rfind("30000=", 0), 0u);
    EXPECT_EQ(dump[2149], "31999=4321");
    auto lineOf = [&](uint16_t address) {
        const int index = address <= 149 ? address : address - 29850;
        return dump[index];
    };
    EXPECT_EQ(lineOf(intDef->address), std::to_string(intDef->address) + "=100000");
    EXPECT_EQ(lineOf(ushortDef->address), std::to_string(ushortDef->address) + "=65534");
    EXPECT_EQ(lineOf(shortDef->address), std::to_string(shortDef->address) + "=-2");

    // read: the same values into a parameter file with its header.
    const std::string saved = folder.File("drive.qxr");
    r = cli({"params", "read", "-o", saved, "--description", "bench run"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto file = Lines(hx::test::ReadFileBytes(saved));
    ASSERT_EQ(file.size(), 2153u);
    EXPECT_EQ(file[0], "DriveType=" + options.productModel);
    EXPECT_EQ(file[1], "DriveVerssion=1.5");
    EXPECT_EQ(file[2], "Description=bench run");
    EXPECT_EQ(file[2152], "31999=4321");

    // load: the drive's changed settings go back to the file's values.
    vd.SetRam(shortDef->address, 7);
    vd.SetRam(31999, 1);
    r = cli({"params", "load", saved});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(vd.Ram(shortDef->address), 0xFFFE);
    EXPECT_EQ(vd.Ram(31999), 4321);
    EXPECT_EQ(vd.Ram(intDef->address), 0x86A0);
    // Its progress on standard error, which is no terminal here: a line per
    // tenth of each transfer, ending at 100 %.
    for (const std::string phase : {"reading parameters: ", "writing parameters: ", "reading back: "}) {
        std::vector<std::string> steps;
        for (const auto& line : Lines(r.err))
            if (line.rfind(phase, 0) == 0) steps.push_back(line.substr(phase.size()));
        ASSERT_FALSE(steps.empty()) << phase << " missing from\n" << r.err;
        EXPECT_LE(steps.size(), 10u) << r.err;
        EXPECT_EQ(steps.back().rfind("100% (", 0), 0u) << steps.back();
    }

    // A file cannot start the drive's commands: "90=5" and "91=1" are left
    // out of the write (the factory restore would undo the load).
    std::string edited = hx::test::ReadFileBytes(saved);
    auto at = edited.find("\r\n90=0\r\n");
    ASSERT_NE(at, std::string::npos);
    edited.replace(at, 8, "\r\n90=5\r\n");
    at = edited.find("\r\n91=0\r\n");
    ASSERT_NE(at, std::string::npos);
    edited.replace(at, 8, "\r\n91=1\r\n");
    const std::string odd = folder.File("odd.qxr");
    hx::test::WriteFileBytes(odd, edited);
    vd.SetRam(shortDef->address, 9);
    r = cli({"params", "load", odd});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(vd.CommandsCompleted(90), 0);
    EXPECT_EQ(vd.CommandsCompleted(91), 0);
    EXPECT_EQ(vd.Ram(shortDef->address), 0xFFFE);
    EXPECT_EQ(vd.Ram(91), 0);

    // compare: identical sets, then two differences named from the database.
    r = cli({"params", "compare", saved, saved});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "The two parameter sets are identical.\n");
    r = cli({"params", "compare", saved, odd, "--model", options.driveModel});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 4u) << r.out;
    EXPECT_EQ(rows[1].rfind("90\t", 0), 0u);
    EXPECT_NE(rows[1].find("\t0\t5"), std::string::npos) << rows[1];
    EXPECT_EQ(rows[2].rfind("91\t", 0), 0u);
    r = cli({"params", "compare", saved, folder.File("missing.qxr")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("missing.qxr"), std::string::npos) << r.err;

    // save: the drive's RAM into its non-volatile memory.
    r = cli({"params", "save"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Nv(31999), 4321);

    // Nobody at the station, and bad command lines.
    r = RunCli({"--port", drive.DevicePath(), "--station", "62", "--timeout", "20", "--late-horizon-ms", "150", "params", "dump"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"params"}, {"params", "bogus"}, {"params", "read"}, {"params", "load"}, {"params", "compare", saved},
             {"params", "read", "-o"}, {"params", "dump", "extra"}}) {
        r = cli(bad);
        EXPECT_EQ(r.status, 2) << bad.back();
    }
}
