// The change gate against the simulated drive over a real pseudo-terminal,
// with a real data folder: backups, the journal, and what stops a write.

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "core/backup/BackupStore.h"
#include "core/backup/ChangeGate.h"
#include "core/backup/ChangeJournal.h"
#include "core/backup/Restore.h"
#include "support/PtyDrive.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterFile.h"
#include "core/params/ReadAllJob.h"
#include "core/writes/WriteAllJob.h"
#include "core/writes/WriteOne.h"
#include "core/protocol/Registers.h"
#include "core/runtest/RunSequence.h"
#include "core/runtest/VibrationTuning.h"

namespace fs = std::filesystem;

// Every flush of the journal's files (and its folder) this program makes:
// the C library's own calls are replaced by these, which count and pass on.
static std::atomic<int> g_journalFlushes{0};
static void CountJournalFlush(int fd) {
    char path[512];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    if (n > 0 && (std::string(path, static_cast<size_t>(n)).find("journal.sqlite") != std::string::npos ||
                  std::string(path, static_cast<size_t>(n)).rfind("/halvex") == static_cast<size_t>(n) - 7))
        ++g_journalFlushes;
}
extern "C" int fdatasync(int fd) {
    CountJournalFlush(fd);
    return static_cast<int>(::syscall(SYS_fdatasync, fd));
}
extern "C" int fsync(int fd) {
    CountJournalFlush(fd);
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

using hx::ChangeBatch;
using hx::ChangeGate;
using hx::ChangeOrigin;
using hx::GateResult;
using namespace hx::test;

namespace {

constexpr uint8_t kStation = 7;
constexpr float kFirmware = 150.0f;  // the low range only: a quick whole read

// Every setting a word.
hx::sim::DriveOptions Options() {
    return {.station = kStation, .firmwareRegister = static_cast<int16_t>(kFirmware), .databasePath = "-"};
}

struct Bench : ProgramFolderFirst, PtyDrive {
    Bench() : PtyDrive(Options(), 300) {
        dataFolder = folder.File("data");
        ::setenv("XDG_DATA_HOME", dataFolder.c_str(), 1);
        Connect();
    }
    ~Bench() { ::unsetenv("XDG_DATA_HOME"); }
    // A new connection: a new session with the drive.
    void Connect() {
        comm.CloseCom();
        opened = comm.OpenCom() != 0;
        comm.SetCurrentUseMode(1);
        gate.Attach(Drive(), Info());
    }
    // From here on no backup can be written: a file stands where the data folder should be.
    void BlockDataFolder() {
        hx::test::WriteFileBytes(folder.File("blocked"), "x");
        ::setenv("XDG_DATA_HOME", folder.File("blocked/data").c_str(), 1);
    }
    hx::DriveHandle Drive() { return hx::DriveHandle(&comm, kStation, kFirmware); }
    static hx::DriveInfo Info() { return hx::DriveInfo{"QX-TEST", "1.5", "none", "QX Test", kFirmware}; }
    std::vector<hx::BackupEntry> Backups() { return gate.Store().List("QX Test"); }
    std::vector<hx::JournalRow> History() {
        hx::ChangeJournal* j = gate.Journal();
        EXPECT_NE(j, nullptr);
        return j ? j->History(comm.PortName(), kStation) : std::vector<hx::JournalRow>{};
    }
    // The journal, newest first, one "register origin old>new confirmed" a row.
    std::vector<std::string> Brief() {
        std::vector<std::string> out;
        for (const auto& r : History())
            out.push_back(std::to_string(r.reg) + " " + r.origin + " " +
                          (r.oldValue ? std::to_string(*r.oldValue) : "?") + ">" + std::to_string(r.newValue) + " " +
                          (r.confirmed ? (*r.confirmed ? "yes" : "no") : "unknown"));
        return out;
    }
    bool WroteNothing() { return Requests().size() == Requests(kRead).size(); }
    // The backup's value of each register, as the file holds it.
    static std::map<uint16_t, int32_t> BackupValues(const std::string& path) {
        hx::ParameterFileContents contents;
        std::string error;
        EXPECT_TRUE(hx::ReadParameterFile(path, &contents, &error)) << error;
        return {contents.values.begin(), contents.values.end()};
    }

    std::string dataFolder;
    CParameter table;
    // The data folder as the environment names it at each use.
    ChangeGate gate;
};

}  // namespace

TEST(ChangeGate, EveryWritePathMakesOneBackupPerSessionAndJournalsEachRegister) {
    Bench b;
    b.Vd().SetRam(3, 111);
    b.Vd().SetRam(40, 222);

    // A cell edit: the drive is read whole first, the backup holds what it held.
    {
        ChangeBatch edit(b.gate, b.Drive(), ChangeOrigin::Edit);
        const GateResult gate = edit.Prepare();
        ASSERT_TRUE(gate.ok()) << gate.message;
        EXPECT_TRUE(hx::WriteOne(edit.drive(), b.table, 3, 5, &edit).answered);
    }
    ASSERT_EQ(b.Backups().size(), 1u);
    const std::string first = b.Backups().front().path;
    EXPECT_EQ(fs::path(first).parent_path(), fs::path(b.dataFolder) / "halvex" / "backups" / "QX_Test");
    EXPECT_EQ(b.Backups().front().station, kStation);
    const std::string firstBytes = hx::test::ReadFileBytes(first);
    EXPECT_EQ(Bench::BackupValues(first).at(3), 111);
    EXPECT_EQ(Bench::BackupValues(first).at(40), 222);

    // A slider and the whole table in the same session: no second backup.
    hx::DriveHandle drive = b.Drive();
    EXPECT_TRUE(hx::runtest::WriteResonanceSetting(b.gate, drive, 0, 9).value);
    ASSERT_EQ(hx::ReadAll(b.Drive(), b.table).status, hx::TransferStatus::Completed);
    b.table.SetValue(40, 333);
    {
        ChangeBatch file(b.gate, b.Drive(), ChangeOrigin::File, "a.qxr");
        ASSERT_TRUE(file.Prepare().ok());
        EXPECT_EQ(hx::WriteAll(b.Drive(), b.table, {}, {}, &file).status, hx::TransferStatus::Completed);
    }
    EXPECT_EQ(b.Vd().Ram(40), 333);
    ASSERT_EQ(b.Backups().size(), 1u);

    // The value the drive holds written again changes nothing: not on record.
    ASSERT_TRUE(hx::WriteThroughGate(b.gate, b.Drive(), ChangeOrigin::Edit, {{3, 5}}).ok());
    // Each register on record, old value and new, confirmed by the drive;
    // the whole-table write records only the register it changed. (Undo and
    // restore, verified on the drive: the change-history window's test.)
    const std::string slider = std::to_string(hx::reg::kAntiVibration[0]) + " slider 0>9 yes";
    EXPECT_EQ(b.Brief(), (std::vector<std::string>{"40 file 222>333 yes", slider, "3 edit 111>5 yes"}));
    EXPECT_EQ(b.History().back().backup, first);

    // A new connection is a new session: a new backup, the old one untouched.
    b.Connect();
    ASSERT_TRUE(hx::WriteThroughGate(b.gate, b.Drive(), ChangeOrigin::CommandLine, {{3, 6}}).ok());
    ASSERT_EQ(b.Backups().size(), 2u);
    EXPECT_EQ(hx::test::ReadFileBytes(first), firstBytes);
    EXPECT_EQ(Bench::BackupValues(b.Backups().front().path).at(40), 333);
}

TEST(ChangeGate, ACompleteReadOfTheSessionIsTheBackupWithoutAnotherRead) {
    Bench b;
    b.Vd().SetRam(12, 4321);
    ASSERT_EQ(hx::ReadAll(b.Drive(), b.table).status, hx::TransferStatus::Completed);
    // The reader's caller tells the gate: the read is the backup at hand.
    b.gate.NoteCompleteRead(b.Drive(), b.table);
    b.Vd().ClearRequests();
    ChangeBatch changes(b.gate, b.Drive(), ChangeOrigin::Edit);
    ASSERT_TRUE(changes.Prepare().ok());
    EXPECT_TRUE(b.Requests(kRead).empty()) << "the read at hand serves";
    EXPECT_EQ(Bench::BackupValues(changes.BackupPath()).at(12), 4321);

    // After a write the read is stale: a factory restore's fresh backup reads again.
    ASSERT_TRUE(changes.Write(12, 5).has_value());
    b.Vd().ClearRequests();
    ChangeBatch restore(b.gate, b.Drive(), ChangeOrigin::Command, "factory restore");
    ASSERT_TRUE(restore.Prepare({}, {}, {.freshBackup = true}).ok());
    EXPECT_GT(b.Requests(kRead).size(), 2u);
    EXPECT_NE(restore.BackupPath(), changes.BackupPath());
    EXPECT_EQ(Bench::BackupValues(restore.BackupPath()).at(12), 5);
}

TEST(ChangeGate, AnInterruptedWholeSetWriteIsToldOnceWithItsBackup) {
    Bench b;
    {
        ChangeBatch load(b.gate, b.Drive(), ChangeOrigin::File, "params load a.qxr");
        ASSERT_TRUE(load.Prepare().ok());
        load.BeginBlocks(111);
        ChangeBatch::Pending p;
        const uint16_t word = 9;
        ASSERT_TRUE(load.Journal(30, &word, 1, &p));
        load.BlockDone(47);
        // Left without EndBlocks: a write that ended short.
    }
    const auto unfinished = b.gate.TakeUnfinished(b.comm.PortName(), kStation);
    ASSERT_TRUE(unfinished);
    EXPECT_EQ(hx::UnfinishedWriteText(*unfinished), "The last write to this drive stopped after block 47 of 111");
    EXPECT_EQ(unfinished->backup, b.Backups().front().path);
    EXPECT_EQ(b.History().front().confirmed, std::nullopt) << "sent or not, nobody knows";
    EXPECT_FALSE(b.gate.TakeUnfinished(b.comm.PortName(), kStation)) << "said once";
}

TEST(ChangeGate, AnUnwritableDataFolderStopsTheWriteUntilTheUserLetsItGoOnce) {
    Bench b;
    // A file where the data folder should be: nothing can be created below it.
    b.BlockDataFolder();
    b.Vd().SetRam(5, 50);
    b.Vd().ClearRequests();

    const hx::GatedWrites refused = hx::WriteThroughGate(b.gate, b.Drive(), ChangeOrigin::Edit, {{5, 1}});
    EXPECT_EQ(refused.gate.status, GateResult::Status::BackupFailed);
    EXPECT_TRUE(refused.gate.canGoOnWithout());
    EXPECT_NE(refused.gate.message.find("could not be backed up"), std::string::npos) << refused.gate.message;
    EXPECT_EQ(b.Vd().Ram(5), 50);
    EXPECT_TRUE(b.WroteNothing());

    b.gate.AllowOnceWithoutBackup(b.Drive());
    EXPECT_TRUE(hx::WriteThroughGate(b.gate, b.Drive(), ChangeOrigin::Edit, {{5, 2}}).ok());
    EXPECT_EQ(b.Vd().Ram(5), 2);
    // Once only: the next change is gated again.
    EXPECT_EQ(hx::WriteThroughGate(b.gate, b.Drive(), ChangeOrigin::Edit, {{5, 3}}).gate.status,
              GateResult::Status::BackupFailed);
    EXPECT_EQ(b.Vd().Ram(5), 2);
}

TEST(ChangeGate, TheVibrationAssistantsSetsAreBackedUpJournaledAndRefusedWithoutABackup) {
    Bench b;
    const auto writes = hx::runtest::AntiVibrationWrites({30, 40, 10}, 1);
    ASSERT_EQ(writes.size(), 3u);

    // Put a set in, as tune vibration and the resonance page do: a backup
    // first, each register on record as a tuning change.
    hx::DriveHandle drive = b.Drive();
    const hx::runtest::WriteOutcome written = hx::runtest::WriteAntiVibration(b.gate, drive, writes, "tune vibration");
    ASSERT_TRUE(written.gate.ok()) << written.gate.message;
    EXPECT_FALSE(written.unanswered);
    EXPECT_EQ(b.Backups().size(), 1u);
    std::vector<std::string> rows;
    for (auto w = writes.rbegin(); w != writes.rend(); ++w)
        rows.push_back(std::to_string(w->address) + " tune 0>" + std::to_string(w->word) + " yes");
    EXPECT_EQ(b.Brief(), rows);

    // A new session whose backup cannot be written: nothing goes out.
    b.BlockDataFolder();
    b.Connect();
    b.Vd().ClearRequests();
    hx::DriveHandle again = b.Drive();
    const hx::runtest::WriteOutcome refused =
        hx::runtest::WriteAntiVibration(b.gate, again, hx::runtest::AntiVibrationWrites({}, 1), "tune vibration");
    EXPECT_EQ(refused.gate.status, GateResult::Status::BackupFailed);
    EXPECT_TRUE(b.WroteNothing());
}

TEST(BackupStore, NeverReplacesABackupAndKeepsTheNewestOfEachDrive) {
    hx::test::TempProgramFolder folder;
    const hx::BackupStore store(folder.File("backups"));
    const std::time_t when = 1700000000;
    std::string path, error;
    ASSERT_TRUE(store.Save("QX 4/A", "/dev/ttyUSB0", 3, when, "first\n", 3, &path, &error)) << error;
    const std::string stamp = hx::BackupStore::Stamp(when);
    EXPECT_EQ(path, folder.File("backups/QX_4_A/" + stamp + "-dev_ttyUSB0-st3.qxr"));
    // The same second: a name of its own, the first one untouched.
    ASSERT_TRUE(store.Save("QX 4/A", "/dev/ttyUSB0", 3, when, "second\n", 3, &path, &error));
    EXPECT_EQ(path, folder.File("backups/QX_4_A/" + stamp + "-dev_ttyUSB0-st3-2.qxr"));
    EXPECT_EQ(hx::test::ReadFileBytes(folder.File("backups/QX_4_A/" + stamp + "-dev_ttyUSB0-st3.qxr")), "first\n");
    // Another drive of the model: its backups push out only its own older ones.
    for (int k = 1; k <= 4; ++k) ASSERT_TRUE(store.Save("QX 4/A", "COM1", 1, when + k, "later\n", 3, &path, &error));
    EXPECT_EQ(store.List("QX 4/A", "/dev/ttyUSB0", 3).size(), 2u);
    auto kept = store.List("QX 4/A", "COM1", 1);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept.front().stamp, hx::BackupStore::Stamp(when + 4));
    EXPECT_EQ(kept.back().stamp, hx::BackupStore::Stamp(when + 2));
    // A clock set back: the new backup's name is the oldest, yet it stays.
    ASSERT_TRUE(store.Save("QX 4/A", "COM1", 1, when - 3600, "after the clock went back\n", 3, &path, &error));
    EXPECT_EQ(hx::test::ReadFileBytes(path), "after the clock went back\n");
    kept = store.List("QX 4/A", "COM1", 1);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[1].stamp, hx::BackupStore::Stamp(when + 3)) << "the oldest by name went";
    // No temporary file is left behind.
    int files = 0;
    for (const auto& e : fs::directory_iterator(folder.File("backups/QX_4_A"))) files += e.is_regular_file();
    EXPECT_EQ(files, 5);
    // Names the store did not give are not backups, whatever their numbers.
    hx::BackupEntry e;
    for (const char* name : {"20250101-000000-COM1-st1-99999999999.qxr", "20250101-000000-COM1-st1-2147483648.qxr",
                             "20250101-000000-COM1-st1-1001.qxr", "20250101-000000-COM1-st1234.qxr"})
        EXPECT_FALSE(hx::BackupStore::ParseName(name, &e)) << name;
    ASSERT_TRUE(hx::BackupStore::ParseName("20250101-000000-COM1-st12-1000.qxr", &e));
    EXPECT_EQ(std::tie(e.port, e.station, e.sequence), std::make_tuple(std::string("COM1"), 12, 1000));

    hx::test::WriteFileBytes(folder.SettingsPath(), "[Backup]\nKeep=7\n");
    EXPECT_EQ(hx::BackupStore::KeepFromSettings(), 7);
    hx::test::WriteFileBytes(folder.SettingsPath(), "[Backup]\nKeep=junk\n");
    EXPECT_EQ(hx::BackupStore::KeepFromSettings(), 50);
}

// A whole-set write puts every change on record, flushed to disk, before its
// first block, and flushes no more than that: the confirmations and the
// progress of each block need no flush to survive a killed program.
TEST(ChangeGate, AWholeSetWriteFlushesTheJournalAtMostThreeTimes) {
    Bench b;
    ASSERT_EQ(hx::ReadAll(b.Drive(), b.table).status, hx::TransferStatus::Completed);
    int changed = 0;
    for (uint16_t a = 0; a <= 149; ++a)
        if (hx::IsSettingRegister(a)) {
            b.table.LoadWords(a, std::array<uint16_t, 1>{static_cast<uint16_t>(b.Vd().Ram(a) + 1)}.data(), 1);
            ++changed;
        }
    ChangeBatch load(b.gate, b.Drive(), ChangeOrigin::File, "a.qxr");
    ASSERT_TRUE(load.Prepare().ok());
    g_journalFlushes = 0;
    ASSERT_EQ(hx::WriteAll(b.Drive(), b.table, {}, {}, &load).status, hx::TransferStatus::Completed);
    EXPECT_LE(g_journalFlushes.load(), 3);
    EXPECT_GE(g_journalFlushes.load(), 1) << "the record is on the disk before the first block";
    EXPECT_EQ(static_cast<int>(b.History().size()), changed);
}
