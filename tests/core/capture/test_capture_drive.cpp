// The capture and the spectrum request against the simulated drive on a
// stepped clock over a real pseudo-terminal, and what a capture becomes:
// channel lists, sizes, recordings and their files, byte for byte.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <string>

#include "core/capture/CaptureJob.h"
#include "core/capture/CapturePlan.h"
#include "core/capture/ChannelSources.h"
#include "core/capture/SamplingProtocol.h"
#include "core/capture/SpectrumJob.h"
#include "core/capture/WaveFile.h"
#include "core/link/ModbusFrame.h"
#include "core/protocol/Registers.h"
#include "core/util/AtomicFile.h"
#include "support/ClockedDrive.h"
#include "support/SteppedDrive.h"
#include "support/TestSupport.h"

using namespace hx;
using namespace hx::test;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Pairs = std::vector<std::pair<uint16_t, uint16_t>>;
namespace fs = std::filesystem;

namespace {

constexpr uint8_t kStation = 7;

struct Bench : SteppedDrive {
    explicit Bench(int16_t firmware = 200)
        : SteppedDrive({.station = kStation, .firmwareRegister = firmware, .databasePath = "-"}, 200, 200) {}
    // A poll policy whose sleep steps the drive's clock by the period.
    PollPolicy Stepping() { return {.sleep = Stepper()}; }
    // Lost frames cost a short time-out where the drive is never late.
    void TimeOut(uint16_t ms) {
        comm.SetReceiveTimeOut(ms);
        comm.SetLateHorizon(ms);
    }
    // Polls without time passing: the drive never finishes.
    static PollPolicy Frozen(int polls = 60) {
        return {.polls = polls,
                .sleep = [](std::stop_token stop, std::chrono::milliseconds) { return !stop.stop_requested(); }};
    }
    CaptureRequest Request(ChannelCodes codes, uint16_t points, PollPolicy policy) {
        return {.codes = codes, .pointsPerChannel = points, .wait = [policy](DriveHandle& link, std::stop_token stop) {
                    return WaitSampleComplete(link, stop, policy);
                }};
    }
    CaptureRequest Request(ChannelCodes codes, uint16_t points) { return Request(codes, points, Stepping()); }
    // The drive's own capture area, as signed samples.
    std::vector<float> Direct(uint16_t address, int count) {
        const auto words = AreaWords(Vd(), address, count);
        return {words.begin(), words.end()};
    }
};

bool AllEmpty(const SampleBuffers& samples) {
    return std::all_of(samples.begin(), samples.end(), [](const auto& s) { return s.empty(); });
}

}  // namespace

TEST(CaptureOnDrive, ChannelsOneAndThreeComeFromTheirOwnAreas) {
    Bench b;
    std::vector<std::pair<int, int>> progress;
    const CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 4, 0}, 1000), {},
                                       [&](int done, int total) { progress.emplace_back(done, total); });
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_EQ(b.waits, 1);  // 1000 x 100 us: complete at the first poll

    EXPECT_EQ(b.Writes(), (Pairs{{33, 100}, {34, 1}, {94, 0}, {95, 4}, {96, 0}, {137, 1000}, {32, 1}}));
    Pairs blocks = BlockList(150, 1000, 50), third = BlockList(1150, 1000, 50);
    blocks.insert(blocks.end(), third.begin(), third.end());
    EXPECT_EQ(b.Blocks(kRead), blocks);
    ASSERT_EQ(progress.size(), 40u);
    EXPECT_EQ(progress.back(), std::make_pair(40, 40));

    EXPECT_EQ(r.samples[0], b.Direct(150, 1000));
    EXPECT_EQ(r.samples[2], b.Direct(1150, 1000));
    for (int inactive : {1, 3}) EXPECT_EQ(r.samples[inactive], std::vector<float>(1000, 0.0f));  // not leftovers
}

// Below firmware 200.0 the drive has no points register (the order from
// 200.0 on is pinned above).
TEST(CaptureOnDrive, PointsRegisterOnlyFromFirmware200) {
    Bench b(199);
    ASSERT_EQ(RunCapture(b.Link(199), b.Request({2, 0, 0, 0}, 200)).status, CaptureStatus::Completed);
    EXPECT_EQ(b.Addresses(kWriteSingle), (std::vector<uint16_t>{33, 34, 94, 95, 96, 32}));
}

// A block that gets no reply used to store nothing and the capture went on
// with whatever the buffer held; a copy of block 3's reply taken for the last
// block (the drive's own late behind it) was handed over. The link asks
// again, or settles after the last block; then the capture ends naming the
// block, with no samples. (Random frame faults: the spectrum's test.)
TEST(CaptureOnDrive, UnreadableBlockEndsTheCaptureAndNamesIt) {
    for (const bool copy : {false, true}) {
        Bench b;
        CaptureRequest req = b.Request({1, 2, 0, 0}, copy ? 100 : 200);
        int blocks = 0;
        req.afterBlock = [&](DriveHandle&) {
            if (++blocks != (copy ? 3 : 2)) return;
            if (!copy) return b.Server().LoseReplies(1.0);  // the drive falls silent
            const auto w = AreaWords(b.Vd(), 250, 50);
            b.Server().StrayFrame(BuildReadReplyFrame(kStation, std::vector<uint16_t>(w.begin(), w.end()).data(), 50), 1ms);
            b.Server().AnswerLate(50ms);
        };
        CaptureResult r = RunCapture(b.Link(), req);
        ASSERT_EQ(r.status, CaptureStatus::Failed) << copy;
        EXPECT_EQ(std::tuple(r.failedBlock.channel, r.failedBlock.block, r.failedBlock.address),
                  copy ? std::tuple(2, 1, 300) : std::tuple(1, 2, 250));
        // Nothing above the link multiplies its own asking again.
        EXPECT_EQ(b.Server().GetStats().repliesDropped, copy ? 0u : 1u + CQXCOM::kReadRetries);
        EXPECT_TRUE(AllEmpty(r.samples) && r.message.find(copy ? "300" : "250") != std::string::npos) << r.message;
    }
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
    b.waits = 0;
    CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200));
    EXPECT_EQ(std::tuple(r.status, r.message, b.waits, starts(), b.Server().GetStats().repliesDropped, AllEmpty(r.samples)),
              std::tuple(CaptureStatus::NotStarted, "驱动器没有接受采样启动命令，本次没有采样。"s, 0, 0l, uint64_t{1}, true));

    // The drive takes the start, its reply is lost: the capture is running.
    b.Vd().ClearRequests();
    b.Server().LoseWritesTo(reg::kSampleTrigger, 1, true);
    r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200));
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_EQ(std::tuple(starts(), r.samples[0], b.Server().GetStats().repliesDropped),
              std::tuple(1l, b.Direct(150, 200), uint64_t{2}));
}

// The completion wait could not tell a silent drive from a slow one.
TEST(CaptureOnDrive, SilentDriveIsNotATimeOut) {
    Bench b;
    b.TimeOut(20);
    b.Server().LoseReplies(1.0);
    const CaptureResult r = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, Bench::Frozen(3)));
    EXPECT_EQ(std::tuple(r.status, r.message), std::tuple(CaptureStatus::NoAnswer, std::string(kNoAnswerText)));
    // A silent drive does not keep the user waiting for all 60 polls.
    b.waits = 0;
    EXPECT_EQ(WaitSampleComplete(b.Link(), {}, b.Stepping()), WaitOutcome::NoAnswer);
    EXPECT_EQ(b.waits, PollPolicy{}.silentPolls);

    b.Server().ClearFaults();
    b.TimeOut(200);
    const CaptureResult late = RunCapture(b.Link(), b.Request({1, 0, 0, 0}, 200, Bench::Frozen()));
    EXPECT_EQ(std::tuple(late.status, late.message), std::tuple(CaptureStatus::TimedOut, "查询超时，请降低采样周期!"s));
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
                          {[&](int done, int) { if (done == 5) job.requestStop(); },
                           [&](CaptureResult r) { done.set_value(std::move(r)); }},
                          b.Link()));
    const CaptureResult r = done.get_future().get();
    job.join();
    EXPECT_EQ(std::tuple(waits.load(), r.status, hooks.load(), b.Blocks(kRead).size(), AllEmpty(r.samples), job.running()),
              std::tuple(1, CaptureStatus::Stopped, 5, size_t{5}, true, false));
}

TEST(SpectrumOnDrive, RequestOrderAddressesAndValues) {
    Bench b;
    const SpectrumResult r = RunSpectrum(b.Link(), {.wait = b.Stepping()});
    // 4 kHz, 2048 points; then the start word.
    EXPECT_EQ(b.Writes(), (Pairs{{409, 18}, {412, 0x6600}}));
    ASSERT_EQ(r.status, CaptureStatus::Completed) << r.message;
    EXPECT_GE(b.waits, 3);  // 2048 points at 4 kHz take 512 ms: not ready before the third poll
    EXPECT_EQ(b.Blocks(kRead), BlockList(8192, 1024, 50));
    EXPECT_EQ(r.bins, b.Direct(8192, 1024));
}

TEST(SpectrumOnDrive, FaultsAreRetriedOrFailNeverWrong) {
    Bench b;
    SpectrumRequest req{.wait = b.Stepping()};
    // Wait for the result first, then fetch under faults.
    ASSERT_EQ(RunSpectrum(b.Link(), req).status, CaptureStatus::Completed);
    const std::vector<float> truth = b.Direct(8192, 1024);
    // Every block read under faults is the drive's; one that failed leaves
    // the buffer as it was. The last block is read from a silent drive.
    b.TimeOut(80);
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
    EXPECT_TRUE(read >= 12 && read <= 20) << read << " read: lost and damaged replies are asked again";

    // Silent: the wait says so instead of the time-out text.
    b.Server().LoseReplies(1.0);
    req.wait.polls = 2;
    const SpectrumResult silent = RunSpectrum(b.Link(), req);
    EXPECT_EQ(silent.status, CaptureStatus::NoAnswer);
    EXPECT_EQ(silent.message, kNoAnswerText);
    EXPECT_TRUE(silent.bins.empty());

    // A drive that never gets ready: 60 polls of the status, 200 ms apart.
    b.Server().ClearFaults();
    b.TimeOut(200);
    b.Vd().ClearRequests();
    req.wait = SpectrumRequest{}.wait;
    std::vector<std::chrono::milliseconds> sleeps;
    req.wait.sleep = [&](std::stop_token, std::chrono::milliseconds period) { return sleeps.push_back(period), true; };
    const SpectrumResult late = RunSpectrum(b.Link(), req);
    EXPECT_EQ(late.status, CaptureStatus::TimedOut);
    EXPECT_EQ(late.message, kSpectrumTimeoutText);
    EXPECT_EQ(sleeps, std::vector<std::chrono::milliseconds>(60, std::chrono::milliseconds(200)));
    const auto reads = b.Addresses(kRead);
    EXPECT_EQ(std::count(reads.begin(), reads.end(), 496), 60);
}

// The empty entry, then one a bit of the mask (bit 14 has no source).
TEST(ChannelSources, ListsFollowTheMaskInBitOrderAndNamesGiveTheirCodes) {
    EXPECT_EQ(FillChannelLists(0).size(), 1u);
    auto entries = FillChannelLists(0xFFFF);
    ASSERT_EQ(entries.size(), 17u);
    EXPECT_EQ(entries[4].name, "速度参考(0.01rps)");
    EXPECT_EQ(entries[15].name, "未知通道");
    EXPECT_EQ(entries[16].code, 32768);
    entries = FillChannelLists(0x0102);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "<-----空----->");
    EXPECT_EQ(entries[1].code, 2);
    EXPECT_EQ(entries[2].name, "母线电压(V)");

    for (const char* none : {"未知通道", "<-----空----->", "nonsense", ""}) EXPECT_EQ(ChannelNameToCode(none), 0) << none;
    EXPECT_EQ(ChannelSourceName(0), "");
    for (const auto& s : kChannelSources) EXPECT_EQ(ChannelNameToCode(ChannelSourceName(s.code)), s.code) << s.code;
}

// Per channel: offered or not, and the list entry it selects (-1: none).
std::string Offers(int channels, int sources) {
    std::string out;
    for (const ChannelOffer& o : OfferChannels(channels, sources))
        out += (o.offered ? "+" : "-") + std::to_string(o.entry) + " ";
    return out;
}

TEST(ChannelSources, ChannelsOfferedFollowTheDrivesCountAndSources) {
    // Two to four channels are offered as the drive captures them; any
    // other count offers channel 1 alone.
    EXPECT_EQ(Offers(4, 16), "+1 +2 +3 +4 ");
    EXPECT_EQ(Offers(3, 16), "+1 +2 +3 -0 ");
    EXPECT_EQ(Offers(2, 16), "+1 +2 -0 -0 ");
    for (int n : {1, 0, 5, -1, 99}) EXPECT_EQ(Offers(n, 16), "+1 -0 -0 -0 ") << n;
    // Few sources, channel counts 0..5 against 0..3 sources: the later
    // channels stop at the last source but one; without sources channel 1
    // shows the empty entry and the others no selection.
    const char* const expected[6][4] = {
        {"+0 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 "},
        {"+0 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 "},
        {"+0 +-1 -0 -0 ", "+1 +0 -0 -0 ", "+1 +1 -0 -0 ", "+1 +2 -0 -0 "},
        {"+0 +-1 +-1 -0 ", "+1 +0 +0 -0 ", "+1 +1 +1 -0 ", "+1 +2 +2 -0 "},
        {"+0 +-1 +-1 +-1 ", "+1 +0 +0 +0 ", "+1 +1 +1 +1 ", "+1 +2 +2 +2 "},
        {"+0 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 ", "+1 -0 -0 -0 "},
    };
    for (int n = 0; n <= 5; ++n)
        for (int sources = 0; sources <= 3; ++sources)
            EXPECT_EQ(Offers(n, sources), expected[n][sources]) << n << " channels, " << sources << " sources";
}

TEST(CapturePlan, PointsListBlocksFetchTimeAndSpectrumBins) {
    EXPECT_EQ(PointsChoices(2000, 4, 200.0f), (std::vector<int>{200, 300, 400, 500}));
    const auto one = PointsChoices(2000, 1, 200.0f);
    ASSERT_EQ(one.size(), 19u);
    EXPECT_EQ(std::pair(one.front(), one.back()), std::pair(200, 2000));
    EXPECT_EQ(PointsChoices(2000, 0, 200.0f).back(), 2000);  // at least one channel
    // Older firmware captures 200 points a channel whatever its capacity.
    EXPECT_EQ(PointsChoices(8000, 1, 199.0f), (std::vector<int>{200}));
    EXPECT_EQ(PointsChoices(300, 4, 250.0f), (std::vector<int>{200}));
    EXPECT_EQ(PointsChoices(-1, 1, 250.0f), (std::vector<int>{200}));

    EXPECT_EQ(CaptureBlockCount({1, 0, 4, 0}, 1000), 40);
    EXPECT_EQ(CaptureBlockCount({1, 2, 4, 8}, 220), 20);  // 50, 50, 50, 50, 20 per channel
    // 40 blocks of 120 characters of 11 bits: 52800 bits.
    EXPECT_EQ(EstimatedFetchMs({1, 0, 4, 0}, 1000, 38400), 1375);
    EXPECT_EQ(EstimatedFetchMs({1, 0, 4, 0}, 1000, 115200), 458);
    EXPECT_EQ(EstimatedFetchMs({1, 0, 4, 0}, 1000, 0), 80);  // a network link

    // The spectrum's settings word and its bins.
    EXPECT_EQ(SpectrumSettingsWord(0x1F, 0x1FFF), 0xFFFF);
    EXPECT_EQ(SpectrumAxisEnd(1024), 2000);
    EXPECT_DOUBLE_EQ(SpectrumBinFrequency(512), 1000.0);
    EXPECT_DOUBLE_EQ(SpectrumBinFrequency(1), 4000.0 / 2048.0);
}

TEST(Recording, ItemsHoldTheLow16BitsAndDecodeSigned) {
    // -1.9 is truncated toward zero; 1e30 clamped, never undefined.
    for (auto [sample, item] : {std::pair{-5.0f, "fffb"}, {100.0f, "0064"}, {-32768.0f, "8000"}, {65537.0f, "0001"},
                                {-1.9f, "ffff"}, {1e30f, "ffff"}})
        EXPECT_EQ(SampleToItem(sample), item) << sample;
    // Only hex digits count.
    for (auto [item, sample] : {std::pair{"fffb", -5}, {"7fff", 32767}, {"8000", -32768}, {" 0064 ", 100}, {"FfFb", -5},
                                {"0x1g2", 0x12}, {"", 0}})
        EXPECT_EQ(HexToSample(item), sample) << item;
    EXPECT_EQ(HexToWord("fffb"), 65531);

    WaveRecording r{.codes = {2, 0, 0, 32768}};
    RecordSample(r, {-5.0f, 7.0f, 7.0f, 100.0f});
    EXPECT_EQ(r.lists[0], std::vector<std::string>{"fffb"});
    EXPECT_TRUE(r.lists[1].empty());
    EXPECT_EQ(r.lists[3], std::vector<std::string>{"0064"});
}

// A recording saved, loaded and saved again byte for byte, its CSV export and
// its table with names, times and signs: the waveform window's file test.
TEST(WaveFile, LoaderReadsAsTheClassicReaderDidWithinWhatEachKeyHolds) {
    // Points bounds each list; a ragged tail gives a short last item.
    WaveRecording r = ParseWaveFile("[Wave]\r\nPoints=100\r\nTypeCHN1=1\r\nSamplingCHN1=" + std::string(1000, '1') +
                                    "\r\nSamplingCHN2=0123456789\r\n");
    EXPECT_EQ(r.lists[0].size(), 100u);
    EXPECT_EQ(r.lists[1], (std::vector<std::string>{"0123", "4567", "89"}));  // read whatever the code

    // Five characters of a number, leading digits, defaults for missing keys.
    r = ParseWaveFile("[wave]\nsamplingpoints = 123456\nSamplingInterval=12ab\n");
    EXPECT_EQ(std::tuple(r.pointsPerChannel, r.intervalUs, r.recordedPoints), std::tuple(12345, 12, 200));
    EXPECT_EQ(r.codes, (std::array<int32_t, 4>{0, 0, 0, 0}));
    EXPECT_TRUE(r.Empty());

    // Keys of another section do not count.
    r = ParseWaveFile("[Other]\nPoints=7\n[Wave]\nTypeCHN2=8\n");
    EXPECT_EQ(r.recordedPoints, 200);
    EXPECT_EQ(r.codes[1], 8);

    // A Points value sized the read buffer of every SamplingCHNk key: a huge
    // or negative one must neither allocate without bound nor crash.
    r = ParseWaveFile("[Wave]\r\nPoints=99999\r\nTypeCHN1=1\r\nSamplingCHN1=00010002000\r\n");
    EXPECT_EQ(r.lists[0], (std::vector<std::string>{"0001", "0002", "000"}));
    r = ParseWaveFile("[Wave]\r\nPoints=-9999\r\nTypeCHN1=1\r\nSamplingCHN1=00010002\r\n");
    EXPECT_EQ(r.recordedPoints, -9999);
    EXPECT_TRUE(r.lists[0].empty());
    r = ParseWaveFile("[Wave]\r\nPoints=0\r\nSamplingCHN1=00010002\r\n");
    EXPECT_TRUE(r.lists[0].empty());

    const RecordedWindow w = ShowRecordedWindow(r, 0, 65535);
    EXPECT_EQ(w.shown, 65535);  // no active channel: nothing limits it, nothing is decoded
    for (const auto& s : w.samples) EXPECT_TRUE(s.empty());
}

// The export's bytes of a small recording are the command line's wave test;
// here the rows follow the longest list, a shorter active list shows blanks.
TEST(WaveFile, CsvRowsFollowTheLongestList) {
    const WaveRecording r{.intervalUs = 50, .recordedPoints = 2, .codes = {1, 0, 32768, 0},
                          .lists = {std::vector<std::string>(200, "0001"), {}, std::vector<std::string>(150, "0002"), {}}};
    const std::string csv = FormatWaveCsv(r);
    size_t lines = 0;
    for (size_t at = 0; (at = csv.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 8u + 200u);  // eight header lines, then the rows
    EXPECT_NE(csv.find("1, ,2, \r\n1, , , \r\n"), std::string::npos);

    TempProgramFolder dir;
    std::string error;
    ASSERT_TRUE(ExportWaveCsv(dir.File("a.csv"), r, &error)) << error;
    EXPECT_EQ(hx::test::ReadFileBytes(dir.File("a.csv")), csv);
}

// Names in another language come from the caller; one with a comma is
// quoted; a shorter list leaves its cell empty.
TEST(WaveFile, TableCsvQuotesNamesAndLeavesMissingCellsEmpty) {
    const WaveRecording r{.intervalUs = 1500, .recordedPoints = 3, .codes = {1, 0, 32768, 0},
                          .lists = {{{"ffe9", "0064", "8000"}, {}, {"7fff", "0000"}, {}}}};
    EXPECT_EQ(FormatWaveTableCsv(r, [](int32_t code) { return code == 1 ? std::string("Position error(p)") : "a,b"; }),
              "Time(ms),Position error(p),\"a,b\"\r\n0.000,-23,32767\r\n1.500,100,0\r\n3.000,-32768,\r\n");
}

// That the old file stays whole is the waveform window's test; the messages
// name the file.
TEST(WaveFile, AFailedSaveOrLoadNamesTheFile) {
    TempProgramFolder dir;
    AtomicFile::SetWriteHook([](const std::string&, std::size_t) { return false; });
    std::string error;
    EXPECT_FALSE(SaveWaveFile(dir.File("keep.wave"), {.codes = {1, 0, 0, 0}, .lists = {{{"0001"}, {}, {}, {}}}}, &error));
    AtomicFile::SetWriteHook({});
    EXPECT_NE(error.find("keep.wave"), std::string::npos);
    WaveRecording r;
    EXPECT_FALSE(LoadWaveFile(dir.File("missing.wave"), &r, &error));
    EXPECT_NE(error.find("missing.wave"), std::string::npos);
}

TEST(WaveFile, RecordedWindowFitsTheShortestList) {
    WaveRecording r{.codes = {1, 2, 0, 0}};
    for (int i = 0; i < 10; ++i) r.lists[0].push_back(SampleToItem(static_cast<float>(i)));
    for (int i = 0; i < 6; ++i) r.lists[1].push_back(SampleToItem(static_cast<float>(-i)));
    const RecordedWindow w = ShowRecordedWindow(r, 8, 200);
    EXPECT_EQ(std::pair(w.shown, w.start), std::pair(6, 0));
    EXPECT_EQ(w.samples[0], (std::vector<float>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(w.samples[1], (std::vector<float>{0, -1, -2, -3, -4, -5}));
}
