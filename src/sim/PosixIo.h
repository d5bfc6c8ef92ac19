#pragma once
// Small POSIX helpers the drive server's serial and network sides share.

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace hx::sim {

inline std::runtime_error SysError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Close-on-exec always, so a drive started from a test never leaks its
// descriptors into a program the test runs.
inline void SetFlags(int fd, bool nonblocking) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    if (nonblocking) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

}  // namespace hx::sim
