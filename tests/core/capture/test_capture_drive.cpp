// The capture and the spectrum request against the simulated drive over a
// real pseudo-terminal with RTU framing. The drive runs on a stepped clock:
// each poll of a completion wait steps it by the poll period instead of
// sleeping, so the waits are exact and take no real time.

#include <atomic>
#include <future>

#include "support/PtyDrive.h"
#include "core/capture/CaptureJob.h"
#include "core/capture/SpectrumJob.h"
#include "core/protocol/Registers.h"
#include "sim/bus/SimClock.h"

using namespace hx;
using namespace hx::test;
using Pairs = std::vector<std::pair<uint16_t, uint16_t>>;

namespace {

constexpr uint8_t kStation = 7;

sim::DriveOptions Options(int16_t firmware, std::shared_ptr<sim::SteppedClock> clock) {
    sim::DriveOptions o = PlainDrive(kStation);
    o.firmwareRegister = firmware;
    o.sampleCapacity = 8000;
    o.clock = std::move(clock);
    return o;
}

struct Bench : PtyDrive {
    explicit Bench(int16_t firmware = 200, std::shared_ptr<sim::SteppedClock> c = std::make_shared<sim::SteppedClock>())
        : PtyDrive(Options(firmware, c), 200, 200), clock(c) {}
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
    static PollPolicy Frozen(int polls = 60) {
        PollPolicy p;
        p.polls = polls;
        p.sleep = [](std::stop_token stop, std::chrono::milliseconds) { return !stop.stop_requested(); };
        return p;
    }
    CaptureRequest Request(ChannelCodes codes, uint16_t points, PollPolicy policy) {
        CaptureRequest r;
        r.codes = codes;
        r.pointsPerChannel = points;
        r.intervalUs = 100;
        r.wait = [policy](DriveHandle& link, std::stop_token stop) { return WaitSampleComplete(link, stop, policy); };
        return r;
    }
    CaptureRequest Request(ChannelCodes codes, uint16_t points, std::atomic<int>* polls = nullptr) {
        return Request(codes, points, Stepping(polls));
    }
    // The drive's own capture area, as signed samples.
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

    std::shared_ptr<sim::SteppedClock> clock;
};

bool AllEmpty(const SampleBuffers& samples) {
    return std::all_of(samples.begin(), samples.end(), [](const auto& s) { return s.empty(); });
}

}  // namespace

TEST(CaptureOnDrive, ChannelsOneAndThreeComeFromTheirOwnAreas) {
    Bench b;
    std::atomic<int> polls{0};
    std::vector<std::pair<int, int>> progress;
    const CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 4, 0}, 1000, &polls), {},
                                       [&](int done, int total) { progress.emplace_back(done, total); });
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_EQ(polls.load(), 1);  // 1000 x 100 us: complete at the first poll

    EXPECT_EQ(b.Writes(), (Pairs{{33, 100}, {34, 1}, {94, 0}, {95, 4}, {96, 0}, {137, 1000}, {32, 1}}));
    Pairs blocks = BlockList(150, 1000, 50), third = BlockList(1150, 1000, 50);
    blocks.insert(blocks.end(), third.begin(), third.end());
    EXPECT_EQ(b.Blocks(kRead), blocks);
    ASSERT_EQ(progress.size(), 40u);
    EXPECT_EQ(progress.back(), std::make_pair(40, 40));

    EXPECT_EQ(r.samples[0], b.Direct(150, 1000));
    EXPECT_EQ(r.samples[2], b.Direct(1150, 1000));
    EXPECT_EQ(r.samples[1], std::vector<float>(1000, 0.0f));  // inactive: zeros, not leftovers
    EXPECT_EQ(r.samples[3], std::vector<float>(1000, 0.0f));
}

// Below firmware 200.0 the drive has no points register (the order from
// 200.0 on is pinned above).
TEST(CaptureOnDrive, PointsRegisterOnlyFromFirmware200) {
    Bench b(199);
    ASSERT_EQ(RunCapture(b.Link(199), b.Request({2, 0, 0, 0}, 200)).status, CaptureStatus::Completed);
    EXPECT_EQ(b.Addresses(kWriteSingle), (std::vector<uint16_t>{33, 34, 94, 95, 96, 32}));
}

// A block that gets no reply used to store nothing and the capture went on
// with whatever the buffer held. The link asks again; then the capture ends
// naming the block and hands over no samples at all. (That a block read
// under random frame faults is the drive's or nothing: the spectrum's test.)
TEST(CaptureOnDrive, UnreadableBlockEndsTheCaptureAndNamesIt) {
    Bench b;
    CaptureRequest req = b.Request({1, 2, 0, 0}, 200);
    int blocks = 0;
    req.afterBlock = [&](DriveHandle&) {
        // After the first two blocks of channel 1 the drive falls silent.
        if (++blocks == 2) b.Server().LoseReplies(1.0);
    };
    CaptureResult r = RunCapture(b.Link(), req);
    ASSERT_EQ(r.status, CaptureStatus::Failed);
    EXPECT_EQ(r.failedBlock.channel, 1);
    EXPECT_EQ(r.failedBlock.block, 2);
    EXPECT_EQ(r.failedBlock.address, 250);
    // Nothing above the link multiplies its own asking again.
    EXPECT_EQ(b.Server().GetStats().repliesDropped, static_cast<uint64_t>(1 + CQXCOM::kReadRetries));
    EXPECT_TRUE(AllEmpty(r.samples));
    EXPECT_NE(r.message.find("1"), std::string::npos);
    EXPECT_NE(r.message.find("250"), std::string::npos);
}

// A start whose reply is lost is never sent again: the drive is asked
// whether it took it. A start it never saw ends the capture at once, without
// the completion wait; one it carried out goes on as usual.
TEST(CaptureOnDrive, ALostStartIsAskedAboutNotSentTwice) {
    Bench b;
    // A capture before leaves 149 reading 1.
    ASSERT_EQ(RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200)).status, CaptureStatus::Completed);
    const auto starts = [&] {
        const auto writes = b.Addresses(kWriteSingle);
        return std::count(writes.begin(), writes.end(), reg::kSampleTrigger);
    };

    b.Vd().ClearRequests();
    b.Server().LoseWritesTo(reg::kSampleTrigger, 1, false);
    std::atomic<int> polls{0};
    CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, &polls));
    EXPECT_EQ(r.status, CaptureStatus::NotStarted);
    EXPECT_EQ(r.message, "驱动器没有接受采样启动命令，本次没有采样。");
    EXPECT_EQ(polls.load(), 0);
    EXPECT_EQ(starts(), 0);
    EXPECT_EQ(b.Server().GetStats().repliesDropped, 1u);
    EXPECT_TRUE(AllEmpty(r.samples));

    // The drive takes the start, its reply is lost: the capture is running.
    b.Vd().ClearRequests();
    b.Server().LoseWritesTo(reg::kSampleTrigger, 1, true);
    r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, &polls));
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_EQ(starts(), 1);
    EXPECT_EQ(r.samples[0], b.Direct(150, 200));
    EXPECT_EQ(b.Server().GetStats().repliesDropped, 2u);
}

// The completion wait could not tell a silent drive from a slow one.
TEST(CaptureOnDrive, SilentDriveIsNotATimeOut) {
    Bench b;
    EXPECT_EQ(WaitSampleComplete(b.Link(), {}, Bench::Frozen()), WaitOutcome::TimedOut);
    // Lost frames cost a short time-out here: the drive is never late.
    b.comm.SetReceiveTimeOut(20);
    b.comm.SetLateHorizon(20);
    b.Server().LoseReplies(1.0);
    const CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, Bench::Frozen(3)));
    EXPECT_EQ(r.status, CaptureStatus::NoAnswer);
    EXPECT_EQ(r.message, kNoAnswerText);
    // A silent drive does not keep the user waiting for all 60 polls.
    int polls = 0;
    PollPolicy counting = Bench::Frozen();
    counting.sleep = [&](std::stop_token, std::chrono::milliseconds) { return ++polls > 0; };
    EXPECT_EQ(WaitSampleComplete(b.Link(), {}, counting), WaitOutcome::NoAnswer);
    EXPECT_EQ(polls, counting.silentPolls);

    b.Server().ClearFaults();
    b.comm.SetReceiveTimeOut(200);
    b.comm.SetLateHorizon(200);
    const CaptureResult late = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, Bench::Frozen()));
    EXPECT_EQ(late.status, CaptureStatus::TimedOut);
    EXPECT_EQ(late.message, "查询超时，请降低采样周期!");
}

TEST(CaptureOnDrive, JobStopsBetweenBlocksAndTakesAPluggedWait) {
    Bench b;
    CaptureJob job;
    std::promise<CaptureResult> done;
    CaptureRequest req = b.Request({1, 2, 4, 8}, 2000);
    // The run test waits for register 149 to read above 0, at most 30 polls.
    PollPolicy policy = b.Stepping();
    policy.polls = 30;
    std::atomic<int> waits{0}, hooks{0};
    req.wait = [&, policy](DriveHandle& link, std::stop_token stop) {
        ++waits;
        return PollRegister(link, reg::kSampleState, [](int16_t v) { return v > 0; }, policy, stop);
    };
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
    EXPECT_EQ(b.Blocks(kRead).size(), 5u);
    EXPECT_TRUE(AllEmpty(r.samples));
    EXPECT_FALSE(job.running());
}

TEST(SpectrumOnDrive, RequestOrderAddressesAndValues) {
    Bench b;
    SpectrumRequest req;
    std::atomic<int> polls{0};
    req.wait = b.Stepping(&polls);
    const SpectrumResult r = RunSpectrum(b.Link(), req);
    // 4 kHz, 2048 points; then the start word.
    EXPECT_EQ(b.Writes(), (Pairs{{409, 18}, {412, 0x6600}}));
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_GE(polls.load(), 3);  // 2048 points at 4 kHz take 512 ms: not ready before the third poll
    EXPECT_EQ(b.Blocks(kRead), BlockList(8192, 1024, 50));
    EXPECT_EQ(r.bins, b.Direct(8192, 1024));
}

TEST(SpectrumOnDrive, FaultsAreRetriedOrFailNeverWrong) {
    Bench b;
    SpectrumRequest req;
    req.wait = b.Stepping();
    // Wait for the result first, then fetch under faults.
    ASSERT_EQ(RunSpectrum(b.Link(), req).status, CaptureStatus::Completed);
    const std::vector<float> truth = b.Direct(8192, 1024);
    // Every block read under faults is the drive's; one that failed leaves
    // the buffer as it was. The last block is read from a silent drive.
    // The drive is never late: lost frames cost a short time-out.
    b.comm.SetReceiveTimeOut(80);
    b.comm.SetLateHorizon(80);
    constexpr float kUntouched = 12345;
    std::vector<float> bins(1024, kUntouched), expected(1024, kUntouched);
    int read = 0;
    for (int block = 0; block < 21; ++block) {
        const int n = block < 20 ? 50 : 24;
        b.Server().LoseReplies(block < 20 ? 0.2 : 1.0);
        b.Server().DamageReplies(block < 20 ? 0.2 : 0.0);
        const bool ok = ReadSampleBlock(b.Link(), static_cast<uint16_t>(8192 + 50 * block), static_cast<uint16_t>(n),
                                        bins.data() + 50 * block);
        read += ok;
        if (ok) std::copy_n(truth.begin() + 50 * block, n, expected.begin() + 50 * block);
    }
    EXPECT_EQ(bins, expected);
    EXPECT_GE(read, 12) << "lost and damaged replies are asked again";
    EXPECT_LE(read, 20);

    // Silent: the wait says so instead of the time-out text.
    b.Server().LoseReplies(1.0);
    req.wait.polls = 2;
    const SpectrumResult silent = RunSpectrum(b.Link(), req);
    EXPECT_EQ(silent.status, CaptureStatus::NoAnswer);
    EXPECT_EQ(silent.message, kNoAnswerText);
    EXPECT_TRUE(silent.bins.empty());

    // A drive that never gets ready: 60 polls of the status, 200 ms apart.
    b.Server().ClearFaults();
    b.comm.SetReceiveTimeOut(200);
    b.comm.SetLateHorizon(200);
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
    const auto reads = b.Addresses(kRead);
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 496), 60);
}
