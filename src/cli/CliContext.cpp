#include "cli/CliContext.h"

#include <charconv>
#include <limits>
#include <ostream>

#include "core/Globals.h"
#include "core/backup/ChangeGate.h"
#include "core/link/CQXCOM.h"
#include "core/util/CommandLine.h"
#include "core/util/Text.h"

CliContext::CliContext(CliOptions options, CQXCOM& comm, std::ostream& out, std::ostream& err)
    : m_options(std::move(options)), m_comm(comm), m_out(out), m_err(err) {}

bool CliContext::OpenLink() const {
    if (m_opened) return *m_opened;
    m_comm.ConfigCom(m_options.port, std::to_string(m_options.baud), "8", "NONE", "2");
    m_comm.SetReceiveTimeOut(static_cast<uint16_t>(m_options.timeoutMs));
    m_opened = m_comm.OpenCom() != 0;
    if (*m_opened) {
        m_comm.SetCurrentUseMode(1);
        g_station = Station();
        // Every command that talks to a drive hears of a write to it that never finished.
        if (Station() != 0) ReportUnfinishedWrite(Station());
    } else {
        Fail("cannot open " + m_options.port + ": " + m_comm.LastErrorText(), kExitPortError);
    }
    return *m_opened;
}

hx::DriveHandle CliContext::Drive(float firmwareVersion) const {
    return hx::DriveHandle(&m_comm, Station(), firmwareVersion);
}

hx::PrepareOptions CliContext::GateOptions() const {
    hx::PrepareOptions options;
    options.withoutBackup = m_options.noBackup;
    return options;
}

int CliContext::GateFailed(const hx::GateResult& gate) const {
    std::string text = gate.message;
    for (char& c : text)
        if (c == '\n') c = ' ';
    if (gate.canGoOnWithout()) text += " (--no-backup writes without a backup)";
    return Fail(text, kExitNoAnswer);
}

void CliContext::ReportUnfinishedWrite(uint8_t station) const {
    const auto unfinished = hx::ChangeGate::Instance().TakeUnfinished(m_comm.PortName(), station);
    if (!unfinished) return;
    Fail("warning: " + hx::UnfinishedWriteText(*unfinished) + " (" + unfinished->what + ", " + unfinished->time + ")",
         0);
    if (unfinished->backup.empty()) {
        Fail("no backup was taken before it", 0);
        return;
    }
    Fail("the backup taken before it: " + unfinished->backup + "; to put it back: halvex-cli --port " +
             m_comm.PortName() + " --station " + std::to_string(station) + " params restore " + unfinished->backup,
         0);
}

int CliContext::Fail(const std::string& message, int code) const {
    m_err << "halvex-cli: " << message << '\n';
    m_err.flush();
    return code;
}

int CliContext::NoAnswer(const std::string& what) const {
    // Say what happened: silence, a damaged reply or a refusal are different
    // troubles on the line.
    std::string reason = m_comm.LastRequestErrorText();
    if (reason.empty()) reason = m_comm.LastErrorText();
    return Fail("station " + std::to_string(m_options.station) + ": " + what + " failed" +
                    (reason.empty() ? "" : ": " + reason),
                kExitNoAnswer);
}

int CliContext::StationFromSettings(const std::string& text) {
    // Station 0 is the broadcast address: every drive on the line would carry
    // out the request and none would answer. It is used only when asked for
    // on the command line; an empty, junk or 0 setting means "not set".
    const std::string t = hx::Trim(text);
    int value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || value < 1 || value > 247) return 63;
    return value;
}

int CliContext::Usage(const std::string& message) const { return Fail(message + " (try --help)", kExitUsage); }

std::optional<long> CliContext::ParseNumber(const std::string& text) {
    const auto n = hx::cmdline::ParseWholeNumber(text);
    if (!n || *n < std::numeric_limits<long>::min() || *n > std::numeric_limits<long>::max()) return std::nullopt;
    return static_cast<long>(*n);
}

std::optional<uint16_t> CliContext::ParseAddress(const std::string& text) {
    auto n = ParseNumber(text);
    if (!n || *n < 0 || *n > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(*n);
}
