// The settings file as the program has always read and written it.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdlib>
#include <filesystem>

#include "core/app/LanguageSettings.h"
#include "core/app/SystemLanguage.h"
#include "core/settings/AppPaths.h"
#include "core/settings/EnvSettings.h"
#include "core/settings/ProfileFile.h"
#include "support/TestSupport.h"

using namespace hx;
namespace fs = std::filesystem;
using hx::test::ReadFileBytes;
using hx::test::TempProgramFolder;
using hx::test::WriteFileBytes;

TEST(ProfileFile, ReadsWithTheClassicSemantics) {
    TempProgramFolder folder;
    const std::string ini = folder.SettingsPath();

    // No file: every key gives its default.
    EXPECT_EQ(env::Read(env::kLanguage, "Type", "9"), "9");
    EXPECT_EQ(env::ReadInt(env::kDrive, "DriveNo", "63"), 63);

    WriteFileBytes(ini,
                   "[Language]\r\nType=abc\r\n[QxModel]\r\nYes=1 \r\n[drive]\r\ndriveno = 123456789\r\n"
                   "[COMSetting]\r\nCOM=\"COM12\"\r\n[ReadComDelay]\r\n");
    EXPECT_EQ(env::ReadInt(env::kLanguage, "Type", "9"), 0) << "non-numbers convert to 0";
    EXPECT_EQ(env::Read(env::kQxModel, "Yes", "9"), "1 ") << "a trailing blank is part of the value";
    EXPECT_EQ(env::Read(env::kDrive, "DriveNo", "63"), "12345") << "names match in any case; 5 characters seen";
    EXPECT_EQ(env::Read(env::kComSetting, "COM", "COM1"), "COM12") << "quotes are dropped";
    EXPECT_EQ(env::Read(env::kReadComDelay, "DelayTime", "10"), "10") << "section without the key";
    // Our own key is read whole, and kept within its range.
    for (auto [text, ms] : {std::pair{"120000", 120000}, {"9999999", 600000}, {"-5", 0}}) {
        WriteFileBytes(ini, std::string("[ReadComDelay]\r\nLateHorizon=") + text + "\r\n");
        EXPECT_EQ(env::LateHorizonMs(), ms) << text;
    }

    for (auto [text, value] : {std::pair{" -42x", -42}, {"+7", 7}, {"", 0}})
        EXPECT_EQ(ProfileToInt(text), value) << text;
}

TEST(ProfileFile, WritesKeyByKeyKeepingTheRest) {
    TempProgramFolder folder;
    const std::string ini = folder.SettingsPath();
    ASSERT_TRUE(env::Write(env::kLanguage, "Type", "4")) << "file and folder are created";
    ASSERT_TRUE(env::Write(env::kDrive, "DriveNo", "5"));
    WriteFileBytes(ini, ReadFileBytes(ini) + "; a comment\r\n");
    ASSERT_TRUE(env::Write(env::kLanguage, "Type", "9"));
    ASSERT_TRUE(env::Write(env::kLanguage, "Type", "9"));  // rewriting the same value stays one line

    const std::string text = ReadFileBytes(ini);
    EXPECT_EQ(text, "[Language]\r\nType=9\r\n\r\n[Drive]\r\nDriveNo=5\r\n; a comment\r\n");
    EXPECT_EQ(env::ReadInt(env::kLanguage, "Type", "4"), 9);

    // A write that cannot happen is reported, not fatal.
    EXPECT_FALSE(WriteProfileString("/proc/halvex-no-such/EnvSetting.ini", "A", "B", "1"));
}

// An installed copy's database is copied for the user whole or not at all
// (here the copy runs out of room half-way), and a program started without
// HOME keeps the user's files in the account's home, never in /tmp.
TEST(AppPaths, TheUsersDatabaseIsWholeAndHisFilesStayInHisHome) {
    TempProgramFolder root;
    fs::create_directories(root.File("usr/bin"));
    fs::create_directories(root.File("usr/share/halvex"));
    fs::copy_file(root.DatabasePath(), root.File("usr/share/halvex/DATA.sqlite"));
    ::setenv("XDG_CONFIG_HOME", root.File("config").c_str(), 1);
    hx::SetProgramFolder(root.File("usr/bin"));
    const std::string own = root.File("config/halvex/DATA.sqlite");
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{32768, limit.rlim_max};  // the soft limit alone: the hard one would not come back
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::string cutShort = DatabasePath();
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(cutShort, root.File("usr/share/halvex/DATA.sqlite")) << "the installed one while no copy is whole";
    EXPECT_FALSE(fs::exists(own));
    EXPECT_EQ(DatabasePath(), own);
    EXPECT_TRUE(ReadFileBytes(own) == ReadFileBytes(root.DatabasePath())) << "the whole database";
    hx::SetProgramFolder({});
    ::unsetenv("XDG_CONFIG_HOME");

    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::string data = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UserDataFolder(), std::string(::getpwuid(::getuid())->pw_dir) + "/.local/share/halvex");
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
}

TEST(ProfileFile, UnwritableProgramFolderUsesTheUserConfigFolder) {
    TempProgramFolder config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    // Nobody, not even root, creates files in /proc/self.
    hx::SetProgramFolder("/proc/self");
    EXPECT_EQ(SettingsPath(), config.Path() + "/halvex/Parameters/EnvSetting.ini");
    EXPECT_EQ(DataFolder(), "/proc/self") << "data files are still looked for beside the program";
    ASSERT_TRUE(env::Write(env::kDrive, "DriveNo", "7"));
    EXPECT_EQ(env::ReadInt(env::kDrive, "DriveNo", "63"), 7);
    hx::SetProgramFolder(config.Path());
    EXPECT_EQ(SettingsPath(), config.Path() + "/Parameters/EnvSetting.ini");
    ::unsetenv("XDG_CONFIG_HOME");
}

// Every start asks where the settings and the database are: the question
// leaves no file behind, not even for a moment (a folder watcher, a backup
// tool or a slow network share sees every one).
TEST(ProfileFile, FindingTheWritableFolderCreatesNoFileInIt) {
    TempProgramFolder folder;
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, folder.Path().c_str(), IN_CREATE), 0);
    hx::SetProgramFolder(folder.Path());
    EXPECT_EQ(SettingsPath(), folder.Path() + "/Parameters/EnvSetting.ini");
    EXPECT_EQ(DatabasePath(), folder.Path() + "/DATA.sqlite");
    char events[4096];
    EXPECT_LT(::read(watch, events, sizeof events), 0) << "a file was created in the program folder";
    ::close(watch);
    hx::SetProgramFolder({});
}

TEST(Language, SystemLanguageFromTheLocaleStartupAndLanguageCommands) {
    for (auto [locale, language] : {std::pair{"zh_CN.UTF-8", 4}, {"en_GB.UTF-8", 9}, {"C", 9}, {"POSIX", 9}, {"de_DE@euro", 7}})
        EXPECT_EQ(PrimaryLanguageOfLocale(locale), language) << locale;

    ::setenv("LC_ALL", "", 1);
    ::setenv("LC_MESSAGES", "zh_TW.UTF-8", 1);
    ::setenv("LANG", "en_US.UTF-8", 1);
    EXPECT_EQ(SystemPrimaryLanguage(), 4) << "LC_MESSAGES before LANG, empty LC_ALL ignored";
    ::unsetenv("LC_MESSAGES");
    EXPECT_EQ(SystemPrimaryLanguage(), 9);

    // The start-up and the language commands.
    TempProgramFolder folder;
    int asked = 0;
    auto no = [&] { ++asked; return false; };
    auto yes = [&] { ++asked; return true; };

    // No settings file: English, model-family flag 0, no question on an English system.
    auto start = ReadStartupLanguage(9, no);
    EXPECT_EQ(start.language, 9);
    EXPECT_EQ(start.qxModelFlag, 0);
    EXPECT_EQ(asked, 0);

    // Chinese stored on an English system: asked; No keeps Chinese and the file.
    env::Write(env::kLanguage, "Type", "4");
    env::Write(env::kQxModel, "Yes", "1");
    start = ReadStartupLanguage(9, no);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(start.language, 4);
    EXPECT_EQ(start.qxModelFlag, 1);
    EXPECT_EQ(env::ReadInt(env::kLanguage, "Type", "9"), 4);
    start = ReadStartupLanguage(9, yes);
    EXPECT_EQ(start.language, 9);
    EXPECT_EQ(env::ReadInt(env::kLanguage, "Type", "4"), 9);
    // A Chinese system is not asked.
    env::Write(env::kLanguage, "Type", "4");
    asked = 0;
    EXPECT_EQ(ReadStartupLanguage(4, yes).language, 4);
    EXPECT_EQ(asked, 0);

    // "English" always rewrites 9, "简体中文" on a non-Chinese system asks first.
    std::filesystem::remove(folder.SettingsPath());
    EXPECT_EQ(ChooseEnglish(9), LanguageChoiceOutcome::AlreadyCurrent);
    EXPECT_EQ(env::Read(env::kLanguage, "Type", "x"), "9");
    EXPECT_EQ(ChooseChinese(4, 9, yes), LanguageChoiceOutcome::AlreadyCurrent);
    EXPECT_EQ(ChooseChinese(9, 4, no), LanguageChoiceOutcome::SavedRestartNeeded);
    EXPECT_EQ(env::Read(env::kLanguage, "Type", "x"), "4");
    env::Write(env::kLanguage, "Type", "9");
    EXPECT_EQ(ChooseChinese(9, 9, no), LanguageChoiceOutcome::Declined);
    EXPECT_EQ(env::Read(env::kLanguage, "Type", "x"), "9");
    EXPECT_EQ(ChooseChinese(9, 9, yes), LanguageChoiceOutcome::ForcedUnsupported);
    EXPECT_EQ(env::Read(env::kLanguage, "Type", "x"), "4");
}
