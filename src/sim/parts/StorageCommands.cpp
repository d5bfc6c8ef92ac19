#include "sim/parts/StorageCommands.h"

#include <stdexcept>

#include "core/protocol/Registers.h"
#include "sim/parts/ParameterStore.h"

namespace hx::sim {

StorageCommands::StorageCommands(ParameterStore& store, std::string stateFile, SimTime runTime, int stateSection)
    : m_store(store), m_stateFile(std::move(stateFile)), m_stateSection(stateSection), m_runTime(runTime) {
    m_commands[0].reg = reg::kSaveCommand;
    m_commands[0].value = reg::kSaveValue;
    m_commands[1].reg = reg::kRestoreCommand;
    m_commands[1].value = reg::kRestoreValue;
    m_commands[2].reg = reg::kBurnCommand;
    m_commands[2].value = reg::kBurnValue;
}

std::vector<AddressRange> StorageCommands::Ranges() const {
    std::vector<AddressRange> r;
    for (const auto& c : m_commands) r.push_back({c.reg, c.reg});
    return r;
}

StorageCommands::Command& StorageCommands::Find(uint16_t r) {
    for (auto& c : m_commands)
        if (c.reg == r) return c;
    throw std::out_of_range("register " + std::to_string(r) + " is not a storage command");
}
const StorageCommands::Command& StorageCommands::Find(uint16_t r) const {
    return const_cast<StorageCommands*>(this)->Find(r);
}

uint8_t StorageCommands::Read(uint16_t address, uint16_t& value) {
    value = Find(address).current;
    return mbex::kNone;
}

void StorageCommands::Write(uint16_t address, uint16_t value, const WriteRequest&) {
    Command& c = Find(address);
    if (value != c.value || c.current != 0) return;
    c.current = c.value;
    c.running = true;
    c.due = m_now + m_runTime;
}

void StorageCommands::Poke(uint16_t address, uint16_t value) {
    Command& c = Find(address);
    c.current = value;
    c.running = false;
}

void StorageCommands::Complete(Command& c) {
    switch (c.reg) {
    case reg::kSaveCommand:
        m_store.SaveToNv();
        break;
    case reg::kRestoreCommand:
        m_store.RestoreFactory();
        break;
    case reg::kBurnCommand:
        m_store.BurnFactory();
        break;
    }
    c.running = false;
    c.current = 0;
    ++c.completed;
    SaveState();
}

bool StorageCommands::SaveState() { return m_store.SaveState(m_stateFile, m_stateSection); }

void StorageCommands::Advance(SimTime now) {
    m_now = now;
    for (auto& c : m_commands)
        if (c.running && !c.stuck && now >= c.due) Complete(c);
}

std::optional<SimTime> StorageCommands::NextDue() const {
    std::optional<SimTime> next;
    for (const auto& c : m_commands)
        if (c.running && !c.stuck && (!next || c.due < *next)) next = c.due;
    return next;
}

void StorageCommands::FinishPending() {
    for (auto& c : m_commands)
        if (c.running && !c.stuck) Complete(c);
}

}  // namespace hx::sim
