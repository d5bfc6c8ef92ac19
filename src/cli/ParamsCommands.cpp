// halvex-cli params: the parameter manager's transfers and files from the
// command line, running the same core code as the window.
//
//   params dump                                  read all, print ADDRESS=VALUE per slot
//   params save                                  store the drive's settings in its non-volatile memory
//   params read -o FILE.qxr [--description TEXT] read all and save to a parameter file
//   params load FILE.qxr [--force]               write a file to the drive and check it back
//   params compare A.qxr B.qxr [--model MODEL]   list the parameters whose values differ

#include "cli/ParamsCommands.h"

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/Globals.h"
#include "core/backup/ChangeGate.h"
#include "core/db/CADO.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/writes/DriveLoad.h"
#include "core/params/ParameterChecks.h"
#include "core/params/ParameterComparison.h"
#include "core/params/ParameterFile.h"
#include "core/params/ReadAllJob.h"
#include "core/writes/StorageCommand.h"
#include "core/params/TransferPlan.h"
#include "core/writes/WriteAllJob.h"
#include "core/settings/AppPaths.h"
#include "core/util/TextProgress.h"
#include "core/util/Text.h"

// The types of the model's definition table are registered so values show as
// the manager shows them. A parameter file cannot be saved or loaded without
// them (a 32-bit value would be cut into two words nobody can put together
// again), so requireDefinitions refuses then; a dump only warns.
bool ConnectDrive(const CliContext& ctx, CParameter& table, hx::DriveIdentity* identity, int* status,
                  bool requireDefinitions, std::vector<hx::ParameterDefinition>* definitions,
                  CliContext::LinkUse use, std::future<std::vector<hx::ParameterDefinition>>* typesLater) {
    if (ctx.Station() == 0) {
        *status = ctx.Fail("station 0 is the broadcast address: no drive answers it; give --station", kExitUsage);
        return false;
    }
    if (!ctx.OpenLink(use)) {
        *status = kExitPortError;
        return false;
    }
    const hx::DriveIdentity* known = ctx.Identify(status);
    if (!known) return false;
    *identity = *known;

    table.ClearTypes();
    auto defs = std::async(typesLater ? std::launch::async : std::launch::deferred, hx::LoadDefinitions,
                           hx::DatabasePath(), identity->driveModel);
    if (typesLater) {
        *typesLater = std::move(defs);
        return true;
    }
    return RegisterDefinitions(ctx, table, *identity, defs, status, requireDefinitions, definitions);
}

bool RegisterDefinitions(const CliContext& ctx, CParameter& table, const hx::DriveIdentity& identity,
                         std::future<std::vector<hx::ParameterDefinition>>& loaded, int* status,
                         bool requireDefinitions, std::vector<hx::ParameterDefinition>* definitions) {
    try {
        auto defs = loaded.get();
        for (const auto& d : defs) table.RegisterType(d.address, d.dataType.c_str());
        if (definitions) *definitions = std::move(defs);
    } catch (const DbError& e) {
        const std::string why = "no parameter definitions for drive model \"" + identity.driveModel + "\" (" +
                                e.Description() + ")";
        if (requireDefinitions) {
            *status = ctx.Fail(why + "; without them 32-bit parameters cannot be saved or loaded correctly, so "
                                     "nothing was done",
                               kExitNoAnswer);
            return false;
        }
        // Without definitions every value still reads, as a signed word.
        ctx.Fail("warning: " + why + "; values are shown as signed words", 0);
    }
    return true;
}

namespace {

// The whole-table read with its progress on standard error: at 9600 baud
// it takes some 20 s, too long to leave the user without a sign of life.
hx::TransferResult ReadWithProgress(const CliContext& ctx, CParameter& table, const hx::DriveIdentity& identity) {
    hx::TextProgress progress(ctx.Err(), "reading parameters", ctx.ProgressOnTerminal());
    return hx::ReadAll(ctx.Drive(identity.firmwareVersion), table, {},
                       [&progress](int done, int total) { progress.Update(done, total); });
}

// Names the block where a transfer stopped and what the link saw there, so a
// user sees which registers the drive would not give or take, and why.
int TransferFailed(const CliContext& ctx, const char* what, const hx::TransferResult& result, float firmware) {
    const bool writing = result.error == hx::TransferError::WriteBlockRejected;
    const auto plan = writing ? hx::WriteAllPlan(firmware) : hx::ReadAllPlan(firmware);
    std::string where = "block " + std::to_string(result.blocksDone + 1) + " of " + std::to_string(result.blocksTotal);
    if (result.blocksDone < static_cast<int>(plan.size())) {
        const hx::TransferBlock& block = plan[result.blocksDone];
        where += " (registers " + std::to_string(block.address) + ".." +
                 std::to_string(block.address + block.count - 1) + ")";
    }
    std::string why = result.linkText.empty() ? result.errorText : result.linkText;
    return ctx.Fail(std::string(what) + " stopped at " + where + ": " + why, kExitNoAnswer);
}

int Dump(const CliContext& ctx) {
    int status = kExitOk;
    hx::DriveIdentity identity;
    CParameter& table = ctx.Table();
    // The model's types are only needed to print the values: they are read
    // from the database while the drive's are read from the line.
    std::future<std::vector<hx::ParameterDefinition>> types;
    if (!ConnectDrive(ctx, table, &identity, &status, false, nullptr, CliContext::LinkUse::ReadOnly, &types))
        return status;
    const hx::TransferResult result = ReadWithProgress(ctx, table, identity);
    RegisterDefinitions(ctx, table, identity, types, &status, false, nullptr);
    if (result.status != hx::TransferStatus::Completed)
        return TransferFailed(ctx, "reading", result, identity.firmwareVersion);
    for (int i = 0; i < CParameter::kSlots; ++i) {
        const uint16_t address = CParameter::IndexToAddress(static_cast<uint16_t>(i));
        ctx.Out() << address << '=' << table.GetValue(address) << '\n';
    }
    ctx.Out().flush();
    return kExitOk;
}

int Save(const CliContext& ctx) {
    int status = kExitOk;
    hx::DriveIdentity identity;
    if (!ConnectDrive(ctx, ctx.Table(), &identity, &status)) return status;
    // Storing in non-volatile memory replaces what it held: a backup first.
    hx::TextProgress progress(ctx.Err(), "reading parameters for the backup", ctx.ProgressOnTerminal());
    const hx::StorageResult result =
        hx::RunGatedStorageCommand(ctx.Gate(), ctx.Drive(identity.firmwareVersion), hx::kSaveToDrive, {}, ctx.GateOptions(),
                                   [&progress](int done, int total) { progress.Update(done, total); });
    switch (result.outcome) {
    case hx::StorageOutcome::Succeeded:
        ctx.Out() << "Drive settings saved to non-volatile memory.\n";
        ctx.Out().flush();
        return kExitOk;
    case hx::StorageOutcome::NotAnswered:
        return ctx.NoAnswer("save command");
    case hx::StorageOutcome::NotBackedUp:
        return ctx.GateFailed(result.gate);
    case hx::StorageOutcome::RunInProgress:
        return ctx.Fail("not saved: a test run is on (register " + std::to_string(result.runningRegister) +
                            " reads running), and the drive's communication watchdog holds the run's values until "
                            "it ends; save once it has ended",
                        kExitNoAnswer);
    case hx::StorageOutcome::MayHaveStored:
        return ctx.Fail("the reply to the save command was lost, so the store may have been carried out; register " +
                            std::to_string(hx::kSaveToDrive.reg) +
                            " reads 0 again after the store time, so the drive is not storing now, but whether it "
                            "stored cannot be told: save again to be sure",
                        kExitNoAnswer);
    default:
        return ctx.Fail("saving the drive settings failed: register " + std::to_string(hx::kSaveToDrive.reg) +
                            " did not clear after " + std::to_string(result.pollsDone) + " polls",
                        kExitNoAnswer);
    }
}

int Read(const CliContext& ctx, const std::string& pattern, const std::string& description) {
    if (pattern.empty()) return ctx.Usage("params read needs a file name after -o");
    const std::string path = ctx.Expand(pattern);
    int status = kExitOk;
    hx::DriveIdentity identity;
    CParameter& table = ctx.Table();
    if (!ConnectDrive(ctx, table, &identity, &status, true, nullptr, CliContext::LinkUse::ReadOnly)) return status;
    const hx::TransferResult result = ReadWithProgress(ctx, table, identity);
    if (result.status != hx::TransferStatus::Completed)
        return TransferFailed(ctx, "reading", result, identity.firmwareVersion);

    const hx::ParameterFileHeader header{identity.productModel, identity.softVersionText,
                                         description};
    std::string error;
    if (!hx::SaveParameterFile(path, table, header, &error)) return ctx.Fail(error, kExitNoAnswer);
    ctx.Out() << "Saved " << CParameter::kSlots << " parameters to " << path << '\n';
    ctx.Out().flush();
    return kExitOk;
}

int Load(const CliContext& ctx, const std::vector<std::string>& args, bool force) {
    // Each drive of many may get its own file ("axis-{station}.qxr").
    const std::string path = ctx.Expand(args[0]);
    // The whole file is read before the drive is touched.
    hx::ParameterFileContents contents;
    std::string error;
    if (!hx::ReadParameterFile(path, &contents, &error)) return ctx.Fail(error, kExitNoAnswer);
    // A file without a single parameter line is refused before the port is opened.
    if (contents.values.empty()) return ctx.Fail(hx::NoParametersText(path, contents), kExitNoAnswer);

    int status = kExitOk;
    hx::DriveIdentity identity;
    CParameter& table = ctx.Table();
    std::vector<hx::ParameterDefinition> definitions;
    if (!ConnectDrive(ctx, table, &identity, &status, true, &definitions)) return status;
    // Again with the model's types: a value fits its register or is skipped.
    if (!hx::ReadParameterFile(path, &contents, &error, &table)) return ctx.Fail(error, kExitNoAnswer);
    if (contents.values.empty())
        return ctx.Fail(path + " holds no parameter line that can be loaded" +
                            (contents.skipped.empty() ? std::string() : " (" + hx::LoadSummaryText(contents) + ")"),
                        kExitNoAnswer);
    ctx.Out() << "Read " << path << ": " << contents.values.size() << " parameter lines to apply, "
              << contents.skipped.size() << " skipped.\n";
    if (!contents.skipped.empty()) ctx.Fail("warning: " + hx::LoadSummaryText(contents), 0);

    // A file from another model or with values outside their ranges is not
    // sent unless the user insists.
    std::vector<std::string> refusals;
    if (hx::FromAnotherModel(contents, identity.productModel))
        refusals.push_back(path + " was taken from drive type \"" + hx::Trim(contents.HeaderValue(1)) +
                           "\", the drive is \"" + identity.productModel + "\"");
    for (const hx::RangeViolation& v : hx::ValuesOutsideRange(definitions, contents))
        refusals.push_back("register " + std::to_string(v.address) + " (" + v.name + "): " + std::to_string(v.value) +
                           " is outside " + v.scope);
    if (!refusals.empty()) {
        for (const std::string& r : refusals) ctx.Fail((force ? "warning: " : "") + r, 0);
        if (!force) return ctx.Fail("nothing was written; use --force to write the file all the same", kExitNoAnswer);
    }

    hx::ChangeBatch changes(ctx.Gate(), ctx.Drive(identity.firmwareVersion), hx::ChangeOrigin::File, "params load " + path);
    const hx::DriveLoadReport report = [&] {
        using Step = hx::DriveLoadReport::Step;
        std::optional<hx::TextProgress> bar;
        Step shown = Step::Done;
        return hx::WriteFileToDrive(ctx.Drive(identity.firmwareVersion), table, contents, {},
                                    [&](Step step, int done, int total) {
                                        if (step != shown) {
                                            bar.reset();
                                            bar.emplace(ctx.Err(),
                                                        step == Step::Read    ? "reading parameters"
                                                        : step == Step::Write ? "writing parameters"
                                                                              : "reading back",
                                                        ctx.ProgressOnTerminal());
                                            shown = step;
                                        }
                                        bar->Update(done, total);
                                    },
                                    &changes, ctx.GateOptions());
    }();
    switch (report.stoppedAt) {
    case hx::DriveLoadReport::Step::Read:
        return TransferFailed(ctx, "reading", report.failure, identity.firmwareVersion);
    case hx::DriveLoadReport::Step::Backup:
        return ctx.GateFailed(report.gate);
    case hx::DriveLoadReport::Step::Write: {
        if (report.failure.error == hx::TransferError::NotBackedUp)
            return ctx.Fail(report.failure.errorText + "; the drive holds " +
                                std::to_string(report.failure.blocksDone) + " of " +
                                std::to_string(report.blocksTotal) + " blocks of the file",
                            kExitNoAnswer);
        TransferFailed(ctx, "writing", report.failure, identity.firmwareVersion);
        const std::string holds =
            report.blocksHolding < 0
                ? "the drive could not be read again, so which blocks it holds from the file is unknown"
                : "the drive now holds " + std::to_string(report.blocksHolding) + " of " +
                      std::to_string(report.blocksTotal) + " blocks as in the file";
        ctx.Fail(holds, kExitNoAnswer);
        if (!changes.BackupPath().empty())
            ctx.Fail("the values from before it are in " + changes.BackupPath() + " (params restore puts them back)", 0);
        return kExitNoAnswer;
    }
    case hx::DriveLoadReport::Step::ReadBack:
        return TransferFailed(ctx, "reading back", report.failure, identity.firmwareVersion);
    case hx::DriveLoadReport::Step::Done: break;
    }
    for (const hx::LoadDifference& d : report.differences)
        ctx.Out() << "register " << d.address << ": wrote " << d.sent << ", drive holds " << d.held << '\n';
    if (!report.differences.empty()) {
        ctx.Out().flush();
        return ctx.Fail(std::to_string(report.differences.size()) + " of " + std::to_string(report.registers) +
                            " registers differ from " + path + " after writing",
                        kExitNoAnswer);
    }
    if (!changes.BackupPath().empty())
        ctx.Err() << "halvex-cli: the drive's values from before are in " << changes.BackupPath() << '\n';
    ctx.Out() << "Wrote " << path << " to the drive: all " << report.registers
              << " settings read back the same (commands, status and identity registers are never written).\n";
    ctx.Out().flush();
    return kExitOk;
}

int Compare(const CliContext& ctx, const std::vector<std::string>& args, const std::string& model) {
    const std::string& pathA = args[0];
    const std::string& pathB = args[1];

    // Values as the files hold them; an address a file lacks counts as 0.
    hx::ParameterSet a, b;
    std::string error;
    if (!hx::LoadCompareSet(pathA, &a, &error) || !hx::LoadCompareSet(pathB, &b, &error))
        return ctx.Fail(error, kExitNoAnswer);

    std::map<uint16_t, std::string> names;
    try {
        for (const auto& d : hx::LoadDefinitions(hx::DatabasePath(), model)) names[d.address] = d.name;
    } catch (const DbError& e) {
        ctx.Fail("warning: no parameter names (" + std::string(e.Description()) + ")", 0);
    }

    int differing = 0;
    for (int i = 0; i < CParameter::kSlots; ++i) {
        if (a.values[i] == b.values[i]) continue;
        const uint16_t address = CParameter::IndexToAddress(static_cast<uint16_t>(i));
        if (differing++ == 0) ctx.Out() << "address\tname\t" << pathA << '\t' << pathB << '\n';
        const auto name = names.find(address);
        ctx.Out() << address << '\t' << (name == names.end() ? "-" : name->second) << '\t' << a.values[i] << '\t'
                  << b.values[i] << '\n';
    }
    if (differing == 0)
        ctx.Out() << "The two parameter sets are identical.\n";
    else
        ctx.Out() << differing << (differing == 1 ? " parameter differs.\n" : " parameters differ.\n");
    ctx.Out().flush();
    return kExitOk;
}

}  // namespace

void AddParamsCommands(CliCommands& commands) {
    CLI::App& params = *commands.AddGroup("params", "the parameter manager's transfers and files");
    commands.OnEveryDrive(commands.Add(params, "dump", "read all parameters and print ADDRESS=VALUE per slot", Dump));
    commands.OnEveryDrive(commands.Add(params, "save", "store the drive's settings in its non-volatile memory", Save));

    // The options' values live until the command has run, after registration.
    static std::string output, description, model;
    CLI::App* read = commands.Add(params, "read", "read all parameters and save them to a parameter file",
                                  [](const CliContext& ctx) { return Read(ctx, output, description); });
    read->add_option("-o,--output", output, "parameter file to write (FILE.qxr; {port} and {station} are filled in)")
        ->required()
        ->type_name("FILE");
    commands.OnEveryDrive(read, &output);
    read->add_option("--description", description, "description stored in the file")->type_name("TEXT");

    static bool force = false;
    CLI::App* load = commands.AddWithWords(
        params, "load", "write a parameter file to the drive and check it back",
        {{"FILE", "parameter file (FILE.qxr; {port} and {station} are filled in)", true}},
        [](const CliContext& ctx, const std::vector<std::string>& files) { return Load(ctx, files, force); });
    commands.OnEveryDrive(load);
    load->add_flag("--force", force,
                   "write a file with values outside their ranges or taken from another drive type all the same");

    CLI::App* compare = commands.AddWithWords(
        params, "compare", "list the parameters whose values differ between two files",
        {{"A", "first parameter file", true}, {"B", "second parameter file", true}},
        [](const CliContext& ctx, const std::vector<std::string>& files) { return Compare(ctx, files, model); });
    compare->add_option("--model", model, "drive model whose parameter names are shown")->type_name("MODEL");
}
