#pragma once
// The setup wizard's settings: what each page reads from the drive, the
// writes that carry the pages back in their fixed order, and the numbers the
// user types. The window, the command-line tool and the tests share them.
//
// A drive of variant 1000 has seven inputs and seven outputs; any other has
// five inputs and two outputs, and the registers of the missing pins are
// neither read nor written. The two polarity words still carry all seven
// bits as read, so a hidden pin's inversion survives a save.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "core/link/DriveHandle.h"

namespace hx::wizard {

inline constexpr int kPins = 7;

bool HasFullIo(uint16_t variant);
int InputCount(uint16_t variant);   // 7 or 5
int OutputCount(uint16_t variant);  // 7 or 2

// A value the wizard writes: what the messages, the summary and the setup
// file call it. `pin` is 1..7 for the per-pin settings, 0 otherwise.
enum class SettingKind {
    Alias,
    AliasSource,
    PeakCurrent,
    StandbyTime,
    StandbyCurrent,
    PulsesPerRev,
    CommandPolarity,
    InputFunction,
    InputFilter,
    InputPolarity,
    OutputFunction,
    OutputPolarity,
};
struct Setting {
    SettingKind kind = SettingKind::Alias;
    int pin = 0;
    bool operator==(const Setting&) const = default;
};

struct PlannedWrite {
    uint16_t address = 0;
    int16_t value = 0;
    Setting setting;
};
using WritePlan = std::vector<PlannedWrite>;

// The pages' fields as the user leaves them. Text fields hold what the edits
// show; they become numbers only when the plan is built.
struct WizardForm {
    uint16_t aliasSource = 0;  // 1: object dictionary, anything else: front-panel switch
    std::string aliasText;     // the switch's alias (read only) or the dictionary's
    std::string peakCurrentText, standbyPercentText, standbyTimeText;
    std::string pulsesText;
    bool commandInverted = false;
    int16_t inputFunction[kPins] = {};
    std::string inputFilterText[kPins];
    bool inputInverted[kPins] = {};
    int16_t outputFunction[kPins] = {};
    bool outputInverted[kPins] = {};
};

// The plain decimal conversion of a text field: leading blanks, an optional
// sign, then digits up to the first other character, kept as a 16-bit word.
// No range is checked. False for text with no leading digits at all (empty,
// "abc", "-"), which the wizard refuses instead of writing it as 0.
bool ParseWizardNumber(std::string_view text, int16_t* value);

// Bit k is pin k+1's inversion; bits 7..15 are 0.
uint16_t PolarityWord(const bool inverted[kPins]);
void PolarityBits(uint16_t word, bool inverted[kPins]);

// Reads registers one at a time, remembering each value, and gives up at the
// first request without an answer (or when asked to stop): a drive that has
// gone silent would otherwise cost a time-out per register.
class WizardReader {
public:
    explicit WizardReader(DriveHandle& drive, std::stop_token stop = {});
    std::optional<int16_t> read(uint16_t address);
    bool ok() const { return !m_failed && !m_stopped; }
    bool stopped() const { return m_stopped; }
    // The register that went unanswered; meaningful when !ok() && !stopped().
    uint16_t unansweredAddress() const { return m_unanswered; }
    const std::map<uint16_t, int16_t>& values() const { return m_values; }

private:
    DriveHandle& m_drive;
    std::stop_token m_stop;
    bool m_failed = false, m_stopped = false;
    uint16_t m_unanswered = 0;
    std::map<uint16_t, int16_t> m_values;
};

// What the wizard reads when a page is shown, and the alias page's two
// radio-button actions. Each returns reader.ok().
enum class LoadStep { AliasPage, AliasSwitch, AliasDictionary, CurrentPage, PulsesPage, IoPage, InputPage, OutputPage };
bool LoadAliasPage(WizardReader& reader, WizardForm& form);
bool AliasSwitchAction(WizardReader& reader, WizardForm& form);      // address 4, source 0
bool AliasDictionaryAction(WizardReader& reader, WizardForm& form);  // address 49, source 1
bool LoadCurrentPage(WizardReader& reader, WizardForm& form);
bool LoadPulsesPage(WizardReader& reader, WizardForm& form);
bool LoadInputPage(WizardReader& reader, WizardForm& form, uint16_t variant);
bool LoadOutputPage(WizardReader& reader, WizardForm& form, uint16_t variant);
bool RunLoadStep(WizardReader& reader, LoadStep step, WizardForm& form, uint16_t variant);

// The writes of all four pages in the wizard's order: alias page (49 when the
// source is the object dictionary, then 50), current page (0, 2, 3), pulses
// page (1, 51), inputs (functions, filters, polarity), outputs (functions,
// polarity). Every text field to be written is checked before the plan is
// made: on text that is no number, returns false with the setting in `bad`
// and an empty plan. `include` keeps only the writes it accepts.
using SettingFilter = std::function<bool(const Setting&)>;
bool PlanWrites(const WizardForm& form, uint16_t variant, WritePlan* plan, Setting* bad = nullptr,
                const SettingFilter& include = {});

}  // namespace hx::wizard
