#include "sim/DriveBus.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "sim/VirtualDrive.h"

namespace hx::sim {

std::vector<DriveOptions> DriveOptionsPerStation(const DriveOptions& options) {
    if (options.stations.empty()) {
        DriveOptions one = options;
        one.stationMachines.clear();
        for (const auto& [station, machine] : options.stationMachines) {
            if (station != options.station)
                throw std::invalid_argument("--machine names station " + std::to_string(station) +
                                            ", where the line has no drive");
            one.machine = machine;
        }
        return {one};
    }
    std::vector<uint8_t> stations = options.stations;
    std::sort(stations.begin(), stations.end());
    stations.erase(std::unique(stations.begin(), stations.end()), stations.end());
    for (const auto& [station, machine] : options.stationMachines)
        if (!std::binary_search(stations.begin(), stations.end(), station))
            throw std::invalid_argument("--machine names station " + std::to_string(station) +
                                        ", where the line has no drive");
    std::vector<DriveOptions> all;
    for (uint8_t station : stations) {
        DriveOptions one = options;
        one.stations.clear();
        one.stationMachines.clear();
        one.station = station;
        one.stateSection = station;
        one.seed = options.seed + station;
        // A seeded line: each drive its own machine, the first station's the
        // one the seed draws for a single drive.
        if (options.machineSeed) one.machineSeed = *options.machineSeed + (station - stations.front());
        if (const auto own = options.stationMachines.find(station); own != options.stationMachines.end())
            one.machine = own->second;
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
