#pragma once
// Paints the scope from its model into off-screen images: the picture (frame,
// plot background, grid, labels, scales) and the composition, in which the
// curves are combined with the picture by bitwise OR. Grid lines under a
// curve therefore mix with it, and the curves keep their own colours on the
// default black background.
//
// A redraw keeps what did not change: the picture is rebuilt only when its
// layout, captions or colours change, and each curve's reduced vertices only
// when its points, the ranges or the plot's size change. The composition is
// then one copy of the picture and the curves' pixels.
//
// Needs only Qt Gui (QImage, QPainter, fonts), so the command-line tool draws
// the same plot offscreen.

#include <QFont>
#include <QImage>
#include <QStaticText>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/plot/ScopeModel.h"

class QPainter;

namespace hx::gui {

QColor ToQColor(hx::plot::Colorref c);
hx::plot::Colorref ToColorref(const QColor& c);

// A 1-pixel line from a to b, both ends included, into an RGB32 image,
// lighting only pixels inside `clip`.
void DrawLine(QImage& image, const QRect& clip, hx::plot::PixelPoint a, hx::plot::PixelPoint b, QRgb colour);

class ScopeRenderer {
public:
    ScopeRenderer();

    // Brings the composition up to date for a control of `size`.
    void Render(hx::plot::ScopeModel& model, QSize size);
    // Writes the busy text over the finished composition.
    void DrawWaitText(const hx::plot::ScopeModel& model, const QString& text);
    // The composition with a rubber-band rectangle ORed over it.
    QImage WithRubberBand(const QRect& band) const;

    // The layer over the composition: measurement cursors, markers and the
    // readout (the model's CursorReadout), whose top left corner is
    // `readoutAt` (control coordinates).
    void PaintOverlay(QPainter& p, const hx::plot::ScopeModel& model, const hx::plot::Readout& readout,
                      QPoint readoutAt) const;
    // The readout's size (empty without cursors).
    QSize ReadoutSize(const hx::plot::Readout& readout) const;

    // The whole plot as vector drawing (SVG): the same layout, grid, labels
    // and curves, the curves as polylines. `model` is laid out for `size`.
    void PaintVector(QPainter& p, hx::plot::ScopeModel& model, QSize size);

    const QImage& Picture() const { return m_picture; }
    const QImage& Composition() const { return m_composition; }
    const QFont& CaptionFont() const { return m_captionFont; }
    // The fonts named by the families they are drawn with here, not the
    // families asked for: a file (SVG) then names fonts its reader has.
    void UseFontsAsDrawn();
    // Draw every point instead of the reduced curve (reference drawings).
    void SetReduceCurves(bool on);
    int RenderCount() const { return m_renderCount; }
    // How often the picture layer was rebuilt (the rest of the renders reused it).
    int PictureBuilds() const { return m_pictureBuilds; }

private:
    struct PictureKey {
        hx::plot::Layout layout;
        std::array<hx::plot::Colorref, 4> colours{};
        hx::plot::Colorref background = 0;
        std::array<std::string, 4> captions;
        QSize size;
        bool operator==(const PictureKey&) const = default;
    };
    struct CurveKey {
        uint64_t data = 0;
        hx::plot::ZoomLevel level;
        hx::plot::PixelRect plot;
        std::size_t count = 0;
        bool drawn = false;
        bool reduce = true;
        bool operator==(const CurveKey&) const = default;
    };
    struct ReadoutLayout {
        std::vector<int> columns;  // characters per column
        int charWidth = 1, lineHeight = 0, ascent = 0;
        QSize size;
    };
    ReadoutLayout layoutReadout(const hx::plot::Readout& readout) const;
    hx::plot::TextSize measure(const std::string& text) const;
    void buildPicture(const hx::plot::ScopeModel& model);
    void drawGrid(QPainter& p, const hx::plot::ScopeModel& model) const;
    void drawAxis(QPainter& p, const hx::plot::ScopeModel& model) const;
    void drawScales(QPainter& p, const hx::plot::ScopeModel& model) const;
    void drawCurves(const hx::plot::ScopeModel& model);
    // true when a curve's vertices changed.
    bool updateCurveCache(const hx::plot::ScopeModel& model);
    void rasterise(const QRect& area);

    QFont m_captionFont;
    QFont m_waitFont;
    QFont m_readoutFont;
    mutable std::unordered_map<std::string, QStaticText> m_staticTexts;
    static constexpr std::size_t kFirstExtra = 5, kMaxExtras = 250;
    QImage m_picture, m_base, m_composition;
    std::vector<uint8_t> m_raster;
    QRect m_rasterArea;
    PictureKey m_pictureKey;
    std::array<CurveKey, 4> m_curveKeys;
    std::array<std::vector<hx::plot::PixelPoint>, 4> m_curveCache;
    uint64_t m_extrasData = ~0ull;
    hx::plot::ZoomLevel m_extrasLevel;
    hx::plot::PixelRect m_extrasPlot;
    std::vector<std::vector<hx::plot::PixelPoint>> m_extrasCache;
    mutable std::unordered_map<std::string, hx::plot::TextSize> m_measured;
    bool m_reduce = true;
    bool m_havePicture = false;
    int m_renderCount = 0;
    int m_pictureBuilds = 0;
};

}  // namespace hx::gui
