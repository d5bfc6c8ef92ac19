#pragma once
// A simulated drive served in this process over a real pseudo-terminal (or
// Modbus TCP on loopback), so tests and `halvex --simulate` cross the real
// wire format. Stops and joins its server thread on destruction.

#include <cstdint>
#include <memory>
#include <string>

#include "sim/DriveOptions.h"

namespace hx::sim {

class VirtualDrive;
class DriveServer;
class DriveBus;

class InProcessDrive {
public:
    // Serves on a new pseudo-terminal; linkPath, when given, becomes a symlink
    // to it. With options.stations, serves a drive at each of them.
    explicit InProcessDrive(DriveOptions options = {}, const std::string& linkPath = {});
    ~InProcessDrive();

    // The slave side of the pseudo-terminal, e.g. "/dev/pts/7".
    std::string DevicePath() const;
    // The TCP port when DriveOptions.tcpListen was given, else 0.
    uint16_t TcpPort() const;
    // The drive (the first of a bus); the drive at a station of the bus
    // (throws std::out_of_range for a station nobody answers).
    VirtualDrive& Drive();
    VirtualDrive& Drive(uint8_t station);
    DriveServer& Server();

private:
    std::unique_ptr<DriveBus> m_bus;
    std::unique_ptr<DriveServer> m_server;
};

}  // namespace hx::sim
