#include "core/writes/DriveLoad.h"

#include "core/params/CParameter.h"
#include "core/params/ReadAllJob.h"
#include "core/params/TransferPlan.h"
#include "core/writes/WriteAllJob.h"

namespace hx {
namespace {

// The word as it went on the wire.
int16_t Word(const CParameter& table, uint16_t address) { return static_cast<int16_t>(table.Slot(address) & 0xFFFF); }

}  // namespace

DriveLoadReport WriteFileToDrive(DriveHandle drive, CParameter& table, const ParameterFileContents& contents,
                                 std::stop_token stop, const DriveLoadProgress& progress, ChangeBatch* changes,
                                 PrepareOptions options) {
    const auto step = [&progress](DriveLoadReport::Step s) -> ProgressCallback {
        if (!progress) return {};
        return [&progress, s](int done, int total) { progress(s, done, total); };
    };
    DriveLoadReport report;
    const std::vector<TransferBlock> plan = WriteAllPlan(drive.firmwareVersion());
    report.blocksTotal = static_cast<int>(plan.size());

    report.failure = ReadAll(drive, table, stop, step(DriveLoadReport::Step::Read));
    if (report.failure.status != TransferStatus::Completed) {
        report.stoppedAt = DriveLoadReport::Step::Read;
        return report;
    }
    if (changes) {
        // The read just made is this session's backup when none exists yet.
        changes->gate().NoteCompleteRead(drive, table);
        report.gate = changes->Prepare(stop, {}, options);
        if (!report.gate.ok()) {
            report.stoppedAt = DriveLoadReport::Step::Backup;
            report.failure = GateFailure(report.gate);
            return report;
        }
    }
    ApplyToTable(contents, table);

    // Until the read-back has checked it, the write is not over: one killed
    // meanwhile is told at the next connect as written, not verified.
    if (changes) changes->ReadBackFollows();
    const TransferResult written = WriteAll(drive, table, stop, step(DriveLoadReport::Step::Write), changes);
    CParameter held;
    if (written.status != TransferStatus::Completed) {
        report.stoppedAt = DriveLoadReport::Step::Write;
        report.failure = written;
        if (ReadAll(drive, held, stop).status == TransferStatus::Completed) {
            report.blocksHolding = 0;
            for (const TransferBlock& block : plan) {
                bool same = true;
                for (int k = 0; k < block.count && same; ++k) {
                    const auto a = static_cast<uint16_t>(block.address + k);
                    same = Word(table, a) == Word(held, a);
                }
                if (same) ++report.blocksHolding;
            }
        }
        return report;
    }

    report.failure = ReadAll(drive, held, stop, step(DriveLoadReport::Step::ReadBack));
    if (changes) changes->ReadBackDone(report.failure.status == TransferStatus::Completed);
    if (report.failure.status != TransferStatus::Completed) {
        report.stoppedAt = DriveLoadReport::Step::ReadBack;
        return report;
    }
    for (const TransferBlock& block : plan) {
        for (int k = 0; k < block.count; ++k, ++report.registers) {
            const auto a = static_cast<uint16_t>(block.address + k);
            if (Word(table, a) != Word(held, a)) report.differences.push_back({a, Word(table, a), Word(held, a)});
        }
    }
    return report;
}

}  // namespace hx
