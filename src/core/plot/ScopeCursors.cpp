// The measurement cursors: their places, the values under them and the
// readout of positions, values and statistics between them.
#include "core/plot/ScopeModel.h"

#include <algorithm>
#include <cmath>

#include "core/i18n/StringTable.h"
#include "core/i18n/Translate.h"

namespace hx::plot {
namespace {

const char* const kScopeContext = "Scope";

}  // namespace

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

std::optional<float> ScopeModel::ValueAt(int channel, float x) const {
    return NearestValue(m_points[channel], drawnCount(channel), x);
}

std::optional<float> ScopeModel::NearestValue(const std::vector<PlotPointF>& pts, std::size_t n, float x) {
    if (n == 0) return std::nullopt;
    const double want = std::round(x);
    // Points are normally stored at their own index; look there first.
    if (want >= 0 && want < static_cast<double>(n)) {
        const auto at = static_cast<std::size_t>(want);
        if (pts[at].x == static_cast<float>(want)) return pts[at].y;
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < n; ++i)
        if (std::fabs(pts[i].x - x) < std::fabs(pts[best].x - x)) best = i;
    return pts[best].y;
}

double ScopeModel::secondsPerPoint() const {
    if (m_axisKind != AxisKind::Time) return 0;
    const AxisUnit base = m_xAxis.unit == AxisUnit::None ? AxisUnit::Microseconds : m_xAxis.unit;
    const double perPoint = axisAt(1) - axisAt(0);
    return std::fabs(perPoint) * SecondsPer(base);
}

ChannelStatistics ScopeModel::StatisticsBetweenCursors(int channel) const {
    const std::size_t n = drawnCount(channel);
    // Versions count from 1, so a fresh model's zero never matches.
    if (m_stats.version[channel] != m_dataVersion + 1 || m_stats.count[channel] != n) {
        m_stats.index[channel].Build(m_points[channel], n);
        m_stats.version[channel] = m_dataVersion + 1;
        m_stats.count[channel] = n;
    }
    return m_stats.index[channel].Between(m_cursor[0], m_cursor[1], secondsPerPoint(), axisAt(1) - axisAt(0));
}

Readout ScopeModel::CursorReadout() const {
    Readout r;
    if (!m_cursorsOn) return r;
    // Positions in the axis's display unit; a caption without a unit reads
    // as microseconds (time) or hertz (frequency), as the windows set them.
    DisplayUnit unit = XDisplayUnit();
    if (unit.symbol.empty()) unit = m_axisKind == AxisKind::Time
                                        ? ChooseDisplayUnit(AxisUnit::Microseconds, Current().axisLast - Current().axisFirst)
                                        : DisplayUnit{AxisUnit::Hertz, 1, "Hz"};
    const double a = axisAt(m_cursor[0]) * unit.scale, b = axisAt(m_cursor[1]) * unit.scale;
    const std::string sym = " " + unit.symbol;
    r.lines.push_back("A: " + FormatSignificant(a) + sym + "   B: " + FormatSignificant(b) + sym);
    if (m_axisKind == AxisKind::Time) {
        const double dtS = std::fabs(m_cursor[1] - m_cursor[0]) * secondsPerPoint();
        r.lines.push_back("\xCE\x94t: " + FormatSignificant(b - a) + sym + "   1/\xCE\x94t: " +
                          (dtS > 0 ? FormatSignificant(1 / dtS) + " Hz" : std::string("-")));
    } else {
        r.lines.push_back("\xCE\x94" "f: " + FormatSignificant(b - a) + sym);
    }
    r.columns = {"",
                 "A",
                 "B",
                 "\xCE\x94",
                 Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "最小"), "min"),
                 Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "最大"), "max"),
                 Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "平均"), "mean"),
                 Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "均方根"), "RMS"),
                 Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "峰峰值"), "p-p"),
                 m_axisKind == AxisKind::Time ? Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "频率"), "freq")
                                              : Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "峰值位置"), "peak at")};
    // Rows named as the captions name the curves: the signal and its unit.
    auto channelName = [this](int k) { return m_captions[k].empty() ? "CH" + std::to_string(k + 1) : m_captions[k]; };
    for (int k = 0; k < kChannels; ++k) {
        if (!ChannelDrawn(k)) continue;
        const auto va = ValueAt(k, m_cursor[0]);
        const auto vb = ValueAt(k, m_cursor[1]);
        if (!va || !vb) continue;
        const ChannelStatistics s = StatisticsBetweenCursors(k);
        auto f = [](double v) { return FormatSignificant(v); };
        std::string freq = "-";
        if (s.frequency) freq = m_axisKind == AxisKind::Time ? f(*s.frequency) + " Hz" : f(*s.frequency) + sym;
        r.rows.push_back({k,
                          {channelName(k), f(*va), f(*vb), f(static_cast<double>(*vb) - *va), f(s.min),
                           f(s.max), f(s.mean), f(s.rms), f(s.peakToPeak()), freq}});
    }
    // A trace behind a drawn channel (a reference) reads at the same cursors.
    for (const ExtraSeries& e : m_extras) {
        if (!ChannelDrawn(e.channel)) continue;
        const auto va = NearestValue(e.points, e.points.size(), m_cursor[0]);
        const auto vb = NearestValue(e.points, e.points.size(), m_cursor[1]);
        if (!va || !vb) continue;
        auto f = [](double v) { return FormatSignificant(v); };
        r.rows.push_back({e.channel,
                          {FillIn(Translate(kScopeContext, QT_TRANSLATE_NOOP("Scope", "%1 参考"), "%1 ref"),
                                  {channelName(e.channel)}),
                           f(*va), f(*vb), f(static_cast<double>(*vb) - *va),
                           "", "", "", "", "", ""}});
    }
    return r;
}

}  // namespace hx::plot
