#pragma once
// The drive-side storage commands: a command value written to a register,
// then the register polled until the drive clears it to 0.
//   write; wait 2000 ms; up to `polls` times: wait 200 ms, read; first 0 = done.
// A command whose reply was lost is not sent again: the polls start at once
// (the link has already waited out the late reply) to catch the drive busy
// with it, which tells that it was carried out.
// Save to non-volatile memory and factory restore/burn poll 30 times (about
// 8 s before giving up); the main frame's quick save polls 3 times (about 2.6 s).

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>

#include "core/backup/ChangeGate.h"
#include "core/params/ParameterTransfer.h"
#include "core/protocol/Registers.h"

namespace hx {

struct StorageCommand {
    uint16_t reg;
    int16_t value;
    int polls;
    // Wait after success before the drive's registers are read again.
    int settleAfterSuccessMs = 0;
};

inline constexpr StorageCommand kSaveToDrive{reg::kSaveCommand, reg::kSaveValue, 30};
inline constexpr StorageCommand kRestoreFactory{reg::kRestoreCommand, reg::kRestoreValue, 30, 500};
inline constexpr StorageCommand kBurnFactory{reg::kBurnCommand, reg::kBurnValue, 30};
// "保存驱动器参数" of the main frame.
inline constexpr StorageCommand kQuickSaveToDrive{reg::kSaveCommand, reg::kSaveValue, 3};

enum class StorageOutcome {
    Succeeded,      // the register read 0
    NotCleared,     // every poll read something else (or got no answer)
    NotAnswered,    // the command write itself got no answer, or the drive refused it
    Stopped,        // a stop was requested while waiting
    NotBackedUp,    // the change gate refused: nothing was sent (gate says why)
    // The command's reply was lost, so the drive may have carried it out;
    // the register reads 0 again after the store time, but the drive never
    // showed it busy, so whether it did is not known.
    MayHaveStored,
    // A test motion or the current-loop test runs (runningRegister reads
    // non-zero): nothing was sent. Its run has the drive's communication
    // watchdog armed with the tool's values, which a store would make the
    // drive's own at the next power-up; a factory restore would switch it off.
    RunInProgress,
};

struct StorageResult {
    StorageOutcome outcome = StorageOutcome::NotAnswered;
    int pollsDone = 0;
    int lastReading = -1;  // -1 also when the last poll got no answer
    GateResult gate;       // for NotBackedUp
    bool replyLost = false;  // the command went out but its reply was lost or damaged
    bool sawBusy = false;    // a poll found the drive still carrying the command out
    uint16_t runningRegister = 0;  // for RunInProgress: 70 or 23
    bool succeeded() const { return outcome == StorageOutcome::Succeeded; }
};

// The command's name in the change journal ("save", "factory restore",
// "burn factory values").
const char* StorageCommandName(const StorageCommand& command);
// Whether the command replaces the drive's values wholesale (a factory
// restore or burn): a backup of the values right before it is taken first.
bool ReplacesValues(const StorageCommand& command);

inline constexpr int kStorageFirstWaitMs = 2000;
inline constexpr int kStoragePollIntervalMs = 200;

// How the sequence waits (its first 2 s and the 200 ms before each poll);
// false when stopped. Empty: on the real clock. A test hands a wait that
// steps a simulated drive's clock, so a give-up after seconds of polls
// takes no time and its length is the sum of the waits.
using StorageWait = std::function<bool(std::stop_token, std::chrono::milliseconds)>;

// Runs the sequence on the calling thread; blocks for up to 2 s + polls x 0.2 s.
// First the motion command (70) and the current-loop test (23) are read:
// while either runs, the command is refused (RunInProgress).
// With changes (prepared), the command is journaled before it is sent and
// confirmed when the drive reports it done.
StorageResult RunStorageCommand(DriveHandle& drive, uint16_t reg, int16_t value, int polls,
                                std::stop_token stop = {}, ChangeBatch* changes = nullptr,
                                const StorageWait& wait = {});
StorageResult RunStorageCommand(DriveHandle& drive, const StorageCommand& command, std::stop_token stop = {},
                                ChangeBatch* changes = nullptr, const StorageWait& wait = {});

// The command through the change gate (a backup first, and a fresh one
// before a factory restore or burn), for the window and the command line.
StorageResult RunGatedStorageCommand(const DriveHandle& drive, const StorageCommand& command,
                                     std::stop_token stop = {}, PrepareOptions options = {},
                                     const ProgressCallback& backupProgress = {}, const StorageWait& wait = {});

// RunGatedStorageCommand on a worker thread; the window shows a busy state
// and puts up its own message from the outcome.
class StorageCommandJob : public Job {
public:
    using Finished = std::function<void(const StorageResult&)>;
    bool start(const StorageCommand& command, Finished finished, DriveHandle drive = DriveHandle::FromGlobals());
    // The waits of the jobs started from now on (tests: a stepped clock).
    void SetWait(StorageWait wait) { m_wait = std::move(wait); }

private:
    StorageWait m_wait;
};

}  // namespace hx
