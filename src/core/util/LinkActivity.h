#pragma once
// Whether long work holds the drive link right now (a transfer, a capture,
// a run, a connect) and how many such pieces have ended so far. Work that
// only looks in on the drive between them (the status bar's alarm read)
// asks here first, so it never slips a request into a transfer or capture.

#include <cstdint>

namespace hx {

// Counts one piece of long link work for as long as it lives.
class LinkWorkScope {
public:
    LinkWorkScope();
    ~LinkWorkScope();
    LinkWorkScope(const LinkWorkScope&) = delete;
    LinkWorkScope& operator=(const LinkWorkScope&) = delete;
};

// Pieces of long link work running now, on any thread.
int LinkWorkInProgress();
// Pieces of long link work that have ended since the program started.
uint64_t LinkWorkEnded();

}  // namespace hx
