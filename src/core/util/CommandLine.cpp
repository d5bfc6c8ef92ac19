#include "core/util/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <iostream>
#include <limits>

namespace hx::cmdline {
namespace {

class HelpFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
        if (mode == CLI::AppFormatMode::Sub) return make_expanded(app);
        // The usage line comes first, as users of command-line tools expect.
        std::string out = make_usage(app, std::move(name));
        out += make_description(app);
        out += make_positionals(app);
        out += make_groups(app, mode);
        out += make_subcommands(app, mode);
        out += '\n' + make_footer(app);
        return out;
    }

    // One command in the program's full help: "read ADDR [COUNT]", what it
    // does, its words and options, and its own commands expanded the same way.
    std::string make_expanded(const CLI::App* sub) const override {
        std::string head = sub->get_display_name(true);
        for (const CLI::Option* word : sub->get_options([](const CLI::Option* o) { return o->get_positional(); }))
            head += word->get_required() ? " " + word->get_name(true, false) : " [" + word->get_name(true, false) + "]";
        std::string body = make_description(sub) + make_positionals(sub) + make_groups(sub, CLI::AppFormatMode::Sub);
        for (const CLI::App* command : sub->get_subcommands({}))
            body += make_expanded(command);
        // Blank lines dropped, everything below the head indented.
        std::string text;
        for (size_t start = 0; start < body.size();) {
            size_t end = body.find('\n', start);
            if (end == std::string::npos) end = body.size();
            if (end > start) text += "  " + body.substr(start, end - start) + "\n";
            start = end + 1;
        }
        return head + "\n" + text;
    }
};

}  // namespace

std::string Tidy(std::string help) {
    // One blank line between sections is enough.
    for (size_t at; (at = help.find("\n\n\n")) != std::string::npos;) help.erase(at, 1);
    return help;
}

void SetHelpStyle(CLI::App& app) {
    auto formatter = std::make_shared<HelpFormatter>();
    formatter->column_width(26);
    formatter->label("SUBCOMMAND", "COMMAND");
    formatter->label("SUBCOMMANDS", "COMMANDS");
    formatter->label("Subcommands", "Commands");
    formatter->label("Positionals", "Arguments");
    app.formatter(formatter);
}

std::optional<long long> ParseWholeNumber(std::string_view t) {
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    // from_chars would take a second sign ("--5", "-+5") as part of the number.
    if (t.empty() || t.front() == '-' || t.front() == '+') return std::nullopt;
    unsigned long long magnitude = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), magnitude, base);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    constexpr auto kMax = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    if (magnitude > kMax + (negative ? 1 : 0)) return std::nullopt;
    if (negative) return magnitude == kMax + 1 ? std::numeric_limits<long long>::min()
                                               : -static_cast<long long>(magnitude);
    return static_cast<long long>(magnitude);
}

std::optional<std::vector<int>> ParseStationList(std::string_view text, int min, int max) {
    std::vector<int> stations;
    auto number = [&](std::string_view word) -> std::optional<int> {
        // Decimal only: "0x1-0x8" would read as nobody means it.
        int value = 0;
        auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (word.empty() || ec != std::errc() || end != word.data() + word.size() || value < min || value > max)
            return std::nullopt;
        return value;
    };
    while (true) {
        const auto comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        const auto dash = item.find('-');
        const auto first = number(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : number(item.substr(dash + 1));
        if (!first || !last || *last < *first) return std::nullopt;
        for (int s = *first; s <= *last; ++s) stations.push_back(s);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    std::sort(stations.begin(), stations.end());
    stations.erase(std::unique(stations.begin(), stations.end()), stations.end());
    return stations;
}

std::string NumberRangeMessage(const std::string& option, const std::string& text, long long min, long long max) {
    return option + " needs a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
           ", not \"" + text + "\"";
}

CLI::Option* AddRateOption(CLI::App& app, const std::string& name, double& target, const std::string& description) {
    CLI::Option* option = app.add_option_function<std::string>(
        name,
        [&target, name](const std::string& text) {
            size_t used = 0;
            double v = -1;
            try {
                v = std::stod(text, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            if (text.empty() || used != text.size() || !(v >= 0.0 && v <= 1.0))
                throw CLI::ValidationError(name + " needs a number from 0 to 1, not \"" + text + "\"");
            target = v;
        },
        description);
    option->type_name("F");
    return option;
}

std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv, bool helpListsAll) {
    // "--name=" with nothing after it: the parser would take the next word
    // as the value ("--port= read 0" reads "read" as the port).
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--") break;
        if (word.size() > 3 && word.substr(0, 2) == "--" && word.back() == '=' &&
            word.find('=') == word.size() - 1) {
            std::cerr << app.get_name() << ": " << word << " needs a value after the \"=\" (try --help)\n";
            std::cerr.flush();
            return kExitUsage;
        }
    }
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::CallForHelp&) {
        // A command's own --help explains that command; the program's lists all.
        CLI::App* asked = &app;
        while (!asked->get_subcommands().empty()) asked = asked->get_subcommands().front();
        const bool all = helpListsAll && asked == &app;
        // "Usage: halvex-cli params read ..." names the whole way to the command.
        std::string path;
        for (const CLI::App* a = asked->get_parent(); a != nullptr; a = a->get_parent())
            path = a->get_name() + (path.empty() ? "" : " " + path);
        std::cout << Tidy(asked->help(path, all ? CLI::AppFormatMode::All : CLI::AppFormatMode::Normal));
        std::cout.flush();
        return kExitHelp;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << Tidy(app.help("", CLI::AppFormatMode::All));
        std::cout.flush();
        return kExitHelp;
    } catch (const CLI::CallForVersion&) {
        std::cout << app.version() << '\n';
        std::cout.flush();
        return kExitHelp;
    } catch (const CLI::ParseError& e) {
        // A word where a command must stand is an unknown command, which
        // says more than "a subcommand is required".
        const CLI::App* at = &app;
        while (!at->get_subcommands().empty()) at = at->get_subcommands().front();
        std::string message = e.what();
        auto left = at->remaining();
        if (left.empty()) left = app.remaining(true);
        if (dynamic_cast<const CLI::RequiredError*>(&e) && at->get_require_subcommand_min() > 0 && !left.empty())
            message = "unknown command " + left.front();
        std::cerr << app.get_name() << ": " << message << " (try --help)\n";
        std::cerr.flush();
        return kExitUsage;
    }
}

}  // namespace hx::cmdline
