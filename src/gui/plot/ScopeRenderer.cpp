#include "gui/plot/ScopeRenderer.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <cmath>
#include <cstdlib>

namespace hx::gui {

using hx::plot::Colorref;
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

// The plot area including its right and bottom edges, where the largest
// point index and the lowest value are drawn.
QRect plotArea(const hx::plot::PixelRect& r) { return QRect(r.left, r.top, r.width() + 1, r.height() + 1); }

}  // namespace

ScopeRenderer::ScopeRenderer() : m_captionFont(plotFont(14)), m_waitFont(plotFont(18)) {}

void ScopeRenderer::Render(ScopeModel& model, QSize size) {
    ++m_renderCount;
    if (size.isEmpty()) size = QSize(1, 1);
    if (m_picture.size() != size) {
        m_picture = QImage(size, QImage::Format_RGB32);
        m_curves = QImage(size, QImage::Format_RGB32);
        m_composition = QImage(size, QImage::Format_RGB32);
    }
    m_picture.fill(ToQColor(ScopeModel::kFrame));

    const QFontMetrics fm(m_captionFont);
    model.ComputeLayout([&fm](const std::string& s) {
        const QString text = QString::fromStdString(s);
        return hx::plot::TextSize{fm.horizontalAdvance(text), fm.height()};
    });
    {
        QPainter p(&m_picture);
        p.setFont(m_captionFont);
        p.fillRect(plotArea(model.LastLayout().plot), ToQColor(model.Background()));
        drawGrid(p, model);
        drawAxis(p, model);
        drawScales(p, model);
    }
    drawCurves(model);

    m_composition = m_picture.copy();
    QPainter p(&m_composition);
    p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    const QRect area = plotArea(model.LastLayout().plot);
    p.drawImage(area.topLeft(), m_curves, area);
}

void ScopeRenderer::drawGrid(QPainter& p, ScopeModel& model) {
    const hx::plot::PixelRect& r = model.LastLayout().plot;
    const hx::plot::GridLines g = model.Grid();
    p.setPen(QPen(ToQColor(ScopeModel::kFineGrid), 0));
    for (int x : g.fineX) p.drawLine(x, r.top, x, r.bottom);
    for (int y : g.fineY) p.drawLine(r.left, y, r.right, y);
    p.setPen(QPen(ToQColor(ScopeModel::kMajorGrid), 1));
    for (int x : g.majorX) p.drawLine(x, r.top, x, r.bottom);
    for (int y : g.majorY) p.drawLine(r.left, y, r.right, y);
}

void ScopeRenderer::drawAxis(QPainter& p, const ScopeModel& model) {
    const hx::plot::Layout& l = model.LastLayout();
    const hx::plot::PixelRect& r = l.plot;
    const QFontMetrics fm(m_captionFont);
    p.setPen(ToQColor(ScopeModel::kAxisText));
    const auto labels = model.AxisLabels();
    const int labelTop = r.bottom + 2;
    for (int i = 0; i <= 10; ++i) {
        const QString text = QString::fromStdString(labels[i]);
        const int x = r.left + static_cast<int>(static_cast<long long>(i) * r.width() / 10);
        const int w = fm.horizontalAdvance(text);
        // The end labels stay inside the control.
        const int left = std::clamp(x - w / 2, 0, std::max(0, l.control.right - w));
        p.drawText(QRect(left, labelTop, w, fm.height()), Qt::AlignLeft | Qt::AlignTop, text);
    }
    const QString caption = QString::fromStdString(model.XCaption());
    p.drawText(QRect(r.left, labelTop + fm.height(), r.width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop,
               caption);
}

void ScopeRenderer::drawScales(QPainter& p, const ScopeModel& model) {
    const hx::plot::Layout& l = model.LastLayout();
    const hx::plot::PixelRect& r = l.plot;
    const QFontMetrics fm(m_captionFont);
    const int cw = l.digitWidth;
    const auto& w = l.scaleWidth;
    // Scale columns: 4 and 1 left of the plot, 2 and 3 right of it.
    const int column[4] = {r.left - cw - w[0], r.right + cw, r.right + 3 * cw + w[1], l.control.left + cw};
    for (int k = 0; k < ScopeModel::kChannels; ++k) {
        if (!model.ChannelDrawn(k)) continue;
        p.setPen(ToQColor(model.Colour(k)));
        const auto labels = model.ScaleLabels(k);
        for (int i = 0; i <= 10; ++i) {
            const int y = r.top + static_cast<int>(static_cast<long long>(i) * r.height() / 10);
            p.drawText(QRect(column[k], y - fm.height() / 2, w[k], fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromStdString(labels[i]));
        }
    }

    // Captions stand above their scales, side by side, when the space above
    // the plot takes them clear of the top labels; otherwise they line the
    // plot's top edge, the left scales' captions at the left, the right
    // scales' at the right.
    const int above = r.top - fm.height() / 2 - fm.height() - 1;
    const bool inside = above < 0;
    const int top = inside ? r.top + 2 : above;
    auto caption = [&](int k) { return model.ChannelDrawn(k) ? QString::fromStdString(model.Caption(k)) : QString(); };
    int x = inside ? r.left + 4 : l.control.left + cw;
    for (int k : {3, 0}) {
        const QString text = caption(k);
        if (text.isEmpty()) continue;
        if (!inside) x = std::max(x, column[k]);
        p.setPen(ToQColor(model.Colour(k)));
        p.drawText(QPoint(x, top + fm.ascent()), text);
        x += fm.horizontalAdvance(text) + 2 * cw;
    }
    int width = 0;
    for (int k : {1, 2})
        if (!caption(k).isEmpty()) width += fm.horizontalAdvance(caption(k)) + 2 * cw;
    // The control's top right corner stays free for a window's own button.
    constexpr int kCornerReserve = 24;
    x = inside ? r.right - 4 - width + 2 * cw
               : std::min(r.right + cw, l.control.right - kCornerReserve - width + 2 * cw);
    for (int k : {1, 2}) {
        const QString text = caption(k);
        if (text.isEmpty()) continue;
        p.setPen(ToQColor(model.Colour(k)));
        p.drawText(QPoint(x, top + fm.ascent()), text);
        x += fm.horizontalAdvance(text) + 2 * cw;
    }
}

void ScopeRenderer::drawCurves(const ScopeModel& model) {
    const QRect area = plotArea(model.LastLayout().plot);
    {
        QPainter p(&m_curves);
        p.fillRect(area, ToQColor(ScopeModel::kCurveLayerFill));
    }
    // Lines are drawn pixel by pixel with both ends included, so a polyline
    // lights exactly the union of its segments' pixels: the reduced curve
    // then shows the same pixels as every point would.
    // References first, at 40 % of their channel's colour over the
    // background, so the live curves are drawn over them.
    for (int k = 0; k < ScopeModel::kChannels; ++k) {
        const auto vertices = model.ReferenceVertices(k);
        const QColor c = ToQColor(model.Colour(k)), b = ToQColor(model.Background());
        const QRgb colour = qRgb((2 * c.red() + 3 * b.red()) / 5, (2 * c.green() + 3 * b.green()) / 5,
                                 (2 * c.blue() + 3 * b.blue()) / 5);
        for (std::size_t i = 1; i < vertices.size(); ++i) DrawLine(m_curves, area, vertices[i - 1], vertices[i], colour);
    }
    for (int k = 0; k < ScopeModel::kChannels; ++k) {
        if (!model.ChannelDrawn(k)) continue;
        const auto vertices = m_reduce ? model.CurveVertices(k) : model.AllVertices(k);
        const QRgb colour = ToQColor(model.Colour(k)).rgb();
        if (vertices.size() == 1) DrawLine(m_curves, area, vertices[0], vertices[0], colour);
        for (std::size_t i = 1; i < vertices.size(); ++i)
            DrawLine(m_curves, area, vertices[i - 1], vertices[i], colour);
    }
}

void DrawLine(QImage& image, const QRect& clip, hx::plot::PixelPoint a, hx::plot::PixelPoint b, QRgb colour) {
    // Segments wholly beside the area light nothing.
    if ((a.x < clip.left() && b.x < clip.left()) || (a.x > clip.right() && b.x > clip.right()) ||
        (a.y < clip.top() && b.y < clip.top()) || (a.y > clip.bottom() && b.y > clip.bottom()))
        return;
    if (std::max(std::llabs(static_cast<long long>(b.x) - a.x), std::llabs(static_cast<long long>(b.y) - a.y)) > 4096) {
        // A segment from far outside (a deep zoom) is cut to the area's
        // neighbourhood first, so its walk stays short.
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
        if (!(cut(-ddx, ax - (clip.left() - 2)) && cut(ddx, (clip.right() + 2) - ax) &&
              cut(-ddy, ay - (clip.top() - 2)) && cut(ddy, (clip.bottom() + 2) - ay)))
            return;
        a = {static_cast<int>(std::lround(ax + t0 * ddx)), static_cast<int>(std::lround(ay + t0 * ddy))};
        b = {static_cast<int>(std::lround(ax + t1 * ddx)), static_cast<int>(std::lround(ay + t1 * ddy))};
    }
    long long x0 = a.x, y0 = a.y;
    const long long x1 = b.x, y1 = b.y;
    const long long dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    const long long steps = std::max(dx, -dy);
    auto* bits = reinterpret_cast<QRgb*>(image.bits());
    const qsizetype stride = image.bytesPerLine() / static_cast<qsizetype>(sizeof(QRgb));
    long long err = dx + dy;
    for (long long n = 0; n <= steps; ++n) {
        if (x0 >= clip.left() && x0 <= clip.right() && y0 >= clip.top() && y0 <= clip.bottom())
            bits[y0 * stride + x0] = colour;
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

}  // namespace hx::gui
