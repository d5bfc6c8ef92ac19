#include "core/settings/AppPaths.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "core/util/AtomicFile.h"
#include "core/util/BoundedFile.h"

namespace fs = std::filesystem;

namespace hx {
namespace {

std::mutex g_pathMutex;
std::string g_programFolderOverride;

bool probeFolder(const std::string& folder);

// Whether a file could be created here, asked once per folder while the
// program runs: finding the settings and the database asks it of the same
// folder again and again.
bool isWritableFolder(const std::string& folder) {
    static std::mutex mutex;
    static std::map<std::string, bool> known;
    std::lock_guard lock(mutex);
    const auto it = known.find(folder);
    if (it != known.end()) return it->second;
    return known[folder] = probeFolder(folder);
}

// Asked of the file system itself: permission bits say nothing for root, on
// a read-only mount or on /proc. An unnamed file (O_TMPFILE) never shows in
// the folder; only a file system without them gets a named probe, created
// and removed at once.
bool probeFolder(const std::string& folder) {
    if (folder.empty() || ::access(folder.c_str(), W_OK | X_OK) != 0) return false;
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    const std::string probe = folder + "/.halvex-probe-" + std::to_string(::getpid());
    fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

}  // namespace

std::string ProgramFolder() {
    {
        std::lock_guard lock(g_pathMutex);
        if (!g_programFolderOverride.empty()) return g_programFolderOverride;
    }
    std::error_code ec;
    auto exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return fs::current_path(ec).string();
    return exe.parent_path().string();
}

void SetProgramFolder(const std::string& folder) {
    std::lock_guard lock(g_pathMutex);
    g_programFolderOverride = folder;
}

namespace {

// An installed copy keeps its data in <prefix>/share/halvex beside <prefix>/bin.
fs::path installedDataFolder(const std::string& program) {
    return fs::path(program).parent_path() / "share" / "halvex";
}

}  // namespace

bool IsInstalledCopy() {
    const std::string program = ProgramFolder();
    std::error_code ec;
    if (fs::exists(fs::path(program) / "DATA.sqlite", ec)) return false;
    return fs::exists(installedDataFolder(program) / "DATA.sqlite", ec);
}

std::string DataFolder() {
    const std::string program = ProgramFolder();
    return IsInstalledCopy() ? installedDataFolder(program).string() : program;
}

namespace {

// HOME, or the account's home when a service or cron starts the program
// without one: never a shared folder such as /tmp, where anybody may plant
// links and a reboot takes the backups and the journal away.
std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    std::string buffer(16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    // No home at all: a folder nobody can create, so each write fails and says where.
    return "/nonexistent";
}

// An XDG base folder: the variable when it holds an absolute path (the
// base-directory rules say to ignore a relative one), else the default under HOME.
fs::path XdgFolder(const char* variable, const char* homeRelative) {
    const char* xdg = std::getenv(variable);
    if (xdg && *xdg == '/') return fs::path(xdg) / "halvex";
    return fs::path(HomeFolder()) / homeRelative / "halvex";
}

}  // namespace

std::string UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", ".config").string(); }

std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", ".local/share").string(); }

std::string UserStateFolder() { return XdgFolder("XDG_STATE_HOME", ".local/state").string(); }

std::string WritableFolder() {
    // An installed copy never writes beside its executable, even when it could
    // (run as root, /usr/bin is writable): settings are each user's own and
    // removing the package must not leave files in the system folders.
    if (IsInstalledCopy()) return UserConfigFolder();
    const std::string program = ProgramFolder();
    return isWritableFolder(program) ? program : UserConfigFolder();
}

std::string SettingsPath() { return (fs::path(WritableFolder()) / "Parameters" / "EnvSetting.ini").string(); }

std::string PortsIniPath() {
    std::error_code ec;
    auto own = fs::path(WritableFolder()) / "Parameters" / "Ports.ini";
    if (fs::exists(own, ec)) return own.string();
    return (fs::path(ProgramFolder()) / "Parameters" / "Ports.ini").string();
}

std::string DatabasePath() {
    const std::string data = DataFolder();
    auto path = fs::path(data) / "DATA.sqlite";
    if (!IsInstalledCopy() && isWritableFolder(data)) return path.string();
    // The groups are stored in the database, so a read-only copy is not enough.
    auto own = fs::path(UserConfigFolder()) / "DATA.sqlite";
    std::error_code ec;
    if (!fs::exists(own, ec) && fs::exists(path, ec)) {
        fs::create_directories(own.parent_path(), ec);
        // Whole or not at all: a copy cut short by a kill or a full disk
        // would be taken for the user's database from then on. A second
        // program copying at the same moment keeps the first one's.
        std::string bytes;
        AtomicFile copy(own.string());
        if (ReadBoundedFile(path.string(), std::size_t{1} << 30, &bytes).ok() && copy.Open() && copy.Write(bytes))
            copy.CommitNew();
    }
    return fs::exists(own, ec) ? own.string() : path.string();
}

}  // namespace hx
