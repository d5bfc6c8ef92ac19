// The parameter transfers against the simulated drive over a real
// pseudo-terminal: whole-table read and write, the single write with its
// read-back, and the storage commands with their waits and polls.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "core/backup/ChangeGate.h"
#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterFile.h"
#include "core/params/ReadAllJob.h"
#include "core/params/StorageCommand.h"
#include "core/params/TransferPlan.h"
#include "core/params/WriteAllJob.h"
#include "core/params/WriteOne.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "core/protocol/Registers.h"
#include "sim/VirtualDrive.h"
#include "support/TestSupport.h"

using hx::TransferResult;
using hx::TransferStatus;
using hx::sim::DriveOptions;
using hx::sim::InProcessDrive;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint8_t kStation = 9;
constexpr uint8_t kFunctionRead = 3, kFunctionWriteMultiple = 16;

DriveOptions PlainDrive() {
    DriveOptions o;
    o.station = kStation;
    o.databasePath = "-";  // a plain register store, no definitions
    return o;
}

// The sampling registers inside the low range take only what the drive's
// sampling engine can carry out (a channel code is one source of its mask),
// so the made-up values of these tests stay out of them.
bool IsSamplingRegister(uint16_t a) {
    using namespace hx::reg;
    for (uint16_t s : {kSampleTrigger, kSampleInterval, kSampleSourceMask, kSampleChannelCount, kSampleCapacity,
                       kSamplePoints, kSampleState})
        if (a == s) return true;
    for (uint16_t s : kSampleChannelCode)
        if (a == s) return true;
    return false;
}

bool IsSetting(uint16_t address) {
    return hx::IsSettingRegister(address) && !IsSamplingRegister(address);
}

std::vector<uint16_t> AllParameterAddresses() {
    std::vector<uint16_t> all;
    for (int i = 0; i < CParameter::kSlots; ++i) all.push_back(CParameter::IndexToAddress(static_cast<uint16_t>(i)));
    return all;
}

// A simulated drive on its pseudo-terminal and a link of the test's own.
struct Bench {
    explicit Bench(DriveOptions options = PlainDrive()) : drive(std::move(options)) {
        comm.ConfigCom(drive.DevicePath(), "38400", "8", "NONE", "2");
        comm.SetReceiveTimeOut(100);
        // The simulated drive is never late: lost frames need not cost the
        // long wait a real drive's late reply would.
        comm.SetLateHorizon(150);
        opened = comm.OpenCom() != 0;
    }
    hx::DriveHandle Link(float firmware = 200.0f) { return hx::DriveHandle(&comm, kStation, firmware); }
    hx::sim::VirtualDrive& Vd() { return drive.Drive(); }
    // Distinct values, negative ones among them, in every setting register.
    void FillDrive(uint16_t salt) {
        for (uint16_t a : AllParameterAddresses())
            if (IsSetting(a)) Vd().SetRam(a, static_cast<uint16_t>(a * 7919u + salt));
    }
    std::vector<hx::sim::VirtualDrive::Request> Requests(uint8_t function) {
        std::vector<hx::sim::VirtualDrive::Request> out;
        for (const auto& r : Vd().Requests())
            if (r.function == function) out.push_back(r);
        return out;
    }

    hx::test::TempProgramFolder folder;
    InProcessDrive drive;
    CQXCOM comm;
    CParameter table;
    hx::DriveHandle handle{&comm, kStation, 200.0f};
    bool opened = false;
};

struct ProgressLog {
    std::mutex mutex;
    std::vector<std::pair<int, int>> calls;
    hx::ProgressCallback Callback() {
        return [this](int done, int total) {
            std::lock_guard lock(mutex);
            calls.emplace_back(done, total);
        };
    }
};

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

TEST(TransferPlan, BlocksFollowTheParameterRangesAndProgressTruncates) {
    // The blocks' addresses and counts are checked on the wire by the reads
    // and writes below; here the firmware boundary and what a write covers.
    EXPECT_EQ(hx::ReadAllPlan(199.9f).size(), 3u);
    for (float firmware : {150.0f, 200.0f}) {
        const auto plan = hx::WriteAllPlan(firmware);
        std::multiset<uint16_t> written;
        for (const auto& b : plan) {
            ASSERT_GT(b.count, 0);
            ASSERT_LE(b.count, 20);
            const int last = b.address + b.count - 1;
            // Inside one range: never from 149 into the registers above it.
            const bool low = last <= 149;
            const bool high = b.address >= 30000 && last <= 31999;
            EXPECT_TRUE(low || high) << b.address << "+" << b.count;
            for (int a = b.address; a <= last; ++a) written.insert(static_cast<uint16_t>(a));
        }
        std::multiset<uint16_t> expected;
        for (uint16_t a = 0; a <= 149; ++a)
            if (hx::IsSettingRegister(a)) expected.insert(a);
        if (firmware >= 200.0f)
            for (uint16_t a = 30000; a <= 31999; ++a) expected.insert(a);
        EXPECT_EQ(written, expected) << "each setting of the read exactly once, at " << firmware;
        // Commands, status and identity are never written back.
        for (uint16_t a : {4, 13, 23, 32, 70, 90, 91, 92, 93, 52, 99, 100, 109, 116, 123, 136, 138, 139, 148, 149, 150, 159})
            EXPECT_EQ(written.count(a), 0u) << a;
    }
    EXPECT_EQ(hx::ProgressPercent(42, 43), 97);
    EXPECT_EQ(hx::ProgressPercent(7, 108), 6);
    EXPECT_EQ(hx::ProgressPercent(0, 0), 0);
}

TEST(ReadAll, ReadsThreeOrFortyThreeBlocksByFirmware) {
    Bench b;
    ASSERT_TRUE(b.opened) << b.comm.LastErrorText();
    b.FillDrive(3);
    for (uint16_t a : AllParameterAddresses()) b.table.SetValue(a, 777);

    // Below 200.0 only the low range is read; the high slots keep their values.
    ProgressLog low;
    b.Vd().ClearRequests();
    TransferResult r = hx::ReadAll(b.Link(150.0f), b.table, {}, low.Callback());
    EXPECT_EQ(r.status, TransferStatus::Completed);
    EXPECT_EQ(r.blocksDone, 3);
    EXPECT_EQ(low.calls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    auto reads = b.Requests(kFunctionRead);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[2].address, 100);
    EXPECT_EQ(reads[2].count, 50);
    for (uint16_t a = 0; a <= 149; ++a)
        if (IsSetting(a)) {
            ASSERT_EQ(b.table.Slot(a), static_cast<int16_t>(b.Vd().Ram(a))) << a;
        }
    EXPECT_EQ(b.table.Slot(30000), 777);
    EXPECT_EQ(b.table.Slot(31999), 777);

    ProgressLog all;
    b.Vd().ClearRequests();
    r = hx::ReadAll(b.Link(200.0f), b.table, {}, all.Callback());
    EXPECT_EQ(r.status, TransferStatus::Completed);
    EXPECT_EQ(r.blocksDone, 43);
    EXPECT_EQ(r.blocksTotal, 43);
    reads = b.Requests(kFunctionRead);
    ASSERT_EQ(reads.size(), 43u);
    EXPECT_EQ(reads[3].address, 30000);
    EXPECT_EQ(reads.back().address, 31950);
    ASSERT_EQ(all.calls.size(), 43u);
    EXPECT_EQ(hx::ProgressPercent(all.calls.front().first, all.calls.front().second), 2);
    EXPECT_EQ(hx::ProgressPercent(all.calls.back().first, all.calls.back().second), 100);
    for (uint16_t a : AllParameterAddresses())
        if (IsSetting(a)) {
            ASSERT_EQ(b.table.Slot(a), static_cast<int16_t>(b.Vd().Ram(a))) << a;
        }
}

TEST(WriteAll, WritesBackExactlyWhatTheReadCovers) {
    Bench b;
    ASSERT_TRUE(b.opened) << b.comm.LastErrorText();
    b.FillDrive(11);
    for (uint16_t a = 150; a <= 159; ++a) b.Vd().Poke(a, static_cast<uint16_t>(4200 + a));
    ASSERT_EQ(hx::ReadAll(b.Link(200.0f), b.table).status, TransferStatus::Completed);

    // New values for every setting, the last ten of the high range included.
    std::map<uint16_t, int16_t> expected;
    for (uint16_t a : AllParameterAddresses()) {
        if (!IsSetting(a)) continue;
        const auto v = static_cast<int16_t>(a * 31u + 5);
        b.table.SetValue(a, v);
        expected[a] = v;
    }
    // A table (or a file) holding command values must not start them.
    for (uint16_t a : {13, 23, 32, 70, 90, 91, 92, 93}) b.table.SetValue(a, 1);
    ProgressLog progress;
    b.Vd().ClearRequests();
    TransferResult r = hx::WriteAll(b.Link(200.0f), b.table, {}, progress.Callback());
    EXPECT_EQ(r.status, TransferStatus::Completed) << r.errorText;
    EXPECT_EQ(r.blocksDone, 111);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back(), std::make_pair(111, 111));

    const auto writes = b.Requests(kFunctionWriteMultiple);
    ASSERT_EQ(writes.size(), 111u);
    for (const auto& w : writes) {
        const int last = w.address + w.count - 1;
        EXPECT_TRUE(last <= 149 || w.address >= 30000) << w.address << "+" << w.count;
        for (int a = w.address; a <= last; ++a)
            EXPECT_TRUE(hx::IsSettingRegister(static_cast<uint16_t>(a))) << "wrote register " << a;
    }
    EXPECT_TRUE(b.Requests(6).empty());
    for (const auto& [a, v] : expected) ASSERT_EQ(static_cast<int16_t>(b.Vd().Ram(a)), v) << a;
    EXPECT_EQ(static_cast<int16_t>(b.Vd().Ram(31999)), expected[31999]);
    for (uint16_t a = 150; a <= 159; ++a) EXPECT_EQ(b.Vd().Peek(a), 4200 + a) << "capture register " << a;

    // Reading back gives the table that was written.
    CParameter before = b.table;
    b.table = CParameter();
    ASSERT_EQ(hx::ReadAll(b.Link(200.0f), b.table).status, TransferStatus::Completed);
    for (uint16_t a : AllParameterAddresses())
        if (IsSetting(a)) {
            ASSERT_EQ(b.table.Slot(a), before.Slot(a)) << a;
        }
    EXPECT_EQ(b.Vd().Ram(91), 0);
    EXPECT_EQ(b.Vd().Ram(90), 0);

    // Below 200.0 the high range is left alone.
    b.Vd().SetRam(30000, 1);
    b.Vd().ClearRequests();
    r = hx::WriteAll(b.Link(150.0f), b.table);
    EXPECT_EQ(r.status, TransferStatus::Completed);
    EXPECT_EQ(r.blocksDone, 11);
    EXPECT_EQ(b.Vd().Ram(30000), 1);
}

TEST(Transfers, FailuresStopsAndTheJobs) {
    Bench b;
    ASSERT_TRUE(b.opened) << b.comm.LastErrorText();
    b.FillDrive(5);

    // The drive falls silent after three blocks: the read stops there, the
    // blocks not read keep their old values, and the caller is still told.
    for (uint16_t a : AllParameterAddresses()) b.table.SetValue(a, 777);
    std::promise<TransferResult> done;
    {
        hx::ReadAllJob job;
        ASSERT_TRUE(job.start({[&](int k, int) {
                                   if (k == 3) b.drive.Server().SetFaults(1.0, 0.0, 0);
                               },
                               [&](const TransferResult& result) { done.set_value(result); }},
                              b.Link(200.0f), b.table));
        TransferResult r = done.get_future().get();
        EXPECT_EQ(r.status, TransferStatus::Failed);
        EXPECT_EQ(r.error, hx::TransferError::ReadBlockEmpty);
        EXPECT_EQ(r.blocksDone, 3);
        EXPECT_EQ(r.errorText, "Batch reading error!dataLenght = 105");
        job.join();
        EXPECT_FALSE(job.running());
    }
    EXPECT_EQ(b.table.Slot(30000), 777);
    EXPECT_EQ(b.table.Slot(149), static_cast<int16_t>(b.Vd().Ram(149)));

    // A silent drive from the start: nothing read yet, so the length is 0;
    // a write stops at its first block with the resend message.
    TransferResult r = hx::ReadAll(b.Link(200.0f), b.table);
    EXPECT_EQ(r.errorText, "Batch reading error!dataLenght = 0");
    EXPECT_EQ(r.blocksDone, 0);
    r = hx::WriteAll(b.Link(200.0f), b.table);
    EXPECT_EQ(r.status, TransferStatus::Failed);
    EXPECT_EQ(r.error, hx::TransferError::WriteBlockRejected);
    EXPECT_EQ(r.errorText, "批处理传输出错，请重传！");
    EXPECT_EQ(r.blocksDone, 0);

    // A stop asked for mid-read ends at a block boundary: every block
    // started was finished and reported.
    b.drive.Server().SetFaults(0.0, 0.0, 5);
    b.Vd().ClearRequests();
    std::atomic<int> blocks{0};
    std::promise<TransferResult> stopped;
    hx::ReadAllJob job;
    ASSERT_TRUE(job.start({[&](int k, int) { blocks = k; },
                           [&](const TransferResult& result) { stopped.set_value(result); }},
                          b.Link(200.0f), b.table));
    EXPECT_FALSE(job.start({}, b.Link(200.0f), b.table)) << "one transfer at a time";
    while (blocks < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    job.requestStop();
    r = stopped.get_future().get();
    job.join();
    EXPECT_EQ(r.status, TransferStatus::Stopped);
    EXPECT_GE(r.blocksDone, 5);
    EXPECT_LT(r.blocksDone, 43);
    EXPECT_EQ(r.blocksDone, blocks.load());
    // A block whose reply a busy machine delayed past the time-out is asked again.
    EXPECT_GE(static_cast<int>(b.Requests(kFunctionRead).size()), r.blocksDone);
    EXPECT_FALSE(job.running());

    // A job destroyed while it runs stops and joins before it goes.
    std::atomic<bool> finished{false};
    {
        hx::WriteAllJob writer;
        ASSERT_TRUE(writer.start({{}, [&](const TransferResult&) { finished = true; }}, b.Link(200.0f), b.table));
        EXPECT_TRUE(writer.running());
    }
    EXPECT_TRUE(finished);
}

TEST(WriteOne, WritesReadsBackAndReportsSilence) {
    Bench b;
    ASSERT_TRUE(b.opened) << b.comm.LastErrorText();
    b.table.RegisterType(31, "INT");
    b.table.RegisterType(40, "USHORT");

    // A 32-bit value: the high half to the register below it.
    hx::WriteOneResult r = hx::WriteOne(b.handle, b.table, 31, 100000);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.value, 100000);
    EXPECT_EQ(b.Vd().Ram(30), 1);
    EXPECT_EQ(b.Vd().Ram(31), 0x86A0);
    EXPECT_EQ(b.comm.ReadAddressValue(kStation, 31), -31072);
    EXPECT_EQ(b.table.Slot(30), 1);

    r = hx::WriteOne(b.handle, b.table, 40, 65000);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.value, 65000);
    EXPECT_EQ(b.Vd().Ram(40), 65000);
    r = hx::WriteOne(b.handle, b.table, 41, -5);
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.value, -5);
    EXPECT_EQ(b.Vd().Ram(41), 0xFFFB);

    // The same on a worker thread.
    b.Vd().SetRam(41, 123);
    std::promise<hx::WriteOneResult> async;
    hx::WriteOneJob job;
    ASSERT_TRUE(job.start(41, 7, [&](const hx::WriteOneResult& result) { async.set_value(result); },
                          b.Link(200.0f), b.table));
    r = async.get_future().get();
    EXPECT_TRUE(r.answered);
    EXPECT_EQ(r.value, 7);

    // Nothing answers: the table keeps its values and the caller is told which request went unanswered.
    b.drive.Server().SetFaults(1.0, 0.0, 0);
    r = hx::WriteOne(b.handle, b.table, 41, 99);
    EXPECT_FALSE(r.answered);
    EXPECT_EQ(r.unansweredRegister, 41);
    EXPECT_EQ(r.value, 7);
    EXPECT_EQ(b.table.Slot(41), 7);
    r = hx::WriteOne(b.handle, b.table, 31, 5);
    EXPECT_FALSE(r.answered);
    EXPECT_EQ(r.unansweredRegister, 30);
    EXPECT_EQ(r.value, 100000);
    r = hx::WriteOne(b.handle, b.table, 40, 3);
    EXPECT_FALSE(r.answered);
    EXPECT_EQ(r.value, 65000);
}

TEST(StorageCommand, SaveSucceedsOrGivesUpAfterAboutEightSeconds) {
    Bench b;
    ASSERT_TRUE(b.opened) << b.comm.LastErrorText();
    b.Vd().SetRam(5, 55);
    auto start = Clock::now();
    hx::StorageResult r = hx::RunStorageCommand(b.handle, hx::kSaveToDrive);
    EXPECT_EQ(r.outcome, hx::StorageOutcome::Succeeded);
    EXPECT_GE(SecondsSince(start), 2.1);
    EXPECT_EQ(b.Vd().Nv(5), 55);
    EXPECT_EQ(b.Vd().CommandsCompleted(90), 1);

    // Register 90 never clears: 2 s, then 30 polls 200 ms apart.
    b.Vd().SetStuck(90, true);
    start = Clock::now();
    r = hx::RunStorageCommand(b.handle, hx::kSaveToDrive);
    const double seconds = SecondsSince(start);
    EXPECT_EQ(r.outcome, hx::StorageOutcome::NotCleared);
    EXPECT_EQ(r.pollsDone, 30);
    EXPECT_EQ(r.lastReading, 1);
    EXPECT_GE(seconds, 7.5);
    EXPECT_LE(seconds, 12.0);
}

TEST(StorageCommand, QuickSaveStopsAndSilence) {
    Bench b;
    ASSERT_TRUE(b.opened) << b.comm.LastErrorText();
    // The main frame's save polls three times: about 2.6 s.
    b.Vd().SetStuck(90, true);
    auto start = Clock::now();
    hx::StorageResult r = hx::RunStorageCommand(b.handle, hx::kQuickSaveToDrive);
    const double seconds = SecondsSince(start);
    EXPECT_EQ(r.outcome, hx::StorageOutcome::NotCleared);
    EXPECT_EQ(r.pollsDone, 3);
    EXPECT_GE(seconds, 2.5);
    EXPECT_LE(seconds, 4.5);

    // A job asked to stop ends during its wait, well before the polls.
    std::promise<hx::StorageResult> stopped;
    hx::StorageCommandJob job;
    start = Clock::now();
    ASSERT_TRUE(job.start(hx::kBurnFactory, [&](const hx::StorageResult& result) { stopped.set_value(result); },
                          b.Link(200.0f)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    job.requestStop();
    EXPECT_EQ(stopped.get_future().get().outcome, hx::StorageOutcome::Stopped);
    EXPECT_LT(SecondsSince(start), 1.5);

    // No answer to the command itself, nor to the first poll: a failure
    // without the polls' long wait.
    b.drive.Server().SetFaults(1.0, 0.0, 0);
    start = Clock::now();
    r = hx::RunStorageCommand(b.handle, hx::kRestoreFactory);
    EXPECT_EQ(r.outcome, hx::StorageOutcome::NotAnswered);
    EXPECT_FALSE(r.succeeded());
    EXPECT_LT(SecondsSince(start), 2.5);
}

TEST(StorageCommand, RestoreFactoryBringsBackTheDefaults) {
    // The drive takes its definitions and factory set from the test's database.
    DriveOptions options;
    options.station = kStation;
    Bench b(options);
    ASSERT_TRUE(b.opened) << b.comm.LastErrorText();
    const auto definitions = hx::LoadDefinitions(b.folder.DatabasePath(), options.driveModel);
    ASSERT_FALSE(definitions.empty());
    b.table.ClearTypes();
    for (const auto& d : definitions) b.table.RegisterType(d.address, d.dataType.c_str());

    b.FillDrive(17);
    const std::string data = b.folder.File("data");
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    std::promise<hx::StorageResult> restored;
    hx::StorageCommandJob job;
    ASSERT_TRUE(job.start(hx::kRestoreFactory, [&](const hx::StorageResult& result) { restored.set_value(result); },
                          b.Link(200.0f)));
    EXPECT_TRUE(restored.get_future().get().succeeded());
    // The values the restore wiped out are in a backup taken right before it.
    const auto backups = hx::ChangeGate::Instance().Store().List();
    ::unsetenv("XDG_DATA_HOME");
    ASSERT_EQ(backups.size(), 1u);
    hx::ParameterFileContents before;
    std::string error;
    ASSERT_TRUE(hx::ReadParameterFile(backups[0].path, &before, &error, &b.table)) << error;
    const std::map<uint16_t, int32_t> held(before.values.begin(), before.values.end());
    int kept = 0;
    for (const auto& d : definitions) {
        if (d.dataType != "SHORT" || !IsSetting(d.address)) continue;
        EXPECT_EQ(held.at(d.address), static_cast<int16_t>(d.address * 7919u + 17)) << d.address;
        ++kept;
    }
    EXPECT_GT(kept, 10);
    ASSERT_EQ(hx::ReadAll(b.Link(200.0f), b.table).status, TransferStatus::Completed);

    int compared = 0;
    for (const auto& d : definitions) {
        if (!IsSetting(d.address)) continue;
        char* end = nullptr;
        const long long value = std::strtoll(d.defaultValue.c_str(), &end, 10);
        if (end == d.defaultValue.c_str() || *end != '\0') continue;
        EXPECT_EQ(b.table.GetValue(d.address), static_cast<int32_t>(value)) << d.address << " " << d.name;
        ++compared;
    }
    EXPECT_GT(compared, 10);
}
