#pragma once
// Shared test helpers: a private program folder per test, holding a fresh
// copy of the built database, so tests never touch each other's settings.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hx::test {

// Creates a temporary program folder with a copy of DATA.sqlite and the help
// pages of the build, points the program at it, and removes it afterwards.
class TempProgramFolder {
public:
    TempProgramFolder();
    ~TempProgramFolder();
    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& relative) const;  // Path() + "/" + relative
    std::string SettingsPath() const;                     // Parameters/EnvSetting.ini
    std::string DatabasePath() const;                     // DATA.sqlite
    std::string StateFolder() const { return File("state/halvex"); }  // $XDG_STATE_HOME/halvex

private:
    std::string m_path;
    std::optional<std::string> m_oldStateHome;
};

// The build's bin folder (DATA.sqlite, HelpFile/).
std::string BuildBinFolder();

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// The text's lines without their '\n'; a '\r' before it stays, so tests see
// which line ends a file or an output has.
std::vector<std::string> SplitLines(const std::string& text);

// Asks cond every 10 ms of real time until it holds or the limit is up;
// returns cond(). For what another thread or process does at its own pace.
bool PollUntil(const std::function<bool()>& cond, std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace hx::test

namespace hx::sim {
class VirtualDrive;
}

namespace hx::test {

// Loops tuned stiff on a KRV4-layout drive (speed loop 40 Hz on a ratio of
// 2, integral 13.3 ms, position gain 120/s, 80 % speed feed-forward
// unfiltered, no torque filter), so the motor follows its command closely
// and a swinging machine shows in the following error: for tests about
// commands and the vibration assistant rather than the tuning.
void SetStiffLoops(hx::sim::VirtualDrive& drive);

// The registers the drive was asked to write (single or block writes, a
// block by its first register), in order; only those among `among` when given.
std::vector<uint16_t> WrittenAddresses(const hx::sim::VirtualDrive& drive, const std::vector<uint16_t>& among = {});
// The registers of the drive's requests of one function code, in order.
std::vector<uint16_t> RequestAddresses(const hx::sim::VirtualDrive& drive, uint8_t function);

}  // namespace hx::test
