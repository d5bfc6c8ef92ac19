#pragma once
// What the parameter transfers share: the link and table they work on, how
// they report, and the worker that runs one of them off the window's thread.
//
// A transfer runs on a std::jthread owned by its job object. Callbacks are
// called on that worker thread; a window marshals them to its own thread.
// The job's destructor asks the worker to stop and joins it, so a closing
// window can never be written into by a transfer that outlives it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP

class CQXCOM;
class CParameter;

namespace hx {

// The drive link, parameter table, station and firmware a transfer uses.
struct TransferLink {
    CQXCOM* comm = nullptr;
    CParameter* table = nullptr;
    uint8_t station = 1;
    float firmwareVersion = 100.0f;

    // theComm, theParameterTable, g_station and g_firmwareVersion as they stand now.
    static TransferLink FromGlobals();
};

enum class TransferStatus { Completed, Stopped, Failed };
enum class TransferError {
    None,
    ReadBlockEmpty,
    WriteBlockRejected,
    // The backup or the change journal could not be written, so nothing was
    // sent; the user may go on without (ChangeGate::AllowOnceWithoutBackup).
    NotBackedUp,
};

// Fixed texts of the failures; the windows translate them in this context.
inline constexpr const char* kTransferTextContext = "ParameterTransfer";
inline constexpr const char* kBatchReadErrorText = "Batch reading error!";
inline constexpr const char* kBatchWriteErrorText =
    QT_TRANSLATE_NOOP("ParameterTransfer", "批处理传输出错，请重传！");

struct TransferResult {
    TransferStatus status = TransferStatus::Completed;
    TransferError error = TransferError::None;
    // For a failure the message to show: "Batch reading error!dataLenght = 105"
    // (byte count of the last reply that carried data, 0 when none did) or
    // "批处理传输出错，请重传！".
    std::string errorText;
    // What the link saw at the failure, in words ("no answer within 100 ms",
    // "the drive refused the request: exception 3 (illegal data value)";
    // for a write, whether it may have been carried out all the same).
    std::string linkText;
    int blocksDone = 0;
    int blocksTotal = 0;
};

using ProgressCallback = std::function<void(int done, int total)>;
using FinishedCallback = std::function<void(const TransferResult& result)>;

struct TransferCallbacks {
    ProgressCallback progress;  // after each block: (blocks done, blocks in all)
    FinishedCallback finished;  // once at the end, whatever the outcome
};

// Sleeps for the given time unless a stop is requested first; false when stopped.
bool SleepUnlessStopped(std::stop_token stop, std::chrono::milliseconds duration);

// Runs one piece of work at a time on a worker thread. start/requestStop/join
// are called from the owning thread; running() from any thread. The
// destructor requests a stop and joins, so callbacks never outlive the job.
class TransferJob {
public:
    TransferJob() = default;
    virtual ~TransferJob();
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // Runs work(stop) on a new worker thread, then finished(result) there.
    // running() is already false when finished is called. Returns false and
    // starts nothing while earlier work still runs (or when called from the
    // worker itself); work that has ended is joined first.
    template <class Result>
    bool run(std::function<Result(std::stop_token)> work, std::function<void(const Result&)> finished) {
        return launch([this, work = std::move(work), finished = std::move(finished)](std::stop_token stop) {
            const Result result = work(stop);
            m_running.store(false);
            if (finished) finished(result);
        });
    }

    // Asks the work to stop at its next block boundary or wait; returns at once.
    void requestStop();
    // Waits until the worker has ended (its finished callback included).
    void join();
    bool running() const { return m_running.load(); }

private:
    bool launch(std::function<void(std::stop_token)> body);

    std::atomic<bool> m_running{false};
    std::jthread m_thread;
};

}  // namespace hx
