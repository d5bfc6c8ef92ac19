#include "cli/CliCommands.h"

#include "cli/DriveRunner.h"

namespace {

// "params dump" for the sub-command dump of params.
std::string CommandPath(const CLI::App* command) {
    std::string path = command->get_name();
    for (const CLI::App* p = command->get_parent(); p && p->get_parent(); p = p->get_parent())
        path = p->get_name() + " " + path;
    return path;
}

}  // namespace

CliCommands::CliCommands(CLI::App& app, const CliContext& ctx) : m_app(app), m_ctx(ctx) {}

CLI::App* CliCommands::Add(const std::string& name, const std::string& description, Action action) {
    return Add(m_app, name, description, std::move(action));
}

CLI::App* CliCommands::Add(CLI::App& parent, const std::string& name, const std::string& description,
                           Action action) {
    CLI::App* command = parent.add_subcommand(name, description);
    command->group("Commands");
    auto many = std::make_shared<ManyDrives>();
    m_manyDrives[command] = many;
    // Subcommand callbacks run after the whole line is parsed, so the options
    // given after the command's words are known by then.
    command->callback([status = m_status, &ctx = m_ctx, action = std::move(action), many, command] {
        if (!ctx.ManyDrives()) {
            *status = action(ctx);
        } else if (many->allowed) {
            *status = RunOnDrives(ctx, action, many->output);
        } else {
            *status = ctx.Usage(CommandPath(command) +
                                " works on one drive: --stations, several --port and --summary-json are not for it");
        }
    });
    return command;
}

CLI::App* CliCommands::AddWithWords(const std::string& name, const std::string& description, std::vector<Word> words,
                                    WordsAction action) {
    return AddWithWords(m_app, name, description, std::move(words), std::move(action));
}

CLI::App* CliCommands::AddWithWords(CLI::App& parent, const std::string& name, const std::string& description,
                                    std::vector<Word> words, WordsAction action) {
    auto values = std::make_shared<std::vector<std::string>>(words.size());
    auto options = std::make_shared<std::vector<CLI::Option*>>();
    CLI::App* command = Add(parent, name, description, [values, options, action = std::move(action)](const CliContext& ctx) {
        std::vector<std::string> given;
        for (size_t i = 0; i < options->size(); ++i)
            if ((*options)[i]->count() > 0) given.push_back((*values)[i]);
        return action(ctx, given);
    });
    for (size_t i = 0; i < words.size(); ++i) {
        // Words are text here: the command reads them (hexadecimal and
        // negative numbers included) and names the one it cannot use.
        CLI::Option* option = command->add_option(words[i].name, (*values)[i], words[i].description);
        option->type_name("");
        if (words[i].required) option->required();
        options->push_back(option);
    }
    return command;
}

CLI::App* CliCommands::AddGroup(const std::string& name, const std::string& description) {
    CLI::App* group = m_app.add_subcommand(name, description);
    group->group("Commands");
    group->require_subcommand(1);
    return group;
}

CLI::App* CliCommands::OnEveryDrive(CLI::App* command, const std::string* output) {
    auto& many = *m_manyDrives.at(command);
    many.allowed = true;
    many.output = output;
    return command;
}
