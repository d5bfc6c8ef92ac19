#pragma once
// Frequency responses from sampled records, as the drive's captures give
// them: up to four channels of 16-bit words taken together every interval
// microseconds, a finite number of points each, several captures in a row
// that are not joined in time.
//
// Method: Welch's averaged cross-spectra. Each record is cut into segments
// that overlap by half; each segment has its straight-line trend taken out
// and a Hann window applied before its transform. The spectra of all
// segments of all records are averaged, then
//   H1 = S_xy / S_xx                 (input x, output y), or, when an
//   H  = S_zy / S_zx                 instrument z is given,
// and the coherence of the estimate. H1 is right when the noise enters at
// the output only. Inside a closed loop the input carries the loop's own
// noise back, and H1 drifts toward minus the controller's inverse; the
// instrument (a signal the loop does not feed back into, such as the
// commanded position) removes that drift, because nothing the loop adds is
// correlated with it.
//
// A record that touched the end of the 16-bit range was clipped by the
// drive: its points are not the signal and it is left out whole.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/tuning/FrequencyResponse.h"

namespace hx::tuning {

// The words of one channel of a capture, in the drive's unit, and the same
// channel of the following captures.
using Records = std::vector<std::vector<float>>;

struct EstimateInput {
    double intervalUs = 100;  // the capture's sampling interval
    Records input;            // x: one vector per capture
    Records output;           // y: as many, each as long as its input
    Records instrument;       // z: empty, or as many as the input
    // Multiplies every value (a unit conversion, say 0.01 rps per mA to
    // rad/s per A); 1 keeps the drive's units.
    double scale = 1;
};

struct EstimateOptions {
    // Points per segment: 0 picks half the shortest record (three segments
    // a record at half overlap), at least 16. The resolution is
    // 1 / (segmentPoints x interval).
    int segmentPoints = 0;
    double overlap = 0.5;
    // Frequencies reported, both included; 0 for highHz: up to Nyquist.
    // Bin 0 (the mean) is never reported.
    double lowHz = 0, highHz = 0;
    // The excitation repeats (a run test's moves, one after the other): its
    // power sits in lines, and the bins between lines only repeat the
    // nearest line's value through the window's leakage. With this set the
    // estimate keeps one point per line: the bin where the reference's
    // power (the instrument's, else the input's) peaks at least 6 dB above
    // the median of its surroundings, at the line's own frequency found
    // between bins.
    bool linesOnly = false;
    // The output integrates the input (speed over torque current): a
    // segment's output then carries the memory of everything before it, and
    // the cut at its start leaks into the lowest bins. With this set the
    // estimate works on the output's differences (no memory to cut) and
    // divides the exact difference (1 - e^-jwT) out again.
    bool integratingOutput = false;
};

struct EstimateReport {
    int recordsUsed = 0;
    int recordsClipped = 0;  // left out: they touched +-32767 / -32768
    int recordsTooShort = 0; // left out: shorter than a segment, or unequal channels
    int segmentPoints = 0;
    double resolutionHz = 0;
};

// The estimate at every transform bin in the band; empty when no record
// could be used. report (optional) says what was used.
FrequencyResponse EstimateResponse(const EstimateInput& in, const EstimateOptions& options = {},
                                   EstimateReport* report = nullptr);

// Whether a channel's words reached the end of their 16-bit range.
bool Clipped(const std::vector<float>& samples);

// A wrapping 16-bit counter (position feedback and reference in pulses)
// made continuous: each step is taken as the shortest way round.
std::vector<float> UnwrapCounter(const std::vector<float>& words);
// First differences (the same length: the first point repeats the second
// difference), e.g. the commanded speed from the commanded position.
std::vector<float> Differences(const std::vector<float>& samples);
// a - b point by point (the speed error r - y from reference and feedback).
std::vector<float> Subtract(const std::vector<float>& a, const std::vector<float>& b);

}  // namespace hx::tuning
