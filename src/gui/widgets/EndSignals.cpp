#include "gui/widgets/EndSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "core/util/EndSignals.h"

namespace hx::gui {
namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_pending = 0;
std::function<void()>* g_action = nullptr;

extern "C" void OnEndSignal(int signal) {
    if (g_pending) {
        // Asked twice: the user means it.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    g_pending = 1;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto n = ::write(g_pipe[1], &byte, 1);
}

}  // namespace

void OnEndSignals(std::function<void()> action) {
    if (!g_action) {
        g_action = new std::function<void()>;
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) return;
        ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);
        auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
            char byte;
            [[maybe_unused]] const auto n = ::read(g_pipe[0], &byte, 1);
            if (*g_action) (*g_action)();
            g_pending = 0;
        });
        struct sigaction sa {};
        sa.sa_handler = OnEndSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int s : hx::kEndSignals) ::sigaction(s, &sa, nullptr);
        hx::IgnoreClosedOutput();
    }
    *g_action = std::move(action);
}

}  // namespace hx::gui
