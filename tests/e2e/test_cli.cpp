// halvex-cli as a user runs it, against halvex-drive-sim in its own process.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/capture/WaveFile.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

using Result = hx::test::ProgramResult;

using hx::test::RunProgram;

size_t lineCount(const std::string& text) { return hx::test::SplitLines(text).size(); }

// The shared libraries one run of halvex-cli loads, as the dynamic loader
// reports them.
std::string LoadedLibraries(const std::vector<std::string>& args, const std::string& folder) {
    const std::string prefix = folder + "/ld";
    ::setenv("LD_DEBUG", "files", 1);
    ::setenv("LD_DEBUG_OUTPUT", prefix.c_str(), 1);
    const Result r = hx::test::RunCli(args);
    ::unsetenv("LD_DEBUG");
    ::unsetenv("LD_DEBUG_OUTPUT");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string loaded;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind("ld.", 0) == 0) {
            loaded += hx::test::ReadFileBytes(e.path().string());
            fs::remove(e.path());
        }
    return loaded;
}

}  // namespace

// Find, read, write and identity over TCP; a one-shot command pays for no
// Qt: only the command that draws loads it.
TEST(Cli, FindReadWriteAndIdentityOverTcpAndOnlyTheDrawingCommandLoadsQt) {
    hx::test::BackgroundProgram sim(hx::test::DriveSimProgram(), {"--tcp", "127.0.0.1:0", "--station", "9", "--db", "-", "--product-model", "HX-KRV4-0750"}, 1);
    ASSERT_EQ(sim.Lines().size(), 1u);
    const std::string port = sim.Lines()[0];
    ASSERT_EQ(port.rfind("tcp:127.0.0.1:", 0), 0u) << port;
    // A generous reply time-out wherever the drive is asked: a loaded
    // machine may keep the simulator from answering within 20 ms. A short one
    // only where nobody answers, as each silent station costs its late window.
    auto withTimeout = [&](const char* timeout, std::vector<std::string> words) {
        return hx::test::RunCli(
            hx::test::Join({"--port", port, "--timeout", timeout, "--late-horizon-ms", "150", "--station", "9"}, words));
    };
    auto with = [&](std::vector<std::string> words) { return withTimeout("500", std::move(words)); };

    Result r = withTimeout("200", {"find", "8", "10"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "9\n");

    r = withTimeout("20", {"find", "10", "12"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;

    r = with({"write", "30005", "-12"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "30005=-12\n");
    EXPECT_EQ(with({"write", "30006", "0xFFFE"}).status, 0);
    r = with({"read", "30004", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "30004=0\n30005=-12\n30006=-2\n");
    // More than one block's worth.
    r = with({"read", "0", "130"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lineCount(r.out), 130u);

    r = with({"identity"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* line : {"software version: 1.5\n", "firmware version: 200.0\n", "variant code: 1001\n",
                             "product model: HX-KRV4-0750\n", "drive model: KRV4\n", "display model: KRV4-750W\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;

    hx::test::TempProgramFolder folder;
    hx::WaveRecording rec;
    rec.pointsPerChannel = rec.recordedPoints = 100;
    rec.codes = {2, 0, 0, 0};
    for (int i = 0; i < 100; ++i) hx::RecordSample(rec, {static_cast<float>(i), 0, 0, 0});
    std::string error;
    const std::string wave = folder.File("a.wave");
    ASSERT_TRUE(hx::SaveWaveFile(wave, rec, &error)) << error;
    const std::vector<std::vector<std::string>> withoutQt = {
        {"--version"},
        {"--port", port, "--station", "9", "--timeout", "500", "read", "0"},
        {"wave", "export", "--table", "--lang", "en", wave, folder.File("a.csv")},
    };
    for (const auto& args : withoutQt)
        EXPECT_EQ(LoadedLibraries(args, folder.Path()).find("libQt6"), std::string::npos) << args.back();
    EXPECT_NE(LoadedLibraries({"wave", "plot", wave, "-o", folder.File("a.png"), "--size", "64x32"}, folder.Path())
                  .find("libQt6Gui"),
              std::string::npos);
}

TEST(Cli, PortAndStationFromTheSettingsOverAPty) {
    hx::test::TempProgramFolder folder;
    const std::string link = folder.File("simulated-drive");
    hx::test::BackgroundProgram sim(hx::test::DriveSimProgram(), {"--pty", link, "--station", "7", "--db", "-"}, 1);
    ASSERT_EQ(sim.Lines().size(), 1u);

    // A copy of the program in a folder of its own, with its own settings:
    // COM3 is the simulated drive, station 7 the stored one.
    const std::string program = folder.File("halvex-cli");
    fs::copy_file(hx::test::CliProgram(), program);
    hx::test::WriteFileBytes(folder.File("Parameters/EnvSetting.ini"), "[COMSetting]\nCOM=COM3\n[Drive]\nDriveNo=7\n");
    hx::test::WriteFileBytes(folder.File("Parameters/Ports.ini"), "[Ports]\nCOM3=" + link + "\n");

    Result r = RunProgram(program, {"write", "40", "77"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = RunProgram(program, {"read", "40"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "40=77\n");
    r = RunProgram(program, {"--timeout", "200", "find", "6", "8"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "7\n");

    // Options given win over the settings.
    r = RunProgram(program, {"--station", "6", "--timeout", "20", "read", "40"});
    EXPECT_EQ(r.status, 1);
    r = RunProgram(program, {"--port", "/dev/halvex-no-such-port", "read", "40"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
}
