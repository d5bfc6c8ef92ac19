#include "sim/InProcessDrive.h"

#include "sim/DriveBus.h"
#include "sim/DriveServer.h"
#include "sim/VirtualDrive.h"

namespace hx::sim {
InProcessDrive::InProcessDrive(DriveOptions options, const std::string& linkPath)
    : m_bus(std::make_unique<DriveBus>(options)), m_server(std::make_unique<DriveServer>(m_bus->Drives(), options)) {
    m_server->OpenPty(linkPath);
    if (!options.tcpListen.empty()) {
        auto [host, port] = ParseHostPort(options.tcpListen);
        m_server->ListenTcp(host, port);
    }
    m_server->Start();
}

InProcessDrive::~InProcessDrive() {
    // The server goes first: it uses the drives.
    m_server.reset();
    m_bus.reset();
}

std::string InProcessDrive::DevicePath() const { return m_server->DevicePath(); }
uint16_t InProcessDrive::TcpPort() const { return m_server->TcpPort(); }
VirtualDrive& InProcessDrive::Drive() { return *m_bus->Drives().front(); }
VirtualDrive& InProcessDrive::Drive(uint8_t station) { return m_bus->At(station); }
DriveServer& InProcessDrive::Server() { return *m_server; }

}  // namespace hx::sim
