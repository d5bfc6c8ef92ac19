#pragma once
// The command lines of halvex, halvex-cli and halvex-drive-sim are read with
// CLI11. This is what the three share: one way of reading numbers, one
// wording for mistakes and the same exit statuses: 0 after --help or
// --version, 2 for a bad command line.

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hx::cmdline {

constexpr int kExitHelp = 0;
constexpr int kExitUsage = 2;

// The programs' help layout: usage line first, then what the program does,
// then the options by group. Call before adding commands, which inherit it.
void SetHelpStyle(CLI::App& app);

// A help text with at most one blank line between its sections.
std::string Tidy(std::string help);

// A whole number, decimal or 0x-hexadecimal, optionally signed; nullopt for
// anything else (an empty word, trailing characters, out of range).
std::optional<long long> ParseWholeNumber(std::string_view text);

// The message a number option gives for a bad value.
std::string NumberRangeMessage(const std::string& option, const std::string& text, long long min, long long max);

// "--name N": a whole number from min to max, stored in target while the line
// is parsed. A bad value is a usage error naming the option and the range.
template <typename T>
CLI::Option* AddNumberOption(CLI::App& app, const std::string& name, T& target, long long min, long long max,
                             const std::string& description) {
    CLI::Option* option = app.add_option_function<std::string>(
        name,
        [&target, name, min, max](const std::string& text) {
            const auto n = ParseWholeNumber(text);
            if (!n || *n < min || *n > max) throw CLI::ValidationError(NumberRangeMessage(name, text, min, max));
            target = static_cast<T>(*n);
        },
        description);
    option->type_name("N");
    return option;
}

// A list of stations: numbers and ranges separated by commas ("1-8",
// "1,2,5", "1-4,7"), each from min to max; in ascending order, each once.
// nullopt for anything else (an empty item, a range running backwards).
std::optional<std::vector<int>> ParseStationList(std::string_view text, int min, int max);

// "--stations LIST": stations 1..247 (ParseStationList), stored in target
// (a vector of any integer type) while the line is parsed; excludes the
// single-station option given.
template <typename T>
CLI::Option* AddStationListOption(CLI::App& app, std::vector<T>& target, CLI::Option* single,
                                  const std::string& description) {
    CLI::Option* option = app.add_option_function<std::string>(
        "--stations",
        [&target](const std::string& text) {
            const auto list = ParseStationList(text, 1, 247);
            if (!list)
                throw CLI::ValidationError("--stations takes stations 1..247 and ranges, e.g. 1-8 or 1,2,5, not " +
                                           text);
            target.assign(list->begin(), list->end());
        },
        description);
    option->type_name("LIST")->excludes(single);
    return option;
}

// "--name F": a fraction from 0 to 1 (a probability).
CLI::Option* AddRateOption(CLI::App& app, const std::string& name, double& target, const std::string& description);

// Parses the line into app. Returns nullopt when the program should go on;
// otherwise the exit status, after printing the help or version text on
// stdout or the mistake on stderr as "PROGRAM: message (try --help)".
// helpListsAll: the top-level --help also lists every command's options.
std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv, bool helpListsAll = false);

}  // namespace hx::cmdline
