#pragma once
// Reading a whole file that a user named. What is named may be no file at
// all: a FIFO (whose opening waits for a writer for ever), a device that
// never ends (/dev/zero), a folder, or a huge sparse file. Only a regular
// file is read, and only up to a size no file of ours comes near.

#include <cstddef>
#include <string>
#include <string_view>

namespace hx {

struct FileReadOutcome {
    enum class Failure {
        None,
        Open,        // err says why
        NotRegular,  // a FIFO, a device, a socket
        Folder,
        Read,        // err says why
        TooLarge,    // larger than the limit
    };
    Failure failure = Failure::None;
    int err = 0;
    bool ok() const { return failure == Failure::None; }
};

// Fills *bytes with the file's contents. A file larger than `limit` is not
// read at all (its size says so), nor one that grows past it while read.
FileReadOutcome ReadBoundedFile(const std::string& path, std::size_t limit, std::string* bytes);

// The outcome in words (English), e.g. "not a regular file",
// "larger than 64 MiB, no such file is that large".
std::string FileReadFailureText(const FileReadOutcome& outcome, std::size_t limit);

// Text from a file fit to be shown in a message: bytes that are not
// printable UTF-8 come out as \xNN, and at most `maxChars` bytes are shown.
std::string PrintableExcerpt(std::string_view text, std::size_t maxChars = 60);

// Whether two paths name the same file (the same device and inode); false
// when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace hx
