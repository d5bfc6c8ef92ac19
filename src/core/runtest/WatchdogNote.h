#pragma once
// The note of a drive's own communication watchdog values, kept while a
// test run has them changed, and who owns it.
//
// A note belongs to the process that armed the watchdog for as long as that
// process lives: the process holds a lock on the note's lock file (one per
// port and station, never removed, so that two processes always lock the
// same file) from before the note is written until the values are back. The
// kernel drops the lock when the process ends in any way, a kill included.
// So a second program on the same port sees a locked note and leaves the
// drive's watchdog alone (its run is someone else's), while a note nobody
// holds was left by a program that died, and may be put back.
//
// Files, in $XDG_STATE_HOME/halvex/watchdog: "<port>@<station>" the note,
// "<port>@<station>.lock" its lock. The port is the device behind the name
// (COMn resolved, symbolic links followed) or tcp:HOST:PORT, escaped to one
// file name, so every name of one drive finds the same note.

#include <cstdint>
#include <optional>
#include <string>

namespace hx::runtest {

struct WatchdogSetting {
    uint16_t timeoutMs = 0;
    uint16_t action = 0;
    bool operator==(const WatchdogSetting&) const = default;
};

// $XDG_STATE_HOME/halvex/watchdog.
std::string WatchdogNoteFolder();
// The note for a port and station, if there is one (whoever owns it).
std::optional<WatchdogSetting> ReadWatchdogNote(const std::string& folder, const std::string& port, uint8_t station);
// The process that wrote the note (0 when unknown).
long WatchdogNoteOwner(const std::string& folder, const std::string& port, uint8_t station);

// The lock on one port and station's note, held while the object lives.
class NoteLock {
public:
    enum class Result { Taken, HeldElsewhere, Failed };

    NoteLock() = default;
    ~NoteLock();
    NoteLock(NoteLock&& other) noexcept;
    NoteLock& operator=(NoteLock&& other) noexcept;
    NoteLock(const NoteLock&) = delete;
    NoteLock& operator=(const NoteLock&) = delete;

    // Takes the lock without waiting. HeldElsewhere: another process (or
    // another guard of this one) owns the note now. Failed: the lock file
    // cannot be made (error says why).
    Result Take(const std::string& folder, const std::string& port, uint8_t station, std::string* error = nullptr);
    bool Held() const { return m_fd >= 0; }
    // Writes the note (atomically), this process as its owner.
    bool WriteNote(const WatchdogSetting& values, std::string* error);
    // Removes the note, then lets the lock go.
    void RemoveNoteAndRelease();
    void Release();

private:
    int m_fd = -1;
    std::string m_folder, m_port;
    uint8_t m_station = 0;
};

}  // namespace hx::runtest
