#include "core/tuning/ServoLoop.h"

#include <algorithm>
#include <cmath>

#include "core/protocol/ServoParameters.h"

namespace hx::tuning {

namespace {

Complex Jw(double hz) { return {0.0, 2 * kPi * hz}; }

}  // namespace

servo::Notch ToServo(const Notch& n) {
    servo::Notch s;
    s.on = n.Active();
    s.frequencyHz = n.Active() ? n.centerHz : servo::kNotchOffHz;
    s.zeta = n.poleDamping;
    s.depth = std::clamp(n.centerGain, 0.0, 1.0);
    return s;
}

// The drive's own formula, so the design predicts the notch the drive runs.
Complex NotchResponse(const Notch& n, double hz) {
    if (!n.Active()) return 1.0;
    return servo::NotchResponse(ToServo(n), hz);
}

Complex TorqueFilterResponse(double tau, double hz) {
    if (tau <= 0) return 1.0;
    return servo::TorqueFilterResponse(tau, hz);
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
    using servo::Param;
    using servo::SiToWord;
    ServoWords w;
    w.pr104 = SiToWord(Param::PositionGain, l.positionGainPerS);
    w.pr105 = SiToWord(Param::SpeedGain, l.speedGainHz);
    w.pr106 = SiToWord(Param::SpeedIntegralTime, l.integralTimeS);
    w.pr113 = SiToWord(Param::InertiaRatio, l.inertiaRatio);
    w.pr125 = l.integralOn ? 0 : 1;
    w.pr127 = SiToWord(Param::TorqueFilter, l.torqueFilterS);
    for (int i = 0; i < kNotchCount; ++i) {
        const Notch& n = l.notches[i];
        NotchWords& nw = w.notches[i];
        if (!n.Active()) {
            nw = NotchWords{};
            continue;
        }
        nw.frequency = std::min<int>(SiToWord(servo::NotchFrequency(i), n.centerHz), kNotchOffHz - 1);
        // A width of 0 would turn the notch off: the narrowest is 1.
        nw.width = std::max<int>(1, SiToWord(servo::NotchWidth(i), n.poleDamping));
        nw.depth = SiToWord(servo::NotchDepth(i), n.centerGain);
    }
    return w;
}

servo::Settings ServoSettings(const ServoWords& w) {
    using servo::Param;
    servo::Words words = servo::FactoryWords(servo::Model::Krv4);
    auto set = [&words](Param p, int v) { words[static_cast<int>(p)] = static_cast<int16_t>(v); };
    set(Param::PositionGain, w.pr104);
    set(Param::SpeedGain, w.pr105);
    set(Param::SpeedIntegralTime, w.pr106);
    set(Param::InertiaRatio, w.pr113);
    set(Param::IntegralOff, w.pr125);
    set(Param::TorqueFilter, w.pr127);
    for (int i = 0; i < kNotchCount; ++i) {
        set(servo::NotchFrequency(i), w.notches[i].frequency);
        set(servo::NotchWidth(i), w.notches[i].width);
        set(servo::NotchDepth(i), w.notches[i].depth);
    }
    return servo::Decode(words);
}

ServoLoop FromWords(const ServoWords& w) {
    const servo::Settings s = ServoSettings(w);
    ServoLoop l;
    l.positionGainPerS = s.positionGain;
    l.speedGainHz = s.speedLoopHz;
    l.integralTimeS = s.speedIntegralTime;
    l.integralOn = s.integralOn;
    l.inertiaRatio = s.inertiaRatio;
    l.torqueFilterS = s.torqueFilter;
    for (int i = 0; i < kNotchCount; ++i) {
        const servo::Notch& sn = s.notches[i];
        Notch& n = l.notches[i];
        n.centerHz = sn.on ? sn.frequencyHz : 0.0;
        n.poleDamping = sn.zeta;
        n.centerGain = sn.depth;
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
