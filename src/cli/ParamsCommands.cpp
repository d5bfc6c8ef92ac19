// halvex-cli params: the parameter manager's transfers and files from the
// command line, running the same core code as the window.
//
//   params dump                                  read all, print ADDRESS=VALUE per slot
//   params save                                  store the drive's settings in its non-volatile memory
//   params read -o FILE.qxr [--description TEXT] read all and save to a parameter file
//   params load FILE.qxr                         write a file to the drive and check it back
//   params compare A.qxr B.qxr [--model MODEL]   list the parameters whose values differ

#include "cli/ParamsCommands.h"

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/Globals.h"
#include "core/db/CADO.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterComparison.h"
#include "core/params/ParameterFile.h"
#include "core/params/ReadAllJob.h"
#include "core/params/StorageCommand.h"
#include "core/params/TransferPlan.h"
#include "core/params/WriteAllJob.h"
#include "core/settings/AppPaths.h"
#include "core/util/TextProgress.h"

namespace {

// Connects as the connection window does: register 0 must answer, then the
// identity gives the firmware and the drive model. The types of the model's
// definition table are registered so values show as the manager shows them.
bool ConnectDrive(const CliContext& ctx, CParameter& table, hx::DriveIdentity* identity, int* status) {
    if (!ctx.OpenLink()) {
        *status = kExitPortError;
        return false;
    }
    CQXCOM& comm = ctx.Link();
    if (!hx::DriveAnswers(comm, ctx.Station())) {
        *status = ctx.NoAnswer("read 0");
        return false;
    }
    *identity = hx::ReadDriveIdentity(comm, ctx.Station());
    if (!identity->complete) {
        *status = ctx.NoAnswer("identity");
        return false;
    }
    hx::ApplyIdentity(*identity);

    table.ClearTypes();
    try {
        for (const auto& d : hx::LoadDefinitions(hx::DatabasePath(), identity->driveModel))
            table.RegisterType(d.address, d.dataType.c_str());
    } catch (const DbError& e) {
        // Without definitions every value still reads, as a signed word.
        ctx.Fail("warning: no parameter definitions for drive model \"" + identity->driveModel +
                     "\" (" + e.Description() + "); values are shown as signed words",
                 0);
    }
    return true;
}

// A whole-table transfer with its progress on standard error: at 9600 baud
// one takes some 20 s, too long to leave the user without a sign of life.
hx::TransferResult WithProgress(const CliContext& ctx, const char* label,
                                hx::TransferResult (*transfer)(const hx::TransferLink&, std::stop_token,
                                                               const hx::ProgressCallback&),
                                const hx::TransferLink& link) {
    hx::TextProgress progress(ctx.Err(), label, hx::TextProgress::StderrIsTerminal());
    return transfer(link, {}, [&progress](int done, int total) { progress.Update(done, total); });
}

hx::TransferLink LinkFor(const CliContext& ctx, CParameter& table, const hx::DriveIdentity& identity) {
    return hx::TransferLink{&ctx.Link(), &table, ctx.Station(), identity.firmwareVersion};
}

// Names the block where a transfer stopped, so a user sees which registers
// the drive would not give or take.
int TransferFailed(const CliContext& ctx, const char* what, const hx::TransferResult& result, float firmware) {
    const auto plan = result.error == hx::TransferError::WriteBlockRejected ? hx::WriteAllPlan(firmware)
                                                                             : hx::ReadAllPlan(firmware);
    std::string where = "block " + std::to_string(result.blocksDone + 1) + " of " + std::to_string(result.blocksTotal);
    if (result.blocksDone < static_cast<int>(plan.size())) {
        const hx::TransferBlock& block = plan[result.blocksDone];
        where += " (registers " + std::to_string(block.address) + ".." +
                 std::to_string(block.address + block.count - 1) + ")";
    }
    const std::string why = result.error == hx::TransferError::WriteBlockRejected
                                ? "the drive did not accept the block"
                                : result.errorText;
    return ctx.Fail(std::string(what) + " stopped at " + where + ": " + why, kExitNoAnswer);
}

int Dump(const CliContext& ctx) {
    int status = kExitOk;
    hx::DriveIdentity identity;
    if (!ConnectDrive(ctx, theParameterTable, &identity, &status)) return status;
    const hx::TransferResult result =
        WithProgress(ctx, "reading parameters", hx::ReadAll, LinkFor(ctx, theParameterTable, identity));
    if (result.status != hx::TransferStatus::Completed)
        return TransferFailed(ctx, "reading", result, identity.firmwareVersion);
    for (int i = 0; i < CParameter::kSlots; ++i) {
        const uint16_t address = CParameter::IndexToAddress(static_cast<uint16_t>(i));
        ctx.Out() << address << '=' << theParameterTable.GetValue(address) << '\n';
    }
    ctx.Out().flush();
    return kExitOk;
}

int Save(const CliContext& ctx) {
    if (!ctx.OpenLink()) return kExitPortError;
    const hx::StorageResult result = hx::RunStorageCommand(ctx.Link(), ctx.Station(), hx::kSaveToDrive);
    switch (result.outcome) {
    case hx::StorageOutcome::Succeeded:
        ctx.Out() << "Drive settings saved to non-volatile memory.\n";
        ctx.Out().flush();
        return kExitOk;
    case hx::StorageOutcome::NotAnswered:
        return ctx.NoAnswer("save command");
    default:
        return ctx.Fail("saving the drive settings failed: register " + std::to_string(hx::kSaveToDrive.reg) +
                            " did not clear after " + std::to_string(result.pollsDone) + " polls",
                        kExitNoAnswer);
    }
}

int Read(const CliContext& ctx, const std::string& path, const std::string& description) {
    if (path.empty()) return ctx.Usage("params read needs a file name after -o");
    int status = kExitOk;
    hx::DriveIdentity identity;
    if (!ConnectDrive(ctx, theParameterTable, &identity, &status)) return status;
    const hx::TransferResult result =
        WithProgress(ctx, "reading parameters", hx::ReadAll, LinkFor(ctx, theParameterTable, identity));
    if (result.status != hx::TransferStatus::Completed)
        return TransferFailed(ctx, "reading", result, identity.firmwareVersion);

    const hx::ParameterFileHeader header{identity.productModel, identity.softVersionText,
                                         description};
    std::string error;
    if (!hx::SaveParameterFile(path, theParameterTable, header, &error)) return ctx.Fail(error, kExitNoAnswer);
    ctx.Out() << "Saved " << CParameter::kSlots << " parameters to " << path << '\n';
    ctx.Out().flush();
    return kExitOk;
}

int Load(const CliContext& ctx, const std::vector<std::string>& args) {
    // The whole file is read before the drive is touched.
    hx::ParameterFileContents contents;
    std::string error;
    if (!hx::ReadParameterFile(args[0], &contents, &error)) return ctx.Fail(error, kExitNoAnswer);

    int status = kExitOk;
    hx::DriveIdentity identity;
    CParameter& table = theParameterTable;
    if (!ConnectDrive(ctx, table, &identity, &status)) return status;
    const hx::TransferLink link = LinkFor(ctx, table, identity);
    // As the window does: the table holds the drive's values first, so a
    // register the file lacks is sent back unchanged.
    hx::TransferResult result = WithProgress(ctx, "reading parameters", hx::ReadAll, link);
    if (result.status != hx::TransferStatus::Completed)
        return TransferFailed(ctx, "reading", result, identity.firmwareVersion);
    hx::ApplyToTable(contents, table);

    result = WithProgress(ctx, "writing parameters", hx::WriteAll, link);
    if (result.status != hx::TransferStatus::Completed)
        return TransferFailed(ctx, "writing", result, identity.firmwareVersion);

    CParameter readBack;
    result = WithProgress(ctx, "reading back", hx::ReadAll,
                          hx::TransferLink{link.comm, &readBack, link.station, link.firmwareVersion});
    if (result.status != hx::TransferStatus::Completed)
        return TransferFailed(ctx, "reading back", result, identity.firmwareVersion);

    // Compare the words as they went on the wire.
    int registers = 0, differing = 0;
    for (const hx::TransferBlock& block : hx::WriteAllPlan(identity.firmwareVersion)) {
        for (int k = 0; k < block.count; ++k, ++registers) {
            const auto address = static_cast<uint16_t>(block.address + k);
            const auto sent = static_cast<int16_t>(table.Slot(address) & 0xFFFF);
            const auto held = static_cast<int16_t>(readBack.Slot(address) & 0xFFFF);
            if (sent == held) continue;
            ++differing;
            ctx.Out() << "register " << address << ": wrote " << sent << ", drive holds " << held << '\n';
        }
    }
    if (differing > 0) {
        ctx.Out().flush();
        return ctx.Fail(std::to_string(differing) + " of " + std::to_string(registers) +
                            " registers differ from " + args[0] + " after writing",
                        kExitNoAnswer);
    }
    ctx.Out() << "Wrote " << args[0] << " to the drive: all " << registers << " registers read back the same.\n";
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
    commands.Add(params, "dump", "read all parameters and print ADDRESS=VALUE per slot", Dump);
    commands.Add(params, "save", "store the drive's settings in its non-volatile memory", Save);

    // The options' values live until the command has run, after registration.
    static std::string output, description, model;
    CLI::App* read = commands.Add(params, "read", "read all parameters and save them to a parameter file",
                                  [](const CliContext& ctx) { return Read(ctx, output, description); });
    read->add_option("-o,--output", output, "parameter file to write (FILE.qxr)")->required()->type_name("FILE");
    read->add_option("--description", description, "description stored in the file")->type_name("TEXT");

    commands.AddWithWords(params, "load", "write a parameter file to the drive and check it back",
                          {{"FILE", "parameter file (FILE.qxr)", true}}, Load);

    CLI::App* compare = commands.AddWithWords(
        params, "compare", "list the parameters whose values differ between two files",
        {{"A", "first parameter file", true}, {"B", "second parameter file", true}},
        [](const CliContext& ctx, const std::vector<std::string>& files) { return Compare(ctx, files, model); });
    compare->add_option("--model", model, "drive model whose parameter names are shown")->type_name("MODEL");
}
