#include "sim/DriveBus.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "sim/VirtualDrive.h"

namespace hx::sim {

std::vector<DriveOptions> DriveOptionsPerStation(const DriveOptions& options) {
    if (options.stations.empty()) return {options};
    std::vector<uint8_t> stations = options.stations;
    std::sort(stations.begin(), stations.end());
    stations.erase(std::unique(stations.begin(), stations.end()), stations.end());
    std::vector<DriveOptions> all;
    for (uint8_t station : stations) {
        DriveOptions one = options;
        one.stations.clear();
        one.station = station;
        one.stateSection = station;
        one.seed = options.seed + station;
        all.push_back(std::move(one));
    }
    return all;
}

DriveBus::DriveBus(const DriveOptions& options) {
    for (const DriveOptions& one : DriveOptionsPerStation(options)) {
        m_drives.push_back(std::make_unique<VirtualDrive>(one));
        m_view.push_back(m_drives.back().get());
    }
}

DriveBus::~DriveBus() = default;

VirtualDrive& DriveBus::At(uint8_t station) const {
    for (VirtualDrive* d : m_view)
        if (d->Options().station == station) return *d;
    throw std::out_of_range("no simulated drive at station " + std::to_string(station));
}

bool DriveBus::FinishAndSave() {
    bool saved = true;
    for (VirtualDrive* d : m_view) {
        d->FinishPendingCommands();
        if (!d->SaveState()) saved = false;
    }
    return saved;
}

}  // namespace hx::sim
