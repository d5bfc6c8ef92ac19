#pragma once
// The scope as a picture file or clipboard image: the same renderer as the
// screen, at any size, raster (PNG) or vector (SVG). Needs only Qt Gui and
// Qt Svg, so the command-line tool draws the same plot offscreen.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

#include "core/plot/ScopeModel.h"

namespace hx::gui {

// The readout's top left corner: at the plot's top right, moved by `offset`
// (where the user dragged it), kept inside the control.
QPoint ReadoutPlace(const hx::plot::ScopeModel& model, QSize readout, QPoint offset);

// The plot laid out for `size` with its cursors and readout; `model` itself
// is left as it was.
QImage RenderScopeImage(const hx::plot::ScopeModel& model, QSize size, QPoint readoutOffset = {});

// PNG (or what the suffix names that Qt writes), SVG for ".svg"; written to
// a temporary file and renamed, so a failure leaves no half file. false with
// a one-line reason.
bool SaveScopeImage(const hx::plot::ScopeModel& model, const QString& path, QSize size, QPoint readoutOffset,
                    QString* error);

}  // namespace hx::gui
