#pragma once
// The vibration assistant's arithmetic: how a machine rings after a move
// (frequency, swing, damping, settling) and which anti-vibration set takes
// the ringing out.
//
// The drive's anti-vibration sets each split the command into two impulses
// (amplitude: how much of the command goes through the set, percent; phase
// A: the delay of the second impulse, in 0.2 ms; phase B: the damping ratio
// the set assumes, in 1/1024). The four sets shape the command one after
// the other. A set whose delay is half the ringing's period cancels it; the
// longest delay, 255 x 0.2 ms, is half the period of a ringing at 9.8 Hz.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP

namespace hx::analysis {

// The window after the move whose swing is reported.
inline constexpr double kResidualWindowMs = 200.0;
// Settled: within this share of the first peak's deviation.
inline constexpr double kSettlingShare = 0.10;

struct ResidualVibration {
    // Swings back and forth at least twice, clearly above the noise.
    bool ringing = false;
    double frequencyHz = 0;               // when ringing
    std::optional<double> dampingRatio;   // when ringing
    // The largest swing from a peak to the next trough (or back) that starts
    // in the window after the move, in the signal's unit; 0 when the signal
    // does not swing (it may still settle slowly onto its place).
    double peakToPeak = 0;
    // From the end of the move until the signal stays within 10 % of its
    // first peak's deviation; nullopt when it does not within the capture.
    std::optional<double> settlingTimeMs;
    double noise = 0;  // the noise's standard deviation, signal's unit
    int moveEnd = 0;   // the sample the analysis starts at
};

// Analyses the samples from moveEnd up to segmentEnd (exclusive; -1: to the
// end of the capture), sampled every intervalUs.
ResidualVibration AnalyseResidualVibration(const std::vector<float>& samples, int moveEnd, double intervalUs,
                                           int segmentEnd = -1);

// Where the first move of a capture ends and, when the run moves again, where
// the next begins, from the position reference: the first sample after it
// started changing from which it stays still for kResidualWindowMs (or to
// the end). nullopt when the capture holds no finished move.
struct MoveSpan {
    int end = 0;
    int nextStart = -1;  // -1: no further move in the capture
};
std::optional<MoveSpan> FindMoveEnd(const std::vector<float>& positionReference, double intervalUs);

// When no position reference was captured: the end of the first move as the
// drive times it from its trapezoid (speed, distance, acceleration) and its
// anti-vibration sets (each active set delays the end by its phase A), in
// samples from the start of the capture.
// The trapezoid as the run-test page sets it: 0.01 rev/s, 0.01 rev, rev/s^2.
struct Trapezoid {
    int32_t speed = 0;
    uint32_t distance = 0;
    uint32_t acceleration = 0;
};
int MoveEndFromTrapezoid(const Trapezoid& move, const std::array<int32_t, 13>& settings, double intervalUs);

// One anti-vibration set as the drive holds it.
struct AntiVibrationSet {
    int amplitude = 0;  // percent
    int phaseA = 0;     // 0.2 ms
    int phaseB = 0;     // 1/1024
    bool operator==(const AntiVibrationSet&) const = default;
};

inline constexpr double kShaperUnitMs = 0.2;
inline constexpr int kPhaseAMax = 255;
inline constexpr int kPhaseBMax = 255;
inline constexpr int kAntiVibrationSets = 4;
// A proposal must leave at most this share of the ringing.
inline constexpr double kTargetResidual = 0.2;

// The share of a ringing (frequency, damping ratio) the sets leave, as the
// drive's shaping predicts it: 1 without sets, 0 when cancelled.
double PredictedResidual(const std::vector<AntiVibrationSet>& sets, double frequencyHz, double dampingRatio);

struct VibrationProposal {
    enum class Kind {
        NoRinging,     // nothing to do
        OneSet,        // the 1st set
        CombinedSets,  // sets 1..sets, all alike, at the longest phase A
        TooSlow,       // even four sets at the longest phase A leave too much
    };
    Kind kind = Kind::NoRinging;
    int sets = 0;              // how many sets to write, from the 1st
    AntiVibrationSet set;      // each of them
    int idealPhaseA = 0;       // half the ringing's period in 0.2 ms (may exceed 255)
    double predictedResidual = 1;
};

VibrationProposal ProposeAntiVibration(const ResidualVibration& vibration);

// The thirteen settings (in the drive's order: amplitude, phase A, phase B
// of the 1st..4th set, then the Z-axis phase) with the proposal in place;
// the other settings as they were.
std::array<int32_t, 13> ApplyProposal(const std::array<int32_t, 13>& settings, const VibrationProposal& proposal);

// Texts the page and the tool show.
inline constexpr const char* kNoRingingText = QT_TRANSLATE_NOOP("Analysis", "未发现振荡");
inline constexpr const char* kTooSlowText =
    QT_TRANSLATE_NOOP("Analysis", "振荡频率 %1 Hz 过低：四组抗振叠加也无法抑制到五分之一以下（相位A最大 255，对应 9.8 Hz）");
inline constexpr const char* kCombinedText =
    QT_TRANSLATE_NOOP("Analysis", "振荡频率 %1 Hz 低于单组抗振的下限 9.8 Hz：第一至第%2组抗振叠加，各取相位A 255");

}  // namespace hx::analysis
