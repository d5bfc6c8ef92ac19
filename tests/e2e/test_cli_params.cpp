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
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/backup/ChangeJournal.h"
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

    // Nobody at the station.
    r = RunCli({"--port", drive.DevicePath(), "--station", "62", "--timeout", "20", "--late-horizon-ms", "150", "params", "dump"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

// A wrong file loaded, and the drive put back with one command: the backup
// taken before the load, the journal of the load, only what differs written.
TEST(CliParams, AWrongFileLoadedIsUndoneByRestoreLatest) {
    hx::test::TempProgramFolder folder;
    const std::string data = folder.File("data");
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);  // the tool inherits it
    hx::sim::DriveOptions options;
    options.station = 4;
    options.firmwareRegister = 150;  // the low range only: quick transfers
    hx::sim::InProcessDrive drive(options);
    auto& vd = drive.Drive();
    auto cli = [&](std::vector<std::string> words) {
        std::vector<std::string> all = {"--port", drive.DevicePath(), "--station", "4"};
        all.insert(all.end(), words.begin(), words.end());
        return RunCli(all);
    };
    const auto defs = hx::LoadDefinitions(folder.DatabasePath(), options.driveModel);
    const auto* a = FirstOfType(defs, "SHORT", 3);
    ASSERT_TRUE(a);
    vd.SetRam(a->address, 3);
    const std::string good = folder.File("good.qxr");
    ASSERT_EQ(cli({"params", "read", "-o", good}).status, 0);
    std::string wrong = hx::test::ReadFileBytes(good);
    const std::string line = "\n" + std::to_string(a->address) + "=3\r\n";
    ASSERT_NE(wrong.find(line), std::string::npos);
    wrong.replace(wrong.find(line), line.size(), "\n" + std::to_string(a->address) + "=2\r\n");
    hx::test::WriteFileBytes(folder.File("wrong.qxr"), wrong);

    // A drive before firmware 200 has no high range: the file's zeros there are never sent.
    Result r = cli({"params", "load", "--force", folder.File("wrong.qxr")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Ram(a->address), 2);
    EXPECT_NE(r.err.find("the drive's values from before are in " + data + "/halvex/backups/"), std::string::npos)
        << r.err;

    r = RunCli({"params", "backups"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto listed = Lines(r.out);
    ASSERT_EQ(listed.size(), 2u) << r.out;  // the heading and the one backup
    EXPECT_NE(listed[1].find("\t4\t" + data + "/halvex/backups/"), std::string::npos) << listed[1];
    EXPECT_NE(listed[1].find("-st4.qxr"), std::string::npos) << listed[1];

    // The load's one change on record, confirmed.
    r = cli({"params", "history"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    EXPECT_NE(rows[1].find("\tfile\t" + std::to_string(a->address) + "\t" + a->name + "\t3\t2\tconfirmed"),
              std::string::npos)
        << rows[1];

    r = cli({"params", "restore", "latest"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Ram(a->address), 3);
    EXPECT_NE(r.out.find("Restored 1 settings from "), std::string::npos) << r.out;
    r = cli({"params", "history", "-n", "1"});
    rows = Lines(r.out);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    EXPECT_NE(rows[1].find("\trestore\t" + std::to_string(a->address) + "\t" + a->name + "\t2\t3\tconfirmed"),
              std::string::npos)
        << rows[1];
    // Each run of the tool is a session of its own: the restore took its own backup.
    EXPECT_EQ(Lines(RunCli({"params", "backups"}).out).size(), 3u);

    // Without a usable data folder nothing is written, unless the script says so.
    hx::test::WriteFileBytes(folder.File("blocked"), "x");
    ::setenv("XDG_DATA_HOME", folder.File("blocked").c_str(), 1);
    r = cli({"write", std::to_string(a->address), "9"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("could not be backed up"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--no-backup"), std::string::npos) << r.err;
    EXPECT_EQ(vd.Ram(a->address), 3);
    r = cli({"--no-backup", "write", std::to_string(a->address), "9"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Ram(a->address), 9);
    ::unsetenv("XDG_DATA_HOME");
}

// params load killed at spread moments: whatever moment it dies, every
// backup is a whole parameter file, every setting the drive holds that
// differs from before is in the journal, and the next command tells of a
// load that stopped half-way.
TEST(CliParams, AKilledLoadLeavesWholeBackupsAndAJournalOfWhatItSent) {
    hx::test::TempProgramFolder folder;
    const std::string data = folder.File("data");
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    hx::sim::DriveOptions options;
    options.station = 6;
    options.firmwareRegister = 150;
    hx::sim::InProcessDrive drive(options);
    auto& vd = drive.Drive();
    const std::vector<std::string> common = {"--port", drive.DevicePath(), "--station", "6", "--timeout", "300"};
    const auto defs = hx::LoadDefinitions(folder.DatabasePath(), options.driveModel);
    const std::string file = folder.File("other.qxr");
    ASSERT_EQ(RunCli({"--port", drive.DevicePath(), "--station", "6", "params", "read", "-o", file}).status, 0);
    // The file: every SHORT setting one step up from what the drive holds, within range.
    std::map<uint16_t, uint16_t> before;
    std::string text = hx::test::ReadFileBytes(file);
    for (const auto& d : defs) {
        // The low range: all a drive before firmware 200 has.
        if (d.dataType != "SHORT" || d.address > 149 || !hx::IsSettingRegister(d.address) ||
            !InScope(d, vd.Ram(d.address) + 1ll))
            continue;
        const std::string from = "\n" + std::to_string(d.address) + "=" + std::to_string(int16_t(vd.Ram(d.address))) + "\r\n";
        const auto at = text.find(from);
        if (at == std::string::npos) continue;
        text.replace(at, from.size(), "\n" + std::to_string(d.address) + "=" + std::to_string(int16_t(vd.Ram(d.address)) + 1) + "\r\n");
        before[d.address] = vd.Ram(d.address);
    }
    ASSERT_GT(before.size(), 10u);
    hx::test::WriteFileBytes(file, text);
    // Left to finish, the load takes every value of the file.
    {
        std::vector<std::string> args = common;
        args.insert(args.end(), {"params", "load", "--force", file});
        ASSERT_EQ(RunCli(args).status, 0);
        for (const auto& [address, word] : before) ASSERT_NE(vd.Ram(address), word) << address;
    }

    const std::string cli = hx::test::BuildBinFolder() + "/halvex-cli";
    for (int run = 0; run < 8; ++run) {
        for (const auto& [address, word] : before) vd.SetRam(address, word);
        std::vector<std::string> args = common;
        args.insert(args.end(), {"params", "load", "--force", file});
        std::vector<char*> argv{const_cast<char*>(cli.c_str())};
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execv(cli.c_str(), argv.data());
            ::_exit(127);
        }
        // From the start of the read to the end of the write, in even steps.
        std::this_thread::sleep_for(std::chrono::milliseconds(60 + 45 * run));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);

        // Killed before its backup was written, a run may leave none yet.
        std::error_code none;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(data + "/halvex/backups", none)) {
            if (!entry.is_regular_file()) continue;
            const std::string name = entry.path().filename().string();
            // A temporary file of a backup cut short is no backup: never listed, never restored.
            if (entry.path().extension() == ".tmp") continue;
            const auto lines = Lines(hx::test::ReadFileBytes(entry.path().string()));
            EXPECT_EQ(lines.size(), 2153u) << name << " is a whole parameter file";
        }
        // Every setting the drive took from the file is on record before it was sent.
        hx::ChangeJournal journal;
        std::string why;
        ASSERT_TRUE(journal.Open(data + "/halvex/journal.sqlite", &why)) << why;
        std::map<uint16_t, int32_t> recorded;
        for (const auto& row : journal.History(drive.DevicePath(), 6)) recorded.emplace(row.reg, row.newValue);
        bool changed = false, unchanged = false;
        for (const auto& [address, word] : before) {
            if (vd.Ram(address) == word) {
                unchanged = true;
                continue;
            }
            changed = true;
            ASSERT_TRUE(recorded.count(address)) << "run " << run << ": register " << address << " changed unrecorded";
            EXPECT_EQ(recorded[address], int16_t(vd.Ram(address))) << "run " << run << ": register " << address;
        }
        // Half-written (some settings taken, some not): the next command says so.
        if (changed && unchanged && WIFSIGNALED(status)) {
            std::vector<std::string> next = common;
            next.insert(next.end(), {"read", "0"});
            const Result r = RunCli(next);
            EXPECT_NE(r.err.find("The last write to this drive stopped after block"), std::string::npos)
                << "run " << run << ": " << r.err;
        }
    }
    ::unsetenv("XDG_DATA_HOME");
}
