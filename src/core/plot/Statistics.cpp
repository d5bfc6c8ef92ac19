#include "core/plot/Statistics.h"

#include <algorithm>
#include <cmath>

#include "core/plot/ScopeModel.h"

namespace hx::plot {

void StatisticsIndex::Build(const std::vector<PlotPointF>& points, std::size_t count) {
    m_points = &points;
    m_count = std::min(count, points.size());
    const auto begin = points.begin(), end = points.begin() + static_cast<std::ptrdiff_t>(m_count);
    m_ordered = std::is_sorted(begin, end, [](const PlotPointF& a, const PlotPointF& b) { return a.x < b.x; });
    m_sum.assign(m_count + 1, 0);
    m_squares.assign(m_count + 1, 0);
    const std::size_t blocks = (m_count + kBlock - 1) / kBlock;
    m_blockMin.assign(blocks, 0);
    m_blockMax.assign(blocks, 0);
    m_blockMaxAt.assign(blocks, 0);
    double lo = 0, hi = 0;
    for (std::size_t i = 0; i < m_count; ++i) {
        const float y = points[i].y;
        m_sum[i + 1] = m_sum[i] + y;
        m_squares[i + 1] = m_squares[i] + static_cast<double>(y) * y;
        const std::size_t b = i / kBlock;
        if (i % kBlock == 0 || y < m_blockMin[b]) m_blockMin[b] = y;
        if (i % kBlock == 0 || y > m_blockMax[b]) m_blockMax[b] = y, m_blockMaxAt[b] = static_cast<uint32_t>(i);
        if (i == 0 || y < lo) lo = y;
        if (i == 0 || y > hi) hi = y;
    }
    m_rising.clear();
    m_crossings.clear();
    if (m_count == 0 || !(hi > lo)) return;
    // A rising crossing: from below mean - h to above mean + h; a falling
    // one the other way.
    const double mean = m_sum[m_count] / static_cast<double>(m_count), h = (hi - lo) / 10;
    const double low = mean - h, high = mean + h;
    int side = 0;  // -1 last seen below, +1 above, 0 not yet either
    for (std::size_t i = 0; i < m_count; ++i) {
        const float y = points[i].y;
        const int now = y < low ? -1 : y > high ? 1 : 0;
        if (now == 0 || now == side) continue;
        if (side != 0) {
            m_crossings.push_back(points[i].x);
            if (now > 0) m_rising.push_back(points[i].x);
        }
        side = now;
    }
    if (!m_ordered) {
        std::sort(m_rising.begin(), m_rising.end());
        std::sort(m_crossings.begin(), m_crossings.end());
    }
}

std::pair<std::size_t, std::size_t> StatisticsIndex::indexRange(double a, double b) const {
    const auto& pts = *m_points;
    const auto begin = pts.begin(), end = pts.begin() + static_cast<std::ptrdiff_t>(m_count);
    const auto first = std::lower_bound(begin, end, a, [](const PlotPointF& p, double v) { return p.x < v; });
    const auto last = std::upper_bound(first, end, b, [](double v, const PlotPointF& p) { return v < p.x; });
    return {static_cast<std::size_t>(first - begin), static_cast<std::size_t>(last - begin)};
}

ChannelStatistics StatisticsIndex::Between(double a, double b, double secondsPerPoint, double axisPerPoint) const {
    ChannelStatistics s;
    if (!m_points || m_count == 0) return s;
    if (a > b) std::swap(a, b);
    const auto& pts = *m_points;
    float lo = 0, hi = 0;
    std::size_t maxAt = 0;
    auto take = [&](float y, std::size_t at) {
        if (s.count == 0 || y < lo) lo = y;
        if (s.count == 0 || y > hi) hi = y, maxAt = at;
        ++s.count;
    };
    double sum = 0, squares = 0;
    if (m_ordered) {
        const auto [first, last] = indexRange(a, b);
        if (first >= last) return s;
        sum = m_sum[last] - m_sum[first];
        squares = m_squares[last] - m_squares[first];
        // Whole blocks from their extremes, the ragged ends point by point.
        std::size_t i = first;
        for (; i < last && i % kBlock != 0; ++i) take(pts[i].y, i);
        for (; i + kBlock <= last; i += kBlock) {
            const std::size_t blk = i / kBlock;
            const std::size_t before = s.count;
            if (before == 0 || m_blockMin[blk] < lo) lo = m_blockMin[blk];
            if (before == 0 || m_blockMax[blk] > hi) hi = m_blockMax[blk], maxAt = m_blockMaxAt[blk];
            s.count += kBlock;
        }
        for (; i < last; ++i) take(pts[i].y, i);
    } else {
        for (std::size_t i = 0; i < m_count; ++i) {
            if (pts[i].x < a || pts[i].x > b) continue;
            take(pts[i].y, i);
            sum += pts[i].y;
            squares += static_cast<double>(pts[i].y) * pts[i].y;
        }
        if (s.count == 0) return s;
    }
    s.min = lo;
    s.max = hi;
    s.mean = sum / static_cast<double>(s.count);
    // Rounding of the prefix sums may leave a hair below the mean's square.
    s.rms = std::sqrt(std::max(0.0, squares / static_cast<double>(s.count)));

    if (secondsPerPoint <= 0) {
        if (axisPerPoint > 0) s.frequency = static_cast<double>(pts[maxAt].x) * axisPerPoint;
        return s;
    }
    // Whole periods between rising crossings; else half periods between
    // crossings either way.
    auto periodsPerPoint = [a, b](const std::vector<float>& at, double perGap) -> std::optional<double> {
        const auto from = std::lower_bound(at.begin(), at.end(), a);
        const auto to = std::upper_bound(from, at.end(), b);
        const auto n = to - from;
        if (n < 2 || !(*(to - 1) > *from)) return std::nullopt;
        return static_cast<double>(n - 1) * perGap / (*(to - 1) - *from);
    };
    auto perPoint = periodsPerPoint(m_rising, 1.0);
    if (!perPoint) perPoint = periodsPerPoint(m_crossings, 0.5);
    if (perPoint) s.frequency = *perPoint / secondsPerPoint;
    return s;
}

ChannelStatistics ComputeStatistics(const std::vector<PlotPointF>& points, std::size_t count, double a, double b,
                                    double secondsPerPoint, double axisPerPoint) {
    StatisticsIndex index;
    index.Build(points, count);
    return index.Between(a, b, secondsPerPoint, axisPerPoint);
}

}  // namespace hx::plot
