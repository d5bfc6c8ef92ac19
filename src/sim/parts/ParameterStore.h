#pragma once
// The drive's parameters: the working values in RAM, the non-volatile copy
// the drive starts from, and the factory set it can restore; the
// visibility of each parameter; and the permitted range of each one, as the
// parameter definitions of the drive model give them.
//
// A write outside a defined parameter's range is refused with exception 3,
// as a real drive refuses it, and a block holding such a value is refused
// whole. A 32-bit parameter is two registers (high word at address - 1),
// which the program writes high word first; the drive checks the 32-bit
// value when its low word arrives (with the high word of the same block, or
// the one it holds), and takes a high word written alone unchecked.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bus/Part.h"

namespace hx::sim {

class ParameterStore final : public Part {
public:
    ParameterStore();

    std::string_view Name() const override { return "parameter store"; }
    std::vector<AddressRange> Ranges() const override;
    uint8_t Read(uint16_t address, uint16_t& value) override;
    uint8_t CheckWrite(uint16_t address, uint16_t value, const WriteRequest& request) override;
    void Write(uint16_t address, uint16_t value, const WriteRequest& request) override;

    // Factory values, visibility and ranges from the definition table of
    // the model ("-" = no database: all zeros, all visible, no ranges).
    // Throws DbError. The non-volatile copy and RAM start as the factory set.
    void LoadDefinitions(const std::string& databasePath, const std::string& model);

    // The state file keeps the non-volatile copy and the factory set across
    // runs. Load throws std::runtime_error for a file it cannot read; Save
    // returns false with the reason in LastStateError(). RAM follows the
    // non-volatile copy after a load, as after a power-up. Several drives
    // on one line share a file, each in the section of its station
    // (section > 0); section 0 owns the whole file.
    void LoadState(const std::string& path, int section = 0);
    bool SaveState(const std::string& path, int section = 0);
    const std::string& LastStateError() const { return m_stateError; }

    // The storage commands' effects.
    void SaveToNv() { m_nv = m_ram; }
    void RestoreFactory() { m_ram = m_factory; m_nv = m_factory; ++m_ramRevision; }
    void BurnFactory() { m_factory = m_ram; }

    // Direct access by address; throw std::out_of_range outside the ranges.
    uint16_t Ram(uint16_t address) const { return m_ram[Slot(address)]; }
    void SetRam(uint16_t address, uint16_t value) { m_ram[Slot(address)] = value; ++m_ramRevision; }
    // Grows whenever RAM may have changed, so a part that keeps values
    // decoded from it (the motor's loops) knows to decode them again.
    uint64_t RamRevision() const { return m_ramRevision; }
    uint16_t Nv(uint16_t address) const { return m_nv[Slot(address)]; }
    void SetNv(uint16_t address, uint16_t value) { m_nv[Slot(address)] = value; }
    uint16_t Factory(uint16_t address) const { return m_factory[Slot(address)]; }
    void SetFactory(uint16_t address, uint16_t value) { m_factory[Slot(address)] = value; }
    bool Visible(uint16_t address) const { return m_visible[Slot(address)]; }
    void SetVisible(uint16_t address, bool visible);
    // Grows whenever a visibility changes, so the attribute blocks know to
    // rebuild.
    uint64_t VisibilityRevision() const { return m_visibilityRevision; }

    // The permitted range of the parameter whose (low) word is at address.
    struct Limit {
        enum class Type { Short, UShort, Int } type = Type::Short;
        int64_t min = 0, max = 0;
    };
    std::optional<Limit> LimitAt(uint16_t address) const;

private:
    static int Slot(uint16_t address);  // throws std::out_of_range

    std::vector<uint16_t> m_ram, m_nv, m_factory;
    std::vector<bool> m_visible;
    std::vector<std::optional<Limit>> m_limits;  // per slot of a parameter's low word
    uint64_t m_visibilityRevision = 0;
    uint64_t m_ramRevision = 0;
    std::string m_stateError;
};

}  // namespace hx::sim
