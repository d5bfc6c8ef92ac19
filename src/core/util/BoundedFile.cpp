#include "core/util/BoundedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hx {

FileReadOutcome ReadBoundedFile(const std::string& path, std::size_t limit, std::string* bytes) {
    FileReadOutcome outcome;
    bytes->clear();
    // Not blocking on open: a FIFO would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        outcome.failure = errno == EISDIR ? FileReadOutcome::Failure::Folder : FileReadOutcome::Failure::Open;
        outcome.err = errno;
        return outcome;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        outcome.failure = FileReadOutcome::Failure::Open;
        outcome.err = errno;
    } else if (S_ISDIR(st.st_mode)) {
        outcome.failure = FileReadOutcome::Failure::Folder;
        outcome.err = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        outcome.failure = FileReadOutcome::Failure::NotRegular;
        outcome.err = EINVAL;
    } else if (static_cast<unsigned long long>(st.st_size) > limit) {
        outcome.failure = FileReadOutcome::Failure::TooLarge;
    }
    if (!outcome.ok()) {
        ::close(fd);
        return outcome;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bytes->reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            outcome.failure = FileReadOutcome::Failure::Read;
            outcome.err = errno;
            break;
        }
        if (n == 0) break;
        // A file that grows while it is read is held to the same limit.
        if (bytes->size() + static_cast<std::size_t>(n) > limit) {
            outcome.failure = FileReadOutcome::Failure::TooLarge;
            break;
        }
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!outcome.ok()) bytes->clear();
    return outcome;
}

std::string FileReadFailureText(const FileReadOutcome& outcome, std::size_t limit) {
    using F = FileReadOutcome::Failure;
    switch (outcome.failure) {
    case F::None: return {};
    case F::NotRegular: return "not a regular file";
    case F::Folder: return "a folder, not a file";
    case F::TooLarge: {
        const std::size_t mib = limit >> 20;
        return mib > 0 ? "larger than " + std::to_string(mib) + " MiB, more than any such file holds"
                       : "larger than " + std::to_string(limit) + " bytes, more than any such file holds";
    }
    case F::Open:
    case F::Read: return std::strerror(outcome.err);
    }
    return {};
}

std::string PrintableExcerpt(std::string_view text, std::size_t maxChars) {
    std::string out;
    std::size_t i = 0;
    for (; i < text.size() && i < maxChars;) {
        const auto c = static_cast<unsigned char>(text[i]);
        // A whole, valid UTF-8 sequence of a printable character passes.
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (valid && length == 1 && (c < 0x20 || c == 0x7F)) valid = c == '\t';
        if (valid && length == 2 && c < 0xC2) valid = false;  // an over-long form
        if (valid) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        out += escaped;
        ++i;
    }
    if (i < text.size()) out += "...";
    return out;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace hx
