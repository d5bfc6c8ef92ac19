#include "core/plot/ScopeModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>


namespace hx::plot {
namespace {

// Source codes that show the same kind of quantity share one range: position
// feedback/reference, speed feedback/reference, the two phase currents, then
// three single sources. Other sources keep their own range. Position error
// (1) is a few pulses where the positions are tens of thousands: on their
// range it would draw as a flat line, so it keeps its own.
constexpr int32_t kCommonRangeGroups[] = {0x14, 0x0A, 0x60, 0x80, 0x100, 0x200};

// The smallest time span a wheel zoom goes down to, in points.
constexpr double kMinPointSpan = 2;

}  // namespace

ScopeModel::ScopeModel() { m_cursor = {0, 0}; }

void ScopeModel::SetRect(int left, int top, int right, int bottom) { m_control = {left, top, right, bottom}; }

void ScopeModel::SetXRange(float min, float max, int decimals) {
    m_levels[m_level].xMin = min;
    m_levels[m_level].xMax = max;
    m_xDecimals = decimals;
}

void ScopeModel::SetAxisValues(float first, float last) {
    m_levels[m_level].axisFirst = first;
    m_levels[m_level].axisLast = last;
    m_axisPerPoint = m_levels[0].axisLast / static_cast<float>(m_pointsPerChannel);
}

void ScopeModel::SetPointsPerChannel(uint16_t points) {
    m_pointsPerChannel = points == 0 ? 1 : points;
    m_axisPerPoint = m_levels[0].axisLast / static_cast<float>(m_pointsPerChannel);
}

void ScopeModel::SetChannelRange(int channel, float min, float max, int decimals) {
    if (m_level == 0 && max - min < 10) {
        min -= 5;
        max += 5;
    }
    m_levels[m_level].chMin[channel] = min;
    m_levels[m_level].chMax[channel] = max;
    if (channel == 0) m_ch1Decimals = decimals;
}

void ScopeModel::SetXCaption(std::string text) {
    m_xCaption = std::move(text);
    m_xAxis = ParseAxisCaption(m_xCaption);
}

void ScopeModel::SetYCaption(std::string text) {
    m_captions[0] = std::move(text);
    for (int k = 1; k < kChannels; ++k) m_captions[k].clear();
}

void ScopeModel::SetChannelTypes(const std::array<int32_t, 4>& types,
                                 const std::function<std::string(int32_t)>& captionOf) {
    for (int k = 0; k < kChannels; ++k)
        if (types[k] != m_types[k]) m_scaleFloor[k] = 0, m_muted[k] = false;
    m_types = types;
    for (int k = 0; k < kChannels; ++k) m_captions[k] = captionOf ? captionOf(types[k]) : std::string();
}

void ScopeModel::PlotPoint(int channel, int i, float v) {
    if (channel < 0 || channel >= kChannels) return;
    if (std::isfinite(v)) {
        const double need = 1.2 * std::fabs(static_cast<double>(v));
        if (m_levels[0].chMax[channel] < need) {
            const float r = static_cast<float>(need);
            const float m = r <= 100 ? (1 + std::trunc(r / 10)) * 10 : (1 + std::trunc(r / 100)) * 100;
            SetChannelRange(channel, -m, m);
        }
        m_points[channel].push_back({static_cast<float>(i), v});
        ++m_dataVersion;
    }
}

void ScopeModel::ShowSamples(const std::array<std::vector<float>, 4>& samples, int points) {
    if (points < 1) return;
    for (int k = 0; k < kChannels; ++k) {
        if (m_types[k] == 0 || static_cast<int>(samples[k].size()) < points) continue;
        m_points[k].reserve(m_points[k].size() + static_cast<std::size_t>(points));
        for (int i = 0; i < points; ++i) PlotPoint(k, i, samples[k][static_cast<std::size_t>(i)]);
    }
    ApplyCommonRanges();
}

void ScopeModel::ClearLists() {
    for (auto& p : m_points) p.clear();
    ++m_dataVersion;
}

void ScopeModel::ClearPoints() {
    ClearLists();
    m_level = 0;
    m_scaleFloor = {};
}

void ScopeModel::ApplyCommonRanges() {
    for (int32_t group : kCommonRangeGroups) {
        float m = 0;
        for (int k = 0; k < kChannels; ++k)
            if ((m_types[k] & group) == m_types[k]) m = std::max(m, m_levels[0].chMax[k]);
        for (int k = 0; k < kChannels; ++k) {
            if ((m_types[k] & group) != m_types[k]) continue;
            m_levels[0].chMin[k] = -m;
            m_levels[0].chMax[k] = m;
            SetChannelRange(k, -m, m);
        }
    }
}

void ScopeModel::BeginReplace() {
    m_replacedLevel = m_level;
    m_level = 0;
    ClearLists();
    for (int k = 0; k < kChannels; ++k) SetChannelRange(k, -5, 5);
}

void ScopeModel::EndReplace() {
    // Common ranges are settled by the batch's last point; an empty batch
    // settles them here.
    ApplyCommonRanges();
    if (m_replacedLevel > 0) m_level = m_replacedLevel;
    m_replacedLevel = -1;
    updateUnitsPerPixel();
}

void ScopeModel::SetExtraSeries(std::vector<ExtraSeries> series) {
    m_extras = std::move(series);
    ++m_dataVersion;
}

std::size_t ScopeModel::drawnCount(int ch) const {
    return std::min<std::size_t>(m_points[ch].size(), m_pointsPerChannel);
}

std::vector<PixelPoint> ScopeModel::AllVertices(int channel) const {
    std::vector<PixelPoint> out;
    if (!ChannelDrawn(channel)) return out;
    const auto& pts = m_points[channel];
    const std::size_t n = drawnCount(channel);
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) out.push_back({PixelX(pts[i].x), PixelY(channel, pts[i].y)});
    return out;
}

std::vector<PixelPoint> ScopeModel::CurveVertices(int channel) const {
    if (!ChannelDrawn(channel)) return {};
    return reduce(m_points[channel], drawnCount(channel), channel);
}

std::vector<PixelPoint> ScopeModel::SeriesVertices(const ExtraSeries& series) const {
    if (series.channel < 0 || series.channel >= kChannels) return {};
    return reduce(series.points, series.points.size(), series.channel);
}

std::vector<PixelPoint> ScopeModel::reduce(const std::vector<PlotPointF>& pts, std::size_t n, int channel) const {
    std::vector<PixelPoint> out;
    const PixelRect& plot = m_layout.plot;
    n = std::min(n, pts.size());
    auto map = [&](std::size_t i) { return PixelPoint{PixelX(pts[i].x), PixelY(channel, pts[i].y)}; };
    if (n <= static_cast<std::size_t>(std::max(0, plot.width()) + 1)) {
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) out.push_back(map(i));
        return out;
    }

    // Per pixel column the line runs straight up and down between the
    // column's lowest and highest point, so its first, lowest, highest and
    // last points draw the same pixels as all of them, and no peak is lost.
    // Runs beyond the plot's sides are cut away by the plot's frame: of those
    // only the point next to the plot matters. The extremes are found on the
    // values themselves (the mapping to rows keeps their order), and where
    // the points come in order of x the ends of a column are found by
    // bisection, so only a few points per column are mapped.
    const bool ordered = m_xUpp > 0 && std::is_sorted(pts.begin(), pts.begin() + static_cast<std::ptrdiff_t>(n),
                                                      [](const PlotPointF& a, const PlotPointF& b) { return a.x < b.x; });
    auto px = [&](std::size_t i) { return PixelX(pts[i].x); };
    // First index in [from, n) whose column is above `column` (ordered lists only).
    auto after = [&](std::size_t from, int column) {
        std::size_t lo = from, hi = n;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (px(mid) <= column) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    };
    out.reserve(std::min<std::size_t>(n, 4 * static_cast<std::size_t>(plot.width() + 3)));
    auto push = [&out](PixelPoint p) {
        if (out.empty() || !(out.back() == p)) out.push_back(p);
    };
    std::size_t i = 0;
    while (i < n) {
        const int column = px(i);
        if (column < plot.left) {
            // Skip to the last point left of the plot.
            std::size_t j;
            if (ordered) {
                j = after(i + 1, plot.left - 1);
            } else {
                while (i + 1 < n && px(i + 1) < plot.left) ++i;
                j = i + 1;
            }
            push(map(j - 1));
            i = j;
            continue;
        }
        if (column > plot.right) {
            push(map(i));
            break;
        }
        std::size_t j;
        if (ordered) {
            j = after(i + 1, column);
        } else {
            j = i + 1;
            while (j < n && px(j) == column) ++j;
        }
        float lo = pts[i].y, hi = lo;
        std::size_t loAt = i, hiAt = i;
        for (std::size_t k = i + 1; k < j; ++k) {
            const float y = pts[k].y;
            if (y < lo) lo = y, loAt = k;
            if (y > hi) hi = y, hiAt = k;
        }
        push(map(i));
        if (loAt <= hiAt) {
            push(map(loAt));
            push(map(hiAt));
        } else {
            push(map(hiAt));
            push(map(loAt));
        }
        push(map(j - 1));
        i = j;
    }
    return out;
}

// --- zoom gestures

void ScopeModel::BeginDrag(int x, int y) {
    const PixelRect& p = m_layout.plot;
    if (p.contains(x, y)) {
        if (std::abs(x - p.left) <= kSnapPixels) x = p.left;
        m_dragStart = {x, y};
        m_dragCorner = m_dragStart;
        m_dragging = true;
    } else {
        m_dragStart = {p.left, p.top};
        m_dragCorner = m_dragStart;
    }
}

void ScopeModel::MoveDrag(int x, int y) {
    if (!m_dragging) return;
    const PixelRect& p = m_layout.plot;
    if (std::abs(x - p.right) <= kSnapPixels) x = p.right;
    m_dragCorner = {std::clamp(x, p.left, p.right), std::clamp(y, p.top, p.bottom)};
}

PixelRect ScopeModel::DragRect() const {
    return {std::min(m_dragStart.x, m_dragCorner.x), std::min(m_dragStart.y, m_dragCorner.y),
            std::max(m_dragStart.x, m_dragCorner.x), std::max(m_dragStart.y, m_dragCorner.y)};
}

ZoomOutcome ScopeModel::EndDrag(int x, int y) {
    const PixelRect& p = m_layout.plot;
    if (!p.contains(x, y)) {
        m_dragging = false;
        return ZoomOutcome::None;
    }
    if (std::abs(x - p.right) <= kSnapPixels) x = p.right;
    m_dragCorner = {x, y};
    const PixelRect r = DragRect();
    m_dragging = false;
    if (r.width() >= kMinZoomPixels && r.height() >= kMinZoomPixels)
        return ZoomIn(r) ? ZoomOutcome::ZoomedIn : ZoomOutcome::AtMaximum;
    // A click (or a sliver of a rectangle) steps back out.
    if (m_zoomedOnce && m_level >= 1) {
        ZoomOut();
        return ZoomOutcome::ZoomedOut;
    }
    return ZoomOutcome::None;
}

bool ScopeModel::ZoomIn(PixelRect r) {
    const PixelRect& p = m_layout.plot;
    const ZoomLevel cur = Current();
    const int newLevel = m_level + 1;
    ZoomLevel next = cur;
    next.xMin = (r.left - p.left) * m_xUpp + cur.xMin;
    next.xMax = (r.right - p.left) * m_xUpp + cur.xMin;
    const float ch1Min = (p.bottom - r.bottom) * m_chUpp[0] + cur.chMin[0];
    const float ch1Max = (p.bottom - r.top) * m_chUpp[0] + cur.chMin[0];

    // The axis is cut to whole tens of its unit so its labels stay readable.
    const float perPoint = m_axisPerPoint;
    const float first = next.xMin * perPoint;
    const float last = first + 10 * std::trunc((next.xMax * perPoint - first) / 10);
    if (perPoint != 0) next.xMax = last / perPoint;
    m_zoomedOnce = true;

    if (!(last > first && ch1Max > ch1Min && newLevel < kLevels)) return false;

    // The other channels follow channel 1's zoom in proportion. A channel-1
    // end at 0 gives no ratio; then the other channels move by the share of
    // channel 1's span instead.
    const float span1 = cur.chMax[0] - cur.chMin[0];
    for (int k = 1; k < kChannels; ++k) {
        const float spanK = cur.chMax[k] - cur.chMin[k];
        next.chMax[k] = cur.chMax[0] != 0 ? cur.chMax[k] * (ch1Max / cur.chMax[0])
                                          : cur.chMin[k] + (ch1Max - cur.chMin[0]) / span1 * spanK;
        next.chMin[k] = cur.chMin[0] != 0 ? cur.chMin[k] * (ch1Min / cur.chMin[0])
                                          : cur.chMin[k] + (ch1Min - cur.chMin[0]) / span1 * spanK;
    }
    next.chMin[0] = ch1Min;
    next.chMax[0] = ch1Max;
    next.axisFirst = first;
    next.axisLast = last;
    m_level = newLevel;
    m_levels[m_level] = next;
    updateUnitsPerPixel();
    return true;
}

bool ScopeModel::ZoomOut() {
    if (m_level < 1) return false;
    --m_level;
    updateUnitsPerPixel();
    return true;
}

// --- wheel, keys and panning

double ScopeModel::axisAt(double x) const {
    const ZoomLevel& l0 = m_levels[0];
    const double span = static_cast<double>(l0.xMax) - l0.xMin;
    if (span == 0) return x * m_axisPerPoint;
    return l0.axisFirst + (x - l0.xMin) * ((static_cast<double>(l0.axisLast) - l0.axisFirst) / span);
}

ZoomLevel ScopeModel::withTimeRange(ZoomLevel next, double a, double b) const {
    const ZoomLevel& l0 = m_levels[0];
    const double full0 = std::min(l0.xMin, l0.xMax), full1 = std::max(l0.xMin, l0.xMax);
    const double fullSpan = full1 - full0;
    double span = b - a;
    if (span < kMinPointSpan && fullSpan >= kMinPointSpan) {
        const double mid = (a + b) / 2;
        span = kMinPointSpan;
        a = mid - span / 2;
        b = mid + span / 2;
    }
    if (span >= fullSpan) {
        a = full0;
        b = full1;
    } else if (a < full0) {
        b += full0 - a;
        a = full0;
    } else if (b > full1) {
        a -= b - full1;
        b = full1;
    }
    next.xMin = static_cast<float>(a);
    next.xMax = static_cast<float>(b);
    next.axisFirst = static_cast<float>(axisAt(a));
    next.axisLast = static_cast<float>(axisAt(b));
    return next;
}

void ScopeModel::pushLevel(const ZoomLevel& next) {
    if (m_level + 1 < kLevels) {
        ++m_level;
    } else {
        // The stack is full: the oldest zoom above the full view gives way.
        for (int i = 1; i + 1 < kLevels; ++i) m_levels[i] = m_levels[i + 1];
    }
    m_levels[m_level] = next;
    m_zoomedOnce = true;
    updateUnitsPerPixel();
}

bool ScopeModel::ZoomTimeAround(int x, double factor) {
    const PixelRect& p = m_layout.plot;
    const ZoomLevel& cur = Current();
    const double at = cur.xMin + (std::clamp(x, p.left, p.right) - p.left) * static_cast<double>(m_xUpp);
    const ZoomLevel next = withTimeRange(cur, at + (cur.xMin - at) * factor, at + (cur.xMax - at) * factor);
    if (next == cur) return false;
    pushLevel(next);
    return true;
}

bool ScopeModel::ZoomValuesAround(int y, double factor) {
    const PixelRect& p = m_layout.plot;
    const ZoomLevel& cur = Current();
    ZoomLevel next = cur;
    const int row = std::clamp(y, p.top, p.bottom);
    for (int k = 0; k < kChannels; ++k) {
        const double at = cur.chMin[k] + (p.bottom - row) * static_cast<double>(m_chUpp[k]);
        const double lo = at + (cur.chMin[k] - at) * factor, hi = at + (cur.chMax[k] - at) * factor;
        // A range too thin for a float to tell its ends apart stays as it was.
        if (!(static_cast<float>(hi) > static_cast<float>(lo)) || hi - lo < 1e-6) return false;
        next.chMin[k] = static_cast<float>(lo);
        next.chMax[k] = static_cast<float>(hi);
    }
    if (next == cur) return false;
    pushLevel(next);
    return true;
}

bool ScopeModel::PanBy(double timeShare, double valueShare) {
    const ZoomLevel& cur = Current();
    const double span = static_cast<double>(cur.xMax) - cur.xMin;
    ZoomLevel next = withTimeRange(cur, cur.xMin + timeShare * span, cur.xMax + timeShare * span);
    for (int k = 0; k < kChannels; ++k) {
        const double s = (static_cast<double>(cur.chMax[k]) - cur.chMin[k]) * valueShare;
        next.chMin[k] = static_cast<float>(cur.chMin[k] + s);
        next.chMax[k] = static_cast<float>(cur.chMax[k] + s);
    }
    if (next == cur) return false;
    pushLevel(next);
    return true;
}

void ScopeModel::BeginPan(int x, int y) {
    m_panning = true;
    m_panMoved = false;
    m_panStart = {x, y};
    m_panBase = Current();
}

void ScopeModel::MovePan(int x, int y) {
    if (!m_panning) return;
    const PixelRect& p = m_layout.plot;
    const double w = std::max(1, p.width()), h = std::max(1, p.height());
    const ZoomLevel& base = m_panBase;
    // The picture follows the mouse: dragging right shows earlier points,
    // dragging down shows higher values.
    const double dx = (x - m_panStart.x) * ((static_cast<double>(base.xMax) - base.xMin) / w);
    ZoomLevel next = withTimeRange(base, base.xMin - dx, base.xMax - dx);
    for (int k = 0; k < kChannels; ++k) {
        const double dy = (y - m_panStart.y) * ((static_cast<double>(base.chMax[k]) - base.chMin[k]) / h);
        next.chMin[k] = static_cast<float>(base.chMin[k] + dy);
        next.chMax[k] = static_cast<float>(base.chMax[k] + dy);
    }
    if (!m_panMoved) {
        if (next == base) return;
        m_panMoved = true;
        pushLevel(next);  // the whole drag is one level
        return;
    }
    m_levels[m_level] = next;
    updateUnitsPerPixel();
}

void ScopeModel::EndPan() { m_panning = false; }

bool ScopeModel::FitAll() {
    if (m_level == 0) return false;
    m_level = 0;
    updateUnitsPerPixel();
    return true;
}

// --- cursors

}  // namespace hx::plot
