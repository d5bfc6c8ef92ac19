#include "core/app/BusOverview.h"

#include <map>
#include <set>
#include <memory>
#include <thread>

#include "core/app/DriveConnection.h"
#include "core/link/CQXCOM.h"
#include "core/link/DriveHandle.h"
#include "core/link/PortResolver.h"
#include "core/params/CParameter.h"
#include "core/params/DriveDefinitions.h"
#include "core/params/ReadAllJob.h"
#include "core/protocol/Registers.h"

namespace hx {
namespace {

// The port's own link, opened with the request's settings; null when it
// would not open (the reason reported).
std::unique_ptr<CQXCOM> OpenPort(const std::string& port, const BusScanRequest& settings,
                                 const BusScanCallbacks& callbacks) {
    auto comm = std::make_unique<CQXCOM>();
    comm->ConfigCom(port, settings.baud, "8", "NONE", "2");
    if (!comm->OpenCom()) {
        if (callbacks.portFailed) callbacks.portFailed(port, comm->LastErrorText());
        return nullptr;
    }
    comm->SetCurrentUseMode(1);
    comm->SetReceiveTimeOut(settings.receiveTimeOut);
    return comm;
}

void ReadAlarm(CQXCOM& comm, BusDrive& drive) {
    DriveHandle handle(&comm, static_cast<uint8_t>(drive.station));
    const auto alarm = handle.Read(reg::kCurrentAlarm);
    drive.alarm = alarm ? std::optional<int>(*alarm) : std::nullopt;
}

void ScanPort(const std::string& port, const BusScanRequest& request, const BusScanCallbacks& callbacks,
              std::stop_token stop) {
    const auto comm = OpenPort(port, request, callbacks);
    if (!comm) return;
    std::vector<int> found;
    AskStations(*comm, request.firstStation, request.lastStation, request.pace, stop, [&](int s, bool answered) {
        if (answered) found.push_back(s);
        if (callbacks.searched) callbacks.searched(port, s, answered);
        return true;
    });
    for (int s : found) {
        if (stop.stop_requested()) break;
        BusDrive drive;
        drive.port = port;
        drive.station = s;
        drive.identity = ReadDriveIdentity(*comm, static_cast<uint8_t>(s));
        drive.identified = drive.identity.complete;
        ReadAlarm(*comm, drive);
        if (callbacks.drive) callbacks.drive(drive);
        if (!request.reference || !drive.identified) continue;
        CParameter table;
        RegisterModelTypes(drive.identity.driveModel, table);
        const TransferResult read =
            ReadAll(DriveHandle(comm.get(), static_cast<uint8_t>(s), drive.identity.firmwareVersion), table, stop);
        if (read.status == TransferStatus::Stopped) break;
        if (read.status != TransferStatus::Completed) {
            drive.reference = BusDrive::Reference::Unread;
        } else {
            drive.differences = CountSettingDifferences(*request.reference, table, drive.identity.driveModel);
            drive.reference = drive.differences == 0 ? BusDrive::Reference::Same : BusDrive::Reference::Differs;
        }
        if (callbacks.drive) callbacks.drive(drive);
    }
    comm->CloseCom();
}

void RefreshPort(const std::string& port, std::vector<BusDrive> drives, const BusScanRequest& settings,
                 const BusScanCallbacks& callbacks, std::stop_token stop) {
    const auto comm = OpenPort(port, settings, callbacks);
    if (!comm) return;
    for (BusDrive& drive : drives) {
        if (stop.stop_requested()) break;
        ReadAlarm(*comm, drive);
        if (callbacks.drive) callbacks.drive(drive);
    }
    comm->CloseCom();
}

// Runs portWork for each port on a worker of its own and waits for all.
template <class Work>
bool EachPortAtOnce(const std::vector<std::string>& ports, std::stop_token stop, Work portWork) {
    {
        std::vector<std::jthread> workers;
        for (const std::string& port : ports) workers.emplace_back([&, port] { portWork(port, stop); });
    }
    return stop.stop_requested();
}

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

PortFailure ClassifyPortFailure(const std::string& port, const std::string& reason) {
    if (!PortResolver::DevicePresent(port)) return PortFailure::Missing;
    if (Contains(reason, "in use by another program") || Contains(reason, "busy")) return PortFailure::Busy;
    if (Contains(reason, "Permission denied")) return PortFailure::NoPermission;
    return PortFailure::Other;
}

int CountSettingDifferences(const ParameterFileContents& reference, const CParameter& drive,
                            const std::string& driveModel) {
    CParameter file;
    RegisterModelTypes(driveModel, file);
    ApplyToTable(reference, file);
    // Only the low 16 bits of a slot are the drive's word (a 32-bit value
    // set from a file keeps all of it in its low slot); the high word of a
    // 32-bit parameter sits at the address before it and counts with it.
    std::set<uint16_t> differing;
    for (const auto& [address, ignored] : reference.values) {
        if (!IsSettingRegister(address) || (file.Slot(address) & 0xFFFF) == (drive.Slot(address) & 0xFFFF)) continue;
        const auto next = static_cast<uint16_t>(address + 1);
        differing.insert(file.IsInt(next) && CParameter::IsParameterAddress(next) ? next : address);
    }
    return static_cast<int>(differing.size());
}

bool BusScanJob::scan(BusScanRequest request, BusScanCallbacks callbacks) {
    return run<bool>(
        [request = std::move(request), callbacks](std::stop_token stop) {
            if (request.closeFirst) request.closeFirst->CloseCom();
            return EachPortAtOnce(request.ports, stop, [&](const std::string& port, std::stop_token s) {
                ScanPort(port, request, callbacks, s);
            });
        },
        [callbacks](const bool& stopped) {
            if (callbacks.finished) callbacks.finished(stopped);
        });
}

bool BusScanJob::refreshAlarms(std::vector<BusDrive> drives, BusScanRequest link, BusScanCallbacks callbacks) {
    std::map<std::string, std::vector<BusDrive>> byPort;
    for (BusDrive& d : drives) byPort[d.port].push_back(std::move(d));
    link.ports.clear();
    for (const auto& [port, ignored] : byPort) link.ports.push_back(port);
    return run<bool>(
        [byPort = std::move(byPort), link = std::move(link), callbacks](std::stop_token stop) {
            return EachPortAtOnce(link.ports, stop, [&](const std::string& port, std::stop_token s) {
                RefreshPort(port, byPort.at(port), link, callbacks, s);
            });
        },
        [callbacks](const bool& stopped) {
            if (callbacks.finished) callbacks.finished(stopped);
        });
}

}  // namespace hx
