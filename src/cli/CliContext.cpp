#include "cli/CliContext.h"

#include <charconv>
#include <limits>
#include <ostream>

#include "core/Globals.h"
#include "core/backup/ChangeGate.h"
#include "core/link/CQXCOM.h"
#include "core/link/FrameTrace.h"
#include "core/params/CParameter.h"
#include "core/runtest/MotionGuard.h"
#include "core/settings/AppPaths.h"
#include "core/util/CommandLine.h"
#include "core/util/Text.h"
#include "core/util/TextProgress.h"

CliContext::CliContext(CliOptions options, CQXCOM& comm, hx::ChangeGate& gate, std::ostream& out, std::ostream& err)
    : m_options(std::move(options)), m_comm(comm), m_gate(gate), m_out(out), m_err(err) {}

CliContext::CliContext(const CliContext& many, const std::string& port, int station, CQXCOM& comm,
                       std::ostream& out, std::ostream& err)
    : m_options(many.m_options),
      m_comm(comm),
      m_gate(many.m_gate),
      m_out(out),
      m_err(err),
      m_arguments(many.m_arguments),
      m_driveOfMany(true),
      m_opened(true),
      m_table(std::make_unique<CParameter>()) {
    m_options.port = port;
    m_options.ports = {port};
    m_options.station = station;
    m_options.stations = {station};
}

CliContext::~CliContext() = default;

bool CliContext::ManyDrives() const {
    return !m_driveOfMany && (!m_options.stations.empty() || m_options.ports.size() > 1 || !m_options.summaryJson.empty());
}

bool CliContext::OpenLink(LinkUse use) const {
    if (m_opened) return *m_opened;
    m_comm.ConfigCom(m_options.port, std::to_string(m_options.baud), "8", "NONE", "2");
    m_comm.SetReceiveTimeOut(static_cast<uint16_t>(m_options.timeoutMs));
    m_comm.SetLateHorizon(static_cast<uint32_t>(m_options.lateHorizonMs));
    if (m_options.trace) m_comm.SetTrace(std::make_shared<hx::FrameTrace>(stderr));
    m_opened = m_comm.OpenCom() != 0;
    if (*m_opened) {
        m_comm.SetCurrentUseMode(1);
        g_station = Station();
        PutBackLeftRun();
        // Every command that talks to a drive hears of a write to it that
        // never finished; one that only reads opens the journal only when
        // the write's mark is there.
        if (Station() != 0 && (use == LinkUse::MayChange ||
                               m_gate.MayHaveUnfinished(m_comm.PortName(), Station())))
            ReportUnfinishedWrite(Station());
    } else {
        Fail("cannot open " + m_options.port + ": " + m_comm.LastErrorText(), kExitPortError);
    }
    return *m_opened;
}

void CliContext::PutBackLeftRun() const {
    // A note another running program holds is its run's, and left alone.
    if (Station() < 1 || Station() > 247) return;
    if (const auto left = hx::runtest::RestoreLeftWatchdog(hx::DriveHandle(&m_comm, Station()), m_comm.PortName()))
        Fail(hx::runtest::LeftWatchdogText(*left, "halvex-cli --port " + m_options.port + " --station " +
                                                      std::to_string(Station()) + " alarms clear"),
             0);
}

hx::DriveHandle CliContext::Drive() const {
    return hx::DriveHandle(&m_comm, Station(), m_identity ? m_identity->firmwareVersion : 100.0f);
}

const hx::DriveIdentity* CliContext::Identify(int* status) const {
    if (m_identity) return &*m_identity;
    if (!hx::DriveAnswers(m_comm, Station())) {
        *status = NoAnswer("read 0");
        return nullptr;
    }
    hx::DriveIdentity identity = hx::ReadDriveIdentity(m_comm, Station());
    if (!identity.complete) {
        *status = NoAnswer("identity");
        return nullptr;
    }
    m_identity = std::move(identity);
    // The change gate names this drive's backups and journal lines by the
    // model's display name: a database lookup that a command which only
    // reads never needs, so it runs beside the link's work. The database's
    // path is settled here first: finding it may copy the database into the
    // user's folder, which two threads must not do at once.
    hx::DatabasePath();
    m_displayModel = std::async(std::launch::async, hx::LookupDisplayModelFor, m_identity->productModel);
    return &*m_identity;
}

hx::ChangeGate& CliContext::Gate() const {
    if (m_displayModel.valid()) {
        const std::string display = m_displayModel.get();
        m_gate.Attach(
            Drive(m_identity->firmwareVersion),
            hx::DriveInfo{m_identity->productModel, m_identity->softVersionText, m_identity->driveModel,
                          display.empty() ? m_identity->productModel : display, m_identity->firmwareVersion});
    }
    return m_gate;
}

CParameter& CliContext::Table() const { return m_table ? *m_table : theParameterTable; }

std::string CliContext::PortForFileName(const std::string& port) {
    std::string name = port.rfind("/dev/", 0) == 0 ? port.substr(5) : port;
    for (char& c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '_' || c == '-';
        if (!keep) c = '-';
    }
    const auto first = name.find_first_not_of('-');
    return first == std::string::npos ? "port" : name.substr(first);
}

std::string CliContext::Expand(const std::string& name) const {
    return ExpandName(name, Port(), m_options.station);
}

std::string CliContext::ExpandName(const std::string& name, const std::string& port, int station) {
    std::string out;
    for (size_t i = 0; i < name.size();) {
        if (name.compare(i, 6, "{port}") == 0) {
            out += PortForFileName(port);
            i += 6;
        } else if (name.compare(i, 9, "{station}") == 0) {
            out += std::to_string(station);
            i += 9;
        } else {
            out += name[i++];
        }
    }
    return out;
}

bool CliContext::ProgressOnTerminal() const { return !m_driveOfMany && hx::TextProgress::StderrIsTerminal(); }

hx::PrepareOptions CliContext::GateOptions() const {
    hx::PrepareOptions options;
    options.withoutBackup = m_options.noBackup;
    options.withoutJournal = m_options.noJournal;
    return options;
}

int CliContext::GateFailed(const hx::GateResult& gate) const {
    std::string text = gate.message;
    for (char& c : text)
        if (c == '\n') c = ' ';
    if (gate.status == hx::GateResult::Status::BackupFailed) text += " (--no-backup writes without a backup)";
    if (gate.status == hx::GateResult::Status::JournalFailed)
        text += " (--no-journal writes without recording the change)";
    return Fail(text, kExitNoAnswer);
}

void CliContext::ReportUnfinishedWrite(uint8_t station) const {
    const auto unfinished = m_gate.TakeUnfinished(m_comm.PortName(), station);
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
    if (code != 0) m_lastFailure = message;
    m_err << "halvex-cli: " << message << '\n';
    m_err.flush();
    return code;
}

int CliContext::NoAnswer(const std::string& what) const {
    // Say what happened: silence, a damaged reply or a refusal are different
    // troubles on the line. A drive of many has its port and station in
    // front of every line already.
    // Each port has its own link and thread here, so the link's last
    // failure is this drive's.
    const std::string reason = m_comm.LastErrorText();
    return Fail((m_driveOfMany ? "" : "station " + std::to_string(m_options.station) + ": ") + what + " failed" +
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
