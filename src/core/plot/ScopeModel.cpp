#include "core/plot/ScopeModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace hx::plot {
namespace {

// Source codes that show the same kind of quantity share one range: position
// error/feedback/reference, speed feedback/reference, the two phase currents,
// then three single sources. Other sources keep their own range.
constexpr int32_t kCommonRangeGroups[] = {0x15, 0x0A, 0x60, 0x80, 0x100, 0x200};

// Pixel positions far outside the plot are clipped anyway; holding them in a
// range that no conversion overflows keeps huge values harmless.
constexpr double kPixelLimit = 1 << 24;

int toPixel(double v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -kPixelLimit, kPixelLimit);
    return static_cast<int>(std::trunc(v));
}

long long truncToLong(double v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -9e15, 9e15);
    return static_cast<long long>(std::trunc(v));
}

std::string format(const char* fmt, int decimals, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, decimals, v);
    return buf;
}

}  // namespace

ScopeModel::ScopeModel() {
    m_cursor = {0, 0};
}

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

void ScopeModel::SetYCaption(std::string text) {
    m_captions[0] = std::move(text);
    for (int k = 1; k < kChannels; ++k) m_captions[k].clear();
}

void ScopeModel::SetChannelTypes(const std::array<int32_t, 4>& types,
                                 const std::function<std::string(int32_t)>& captionOf) {
    m_types = types;
    for (int k = 0; k < kChannels; ++k) m_captions[k] = captionOf ? captionOf(types[k]) : std::string();
}

bool ScopeModel::PlotPoint(int channel, int i, float v, int n) {
    if (channel < 0 || channel >= kChannels) return false;
    if (std::isfinite(v)) {
        const double need = 1.2 * std::fabs(static_cast<double>(v));
        if (m_levels[0].chMax[channel] < need) {
            const float r = static_cast<float>(need);
            const float m = r <= 100 ? (1 + std::trunc(r / 10)) * 10 : (1 + std::trunc(r / 100)) * 100;
            SetChannelRange(channel, -m, m);
        }
        m_points[channel].push_back({static_cast<float>(i), v});
    }
    if (i == n - 1) {
        ApplyCommonRanges();
        return true;
    }
    return false;
}

void ScopeModel::ClearLists() {
    for (auto& p : m_points) p.clear();
}

void ScopeModel::ClearPoints() {
    ClearLists();
    m_markers.clear();
    m_level = 0;
}

void ScopeModel::KeepReference() {
    for (int k = 0; k < kChannels; ++k) {
        m_reference[k].clear();
        if (m_types[k] != 0) m_reference[k].assign(m_points[k].begin(), m_points[k].begin() + drawnCount(k));
    }
}

void ScopeModel::ClearReference() {
    for (auto& r : m_reference) r.clear();
}

bool ScopeModel::HasReference() const {
    for (const auto& r : m_reference)
        if (!r.empty()) return true;
    return false;
}

std::vector<PixelPoint> ScopeModel::ReferenceVertices(int channel) const {
    std::vector<PixelPoint> out;
    if (!ChannelDrawn(channel)) return out;
    out.reserve(m_reference[channel].size());
    for (const auto& p : m_reference[channel]) out.push_back({PixelX(p.x), PixelY(channel, p.y)});
    return out;
}

void ScopeModel::SetMarkers(int channel, std::vector<PlotPointF> points) {
    m_markerChannel = channel;
    m_markers = std::move(points);
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

int ScopeModel::HorizontalDivisions() const {
    const ZoomLevel& l = Current();
    const long long v = truncToLong((static_cast<double>(l.axisLast) - l.axisFirst) / 10);
    if (v <= 2) return 1;
    for (int d = 7; d >= 2; --d)
        if (v % d == 0) return d;
    return 2;
}

int ScopeModel::VerticalDivisions() {
    const ZoomLevel& l = Current();
    const long long v = truncToLong(std::fabs((static_cast<double>(l.chMax[0]) - l.chMin[0]) / 10));
    int d = 0;
    if (v >= 50) {
        d = 2;
    } else if (v <= 2) {
        d = 1;
    } else {
        for (int c = 7; c >= 3; --c)
            if (v % c == 0) {
                d = c == 7 ? 2 : c;
                break;
            }
        if (d == 0) d = m_lastVDiv;  // none divides: the previous redraw's count stays
    }
    m_lastVDiv = d;
    return d;
}

std::string ScopeModel::FormatTick(double v) const { return format("%.*f", TickDecimals(), v); }

std::string ScopeModel::FormatAxisLabel(double v) { return format("%.*f", 0, v); }

const Layout& ScopeModel::ComputeLayout(const TextMeasure& measure) {
    const ZoomLevel& l = Current();
    Layout out;
    out.control = m_control;
    const TextSize digit = measure("0");
    out.digitWidth = digit.width;
    out.digitHeight = digit.height;
    const TextSize xEnd = measure(FormatTick(static_cast<double>(l.xMin) * m_axisPerPoint));
    measure(FormatTick(static_cast<double>(l.xMax) * m_axisPerPoint));
    const TextSize xCaption = measure(m_xCaption);
    for (int k = 0; k < kChannels; ++k)
        out.scaleWidth[k] = std::max(measure(FormatTick(l.chMax[k])).width, measure(FormatTick(l.chMin[k])).width);

    const int cw = digit.width;
    PixelRect& p = out.plot;
    p.left = m_control.left + 3 * cw + out.scaleWidth[3] + out.scaleWidth[0];
    p.right = m_control.right - (5 * cw + out.scaleWidth[1] + out.scaleWidth[2]);
    p.bottom = m_control.bottom - (xEnd.height + xCaption.height + digit.height);
    const int h = p.bottom - m_control.top;
    // The top gives way so that the plot's height keeps the grid on whole pixels.
    p.top = m_control.top + (h % 10) + 10 + 10 * ((h / 10) % 5);
    m_layout = out;
    updateUnitsPerPixel();
    return m_layout;
}

void ScopeModel::updateUnitsPerPixel() {
    const ZoomLevel& l = Current();
    const float w = static_cast<float>(std::max(1, m_layout.plot.width()));
    const float h = static_cast<float>(std::max(1, m_layout.plot.height()));
    m_xUpp = (l.xMax - l.xMin) / w;
    for (int k = 0; k < kChannels; ++k) m_chUpp[k] = (l.chMax[k] - l.chMin[k]) / h;
}

GridLines ScopeModel::Grid() {
    GridLines g;
    const PixelRect& p = m_layout.plot;
    const int cols = 10 * HorizontalDivisions();
    const int rows = 10 * VerticalDivisions();
    for (int i = 1; i < cols; ++i)
        g.fineX.push_back(p.left + static_cast<int>(static_cast<long long>(i) * p.width() / cols));
    for (int i = 1; i < rows; ++i)
        g.fineY.push_back(p.top + static_cast<int>(static_cast<long long>(i) * p.height() / rows));
    for (int i = 1; i < 10; ++i) {
        g.majorX.push_back(p.left + i * (p.width() / 10));
        g.majorY.push_back(p.top + i * (p.height() / 10));
    }
    return g;
}

std::vector<std::string> ScopeModel::ScaleLabels(int channel) const {
    const ZoomLevel& l = Current();
    std::vector<std::string> out;
    const double max = l.chMax[channel], min = l.chMin[channel];
    for (int i = 0; i <= 10; ++i) out.push_back(FormatTick(max - (max - min) * i / 10));
    return out;
}

std::vector<std::string> ScopeModel::AxisLabels() const {
    const ZoomLevel& l = Current();
    std::vector<std::string> out;
    const double first = l.axisFirst, last = l.axisLast;
    for (int i = 0; i <= 10; ++i) out.push_back(FormatAxisLabel(first + (last - first) * i / 10));
    return out;
}

int ScopeModel::PixelX(float x) const {
    const double d = (static_cast<double>(x) - Current().xMin) / m_xUpp;
    return toPixel(m_layout.plot.left + std::trunc(std::isfinite(d) ? d : 0));
}

int ScopeModel::PixelY(int channel, float y) const {
    const double d = (static_cast<double>(y) - Current().chMin[channel]) / m_chUpp[channel];
    return toPixel(m_layout.plot.bottom - std::trunc(std::isfinite(d) ? d : 0));
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
    std::vector<PixelPoint> out;
    if (!ChannelDrawn(channel)) return out;
    const auto& pts = m_points[channel];
    const std::size_t n = drawnCount(channel);
    const PixelRect& plot = m_layout.plot;
    if (n <= static_cast<std::size_t>(std::max(0, plot.width()) + 1)) return AllVertices(channel);

    // Per pixel column the line runs straight up and down between the
    // column's lowest and highest point, so its first, lowest, highest and
    // last points draw the same pixels as all of them, and no peak is lost.
    // Runs beyond the plot's sides are cut away by the plot's frame: of those
    // only the point next to the plot matters.
    out.reserve(std::min<std::size_t>(n, 4 * static_cast<std::size_t>(plot.width() + 3)));
    auto push = [&out](PixelPoint p) {
        if (out.empty() || !(out.back() == p)) out.push_back(p);
    };
    std::size_t i = 0;
    while (i < n) {
        PixelPoint first{PixelX(pts[i].x), PixelY(channel, pts[i].y)};
        if (first.x < plot.left) {
            // Skip to the last point left of the plot.
            while (i + 1 < n && PixelX(pts[i + 1].x) < plot.left) ++i;
            push({PixelX(pts[i].x), PixelY(channel, pts[i].y)});
            ++i;
            continue;
        }
        if (first.x > plot.right) {
            push(first);
            break;
        }
        PixelPoint lo = first, hi = first, last = first;
        std::size_t loAt = i, hiAt = i;
        std::size_t j = i + 1;
        for (; j < n; ++j) {
            const int x = PixelX(pts[j].x);
            if (x != first.x) break;
            last = {x, PixelY(channel, pts[j].y)};
            if (last.y < lo.y) lo = last, loAt = j;  // pixel rows grow downwards
            if (last.y > hi.y) hi = last, hiAt = j;
        }
        push(first);
        if (loAt <= hiAt) {
            push(lo);
            push(hi);
        } else {
            push(hi);
            push(lo);
        }
        push(last);
        i = j;
    }
    return out;
}

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

void ScopeModel::SetCursorsEnabled(bool on) {
    if (on && !m_cursorsOn) {
        const ZoomLevel& l = Current();
        m_cursor[0] = std::round(l.xMin + (l.xMax - l.xMin) / 4);
        m_cursor[1] = std::round(l.xMin + (l.xMax - l.xMin) * 3 / 4);
    }
    m_cursorsOn = on;
}

std::optional<int> ScopeModel::CursorNear(int x, int tolerance) const {
    if (!m_cursorsOn) return std::nullopt;
    std::optional<int> best;
    int bestDistance = tolerance + 1;
    for (int c = 0; c < 2; ++c) {
        const int d = std::abs(x - CursorPixel(c));
        if (d < bestDistance) best = c, bestDistance = d;
    }
    return best;
}

void ScopeModel::DragCursorTo(int which, int x) {
    const PixelRect& p = m_layout.plot;
    x = std::clamp(x, p.left, p.right);
    m_cursor[which] = std::round(Current().xMin + (x - p.left) * m_xUpp);
}

namespace {

// The value of the point nearest to point index x among the first n.
std::optional<float> NearestValue(const std::vector<PlotPointF>& pts, std::size_t n, float x) {
    if (n == 0) return std::nullopt;
    const long long want = truncToLong(std::round(x));
    // Points are normally stored at their own index; look there first.
    if (want >= 0 && static_cast<std::size_t>(want) < n && pts[want].x == static_cast<float>(want)) return pts[want].y;
    std::size_t best = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (std::fabs(pts[i].x - x) < std::fabs(pts[best].x - x)) best = i;
    return pts[best].y;
}

}  // namespace

std::optional<float> ScopeModel::ValueAt(int channel, float x) const {
    return NearestValue(m_points[channel], drawnCount(channel), x);
}

std::vector<std::string> ScopeModel::CursorReadout() const {
    std::vector<std::string> lines;
    if (!m_cursorsOn) return lines;
    char buf[160];
    const double a = static_cast<double>(m_cursor[0]) * m_axisPerPoint;
    const double b = static_cast<double>(m_cursor[1]) * m_axisPerPoint;
    const double d = b - a;
    const char* unit = m_axisKind == AxisKind::Time ? "us" : "Hz";
    std::snprintf(buf, sizeof buf, "A: %.6g %s", a, unit);
    lines.emplace_back(buf);
    std::snprintf(buf, sizeof buf, "B: %.6g %s", b, unit);
    lines.emplace_back(buf);
    if (m_axisKind == AxisKind::Time) {
        if (d != 0)
            std::snprintf(buf, sizeof buf, "\xCE\x94t: %.6g us   1/\xCE\x94t: %.6g Hz", d, 1e6 / std::fabs(d));
        else
            std::snprintf(buf, sizeof buf, "\xCE\x94t: 0 us   1/\xCE\x94t: -");
    } else {
        std::snprintf(buf, sizeof buf, "\xCE\x94" "f: %.6g Hz", d);
    }
    lines.emplace_back(buf);
    for (int k = 0; k < kChannels; ++k) {
        if (!ChannelDrawn(k)) continue;
        const auto va = ValueAt(k, m_cursor[0]);
        const auto vb = ValueAt(k, m_cursor[1]);
        if (!va || !vb) continue;
        std::snprintf(buf, sizeof buf, "CH%d  A: %.6g  B: %.6g  \xCE\x94: %.6g", k + 1, static_cast<double>(*va),
                      static_cast<double>(*vb), static_cast<double>(*vb - *va));
        std::string line = buf;
        // The reference's values at the same cursors, beside the live ones.
        const auto& ref = m_reference[k];
        if (const auto ra = NearestValue(ref, ref.size(), m_cursor[0]), rb = NearestValue(ref, ref.size(), m_cursor[1]);
            ra && rb) {
            std::snprintf(buf, sizeof buf, "   (ref A: %.6g  B: %.6g)", static_cast<double>(*ra), static_cast<double>(*rb));
            line += buf;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace hx::plot
