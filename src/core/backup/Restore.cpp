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

// What the scope and the run test set before a capture: the interval, the
// channels' sources and the points. Inside the parameter ranges and carried
// by a whole-table write, but no setting of the drive: a restore leaves them
// as the last capture set them.
constexpr uint16_t kCaptureSetup[] = {reg::kSampleInterval, reg::kSampleChannel1, reg::kSampleChannel2,
                                      reg::kSampleChannel3, reg::kSampleChannel4, reg::kSamplePoints};

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

bool PlanRestore(ChangeGate& gate, DriveHandle drive, const DriveInfo& info, const std::string& path, RestorePlan* plan,
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
    std::map<uint16_t, std::string> names;
    for (const ParameterDefinition& d : definitions) {
        names[d.address] = d.name;
        // The high half of a 32-bit parameter is named by it.
        if (Trim(d.dataType) == "INT" && d.address > 0) names.emplace(static_cast<uint16_t>(d.address - 1), d.name);
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
    gate.NoteCompleteRead(drive, table);
    CParameter wanted = table;
    ApplyToTable(plan->contents, wanted);
    // Only what a whole-table write may carry: never a command, status or identity.
    std::vector<bool> carried(CParameter::kSlots, false);
    for (const TransferBlock& block : WriteAllPlan(drive.firmwareVersion()))
        for (int k = 0; k < block.count; ++k) {
            const auto a = static_cast<uint16_t>(block.address + k);
            if (std::ranges::count(kCaptureSetup, a) > 0) continue;
            carried[StoreIndex(a)] = true;
            if (Word(table, a) == Word(wanted, a)) continue;
            const auto name = names.find(a);
            plan->differences.push_back(
                {a, Word(table, a), Word(wanted, a), name == names.end() ? std::string() : name->second});
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
    // Every change on record before the first goes out: one flush to disk.
    std::vector<ChangeBatch::Run> records;
    for (const auto& run : runs) {
        ChangeBatch::Run r{run.front().first, {}};
        for (const auto& w : run) r.words.push_back(w.second);
        records.push_back(std::move(r));
    }
    std::vector<ChangeBatch::Pending> pendings;
    if (!changes.Journal(records, &pendings)) {
        report.gate.status = GateResult::Status::JournalFailed;
        report.gate.message = changes.Error();
        if (countBlocks) changes.EndBlocks(false);
        return report;
    }
    int done = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const auto& run = runs[r];
        if (stop.stop_requested()) {
            report.stopped = true;
            // Never sent: what is on record of them did not reach the drive.
            for (std::size_t rest = r; rest < runs.size(); ++rest) changes.Confirm(pendings[rest], false);
            break;
        }
        const std::vector<uint16_t>& out = records[r].words;
        const auto first = run.front().first;
        const auto count = static_cast<uint16_t>(out.size());
        const ChangeBatch::Pending& pending = pendings[r];
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
                    report.mismatches.push_back({static_cast<uint16_t>(first + k), back[k], out[k], {}});
            }
        }
        ++done;
        if (countBlocks) changes.BlockDone(done);
        if (progress) progress(done, total);
    }
    if (countBlocks) changes.EndBlocks(report.Succeeded());
    return report;
}

VerifyReport ApplyRestore(ChangeGate& gate, DriveHandle drive, const RestorePlan& plan, PrepareOptions options,
                          std::stop_token stop, const ProgressCallback& progress) {
    ChangeBatch changes(gate, drive, ChangeOrigin::Restore,
                        "restore " + std::filesystem::path(plan.path).filename().string());
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

VerifyReport UndoChanges(ChangeGate& gate, DriveHandle drive, const std::vector<JournalRow>& rows,
                         PrepareOptions options, std::stop_token stop) {
    ChangeBatch changes(gate, drive, ChangeOrigin::Undo, "undo");
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
