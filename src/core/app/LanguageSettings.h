#pragma once
// Start-up reading of the language and model-family settings, and the two
// language commands. The choice is stored and takes effect at the next start.

#include <cstdint>
#include <functional>

namespace hx {

struct StartupLanguage {
    uint16_t language = 9;  // g_language
    int qxModelFlag = 0;    // g_qxModelFlag
};

// Steps 3 to 5 of start-up: read Language/Type and QxModel/Yes, and on an
// English system with another language stored, ask askSwitchToEnglish();
// on yes the language becomes 9 and "9" is stored.
StartupLanguage ReadStartupLanguage(uint16_t systemLanguage, const std::function<bool()>& askSwitchToEnglish);

enum class LanguageChoiceOutcome {
    AlreadyCurrent,         // "当前即是，无需切换!"
    SavedRestartNeeded,     // "已保存选择语言,请重新登陆软件,切换语言!"
    ForcedUnsupported,      // stored after the user insisted on an unsupported language
    Declined,               // the user said no; nothing stored
};

// "简体中文": askUnsupported() is asked when the system is not Chinese.
LanguageChoiceOutcome ChooseChinese(uint16_t currentLanguage, uint16_t systemLanguage,
                                    const std::function<bool()>& askUnsupported);
// "English": always stores "9".
LanguageChoiceOutcome ChooseEnglish(uint16_t currentLanguage);

}  // namespace hx
