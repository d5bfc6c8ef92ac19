#pragma once
// The drive's internal signals that its sampling engine can record, by the
// bit they have in the source mask (register 52); a source's code is
// 1 << bit. Bit 14 is a slot the drive lists but that has no signal.

#include <cstdint>

namespace hx::sim {

enum SourceBit : int {
    kPositionError = 0,         // pulses
    kSpeedFeedback = 1,         // 0.01 rps
    kPositionFeedback = 2,      // pulses, a wrapping counter
    kSpeedReference = 3,        // 0.01 rps
    kPositionReference = 4,     // pulses, a wrapping counter
    kCurrentAlpha = 5,          // mA
    kCurrentBeta = 6,           // mA
    kMagneticPosition = 7,      // single-turn angle of the magnetic encoder, 0..16383
    kBusVoltage = 8,            // V
    kRunMode = 9,               // RunMode below
    kQCurrent = 10,             // mA, measured
    kCurrentMagnitude = 11,     // mA, length of the current vector
    kAccelerationReference = 12,  // r/s^2
    kAccelerationFeedback = 13,   // r/s^2
    kUnknownSource = 14,        // listed, never recorded
    kTorqueCurrent = 15,        // mA, the torque-producing current asked for
    kSourceCount = 16
};

constexpr uint16_t SourceCode(int bit) { return static_cast<uint16_t>(1u << bit); }
// The bit of a code with exactly one bit set, or -1.
constexpr int SourceBitOf(uint16_t code) {
    if (code == 0 || (code & (code - 1)) != 0) return -1;
    int bit = 0;
    while ((code >> bit) != 1) ++bit;
    return bit;
}

// What the run-mode signal reports.
enum class RunMode : int16_t {
    Holding = 0,   // enabled, no motion asked for
    Position = 1,  // following a position command (pulse input, trapezoid)
    Velocity = 2,  // following a speed command
    Current = 3,   // current-loop test: the current is commanded directly
};

}  // namespace hx::sim
