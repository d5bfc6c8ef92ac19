// The source table and the channel lists built from a source mask, the
// capture's sizes; the recording encoding, waveform files and the CSV export,
// byte for byte, against real files in a temporary folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/capture/CapturePlan.h"
#include "core/capture/ChannelSources.h"
#include "core/capture/SamplingProtocol.h"
#include "core/capture/SpectrumJob.h"
#include "core/capture/WaveFile.h"
#include "core/util/AtomicFile.h"
#include "support/TestSupport.h"

using namespace hx;
namespace fs = std::filesystem;

TEST(ChannelSources, ListsFollowTheMaskInBitOrder) {
    auto entries = FillChannelLists(0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "<-----空----->");
    EXPECT_EQ(entries[0].code, 0);

    entries = FillChannelLists(0xFFFF);
    ASSERT_EQ(entries.size(), 17u);
    EXPECT_EQ(entries[1].name, "位置误差(p)");
    EXPECT_EQ(entries[4].name, "速度参考(0.01rps)");
    EXPECT_EQ(entries[15].name, "未知通道");
    EXPECT_EQ(entries[15].code, 0);
    EXPECT_EQ(entries[16].name, "力矩电流(mA)");
    EXPECT_EQ(entries[16].code, 32768);

    entries = FillChannelLists(0x0102);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].code, 2);
    EXPECT_EQ(entries[2].name, "母线电压(V)");
}

TEST(ChannelSources, NamesToCodes) {
    EXPECT_EQ(ChannelNameToCode("未知通道"), 0);
    EXPECT_EQ(ChannelNameToCode("<-----空----->"), 0);
    EXPECT_EQ(ChannelNameToCode("nonsense"), 0);
    EXPECT_EQ(ChannelSourceName(4096), "加速度给定(R/S^2)");
    EXPECT_EQ(ChannelSourceName(0), "");
    for (const auto& s : kChannelSources) {
        if (s.code == 0) continue;
        EXPECT_EQ(ChannelNameToCode(ChannelSourceName(s.code)), s.code);
    }
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

TEST(CapturePlan, PointsListBlocksAndFetchTime) {
    EXPECT_EQ(PointsChoices(2000, 4, 200.0f), (std::vector<int>{200, 300, 400, 500}));
    const auto one = PointsChoices(2000, 1, 200.0f);
    ASSERT_EQ(one.size(), 19u);
    EXPECT_EQ(one.front(), 200);
    EXPECT_EQ(one.back(), 2000);
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
}

TEST(Spectrum, SettingsAndBinFrequencies) {
    EXPECT_EQ(SpectrumSettingsWord(2, 1), 18);
    EXPECT_EQ(SpectrumSettingsWord(0x1F, 0x1FFF), 0xFFFF);
    EXPECT_EQ(SpectrumAxisEnd(1024), 2000);
    EXPECT_DOUBLE_EQ(SpectrumBinFrequency(512), 1000.0);
    EXPECT_DOUBLE_EQ(SpectrumBinFrequency(1), 4000.0 / 2048.0);
}

namespace {

// A folder of the test's own for the files.
using TempDir = hx::test::TempProgramFolder;

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

}  // namespace

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

    WaveRecording r;
    r.codes = {2, 0, 0, 32768};
    RecordSample(r, {-5.0f, 7.0f, 7.0f, 100.0f});
    EXPECT_EQ(r.lists[0], std::vector<std::string>{"fffb"});
    EXPECT_TRUE(r.lists[1].empty());
    EXPECT_EQ(r.lists[3], std::vector<std::string>{"0064"});
}

// A recording saved, loaded and saved again byte for byte, its CSV export and
// its table with names, times and signs: the waveform window's file test.
TEST(WaveFile, LoaderReadsAsTheClassicReaderDid) {
    // Points bounds each list; a ragged tail gives a short last item.
    WaveRecording r = ParseWaveFile("[Wave]\r\nPoints=100\r\nTypeCHN1=1\r\nSamplingCHN1=" + Repeat("0001", 250) +
                                    "\r\nSamplingCHN2=0123456789\r\n");
    EXPECT_EQ(r.lists[0].size(), 100u);
    EXPECT_EQ(r.lists[1], (std::vector<std::string>{"0123", "4567", "89"}));  // read whatever the code

    // Five characters of a number, leading digits, defaults for missing keys.
    r = ParseWaveFile("[wave]\nsamplingpoints = 123456\nSamplingInterval=12ab\n");
    EXPECT_EQ(r.pointsPerChannel, 12345);
    EXPECT_EQ(r.intervalUs, 12);
    EXPECT_EQ(r.recordedPoints, 200);
    EXPECT_EQ(r.codes, (std::array<int32_t, 4>{0, 0, 0, 0}));
    EXPECT_TRUE(r.Empty());

    // Keys of another section do not count.
    r = ParseWaveFile("[Other]\nPoints=7\n[Wave]\nTypeCHN2=8\n");
    EXPECT_EQ(r.recordedPoints, 200);
    EXPECT_EQ(r.codes[1], 8);
}

// A Points value sized the read buffer of every SamplingCHNk key: a huge or
// negative one must neither allocate without bound nor crash.
TEST(WaveFile, PointsNeverSizesMoreThanTheKeyHolds) {
    WaveRecording r = ParseWaveFile("[Wave]\r\nPoints=99999\r\nTypeCHN1=1\r\nSamplingCHN1=00010002000\r\n");
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
    WaveRecording r;
    r.pointsPerChannel = 200;
    r.intervalUs = 50;
    r.recordedPoints = 2;
    r.codes = {1, 0, 32768, 0};
    r.lists[0].assign(200, "0001");
    r.lists[2].assign(150, "0002");
    const std::string csv = FormatWaveCsv(r);
    size_t lines = 0;
    for (size_t at = 0; (at = csv.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 8u + 200u);  // eight header lines, then the rows
    EXPECT_NE(csv.find("1, ,2, \r\n1, , , \r\n"), std::string::npos);

    TempDir dir;
    std::string error;
    ASSERT_TRUE(ExportWaveCsv(dir.File("a.csv"), r, &error)) << error;
    EXPECT_EQ(hx::test::ReadFileBytes(dir.File("a.csv")), csv);
}

// Names in another language come from the caller; one with a comma is
// quoted; a shorter list leaves its cell empty.
TEST(WaveFile, TableCsvQuotesNamesAndLeavesMissingCellsEmpty) {
    WaveRecording r;
    r.intervalUs = 1500;
    r.recordedPoints = 3;
    r.codes = {1, 0, 32768, 0};
    r.lists[0] = {"ffe9", "0064", "8000"};
    r.lists[2] = {"7fff", "0000"};
    EXPECT_EQ(FormatWaveTableCsv(r, [](int32_t code) { return code == 1 ? std::string("Position error(p)") : "a,b"; }),
              "Time(ms),Position error(p),\"a,b\"\r\n0.000,-23,32767\r\n1.500,100,0\r\n3.000,-32768,\r\n");
}

TEST(WaveFile, FailedSaveKeepsTheOldFileAndSaysWhy) {
    TempDir dir;
    const std::string path = dir.File("keep.wave");
    hx::test::WriteFileBytes(path, "old");
    AtomicFile::SetWriteHook([](const std::string&, std::size_t) { return false; });
    std::string error;
    WaveRecording one;
    one.codes = {1, 0, 0, 0};
    RecordSample(one, {1.0f, 0.0f, 0.0f, 0.0f});
    EXPECT_FALSE(SaveWaveFile(path, one, &error));
    AtomicFile::SetWriteHook({});
    EXPECT_NE(error.find("keep.wave"), std::string::npos);
    EXPECT_EQ(hx::test::ReadFileBytes(path), "old");

    WaveRecording r;
    EXPECT_FALSE(LoadWaveFile(dir.File("missing.wave"), &r, &error));
    EXPECT_NE(error.find("missing.wave"), std::string::npos);
}

TEST(WaveFile, RecordedWindowFitsTheShortestList) {
    WaveRecording r;
    r.codes = {1, 2, 0, 0};
    for (int i = 0; i < 10; ++i) r.lists[0].push_back(SampleToItem(static_cast<float>(i)));
    for (int i = 0; i < 6; ++i) r.lists[1].push_back(SampleToItem(static_cast<float>(-i)));
    const RecordedWindow w = ShowRecordedWindow(r, 8, 200);
    EXPECT_EQ(w.shown, 6);
    EXPECT_EQ(w.start, 0);
    EXPECT_EQ(w.samples[0], (std::vector<float>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(w.samples[1], (std::vector<float>{0, -1, -2, -3, -4, -5}));
}
