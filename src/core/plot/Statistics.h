#pragma once
// Figures of one channel between the two measurement cursors: what an
// engineer reads off a scope before anything else. A cursor drag asks for
// them at every step, so each list gets an index once (prefix sums, block
// extremes, the rising crossings) and a question costs a few block lookups,
// not a walk over every point.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace hx::plot {

struct PlotPointF;

struct ChannelStatistics {
    std::size_t count = 0;  // points between the cursors, both ends included
    double min = 0, max = 0, mean = 0, rms = 0;
    double peakToPeak() const { return max - min; }
    // Time axis: the signal's dominant frequency in Hz from its rising
    // crossings of its mean, with a hysteresis of a tenth of its swing so
    // noise does not count (mean and swing of the whole list). With fewer
    // than two rising crossings between the cursors (a period and a half
    // shows one), from the rising and falling ones together, half a period
    // apart; absent with fewer than two crossings of either kind.
    // Frequency axis: where the largest value stands, in the axis unit.
    std::optional<double> frequency;
};

class StatisticsIndex {
public:
    // Indexes the first `count` points of a list; the list must outlive the
    // index and stay as it is.
    void Build(const std::vector<PlotPointF>& points, std::size_t count);
    // Statistics of the points whose x lies between a and b (either order);
    // `secondsPerPoint` turns point indices into time (0 on a frequency
    // axis, where `axisPerPoint` gives the frequency of a point index instead).
    ChannelStatistics Between(double a, double b, double secondsPerPoint, double axisPerPoint) const;

private:
    static constexpr std::size_t kBlock = 64;
    // [first, last) of the points with x in [a, b] (lists in order of x).
    std::pair<std::size_t, std::size_t> indexRange(double a, double b) const;

    const std::vector<PlotPointF>* m_points = nullptr;
    std::size_t m_count = 0;
    bool m_ordered = true;
    std::vector<double> m_sum, m_squares;  // prefix sums, m_count + 1 each
    std::vector<float> m_blockMin, m_blockMax;
    std::vector<uint32_t> m_blockMaxAt;  // first index of each block's largest value
    std::vector<float> m_rising;         // x of each rising crossing, ascending
    std::vector<float> m_crossings;      // x of each crossing either way, ascending
};

// One question without keeping the index.
ChannelStatistics ComputeStatistics(const std::vector<PlotPointF>& points, std::size_t count, double a, double b,
                                    double secondsPerPoint, double axisPerPoint);

}  // namespace hx::plot
