#pragma once
// A benchmark's goals: each figure checked against its goal where it is
// printed, and the exit status 1 when any was missed, so that a script (or
// a person glancing at $?) sees it without reading the figures.

#include <cstdio>

namespace bench {

class Goals {
public:
    // Whether value <= goal; a miss is said at once.
    bool AtMost(const char* what, double value, double goal) {
        if (value <= goal) return true;
        std::printf("MISSED: %s %.3f, goal <= %.3f\n", what, value, goal);
        m_missed = true;
        return false;
    }
    // A goal that could not be measured counts as missed.
    void Missed(const char* why) {
        std::printf("MISSED: %s\n", why);
        m_missed = true;
    }
    // The closing line and the exit status.
    int Status() const {
        std::printf("%s\n", m_missed ? "a goal was missed" : "all goals met");
        return m_missed ? 1 : 0;
    }

private:
    bool m_missed = false;
};

}  // namespace bench
