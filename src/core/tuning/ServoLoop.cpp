#include "core/tuning/ServoLoop.h"

#include <algorithm>
#include <cmath>

namespace hx::tuning {

namespace {

Complex Jw(double hz) { return {0.0, 2 * kPi * hz}; }

int Clamp(long v, int lo, int hi) { return static_cast<int>(std::clamp<long>(v, lo, hi)); }

}  // namespace

Complex NotchResponse(const Notch& n, double hz) {
    if (!n.Active()) return 1.0;
    const double w0 = 2 * kPi * n.centerHz;
    const Complex s = Jw(hz);
    const double zeta = std::max(n.poleDamping, 1e-3);
    const double g = std::clamp(n.centerGain, 0.0, 1.0);
    return (s * s + 2 * g * zeta * w0 * s + w0 * w0) / (s * s + 2 * zeta * w0 * s + w0 * w0);
}

Complex TorqueFilterResponse(double tau, double hz) {
    if (tau <= 0) return 1.0;
    return 1.0 / (1.0 + tau * Jw(hz));
}

Complex FilterResponse(const ServoLoop& loop, double hz) {
    Complex f = TorqueFilterResponse(loop.torqueFilterS, hz);
    for (const Notch& n : loop.notches) f *= NotchResponse(n, hz);
    return f;
}

Complex SpeedControllerResponse(const ServoLoop& loop, double hz) {
    const Complex s = Jw(hz);
    const double kp = 2 * kPi * loop.speedGainHz * (1 + loop.inertiaRatio);
    Complex pi = 1.0;
    if (loop.integralOn && loop.integralTimeS > 0) pi += 1.0 / (loop.integralTimeS * s);
    return kp * pi * FilterResponse(loop, hz);
}

FrequencyResponse ControllerResponse(const ServoLoop& loop, const std::vector<double>& hz) {
    FrequencyResponse r;
    r.hz = hz;
    r.value.reserve(hz.size());
    for (double f : hz) r.value.push_back(SpeedControllerResponse(loop, f));
    return r;
}

FrequencyResponse ClosedLoop(const FrequencyResponse& L) {
    FrequencyResponse t = L;
    for (Complex& v : t.value) v = v / (1.0 + v);
    return t;
}

FrequencyResponse PositionOpenLoop(const FrequencyResponse& L, double kpp) {
    FrequencyResponse p = ClosedLoop(L);
    for (std::size_t i = 0; i < p.size(); ++i) p.value[i] *= kpp / Jw(p.hz[i]);
    return p;
}

ServoWords ToWords(const ServoLoop& l) {
    ServoWords w;
    w.pr104 = Clamp(std::lround(l.positionGainPerS * 10), 0, 3000);
    w.pr105 = Clamp(std::lround(l.speedGainHz * 10), 1, 32767);
    w.pr106 = Clamp(std::lround(l.integralTimeS * 1e4), 1, 10000);
    w.pr113 = Clamp(std::lround(l.inertiaRatio * 100), 0, 10000);
    w.pr125 = l.integralOn ? 0 : 1;
    w.pr127 = Clamp(std::lround(l.torqueFilterS * 1e5), 0, 2500);
    for (int i = 0; i < kNotchCount; ++i) {
        const Notch& n = l.notches[i];
        NotchWords& nw = w.notches[i];
        if (!n.Active()) {
            nw = NotchWords{};
            continue;
        }
        nw.frequency = Clamp(std::lround(n.centerHz), 50, kNotchOffHz - 1);
        nw.width = Clamp(std::lround(n.poleDamping * 20 - 1), 0, 20);
        nw.depth = Clamp(std::lround(n.centerGain * 100), 0, 99);
    }
    return w;
}

ServoLoop FromWords(const ServoWords& w) {
    ServoLoop l;
    l.positionGainPerS = w.pr104 / 10.0;
    l.speedGainHz = w.pr105 / 10.0;
    l.integralTimeS = w.pr106 / 1e4;
    l.integralOn = w.pr125 == 0;
    l.inertiaRatio = w.pr113 / 100.0;
    l.torqueFilterS = w.pr127 / 1e5;
    for (int i = 0; i < kNotchCount; ++i) {
        const NotchWords& nw = w.notches[i];
        Notch& n = l.notches[i];
        n.centerHz = nw.frequency >= kNotchOffHz ? 0.0 : nw.frequency;
        n.poleDamping = (nw.width + 1) / 20.0;
        n.centerGain = nw.depth / 100.0;
    }
    return l;
}

std::vector<ParameterWord> WriteOrder(const ServoWords& w) {
    std::vector<ParameterWord> out{{"Pr1.13", w.pr113}, {"Pr1.27", w.pr127}};
    static const char* const kNames[kNotchCount][3] = {{"Pr2.13", "Pr2.14", "Pr2.15"},
                                                       {"Pr2.16", "Pr2.17", "Pr2.18"},
                                                       {"Pr2.19", "Pr2.20", "Pr2.21"},
                                                       {"Pr2.22", "Pr2.23", "Pr2.24"}};
    for (int i = 0; i < kNotchCount; ++i) {
        // Width and depth before the frequency, so a notch never acts with
        // another notch's shape on its way in.
        out.push_back({kNames[i][1], w.notches[i].width});
        out.push_back({kNames[i][2], w.notches[i].depth});
        out.push_back({kNames[i][0], w.notches[i].frequency});
    }
    out.push_back({"Pr1.25", w.pr125});
    out.push_back({"Pr1.06", w.pr106});
    out.push_back({"Pr1.05", w.pr105});
    out.push_back({"Pr1.04", w.pr104});
    return out;
}

std::vector<ParameterChange> Changes(const ServoWords& before, const ServoWords& after) {
    const std::vector<ParameterWord> a = WriteOrder(before), b = WriteOrder(after);
    std::vector<ParameterChange> out;
    for (std::size_t i = 0; i < b.size(); ++i)
        if (a[i].value != b[i].value) out.push_back({b[i].name, a[i].value, b[i].value});
    return out;
}

}  // namespace hx::tuning
