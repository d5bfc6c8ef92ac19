// halvex-cli params against a simulated drive served in this process over a
// pseudo-terminal; the tool runs as its own process.

#include <signal.h>

#include <filesystem>

#include "core/backup/ChangeJournal.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/TransferPlan.h"
#include "support/CliOnDrive.h"

namespace {

using hx::test::Join;
using hx::test::ProgramResult;
using hx::test::RunCli;
using hx::test::SplitLines;

bool IsSetting(uint16_t address) { return hx::ClassifyRegister(address) == hx::RegisterKind::Parameter; }

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

// The text with its one line "address=from" changed to "address=to".
std::string WithValue(std::string text, int address, int from, int to) {
    const auto line = [address](int value) {
        std::string l(1, '\n');
        l.append(std::to_string(address)).append(1, '=').append(std::to_string(value)).append("\r\n");
        return l;
    };
    const auto at = text.find(line(from));
    EXPECT_NE(at, std::string::npos) << line(from);
    return at == std::string::npos ? text : text.replace(at, line(from).size(), line(to));
}

using Bench = hx::test::CliOnDrive;

// A drive before firmware 200 has the low range only: quick transfers. The
// tool keeps its backups and journal in the test's data folder.
struct LowRangeBench : Bench {
    // baud: replies paced as on such a line (0: at once).
    explicit LowRangeBench(uint8_t station, int baud = 0)
        : Bench({.station = station, .firmwareRegister = 150, .baud = baud}) {
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);  // the tool inherits it
    }
    ~LowRangeBench() { ::unsetenv("XDG_DATA_HOME"); }
    const std::string data = folder.File("data");
    const std::vector<hx::ParameterDefinition> defs = hx::LoadDefinitions(folder.DatabasePath(), "KRV4");
};

}  // namespace

TEST(CliParams, DumpReadLoadCompareAndSave) {
    hx::sim::DriveOptions options;  // station 63, drive model KRV4, firmware 200.0
    Bench b(options);
    auto& vd = b.vd;
    auto cli = [&](const std::vector<std::string>& words) { return b.Run(Join({"--late-horizon-ms", "150"}, words)); };
    const auto defs = hx::LoadDefinitions(b.folder.DatabasePath(), options.driveModel);
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
    ProgramResult r = cli({"params", "dump"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto dump = SplitLines(r.out);
    ASSERT_EQ(dump.size(), 2150u);
    EXPECT_EQ(dump[150].rfind("30000=", 0), 0u);
    EXPECT_EQ(dump[2149], "31999=4321");
    for (const auto& [def, value] : {std::pair{intDef, "100000"}, {ushortDef, "65534"}, {shortDef, "-2"}}) {
        const int index = def->address <= 149 ? def->address : def->address - 29850;
        EXPECT_EQ(dump[index], std::to_string(def->address) + "=" + value);
    }

    // read: the same values into a parameter file with its header.
    const std::string saved = b.folder.File("drive.qxr");
    r = cli({"params", "read", "-o", saved, "--description", "bench run"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto file = SplitLines(hx::test::ReadFileBytes(saved));
    ASSERT_EQ(file.size(), 2153u);
    EXPECT_EQ(file[0], "DriveType=" + options.productModel + "\r");
    EXPECT_EQ(file[1], "DriveVerssion=1.5\r");
    EXPECT_EQ(file[2], "Description=bench run\r");
    EXPECT_EQ(file[2152], "31999=4321\r");

    // load: the drive's changed settings go back to the file's values.
    vd.SetRam(shortDef->address, 7);
    vd.SetRam(31999, 1);
    r = cli({"params", "load", saved});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(vd.Ram(shortDef->address), 0xFFFE);
    EXPECT_EQ(vd.Ram(31999), 4321);
    // Its progress on standard error, which is no terminal here: a line per
    // tenth of each transfer, ending at 100 %.
    for (const std::string phase : {"reading parameters: ", "writing parameters: ", "reading back: "}) {
        std::vector<std::string> steps;
        for (const auto& line : SplitLines(r.err))
            if (line.rfind(phase, 0) == 0) steps.push_back(line.substr(phase.size()));
        ASSERT_FALSE(steps.empty()) << phase << " missing from\n" << r.err;
        EXPECT_LE(steps.size(), 10u) << r.err;
        EXPECT_EQ(steps.back().rfind("100% (", 0), 0u) << steps.back();
    }

    // compare: identical sets, then two differences named from the database.
    const std::string odd = b.folder.File("odd.qxr");
    hx::test::WriteFileBytes(odd, WithValue(WithValue(hx::test::ReadFileBytes(saved), 90, 0, 5), 91, 0, 1));
    r = cli({"params", "compare", saved, saved});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "The two parameter sets are identical.\n");
    r = cli({"params", "compare", saved, odd, "--model", options.driveModel});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto rows = SplitLines(r.out);
    ASSERT_EQ(rows.size(), 4u) << r.out;
    EXPECT_EQ(rows[1].rfind("90\t", 0), 0u);
    EXPECT_NE(rows[1].find("\t0\t5"), std::string::npos) << rows[1];
    EXPECT_EQ(rows[2].rfind("91\t", 0), 0u);
    r = cli({"params", "compare", saved, b.folder.File("missing.qxr")});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("missing.qxr"), std::string::npos) << r.err;

    // save: the drive's RAM into its non-volatile memory.
    r = cli({"params", "save"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.Nv(31999), 4321);

    // Nobody at the station.
    r = RunCli({"--port", b.drive.DevicePath(), "--station", "62", "--timeout", "20", "--late-horizon-ms", "150",
                "params", "dump"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
}

// A wrong file loaded, and the drive put back with one command: the backup
// taken before the load, the journal of the load, only what differs written.
TEST(CliParams, AWrongFileLoadedIsUndoneByRestoreLatest) {
    LowRangeBench b(4);
    const auto* a = FirstOfType(b.defs, "SHORT", 3);
    ASSERT_TRUE(a);
    const std::string address = std::to_string(a->address);
    b.vd.SetRam(a->address, 3);
    const std::string good = b.folder.File("good.qxr"), wrong = b.folder.File("wrong.qxr");
    // A command that only reads leaves the change journal alone: it is not
    // even created.
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"read", "0"}, {"identity"}, {"find", "4", "4"}, {"params", "dump"}, {"params", "read", "-o", good}})
        ASSERT_EQ(b.Run(words).status, 0) << words[0];
    EXPECT_FALSE(std::filesystem::exists(b.data + "/halvex/journal.sqlite"));
    EXPECT_FALSE(std::filesystem::exists(b.data + "/halvex/unfinished"));
    hx::test::WriteFileBytes(wrong, WithValue(hx::test::ReadFileBytes(good), a->address, 3, 2));

    // The file's zeros in the high range are never sent to this drive.
    ProgramResult r = b.Run({"params", "load", "--force", wrong});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(b.vd.Ram(a->address), 2);
    EXPECT_NE(r.err.find("the drive's values from before are in " + b.data + "/halvex/backups/"), std::string::npos)
        << r.err;
    std::string before = r.err.substr(r.err.find(b.data + "/halvex/backups/"));
    before = before.substr(0, before.find('\n'));

    // Loaded again, it changes nothing: its backup holds the wrong value and
    // nothing was written after it, so it is never "latest".
    ASSERT_EQ(b.Run({"params", "load", "--force", wrong}).status, 0);
    r = RunCli({"params", "backups"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto listed = SplitLines(r.out);
    ASSERT_EQ(listed.size(), 3u) << r.out;  // the heading and the two backups
    EXPECT_NE(listed[2].find("\t4\t" + b.data + "/halvex/backups/"), std::string::npos) << listed[2];
    EXPECT_NE(listed[2].find("-st4.qxr"), std::string::npos) << listed[2];

    // The load's one change on record, confirmed.
    r = b.Run({"params", "history"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = SplitLines(r.out);
    ASSERT_EQ(rows.size(), 2u) << r.out;
    EXPECT_NE(rows[1].find("\tfile\t" + address + "\t" + a->name + "\t3\t2\tconfirmed"), std::string::npos) << rows[1];
    // The restore names the backup and what it changed; run twice, the
    // second finds the drive as the first left it (the first restore's own
    // backup, of the wrong value, is never "latest"). The channel a scope
    // chose since is no setting: it stays.
    b.vd.SetRam(hx::reg::kSampleChannel1, 8);
    for (const char* run : {"first", "second"}) {
        r = b.Run({"params", "restore", "latest"});
        ASSERT_EQ(r.status, 0) << run << ": " << r.err;
        EXPECT_EQ(b.vd.Ram(a->address), 3) << run;
        EXPECT_NE(r.out.find("latest: the backup taken before params load " + wrong), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(before), std::string::npos) << r.out;
    }
    EXPECT_NE(r.out.find("nothing to write"), std::string::npos) << r.out;
    EXPECT_EQ(b.vd.Ram(hx::reg::kSampleChannel1), 8);
    r = b.Run({"params", "history", "-n", "0"});
    EXPECT_NE(r.out.find("\trestore\t" + address + "\t" + a->name + "\t2\t3\tconfirmed"), std::string::npos) << r.out;
    // Each run of the tool is a session of its own: the restore took its own
    // backup; the second, with nothing to write, none.
    EXPECT_EQ(SplitLines(RunCli({"params", "backups"}).out).size(), 4u);

    // Without a usable data folder nothing is written, unless the script
    // says so: --no-backup skips the backup only, the journal needs its own
    // word. A file where the data folder should be, and a folder where the
    // journal should be.
    hx::test::WriteFileBytes(b.folder.File("blocked"), "x");
    std::filesystem::create_directories(b.folder.File("nojournal/halvex/journal.sqlite"));
    int value = 9;
    for (const char* data : {"blocked", "nojournal"}) {
        SCOPED_TRACE(data);
        ::setenv("XDG_DATA_HOME", b.folder.File(data).c_str(), 1);
        const int held = b.vd.Ram(a->address);
        const std::string next = std::to_string(++value);
        r = b.Run({"write", address, next});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(data == std::string("blocked") ? "could not be backed up" : "change journal"),
                  std::string::npos)
            << r.err;
        r = b.Run({"--no-backup", "write", address, next});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("could not be recorded in the change journal"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--no-journal"), std::string::npos) << r.err;
        EXPECT_EQ(b.vd.Ram(a->address), held);
        r = b.Run({"--no-backup", "--no-journal", "write", address, next});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(b.vd.Ram(a->address), value);
    }
}

// params load killed at spread moments: backups stay whole, the journal holds
// every setting that changed, and the next command tells of a half-way stop.
TEST(CliParams, AKilledLoadLeavesWholeBackupsAndAJournalOfWhatItSent) {
    // Replies paced as at 38400 baud: the write takes about 0.1 s, so every
    // kill timed after its first block lands while blocks are still to come.
    LowRangeBench b(6, 38400);
    auto& vd = b.vd;
    const std::string file = b.folder.File("other.qxr");
    ASSERT_EQ(b.Run({"params", "read", "-o", file}).status, 0);
    // The file: every SHORT setting of the low range one step up from what
    // the drive holds, within range.
    std::map<uint16_t, uint16_t> before;
    std::string text = hx::test::ReadFileBytes(file);
    for (const auto& d : b.defs) {
        const int16_t now = static_cast<int16_t>(vd.Ram(d.address));
        if (d.dataType != "SHORT" || d.address > 149 || !hx::IsSettingRegister(d.address) || !InScope(d, now + 1ll))
            continue;
        text = WithValue(text, d.address, now, now + 1);
        before[d.address] = vd.Ram(d.address);
    }
    ASSERT_GT(before.size(), 10u);
    hx::test::WriteFileBytes(file, text);
    const std::vector<std::string> load = {"--timeout", "300", "params", "load", "--force", file};
    // Left to finish, the load takes every value of the file.
    ASSERT_EQ(b.Run(load).status, 0);
    for (const auto& [address, word] : before) ASSERT_NE(vd.Ram(address), word) << address;

    auto anyTaken = [&] { return std::ranges::any_of(before, [&](auto& e) { return vd.Ram(e.first) != e.second; }); };
    int halfWritten = 0, toldOf = 0;
    for (int run = 0; run < 6; ++run) {
        SCOPED_TRACE(testing::Message() << "run " << run);
        for (const auto& [address, word] : before) vd.SetRam(address, word);
        int status;
        {
            hx::test::BackgroundProgram cli(hx::test::CliProgram(),
                                            Join({"--port", b.drive.DevicePath(), "--station", "6"}, load), 0, true);
            // The first runs die while the backup is read, the others once
            // the write has begun, at spread moments into it.
            if (run < 3)
                std::this_thread::sleep_for(std::chrono::milliseconds(60 + 60 * run));
            else
                ASSERT_TRUE(hx::test::PollUntil(anyTaken, std::chrono::seconds(30)));
            std::this_thread::sleep_for(std::chrono::milliseconds(run < 3 ? 0 : 10 * (run - 3)));
            status = cli.Stop(SIGKILL);
        }
        // Killed before its backup was written, a run may leave none yet. A
        // temporary file of a backup cut short is no backup: never listed,
        // never restored.
        std::error_code none;
        std::vector<std::filesystem::path> backups;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(b.data + "/halvex/backups", none))
            if (entry.is_regular_file() && entry.path().extension() != ".tmp") backups.push_back(entry.path());
        for (const auto& path : backups)
            EXPECT_EQ(SplitLines(hx::test::ReadFileBytes(path.string())).size(), 2153u)
                << path << " is a whole parameter file";
        // Every setting the drive took from the file is on record before it was sent.
        hx::ChangeJournal journal;
        std::string why;
        ASSERT_TRUE(journal.Open(b.data + "/halvex/journal.sqlite", &why)) << why;
        std::map<uint16_t, int32_t> recorded;
        for (const auto& row : journal.History(b.drive.DevicePath(), 6)) recorded.emplace(row.reg, row.newValue);
        bool changed = false, unchanged = false;
        for (const auto& [address, word] : before) {
            if (vd.Ram(address) == word) {
                unchanged = true;
                continue;
            }
            changed = true;
            ASSERT_TRUE(recorded.count(address)) << "register " << address << " changed unrecorded";
            EXPECT_EQ(recorded[address], int16_t(vd.Ram(address))) << "register " << address;
        }
        // Half-written (some settings taken, some not): the next command says so.
        if (changed && unchanged && status == 128 + SIGKILL) {
            ++halfWritten;
            const ProgramResult r = b.Run({"--timeout", "300", "--late-horizon-ms", "150", "read", "0"});
            toldOf += r.err.find("The last write to this drive stopped after block") != std::string::npos;
        }
    }
    EXPECT_GT(halfWritten, 0) << "no run died half-way through the write";
    EXPECT_EQ(toldOf, halfWritten) << "a load that stopped half-way went untold";
}

// A load killed while it reads the drive back has sent every block and
// checked none: the next command says so, with the backup from before it.
TEST(CliParams, ALoadKilledWhileReadingBackIsToldAsWrittenNotVerified) {
    LowRangeBench b(8, 9600);  // replies paced as at 9600 baud: a read-back to catch
    const auto* a = FirstOfType(b.defs, "SHORT", 4);
    ASSERT_TRUE(a);
    b.vd.SetRam(a->address, 3);
    const std::string file = b.folder.File("other.qxr");
    ASSERT_EQ(b.Run({"params", "read", "-o", file}).status, 0);
    hx::test::WriteFileBytes(file, WithValue(hx::test::ReadFileBytes(file), a->address, 3, 4));
    b.vd.ClearRequests();
    int status = 0;
    {
        hx::test::BackgroundProgram cli(
            hx::test::CliProgram(),
            {"--port", b.drive.DevicePath(), "--station", "8", "--timeout", "300", "params", "load", "--force", file},
            0, true);
        // A read after the last block went out: the read-back. From here the
        // drive answers nothing, and the tool is killed waiting.
        const auto readingBack = [&] {
            bool wrote = false;
            for (const auto& q : b.vd.Requests()) {
                if (q.function == 16) wrote = true;
                if (wrote && q.function == 3) return true;
            }
            return false;
        };
        ASSERT_TRUE(hx::test::PollUntil(readingBack, std::chrono::seconds(30)));
        b.drive.Server().LoseReplies(1.0);
        status = cli.Stop(SIGKILL);
    }
    b.drive.Server().ClearFaults();
    ASSERT_EQ(status, 128 + SIGKILL) << "the load ended before it could be killed reading back";
    EXPECT_EQ(b.vd.Ram(a->address), 4);
    const ProgramResult r = b.Run({"--timeout", "300", "--late-horizon-ms", "150", "read", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string blocks = std::to_string(hx::WriteAllPlan(150.0f).size());
    EXPECT_NE(r.err.find("The last write to this drive was written, not verified: all " + blocks + " blocks went out"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("params restore " + b.data + "/halvex/backups/"), std::string::npos) << r.err;
    // Said once.
    EXPECT_EQ(b.Run({"--timeout", "300", "--late-horizon-ms", "150", "read", "0"}).err, "");
}
