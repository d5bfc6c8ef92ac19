#include "core/app/LanguageSettings.h"

#include "core/app/SystemLanguage.h"
#include "core/settings/EnvSettings.h"

namespace hx {

StartupLanguage ReadStartupLanguage(uint16_t systemLanguage, const std::function<bool()>& askSwitchToEnglish) {
    StartupLanguage result;
    result.language = static_cast<uint16_t>(env::ReadInt(env::kLanguage, "Type", "9"));
    result.qxModelFlag = env::Read(env::kQxModel, "Yes", "9") == "1" ? 1 : 0;
    if ((systemLanguage & 0x3ff) == kLangEnglish && result.language != kLangEnglish && askSwitchToEnglish &&
        askSwitchToEnglish()) {
        result.language = kLangEnglish;
        env::Write(env::kLanguage, "Type", "9");
    }
    return result;
}

LanguageChoiceOutcome ChooseChinese(uint16_t currentLanguage, uint16_t systemLanguage,
                                    const std::function<bool()>& askUnsupported) {
    if (currentLanguage == kLangChinese) return LanguageChoiceOutcome::AlreadyCurrent;
    if ((systemLanguage & 0x3ff) == kLangChinese) {
        env::Write(env::kLanguage, "Type", "4");
        return LanguageChoiceOutcome::SavedRestartNeeded;
    }
    if (askUnsupported && askUnsupported()) {
        env::Write(env::kLanguage, "Type", "4");
        return LanguageChoiceOutcome::ForcedUnsupported;
    }
    return LanguageChoiceOutcome::Declined;
}

LanguageChoiceOutcome ChooseEnglish(uint16_t currentLanguage) {
    env::Write(env::kLanguage, "Type", "9");
    return currentLanguage == kLangEnglish ? LanguageChoiceOutcome::AlreadyCurrent
                                           : LanguageChoiceOutcome::SavedRestartNeeded;
}

}  // namespace hx
