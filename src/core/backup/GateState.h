#pragma once
// What the change gate keeps of each drive, shared by the gate and the
// batches it hands out (ChangeBatch.cpp); nothing outside core/backup uses it.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

#include "core/backup/ChangeGate.h"
#include "core/protocol/Registers.h"

class CParameter;

namespace hx {

struct ChangeGate::DriveState {
    std::optional<DriveInfo> info;
    // The drive's words by slot as last known: from a complete read or the
    // backup, then each confirmed change.
    std::optional<std::array<uint16_t, reg::kStoreSize>> known;
    // known came from a complete read and nothing was written since.
    bool fresh = false;
    // Something was written since the backup.
    bool dirty = false;
    std::string backupPath;
    bool allowOnce = false;
};

// A message of the gate in the program's language, %1.. filled in.
std::string GateText(const char* chinese, const char* english, std::initializer_list<std::string> arguments);
// The table's words by store slot.
std::array<uint16_t, reg::kStoreSize> WordsOf(const CParameter& table);

}  // namespace hx
