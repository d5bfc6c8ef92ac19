#include "core/wizard/WizardForm.h"

#include <cstdio>

#include "core/protocol/Registers.h"
#include "core/util/Text.h"

namespace hx::wizard {
namespace {

std::string Signed(int16_t v) { return std::to_string(v); }
std::string Unsigned(int16_t v) { return std::to_string(static_cast<uint16_t>(v)); }

}  // namespace

bool HasFullIo(uint16_t variant) { return variant == reg::kWizardFullIoVariant; }
int InputCount(uint16_t variant) { return HasFullIo(variant) ? 7 : 5; }
int OutputCount(uint16_t variant) { return HasFullIo(variant) ? 7 : 2; }

bool ParseWizardNumber(std::string_view text, int16_t* value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    // The drive takes 16-bit words: larger numbers keep their low 16 bits.
    *value = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(LenientToInt(text))));
    return true;
}

uint16_t PolarityWord(const bool inverted[kPins]) {
    uint16_t word = 0;
    for (int k = 0; k < kPins; ++k)
        if (inverted[k]) word |= static_cast<uint16_t>(1u << k);
    return word;
}

void PolarityBits(uint16_t word, bool inverted[kPins]) {
    for (int k = 0; k < kPins; ++k) inverted[k] = (word >> k & 1u) != 0;
}

WizardReader::WizardReader(DriveHandle& drive, std::stop_token stop) : m_drive(drive), m_stop(std::move(stop)) {}

std::optional<int16_t> WizardReader::read(uint16_t address) {
    if (!ok()) return std::nullopt;
    if (m_stop.stop_requested()) {
        m_stopped = true;
        return std::nullopt;
    }
    const std::optional<int16_t> word = m_drive.Read(address);
    if (!word) {
        m_failed = true;
        m_unanswered = address;
        return std::nullopt;
    }
    m_values[address] = *word;
    return word;
}

bool AliasSwitchAction(WizardReader& reader, WizardForm& form) {
    if (auto v = reader.read(reg::kWizardAliasSwitch)) form.aliasText = Signed(*v);
    form.aliasSource = 0;
    return reader.ok();
}

bool AliasDictionaryAction(WizardReader& reader, WizardForm& form) {
    if (auto v = reader.read(reg::kWizardAlias)) form.aliasText = Signed(*v);
    form.aliasSource = 1;
    return reader.ok();
}

bool LoadAliasPage(WizardReader& reader, WizardForm& form) {
    const auto source = reader.read(reg::kWizardAliasSource);
    if (!source) return false;
    return *source == 1 ? AliasDictionaryAction(reader, form) : AliasSwitchAction(reader, form);
}

bool LoadCurrentPage(WizardReader& reader, WizardForm& form) {
    if (auto v = reader.read(reg::kWizardPeakCurrent)) form.peakCurrentText = Unsigned(*v);
    if (auto v = reader.read(reg::kWizardStandbyTime)) form.standbyTimeText = Unsigned(*v);
    if (auto v = reader.read(reg::kWizardStandbyCurrent)) form.standbyPercentText = Unsigned(*v);
    return reader.ok();
}

bool LoadPulsesPage(WizardReader& reader, WizardForm& form) {
    if (auto v = reader.read(reg::kWizardPulsesPerRev)) form.pulsesText = Unsigned(*v);
    if (auto v = reader.read(reg::kWizardCommandPolarity)) form.commandInverted = *v == 1;
    return reader.ok();
}

bool LoadInputPage(WizardReader& reader, WizardForm& form, uint16_t variant) {
    const int n = InputCount(variant);
    for (int k = 0; k < n; ++k)
        if (auto v = reader.read(reg::kWizardInputFunction[k])) form.inputFunction[k] = *v;
    for (int k = 0; k < n; ++k)
        if (auto v = reader.read(reg::kWizardInputFilter[k])) form.inputFilterText[k] = Signed(*v);
    if (auto v = reader.read(reg::kWizardInputPolarity)) PolarityBits(static_cast<uint16_t>(*v), form.inputInverted);
    return reader.ok();
}

bool LoadOutputPage(WizardReader& reader, WizardForm& form, uint16_t variant) {
    const int n = OutputCount(variant);
    for (int k = 0; k < n; ++k)
        if (auto v = reader.read(reg::kWizardOutputFunction[k])) form.outputFunction[k] = *v;
    // Pins the drive does not have hold no function.
    for (int k = n; k < kPins; ++k) form.outputFunction[k] = 0;
    if (auto v = reader.read(reg::kWizardOutputPolarity)) PolarityBits(static_cast<uint16_t>(*v), form.outputInverted);
    return reader.ok();
}

bool RunLoadStep(WizardReader& reader, LoadStep step, WizardForm& form, uint16_t variant) {
    switch (step) {
    case LoadStep::AliasPage: return LoadAliasPage(reader, form);
    case LoadStep::AliasSwitch: return AliasSwitchAction(reader, form);
    case LoadStep::AliasDictionary: return AliasDictionaryAction(reader, form);
    case LoadStep::CurrentPage: return LoadCurrentPage(reader, form);
    case LoadStep::PulsesPage: return LoadPulsesPage(reader, form);
    case LoadStep::IoPage: return LoadInputPage(reader, form, variant) && LoadOutputPage(reader, form, variant);
    case LoadStep::InputPage: return LoadInputPage(reader, form, variant);
    case LoadStep::OutputPage: return LoadOutputPage(reader, form, variant);
    }
    return false;
}

bool PlanWrites(const WizardForm& form, uint16_t variant, WritePlan* plan, Setting* bad,
                const SettingFilter& include) {
    WritePlan out;
    bool valid = true;
    auto fixed = [&](uint16_t address, int value, Setting s) {
        if (!valid || (include && !include(s))) return;
        out.push_back({address, static_cast<int16_t>(value), s});
    };
    auto typed = [&](uint16_t address, const std::string& text, Setting s) {
        if (!valid || (include && !include(s))) return;
        int16_t value = 0;
        if (!ParseWizardNumber(text, &value)) {
            valid = false;
            if (bad) *bad = s;
            return;
        }
        out.push_back({address, value, s});
    };

    if (form.aliasSource == 1) typed(reg::kWizardAlias, form.aliasText, {SettingKind::Alias});
    fixed(reg::kWizardAliasSource, form.aliasSource, {SettingKind::AliasSource});

    typed(reg::kWizardPeakCurrent, form.peakCurrentText, {SettingKind::PeakCurrent});
    typed(reg::kWizardStandbyTime, form.standbyTimeText, {SettingKind::StandbyTime});
    typed(reg::kWizardStandbyCurrent, form.standbyPercentText, {SettingKind::StandbyCurrent});

    typed(reg::kWizardPulsesPerRev, form.pulsesText, {SettingKind::PulsesPerRev});
    fixed(reg::kWizardCommandPolarity, form.commandInverted ? 1 : 0, {SettingKind::CommandPolarity});

    const int inputs = InputCount(variant);
    for (int k = 0; k < inputs; ++k)
        fixed(reg::kWizardInputFunction[k], form.inputFunction[k], {SettingKind::InputFunction, k + 1});
    for (int k = 0; k < inputs; ++k)
        typed(reg::kWizardInputFilter[k], form.inputFilterText[k], {SettingKind::InputFilter, k + 1});
    fixed(reg::kWizardInputPolarity, PolarityWord(form.inputInverted), {SettingKind::InputPolarity});

    const int outputs = OutputCount(variant);
    for (int k = 0; k < outputs; ++k)
        fixed(reg::kWizardOutputFunction[k], form.outputFunction[k], {SettingKind::OutputFunction, k + 1});
    fixed(reg::kWizardOutputPolarity, PolarityWord(form.outputInverted), {SettingKind::OutputPolarity});

    if (!valid) {
        plan->clear();
        return false;
    }
    *plan = std::move(out);
    return true;
}

}  // namespace hx::wizard
