#pragma once
// Paints the Bode plot from its model with a QPainter: on the widget, into
// an image (PNG) or as vector drawing (SVG), always the same picture. The
// model decides every range, tick and pixel; this only draws them: panes,
// grid, labels, curves (a prediction dashed), the margins and notches, the
// coherence strip, the cursors with their readout and a legend.
//
// Needs only Qt Gui, so the command-line tool can draw the same plot.

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

#include "core/plot/BodeModel.h"

class QPainter;

namespace hx::gui {

// Context of the plot's own texts.
inline constexpr const char* kBodeContext = "BodePlot";

class BodeRenderer {
public:
    BodeRenderer();
    // Lays the model out for `size` (in the painter's coordinates from 0, 0)
    // and paints it.
    void Paint(QPainter& p, hx::plot::BodeModel& model, QSize size) const;
    const QFont& Font() const { return m_font; }
    hx::plot::TextSize Measure(const std::string& text) const;

    // The marks' labels as painted, in the current language: what a reader
    // (and a test) finds on the plot.
    static QString CrossoverLabel(double hz);
    static QString PhaseMarginLabel(double deg);
    static QString GainMarginLabel(double db);
    static QString NotchLabel(double hz);

private:
    void paintPane(QPainter& p, const hx::plot::BodeModel& model, hx::plot::BodePane pane) const;
    void paintMarks(QPainter& p, const hx::plot::BodeModel& model) const;
    void paintCursors(QPainter& p, const hx::plot::BodeModel& model) const;
    void paintLegend(QPainter& p, const hx::plot::BodeModel& model) const;
    QFont m_font;
};

// The plot as an image of `size`; the model is left as it was.
QImage RenderBodeImage(const hx::plot::BodeModel& model, QSize size);
// PNG (or what the suffix names), SVG for ".svg"; written beside and renamed,
// so a failure leaves no half file. false with a one-line reason.
bool SaveBodeImage(const hx::plot::BodeModel& model, const QString& path, QSize size, QString* error);
// The curves as CSV (hx::plot::BodeCsv), written the same way.
bool SaveBodeCsv(const hx::plot::BodeModel& model, const QString& path, QString* error);

}  // namespace hx::gui
