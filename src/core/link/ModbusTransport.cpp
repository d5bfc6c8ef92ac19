#include "core/link/ModbusTransport.h"

#include <modbus/modbus.h>

#include "core/link/FrameTrace.h"

#include <cerrno>
#include <cstring>
#include <vector>

namespace hx {

const char* LinkErrorName(LinkError error) {
    switch (error) {
    case LinkError::None: return "no error";
    case LinkError::NotOpen: return "port not open";
    case LinkError::InvalidArgument: return "invalid request";
    case LinkError::NoDevice: return "no such device";
    case LinkError::PortBusy: return "port in use";
    case LinkError::OpenFailed: return "cannot open port";
    case LinkError::Timeout: return "no answer";
    case LinkError::BadFrame: return "bad reply";
    case LinkError::Exception: return "exception reply";
    case LinkError::IoError: return "connection broken";
    case LinkError::Repeated: return "reply repeated";
    }
    return "unknown";
}

ModbusTransport::~ModbusTransport() {
    // Subclasses close in their own destructors, while their hooks still exist.
    if (m_ctx) {
        modbus_close(m_ctx);
        modbus_free(m_ctx);
        m_ctx = nullptr;
    }
}

void ModbusTransport::SetError(LinkError error, const std::string& text, int exceptionCode) {
    m_error = error;
    m_errorText = text;
    m_exceptionCode = exceptionCode;
}

void ModbusTransport::SetErrorFromErrno(int err) { MapErrno(err); }

void ModbusTransport::MapErrno(int err) {
    const std::string text = modbus_strerror(err);
    if (err > MODBUS_ENOBASE && err < MODBUS_ENOBASE + MODBUS_EXCEPTION_MAX) {
        SetError(LinkError::Exception, text, err - MODBUS_ENOBASE);
        return;
    }
    switch (err) {
    case ETIMEDOUT:
        SetError(LinkError::Timeout, "no answer (time-out)");
        break;
    case EMBBADCRC:
    case EMBBADDATA:
    case EMBBADEXC:
    case EMBUNKEXC:
    case EMBBADSLAVE:
        SetError(LinkError::BadFrame, text);
        break;
    case EMBMDATA:
    case EINVAL:
        SetError(LinkError::InvalidArgument, text);
        break;
    default:
        SetError(LinkError::IoError, text);
        break;
    }
}

bool ModbusTransport::Open() {
    if (m_ctx) return true;
    modbus_t* ctx = CreateContext();
    if (!ctx) return false;
    // After a damaged or foreign reply, drop whatever else is in the input so
    // that the next request starts on a clean line.
    modbus_set_error_recovery(ctx, MODBUS_ERROR_RECOVERY_PROTOCOL);
    const auto ms = m_responseTimeout.count();
    modbus_set_response_timeout(ctx, static_cast<uint32_t>(ms / 1000), static_cast<uint32_t>((ms % 1000) * 1000));
    if (modbus_connect(ctx) == -1) {
        const int err = errno;
        const std::string text = modbus_strerror(err);
        if (err == ENOENT || err == ENODEV || err == ENXIO || err == ENOTDIR || err == EHOSTUNREACH ||
            err == ENETUNREACH || err == ECONNREFUSED)
            SetError(LinkError::NoDevice, text);
        else if (err == EBUSY)
            SetError(LinkError::PortBusy, text);
        else
            SetError(LinkError::OpenFailed, text);
        modbus_free(ctx);
        return false;
    }
    if (!AfterConnect(ctx)) {
        modbus_close(ctx);
        modbus_free(ctx);
        return false;
    }
    m_ctx = ctx;
    ClearError();
    return true;
}

void ModbusTransport::Close() {
    if (!m_ctx) return;
    BeforeClose(m_ctx);
    modbus_close(m_ctx);
    modbus_free(m_ctx);
    m_ctx = nullptr;
    SetError(LinkError::NotOpen, "not open");
}

void ModbusTransport::SetResponseTimeout(std::chrono::milliseconds timeout) {
    if (timeout.count() < 1) timeout = std::chrono::milliseconds(1);
    m_responseTimeout = timeout;
}

void ModbusTransport::ApplyResponseTimeout(int requestBytes) {
    // The wait for the reply starts when the request has been handed to the
    // driver, not when its last byte has left: add the time it takes to send.
    const auto total = std::chrono::duration_cast<std::chrono::microseconds>(m_responseTimeout) + SendTime(requestBytes);
    const auto us = total.count();
    modbus_set_response_timeout(m_ctx, static_cast<uint32_t>(us / 1000000), static_cast<uint32_t>(us % 1000000));
}

template <typename Request>
bool ModbusTransport::Exchange(uint8_t station, int requestBytes, Request&& request) {
    if (!m_ctx) {
        SetError(LinkError::NotOpen, "not open");
        return false;
    }
    if (Lost()) {
        SetError(LinkError::IoError, "port lost");
        return false;
    }
    modbus_set_slave(m_ctx, station);
    ApplyResponseTimeout(requestBytes);
    BeforeSend(m_ctx, station, requestBytes);
    const int rc = request();
    const int err = errno;
    if (rc == -1)
        SetErrorFromErrno(err);
    else
        ClearError();
    if (m_error == LinkError::IoError) OnConnectionLost(m_ctx);
    return rc != -1;
}

bool ModbusTransport::SendBroadcast(const uint8_t* pdu, int length) {
    if (!m_ctx) {
        SetError(LinkError::NotOpen, "not open");
        return false;
    }
    // pdu: station 0, function code and data; libmodbus adds the checksum (RTU: 2 bytes).
    const int requestBytes = length + 2;
    if (Lost()) {
        SetError(LinkError::IoError, "port lost");
        return false;
    }
    modbus_set_slave(m_ctx, MODBUS_BROADCAST_ADDRESS);
    BeforeSend(m_ctx, MODBUS_BROADCAST_ADDRESS, requestBytes);
    const int rc = modbus_send_raw_request(m_ctx, pdu, length);
    const int err = errno;
    if (rc == -1)
        SetErrorFromErrno(err);
    else
        ClearError();
    if (m_error == LinkError::IoError) OnConnectionLost(m_ctx);
    return rc != -1;
}

namespace {

// A request or reply as unit and PDU, for the trace: over TCP the library
// frames and checks them, so the trace shows what they carried.
std::vector<uint8_t> Pdu(uint8_t station, uint8_t function, std::initializer_list<uint16_t> words) {
    std::vector<uint8_t> pdu{station, function};
    for (uint16_t w : words) pdu.insert(pdu.end(), {static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w & 0xFF)});
    return pdu;
}

}  // namespace

void ModbusTransport::TraceExchange(const std::vector<uint8_t>& request, bool ok, const std::vector<uint8_t>& reply,
                                    std::chrono::steady_clock::time_point sent) {
    FrameTrace* trace = Trace();
    if (!trace) return;
    trace->Sent(request.data(), request.size());
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - sent);
    if (ok) {
        trace->Received(reply.data(), reply.size(), "", took);
    } else if (m_error == LinkError::Exception) {
        const uint8_t exception[] = {request[0], static_cast<uint8_t>(request[1] | 0x80),
                                     static_cast<uint8_t>(m_exceptionCode)};
        trace->Received(exception, sizeof exception, "", took);
    } else {
        trace->Note(m_errorText);
    }
}

bool ModbusTransport::ReadRegisters(uint8_t station, uint16_t address, uint16_t count, uint16_t* dest) {
    if (count == 0 || count > MODBUS_MAX_READ_REGISTERS || address + count > 0x10000) {
        SetError(LinkError::InvalidArgument, "register count or range out of bounds");
        return false;
    }
    if (!m_ctx) {
        SetError(LinkError::NotOpen, "not open");
        return false;
    }
    if (station == MODBUS_BROADCAST_ADDRESS) {
        // Nobody answers a broadcast; do not even put it on the line.
        SetError(LinkError::Timeout, "the broadcast station never answers");
        return false;
    }
    const auto sent = std::chrono::steady_clock::now();
    const bool ok = Exchange(station, 8, [&] { return modbus_read_registers(m_ctx, address, count, dest); });
    if (Trace()) {
        std::vector<uint8_t> reply{station, MODBUS_FC_READ_HOLDING_REGISTERS, static_cast<uint8_t>(2 * count)};
        for (uint16_t i = 0; ok && i < count; ++i)
            reply.insert(reply.end(), {static_cast<uint8_t>(dest[i] >> 8), static_cast<uint8_t>(dest[i] & 0xFF)});
        TraceExchange(Pdu(station, MODBUS_FC_READ_HOLDING_REGISTERS, {address, count}), ok, reply, sent);
    }
    return ok;
}

bool ModbusTransport::WriteRegister(uint8_t station, uint16_t address, uint16_t value) {
    if (station == MODBUS_BROADCAST_ADDRESS) {
        const uint8_t pdu[] = {0,
                               MODBUS_FC_WRITE_SINGLE_REGISTER,
                               static_cast<uint8_t>(address >> 8),
                               static_cast<uint8_t>(address & 0xFF),
                               static_cast<uint8_t>(value >> 8),
                               static_cast<uint8_t>(value & 0xFF)};
        return SendBroadcast(pdu, sizeof pdu);
    }
    const auto sent = std::chrono::steady_clock::now();
    const bool ok = Exchange(station, 8, [&] { return modbus_write_register(m_ctx, address, value); });
    const auto echo = Pdu(station, MODBUS_FC_WRITE_SINGLE_REGISTER, {address, value});
    if (Trace()) TraceExchange(echo, ok, echo, sent);
    return ok;
}

bool ModbusTransport::WriteRegisters(uint8_t station, uint16_t address, uint16_t count, const uint16_t* values) {
    if (count == 0 || count > MODBUS_MAX_WRITE_REGISTERS || address + count > 0x10000) {
        SetError(LinkError::InvalidArgument, "register count or range out of bounds");
        return false;
    }
    if (station == MODBUS_BROADCAST_ADDRESS) {
        std::vector<uint8_t> pdu = {0,
                                    MODBUS_FC_WRITE_MULTIPLE_REGISTERS,
                                    static_cast<uint8_t>(address >> 8),
                                    static_cast<uint8_t>(address & 0xFF),
                                    static_cast<uint8_t>(count >> 8),
                                    static_cast<uint8_t>(count & 0xFF),
                                    static_cast<uint8_t>(count * 2)};
        for (uint16_t i = 0; i < count; ++i) {
            pdu.push_back(static_cast<uint8_t>(values[i] >> 8));
            pdu.push_back(static_cast<uint8_t>(values[i] & 0xFF));
        }
        return SendBroadcast(pdu.data(), static_cast<int>(pdu.size()));
    }
    const auto sent = std::chrono::steady_clock::now();
    const bool ok =
        Exchange(station, 9 + 2 * count, [&] { return modbus_write_registers(m_ctx, address, count, values); });
    if (Trace()) {
        auto request = Pdu(station, MODBUS_FC_WRITE_MULTIPLE_REGISTERS, {address, count});
        request.push_back(static_cast<uint8_t>(2 * count));
        for (uint16_t i = 0; i < count; ++i)
            request.insert(request.end(), {static_cast<uint8_t>(values[i] >> 8), static_cast<uint8_t>(values[i] & 0xFF)});
        TraceExchange(request, ok, Pdu(station, MODBUS_FC_WRITE_MULTIPLE_REGISTERS, {address, count}), sent);
    }
    return ok;
}

}  // namespace hx
