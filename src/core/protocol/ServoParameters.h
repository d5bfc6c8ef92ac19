#pragma once
// What the servo loop's parameters mean: where each one lives on each drive
// model, the unit of its register word, the word's conversion to an SI
// value and back, and the continuous-time formulas of the loop it sets.
// The simulated drive runs its loops on exactly these meanings, and the
// tuning code designs with them, so the two agree on units by construction.
// No Qt: the simulator and the command-line tool use it too.
//
// The cascade, as the drive runs it on every control tick (kControlPeriod):
//
//   position loop   speed reference = Kpp·(position command − position)
//                                     + speed feed-forward
//                   Kpp = PositionGain (1/s: rad/s of speed per rad of error).
//                   Feed-forward = SpeedFeedforward × the command's speed,
//                   smoothed by a moving average of FeedforwardSmoothing and
//                   a first-order filter of time constant
//                   SpeedFeedforwardFilter.
//   speed loop      torque reference (in A of torque current) =
//                   Kvp·(e + (1/Ti)∫e dt) + torque feed-forward, e = speed
//                   reference − speed feedback, with
//                       Kvp = 2π·SpeedGain·Jm·(1 + InertiaRatio)/Kt
//                   (A per rad/s; Jm the motor's rotor inertia, Kt its torque
//                   constant, both known to the drive), Ti = SpeedIntegralTime
//                   (IntegralOff = 1: no integral). SpeedGain is therefore the
//                   loop's crossover frequency in Hz when InertiaRatio is the
//                   load's true ratio; with a wrong ratio the crossover moves
//                   by (1 + set)/(1 + true). Torque feed-forward =
//                   TorqueFeedforward × Jm·(1 + InertiaRatio)/Kt × the
//                   command's acceleration.
//   torque filter   first order, 1/(1 + τ·s), τ = TorqueFilter (0: none).
//   notches         four in series after the torque filter, each
//                       N(s) = (s² + 2·(D/100)·(W/20)·ω0·s + ω0²) / (s² + 2·(W/20)·ω0·s + ω0²), ω0 = 2π·F
//                   with F the frequency word (Hz; 5000 or more: off), W the
//                   width word and D the depth word. So W is the notch's
//                   width (its −3 dB band at full depth) in tenths of F,
//                   Δf = F·W/10, and D/100 its gain at F: D = 0 cuts F
//                   completely, D = 10 lowers it by 20 dB, 99 hardly at all.
//                   The drive realises each notch with the bilinear
//                   transform prewarped at F, so F and D hold exactly on the
//                   tick too.
//   current loop    voltage = Kp·(i* − i) + Ki·∫(i* − i) dt + Kc·Ke·speed,
//                   Kp = CurrentKp (0.005 V/A), Ki = CurrentKi (100 V/(A s)),
//                   Kc = CurrentKc/1024 of the back EMF compensated.
//
// The speed the loops see is the encoder's count difference over one tick
// through a first-order low-pass of kSpeedDetectionHz: fixed by the firmware.
// OverSpeedLevel (rpm; 0: the motor's maximum, kMaxSpeedRpm) is the speed
// beyond which the drive stops with its over-speed alarm.

#include <array>
#include <complex>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hx::servo {

// The firmware's fixed figures.
inline constexpr double kControlPeriod = 50e-6;     // s: every loop runs on this tick
inline constexpr double kSpeedDetectionHz = 1500;   // speed detection low-pass
inline constexpr double kMaxSpeedRpm = 6000;        // the over-speed level when its word is 0
inline constexpr int kNotchCount = 4;
inline constexpr int kNotchOffHz = 5000;            // a notch frequency of this or more: off

// The notch formula as the help pages quote it (checked by a test).
inline constexpr std::string_view kNotchFormula =
    "N(s) = (s² + 2·(D/100)·(W/20)·ω0·s + ω0²) / (s² + 2·(W/20)·ω0·s + ω0²), ω0 = 2π·F";

enum class Model { Krv4, Krv7 };
// The layout a drive model uses: KRV7 for "KRV7", KRV4 for every other name
// (the newer layout, which the program's other models follow).
Model ModelFromName(std::string_view driveModel);

enum class Param : int {
    PositionGain,            // 0.1 /s
    SpeedGain,               // 0.1 Hz
    SpeedIntegralTime,       // 0.1 ms
    SpeedFeedforward,        // 0.1 %
    SpeedFeedforwardFilter,  // 0.01 ms
    TorqueFeedforward,       // 0.1 %
    InertiaRatio,            // %
    IntegralOff,             // 0 integral on, 1 off
    TorqueFilter,            // 0.01 ms
    FeedforwardSmoothing,    // 0.01 ms
    CurrentKp,               // 0.005 V/A
    CurrentKi,               // 100 V/(A s)
    CurrentKc,               // 1/1024
    Notch1Frequency, Notch1Width, Notch1Depth,  // Hz, tenths of F, percent at F
    Notch2Frequency, Notch2Width, Notch2Depth,
    Notch3Frequency, Notch3Width, Notch3Depth,
    Notch4Frequency, Notch4Width, Notch4Depth,
    OverSpeedLevel,          // rpm
    Count
};
inline constexpr int kParamCount = static_cast<int>(Param::Count);
constexpr Param NotchFrequency(int n) { return static_cast<Param>(static_cast<int>(Param::Notch1Frequency) + 3 * n); }
constexpr Param NotchWidth(int n) { return static_cast<Param>(static_cast<int>(Param::Notch1Width) + 3 * n); }
constexpr Param NotchDepth(int n) { return static_cast<Param>(static_cast<int>(Param::Notch1Depth) + 3 * n); }

struct ParamInfo {
    double scale;        // SI value of one unit of the word (see WordToSi for the exceptions)
    const char* siUnit;  // of the SI value
    int minWord, maxWord;  // the range the definitions give
};
const ParamInfo& Info(Param p);

// Where the parameter lives on the model, and its name there; nothing when
// the model has no such parameter (it then keeps the factory meaning: no
// torque feed-forward, integral on, no smoothing).
std::optional<uint16_t> Address(Model model, Param p);
std::optional<std::string> Name(Model model, Param p);
// The factory word (the definitions' default) on the model.
int16_t FactoryWord(Model model, Param p);
// The following-error alarm's limit (pulses, 32 bits; 0: no check): the low
// word's address, the high word at the one below. Pr0.06 on KRV4, Pr1.10 on
// KRV7.
uint16_t FollowingErrorLimitAddress(Model model);

// Word <-> SI value: rad/s per rad, Hz, s, share (0..1 for percent words),
// ratio, V/A, V/(A s), Hz for the notch frequency, ζ for its width
// (W/20), gain at F for its depth (D/100), rad/s for the over-speed level
// (0: kMaxSpeedRpm). SiToWord rounds and keeps the word within its range.
double WordToSi(Param p, int16_t word);
int16_t SiToWord(Param p, double si);

using Words = std::array<int16_t, kParamCount>;
Words FactoryWords(Model model);

struct Notch {
    bool on = false;
    double frequencyHz = kNotchOffHz;
    double zeta = 0.1;   // W/20
    double depth = 0;    // gain at the frequency, D/100
};

// All of it in SI, as the loops use it.
struct Settings {
    double positionGain = 48;            // 1/s
    double speedLoopHz = 27;             // Hz
    double speedIntegralTime = 0.021;    // s
    bool integralOn = true;
    double speedFeedforward = 0.3;       // share
    double speedFeedforwardFilter = 5e-4;  // s
    double feedforwardSmoothing = 0;     // s
    double torqueFeedforward = 0;        // share
    double inertiaRatio = 2.5;           // load / motor, as set
    double torqueFilter = 8.4e-4;        // s
    double currentKp = 5;                // V/A
    double currentKi = 20000;            // V/(A s)
    double currentKc = 0.25;             // share of the back EMF
    std::array<Notch, kNotchCount> notches{};
    double overSpeed = 314.159;          // rad/s
};
Settings Decode(const Words& words);
Words Encode(const Settings& settings);

// --- The loop's formulas, continuous time (s = j·2π·hz).
// Speed-loop proportional gain in A per rad/s.
double SpeedProportionalGain(double speedLoopHz, double inertiaRatioSet, double motorInertia,
                             double torqueConstant);
// Where the speed loop crosses over on a rigid load of the true ratio,
// ignoring the integral and the filters: speedLoopHz·(1 + set)/(1 + true).
double RigidCrossoverHz(double speedLoopHz, double inertiaRatioSet, double inertiaRatioTrue);
std::complex<double> NotchResponse(const Notch& notch, double hz);
std::complex<double> TorqueFilterResponse(double timeConstant, double hz);
// The PI: Kvp·(1 + 1/(Ti·s)), or Kvp alone with the integral off.
std::complex<double> SpeedControllerResponse(double kvp, double integralTime, bool integralOn, double hz);

}  // namespace hx::servo
