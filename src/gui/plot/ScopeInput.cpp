#include "gui/plot/ScopeInput.h"
#include "gui/plot/WheelNotches.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegion>
#include <QWheelEvent>
#include <cmath>
#include <utility>

#include "gui/plot/Cscope.h"
#include "gui/widgets/CommonTexts.h"
#include "gui/widgets/Messages.h"

namespace hx::gui {

void ScopeInput::Press(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    auto& model = m_scope.Model();
    if (event->button() == Qt::MiddleButton) {
        model.BeginPan(pos.x(), pos.y());
        m_savedCursor = m_scope.cursor();
        m_scope.setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (const QRect box = m_scope.ReadoutRect(); box.contains(pos)) {
        // The readout goes where the user puts it.
        m_readoutDrag = pos - m_scope.m_readoutOffset;
        return;
    }
    if (auto near = model.CursorNear(pos.x()); near && model.LastLayout().plot.contains(pos.x(), pos.y())) {
        m_cursorDrag = near;
        return;
    }
    m_captionPress = model.CaptionAt(pos.x(), pos.y());
    model.BeginDrag(pos.x(), pos.y());
    if (model.Dragging()) {
        m_savedCursor = m_scope.cursor();
        m_scope.setCursor(Qt::CrossCursor);
    }
}

void ScopeInput::Move(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    auto& model = m_scope.Model();
    if (model.Panning()) {
        model.MovePan(pos.x(), pos.y());
        m_scope.Redraw();
        return;
    }
    if (m_readoutDrag) {
        m_scope.m_readoutOffset = pos - *m_readoutDrag;
        m_scope.update();
        return;
    }
    if (m_cursorDrag) {
        // The old and the new line with its letter, and the readout before and after.
        const hx::plot::PixelRect& p = model.LastLayout().plot;
        auto strip = [&p](int x) { return QRect(x - 2, p.top, 20, p.height() + 2); };
        QRegion dirty = strip(model.CursorPixel(*m_cursorDrag)) | m_scope.ReadoutRect();
        model.DragCursorTo(*m_cursorDrag, pos.x());
        dirty |= strip(model.CursorPixel(*m_cursorDrag)) | m_scope.ReadoutRect();
        m_scope.update(dirty);
        emit m_scope.cursorsChanged();
        return;
    }
    if (model.Dragging()) {
        model.MoveDrag(pos.x(), pos.y());
        m_scope.update();
        return;
    }
    // Over a measurement cursor the pointer says it can be moved.
    if (!(event->buttons() & Qt::LeftButton)) {
        if (model.CursorNear(pos.x()) && model.LastLayout().plot.contains(pos.x(), pos.y()))
            m_scope.setCursor(Qt::SizeHorCursor);
        else if (!m_savedCursor)
            m_scope.unsetCursor();
    }
}

void ScopeInput::Release(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    auto& model = m_scope.Model();
    if (event->button() == Qt::MiddleButton) {
        if (!model.Panning()) return;
        model.MovePan(pos.x(), pos.y());
        model.EndPan();
        if (m_savedCursor) {
            m_scope.setCursor(*m_savedCursor);
            m_savedCursor.reset();
        }
        m_scope.Redraw();
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (m_readoutDrag) {
        m_readoutDrag.reset();
        return;
    }
    if (m_cursorDrag) {
        m_cursorDrag.reset();
        return;
    }
    if (m_savedCursor) {
        m_scope.setCursor(*m_savedCursor);
        m_savedCursor.reset();
    }
    const std::optional<int> caption = std::exchange(m_captionPress, std::nullopt);
    switch (model.EndDrag(pos.x(), pos.y())) {
    case hx::plot::ZoomOutcome::ZoomedIn:
    case hx::plot::ZoomOutcome::ZoomedOut: m_scope.Redraw(); break;
    case hx::plot::ZoomOutcome::AtMaximum:
        ShowMessage(&m_scope, TableText(50143));
        m_scope.Redraw();
        break;
    case hx::plot::ZoomOutcome::None:
        // Pressed and released on the same caption: its curve goes or comes back.
        if (caption && model.CaptionAt(pos.x(), pos.y()) == caption) {
            model.SetChannelMuted(*caption, !model.Muted(*caption));
            m_scope.Redraw();
            return;
        }
        m_scope.update();
        break;
    }
}

void ScopeInput::Wheel(QWheelEvent* event) {
    const int notches = TakeWheelNotches(event, m_wheelRest);
    event->accept();
    if (notches == 0) return;
    const QPoint pos = event->position().toPoint();
    const double factor = std::pow(kWheelZoom, notches);  // away from the user: in
    auto& model = m_scope.Model();
    const bool values = event->modifiers() & Qt::ShiftModifier;
    if (values ? model.ZoomValuesAround(pos.y(), factor) : model.ZoomTimeAround(pos.x(), factor)) m_scope.Redraw();
}

bool ScopeInput::Key(QKeyEvent* event) {
    auto& model = m_scope.Model();
    const hx::plot::PixelRect& p = model.LastLayout().plot;
    bool changed = false;
    switch (event->key()) {
    case Qt::Key_Left: changed = model.PanBy(-kKeyPan, 0); break;
    case Qt::Key_Right: changed = model.PanBy(kKeyPan, 0); break;
    case Qt::Key_Up: changed = model.PanBy(0, kKeyPan); break;
    case Qt::Key_Down: changed = model.PanBy(0, -kKeyPan); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: changed = model.ZoomTimeAround((p.left + p.right) / 2, kWheelZoom); break;
    case Qt::Key_Minus: changed = model.ZoomTimeAround((p.left + p.right) / 2, 1 / kWheelZoom); break;
    case Qt::Key_Home: changed = model.FitAll(); break;
    default: return false;
    }
    event->accept();
    if (changed) m_scope.Redraw();
    return true;
}

}  // namespace hx::gui
