#pragma once
// Checks of a parameter set against the connected drive before it is sent:
// values outside their parameter's range, and a file taken from another
// drive model. The window marks and asks, the command-line tool refuses
// unless forced; both use these.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/params/DriveDefinitions.h"
#include "core/params/ParameterFile.h"

namespace hx {

struct ValueRange {
    int64_t min = 0, max = 0;
};

// The range a definition's Scope text gives: "min~max" with a number on each
// side (read as the editor reads them: an optional sign, then digits up to
// the first other character). nullopt for a scope that names no range (the
// placeholder "--", a bare number), which is then not checked.
std::optional<ValueRange> ParseScope(const std::string& scope);

// A parameter's value as the list shows it, from what a file or table holds:
// 0..65535 for USHORT, -32768..32767 for SHORT, the signed 32-bit value for INT.
int64_t ShownValue(const std::string& dataType, int64_t value);

struct RangeViolation {
    uint16_t address = 0;
    std::string name, scope;
    int64_t value = 0;  // as shown
};

// The file's values that lie outside their parameter's range, in file order
// (a value given twice counts once, as its last line sets it).
std::vector<RangeViolation> ValuesOutsideRange(const std::vector<ParameterDefinition>& definitions,
                                               const ParameterFileContents& contents);

// Whether a file says it was taken from another drive: its DriveType line
// names a product model other than the connected one. A file without the
// line, or with an empty one, says nothing.
bool FromAnotherModel(const ParameterFileContents& contents, const std::string& productModel);

// Whether the file gives every register a whole-table write of a drive of
// this firmware sends (WriteAllPlan). A file that does not leaves the rest of
// the table as it was, which is the drive's own only after a whole read.
bool CoversWholeWrite(const ParameterFileContents& contents, float firmwareVersion);

}  // namespace hx
