#pragma once
// One Modbus connection to the drive (or to a serial-to-Ethernet gateway in
// front of it). A transport is not thread-safe: CQXCOM holds the lock that
// keeps requests apart.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace hx {

class FrameTrace;

enum class LinkError {
    None,
    NotOpen,          // no connection
    InvalidArgument,  // a request the protocol cannot carry (count, address range)
    NoDevice,         // the device or host does not exist
    PortBusy,         // another program holds the port
    OpenFailed,       // any other failure to open
    Timeout,          // no reply within the time-out
    BadFrame,         // a reply that failed its checks (CRC, length, station, function)
    Exception,        // the drive answered with a Modbus exception
    IoError,          // the connection broke
    Repeated,         // the line delivered a reply twice and an earlier answer may have been the copy
};

const char* LinkErrorName(LinkError error);

class Transport {
public:
    virtual ~Transport() = default;

    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // How long to wait for a reply to begin once the request is on the line.
    virtual void SetResponseTimeout(std::chrono::milliseconds timeout) = 0;
    // How long after a request that got no proper answer its reply may
    // still arrive; 0 picks the transport's own rule. Only a transport whose
    // replies carry no request number has a use for it.
    virtual void SetLateHorizon(std::chrono::milliseconds /*horizon*/) {}
    // Replies that came too late for their request and were dropped.
    virtual uint64_t LateReplies() const { return 0; }
    // The device itself has failed since it was opened (unplugged, the far
    // end gone) and the transport will not send again until opened anew.
    virtual bool Lost() const { return false; }

    // Each returns true on a valid reply. Station 0 is the broadcast station:
    // a write to it is sent without waiting for a reply and counts as done,
    // a read from it never gets an answer.
    virtual bool ReadRegisters(uint8_t station, uint16_t address, uint16_t count, uint16_t* dest) = 0;
    virtual bool WriteRegister(uint8_t station, uint16_t address, uint16_t value) = 0;
    virtual bool WriteRegisters(uint8_t station, uint16_t address, uint16_t count, const uint16_t* values) = 0;

    // At the end of a piece of work that read from station: makes sure that
    // no answer it took was a copy of another frame standing in for a reply
    // still on its way (a line that repeats frames). False, with the error
    // set (Repeated), when one was.
    virtual bool Settle(uint8_t /*station*/) { return true; }

    // Every request and reply from now on goes to trace as well (null: none).
    void SetTrace(std::shared_ptr<FrameTrace> trace) { m_trace = std::move(trace); }

    // The outcome of the last call.
    virtual LinkError LastError() const = 0;
    // The exception code when LastError() is Exception, else 0.
    virtual int LastExceptionCode() const = 0;
    virtual std::string LastErrorText() const = 0;

    // "/dev/ttyUSB0 38400 8N2" or "tcp 192.168.1.20:502", for messages.
    virtual std::string Describe() const = 0;

protected:
    FrameTrace* Trace() const { return m_trace.get(); }

private:
    std::shared_ptr<FrameTrace> m_trace;
};

}  // namespace hx
