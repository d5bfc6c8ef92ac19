#pragma once
// How a command joins halvex-cli. Each family of commands has its own file
// with one registration function, called once from main.cpp:
//
//   void AddAlarmCommands(CliCommands& commands) {
//       CLI::App* alarms = commands.AddGroup("alarms", "read and clear the drive's alarms");
//       auto history = std::make_shared<bool>(false);
//       CLI::App* show = commands.Add(*alarms, "show", "print the current alarm",
//                                     [history](const CliContext& ctx) { return ShowAlarm(ctx, *history); });
//       show->add_flag("--history", *history, "also print the alarm history");
//   }
//
// A command's action runs once the whole line has been parsed, so the link
// options (--port, --station, ...) hold wherever they stood; it returns the
// exit status (CliExit). Values an action needs live in shared_ptr or static
// storage bound to the command's options, as the action runs after the
// registration function has returned.

#include <CLI/CLI.hpp>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliContext.h"

class CliCommands {
public:
    using Action = std::function<int(const CliContext&)>;
    using WordsAction = std::function<int(const CliContext&, const std::vector<std::string>&)>;

    // One word of a command line, in the order the words stand.
    struct Word {
        std::string name;         // as help shows it, e.g. "ADDR"
        std::string description;
        bool required = true;     // optional words follow the required ones
    };

    CliCommands(CLI::App& app, const CliContext& ctx);

    CLI::App& App() { return m_app; }
    const CliContext& Context() const { return m_ctx; }

    // A command of halvex-cli, or of a group when parent is given.
    CLI::App* Add(const std::string& name, const std::string& description, Action action);
    CLI::App* Add(CLI::App& parent, const std::string& name, const std::string& description, Action action);
    // A command taking words: the given ones are handed to the action in order.
    CLI::App* AddWithWords(const std::string& name, const std::string& description, std::vector<Word> words,
                           WordsAction action);
    CLI::App* AddWithWords(CLI::App& parent, const std::string& name, const std::string& description,
                           std::vector<Word> words, WordsAction action);
    // A name gathering sub-commands ("params dump", "params save"); one of
    // them must follow it.
    CLI::App* AddGroup(const std::string& name, const std::string& description);

    // Lets a command work on many drives (DriveRunner.h): with --stations,
    // several --port or --summary-json its action runs once per drive, with
    // that drive's context. output: the command's output-file option, whose
    // name must then differ from drive to drive. Any other command refuses
    // such a line.
    CLI::App* OnEveryDrive(CLI::App* command, const std::string* output = nullptr);

    // The exit status of the command that ran; kExitOk when none did.
    int Status() const { return *m_status; }

private:
    struct ManyDrives {
        bool allowed = false;
        const std::string* output = nullptr;
    };

    CLI::App& m_app;
    std::map<const CLI::App*, std::shared_ptr<ManyDrives>> m_manyDrives;
    const CliContext& m_ctx;
    std::shared_ptr<int> m_status = std::make_shared<int>(kExitOk);
};
