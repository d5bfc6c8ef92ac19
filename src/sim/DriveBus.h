#pragma once
// The drives on one line: a multi-drop RS-485 line (or the serial side of a
// gateway) carries one drive per axis, each at its own station. A bus owns
// one VirtualDrive per station, each with its own parameters, motor, alarms
// and section of the state file; DriveServer answers for the station a
// request names and leaves every other station silent.

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/DriveOptions.h"

namespace hx::sim {

class VirtualDrive;

class DriveBus {
public:
    // One drive at options.station, or one per options.stations. Each drive
    // of a bus gets the station's section of the state file and a seed of
    // its own, so two motors never make the same noise. Throws as
    // VirtualDrive does.
    explicit DriveBus(const DriveOptions& options);
    ~DriveBus();
    DriveBus(const DriveBus&) = delete;
    DriveBus& operator=(const DriveBus&) = delete;

    // In station order.
    const std::vector<VirtualDrive*>& Drives() const { return m_view; }
    // Throws std::out_of_range for a station no drive of the bus has.
    VirtualDrive& At(uint8_t station) const;

    // At exit: every drive finishes its running storage command and writes
    // its state; false when a state could not be written (the reasons are
    // in each drive's LastStateError()).
    bool FinishAndSave();

private:
    std::vector<std::unique_ptr<VirtualDrive>> m_drives;
    std::vector<VirtualDrive*> m_view;
};

// The options of each drive of the bus the options describe.
std::vector<DriveOptions> DriveOptionsPerStation(const DriveOptions& options);

}  // namespace hx::sim
