#include "core/link/ModbusTcpTransport.h"

#include <modbus/modbus.h>

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>

namespace hx {

ModbusTcpTransport::ModbusTcpTransport(std::string host, int port) : m_host(std::move(host)), m_port(port) {}

ModbusTcpTransport::~ModbusTcpTransport() { Close(); }

std::string ModbusTcpTransport::Describe() const { return "tcp:" + m_host + ":" + std::to_string(m_port); }

modbus_t* ModbusTcpTransport::CreateContext() {
    const std::string service = std::to_string(m_port);
    // The library reports a host it cannot resolve as "Connection refused",
    // which sends the user looking at the gateway instead of the name.
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(m_host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        SetError(LinkError::NoDevice, "cannot resolve host \"" + m_host + "\": " + ::gai_strerror(rc));
        return nullptr;
    }
    ::freeaddrinfo(found);
    modbus_t* ctx = modbus_new_tcp_pi(m_host.c_str(), service.c_str());
    if (!ctx) {
        SetError(LinkError::OpenFailed, std::string("invalid address: ") + modbus_strerror(errno));
        return nullptr;
    }
    m_lost = false;
    return ctx;
}

void ModbusTcpTransport::BeforeSend(modbus_t* ctx, uint8_t /*station*/, int /*requestBytes*/) {
    // A gateway that dropped the connection gets one new attempt per request.
    if (m_lost) {
        modbus_close(ctx);
        if (modbus_connect(ctx) == 0) m_lost = false;
    }
    if (!m_lost) modbus_flush(ctx);
}

void ModbusTcpTransport::OnConnectionLost(modbus_t* /*ctx*/) { m_lost = true; }

}  // namespace hx
