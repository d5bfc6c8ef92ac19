#pragma once
// Replacing a file so that it is either the old one or the new one, never a
// mixture: the bytes go to a temporary file in the same folder, which is
// flushed to disk and then renamed over the target. A failure or a crash on
// the way leaves the old file as it was (and at worst a stray "*.tmp" file
// beside it).
//
// Only a regular file (or nothing) is replaced so. A character device or a
// FIFO at the target is written through, as a shell's redirection would
// (`-o /dev/stdout`, a copy of /dev/null, a pipe a reader waits on): renaming
// a file over it would destroy the node. A directory, a socket or a block
// device is refused.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace hx {

class AtomicFile {
public:
    // Which step failed, for the caller's message.
    enum class Step { None, Create, Write, Commit };

    explicit AtomicFile(std::string path);
    ~AtomicFile();  // discards the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file (or opens a device or FIFO to write
    // through). Fails (Step::Create) when the folder cannot take a new file,
    // the target exists and may not be written (a read-only file stays
    // protected as it would be when written in place), or the target is no
    // file, device or FIFO.
    bool Open();
    bool Write(std::string_view bytes);
    // Flushes, closes and renames the temporary file over the target.
    bool Commit();
    // As Commit, but never replaces a file: when the target exists by now
    // the commit fails with EEXIST (and the temporary file is discarded).
    // (A device or FIFO is never a new file: the commit fails with EEXIST.)
    bool CommitNew();
    // Removes the temporary file; the target is left untouched.
    void Discard();

    const std::string& Path() const { return m_path; }
    const std::string& TempPath() const { return m_tempPath; }
    Step FailedStep() const { return m_failedStep; }
    int Errno() const { return m_errno; }
    std::string ErrorText() const;  // FileErrorText(Errno())
    // Whether Open found a device or FIFO and writes through into it.
    bool WritesThrough() const { return m_through; }

    // Test hook, run after each block written to a temporary file with the
    // number of bytes written so far; returning false fails the write there
    // (as a full disk would). Pass an empty function to remove it.
    using WriteHook = std::function<bool(const std::string& tempPath, std::size_t written)>;
    static void SetWriteHook(WriteHook hook);

private:
    bool Fail(Step step, int err);
    bool Finish(bool replace);

    std::string m_path;     // the target, symbolic links resolved
    std::string m_tempPath;
    int m_fd = -1;
    std::size_t m_written = 0;
    bool m_committed = false;
    bool m_through = false;
    Step m_failedStep = Step::None;
    int m_errno = 0;
};

// Errno values of the targets that are no place for a file's bytes; the
// system has no number of its own for them.
inline constexpr int kErrnoSocket = 100001;
inline constexpr int kErrnoBlockDevice = 100002;
// The system's description of an errno, and of the two above ("is a socket,
// not a file").
std::string FileErrorText(int err);

// The whole sequence in one call. On failure *failed and *err (either may be
// null) say which step failed and why.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, AtomicFile::Step* failed, int* err);

}  // namespace hx
