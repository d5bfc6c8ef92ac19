#include "core/text/AlarmNumber.h"

#include <cstdio>

namespace hx {

std::string AlarmNumberText(int code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0000%d", code);
    const std::string digits(buffer);
    return "Err" + digits.substr(digits.size() - 4);
}

}  // namespace hx
