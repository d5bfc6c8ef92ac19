// Numbers on the programs' command lines.
#include <gtest/gtest.h>

#include <limits>

#include "core/util/CommandLine.h"

using hx::cmdline::ParseWholeNumber;

TEST(CommandLine, WholeNumbersAreDecimalOrHexadecimal) {
    EXPECT_EQ(ParseWholeNumber("42"), 42);
    EXPECT_EQ(ParseWholeNumber("010"), 10) << "a leading zero is not octal";
    EXPECT_EQ(ParseWholeNumber("-12"), -12);
    EXPECT_EQ(ParseWholeNumber("+7"), 7);
    EXPECT_EQ(ParseWholeNumber("0xFFFE"), 0xFFFE);
    EXPECT_EQ(ParseWholeNumber("-0x10"), -16);
    EXPECT_EQ(ParseWholeNumber("-9223372036854775808"), std::numeric_limits<long long>::min());
    for (const char* bad : {"", "-", "0x", "x1", "1x", "12 ", " 12", "--5", "-+5", "+-5", "0x-1", "1.5",
                            "9223372036854775808", "-9223372036854775809", "99999999999999999999"})
        EXPECT_FALSE(ParseWholeNumber(bad).has_value()) << '"' << bad << '"';
}

TEST(CommandLine, NumberOptionsCheckTheirRange) {
    CLI::App app("test", "prog");
    int station = 63;
    hx::cmdline::AddNumberOption(app, "--station", station, 0, 247, "station");
    const char* good[] = {"prog", "--station", "0x10"};
    EXPECT_FALSE(hx::cmdline::Parse(app, 3, good).has_value());
    EXPECT_EQ(station, 16);
    const char* bad[] = {"prog", "--station=248"};
    testing::internal::CaptureStderr();
    EXPECT_EQ(hx::cmdline::Parse(app, 2, bad), hx::cmdline::kExitUsage);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "prog: --station needs a whole number from 0 to 247, not \"248\" (try --help)\n");
}
