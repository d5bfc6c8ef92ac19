#include "gui/tuning/MoveTraceView.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace hx::gui {

namespace {
const QColor kBefore(0x9a, 0x9a, 0x9a), kAfter(0x3c, 0xd0, 0x3c), kBand(0xd0, 0xc0, 0x40);
}  // namespace

MoveTraceView::MoveTraceView(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(110);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void MoveTraceView::SetMoves(const hx::tuning::MoveFigures& before, const hx::tuning::MoveFigures& after) {
    m_before = before;
    m_after = after;
    update();
}

void MoveTraceView::Clear() {
    m_before = {};
    m_after = {};
    update();
}

void MoveTraceView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QFontMetrics fm = p.fontMetrics();
    const QRect plot = rect().adjusted(fm.horizontalAdvance(QStringLiteral("-0000")) + 6, fm.height() + 6, -6,
                                       -fm.height() - 6);
    p.setPen(Qt::white);
    p.drawText(4, fm.ascent() + 2, tr("标准运动的跟随误差 (p)"));
    if (m_before.error.empty() && m_after.error.empty()) return;
    // One scale for both runs: the longer record, the larger error, and at
    // least twice the settling band so that the band always shows.
    double seconds = 0, peak = 2 * hx::tuning::kSettleBand;
    for (const auto* m : {&m_before, &m_after}) {
        seconds = std::max(seconds, m->error.size() * m->intervalUs * 1e-6);
        for (float e : m->error) peak = std::max(peak, std::abs(static_cast<double>(e)));
    }
    if (seconds <= 0) return;
    const auto x = [&](double t) { return plot.left() + t / seconds * plot.width(); };
    const auto y = [&](double e) { return plot.center().y() - e / peak * plot.height() / 2; };
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawRect(plot);
    p.drawLine(QPointF(plot.left(), y(0)), QPointF(plot.right(), y(0)));
    p.setPen(QPen(kBand, 1, Qt::DashLine));
    for (double b : {hx::tuning::kSettleBand, -hx::tuning::kSettleBand})
        p.drawLine(QPointF(plot.left(), y(b)), QPointF(plot.right(), y(b)));
    p.setRenderHint(QPainter::Antialiasing);
    for (const auto& [m, colour] : {std::pair{&m_before, kBefore}, std::pair{&m_after, kAfter}}) {
        QPainterPath path;
        for (std::size_t i = 0; i < m->error.size(); ++i) {
            const QPointF at(x(i * m->intervalUs * 1e-6), y(m->error[i]));
            if (i == 0) path.moveTo(at);
            else path.lineTo(at);
        }
        p.setPen(QPen(colour, 1.2));
        p.drawPath(path);
    }
    p.setPen(Qt::white);
    p.drawText(QRect(0, plot.top() - 2, plot.left() - 4, fm.height()), Qt::AlignRight, QString::number(std::lround(peak)));
    p.drawText(QRect(0, plot.bottom() - fm.height() + 2, plot.left() - 4, fm.height()), Qt::AlignRight,
               QString::number(-std::lround(peak)));
    p.drawText(QRect(plot.left(), plot.bottom() + 2, plot.width(), fm.height()), Qt::AlignRight,
               tr("%1 ms").arg(std::lround(seconds * 1000)));
    // The legend under the plot, left: each run in its colour.
    int left = plot.left();
    for (const auto& [text, colour] : {std::pair{tr("调整前"), kBefore}, std::pair{tr("调整后"), kAfter}}) {
        p.setPen(colour);
        p.drawText(left, plot.bottom() + 2 + fm.ascent(), text);
        left += fm.horizontalAdvance(text) + 12;
    }
}

}  // namespace hx::gui
