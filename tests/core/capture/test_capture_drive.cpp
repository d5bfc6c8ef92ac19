// The capture and the spectrum request against the simulated drive over a
// real pseudo-terminal with RTU framing. The drive runs on a stepped clock:
// each poll of a completion wait steps it by the poll period instead of
// sleeping, so the waits are exact and take no real time.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include "core/capture/CaptureJob.h"
#include "core/capture/SpectrumJob.h"
#include "core/link/CQXCOM.h"
#include "core/protocol/Registers.h"
#include "sim/DriveServer.h"
#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "sim/bus/SimClock.h"

using namespace hx;
using hx::sim::VirtualDrive;

namespace {

constexpr uint8_t kStation = 7;
constexpr uint8_t kRead = 3;

struct Bench {
    explicit Bench(int16_t firmware = 200, uint16_t capacity = 8000) {
        sim::DriveOptions o;
        o.station = kStation;
        o.databasePath = "-";
        o.firmwareRegister = firmware;
        o.sampleCapacity = capacity;
        o.clock = clock;
        drive = std::make_unique<sim::InProcessDrive>(o);
        comm.ConfigCom(drive->DevicePath(), "115200", "8", "NONE", "2");
        comm.SetReceiveTimeOut(100);
        // The simulated drive never answers late: a short horizon keeps
        // the tests with lost replies quick.
        comm.SetLateHorizon(200);
        opened = comm.OpenCom() != 0;
    }
    DriveHandle& Link(float firmware = 200.0f) {
        handle = DriveHandle(&comm, kStation, firmware);
        return handle;
    }
    VirtualDrive& Vd() { return drive->Drive(); }
    // A poll policy whose sleep steps the drive's clock by the period.
    PollPolicy Stepping(std::atomic<int>* polls = nullptr) {
        PollPolicy p;
        p.sleep = [this, polls](std::stop_token stop, std::chrono::milliseconds period) {
            clock->Step(period);
            if (polls) ++*polls;
            return !stop.stop_requested();
        };
        return p;
    }
    // Polls without time passing: the drive never finishes.
    static PollPolicy Frozen() {
        PollPolicy p;
        p.sleep = [](std::stop_token stop, std::chrono::milliseconds) { return !stop.stop_requested(); };
        return p;
    }
    CaptureRequest Request(ChannelCodes codes, uint16_t points, std::atomic<int>* polls = nullptr) {
        CaptureRequest r;
        r.codes = codes;
        r.pointsPerChannel = points;
        r.intervalUs = 100;
        PollPolicy policy = Stepping(polls);
        r.wait = [policy](DriveHandle& link, std::stop_token stop) {
            return WaitSampleComplete(link, stop, policy);
        };
        return r;
    }
    std::vector<VirtualDrive::Request> BlockReads() {
        std::vector<VirtualDrive::Request> out;
        for (const auto& r : Vd().Requests())
            if (r.function == kRead && r.count > 1) out.push_back(r);
        return out;
    }
    std::vector<float> Direct(uint16_t address, int count) {
        std::vector<uint16_t> words(static_cast<size_t>(count));
        for (int at = 0; at < count; at += 100)
            EXPECT_EQ(Vd().ReadRegisters(static_cast<uint16_t>(address + at), static_cast<uint16_t>(std::min(100, count - at)),
                                         words.data() + at),
                      0);
        std::vector<float> out;
        for (uint16_t w : words) out.push_back(static_cast<float>(static_cast<int16_t>(w)));
        return out;
    }
    // Each write as address and first value.
    std::vector<std::pair<uint16_t, uint16_t>> Writes() {
        std::vector<std::pair<uint16_t, uint16_t>> out;
        for (const auto& r : Vd().Requests())
            if (r.function == 6 || r.function == 16) out.emplace_back(r.address, r.value);
        return out;
    }
    std::vector<uint16_t> WriteOrder() {
        std::vector<uint16_t> out;
        for (const auto& r : Vd().Requests())
            if (r.function == 6 || r.function == 16) out.push_back(r.address);
        return out;
    }

    std::shared_ptr<sim::SteppedClock> clock = std::make_shared<sim::SteppedClock>();
    std::unique_ptr<sim::InProcessDrive> drive;
    CQXCOM comm;
    DriveHandle handle;
    bool opened = false;
};

}  // namespace

TEST(CaptureOnDrive, ChannelsOneAndThreeComeFromTheirOwnAreas) {
    Bench b;
    ASSERT_TRUE(b.opened);
    std::atomic<int> polls{0};
    std::vector<std::pair<int, int>> progress;
    const CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 4, 0}, 1000, &polls), {},
                                       [&](int done, int total) { progress.emplace_back(done, total); });
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_EQ(polls.load(), 1);  // 1000 x 100 us: complete at the first poll

    EXPECT_EQ(b.WriteOrder(), (std::vector<uint16_t>{33, 34, 94, 95, 96, 137, 32}));
    EXPECT_EQ(b.Vd().Peek(reg::kSampleInterval), 100);
    EXPECT_EQ(b.Vd().Peek(reg::kSampleChannel3), 4);
    EXPECT_EQ(b.Vd().Peek(reg::kSamplePoints), 1000);

    const auto reads = b.BlockReads();
    ASSERT_EQ(reads.size(), 40u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(reads[i].address, 150 + 50 * i);
        EXPECT_EQ(reads[20 + i].address, 1150 + 50 * i);
        EXPECT_EQ(reads[i].count, 50);
    }
    ASSERT_EQ(progress.size(), 40u);
    EXPECT_EQ(progress.back(), std::make_pair(40, 40));

    EXPECT_EQ(r.samples[0], b.Direct(150, 1000));
    EXPECT_EQ(r.samples[2], b.Direct(1150, 1000));
    EXPECT_EQ(r.samples[1], std::vector<float>(1000, 0.0f));  // inactive: zeros, not leftovers
    EXPECT_EQ(r.samples[3], std::vector<float>(1000, 0.0f));
}

TEST(CaptureOnDrive, PointsRegisterOnlyFromFirmware200) {
    {
        Bench b(199);
        ASSERT_TRUE(b.opened);
        CaptureRequest req = b.Request({2, 0, 0, 0}, 200);
        ASSERT_EQ(RunCapture(b.Link(199.0f), req).status, CaptureStatus::Completed);
        EXPECT_EQ(b.WriteOrder(), (std::vector<uint16_t>{33, 34, 94, 95, 96, 32}));
    }
    Bench b(200);
    ASSERT_TRUE(b.opened);
    ASSERT_EQ(RunCapture(b.Link(200.0f), b.Request({2, 0, 0, 0}, 200)).status, CaptureStatus::Completed);
    EXPECT_EQ(b.WriteOrder(), (std::vector<uint16_t>{33, 34, 94, 95, 96, 137, 32}));
}

// A block that gets no reply used to store nothing and the capture went on
// with whatever the buffer held. It is asked again twice; then the capture
// ends naming the block and hands over no samples at all.
TEST(CaptureOnDrive, UnreadableBlockEndsTheCaptureAndNamesIt) {
    Bench b;
    ASSERT_TRUE(b.opened);
    CaptureRequest req = b.Request({1, 2, 0, 0}, 200);
    int blocks = 0;
    req.afterBlock = [&](DriveHandle&) {
        // After the first two blocks of channel 1 the drive falls silent.
        if (++blocks == 2) b.drive->Server().SetFaults(1.0, 0.0, 0);
    };
    const CaptureResult r = RunCapture(b.Link(), req);
    ASSERT_EQ(r.status, CaptureStatus::Failed);
    EXPECT_EQ(r.failedBlock.channel, 1);
    EXPECT_EQ(r.failedBlock.block, 2);
    EXPECT_EQ(r.failedBlock.address, 250);
    // The link sends the read again after no answer; nothing above it
    // multiplies that.
    EXPECT_EQ(b.drive->Server().GetStats().repliesDropped, static_cast<uint64_t>(1 + CQXCOM::kReadRetries));
    for (const auto& s : r.samples) EXPECT_TRUE(s.empty());
    EXPECT_NE(r.message.find("1"), std::string::npos);
    EXPECT_NE(r.message.find("250"), std::string::npos);
}

// Under frame faults a capture is either complete and right, or failed;
// never complete with wrong data.
TEST(CaptureOnDrive, LostAndDamagedRepliesAreReadAgain) {
    Bench b;
    ASSERT_TRUE(b.opened);
    CaptureRequest req = b.Request({1, 0, 0, 256}, 1000);
    req.afterBlock = [&](DriveHandle&) { b.drive->Server().SetFaults(0.15, 0.15, 0); };
    const CaptureResult r = RunCapture(b.Link(), req);
    b.drive->Server().SetFaults(0, 0, 0);
    const auto stats = b.drive->Server().GetStats();
    EXPECT_GT(stats.repliesDropped + stats.repliesCorrupted, 0u);
    if (r.status == CaptureStatus::Completed) {
        EXPECT_EQ(r.samples[0], b.Direct(150, 1000));
        EXPECT_EQ(r.samples[3], b.Direct(1150, 1000));
    } else {
        EXPECT_EQ(r.status, CaptureStatus::Failed);
        for (const auto& s : r.samples) EXPECT_TRUE(s.empty());
    }
}

// A start whose reply is lost is never sent again: the drive is asked
// whether it took it. A start it never saw ends the capture at once, without
// the completion wait; one it carried out goes on as usual.
TEST(CaptureOnDrive, ALostStartIsAskedAboutNotSentTwice) {
    Bench b;
    ASSERT_TRUE(b.opened);
    // A capture before leaves 149 reading 1.
    ASSERT_EQ(RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200)).status, CaptureStatus::Completed);
    const auto starts = [&] {
        int n = 0;
        for (const auto& r : b.Vd().Requests()) n += r.function == 6 && r.address == reg::kSampleTrigger;
        return n;
    };

    b.Vd().ClearRequests();
    b.drive->Server().LoseWritesTo(reg::kSampleTrigger, 1, false);
    std::atomic<int> polls{0};
    CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, &polls));
    EXPECT_EQ(r.status, CaptureStatus::NotStarted);
    EXPECT_EQ(r.message, "驱动器没有接受采样启动命令，本次没有采样。");
    EXPECT_EQ(polls.load(), 0);
    EXPECT_EQ(starts(), 0);
    EXPECT_EQ(b.drive->Server().GetStats().repliesDropped, 1u);
    for (const auto& s : r.samples) EXPECT_TRUE(s.empty());

    // The drive takes the start, its reply is lost: the capture is running.
    b.Vd().ClearRequests();
    b.drive->Server().LoseWritesTo(reg::kSampleTrigger, 1, true);
    r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, &polls));
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_EQ(starts(), 1);
    EXPECT_EQ(r.samples[0], b.Direct(150, 200));
    EXPECT_EQ(b.drive->Server().GetStats().repliesDropped, 2u);
}

// The completion wait could not tell a silent drive from a slow one.
TEST(CaptureOnDrive, SilentDriveIsNotATimeOut) {
    Bench b;
    ASSERT_TRUE(b.opened);
    EXPECT_EQ(WaitSampleComplete(b.Link(), {}, Bench::Frozen()), WaitOutcome::TimedOut);
    b.drive->Server().SetFaults(1.0, 0.0, 0);
    CaptureRequest req = b.Request({1, 0, 0, 0}, 200);
    req.wait = [](DriveHandle& link, std::stop_token stop) {
        PollPolicy p = Bench::Frozen();
        p.polls = 3;
        return WaitSampleComplete(link, stop, p);
    };
    const CaptureResult r = RunCapture(b.Link(), req);
    EXPECT_EQ(r.status, CaptureStatus::NoAnswer);
    EXPECT_EQ(r.message, kNoAnswerText);
    // A silent drive does not keep the user waiting for all 60 polls.
    int polls = 0;
    PollPolicy counting = Bench::Frozen();
    counting.sleep = [&](std::stop_token, std::chrono::milliseconds) { return ++polls > 0; };
    EXPECT_EQ(WaitSampleComplete(b.Link(), {}, counting), WaitOutcome::NoAnswer);
    EXPECT_EQ(polls, counting.silentPolls);

    b.drive->Server().SetFaults(0.0, 0.0, 0);
    req.wait = [](DriveHandle& link, std::stop_token stop) {
        return WaitSampleComplete(link, stop, Bench::Frozen());
    };
    const CaptureResult late = RunCapture(b.Link(), req);
    EXPECT_EQ(late.status, CaptureStatus::TimedOut);
    EXPECT_EQ(late.message, "查询超时，请降低采样周期!");
}

TEST(CaptureOnDrive, JobStopsBetweenBlocksAndTakesAPluggedWait) {
    Bench b;
    ASSERT_TRUE(b.opened);
    CaptureJob job;
    std::promise<CaptureResult> done;
    CaptureRequest req = b.Request({1, 2, 4, 8}, 2000);
    // The run test waits for register 149 to read above 0, at most 30 polls.
    PollPolicy policy = b.Stepping();
    policy.polls = 30;
    std::atomic<int> waits{0};
    req.wait = [&, policy](DriveHandle& link, std::stop_token stop) {
        ++waits;
        return PollRegister(link, reg::kSampleState, [](int16_t v) { return v > 0; }, policy, stop);
    };
    std::atomic<int> hooks{0};
    req.afterBlock = [&](DriveHandle&) { ++hooks; };
    ASSERT_TRUE(job.start(req,
                          {[&](int done, int) {
                               if (done == 5) job.requestStop();
                           },
                           [&](CaptureResult r) { done.set_value(std::move(r)); }},
                          b.Link()));
    const CaptureResult r = done.get_future().get();
    job.join();
    EXPECT_EQ(waits.load(), 1);
    EXPECT_EQ(r.status, CaptureStatus::Stopped);
    EXPECT_EQ(hooks.load(), 5);
    EXPECT_EQ(b.BlockReads().size(), 5u);
    for (const auto& s : r.samples) EXPECT_TRUE(s.empty());
    EXPECT_FALSE(job.running());
}

TEST(SpectrumOnDrive, RequestOrderAddressesAndValues) {
    Bench b;
    ASSERT_TRUE(b.opened);
    SpectrumRequest req;
    std::atomic<int> polls{0};
    req.wait = b.Stepping(&polls);
    const SpectrumResult r = RunSpectrum(b.Link(), req);
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_GE(polls.load(), 3);  // 2048 points at 4 kHz take 512 ms: not ready before the third poll

    // 4 kHz, 2048 points; then the start word.
    EXPECT_EQ(b.Writes(), (std::vector<std::pair<uint16_t, uint16_t>>{{409, 18}, {412, 0x6600}}));
    const auto reads = b.BlockReads();
    ASSERT_EQ(reads.size(), 21u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(reads[i].address, 8192 + 50 * i);
        EXPECT_EQ(reads[i].count, 50);
    }
    EXPECT_EQ(reads[20].address, 9192);
    EXPECT_EQ(reads[20].count, 24);
    EXPECT_EQ(r.bins, b.Direct(8192, 1024));
}

TEST(SpectrumOnDrive, FaultsAreRetriedOrFailNeverWrong) {
    Bench b;
    ASSERT_TRUE(b.opened);
    SpectrumRequest req;
    req.wait = b.Stepping();
    // Wait for the result first, then fetch under faults.
    ASSERT_EQ(RunSpectrum(b.Link(), req).status, CaptureStatus::Completed);
    const std::vector<float> truth = b.Direct(8192, 1024);
    // Every block read under faults is the drive's; one that failed leaves
    // the buffer as it was. The last block is read from a silent drive.
    constexpr float kUntouched = 12345;
    std::vector<float> bins(1024, kUntouched), expected(1024, kUntouched);
    int read = 0;
    for (int block = 0; block < 21; ++block) {
        const int n = block < 20 ? 50 : 24;
        b.drive->Server().SetFaults(block < 20 ? 0.2 : 1.0, block < 20 ? 0.2 : 0.0, 0);
        const bool ok = ReadSampleBlock(b.Link(), static_cast<uint16_t>(8192 + 50 * block), static_cast<uint16_t>(n),
                                        bins.data() + 50 * block);
        read += ok;
        if (ok) std::copy_n(truth.begin() + 50 * block, n, expected.begin() + 50 * block);
    }
    EXPECT_EQ(bins, expected);
    EXPECT_GE(read, 12) << "lost and damaged replies are asked again";
    EXPECT_LE(read, 20);

    // Silent: the wait says so instead of the time-out text.
    b.drive->Server().SetFaults(1.0, 0.0, 0);
    req.wait.polls = 2;
    const SpectrumResult silent = RunSpectrum(b.Link(), req);
    EXPECT_EQ(silent.status, CaptureStatus::NoAnswer);
    EXPECT_EQ(silent.message, kNoAnswerText);
    EXPECT_TRUE(silent.bins.empty());

    // A drive that never gets ready: 60 polls of the status, 200 ms apart.
    b.drive->Server().SetFaults(0.0, 0.0, 0);
    b.Vd().ClearRequests();
    req.wait = SpectrumRequest{}.wait;
    std::vector<std::chrono::milliseconds> sleeps;
    req.wait.sleep = [&](std::stop_token, std::chrono::milliseconds period) {
        sleeps.push_back(period);
        return true;
    };
    const SpectrumResult late = RunSpectrum(b.Link(), req);
    EXPECT_EQ(late.status, CaptureStatus::TimedOut);
    EXPECT_EQ(late.message, kSpectrumTimeoutText);
    EXPECT_EQ(sleeps, std::vector<std::chrono::milliseconds>(60, std::chrono::milliseconds(200)));
    int statusReads = 0;
    for (const auto& r : b.Vd().Requests()) statusReads += r.function == kRead && r.address == 496;
    EXPECT_EQ(statusReads, 60);
}
