// No hangs on files that are not files, and no leftovers of interrupted
// saves: a FIFO in place of a settings file is passed over at once, and the
// temporary files a killed save left beside a file go at its next save.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <chrono>
#include <filesystem>

#include "core/link/PortResolver.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterFile.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"
#include "core/settings/ProfileFile.h"
#include "support/TestSupport.h"

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
