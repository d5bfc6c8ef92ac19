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

class InProcessDrive {
public:
    // Serves on a new pseudo-terminal; linkPath, when given, becomes a symlink to it.
    explicit InProcessDrive(DriveOptions options = {}, const std::string& linkPath = {});
    ~InProcessDrive();

    // The slave side of the pseudo-terminal, e.g. "/dev/pts/7".
    std::string DevicePath() const;
    // The TCP port when DriveOptions.tcpListen was given, else 0.
    uint16_t TcpPort() const;
    VirtualDrive& Drive();
    DriveServer& Server();

private:
    std::unique_ptr<VirtualDrive> m_drive;
    std::unique_ptr<DriveServer> m_server;
};

}  // namespace hx::sim
