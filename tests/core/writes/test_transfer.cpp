// The parameter transfers and storage commands against the simulated drive
// over a real pseudo-terminal, also on a line that drops or damages frames.

#include <atomic>
#include <cstdlib>
#include <future>
#include <map>
#include <set>

#include "support/SteppedDrive.h"
#include "core/backup/ChangeGate.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterFile.h"
#include "core/params/ReadAllJob.h"
#include "core/writes/DriveLoad.h"
#include "core/writes/StorageCommand.h"
#include "core/params/TransferPlan.h"
#include "core/writes/WriteAllJob.h"
#include "core/writes/WriteOne.h"
#include "core/protocol/Registers.h"

using hx::TransferResult;
using hx::TransferStatus;
using hx::sim::DriveOptions;
using namespace hx::test;
using Pairs = std::vector<std::pair<uint16_t, uint16_t>>;

namespace {

constexpr uint8_t kStation = 9;

// The sampling registers inside the low range take only what the drive's
// sampling engine can carry out (a channel code is one source of its mask),
// so the made-up values of these tests stay out of them.
bool IsSetting(uint16_t a) {
    using namespace hx::reg;
    for (uint16_t s : {kSampleTrigger, kSampleInterval, kSampleSourceMask, kSampleChannelCount, kSampleCapacity,
                       kSamplePoints, kSampleState, kSampleChannel1, kSampleChannel2, kSampleChannel3, kSampleChannel4})
        if (a == s) return false;
    return hx::IsSettingRegister(a);
}

std::vector<uint16_t> AllParameterAddresses(bool settingsOnly = false) {
    std::vector<uint16_t> all;
    for (int i = 0; i < CParameter::kSlots; ++i)
        if (const uint16_t a = CParameter::IndexToAddress(static_cast<uint16_t>(i)); !settingsOnly || IsSetting(a))
            all.push_back(a);
    return all;
}
std::vector<uint16_t> Settings() { return AllParameterAddresses(true); }

// A simulated drive on its pseudo-terminal, a link and a table of the test's own.
struct Bench : ProgramFolderFirst, PtyDrive {
    explicit Bench(DriveOptions options = PlainDrive(kStation)) : PtyDrive(std::move(options), 100) {}
    // Distinct values, negative ones among them, in every setting register.
    void FillDrive(uint16_t salt) {
        for (uint16_t a : Settings()) Vd().SetRam(a, static_cast<uint16_t>(a * 7919u + salt));
    }
    // Settings whose slot differs from the drive's register, up to `last`.
    int Mismatches(uint16_t last = 31999) {
        int n = 0;
        for (uint16_t a : AllParameterAddresses())
            n += a <= last && IsSetting(a) && table.Slot(a) != static_cast<int16_t>(Vd().Ram(a));
        return n;
    }

    CParameter table;
};

hx::ProgressCallback LogTo(std::vector<std::pair<int, int>>& calls) {
    return [&calls](int done, int total) { calls.emplace_back(done, total); };
}

std::vector<std::pair<int, int>> EveryBlockOf(int total) {
    std::vector<std::pair<int, int>> out;
    for (int k = 1; k <= total; ++k) out.emplace_back(k, total);
    return out;
}

}  // namespace

TEST(ReadAll, ReadsThreeOrFortyThreeBlocksByFirmware) {
    Bench b;
    b.FillDrive(3);
    for (uint16_t a : AllParameterAddresses()) b.table.SetValue(a, 777);
    const Pairs low = BlockList(0, 150, 50), high = BlockList(30000, 2000, 50);
    Pairs all = low;
    all.insert(all.end(), high.begin(), high.end());
    EXPECT_EQ(hx::ReadAllPlan(199.9f).size(), 3u);

    // Below 200.0 only the low range is read; the high slots keep their values.
    for (float firmware : {150.0f, 200.0f}) {
        SCOPED_TRACE(firmware);
        const Pairs& blocks = firmware < 200 ? low : all;
        const int n = static_cast<int>(blocks.size());
        std::vector<std::pair<int, int>> progress;
        b.Vd().ClearRequests();
        const TransferResult r = hx::ReadAll(b.Link(firmware), b.table, {}, LogTo(progress));
        EXPECT_EQ(std::tuple(r.status, r.blocksDone, r.blocksTotal, b.Blocks(kRead), progress),
                  std::tuple(TransferStatus::Completed, n, n, blocks, EveryBlockOf(n)));
        EXPECT_EQ(b.Mismatches(firmware < 200 ? 149 : 31999), 0);
        EXPECT_EQ(b.table.Slot(31999), firmware < 200 ? 777 : static_cast<int16_t>(b.Vd().Ram(31999)));
    }
    for (auto [done, total, percent] : {std::tuple{1, 43, 2}, {42, 43, 97}, {7, 108, 6}, {0, 0, 0}})
        EXPECT_EQ(hx::ProgressPercent(done, total), percent) << done << "/" << total;
}

TEST(WriteAll, WritesBackExactlyWhatTheReadCovers) {
    Bench b;
    b.FillDrive(11);
    for (uint16_t a = 150; a <= 159; ++a) b.Vd().Poke(a, static_cast<uint16_t>(4200 + a));
    ASSERT_EQ(hx::ReadAll(b.Link(200.0f), b.table).status, TransferStatus::Completed);

    // New values for every setting, the last ten of the high range included.
    for (uint16_t a : Settings()) b.table.SetValue(a, static_cast<int16_t>(a * 31u + 5));
    // A table (or a file) holding command values must not start them.
    for (uint16_t a : {13, 23, 32, 70, 90, 91, 92, 93}) b.table.SetValue(a, 1);
    std::vector<std::pair<int, int>> progress;
    b.Vd().ClearRequests();
    TransferResult r = hx::WriteAll(b.Link(200.0f), b.table, {}, LogTo(progress));
    EXPECT_EQ(std::tuple(r.status, r.blocksDone, progress, b.Mismatches()),
              std::tuple(TransferStatus::Completed, 111, EveryBlockOf(111), 0)) << r.errorText;

    // Runs of at most 20 inside one range, each register once; commands,
    // status and identity never, nor anything by single write.
    const auto writes = b.Requests(kWriteMultiple);
    ASSERT_EQ(writes.size(), 111u);
    std::multiset<int> written;
    for (const auto& w : writes) {
        EXPECT_LE(w.count, 20);
        EXPECT_TRUE(w.address + w.count - 1 <= 149 || w.address >= 30000) << w.address << "+" << w.count;
        for (int a = w.address; a < w.address + w.count; ++a) written.insert(a);
    }
    EXPECT_EQ(written.size(), std::set<int>(written.begin(), written.end()).size());
    for (int a : {4, 13, 23, 32, 70, 90, 91, 92, 93, 52, 99, 100, 109, 116, 123, 136, 138, 139, 148, 149, 150, 159})
        EXPECT_EQ(written.count(a), 0u) << a;
    EXPECT_TRUE(b.Requests(kWriteSingle).empty());
    for (uint16_t a = 150; a <= 159; ++a) EXPECT_EQ(b.Vd().Peek(a), 4200 + a) << "capture register " << a;

    // Below 200.0 the high range is left alone.
    b.Vd().SetRam(30000, 1);
    r = hx::WriteAll(b.Link(150.0f), b.table);
    EXPECT_EQ(std::tuple(r.status, r.blocksDone, b.Vd().Ram(30000)), std::tuple(TransferStatus::Completed, 11, uint16_t{1}));
}

TEST(Transfers, FailuresStopsAndTheJobs) {
    Bench b;
    b.FillDrive(5);

    // The drive falls silent after three blocks: the read stops there, the
    // blocks not read keep their old values, and the caller is still told.
    for (uint16_t a : AllParameterAddresses()) b.table.SetValue(a, 777);
    std::promise<TransferResult> done;
    {
        hx::ReadAllJob job;
        ASSERT_TRUE(job.start({[&](int k, int) { if (k == 3) b.Server().LoseReplies(1.0); },
                               [&](const TransferResult& result) { done.set_value(result); }},
                              b.Link(200.0f), b.table));
        TransferResult r = done.get_future().get();
        EXPECT_EQ(std::tuple(r.status, r.error, r.blocksDone, r.errorText),
                  std::tuple(TransferStatus::Failed, hx::TransferError::ReadBlockEmpty, 3,
                             std::string("Batch reading error!dataLenght = 105")));
        job.join();
        EXPECT_FALSE(job.running());
    }
    EXPECT_EQ(std::tuple(b.table.Slot(30000), b.Mismatches(149)), std::tuple(777, 0));

    // A silent drive from the start: nothing read yet, so the length is 0;
    // a write stops at its first block with the resend message.
    TransferResult r = hx::ReadAll(b.Link(200.0f), b.table);
    EXPECT_EQ(std::tuple(r.errorText, r.blocksDone), std::tuple(std::string("Batch reading error!dataLenght = 0"), 0));
    r = hx::WriteAll(b.Link(200.0f), b.table);
    EXPECT_EQ(std::tuple(r.status, r.error, r.errorText, r.blocksDone),
              std::tuple(TransferStatus::Failed, hx::TransferError::WriteBlockRejected, std::string("批处理传输出错，请重传！"), 0));

    // A stop asked for mid-read ends at a block boundary: every block
    // started was finished and reported.
    b.Server().ClearFaults();
    b.Server().AnswerLate(std::chrono::milliseconds(5));
    b.Vd().ClearRequests();
    std::atomic<int> blocks{0};
    std::promise<TransferResult> stopped;
    hx::ReadAllJob job;
    ASSERT_TRUE(job.start({[&](int k, int) { blocks = k; },
                           [&](const TransferResult& result) { stopped.set_value(result); }},
                          b.Link(200.0f), b.table));
    EXPECT_FALSE(job.start({}, b.Link(200.0f), b.table)) << "one transfer at a time";
    ASSERT_TRUE(hx::test::PollUntil([&] { return blocks >= 5; }));
    job.requestStop();
    r = stopped.get_future().get();
    job.join();
    EXPECT_TRUE(r.status == TransferStatus::Stopped && r.blocksDone >= 5 && r.blocksDone < 43) << r.blocksDone;
    EXPECT_EQ(r.blocksDone, blocks.load());
    // A block whose reply a busy machine delayed past the time-out is asked again.
    EXPECT_GE(static_cast<int>(b.Requests(kRead).size()), r.blocksDone);
    EXPECT_FALSE(job.running());

    // A job destroyed while it runs stops and joins before it goes.
    std::atomic<bool> finished{false};
    {
        hx::ChangeGate gate(b.folder.File("data"));
        hx::WriteAllJob writer;
        ASSERT_TRUE(
            writer.start(gate, {{}, [&](const TransferResult&) { finished = true; }}, b.Link(200.0f), b.table));
        EXPECT_TRUE(writer.running());
    }
    EXPECT_TRUE(finished);
}

TEST(WriteOne, WritesReadsBackAndReportsSilence) {
    Bench b;
    b.table.RegisterType(31, "INT");
    b.table.RegisterType(40, "USHORT");

    // A 32-bit value: the high half to the register below it, first.
    hx::WriteOneResult r = hx::WriteOne(b.Link(), b.table, 31, 100000);
    EXPECT_EQ(std::tuple(r.answered, r.value, b.Writes(), b.table.Slot(30)),
              std::tuple(true, 100000, Pairs{{30, 1}, {31, 0x86A0}}, 1));
    // Unsigned and signed words. (The job that runs it on a worker: the
    // parameter manager's edit test.)
    EXPECT_EQ(hx::WriteOne(b.Link(), b.table, 40, 65000).value, 65000);
    EXPECT_EQ(b.Vd().Ram(40), 65000);
    EXPECT_EQ(hx::WriteOne(b.Link(), b.table, 41, -5).value, -5);
    EXPECT_EQ(b.Vd().Ram(41), 0xFFFB);

    // Nothing answers: the table keeps its values and the caller is told which request went unanswered.
    b.Server().LoseReplies(1.0);
    for (auto [address, value, unanswered, kept] :
         {std::tuple<uint16_t, int32_t, uint16_t, int32_t>{41, 99, 41, -5}, {31, 5, 30, 100000}, {40, 3, 40, 65000}}) {
        r = hx::WriteOne(b.Link(), b.table, address, value);
        EXPECT_EQ(std::tuple(r.answered, r.unansweredRegister, r.value, b.table.GetValue(address)),
                  std::tuple(false, unanswered, kept, kept)) << address;
    }
}

// The save's 2 s and its 30 polls, the main frame's quick save of three and
// a stop during the wait are the windows' tests, on the drive's stepped
// clock; here a silent drive: no answer to the command itself, nor to the
// first poll, is a failure without the polls' long wait.
TEST(StorageCommand, ASilentDriveFailsAtOnce) {
    SteppedDrive b(PlainDrive(kStation), 100);
    b.Server().LoseReplies(1.0);
    const hx::StorageResult r = hx::RunStorageCommand(b.Link(), hx::kRestoreFactory, {}, nullptr, b.Stepper());
    EXPECT_EQ(std::tuple(r.outcome, b.waits), std::tuple(hx::StorageOutcome::NotAnswered, 0));
}

// A test run's watchdog values are the tool's and in RAM only: while the
// motion or the current-loop test runs, no store, restore or burn goes out.
TEST(StorageCommand, NothingIsStoredRestoredOrBurntWhileATestRuns) {
    Bench b;
    // A trapezoid of many runs and a long current-loop test.
    for (auto [a, v] : {std::pair{60, 1000}, {62, 100}, {65, 100}, {67, 200}, {69, 100}, {137, 8000}})
        b.Vd().SetRam(static_cast<uint16_t>(a), static_cast<uint16_t>(v));
    for (const hx::StorageCommand& command : {hx::kSaveToDrive, hx::kRestoreFactory, hx::kBurnFactory}) {
        for (uint16_t running : {70, 23}) {
            SCOPED_TRACE(std::to_string(command.reg) + " while " + std::to_string(running) + " runs");
            b.Vd().Poke(running, 1);
            b.Vd().ClearRequests();
            const hx::StorageResult r = hx::RunStorageCommand(b.Link(), command);
            EXPECT_EQ(std::tuple(r.outcome, r.runningRegister, b.Writes().size(), b.Vd().CommandsCompleted(command.reg)),
                      std::tuple(hx::StorageOutcome::RunInProgress, running, size_t{0}, 0));
            b.Vd().Poke(running, 0);
        }
    }
}

TEST(StorageCommand, RestoreFactoryBringsBackTheDefaultsAfterABackup) {
    // The drive takes its definitions and factory set from the test's database.
    Bench b({.station = kStation});
    const auto definitions = hx::LoadDefinitions(b.folder.DatabasePath(), "KRV4");
    ASSERT_FALSE(definitions.empty());
    b.table.ClearTypes();
    for (const auto& d : definitions) b.table.RegisterType(d.address, d.dataType.c_str());

    b.FillDrive(17);
    hx::ChangeGate gate(b.folder.File("data"));
    std::promise<hx::StorageResult> restored;
    hx::StorageCommandJob job;
    ASSERT_TRUE(job.start(gate, hx::kRestoreFactory, [&](const hx::StorageResult& result) { restored.set_value(result); },
                          b.Link()));
    EXPECT_TRUE(restored.get_future().get().succeeded());
    // The values the restore wiped out are in a backup taken right before it.
    const auto backups = gate.Store().List();
    ASSERT_EQ(backups.size(), 1u);
    hx::ParameterFileContents before;
    std::string error;
    ASSERT_TRUE(hx::ReadParameterFile(backups[0].path, &before, &error, &b.table)) << error;
    const std::map<uint16_t, int32_t> held(before.values.begin(), before.values.end());
    ASSERT_EQ(hx::ReadAll(b.Link(), b.table).status, TransferStatus::Completed);
    // Each word setting's old value in the backup; each setting with a plain
    // number for its default back at it.
    std::map<uint16_t, int32_t> wiped, backedUp, defaults, read;
    for (const auto& d : definitions) {
        if (!IsSetting(d.address)) continue;
        if (d.dataType == "SHORT") {
            wiped[d.address] = static_cast<int16_t>(d.address * 7919u + 17);
            backedUp[d.address] = held.count(d.address) ? held.at(d.address) : -99999;
        }
        char* end = nullptr;
        const long long value = std::strtoll(d.defaultValue.c_str(), &end, 10);
        if (end == d.defaultValue.c_str() || *end != '\0') continue;
        defaults[d.address] = static_cast<int32_t>(value);
        read[d.address] = b.table.GetValue(d.address);
    }
    EXPECT_TRUE(wiped.size() > 10u && defaults.size() > 10u) << wiped.size() << " " << defaults.size();
    EXPECT_EQ(backedUp, wiped);
    EXPECT_EQ(read, defaults);
}

namespace {

constexpr float kFirmware = 200.0f;

// Long enough that a busy test machine rarely adds time-outs of its own.
struct NoisyLine : PtyDrive {
    explicit NoisyLine(double faultRate)
        : PtyDrive({.station = kStation, .databasePath = "-", .dropRate = faultRate / 2, .corruptRate = faultRate / 2,
                    .seed = 20261206},
                   50, 60) {
        for (uint16_t a : Settings()) Vd().SetRam(a, static_cast<uint16_t>(a * 7 + 1));
    }

    // As `params dump`: register 0, the identity, every block; exact values.
    bool Dump() {
        if (!hx::DriveAnswers(comm, kStation)) return false;
        const hx::DriveIdentity id = hx::ReadDriveIdentity(comm, kStation);
        if (!id.complete) return false;
        CParameter table;
        if (hx::ReadAll(hx::DriveHandle(&comm, kStation, id.firmwareVersion), table).status != hx::TransferStatus::Completed)
            return false;
        bool same = true;
        for (uint16_t a : Settings()) same = same && static_cast<uint16_t>(table.Slot(a)) == Vd().Ram(a);
        return Exact(same);
    }

    // As `params load`: a file's values into the drive, read back; the drive
    // must hold them exactly.
    bool Load(int salt) {
        hx::ParameterFileContents file;
        for (uint16_t a : Settings()) file.values.emplace_back(a, static_cast<int16_t>(a * 13 + salt));
        CParameter table;
        const hx::DriveLoadReport report = hx::WriteFileToDrive(hx::DriveHandle(&comm, kStation, kFirmware), table, file);
        if (!report.Succeeded()) return false;
        bool same = true;
        for (const auto& [a, v] : file.values) same = same && Vd().Ram(a) == static_cast<uint16_t>(v);
        return Exact(same);
    }
    bool Exact(bool same) {
        wrong += !same;
        return same;
    }

    int wrong = 0;
};

}  // namespace

// One frame in a hundred dropped or damaged: every dump and load succeeds
// with exact values. One in twenty: at least 95 % do. None ever reports
// success with values the drive does not hold. A few hundred blocks each
// are enough for the faults to hit reads and writes alike.
TEST(NoisyLine, DumpsAndLoadsSucceedExactlyOrFailNeverLie) {
    for (auto [rate, dumps, loads, percent] : {std::tuple{0.01, 24, 6, 100}, {0.05, 16, 4, 95}}) {
        SCOPED_TRACE(rate);
        NoisyLine line(rate);
        int ok = 0;
        for (int i = 0; i < dumps; ++i) ok += line.Dump();
        for (int i = 0; i < loads; ++i) ok += line.Load(i);
        EXPECT_GE(ok * 100, percent * (dumps + loads)) << ok << " of " << dumps + loads;
        EXPECT_EQ(line.wrong, 0);
        // The faults did happen, and the link counted its retries.
        const auto stats = line.Server().GetStats();
        EXPECT_GT(stats.repliesDropped + stats.repliesCorrupted, 6u);
        const CQXCOM::Health health = line.comm.GetHealth();
        EXPECT_TRUE(health.retries > 6u && health.unanswered > 0u && health.damaged > 0u) << health.retries;
        EXPECT_TRUE(health.answering || percent < 100);
    }
}

TEST(NoisyLine, ALoadThatFailsSaysHowManyBlocksTheDriveHolds) {
    NoisyLine line(0.0);
    hx::ParameterFileContents file;
    for (uint16_t a : Settings()) file.values.emplace_back(a, static_cast<int16_t>(a + 3));
    CParameter table;
    const auto plan = hx::WriteAllPlan(kFirmware);
    // The line goes dead at the 61st write block (after the 43 reads) for as
    // long as the write and its read-backs are tried, then comes back for
    // the read that counts what the drive holds.
    std::atomic<bool> done{false};
    std::thread breaker([&] {
        auto& server = line.Server();
        while (!done && server.GetStats().framesReceived < 43 + 60) std::this_thread::yield();
        server.LoseReplies(1.0);
        while (!done && server.GetStats().repliesDropped < 1 + 1 + CQXCOM::kReadRetries) std::this_thread::yield();
        server.ClearFaults();
    });
    const hx::DriveLoadReport report = hx::WriteFileToDrive(hx::DriveHandle(&line.comm, kStation, kFirmware), table, file);
    done = true;
    breaker.join();
    EXPECT_EQ(report.stoppedAt, hx::DriveLoadReport::Step::Write);
    EXPECT_NE(report.failure.linkText.find("no answer"), std::string::npos) << report.failure.linkText;
    EXPECT_NE(report.failure.linkText.find("may have been carried out"), std::string::npos);
    EXPECT_EQ(report.blocksTotal, static_cast<int>(plan.size()));

    int holding = 0;
    for (const auto& block : plan) {
        // What was sent: the file's value, or the drive's own where the file has none.
        bool same = true;
        for (uint16_t a = block.address; a < block.address + block.count; ++a)
            same = same && line.Vd().Ram(a) == static_cast<uint16_t>(table.Slot(a));
        holding += same;
    }
    EXPECT_EQ(report.blocksHolding, holding);
    EXPECT_TRUE(holding > 50 && holding < 70) << holding;
}
