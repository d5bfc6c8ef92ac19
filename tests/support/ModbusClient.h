#pragma once
// A libmodbus client as the program's link uses it: RTU at 38400 8N2 on a
// device, or Modbus TCP to "tcp:127.0.0.1:PORT" on loopback.

#include <modbus/modbus.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace hx::test {

class ModbusClient {
public:
    ModbusClient(const std::string& where, int station, int timeoutMs = 500)
        : m_ctx(where.rfind("tcp:", 0) == 0 ? modbus_new_tcp("127.0.0.1", std::stoi(where.substr(where.rfind(':') + 1)))
                                            : modbus_new_rtu(where.c_str(), 38400, 'N', 8, 2)) {
        if (!m_ctx) throw std::runtime_error("modbus_new " + where);
        Station(station);
        Timeout(timeoutMs);
        modbus_set_error_recovery(m_ctx, MODBUS_ERROR_RECOVERY_PROTOCOL);
        if (modbus_connect(m_ctx) != 0) throw std::runtime_error("connect " + where + ": " + modbus_strerror(errno));
    }
    static ModbusClient Tcp(uint16_t port, int station, int timeoutMs = 500) {
        return ModbusClient("tcp:127.0.0.1:" + std::to_string(port), station, timeoutMs);
    }
    ModbusClient(const ModbusClient&) = delete;
    ~ModbusClient() {
        modbus_close(m_ctx);
        modbus_free(m_ctx);
    }
    modbus_t* operator*() const { return m_ctx; }
    void Station(int s) { modbus_set_slave(m_ctx, s); }
    void Timeout(int ms) { modbus_set_response_timeout(m_ctx, ms / 1000, (ms % 1000) * 1000); }
    int Read(int address) {
        uint16_t v = 0;
        return modbus_read_registers(m_ctx, address, 1, &v) == 1 ? v : -1;
    }
    bool Write(int address, uint16_t v) { return modbus_write_register(m_ctx, address, v) == 1; }

private:
    modbus_t* m_ctx;
};

}  // namespace hx::test
