#include "cli/AlarmCommands.h"

#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/alarms/AlarmCatalogue.h"
#include "core/alarms/AlarmReads.h"
#include "core/alarms/AlarmSequences.h"
#include "core/writes/DetectionMaskWrite.h"
#include "core/alarms/AlarmText.h"
#include "core/alarms/FaultDetections.h"
#include "core/db/CADO.h"
#include "core/protocol/Registers.h"
#include "core/settings/EnvSettings.h"

const char* const kAlarmsUsage =
    "usage: halvex-cli alarms [-v] [--lang zh|en]   the current alarm and the nine history entries\n"
    "       halvex-cli alarms clear                  clear the current fault (once its cause is gone)\n"
    "       halvex-cli alarms clear-history          clear the alarm history\n"
    "       halvex-cli alarms mask [VALUE]           read or write the fault-detection mask\n"
    "  -v         also print the possible causes and remedies of each alarm\n"
    "  --lang     language of the alarm texts (default: the settings file's)\n";

namespace {

std::string Hex4(unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%04X", value & 0xFFFFu);
    return buffer;
}

struct AlarmPrinter {
    explicit AlarmPrinter(const CliContext& c) : ctx(c) {}
    const CliContext& ctx;
    CADO db;
    bool haveDb = false;
    bool english = false;
    bool verbose = false;

    // "Err0009  Position following error too large" (several names: one line each).
    void PrintAlarm(const std::string& prefix, int code) {
        std::ostream& out = ctx.Out();
        if (code <= 0) {
            out << prefix << (english ? "no alarm" : "没有报警") << '\n';
            return;
        }
        const std::string number = hx::AlarmNumberText(code);
        std::vector<std::string> names;
        if (haveDb) {
            try {
                names = hx::LookupAlarmNames(db, number, english);
            } catch (const DbError& e) {
                ctx.Err() << "halvex-cli: alarm texts cannot be read: " << e.Description() << '\n';
            }
        }
        if (names.empty()) names.push_back(haveDb ? (english ? "(unknown alarm)" : "(未知报警)") : "");
        for (const auto& name : names) out << prefix << number << "  " << name << '\n';
        if (!verbose || !haveDb) return;
        try {
            const auto causes = hx::LookupAlarmCauses(db, number, english);
            hx::CauseTextLabels labels = hx::HistoryLabels();
            if (english) labels = {"----------------Possibility ", "Cause: ", "Remedy: ", false};
            std::istringstream text(hx::BuildCauseText(causes, labels));
            for (std::string line; std::getline(text, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                out << "      " << line << '\n';
            }
        } catch (const DbError& e) {
            ctx.Err() << "halvex-cli: alarm texts cannot be read: " << e.Description() << '\n';
        }
    }
};

int ShowAlarms(const CliContext& ctx, bool verbose, bool english) {
    if (!ctx.OpenLink(CliContext::LinkUse::ReadOnly)) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();
    AlarmPrinter printer(ctx);
    printer.english = english;
    printer.verbose = verbose;
    printer.haveDb = printer.db.OpenConnection(DatabaseConnectionString());
    if (!printer.haveDb) ctx.Err() << "halvex-cli: no alarm texts: " << printer.db.LastError() << '\n';

    bool allAnswered = true;
    const auto current = hx::ReadAlarmRegister(drive, hx::reg::kCurrentAlarm);
    if (!current) {
        ctx.Out() << "current: no answer\n";
        allAnswered = false;
    } else {
        printer.PrintAlarm("current: ", *current);
    }
    for (int i = 0; i < hx::reg::kAlarmHistoryEntries; ++i) {
        const auto address = static_cast<uint16_t>(hx::reg::kAlarmHistoryFirst + i);
        const std::string prefix = std::to_string(i) + " (" + std::to_string(address) + "): ";
        const auto code = hx::ReadAlarmRegister(drive, address);
        if (!code) {
            ctx.Out() << prefix << "no answer\n";
            allAnswered = false;
            continue;
        }
        printer.PrintAlarm(prefix, *code);
    }
    if (!allAnswered) return ctx.NoAnswer("alarm registers");
    return kExitOk;
}

int ClearCurrent(const CliContext& ctx) {
    if (!ctx.OpenLink()) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();
    const hx::ClearResult result = hx::ClearCurrentFault(drive);
    if (result.outcome == hx::ClearOutcome::NotAnswered) return ctx.NoAnswer("write 93");
    const auto current = hx::ReadAlarmRegister(drive, hx::reg::kCurrentAlarm);
    if (!current) return ctx.NoAnswer("read 139");
    if (*current > 0)
        return ctx.Fail("the drive still reports " + hx::AlarmNumberText(*current) + ": its cause is not gone",
                        kExitNoAnswer);
    ctx.Out() << "current fault cleared\n";
    return kExitOk;
}

int ClearHistory(const CliContext& ctx) {
    if (!ctx.OpenLink()) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();
    const hx::ClearResult result = hx::ClearAlarmHistory(drive);
    switch (result.outcome) {
    case hx::ClearOutcome::Cleared:
        ctx.Out() << "alarm history cleared\n";
        return kExitOk;
    case hx::ClearOutcome::NotAnswered: return ctx.NoAnswer("write 93");
    default:
        return ctx.Fail("the drive did not clear its alarm history: register 93 still reads " +
                            (result.lastReading == -1 ? std::string("nothing (no answer)")
                                                      : std::to_string(result.lastReading)) +
                            " after " + std::to_string(result.polls) + " polls",
                        kExitNoAnswer);
    }
}

void PrintMask(const CliContext& ctx, uint16_t mask, bool english) {
    ctx.Out() << "mask=" << Hex4(mask) << '\n';
    const hx::FaultDetection* detections = hx::FaultDetections();
    for (int n = 0; n < hx::kDetectionBits; ++n) {
        ctx.Out() << (n < 10 ? " " : "") << n << ' ' << (hx::MaskBit(mask, n) ? "on " : "off") << ' '
                  << (english ? detections[n].english : detections[n].caption) << '\n';
    }
}

int Mask(const CliContext& ctx, const std::vector<std::string>& values, bool english) {
    std::optional<uint16_t> wanted;
    if (!values.empty()) {
        if (values.size() > 1) return ctx.Usage("alarms mask takes at most one VALUE");
        auto n = CliContext::ParseNumber(values[0]);
        if (!n || *n < 0 || *n > 0xFFFF) return ctx.Usage("bad mask (0..65535 or 0x0000..0xFFFF): " + values[0]);
        wanted = static_cast<uint16_t>(*n);
    }
    if (!ctx.OpenLink()) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();
    if (!wanted) {
        const auto mask = hx::ReadDetectionMask(drive);
        if (!mask) return ctx.NoAnswer("read 56");
        PrintMask(ctx, *mask, english);
        return kExitOk;
    }
    const hx::MaskWriteResult result = hx::WriteDetectionMask(ctx.Gate(), drive, *wanted, ctx.GateOptions());
    switch (result.outcome) {
    case hx::MaskWriteOutcome::NotBackedUp:
        return result.gate.canGoOnWithout() ? ctx.GateFailed(result.gate) : ctx.NoAnswer("backup read");
    case hx::MaskWriteOutcome::Taken: PrintMask(ctx, result.readBack, english); return kExitOk;
    case hx::MaskWriteOutcome::NotAnswered: return ctx.NoAnswer("write 56");
    case hx::MaskWriteOutcome::ReadBackFailed: return ctx.NoAnswer("read back 56");
    case hx::MaskWriteOutcome::NotTaken:
        return ctx.Fail("the drive did not take the mask: wrote " + Hex4(*wanted) + ", reads back " +
                            Hex4(result.readBack),
                        kExitNoAnswer);
    }
    return kExitNoAnswer;
}

}  // namespace

int RunAlarmsCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    bool verbose = false;
    bool english = hx::env::ReadInt(hx::env::kLanguage, "Type", "4") == 9;
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-v" || a == "--verbose") {
            verbose = true;
        } else if (a == "--lang" || a.rfind("--lang=", 0) == 0) {
            std::string value;
            if (a == "--lang") {
                if (i + 1 >= args.size()) return ctx.Usage("--lang needs zh or en");
                value = args[++i];
            } else {
                value = a.substr(7);
            }
            if (value == "en") english = true;
            else if (value == "zh") english = false;
            else return ctx.Usage("--lang takes zh or en, not " + value);
        } else if (a == "-h" || a == "--help") {
            ctx.Out() << kAlarmsUsage;
            return kExitOk;
        } else {
            words.push_back(a);
        }
    }
    if (words.empty()) return ShowAlarms(ctx, verbose, english);
    const std::string sub = words.front();
    const std::vector<std::string> rest(words.begin() + 1, words.end());
    if (sub == "clear") {
        if (!rest.empty()) return ctx.Usage("alarms clear takes no arguments");
        return ClearCurrent(ctx);
    }
    if (sub == "clear-history") {
        if (!rest.empty()) return ctx.Usage("alarms clear-history takes no arguments");
        return ClearHistory(ctx);
    }
    if (sub == "mask") return Mask(ctx, rest, english);
    return ctx.Usage("unknown alarms command " + sub);
}

void AddAlarmCommands(CliCommands& commands) {
    auto verbose = std::make_shared<bool>(false);
    auto lang = std::make_shared<std::string>();
    CLI::App* alarms = commands.AddWithWords(
        "alarms",
        "the current alarm and the nine history entries; alarms clear (the current fault),\n"
        "alarms clear-history, alarms mask [VALUE] (the fault-detection mask)",
        {{"WHAT", "clear, clear-history or mask (none: show the alarms)", false},
         {"VALUE", "the mask to write", false}},
        [verbose, lang](const CliContext& ctx, const std::vector<std::string>& words) {
            std::vector<std::string> args = words;
            if (*verbose) args.push_back("-v");
            if (!lang->empty()) {
                args.push_back("--lang");
                args.push_back(*lang);
            }
            return RunAlarmsCommand(ctx, args);
        });
    commands.OnEveryDrive(alarms);
    alarms->add_flag("-v,--verbose", *verbose, "also print the possible causes and remedies");
    alarms->add_option("--lang", *lang, "zh or en: the language of the alarm texts")->type_name("zh|en");
}
