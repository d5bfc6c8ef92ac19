#include "core/params/CParameter.h"

#include <algorithm>
#include <cstring>

#include "core/util/Text.h"

namespace {

constexpr uint16_t kLowCount = 150;     // addresses 0..149
constexpr uint16_t kHighFirst = 30000;  // addresses 30000..31999
constexpr uint16_t kHighLast = 31999;
constexpr uint16_t kHighOffset = 29850;  // address - index in the high range

}  // namespace

CParameter::CParameter() : m_values(kSlots, 0), m_attributes(kSlots, 0) {}

bool CParameter::IsParameterAddress(uint16_t address) {
    return address < kLowCount || (address >= kHighFirst && address <= kHighLast);
}

uint16_t CParameter::AddressToIndex(uint16_t address) {
    return address < kLowCount ? address : static_cast<uint16_t>(address - kHighOffset);
}

uint16_t CParameter::IndexToAddress(uint16_t index) {
    return index < kLowCount ? index : static_cast<uint16_t>(index + kHighOffset);
}

void CParameter::RegisterType(uint16_t address, const char* dataType) {
    const std::string type = hx::Trim(dataType ? dataType : "");
    if (type == "USHORT")
        m_ushortList.push_back(address);
    else if (type == "INT")
        m_intList.push_back(address);
}

void CParameter::ClearTypes() {
    m_intList.clear();
    m_ushortList.clear();
}

bool CParameter::IsInt(uint16_t address) const {
    return std::find(m_intList.begin(), m_intList.end(), address) != m_intList.end();
}

bool CParameter::IsUShort(uint16_t address) const {
    return std::find(m_ushortList.begin(), m_ushortList.end(), address) != m_ushortList.end();
}

// Blocks run on through the table indexes; anything past the last slot (or
// an address without a slot) is dropped rather than written out of bounds.
void CParameter::LoadWords(uint16_t address, const uint16_t* words, int n) {
    if (!IsParameterAddress(address) || !words) return;
    const int first = AddressToIndex(address);
    for (int k = 0; k < n && first + k < kSlots; ++k) m_values[first + k] = static_cast<int16_t>(words[k]);
}

void CParameter::StoreWords(uint16_t address, uint16_t* words, int n) const {
    if (!IsParameterAddress(address) || !words) return;
    const int first = AddressToIndex(address);
    for (int k = 0; k < n && first + k < kSlots; ++k)
        words[k] = static_cast<uint16_t>(static_cast<uint32_t>(m_values[first + k]) & 0xFFFFu);
}

int32_t CParameter::GetValue(uint16_t address) {
    if (!IsParameterAddress(address)) return 0;
    const int index = AddressToIndex(address);
    if (IsInt(address) && index > 0) {
        int32_t& high = m_values[index - 1];
        int32_t& low = m_values[index];
        // Only the low 16 bits of each slot are the drive's word: the low slot
        // may still hold the whole value last set, and a negative one plus
        // 65536 would not be its word.
        if (high < 0) high = high & 0xFFFF;
        if (low < 0) low = low & 0xFFFF;
        const uint32_t pattern = (static_cast<uint32_t>(high & 0xFFFF) << 16) | static_cast<uint32_t>(low & 0xFFFF);
        return static_cast<int32_t>(pattern);
    }
    int32_t& word = m_values[index];
    if (word < 0 && IsUShort(address)) {
        word += 65536;
        return word;
    }
    return word;
}

void CParameter::SetValue(uint16_t address, int32_t value) {
    if (!IsParameterAddress(address)) return;
    const int index = AddressToIndex(address);
    if (IsInt(address) && index > 0) {
        m_values[index - 1] = static_cast<int32_t>(static_cast<uint32_t>(value) >> 16);
        m_values[index] = value;  // only its low 16 bits ever reach the drive
        return;
    }
    if (IsUShort(address) && value < 0)
        m_values[index] = value + 65536;
    else
        m_values[index] = value;
}

int32_t CParameter::Slot(uint16_t address) const {
    if (!IsParameterAddress(address)) return 0;
    return m_values[AddressToIndex(address)];
}

// The bitmap arrives as register words, high byte first, so the two bytes
// of each word trade places.
int CParameter::AttributeByte(uint16_t address, uint8_t* mask) const {
    int bit;
    int base;
    if (address < kLowCount) {
        base = m_lowBase;
        bit = address;
    } else if (address >= kHighFirst && address <= kHighLast) {
        base = m_highBase;
        bit = address - kHighFirst;
    } else {
        return -1;
    }
    const int n = base + bit / 8;
    *mask = static_cast<uint8_t>(1u << (bit % 8));
    return (n % 2 == 0) ? n + 1 : n - 1;
}

int CParameter::TestAttribute(uint16_t address) const {
    uint8_t mask = 0;
    const int byte = AttributeByte(address, &mask);
    if (byte < 0) return 0;
    return (m_attributes[byte] & mask) ? 1 : 0;
}

void CParameter::SetAttribute(uint16_t address, int on) {
    uint8_t mask = 0;
    const int byte = AttributeByte(address, &mask);
    if (byte < 0) return;
    if (on)
        m_attributes[byte] |= mask;
    else
        m_attributes[byte] &= static_cast<uint8_t>(~mask);
}

void CParameter::LoadAttributes(const uint8_t* bytes, int n) {
    if (!bytes || n <= 0) return;
    std::memcpy(m_attributes.data(), bytes, static_cast<size_t>(std::min(n, kAttributeBytes)));
}

// Defined last so that it is built after every static of this file it uses.
CParameter theParameterTable;
