// A run-test capture saved as a waveform file and as a CSV table, byte for byte.

#include <gtest/gtest.h>

#include "core/runtest/RunRecording.h"
#include "support/TestSupport.h"

using namespace hx::runtest;

namespace {

CaptureOutcome TwoChannels() {
    CaptureOutcome c;
    c.points = 3;
    c.codes = {1, 0, 4, 0};
    c.samples[0] = {100, -5, 0};
    c.samples[2] = {-32768, 32767, -1};
    return c;
}

}  // namespace

TEST(RunRecording, WaveAndCsvTextsAndTheFileChosenByExtension) {
    const CaptureOutcome c = TwoChannels();
    EXPECT_EQ(WaveFileText(c, 100),
              "[Wave]\r\nSamplingPoints=3\r\nSamplingInterval=100\r\nPoints=3\r\n"
              "TypeCHN1=1\r\nTypeCHN2=0\r\nTypeCHN3=4\r\nTypeCHN4=0\r\n"
              "SamplingCHN1=0064fffb0000\r\nSamplingCHN3=80007fffffff\r\n");
    EXPECT_EQ(CsvText(c, 100),
              "PerCHnPoints,3\r\nSampleInterval,100\r\nRealSamplePoints,3\r\n"
              "CHN1,1\r\nCHN2,0\r\nCHN3,4\r\nCHN4,0\r\nCHN1,CHN2,CHN3,CHN4\r\n"
              "100, ,32768, \r\n65531, ,32767, \r\n0, ,65535, \r\n");

    hx::test::TempProgramFolder folder;
    std::string error;
    ASSERT_TRUE(SaveRecording(folder.File("run.CSV"), c, 100, &error)) << error;
    EXPECT_EQ(hx::test::ReadFileBytes(folder.File("run.CSV")), CsvText(c, 100));
    ASSERT_TRUE(SaveRecording(folder.File("run.wave"), c, 100, &error)) << error;
    EXPECT_EQ(hx::test::ReadFileBytes(folder.File("run.wave")), WaveFileText(c, 100));
    EXPECT_FALSE(SaveRecording(folder.File("no/such/folder/run.wave"), c, 100, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}
