#pragma once
// The drive's position and speed loops as the tuning reasons about them:
// the gains and filters in SI quantities (Hz, s, a ratio), their frequency
// response, and the conversion to and from the parameters' words.
//
// The speed controller, as the drive runs it:
//   C(s) = Kp (1 + 1/(Ti s)) F(s) N1(s) .. N4(s)
//   Kp   = 2 pi fv Jm (1 + R) / Kt      fv: Pr1.05, R: Pr1.13 as a ratio
//   F(s) = 1 / (1 + tau s)              tau: Pr1.27
//   N(s) = (s^2 + 2 g zeta w0 s + w0^2) / (s^2 + 2 zeta w0 s + w0^2)
// with w0 the notch's centre, zeta its width and g its depth (the gain left
// at the centre, 0 = a full cut). fv is the loop's crossover when R is the
// machine's true ratio: on a rigid load the plant is Kt / (Jm (1 + R) s).
// The drive does not report Jm or Kt, so the tuning never uses them: it
// works with C(s) Jm / Kt, which SpeedControllerResponse returns, and with
// the plant scaled by Kt / Jm (see Identify.h).

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/protocol/ServoParameters.h"
#include "core/tuning/FrequencyResponse.h"

namespace hx::tuning {

struct Notch {
    double centerHz = 0;      // 0: off
    double poleDamping = 0.1;   // the width W/20: the -3 dB band of a full cut is 2 x this x centre
    double centerGain = 0;    // 0 .. 1: what the notch leaves at its centre
    bool Active() const { return centerHz > 0 && centerGain < 1; }
    bool operator==(const Notch&) const = default;
};
inline constexpr int kNotchCount = 4;

struct ServoLoop {
    double positionGainPerS = 48.0;  // Pr1.04
    double speedGainHz = 27.0;       // Pr1.05
    double integralTimeS = 0.021;    // Pr1.06
    bool integralOn = true;          // Pr1.25 = 0
    double inertiaRatio = 2.5;       // Pr1.13 / 100
    double torqueFilterS = 0.00084;  // Pr1.27; 0: off
    std::array<Notch, kNotchCount> notches{};
    bool operator==(const ServoLoop&) const = default;
};

Complex NotchResponse(const Notch& notch, double hz);
Complex TorqueFilterResponse(double tauS, double hz);
// The speed controller times Jm / Kt (see above): 1/s.
Complex SpeedControllerResponse(const ServoLoop& loop, double hz);
// The controller's filters alone (torque filter and notches).
Complex FilterResponse(const ServoLoop& loop, double hz);
FrequencyResponse ControllerResponse(const ServoLoop& loop, const std::vector<double>& hz);

// The speed loop's closed response T = L / (1 + L) and the position loop's
// open loop Kpp / s x T, from a speed open loop.
FrequencyResponse ClosedLoop(const FrequencyResponse& openLoop);
FrequencyResponse PositionOpenLoop(const FrequencyResponse& speedOpenLoop, double positionGainPerS);

// --- The parameters' words, with the one meaning the drive gives them
// (core/protocol/ServoParameters.h, which the simulated drive runs on too):
// Pr1.04 0.1 /s, Pr1.05 0.1 Hz, Pr1.06 0.1 ms, Pr1.13 %, Pr1.25 1 =
// integral off, Pr1.27 0.01 ms; a notch's frequency F in Hz (5000 = off),
// its width W the pole damping W/20, its depth D the gain D/100 left at F.
struct NotchWords {
    int frequency = 5000, width = 2, depth = 0;
    bool operator==(const NotchWords&) const = default;
};
struct ServoWords {
    int pr104 = 480, pr105 = 270, pr106 = 210, pr113 = 250, pr125 = 0, pr127 = 84;
    std::array<NotchWords, kNotchCount> notches{};  // Pr2.13..2.15, 2.16..2.18, 2.19..2.21, 2.22..2.24
    bool operator==(const ServoWords&) const = default;
};
inline constexpr int kNotchOffHz = 5000;

// Rounded and held inside each parameter's range.
ServoWords ToWords(const ServoLoop& loop);
ServoLoop FromWords(const ServoWords& words);
// The words as the drive decodes them (the other parameters the factory's).
servo::Settings ServoSettings(const ServoWords& words);

// One parameter's name ("Pr1.05") and word, in the order a tuning writes
// them: the ratio first (the speed gain means a crossover only with the
// right ratio), then the filters, then the gains, the position gain last.
struct ParameterWord {
    std::string name;
    int value = 0;
    bool operator==(const ParameterWord&) const = default;
};
std::vector<ParameterWord> WriteOrder(const ServoWords& words);
// The parameters whose words differ, in write order, with the words before.
struct ParameterChange {
    std::string name;
    int before = 0, after = 0;
    bool operator==(const ParameterChange&) const = default;
};
std::vector<ParameterChange> Changes(const ServoWords& before, const ServoWords& after);

}  // namespace hx::tuning
