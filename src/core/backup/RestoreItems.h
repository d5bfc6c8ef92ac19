#pragma once
// A restore plan as the user reads it before saying yes: one item per
// parameter (the two words of a 32-bit parameter together), with its Pr
// number, what it is, its category and unit, and the value the drive holds
// beside the one the backup puts back, both as the parameter's type reads
// them. Registers that are no parameter of the drive's model (the capture
// set-up the scope and the run test leave behind) are no settings to
// restore and are left out. The user may restore only some of the items.

#include <cstdint>
#include <string>
#include <vector>

#include "core/backup/Restore.h"
#include "core/params/DriveDefinitions.h"

namespace hx {

struct RestoreItem {
    std::string name;     // "Pr2.03"; empty when the model's definitions are missing
    std::string text;     // what the parameter is, from its remark ("第一抗振幅值")
    std::string kind;     // its category ("P2 振动抑制")
    std::string units;    // "%", "mA"; "--" when it has none
    std::vector<uint16_t> addresses;  // the register, or the high and the low word
    int64_t held = 0;     // what the drive holds now
    int64_t wanted = 0;   // what the backup puts back
};

// The plan's differences as items in address order. definitions: the
// model's rows (texts in the interface's language); without any, every
// difference is an item of its own, named by nothing but its register.
std::vector<RestoreItem> DescribeRestore(const RestorePlan& plan, const std::vector<ParameterDefinition>& definitions);

// The plan reduced to the differences of the chosen items (chosen[i] for
// items[i]); registers of no item are never written.
RestorePlan ChosenPart(const RestorePlan& plan, const std::vector<RestoreItem>& items, const std::vector<bool>& chosen);

// The first clause of a remark, as a short name: up to the first "。", "，",
// "；", "：" or "; ", ". ", ", ", ": " ("电机峰值电流，按电机铭牌设定" gives
// "电机峰值电流").
std::string ShortRemark(const std::string& remark);

}  // namespace hx
