// The plot's layout arithmetic: where the captions, the plot area, the
// value scales and the time or frequency ticks go for the control's size and
// the text's measures, the grid lines they give, and values to pixels.
#include "core/plot/ScopeModel.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace hx::plot {

DisplayUnit ScopeModel::XDisplayUnit() const {
    AxisUnit base = m_xAxis.unit;
    if (base == AxisUnit::None) return {};
    const ZoomLevel& l = Current();
    return ChooseDisplayUnit(base, static_cast<double>(l.axisLast) - l.axisFirst);
}

std::string ScopeModel::DisplayXCaption() const {
    const DisplayUnit u = XDisplayUnit();
    if (u.symbol.empty()) return m_xCaption;
    return m_xAxis.stem + "(" + u.symbol + ")";
}

namespace {

// Pixel positions far outside the plot are clipped anyway; holding them in a
// range that no conversion overflows keeps huge values harmless.
constexpr double kPixelLimit = 1 << 24;

int toPixel(double v) {
    if (std::isnan(v)) return 0;
    v = std::clamp(v, -kPixelLimit, kPixelLimit);
    return static_cast<int>(std::trunc(v));
}

// Captions of the drawn channels flow left to right; what does not fit goes
// to a second line, and on that line the captions share what room there is,
// the too-wide ones shortened.
std::vector<CaptionBox> LayoutCaptions(const std::vector<std::pair<int, int>>& items, int x0, int x1, int top,
                                       int lineHeight, int gap, int* lines) {
    std::vector<CaptionBox> out;
    const int avail = std::max(1, x1 - x0);
    int x = x0;
    int line = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        auto [ch, w] = items[i];
        if (line == 0 && x > x0 && x + w > x1) {
            line = 1;
            x = x0;
        }
        if (line == 1) {
            // The rest on the last line: each gets its width or a fair share.
            std::vector<int> widths;
            for (std::size_t j = i; j < items.size(); ++j) widths.push_back(items[j].second);
            const int count = static_cast<int>(widths.size());
            int room = avail - gap * (count - 1);
            std::vector<int> given(widths.size(), 0);
            std::vector<bool> done(widths.size(), false);
            for (int pass = 0; pass < count; ++pass) {
                int open = 0;
                for (std::size_t j = 0; j < widths.size(); ++j) open += !done[j];
                if (open == 0) break;
                const int share = std::max(0, room) / open;
                bool fixed = false;
                for (std::size_t j = 0; j < widths.size(); ++j)
                    if (!done[j] && widths[j] <= share) {
                        given[j] = widths[j];
                        room -= widths[j];
                        done[j] = true;
                        fixed = true;
                    }
                if (!fixed) {
                    for (std::size_t j = 0; j < widths.size(); ++j)
                        if (!done[j]) given[j] = share, done[j] = true;
                    break;
                }
            }
            for (std::size_t j = 0; j < widths.size(); ++j) {
                const int t = top + line * lineHeight;
                out.push_back({items[i + j].first, {x, t, x + given[j], t + lineHeight}, given[j] < widths[j]});
                x += given[j] + gap;
            }
            break;
        }
        const int width = std::min(w, avail);
        out.push_back({ch, {x, top, x + width, top + lineHeight}, width < w});
        x += width + gap;
    }
    *lines = items.empty() ? 0 : line + 1;
    return out;
}

}  // namespace

const Layout& ScopeModel::ComputeLayout(const TextMeasure& measure) {
    const ZoomLevel& l = Current();
    Layout out;
    out.control = m_control;
    const TextSize digit = measure("0");
    out.digitWidth = digit.width;
    out.digitHeight = digit.height;
    const int cw = std::max(1, digit.width), h = std::max(1, digit.height);

    // Captions over the plot, clear of the corner a window may use.
    std::vector<std::pair<int, int>> items;
    for (int k = 0; k < kChannels; ++k)
        if (ChannelShown(k) && !m_captions[k].empty()) items.emplace_back(k, measure(m_captions[k]).width);
    int lines = 0;
    out.captions = LayoutCaptions(items, m_control.left + cw, m_control.right - kCornerReserve - cw, m_control.top + 2,
                                  h, 2 * cw, &lines);
    const int band = std::max(1, lines) * h + 2;

    PixelRect& p = out.plot;
    p.top = m_control.top + band + h / 2 + 2;
    out.xCaption = DisplayXCaption();
    p.bottom = m_control.bottom - 3 * h;
    if (p.bottom <= p.top) p.bottom = p.top + 1;

    // Value scales: each drawn channel its own ticks; the horizontal grid
    // follows the first drawn channel's.
    out.gridChannel = 0;
    for (int k = kChannels - 1; k >= 0; --k)
        if (ChannelDrawn(k)) out.gridChannel = k;
    auto heightOf = [h](const std::string&) { return h; };
    for (int k = 0; k < kChannels; ++k) {
        if (!ChannelDrawn(k) && k != out.gridChannel) continue;
        out.yTicks[k] = ChooseTicks(l.chMin[k], l.chMax[k], p.bottom, p.top, heightOf, h, std::max(2 * h, 36));
        if (!ChannelDrawn(k)) continue;
        int w = 0;
        for (const Tick& t : out.yTicks[k].ticks) w = std::max(w, measure(t.label).width);
        m_scaleFloor[k] = std::max(m_scaleFloor[k], w);
        out.scaleWidth[k] = m_scaleFloor[k];
    }
    const auto& w = out.scaleWidth;
    p.left = m_control.left + 3 * cw + w[3] + w[0];
    p.right = m_control.right - (5 * cw + w[1] + w[2]);

    // Time or frequency ticks, spaced by their own labels; the plot gives
    // way where an end label would stick out of the control.
    const DisplayUnit unit = XDisplayUnit();
    const double lo = static_cast<double>(l.axisFirst) * unit.scale, hi = static_cast<double>(l.axisLast) * unit.scale;
    auto widthOf = [&measure](const std::string& s) { return measure(s).width; };
    for (int pass = 0; pass < 3; ++pass) {
        if (p.right <= p.left) p.right = p.left + 1;
        out.xTicks = ChooseTicks(lo, hi, p.left, p.right, widthOf, 2 * cw, 7 * cw);
        if (out.xTicks.ticks.empty()) break;
        const Tick& first = out.xTicks.ticks.front();
        const Tick& last = out.xTicks.ticks.back();
        const int overLeft = m_control.left + 2 - (first.pixel - measure(first.label).width / 2);
        const int overRight = last.pixel + (measure(last.label).width + 1) / 2 - (m_control.right - 2);
        if (overLeft <= 0 && overRight <= 0) break;
        p.left += std::max(0, overLeft);
        p.right -= std::max(0, overRight);
    }
    out.scaleLeft = {p.left - cw - w[0], p.right + cw, p.right + 3 * cw + w[1], m_control.left + cw};
    // The vertical ticks keep their pixels; the horizontal ones were made
    // for the final plot above.
    m_layout = std::move(out);
    updateUnitsPerPixel();
    return m_layout;
}

std::optional<int> ScopeModel::CaptionAt(int x, int y) const {
    for (const CaptionBox& c : m_layout.captions)
        if (c.rect.contains(x, y)) return c.channel;
    return std::nullopt;
}

std::vector<PixelRect> PlaceMarkerLabels(const std::vector<PixelPoint>& at, const std::vector<TextSize>& sizes,
                                         const PixelRect& bounds) {
    std::vector<PixelRect> placed;
    // The markers' own crosses (4 pixels each way) are taken too.
    std::vector<PixelRect> taken;
    for (const PixelPoint& p : at) taken.push_back({p.x - 4, p.y - 4, p.x + 5, p.y + 5});
    auto inside = [&bounds](PixelRect r) {
        const int dx = std::max(0, bounds.left - r.left) - std::max(0, r.right - bounds.right);
        const int dy = std::max(0, bounds.top - r.top) - std::max(0, r.bottom - bounds.bottom);
        return PixelRect{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
    };
    for (std::size_t i = 0; i < at.size(); ++i) {
        const int w = i < sizes.size() ? sizes[i].width : 0, h = i < sizes.size() ? sizes[i].height : 0;
        const PixelPoint p = at[i];
        auto free = [&](const PixelRect& r) {
            return std::none_of(taken.begin(), taken.end(), [&](const PixelRect& t) { return t.intersects(r); });
        };
        // Up right (as always), then further up, below, and to the left.
        std::vector<PixelRect> tries;
        for (int step = 0; step < 8; ++step) {
            const int up = p.y - 4 - h - step * h, down = p.y + 5 + step * h;
            tries.push_back(inside({p.x + 6, up, p.x + 6 + w, up + h}));
            tries.push_back(inside({p.x + 6, down, p.x + 6 + w, down + h}));
            tries.push_back(inside({p.x - 6 - w, up, p.x - 6, up + h}));
            tries.push_back(inside({p.x - 6 - w, down, p.x - 6, down + h}));
        }
        PixelRect chosen = tries.front();
        for (const PixelRect& r : tries)
            if (free(r)) {
                chosen = r;
                break;
            }
        placed.push_back(chosen);
        taken.push_back(chosen);
    }
    return placed;
}

PixelRect CursorLetterRect(int cursorX, const PixelRect& plot, const PixelRect& readout, TextSize letter) {
    PixelRect r{cursorX + 3, plot.top + 2, cursorX + 3 + letter.width, plot.top + 2 + letter.height};
    if (r.intersects(readout)) {
        r.top = readout.bottom + 2;
        r.bottom = r.top + letter.height;
    }
    return r;
}

void ScopeModel::updateUnitsPerPixel() {
    const ZoomLevel& l = Current();
    const float w = static_cast<float>(std::max(1, m_layout.plot.width()));
    const float h = static_cast<float>(std::max(1, m_layout.plot.height()));
    m_xUpp = (l.xMax - l.xMin) / w;
    for (int k = 0; k < kChannels; ++k) m_chUpp[k] = (l.chMax[k] - l.chMin[k]) / h;
}

GridLines ScopeModel::Grid() const {
    GridLines g;
    const PixelRect& p = m_layout.plot;
    auto inside = [](int v, int a, int b) { return v > a && v < b; };
    for (const Tick& t : m_layout.xTicks.ticks)
        if (inside(t.pixel, p.left, p.right)) g.majorX.push_back(t.pixel);
    for (int x : m_layout.xTicks.minorPixels)
        if (inside(x, p.left, p.right)) g.fineX.push_back(x);
    const TickSet& y = m_layout.yTicks[m_layout.gridChannel];
    for (const Tick& t : y.ticks)
        if (inside(t.pixel, p.top, p.bottom)) g.majorY.push_back(t.pixel);
    for (int v : y.minorPixels)
        if (inside(v, p.top, p.bottom)) g.fineY.push_back(v);
    return g;
}

int ScopeModel::PixelX(float x) const {
    const double d = (static_cast<double>(x) - Current().xMin) / m_xUpp;
    return toPixel(m_layout.plot.left + std::trunc(std::isfinite(d) ? d : 0));
}

int ScopeModel::PixelY(int channel, float y) const {
    const double d = (static_cast<double>(y) - Current().chMin[channel]) / m_chUpp[channel];
    return toPixel(m_layout.plot.bottom - std::trunc(std::isfinite(d) ? d : 0));
}

}  // namespace hx::plot
