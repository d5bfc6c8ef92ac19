#include "core/runtest/RunFields.h"

#include <algorithm>
#include <cmath>

#include "core/capture/ChannelSources.h"

namespace hx::runtest {
namespace {

// The drive's own texts, typos included: users and support staff search for them.
const ResonanceSetting kResonance[kResonanceSettings] = {
    {QT_TRANSLATE_NOOP("RunTest", "第一抗振幅值"), 100, QT_TRANSLATE_NOOP("RunTest", "第一抗振幅值输入超出范围(0~100).")},
    {QT_TRANSLATE_NOOP("RunTest", "第一抗振相位A"), 255, QT_TRANSLATE_NOOP("RunTest", "第一抗振相位A输入超出范围(0~255).")},
    {QT_TRANSLATE_NOOP("RunTest", "第一抗振相位B"), 255, QT_TRANSLATE_NOOP("RunTest", "第一抗振相位B输入超出范围(0~255).")},
    {QT_TRANSLATE_NOOP("RunTest", "第二抗振幅值"), 100, QT_TRANSLATE_NOOP("RunTest", "第二抗振幅值输入超出范围(0~100).")},
    {QT_TRANSLATE_NOOP("RunTest", "第二抗振相位A"), 255, QT_TRANSLATE_NOOP("RunTest", "第二抗振相位A输入超出范围(0~255).")},
    {QT_TRANSLATE_NOOP("RunTest", "第二抗振相位B"), 255, QT_TRANSLATE_NOOP("RunTest", "第二抗振相位B输入超出范围(0~255).")},
    {QT_TRANSLATE_NOOP("RunTest", "第三抗振幅值"), 100, QT_TRANSLATE_NOOP("RunTest", "第三抗振幅值输入超出范围 (0~100).")},
    {QT_TRANSLATE_NOOP("RunTest", "第三抗振相位A"), 255, QT_TRANSLATE_NOOP("RunTest", "第三抗振相位A输入超出范围(0~255).")},
    {QT_TRANSLATE_NOOP("RunTest", "第三抗振相位B"), 255, QT_TRANSLATE_NOOP("RunTest", "第三抗振相位B输入超出范围(0~255).")},
    {QT_TRANSLATE_NOOP("RunTest", "第四抗振幅值"), 100, QT_TRANSLATE_NOOP("RunTest", "第四抗振幅值输入超出范围(0~100).")},
    {QT_TRANSLATE_NOOP("RunTest", "第四抗振相位A"), 255, QT_TRANSLATE_NOOP("RunTest", "第四抗振幅值A输入超出范围(0~255)")},
    {QT_TRANSLATE_NOOP("RunTest", "第四抗振相位B"), 255, QT_TRANSLATE_NOOP("RunTest", "第四抗振相B输入超出范围(0~255).")},
    {QT_TRANSLATE_NOOP("RunTest", "Z轴抗振相位"), 255, QT_TRANSLATE_NOOP("RunTest", "Z轴抗振相相输入超入范围(0~255)")},
};

}  // namespace

const ResonanceSetting& ResonanceSettingAt(int index) { return kResonance[index]; }

std::optional<CheckFailure> CheckVelocity(VelocityFields& f) {
    if (f.speed < 0 || f.speed > 32767) {
        f.speed = 200;
        return CheckFailure{kSpeed, QT_TRANSLATE_NOOP("RunTest", "运行速度超过输入范围(0 ~ 32767),请重新输入!")};
    }
    if (f.distance > 32767) {
        f.distance = 200;
        return CheckFailure{kDistance, QT_TRANSLATE_NOOP("RunTest", "运行行程超过输入范围(0 ~ 32767),请重新输入!")};
    }
    if (f.acceleration > 32767) {
        f.acceleration = 200;
        return CheckFailure{kAcceleration, QT_TRANSLATE_NOOP("RunTest", "加速度过输入范围(0 ~ 32767),请重新输入!")};
    }
    if (f.dwell == 0 || f.dwell > 10000) {
        f.dwell = 200;
        return CheckFailure{kDwell, QT_TRANSLATE_NOOP("RunTest", "间歇时间输入超过范围(1 ~ 10000),请重新输入!")};
    }
    if (f.runs == 0 || f.runs > 65535) {
        f.runs = 1;
        return CheckFailure{kRuns, QT_TRANSLATE_NOOP("RunTest", "运行次数输入超过范围(1 ~ 65535),请重新输入!")};
    }
    return std::nullopt;
}

std::optional<CheckFailure> CheckTorque(TorqueFields& f) {
    if (f.kp < 0) {
        f.kp = 1000;
        return CheckFailure{kKp, ""};
    }
    if (f.ki < 0) {
        f.ki = 200;
        return CheckFailure{kKi, ""};
    }
    if (f.kc < 0 || f.kc > 1024) {
        f.kc = 256;
        return CheckFailure{kKc, ""};
    }
    return std::nullopt;
}

std::optional<CheckFailure> CheckResonance(ResonanceFields& f) {
    for (int i = 0; i < kResonanceSettings; ++i) {
        if (f.values[i] < 0 || f.values[i] > kResonance[i].maximum) {
            f.values[i] = 0;
            return CheckFailure{i, kResonance[i].message};
        }
    }
    return std::nullopt;
}

std::array<uint32_t, 4> ChannelCodes(const std::array<uint32_t, 4>& selected, const std::array<bool, 4>& ticked) {
    std::array<uint32_t, 4> codes{};
    for (int i = 0; i < 4; ++i) codes[i] = ticked[i] ? selected[i] : 0;
    return codes;
}

// The waveform window offers its channels by the same rule.
std::array<std::optional<ChannelPick>, 4> ChannelPicks(int n, int m) {
    std::array<std::optional<ChannelPick>, 4> picks;
    const auto offers = OfferChannels(m, n);
    for (size_t k = 0; k < picks.size(); ++k)
        if (offers[k].offered) picks[k] = ChannelPick{offers[k].entry, true};
    return picks;
}

double PeakSpeed(const VelocityFields& f) {
    const double speed = std::fabs(static_cast<double>(f.speed));
    // distance in 0.01 rev and acceleration in rev/s^2: sqrt(d a) in rev/s.
    const double reachable = std::sqrt(f.distance / 100.0 * f.acceleration) * 100.0;
    return std::min(speed, reachable);
}

}  // namespace hx::runtest
