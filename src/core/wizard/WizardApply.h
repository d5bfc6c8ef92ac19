#pragma once
// Carrying the wizard's pages into the drive: the writes one register at a
// time in their fixed order, then the store command (90 <- 1) polled until
// the drive has stored, as the parameter manager's save does. A write the
// drive does not answer ends the work there: the settings after it are not
// written, nothing is stored, and the caller learns which one it was.
//
// The jobs run page reads and the apply on a worker thread, taking the drive
// and variant when they start and reporting through callbacks on
// that thread.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>

#include "core/backup/ChangeGate.h"
#include "core/params/ParameterTransfer.h"
#include "core/writes/StorageCommand.h"
#include "core/wizard/WizardForm.h"

namespace hx::wizard {

enum class ApplyOutcome {
    Completed,        // every write answered, the drive stored them
    WriteUnanswered,  // a write got no answer, or the drive refused it; nothing after it was sent
    StoreUnanswered,  // the store command itself got no answer
    StoreNotCleared,  // register 90 never returned to 0
    StoreReplyLost,   // the store command's reply was lost; 90 reads 0 again, the drive may have stored
    StoreDuringRun,   // a test motion runs (its watchdog values are the tool's): the store was not sent
    Stopped,          // asked to stop between requests
    NotBackedUp,      // the change gate refused: nothing was written (gate says why)
};

struct ApplyResult {
    ApplyOutcome outcome = ApplyOutcome::Completed;
    int writesDone = 0;                      // writes answered, in plan order
    std::optional<PlannedWrite> unanswered;  // the write that got no answer
    bool refused = false;                    // the drive answered it with an exception (a value it does not take)
    StorageResult store;                     // when the store command was sent
    GateResult gate;                         // for NotBackedUp
    bool completed() const { return outcome == ApplyOutcome::Completed; }
};

// Steps done and steps in all (the writes, then the store as one more step).
using ApplyProgress = std::function<void(int done, int total)>;

// With changes (prepared), each write is journaled before it is sent and
// counted as one block of a whole-set write, so an interrupted one is found
// again at the next connect. The store's waits are `wait`'s (the real
// clock's unless given).
ApplyResult ApplyWizard(DriveHandle& drive, const WritePlan& plan, std::stop_token stop = {},
                        const ApplyProgress& progress = {}, ChangeBatch* changes = nullptr,
                        const StorageWait& wait = {});

struct LoadResult {
    LoadStep step = LoadStep::AliasPage;
    WizardForm form;                     // the form given, with what was read
    std::map<uint16_t, int16_t> values;  // every register read, as read
    bool ok = false;
    bool stopped = false;
    uint16_t unansweredAddress = 0;
};

class WizardJob : public Job {
public:
    using Loaded = std::function<void(const LoadResult&)>;
    using Applied = std::function<void(const ApplyResult&)>;

    // Reads one page (or runs an alias action) into a copy of `form`.
    bool load(LoadStep step, const WizardForm& form, uint16_t variant, Loaded finished,
              DriveHandle drive = DriveHandle::FromGlobals());
    bool apply(ChangeGate& gate, WritePlan plan, ApplyProgress progress, Applied finished,
               DriveHandle drive = DriveHandle::FromGlobals());
};

}  // namespace hx::wizard
