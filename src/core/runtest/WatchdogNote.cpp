#include "core/runtest/WatchdogNote.h"
#include "core/util/Text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "core/link/PortResolver.h"
#include "core/settings/AppPaths.h"
#include "core/util/AtomicFile.h"

namespace hx::runtest {
namespace {

namespace fs = std::filesystem;

// One drive whatever name it is reached by: "COM3", the device it stands for
// and a symbolic link to that device are the same port.
std::string NoteKey(const std::string& port) {
    const PortTarget target = PortResolver::Resolve(port);
    if (target.kind == PortTarget::Kind::Tcp) return target.ToString();
    if (target.kind != PortTarget::Kind::Serial) return port;
    std::error_code ec;
    const fs::path device = fs::canonical(target.device, ec);
    return ec ? target.device : device.string();
}

fs::path Folder(const std::string& folder) { return folder.empty() ? fs::path(WatchdogNoteFolder()) : fs::path(folder); }

std::string NotePath(const std::string& folder, const std::string& port, uint8_t station) {
    return (Folder(folder) / PortStationFileName(NoteKey(port), station)).string();
}

// The note's "key=number" lines; the port as it was written.
struct NoteText {
    std::string port;
    long station = -1, timeout = -1, action = -1, pid = 0;
};

std::optional<NoteText> ReadNoteText(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    NoteText note;
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        const bool whole = !value.empty() && end && *end == '\0';
        if (key == "port") note.port = value;
        if (key == "station" && whole) note.station = number;
        if (key == "timeout" && whole) note.timeout = number;
        if (key == "action" && whole) note.action = number;
        if (key == "pid" && whole) note.pid = number;
    }
    return note;
}

}  // namespace

std::string WatchdogNoteFolder() { return (fs::path(UserStateFolder()) / "watchdog").string(); }

std::optional<WatchdogSetting> ReadWatchdogNote(const std::string& folder, const std::string& port, uint8_t station) {
    const auto note = ReadNoteText(NotePath(folder, port, station));
    if (!note) return std::nullopt;
    // A note for another port or station (or a damaged one) is not this drive's.
    if (note->port != NoteKey(port) || note->station != station || note->timeout < 0 || note->timeout > 65535 ||
        note->action < 0 || note->action > 65535)
        return std::nullopt;
    return WatchdogSetting{static_cast<uint16_t>(note->timeout), static_cast<uint16_t>(note->action)};
}

long WatchdogNoteOwner(const std::string& folder, const std::string& port, uint8_t station) {
    const auto note = ReadNoteText(NotePath(folder, port, station));
    return note ? note->pid : 0;
}

NoteLock::~NoteLock() { Release(); }

NoteLock::NoteLock(NoteLock&& other) noexcept { *this = std::move(other); }

NoteLock& NoteLock::operator=(NoteLock&& other) noexcept {
    if (this != &other) {
        Release();
        m_fd = std::exchange(other.m_fd, -1);
        m_folder = std::move(other.m_folder);
        m_port = std::move(other.m_port);
        m_station = other.m_station;
    }
    return *this;
}

NoteLock::Result NoteLock::Take(const std::string& folder, const std::string& port, uint8_t station,
                                std::string* error) {
    Release();
    std::error_code ec;
    fs::create_directories(Folder(folder), ec);
    const std::string path = NotePath(folder, port, station) + ".lock";
    // Not inherited by programs this one starts: a tool left running after
    // the window has gone must not keep the note from being put back.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error) *error = path + ": " + std::strerror(errno);
        return Result::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) return Result::HeldElsewhere;
        if (error) *error = path + ": " + std::strerror(err);
        return Result::Failed;
    }
    m_fd = fd;
    m_folder = folder;
    m_port = port;
    m_station = station;
    return Result::Taken;
}

bool NoteLock::WriteNote(const WatchdogSetting& values, std::string* error) {
    const std::string path = NotePath(m_folder, m_port, m_station);
    std::ostringstream text;
    text << "# The drive's own communication watchdog, noted before a test run changed it.\n"
         << "# Put back (RAM only) at the next connect to this port and station, once the\n"
         << "# program named below has ended.\n"
         << "port=" << NoteKey(m_port) << "\nstation=" << int(m_station) << "\ntimeout=" << values.timeoutMs
         << "\naction=" << values.action << "\npid=" << ::getpid() << "\n";
    AtomicFile::Step step = AtomicFile::Step::None;
    int err = 0;
    if (WriteFileAtomically(path, text.str(), &step, &err)) return true;
    if (error) *error = path + ": " + std::strerror(err);
    return false;
}

void NoteLock::RemoveNoteAndRelease() {
    if (m_fd < 0) return;
    std::error_code ec;
    fs::remove(NotePath(m_folder, m_port, m_station), ec);
    Release();
}

void NoteLock::Release() {
    if (m_fd < 0) return;
    ::close(m_fd);  // and the lock with it
    m_fd = -1;
}

}  // namespace hx::runtest
