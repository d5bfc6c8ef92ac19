#include "core/link/CQXCOM.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>

#include "core/link/FrameTrace.h"
#include "core/link/ModbusFrame.h"
#include "core/link/ModbusRtuTransport.h"
#include "core/link/ModbusTcpTransport.h"
#include "core/link/PortResolver.h"
#include "core/link/Transport.h"
#include "core/protocol/Registers.h"
#include "core/settings/AppPaths.h"
#include "core/util/Text.h"

namespace {

std::atomic<uint64_t> g_nextLinkId{1};
// Every opening of any port in this run, so no two connections share a number.
std::atomic<uint64_t> g_nextConnection{1};

constexpr int kGatewayPathUnavailable = 0x0A;
constexpr int kGatewayTargetFailed = 0x0B;

hx::DriveFaultKind KindOf(hx::LinkError error) {
    switch (error) {
    case hx::LinkError::None:
    case hx::LinkError::Timeout: return hx::DriveFaultKind::NoAnswer;
    case hx::LinkError::BadFrame:
    case hx::LinkError::Repeated: return hx::DriveFaultKind::Damaged;
    case hx::LinkError::Exception: return hx::DriveFaultKind::Refused;
    case hx::LinkError::InvalidArgument: return hx::DriveFaultKind::InvalidArgument;
    case hx::LinkError::NotOpen:
    case hx::LinkError::NoDevice:
    case hx::LinkError::PortBusy:
    case hx::LinkError::OpenFailed: return hx::DriveFaultKind::NotOpen;
    case hx::LinkError::IoError: return hx::DriveFaultKind::PortLost;
    }
    return hx::DriveFaultKind::NoAnswer;
}

// The whole text as a decimal number within [lo, hi], else def.
int numberOr(const std::string& text, int lo, int hi, int def) {
    const std::string t = hx::Trim(text);
    int value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || value < lo || value > hi) return def;
    return value;
}

bool retryable(hx::LinkError error) { return error == hx::LinkError::Timeout || error == hx::LinkError::BadFrame; }

// A gateway's word that the drive behind it did not answer (or could not be
// reached): no refusal of the drive's, and the request may have reached it.
bool gatewayNoAnswer(hx::LinkError error, int code) {
    return error == hx::LinkError::Exception && (code == kGatewayPathUnavailable || code == kGatewayTargetFailed);
}

// Whether a write that failed so may have been carried out all the same:
// anything but the drive's own refusal once the request went out (a lost or
// damaged reply, a copy found out after it went, a gateway whose target did
// not answer). Nothing else may be journaled as not applied.
bool writeMayHaveApplied(hx::Transport* t) {
    const hx::LinkError error = t->LastError();
    return retryable(error) || error == hx::LinkError::Repeated || gatewayNoAnswer(error, t->LastExceptionCode());
}

bool allSettings(uint16_t address, uint16_t count) {
    for (uint32_t a = address; a < static_cast<uint32_t>(address) + count; ++a)
        if (!hx::IsSettingRegister(static_cast<uint16_t>(a))) return false;
    return true;
}

char parityOf(const std::string& text) {
    std::string t = hx::Trim(text);
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (t == "ODD" || t == "O") return 'O';
    if (t == "EVEN" || t == "E") return 'E';
    return 'N';
}

}  // namespace

struct CQXCOM::Impl {
    const uint64_t id = g_nextLinkId++;

    std::mutex mutex;  // one request on the line at a time
    std::string portName = "COM1";
    int baud = 38400;
    int dataBits = 8;
    char parity = 'N';
    int stopBits = 1;
    std::unique_ptr<hx::Transport> transport;
    std::shared_ptr<hx::FrameTrace> trace;
    bool traceFromEnvironment = true;  // until a trace is set or the environment was asked
    std::string transportText;
    int lineBaud = 0;  // of the transport opened last; 0 for a network link

    std::atomic<bool> open{false};
    std::atomic<uint64_t> connection{0};
    std::atomic<int> useMode{0};
    std::atomic<uint16_t> receiveTimeOut{CQXCOM::kDefaultReceiveTimeOut};
    std::atomic<uint32_t> lateHorizon{0};

    mutable std::mutex textMutex;
    std::string lastError;

    // Health, since the last OpenCom.
    std::atomic<uint64_t> requests{0}, retries{0}, unanswered{0}, damaged{0}, late{0};
    std::atomic<bool> answering{true};
    std::atomic<bool> portLost{false};
    std::atomic<int64_t> silentSinceMs{0};

    void setLastError(const std::string& text) {
        std::lock_guard lock(textMutex);
        lastError = text;
    }

    void resetHealth() {
        requests = 0;
        retries = 0;
        unanswered = 0;
        damaged = 0;
        late = 0;
        answering = true;
        portLost = false;
        silentSinceMs = 0;
    }

    // Counts one exchange on the line.
    void note(bool ok, hx::LinkError error) {
        ++requests;
        if (transport) late = transport->LateReplies();
        if (ok || error == hx::LinkError::Exception) {
            answering = true;
            return;
        }
        // The device itself failed (unplugged, the far end gone): as
        // unanswered as a time-out, and shown as a lost port.
        const bool lost = error == hx::LinkError::IoError;
        if (lost) portLost = true;
        if (error == hx::LinkError::Timeout || lost) ++unanswered;
        if (error == hx::LinkError::BadFrame || error == hx::LinkError::Repeated) ++damaged;
        if ((retryable(error) || lost) && answering.exchange(false))
            silentSinceMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    }

    // What the transport's last failure means, in words for a user.
    std::string describeFailure(hx::Transport* t) const {
        switch (t->LastError()) {
        case hx::LinkError::Timeout:
            return "no answer within " + std::to_string(receiveTimeOut.load()) + " ms";
        case hx::LinkError::BadFrame:
            return "damaged reply (" + t->LastErrorText() + ")";
        case hx::LinkError::Exception:
            return "the drive refused the request: exception " + std::to_string(t->LastExceptionCode()) + " (" +
                   hx::ExceptionCodeName(t->LastExceptionCode()) + ")";
        default:
            return t->LastErrorText();
        }
    }

    // How a request ended when it failed.
    struct WriteFailure {
        hx::LinkError error = hx::LinkError::None;
        std::string text;
        bool mayHaveApplied = false;
        int exceptionCode = 0;
    };

    // How a request ended, for its caller; a failure's words also become
    // the link's last error text.
    hx::DriveFault finish(bool answered, hx::LinkError error, hx::Transport* t = nullptr) {
        return finishWith(answered,
                          WriteFailure{error, t ? describeFailure(t) : std::string(), false, t ? t->LastExceptionCode() : 0});
    }
    hx::DriveFault finishWith(bool answered, const WriteFailure& failure) {
        hx::DriveFault fault;
        if (answered) return fault;
        const bool gateway = gatewayNoAnswer(failure.error, failure.exceptionCode);
        fault.kind = gateway ? hx::DriveFaultKind::NoAnswer : KindOf(failure.error);
        fault.exceptionCode = failure.error == hx::LinkError::Exception && !gateway ? failure.exceptionCode : 0;
        fault.mayHaveApplied = failure.mayHaveApplied;
        fault.text = failure.text;
        if (fault.mayHaveApplied) fault.text += "; the write may have been carried out all the same";
        if (!fault.text.empty()) setLastError(fault.text);
        return fault;
    }

    // Reads with the retries; the transport's error is the last attempt's.
    bool read(hx::Transport* t, uint8_t station, uint16_t address, uint16_t count, uint16_t* dest, int attempts) {
        for (int attempt = 0;; ++attempt) {
            if (attempt > 0) ++retries;
            const bool ok = t->ReadRegisters(station, address, count, dest);
            note(ok, t->LastError());
            if (ok) return true;
            if (!retryable(t->LastError()) || attempt + 1 >= attempts) return false;
        }
    }

    // One write request: a single-register write (function 6) or a block (16).
    bool sendWrite(hx::Transport* t, uint8_t station, uint16_t address, uint16_t count, const uint16_t* values,
                   bool single) {
        const bool ok = single ? t->WriteRegister(station, address, values[0])
                               : t->WriteRegisters(station, address, count, values);
        if (station != 0) note(ok, t->LastError());
        return ok;
    }

    // A write whose reply was lost may have been carried out: the drive is
    // asked what it holds and only what differs goes again. Commands are
    // never sent twice.
    bool write(hx::Transport* t, uint8_t station, uint16_t address, uint16_t count, const uint16_t* values,
               bool single, WriteFailure* failure) {
        const auto failed = [&](bool mayHaveApplied) {
            failure->error = t->LastError();
            failure->text = describeFailure(t);
            failure->mayHaveApplied = mayHaveApplied;
            failure->exceptionCode = t->LastExceptionCode();
            return false;
        };
        if (sendWrite(t, station, address, count, values, single)) return true;
        if (!writeMayHaveApplied(t) || station == 0) return failed(false);
        failed(true);
        if (!allSettings(address, count)) return false;
        uint16_t held[CQXCOM::kMaxReadCount];
        for (int resend = 0;; ++resend) {
            // The read-back's own failure says nothing new about the write.
            if (!read(t, station, address, count, held, 1 + CQXCOM::kReadRetries)) return false;
            int first = -1, last = -1;
            for (int i = 0; i < count; ++i) {
                if (held[i] == values[i]) continue;
                if (first < 0) first = i;
                last = i;
            }
            if (first < 0) return true;  // the drive holds it all: the write went through
            if (resend >= CQXCOM::kWriteRetries) return false;
            ++retries;
            const auto n = static_cast<uint16_t>(last - first + 1);
            if (sendWrite(t, station, static_cast<uint16_t>(address + first), n, values + first, single)) return true;
            failed(writeMayHaveApplied(t));
            if (!failure->mayHaveApplied) return false;
        }
    }

    // Under the lock: the open transport with the current time-out, or
    // nullptr (and *fault says why) when the port is closed.
    hx::Transport* ready(hx::DriveFault* fault) {
        if (!transport || !transport->IsOpen()) {
            *fault = finishWith(false, {hx::LinkError::NotOpen, "port not open"});
            return nullptr;
        }
        // A lost device gets no more requests: the caller learns at once,
        // and the counters count what went on the line, not what could not.
        if (transport->Lost()) {
            *fault = finishWith(false, {hx::LinkError::IoError, "port lost: the device is gone, connect again"});
            return nullptr;
        }
        transport->SetResponseTimeout(std::chrono::milliseconds(receiveTimeOut.load()));
        transport->SetLateHorizon(std::chrono::milliseconds(lateHorizon.load()));
        return transport.get();
    }
};

CQXCOM::CQXCOM() : d(std::make_unique<Impl>()) {}

CQXCOM::~CQXCOM() = default;

void CQXCOM::ConfigCom(const std::string& port, const std::string& baud, const std::string& dataBits,
                       const std::string& parity, const std::string& stopBits) {
    std::lock_guard lock(d->mutex);
    {
        std::lock_guard text(d->textMutex);
        d->portName = hx::Trim(port);
    }
    d->baud = numberOr(baud, 50, 4000000, 38400);
    if (!hx::IsStandardBaud(d->baud)) d->baud = 38400;
    d->dataBits = numberOr(dataBits, 5, 8, 8);
    d->parity = parityOf(parity);
    d->stopBits = numberOr(stopBits, 1, 2, 1);
}

void CQXCOM::SetTrace(std::shared_ptr<hx::FrameTrace> trace) {
    std::lock_guard lock(d->mutex);
    d->trace = std::move(trace);
    d->traceFromEnvironment = false;
}

int CQXCOM::OpenCom() {
    std::lock_guard lock(d->mutex);
    if (d->traceFromEnvironment) {
        d->trace = hx::FrameTrace::FromEnvironment();
        d->traceFromEnvironment = false;
    }
    if (d->transport) {
        d->transport->Close();
        d->transport.reset();
        d->open = false;
    }
    const hx::PortTarget target = hx::PortResolver::Resolve(d->portName);
    std::unique_ptr<hx::Transport> transport;
    switch (target.kind) {
    case hx::PortTarget::Kind::Serial: {
        hx::SerialSettings s;
        s.device = target.device;
        s.baud = d->baud;
        s.parity = d->parity;
        s.dataBits = d->dataBits;
        s.stopBits = d->stopBits;
        // The note of how long replies may still come lives with the
        // user's state, so the next program on the port finds it.
        transport = std::make_unique<hx::ModbusRtuTransport>(s, hx::UserStateFolder() + "/lines");
        break;
    }
    case hx::PortTarget::Kind::Tcp:
        transport = std::make_unique<hx::ModbusTcpTransport>(target.host, target.port);
        break;
    case hx::PortTarget::Kind::Invalid:
        d->setLastError(target.ToString());
        return 0;
    }
    transport->SetResponseTimeout(std::chrono::milliseconds(d->receiveTimeOut.load()));
    transport->SetLateHorizon(std::chrono::milliseconds(d->lateHorizon.load()));
    transport->SetTrace(d->trace);
    if (d->trace) d->trace->Note("open " + transport->Describe());
    {
        std::lock_guard text(d->textMutex);
        d->transportText = transport->Describe();
        d->lineBaud = target.kind == hx::PortTarget::Kind::Serial ? d->baud : 0;
    }
    if (!transport->Open()) {
        d->setLastError(transport->Describe() + ": " + transport->LastErrorText());
        return 0;
    }
    d->transport = std::move(transport);
    d->open = true;
    d->connection = g_nextConnection++;
    d->resetHealth();
    d->late = d->transport->LateReplies();
    d->setLastError({});
    return 1;
}

int CQXCOM::CloseCom() {
    std::lock_guard lock(d->mutex);
    if (d->transport) {
        d->transport->Close();
        if (d->trace) d->trace->Note("close " + d->transport->Describe());
        d->transport.reset();
    }
    d->open = false;
    return 1;
}

int CQXCOM::GetConnectStatus() { return d->open ? 1 : 0; }

void CQXCOM::SetCurrentUseMode(int mode) { d->useMode = mode; }

int CQXCOM::CurrentUseMode() const { return d->useMode; }

void CQXCOM::SetReceiveTimeOut(uint16_t milliseconds) {
    // Applied to the open transport before its next request, so a caller is
    // never held up by a request running on another thread.
    d->receiveTimeOut = std::max<uint16_t>(milliseconds, 1);
}

uint16_t CQXCOM::ReceiveTimeOut() const { return d->receiveTimeOut; }

void CQXCOM::SetLateHorizon(uint32_t milliseconds) { d->lateHorizon = milliseconds; }

uint32_t CQXCOM::LateHorizon() const { return d->lateHorizon; }

hx::LinkResult<void> CQXCOM::Find(uint8_t station) {
    std::lock_guard lock(d->mutex);
    hx::DriveFault fault;
    hx::Transport* t = d->ready(&fault);
    if (!t) return fault;
    uint16_t value = 0;
    bool ok = false;
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0) ++d->retries;
        ok = t->ReadRegisters(station, 0, 1, &value);
        if (station != 0) d->note(ok, t->LastError());
        if (ok || t->LastError() != hx::LinkError::BadFrame || attempt >= kReadRetries) break;
    }
    // An exception reply still shows that a drive listens at that station,
    // unless it is a gateway saying that nobody answered behind it.
    const bool present = ok || (t->LastError() == hx::LinkError::Exception &&
                                !gatewayNoAnswer(t->LastError(), t->LastExceptionCode()));
    return d->finish(present, t->LastError(), t);
}

hx::LinkResult<int16_t> CQXCOM::Read(uint8_t station, uint16_t address) {
    uint16_t value = 0;
    auto r = ReadWords(station, address, 1, &value);
    if (!r) return r.fault;
    return static_cast<int16_t>(value);
}

hx::LinkResult<int16_t> CQXCOM::Write(uint8_t station, uint16_t address, int16_t value) {
    std::lock_guard lock(d->mutex);
    hx::DriveFault fault;
    hx::Transport* t = d->ready(&fault);
    if (!t) return fault;
    const auto word = static_cast<uint16_t>(value);
    Impl::WriteFailure failure;
    if (!d->write(t, station, address, 1, &word, true, &failure)) return d->finishWith(false, failure);
    return value;
}

hx::LinkResult<void> CQXCOM::ReadWords(uint8_t station, uint16_t address, uint16_t count, uint16_t* dest) {
    std::lock_guard lock(d->mutex);
    hx::DriveFault fault;
    hx::Transport* t = d->ready(&fault);
    if (!t) return fault;
    if (count == 0 || count > kMaxReadCount)
        return d->finishWith(false, {hx::LinkError::InvalidArgument, "block read of " + std::to_string(count) + " registers"});
    uint16_t values[kMaxReadCount];
    const bool ok = station != 0 ? d->read(t, station, address, count, values, 1 + kReadRetries)
                                 : t->ReadRegisters(station, address, count, values);
    if (!ok) return d->finish(false, t->LastError(), t);
    std::copy(values, values + count, dest);
    return {};
}

hx::LinkResult<void> CQXCOM::WriteWords(uint8_t station, uint16_t address, uint16_t count, const uint16_t* values) {
    std::lock_guard lock(d->mutex);
    hx::DriveFault fault;
    hx::Transport* t = d->ready(&fault);
    if (!t) return fault;
    if (count == 0 || count > kMaxWriteCount)
        return d->finishWith(false, {hx::LinkError::InvalidArgument, "block write of " + std::to_string(count) + " registers"});
    Impl::WriteFailure failure;
    const bool ok = d->write(t, station, address, count, values, false, &failure);
    return d->finishWith(ok, failure);
}

hx::LinkResult<void> CQXCOM::Settle(uint8_t station) {
    std::lock_guard lock(d->mutex);
    hx::DriveFault fault;
    hx::Transport* t = d->ready(&fault);
    if (!t) return fault;
    const bool ok = t->Settle(station);
    return d->finish(ok, t->LastError(), t);
}

int CQXCOM::FindDrive(uint8_t station, int /*reserved*/) { return Find(station) ? station : -1; }

int CQXCOM::ReadAddressValue(uint8_t station, uint16_t address) { return Read(station, address).value_or(-1); }

int CQXCOM::WriteAddressValue(uint8_t station, uint16_t address, int16_t value) {
    return Write(station, address, value) ? value : -1;
}

std::vector<uint8_t> CQXCOM::ReadBigData(uint8_t station, uint16_t address, uint16_t count) {
    uint16_t values[kMaxReadCount];
    if (!ReadWords(station, address, count, values)) return {};
    // The transport has checked station, function, length and CRC and keeps
    // only the values; hand the caller the reply frame they describe.
    return hx::BuildReadReplyFrame(station, values, count);
}

int CQXCOM::WriteBigData(uint8_t station, uint16_t address, uint16_t count, const std::vector<uint8_t>& data) {
    if (count == 0 || count > kMaxWriteCount || data.size() != 2u * count) {
        d->setLastError("block write of " + std::to_string(count) + " registers with " + std::to_string(data.size()) +
                        " bytes");
        return -1;
    }
    uint16_t values[kMaxWriteCount];
    for (uint16_t i = 0; i < count; ++i)
        values[i] = hx::WordAt(&data[2 * i]);
    return WriteWords(station, address, count, values) ? count : -1;
}

CQXCOM::Health CQXCOM::GetHealth() const {
    Health h;
    h.open = d->open;
    h.requests = d->requests;
    h.retries = d->retries;
    h.unanswered = d->unanswered;
    h.damaged = d->damaged;
    h.late = d->late;
    h.answering = d->answering;
    h.portLost = d->portLost;
    h.silentSince = std::chrono::system_clock::time_point(std::chrono::milliseconds(d->silentSinceMs.load()));
    return h;
}

uint64_t CQXCOM::ConnectionSerial() const { return d->connection.load(); }

std::string CQXCOM::PortName() const {
    std::lock_guard lock(d->textMutex);
    return d->portName;
}

std::string CQXCOM::TransportDescription() const {
    std::lock_guard lock(d->textMutex);
    return d->transportText;
}

int CQXCOM::LineBaud() const {
    std::lock_guard lock(d->textMutex);
    return d->lineBaud;
}

std::string CQXCOM::LastErrorText() const {
    std::lock_guard lock(d->textMutex);
    return d->lastError;
}

// Defined last so that it is built after every static of this file it uses.
CQXCOM theComm;
