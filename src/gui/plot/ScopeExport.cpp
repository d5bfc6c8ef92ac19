#include "gui/plot/ScopeExport.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QBuffer>
#include <QSvgGenerator>
#include <algorithm>

#include "core/util/AtomicFile.h"
#include "gui/plot/ScopeRenderer.h"

namespace hx::gui {

QPoint ReadoutPlace(const hx::plot::ScopeModel& model, QSize readout, QPoint offset) {
    const hx::plot::PixelRect& plot = model.LastLayout().plot;
    const hx::plot::PixelRect& control = model.ControlRect();
    const int x = plot.right - readout.width() - 8 + offset.x();
    const int y = plot.top + 6 + offset.y();
    return {std::clamp(x, control.left, std::max(control.left, control.right - readout.width())),
            std::clamp(y, control.top, std::max(control.top, control.bottom - readout.height()))};
}

QImage RenderScopeImage(const hx::plot::ScopeModel& model, QSize size, QPoint readoutOffset) {
    hx::plot::ScopeModel copy = model;
    copy.SetRect(0, 0, size.width(), size.height());
    ScopeRenderer renderer;
    renderer.Render(copy, size);
    QImage image = renderer.Composition().copy();
    QPainter p(&image);
    const hx::plot::Readout readout = copy.CursorReadout();
    renderer.PaintOverlay(p, copy, readout, ReadoutPlace(copy, renderer.ReadoutSize(readout), readoutOffset));
    return image;
}

bool SaveScopeImage(const hx::plot::ScopeModel& model, const QString& path, QSize size, QPoint readoutOffset,
                    QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = path + ": " + why;
        return false;
    };
    if (size.width() < 16 || size.height() < 16 || size.width() > 20000 || size.height() > 20000)
        return fail(QStringLiteral("image size %1 x %2 is not usable").arg(size.width()).arg(size.height()));
    // Drawn in memory first, then written as every output of the program is:
    // replacing a file whole, into a device or FIFO as it comes.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "svg") {
        hx::plot::ScopeModel copy = model;
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QFileInfo(path).completeBaseName());
        ScopeRenderer renderer;
        // The file names the font the window draws with; the one the plot
        // asks for is seldom where the file is read.
        renderer.UseFontsAsDrawn();
        QPainter p;
        if (!p.begin(&svg)) return fail(QStringLiteral("cannot draw the SVG"));
        renderer.PaintVector(p, copy, size);
        const hx::plot::Readout readout = copy.CursorReadout();
        renderer.PaintOverlay(p, copy, readout, ReadoutPlace(copy, renderer.ReadoutSize(readout), readoutOffset));
        p.end();
    } else {
        const QImage image = RenderScopeImage(model, size, readoutOffset);
        QImageWriter writer(&buffer, suffix.isEmpty() || !QImageWriter::supportedImageFormats().contains(suffix.toLatin1())
                                         ? QByteArray("png")
                                         : suffix.toLatin1());
        if (!writer.write(image)) return fail(writer.errorString());
    }
    int err = 0;
    if (!hx::WriteFileAtomically(path.toStdString(), std::string_view(bytes.constData(), bytes.size()), nullptr, &err))
        return fail(QString::fromStdString(hx::FileErrorText(err)));
    return true;
}

}  // namespace hx::gui
