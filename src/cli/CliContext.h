#pragma once
// What every halvex-cli command gets: the options, the drive link (the
// program-wide theComm, configured from the options and opened on first
// use), the output streams and a few helpers for arguments and failures.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

class CQXCOM;
namespace hx {
struct GateResult;
struct PrepareOptions;
class DriveHandle;
}

// Exit statuses of halvex-cli.
enum CliExit : int {
    kExitOk = 0,
    kExitNoAnswer = 1,   // the drive did not answer (or a check failed)
    kExitUsage = 2,      // bad command line
    kExitPortError = 3,  // the port could not be opened
};

struct CliOptions {
    std::string port = "COM1";  // "COM1".., a device path or "tcp:HOST:PORT"
    int baud = 38400;
    int station = 63;           // default: Drive/DriveNo of the settings file
    int timeoutMs = 100;        // reply time-out
    bool noBackup = false;      // write without the backup the change gate takes first
    // Fixed framing: no parity, 8 data bits, 2 stop bits.
};

class CliContext {
public:
    CliContext(CliOptions options, CQXCOM& comm, std::ostream& out, std::ostream& err);

    const CliOptions& Options() const { return m_options; }
    // For the command-line parser, which fills the options in place.
    CliOptions& MutableOptions() { return m_options; }
    uint8_t Station() const { return static_cast<uint8_t>(m_options.station); }
    std::ostream& Out() const { return m_out; }
    std::ostream& Err() const { return m_err; }

    // The link. Call OpenLink() before the first request.
    CQXCOM& Link() const { return m_comm; }
    // Configures and opens the port once (later calls return the first
    // result), sets the reply time-out and g_station, and tells of an
    // unfinished write to the station (ReportUnfinishedWrite). On failure prints
    // "halvex-cli: cannot open PORT: reason" on stderr.
    bool OpenLink() const;

    // The drive at the options' station on the opened link.
    hx::DriveHandle Drive(float firmwareVersion) const;
    // What the change gate is told: --no-backup.
    hx::PrepareOptions GateOptions() const;
    // The gate's message on stderr (with the hint of --no-backup when the
    // disk was the trouble); returns kExitNoAnswer.
    int GateFailed(const hx::GateResult& gate) const;
    // Says so (once) when the drive's last whole-set write did not finish,
    // and which backup holds the values from before it; OpenLink calls it.
    void ReportUnfinishedWrite(uint8_t station) const;

    // One line on stderr ("halvex-cli: " + message); returns code.
    int Fail(const std::string& message, int code) const;
    // "halvex-cli: station S: what failed: why" (no answer, a damaged reply,
    // the drive's refusal); returns kExitNoAnswer.
    int NoAnswer(const std::string& what) const;
    // The station a settings file's DriveNo names: 1..247, else 63.
    static int StationFromSettings(const std::string& text);
    // "halvex-cli: " + message + " (try --help)"; returns kExitUsage.
    int Usage(const std::string& message) const;

    // A whole decimal or 0x-hexadecimal number, optionally signed; nullopt otherwise.
    static std::optional<long> ParseNumber(const std::string& text);
    // A register address 0..65535.
    static std::optional<uint16_t> ParseAddress(const std::string& text);

private:
    CliOptions m_options;
    CQXCOM& m_comm;
    std::ostream& m_out;
    std::ostream& m_err;
    mutable std::optional<bool> m_opened;
};
