#include "core/util/EndSignals.h"

#include <poll.h>

namespace hx {

void IgnoreClosedOutput() { std::signal(SIGPIPE, SIG_IGN); }

bool OutputClosed() {
    // No events asked: a pipe without a reader still reports POLLERR. A
    // stream that was never open (POLLNVAL) or a file is not closed output.
    pollfd streams[2] = {{1, 0, 0}, {2, 0, 0}};
    if (::poll(streams, 2, 0) <= 0) return false;
    for (const pollfd& s : streams)
        if (s.revents & POLLERR) return true;
    return false;
}

}  // namespace hx
