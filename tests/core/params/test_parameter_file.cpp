// Parameter files on real disk: the exact bytes, lenient loading, and what
// survives failed or killed saves.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "core/Globals.h"
#include "core/i18n/StringTable.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterFile.h"
#include "core/text/Cp936.h"
#include "core/util/AtomicFile.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using hx::test::ReadFileBytes;
using hx::test::TempProgramFolder;
using hx::test::WriteFileBytes;

namespace {

// As in the window program without its English catalogue: the installed
// translator gives every Chinese text back as it is.
struct ChineseMessages {
    ChineseMessages() { hx::SetTranslator([](const char*, const char* source) { return std::string(source); }); }
    ~ChineseMessages() { hx::SetTranslator(nullptr); }
};

void RegisterSomeTypes(CParameter& t) {
    for (auto [a, type] : {std::pair{5, "USHORT"}, {30010, "USHORT"}, {31, "INT"}, {30101, "INT"}})
        t.RegisterType(static_cast<uint16_t>(a), type);
}

// Every slot gets a distinct value; signed, unsigned and 32-bit ones.
void FillTable(CParameter& t, int seed) {
    for (int i = 0; i < CParameter::kSlots; ++i)
        t.SetValue(CParameter::IndexToAddress(static_cast<uint16_t>(i)), (i * 37 + seed) % 60000 - 30000);
    // 30010 shows as 65534.
    for (auto [a, v] : {std::pair{5, 65000}, {30010, -2}, {31, 100000}, {30101, -123456}})
        t.SetValue(static_cast<uint16_t>(a), v);
}

std::vector<int32_t> Values(CParameter& t) {
    std::vector<int32_t> v;
    for (int i = 0; i < CParameter::kSlots; ++i) v.push_back(t.GetValue(CParameter::IndexToAddress(static_cast<uint16_t>(i))));
    return v;
}

std::vector<std::string> TempFilesIn(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".tmp") found.push_back(e.path().string());
    return found;
}

const hx::ParameterFileHeader kHeader{"HX-KRV4-0750", "1.5", "描述 test"};

struct ParameterFile : ::testing::Test {
    TempProgramFolder folder;
};

}  // namespace

TEST(Cp936, ConvertsBothWaysAndCountsBytes) {
    std::string out;
    ASSERT_TRUE(hx::Utf8ToCp936("描述", &out));
    EXPECT_EQ(out, "\xC3\xE8\xCA\xF6");
    ASSERT_TRUE(hx::Cp936ToUtf8(out, &out));
    EXPECT_EQ(out, "描述");
    EXPECT_FALSE(hx::Utf8ToCp936("\xF0\x9F\x98\x80", &out));   // an emoji has no code page 936 form
    EXPECT_EQ(hx::Utf8ToCp936Lossy("a\xF0\x9F\x98\x80" "b\xFF"), "a?b?");
    EXPECT_FALSE(hx::Cp936ToUtf8("\xFF\xFF", &out));
    EXPECT_EQ(hx::Cp936ToUtf8Lossy("x\xFFy"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(hx::Cp936ByteLength("中文ab"), 6u);
}

TEST_F(ParameterFile, SaveThenLoadGivesTheSameTable) {
    const std::string path = folder.File("set.qxr");
    CParameter saved;
    RegisterSomeTypes(saved);
    FillTable(saved, 11);
    std::string error;
    ASSERT_TRUE(hx::SaveParameterFile(path, saved, kHeader, &error)) << error;

    CParameter loaded;
    RegisterSomeTypes(loaded);
    std::string info;
    ChineseMessages zh;
    ASSERT_TRUE(hx::LoadParameterFile(path, loaded, &info, &error)) << error;
    EXPECT_EQ(Values(loaded), Values(saved));
    EXPECT_EQ(std::pair(loaded.GetValue(30010), loaded.GetValue(30101)), std::pair(65534, -123456));
    EXPECT_EQ(info, "适用驱动器类型:HX-KRV4-0750\r\n驱动器软件版本:1.5\r\n描述信息:描述 test\r\n");
    // Saving what was loaded writes the same bytes again.
    EXPECT_EQ(hx::FormatParameterFile(loaded, kHeader), ReadFileBytes(path));
    EXPECT_TRUE(TempFilesIn(folder.Path()).empty());
}

TEST_F(ParameterFile, SavedBytesFollowTheFormat) {
    CParameter t;
    RegisterSomeTypes(t);
    for (auto [a, v] : {std::pair{0, -7}, {5, 65000}, {149, 149}, {30010, -2}, {31, 100000}, {31999, -1}})
        t.SetValue(static_cast<uint16_t>(a), v);
    // Every slot in address order, unsigned words unsigned, the high word of
    // the 32-bit value at 31 at 30; CR LF throughout.
    const std::map<int, std::string> shown = {{0, "-7"},   {5, "65000"},     {30, "1"},    {31, "100000"},
                                              {149, "149"}, {30010, "65534"}, {31999, "-1"}};
    std::string body;
    for (int a = 0; a <= 31999; a = a == 149 ? 30000 : a + 1)
        body += std::to_string(a) + "=" + (shown.count(a) ? shown.at(a) : "0") + "\r\n";
    const std::string path = folder.File("exact.qxr");
    ASSERT_TRUE(hx::SaveParameterFile(path, t, kHeader, nullptr));
    EXPECT_EQ(ReadFileBytes(path),
              "DriveType=HX-KRV4-0750\r\nDriveVerssion=1.5\r\nDescription=\xC3\xE8\xCA\xF6 test\r\n" + body);

    // Empty description; a description with line breaks stays on its line;
    // characters the code page lacks become '?'.
    ASSERT_TRUE(hx::SaveParameterFile(path, t, {"M", "2.0", ""}, nullptr));
    EXPECT_EQ(ReadFileBytes(path), "DriveType=M\r\nDriveVerssion=2.0\r\nDescription=\r\n" + body);
    ASSERT_TRUE(hx::SaveParameterFile(path, t, {"M", "2.0", "one\r\ntwo\nthree\rfour \xF0\x9F\x98\x80"}, nullptr));
    EXPECT_EQ(ReadFileBytes(path), "DriveType=M\r\nDriveVerssion=2.0\r\nDescription=one  two three four ?\r\n" + body);
}

TEST_F(ParameterFile, AppliesOnlyWhatASavedFileCanHoldAndCountsTheRest) {
    const std::string path = folder.File("hand.qxr");
    WriteFileBytes(path,
                   "DriveType=A=B\r\n"
                   "\n"                   // an empty header line shows nothing after its label
                   "no equals sign\r\n"   // a header line without "=" shows whole
                   "5=-3\r\n"              // a signed word at an unsigned address: 65533
                   "=7\r\n"
                   "6 7\r\n"
                   "\r\n"                  // empty: neither applied nor counted
                   "  8 =  -12 \r\n"       // blanks around the numbers are fine
                   "  +8=  -12abc\r\n"     // not a decimal value
                   "9=\n"                  // no value at all
                   "40000=9\r\n"           // no parameter slot
                   "65536=3\r\n"           // would be register 0 taken as 16 bits
                   "95536=3\r\n"           // would be 30000
                   "-65531=3\r\n"          // would be 5
                   "abc=3\r\n"
                   "11=70000\r\n"          // does not fit a word
                   "12=abc\r\n"
                   "13=65535\r\n"          // an unsigned word
                   "31=-100000\r\n"        // a 32-bit parameter
                   "30000=-1\r\n"
                   "31999=7");             // the last line, cut off without its ending
    CParameter t;
    RegisterSomeTypes(t);
    for (uint16_t a : {0, 9, 11, 12, 20, 30000, 31999}) t.SetValue(a, 444);
    std::string info, error;
    ChineseMessages zh;
    hx::ParameterFileContents contents;
    ASSERT_TRUE(hx::LoadParameterFile(path, t, &info, &error, &contents)) << error;
    for (auto [a, v] : {std::pair{5, 65533}, {8, -12}, {13, 65535}, {31, -100000}, {30000, -1}})
        EXPECT_EQ(t.GetValue(static_cast<uint16_t>(a)), v) << a;
    for (uint16_t a : {0, 9, 11, 12, 20, 31999}) EXPECT_EQ(t.GetValue(a), 444) << a;
    EXPECT_EQ(contents.values.size(), 5u);
    std::vector<std::size_t> skippedLines;
    for (const auto& s : contents.skipped) skippedLines.push_back(s.line);
    EXPECT_EQ(skippedLines, (std::vector<std::size_t>{5, 6, 9, 10, 11, 12, 13, 14, 15, 16, 17, 21}));
    EXPECT_EQ(info, "适用驱动器类型:A=B\r\n驱动器软件版本:\r\n描述信息:no equals sign\r\n");
    const std::string summary = hx::LoadSummaryText(contents, 2);
    EXPECT_NE(summary.find("6"), std::string::npos) << summary;
    EXPECT_NE(summary.find("12"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"=7\""), std::string::npos) << summary;

    const auto parsed = hx::ParseParameterText("DriveType=x\r\nb\r\nc\r\n=1\r\n7\r\n");
    EXPECT_EQ(std::tuple(parsed.headerLines.size(), parsed.values.size(), parsed.skipped.size()), std::tuple(3u, 0u, 2u));
    EXPECT_EQ(parsed.HeaderValue(1), "x");
    EXPECT_EQ(parsed.HeaderValue(2), "");

    // Without types every value may be 32 bits wide (the comparison's view).
    const auto untyped = hx::ParseParameterText("a\r\nb\r\nc\r\n7=100000\r\n8=4294967295\r\n9=4294967296\r\n");
    ASSERT_EQ(untyped.values.size(), 2u);
    EXPECT_EQ(untyped.values[1].second, -1);
    EXPECT_EQ(untyped.skipped.size(), 1u);
}

// Files that cannot be loaded, FIFOs and devices among them at once: the
// error names the file and the table stays as it was.
TEST_F(ParameterFile, RefusedFilesNameThemselvesAndChangeNothing) {
    CParameter t;
    FillTable(t, 3);
    const auto before = Values(t);
    const std::string header = "DriveType=X\r\nDriveVerssion=1\r\nDescription=\r\n";
    WriteFileBytes(folder.File("empty.qxr"), "");
    WriteFileBytes(folder.File("header.qxr"), header);
    WriteFileBytes(folder.File("no-value.qxr"), header + "not a line\r\n70000=1\r\n");
    // Nobody writes the FIFO: opening it for reading would wait for ever.
    ASSERT_EQ(::mkfifo(folder.File("pipe.qxr").c_str(), 0600), 0);
    for (const std::string& path : {folder.File("empty.qxr"), folder.File("header.qxr"), folder.File("no-value.qxr"),
                                    folder.File("pipe.qxr"), folder.File("missing.qxr"), folder.Path()}) {
        std::string error;
        EXPECT_FALSE(hx::LoadParameterFile(path, t, nullptr, &error)) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
    EXPECT_EQ(Values(t), before);
    hx::ParameterFileContents contents;
    std::string error;
    EXPECT_FALSE(hx::ReadParameterFile("/dev/zero", &contents, &error));
}

TEST_F(ParameterFile, DamagedAndUtf8HeadersStillLoad) {
    CParameter t;
    std::string error;
    hx::ParameterFileContents contents;

    // Neither code page 936 nor UTF-8 in its header: the header is shown as
    // well as it can be and the parameter lines load.
    const std::string garbage = folder.File("garbage.qxr");
    WriteFileBytes(garbage, "DriveType=\xFF\xFE\x80\r\nDriveVerssion=1\r\nDescription=\xB0\xA1\xFF\r\n5=9\r\n6=9\r\n");
    std::string info;
    ASSERT_TRUE(hx::LoadParameterFile(garbage, t, &info, &error)) << error;
    EXPECT_EQ(std::pair(t.GetValue(5), t.GetValue(6)), std::pair(9, 9));
    EXPECT_NE(info.find("\xE5\x95\x8A"), std::string::npos) << info;  // 啊 from B0 A1

    // Saved by an editor here in UTF-8: accepted as such.
    ChineseMessages zh;
    const std::string utf8 = folder.File("utf8.qxr");
    WriteFileBytes(utf8, "\xEF\xBB\xBF" "DriveType=X\r\nDriveVerssion=1\r\nDescription=中文说明\r\n5=9\r\n");
    ASSERT_TRUE(hx::ReadParameterFile(utf8, &contents, &error)) << error;
    EXPECT_EQ(hx::InformationText(contents), "适用驱动器类型:X\r\n驱动器软件版本:1\r\n描述信息:中文说明\r\n");
    ASSERT_EQ(contents.values.size(), 1u);
    EXPECT_EQ(contents.values[0], (std::pair<uint16_t, int32_t>{5, 9}));
}

TEST_F(ParameterFile, FailedSavesReportTheFileAndKeepTheOldOne) {
    CParameter t;
    FillTable(t, 1);
    std::string error;

    WriteFileBytes(folder.File("plain"), "x");
    for (const std::string& bad : {folder.File("no/such/folder/x.qxr"), folder.File("plain/x.qxr")}) {
        EXPECT_FALSE(hx::SaveParameterFile(bad, t, kHeader, &error));
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }

    // A write that fails half-way (a full disk) leaves the old file whole.
    const std::string path = folder.File("kept.qxr");
    ASSERT_TRUE(hx::SaveParameterFile(path, t, kHeader, &error)) << error;
    const std::string old = ReadFileBytes(path);
    CParameter other;
    FillTable(other, 2);
    hx::AtomicFile::SetWriteHook([](const std::string&, std::size_t written) { return written < 8192; });
    EXPECT_FALSE(hx::SaveParameterFile(path, other, kHeader, &error));
    hx::AtomicFile::SetWriteHook({});
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_TRUE(TempFilesIn(folder.Path()).empty());
}

TEST_F(ParameterFile, KilledSaveLeavesTheOldOrTheNewFileNeverAMix) {
    const std::string path = folder.File("killed.qxr");
    CParameter a, b;
    FillTable(a, 100);
    FillTable(b, 200);
    ASSERT_TRUE(hx::SaveParameterFile(path, a, kHeader, nullptr));
    const std::string bytesA = ReadFileBytes(path);
    const std::string bytesB = hx::FormatParameterFile(b, kHeader);
    ASSERT_NE(bytesA, bytesB);

    // Killed while the new file is half written.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        hx::AtomicFile::SetWriteHook([&](const std::string&, std::size_t written) {
            if (written >= 8192) {
                char c = 1;
                (void)!::write(pipeFds[1], &c, 1);
                for (;;) ::pause();
            }
            return true;
        });
        hx::SaveParameterFile(path, b, kHeader, nullptr);
        ::_exit(0);
    }
    ::close(pipeFds[1]);  // a child that ends without its signal ends the read too
    char c = 0;
    ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(pipeFds[0]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFileBytes(path), bytesA);
    const auto strays = TempFilesIn(folder.Path());
    ASSERT_EQ(strays.size(), 1u);  // the half-written temporary file
    EXPECT_LT(fs::file_size(strays[0]), bytesB.size());
    // The next save takes the new file's place whole.
    ASSERT_TRUE(hx::SaveParameterFile(path, b, kHeader, nullptr));
    EXPECT_EQ(ReadFileBytes(path), bytesB);
}

// The labels and messages follow the catalogue, never the language number: a
// missing English catalogue leaves Chinese in an English-set interface, and
// the command-line tools, which have no catalogue, speak English.
TEST_F(ParameterFile, InformationAndErrorsGoThroughTheCatalogue) {
    const std::string path = folder.File("info.qxr");
    WriteFileBytes(path, "DriveType=X\r\nDriveVerssion=1\r\nDescription=d\r\n5=9\r\n");
    hx::ParameterFileContents contents;
    std::string error;
    ASSERT_TRUE(hx::ReadParameterFile(path, &contents, &error)) << error;
    const uint16_t language = g_language;
    g_language = 9;
    {
        ChineseMessages noCatalogue;
        EXPECT_EQ(hx::InformationText(contents), "适用驱动器类型:X\r\n驱动器软件版本:1\r\n描述信息:d\r\n");
        EXPECT_FALSE(hx::ReadParameterFile(folder.File("missing.qxr"), &contents, &error));
        EXPECT_EQ(error.rfind("无法打开文件 \"" + folder.File("missing.qxr") + "\": ", 0), 0u) << error;
    }
    {
        hx::SetTranslator([](const char* context, const char* source) {
            return std::string(context) == "ParameterFile" && std::string(source) == "无法打开文件 %1: %2"
                       ? std::string("Cannot open %1 (%2)")
                       : std::string(source);
        });
        EXPECT_FALSE(hx::ReadParameterFile(folder.File("missing.qxr"), &contents, &error));
        EXPECT_EQ(error.rfind("Cannot open \"" + folder.File("missing.qxr") + "\" (", 0), 0u) << error;
        hx::SetTranslator(nullptr);
    }
    g_language = 4;
    ASSERT_TRUE(hx::ReadParameterFile(path, &contents, &error)) << error;
    EXPECT_EQ(hx::InformationText(contents), "Drive type:X\r\nDrive software version:1\r\nDescription:d\r\n")
        << "no catalogue at all: the command-line tools' English";
    g_language = language;
}
