#include "core/backup/Restore.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/db/CADO.h"
#include "core/link/CQXCOM.h"
#include "core/params/ReadAllJob.h"
#include "core/params/TransferPlan.h"
#include "core/protocol/Registers.h"
#include "core/settings/AppPaths.h"
#include "core/util/Text.h"

namespace hx {
namespace {

uint16_t Word(const CParameter& table, uint16_t address) { return static_cast<uint16_t>(table.Slot(address) & 0xFFFF); }

// Consecutive registers, at most kWriteBlockRegisters a run.
std::vector<std::vector<std::pair<uint16_t, uint16_t>>> Runs(std::vector<std::pair<uint16_t, uint16_t>> words) {
    std::sort(words.begin(), words.end());
    std::vector<std::vector<std::pair<uint16_t, uint16_t>>> runs;
    for (const auto& w : words) {
        if (runs.empty() || runs.back().back().first + 1 != w.first ||
            static_cast<int>(runs.back().size()) >= kWriteBlockRegisters)
            runs.emplace_back();
        if (!runs.back().empty() && runs.back().back().first == w.first) continue;  // once per register
        runs.back().push_back(w);
    }
    return runs;
}

}  // namespace

bool PlanRestore(DriveHandle drive, const DriveInfo& info, const std::string& path, RestorePlan* plan,
                 std::string* error, std::stop_token stop, const ProgressCallback& progress) {
    *plan = RestorePlan{};
    plan->path = path;
    std::vector<ParameterDefinition> definitions;
    CParameter table;
    try {
        definitions = LoadDefinitions(DatabasePath(), info.driveModel);
        RegisterTypes(definitions, table);
    } catch (const DbError&) {
        // Without definitions the values are words, as the backup wrote them.
    }
    if (!ReadParameterFile(path, &plan->contents, error, &table)) return false;
    if (plan->contents.values.empty()) {
        if (error) *error = "\"" + path + "\": " + LoadSummaryText(plan->contents);
        return false;
    }
    plan->otherModel = FromAnotherModel(plan->contents, info.productModel);
    plan->fileModel = Trim(plan->contents.HeaderValue(1));
    plan->outside = ValuesOutsideRange(definitions, plan->contents);

    const TransferResult read = ReadAll(drive, table, stop, progress);
    if (read.status != TransferStatus::Completed) {
        if (error) *error = read.status == TransferStatus::Stopped ? std::string("stopped")
                                                                   : (read.linkText.empty() ? read.errorText : read.linkText);
        return false;
    }
    CParameter wanted = table;
    ApplyToTable(plan->contents, wanted);
    // Only what a whole-table write may carry: never a command, status or identity.
    std::vector<bool> carried(CParameter::kSlots, false);
    for (const TransferBlock& block : WriteAllPlan(drive.firmwareVersion()))
        for (int k = 0; k < block.count; ++k) {
            const auto a = static_cast<uint16_t>(block.address + k);
            carried[StoreIndex(a)] = true;
            if (Word(table, a) != Word(wanted, a)) plan->differences.push_back({a, Word(table, a), Word(wanted, a)});
        }
    // A value the restore never sends (the high range of a drive before
    // firmware 200, which a backup holds as zeros) is no reason to refuse it.
    std::erase_if(plan->outside, [&](const RangeViolation& v) {
        const int slot = StoreIndex(v.address);
        return slot < 0 || !carried[slot];
    });
    return true;
}

VerifyReport WriteAndVerify(ChangeBatch& changes, const std::vector<std::pair<uint16_t, uint16_t>>& words,
                            bool countBlocks, std::stop_token stop, const ProgressCallback& progress) {
    VerifyReport report;
    const auto runs = Runs(words);
    const int total = static_cast<int>(runs.size());
    if (countBlocks) changes.BeginBlocks(total);
    DriveHandle& drive = changes.drive();
    int done = 0;
    for (const auto& run : runs) {
        if (stop.stop_requested()) {
            report.stopped = true;
            break;
        }
        std::vector<uint16_t> out;
        for (const auto& w : run) out.push_back(w.second);
        const auto first = run.front().first;
        const auto count = static_cast<uint16_t>(out.size());
        ChangeBatch::Pending pending;
        if (!changes.Journal(first, out.data(), count, &pending)) {
            report.gate.status = GateResult::Status::JournalFailed;
            report.gate.message = changes.Error();
            break;
        }
        const bool sent = count == 1 ? drive.Write(first, out[0]).has_value() : drive.WriteWords(first, out.data(), count).ok();
        std::vector<uint16_t> back(count);
        // Read back whatever became of the write: the drive's word is what counts.
        const auto read = drive.ReadWords(first, count, back.data());
        if (!read) {
            // Without a read-back the write's own answer is all there is.
            if (sent) changes.Confirm(pending, true);
            report.unanswered.push_back(first);
            if (report.linkText.empty()) report.linkText = read.fault.text;
        } else {
            std::vector<bool> held;
            for (std::size_t i = 0; i < pending.regs.size(); ++i)
                held.push_back(back[pending.regs[i] - first] == pending.words[i]);
            changes.Confirm(pending, held);
            for (uint16_t k = 0; k < count; ++k) {
                if (back[k] == out[k])
                    ++report.written;
                else
                    report.mismatches.push_back({static_cast<uint16_t>(first + k), back[k], out[k]});
            }
        }
        ++done;
        if (countBlocks) changes.BlockDone(done);
        if (progress) progress(done, total);
    }
    if (countBlocks) changes.EndBlocks(report.Succeeded());
    return report;
}

VerifyReport ApplyRestore(DriveHandle drive, const RestorePlan& plan, PrepareOptions options, std::stop_token stop,
                          const ProgressCallback& progress, ChangeGate* gate) {
    ChangeBatch changes(drive, ChangeOrigin::Restore,
                        "restore " + std::filesystem::path(plan.path).filename().string(), gate);
    VerifyReport report;
    report.gate = changes.Prepare(stop, {}, options);
    if (!report.gate.ok()) return report;
    std::vector<std::pair<uint16_t, uint16_t>> words;
    for (const RegisterDifference& d : plan.differences) words.emplace_back(d.address, d.wanted);
    return WriteAndVerify(changes, words, true, stop, progress);
}

bool CanUndo(const JournalRow& row) { return row.oldValue.has_value() && IsSettingRegister(row.reg); }

std::vector<JournalRow> UndoGroup(const ChangeJournal& journal, const JournalRow& row) {
    std::vector<JournalRow> group{row};
    if (row.name.empty()) return group;
    for (const JournalRow& other : journal.ActionChanges(row.action))
        if (other.id != row.id && other.name == row.name && (other.reg + 1 == row.reg || row.reg + 1 == other.reg))
            group.push_back(other);
    return group;
}

VerifyReport UndoChanges(DriveHandle drive, const std::vector<JournalRow>& rows, PrepareOptions options,
                         std::stop_token stop, ChangeGate* gate) {
    ChangeBatch changes(drive, ChangeOrigin::Undo, "undo", gate);
    VerifyReport report;
    report.gate = changes.Prepare(stop, {}, options);
    if (!report.gate.ok()) return report;
    // Several changes of one register go back to the value before the oldest.
    std::vector<JournalRow> oldestFirst = rows;
    std::sort(oldestFirst.begin(), oldestFirst.end(), [](const JournalRow& a, const JournalRow& b) { return a.id < b.id; });
    std::map<uint16_t, uint16_t> before;
    for (const JournalRow& r : oldestFirst)
        if (CanUndo(r)) before.emplace(r.reg, static_cast<uint16_t>(*r.oldValue & 0xFFFF));
    return WriteAndVerify(changes, {before.begin(), before.end()}, false, stop, {});
}

}  // namespace hx
