#include "support/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace hx::test {

namespace {

// Starts the program with its standard output and error on the given
// descriptors (closed in the parent).
pid_t Spawn(const std::string& program, std::vector<std::string> args, int out, int err) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& w : args) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out);
    if (err != out) ::close(err);
    return pid;
}

}  // namespace

ProgramResult RunProgram(const std::string& program, std::vector<std::string> args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t pid = Spawn(program, std::move(args), out[1], err[1]);
    ProgramResult r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 1000) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    int status = 0;
    if (open > 0) ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string CliProgram() { return BuildBinFolder() + "/halvex-cli"; }
std::string DriveSimProgram() { return BuildBinFolder() + "/halvex-drive-sim"; }

ProgramResult RunCli(std::vector<std::string> args) { return RunProgram(CliProgram(), std::move(args)); }

std::vector<std::string> Join(std::vector<std::string> first, const std::vector<std::string>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

BackgroundProgram::BackgroundProgram(const std::string& program, std::vector<std::string> args, int expectedLines,
                                     bool quiet, bool errorsToo) {
    if (quiet) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        m_pid = Spawn(program, std::move(args), null, null);
        return;
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    m_pid = Spawn(program, std::move(args), out[1], errorsToo ? out[1] : ::fcntl(2, F_DUPFD_CLOEXEC, 3));
    m_out = out[0];
    std::string text;
    pollfd fd{m_out, POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (static_cast<int>(m_lines.size()) < expectedLines && std::chrono::steady_clock::now() < deadline) {
        if (::poll(&fd, 1, 500) <= 0) continue;
        char c;
        if (::read(m_out, &c, 1) != 1) break;
        if (c == '\n') {
            m_lines.push_back(text);
            text.clear();
        } else {
            text.push_back(c);
        }
    }
}

BackgroundProgram::~BackgroundProgram() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status;
        ::waitpid(m_pid, &status, 0);
    }
    if (m_out >= 0) ::close(m_out);
}

int BackgroundProgram::Stop(int signal) {
    ::kill(m_pid, signal);
    return Wait();
}

void BackgroundProgram::CloseOutput() { ::close(m_out), m_out = -1; }

int BackgroundProgram::Wait() {
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace hx::test
