#pragma once
// Names of the wizard's settings: the keys of the setup file and the
// captions the window uses in its messages and its summary.

#include <string>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP
#include "core/wizard/WizardForm.h"

namespace hx::wizard {

inline constexpr const char* kWizardTextContext = "SetupWizard";

// "peak_current_ma", "input3_filter_us", "output2_function", "input_polarity".
std::string SettingKey(const Setting& setting);
// The built-in caption (translated by the window in kWizardTextContext); the
// per-pin captions hold "%1" for the pin number.
const char* SettingCaption(SettingKind kind);

}  // namespace hx::wizard
