#pragma once
// The texts the alarm pages build from drive codes and database rows: the
// alarm number ("Err0005"), the numbering of the possible causes and the
// cause-and-remedy text shown under the lists.

#include <string>
#include <vector>

#include "core/text/AlarmNumber.h"

namespace hx {

// 0..10 as Chinese numerals ("零" .. "十"), anything else in decimal digits.
std::string ChineseNumeral(int k);

struct AlarmCause {
    std::string reason;
    std::string remedy;
};

// The pieces of one cause block:
//   header + numeral(k) + "------------------\r\n"
//   reason + <reason> + "\r\n"
//   remedy + <remedy> + "\r\n"
struct CauseTextLabels {
    std::string header;
    std::string reason;
    std::string remedy;
    bool chineseNumerals = true;  // false: the block number in digits
};

// The current-alarm page's labels: string-table entries 50024, 50025 and
// 50027 in the current language.
CauseTextLabels CurrentAlarmLabels(bool chineseNumerals = true);
// The history page's own labels, with ASCII colons.
CauseTextLabels HistoryLabels();

std::string BuildCauseText(const std::vector<AlarmCause>& causes, const CauseTextLabels& labels);

}  // namespace hx
