#pragma once
// The one shared table of parameter values: one slot per parameter register
// (addresses 0..149 and 30000..31999), the lists of unsigned and 32-bit
// parameters, and the attribute bitmap that decides who sees a parameter.

#include <cstdint>
#include <vector>

class CParameter {
public:
    static constexpr int kSlots = 2150;
    static constexpr int kAttributeBytes = 270;

    CParameter();

    // Whether an address has a slot (0..149 or 30000..31999).
    static bool IsParameterAddress(uint16_t address);
    static uint16_t AddressToIndex(uint16_t address);
    static uint16_t IndexToAddress(uint16_t index);

    void RegisterType(uint16_t address, const char* dataType);
    void ClearTypes();
    bool IsInt(uint16_t address) const;
    bool IsUShort(uint16_t address) const;

    // n words from address onward, as the drive holds them (each slot the
    // word taken signed until its type says otherwise).
    void LoadWords(uint16_t address, const uint16_t* words, int n);
    void StoreWords(uint16_t address, uint16_t* words, int n) const;

    int32_t GetValue(uint16_t address);
    void SetValue(uint16_t address, int32_t value);
    // The raw slot, without the type rules (the drive word as stored).
    int32_t Slot(uint16_t address) const;

    int TestAttribute(uint16_t address) const;
    void SetAttribute(uint16_t address, int on);
    void LoadAttributes(const uint8_t* bytes, int n);
    const uint8_t* Attributes() const { return m_attributes.data(); }

private:
    int AttributeByte(uint16_t address, uint8_t* mask) const;

    std::vector<int32_t> m_values;
    std::vector<uint8_t> m_attributes;
    uint16_t m_lowBase = 0;
    uint16_t m_highBase = 20;
    std::vector<uint16_t> m_intList;
    std::vector<uint16_t> m_ushortList;
};

// The program-wide parameter values, type lists and attribute bitmap. Worker
// threads of the parameter transfers write its values; the windows hold
// other work off while one runs.
extern CParameter theParameterTable;
