#pragma once
// What every halvex-cli command gets: the options, the drive link (the
// program-wide theComm, configured from the options and opened on first
// use), the output streams and a few helpers for arguments and failures.
//
// A command that works on many drives (DriveRunner.h) runs once per drive,
// each time with the context of that one drive: its port's own link, its
// station, its own parameter table and output, and file names with the
// drive's {port} and {station} filled in.

#include <cstdint>
#include <future>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/DriveHandle.h"
#include "core/link/DriveIdentity.h"

class CQXCOM;
class CParameter;
namespace hx {
class ChangeGate;
struct GateResult;
struct PrepareOptions;
}

// Exit statuses of halvex-cli.
enum CliExit : int {
    kExitOk = 0,
    kExitNoAnswer = 1,   // the drive did not answer (or a check failed); with many drives: any drive failed
    kExitUsage = 2,      // bad command line
    kExitPortError = 3,  // the port could not be opened
};

struct CliOptions {
    std::string port = "COM1";       // "COM1".., a device path or "tcp:HOST:PORT"
    std::vector<std::string> ports;  // every --port given, in order (several: one worker each)
    int baud = 38400;
    int station = 63;                // default: Drive/DriveNo of the settings file
    std::vector<int> stations;       // --stations: the stations on every port, ascending
    int timeoutMs = 100;             // reply time-out
    int lateHorizonMs = 0;           // how long a late reply may still come; 0: the link's rule
    std::string summaryJson;         // --summary-json: where the summary of many drives goes
    bool noBackup = false;           // write without the backup the change gate takes first
    bool noJournal = false;          // write without recording the change in the journal
    bool trace = false;              // --trace: every request and reply on standard error
    // Fixed framing: no parity, 8 data bits, 2 stop bits.
};

class CliContext {
public:
    // gate: the program's change gate, where every change a command makes
    // to a drive goes through.
    CliContext(CliOptions options, CQXCOM& comm, hx::ChangeGate& gate, std::ostream& out, std::ostream& err);
    // The context of one drive of many: its port's link (opened already),
    // its station, its own output streams and parameter table.
    CliContext(const CliContext& many, const std::string& port, int station, CQXCOM& comm, std::ostream& out,
               std::ostream& err);
    ~CliContext();
    CliContext(const CliContext&) = delete;
    CliContext& operator=(const CliContext&) = delete;

    const CliOptions& Options() const { return m_options; }
    // For the command-line parser, which fills the options in place.
    CliOptions& MutableOptions() { return m_options; }
    const std::string& Port() const { return m_options.port; }
    uint8_t Station() const { return static_cast<uint8_t>(m_options.station); }
    std::ostream& Out() const { return m_out; }
    std::ostream& Err() const { return m_err; }

    // The words of the command line after the program's name.
    void SetArguments(std::vector<std::string> arguments) { m_arguments = std::move(arguments); }
    const std::vector<std::string>& Arguments() const { return m_arguments; }

    // Whether the line names many drives (--stations, several --port, or a
    // --summary-json to write): the command then runs once per drive.
    bool ManyDrives() const;
    // Whether this is the context of one drive of many.
    bool DriveOfMany() const { return m_driveOfMany; }

    // The link. Call OpenLink() before the first request.
    CQXCOM& Link() const { return m_comm; }
    // The change gate, told who the identified drive is.
    hx::ChangeGate& Gate() const;
    // Configures and opens the port once (later calls return the first
    // result), sets the reply time-out and g_station, and tells of an
    // unfinished write to the station (ReportUnfinishedWrite); a command that
    // only reads opens the change journal for it only when the write left its
    // mark (ChangeGate::MayHaveUnfinished). On failure prints
    // "halvex-cli: cannot open PORT: reason" on stderr.
    enum class LinkUse { MayChange, ReadOnly };
    bool OpenLink(LinkUse use = LinkUse::MayChange) const;
    // The drive at this station on the link, with its firmware once known.
    hx::DriveHandle Drive() const;
    // The same with the firmware the caller read itself.
    hx::DriveHandle Drive(float firmwareVersion) const { return hx::DriveHandle(&m_comm, Station(), firmwareVersion); }
    // Register 0 must answer, then the drive's identity is read, once per
    // drive (the runner of many drives reads it before the command). Null,
    // after saying why, with *status set, when the drive does not answer.
    const hx::DriveIdentity* Identify(int* status) const;
    // The table transfers fill: theParameterTable, or the drive's own.
    CParameter& Table() const;

    // A file name with {port} and {station} filled in for this drive; {port}
    // is the port name fit for a file name (PortForFileName).
    std::string Expand(const std::string& name) const;
    static std::string ExpandName(const std::string& name, const std::string& port, int station);
    // "tcp:10.0.0.5:502" -> "tcp-10.0.0.5-502", "/dev/ttyUSB0" -> "ttyUSB0":
    // "/dev/" left out, every character but letters, digits, '.', '_' and
    // '-' made '-', leading ones dropped.
    static std::string PortForFileName(const std::string& port);

    // Whether progress may be drawn as a bar in place: standard error is a
    // terminal and only one drive is worked on.
    bool ProgressOnTerminal() const;

    // What the change gate is told: --no-backup, --no-journal.
    hx::PrepareOptions GateOptions() const;
    // The gate's message on stderr (with the hint of --no-backup or
    // --no-journal when the disk was the trouble); returns kExitNoAnswer.
    int GateFailed(const hx::GateResult& gate) const;
    // A run this tool or the window left behind (killed, or the line broke)
    // may have left the drive's watchdog armed, its motion perhaps still
    // going: stopped and put back, and said, before anything else happens on
    // the drive. OpenLink calls it, and the runner of many drives for each.
    void PutBackLeftRun() const;
    // Says so (once) when the drive's last whole-set write did not finish,
    // and which backup holds the values from before it; OpenLink calls it.
    void ReportUnfinishedWrite(uint8_t station) const;

    // One line on stderr ("halvex-cli: " + message); returns code.
    int Fail(const std::string& message, int code) const;
    // "halvex-cli: station S: what failed: why" (no answer, a damaged reply,
    // the drive's refusal); returns kExitNoAnswer.
    int NoAnswer(const std::string& what) const;
    // The message of the last failure (a Fail with a nonzero code).
    const std::string& LastFailure() const { return m_lastFailure; }
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
    hx::ChangeGate& m_gate;
    std::ostream& m_out;
    std::ostream& m_err;
    std::vector<std::string> m_arguments;
    bool m_driveOfMany = false;
    mutable std::optional<bool> m_opened;
    mutable std::optional<hx::DriveIdentity> m_identity;
    // The model's display name, looked up in the database beside the link's
    // work (Identify) and handed to the gate when it is first asked for.
    mutable std::future<std::string> m_displayModel;
    mutable std::unique_ptr<CParameter> m_table;  // a drive of many only
    mutable std::string m_lastFailure;
};
