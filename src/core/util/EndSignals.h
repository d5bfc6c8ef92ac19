#pragma once
// How a program is ended from outside, in one place for every program that
// can start a motion: Ctrl+C (INT), the quit key (QUIT), kill (TERM) and a
// closed terminal (HUP) each end in the same stop before the program exits.
// A reader that goes away (the end of "| head") is no signal: SIGPIPE is
// ignored, so a write to it fails instead of killing the program between
// the start of a motion and its stop, and OutputClosed tells a command that
// moves the motor that nobody reads it any more.

#include <csignal>

namespace hx {

inline constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// For the life of the program: a write to a closed pipe fails with EPIPE.
void IgnoreClosedOutput();

// Standard output or error is a pipe whose reading end has closed. Costs
// one poll() without waiting: cheap enough for every keep-alive poll.
bool OutputClosed();

}  // namespace hx
