#include "gui/plot/BodeRenderer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImageWriter>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cmath>

#include "gui/plot/ScopeRenderer.h"  // ToQColor

namespace hx::gui {

using hx::plot::BodeModel;
using hx::plot::BodePane;

namespace {

QString Tr(const char* text) { return QCoreApplication::translate(kBodeContext, text); }
QString Number(double v, int decimals) { return QString::number(v, 'f', decimals); }
QRect ToQRect(const hx::plot::PixelRect& r) { return QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)); }

const char* const kPaneCaptions[3] = {QT_TRANSLATE_NOOP("BodePlot", "幅值(dB)"), QT_TRANSLATE_NOOP("BodePlot", "相位(°)"),
                                      QT_TRANSLATE_NOOP("BodePlot", "相干")};
const char* const kFrequencyCaption = QT_TRANSLATE_NOOP("BodePlot", "频率(Hz)");

const QColor kText(8, 8, 0);

}  // namespace

QString BodeRenderer::CrossoverLabel(double hz) {
    return QCoreApplication::translate("BodePlot", "穿越 %1 Hz").arg(Number(hz, hz < 100 ? 1 : 0));
}
QString BodeRenderer::PhaseMarginLabel(double deg) {
    return QCoreApplication::translate("BodePlot", "相位裕度 %1°").arg(Number(deg, 1));
}
QString BodeRenderer::GainMarginLabel(double db) {
    return QCoreApplication::translate("BodePlot", "增益裕度 %1 dB").arg(Number(db, 1));
}
QString BodeRenderer::NotchLabel(double hz) {
    return QCoreApplication::translate("BodePlot", "陷波 %1 Hz").arg(Number(hz, 0));
}

BodeRenderer::BodeRenderer() : m_font(QStringLiteral("Sans Serif"), 8) {}

hx::plot::TextSize BodeRenderer::Measure(const std::string& text) const {
    const QFontMetrics fm(m_font);
    return {fm.horizontalAdvance(QString::fromStdString(text)), fm.height()};
}

void BodeRenderer::Paint(QPainter& p, BodeModel& model, QSize size) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(m_font);
    // Laid out with the painting device's own metrics (an image, an SVG
    // and the screen may differ).
    const QFontMetrics metrics = p.fontMetrics();
    model.SetRect(0, 0, size.width(), size.height());
    const hx::plot::BodeLayout& l = model.ComputeLayout([&metrics](const std::string& s) {
        const QString q = QString::fromStdString(s);
        return hx::plot::TextSize{metrics.horizontalAdvance(q), metrics.height()};
    });
    p.fillRect(QRect(QPoint(0, 0), size), ToQColor(BodeModel::kFrame));
    for (int pane = 0; pane < 3; ++pane) paintPane(p, model, static_cast<BodePane>(pane));
    // Frequency labels under the lowest pane.
    const QFontMetrics fm = p.fontMetrics();  // the device's own, as painted
    p.setPen(kText);
    const int labelTop = l.panes[2].bottom + 3;
    for (const hx::plot::Tick& t : l.xTicks) {
        const QString s = QString::fromStdString(t.label);
        p.drawText(QRect(t.pixel - 40, labelTop, 80, fm.height()), Qt::AlignHCenter | Qt::AlignTop, s);
    }
    // The frequency caption inside the lowest pane's bottom right corner,
    // clear of the tick labels.
    p.setPen(QColor(200, 200, 200));
    p.drawText(ToQRect(l.panes[2]).adjusted(4, 2, -4, -2), Qt::AlignRight | Qt::AlignBottom, Tr(kFrequencyCaption));
    paintMarks(p, model);
    paintLegend(p, model);
    paintCursors(p, model);
    p.restore();
}

void BodeRenderer::paintPane(QPainter& p, const BodeModel& model, BodePane pane) const {
    const hx::plot::BodeLayout& l = model.LastLayout();
    const std::size_t k = static_cast<std::size_t>(pane);
    const QRect r = ToQRect(l.panes[k]);
    p.fillRect(r, ToQColor(BodeModel::kBackground));
    p.save();
    p.setClipRect(r.adjusted(0, 0, 1, 1));
    p.setPen(QPen(ToQColor(BodeModel::kGrid), 0));
    for (int x : l.xMinor) p.drawLine(x, r.top(), x, r.bottom());
    p.setPen(QPen(ToQColor(BodeModel::kMajorGrid), 0));
    for (const hx::plot::Tick& t : l.xTicks) p.drawLine(t.pixel, r.top(), t.pixel, r.bottom());
    for (const hx::plot::Tick& t : l.yTicks[k].ticks) p.drawLine(r.left(), t.pixel, r.right(), t.pixel);
    // The lines every margin is read against: 0 dB and -180 degrees.
    p.setPen(QPen(ToQColor(BodeModel::kMarginColour).darker(160), 0, Qt::DashLine));
    if (pane == BodePane::Magnitude) p.drawLine(r.left(), model.PixelY(pane, 0), r.right(), model.PixelY(pane, 0));
    if (pane == BodePane::Phase)
        for (double v : {-180.0, 180.0, -540.0}) p.drawLine(r.left(), model.PixelY(pane, v), r.right(), model.PixelY(pane, v));
    for (const hx::plot::BodeCurve& c : model.Curves()) {
        const std::vector<hx::plot::PixelPoint> v = model.Vertices(c, pane);
        if (v.size() < 2) continue;
        QPen pen(ToQColor(c.colour), c.dashed ? 1.6 : 1.3, c.dashed ? Qt::DashLine : Qt::SolidLine);
        p.setPen(pen);
        QPolygonF line;
        for (const hx::plot::PixelPoint& q : v) line << QPointF(q.x, q.y);
        // Curves smooth, lines and marks on whole pixels.
        p.setRenderHint(QPainter::Antialiasing, true);
        p.drawPolyline(line);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    p.restore();
    p.setPen(QPen(ToQColor(BodeModel::kFrame).darker(140), 0));
    p.drawRect(r);
    const QFontMetrics fm = p.fontMetrics();  // the device's own, as painted
    p.setPen(kText);
    for (const hx::plot::Tick& t : l.yTicks[k].ticks) {
        const QString s = QString::fromStdString(t.label);
        p.drawText(QRect(0, t.pixel - fm.height() / 2, r.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter, s);
    }
    // The pane's caption inside its top left corner.
    p.setPen(QColor(200, 200, 200));
    p.drawText(r.adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop, Tr(kPaneCaptions[k]));
}

void BodeRenderer::paintMarks(QPainter& p, const BodeModel& model) const {
    const hx::plot::BodeMarks& m = model.Marks();
    const hx::plot::BodeLayout& l = model.LastLayout();
    const QRect mag = ToQRect(l.panes[0]), phase = ToQRect(l.panes[1]);
    const QFontMetrics fm = p.fontMetrics();  // the device's own, as painted
    const QColor yellow = ToQColor(BodeModel::kMarginColour);
    const hx::plot::BodeCurve* loop =
        m.curve >= 0 && m.curve < static_cast<int>(model.Curves().size()) ? &model.Curves()[static_cast<std::size_t>(m.curve)] : nullptr;
    const double fMin = model.View().fMin, fMax = model.View().fMax;
    auto inView = [&](double hz) { return hz >= fMin && hz <= fMax; };
    auto label = [&](const QRect& pane, int x, int y, const QString& text, const QColor& colour) {
        const int w = fm.horizontalAdvance(text) + 6;
        int left = x + 4;
        if (left + w > pane.right()) left = x - 4 - w;
        const QRect box(left, y, w, fm.height() + 2);
        p.fillRect(box, QColor(0, 0, 0, 170));
        p.setPen(colour);
        p.drawText(box, Qt::AlignCenter, text);
    };
    p.save();
    // Notches: where each sits, across both panes.
    for (double hz : m.notchHz) {
        if (!inView(hz)) continue;
        const int x = model.PixelX(hz);
        p.setPen(QPen(ToQColor(BodeModel::kNotchColour), 1, Qt::DotLine));
        p.drawLine(x, mag.top(), x, phase.bottom());
        QPolygon tri;
        tri << QPoint(x - 5, mag.bottom() - 9) << QPoint(x + 5, mag.bottom() - 9) << QPoint(x, mag.bottom() - 1);
        p.setBrush(ToQColor(BodeModel::kNotchColour));
        p.drawPolygon(tri);
        p.setBrush(Qt::NoBrush);
        label(mag, x, mag.bottom() - fm.height() - 14, NotchLabel(hz), ToQColor(BodeModel::kNotchColour));
    }
    if (m.crossoverHz && inView(*m.crossoverHz)) {
        const int x = model.PixelX(*m.crossoverHz);
        p.setPen(QPen(yellow, 1, Qt::DashLine));
        p.drawLine(x, mag.top(), x, phase.bottom());
        label(mag, x, mag.top() + 4, CrossoverLabel(*m.crossoverHz), yellow);
    }
    if (m.phaseMarginDeg && m.phaseMarginHz && inView(*m.phaseMarginHz) && loop) {
        const int x = model.PixelX(*m.phaseMarginHz);
        const double at = hx::plot::CurveValueAt(*loop, BodePane::Phase, *m.phaseMarginHz).value_or(-180 + *m.phaseMarginDeg);
        // From the nearer of -180 and +180 (a mode's lead) to the loop's phase.
        const double ref = std::abs(at + 180) <= std::abs(at - 180) ? -180.0 : 180.0;
        const int y0 = model.PixelY(BodePane::Phase, ref), y1 = model.PixelY(BodePane::Phase, at);
        p.setPen(QPen(yellow, 2.5));
        p.drawLine(x, std::clamp(y0, phase.top(), phase.bottom()), x, std::clamp(y1, phase.top(), phase.bottom()));
        label(phase, x, std::clamp((y0 + y1) / 2 - fm.height() / 2, phase.top() + 2, phase.bottom() - fm.height() - 4),
              PhaseMarginLabel(*m.phaseMarginDeg), yellow);
    }
    if (m.gainMarginDb && m.phaseCrossoverHz && inView(*m.phaseCrossoverHz)) {
        const int x = model.PixelX(*m.phaseCrossoverHz);
        const int y0 = model.PixelY(BodePane::Magnitude, 0), y1 = model.PixelY(BodePane::Magnitude, -*m.gainMarginDb);
        p.setPen(QPen(yellow, 2.5));
        p.drawLine(x, std::clamp(y0, mag.top(), mag.bottom()), x, std::clamp(y1, mag.top(), mag.bottom()));
        p.setPen(QPen(yellow, 1, Qt::DotLine));
        p.drawLine(x, mag.top(), x, phase.bottom());
        label(mag, x, std::clamp((y0 + y1) / 2 - fm.height() / 2, mag.top() + 2, mag.bottom() - fm.height() - 4),
              GainMarginLabel(*m.gainMarginDb), yellow);
    }
    p.restore();
}

void BodeRenderer::paintLegend(QPainter& p, const BodeModel& model) const {
    const QRect mag = ToQRect(model.LastLayout().panes[0]);
    const QFontMetrics fm = p.fontMetrics();  // the device's own, as painted
    int y = mag.top() + fm.height() + 8;
    int width = 0;
    for (const hx::plot::BodeCurve& c : model.Curves())
        if (c.visible) width = std::max(width, fm.horizontalAdvance(QString::fromStdString(c.name)));
    if (width == 0) return;
    const int left = mag.left() + 6;
    int rows = 0;
    for (const hx::plot::BodeCurve& c : model.Curves()) rows += c.visible ? 1 : 0;
    p.fillRect(QRect(left - 2, y - 2, width + 34, rows * fm.height() + 4), QColor(0, 0, 0, 170));
    for (const hx::plot::BodeCurve& c : model.Curves()) {
        if (!c.visible) continue;
        p.setPen(QPen(ToQColor(c.colour), 2, c.dashed ? Qt::DashLine : Qt::SolidLine));
        p.drawLine(left, y + fm.height() / 2, left + 22, y + fm.height() / 2);
        p.setPen(QColor(230, 230, 230));
        p.drawText(QRect(left + 28, y, width + 4, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::fromStdString(c.name));
        y += fm.height();
    }
}

void BodeRenderer::paintCursors(QPainter& p, const BodeModel& model) const {
    if (!model.CursorsEnabled()) return;
    const hx::plot::BodeLayout& l = model.LastLayout();
    const QFontMetrics fm = p.fontMetrics();  // the device's own, as painted
    for (int c = 0; c < 2; ++c) {
        const double hz = model.CursorHz(c);
        if (hz < model.View().fMin || hz > model.View().fMax) continue;
        const int x = model.PixelX(hz);
        p.setPen(QPen(ToQColor(BodeModel::kCursorColour), 1, c == 0 ? Qt::SolidLine : Qt::DashDotLine));
        p.drawLine(x, l.panes[0].top, x, l.panes[2].bottom);
        p.drawText(x + 3, l.panes[2].top + fm.ascent() + 1, c == 0 ? QStringLiteral("A") : QStringLiteral("B"));
    }
    const hx::plot::BodeReadout r = model.CursorReadout();
    int w = 0;
    for (const std::string& s : r.lines) w = std::max(w, fm.horizontalAdvance(QString::fromStdString(s)));
    const QRect box(l.panes[0].right - w - 18, l.panes[0].top + 6, w + 14, static_cast<int>(r.lines.size()) * fm.height() + 6);
    p.fillRect(box, QColor(20, 20, 20, 220));
    p.setPen(QColor(240, 240, 240));
    int y = box.top() + 3;
    for (const std::string& s : r.lines) {
        p.drawText(QRect(box.left() + 6, y, w + 6, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(s));
        y += fm.height();
    }
}

QImage RenderBodeImage(const hx::plot::BodeModel& model, QSize size) {
    hx::plot::BodeModel copy = model;
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    BodeRenderer().Paint(p, copy, size);
    return image;
}

bool SaveBodeImage(const hx::plot::BodeModel& model, const QString& path, QSize size, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    if (size.width() < 64 || size.height() < 64 || size.width() > 20000 || size.height() > 20000)
        return fail(QStringLiteral("image size %1 x %2 is not usable").arg(size.width()).arg(size.height()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "svg") {
        hx::plot::BodeModel copy = model;
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QFileInfo(path).completeBaseName());
        QPainter p;
        if (!p.begin(&svg)) return fail(QStringLiteral("cannot draw the SVG"));
        BodeRenderer().Paint(p, copy, size);
        p.end();
    } else {
        const QByteArray format = QImageWriter::supportedImageFormats().contains(suffix.toLatin1()) ? suffix.toLatin1()
                                                                                                      : QByteArray("png");
        QImageWriter writer(&file, format);
        if (!writer.write(RenderBodeImage(model, size))) return fail(writer.errorString());
    }
    if (!file.commit()) return fail(file.errorString());
    return true;
}

bool SaveBodeCsv(const hx::plot::BodeModel& model, const QString& path, QString* error) {
    QSaveFile file(path);
    const std::string csv = hx::plot::BodeCsv(model.Curves());
    if (!file.open(QIODevice::WriteOnly) || file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        if (error) *error = path + ": " + file.errorString();
        return false;
    }
    return true;
}

}  // namespace hx::gui
