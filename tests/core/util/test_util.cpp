// The programs' small helpers: numbers on the command line, the transfers'
// progress text, and files that are not files or leftovers of killed saves.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <filesystem>
#include <limits>
#include <sstream>

#include "core/link/PortResolver.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterFile.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"
#include "core/settings/ProfileFile.h"
#include "core/util/CommandLine.h"
#include "core/util/TextProgress.h"
#include "support/TestSupport.h"

using hx::cmdline::ParseWholeNumber;

TEST(CommandLine, WholeNumbersAreDecimalOrHexadecimal) {
    // A leading zero is not octal.
    for (auto [text, value] : {std::pair{"42", 42LL}, {"010", 10LL}, {"-12", -12LL}, {"+7", 7LL}, {"0xFFFE", 0xFFFELL},
                               {"-0x10", -16LL}, {"-9223372036854775808", std::numeric_limits<long long>::min()}})
        EXPECT_EQ(ParseWholeNumber(text), value) << text;
    for (const char* bad : {"", "-", "0x", "x1", "1x", "12 ", " 12", "--5", "-+5", "+-5", "0x-1", "1.5",
                            "9223372036854775808", "-9223372036854775809", "99999999999999999999"})
        EXPECT_FALSE(ParseWholeNumber(bad).has_value()) << '"' << bad << '"';
}

TEST(TextProgress, ALinePerTenthOrABarRedrawnInPlaceOnATerminal) {
    std::ostringstream out;
    {
        hx::TextProgress progress(out, "writing", false);
        for (int done = 1; done <= 43; ++done) progress.Update(done, 43);
    }
    EXPECT_EQ(out.str(),
              "writing: 11% (5/43)\nwriting: 20% (9/43)\nwriting: 30% (13/43)\nwriting: 41% (18/43)\n"
              "writing: 51% (22/43)\nwriting: 60% (26/43)\nwriting: 72% (31/43)\nwriting: 81% (35/43)\n"
              "writing: 90% (39/43)\nwriting: 100% (43/43)\n");

    // Few steps: one line each, never two for the same tenth.
    std::ostringstream few;
    hx::TextProgress three(few, "reading", false);
    three.Update(1, 3);
    three.Update(1, 3);
    three.Update(3, 3);
    EXPECT_EQ(few.str(), "reading: 33% (1/3)\nreading: 100% (3/3)\n");

    // On a terminal, a bar redrawn in place.
    std::ostringstream bar;
    {
        hx::TextProgress progress(bar, "reading", true);
        progress.Update(1, 2);
        EXPECT_EQ(bar.str(), "\rreading [###############...............] 50% (1/2)");
        // Stopped short (a failed block): the line is ended for the message after it.
    }
    EXPECT_EQ(bar.str().back(), '\n');

    std::ostringstream done;
    hx::TextProgress whole(done, "reading", true);
    whole.Update(2, 2);
    whole.Finish();
    EXPECT_EQ(done.str(), "\rreading [##############################] 100% (2/2)\n") << "one line end only";
}

namespace fs = std::filesystem;

namespace {

void MakeOld(const std::string& path) {
    struct utimbuf old {};
    old.actime = old.modtime = ::time(nullptr) - 3600;
    ASSERT_EQ(::utime(path.c_str(), &old), 0);
}

}  // namespace

TEST(Leftovers, StaleTemporariesOfTheSameFileGoAtTheNextSave) {
    hx::test::TempProgramFolder folder;
    const std::string target = folder.File("set.qxr");
    const std::string stale = target + ".a1b2c3d4.tmp";
    const std::string fresh = target + ".zzzzzzzz.tmp";       // another save may be writing it now
    const std::string other = folder.File("other.qxr.a1b2c3d4.tmp");  // not this file's
    const std::string mine = folder.File("set.qxr.notes.tmp");         // not our pattern
    for (const auto& p : {stale, fresh, other, mine}) hx::test::WriteFileBytes(p, "half");
    MakeOld(stale);
    MakeOld(other);
    MakeOld(mine);

    CParameter table;
    std::string error;
    ASSERT_TRUE(hx::SaveParameterFile(target, table, {"M", "1.0", ""}, &error)) << error;
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_TRUE(fs::exists(mine));
    EXPECT_TRUE(fs::exists(target));
}

TEST(Leftovers, AFifoInPlaceOfASettingsFileIsPassedOverAtOnce) {
    hx::test::TempProgramFolder folder;
    fs::create_directories(fs::path(hx::SettingsPath()).parent_path());
    ASSERT_EQ(::mkfifo(hx::SettingsPath().c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(hx::PortsIniPath().c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    // Nobody writes the FIFOs: reading them would wait for ever.
    EXPECT_EQ(hx::env::Read(hx::env::kComSetting, "COM", "COM1"), "COM1");
    EXPECT_EQ(hx::GetProfileString(hx::PortsIniPath(), "Ports", "COM3", "none", 64), "none");
    hx::PortResolver::Resolve("COM3");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
