#include "core/link/CQXCOM.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>

#include "core/link/ModbusFrame.h"
#include "core/link/ModbusRtuTransport.h"
#include "core/link/ModbusTcpTransport.h"
#include "core/link/PortResolver.h"
#include "core/link/Transport.h"
#include "core/util/Text.h"

namespace {

std::atomic<uint64_t> g_nextLinkId{1};

constexpr int kGatewayPathUnavailable = 0x0A;
constexpr int kGatewayTargetFailed = 0x0B;

// What the calling thread's last request on one link came to.
struct ThreadOutcome {
    uint64_t link = 0;
    bool answered = false;
    hx::LinkError error = hx::LinkError::None;
};
thread_local std::vector<ThreadOutcome> t_outcomes;

ThreadOutcome& outcomeFor(uint64_t link) {
    for (auto& o : t_outcomes)
        if (o.link == link) return o;
    t_outcomes.push_back({link, false, hx::LinkError::None});
    return t_outcomes.back();
}

// The whole text as a decimal number within [lo, hi], else def.
int numberOr(const std::string& text, int lo, int hi, int def) {
    const std::string t = hx::Trim(text);
    int value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || value < lo || value > hi) return def;
    return value;
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
    std::string transportText;

    std::atomic<bool> open{false};
    std::atomic<int> useMode{0};
    std::atomic<uint16_t> receiveTimeOut{CQXCOM::kDefaultReceiveTimeOut};

    mutable std::mutex textMutex;
    std::string lastError;

    void setLastError(const std::string& text) {
        std::lock_guard lock(textMutex);
        lastError = text;
    }

    // Records the outcome for the calling thread; returns answered.
    bool finish(bool answered, hx::LinkError error) {
        auto& o = outcomeFor(id);
        o.answered = answered;
        o.error = error;
        if (!answered && transport) setLastError(transport->LastErrorText());
        return answered;
    }

    // Under the lock: the open transport with the current time-out, or
    // nullptr (the outcome recorded) when the port is closed.
    hx::Transport* ready() {
        if (!transport || !transport->IsOpen()) {
            finish(false, hx::LinkError::NotOpen);
            setLastError("port not open");
            return nullptr;
        }
        transport->SetResponseTimeout(std::chrono::milliseconds(receiveTimeOut.load()));
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

int CQXCOM::OpenCom() {
    std::lock_guard lock(d->mutex);
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
        transport = std::make_unique<hx::ModbusRtuTransport>(s);
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
    {
        std::lock_guard text(d->textMutex);
        d->transportText = transport->Describe();
    }
    if (!transport->Open()) {
        d->setLastError(transport->Describe() + ": " + transport->LastErrorText());
        return 0;
    }
    d->transport = std::move(transport);
    d->open = true;
    d->setLastError({});
    return 1;
}

int CQXCOM::CloseCom() {
    std::lock_guard lock(d->mutex);
    if (d->transport) {
        d->transport->Close();
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

int CQXCOM::FindDrive(uint8_t station, int /*reserved*/) {
    std::lock_guard lock(d->mutex);
    hx::Transport* t = d->ready();
    if (!t) return -1;
    uint16_t value = 0;
    const bool ok = t->ReadRegisters(station, 0, 1, &value);
    // An exception reply still shows that a drive listens at that station,
    // unless it is a gateway saying that nobody answered behind it.
    const int code = t->LastExceptionCode();
    const bool present = ok || (t->LastError() == hx::LinkError::Exception && code != kGatewayPathUnavailable &&
                                code != kGatewayTargetFailed);
    d->finish(present, t->LastError());
    return present ? station : -1;
}

int CQXCOM::ReadAddressValue(uint8_t station, uint16_t address) {
    std::lock_guard lock(d->mutex);
    hx::Transport* t = d->ready();
    if (!t) return -1;
    uint16_t value = 0;
    const bool ok = t->ReadRegisters(station, address, 1, &value);
    if (!d->finish(ok, t->LastError())) return -1;
    return static_cast<int16_t>(value);
}

int CQXCOM::WriteAddressValue(uint8_t station, uint16_t address, int16_t value) {
    std::lock_guard lock(d->mutex);
    hx::Transport* t = d->ready();
    if (!t) return -1;
    const bool ok = t->WriteRegister(station, address, static_cast<uint16_t>(value));
    if (!d->finish(ok, t->LastError())) return -1;
    return value;
}

std::vector<uint8_t> CQXCOM::ReadBigData(uint8_t station, uint16_t address, uint16_t count) {
    std::lock_guard lock(d->mutex);
    hx::Transport* t = d->ready();
    if (!t) return {};
    if (count == 0 || count > kMaxReadCount) {
        d->finish(false, hx::LinkError::InvalidArgument);
        d->setLastError("block read of " + std::to_string(count) + " registers");
        return {};
    }
    uint16_t values[kMaxReadCount];
    const bool ok = t->ReadRegisters(station, address, count, values);
    if (!d->finish(ok, t->LastError())) return {};
    // libmodbus has checked station, function, length and CRC and keeps only
    // the values; hand the caller the reply frame they describe.
    return hx::BuildReadReplyFrame(station, values, count);
}

int CQXCOM::WriteBigData(uint8_t station, uint16_t address, uint16_t count, const std::vector<uint8_t>& data) {
    std::lock_guard lock(d->mutex);
    hx::Transport* t = d->ready();
    if (!t) return -1;
    if (count == 0 || count > kMaxWriteCount || data.size() != 2u * count) {
        d->finish(false, hx::LinkError::InvalidArgument);
        d->setLastError("block write of " + std::to_string(count) + " registers with " + std::to_string(data.size()) +
                        " bytes");
        return -1;
    }
    uint16_t values[kMaxWriteCount];
    for (uint16_t i = 0; i < count; ++i)
        values[i] = hx::WordAt(&data[2 * i]);
    const bool ok = t->WriteRegisters(station, address, count, values);
    if (!d->finish(ok, t->LastError())) return -1;
    return count;
}

bool CQXCOM::LastRequestAnswered() const { return outcomeFor(d->id).answered; }

hx::LinkError CQXCOM::LastRequestError() const { return outcomeFor(d->id).error; }

std::string CQXCOM::PortName() const {
    std::lock_guard lock(d->textMutex);
    return d->portName;
}

std::string CQXCOM::TransportDescription() const {
    std::lock_guard lock(d->textMutex);
    return d->transportText;
}

std::string CQXCOM::LastErrorText() const {
    std::lock_guard lock(d->textMutex);
    return d->lastError;
}
