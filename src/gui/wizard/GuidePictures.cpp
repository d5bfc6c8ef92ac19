#include "gui/wizard/GuidePictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace hx::gui {
namespace {

const QColor kInk(0x2b, 0x3a, 0x4a);
const QColor kAccent(0x1f, 0x7a, 0xc9);
const QColor kWarm(0xe0, 0x7b, 0x24);
const QColor kPanel(0x3c, 0x44, 0x4d);

void background(QPainter& p, const QRect& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(0xf4, 0xf7, 0xfb));
    g.setColorAt(1, QColor(0xe3, 0xea, 0xf3));
    p.fillRect(r, g);
    p.setPen(QPen(QColor(0xc5, 0xd0, 0xdc), 1));
    p.drawLine(r.bottomLeft(), r.bottomRight());
}

// A drive seen from the front: display, the station switch (a rotary dial
// and a row of DIP levers), and the connector strip.
void frontPanel(QPainter& p, const QRect& r) {
    const int h = r.height() - 12;
    const QRect body(r.center().x() - h * 2, r.top() + 6, h * 4, h);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(kPanel);
    p.drawRoundedRect(body, 6, 6);
    // Seven-segment display.
    const QRect display(body.left() + 10, body.top() + 10, body.width() / 4, body.height() / 2 - 4);
    p.setBrush(QColor(0x14, 0x18, 0x1c));
    p.drawRect(display);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(display.height() - 4);
    p.setFont(f);
    p.setPen(QColor(0xff, 0x4a, 0x3a));
    p.drawText(display, Qt::AlignCenter, QStringLiteral("04"));
    // Rotary station dial.
    const QPoint dial(body.left() + body.width() / 4 + 40, body.center().y());
    const int radius = body.height() / 4;
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(QColor(0xdd, 0xdd, 0xdd));
    p.drawEllipse(dial, radius, radius);
    p.setPen(QPen(kInk, 2.5));
    p.drawLine(dial, dial + QPoint(static_cast<int>(radius * 0.7), -static_cast<int>(radius * 0.7)));
    p.setPen(QPen(Qt::white, 1));
    for (int k = 0; k < 16; ++k) {
        const double a = k * 2 * M_PI / 16;
        p.drawPoint(dial + QPoint(static_cast<int>((radius + 4) * std::cos(a)), static_cast<int>((radius + 4) * std::sin(a))));
    }
    // DIP levers, the alias bits: 0b000100 = 4.
    const int levers = 6;
    const int lw = 10, gap = 4;
    const int x0 = dial.x() + radius + 22;
    const QRect dip(x0 - 4, body.top() + 12, levers * (lw + gap) + 4, body.height() - 24);
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawRect(dip);
    for (int k = 0; k < levers; ++k) {
        const bool on = k == levers - 3;
        const QRect slot(x0 + k * (lw + gap), dip.top() + 4, lw, dip.height() - 8);
        p.setBrush(QColor(0xf0, 0xf0, 0xf0));
        p.drawRect(slot);
        p.setBrush(kInk);
        const int lh = slot.height() / 2;
        p.drawRect(QRect(slot.left() + 1, on ? slot.top() + 1 : slot.bottom() - lh, lw - 2, lh));
    }
    // Connector strip on the right.
    const QRect strip(dip.right() + 18, body.top() + 8, body.right() - dip.right() - 28, body.height() - 16);
    p.setBrush(QColor(0x22, 0x8b, 0x55));
    p.drawRoundedRect(strip, 3, 3);
    p.setBrush(QColor(0xcc, 0xcc, 0xcc));
    for (int k = 0; k < 4; ++k)
        p.drawEllipse(QPoint(strip.center().x(), strip.top() + 8 + k * (strip.height() - 16) / 3), 3, 3);
}

// Phase current: full peak while the motor runs, then after the standby
// time the amplitude drops to the standby percentage.
void currentWave(QPainter& p, const QRect& r) {
    const QRect plot = r.adjusted(30, 10, -20, -12);
    const int mid = plot.center().y();
    p.setPen(QPen(kInk, 1.2));
    p.drawLine(plot.left(), mid, plot.right(), mid);
    p.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
    const double full = plot.height() / 2.0 - 2;
    const int switchX = plot.left() + plot.width() * 55 / 100;
    QPainterPath path;
    for (int x = plot.left(); x <= plot.right(); ++x) {
        const double t = (x - plot.left()) / 18.0;
        const double amp = x < switchX ? full : full * 0.5;
        const double y = mid - amp * std::sin(t);
        if (x == plot.left())
            path.moveTo(x, y);
        else
            path.lineTo(x, y);
    }
    p.setPen(QPen(kAccent, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(QPen(kWarm, 1, Qt::DashLine));
    p.drawLine(plot.left(), mid - static_cast<int>(full), switchX, mid - static_cast<int>(full));
    p.drawLine(switchX, mid - static_cast<int>(full * 0.5), plot.right(), mid - static_cast<int>(full * 0.5));
    p.drawLine(switchX, plot.top(), switchX, plot.bottom());
    QFont f = p.font();
    f.setPixelSize(11);
    p.setFont(f);
    p.setPen(kInk);
    p.drawText(QRect(r.left(), plot.top() - 4, 28, 14), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Ipk"));
    p.drawText(QRect(switchX + 4, plot.top() - 2, 60, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("t"));
}

// An encoder disc with its slots beside the pulse train it gives.
void encoderDisc(QPainter& p, const QRect& r) {
    const int radius = r.height() / 2 - 8;
    const QPoint c(r.left() + r.width() / 3, r.center().y());
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0xcf, 0xd8, 0xe2));
    p.drawEllipse(c, radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    const int slotCount = 24;
    for (int k = 0; k < slotCount; ++k) {
        p.save();
        p.translate(c);
        p.rotate(k * 360.0 / slotCount);
        p.drawRect(QRectF(-2, -radius + 3, 4, radius * 0.3));
        p.restore();
    }
    p.setBrush(kAccent);
    p.drawEllipse(c, radius / 4, radius / 4);
    p.setBrush(Qt::white);
    p.drawEllipse(c, radius / 10 + 1, radius / 10 + 1);
    // Light source and the pulses.
    const int x0 = c.x() + radius + 30, x1 = r.right() - 20;
    const int hi = r.top() + r.height() / 3, lo = r.top() + r.height() * 2 / 3;
    QPainterPath train;
    train.moveTo(x0, lo);
    const int period = 16;
    for (int x = x0; x + period <= x1; x += period) {
        train.lineTo(x, hi);
        train.lineTo(x + period / 2, hi);
        train.lineTo(x + period / 2, lo);
        train.lineTo(x + period, lo);
    }
    p.setPen(QPen(kWarm, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(train);
    p.setPen(QPen(kInk, 1, Qt::DotLine));
    p.drawLine(c.x() + radius + 4, c.y(), x0 - 4, c.y());
}

// The I/O connector: a row of numbered pins, inputs in blue, outputs in orange.
void connector(QPainter& p, const QRect& r) {
    const int pins = 14;
    const int pitch = std::max(14, (r.width() - 80) / pins);
    const int width = pitch * pins + 16;
    const QRect shell(r.center().x() - width / 2, r.top() + 12, width, r.height() - 24);
    p.setPen(QPen(kInk, 1.5));
    p.setBrush(QColor(0x55, 0x5e, 0x68));
    p.drawRoundedRect(shell, 8, 8);
    const QRect face = shell.adjusted(8, 8, -8, -8);
    p.setBrush(QColor(0x26, 0x2b, 0x31));
    p.drawRoundedRect(face, 4, 4);
    QFont f = p.font();
    f.setPixelSize(10);
    f.setBold(true);
    p.setFont(f);
    int firstX = 0, lastX = 0;
    for (int k = 0; k < pins; ++k) {
        const int x = face.left() + pitch / 2 + k * (face.width() - pitch) / (pins - 1);
        if (k == 0) firstX = x;
        if (k == pins - 1) lastX = x;
        p.setPen(Qt::NoPen);
        p.setBrush(k < 7 ? kAccent : kWarm);
        p.drawEllipse(QPoint(x, face.center().y() - 5), 4, 4);
    }
    // The inputs' group and the outputs' group, named under their pins.
    const int split = (firstX + lastX) / 2;
    p.setPen(kAccent.lighter(150));
    p.drawText(QRect(firstX - 6, face.center().y() + 2, split - firstX, 14), Qt::AlignCenter, QStringLiteral("SI1..SI7"));
    p.setPen(kWarm.lighter(130));
    p.drawText(QRect(split + 6, face.center().y() + 2, lastX - split, 14), Qt::AlignCenter, QStringLiteral("SO1..SO7"));
}

}  // namespace

QPixmap DrawGuidePicture(GuidePicture picture, QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect r(QPoint(0, 0), size);
    background(p, r);
    switch (picture) {
    case GuidePicture::FrontPanel: frontPanel(p, r); break;
    case GuidePicture::CurrentWave: currentWave(p, r); break;
    case GuidePicture::EncoderDisc: encoderDisc(p, r); break;
    case GuidePicture::Connector: connector(p, r); break;
    }
    return pixmap;
}

}  // namespace hx::gui
