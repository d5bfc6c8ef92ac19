// The installed copy: what `cmake --install` puts where, that the installed
// programs find their data from their own location and keep the user's
// settings out of the system folders, and that the manual pages and desktop
// files say what the programs do.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>

#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using hx::test::RunProgram;

namespace {

class InstalledCopy : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_root = fs::temp_directory_path() / ("halvex-install-" + std::to_string(::getpid()));
        fs::remove_all(s_root);
        s_prefix = s_root / "usr";
        s_home = s_root / "home";
        fs::create_directories(s_home);
        s_install = RunProgram(HALVEX_CMAKE_COMMAND, {"--install", HALVEX_BUILD_DIR, "--prefix", s_prefix.string()});
        // The installed programs write the user's settings under a private home.
        ::setenv("HOME", s_home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (s_home / ".config").c_str(), 1);
    }
    static void TearDownTestSuite() { fs::remove_all(s_root); }

    static inline fs::path s_root, s_prefix, s_home;
    static inline hx::test::ProgramResult s_install;
};

}  // namespace

TEST_F(InstalledCopy, HoldsExactlyTheProgramsTheirDataAndDesktopFiles) {
    ASSERT_EQ(s_install.status, 0) << s_install.out << s_install.err;
    std::set<std::string> expected = {
        "lib/halvex/halvex-draw.so", "share/halvex/DATA.sqlite", "share/halvex/i18n/halvex_en.qm",
        "share/applications/org.halvex.Configurator.desktop", "share/metainfo/org.halvex.Configurator.metainfo.xml",
        "share/icons/hicolor/scalable/apps/halvex.svg",
    };
    for (const std::string program : {"halvex", "halvex-cli", "halvex-drive-sim"}) {
        expected.insert("bin/" + program);
        expected.insert("share/man/man1/" + program + ".1.gz");
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        expected.insert("share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/halvex.png");
    const fs::path help = fs::path(HALVEX_SOURCE_DIR) / "resources" / "help";
    for (const auto& e : fs::recursive_directory_iterator(help))
        if (!e.is_directory()) expected.insert("share/halvex/HelpFile/" + fs::relative(e.path(), help).string());

    std::set<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(s_prefix))
        if (!e.is_directory()) found.insert(fs::relative(e.path(), s_prefix).string());
    EXPECT_EQ(found, expected);
}

TEST_F(InstalledCopy, ProgramsFindTheirDataAndKeepSettingsWithTheUser) {
    ASSERT_EQ(s_install.status, 0) << s_install.err;
    const fs::path bin = s_prefix / "bin";
    // The simulated drive takes its parameters from the installed database.
    hx::test::BackgroundProgram sim((bin / "halvex-drive-sim").string(), {"--tcp", "127.0.0.1:0", "--station", "5"}, 1);
    ASSERT_EQ(sim.Lines().size(), 1u);
    const std::string port = sim.Lines()[0];
    ASSERT_EQ(port.rfind("tcp:127.0.0.1:", 0), 0u) << port;

    // identity looks the display model up in the installed database.
    auto r = RunProgram((bin / "halvex-cli").string(), {"--port", port, "--station", "5", "--timeout", "500", "identity"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("KRV4"), std::string::npos) << r.out;

    // It finds its drawing module too, and draws with it.
    const std::string wave = (s_root / "a.wave").string(), png = (s_root / "a.png").string();
    r = RunProgram((bin / "halvex-cli").string(), {"--port", port, "--station", "5", "--timeout", "500", "capture",
                                                   "--channels", "2", "-o", wave});
    ASSERT_EQ(r.status, 0) << r.err;
    r = RunProgram((bin / "halvex-cli").string(), {"wave", "plot", wave, "-o", png, "--size", "64x32"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(hx::test::ReadFileBytes(png).substr(1, 3), "PNG");

    // The window program finds its database (the user's copy, made from the
    // installed one), help pages and English catalogue.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    r = RunProgram((bin / "halvex").string(), {"--check"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const fs::path data = s_prefix / "share" / "halvex";
    for (const std::string& line : {"database: " + (s_home / ".config" / "halvex" / "DATA.sqlite").string(),
                                   "English catalogue: " + (data / "i18n" / "halvex_en.qm").string(),
                                   "help pages: " + (data / "HelpFile").string()})
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;

    // Nothing was written beside the installed programs or data.
    EXPECT_FALSE(fs::exists(bin / "Parameters"));
    EXPECT_FALSE(fs::exists(s_prefix / "share" / "halvex" / "Parameters"));
}

TEST_F(InstalledCopy, DesktopEntryAndMetainfoPassTheirValidators) {
    const fs::path desktop = fs::path(HALVEX_SOURCE_DIR) / "resources" / "desktop";
    auto r = RunProgram("/usr/bin/desktop-file-validate", {(desktop / "org.halvex.Configurator.desktop").string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;  // warnings too
    r = RunProgram("/usr/bin/appstreamcli",
                   {"validate", "--no-net", (desktop / "org.halvex.Configurator.metainfo.xml").string()});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
}

namespace {

// Every "--option" (and "-x" short option) a text names.
std::set<std::string> optionsIn(const std::string& text) {
    std::set<std::string> found;
    static const std::regex option(R"((^|[\s,\[\(|=])(--?[A-Za-z][A-Za-z0-9-]*))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it) {
        std::string o = (*it)[2];
        while (!o.empty() && o.back() == '-') o.pop_back();
        found.insert(o);
    }
    return found;
}

// The named sections of a manual page as plain text: roff's escaped hyphens
// and font changes out. Examples and "see also" may name other programs'
// options, so only the sections that describe this program's own count.
std::string manText(const std::string& page, const std::vector<std::string>& sections) {
    const std::string roff = hx::test::ReadFileBytes(std::string(HALVEX_SOURCE_DIR) + "/man/" + page);
    std::string text;
    for (const auto& name : sections) {
        const auto start = roff.find(".SH " + name + "\n");
        if (start == std::string::npos) continue;
        const auto end = roff.find("\n.SH ", start + 1);
        text += roff.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    return text;
}

void expectSameOptions(const std::string& help, const std::string& page, const std::vector<std::string>& sections) {
    const auto inHelp = optionsIn(help);
    const auto inMan = optionsIn(manText(page, sections));
    for (const auto& o : inHelp) EXPECT_TRUE(inMan.count(o)) << page << " does not describe " << o;
    for (const auto& o : inMan) EXPECT_TRUE(inHelp.count(o)) << page << " describes " << o << ", --help does not";
}

}  // namespace

TEST(ManualPages, DescribeEveryOptionTheProgramsHelpLists) {
    const std::string bin = hx::test::BuildBinFolder();
    // The full help of halvex-cli lists the commands' own options too.
    for (const std::string program : {"halvex-drive-sim", "halvex", "halvex-cli"}) {
        const auto help = RunProgram(bin + "/" + program, {"--help"});
        ASSERT_EQ(help.status, 0) << program;
        expectSameOptions(help.out, program + ".1",
                          program == "halvex-cli" ? std::vector<std::string>{"OPTIONS", "COMMANDS"}
                                                  : std::vector<std::string>{"OPTIONS"});
    }
}
