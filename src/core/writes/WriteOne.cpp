#include "core/writes/WriteOne.h"

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

WriteOneResult WriteOne(DriveHandle& drive, CParameter& table, uint16_t address, int32_t value, ChangeBatch* changes) {
    Exchange link(drive);
    WriteOneResult result;
    ChangeBatch::Pending pending;
    bool writing = true;
    const auto unanswered = [&] {
        // A refused write was not carried out (nor anything after it); one
        // without an answer may have been, and stays unconfirmed.
        if (changes && writing && drive.fault().kind == DriveFaultKind::Refused) {
            std::vector<bool> held;
            for (uint16_t r : pending.regs) held.push_back(r < link.Unanswered());
            changes->Confirm(pending, held);
        }
        result.answered = false;
        result.unansweredRegister = link.Unanswered();
        result.value = table.GetValue(address);
        return result;
    };

    const uint32_t bits = static_cast<uint32_t>(value);
    const bool isInt = table.IsInt(address);
    // Both halves of a 32-bit value are on record before the first goes out.
    const uint16_t first = isInt ? static_cast<uint16_t>(address - 1) : address;
    const uint16_t words[2] = {static_cast<uint16_t>(isInt ? bits >> 16 : bits & 0xFFFFu),
                               static_cast<uint16_t>(bits & 0xFFFFu)};
    if (changes && !changes->Journal(first, words, isInt ? 2 : 1, &pending)) {
        result.gate.status = GateResult::Status::JournalFailed;
        result.gate.message = changes->Error();
        result.value = table.GetValue(address);
        return result;
    }
    const auto confirm = [&](std::vector<int32_t> held) {
        if (!changes) return;
        std::vector<bool> same;
        for (std::size_t i = 0; i < pending.regs.size(); ++i)
            same.push_back(held[pending.regs[i] == first ? 0 : held.size() - 1] == pending.words[i]);
        changes->Confirm(pending, same);
    };

    if (isInt) {
        const uint16_t high = first;
        // Stop at the first silence: the low half must not follow a lost high half.
        if (!link.Write(high, static_cast<uint16_t>(bits >> 16))) return unanswered();
        if (!link.Write(address, static_cast<uint16_t>(bits & 0xFFFFu))) return unanswered();
        std::this_thread::sleep_for(kSettleTime);
        writing = false;
        int32_t highWord = 0, lowWord = 0;
        if (!link.Read(high, &highWord) || !link.Read(address, &lowWord)) return unanswered();
        confirm({highWord, lowWord});
        const uint32_t combined = (static_cast<uint32_t>(highWord) << 16) | static_cast<uint32_t>(lowWord);
        table.SetValue(address, static_cast<int32_t>(combined));
    } else {
        if (!link.Write(address, static_cast<uint16_t>(bits & 0xFFFFu))) return unanswered();
        std::this_thread::sleep_for(kSettleTime);
        writing = false;
        int32_t reading = 0;
        if (!link.Read(address, &reading)) return unanswered();
        confirm({reading});
        // The unsigned reading goes back to a signed word for a SHORT parameter;
        // SetValue turns it into 0..65535 again for a USHORT one.
        table.SetValue(address, table.IsUShort(address) ? reading : static_cast<int16_t>(reading));
    }
    result.answered = true;
    result.value = table.GetValue(address);
    return result;
}

bool WriteOneJob::start(ChangeGate& gate, uint16_t address, int32_t value, Finished finished) {
    return start(gate, address, value, std::move(finished), DriveHandle::FromGlobals(), theParameterTable);
}

bool WriteOneJob::start(ChangeGate& gate, uint16_t address, int32_t value, Finished finished, DriveHandle drive,
                        CParameter& table) {
    return run<WriteOneResult>(
        [&gate, drive, &table, address, value](std::stop_token stop) mutable {
            ChangeBatch changes(gate, drive, ChangeOrigin::Edit);
            WriteOneResult result;
            result.gate = changes.Prepare(stop);
            if (!result.gate.ok()) {
                result.value = table.GetValue(address);
                return result;
            }
            return WriteOne(drive, table, address, value, &changes);
        },
        std::move(finished));
}

}  // namespace hx
