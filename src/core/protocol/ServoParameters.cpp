#include "core/protocol/ServoParameters.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace hx::servo {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kRpm = kTwoPi / 60;  // rad/s per rpm

struct Row {
    ParamInfo info;
    int krv4Address, krv7Address;  // -1: the model has none
    const char *krv4Name, *krv7Name;
    int16_t krv4Factory, krv7Factory;
};

// In Param order. Addresses, names, ranges and factory words as the
// definitions of the two models give them.
constexpr Row kRows[kParamCount] = {
    {{0.1, "1/s", 0, 3000}, 24, 24, "Pr1.04", "Pr1.04", 480, 480},
    {{0.1, "Hz", 1, 32767}, 25, 25, "Pr1.05", "Pr1.05", 270, 270},
    {{1e-4, "s", 1, 10000}, 26, 26, "Pr1.06", "Pr1.06", 210, 210},
    {{1e-3, "", 0, 1000}, 35, 29, "Pr1.08", "Pr1.09", 300, 300},
    {{1e-5, "s", 0, 6400}, 36, 35, "Pr1.09", "Pr1.11", 50, 50},
    {{1e-3, "", 0, 1000}, 37, -1, "Pr1.10", nullptr, 0, 0},
    {{0.01, "", 0, 10000}, 42, 3, "Pr1.13", "Pr0.03", 250, 250},
    {{1, "", 0, 1}, 30010, -1, "Pr1.25", nullptr, 0, 0},
    {{1e-5, "s", 0, 2500}, 30012, 28, "Pr1.27", "Pr1.08", 84, 84},
    {{1e-5, "s", 0, 6400}, 30026, -1, "Pr1.41", nullptr, 0, 0},
    {{0.005, "V/A", 0, 32767}, 15, 15, "Pr1.01", "Pr1.01", 1000, 1000},
    {{100, "V/(A s)", 0, 32767}, 16, 16, "Pr1.02", "Pr1.02", 200, 200},
    {{1.0 / 1024, "", 0, 1024}, 17, 17, "Pr1.03", "Pr1.03", 256, 256},
    {{1, "Hz", 50, 5000}, 30100, 30000, "Pr2.13", "Pr2.13", 5000, 5000},
    {{0.05, "", 0, 20}, 30101, 30001, "Pr2.14", "Pr2.14", 2, 2},
    {{0.01, "", 0, 99}, 30102, 30002, "Pr2.15", "Pr2.15", 0, 0},
    {{1, "Hz", 50, 5000}, 30103, 30003, "Pr2.16", "Pr2.16", 5000, 5000},
    {{0.05, "", 0, 20}, 30104, 30004, "Pr2.17", "Pr2.17", 2, 2},
    {{0.01, "", 0, 99}, 30105, 30005, "Pr2.18", "Pr2.18", 0, 0},
    {{1, "Hz", 50, 5000}, 30106, 30006, "Pr2.19", "Pr2.19", 5000, 5000},
    {{0.05, "", 0, 20}, 30107, 30007, "Pr2.20", "Pr2.20", 2, 2},
    {{0.01, "", 0, 99}, 30108, 30008, "Pr2.21", "Pr2.21", 0, 0},
    {{1, "Hz", 50, 5000}, 30109, 30009, "Pr2.22", "Pr2.22", 5000, 5000},
    {{0.05, "", 0, 20}, 30110, 30010, "Pr2.23", "Pr2.23", 2, 2},
    {{0.01, "", 0, 99}, 30111, 30011, "Pr2.24", "Pr2.24", 0, 0},
    {{kRpm, "rad/s", 0, 6000}, 58, 58, "Pr6.05", "Pr6.05", 3000, 3600},
};

const Row& RowOf(Param p) { return kRows[static_cast<int>(p)]; }

}  // namespace

Model ModelFromName(std::string_view driveModel) {
    std::string upper(driveModel);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper == "KRV7" ? Model::Krv7 : Model::Krv4;
}

const ParamInfo& Info(Param p) { return RowOf(p).info; }

std::optional<uint16_t> Address(Model model, Param p) {
    const int a = model == Model::Krv7 ? RowOf(p).krv7Address : RowOf(p).krv4Address;
    if (a < 0) return std::nullopt;
    return static_cast<uint16_t>(a);
}

std::optional<std::string> Name(Model model, Param p) {
    const char* n = model == Model::Krv7 ? RowOf(p).krv7Name : RowOf(p).krv4Name;
    if (!n) return std::nullopt;
    return std::string(n);
}

int16_t FactoryWord(Model model, Param p) {
    return model == Model::Krv7 ? RowOf(p).krv7Factory : RowOf(p).krv4Factory;
}

uint16_t FollowingErrorLimitAddress(Model model) { return model == Model::Krv7 ? 31 : 11; }

Words FactoryWords(Model model) {
    Words w{};
    for (int i = 0; i < kParamCount; ++i) w[i] = FactoryWord(model, static_cast<Param>(i));
    return w;
}

double WordToSi(Param p, int16_t word) {
    if (p == Param::OverSpeedLevel && word <= 0) return kMaxSpeedRpm * kRpm;
    return word * RowOf(p).info.scale;
}

int16_t SiToWord(Param p, double si) {
    const ParamInfo& info = RowOf(p).info;
    const double w = std::round(si / info.scale);
    if (!(w == w)) return static_cast<int16_t>(info.minWord);  // NaN: the safest end
    return static_cast<int16_t>(std::clamp(w, static_cast<double>(info.minWord), static_cast<double>(info.maxWord)));
}

Settings Decode(const Words& w) {
    auto si = [&w](Param p) { return WordToSi(p, w[static_cast<int>(p)]); };
    Settings s;
    s.positionGain = std::max(0.0, si(Param::PositionGain));
    s.speedLoopHz = std::max(0.0, si(Param::SpeedGain));
    s.speedIntegralTime = si(Param::SpeedIntegralTime);
    s.integralOn = w[static_cast<int>(Param::IntegralOff)] == 0 && s.speedIntegralTime > 0;
    s.speedFeedforward = si(Param::SpeedFeedforward);
    s.speedFeedforwardFilter = std::max(0.0, si(Param::SpeedFeedforwardFilter));
    s.feedforwardSmoothing = std::max(0.0, si(Param::FeedforwardSmoothing));
    s.torqueFeedforward = si(Param::TorqueFeedforward);
    s.inertiaRatio = std::max(0.0, si(Param::InertiaRatio));
    s.torqueFilter = std::max(0.0, si(Param::TorqueFilter));
    s.currentKp = si(Param::CurrentKp);
    s.currentKi = si(Param::CurrentKi);
    s.currentKc = si(Param::CurrentKc);
    for (int n = 0; n < kNotchCount; ++n) {
        Notch& notch = s.notches[n];
        notch.frequencyHz = si(NotchFrequency(n));
        notch.zeta = std::max(0.0, si(NotchWidth(n)));
        notch.depth = std::clamp(si(NotchDepth(n)), 0.0, 1.0);
        // Zero width or full gain at the centre is no notch at all.
        notch.on = notch.frequencyHz > 0 && notch.frequencyHz < kNotchOffHz && notch.zeta > 0 && notch.depth < 1;
    }
    s.overSpeed = si(Param::OverSpeedLevel);
    return s;
}

Words Encode(const Settings& s) {
    Words w{};
    auto set = [&w](Param p, double si) { w[static_cast<int>(p)] = SiToWord(p, si); };
    set(Param::PositionGain, s.positionGain);
    set(Param::SpeedGain, s.speedLoopHz);
    set(Param::SpeedIntegralTime, s.speedIntegralTime);
    w[static_cast<int>(Param::IntegralOff)] = s.integralOn ? 0 : 1;
    set(Param::SpeedFeedforward, s.speedFeedforward);
    set(Param::SpeedFeedforwardFilter, s.speedFeedforwardFilter);
    set(Param::FeedforwardSmoothing, s.feedforwardSmoothing);
    set(Param::TorqueFeedforward, s.torqueFeedforward);
    set(Param::InertiaRatio, s.inertiaRatio);
    set(Param::TorqueFilter, s.torqueFilter);
    set(Param::CurrentKp, s.currentKp);
    set(Param::CurrentKi, s.currentKi);
    set(Param::CurrentKc, s.currentKc);
    for (int n = 0; n < kNotchCount; ++n) {
        const Notch& notch = s.notches[n];
        set(NotchFrequency(n), notch.on ? notch.frequencyHz : kNotchOffHz);
        set(NotchWidth(n), notch.zeta);
        set(NotchDepth(n), notch.depth);
    }
    set(Param::OverSpeedLevel, s.overSpeed);
    return w;
}

double SpeedProportionalGain(double speedLoopHz, double inertiaRatioSet, double motorInertia,
                             double torqueConstant) {
    return kTwoPi * speedLoopHz * motorInertia * (1 + inertiaRatioSet) / torqueConstant;
}

double RigidCrossoverHz(double speedLoopHz, double inertiaRatioSet, double inertiaRatioTrue) {
    return speedLoopHz * (1 + inertiaRatioSet) / (1 + inertiaRatioTrue);
}

std::complex<double> NotchResponse(const Notch& n, double hz) {
    if (!n.on) return 1.0;
    const std::complex<double> s(0, kTwoPi * hz);
    const double w0 = kTwoPi * n.frequencyHz;
    return (s * s + 2 * n.depth * n.zeta * w0 * s + w0 * w0) / (s * s + 2 * n.zeta * w0 * s + w0 * w0);
}

std::complex<double> TorqueFilterResponse(double timeConstant, double hz) {
    return 1.0 / std::complex<double>(1, kTwoPi * hz * timeConstant);
}

std::complex<double> SpeedControllerResponse(double kvp, double integralTime, bool integralOn, double hz) {
    if (!integralOn || integralTime <= 0) return kvp;
    return kvp * (1.0 + 1.0 / std::complex<double>(0, kTwoPi * hz * integralTime));
}

}  // namespace hx::servo
