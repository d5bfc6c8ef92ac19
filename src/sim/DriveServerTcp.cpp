// The drive server's Modbus TCP side: a listening socket, a few clients,
// and each request answered at the pace of a gateway's serial line.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "core/link/ModbusFrame.h"
#include "sim/DriveServer.h"
#include "sim/ModbusPdu.h"
#include "sim/VirtualDrive.h"

namespace hx::sim {
uint16_t DriveServer::ListenTcp(const std::string& host, uint16_t port) {
    if (m_listen >= 0) throw std::runtime_error("already listening");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    int rc = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &list);
    if (rc != 0) throw std::runtime_error("cannot resolve " + host + ": " + ::gai_strerror(rc));
    std::string lastError = "no address";
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) == 0 && ::listen(fd, 8) == 0) {
            m_listen = fd;
            break;
        }
        lastError = std::strerror(errno);
        ::close(fd);
    }
    ::freeaddrinfo(list);
    if (m_listen < 0) throw std::runtime_error("cannot listen on " + host + ":" + service + ": " + lastError);
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    if (addr.ss_family == AF_INET)
        m_tcpPort = ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    else if (addr.ss_family == AF_INET6)
        m_tcpPort = ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return m_tcpPort;
}

std::pair<std::string, uint16_t> ParseHostPort(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) throw std::invalid_argument("expected HOST:PORT, got \"" + text + "\"");
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    const std::string port = text.substr(colon + 1);
    size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(port, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (port.empty() || used != port.size() || value > 65535)
        throw std::invalid_argument("bad port in \"" + text + "\"");
    return {host.empty() ? "127.0.0.1" : host, static_cast<uint16_t>(value)};
}

void DriveServer::AcceptTcp() {
    for (;;) {
        int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (m_clients.size() >= kMaxTcpClients) {
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_clients.push_back({fd, {}});
    }
}

void DriveServer::CloseTcp(TcpClient& client) {
    if (client.fd >= 0) ::close(client.fd);
    client.fd = -1;
}

bool DriveServer::ReadTcp(TcpClient& client) {
    uint8_t buf[1024];
    bool closed = false;
    for (;;) {
        ssize_t n = ::recv(client.fd, buf, sizeof buf, 0);
        if (n > 0) {
            client.buffer.insert(client.buffer.end(), buf, buf + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closed = true;
        break;
    }
    const auto seen = Clock::now();
    auto& b = client.buffer;
    while (b.size() >= 7) {
        const uint16_t protocol = hx::WordAt(&b[2]), length = hx::WordAt(&b[4]);
        if (protocol != 0 || length < 2 || length > 254) return false;  // not Modbus: hang up
        if (b.size() < 6u + length) break;
        const uint8_t unit = b[6];
        std::vector<uint8_t> pdu(b.begin() + 7, b.begin() + 6 + length);
        std::vector<uint8_t> header(b.begin(), b.begin() + 7);
        b.erase(b.begin(), b.begin() + 6 + length);

        VirtualDrive* drive = nullptr;
        uint8_t own = unit;
        std::vector<VirtualDrive*> everyone;
        {
            std::lock_guard lock(m_mutex);
            ++m_stats.framesReceived;
            if (unit == 0) {
                ++m_stats.broadcasts;
                everyone = AllDrives();
            } else if (unit == 0xFF && m_drives.size() == 1) {
                // The "this device" unit id of a directly attached drive; a
                // gateway with several drives behind it has no such one.
                own = m_drives.begin()->first;
                drive = m_drives.begin()->second;
            } else if (!(drive = DriveAt(unit))) {
                ++m_stats.otherStation;
            }
        }
        if (unit == 0) {
            if (IsWriteFunction(pdu[0]))
                for (VirtualDrive* d : everyone) ExecutePdu(*d, 0, pdu.data(), pdu.size());
            continue;
        }
        if (!drive) continue;
        if (DecideDrop()) continue;
        auto replyPdu = ExecutePdu(*drive, own, pdu.data(), pdu.size());
        {
            // Carried out, but the gateway says the drive never answered: its reply was lost behind it.
            std::lock_guard lock(m_mutex);
            if (m_gatewayLossRate > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < m_gatewayLossRate)
                replyPdu = {static_cast<uint8_t>(pdu[0] | 0x80), 0x0B};
        }
        std::vector<uint8_t> reply(header.begin(), header.begin() + 4);
        const auto replyLength = static_cast<uint16_t>(replyPdu.size() + 1);
        reply.push_back(static_cast<uint8_t>(replyLength >> 8));
        reply.push_back(static_cast<uint8_t>(replyLength & 0xFF));
        reply.push_back(unit);
        reply.insert(reply.end(), replyPdu.begin(), replyPdu.end());
        // Paced as the serial side of a gateway would be: station, PDU, CRC.
        if (!SendPaced(client.fd, false, reply, seen, pdu.size() + 3, replyPdu.size() + 3)) return false;
        std::lock_guard lock(m_mutex);
        ++m_stats.repliesSent;
    }
    return !closed;
}

}  // namespace hx::sim
