#include "core/params/WriteOne.h"

#include <chrono>
#include <thread>

#include "core/Globals.h"
#include "core/params/CParameter.h"

namespace hx {
namespace {

// The drive needs a moment before a written register reads back its new value.
constexpr std::chrono::milliseconds kSettleTime{20};

// The drive's requests, remembering the first register left unanswered.
class Exchange {
public:
    explicit Exchange(DriveHandle& drive) : m_drive(drive) {}

    bool Write(uint16_t address, uint16_t word) { return Check(address, m_drive.Write(address, word).has_value()); }
    // The reading as an unsigned word (0..65535).
    bool Read(uint16_t address, int32_t* reading) {
        const std::optional<int16_t> value = m_drive.Read(address);
        if (!Check(address, value.has_value())) return false;
        *reading = static_cast<uint16_t>(*value);
        return true;
    }
    uint16_t Unanswered() const { return m_unanswered; }

private:
    bool Check(uint16_t address, bool answered) {
        if (!answered) m_unanswered = address;
        return answered;
    }

    DriveHandle& m_drive;
    uint16_t m_unanswered = 0;
};

}  // namespace

WriteOneResult WriteOne(DriveHandle& drive, CParameter& table, uint16_t address, int32_t value) {
    Exchange link(drive);
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
        if (!link.Write(high, static_cast<uint16_t>(bits >> 16))) return unanswered();
        if (!link.Write(address, static_cast<uint16_t>(bits & 0xFFFFu))) return unanswered();
        std::this_thread::sleep_for(kSettleTime);
        int32_t highWord = 0, lowWord = 0;
        if (!link.Read(high, &highWord) || !link.Read(address, &lowWord)) return unanswered();
        const uint32_t combined = (static_cast<uint32_t>(highWord) << 16) | static_cast<uint32_t>(lowWord);
        table.SetValue(address, static_cast<int32_t>(combined));
    } else {
        if (!link.Write(address, static_cast<uint16_t>(bits & 0xFFFFu))) return unanswered();
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

bool WriteOneJob::start(uint16_t address, int32_t value, Finished finished) {
    return start(address, value, std::move(finished), DriveHandle::FromGlobals(), theParameterTable);
}

bool WriteOneJob::start(uint16_t address, int32_t value, Finished finished, DriveHandle drive, CParameter& table) {
    return run<WriteOneResult>(
        [drive, &table, address, value](std::stop_token) mutable { return WriteOne(drive, table, address, value); },
        std::move(finished));
}

}  // namespace hx
