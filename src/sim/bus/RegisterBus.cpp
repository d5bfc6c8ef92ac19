#include "sim/bus/RegisterBus.h"

#include <stdexcept>

namespace hx::sim {

RegisterBus::RegisterBus()
    : m_route(std::make_unique<std::array<uint8_t, 0x10000>>()),
      m_blockRoute(std::make_unique<std::array<uint8_t, 0x10000>>()) {
    m_route->fill(0);
    m_blockRoute->fill(0);
}

void RegisterBus::AddPart(std::unique_ptr<Part> part) {
    if (m_parts.size() >= 255) throw std::length_error("too many parts on the register bus");
    m_parts.push_back(std::move(part));
    const auto index = static_cast<uint8_t>(m_parts.size());
    for (const AddressRange& r : m_parts.back()->Ranges())
        for (uint32_t a = r.first; a <= r.last; ++a) (*m_route)[a] = index;
    for (const AddressRange& r : m_parts.back()->BlockReadRanges())
        for (uint32_t a = r.first; a <= r.last; ++a) (*m_blockRoute)[a] = index;
}

Part* RegisterBus::At(uint16_t address) const {
    const uint8_t i = (*m_route)[address];
    return i == 0 ? nullptr : m_parts[i - 1].get();
}

Part* RegisterBus::BlockReaderAt(uint16_t address) const {
    const uint8_t i = (*m_blockRoute)[address];
    return i == 0 ? At(address) : m_parts[i - 1].get();
}

uint8_t RegisterBus::Read(uint16_t address, uint16_t count, uint16_t* out) {
    if (static_cast<uint32_t>(address) + count > 0x10000u) return mbex::kIllegalAddress;
    auto reader = [&](uint16_t a) { return count > 1 ? BlockReaderAt(a) : At(a); };
    for (uint32_t i = 0; i < count; ++i)
        if (!reader(static_cast<uint16_t>(address + i))) return mbex::kIllegalAddress;
    for (uint32_t i = 0; i < count; ++i) {
        const auto a = static_cast<uint16_t>(address + i);
        if (const uint8_t ex = reader(a)->Read(a, out[i]); ex != mbex::kNone) return ex;
    }
    return mbex::kNone;
}

uint8_t RegisterBus::Write(const WriteRequest& request) {
    if (static_cast<uint32_t>(request.first) + request.count > 0x10000u) return mbex::kIllegalAddress;
    for (uint32_t i = 0; i < request.count; ++i)
        if (!Mapped(static_cast<uint16_t>(request.first + i))) return mbex::kIllegalAddress;
    for (uint32_t i = 0; i < request.count; ++i) {
        const auto a = static_cast<uint16_t>(request.first + i);
        if (const uint8_t ex = At(a)->CheckWrite(a, request.values[i], request); ex != mbex::kNone) return ex;
    }
    for (uint32_t i = 0; i < request.count; ++i) {
        const auto a = static_cast<uint16_t>(request.first + i);
        At(a)->Write(a, request.values[i], request);
    }
    return mbex::kNone;
}

bool RegisterBus::Peek(uint16_t address, uint16_t& value) {
    Part* p = At(address);
    return p && p->Read(address, value) == mbex::kNone;
}

bool RegisterBus::Poke(uint16_t address, uint16_t value) {
    Part* p = At(address);
    if (!p) return false;
    p->Poke(address, value);
    return true;
}

void RegisterBus::Advance(SimTime now) {
    for (auto& p : m_parts) p->Advance(now);
}

std::optional<SimTime> RegisterBus::NextDue() const {
    std::optional<SimTime> next;
    for (const auto& p : m_parts)
        if (auto due = p->NextDue(); due && (!next || *due < *next)) next = due;
    return next;
}

}  // namespace hx::sim
