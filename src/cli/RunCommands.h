#pragma once
// The `run ...` commands of halvex-cli: a velocity trapezoid or the
// current-loop test with a capture, and the stop of both.

#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/runtest/RunCapture.h"
#include "core/runtest/RunFields.h"

class CliContext;
class CliCommands;

// args: the words after "run". Returns the exit status.
int RunRunCommand(const CliContext& ctx, const std::vector<std::string>& args);

// Registers "run velocity", "run torque" and "run stop"; their options are
// read by the run command itself, as the pages check them.
void AddRunCommands(CliCommands& commands);

// What the run commands share with the tuning commands, which run the same
// trapezoid.
namespace runcli {

// A run ended by Ctrl+C (or a TERM) after the motor was stopped.
inline constexpr int kExitInterrupted = 130;

// "--name VALUE" / "--name=VALUE" options of a run command, each at most once.
class RunOptions {
public:
    // Fails with a usage message for an unknown option or a missing value.
    std::optional<std::string> Parse(const std::vector<std::string>& args, size_t first,
                                     const std::vector<std::string>& known) {
        for (size_t i = first; i < args.size(); ++i) {
            std::string name = args[i], value;
            const auto eq = name.find('=');
            bool inlineValue = false;
            if (eq != std::string::npos && name.rfind("--", 0) == 0) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                inlineValue = true;
            }
            bool ok = false;
            for (const auto& k : known) ok = ok || k == name;
            // Every option the whole command line shares (main.cpp's link
            // options): after "run" the words are the run's own.
            for (const char* link : {"--port", "--baud", "--station", "--stations", "--timeout", "--late-horizon-ms",
                                     "--trace", "--no-backup", "--summary-json"})
                if (!ok && name == link) return name + " is a link option: give it before \"run\"";
            if (!ok) return "unknown option " + args[i];
            if (!inlineValue && name == "--detach") {
                m_values[name] = "1";  // a switch: no value
                continue;
            }
            if (!inlineValue) {
                if (i + 1 >= args.size()) return name + " needs a value";
                value = args[++i];
            }
            m_values[name] = value;
        }
        return std::nullopt;
    }
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    const std::string& Value(const std::string& name) const { return m_values.at(name); }

private:
    std::map<std::string, std::string> m_values;
};

struct NumberOption {
    const char* name;
    long lo, hi;
    long* out;
};

std::optional<std::string> TakeNumbers(const RunOptions& o, std::initializer_list<NumberOption> list);

// The trapezoid and interval options of "run velocity".
inline const std::vector<std::string> kVelocityOptions = {"--speed",          "--distance",  "--accel",
                                                          "--dwell",          "--runs",      "--back-and-forth",
                                                          "--direction",      "--interval"};
// Takes them into fields (which hold the defaults) and checks them as the
// velocity page does; kExitOk or the usage status after its message.
int TakeVelocityFields(const CliContext& ctx, const RunOptions& o, hx::runtest::VelocityFields* fields);

// "%.*f" without a "-0".
std::string Fixed(double v, int decimals);
// The points list's entry asked for with --points, or its last (largest).
std::optional<int> ChoosePoints(const CliContext& ctx, const RunOptions& o, int activeChannels, float firmware,
                                std::string* error);
// The run under the one guarded-motion path: checked, armed, started and
// captured; report(outcome) prints what the capture shows; then the tool
// follows the motion to its end (or leaves it running with detach). A
// signal of Ctrl+C, kill, hang-up or quit stops it. Exit status: report's
// when the motion ended as asked, 1 when it was cut short or could not be
// stopped for sure, 130 when interrupted.
int RunGuarded(const CliContext& ctx, const hx::runtest::RunRequest& request, bool detach, const std::string& what,
               const std::function<int(const hx::runtest::RunOutcome&)>& report);
int ReportFailure(const CliContext& ctx, const hx::runtest::RunOutcome& out);
float DriveFirmware(const CliContext& ctx);

}  // namespace runcli
