#include "core/wizard/SetupFile.h"

#include <set>

#include "core/protocol/Registers.h"
#include "core/util/BoundedFile.h"
#include "core/util/Text.h"
#include "core/wizard/WizardSettingText.h"

namespace hx::wizard {
namespace {

constexpr const char* kAliasSwitchKey = "alias_switch";

// A setting's key, or the read-only switch (readOnly set).
bool ParseKey(const std::string& name, Setting* s, bool* readOnly) {
    *readOnly = false;
    if (name == kAliasSwitchKey) {
        *readOnly = true;
        return true;
    }
    static const SettingKind kPlain[] = {SettingKind::Alias,          SettingKind::AliasSource,
                                         SettingKind::PeakCurrent,    SettingKind::StandbyTime,
                                         SettingKind::StandbyCurrent, SettingKind::PulsesPerRev,
                                         SettingKind::CommandPolarity};
    for (SettingKind k : kPlain)
        if (name == SettingKey({k})) {
            *s = {k};
            return true;
        }
    static const SettingKind kPerPin[] = {SettingKind::InputFunction, SettingKind::InputFilter,
                                          SettingKind::InputPolarity, SettingKind::OutputFunction,
                                          SettingKind::OutputPolarity};
    for (SettingKind k : kPerPin)
        for (int pin = 1; pin <= kPins; ++pin)
            if (name == SettingKey({k, pin})) {
                *s = {k, pin};
                return true;
            }
    return false;
}

bool IsFlag(const Setting& s) {
    return s.kind == SettingKind::AliasSource || s.kind == SettingKind::CommandPolarity ||
           s.kind == SettingKind::InputPolarity || s.kind == SettingKind::OutputPolarity;
}

bool ParseWhole(const std::string& text, long* value) {
    if (text.empty()) return false;
    std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i >= text.size() || text.size() - i > 6) return false;
    for (std::size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9') return false;
    *value = std::stol(text);
    return true;
}

bool IsInput(SettingKind k) {
    return k == SettingKind::InputFunction || k == SettingKind::InputFilter || k == SettingKind::InputPolarity;
}
bool IsOutput(SettingKind k) { return k == SettingKind::OutputFunction || k == SettingKind::OutputPolarity; }

}  // namespace

SetupReading ReadSetup(DriveHandle& drive, uint16_t variant) {
    SetupReading r;
    r.variant = variant;
    WizardReader reader(drive);
    if (auto v = reader.read(reg::kWizardAliasSource)) r.form.aliasSource = static_cast<uint16_t>(*v);
    if (auto v = reader.read(reg::kWizardAliasSwitch)) r.aliasSwitch = *v;
    if (auto v = reader.read(reg::kWizardAlias)) r.form.aliasText = std::to_string(*v);
    LoadCurrentPage(reader, r.form);
    LoadPulsesPage(reader, r.form);
    LoadInputPage(reader, r.form, variant);
    LoadOutputPage(reader, r.form, variant);
    r.ok = reader.ok();
    r.unansweredAddress = reader.unansweredAddress();
    return r;
}

std::string FormatSetup(const SetupReading& r) {
    std::string out;
    auto line = [&](const std::string& key, const std::string& value) { out += key + "=" + value + "\n"; };
    auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
    const WizardForm& f = r.form;
    line(SettingKey({SettingKind::AliasSource}), std::to_string(f.aliasSource));
    line(kAliasSwitchKey, std::to_string(r.aliasSwitch));
    line(SettingKey({SettingKind::Alias}), f.aliasText);
    line(SettingKey({SettingKind::PeakCurrent}), f.peakCurrentText);
    line(SettingKey({SettingKind::StandbyTime}), f.standbyTimeText);
    line(SettingKey({SettingKind::StandbyCurrent}), f.standbyPercentText);
    line(SettingKey({SettingKind::PulsesPerRev}), f.pulsesText);
    line(SettingKey({SettingKind::CommandPolarity}), flag(f.commandInverted));
    for (int k = 0; k < InputCount(r.variant); ++k) {
        line(SettingKey({SettingKind::InputFunction, k + 1}), std::to_string(f.inputFunction[k]));
        line(SettingKey({SettingKind::InputFilter, k + 1}), f.inputFilterText[k]);
        line(SettingKey({SettingKind::InputPolarity, k + 1}), flag(f.inputInverted[k]));
    }
    for (int k = 0; k < OutputCount(r.variant); ++k) {
        line(SettingKey({SettingKind::OutputFunction, k + 1}), std::to_string(f.outputFunction[k]));
        line(SettingKey({SettingKind::OutputPolarity, k + 1}), flag(f.outputInverted[k]));
    }
    return out;
}

bool ParseSetup(std::string_view text, SetupValues* values, std::string* error) {
    values->clear();
    std::set<std::string> seen;
    int lineNo = 0;
    int writable = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        auto fail = [&](const std::string& why) {
            // The line may be anything (a binary file given by mistake):
            // only text is shown of it.
            *error = "line " + std::to_string(lineNo) + ": " + PrintableExcerpt(why, 120);
            values->clear();
            return false;
        };
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("expected name=value: " + line);
        const std::string name = Trim(std::string_view(line).substr(0, eq));
        const std::string valueText = Trim(std::string_view(line).substr(eq + 1));
        Setting s;
        bool readOnly = false;
        if (!ParseKey(name, &s, &readOnly)) return fail("unknown setting " + name);
        if (!seen.insert(name).second) return fail(name + " given twice");
        long v = 0;
        if (!ParseWhole(valueText, &v)) return fail(name + ": not a whole number: " + valueText);
        if (!readOnly && IsFlag(s) && v != 0 && v != 1) return fail(name + ": must be 0 or 1: " + valueText);
        if (v < -32768 || v > 65535) return fail(name + ": out of the 16-bit range: " + valueText);
        values->emplace_back(name, v);
        if (!readOnly) ++writable;
    }
    // An empty file (or one of comments, or of the read-only switch alone)
    // would write nothing and then store whatever the drive holds.
    if (writable == 0) {
        *error = values->empty() ? "no setting in the file" : "no setting in the file that is written to a drive";
        values->clear();
        return false;
    }
    return true;
}

SetupApplyReport ApplySetup(DriveHandle& drive, uint16_t variant, const SetupValues& values,
                            std::stop_token stop, const ApplyProgress& progress, ChangeBatch* changes,
                            PrepareOptions options) {
    SetupApplyReport report;
    const SetupReading current = ReadSetup(drive, variant);
    report.readOk = current.ok;
    report.unansweredAddress = current.unansweredAddress;
    if (!current.ok) return report;

    WizardForm form = current.form;
    std::set<SettingKind> given;
    for (const auto& [name, v] : values) {
        Setting s;
        bool readOnly = false;
        if (!ParseKey(name, &s, &readOnly)) {
            report.notes.push_back(name + ": unknown setting, not written");
            continue;
        }
        if (readOnly) {
            if (v != current.aliasSwitch)
                report.notes.push_back(name + ": set on the drive's front panel, not written");
            continue;
        }
        if (IsInput(s.kind) && s.pin > InputCount(variant)) {
            report.notes.push_back(name + ": the drive has " + std::to_string(InputCount(variant)) +
                                   " inputs, not written");
            continue;
        }
        if (IsOutput(s.kind) && s.pin > OutputCount(variant)) {
            report.notes.push_back(name + ": the drive has " + std::to_string(OutputCount(variant)) +
                                   " outputs, not written");
            continue;
        }
        const std::string text = std::to_string(v);
        const int i = s.pin - 1;
        switch (s.kind) {
        case SettingKind::Alias: form.aliasText = text; break;
        case SettingKind::AliasSource: form.aliasSource = static_cast<uint16_t>(v); break;
        case SettingKind::PeakCurrent: form.peakCurrentText = text; break;
        case SettingKind::StandbyTime: form.standbyTimeText = text; break;
        case SettingKind::StandbyCurrent: form.standbyPercentText = text; break;
        case SettingKind::PulsesPerRev: form.pulsesText = text; break;
        case SettingKind::CommandPolarity: form.commandInverted = v != 0; break;
        case SettingKind::InputFunction: form.inputFunction[i] = static_cast<int16_t>(v); break;
        case SettingKind::InputFilter: form.inputFilterText[i] = text; break;
        case SettingKind::InputPolarity: form.inputInverted[i] = v != 0; break;
        case SettingKind::OutputFunction: form.outputFunction[i] = static_cast<int16_t>(v); break;
        case SettingKind::OutputPolarity: form.outputInverted[i] = v != 0; break;
        }
        given.insert(s.kind);
    }
    if (given.count(SettingKind::Alias) && form.aliasSource != 1)
        report.notes.push_back("alias: the alias source is the front-panel switch, alias not written");

    // The alias itself is written only with the object dictionary as its
    // source, as the wizard does.
    const SettingFilter include = [&](const Setting& s) {
        return given.count(s.kind) > 0 || (s.kind == SettingKind::Alias && given.count(SettingKind::AliasSource));
    };
    PlanWrites(form, variant, &report.plan, nullptr, include);
    // Every setting given is one this drive lacks: storing now would only
    // make permanent whatever its memory holds.
    if (report.plan.empty()) {
        report.nothingToWrite = true;
        return report;
    }
    if (changes) {
        report.apply.gate = changes->Prepare(stop, {}, options);
        if (!report.apply.gate.ok()) {
            report.apply.outcome = ApplyOutcome::NotBackedUp;
            return report;
        }
    }
    report.apply = ApplyWizard(drive, report.plan, stop, progress, changes);
    if (report.apply.writesDone != static_cast<int>(report.plan.size())) return report;

    for (const PlannedWrite& w : report.plan) {
        const std::optional<int16_t> back = drive.Read(w.address);
        if (!back || *back != w.value) report.mismatches.push_back({w, back.value_or(0), back.has_value()});
    }
    return report;
}

}  // namespace hx::wizard
