#pragma once
// The end signals (core/util/EndSignals.h: a logout, a closed terminal,
// Ctrl+C, the quit key, kill) end the window program as its own "退出"
// does: a test run stops its motor before the port closes. A closed output
// ends nothing: SIGPIPE is ignored. A signal handler may do almost nothing, so it
// writes one byte into a pipe; the event loop reads it and runs the action
// on the UI thread.

#include <functional>

namespace hx::gui {

// Installs the handlers once for the life of the program; later calls
// replace the action. A second signal while the first is handled ends the
// program at once.
void OnEndSignals(std::function<void()> action);

}  // namespace hx::gui
