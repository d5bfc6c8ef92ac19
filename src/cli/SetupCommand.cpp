// halvex-cli setup: the setup wizard's settings from a terminal, so one
// drive's set-up can be copied to the next.
//
//   setup             print the settings as name=value lines, in the wizard's order
//   setup apply FILE  write the settings FILE names ("-": standard input) in
//                     the wizard's order, store them, read them back

#include "cli/SetupCommand.h"

#include <iostream>
#include <mutex>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/backup/ChangeGate.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/util/BoundedFile.h"
#include "core/wizard/SetupFile.h"
#include "core/wizard/WizardSettingText.h"

namespace {

// The names of the setup file, shown by "halvex-cli setup --help".
const char* const kSetupNames =
    "setup names, in the wizard's order (KRV4 drives; pins up to the drive's count,\n"
    "seven inputs and outputs for variant 1000, else five inputs and two outputs):\n"
    "  alias_source         0 front-panel switch, 1 object dictionary\n"
    "  alias_switch         the front-panel switch's alias (read only, never written)\n"
    "  alias                the object dictionary's alias (written when alias_source is 1)\n"
    "  peak_current_ma  standby_time_ms  standby_current_pct  pulses_per_rev\n"
    "  command_invert       1: command direction inverted\n"
    "  inputN_function  inputN_filter_us  inputN_invert      N = 1..7\n"
    "  outputN_function  outputN_invert                      N = 1..7\n"
    "Function codes: inputs 1 origin, 2 positive limit, 4 negative limit, 8 quick\n"
    "stop, 16 custom, 32 probe 1, 64 probe 2; outputs 0 none, 1 alarm, 2 in\n"
    "position, 4 master-controlled, 8 brake, 16 master output.\n"
    "\"setup apply FILE\" writes the lines of FILE (any subset; - for standard input)\n"
    "in the wizard's order, stores them in the drive (90 <- 1, polled until stored)\n"
    "and reads every written register back.";

}  // namespace

namespace {

constexpr const char* kWizardModel = "KRV4";

// Register 0 must answer and the drive must be the wizard's model; gives its
// variant (and firmware, when asked).
bool Connect(const CliContext& ctx, uint16_t* variant, int* status, float* firmware = nullptr) {
    if (!ctx.OpenLink()) {
        *status = kExitPortError;
        return false;
    }
    const hx::DriveIdentity* known = ctx.Identify(status);
    if (!known) return false;
    const hx::DriveIdentity& identity = *known;
    if (identity.driveModel != kWizardModel) {
        *status = ctx.Fail("the setup wizard is for " + std::string(kWizardModel) + " drives; this drive is \"" +
                               identity.driveModel + "\"",
                           kExitNoAnswer);
        return false;
    }
    *variant = identity.variantCode;
    if (firmware) *firmware = identity.firmwareVersion;
    return true;
}

int Show(const CliContext& ctx) {
    uint16_t variant = 0;
    int status = kExitOk;
    if (!Connect(ctx, &variant, &status)) return status;
    hx::DriveHandle drive = ctx.Drive();
    const hx::wizard::SetupReading reading = hx::wizard::ReadSetup(drive, variant);
    if (!reading.ok) return ctx.NoAnswer("read " + std::to_string(reading.unansweredAddress));
    ctx.Out() << hx::wizard::FormatSetup(reading);
    return kExitOk;
}

// A setup file has some forty short lines; anything near this size is not one.
constexpr std::size_t kMaxSetupFileBytes = 1u << 20;

// Standard input, read once (and no more than a setup file holds): every
// drive of many gets the same settings. False when it is too large.
bool StandardInput(std::string* out) {
    static std::once_flag once;
    static std::string text;
    static bool tooLarge = false;
    std::call_once(once, [] {
        char buffer[4096];
        while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
            text.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
            if (text.size() > kMaxSetupFileBytes) {
                tooLarge = true;
                text.clear();
                return;
            }
        }
    });
    *out = text;
    return !tooLarge;
}

int Apply(const CliContext& ctx, const std::string& pattern) {
    // Each drive of many may get its own file ("axis-{station}.setup").
    const std::string path = ctx.Expand(pattern);
    std::string text;
    if (path == "-") {
        if (!StandardInput(&text))
            return ctx.Fail("standard input: more than 1 MiB, no setup file is that large", kExitNoAnswer);
    } else {
        const hx::FileReadOutcome read = hx::ReadBoundedFile(path, kMaxSetupFileBytes, &text);
        if (!read.ok())
            return ctx.Fail("cannot read " + path + ": " + hx::FileReadFailureText(read, kMaxSetupFileBytes),
                            kExitNoAnswer);
    }
    hx::wizard::SetupValues values;
    std::string error;
    // A bad file is refused before anything is written, as every command
    // refuses a file it cannot use.
    if (!hx::wizard::ParseSetup(text, &values, &error)) return ctx.Fail(path + ": " + error, kExitNoAnswer);

    uint16_t variant = 0;
    int status = kExitOk;
    if (!Connect(ctx, &variant, &status)) return status;
    hx::DriveHandle drive = ctx.Drive();
    hx::ChangeBatch changes(ctx.Gate(), drive, hx::ChangeOrigin::CommandLine, "setup apply " + path);
    const auto report = hx::wizard::ApplySetup(drive, variant, values, {}, {}, &changes, ctx.GateOptions());
    for (const auto& note : report.notes) ctx.Err() << "halvex-cli: note: " << note << "\n";
    if (!report.readOk) return ctx.NoAnswer("read " + std::to_string(report.unansweredAddress));
    if (report.nothingToWrite)
        return ctx.Fail(path + ": no setting in the file applies to this drive; nothing written, nothing stored",
                        kExitNoAnswer);

    using hx::wizard::ApplyOutcome;
    const auto& apply = report.apply;
    switch (apply.outcome) {
    case ApplyOutcome::NotBackedUp:
        return apply.gate.canGoOnWithout() ? ctx.GateFailed(apply.gate) : ctx.NoAnswer("backup read");
    case ApplyOutcome::WriteUnanswered: {
        const auto& w = *apply.unanswered;
        const std::string what = std::string(apply.refused ? "the drive refused " : "no answer writing ") +
                                 hx::wizard::SettingKey(w.setting) + "=" + std::to_string(w.value) +
                                 " (register " + std::to_string(w.address) + ")";
        return ctx.Fail(what + "; " + std::to_string(apply.writesDone) + " of " + std::to_string(report.plan.size()) +
                            " registers written, the rest not written, nothing stored",
                        kExitNoAnswer);
    }
    case ApplyOutcome::StoreUnanswered:
        return ctx.Fail("the store command (90 <- 1) got no answer; the settings are written but not stored",
                        kExitNoAnswer);
    case ApplyOutcome::StoreReplyLost:
        return ctx.Fail("the settings are written; the reply to the store command (90 <- 1) was lost, so the store "
                        "may have been carried out; register 90 reads 0 again after the store time, so the drive is "
                        "not storing now, but whether it stored cannot be told: run \"params save\" to be sure",
                        kExitNoAnswer);
    case ApplyOutcome::StoreDuringRun:
        return ctx.Fail("the settings are written but not stored: a test run is on (register " +
                            std::to_string(apply.store.runningRegister) +
                            " reads running); store them with \"params save\" once it has ended",
                        kExitNoAnswer);
    case ApplyOutcome::StoreNotCleared:
        return ctx.Fail("the drive did not finish storing (register 90 never returned to 0); the settings are "
                        "written but may not be stored",
                        kExitNoAnswer);
    case ApplyOutcome::Stopped:
    case ApplyOutcome::Completed: break;
    }
    for (const auto& m : report.mismatches) {
        const std::string key = hx::wizard::SettingKey(m.write.setting);
        if (m.answered)
            ctx.Err() << "halvex-cli: " << key << " (register " << m.write.address << ") reads " << m.readBack
                      << " after writing " << m.write.value << "\n";
        else
            ctx.Err() << "halvex-cli: no answer reading back " << key << " (register " << m.write.address << ")\n";
    }
    if (!report.mismatches.empty()) return kExitNoAnswer;
    ctx.Out() << "wrote " << report.plan.size() << " registers, stored, read back\n";
    return kExitOk;
}

}  // namespace

int RunSetupCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.empty()) return Show(ctx);
    if (args[0] == "apply") {
        if (args.size() != 2) return ctx.Usage("setup apply needs one FILE");
        return Apply(ctx, args[1]);
    }
    return ctx.Usage("unknown setup command " + args[0]);
}

void AddSetupCommands(CliCommands& commands) {
    CLI::App* setup = commands.AddWithWords(
        "setup", "print the setup wizard's settings as name=value lines; \"setup apply FILE\" writes them",
        {{"apply", "the word apply, to write a file", false}, {"FILE", "setup file to write", false}},
        RunSetupCommand);
    setup->footer(kSetupNames);
    commands.OnEveryDrive(setup);
}
