#pragma once
// A request to the drive that reads blocks (a capture, a spectrum) run as a
// job on a worker thread: the request and the drive handle are taken when it
// starts, progress follows each block, and the result is handed over once,
// whatever the outcome. Each kind only names its request, its result and the
// function that runs it on the calling thread, so starting, stopping and
// joining stay the same for all of them.
//
// Callbacks run on the worker thread; a window marshals them to its own.
// The destructor stops and joins the worker, so a closing window is never
// written into by a request that outlives it.

#include <functional>
#include <stop_token>
#include <utility>

#include "core/capture/SamplingProtocol.h"
#include "core/util/Job.h"

namespace hx {

template <class Result>
struct DriveJobCallbacks {
    BlockProgress progress;                 // after each block
    std::function<void(Result)> finished;  // once at the end, whatever the outcome
};

template <class Request, class Result,
          Result (*Run)(DriveHandle&, const Request&, std::stop_token, const BlockProgress&)>
class DriveJob {
public:
    // Starts the request on a worker thread; false while one still runs.
    bool start(Request request, DriveJobCallbacks<Result> callbacks, DriveHandle drive = DriveHandle::FromGlobals()) {
        return m_worker.run<Result>(
            [drive, request = std::move(request), progress = std::move(callbacks.progress)](
                std::stop_token stop) mutable { return Run(drive, request, stop, progress); },
            [finished = std::move(callbacks.finished)](const Result& result) {
                if (finished) finished(result);
            });
    }
    // Asks the request to end at its next poll or block; returns at once.
    void requestStop() { m_worker.requestStop(); }
    void join() { m_worker.join(); }
    bool running() const { return m_worker.running(); }

private:
    Job m_worker;
};

}  // namespace hx
