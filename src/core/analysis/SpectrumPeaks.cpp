#include "core/analysis/SpectrumPeaks.h"

#include <algorithm>
#include <cmath>

namespace hx::analysis {
namespace {

// The first bin above the motion band.
size_t FirstBandBin(double binHz) {
    if (binHz <= 0) return 0;
    return static_cast<size_t>(std::floor(kMotionBandHz / binHz)) + 1;
}

// Where the top of a peak lies between bins, -0.5..0.5 from bin k. A
// windowed sine's peak is close to a Gaussian, so a parabola through the
// logarithms of the three levels finds it within a few hundredths of a bin;
// a parabola through the levels themselves is the fallback for empty bins.
double PeakOffset(double left, double centre, double right) {
    double a = left, b = centre, c = right;
    if (a > 0 && b > 0 && c > 0) {
        a = std::log(a);
        b = std::log(b);
        c = std::log(c);
    }
    const double denominator = a - 2 * b + c;
    if (denominator >= 0) return 0;  // not a maximum: a plateau or a dip
    return std::clamp(0.5 * (a - c) / denominator, -0.5, 0.5);
}

// 1, 2, 2.5 or 5 times a power of ten, the smallest at or above v.
double RoundUp(double v) {
    if (v <= 0) return 10;
    const double decade = std::pow(10.0, std::floor(std::log10(v)));
    for (double step : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (step * decade >= v * (1 - 1e-12)) return step * decade;
    return 10 * decade;
}

// How far bin k stands above the higher of the two lowest levels between it
// and a higher bin on either side (or the band's end), in decibels.
double ProminenceDb(const std::vector<float>& m, size_t first, size_t k) {
    float left = m[k], right = m[k];
    for (size_t i = k; i-- > first && m[i] <= m[k];) left = std::min(left, m[i]);
    for (size_t i = k + 1; i < m.size() && m[i] <= m[k]; ++i) right = std::min(right, m[i]);
    return ToDecibels(m[k]) - ToDecibels(std::max(left, right));
}

}  // namespace

double ToDecibels(double magnitude) {
    if (!(magnitude > 0)) return kDecibelFloor;
    return std::max(kDecibelFloor, 20 * std::log10(magnitude / kFullScale));
}

std::vector<float> InDecibels(const std::vector<float>& magnitudes) {
    std::vector<float> out(magnitudes.size());
    std::transform(magnitudes.begin(), magnitudes.end(), out.begin(),
                   [](float m) { return static_cast<float>(ToDecibels(m)); });
    return out;
}

SpectrumAnalysis AnalyseSpectrum(const std::vector<float>& m, double binHz, int count) {
    SpectrumAnalysis out;
    const size_t first = FirstBandBin(binHz);
    if (m.size() <= first) return out;

    std::vector<float> band(m.begin() + static_cast<std::ptrdiff_t>(first), m.end());
    out.bandMax = *std::max_element(band.begin(), band.end());
    auto middle = band.begin() + static_cast<std::ptrdiff_t>(band.size() / 2);
    std::nth_element(band.begin(), middle, band.end());
    out.bandMedian = *middle;
    if (band.size() % 2 == 0) {
        const float below = *std::max_element(band.begin(), middle);
        out.bandMedian = (out.bandMedian + below) / 2.0;
    }

    // Local maxima: above the bin before (which may lie in the motion band:
    // a slope falling out of it is no peak) and not below the bin after. The
    // last bin has no neighbour to place it by.
    std::vector<size_t> candidates;
    for (size_t k = first; k + 1 < m.size(); ++k)
        if (m[k] > m[k - 1] && m[k] >= m[k + 1]) candidates.push_back(k);
    std::stable_sort(candidates.begin(), candidates.end(), [&m](size_t a, size_t b) { return m[a] > m[b]; });

    for (size_t k : candidates) {
        if (static_cast<int>(out.peaks.size()) >= count) break;
        // Below the band's median a maximum is a grain of the noise floor.
        if (m[k] <= out.bandMedian || ProminenceDb(m, first, k) < kMinProminenceDb) continue;
        const bool tooClose = std::any_of(out.peaks.begin(), out.peaks.end(), [k](const SpectrumPeak& p) {
            const double apart = std::max<double>(kPeakSpacingBins, kPeakSeparationShare * p.bin);
            return std::abs(static_cast<double>(k) - p.bin) < apart;
        });
        if (tooClose) continue;
        SpectrumPeak p;
        p.bin = static_cast<int>(k);
        p.level = m[k];
        p.frequencyHz = (static_cast<double>(k) + PeakOffset(m[k - 1], m[k], m[k + 1])) * binHz;
        out.peaks.push_back(p);
    }
    if (!out.peaks.empty()) {
        const double margin = ToDecibels(out.peaks.front().level) - ToDecibels(out.bandMedian);
        out.peaks.front().likelyResonance = out.bandMedian <= 0 ? out.peaks.front().level > 0
                                                                : margin > kResonanceMarginDb;
    }
    return out;
}

SpectrumScale ScaleForSpectrum(const std::vector<float>& m, double binHz, bool decibels) {
    const size_t first = FirstBandBin(binHz);
    SpectrumScale s;
    if (m.size() <= first) {
        s = decibels ? SpectrumScale{kDecibelFloor, 0} : SpectrumScale{0, 10};
        return s;
    }
    const auto [lo, hi] = std::minmax_element(m.begin() + static_cast<std::ptrdiff_t>(first), m.end());
    if (!decibels) {
        s.maximum = RoundUp(std::max(1.0, 1.05 * *hi));
        return s;
    }
    // Whole 10 dB divisions with a little room above the highest bin.
    s.maximum = std::ceil((ToDecibels(*hi) + 1) / 10) * 10;
    s.minimum = std::max(kDecibelFloor, std::floor(ToDecibels(*lo) / 10) * 10);
    if (s.maximum - s.minimum < 10) s.minimum = s.maximum - 10;
    return s;
}

void SpectrumAverage::Add(const std::vector<float>& magnitudes) {
    if (m_count == 0 || magnitudes.size() != m_sum.size()) {
        m_sum.assign(magnitudes.size(), 0.0);
        m_count = 0;
    }
    for (size_t i = 0; i < magnitudes.size(); ++i) m_sum[i] += magnitudes[i];
    ++m_count;
}

std::vector<float> SpectrumAverage::Mean() const {
    std::vector<float> out(m_sum.size());
    for (size_t i = 0; i < m_sum.size(); ++i) out[i] = static_cast<float>(m_sum[i] / std::max(1, m_count));
    return out;
}

void SpectrumAverage::Clear() {
    m_sum.clear();
    m_count = 0;
}

}  // namespace hx::analysis
