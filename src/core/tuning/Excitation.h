#pragma once
// What the tuning asks of the drive to measure the machine, within a travel
// (default +-0.25 rev from where the motor stands) and a current limit.
//
// A drive offers two ways to move a motor for a measurement, and the
// tuning uses both, each for the band it serves best:
//
// 1. Probe (the run test's velocity trapezoid): one gentle back-and-forth
//    move, acceleration 20 rev/s^2, 1 rps, 80 % of the travel out and back
//    twice, with the speed feedback and the torque current captured every
//    millisecond. It gives the inertia over the torque constant in the
//    drive's units (mA per rev/s^2) and the friction (EstimateRigidBody),
//    which size the moves that follow; 20 rev/s^2 asks well under an ampere
//    of any motor on a load up to twenty times its own inertia.
//
// 2. Command moves, low band (about 4 to 400 Hz): back-and-forth
//    triangles at the hardest acceleration half the current limit allows,
//    100 ms apart, out and back so they never leave [start, start +
//    distance]. A move's low frequencies grow with its distance and its
//    high ones with the shortness of its acceleration, so there are two
//    kinds: long (80 % of the travel) for the band up to the crossover, and
//    short (0.01 rev, a few milliseconds) for the band above. Captured
//    every millisecond: the commanded position (the instrument: nothing the
//    loop adds is correlated with it), the speed reference, the speed
//    feedback and the torque current. All their records together give the
//    speed loop's open loop L = y / (r - y) (the inertia ratio, Identify.h)
//    and the plant below its first modes.
//
// 3. Torque excitation, high band (about 20 Hz to 2 kHz): the drive's own
//    frequency-analysis excitation (a random torque of fixed size added to
//    the torque reference while the loops hold the motor where it stands)
//    with a capture of the torque current and the speed feedback running
//    during it (every 100 us; the spectrum runs 4096 points at 4 kHz, a
//    second, long enough for the capture's 0.4 s to fit after its start).
//    It gives the plant y / i up to the modes a notch must take out.
//    The excitation's size is the drive's, not ours: where it exceeds the
//    current limit the step is left out. A drive that cannot capture while
//    its spectrum runs (the capture does not complete, or the torque current
//    shows no excitation) is left with the command moves' band; the
//    spectrum's own magnitudes (SpectrumAsResponse) then still name the
//    resonances, and the design keeps to the band that was measured.
//
// Every step is one motion through the program's one motion path
// (standstill check, watchdog armed, the link fed, a stop that is
// confirmed), and the travel each step can reach is predicted here and
// checked before it is started.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/ChannelSources.h"
#include "core/capture/SamplingProtocol.h"
#include "core/runtest/RunFields.h"
#include "core/tuning/FrequencyResponse.h"
#include "core/tuning/Identify.h"

namespace hx::tuning {

// Source codes the plan captures.
inline constexpr uint16_t kSpeedFeedbackSource = 2, kSpeedReferenceSource = 8, kPositionReferenceSource = 16,
                          kMeasuredCurrentSource = 1024, kTorqueCurrentSource = 32768;

struct MotionLimits {
    double travelRev = 0.25;     // each side of where the motor stands
    double currentLimitMa = 3000;
};

struct CapturePlan {
    ChannelCodes codes{};
    int intervalUs = 1000;  // one of the run test's sampling intervals
    int points = 2000;      // per channel, a multiple of 100
    int records = 1;        // captures of the same motion
    double seconds() const { return points * intervalUs * 1e-6; }
};

struct MoveStep {
    runtest::VelocityFields move;
    CapturePlan capture;
    double travelRev = 0;        // the furthest it goes from the start
    double peakCurrentMa = 0;    // predicted (0 while the machine is unknown)
    double lowHz = 0, highHz = 0;  // the band it serves
};

struct TorqueStep {
    bool planned = false;
    std::string why;              // when not planned
    uint16_t spectrumSettings = 0;  // the spectrum's settings word (4 kHz, 4096 points)
    double excitationMa = 0;      // the drive's excitation, as the plan assumes it
    CapturePlan capture;
    double travelRev = 0;         // predicted: the holding loop against the excitation
    double lowHz = 0, highHz = 0;
};

struct ExcitationPlan {
    MoveStep probe;
    std::vector<MoveStep> moves;  // after the probe: the long moves, then the short
    TorqueStep torque;
    std::vector<std::string> notes;  // untranslated English
};

// The probe alone (before anything is known of the machine).
MoveStep PlanProbe(const MotionLimits& limits, const SamplingLimits& drive);
// The current a probe captured: the measured q-axis current where the
// drive records it (the torque the motor got), else the current asked for.
uint16_t ProbeCurrentSource(const CapturePlan& probe);
// Everything, once the probe's figures are in. excitationMa: the size of
// the drive's own torque excitation (1000 mA on the drives this tool
// knows). captures: of each command move (the torque step takes three
// times as many); fewer is quicker and noisier.
ExcitationPlan PlanExcitation(const MotionLimits& limits, const SamplingLimits& drive, const RigidBody& probe,
                              double excitationMa = 1000, int captures = 2);

// How far a trapezoid goes from where it starts (rev): the distance, out
// and back never further; and its duration in seconds.
double TrapezoidTravelRev(const runtest::VelocityFields& move);
double TrapezoidSeconds(const runtest::VelocityFields& move);
// The torque current its acceleration and the friction ask (mA).
double TrapezoidPeakCurrentMa(const runtest::VelocityFields& move, const RigidBody& machine);

// The shortest sampling interval of the run test's list that spans seconds
// with points (the last one when none does).
int IntervalFor(double seconds, int points);

// The drive's spectrum (one magnitude per bin, binHz apart: speed over
// torque current) as a response without phase (all values real): good for
// naming resonances (ModeOptions::magnitudeOnly), not for margins.
FrequencyResponse SpectrumAsResponse(const std::vector<float>& bins, double binHz, double lowHz = 10);

}  // namespace hx::tuning
