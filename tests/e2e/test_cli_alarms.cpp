// halvex-cli alarms against a simulated drive served in this process over a
// pseudo-terminal.

#include <gtest/gtest.h>

#include "support/CliOnDrive.h"

namespace {

using Result = hx::test::ProgramResult;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(CliAlarms, ShowsClearsAndMasksTheDrivesAlarms) {
    const hx::test::CliOnDrive cli({.station = 11, .historyClearDelayMs = 500},
                                   {"--timeout", "200", "--late-horizon-ms", "150"});
    auto& vd = cli.vd;
    Result r = cli.Run({"alarms", "--lang", "zh"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "current: 没有报警\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "8 (148): 没有报警\n")) << r.out;

    vd.RaiseAlarm(6);
    vd.RaiseAlarm(9);
    r = cli.Run({"alarms", "--lang", "en", "-v"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"current: Err0009  Position following error too large\n",
                             "0 (140): Err0009  Position following error too large\n",
                             "1 (141): Err0006  Drive over-temperature\n", "2 (142): no alarm\n",
                             "      ----------------Possibility 1------------------\n", "      Cause: "})
        EXPECT_TRUE(Has(r.out, line)) << r.out;

    // A drive that does not answer is never "no alarm". Nobody is late here:
    // silence need not cost long.
    r = hx::test::RunCli({"--port", cli.drive.DevicePath(), "--timeout", "20", "--late-horizon-ms", "50", "--station", "12",
                          "alarms"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.out, "current: no answer\n")) << r.out;
    EXPECT_FALSE(Has(r.out, "没有报警")) << r.out;

    // Clearing the fault and the history, and the fault-detection mask.
    ASSERT_EQ(cli.Run({"alarms", "clear"}).status, 0);
    vd.SetAlarmCondition(2, true);
    r = cli.Run({"alarms", "clear"});
    EXPECT_EQ(r.status, 1) << "the over-voltage is still there";
    EXPECT_TRUE(Has(r.err, "Err0002")) << r.err;
    vd.SetAlarmCondition(2, false);
    r = cli.Run({"alarms", "clear"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(vd.CurrentAlarm(), 0);

    r = cli.Run({"alarms", "clear-history"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "alarm history cleared\n");
    EXPECT_EQ(vd.AlarmHistory(0), 0);

    vd.RaiseAlarm(3);
    vd.SetHistoryClearStuck(true);
    r = cli.Run({"alarms", "clear-history"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "did not clear its alarm history")) << r.err;
    EXPECT_EQ(vd.AlarmHistory(0), 3);

    // The fault-detection mask, read and written.
    vd.SetRam(56, 0x0005);
    r = cli.Run({"alarms", "mask", "--lang", "en"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* line : {"mask=0x0005\n", " 0 on  Over-current\n", " 1 off Over-voltage\n", " 2 on  EEPROM\n"})
        EXPECT_TRUE(Has(r.out, line)) << r.out;

    r = cli.Run({"alarms", "mask", "0x1000", "--lang", "zh"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "12 on  码盘断线检测\n")) << r.out;
    EXPECT_EQ(vd.Ram(56), 0x1000);

    r = cli.Run({"alarms", "mask", "70000"});
    EXPECT_EQ(r.status, 2);
    r = hx::test::RunCli({"--port", cli.drive.DevicePath(), "--timeout", "20", "--late-horizon-ms", "50", "--station",
                          "12", "alarms", "mask", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(vd.Ram(56), 0x1000);
}
