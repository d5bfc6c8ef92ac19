#include "core/plot/BodeModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

namespace hx::plot {

namespace {

constexpr int kMargin = 6;
constexpr int kPaneGap = 8;
constexpr double kMagnitudeShare = 0.5, kPhaseShare = 0.35;

std::string Fixed(double v, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    std::string s(buf, r.ptr);
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

// Phase ticks at multiples of 45, 90 or 180 degrees (5 to 30 when zoomed
// in), whichever is the smallest to leave room between labels.
TickSet PhaseTicks(double lo, double hi, int p0, int p1, int minSpacing) {
    TickSet out;
    const double span = hi - lo;
    const int length = std::abs(p1 - p0);
    if (!(span > 0) || length < 2) return out;
    for (double step : {5.0, 10.0, 15.0, 30.0, 45.0, 90.0, 180.0, 360.0}) {
        if (step * length / span < minSpacing && step < 360) continue;
        out.step = step;
        for (double k = std::ceil(lo / step - 1e-9); k * step <= hi + 1e-9; ++k) {
            const double v = k * step;
            out.ticks.push_back({v, static_cast<int>(std::lround(p0 + (v - lo) / span * (p1 - p0))), Fixed(v, 0)});
        }
        return out;
    }
    return out;
}

double Interpolate(const std::vector<double>& x, const std::vector<double>& y, double at, bool logX) {
    const auto it = std::lower_bound(x.begin(), x.end(), at);
    const std::size_t i = static_cast<std::size_t>(it - x.begin());
    if (i == 0 || x[i] == at) return y[i];
    const double a = logX ? std::log(x[i - 1]) : x[i - 1], b = logX ? std::log(x[i]) : x[i];
    const double t = ((logX ? std::log(at) : at) - a) / (b - a);
    return y[i - 1] + t * (y[i] - y[i - 1]);
}

const std::vector<double>& Values(const BodeCurve& c, BodePane pane) {
    return pane == BodePane::Magnitude ? c.db : pane == BodePane::Phase ? c.deg : c.coherence;
}

}  // namespace

std::string FormatHz(double hz) {
    if (hz >= 1000) {
        const double k = hz / 1000;
        return Fixed(k, std::abs(k - std::round(k)) < 1e-6 ? 0 : (k < 10 ? 2 : 1)) + " k";
    }
    return Fixed(hz, hz >= 100 || std::abs(hz - std::round(hz)) < 1e-6 ? 0 : (hz >= 10 ? 1 : 2));
}

std::optional<double> CurveValueAt(const BodeCurve& c, BodePane pane, double hz) {
    const std::vector<double>& v = Values(c, pane);
    if (c.hz.empty() || v.size() != c.hz.size() || hz < c.hz.front() || hz > c.hz.back()) return std::nullopt;
    return Interpolate(c.hz, v, hz, true);
}

void BodeModel::SetCurves(std::vector<BodeCurve> curves) {
    m_curves = std::move(curves);
    m_level = 0;
    m_levels[0] = FitView();
    m_cursor = {std::sqrt(m_levels[0].fMin * m_levels[0].fMax) / 2, std::sqrt(m_levels[0].fMin * m_levels[0].fMax) * 2};
}

void BodeModel::SetCurveVisible(std::size_t i, bool visible) {
    if (i < m_curves.size()) m_curves[i].visible = visible;
}

void BodeModel::SetRect(int left, int top, int right, int bottom) { m_control = {left, top, right, bottom}; }

BodeView BodeModel::FitView() const {
    BodeView v;
    double fLo = 1e300, fHi = 0, dLo = 1e300, dHi = -1e300, pLo = 1e300, pHi = -1e300;
    for (const BodeCurve& c : m_curves) {
        if (!c.visible || c.hz.empty()) continue;
        fLo = std::min(fLo, c.hz.front());
        fHi = std::max(fHi, c.hz.back());
        for (double d : c.db) dLo = std::min(dLo, d), dHi = std::max(dHi, d);
        for (double p : c.deg) pLo = std::min(pLo, p), pHi = std::max(pHi, p);
    }
    if (fHi <= 0) return v;
    v.fMin = std::pow(10.0, std::floor(std::log10(fLo) * 10 + 1e-9) / 10);
    v.fMax = std::pow(10.0, std::ceil(std::log10(fHi) * 10 - 1e-9) / 10);
    if (v.fMax <= v.fMin) v.fMax = v.fMin * 10;
    if (dHi >= dLo) {
        v.dbMin = std::floor(dLo / 10) * 10;
        v.dbMax = std::ceil(dHi / 10) * 10;
        if (v.dbMax - v.dbMin < 20) v.dbMax = v.dbMin + 20;
    }
    if (pHi >= pLo) {
        v.degMin = std::floor(pLo / 45) * 45;
        v.degMax = std::ceil(pHi / 45) * 45;
        if (v.degMax - v.degMin < 90) v.degMax = v.degMin + 90;
    }
    return v;
}

const BodeLayout& BodeModel::ComputeLayout(const TextMeasure& measure) {
    BodeLayout& l = m_layout;
    l = BodeLayout{};
    l.control = m_control;
    const int th = std::max(1, measure("0").height);
    const int top = m_control.top + kMargin + th / 2;
    const int bottom = m_control.bottom - kMargin - th - 4;
    // Room between the panes for the two labels at their edges.
    const int gap = std::max(kPaneGap, th + 2);
    const int avail = std::max(30, bottom - top - 2 * gap);
    const int hMag = static_cast<int>(avail * kMagnitudeShare), hPhase = static_cast<int>(avail * kPhaseShare);
    const std::array<int, 3> tops{top, top + hMag + gap, top + hMag + hPhase + 2 * gap};
    const std::array<int, 3> bottoms{top + hMag, top + hMag + gap + hPhase, bottom};
    const BodeView& v = View();
    auto height = [&](const std::string& s) { return measure(s).height; };
    l.yTicks[0] = ChooseTicks(v.dbMin, v.dbMax, bottoms[0], tops[0], height, 4, th + 6);
    l.yTicks[1] = PhaseTicks(v.degMin, v.degMax, bottoms[1], tops[1], 2 * (th + 6));
    l.yTicks[2] = ChooseTicks(0, 1, bottoms[2], tops[2], height, 2, th + 2);
    int widest = measure("-000").width;
    for (const TickSet& t : l.yTicks)
        for (const Tick& k : t.ticks) widest = std::max(widest, measure(k.label).width);
    const int left = m_control.left + kMargin + widest + 6;
    const int right = m_control.right - kMargin - measure("0 k").width / 2;
    for (int p = 0; p < 3; ++p) l.panes[static_cast<std::size_t>(p)] = {left, tops[p], std::max(left + 10, right), bottoms[p]};
    // Decades and their multiples; 2 and 5 get labels when there is room.
    const int dLo = static_cast<int>(std::floor(std::log10(v.fMin))), dHi = static_cast<int>(std::ceil(std::log10(v.fMax)));
    auto labelled = [&](std::initializer_list<int> mantissas) {
        std::vector<Tick> ticks;
        for (int d = dLo; d <= dHi; ++d)
            for (int m : mantissas) {
                const double f = m * std::pow(10.0, d);
                if (f < v.fMin * (1 - 1e-9) || f > v.fMax * (1 + 1e-9)) continue;
                ticks.push_back({f, PixelX(f), FormatHz(f)});
            }
        for (std::size_t i = 1; i < ticks.size(); ++i)
            if (ticks[i].pixel - ticks[i - 1].pixel < (measure(ticks[i].label).width + measure(ticks[i - 1].label).width) / 2 + 8)
                return std::vector<Tick>{};
        return ticks;
    };
    l.xTicks = labelled({1, 2, 5});
    if (l.xTicks.empty()) l.xTicks = labelled({1});
    for (int d = dLo; d <= dHi; ++d)
        for (int m = 2; m <= 9; ++m) {
            const double f = m * std::pow(10.0, d);
            if (f < v.fMin || f > v.fMax) continue;
            if (std::none_of(l.xTicks.begin(), l.xTicks.end(), [&](const Tick& t) { return std::abs(t.value - f) < 1e-9 * f; }))
                l.xMinor.push_back(PixelX(f));
        }
    return l;
}

double BodeModel::logSpan() const { return std::log(View().fMax / View().fMin); }

int BodeModel::PixelX(double hz) const {
    const PixelRect& p = m_layout.panes[0];
    const double t = std::log(hz / View().fMin) / logSpan();
    return static_cast<int>(std::lround(p.left + t * p.width()));
}

double BodeModel::HzAt(int x) const {
    const PixelRect& p = m_layout.panes[0];
    const double t = p.width() > 0 ? static_cast<double>(x - p.left) / p.width() : 0;
    return View().fMin * std::exp(t * logSpan());
}

namespace {
std::pair<double, double> Range(const BodeView& v, BodePane pane) {
    if (pane == BodePane::Magnitude) return {v.dbMin, v.dbMax};
    if (pane == BodePane::Phase) return {v.degMin, v.degMax};
    return {0.0, 1.0};
}
}  // namespace

int BodeModel::PixelY(BodePane pane, double value) const {
    const PixelRect& p = m_layout.panes[static_cast<std::size_t>(pane)];
    const auto [lo, hi] = Range(View(), pane);
    const double t = (value - lo) / (hi - lo);
    return static_cast<int>(std::lround(p.bottom - t * p.height()));
}

double BodeModel::ValueAt(BodePane pane, int y) const {
    const PixelRect& p = m_layout.panes[static_cast<std::size_t>(pane)];
    const auto [lo, hi] = Range(View(), pane);
    return lo + (p.bottom - y) * (hi - lo) / std::max(1, p.height());
}

std::optional<BodePane> BodeModel::PaneAt(int x, int y) const {
    for (int p = 0; p < 3; ++p)
        if (m_layout.panes[static_cast<std::size_t>(p)].contains(x, y)) return static_cast<BodePane>(p);
    return std::nullopt;
}

std::vector<PixelPoint> BodeModel::Vertices(const BodeCurve& c, BodePane pane) const {
    std::vector<PixelPoint> out;
    const std::vector<double>& v = Values(c, pane);
    if (!c.visible || v.size() != c.hz.size() || c.hz.empty()) return out;
    const BodeView& view = View();
    // One point either side of the view, so the line runs to its edges.
    const auto firstIt = std::lower_bound(c.hz.begin(), c.hz.end(), view.fMin);
    const auto lastIt = std::upper_bound(c.hz.begin(), c.hz.end(), view.fMax);
    std::size_t first = static_cast<std::size_t>(firstIt - c.hz.begin());
    std::size_t last = static_cast<std::size_t>(lastIt - c.hz.begin());
    if (first > 0) --first;
    if (last < c.hz.size()) ++last;
    int column = 0;
    PixelPoint lo, hi, end;
    bool open = false;
    auto flush = [&]() {
        if (!open) return;
        if (!(out.back() == lo) && lo.y != out.back().y) out.push_back(lo);
        if (!(out.back() == hi) && hi.y != lo.y) out.push_back(hi);
        if (!(out.back() == end)) out.push_back(end);
    };
    for (std::size_t i = first; i < last; ++i) {
        const PixelPoint p{PixelX(c.hz[i]), PixelY(pane, v[i])};
        if (!open || p.x != column) {
            flush();
            out.push_back(p);
            column = p.x;
            lo = hi = end = p;
            open = true;
            continue;
        }
        if (p.y > lo.y) lo = p;
        if (p.y < hi.y) hi = p;
        end = p;
    }
    flush();
    return out;
}

void BodeModel::push(const BodeView& next) {
    if (m_level + 1 < kLevels) {
        m_levels[++m_level] = next;
    } else {
        for (int i = 1; i + 1 < kLevels; ++i) m_levels[i] = m_levels[i + 1];
        m_levels[kLevels - 1] = next;
    }
}

bool BodeModel::ZoomFrequencyAround(int x, double factor) {
    if (!(factor > 0) || factor == 1) return false;
    BodeView next = View();
    const double at = std::log(HzAt(x));
    const double lo = std::log(next.fMin), hi = std::log(next.fMax);
    const double nlo = at - (at - lo) * factor, nhi = at + (hi - at) * factor;
    if (nhi - nlo < std::log(1.02) || nhi - nlo > std::log(1e7)) return false;
    next.fMin = std::exp(nlo);
    next.fMax = std::exp(nhi);
    push(next);
    return true;
}

bool BodeModel::ZoomValuesAround(BodePane pane, int y, double factor) {
    if (pane == BodePane::Coherence || !(factor > 0) || factor == 1) return false;
    BodeView next = View();
    const double at = ValueAt(pane, y);
    double& lo = pane == BodePane::Magnitude ? next.dbMin : next.degMin;
    double& hi = pane == BodePane::Magnitude ? next.dbMax : next.degMax;
    const double nlo = at - (at - lo) * factor, nhi = at + (hi - at) * factor;
    if (nhi - nlo < 0.5 || nhi - nlo > 5000) return false;
    lo = nlo;
    hi = nhi;
    push(next);
    return true;
}

bool BodeModel::PanBy(double fShare, double vShare, BodePane pane) {
    if (fShare == 0 && vShare == 0) return false;
    BodeView next = View();
    const double shift = fShare * logSpan();
    next.fMin *= std::exp(shift);
    next.fMax *= std::exp(shift);
    if (pane != BodePane::Coherence && vShare != 0) {
        double& lo = pane == BodePane::Magnitude ? next.dbMin : next.degMin;
        double& hi = pane == BodePane::Magnitude ? next.dbMax : next.degMax;
        const double d = vShare * (hi - lo);
        lo += d;
        hi += d;
    }
    push(next);
    return true;
}

bool BodeModel::ZoomToRect(PixelRect r) {
    if (r.width() < 6) return false;
    const auto pane = PaneAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    if (!pane) return false;
    BodeView next = View();
    next.fMin = HzAt(r.left);
    next.fMax = HzAt(r.right);
    if (*pane != BodePane::Coherence && r.height() >= 6) {
        double& lo = *pane == BodePane::Magnitude ? next.dbMin : next.degMin;
        double& hi = *pane == BodePane::Magnitude ? next.dbMax : next.degMax;
        const double top = ValueAt(*pane, r.top), bottom = ValueAt(*pane, r.bottom);
        lo = bottom;
        hi = top;
    }
    push(next);
    return true;
}

bool BodeModel::ZoomOut() {
    if (m_level == 0) return false;
    --m_level;
    return true;
}

bool BodeModel::FitAll() {
    if (m_level == 0) return false;
    m_level = 0;
    return true;
}

void BodeModel::SetCursorsEnabled(bool on) {
    m_cursorsOn = on;
    if (on) {
        const double mid = std::sqrt(View().fMin * View().fMax);
        const double quarter = std::exp(logSpan() / 4);
        m_cursor = {mid / quarter, mid * quarter};
    }
}

std::optional<int> BodeModel::CursorNear(int x, int tolerance) const {
    if (!m_cursorsOn) return std::nullopt;
    for (int c = 0; c < 2; ++c)
        if (std::abs(PixelX(m_cursor[static_cast<std::size_t>(c)]) - x) <= tolerance) return c;
    return std::nullopt;
}

BodeReadout BodeModel::CursorReadout() const {
    BodeReadout r;
    if (!m_cursorsOn) return r;
    r.lines.push_back("A: " + FormatHz(m_cursor[0]) + " Hz   B: " + FormatHz(m_cursor[1]) + " Hz");
    for (const BodeCurve& c : m_curves) {
        if (!c.visible) continue;
        std::string line = c.name + ":";
        for (int k = 0; k < 2; ++k) {
            const double f = m_cursor[static_cast<std::size_t>(k)];
            const auto db = CurveValueAt(c, BodePane::Magnitude, f);
            const auto deg = CurveValueAt(c, BodePane::Phase, f);
            line += k == 0 ? "  A " : "   B ";
            line += db ? Fixed(*db, 1) + " dB " + Fixed(*deg, 1) + "°" : "—";
        }
        r.lines.push_back(line);
    }
    return r;
}

std::string BodeCsv(const std::vector<BodeCurve>& curves) {
    std::set<double> all;
    for (const BodeCurve& c : curves) all.insert(c.hz.begin(), c.hz.end());
    std::string out = "frequency_hz";
    for (const BodeCurve& c : curves) {
        out += "," + c.name + " dB," + c.name + " deg";
        if (!c.coherence.empty()) out += "," + c.name + " coherence";
    }
    out += "\n";
    for (double f : all) {
        out += Fixed(f, 3);
        for (const BodeCurve& c : curves) {
            const auto it = std::lower_bound(c.hz.begin(), c.hz.end(), f);
            const bool has = it != c.hz.end() && *it == f;
            const std::size_t i = static_cast<std::size_t>(it - c.hz.begin());
            out += "," + (has ? Fixed(c.db[i], 3) : std::string()) + "," + (has ? Fixed(c.deg[i], 2) : std::string());
            if (!c.coherence.empty()) out += "," + (has ? Fixed(c.coherence[i], 4) : std::string());
        }
        out += "\n";
    }
    return out;
}

}  // namespace hx::plot
