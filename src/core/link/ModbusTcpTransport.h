#pragma once
// Modbus TCP to a serial-to-Ethernet gateway in front of the drive; the
// station number travels as the unit identifier.

#include <string>

#include "core/link/ModbusTransport.h"

namespace hx {

class ModbusTcpTransport : public ModbusTransport {
public:
    ModbusTcpTransport(std::string host, int port);
    ~ModbusTcpTransport() override;

    std::string Describe() const override;

protected:
    modbus_t* CreateContext() override;
    void BeforeSend(modbus_t* ctx, uint8_t station, int requestBytes) override;
    void OnConnectionLost(modbus_t* ctx) override;

private:
    std::string m_host;
    int m_port;
    bool m_lost = false;
};

}  // namespace hx
