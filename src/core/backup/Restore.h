#pragma once
// Putting earlier values back: a backup (or any parameter file) restored
// onto the drive, or journaled changes undone. Both write only what differs
// from what the drive holds, through the change gate (so they are backed up
// and journaled like any change), and read every written register back.

#include <cstdint>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "core/backup/ChangeGate.h"
#include "core/params/CParameter.h"
#include "core/params/ParameterChecks.h"
#include "core/params/ParameterFile.h"

namespace hx {

struct RegisterDifference {
    uint16_t address = 0;
    uint16_t held = 0;    // what the drive holds now
    uint16_t wanted = 0;  // what the file (or the undo) puts back
    std::string name;     // the parameter's (a 32-bit one's for both halves); "" when unknown
};

struct RestorePlan {
    std::string path;
    ParameterFileContents contents;
    // The checks of a file load: another drive model, values out of range.
    bool otherModel = false;
    std::string fileModel;
    std::vector<RangeViolation> outside;
    // The settings whose value differs, in address order (never the capture
    // set-up, which is no setting).
    std::vector<RegisterDifference> differences;
    bool NeedsConfirmation() const { return otherModel || !outside.empty(); }
};

// Reads the file (with the drive model's types) and the drive (progress
// counts its blocks), and lists the settings that differ. The read is told
// to the gate as a complete read, so the restore's own backup costs no more
// bus time. False with *error (the file, or the drive's silence).
bool PlanRestore(ChangeGate& gate, DriveHandle drive, const DriveInfo& info, const std::string& path, RestorePlan* plan,
                 std::string* error, std::stop_token stop = {}, const ProgressCallback& progress = {});

struct VerifyReport {
    GateResult gate;              // not ok: nothing was written
    bool stopped = false;
    int written = 0;              // registers written and read back the same
    std::vector<RegisterDifference> mismatches;  // read back otherwise (held: what was read)
    std::vector<uint16_t> unanswered;            // first register of each run the drive did not take or give back
    std::string linkText;                        // what the link saw at the first of those
    bool Succeeded() const { return gate.ok() && !stopped && mismatches.empty() && unanswered.empty(); }
};

// Writes the words (address, word) in runs of consecutive registers (20 at
// most), all journaled before the first goes out and each read back after,
// through a prepared batch. countBlocks: a whole-set write, counted so that
// an interrupted one is found again. progress counts runs.
VerifyReport WriteAndVerify(ChangeBatch& changes, const std::vector<std::pair<uint16_t, uint16_t>>& words,
                            bool countBlocks, std::stop_token stop = {}, const ProgressCallback& progress = {});

// The plan's differences through the gate (origin Restore).
VerifyReport ApplyRestore(ChangeGate& gate, DriveHandle drive, const RestorePlan& plan, PrepareOptions options = {},
                          std::stop_token stop = {}, const ProgressCallback& progress = {});

// Undoing journaled changes: each row's old value written back (origin
// Undo). A row without an old value cannot be undone and is left out; so is
// a command. Rows of one 32-bit parameter go together (see UndoGroup).
VerifyReport UndoChanges(ChangeGate& gate, DriveHandle drive, const std::vector<JournalRow>& rows,
                         PrepareOptions options = {}, std::stop_token stop = {});
// The rows an undo of `row` must write: the row, and the other half of a
// 32-bit parameter changed by the same action.
std::vector<JournalRow> UndoGroup(const ChangeJournal& journal, const JournalRow& row);
// Whether a journal row can be undone: a setting with its old value known.
bool CanUndo(const JournalRow& row);

}  // namespace hx
