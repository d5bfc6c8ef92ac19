// The recording encoding, waveform files and the CSV export, byte for byte,
// against real files in a temporary folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/capture/WaveFile.h"
#include "core/util/AtomicFile.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using namespace hx;

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
