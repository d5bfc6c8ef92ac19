#include "cli/LinkCommands.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliContext.h"
#include "core/Globals.h"
#include "core/backup/ChangeGate.h"
#include "core/db/CADO.h"
#include "core/db/ModelMapping.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveIdentity.h"
#include "core/settings/EnvSettings.h"

namespace {

constexpr int kLastSearchStation = 63;

}  // namespace

int RunFindCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.size() > 2) return ctx.Usage("find takes at most FIRST and LAST");
    long first = 0, last = kLastSearchStation;
    if (!args.empty()) {
        auto n = CliContext::ParseNumber(args[0]);
        if (!n || *n < 0 || *n > 247) return ctx.Usage("bad first station: " + args[0]);
        first = *n;
        last = std::max(first, last);
    }
    if (args.size() == 2) {
        auto n = CliContext::ParseNumber(args[1]);
        if (!n || *n < first || *n > 247) return ctx.Usage("bad last station: " + args[1]);
        last = *n;
    }
    if (!ctx.OpenLink(CliContext::LinkUse::ReadOnly)) return kExitPortError;
    int found = 0;
    // Station 0 is the broadcast address; FindDrive knows nobody answers it.
    for (long s = first; s <= last; ++s) {
        if (ctx.Drive().atStation(static_cast<uint8_t>(s)).Present()) {
            ctx.Out() << s << '\n';
            ctx.Out().flush();
            ++found;
        }
    }
    if (found == 0)
        return ctx.Fail("no drive answers on stations " + std::to_string(first) + ".." + std::to_string(last),
                        kExitNoAnswer);
    return kExitOk;
}

int RunReadCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2) return ctx.Usage("usage: read ADDR [COUNT]");
    auto address = CliContext::ParseAddress(args[0]);
    if (!address) return ctx.Usage("bad register address: " + args[0]);
    long count = 1;
    if (args.size() == 2) {
        auto n = CliContext::ParseNumber(args[1]);
        if (!n || *n < 1 || *address + *n > 0x10000) return ctx.Usage("bad register count: " + args[1]);
        count = *n;
    }
    if (ctx.Station() == 0)
        return ctx.Fail("station 0 is the broadcast address: no drive answers a read; give --station", kExitUsage);
    if (!ctx.OpenLink(CliContext::LinkUse::ReadOnly)) return kExitPortError;
    hx::DriveHandle drive = ctx.Drive();

    // The values are printed once the last answer is known to be no copy
    // of another reply (a line that repeats frames), or not at all.
    std::string lines;
    uint32_t next = *address;
    const uint32_t end = *address + static_cast<uint32_t>(count);
    while (next < end) {
        const auto n = static_cast<uint16_t>(std::min<uint32_t>(end - next, CQXCOM::kMaxReadCount));
        const auto words = drive.ReadWords(static_cast<uint16_t>(next), n);
        if (!words) {
            const std::string what = n == 1 ? std::to_string(next) : std::to_string(next) + ".." + std::to_string(next + n - 1);
            return ctx.NoAnswer("read " + what);
        }
        for (uint16_t i = 0; i < n; ++i)
            lines += std::to_string(next + i) + '=' + std::to_string(static_cast<int16_t>((*words)[i])) + '\n';
        next += n;
    }
    if (!drive.Settle()) return ctx.NoAnswer("read " + std::to_string(*address));
    ctx.Out() << lines;
    return kExitOk;
}

int RunWriteCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (args.size() != 2) return ctx.Usage("usage: write ADDR VALUE");
    auto address = CliContext::ParseAddress(args[0]);
    if (!address) return ctx.Usage("bad register address: " + args[0]);
    auto value = CliContext::ParseNumber(args[1]);
    // Signed or unsigned 16-bit: 65535 and -1 are the same word.
    if (!value || *value < -32768 || *value > 65535) return ctx.Usage("bad register value: " + args[1]);
    if (ctx.Station() == 0 && !ctx.Options().noBackup)
        return ctx.Fail("station 0 is the broadcast address: every drive on the line takes the write and none "
                        "answers, so none can be backed up first; add --no-backup to send it all the same",
                        kExitUsage);
    if (!ctx.OpenLink()) return kExitPortError;
    const auto word = static_cast<int16_t>(static_cast<uint16_t>(*value & 0xFFFF));
    hx::DriveHandle drive = ctx.Drive();
    if (ctx.Station() == 0) {
        const bool answered = drive.Write(*address, static_cast<uint16_t>(word)).has_value();
        // Nobody answers a broadcast: it went out, whether any drive took it is unknown.
        ctx.Out() << "broadcast: sent " << *address << '=' << word << " to every drive on the line; no drive answers a "
                     "broadcast, so whether it was carried out is unknown\n";
        return answered ? kExitOk : ctx.NoAnswer("broadcast write " + std::to_string(*address));
    }
    // Before the write: the backup of the drive (a whole read the first time),
    // and the write on record.
    hx::ChangeBatch changes(ctx.Drive(g_firmwareVersion), hx::ChangeOrigin::CommandLine,
                            "write " + std::to_string(*address) + "=" + std::to_string(word));
    const hx::GateResult gate = changes.Prepare({}, {}, ctx.GateOptions());
    if (!gate.ok()) return gate.canGoOnWithout() ? ctx.GateFailed(gate) : ctx.NoAnswer("backup read");
    hx::ChangeBatch::Pending pending;
    const auto sent = static_cast<uint16_t>(word);
    if (!changes.Journal(*address, &sent, 1, &pending)) return ctx.Fail(changes.Error(), kExitNoAnswer);
    const auto written = drive.Write(*address, sent);
    const bool answered = written.has_value();
    const hx::DriveFault failure = written.fault;
    // What the drive holds now is the answer that counts, whatever became of
    // the write's own reply.
    const std::optional<int16_t> readBack = drive.Read(*address);
    const int held = readBack.value_or(-1);
    if (readBack) changes.Confirm(pending, *readBack == word);
    else if (failure.kind == hx::DriveFaultKind::Refused) changes.Confirm(pending, false);
    if (!answered) {
        std::string text = "station " + std::to_string(ctx.Station()) + ": write " + std::to_string(*address) +
                           " failed: " + failure.text;
        if (readBack)
            text += "; the drive holds " + std::to_string(held) + (held == word ? " (the value written)" : "");
        else if (failure.mayHaveApplied)
            text += "; reading it back failed too, so whether the drive holds it is unknown";
        return ctx.Fail(text, kExitNoAnswer);
    }
    if (!readBack) return ctx.NoAnswer("reading back " + std::to_string(*address) + " after writing it");
    ctx.Out() << *address << '=' << held << '\n';
    if (held != word)
        return ctx.Fail("register " + std::to_string(*address) + ": wrote " + std::to_string(word) +
                            ", the drive holds " + std::to_string(held),
                        kExitNoAnswer);
    return kExitOk;
}

int RunIdentityCommand(const CliContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) return ctx.Usage("identity takes no arguments");
    if (ctx.Station() == 0)
        return ctx.Fail("station 0 is the broadcast address: no drive answers it; give --station", kExitUsage);
    if (!ctx.OpenLink(CliContext::LinkUse::ReadOnly)) return kExitPortError;
    // As the connection does: a drive must answer register 0 first.
    int status = kExitOk;
    const hx::DriveIdentity* identity = ctx.Identify(&status);
    if (!identity) return status;
    const hx::DriveIdentity& id = *identity;

    std::string displayModel;
    const bool qxModel = hx::env::Read(hx::env::kQxModel, "Yes", "0") == "1";
    try {
        CADO db;
        if (!db.OpenConnection(DatabaseConnectionString())) {
            ctx.Fail("Connect database fault! " + db.LastError(), 0);
        } else if (auto model = hx::LookupDisplayModel(db, id.productModel, qxModel)) {
            displayModel = *model;
        } else {
            ctx.Fail("Model not supported for this product!", 0);
        }
    } catch (const DbError& e) {
        ctx.Fail(std::string("database error: ") + e.Description(), 0);
    }

    char firmware[32];
    std::snprintf(firmware, sizeof firmware, "%.1f", static_cast<double>(id.firmwareVersion));
    ctx.Out() << "software version: " << id.softVersionText << '\n'
              << "firmware version: " << firmware << '\n'
              << "variant code: " << id.variantCode << '\n'
              << "product model: " << id.productModel << '\n'
              << "drive model: " << id.driveModel << '\n'
              << "display model: " << displayModel << '\n';
    return kExitOk;
}

void AddLinkCommands(CliCommands& commands) {
    commands.AddWithWords("find", "print each station where a drive answers",
                          {{"FIRST", "first station to try (default 0)", false},
                           {"LAST", "last station to try (default 63, or FIRST when above)", false}},
                          RunFindCommand);
    commands.AddWithWords("read", "print ADDR=VALUE for COUNT registers",
                          {{"ADDR", "register address 0..65535", true},
                           {"COUNT", "number of registers (default 1)", false}},
                          RunReadCommand);
    commands.AddWithWords("write", "write one register and print what the drive answers",
                          {{"ADDR", "register address 0..65535", true},
                           {"VALUE", "-32768..65535 (65535 and -1 are the same word)", true}},
                          RunWriteCommand);
    commands.OnEveryDrive(commands.AddWithWords("identity", "print the drive's versions, models and display model",
                                                {}, RunIdentityCommand));
}
