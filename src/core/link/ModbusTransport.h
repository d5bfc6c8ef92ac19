#pragma once
// What the RTU and TCP transports share: the libmodbus context, the three
// requests, the broadcast station and the mapping of libmodbus's errors.

#include <chrono>
#include <string>
#include <vector>

#include "core/link/Transport.h"

typedef struct _modbus modbus_t;

namespace hx {

class ModbusTransport : public Transport {
public:
    ~ModbusTransport() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_ctx != nullptr; }
    void SetResponseTimeout(std::chrono::milliseconds timeout) override;

    bool ReadRegisters(uint8_t station, uint16_t address, uint16_t count, uint16_t* dest) override;
    bool WriteRegister(uint8_t station, uint16_t address, uint16_t value) override;
    bool WriteRegisters(uint8_t station, uint16_t address, uint16_t count, const uint16_t* values) override;

    LinkError LastError() const override { return m_error; }
    int LastExceptionCode() const override { return m_exceptionCode; }
    std::string LastErrorText() const override { return m_errorText; }

protected:
    ModbusTransport() = default;

    // A new, unconnected context; nullptr with the error set on failure.
    virtual modbus_t* CreateContext() = 0;
    // After modbus_connect: claim the port, tune the line. false (with the
    // error set) undoes the open.
    virtual bool AfterConnect(modbus_t* /*ctx*/) { return true; }
    // Before modbus_close.
    virtual void BeforeClose(modbus_t* /*ctx*/) {}
    // Just before a request of requestBytes bytes to station goes out.
    virtual void BeforeSend(modbus_t* /*ctx*/, uint8_t /*station*/, int /*requestBytes*/) {}
    // How long a request of this size takes to go out, added to the wait for the reply.
    virtual std::chrono::microseconds SendTime(int /*requestBytes*/) const { return {}; }
    // Called when a request failed with a broken connection.
    virtual void OnConnectionLost(modbus_t* /*ctx*/) {}

    void SetError(LinkError error, const std::string& text, int exceptionCode = 0);
    // Maps errno after a failed libmodbus call.
    void SetErrorFromErrno(int err);
    void ClearError() { SetError(LinkError::None, {}); }
    modbus_t* Context() const { return m_ctx; }

    // Over TCP the trace shows each request and reply as unit and PDU.
    void TraceExchange(const std::vector<uint8_t>& request, bool ok, const std::vector<uint8_t>& reply,
                       std::chrono::steady_clock::time_point sent);

private:
    void MapErrno(int err);
    template <typename Request>
    bool Exchange(uint8_t station, int requestBytes, Request&& request);
    bool SendBroadcast(const uint8_t* pdu, int length);
    void ApplyResponseTimeout(int requestBytes);

    modbus_t* m_ctx = nullptr;
    std::chrono::milliseconds m_responseTimeout{100};

protected:
    std::chrono::milliseconds ResponseTimeout() const { return m_responseTimeout; }

private:
    LinkError m_error = LinkError::NotOpen;
    int m_exceptionCode = 0;
    std::string m_errorText = "not open";
};

}  // namespace hx
