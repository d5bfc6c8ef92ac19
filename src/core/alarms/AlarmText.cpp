#include "core/alarms/AlarmText.h"

#include <cstdio>

#include "core/i18n/StringTable.h"

namespace hx {

std::string ChineseNumeral(int k) {
    static const char* const kNumerals[] = {"零", "一", "二", "三", "四", "五", "六", "七", "八", "九", "十"};
    if (k >= 0 && k <= 10) return kNumerals[k];
    return std::to_string(k);
}

CauseTextLabels CurrentAlarmLabels(bool chineseNumerals) {
    return {LoadString(50024), LoadString(50025), LoadString(50027), chineseNumerals};
}

CauseTextLabels HistoryLabels() { return {"----------------可能性", "原因:", "处理:", true}; }

std::string BuildCauseText(const std::vector<AlarmCause>& causes, const CauseTextLabels& labels) {
    std::string text;
    int k = 0;
    for (const AlarmCause& cause : causes) {
        ++k;
        text += labels.header;
        text += labels.chineseNumerals ? ChineseNumeral(k) : std::to_string(k);
        text += "------------------\r\n";
        text += labels.reason + cause.reason + "\r\n";
        text += labels.remedy + cause.remedy + "\r\n";
    }
    return text;
}

}  // namespace hx
