#pragma once
// Reading a drive's spectrum: the levels in decibels, a scale that lets the
// resonance fill the plot, the highest peaks with their frequency between
// bins, and averages of several requests.
//
// The lowest bins hold the motion itself (a move of a few hertz) and dwarf
// everything else, so the scale and the peaks look only above kMotionBandHz.

#include <cstddef>
#include <vector>

#include "core/i18n/StringTable.h"  // QT_TRANSLATE_NOOP

namespace hx::analysis {

inline constexpr const char* kAnalysisTextContext = "Analysis";

// Bins at or below this frequency are the motion, not the machine.
inline constexpr double kMotionBandHz = 20.0;
// The drive's full scale: a bin of 32767 is 0 dB.
inline constexpr double kFullScale = 32767.0;
// What an empty bin shows in decibels (a bin of 1 is about -90 dB).
inline constexpr double kDecibelFloor = -100.0;
// A peak this far above the band's median is called a likely resonance.
inline constexpr double kResonanceMarginDb = 6.0;
// Peaks closer than this (in bins), or than kPeakSeparationShare of their
// frequency, are one resonance: the higher one is listed.
inline constexpr int kPeakSpacingBins = 3;
inline constexpr double kPeakSeparationShare = 0.05;
// A peak stands at least this far above the higher of the two lowest levels
// that separate it from higher ground on either side (its prominence): a
// ripple on the slope of a resonance is no peak of its own.
inline constexpr double kMinProminenceDb = 3.0;
inline constexpr int kDefaultPeakCount = 5;
inline constexpr int kMaxAverages = 16;

inline constexpr const char* kLikelyResonanceText = QT_TRANSLATE_NOOP("Analysis", "可能的共振");

// 20 log10(magnitude / full scale), kDecibelFloor for 0 and below.
double ToDecibels(double magnitude);

struct SpectrumPeak {
    int bin = 0;               // the local maximum
    double frequencyHz = 0;    // between bins, from the levels of its neighbours
    double level = 0;          // the bin's magnitude, as plotted
    bool likelyResonance = false;
};

struct SpectrumAnalysis {
    std::vector<SpectrumPeak> peaks;  // highest first
    double bandMedian = 0;  // median magnitude of the bins above kMotionBandHz
    double bandMax = 0;     // highest magnitude there
};

// The count highest local maxima above kMotionBandHz that stand above the
// band's median and out by kMinProminenceDb, apart by kPeakSpacingBins and
// kPeakSeparationShare of their frequency; the highest is a likely resonance when it stands more
// than kResonanceMarginDb above the band's median. binHz is the width of a
// bin (bin k lies at k x binHz).
SpectrumAnalysis AnalyseSpectrum(const std::vector<float>& magnitudes, double binHz,
                                 int count = kDefaultPeakCount);

// The value range the plot shows: linear from 0 to a round value above the
// band's highest bin; in decibels from a round value below the band's
// lowest to a round value above its highest. Bins at or below
// kMotionBandHz may run off the top.
struct SpectrumScale {
    double minimum = 0, maximum = 0;
};
SpectrumScale ScaleForSpectrum(const std::vector<float>& magnitudes, double binHz, bool decibels);

// Magnitudes in the unit the plot shows.
std::vector<float> InDecibels(const std::vector<float>& magnitudes);

// The mean of several spectra, bin by bin.
class SpectrumAverage {
public:
    // A spectrum of another length than the first starts the average again.
    void Add(const std::vector<float>& magnitudes);
    int Count() const { return m_count; }
    std::vector<float> Mean() const;
    void Clear();

private:
    std::vector<double> m_sum;
    int m_count = 0;
};

}  // namespace hx::analysis
