#include "core/wizard/WizardSettingText.h"

namespace hx::wizard {

std::string SettingKey(const Setting& s) {
    const std::string pin = std::to_string(s.pin);
    switch (s.kind) {
    case SettingKind::Alias: return "alias";
    case SettingKind::AliasSource: return "alias_source";
    case SettingKind::PeakCurrent: return "peak_current_ma";
    case SettingKind::StandbyTime: return "standby_time_ms";
    case SettingKind::StandbyCurrent: return "standby_current_pct";
    case SettingKind::PulsesPerRev: return "pulses_per_rev";
    case SettingKind::CommandPolarity: return "command_invert";
    case SettingKind::InputFunction: return "input" + pin + "_function";
    case SettingKind::InputFilter: return "input" + pin + "_filter_us";
    case SettingKind::InputPolarity: return s.pin ? "input" + pin + "_invert" : "input_polarity";
    case SettingKind::OutputFunction: return "output" + pin + "_function";
    case SettingKind::OutputPolarity: return s.pin ? "output" + pin + "_invert" : "output_polarity";
    }
    return {};
}

const char* SettingCaption(SettingKind kind) {
    switch (kind) {
    case SettingKind::Alias: return QT_TRANSLATE_NOOP("SetupWizard", "站点别名数据");
    case SettingKind::AliasSource: return QT_TRANSLATE_NOOP("SetupWizard", "别名来源");
    case SettingKind::PeakCurrent: return QT_TRANSLATE_NOOP("SetupWizard", "峰值电流(mA)");
    case SettingKind::StandbyTime: return QT_TRANSLATE_NOOP("SetupWizard", "待机时间(ms)");
    case SettingKind::StandbyCurrent: return QT_TRANSLATE_NOOP("SetupWizard", "待机电流百分比(%)");
    case SettingKind::PulsesPerRev: return QT_TRANSLATE_NOOP("SetupWizard", "每转脉冲数(Pluse)");
    case SettingKind::CommandPolarity: return QT_TRANSLATE_NOOP("SetupWizard", "指令极性的反转");
    case SettingKind::InputFunction: return QT_TRANSLATE_NOOP("SetupWizard", "SI%1 功能");
    case SettingKind::InputFilter: return QT_TRANSLATE_NOOP("SetupWizard", "SI%1 滤波时间(us)");
    case SettingKind::InputPolarity: return QT_TRANSLATE_NOOP("SetupWizard", "输入极性");
    case SettingKind::OutputFunction: return QT_TRANSLATE_NOOP("SetupWizard", "SO%1 功能");
    case SettingKind::OutputPolarity: return QT_TRANSLATE_NOOP("SetupWizard", "输出极性");
    }
    return "";
}

}  // namespace hx::wizard
