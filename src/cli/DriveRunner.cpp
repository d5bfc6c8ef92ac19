#include "cli/DriveRunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <mutex>
#include <set>
#include <sstream>
#include <streambuf>
#include <thread>

#include "cli/CliContext.h"
#include "core/link/CQXCOM.h"
#include "core/link/FrameTrace.h"
#include "core/util/AtomicFile.h"

namespace {

using Clock = std::chrono::steady_clock;

// Standard output and error are shared by the workers of all ports.
std::mutex g_streams;

// Lines written to it reach the target whole, each behind the drive's
// prefix; a line redrawn in place (ended by '\r', a progress bar) is dropped
// for the next one.
class PrefixedLines : public std::streambuf {
public:
    PrefixedLines(std::ostream& target, std::string prefix) : m_target(target), m_prefix(std::move(prefix)) {}
    ~PrefixedLines() override {
        if (!m_line.empty()) Emit();
    }

protected:
    int overflow(int c) override {
        if (c == traits_type::eof()) return 0;
        if (c == '\n') Emit();
        else if (c == '\r') m_line.clear();
        else m_line.push_back(static_cast<char>(c));
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) overflow(static_cast<unsigned char>(s[i]));
        return n;
    }

private:
    void Emit() {
        std::lock_guard lock(g_streams);
        m_target << m_prefix << m_line << '\n';
        m_target.flush();
        m_line.clear();
    }

    std::ostream& m_target;
    std::string m_prefix;
    std::string m_line;
};

std::string Where(const std::string& port, int station) { return port + " station " + std::to_string(station); }

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", s);
    return text;
}

// The drives of one port, in turn, on the port's own link.
void RunPort(const CliContext& many, const std::string& port, const std::vector<int>& stations,
             const DriveAction& action, const std::string* output, DriveRunResult* results) {
    const CliOptions& o = many.Options();
    CQXCOM comm;
    comm.ConfigCom(port, std::to_string(o.baud), "8", "NONE", "2");
    comm.SetReceiveTimeOut(static_cast<uint16_t>(o.timeoutMs));
    comm.SetLateHorizon(static_cast<uint32_t>(o.lateHorizonMs));
    if (o.trace) comm.SetTrace(std::make_shared<hx::FrameTrace>(stderr));
    const bool opened = comm.OpenCom() != 0;
    const std::string openError = opened ? std::string() : "cannot open " + port + ": " + comm.LastErrorText();
    if (opened) comm.SetCurrentUseMode(1);

    for (size_t i = 0; i < stations.size(); ++i) {
        DriveRunResult& r = results[i];
        r.port = port;
        r.station = stations[i];
        const auto start = Clock::now();
        std::ostringstream out;
        {
            std::string prefix = "[";
            prefix += Where(port, r.station);
            prefix += "] ";
            PrefixedLines errLines(std::cerr, prefix);
            std::ostream err(&errLines);
            if (!opened) {
                r.status = kExitNoAnswer;
                r.message = openError;
                err << "halvex-cli: " << openError << '\n';
            } else {
                CliContext drive(many, port, r.station, comm, out, err);
                try {
                    // Each drive as one alone: a run left behind on it is stopped first.
                    drive.PutBackLeftRun();
                    int status = kExitOk;
                    if (const hx::DriveIdentity* identity = drive.Identify(&status)) {
                        r.model = identity->productModel;
                        status = action(drive);
                    }
                    r.status = status;
                } catch (const std::exception& e) {
                    // Whatever went wrong with one drive, the next still gets its turn.
                    r.status = kExitNoAnswer;
                    drive.Fail(std::string("failed: ") + e.what(), kExitNoAnswer);
                }
                r.message = r.status == kExitOk ? std::string() : drive.LastFailure();
                if (r.status != kExitOk && r.message.empty()) r.message = "exit status " + std::to_string(r.status);
                if (output && !output->empty() && r.status == kExitOk) r.output = drive.Expand(*output);
            }
        }
        r.ok = r.status == kExitOk;
        r.seconds = std::chrono::duration<double>(Clock::now() - start).count();

        std::lock_guard lock(g_streams);
        const std::string text = out.str();
        if (!text.empty()) {
            std::ostream& stdOut = many.Out();
            stdOut << "== " << Where(port, r.station) << " ==\n" << text;
            if (text.back() != '\n') stdOut << '\n';
            stdOut.flush();
        }
        // Why it failed is on the lines just above.
        std::cerr << "[" << Where(port, r.station) << "] " << (r.ok ? "ok" : "failed") << " in "
                  << Seconds(r.seconds) << " s\n";
        std::cerr.flush();
    }
    comm.CloseCom();
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\u%04x", c);
                out += esc;
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

}  // namespace

std::string FormatSummaryTable(const std::vector<DriveRunResult>& results) {
    size_t portWidth = 4, modelWidth = 5;
    for (const auto& r : results) {
        portWidth = std::max(portWidth, r.port.size());
        modelWidth = std::max(modelWidth, r.model.empty() ? 1 : r.model.size());
    }
    auto pad = [](std::string text, size_t width) {
        text.resize(std::max(width, text.size()), ' ');
        return text;
    };
    std::string table = pad("port", portWidth) + "  station  " + pad("model", modelWidth) + "  result  time\n";
    int succeeded = 0;
    for (const auto& r : results) {
        char station[16];
        std::snprintf(station, sizeof station, "%7d", r.station);
        table += pad(r.port, portWidth) + "  " + station + "  " + pad(r.model.empty() ? "-" : r.model, modelWidth) +
                 "  " + (r.ok ? "ok    " : "failed") + "  " + Seconds(r.seconds) + " s" +
                 (r.ok ? "" : "  " + r.message) + "\n";
        if (r.ok) ++succeeded;
    }
    table += std::to_string(succeeded) + " of " + std::to_string(results.size()) + " drives succeeded.\n";
    return table;
}

std::string FormatSummaryJson(const std::vector<std::string>& arguments, const std::vector<DriveRunResult>& results,
                              double seconds) {
    std::string json = "{\n  \"format\": \"halvex-cli summary\",\n  \"version\": 1,\n  \"arguments\": [";
    for (size_t i = 0; i < arguments.size(); ++i) json += (i ? ", " : "") + JsonString(arguments[i]);
    const auto failed = std::count_if(results.begin(), results.end(), [](const auto& r) { return !r.ok; });
    json += "],\n  \"drives\": " + std::to_string(results.size()) + ",\n  \"failed\": " + std::to_string(failed) +
            ",\n  \"seconds\": " + Seconds(seconds) + ",\n  \"results\": [\n";
    for (size_t i = 0; i < results.size(); ++i) {
        const auto& r = results[i];
        json += "    {\"port\": " + JsonString(r.port) + ", \"station\": " + std::to_string(r.station) +
                ", \"model\": " + JsonString(r.model) + ", \"result\": " + (r.ok ? "\"ok\"" : "\"failed\"") +
                ", \"seconds\": " + Seconds(r.seconds) + ", \"output\": " + JsonString(r.output) +
                ", \"message\": " + JsonString(r.message) + "}" + (i + 1 < results.size() ? "," : "") + "\n";
    }
    json += "  ]\n}\n";
    return json;
}

int RunOnDrives(const CliContext& ctx, const DriveAction& action, const std::string* output) {
    const CliOptions& o = ctx.Options();
    const std::vector<std::string> ports = o.ports.empty() ? std::vector<std::string>{o.port} : o.ports;
    const std::vector<int> stations = o.stations.empty() ? std::vector<int>{o.station} : o.stations;
    if (std::set<std::string>(ports.begin(), ports.end()).size() != ports.size())
        return ctx.Usage("a port is named twice with --port");
    if (std::find(stations.begin(), stations.end(), 0) != stations.end())
        return ctx.Usage("station 0 is the broadcast address: no drive answers it");
    // One file per drive, or the drives would write over each other's.
    if (output && !output->empty() && ports.size() * stations.size() > 1) {
        std::set<std::string> names;
        for (const auto& port : ports)
            for (int station : stations) names.insert(CliContext::ExpandName(*output, port, station));
        if (names.size() != ports.size() * stations.size())
            return ctx.Usage(*output + " names the same file for several drives; put {station}" +
                             std::string(ports.size() > 1 ? " and {port}" : "") + " in it");
    }

    const auto start = Clock::now();
    std::vector<DriveRunResult> results(ports.size() * stations.size());
    {
        std::vector<std::jthread> workers;
        for (size_t p = 0; p < ports.size(); ++p)
            workers.emplace_back(
                [&, p] { RunPort(ctx, ports[p], stations, action, output, results.data() + p * stations.size()); });
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    ctx.Out() << FormatSummaryTable(results);
    ctx.Out().flush();
    int status = kExitOk;
    if (!o.summaryJson.empty()) {
        int err = 0;
        if (!hx::WriteFileAtomically(o.summaryJson, FormatSummaryJson(ctx.Arguments(), results, seconds), nullptr,
                                     &err))
            status = ctx.Fail("cannot write the summary " + o.summaryJson + ": " + hx::FileErrorText(err), kExitNoAnswer);
    }
    std::string failed;
    int failures = 0;
    for (const auto& r : results)
        if (!r.ok) {
            failed += (failures++ ? ", " : "") + Where(r.port, r.station);
        }
    if (failures == 0) return status;
    // The same mistake for every drive is the command line's, not theirs.
    if (std::all_of(results.begin(), results.end(), [](const auto& r) { return r.status == kExitUsage; }))
        return kExitUsage;
    ctx.Fail(std::to_string(failures) + " of " + std::to_string(results.size()) + " drives failed: " + failed,
             kExitNoAnswer);
    return kExitNoAnswer;
}
