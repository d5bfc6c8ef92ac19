#include "core/params/WriteOne.h"

#include <chrono>
#include <thread>

#include "core/link/CQXCOM.h"
#include "core/params/CParameter.h"

namespace hx {
namespace {

// The drive needs a moment before a written register reads back its new value.
constexpr std::chrono::milliseconds kSettleTime{20};

class Exchange {
public:
    Exchange(CQXCOM& comm, uint8_t station) : m_comm(comm), m_station(station) {}

    bool Write(uint16_t address, int16_t value) {
        m_comm.WriteAddressValue(m_station, address, value);
        return Check(address);
    }
    // The reading as an unsigned word (0..65535).
    bool Read(uint16_t address, int32_t* reading) {
        int value = m_comm.ReadAddressValue(m_station, address);
        if (!Check(address)) return false;
        if (value < 0) value += 65536;
        *reading = value;
        return true;
    }
    uint16_t Unanswered() const { return m_unanswered; }

private:
    bool Check(uint16_t address) {
        if (m_comm.LastRequestAnswered()) return true;
        m_unanswered = address;
        return false;
    }

    CQXCOM& m_comm;
    uint8_t m_station;
    uint16_t m_unanswered = 0;
};

}  // namespace

WriteOneResult WriteOne(CQXCOM& comm, CParameter& table, uint8_t station, uint16_t address, int32_t value) {
    Exchange link(comm, station);
    WriteOneResult result;
    const auto unanswered = [&] {
        result.answered = false;
        result.unansweredRegister = link.Unanswered();
        result.value = table.GetValue(address);
        return result;
    };

    const uint32_t bits = static_cast<uint32_t>(value);
    if (table.IsInt(address)) {
        const uint16_t high = static_cast<uint16_t>(address - 1);
        // Stop at the first silence: the low half must not follow a lost high half.
        if (!link.Write(high, static_cast<int16_t>(bits >> 16))) return unanswered();
        if (!link.Write(address, static_cast<int16_t>(bits & 0xFFFFu))) return unanswered();
        std::this_thread::sleep_for(kSettleTime);
        int32_t highWord = 0, lowWord = 0;
        if (!link.Read(high, &highWord) || !link.Read(address, &lowWord)) return unanswered();
        const uint32_t combined = (static_cast<uint32_t>(highWord) << 16) | static_cast<uint32_t>(lowWord);
        table.SetValue(address, static_cast<int32_t>(combined));
    } else {
        if (!link.Write(address, static_cast<int16_t>(bits & 0xFFFFu))) return unanswered();
        std::this_thread::sleep_for(kSettleTime);
        int32_t reading = 0;
        if (!link.Read(address, &reading)) return unanswered();
        // The unsigned reading goes back to a signed word for a SHORT parameter;
        // SetValue turns it into 0..65535 again for a USHORT one.
        table.SetValue(address, table.IsUShort(address) ? reading : static_cast<int16_t>(reading));
    }
    result.answered = true;
    result.value = table.GetValue(address);
    return result;
}

bool WriteOneJob::start(uint16_t address, int32_t value, Finished finished, TransferLink link) {
    return run<WriteOneResult>(
        [link, address, value](std::stop_token) {
            return WriteOne(*link.comm, *link.table, link.station, address, value);
        },
        std::move(finished));
}

}  // namespace hx
