#include "gui/runtest/RunPlot.h"

#include <QColorDialog>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace hx::gui {
namespace {

// A round scale limit above |v| with a fifth of headroom.
double ScaleFor(double v) {
    const double r = 1.2 * std::fabs(v);
    if (r <= 100) return (1 + std::trunc(r / 10)) * 10;
    return (1 + std::trunc(r / 100)) * 100;
}

}  // namespace

RunPlot::RunPlot(QWidget* parent) : QWidget(parent) {
    m_colors = {QColor(255, 0, 0), QColor(0, 128, 255), QColor(255, 128, 0), QColor(255, 255, 0)};
    setMinimumSize(480, 260);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void RunPlot::SetXCaption(const QString& text) { m_xCaption = text; }
void RunPlot::SetYCaption(const QString& text) { m_yCaption = text; }
void RunPlot::SetXRange(int first, int last) {
    m_xFirst = first;
    m_xLast = std::max(first + 1, last);
}
void RunPlot::SetAxisValues(double first, double last) {
    m_axisFirst = first;
    m_axisLast = last;
}
void RunPlot::SetChannelRange(int ch, double min, double max) {
    if (max - min < 10) {
        min -= 5;
        max += 5;
    }
    m_min[ch] = min;
    m_max[ch] = max;
}
void RunPlot::SetChannelTypes(const std::array<uint32_t, 4>& codes) { m_types = codes; }
void RunPlot::SetChannelVisible(int ch, bool visible) {
    m_visible[ch] = visible;
    update();
}
void RunPlot::SetChannelColor(int ch, const QColor& color) {
    m_colors[ch] = color;
    update();
}
void RunPlot::ClearPoints() {
    for (auto& p : m_points) p.clear();
}

void RunPlot::SetPoints(int ch, const std::vector<float>& values) {
    m_points[ch] = values;
    double peak = 0;
    for (float v : values) peak = std::max(peak, std::fabs(static_cast<double>(v)));
    if (m_max[ch] < 1.2 * peak) {
        const double m = ScaleFor(peak);
        m_min[ch] = -m;
        m_max[ch] = m;
    }
}

void RunPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0xD9, 0xD9, 0xD9));
    const QFontMetrics fm(font());
    const int labelW = fm.horizontalAdvance("-00000.0") + 6;
    const QRect plot(labelW * 2, fm.height() + 8, width() - labelW * 4, height() - 3 * fm.height() - 16);
    if (plot.width() < 20 || plot.height() < 20) return;
    p.fillRect(plot, Qt::black);

    p.setPen(QPen(QColor(0, 0x3C, 0), 0));
    for (int i = 1; i < 50; ++i) p.drawLine(plot.left() + plot.width() * i / 50, plot.top(),
                                             plot.left() + plot.width() * i / 50, plot.bottom());
    for (int i = 1; i < 20; ++i) p.drawLine(plot.left(), plot.top() + plot.height() * i / 20, plot.right(),
                                             plot.top() + plot.height() * i / 20);
    p.setPen(QPen(QColor(0, 0x82, 0), 1));
    for (int i = 1; i < 10; ++i) {
        p.drawLine(plot.left() + plot.width() * i / 10, plot.top(), plot.left() + plot.width() * i / 10, plot.bottom());
        p.drawLine(plot.left(), plot.top() + plot.height() * i / 10, plot.right(), plot.top() + plot.height() * i / 10);
    }

    // Time labels under the plot, the caption below them.
    p.setPen(QColor(0x00, 0x08, 0x08));
    for (int i = 0; i <= 10; ++i) {
        const double v = m_axisFirst + (m_axisLast - m_axisFirst) * i / 10;
        const int x = plot.left() + plot.width() * i / 10;
        const QString t = QString::number(v, 'f', 0);
        p.drawText(x - fm.horizontalAdvance(t) / 2, plot.bottom() + fm.height() + 2, t);
    }
    p.drawText(QRect(plot.left(), plot.bottom() + fm.height() + 4, plot.width(), fm.height() + 4), Qt::AlignCenter,
               m_xCaption);

    // Scales: channel 1 and 4 on the left, 2 and 3 on the right.
    const int scaleX[4] = {plot.left() - labelW, plot.right() + 4, plot.right() + 4 + labelW, 2};
    for (int ch = 0; ch < 4; ++ch) {
        if (m_types[ch] == 0 || !m_visible[ch]) continue;
        p.setPen(m_colors[ch]);
        for (int i = 0; i <= 10; ++i) {
            const double v = m_max[ch] - (m_max[ch] - m_min[ch]) * i / 10;
            p.drawText(scaleX[ch], plot.top() + plot.height() * i / 10 + fm.ascent() / 2, QString::number(v, 'f', 0));
        }
    }
    p.setPen(Qt::black);
    p.drawText(plot.left(), fm.height() + 2, m_yCaption);

    p.setClipRect(plot);
    p.setRenderHint(QPainter::Antialiasing, false);
    const double xSpan = m_xLast - m_xFirst;
    for (int ch = 0; ch < 4; ++ch) {
        const auto& pts = m_points[ch];
        if (m_types[ch] == 0 || !m_visible[ch] || pts.empty()) continue;
        const double ySpan = m_max[ch] - m_min[ch];
        QPainterPath path;
        for (size_t i = 0; i < pts.size(); ++i) {
            const double x = plot.left() + (static_cast<double>(i) - m_xFirst) / xSpan * plot.width();
            const double y = plot.bottom() - (pts[i] - m_min[ch]) / ySpan * plot.height();
            if (i == 0)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        p.setPen(QPen(m_colors[ch], 1));
        p.drawPath(path);
    }
}

void RunPlot::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    const QString names[4] = {tr("通道一曲线颜色"), tr("通道二曲线颜色"), tr("通道三曲线颜色"), tr("通道四曲线颜色")};
    for (int ch = 0; ch < 4; ++ch) {
        menu.addAction(names[ch], this, [this, ch] {
            const QColor c = QColorDialog::getColor(m_colors[ch], this);
            if (!c.isValid()) return;
            SetChannelColor(ch, c);
            emit channelColorChanged(ch, c);
        });
    }
    menu.exec(event->globalPos());
}

}  // namespace hx::gui
