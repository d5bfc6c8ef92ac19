#include "core/util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cctype>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>

namespace hx {
namespace {

constexpr std::size_t kBlock = 4096;

std::mutex g_hookMutex;
AtomicFile::WriteHook g_hook;

AtomicFile::WriteHook CurrentHook() {
    std::lock_guard lock(g_hookMutex);
    return g_hook;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string RandomSuffix() {
    static std::atomic<unsigned> counter{0};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device rd;
    std::minstd_rand gen(rd() ^ (static_cast<unsigned>(::getpid()) << 16) ^ counter.fetch_add(1));
    std::string s(8, 'x');
    for (char& c : s) c = kChars[gen() % (sizeof kChars - 1)];
    return s;
}

// An interrupted save (a crash, a killed program) leaves its temporary file
// beside the target; the next save of the same file removes such leftovers.
// Only files of our own pattern ("NAME.xxxxxxxx.tmp") that nobody has
// written to for a while go: another program may be saving right now.
void RemoveStaleTemporaries(const std::string& target) {
    namespace fs = std::filesystem;
    constexpr auto kStaleAfter = std::chrono::seconds(60);
    std::error_code ec;
    const fs::path path(target);
    const std::string prefix = path.filename().string() + ".";
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 8 + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        const std::string middle = name.substr(prefix.size(), 8);
        if (!std::all_of(middle.begin(), middle.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
            continue;
        std::error_code statError;
        if (!it->is_regular_file(statError)) continue;
        const auto written = fs::last_write_time(it->path(), statError);
        if (statError || now - written < kStaleAfter) continue;
        fs::remove(it->path(), statError);
    }
}

// Resolves a symbolic link so that the file it points to is replaced, not
// the link; any other path stays as given.
std::string ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        std::error_code ec;
        auto resolved = std::filesystem::canonical(path, ec);
        if (!ec) return resolved.string();
    }
    return path;
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : m_path(ResolveTarget(path)) {}

AtomicFile::~AtomicFile() {
    if (!m_committed) Discard();
}

void AtomicFile::SetWriteHook(WriteHook hook) {
    std::lock_guard lock(g_hookMutex);
    g_hook = std::move(hook);
}

bool AtomicFile::Fail(Step step, int err) {
    m_failedStep = step;
    m_errno = err;
    Discard();
    return false;
}

std::string AtomicFile::ErrorText() const { return FileErrorText(m_errno); }

std::string FileErrorText(int err) {
    if (err == kErrnoSocket) return "is a socket, not a file";
    if (err == kErrnoBlockDevice) return "is a block device: only a file, a character device or a FIFO takes the output";
    return std::strerror(err);
}

bool AtomicFile::Open() {
    Discard();
    m_committed = false;
    m_failedStep = Step::None;
    m_errno = 0;
    m_written = 0;

    m_through = false;

    struct stat target {};
    bool exists = ::stat(m_path.c_str(), &target) == 0;
    if (exists && !S_ISREG(target.st_mode)) {
        if (S_ISDIR(target.st_mode)) return Fail(Step::Create, EISDIR);
        if (S_ISSOCK(target.st_mode)) return Fail(Step::Create, kErrnoSocket);
        if (!S_ISCHR(target.st_mode) && !S_ISFIFO(target.st_mode)) return Fail(Step::Create, kErrnoBlockDevice);
        // A device or a FIFO takes the bytes as they come; a file renamed
        // over it would destroy the node (as root even /dev/null). Opening a
        // FIFO waits for its reader, as any program writing into one does.
        int fd;
        do {
            fd = ::open(m_path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) return Fail(Step::Create, errno);
        m_fd = fd;
        m_through = true;
        return true;
    }
    if (exists && ::access(m_path.c_str(), W_OK) != 0) return Fail(Step::Create, errno);

    RemoveStaleTemporaries(m_path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = m_path + "." + RandomSuffix() + ".tmp";
        int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return Fail(Step::Create, errno);
        }
        m_fd = fd;
        m_tempPath = temp;
        // The replacement keeps the permissions of the file it replaces.
        if (exists) (void)::fchmod(m_fd, target.st_mode & 07777);
        return true;
    }
    return Fail(Step::Create, EEXIST);
}

bool AtomicFile::Write(std::string_view bytes) {
    if (m_fd < 0) return Fail(Step::Write, EBADF);
    WriteHook hook = CurrentHook();
    while (!bytes.empty()) {
        std::size_t block = bytes.size() < kBlock ? bytes.size() : kBlock;
        ssize_t n = ::write(m_fd, bytes.data(), block);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(Step::Write, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        m_written += static_cast<std::size_t>(n);
        if (hook && !hook(m_through ? m_path : m_tempPath, m_written)) return Fail(Step::Write, EIO);
    }
    return true;
}

bool AtomicFile::Commit() { return Finish(true); }

bool AtomicFile::CommitNew() { return Finish(false); }

namespace {

// rename() that fails with EEXIST instead of replacing. A file system without
// the no-replace rename gets a hard link (which never replaces either) and
// the temporary name removed.
int RenameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::link(from, to) != 0) return -1;
    ::unlink(from);
    return 0;
}

}  // namespace

bool AtomicFile::Finish(bool replace) {
    if (m_fd < 0) return Fail(Step::Commit, EBADF);
    if (m_through) {
        // A device or FIFO has no contents to make durable (and most refuse
        // fsync); what it refused was said by the writes.
        const int fd = m_fd;
        m_fd = -1;
        const int closed = ::close(fd);
        if (!replace) return Fail(Step::Commit, EEXIST);
        if (closed != 0 && errno != EINTR) return Fail(Step::Commit, errno);
        m_committed = true;
        return true;
    }
    if (::fsync(m_fd) != 0) return Fail(Step::Commit, errno);
    int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) return Fail(Step::Commit, errno);
    const int renamed = replace ? ::rename(m_tempPath.c_str(), m_path.c_str())
                                : RenameNoReplace(m_tempPath.c_str(), m_path.c_str());
    if (renamed != 0) return Fail(Step::Commit, errno);
    m_committed = true;
    m_tempPath.clear();
    // Make the rename itself durable; a folder that refuses fsync still
    // holds the new file.
    int dir = ::open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

void AtomicFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, AtomicFile::Step* failed, int* err) {
    AtomicFile file(path);
    bool ok = file.Open() && file.Write(bytes) && file.Commit();
    if (failed) *failed = file.FailedStep();
    if (err) *err = file.Errno();
    return ok;
}

}  // namespace hx
