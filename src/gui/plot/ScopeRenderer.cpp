#include "gui/plot/ScopeRenderer.h"

#include <QFontInfo>

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QStaticText>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace hx::gui {

using hx::plot::Colorref;
using hx::plot::PixelPoint;
using hx::plot::ScopeModel;

QColor ToQColor(Colorref c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

Colorref ToColorref(const QColor& c) {
    return static_cast<Colorref>(c.red()) | static_cast<Colorref>(c.green()) << 8 |
           static_cast<Colorref>(c.blue()) << 16;
}

namespace {

QFont plotFont(int pixelSize) {
    QFont f("Microsoft Sans Serif");
    f.setPixelSize(pixelSize);
    f.setWeight(QFont::ExtraLight);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QFont readoutFont() {
    // Figures line up in a fixed-pitch font, and a row is one text to draw.
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    f.setPixelSize(13);
    return f;
}

// The plot area including its right and bottom edges, where the largest
// point index and the lowest value are drawn.
QRect plotArea(const hx::plot::PixelRect& r) { return QRect(r.left, r.top, r.width() + 1, r.height() + 1); }

QRect toQRect(const hx::plot::PixelRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)); }

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Segments from far outside (a deep zoom) are cut to the area's
// neighbourhood first, so their walk stays short. false: nothing to draw.
bool cutToArea(const QRect& clip, PixelPoint& a, PixelPoint& b) {
    if ((a.x < clip.left() && b.x < clip.left()) || (a.x > clip.right() && b.x > clip.right()) ||
        (a.y < clip.top() && b.y < clip.top()) || (a.y > clip.bottom() && b.y > clip.bottom()))
        return false;
    if (std::max(std::llabs(static_cast<long long>(b.x) - a.x), std::llabs(static_cast<long long>(b.y) - a.y)) <= 4096)
        return true;
    const double ax = a.x, ay = a.y, ddx = double(b.x) - a.x, ddy = double(b.y) - a.y;
    double t0 = 0, t1 = 1;
    auto cut = [&](double p, double q) {  // Liang-Barsky
        if (p == 0) return q >= 0;
        const double t = q / p;
        if (p < 0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
        return true;
    };
    if (!(cut(-ddx, ax - (clip.left() - 2)) && cut(ddx, (clip.right() + 2) - ax) && cut(-ddy, ay - (clip.top() - 2)) &&
          cut(ddy, (clip.bottom() + 2) - ay)))
        return false;
    a = {static_cast<int>(std::lround(ax + t0 * ddx)), static_cast<int>(std::lround(ay + t0 * ddy))};
    b = {static_cast<int>(std::lround(ax + t1 * ddx)), static_cast<int>(std::lround(ay + t1 * ddy))};
    return true;
}

// Walks the pixels of a line, both ends included, calling light(x, y) for
// those inside the clip.
template <typename Light>
void walkLine(const QRect& clip, PixelPoint a, PixelPoint b, Light&& light) {
    if (!cutToArea(clip, a, b)) return;
    long long x0 = a.x, y0 = a.y;
    const long long x1 = b.x, y1 = b.y;
    const int l = clip.left(), r = clip.right(), t = clip.top(), btm = clip.bottom();
    if (x0 == x1) {
        // Most segments of a reduced curve are a column's vertical run.
        long long ya = std::max<long long>(std::min(y0, y1), t), yb = std::min<long long>(std::max(y0, y1), btm);
        if (x0 < l || x0 > r) return;
        for (long long y = ya; y <= yb; ++y) light(static_cast<int>(x0), static_cast<int>(y));
        return;
    }
    const long long dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    const long long steps = std::max(dx, -dy);
    long long err = dx + dy;
    for (long long n = 0; n <= steps; ++n) {
        if (x0 >= l && x0 <= r && y0 >= t && y0 <= btm) light(static_cast<int>(x0), static_cast<int>(y0));
        if (x0 == x1 && y0 == y1) break;
        const long long e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

}  // namespace

void DrawLine(QImage& image, const QRect& clip, PixelPoint a, PixelPoint b, QRgb colour) {
    auto* bits = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    walkLine(clip, a, b, [bits, stride, colour](int x, int y) { bits[y * stride + x] = colour; });
}

ScopeRenderer::ScopeRenderer() : m_captionFont(plotFont(14)), m_waitFont(plotFont(18)), m_readoutFont(readoutFont()) {}

void ScopeRenderer::SetReduceCurves(bool on) {
    if (on == m_reduce) return;
    m_reduce = on;
    m_curveKeys = {};
}

hx::plot::TextSize ScopeRenderer::measure(const std::string& text) const {
    // Labels repeat from redraw to redraw; their sizes are remembered.
    auto it = m_measured.find(text);
    if (it != m_measured.end()) return it->second;
    if (m_measured.size() > 4096) m_measured.clear();
    const QFontMetrics fm(m_captionFont);
    const hx::plot::TextSize size{fm.horizontalAdvance(qs(text)), fm.height()};
    m_measured.emplace(text, size);
    return size;
}

void ScopeRenderer::UseFontsAsDrawn() {
    for (QFont* f : {&m_captionFont, &m_waitFont, &m_readoutFont}) f->setFamily(QFontInfo(*f).family());
}

void ScopeRenderer::Render(ScopeModel& model, QSize size) {
    ++m_renderCount;
    if (size.isEmpty()) size = QSize(1, 1);
    if (m_composition.size() != size) {
        m_picture = QImage(size, QImage::Format_RGB32);
        m_base = QImage(size, QImage::Format_RGB32);
        m_composition = QImage(size, QImage::Format_RGB32);
        m_havePicture = false;
    }
    model.ComputeLayout([this](const std::string& s) { return measure(s); });

    PictureKey key{model.LastLayout(), {}, model.Background(), {}, size};
    for (int k = 0; k < ScopeModel::kChannels; ++k) {
        key.colours[k] = model.Colour(k);
        // A muted channel's caption is drawn greyed: another picture.
        key.captions[k] = !model.ChannelShown(k) ? std::string()
                          : model.Muted(k)       ? "\x01" + model.Caption(k)
                                                 : model.Caption(k);
    }
    if (!m_havePicture || !(key == m_pictureKey)) {
        m_pictureKey = std::move(key);
        buildPicture(model);
    }
    drawCurves(model);
}

void ScopeRenderer::buildPicture(const ScopeModel& model) {
    ++m_pictureBuilds;
    m_havePicture = true;
    m_picture.fill(ToQColor(ScopeModel::kFrame));
    const QRect area = plotArea(model.LastLayout().plot);
    {
        QPainter p(&m_picture);
        p.setFont(m_captionFont);
        p.fillRect(area, ToQColor(model.Background()));
        drawGrid(p, model);
        drawAxis(p, model);
        drawScales(p, model);
    }
    // The base of every composition: the picture with the curve layer's
    // near-black fill ORed into the plot area.
    m_base = m_picture.copy();
    const QRgb fill = ToQColor(ScopeModel::kCurveLayerFill).rgb() & 0x00FFFFFF;
    const QRect a = area.intersected(m_base.rect());
    for (int y = a.top(); y <= a.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(m_base.scanLine(y));
        for (int x = a.left(); x <= a.right(); ++x) row[x] |= fill;
    }
}

void ScopeRenderer::drawGrid(QPainter& p, const ScopeModel& model) const {
    const hx::plot::PixelRect& r = model.LastLayout().plot;
    const hx::plot::GridLines g = model.Grid();
    p.setPen(QPen(ToQColor(ScopeModel::kFineGrid), 0));
    for (int x : g.fineX) p.drawLine(x, r.top, x, r.bottom);
    for (int y : g.fineY) p.drawLine(r.left, y, r.right, y);
    p.setPen(QPen(ToQColor(ScopeModel::kMajorGrid), 1));
    for (int x : g.majorX) p.drawLine(x, r.top, x, r.bottom);
    for (int y : g.majorY) p.drawLine(r.left, y, r.right, y);
}

void ScopeRenderer::drawAxis(QPainter& p, const ScopeModel& model) const {
    const hx::plot::Layout& l = model.LastLayout();
    const hx::plot::PixelRect& r = l.plot;
    const QFontMetrics fm(m_captionFont);
    p.setPen(ToQColor(ScopeModel::kAxisText));
    const int labelTop = r.bottom + 2;
    for (const hx::plot::Tick& t : l.xTicks.ticks) {
        const QString text = qs(t.label);
        const int w = measure(t.label).width;
        p.drawText(QRect(t.pixel - w / 2, labelTop, w + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
    }
    p.drawText(QRect(r.left, labelTop + fm.height(), r.width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop,
               qs(l.xCaption));
}

void ScopeRenderer::drawScales(QPainter& p, const ScopeModel& model) const {
    const hx::plot::Layout& l = model.LastLayout();
    const QFontMetrics fm(m_captionFont);
    for (int k = 0; k < ScopeModel::kChannels; ++k) {
        if (!model.ChannelDrawn(k)) continue;
        // Tick labels in the curve's colour, darkened where it would not
        // read on the light frame.
        p.setPen(ToQColor(model.LabelColour(k)));
        for (const hx::plot::Tick& t : l.yTicks[k].ticks)
            p.drawText(QRect(l.scaleLeft[k], t.pixel - fm.height() / 2, l.scaleWidth[k], fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, qs(t.label));
    }
    const QFont normal = p.font();
    QFont struck = normal;
    struck.setStrikeOut(true);
    for (const hx::plot::CaptionBox& c : l.captions) {
        // A muted channel's caption stays, greyed and struck through, to be
        // clicked again.
        const bool muted = model.Muted(c.channel);
        p.setPen(muted ? QColor(140, 140, 140) : ToQColor(model.LabelColour(c.channel)));
        p.setFont(muted ? struck : normal);
        const QRect box = toQRect(c.rect).adjusted(0, 0, 1, 1);
        const QString text = qs(model.Caption(c.channel));
        p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                   c.elided ? fm.elidedText(text, Qt::ElideRight, box.width()) : text);
    }
    p.setFont(normal);
}

bool ScopeRenderer::updateCurveCache(const ScopeModel& model) {
    bool changed = false;
    // Extras first: they are drawn behind the live curves.
    if (m_extrasData != model.DataVersion() || !(m_extrasLevel == model.Current()) ||
        !(m_extrasPlot == model.LastLayout().plot)) {
        m_extrasCache.clear();
        for (const auto& s : model.Extras()) m_extrasCache.push_back(model.SeriesVertices(s));
        m_extrasData = model.DataVersion();
        m_extrasLevel = model.Current();
        m_extrasPlot = model.LastLayout().plot;
        changed = true;
    }
    for (int k = 0; k < ScopeModel::kChannels; ++k) {
        const CurveKey key{model.DataVersion(), model.Current(),  model.LastLayout().plot,
                           std::min<std::size_t>(model.Points(k).size(), model.PointsPerChannel()),
                           model.ChannelDrawn(k), m_reduce};
        if (!(key == m_curveKeys[k])) {
            m_curveCache[k] = !key.drawn ? std::vector<PixelPoint>{} : m_reduce ? model.CurveVertices(k) : model.AllVertices(k);
            m_curveKeys[k] = key;
            changed = true;
        }
    }
    return changed;
}

void ScopeRenderer::rasterise(const QRect& area) {
    // Which curve lights each pixel of the plot, by number (0: none; the
    // channels 1..4, the extras from 5 on). A byte per pixel keeps the
    // column-wise walks of the curves within the cache; the colours come in
    // only when the picture is composed, row by row.
    m_rasterArea = area;
    const int w = area.width();
    m_raster.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(std::max(0, area.height())), 0);
    if (m_raster.empty()) return;
    uint8_t* raster = m_raster.data();
    auto draw = [&](const std::vector<PixelPoint>& v, uint8_t index) {
        auto light = [raster, w, &area, index](int x, int y) {
            raster[static_cast<std::size_t>(y - area.top()) * w + (x - area.left())] = index;
        };
        if (v.size() == 1) walkLine(area, v[0], v[0], light);
        for (std::size_t i = 1; i < v.size(); ++i) walkLine(area, v[i - 1], v[i], light);
    };
    for (std::size_t i = 0; i < m_extrasCache.size() && i < kMaxExtras; ++i)
        draw(m_extrasCache[i], static_cast<uint8_t>(kFirstExtra + i));
    for (int k = 0; k < ScopeModel::kChannels; ++k) draw(m_curveCache[k], static_cast<uint8_t>(k + 1));
}

void ScopeRenderer::drawCurves(const ScopeModel& model) {
    const QRect area = plotArea(model.LastLayout().plot).intersected(m_composition.rect());
    if (updateCurveCache(model) || area != m_rasterArea || m_raster.empty()) rasterise(area);

    // A curve pixel shows the picture ORed with the curve's colour; where
    // curves cross, the later channel's colour wins, as on a curve layer.
    std::array<QRgb, 256> colour{};
    for (int k = 0; k < ScopeModel::kChannels; ++k) colour[k + 1] = ToQColor(model.Colour(k)).rgb();
    const auto& extras = model.Extras();
    for (std::size_t i = 0; i < extras.size() && i < kMaxExtras; ++i) {
        const Colorref c = extras[i].dimmed ? hx::plot::Dimmed(extras[i].colour, model.Background()) : extras[i].colour;
        colour[kFirstExtra + i] = ToQColor(c).rgb();
    }
    const int w = area.width();
    for (int y = 0; y < m_composition.height(); ++y) {
        auto* comp = reinterpret_cast<QRgb*>(m_composition.scanLine(y));
        const auto* base = reinterpret_cast<const QRgb*>(m_base.constScanLine(y));
        if (y < area.top() || y > area.bottom() || w <= 0) {
            std::memcpy(comp, base, static_cast<std::size_t>(m_composition.width()) * sizeof(QRgb));
            continue;
        }
        const auto* pic = reinterpret_cast<const QRgb*>(m_picture.constScanLine(y));
        const uint8_t* lit = m_raster.data() + static_cast<std::size_t>(y - area.top()) * w;
        std::memcpy(comp, base, static_cast<std::size_t>(area.left()) * sizeof(QRgb));
        for (int x = 0; x < w; ++x) {
            const int at = area.left() + x;
            comp[at] = lit[x] ? pic[at] | colour[lit[x]] : base[at];
        }
        const int after = area.right() + 1;
        std::memcpy(comp + after, base + after, static_cast<std::size_t>(m_composition.width() - after) * sizeof(QRgb));
    }
}

void ScopeRenderer::DrawWaitText(const ScopeModel& model, const QString& text) {
    if (m_composition.isNull()) return;
    const hx::plot::PixelRect& r = model.LastLayout().plot;
    QPainter p(&m_composition);
    p.setFont(m_waitFont);
    p.setPen(ToQColor(ScopeModel::kWaitText));
    const QFontMetrics fm(m_waitFont);
    p.drawText(QPoint(r.width() / 2, r.height() / 2 + 10 + fm.ascent()), text);
}

QImage ScopeRenderer::WithRubberBand(const QRect& band) const {
    QImage frame = m_composition.copy();
    QPainter p(&frame);
    p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    p.setPen(Qt::white);
    p.setBrush(Qt::black);
    p.drawRect(band);
    return frame;
}

// --- overlay

namespace {

constexpr QColor kCursorColour[2] = {QColor(255, 255, 255), QColor(255, 0, 255)};
constexpr int kColumnGap = 2;  // characters between readout columns

}  // namespace

ScopeRenderer::ReadoutLayout ScopeRenderer::layoutReadout(const hx::plot::Readout& r) const {
    ReadoutLayout l;
    const QFontMetrics fm(m_readoutFont);
    l.charWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    l.lineHeight = fm.height();
    l.ascent = fm.ascent();
    l.columns.assign(r.columns.size(), 0);
    for (std::size_t c = 0; c < r.columns.size(); ++c) {
        const int headChars = (fm.horizontalAdvance(qs(r.columns[c])) + l.charWidth - 1) / l.charWidth;
        l.columns[c] = headChars;
        // In character cells of the figures' font; a name in Chinese takes
        // two a character.
        for (const auto& row : r.rows)
            if (c < row.cells.size())
                l.columns[c] = std::max(l.columns[c], (fm.horizontalAdvance(qs(row.cells[c])) + l.charWidth - 1) / l.charWidth);
    }
    int chars = 0;
    for (int w : l.columns) chars += w + kColumnGap;
    int width = chars > 0 ? (chars - kColumnGap) * l.charWidth : 0;
    for (const auto& line : r.lines) width = std::max(width, fm.horizontalAdvance(qs(line)));
    const int rows = static_cast<int>(r.lines.size()) + (r.rows.empty() ? 0 : 1 + static_cast<int>(r.rows.size()));
    l.size = QSize(width + 10, rows * l.lineHeight + 6);
    return l;
}

QSize ScopeRenderer::ReadoutSize(const hx::plot::Readout& readout) const {
    if (readout.lines.empty()) return {};
    return layoutReadout(readout).size;
}

void ScopeRenderer::PaintOverlay(QPainter& p, const ScopeModel& model, const hx::plot::Readout& readout,
                                 QPoint readoutAt) const {
    const hx::plot::PixelRect& r = model.LastLayout().plot;
    p.save();
    p.setFont(m_captionFont);
    p.setClipRect(plotArea(r));
    // Markers' numbers never overlap each other or another marker.
    std::vector<const hx::plot::Marker*> markers;
    std::vector<PixelPoint> points;
    std::vector<hx::plot::TextSize> sizes;
    const QFontMetrics fm(p.font());
    for (const hx::plot::Marker& m : model.Markers()) {
        if (m.channel < 0 || m.channel >= ScopeModel::kChannels) continue;
        markers.push_back(&m);
        points.push_back({model.PixelX(m.x), model.PixelY(m.channel, m.y)});
        sizes.push_back({fm.horizontalAdvance(qs(m.label)), fm.height()});
    }
    const std::vector<hx::plot::PixelRect> labels = hx::plot::PlaceMarkerLabels(points, sizes, r);
    for (std::size_t i = 0; i < markers.size(); ++i) {
        const QPoint at(points[i].x, points[i].y);
        p.setPen(ToQColor(markers[i]->colour));
        p.drawLine(at + QPoint(-4, -4), at + QPoint(4, 4));
        p.drawLine(at + QPoint(-4, 4), at + QPoint(4, -4));
        if (markers[i]->label.empty()) continue;
        const auto& l = labels[i];
        p.drawText(QRect(l.left, l.top, l.width() + 1, l.height()), Qt::AlignLeft | Qt::AlignVCenter, qs(markers[i]->label));
    }
    if (!model.CursorsEnabled() || readout.lines.empty()) {
        p.restore();
        return;
    }
    const ReadoutLayout l = layoutReadout(readout);
    const QRect box(readoutAt, l.size);
    // The cursor layer: drawn over the finished picture, so moving a cursor
    // never rebuilds the curves. A letter the readout would cover stands
    // under it.
    const QFontMetrics letters(p.font());
    const hx::plot::PixelRect avoid{box.left(), box.top(), box.right() + 1, box.bottom() + 1};
    for (int c = 0; c < 2; ++c) {
        const int x = model.CursorPixel(c);
        const QString letter = c == 0 ? QStringLiteral("A") : QStringLiteral("B");
        p.setPen(QPen(kCursorColour[c], 1, Qt::DashLine));
        p.drawLine(x, r.top, x, r.bottom);
        const hx::plot::PixelRect at =
            hx::plot::CursorLetterRect(x, r, avoid, {letters.horizontalAdvance(letter), letters.height()});
        p.drawText(QRect(at.left, at.top, at.width() + 1, at.height()), Qt::AlignLeft | Qt::AlignTop, letter);
    }
    p.setClipping(false);

    // Opaque: the plot under it is never needed, so a repaint skips it.
    p.fillRect(box, QColor(12, 12, 12));
    p.setPen(QColor(160, 160, 160));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setFont(m_readoutFont);
    const QColor text(230, 230, 230);
    int y = box.top() + 3;
    const int x0 = box.left() + 5;
    p.setPen(text);
    for (const auto& line : readout.lines) {
        p.drawText(QPoint(x0, y + l.ascent), qs(line));
        y += l.lineHeight;
    }
    if (readout.rows.empty()) {
        p.restore();
        return;
    }
    // Heads stand right-aligned over their columns (the first at the left);
    // they seldom change, so their laid-out text is kept.
    p.setPen(QColor(170, 170, 170));
    int column = 0;
    for (std::size_t c = 0; c < readout.columns.size(); ++c) {
        auto it = m_staticTexts.find(readout.columns[c]);
        if (it == m_staticTexts.end()) {
            if (m_staticTexts.size() > 256) m_staticTexts.clear();
            QStaticText t(qs(readout.columns[c]));
            t.prepare(QTransform(), m_readoutFont);
            it = m_staticTexts.emplace(readout.columns[c], t).first;
        }
        const int right = x0 + (column + l.columns[c]) * l.charWidth;
        const int left = c == 0 ? x0 + column * l.charWidth : right - static_cast<int>(it->second.size().width());
        p.drawStaticText(QPoint(left, y), it->second);
        column += l.columns[c] + kColumnGap;
    }
    y += l.lineHeight;
    // A channel's row is one text: its name in the curve's colour, then its
    // figures padded to their columns.
    for (const auto& row : readout.rows) {
        QString figures;
        for (std::size_t c = 1; c < row.cells.size() && c < l.columns.size(); ++c) {
            const QString cell = qs(row.cells[c]);
            figures += QString(kColumnGap + std::max(0, l.columns[c] - static_cast<int>(cell.size())), QLatin1Char(' ')) + cell;
        }
        if (!row.cells.empty()) {
            p.setPen(ToQColor(model.Colour(row.channel)));
            p.drawText(QPoint(x0, y + l.ascent), qs(row.cells[0]));
        }
        p.setPen(text);
        p.drawText(QPoint(x0 + l.columns[0] * l.charWidth, y + l.ascent), figures);
        y += l.lineHeight;
    }
    p.restore();
}

// --- vector drawing

void ScopeRenderer::PaintVector(QPainter& p, ScopeModel& model, QSize size) {
    model.SetRect(0, 0, size.width(), size.height());
    model.ComputeLayout([this](const std::string& s) { return measure(s); });
    const QRect area = plotArea(model.LastLayout().plot);
    p.save();
    p.setFont(m_captionFont);
    p.fillRect(QRect(QPoint(0, 0), size), ToQColor(ScopeModel::kFrame));
    p.fillRect(area, ToQColor(model.Background()));
    drawGrid(p, model);
    drawAxis(p, model);
    drawScales(p, model);
    p.setClipRect(area);
    auto polyline = [&p](const std::vector<PixelPoint>& v, Colorref colour) {
        QPolygon poly;
        poly.reserve(static_cast<int>(v.size()));
        for (const PixelPoint& pt : v) poly << QPoint(pt.x, pt.y);
        p.setPen(QPen(ToQColor(colour), 0));
        p.drawPolyline(poly);
    };
    for (const auto& s : model.Extras())
        polyline(model.SeriesVertices(s), s.dimmed ? hx::plot::Dimmed(s.colour, model.Background()) : s.colour);
    for (int k = 0; k < ScopeModel::kChannels; ++k)
        if (model.ChannelDrawn(k)) polyline(model.CurveVertices(k), model.Colour(k));
    p.restore();
}

}  // namespace hx::gui
