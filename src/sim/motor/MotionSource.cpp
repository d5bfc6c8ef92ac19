#include "sim/motor/MotionSource.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace hx::sim {

MotionCommand DemoMotion::At(SimTime sinceStart, const MotorFeedback& start) {
    const double t = std::chrono::duration<double>(sinceStart).count();
    const double T = m_shape.moveSeconds, D = m_shape.dwellSeconds, A = m_shape.travelPulses;
    const double period = 2 * (T + D);
    double phase = std::fmod(t, period);
    // Out and back: the second half mirrors the first.
    double sign = 1, base = 0;
    if (phase >= T + D) {
        phase -= T + D;
        sign = -1;
        base = A;
    }
    MotionCommand c;
    c.mode = RunMode::Position;
    double x = A, v = 0;
    if (phase < T) {
        // A cosine move: no step in speed at either end, the acceleration a
        // smooth half wave, as a controller's S-shaped profile.
        const double w = std::numbers::pi / T;
        x = A / 2 * (1 - std::cos(w * phase));
        v = A / 2 * w * std::sin(w * phase);
    }
    c.position = std::round(start.positionPulses) + base + sign * x;
    c.velocity = sign * v / m_shape.pulsesPerRev;
    return c;
}

std::unique_ptr<MotionSource> MakeMotion(const std::string& name, double pulsesPerRev) {
    if (name.empty() || name == "none") return nullptr;
    if (name == "demo") {
        DemoMotion::Shape shape;
        shape.pulsesPerRev = pulsesPerRev;
        return std::make_unique<DemoMotion>(shape);
    }
    throw std::invalid_argument("unknown motion \"" + name + "\" (known: demo, none)");
}

}  // namespace hx::sim
