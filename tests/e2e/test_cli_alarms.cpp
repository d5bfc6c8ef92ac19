// halvex-cli alarms against a simulated drive served in this process over a
// pseudo-terminal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/InProcessDrive.h"
#include "sim/VirtualDrive.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

using Result = hx::test::ProgramResult;
constexpr int kStation = 11;

struct CliAlarms : ::testing::Test {
    Result Run(std::vector<std::string> words, int station = kStation) {
        return hx::test::RunCli(hx::test::Join({"--port", drive.DevicePath(), "--timeout", "200", "--late-horizon-ms",
                                                "150", "--station", std::to_string(station)},
                                               words));
    }
    hx::test::TempProgramFolder folder;  // the drive's parameter definitions
    hx::sim::InProcessDrive drive{{.station = kStation, .historyClearDelayMs = 500}};
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(CliAlarms, ShowsClearsAndMasksTheDrivesAlarms) {
    Result r = Run({"alarms", "--lang", "zh"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "current: 没有报警\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "8 (148): 没有报警\n")) << r.out;

    drive.Drive().RaiseAlarm(6);
    drive.Drive().RaiseAlarm(9);
    r = Run({"alarms", "--lang", "en", "-v"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"current: Err0009  Position following error too large\n",
                             "0 (140): Err0009  Position following error too large\n",
                             "1 (141): Err0006  Drive over-temperature\n", "2 (142): no alarm\n",
                             "      ----------------Possibility 1------------------\n", "      Cause: "})
        EXPECT_TRUE(Has(r.out, line)) << r.out;

    // A drive that does not answer is never "no alarm". Nobody is late here:
    // silence need not cost long.
    r = hx::test::RunCli({"--port", drive.DevicePath(), "--timeout", "20", "--late-horizon-ms", "50", "--station", "12",
                          "alarms"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "current: no answer\n")) << r.out;
    EXPECT_FALSE(Has(r.out, "没有报警")) << r.out;

    // Clearing the fault and the history, and the fault-detection mask.
    ASSERT_EQ(Run({"alarms", "clear"}).status, 0);
    drive.Drive().SetAlarmCondition(2, true);
    r = Run({"alarms", "clear"});
    EXPECT_EQ(r.status, 1) << "the over-voltage is still there";
    EXPECT_TRUE(Has(r.err, "Err0002")) << r.err;
    drive.Drive().SetAlarmCondition(2, false);
    r = Run({"alarms", "clear"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(drive.Drive().CurrentAlarm(), 0);

    r = Run({"alarms", "clear-history"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "alarm history cleared\n");
    EXPECT_EQ(drive.Drive().AlarmHistory(0), 0);

    drive.Drive().RaiseAlarm(3);
    drive.Drive().SetHistoryClearStuck(true);
    r = Run({"alarms", "clear-history"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "did not clear its alarm history")) << r.err;
    EXPECT_EQ(drive.Drive().AlarmHistory(0), 3);

    // The fault-detection mask, read and written.
    drive.Drive().SetRam(56, 0x0005);
    r = Run({"alarms", "mask", "--lang", "en"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"mask=0x0005\n", " 0 on  Over-current\n", " 1 off Over-voltage\n", " 2 on  EEPROM\n"})
        EXPECT_TRUE(Has(r.out, line)) << r.out;

    r = Run({"alarms", "mask", "0x1000", "--lang", "zh"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "12 on  码盘断线检测\n")) << r.out;
    EXPECT_EQ(drive.Drive().Ram(56), 0x1000);

    r = Run({"alarms", "mask", "70000"});
    EXPECT_EQ(r.status, 2);
    r = Run({"alarms", "mask", "1"}, 12);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(drive.Drive().Ram(56), 0x1000);
}
