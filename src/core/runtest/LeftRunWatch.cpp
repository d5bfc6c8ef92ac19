#include "core/runtest/LeftRunWatch.h"

#include <map>
#include <mutex>
#include <utility>

#include "core/link/BetweenRequests.h"
#include "core/link/CQXCOM.h"

namespace hx::runtest {
namespace {

std::mutex g_mutex;
std::map<std::pair<std::string, int>, std::chrono::steady_clock::time_point> g_nextLook;
LeftRunReport g_report;

}  // namespace

void OnLeftRunPutBack(LeftRunReport report) {
    std::lock_guard lock(g_mutex);
    g_report = std::move(report);
}

std::optional<LeftWatchdog> WatchLeftRun(DriveHandle drive, const GuardOptions& options) {
    if (!drive.comm() || drive.station() < 1 || drive.station() > 247) return std::nullopt;
    const std::string port = drive.comm()->PortName();
    LeftRunReport report;
    {
        std::lock_guard lock(g_mutex);
        const auto now = std::chrono::steady_clock::now();
        auto& next = g_nextLook[{port, drive.station()}];
        if (now < next) return std::nullopt;
        next = now + kLeftRunLook;
        report = g_report;
    }
    const auto left = RestoreLeftWatchdog(drive, port, options);
    if (left && report) report(port, drive.station(), *left);
    return left;
}

void WatchLeftRunsBetweenRequests() {
    SetBetweenRequestsLook([](DriveHandle drive) { WatchLeftRun(drive); });
}

}  // namespace hx::runtest
