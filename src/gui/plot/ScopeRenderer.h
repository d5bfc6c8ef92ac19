#pragma once
// Paints the scope from its model into off-screen images: the picture (frame,
// plot background, grid, labels, scales), the curve layer, and their
// composition, in which the curve layer's plot area is combined with the
// picture by bitwise OR. Grid lines under a curve therefore mix with it, and
// the curves keep their own colours on the default black background.

#include <QFont>
#include <QImage>
#include <QString>

#include "core/plot/ScopeModel.h"

namespace hx::gui {

QColor ToQColor(hx::plot::Colorref c);
hx::plot::Colorref ToColorref(const QColor& c);

// A 1-pixel line from a to b, both ends included, into an RGB32 image,
// lighting only pixels inside `clip`.
void DrawLine(QImage& image, const QRect& clip, hx::plot::PixelPoint a, hx::plot::PixelPoint b, QRgb colour);

class ScopeRenderer {
public:
    ScopeRenderer();

    // Rebuilds every layer for a control of `size`.
    void Render(hx::plot::ScopeModel& model, QSize size);
    // Writes the busy text over the finished composition.
    void DrawWaitText(const hx::plot::ScopeModel& model, const QString& text);
    // The composition with a rubber-band rectangle ORed over it.
    QImage WithRubberBand(const QRect& band) const;

    const QImage& Picture() const { return m_picture; }
    const QImage& Curves() const { return m_curves; }
    const QImage& Composition() const { return m_composition; }
    const QFont& CaptionFont() const { return m_captionFont; }
    // Draw every point instead of the reduced curve (reference drawings).
    void SetReduceCurves(bool on) { m_reduce = on; }
    int RenderCount() const { return m_renderCount; }

private:
    void drawGrid(QPainter& p, hx::plot::ScopeModel& model);
    void drawAxis(QPainter& p, const hx::plot::ScopeModel& model);
    void drawScales(QPainter& p, const hx::plot::ScopeModel& model);
    void drawCurves(const hx::plot::ScopeModel& model);

    QFont m_captionFont;
    QFont m_waitFont;
    QImage m_picture, m_curves, m_composition;
    bool m_reduce = true;
    int m_renderCount = 0;
};

}  // namespace hx::gui
