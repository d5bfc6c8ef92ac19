// The three programs explain themselves: --help and --version print and
// exit 0, and halvex-cli's help lists every command with its options.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

using hx::test::ProgramResult;

ProgramResult run(const std::string& program, std::vector<std::string> args) {
    return hx::test::RunProgram(hx::test::BuildBinFolder() + "/" + program, std::move(args));
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t indentOf(const std::string& line) { return line.find_first_not_of(' '); }

// The commands of the full help: a line at the left edge of the "Commands:"
// section is a command ("read ADDR [COUNT]"); a line indented by two with
// its own indented text below it is one of its sub-commands ("params dump").
std::vector<std::string> commandsIn(const std::string& help) {
    const std::vector<std::string> all = hx::test::SplitLines(help);
    std::vector<std::string> commands;
    std::string group;
    bool inCommands = false;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string& line = all[i];
        if (line == "Commands:") {
            inCommands = true;
        } else if (!inCommands || line.empty()) {
        } else if (indentOf(line) == 0) {
            if (line.rfind("Numbers may", 0) == 0) break;
            group = line.substr(0, line.find(' '));
            commands.push_back(group);
        } else if (indentOf(line) == 2 && line.find(':') == std::string::npos && i + 1 < all.size() &&
                   !all[i + 1].empty() && indentOf(all[i + 1]) == 4) {
            commands.push_back(group + " " + line.substr(2, line.find(' ', 2) - 2));
        }
    }
    return commands;
}

std::vector<std::string> split(const std::string& words) {
    std::vector<std::string> out;
    std::istringstream in(words);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

}  // namespace

TEST(Help, CliListsEveryCommandEachExplainsItselfAndMistakesAreOneLineWithStatusTwo) {
    const ProgramResult all = run("halvex-cli", {"--help"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(all.out.rfind("Usage: halvex-cli", 0), 0u) << all.out;
    for (const char* option : {"--port", "--baud", "--station", "--timeout", "--version"})
        EXPECT_TRUE(has(all.out, option)) << option;

    const std::vector<std::string> commands = commandsIn(all.out);
    const std::set<std::string> listed(commands.begin(), commands.end());
    for (const char* expected : {"find", "read", "write", "identity", "params", "params dump", "params save",
                                 "params read", "params load", "params compare"})
        EXPECT_TRUE(listed.count(expected)) << expected << " missing from\n" << all.out;

    // Each command's own help: it names the command, and every option and
    // word it shows is in the full listing too.
    for (const std::string& command : commands) {
        std::vector<std::string> args = split(command);
        args.push_back("--help");
        const ProgramResult one = run("halvex-cli", args);
        EXPECT_EQ(one.status, 0) << command << ": " << one.err;
        EXPECT_EQ(one.out.rfind("Usage: halvex-cli " + command, 0), 0u) << one.out;
        for (const std::string& line : hx::test::SplitLines(one.out)) {
            if (line.rfind("  -", 0) != 0 || has(line, "--help")) continue;
            const std::string option = line.substr(2, line.find(' ', 2) - 2);
            EXPECT_TRUE(has(all.out, option)) << command << " " << option << " missing from the full help";
        }
    }
    // The full listing names each command's options, not only its name.
    EXPECT_TRUE(has(all.out, "-o,--output FILE")) << all.out;
    EXPECT_TRUE(has(all.out, "--model MODEL")) << all.out;
    EXPECT_TRUE(has(all.out, "read ADDR [COUNT]")) << all.out;

    // Mistakes are one line with status 2, each told as what it is (where
    // given), before anything is opened.
    const std::pair<std::vector<std::string>, std::string> mistakes[] = {
        {{"bogus"}, "halvex-cli: unknown command bogus (try --help)\n"},
        {{"params", "bogus"}, "halvex-cli: unknown command bogus (try --help)\n"},
        {{"--port=", "read", "0"}, "--port= needs a value"},
        {{"--stations=", "read", "0"}, "--stations= needs a value"},
        {{"--port", "tcp:nohost", "read", "0"}, "not a valid tcp:HOST:PORT address: tcp:nohost"},
        {{"params", "history", "-n", "-1"}, "-n needs a whole number from 0"},
        {{"params", "history", "-n", "abc"}, "-n needs a whole number from 0"},
        {{"wave", "export", "--lang", "fr", "a.wave", "b.csv"}, "--lang takes zh or en, not fr"},
        {{"--station", "248", "read", "1"}, ""}, {{"read", "1", "--timeout", "0"}, ""}, {{"params", "read", "-o"}, ""},
        {{"identity", "extra"}, ""}, {{"read"}, ""}, {{"read", "x"}, ""}, {{"read", "65535", "2"}, ""},
        {{"write", "1"}, ""}, {{"write", "1", "70000"}, ""}, {{"--baud"}, ""}, {{"--baud", "12345", "find"}, ""},
        {{"params"}, ""}, {{"params", "read"}, ""}, {{"params", "load"}, ""}, {{"params", "compare", "a.qxr"}, ""},
        {{"params", "dump", "extra"}, ""},
    };
    for (const auto& [words, says] : mistakes) {
        const ProgramResult r = run("halvex-cli", words);
        EXPECT_EQ(r.status, 2) << words[0];
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(hx::test::SplitLines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.err.rfind("halvex-cli: ", 0), 0u) << r.err;
        EXPECT_TRUE(has(r.err, says)) << r.err;
    }
    // Nothing at all: the whole help, as a mistake.
    const ProgramResult bare = run("halvex-cli", {});
    EXPECT_EQ(bare.status, 2);
    EXPECT_TRUE(has(bare.err, "  compare A B\n")) << bare.err;
}

TEST(Help, ProgramAnswersHelpAndVersionWithoutADisplay) {
    if (!std::filesystem::exists(hx::test::BuildBinFolder() + "/halvex")) GTEST_SKIP() << "halvex is not built";
    // No display and no platform chosen: the window system is never asked.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("QT_QPA_PLATFORM");
    ProgramResult r = run("halvex", {"--help"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Usage: halvex", 0), 0u) << r.out;
    EXPECT_TRUE(has(r.out, "--simulate"));
    r = run("halvex", {"--version"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "halvex Ver 1.56\n");
    // The installation check is for packaging and support: no display either.
    r = run("halvex", {"--check"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("database: ", 0), 0u) << r.out;
    EXPECT_TRUE(has(r.out, "English catalogue: ")) << r.out;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    r = run("halvex", {"--no-such-option"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.err, "--no-such-option")) << r.err;
}

// One version everywhere: the build's, in the programs, the manual pages and
// the package's description.
TEST(Help, OneVersionEverywhere) {
    const std::string source = HALVEX_SOURCE_DIR;
    const std::string version = "1.56";
    EXPECT_TRUE(has(hx::test::ReadFileBytes(source + "/CMakeLists.txt"), "VERSION " + version + " "));
    for (const std::string program : {"halvex-cli", "halvex-drive-sim"}) {
        const ProgramResult r = run(program, {"--version"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, program + " Ver " + version + "\n");
    }
    for (const char* page : {"/man/halvex.1", "/man/halvex-cli.1", "/man/halvex-drive-sim.1"})
        EXPECT_TRUE(has(hx::test::ReadFileBytes(source + page), "\"Halvex Configurator " + version + "\"")) << page;
    EXPECT_TRUE(has(hx::test::ReadFileBytes(source + "/resources/desktop/org.halvex.Configurator.metainfo.xml"),
                    "<release version=\"" + version + "\""));
}
