#pragma once
// A drive's wizard settings as "name=value" lines, so that one drive's set-up
// can be copied to the next from a terminal:
//   halvex-cli setup > drive.setup      (on the first drive)
//   halvex-cli setup apply drive.setup  (on each next one)
//
// Names, in the wizard's order (pins up to the drive's count):
//   alias_source, alias_switch (read only: the front-panel switch), alias,
//   peak_current_ma, standby_time_ms, standby_current_pct, pulses_per_rev,
//   command_invert, inputN_function, inputN_filter_us, inputN_invert,
//   outputN_function, outputN_invert.
// Blank lines and lines starting with '#' are ignored.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/wizard/WizardApply.h"
#include "core/wizard/WizardForm.h"

namespace hx::wizard {

// Everything the setup file shows, read the way the wizard reads its pages
// (plus both alias registers, whichever is the source).
struct SetupReading {
    uint16_t variant = 0;
    WizardForm form;          // aliasText holds the object dictionary's alias
    int16_t aliasSwitch = 0;  // register 4
    bool ok = false;
    uint16_t unansweredAddress = 0;
};
SetupReading ReadSetup(DriveHandle& drive, uint16_t variant);

// The lines of a reading, each ending in '\n'.
std::string FormatSetup(const SetupReading& reading);

// The name=value pairs of a file, in file order. False with a message naming
// the line for an unknown name, a name given twice, or a value that is no
// whole number in its range (0/1 for the source and the invert flags), and
// for a file without a setting that would be written.
using SetupValues = std::vector<std::pair<std::string, long>>;
bool ParseSetup(std::string_view text, SetupValues* values, std::string* error);

struct SetupMismatch {
    PlannedWrite write;
    int readBack = 0;         // as a signed 16-bit value
    bool answered = true;
};

struct SetupApplyReport {
    bool readOk = false;             // the drive's current settings were read
    uint16_t unansweredAddress = 0;  // when not
    std::vector<std::string> notes;  // settings left out (pins the drive lacks, the switch)
    WritePlan plan;
    ApplyResult apply;
    std::vector<SetupMismatch> mismatches;
    bool nothingToWrite = false;  // no given setting applies to this drive: nothing written, nothing stored
    bool succeeded() const { return readOk && !nothingToWrite && apply.completed() && mismatches.empty(); }
};

// Reads the drive's current settings, puts the given values over them, writes
// the registers those values touch in the wizard's order (with its variant
// rule), stores, and reads every written register back.
// With changes, the gate is prepared after that read (a backup is taken
// before the first write of the session) and every write journaled.
SetupApplyReport ApplySetup(DriveHandle& drive, uint16_t variant, const SetupValues& values,
                            std::stop_token stop = {}, const ApplyProgress& progress = {},
                            ChangeBatch* changes = nullptr, PrepareOptions options = {});

}  // namespace hx::wizard
