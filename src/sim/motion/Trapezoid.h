#pragma once
// The velocity trapezoid a drive runs when register 70 is set to 1, as it
// computes it from registers 60..69: a move of the distance at the speed
// with the acceleration, then the dwell, as many runs as asked, every other
// run backwards when back-and-forth is on.

#include <cstdint>

namespace hx::sim {

struct TrapezoidSettings {
    int runs = 1;                 // register 60
    int direction = 1;            // register 61: 1, or -1 (0xFFFF)
    double dwellS = 0.1;          // register 62, ms
    bool backAndForth = true;     // register 63
    double speedRps = 0.6;        // register 65, 0.01 rev/s
    double accelerationRps2 = 200;  // register 67, rev/s^2
    double distanceRev = 0.01;    // register 69, 0.01 rev

    // From the register words as the drive holds them.
    static TrapezoidSettings FromRegisters(uint16_t runs, uint16_t direction, uint16_t dwellMs, uint16_t backAndForth,
                                           uint16_t speed, uint16_t acceleration, uint16_t distance);
};

// The commanded position and speed at a time after the start.
struct ProfilePoint {
    double positionRev = 0;
    double speedRps = 0;
    double accelerationRps2 = 0;
    bool finished = false;  // all runs and dwells done
};

class Trapezoid {
public:
    explicit Trapezoid(const TrapezoidSettings& settings);
    ProfilePoint At(double seconds) const;
    double MoveTime() const { return m_moveTime; }
    double TotalTime() const;

private:
    // Position and speed t seconds into one forward move of the distance.
    void Move(double t, double& position, double& speed, double& acceleration) const;

    TrapezoidSettings m_s;
    double m_rampTime = 0, m_peakSpeed = 0, m_cruiseTime = 0, m_moveTime = 0;
};

}  // namespace hx::sim
