// halvex-cli params backups|restore|history: the backups the program takes
// before it first changes a drive, and the journal of every change.
//
//   params backups [--drive]          list the backups, newest first
//   params restore FILE|latest        write back only what differs, read it back;
//                                     latest: the backup from before the last
//                                     change that reached the drive
//   params history [-n N]             the changes made to the drive at --port/--station
//
// Each command's work for one drive is a function taking the drive (or its
// port and station), so a command over many stations can call it per drive.

#include "cli/BackupCommands.h"

#include <filesystem>
#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "cli/ParamsCommands.h"
#include "core/Globals.h"
#include "core/backup/ChangeGate.h"
#include "core/backup/Restore.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/params/CParameter.h"
#include "core/util/CommandLine.h"
#include "core/util/TextProgress.h"

namespace {

// "20240501-102203" as "2024-05-01 10:22:03".
std::string ReadableStamp(const std::string& stamp) {
    if (stamp.size() != 15) return stamp;
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(9, 2) + ":" +
           stamp.substr(11, 2) + ":" + stamp.substr(13, 2);
}

std::string Shown(const std::optional<int32_t>& value) { return value ? std::to_string(*value) : "?"; }

}  // namespace

int ListBackups(const CliContext& ctx, const std::string& port, int station) {
    const hx::BackupStore store = ctx.Gate().Store();
    const auto entries = store.List({}, port, station);
    if (entries.empty()) {
        ctx.Out() << "No backups in " << store.Folder() << ".\n";
        return kExitOk;
    }
    ctx.Out() << "time\tmodel\tport\tstation\tfile\n";
    for (const hx::BackupEntry& e : entries)
        ctx.Out() << ReadableStamp(e.stamp) << '\t' << e.model << '\t' << e.port << '\t' << e.station << '\t' << e.path
                  << '\n';
    ctx.Out().flush();
    return kExitOk;
}

int ShowHistory(const CliContext& ctx, const std::string& port, int station, int count) {
    std::string why;
    hx::ChangeJournal* journal = ctx.Gate().Journal(&why);
    if (!journal) return ctx.Fail(why, kExitNoAnswer);
    const auto rows = journal->History(port, station, count);
    if (rows.empty()) {
        ctx.Out() << "No changes of station " << station << " on " << port << " in " << journal->Path() << ".\n";
        return kExitOk;
    }
    ctx.Out() << "id\ttime\torigin\tregister\tname\told\tnew\tstate\n";
    for (const hx::JournalRow& r : rows) {
        const char* state = !r.confirmed ? "unconfirmed" : *r.confirmed ? "confirmed" : "refused";
        ctx.Out() << r.id << '\t' << r.time << '\t' << r.origin << '\t' << r.reg << '\t'
                  << (r.name.empty() ? "-" : r.name) << '\t' << Shown(r.oldValue) << '\t' << r.newValue << '\t'
                  << state << '\n';
    }
    ctx.Out().flush();
    return kExitOk;
}

int RestoreDrive(const CliContext& ctx, hx::DriveHandle drive, const hx::DriveInfo& info, const std::string& which,
                 bool force) {
    const std::string port = drive.comm()->PortName();
    std::string path = which;
    if (which == "latest") {
        // Not simply the newest backup: a restore's own backup (taken of the
        // state it turned away from) or one after which nothing was written
        // would put back what the user wanted gone.
        std::string why;
        const auto last = ctx.Gate().BackupBeforeLastChange(port, drive.station(), &why);
        if (!last) return ctx.Fail("no backup to restore as \"latest\": " + why, kExitNoAnswer);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(last->backup, ec))
            return ctx.Fail("the backup taken before the last change (" + last->what + ", " + last->time + "), " +
                                last->backup + ", is gone",
                            kExitNoAnswer);
        path = last->backup;
        ctx.Out() << "latest: the backup taken before " << (last->what.empty() ? last->origin : last->what) << " ("
                  << last->time << "): " << path << '\n';
    }

    hx::RestorePlan plan;
    std::string error;
    {
        hx::TextProgress progress(ctx.Err(), "reading parameters", hx::TextProgress::StderrIsTerminal());
        if (!hx::PlanRestore(ctx.Gate(), drive, info, path, &plan, &error, {},
                             [&progress](int done, int total) { progress.Update(done, total); }))
            return ctx.Fail(error, kExitNoAnswer);
    }
    // The same checks as a file load: a file of another model or with values
    // out of range goes only when the user insists.
    std::vector<std::string> refusals;
    if (plan.otherModel)
        refusals.push_back(path + " was taken from drive type \"" + plan.fileModel + "\", the drive is \"" +
                           info.productModel + "\"");
    for (const hx::RangeViolation& v : plan.outside)
        refusals.push_back("register " + std::to_string(v.address) + " (" + v.name + "): " + std::to_string(v.value) +
                           " is outside " + v.scope);
    if (!refusals.empty()) {
        for (const std::string& r : refusals) ctx.Fail((force ? "warning: " : "") + r, 0);
        if (!force) return ctx.Fail("nothing was written; use --force to restore it all the same", kExitNoAnswer);
    }
    if (plan.differences.empty()) {
        ctx.Out() << "The drive already holds " << path << ": nothing to write.\n";
        return kExitOk;
    }

    hx::VerifyReport report;
    {
        hx::TextProgress progress(ctx.Err(), "writing", hx::TextProgress::StderrIsTerminal());
        report = hx::ApplyRestore(ctx.Gate(), drive, plan, ctx.GateOptions(), {},
                                  [&progress](int done, int total) { progress.Update(done, total); });
    }
    if (!report.gate.ok()) return ctx.GateFailed(report.gate);
    for (const hx::RegisterDifference& d : report.mismatches)
        ctx.Out() << "register " << d.address << ": wrote " << static_cast<int16_t>(d.wanted) << ", drive holds "
                  << static_cast<int16_t>(d.held) << '\n';
    if (!report.unanswered.empty())
        return ctx.Fail("the drive did not take or give back register " + std::to_string(report.unanswered.front()) +
                            (report.linkText.empty() ? "" : ": " + report.linkText) + "; " +
                            std::to_string(report.written) + " of " + std::to_string(plan.differences.size()) +
                            " settings restored",
                        kExitNoAnswer);
    if (!report.mismatches.empty())
        return ctx.Fail(std::to_string(report.mismatches.size()) + " of " + std::to_string(plan.differences.size()) +
                            " settings read back otherwise after restoring " + path,
                        kExitNoAnswer);
    // What it changed, register by register.
    for (const hx::RegisterDifference& d : plan.differences)
        ctx.Out() << "register " << d.address << (d.name.empty() ? "" : " (" + d.name + ")") << ": "
                  << static_cast<int16_t>(d.held) << " -> " << static_cast<int16_t>(d.wanted) << '\n';
    ctx.Out() << "Restored " << plan.differences.size() << " settings from " << path
              << "; all read back the same.\n";
    ctx.Out().flush();
    return kExitOk;
}

namespace {

int Restore(const CliContext& ctx, const std::string& which, bool force) {
    // A file is read whole before the drive is touched, as params load does
    // (and a name the system cannot even look up is said so, not thrown).
    if (which != "latest") {
        hx::ParameterFileContents contents;
        std::string error;
        if (!hx::ReadParameterFile(which, &contents, &error)) return ctx.Fail(error, kExitNoAnswer);
        if (contents.values.empty()) return ctx.Fail(hx::NoParametersText(which, contents), kExitNoAnswer);
    }
    int status = kExitOk;
    hx::DriveIdentity identity;
    CParameter table;
    if (!ConnectDrive(ctx, table, &identity, &status)) return status;
    const std::string display = hx::LookupDisplayModelFor(identity.productModel);
    const hx::DriveInfo info{identity.productModel, identity.softVersionText, identity.driveModel,
                             display.empty() ? identity.productModel : display, identity.firmwareVersion};
    return RestoreDrive(ctx, ctx.Drive(identity.firmwareVersion), info, which, force);
}

}  // namespace

void AddBackupCommands(CliCommands& commands) {
    CLI::App* params = commands.App().get_subcommand("params");

    static bool thisDrive = false;
    CLI::App* backups = commands.Add(*params, "backups", "list the backups taken before changes, newest first",
                                     [](const CliContext& ctx) {
                                         return thisDrive ? ListBackups(ctx, ctx.Options().port, ctx.Station())
                                                          : ListBackups(ctx, {}, -1);
                                     });
    backups->add_flag("--drive", thisDrive, "only the backups of the drive at --port/--station");
    commands.OnEveryDrive(backups);

    static bool force = false;
    CLI::App* restore = commands.AddWithWords(
        *params, "restore", "write a backup back to the drive: only what differs, then read it back",
        {{"FILE",
          "a backup or parameter file, or \"latest\": the backup taken before the last change\n"
          "that reached the drive (a restore's or undo's own backup, and one after which\n"
          "nothing was written, are never latest)",
          true}},
        [](const CliContext& ctx, const std::vector<std::string>& words) { return Restore(ctx, words[0], force); });
    restore->add_flag("--force", force,
                      "restore a file with values outside their ranges or taken from another drive type");
    commands.OnEveryDrive(restore);

    static int count = 20;
    CLI::App* history = commands.Add(*params, "history", "the changes made to the drive at --port/--station, newest first",
                                     [](const CliContext& ctx) {
                                         return ShowHistory(ctx, ctx.Options().port, ctx.Station(), count);
                                     });
    hx::cmdline::AddNumberOption(*history, "-n", count, 0, 1000000, "how many changes to show (default 20; 0 for all)");
}
