#pragma once
// How an alarm code is written wherever it is shown: the alarm pages, the
// command line and the sentence for a refused request.

#include <string>

namespace hx {

// "Err" + the last four characters of the code written as "0000%d":
// 5 -> Err0005, 123 -> Err0123, 12345 -> Err2345.
std::string AlarmNumberText(int code);

}  // namespace hx
