// halvex-cli capture, fft and wave export against a simulated drive served
// in this process over a pseudo-terminal; the tool runs as its own process.

#include <filesystem>
#include <regex>

#include "core/capture/WaveFile.h"
#include "support/CliOnDrive.h"

namespace fs = std::filesystem;

namespace {

using Result = hx::test::ProgramResult;

struct Cli : hx::test::CliOnDrive {
    explicit Cli(hx::sim::DriveOptions options = Plain()) : CliOnDrive(options, {"--late-horizon-ms", "150"}) {}
    static hx::sim::DriveOptions Plain() { return {.station = 12, .databasePath = "-"}; }
    int Writes() { return static_cast<int>(hx::test::WrittenAddresses(vd).size()); }
};

using hx::test::SplitLines;

}  // namespace

TEST(CliCapture, WritesAWaveFileOrTheCsvAndTheSpectrum) {
    Cli cli;
    Result r = cli.Run({"capture", "--channels", "1,2,32,256", "--points", "2000", "-o", cli.File("run.wave")});
    ASSERT_EQ(r.status, 0) << r.err;
    // Standard error is no terminal here: whole lines, never a carriage return
    // that would glue a later message onto the progress.
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("capture: 100% (160/160)\n"), std::string::npos) << r.err;
    hx::WaveRecording rec;
    std::string error;
    ASSERT_TRUE(hx::LoadWaveFile(cli.File("run.wave"), &rec, &error)) << error;
    EXPECT_EQ(rec.codes, (std::array<int32_t, 4>{1, 2, 32, 256}));
    EXPECT_EQ(rec.pointsPerChannel, 2000);
    EXPECT_EQ(rec.intervalUs, 100);
    for (const auto& list : rec.lists) EXPECT_EQ(list.size(), 2000u);
    // The bus voltage of a drive sits far from zero; a channel read from the
    // wrong place or not read at all would not.
    EXPECT_GT(hx::HexToSample(rec.lists[3][1000]), 100);

    // A small recording of two points, written here, exported byte for byte:
    // samples unsigned, a blank for a channel without one.
    hx::test::WriteFileBytes(cli.File("two.wave"),
                             "[Wave]\r\nSamplingPoints=200\r\nSamplingInterval=50\r\nPoints=2\r\nTypeCHN1=1\r\n"
                             "TypeCHN2=0\r\nTypeCHN3=4\r\nTypeCHN4=0\r\nSamplingCHN1=fffb0064\r\n"
                             "SamplingCHN3=80007fff\r\n");
    r = cli.Run({"wave", "export", cli.File("two.wave"), cli.File("two.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(hx::test::ReadFileBytes(cli.File("two.csv")),
              "PerCHnPoints,200\r\nSampleInterval,50\r\nRealSamplePoints,2\r\nCHN1,1\r\nCHN2,0\r\nCHN3,4\r\n"
              "CHN4,0\r\nCHN1,CHN2,CHN3,CHN4\r\n65531, ,32768, \r\n100, ,32767, \r\n");
    r = cli.Run({"wave", "export", "--table", "--lang", "en", cli.File("two.wave"), cli.File("two-table.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(hx::test::ReadFileBytes(cli.File("two-table.csv")),
              "\xEF\xBB\xBFTime(ms),Position error(p),Position feedback(p)\r\n0.000,-5,-32768\r\n0.050,100,32767\r\n");
    // The spreadsheet table beside it: names in the chosen language, times, signs.
    r = cli.Run({"wave", "export", "--table", "--lang", "en", cli.File("run.wave"), cli.File("table.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto table = SplitLines(hx::test::ReadFileBytes(cli.File("table.csv")));
    ASSERT_EQ(table.size(), 1u + 2000u);
    EXPECT_EQ(table[0], "\xEF\xBB\xBFTime(ms),Position error(p),Speed feedback(0.01rps),Current Alpha(mA),Bus voltage(V)\r");
    EXPECT_EQ(table[2].rfind("0.100," + std::to_string(hx::HexToSample(rec.lists[0][1])) + ",", 0), 0u) << table[2];

    r = cli.Run({"capture", "--channels", "0,4", "--interval", "50"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 8u + 200u);
    EXPECT_EQ(lines[1], "SampleInterval,50\r");
    EXPECT_EQ(lines[4], "CHN2,4\r");
    EXPECT_EQ(lines[7], "CHN1,CHN2,CHN3,CHN4\r");
    EXPECT_EQ(lines[8].substr(0, 2), " ,");

    r = cli.Run({"capture", "--channels", "0,4", "--interval", "50", "--table"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = SplitLines(r.out);
    ASSERT_EQ(rows.size(), 1u + 200u);
    EXPECT_EQ(rows[0].rfind("Time(ms),", 0), 0u) << rows[0];
    EXPECT_EQ(rows[0].find(','), rows[0].rfind(',')) << "one channel column";
    EXPECT_EQ(rows[3].rfind("0.100,", 0), 0u) << rows[3];

    // The spectrum as CSV, and its failures.
    r = cli.Run({"fft", "-o", cli.File("s.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto spectrum = SplitLines(hx::test::ReadFileBytes(cli.File("s.csv")));
    ASSERT_EQ(spectrum.size(), 1025u);
    EXPECT_EQ(spectrum[0], "Bin,Frequency(Hz),Value\r");
    EXPECT_EQ(spectrum[1].substr(0, 4), "0,0,");
    EXPECT_EQ(spectrum[2].substr(0, 11), "1,1.953125,");
    EXPECT_EQ(spectrum[1024].substr(0, 17), "1023,1998.046875,");

    // Another station: nothing answers.
    const Result silent =
        hx::test::RunCli({"--port", cli.drive.DevicePath(), "--late-horizon-ms", "150", "--station", "13", "fft"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("does not answer"), std::string::npos) << silent.err;

    r = cli.Run({"wave", "export", cli.File("missing.wave"), cli.File("out.csv")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.wave"), std::string::npos);
    // A damaged file is refused, not turned into blanks, zeros or a cut number.
    const std::string head = "[Wave]\r\nSamplingPoints=200\r\nTypeCHN1=1\r\n";
    const std::pair<std::string, const char*> damaged[] = {
        {head + "Points=3\r\nSamplingCHN1=00010002\r\n", "SamplingCHN1 holds 2 of its 3 points"},
        {head + "Points=2\r\nSamplingCHN1=0001zz02\r\n", "point 2: \"zz02\" is not four hexadecimal digits"},
        {head + "Points=2147483647\r\nSamplingCHN1=00010002\r\n", "Points=2147483647 is not a whole number"},
    };
    for (const auto& [bytes, says] : damaged) {
        hx::test::WriteFileBytes(cli.File("damaged.wave"), bytes);
        r = cli.Run({"wave", "export", cli.File("damaged.wave"), cli.File("out.csv")});
        EXPECT_EQ(r.status, 1) << says;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(cli.File("out.csv")));
}

TEST(CliCapture, ChecksAgainstTheDriveBeforeWritingToIt) {
    Cli cli({.station = 12, .databasePath = "-", .sourceMask = 0x00FF, .sampleChannels = 2, .sampleCapacity = 4000});
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"capture", "--channels", "1,256"}, 1, "cannot capture source 256"},
        {{"capture", "--channels", "1,2,4"}, 1, "channel 3"},
        {{"capture", "--channels", "1,2", "--points", "2100"}, 1, "capacity of 4000"},
        {{"capture", "--channels", "16384"}, 2, "not a source code"},
        {{"capture", "--channels", "0,0"}, 2, "no source"},
        {{"capture", "--channels", "1", "--points", "250"}, 2, "multiple of 100"},
        {{"capture", "--channels", "1", "-o", cli.File("x.txt")}, 2, ".wave or .csv"},
    };
    for (const Case& c : cases) {
        const Result r = cli.Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[2] << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(cli.Writes(), 0);
    EXPECT_FALSE(fs::exists(cli.File("x.txt")));
    EXPECT_EQ(cli.Run({"capture", "--channels", "1,2", "--points", "2000"}).status, 0);
}

// The drive's spectrum while its motor follows the demo motion: the peaks
// highest first, the highest above the motion the load's resonance (where
// the resonance lies for other loads is pinned on the drive itself); the
// average of two with the table in a file and the peaks on standard output.
TEST(CliCapture, SpectrumPeaksNameTheResonance) {
    // The load's resonance alone, no swinging machine.
    Cli cli({.station = 12, .databasePath = "-", .motion = "demo", .resonanceHz = 300, .machineHz = 0});
    const Result r = cli.Run({"fft", "--peaks", "5", "--average", "2", "-o", cli.File("s.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = SplitLines(r.out);
    // At most five: a resonance is one peak, the noise floor none.
    ASSERT_GE(lines.size(), 1u) << r.out;
    ASSERT_LE(lines.size(), 5u) << r.out;
    double previous = 1e9;
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, std::regex(R"(\d+\.\d\d,\d+)"))) << line;
        const double level = std::stod(line.substr(line.find(',') + 1));
        EXPECT_LE(level, previous) << "highest first";
        previous = level;
    }
    EXPECT_NEAR(std::stod(lines[0]), 300, 45) << r.out;
    EXPECT_NE(r.err.find("likely resonance: "), std::string::npos) << r.err;
    EXPECT_EQ(SplitLines(hx::test::ReadFileBytes(cli.File("s.csv"))).size(), 1025u);

    // Bad counts are refused before anything is sent.
    const int writes = cli.Writes();
    for (const char* bad : {"0", "17"}) EXPECT_EQ(cli.Run({"fft", "--average", bad}).status, 2);
    EXPECT_EQ(cli.Writes(), writes);
}
